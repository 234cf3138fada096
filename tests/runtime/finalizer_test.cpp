// Code the count hook cannot suspend: finalizers (run by the collector
// between frames and when the language state closes) and Lua functions
// called from C. Such code may run past the frame budget, but one that runs
// away is stopped with an error instead of hanging the player.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

#include "machine/pstate.h"
#include "runtime/driver.h"
#include "runtime/run_loop.h"

namespace {

// Runs f on a thread of its own. A thread stuck in the language cannot be
// joined, so a hang fails the test and ends the test program.
template <class F>
void within_seconds(int seconds, F f)
{
    auto done = std::async(std::launch::async, f);
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        ADD_FAILURE() << "still running after " << seconds << " s";
        std::fflush(stdout);
        std::_Exit(1);
    }
    done.get();
}

class FinalizerTest : public ::testing::Test {
protected:
    void SetUp() override { mivo3_driver_open(); }
    void TearDown() override { mivo3_driver_close(); }

    static bool start(const std::string& code)
    {
        mivo3_driver_load_code(code);
        return mivo3_driver_start() == 0;
    }
    static bool printed(const std::string& text, int32_t colour)
    {
        for (const mivo3_driver_line& line : mivo3_driver_output())
            if (line.text == text && line.colour == colour)
                return true;
        return false;
    }
    static bool printed_part(const std::string& part)
    {
        return mivo3_driver_output_text().find(part) != std::string::npos;
    }
};

TEST_F(FinalizerTest, EndlessFinalizerStopsTheProgramAtItsLine)
{
    ASSERT_TRUE(start("function _update() poke(0x4300, peek(0x4300)+1) end\n"
                      "setmetatable({}, {__gc=function()\n"
                      " while true do end\n"
                      "end})\n"));
    within_seconds(20, [] { mivo3_driver_frames(10); });
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("runtime error line 3 tab 0", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("error in __gc metamethod (cpu limit exceeded)", 6));

    // The player goes on: the next cart starts and runs its frames.
    mivo3_driver_clear_output();
    ASSERT_TRUE(start("function _update() poke(0x4301, 9) end\n"));
    within_seconds(20, [] { mivo3_driver_frames(3); });
    EXPECT_TRUE(mivo3_driver_running()) << mivo3_driver_output_text();
    EXPECT_EQ(mivo3_driver_peek(0x4301), 9);
}

TEST_F(FinalizerTest, EndlessFinalizerRunAtCloseDoesNotHangTheRestart)
{
    // The object stays reachable, so its finalizer runs when the state is
    // replaced by the next start.
    ASSERT_TRUE(start("keep=setmetatable({}, {__gc=function() while true do end end})\n"
                      "function _update() end\n"));
    mivo3_driver_frames(2);
    ASSERT_TRUE(mivo3_driver_running());
    within_seconds(20, [] { ASSERT_TRUE(start("function _update() poke(0x4300, 3) end\n")); });
    mivo3_driver_frames(2);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4300), 3);
}

TEST_F(FinalizerTest, FinalizerLongerThanAFrameCompletes)
{
    // About one and a half frame budgets, well inside the limit.
    ASSERT_TRUE(start("setmetatable({}, {__gc=function() for i=1,200000 do end poke(0x4301, 7) end})\n"
                      "function _update() poke(0x4300, 1) end\n"));
    within_seconds(20, [] { mivo3_driver_frames(4); });
    EXPECT_TRUE(mivo3_driver_running()) << mivo3_driver_output_text();
    EXPECT_EQ(mivo3_driver_peek(0x4301), 7);
    EXPECT_EQ(mivo3_driver_peek(0x4300), 1);
}

TEST_F(FinalizerTest, FunctionCalledFromCMayCrossTheFrameBudget)
{
    // The budget runs out inside the metamethod, which pairs() calls from C
    // and which therefore cannot yield: the program is suspended after it.
    ASSERT_TRUE(start("t=setmetatable({}, {__pairs=function(t) for i=1,30000 do end return next,t,nil end})\n"
                      "function _update() for j=1,8 do for k in pairs(t) do end end"
                      " poke(0x4300, peek(0x4300)+1) end\n"));
    within_seconds(20, [] { mivo3_driver_frames(12); });
    EXPECT_TRUE(mivo3_driver_running()) << mivo3_driver_output_text();
    EXPECT_GT(mivo3_driver_peek(0x4300), 2);
}

TEST_F(FinalizerTest, EndlessFunctionCalledFromCStopsWithAnError)
{
    ASSERT_TRUE(start("t=setmetatable({}, {__pairs=function(t) while true do end end})\n"
                      "for k in pairs(t) do end\n"));
    within_seconds(20, [] { mivo3_driver_frames(5); });
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("runtime error line 1 tab 0", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("cpu limit exceeded", 6));
    EXPECT_FALSE(printed_part("attempt to yield"));
}

TEST_F(FinalizerTest, EndlessCoroutineInsideAFinalizerIsStopped)
{
    ASSERT_TRUE(start("setmetatable({}, {__gc=function()\n"
                      " local co=cocreate(function() while true do end end)\n"
                      " while true do coresume(co) end\n"
                      "end})\n"
                      "function _update() end\n"));
    within_seconds(20, [] { mivo3_driver_frames(10); });
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("error in __gc metamethod (cpu limit exceeded)", 6)) << mivo3_driver_output_text();
}

}  // namespace
