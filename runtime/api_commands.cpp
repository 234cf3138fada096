// The console's commands as language functions. What each one does is the
// shell's business (shell/commands.cpp); these bindings read the arguments,
// call the shell and push what the command returns.
#include <optional>

#include "runtime/api.h"
#include "runtime/api_internal.h"
#include "runtime/run_loop.h"

mivo3_command_hooks mivo3_commands = {};

namespace {

// Argument i when it is a string (numbers are not converted), else nothing.
std::optional<std::string_view> string_arg(lua_State* L, int i) {
    if (lua_type(L, i) != LUA_TSTRING) return std::nullopt;
    size_t n = 0;
    const char* s = lua_tolstring(L, i, &n);
    return std::string_view(s, n);
}

const std::string_view* ptr(const std::optional<std::string_view>& v) { return v ? &*v : nullptr; }

// The shell procedure taking one optional name.
int with_name(lua_State* L, void (*command)(const std::string_view*)) {
    if (command) {
        auto name = string_arg(L, 1);
        command(ptr(name));
    }
    return 0;
}

int call(void (*command)()) {
    if (command) command();
    return 0;
}

// A cart parameter is text whatever it was given as; nil means none.
std::optional<std::string> param_arg(lua_State* L, int i) {
    if (lua_isnoneornil(L, i)) return std::nullopt;
    return api_value_text(L, i);
}

int m3_load(lua_State* L) {
    if (!mivo3_commands.load) return 0;
    auto name = string_arg(L, 1), breadcrumb = string_arg(L, 2);
    const auto param_text = param_arg(L, 3);
    const std::optional<std::string_view> param = param_text;
    if (!mivo3_commands.load(ptr(name), ptr(breadcrumb), ptr(param))) return 0;
    lua_pushboolean(L, 1);
    return 1;
}

int m3_save(lua_State* L) { return with_name(L, mivo3_commands.save); }

int m3_run(lua_State* L) {
    if (!mivo3_commands.run) return 0;
    const auto param_text = param_arg(L, 1);
    const std::optional<std::string_view> param = param_text;
    mivo3_commands.run(ptr(param));
    return 0;
}

// The program is suspended, from a coroutine too.
int yield_program(lua_State* L) {
    mivo3_suspend_program_from(L);
    return lua_yield(L, 0);
}

int m3_reboot(lua_State* L) {
    if (mivo3_commands.reboot && mivo3_commands.reboot()) return yield_program(L);
    return 0;
}

int m3_shutdown(lua_State* L) {
    if (mivo3_commands.shutdown && mivo3_commands.shutdown()) return yield_program(L);
    return 0;
}

int m3_cd(lua_State* L) { return with_name(L, mivo3_commands.cd); }

int m3_ls(lua_State* L) {
    if (!mivo3_commands.ls || !lua_isnone(L, 1)) return 0;
    std::vector<std::string> names;
    if (!mivo3_commands.ls(names)) return 0;
    lua_createtable(L, int(names.size()), 0);
    for (size_t i = 0; i < names.size(); i++) {
        lua_pushlstring(L, names[i].data(), names[i].size());
        lua_rawseti(L, -2, int(i + 1));
    }
    return 1;
}

int m3_mkdir(lua_State* L) {
    if (!mivo3_commands.mkdir) return 0;
    auto name = string_arg(L, 1);
    if (!mivo3_commands.mkdir(ptr(name))) return 0;
    api_push_int(L, 0);
    return 1;
}

int m3_folder(lua_State*) { return call(mivo3_commands.folder); }
int m3_info(lua_State*) { return call(mivo3_commands.info); }
int m3_import(lua_State* L) { return with_name(L, mivo3_commands.import_cart); }
int m3_export(lua_State* L) { return with_name(L, mivo3_commands.export_cart); }
// Help has nothing to say while a program runs, which is always here.
int m3_help(lua_State*) { return 0; }
int m3_keyconfig(lua_State*) { return call(mivo3_commands.keyconfig); }
int m3_trovea(lua_State*) { return call(mivo3_commands.trovea); }
int m3_install_demos(lua_State*) { return call(mivo3_commands.install_demos); }
int m3_install_games(lua_State*) { return call(mivo3_commands.install_games); }

int m3_login(lua_State* L) {
    call(mivo3_commands.login);
    lua_pushnil(L);
    return 1;
}

int m3_logout(lua_State* L) {
    lua_pushnil(L);
    return 1;
}

int m3_bbsreq(lua_State* L) {
    call(mivo3_commands.bbsreq);
    lua_pushnil(L);
    return 1;
}

// scoresub and radio answer "nothing, 0": there is no server to reach.
int push_nil_zero(lua_State* L) {
    lua_pushnil(L);
    api_push_int(L, 0);
    return 2;
}

int m3_scoresub(lua_State* L) {
    call(mivo3_commands.scoresub);
    return push_nil_zero(L);
}

int m3_radio(lua_State* L) { return push_nil_zero(L); }

}  // namespace

void add_command_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"folder", m3_folder},
        {"ls", m3_ls},
        {"dir", m3_ls},
        {"cd", m3_cd},
        {"mkdir", m3_mkdir},
        {"install_demos", m3_install_demos},
        {"install_games", m3_install_games},
        {"keyconfig", m3_keyconfig},
        {"trovea", m3_trovea},
        {"load", m3_load},
        {"save", m3_save},
        {"run", m3_run},
        {"reboot", m3_reboot},
        {"shutdown", m3_shutdown},
        {"exit", m3_shutdown},
        {"info", m3_info},
        {"export", m3_export},
        {"import", m3_import},
        {"help", m3_help},
        {"login", m3_login},
        {"logout", m3_logout},
        {"bbsreq", m3_bbsreq},
        {"scoresub", m3_scoresub},
        {"radio", m3_radio},
    };
    api_register(L, functions);
}
