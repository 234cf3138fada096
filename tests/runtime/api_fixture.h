// A language state with the API bound over a fresh machine: a working cart,
// a loaded (ROM) cart, and charges counted as if a program were running.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "lang/dialect.h"
#include "machine/lua_alloc.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/cpu.h"
#include "runtime/run_loop.h"
#include "storage/cart.h"

class ApiTest : public ::testing::Test {
protected:
    lua_State* L = nullptr;
    mivo3_cart* cart = nullptr;
    mivo3_cart* rom = nullptr;

    void SetUp() override {
        reset_pstate();
        reset_buttons();
        reset_run_loop();
        mivo3_api = {};
        mivo3_reload_file_hook = nullptr;
        mivo3_cstore_file_hook = nullptr;
        mivo3_printh_reset_limits();
        cart = quon_create_mivo3_cart();
        rom = quon_create_mivo3_cart();
        pstate.cart = cart;
        mivo3_current_cart = rom;
        L = lua_newstate(mivo3_lua_alloc, nullptr);
        ASSERT_NE(L, nullptr);
        add_c_functions(L);
        mivo3_vm = {};
        mivo3_vm.state = L;  // charges are counted only while a state is linked
    }

    void TearDown() override {
        mivo3_vm = {};
        lua_close(L);
        pstate.cart = nullptr;
        mivo3_current_cart = nullptr;
        quon_destroy_mivo3_cart(cart);
        quon_destroy_mivo3_cart(rom);
        mivo3_api = {};
    }

    static std::string text_of(lua_State* S, int i) {
        switch (lua_type(S, i)) {
            case LUA_TNIL: return "nil";
            case LUA_TBOOLEAN: return lua_toboolean(S, i) ? "true" : "false";
            case LUA_TNUMBER:
            case LUA_TSTRING: {
                lua_pushvalue(S, i);
                std::string s = lua_tostring(S, -1);
                lua_pop(S, 1);
                return s;
            }
            default: return lua_typename(S, lua_type(S, i));
        }
    }

    // Runs code and returns its results joined by ',' ("error: ..." when it
    // raised an error).
    std::string run(const std::string& code) {
        int top = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) {
            std::string msg = std::string("error: ") + lua_tostring(L, -1);
            lua_settop(L, top);
            return msg;
        }
        std::string out;
        for (int i = top + 1; i <= lua_gettop(L); i++) out += (i > top + 1 ? "," : "") + text_of(L, i);
        lua_settop(L, top);
        return out;
    }

    // Net cycles a piece of code charged through the API (charges minus
    // refunds), without the instructions it ran.
    int32_t charge_of(const std::string& code) {
        int32_t before = pstate.frame_cycles;
        run(code);
        return pstate.frame_cycles - before;
    }
};
