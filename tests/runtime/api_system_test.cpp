// The binding table as a whole, and the system bindings: stat, stop, yield,
// time, extcmd, serial, the pause-menu internals, buttons, text conversion
// and printh with its file rules and limits.
#include "host/log.h"
#include "tests/runtime/api_fixture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "host/clipboard.h"
#include "lang/tokenizer.h"
#include "machine/memory.h"

using ApiSystem = ApiTest;

namespace {

const std::set<std::string> expected_names = {
    "flip", "camera", "clip", "cls", "pset", "pget", "color", "print", "cursor", "spr", "sspr", "rect",
    "rectfill", "circ", "circfill", "line", "pal", "palt", "fillp", "mapdraw", "map", "mget", "mset",
    "fget", "fset", "sget", "sset", "peek", "poke", "peek2", "poke2", "peek4", "poke4", "memcpy",
    "memset", "reload", "cstore", "music", "sfx", "rnd", "srand", "flr", "ceil", "sgn", "abs", "min",
    "max", "mid", "cos", "sin", "sqrt", "atan2", "band", "bor", "bxor", "bnot", "shl", "shr", "lshr",
    "rotl", "rotr", "tostr", "tonum", "sub", "printh", "btn", "btnp", "cartdata", "dget", "dset",
    "stop", "yield", "time", "t", "stat", "extcmd", "holdframe", "_startframe", "set_draw_slice",
    "serial", "trace", "assert", "pairs", "type", "next", "setmetatable", "getmetatable", "rawequal",
    "rawlen", "rawget", "rawset", "cocreate", "coresume", "costatus", "_menuitem",
    "_get_menu_item_selected", "_update_buttons", "_update_framerate", "_set_mainloop_exists",
    "_set_fps", "_mark_cpu", "_set_paused", "__refund_cpu__",
    // The console's commands.
    "folder", "ls", "dir", "cd", "mkdir", "install_demos", "install_games", "keyconfig", "trovea", "load",
    "save", "run", "reboot", "shutdown", "exit", "info", "export", "import", "help", "login", "logout",
    "bbsreq", "scoresub", "radio"};

std::vector<std::string> messages;
std::string menu_labels[6];
int32_t selected_flags[6];
int32_t glitches;
int32_t capture_result;

}  // namespace

TEST_F(ApiSystem, BindsEveryNameAndNothingElse) {
    std::set<std::string> globals;
    lua_pushglobaltable(L);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        EXPECT_EQ(lua_type(L, -1), LUA_TFUNCTION) << lua_tostring(L, -2);
        globals.insert(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    EXPECT_EQ(globals, expected_names);
    // The tokenizer knows every bound name.
    for (const std::string& name : expected_names) EXPECT_GE(find_api_function_name(name), 0) << name;
    EXPECT_EQ(api_function_name_count(), int32_t(expected_names.size()));
}

TEST_F(ApiSystem, StatConstantsAndEmptyIndices) {
    EXPECT_EQ(run("return stat(5), stat(11), stat(48), stat(49), stat(50), stat(58), stat(64), stat(104)"),
              "17,0,nil,,nil,,nil,false");
    EXPECT_EQ(run("return stat(200), stat(-1), stat(5.9)"), "0,0,17");
    EXPECT_EQ(charge_of("stat(5)"), 16);
}

TEST_F(ApiSystem, StatRunState) {
    pstate.current_fps = 30;
    mivo3_run.target_fps = 60;
    mivo3_run.frame_drop_count = 3;
    std::snprintf(mivo3_run.run_param, sizeof mivo3_run.run_param, "abc");
    std::snprintf(mivo3_run.cart_hash, sizeof mivo3_run.cart_hash, "0123");
    EXPECT_EQ(run("return stat(7), stat(8), stat(10), stat(6), stat(103)"), "30,60,3,abc,0123");
    EXPECT_EQ(run("return stat(106)"), "bdd775bafe70f2709dcb7c9356fd53bac21664b7");  // SHA-1 of "abc0123"
    EXPECT_EQ(run("return stat(100), stat(101)"), "nil,nil");
    std::snprintf(mivo3_run.forum_id, sizeof mivo3_run.forum_id, "tinyjam-2");
    EXPECT_EQ(run("return stat(101)"), "nil");  // not while no cart program runs
    pstate.program_running = 1;
    EXPECT_EQ(run("return stat(101)"), "tinyjam-2");
}

TEST_F(ApiSystem, StatMemoryAudioAndDate) {
    pstate.code_overhead = 1024;
    auto stat0 = [this] {
        lua_getglobal(L, "stat");
        lua_pushnumber(L, 0);
        int64_t expected = (int64_t(pstate.code_overhead) + pstate.lua_bytes) * 64;  // KiB, 16.16
        lua_call(L, 1, 1);
        int64_t got = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return got - expected;
    };
    stat0();  // the first call may grow the call stack
    EXPECT_EQ(stat0(), 0);
    pstate.code_overhead = 0x300000;
    EXPECT_EQ(run("return stat(0)"), "2048");
    EXPECT_EQ(run("return stat(16), stat(20), stat(24), stat(26)"), "-1,-1,-1,-1");
    EXPECT_EQ(run("local y = stat(80) return y >= 2024 and y < 2200, stat(91) >= 1 and stat(91) <= 12"),
              "true,true");
}

TEST_F(ApiSystem, StatPauseMenuRectangle) {
    EXPECT_EQ(run("return stat(12), stat(13), stat(14), stat(15)"), "23,59,104,68");
    mivo3_api.pause_menu_lines = [] { return int32_t(5); };
    EXPECT_EQ(run("return stat(12), stat(13), stat(14), stat(15)"), "23,39,104,88");
}

TEST_F(ApiSystem, StatDevkitNeedsTheRegister) {
    pstate.key_buffer[0] = 'q';
    pstate.key_buffer[1] = 'r';
    pstate.key_buffer_count = 2;
    EXPECT_EQ(run("return stat(30), stat(31), stat(32)"), "false,,0");
    messages.clear();
    mivo3_api.show_message = [](const char* text, int32_t) { messages.push_back(text); };
    mivo3_api.startup_cart_given = [] { return int32_t(1); };
    mivo3_poke(&pstate, cart, MIVO3_REG_DEVKIT, 1);
    EXPECT_EQ(run("return stat(30), stat(31), stat(31), stat(31), stat(30)"), "true,q,r,,false");
    buttons.wheel_y = -1;
    EXPECT_EQ(run("return stat(36), stat(35)"), "-1,0");
    ASSERT_EQ(messages.size(), 2u);  // once each per run
    EXPECT_EQ(messages[0], "devkit keyboard enabled");
    EXPECT_EQ(messages[1], "devkit mouse enabled");
}

TEST_F(ApiSystem, TimeFollowsTheButtonFrameCounter) {
    buttons.button_frame_counter = 90;
    EXPECT_EQ(run("return time(), t()"), "1.5,1.5");
    run("_update_buttons(2) _update_buttons(1)");
    EXPECT_EQ(buttons.button_frame_counter, 93);
}

TEST_F(ApiSystem, StopPrintsResetsTheCameraAndYields) {
    lua_State* T = lua_newthread(L);
    pstate.camera_x = 7;
    ASSERT_EQ(luaL_loadstring(T, "stop('bye') reached = 1"), LUA_OK);
    int32_t before = pstate.frame_cycles;
    ASSERT_EQ(lua_resume(T, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(pstate.pending_command, 2);
    EXPECT_EQ(pstate.camera_x, 0);
    EXPECT_EQ(pstate.frame_cycles - before, 8 * 3 + 2);
    EXPECT_EQ(run("return reached"), "nil");
}

TEST_F(ApiSystem, StopIsIgnoredDuringTheResetGlitch) {
    pstate.glitch_timer = 2;
    EXPECT_EQ(run("stop() return 1"), "1");
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(ApiSystem, YieldAndCoroutines) {
    EXPECT_EQ(run("local c = cocreate(function(a) local b = yield(a + 1) return b * 2 end) "
                  "local ok1, v1 = coresume(c, 1) local ok2, v2 = coresume(c, 5) "
                  "return ok1, v1, ok2, v2, costatus(c)"),
              "true,2,true,10,dead");
    EXPECT_EQ(run("local c c = cocreate(function() return coresume(c) end) return coresume(c)"),
              "true,false,cannot resume non-suspended coroutine");
    EXPECT_EQ(run("local c = cocreate(function() nothing() end) coresume(c) return coresume(c)"),
              "false,corolib: cannot resume dead coroutine");
}

TEST_F(ApiSystem, ExtcmdResetOncePerInterval) {
    glitches = 0;
    mivo3_api.start_reset_glitch = [] { glitches++; };
    run("extcmd('reset') extcmd('reset')");
    EXPECT_EQ(glitches, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(520));
    run("extcmd('reset')");
    EXPECT_EQ(glitches, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(520));
    pstate.glitch_timer = 1;
    run("extcmd('reset')");
    EXPECT_EQ(glitches, 2);
}

TEST_F(ApiSystem, ExtcmdCapturesStartTheirSavesOrTellTheFailure) {
    messages.clear();
    mivo3_api.show_message = [](const char* text, int32_t) { messages.push_back(text); };
    mivo3_api.save_screenshot = [] { return ++capture_result; };
    mivo3_api.save_video = [] { return capture_result += 10; };
    capture_result = 0;
    run("extcmd('screen') extcmd('video') extcmd('unknown') extcmd('Screen')");
    EXPECT_EQ(capture_result, 11);
    EXPECT_TRUE(messages.empty());  // the saves tell their own result when done
    mivo3_api.save_screenshot = nullptr;
    mivo3_api.save_video = nullptr;
    run("extcmd('screen') extcmd('video')");
    EXPECT_EQ(messages, (std::vector<std::string>{"** failed to save screenshot", "** failed to save video"}));
}

TEST_F(ApiSystem, SerialChargesTheTransferTime) {
    EXPECT_EQ(charge_of("serial(0x804, 0x4300, 64)"), 8);
    EXPECT_EQ(charge_of("serial(0x804, 0x4300, 64, 3)"), 24);
    EXPECT_EQ(charge_of("serial(0x804, 'text')"), 0);
}

TEST_F(ApiSystem, PauseMenuInternals) {
    for (auto& l : menu_labels) l = "-";
    mivo3_api.set_menu_item = [](int32_t i, const char* label) { menu_labels[i] = label ? label : "(cleared)"; };
    mivo3_api.take_menu_item_selected = [](int32_t i) {
        int32_t v = selected_flags[i];
        selected_flags[i] = 0;
        return v;
    };
    run("_menuitem(1, 'a label longer than sixteen') _menuitem(2, 'x') _menuitem(2) _menuitem(6, 'no')");
    EXPECT_EQ(menu_labels[1], "a label longer t");
    EXPECT_EQ(menu_labels[2], "(cleared)");
    selected_flags[3] = 1;
    EXPECT_EQ(run("return _get_menu_item_selected(3), _get_menu_item_selected(3)"), "true,false");
    EXPECT_EQ(run("return _get_menu_item_selected(0)"), "");
}

TEST_F(ApiSystem, ButtonsGiveBooleansOrTheMask) {
    buttons.btn_down[0][4] = 1;
    buttons.btn_down[1][0] = 1;
    EXPECT_EQ(run("return btn(4), btn(5), btn(0, 1), btn(8)"), "true,false,true,false");
    EXPECT_EQ(run("return type(btn())"), "number");
    EXPECT_EQ(charge_of("btn(4)"), 4);
}

TEST_F(ApiSystem, TextConversion) {
    EXPECT_EQ(run("return tostr(-1, true), tostr(1.5), tostr(nil), tostr(), tostr(true), tostr({}), "
                  "tostr('s', true)"),
              "0xffff.0000,1.5,[nil],[nil],true,[table],s");
    EXPECT_EQ(run("return tonum('0x10'), tonum('-0x1'), tonum(3), #{tonum('abc')}, #{tonum({})}"),
              "16,-1,3,0,0");
    EXPECT_EQ(run("return sub('hello', 2, 3)"), "el");
}

class ApiPrinth : public ApiTest {
protected:
    static inline std::filesystem::path folder;
    void SetUp() override {
        ApiTest::SetUp();
        folder = std::filesystem::path(MIVO3_BINARY_DIR) / "api_printh_test";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "sub");
        mivo3_api.log_folder = [] { return folder.string() + "/"; };
    }
    static std::string file(const char* name) {
        std::ifstream in(folder / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(ApiPrinth, OneArgumentWritesALineToTheHostLog) {
    const std::string log = (folder / "host_log.txt").string();
    ASSERT_EQ(quon_log_open(log.c_str()), 0);
    run("printh('first') printh(42)");
    quon_log_close();
    EXPECT_EQ(file("host_log.txt"), "first\n42\n");
}

TEST_F(ApiPrinth, WritesAppendsAndOverwrites) {
    run("printh('one', 'log') printh(2, 'log.m3l') printh(true, 'sub/x')");
    EXPECT_EQ(file("log.m3l"), "one\n2\n");
    EXPECT_EQ(file("sub/x.m3l"), "true\n");
    run("printh('fresh', 'log', true)");
    EXPECT_EQ(file("log.m3l"), "fresh\n");
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(ApiPrinth, RefusesBadNames) {
    for (const char* name : {"../escape", "a..b", "Upper", "semi;colon", "back\\\\slash", ".m3l", "dir/"}) {
        pstate.pending_command = 0;
        run(std::string("printh('v', '") + name + "')");
        EXPECT_EQ(pstate.pending_command, 4) << name;
        EXPECT_STREQ(pstate.error_text, "printh: bad log file name") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path() / "escape.m3l"));
    pstate.pending_command = 0;
    run("local s = 'a' for i = 1, 10 do s = s .. s end printh('v', s)");  // path over 1022 characters
    EXPECT_EQ(pstate.pending_command, 4);
}

TEST_F(ApiPrinth, UnopenableFileStopsTheProgram) {
    run("printh('v', 'missing/dir/f')");
    EXPECT_STREQ(pstate.error_text, "printh: could not open log file");
}

TEST_F(ApiPrinth, AtMostSixtyFourFiles) {
    run("for i = 1, 64 do printh(i, 'f' .. i) end printh('again', 'f1')");
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_EQ(file("f1.m3l"), "1\nagain\n");
    run("printh('one too many', 'f65')");
    EXPECT_STREQ(pstate.error_text, "too many printh files");
    EXPECT_FALSE(std::filesystem::exists(folder / "f65.m3l"));
}

TEST_F(ApiPrinth, AtMostTenMegabytes) {
    // Ten lines of 1 MiB - 1 bytes plus their newlines come to exactly
    // 10 MiB, over the limit of 0x9fffff: the tenth is refused.
    run("local s = 'x' for i = 1, 20 do s = s .. s end s = sub(s, 2) "
        "for i = 1, 9 do printh(s, 'big') end");
    EXPECT_EQ(pstate.pending_command, 0);
    run("local s = 'x' for i = 1, 20 do s = s .. s end printh(sub(s, 2), 'big')");
    EXPECT_STREQ(pstate.error_text, "printh: too much log data (10mb max)");
    EXPECT_EQ(std::filesystem::file_size(folder / "big.m3l"), 9u * 1024 * 1024);
    mivo3_printh_reset_limits();
    pstate.pending_command = 0;
    run("printh('after reset', 'big')");
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(ApiPrinth, ClipboardTarget) {
    run("printh('to the clipboard', '@clip')");
    EXPECT_EQ(quon_get_clipboard_text(), "to the clipboard");
    EXPECT_EQ(run("return stat(4)"), "to the clipboard");
    run("printh('\\128', '@clip')");
    std::string clip = quon_get_clipboard_text();
    EXPECT_GT(clip.size(), 1u);  // the glyph byte leaves as its multi-byte form
}
