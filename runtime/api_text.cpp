// Text bindings: value conversion, tostr, tonum, sub and printh with its log
// files and their limits.
#include <cstdio>
#include <set>

#include "host/clipboard.h"
#include "host/log.h"
#include "machine/fixed.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/api_internal.h"
#include "storage/text_cart.h"

namespace {

constexpr int64_t printh_byte_limit = 0x9fffff;
constexpr size_t printh_file_limit = 64;
constexpr size_t printh_path_limit = 1022;

int64_t printh_bytes = 0;
// What one-argument printh has put into log.txt since the player started;
// past the file limit the rest is dropped rather than filling the disk.
int64_t printh_log_bytes = 0;
std::set<std::string> printh_files;

bool log_name_char(char c) {
    return c == ' ' || c == '.' || c == '/' || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
}

// The log file's path for a name, or "" when the name is refused.
std::string log_path(std::string name) {
    for (char c : name)
        if (!log_name_char(c)) return "";
    if (name.find("..") != std::string::npos) return "";
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".m3l") == 0) name.resize(name.size() - 4);
    if (name.empty() || name.back() == '/') return "";
    std::string path = (mivo3_api.log_folder ? mivo3_api.log_folder() : std::string()) + name + ".m3l";
    return path.size() > printh_path_limit ? "" : path;
}

// Appends (or rewrites) one line of a log file; the message of the fault
// that stops the program, or null.
const char* write_log_file(const std::string& name, const std::string& text, bool overwrite) {
    std::string path = log_path(name);
    if (path.empty()) return "printh: bad log file name";
    if (!printh_files.count(path)) {
        if (printh_files.size() >= printh_file_limit) return "too many printh files";
        printh_files.insert(path);
    }
    printh_bytes += int64_t(text.size()) + 1;
    if (printh_bytes > printh_byte_limit) return "printh: too much log data (10mb max)";
    FILE* f = std::fopen(path.c_str(), overwrite ? "wb" : "ab");
    if (!f) return "printh: could not open log file";
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fputc('\n', f) != EOF;
    ok = std::fclose(f) == 0 && ok;
    return ok ? nullptr : "printh: could not open log file";
}

}  // namespace

void mivo3_printh_reset_limits() {
    printh_bytes = 0;
    printh_files.clear();
}

std::string api_value_text(lua_State* L, int i) {
    switch (lua_type(L, i)) {
        case LUA_TSTRING:
        case LUA_TNUMBER: {
            // A number converts in place, so convert a copy.
            lua_pushvalue(L, i);
            size_t len = 0;
            const char* s = lua_tolstring(L, -1, &len);
            std::string text(s, len);
            lua_pop(L, 1);
            return text;
        }
        case LUA_TBOOLEAN: return lua_toboolean(L, i) ? "true" : "false";
        case LUA_TNONE:
        case LUA_TNIL: return "[nil]";
        default: return std::string("[") + lua_typename(L, lua_type(L, i)) + "]";
    }
}

static int m3_tostr(lua_State* L) {
    if (lua_type(L, 1) == LUA_TNUMBER && lua_toboolean(L, 2)) {
        char buf[mivo3_fixed_text_max];
        int n = mivo3_tostr_hex(buf, api_num(L, 1));
        lua_pushlstring(L, buf, size_t(n));
    } else {
        std::string text = api_value_text(L, 1);
        lua_pushlstring(L, text.data(), text.size());
    }
    return 1;
}

static int m3_tonum(lua_State* L) {
    if (lua_type(L, 1) == LUA_TNUMBER) {
        lua_pushvalue(L, 1);
        return 1;
    }
    if (lua_type(L, 1) != LUA_TSTRING) return 0;
    size_t len = 0;
    const char* s = lua_tolstring(L, 1, &len);
    int32_t v = 0;
    if (!mivo3_tonum(s, len, &v)) return 0;
    lua_pushnumber(L, v);
    return 1;
}

static int m3_printh(lua_State* L) {
    std::string text = api_value_text(L, 1);
    if (lua_type(L, 2) != LUA_TSTRING) {
        if (mivo3_api.printh_line) mivo3_api.printh_line(text);
        text += '\n';
        if (printh_log_bytes <= printh_byte_limit) {
            printh_log_bytes += int64_t(text.size());
            quon_debug(printh_log_bytes <= printh_byte_limit
                           ? text.c_str()
                           : "printh: more than 10mb for log.txt; the rest is dropped\n");
        }
        std::fflush(stdout);
        return 0;
    }
    size_t len = 0;
    const char* name = lua_tolstring(L, 2, &len);
    std::string file(name, len);
    if (file == "@clip") {
        quon_set_clipboard_text(convert_glyphs_to_escaped(text).c_str());
        return 0;
    }
    if (const char* fault = write_log_file(file, text, lua_toboolean(L, 3))) mivo3_runtime_error(fault);
    return 0;
}

void add_text_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"tostr", m3_tostr}, {"tonum", m3_tonum}, {"sub", str_sub}, {"printh", m3_printh}};
    api_register(L, functions);
}
