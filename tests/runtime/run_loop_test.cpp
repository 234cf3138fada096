// Carts run through the real run loop by the headless driver; results are
// read back from machine memory, the run loop's record and the console lines.
#include <gtest/gtest.h>

#include <string>

#include "machine/pstate.h"
#include "runtime/cpu.h"
#include "runtime/driver.h"
#include "runtime/run_loop.h"
#include "storage/cart.h"

namespace {

constexpr int32_t budget30 = MIVO3_CPU_CYCLES / 30;

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override { mivo3_driver_open(); }
    void TearDown() override { mivo3_driver_close(); }

    // Loads and starts code; true when its program runs.
    bool start(const std::string& code) {
        mivo3_driver_load_code(code);
        return mivo3_driver_start() == 0;
    }
    static int32_t peek(int32_t addr) { return mivo3_driver_peek(addr); }
    static int32_t peek4(int32_t addr) { return mivo3_driver_peek4(addr); }
    static bool printed(const std::string& text, int32_t colour) {
        for (const mivo3_driver_line& line : mivo3_driver_output())
            if (line.text == text && line.colour == colour)
                return true;
        return false;
    }
    static bool printed_part(const std::string& part) {
        return mivo3_driver_output_text().find(part) != std::string::npos;
    }
};

TEST_F(RunLoopTest, PreludeStartsWithItsHeaderAndTakesTwoLines) {
    std::string prelude = mivo3_prelude();
    EXPECT_EQ(prelude.rfind("-- mivo-3 header\n", 0), 0u);
    int newlines = 0;
    for (char c : prelude) newlines += c == '\n';
    EXPECT_EQ(newlines, 2);
    EXPECT_EQ(prelude.back(), '\n');
    // Definitions in their order.
    size_t last = 0;
    for (const char* name : {"_pausemenu=", "function menuitem", "function all", "function foreach",
                             "function count", "function add", "function del", "\x8b=0", "\x8f=6"}) {
        size_t at = prelude.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
}

TEST_F(RunLoopTest, JoinedTabsCarrySeparatorsUpToTheLastNonEmptyTab) {
    mivo3_code_tabs tabs;
    tabs.tab[0] = "a";
    tabs.tab[2] = "c";
    EXPECT_EQ(mivo3_join_code_tabs(tabs), "a\n-->8\n\n-->8\nc");
    EXPECT_EQ(mivo3_join_code_tabs(mivo3_code_tabs{}), "");
}

TEST_F(RunLoopTest, UpdateCartRunsUpdateAndDrawOncePerFrameAt30) {
    ASSERT_TRUE(start("n=0 d=0\n"
                      "function _init() poke(0x4303, peek(0x4303)+1) end\n"
                      "function _update() n+=1 poke(0x4300,n) end\n"
                      "function _draw() d+=1 poke(0x4301,d) end\n"));
    EXPECT_EQ(mivo3_driver_frames(5), 5);
    EXPECT_EQ(peek(0x4300), 5);
    EXPECT_EQ(peek(0x4301), 5);
    EXPECT_EQ(peek(0x4303), 1);
    EXPECT_EQ(mivo3_run.mainloop_kind, 2);
    EXPECT_EQ(pstate.current_fps, 30);
    EXPECT_EQ(mivo3_run.target_fps, 30);
    EXPECT_TRUE(mivo3_driver_running());
}

TEST_F(RunLoopTest, Update60CartRunsAt60AndNeverCallsUpdate) {
    ASSERT_TRUE(start("n=0\n"
                      "function _update60() n+=1 poke(0x4300,n) poke(0x4304,stat(7)) end\n"
                      "function _update() poke(0x4302,1) end\n"));
    mivo3_driver_frames(4);
    EXPECT_EQ(peek(0x4300), 4);
    EXPECT_EQ(peek(0x4302), 0);
    EXPECT_EQ(peek(0x4304), 60);
    EXPECT_EQ(pstate.current_fps, 60);
    EXPECT_EQ(mivo3_run.target_fps, 60);
}

TEST_F(RunLoopTest, DrawOnlyCartGetsAGeneratedMainLoop) {
    ASSERT_TRUE(start("d=0 function _draw() d+=1 poke(0x4301,d) end\n"));
    mivo3_driver_frames(3);
    EXPECT_EQ(peek(0x4301), 3);
    EXPECT_EQ(mivo3_run.mainloop_kind, 2);
}

TEST_F(RunLoopTest, CartsOwnMainLoopIsKeptAndUpdateIsNotCalled) {
    ASSERT_TRUE(start("k=0\n"
                      "function _update() poke(0x4301,1) end\n"
                      "function _mainloop() while true do k+=1 poke(0x4300,k) flip() end end\n"));
    mivo3_driver_frames(3);
    EXPECT_EQ(peek(0x4300), 3);
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_EQ(mivo3_run.mainloop_kind, 1);
}

TEST_F(RunLoopTest, ProgramWithoutMainFunctionsEndsAndStops) {
    ASSERT_TRUE(start("poke(0x4300,7)\n"));
    EXPECT_EQ(mivo3_driver_frames(10), 1);
    EXPECT_EQ(peek(0x4300), 7);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_EQ(mivo3_run.mainloop_kind, 0);
}

TEST_F(RunLoopTest, PreludeCollectionHelpers) {
    ASSERT_TRUE(start("t={1,2,3,4} s=0\n"
                      "for v in all(t) do if v==2 then del(t,v) end s=s*10+v end\n"
                      "poke(0x4300, s % 256) poke(0x4301, count(t)) poke(0x4302, #t)\n"
                      "u={5} poke(0x4303, del(u,9)==nil and 1 or 0) poke(0x4304, #u)\n"
                      "poke(0x4305, add(u,6)) poke(0x4306, count({1,nil,3}))\n"
                      "f=0 foreach({1,2,3}, function(v) f+=v end) poke(0x4307, f)\n"
                      "poke(0x4308, \x97) poke(0x4309, \x8f)\n"));
    mivo3_driver_frames(1);
    EXPECT_EQ(peek(0x4300), 1234 % 256);  // every element once although 2 was deleted
    EXPECT_EQ(peek(0x4301), 3);
    EXPECT_EQ(peek(0x4302), 3);
    EXPECT_EQ(peek(0x4303), 1);
    EXPECT_EQ(peek(0x4304), 1);
    EXPECT_EQ(peek(0x4305), 6);
    EXPECT_EQ(peek(0x4306), 2);
    EXPECT_EQ(peek(0x4307), 6);
    EXPECT_EQ(peek(0x4308), 5);
    EXPECT_EQ(peek(0x4309), 6);
}

// After flip the next slice restarts the countdown: the for loop below runs
// LOADK x3, FORPREP, FORLOOP n+1 times, then GETTABUP, LOADK and the CALL of
// _mark_cpu, so that call is instruction n+8 of the slice, and the hook has
// run once per 1024 instructions before it. Numbers stop at 32767, so the
// counts straddle the first two hook points.
TEST_F(RunLoopTest, InstructionCountingMatchesTheCostModelExactly) {
    for (int32_t n : {1015, 1016, 2039, 2040}) {
        mivo3_driver_open();
        ASSERT_TRUE(start("function _mainloop() while true do\n"
                          " flip()\n"
                          " for i=1," + std::to_string(n) + " do end\n"
                          " _mark_cpu(0)\n"
                          " poke4(0x4300, stat(1))\n"
                          " poke4(0x4304, stat(2))\n"
                          "end end\n"));
        mivo3_driver_frames(3);
        EXPECT_EQ(mivo3_run.mark_cycles[0], (n + 8) / 1024 * 1024) << n;
        // stat is called at instruction n+13 and charges its 16 cycles
        // before it measures.
        int32_t at_stat = (n + 13) / 1024 * 1024 + 16;
        EXPECT_EQ(peek4(0x4300), int32_t(int64_t(at_stat) * 65536 / budget30)) << n;
        EXPECT_EQ(peek4(0x4304), int32_t(int64_t(32) * 65536 / budget30)) << n;
    }
}

TEST_F(RunLoopTest, RefundsLowerTheFrameCountUnlessTheCartNamesTheRefundFunction) {
    auto measure = [&](const std::string& extra) {
        mivo3_driver_open();
        EXPECT_TRUE(start(extra +
                          "t={} for i=1,2000 do t[i]=i end\n"
                          "function _mainloop() while true do\n"
                          " flip() _mark_cpu(0) for x in all(t) do end _mark_cpu(1)\n"
                          "end end\n"));
        mivo3_driver_frames(3);
        return mivo3_run.mark_cycles[1] - mivo3_run.mark_cycles[0];
    };
    int32_t with_refunds = measure("");
    EXPECT_EQ(pstate.refunds_enabled, 1);
    int32_t without = measure("-- __refund_cpu__\n");
    EXPECT_EQ(pstate.refunds_enabled, 0);
    // 16 when the loop starts and 17 for each of the 2001 iterator calls.
    EXPECT_EQ(without - with_refunds, 16 + 17 * 2001);
}

TEST_F(RunLoopTest, RefundsInTheCurrentSliceDoNotLowerStat1) {
    ASSERT_TRUE(start("function _mainloop() while true do\n"
                      " flip() for i=1,3000 do end\n"
                      " local before=stat(1)\n"
                      " local r=_ENV['__refund'..'_cpu__'] r(-5000)\n"
                      " poke4(0x4300, stat(1)-before) poke4(0x4304, stat(2))\n"
                      "end end\n"));
    mivo3_driver_frames(3);
    int32_t stat_charge = int32_t(int64_t(16) * 65536 / budget30);
    EXPECT_LE(peek4(0x4300), stat_charge + 1);  // only the second stat's own charge
    EXPECT_GE(peek4(0x4300), stat_charge - 1);
    EXPECT_GE(pstate.refund_balance, 5000);
}

TEST_F(RunLoopTest, OverBudgetFrameYieldsMidFrameResumesAndHalvesTheRate) {
    ASSERT_TRUE(start("n=0\n"
                      "function _update()\n"
                      " n+=1 poke(0x4300,n)\n"
                      " if n<=2 then for j=1,10 do for i=1,15000 do end end end\n"
                      " poke(0x4301,n)\n"
                      "end\n"));
    EXPECT_EQ(mivo3_driver_frame(), 1);  // budget spent inside the loop
    EXPECT_EQ(peek(0x4300), 1);
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_EQ(mivo3_run.frame_halve_request, 1);
    EXPECT_EQ(mivo3_driver_frame(), 0);  // the same update finishes
    EXPECT_EQ(peek(0x4301), 1);
    EXPECT_EQ(pstate.current_fps, 30);
    mivo3_driver_frame();
    EXPECT_EQ(pstate.current_fps, 15);
    EXPECT_EQ(mivo3_run.target_fps, 30);
    EXPECT_EQ(peek(0x4300), 3);  // two updates in one drawn frame
    int32_t frames = 0;
    while (pstate.current_fps != 30 && frames < 5) {
        mivo3_driver_frame();
        frames++;
    }
    EXPECT_EQ(pstate.current_fps, 30);
    int32_t n = peek(0x4300);
    mivo3_driver_frame();
    EXPECT_EQ(peek(0x4300), n + 1);
}

TEST_F(RunLoopTest, DrawOnlyCartRecoversItsRateAfterOneHeavyFrame) {
    ASSERT_TRUE(start("d=0 function _draw() d+=1 if d==1 then for j=1,10 do for i=1,15000 do end end end end\n"));
    EXPECT_EQ(mivo3_driver_frame(), 1);
    mivo3_driver_frame();
    mivo3_driver_frame();
    EXPECT_EQ(pstate.current_fps, 15);
    for (int i = 0; i < 4; i++) mivo3_driver_frame();
    EXPECT_EQ(pstate.current_fps, 30);
}

TEST_F(RunLoopTest, Update60CartDropsTo30AndRunsTwoUpdatesPerFrame) {
    ASSERT_TRUE(start("n=0\n"
                      "function _update60() n+=1 poke(0x4300,n) if n==1 then for j=1,4 do for i=1,20000 do end end end end\n"));
    EXPECT_EQ(mivo3_driver_frame(), 1);
    mivo3_driver_frame();
    mivo3_driver_frame();
    EXPECT_EQ(pstate.current_fps, 30);
    EXPECT_EQ(mivo3_run.target_fps, 60);
    EXPECT_EQ(peek(0x4300), 3);
}

TEST_F(RunLoopTest, OverBudgetCoroutineFinishesItsResumeAndTheProgramYieldsAfter) {
    ASSERT_TRUE(start("co=cocreate(function() for j=1,10 do for i=1,15000 do end end end)\n"
                      "function _update()\n"
                      " if costatus(co)~='dead' then coresume(co) poke(0x4301, costatus(co)=='dead' and 1 or 2) end\n"
                      " poke(0x4302, peek(0x4302)+1)\n"
                      "end\n"));
    EXPECT_EQ(mivo3_driver_frame(), 1);  // the program stops right after the resume returns
    EXPECT_EQ(peek(0x4302), 0);
    mivo3_driver_frame();
    EXPECT_EQ(peek(0x4301), 1);  // one resume ran the coroutine to its end
    EXPECT_EQ(peek(0x4302), 1);
}

TEST_F(RunLoopTest, CommandErrorsAreReportedWithoutLines) {
    EXPECT_EQ(run_program("function f()", true), 1);
    EXPECT_TRUE(printed("syntax error", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("unclosed function", 6));
    mivo3_driver_clear_output();
    ASSERT_EQ(run_program("x=nil+1", true), 0);
    EXPECT_EQ(pstate.program_running, 0);
    EXPECT_EQ(pstate.code_overhead, 0);
    run_slice();
    EXPECT_TRUE(printed("runtime error", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("attempt to perform arithmetic on a nil value", 6));
    EXPECT_EQ(pstate.shell_mode, 0);
}

TEST_F(RunLoopTest, RuntimeErrorInALaterTabReportsLineAndTab) {
    std::string tab0;
    for (int i = 1; i <= 10; i++) tab0 += "a" + std::to_string(i) + "=1" + (i < 10 ? "\n" : "");
    ASSERT_TRUE(start(tab0 + "\n-->8\nb=1\nb=2\nb=3\nb=4\nlocal z=nil+1\n"));
    mivo3_driver_frames(2);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("runtime error line 5 tab 1", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("local z=nil+1", 7));
    EXPECT_TRUE(printed("attempt to perform arithmetic on a nil value", 6));
    EXPECT_TRUE(printed("at line 5 (tab 1)", 13));
}

TEST_F(RunLoopTest, TracebackNamesFunctionsByTabLine) {
    ASSERT_TRUE(start("function _update() boom() end\n-->8\n\nfunction boom()\n local q = nil .. 'x'\nend\n"));
    mivo3_driver_frames(2);
    EXPECT_TRUE(printed("runtime error line 3 tab 1", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("in boom line 3 (tab 1)", 13));
    EXPECT_TRUE(printed("in _update line 1 (tab 0)", 13));
    EXPECT_FALSE(printed_part("_mainloop"));
}

TEST_F(RunLoopTest, FailedAssertionsAndPositionedLibraryErrorsAreShown) {
    ASSERT_TRUE(start("a=1\nassert(a==2)\n"));
    mivo3_driver_frames(1);
    EXPECT_TRUE(printed("runtime error line 2 tab 0", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("assertion failed", 6));
    EXPECT_FALSE(printed_part("-- mivo-3 header"));

    mivo3_driver_clear_output();
    ASSERT_TRUE(start("assert(false, 'lives must not be negative')\n"));
    mivo3_driver_frames(1);
    EXPECT_TRUE(printed("lives must not be negative", 6)) << mivo3_driver_output_text();

    mivo3_driver_clear_output();
    mivo3_assert_message("checked in update");
    ASSERT_TRUE(start("x=1\n"));  // starting a cart clears the stored message
    EXPECT_STREQ(mivo3_run.assert_message, "");
}

TEST_F(RunLoopTest, SyntaxErrorsReportTabLineSourceAndShortMessage) {
    EXPECT_FALSE(start("a=1\n-->8\nb=1\n-->8\nc=1\nx = = 1\n"));
    EXPECT_TRUE(printed("syntax error line 2 (tab 2)", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("x = = 1", 7));
    EXPECT_TRUE(printed("unexpected symbol near '='", 6));
    EXPECT_EQ(pstate.pen_colour, 6);
    EXPECT_FALSE(mivo3_driver_running());
}

TEST_F(RunLoopTest, UnclosedBlockIsReportedWithItsLineAndTab) {
    EXPECT_FALSE(start("a=1\n-->8\nfunction f()\n x=1\n"));
    EXPECT_TRUE(printed("syntax error", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("unclosed function at line 1 (tab 1)", 6));
}

TEST_F(RunLoopTest, ShorthandIfMissingItsStatementIsAnUnexpectedEndOfLine) {
    EXPECT_FALSE(start("x=1\nif (x) y =\n"));
    EXPECT_TRUE(printed("unexpected end of line", 6)) << mivo3_driver_output_text();
}

TEST_F(RunLoopTest, CharacterLimitAcceptsExactly65536) {
    std::string code = "poke(0x4300,1)\n--";
    std::string exact = code + std::string(size_t(MIVO3_CODE_MAX_CHARS) - code.size(), 'x');
    EXPECT_TRUE(start(exact));
    mivo3_driver_frames(1);
    EXPECT_EQ(peek(0x4300), 1);
    EXPECT_FALSE(start(exact + "x"));
    EXPECT_TRUE(printed("program exceeds char limit", 6));
    EXPECT_TRUE(printed("65537 / 65536 chars", 6));
}

TEST_F(RunLoopTest, TokenLimitRefusesLargePrograms) {
    std::string code;
    for (int i = 0; i < 3000; i++) code += "a=1\n";
    EXPECT_FALSE(start(code));
    EXPECT_TRUE(printed("program too large", 6)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed_part("/ 8192 tokens"));
}

TEST_F(RunLoopTest, CodeOverheadIsTwelveBytesPerToken) {
    ASSERT_TRUE(start("a=1 b=2\n"));
    EXPECT_EQ(pstate.code_overhead, 6 * 12);
}

TEST_F(RunLoopTest, MemoryFaultStopsAtOnceWithItsMessage) {
    ASSERT_TRUE(start("poke(-1,1) poke(0x4300,9)\n"));
    mivo3_driver_frames(2);
    EXPECT_EQ(peek(0x4300), 0);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("bad memory access", 6)) << mivo3_driver_output_text();
}

TEST_F(RunLoopTest, MemoryFaultInsideACoroutineStopsTheProgram) {
    ASSERT_TRUE(start("co=cocreate(function() poke(-1,1) poke(0x4300,9) end)\n"
                      "coresume(co) poke(0x4301,9)\n"
                      "function _update() end\n"));
    mivo3_driver_frames(3);
    EXPECT_EQ(peek(0x4300), 0);
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_FALSE(mivo3_driver_running());
}

TEST_F(RunLoopTest, SuspendResetsCameraClipCursorAndDisplayPalette) {
    ASSERT_TRUE(start("camera(5,6) clip(1,2,3,4) cursor(3,200) pal(1,2,1)\n"));
    mivo3_driver_frames(1);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_EQ(pstate.camera_x, 0);
    EXPECT_EQ(mivo3_run.saved_camera_x, 5);
    EXPECT_EQ(mivo3_run.saved_camera_y, 6);
    EXPECT_EQ(pstate.clip_x1, 128);
    EXPECT_EQ(pstate.cursor_x, 0);
    EXPECT_LE(pstate.cursor_y, 120);
    EXPECT_EQ(pstate.display_palette[1], 1);
}

TEST_F(RunLoopTest, RunChainKeepsItsItemsAndTheirParameters) {
    EXPECT_EQ(get_run_chain_label(), nullptr);
    std::snprintf(mivo3_run.run_param, sizeof mivo3_run.run_param, "level 3");
    add_run_chain_item("menu.m3", "back to menu", 0);
    EXPECT_STREQ(get_run_chain_label(), "back to menu");
    EXPECT_STREQ(get_run_chain_filename(), "menu.m3");
    EXPECT_STREQ(get_run_chain_param_str(), "level 3");
    // Without a loader the breadcrumb cannot be followed and stays.
    EXPECT_EQ(follow_current_breadcrumb(), 1);
    EXPECT_EQ(run_chain_depth(), 1);
    for (int i = 0; i < 3000; i++) add_run_chain_item("x", "y", 0);
    EXPECT_EQ(run_chain_depth(), MIVO3_RUN_CHAIN_MAX);
    pop_run_chain();
    EXPECT_EQ(run_chain_depth(), MIVO3_RUN_CHAIN_MAX - 1);
    reset_run_chain();
    EXPECT_EQ(get_run_chain_filename(), nullptr);
}

std::string loaded_file;
int32_t record_load(const char* file) {
    loaded_file = file;
    return 0;
}

TEST_F(RunLoopTest, FollowingABreadcrumbStartsItsCartWithItsParameter) {
    mivo3_run_hooks hooks = mivo3_get_run_hooks();
    hooks.load_cart = record_load;
    mivo3_set_run_hooks(hooks);
    std::snprintf(mivo3_run.run_param, sizeof mivo3_run.run_param, "from menu");
    add_run_chain_item("menu.m3", "menu", 0);
    EXPECT_EQ(follow_current_breadcrumb(), 0);
    EXPECT_EQ(loaded_file, "menu.m3");
    EXPECT_EQ(pstate.pending_command, 1);
    EXPECT_STREQ(mivo3_run.pending_run_param, "from menu");
    EXPECT_EQ(run_chain_depth(), 0);
    mivo3_driver_load_code("function _update() end\n");
    mivo3_driver_frame();  // the pending run starts the cart
    EXPECT_STREQ(mivo3_run.run_param, "from menu");
    EXPECT_STREQ(mivo3_run.pending_run_param, "");
    EXPECT_TRUE(mivo3_driver_running());
}

TEST_F(RunLoopTest, StopEndsTheProgram) {
    ASSERT_TRUE(start("function _update() poke(0x4300,1) stop() poke(0x4301,1) end\n"));
    mivo3_driver_frames(3);
    EXPECT_EQ(peek(0x4300), 1);
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_FALSE(mivo3_driver_running());
}

}  // namespace
