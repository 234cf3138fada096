// Program control and system bindings (stop, yield, time, stat, extcmd,
// serial, the pause menu's internal functions), the language's own base and
// coroutine functions, and add_c_functions, which binds every group.
#include <sha1.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "audio/sequencer.h"
#include "host/clipboard.h"
#include "host/input.h"
#include "host/joystick.h"
#include "host/timing.h"
#include "lang/tokenizer.h"
#include "machine/draw.h"
#include "machine/lua_alloc.h"
#include "machine/memory.h"
#include "runtime/api.h"
#include "runtime/api_internal.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"

mivo3_api_hooks mivo3_api = {};

namespace {

constexpr int32_t reset_interval_ms = 500;
constexpr int32_t devkit_message_ms = 2000;

// Once per run: the devkit notices, reset when a language state is bound.
bool devkit_keyboard_shown = false;
bool devkit_mouse_shown = false;
// Time of the last extcmd("reset"); repeated requests within the interval
// are ignored.
bool reset_requested = false;
int32_t last_reset_ms = 0;

void push_text(lua_State* L, const char* s) { lua_pushstring(L, s ? s : ""); }

}  // namespace

void api_register(lua_State* L, const luaL_Reg* functions, size_t count) {
    for (size_t i = 0; i < count; i++) {
        lua_register(L, functions[i].name, functions[i].func);
        add_api_function_name(functions[i].name);
    }
}

static int m3_stop(lua_State* L) {
    if (pstate.glitch_timer != 0) return 0;
    pstate.pending_command = 2;
    mivo3_camera(0, 0);
    int n = lua_gettop(L);
    if (n >= 1) {
        std::string text = api_value_text(L, 1);
        mivo3_print(text.c_str(), n, api_num(L, 2), api_num(L, 3), api_num(L, 4));
    }
    mivo3_suspend_program_from(L);
    return lua_yield(L, 0);
}

static int m3_yield(lua_State* L) { return lua_yield(L, lua_gettop(L)); }

// Seconds of machine time: the button frame counter counts 60ths.
static int m3_time(lua_State* L) {
    lua_pushnumber(L, int32_t(int64_t(buttons.button_frame_counter) * 65536 / 60));
    return 1;
}

// The first use of the devkit devices shows a notice when the cart came
// from the forum or the command line, where the user may not expect it.
static void devkit_notice(bool& shown, const char* text) {
    if (shown) return;
    shown = true;
    bool startup = mivo3_api.startup_cart_given && mivo3_api.startup_cart_given();
    bool forum = mivo3_run.forum_id[0] != 0 && pstate.program_running;
    if ((startup || forum) && mivo3_api.show_message) mivo3_api.show_message(text, devkit_message_ms);
}

// stat(30..36): the devkit keyboard and mouse, only while 0x5f2d holds 1.
static int devkit_stat(lua_State* L, int32_t i) {
    if (mivo3_peek(&pstate, pstate.cart, MIVO3_REG_DEVKIT) != 1) {
        if (i == 30)
            lua_pushboolean(L, 0);
        else if (i == 31)
            lua_pushstring(L, "");
        else
            api_push_int(L, 0);
        return 1;
    }
    if (i <= 31) {
        devkit_notice(devkit_keyboard_shown, "devkit keyboard enabled");
        int32_t count = std::clamp<int32_t>(pstate.key_buffer_count, 0, int32_t(sizeof pstate.key_buffer));
        if (i == 30) {
            lua_pushboolean(L, count > 0);
            return 1;
        }
        if (count == 0) {
            lua_pushstring(L, "");
            return 1;
        }
        char c = char(pstate.key_buffer[0]);
        std::memmove(pstate.key_buffer, pstate.key_buffer + 1, size_t(count - 1));
        pstate.key_buffer_count = count - 1;
        lua_pushlstring(L, &c, 1);
        return 1;
    }
    devkit_notice(devkit_mouse_shown, "devkit mouse enabled");
    int32_t x = 0, y = 0, b = 0;
    quon_get_mouse(&x, &y, &b);
    const int32_t values[] = {x, y, b, buttons.wheel_x, buttons.wheel_y};
    api_push_int(L, values[i - 32]);
    return 1;
}

static int date_stat(lua_State* L, int32_t i) {
    std::time_t now = quon_calendar_time();
    std::tm t{};
    if (i < 90)
        gmtime_r(&now, &t);
    else
        localtime_r(&now, &t);
    const int32_t fields[] = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
    api_push_int(L, fields[i % 10]);
    return 1;
}

static int m3_stat(lua_State* L) {
    spend_cpu(16);
    int32_t i = lua_gettop(L) == 0 ? 1 : api_int(L, 1);
    switch (i) {
        case 0: {
            int64_t bytes = std::clamp<int64_t>(int64_t(pstate.code_overhead) + pstate.lua_bytes, 0, 0x200000);
            lua_pushnumber(L, int32_t(bytes * 64));  // KiB with fraction
            return 1;
        }
        case 1:
        case 2: lua_pushnumber(L, mivo3_cpu_stat(i)); return 1;
        case 4: {
            std::string clip = quon_get_clipboard_text();
            lua_pushlstring(L, clip.data(), clip.size());
            return 1;
        }
        case 5: api_push_int(L, 17); return 1;
        case 6: push_text(L, mivo3_run.run_param); return 1;
        case 7: api_push_int(L, pstate.current_fps); return 1;
        case 8: api_push_int(L, mivo3_run.target_fps); return 1;
        case 9: lua_pushnumber(L, smoothed_fps); return 1;
        case 10: api_push_int(L, mivo3_run.frame_drop_count); return 1;
        case 12:
        case 13:
        case 14:
        case 15: {
            int32_t n = mivo3_api.pause_menu_lines ? mivo3_api.pause_menu_lines() : 0;
            const int32_t rect[] = {23, 59 - 4 * n, 104, 68 + 4 * n};
            api_push_int(L, rect[i - 12]);
            return 1;
        }
        case 29: api_push_int(L, quon_count_joysticks()); return 1;
        case 48: lua_pushnil(L); return 1;
        case 49: lua_pushstring(L, ""); return 1;
        case 100: {
            const char* label = get_run_chain_label();
            if (label)
                lua_pushstring(L, label);
            else
                lua_pushnil(L);
            return 1;
        }
        case 101:
            if (mivo3_run.forum_id[0] && pstate.program_running)
                lua_pushstring(L, mivo3_run.forum_id);
            else
                lua_pushnil(L);
            return 1;
        case 103: push_text(L, mivo3_run.cart_hash); return 1;
        case 104: lua_pushboolean(L, 0); return 1;
        case 106: {
            std::string text = std::string(mivo3_run.run_param) + mivo3_run.cart_hash;
            char hex[SHA1_DIGEST_STRING_LENGTH];
            SHA1Data(reinterpret_cast<const uint8_t*>(text.data()), text.size(), hex);
            lua_pushstring(L, hex);
            return 1;
        }
        default: break;
    }
    if (i >= 16 && i <= 26) {
        api_push_int(L, mivo3_audio_stat(pstate.cart, i));
    } else if (i >= 30 && i <= 36) {
        return devkit_stat(L, i);
    } else if ((i >= 50 && i <= 57) || (i >= 64 && i <= 71)) {
        lua_pushnil(L);
    } else if (i >= 58 && i <= 63) {
        lua_pushstring(L, "");
    } else if ((i >= 80 && i <= 85) || (i >= 90 && i <= 95)) {
        return date_stat(L, i);
    } else {
        api_push_int(L, 0);
    }
    return 1;
}

// A capture tells its own result once its file is written; without one the
// failure is told at once.
static void start_capture(int32_t (*capture)(), const char* failed) {
    if (capture)
        capture();
    else if (mivo3_api.show_message)
        mivo3_api.show_message(failed, 1900);
}

static int m3_extcmd(lua_State* L) {
    if (lua_type(L, 1) != LUA_TSTRING) return 0;
    std::string cmd = lua_tostring(L, 1);
    if (cmd == "label") {
        if (mivo3_api.save_label && mivo3_api.save_label() == 0 && mivo3_api.show_message)
            mivo3_api.show_message("saved label", 1500);
    } else if (cmd == "screen") {
        start_capture(mivo3_api.save_screenshot, "** failed to save screenshot");
    } else if (cmd == "rec") {
        if (mivo3_api.start_recording) mivo3_api.start_recording();
    } else if (cmd == "video") {
        start_capture(mivo3_api.save_video, "** failed to save video");
    } else if (cmd == "pause") {
        if (mivo3_api.open_pause_menu) mivo3_api.open_pause_menu();
    } else if (cmd == "reset") {
        int32_t now = quon_get_time();
        if (pstate.glitch_timer == 0 && (!reset_requested || now - last_reset_ms >= reset_interval_ms)) {
            reset_requested = true;
            last_reset_ms = now;
            if (mivo3_api.start_reset_glitch) mivo3_api.start_reset_glitch();
        }
    } else if (cmd == "breadcrumb" || cmd == "go_back") {
        if (run_chain_depth() > 0 && follow_current_breadcrumb() == 0) {
            mivo3_suspend_program_from(L);
            return lua_yield(L, 0);
        }
    } else if (cmd == "shutdown") {
        if (mivo3_api.request_shutdown) mivo3_api.request_shutdown();
    }
    return 0;
}

static int m3_set_draw_slice(lua_State*) { return 0; }

// The serial channels are not connected: only the time a transfer would
// take is charged.
static int m3_serial(lua_State* L) {
    if (lua_type(L, 2) == LUA_TSTRING) return 0;
    int64_t count = lua_gettop(L) >= 4 ? api_int(L, 4) : 1;
    int64_t cycles = (int64_t(api_int(L, 3)) * 8 / 64) * count;
    spend_cpu(int32_t(std::clamp<int64_t>(cycles, INT32_MIN, INT32_MAX)));
    return 0;
}

static int m3__menuitem(lua_State* L) {
    int32_t i = api_int(L, 1);
    if (i < 1 || i > 5 || !mivo3_api.set_menu_item) return 0;
    if (lua_isnoneornil(L, 2)) {
        mivo3_api.set_menu_item(i, nullptr);
    } else {
        std::string label = api_value_text(L, 2).substr(0, 16);
        mivo3_api.set_menu_item(i, label.c_str());
    }
    return 0;
}

static int m3__get_menu_item_selected(lua_State* L) {
    int32_t i = api_int(L, 1);
    if (i < 1 || i > 5) return 0;
    lua_pushboolean(L, mivo3_api.take_menu_item_selected && mivo3_api.take_menu_item_selected(i) != 0);
    return 1;
}

static int m3__update_buttons(lua_State* L) {
    buttons.button_frame_counter += api_int(L, 1);
    update_buttons();
    return 0;
}

static int m3__set_paused(lua_State* L) {
    int32_t v = lua_type(L, 1) == LUA_TNUMBER ? api_int(L, 1) : lua_toboolean(L, 1);
    if (mivo3_api.set_paused) mivo3_api.set_paused(v);
    return 0;
}

void add_system_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"stop", m3_stop},
        {"yield", m3_yield},
        {"time", m3_time},
        {"t", m3_time},
        {"stat", m3_stat},
        {"extcmd", m3_extcmd},
        {"set_draw_slice", m3_set_draw_slice},
        {"serial", m3_serial},
        {"trace", db_traceback},
        {"assert", luaB_assert},
        {"pairs", luaB_pairs},
        {"type", luaB_type},
        {"next", luaB_next},
        {"setmetatable", luaB_setmetatable},
        {"getmetatable", luaB_getmetatable},
        {"rawequal", luaB_rawequal},
        {"rawlen", luaB_rawlen},
        {"rawget", luaB_rawget},
        {"rawset", luaB_rawset},
        {"cocreate", luaB_cocreate},
        {"coresume", luaB_coresume},
        {"costatus", luaB_costatus},
        {"_menuitem", m3__menuitem},
        {"_get_menu_item_selected", m3__get_menu_item_selected},
        {"_update_buttons", m3__update_buttons},
        {"_set_paused", m3__set_paused},
    };
    api_register(L, functions);
}

void add_c_functions(lua_State* L) {
    devkit_keyboard_shown = devkit_mouse_shown = false;
    init_api_function_names();
    add_runloop_functions(L);
    for (const char* name : {"flip", "holdframe", "_startframe", "__refund_cpu__", "_update_framerate",
                             "_set_mainloop_exists", "_set_fps", "_mark_cpu"})
        add_api_function_name(name);
    add_draw_functions(L);
    add_memory_functions(L);
    add_sound_functions(L);
    add_math_functions(L);
    add_text_functions(L);
    add_input_functions(L);
    add_cdata_functions(L);
    add_system_functions(L);
    add_command_functions(L);
}
