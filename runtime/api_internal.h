// What the API binding files share: argument reading and the registration
// of each group. Numbers cross as raw 16.16 values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "lang/lua/lauxlib.h"
#include "lang/lua/lua.h"
#include "lang/lua/lualib.h"

// Raw value of argument i; a missing or non-numeric argument reads as 0.
inline int32_t api_num(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }
// Raw value of argument i, or `fallback` when fewer than i arguments were given.
inline int32_t api_num_or(lua_State* L, int i, int32_t fallback) {
    return lua_gettop(L) >= i ? api_num(L, i) : fallback;
}
// Integer part of argument i.
inline int32_t api_int(lua_State* L, int i) { return api_num(L, i) >> 16; }
inline void api_push_int(lua_State* L, int32_t v) {
    lua_pushnumber(L, static_cast<int32_t>(static_cast<uint32_t>(v) << 16));
}

// The text print, printh, stop and tostr make of a value: strings and numbers
// through the language's conversion, booleans as "true"/"false", anything
// else (a missing value included) as "[type]".
std::string api_value_text(lua_State* L, int i);

// Binds each function as a global and appends its name to the tokenizer's
// list of API names.
void api_register(lua_State* L, const luaL_Reg* functions, size_t count);
template <size_t N>
void api_register(lua_State* L, const luaL_Reg (&functions)[N]) {
    api_register(L, functions, N);
}

void add_draw_functions(lua_State* L);
void add_memory_functions(lua_State* L);
void add_math_functions(lua_State* L);
void add_input_functions(lua_State* L);
void add_sound_functions(lua_State* L);
void add_text_functions(lua_State* L);
void add_system_functions(lua_State* L);
void add_command_functions(lua_State* L);
