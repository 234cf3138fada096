// The language glue: a fresh language state, the code-tab line mapping that
// compile and runtime error messages use, and the state operations through
// which the run loop meters execution (declared with the rest of the C API in
// lang/lua/lua.h: lua_get_cpu, lua_spend_cpu, lua_mivo3_soft_yield,
// lua_reset_call_state_mivo3, mivo3_soft_yield_count, mivo3_runtime_line).
#pragma once
#include <cstdint>

#include "lang/lua/lauxlib.h"
#include "lang/lua/lua.h"
#include "lang/lua/lualib.h"

// Lines the run loop's prelude puts before the cart's code.
constexpr int32_t MIVO3_PRELUDE_LINES = 2;

// Maps a 1-based line of the compiled text to the 1-based line within its
// code tab (the tabs of mivo3_tabs, each with its includes flattened), and
// stores the tab number in *out_tab. A line inside an included file prints
// "<file> line <n>" in colour 9 (through the include hooks' print) and maps
// to the line of its #include directive. A line past the last tab gives line
// 0 of tab 0.
int32_t find_tab_line(int32_t line, int32_t* out_tab);
// The same without the note: for lines an error report has already named.
int32_t find_tab_line_quietly(int32_t line, int32_t* out_tab);

// The same, returned scaled by 65536 for lua_pushfstring's "%d" (the
// parser's messages that name another line use these). get_mivo3_tab prints
// nothing.
int32_t get_mivo3_line(int32_t line);
int32_t get_mivo3_tab(int32_t line);
