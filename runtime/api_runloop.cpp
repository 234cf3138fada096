// The run loop's own functions in the language: frame end and holding, CPU
// refunds, marks, and the settings the generated main loop makes.
#include "lang/dialect.h"
#include "machine/pstate.h"
#include "runtime/run_loop.h"

namespace {

int32_t int_arg(lua_State* L, int i)
{
    return lua_isnumber(L, i) ? int32_t(lua_tointeger(L, i)) : 0;
}

int m3_flip(lua_State* L)
{
    mivo3_flip_frame();
    return lua_yield(L, 0);
}

int m3_holdframe(lua_State*)
{
    mivo3_hold_frame();
    return 0;
}

int m3___refund_cpu__(lua_State* L)
{
    mivo3_program_refund(int_arg(L, 1));
    return 0;
}

int m3__update_framerate(lua_State*)
{
    update_frame_rate();
    return 0;
}

int m3__set_mainloop_exists(lua_State* L)
{
    mivo3_run.mainloop_kind = int_arg(L, 1);
    return 0;
}

int m3__set_fps(lua_State* L)
{
    int32_t fps = int_arg(L, 1);
    pstate.current_fps = fps;
    mivo3_run.target_fps = fps;
    return 0;
}

int m3__mark_cpu(lua_State* L)
{
    mivo3_mark_cpu(int_arg(L, 1));
    return 0;
}

}  // namespace

void add_runloop_functions(lua_State* L)
{
    static const luaL_Reg functions[] = {
        {"flip", m3_flip},
        {"holdframe", m3_holdframe},
        {"_startframe", m3_holdframe},
        {"__refund_cpu__", m3___refund_cpu__},
        {"_update_framerate", m3__update_framerate},
        {"_set_mainloop_exists", m3__set_mainloop_exists},
        {"_set_fps", m3__set_fps},
        {"_mark_cpu", m3__mark_cpu},
    };
    for (const luaL_Reg& f : functions) {
        lua_pushcfunction(L, f.func);
        lua_setglobal(L, f.name);
    }
}
