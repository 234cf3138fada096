// Carts that try to hang or exhaust the player: each must end with a
// message or keep returning control frame by frame.
#include <gtest/gtest.h>

#include <string>

#include "machine/lua_alloc.h"
#include "machine/pstate.h"
#include "runtime/cpu.h"
#include "runtime/driver.h"
#include "runtime/run_loop.h"

namespace {

class HostileCartTest : public ::testing::Test {
protected:
    void SetUp() override { mivo3_driver_open(); }
    void TearDown() override { mivo3_driver_close(); }

    bool start(const std::string& code) {
        mivo3_driver_load_code(code);
        return mivo3_driver_start() == 0;
    }
    static bool printed(const std::string& part) {
        return mivo3_driver_output_text().find(part) != std::string::npos;
    }
};

TEST_F(HostileCartTest, EndlessLoopWithoutFlipReturnsEveryFrame) {
    ASSERT_TRUE(start("poke(0x4300,1) while true do end\n"));
    for (int i = 0; i < 20; i++) EXPECT_EQ(mivo3_driver_frame(), 0);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4300), 1);
    EXPECT_EQ(mivo3_run.slice_count, 20);
}

TEST_F(HostileCartTest, EndlessUpdateIsAStuckFrameThatStillReturns) {
    ASSERT_TRUE(start("function _update() while true do end end\n"));
    for (int i = 0; i < 12; i++) EXPECT_EQ(mivo3_driver_frame(), 1);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_GT(pstate.frame_cycles, MIVO3_STUCK_FRAME_CYCLES);
}

TEST_F(HostileCartTest, EndlessLoopInsideACoroutineKeepsFramesComing) {
    ASSERT_TRUE(start("co=cocreate(function() while true do end end)\n"
                      "function _update() coresume(co) poke(0x4300, peek(0x4300)+1) end\n"));
    // Each frame ends at its budget inside the coroutine; the cart never
    // sees coresume come back from a yield the coroutine did not make.
    for (int i = 0; i < 10; i++) EXPECT_EQ(mivo3_driver_frame(), 1);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4300), 0);
    EXPECT_LE(pstate.frame_cycles, 11 * mivo3_frame_budget(30));
}

TEST_F(HostileCartTest, ACoroutineIsHeldToTheFrameBudgetAndStopStopsTheProgram) {
    // Two million turns of a loop: about fifteen frames' worth, and the
    // coroutine's resume returns once, when it is done.
    ASSERT_TRUE(start("co=cocreate(function() for j=1,2000 do for i=1,1000 do end end end)\n"
                      "function _update()\n"
                      " if costatus(co)~='dead' then coresume(co) poke(0x4301, peek(0x4301)+1) end\n"
                      " poke(0x4300, peek(0x4300)+1)\n"
                      "end\n"));
    int frames = 0;
    while (mivo3_driver_peek(0x4301) == 0 && frames < 200) {
        mivo3_driver_frame();
        frames++;
        EXPECT_LE(pstate.slice_cycles, mivo3_frame_budget(pstate.current_fps));
    }
    EXPECT_GE(frames, 10);
    EXPECT_EQ(mivo3_driver_peek(0x4300), 1);  // the update ran on only once the coroutine ended

    ASSERT_TRUE(start("co=cocreate(function() stop() end)\n"
                      "coresume(co) poke(0x4302, 1)\n"
                      "function _update() end\n"));
    mivo3_driver_frames(3);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4302), 0);
}

TEST_F(HostileCartTest, UnboundedRecursionStopsWithAMessage) {
    ASSERT_TRUE(start("function f(n) return f(n+1)+1 end f(1)\n"));
    mivo3_driver_frames(50);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("stack overflow") || printed("out of memory")) << mivo3_driver_output_text();
}

TEST_F(HostileCartTest, MemoryBombEndsWithOutOfMemoryAndFreesTheState) {
    ASSERT_TRUE(start("t={} i=0 while true do i+=1 t[i]={i,i,i} end\n"));
    mivo3_driver_frames(50);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("out of memory")) << mivo3_driver_output_text();
    EXPECT_LT(pstate.lua_bytes, MIVO3_LUA_SOFT_LIMIT);
}

TEST_F(HostileCartTest, DoublingStringEndsWithOutOfMemory) {
    ASSERT_TRUE(start("s='x' while true do s=s..s end\n"));
    mivo3_driver_frames(50);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("out of memory")) << mivo3_driver_output_text();
}

TEST_F(HostileCartTest, MemoryFreedBeforeTheFrameEndsKeepsRunning) {
    // The collector is stopped while program code runs, so this garbage
    // passes the soft limit; the collection after the soft yield frees it and
    // the program continues in the same frame.
    ASSERT_TRUE(start("for k=1,40 do local t={} for i=1,2000 do t[i]={i,i,i,i} end end\n"
                      "function _update() poke(0x4300,1) end\n"));
    mivo3_driver_frames(10);
    EXPECT_TRUE(mivo3_driver_running()) << mivo3_driver_output_text();
    EXPECT_EQ(mivo3_driver_peek(0x4300), 1);
    EXPECT_LT(pstate.lua_bytes, MIVO3_LUA_SOFT_LIMIT);
}

TEST_F(HostileCartTest, FailingFinalizerStopsTheProgramWithItsMessage) {
    ASSERT_TRUE(start("setmetatable({}, {__gc=function() local x=nil+1 end})\n"
                      "function _update() poke(0x4300,1) end\n"));
    mivo3_driver_frames(5);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_TRUE(printed("__gc")) << mivo3_driver_output_text();
}

TEST_F(HostileCartTest, ErrorWhileReportingAnErrorDoesNotEscape) {
    // The error value is a table whose conversion fails again.
    ASSERT_TRUE(start("assert(false, setmetatable({}, {__index=function() assert(false) end}))\n"));
    mivo3_driver_frames(3);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_FALSE(mivo3_driver_output().empty());
}

TEST_F(HostileCartTest, CoroutineResumingItselfGetsAnErrorAndTheProgramGoesOn) {
    ASSERT_TRUE(start("co=cocreate(function() local ok=coresume(co) poke(0x4300, ok and 1 or 2) end)\n"
                      "coresume(co)\n"
                      "function _update() poke(0x4301,1) end\n"));
    mivo3_driver_frames(2);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4300), 2);
    EXPECT_EQ(mivo3_driver_peek(0x4301), 1);
}

TEST_F(HostileCartTest, RestartingAfterAnErrorGivesAFreshProgram) {
    ASSERT_TRUE(start("x=nil+1\n"));
    mivo3_driver_frames(2);
    EXPECT_FALSE(mivo3_driver_running());
    ASSERT_TRUE(start("poke(0x4300, x==nil and 5 or 6) function _update() end\n"));
    mivo3_driver_frames(2);
    EXPECT_TRUE(mivo3_driver_running());
    EXPECT_EQ(mivo3_driver_peek(0x4300), 5);
}

}  // namespace
