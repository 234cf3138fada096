# Turns the controller mapping database into a C++ table of the mappings for
# one platform (lines naming that platform, or no platform at all).
# Reads INPUT (the database), writes OUTPUT (a .cpp), keeps PLATFORM.
file(STRINGS "${INPUT}" lines ENCODING UTF-8)
set(body "")
set(count 0)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(line MATCHES "platform:([^,]*)")
    if(NOT CMAKE_MATCH_1 STREQUAL PLATFORM)
      continue()
    endif()
  endif()
  string(REPLACE "\\" "\\\\" line "${line}")
  string(REPLACE "\"" "\\\"" line "${line}")
  string(APPEND body "    \"${line}\",\n")
  math(EXPR count "${count} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from host/controller_db/gamecontrollerdb.txt (licence beside it)\n"
  "// for the platform \"${PLATFORM}\": ${count} mappings.\n"
  "#include \"host/joystick.h\"\n\n"
  "const char* const controller_db_mapping[] = {\n${body}    nullptr,\n};\n")
# Rewritten only when different, so a rerun does not rebuild the library.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
