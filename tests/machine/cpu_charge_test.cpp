#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine/lua_alloc.h"
#include "runtime/cpu.h"

namespace {

std::vector<int32_t> countdown_cuts;
int yields;

struct CpuChargeTest : ::testing::Test {
    int fake_state = 0;
    void SetUp() override
    {
        reset_pstate();
        countdown_cuts.clear();
        yields = 0;
        mivo3_vm = {};
        mivo3_vm.spend = [](void*, int32_t n) { countdown_cuts.push_back(n); };
        mivo3_vm.yield = [](void*) { yields++; };
    }
    void TearDown() override { mivo3_vm = {}; }
    void attach() { mivo3_vm.state = &fake_state; }
};

TEST_F(CpuChargeTest, ChargesNeedALanguageState)
{
    spend_cpu(5000);
    EXPECT_EQ(pstate.frame_cycles, 0);
    EXPECT_TRUE(countdown_cuts.empty());
    refund_cpu(-7);  // the balance is kept even without a state
    EXPECT_EQ(pstate.refund_balance, 7);
    EXPECT_EQ(pstate.frame_cycles, 0);
}

TEST_F(CpuChargeTest, SpendAddsToEveryCounterAndCountsAtLeastOne)
{
    attach();
    spend_cpu(100);
    spend_cpu(0);
    spend_cpu(-50);
    EXPECT_EQ(pstate.system_cycles, 102);
    EXPECT_EQ(pstate.frame_cycles, 102);
    EXPECT_EQ(pstate.slice_cycles, 102);
    EXPECT_EQ(pstate.cpu_fraction, 102);
    EXPECT_TRUE(countdown_cuts.empty());
}

TEST_F(CpuChargeTest, WholeKilocyclesShortenTheCountdown)
{
    attach();
    spend_cpu(1000);
    EXPECT_TRUE(countdown_cuts.empty());
    spend_cpu(2100);  // 3100 in all: three instructions' worth of 1024
    ASSERT_EQ(countdown_cuts.size(), 1u);
    EXPECT_EQ(countdown_cuts[0], 3);
    EXPECT_EQ(pstate.cpu_fraction, 3100 - 3 * 1024);
}

TEST_F(CpuChargeTest, RefundsLowerTheFrameButNotTheSystemCycles)
{
    attach();
    spend_cpu(500);
    refund_cpu(-16);
    EXPECT_EQ(pstate.refund_balance, 16);
    EXPECT_EQ(pstate.frame_cycles, 484);
    EXPECT_EQ(pstate.slice_cycles, 484);
    EXPECT_EQ(pstate.cpu_fraction, 484);
    EXPECT_EQ(pstate.system_cycles, 500);
    refund_cpu(2000);  // an extra charge counts everywhere
    EXPECT_EQ(pstate.system_cycles, 2500);
    EXPECT_EQ(pstate.refund_balance, 16 - 2000);
    ASSERT_EQ(countdown_cuts.size(), 1u);
    EXPECT_EQ(countdown_cuts[0], 2);
}

TEST_F(CpuChargeTest, CountersSaturateInsteadOfWrapping)
{
    attach();
    for (int i = 0; i < 5; i++)
        spend_cpu(0x7fffffff);
    EXPECT_EQ(pstate.system_cycles, 0x7fffffff);
    EXPECT_GT(pstate.frame_cycles, 0);
    refund_cpu(INT32_MIN);
    EXPECT_GT(pstate.refund_balance, 0);
}

TEST_F(CpuChargeTest, FrameBudgetFollowsTheFrameRate)
{
    EXPECT_EQ(mivo3_frame_budget(30), 139810);
    EXPECT_EQ(mivo3_frame_budget(60), 69905);
    EXPECT_EQ(mivo3_frame_budget(15), 279620);
    EXPECT_EQ(mivo3_frame_budget(0), MIVO3_CPU_CYCLES);
}

TEST_F(CpuChargeTest, RuntimeErrorStoresTheMessageAndYields)
{
    attach();
    mivo3_runtime_error("bad memory access");
    EXPECT_EQ(pstate.pending_command, 4);
    EXPECT_STREQ(pstate.error_text, "bad memory access");
    EXPECT_EQ(yields, 1);
    std::string long_text(1000, 'x');
    mivo3_runtime_error(long_text.c_str());
    EXPECT_EQ(std::strlen(pstate.error_text), sizeof pstate.error_text - 1);
}

TEST_F(CpuChargeTest, RuntimeErrorDoesNothingDuringTheResetGlitch)
{
    attach();
    pstate.glitch_timer = 3;
    mivo3_runtime_error("bad memory access");
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_EQ(yields, 0);
}

TEST_F(CpuChargeTest, SoftYieldRequestsReachTheStateOnlyWhenOneExists)
{
    static int soft;
    soft = 0;
    mivo3_vm.soft_yield = [](void*) { soft++; };
    mivo3_request_soft_yield();
    EXPECT_EQ(soft, 0);
    attach();
    mivo3_request_soft_yield();
    EXPECT_EQ(soft, 1);
}

}  // namespace
