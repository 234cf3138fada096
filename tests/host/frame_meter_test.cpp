#include <gtest/gtest.h>

#include <vector>

#include "host/timing.h"

namespace {

constexpr int32_t fps(int n) { return n << 16; }

TEST(FrameMeter, ZeroFrameTimeCountsAs1001) {
    // (15*0 + 1001.0)/16 = 62.5625; then no further nudge since it is below the rate
    // by more than 1/16 and moves up by 1/16.
    int32_t s = quon_frame_meter_step(0, 0);
    EXPECT_EQ(s, 0x3E90000 / 16 + 0x1000);
}

TEST(FrameMeter, FramesLongerThanOneSecondCountAsOneSecond) {
    // 1000 div 1000 + 1 = 2 frames per second.
    int32_t settled = fps(2);
    EXPECT_EQ(quon_frame_meter_step(settled, 1000), fps(2));
    EXPECT_EQ(quon_frame_meter_step(settled, 5000), fps(2));
    EXPECT_EQ(quon_frame_meter_step(settled, 999), fps(2));  // 1000 div 999 = 1
    EXPECT_EQ(quon_frame_meter_step(settled, 500), (15 * fps(2) + fps(3)) / 16 + 0x1000);
}

TEST(FrameMeter, InstantRateIsIntegerRatePlusOne) {
    // A steady 16 ms frame gives 1000 div 16 + 1 = 63 frames per second.
    int32_t s = 0;
    for (int i = 0; i < 2000; i++) s = quon_frame_meter_step(s, 16);
    EXPECT_EQ(s, fps(63));
    // 33 ms: 30 + 1.
    for (int i = 0; i < 2000; i++) s = quon_frame_meter_step(s, 33);
    EXPECT_EQ(s, fps(31));
}

TEST(FrameMeter, MovesAtLeastOneSixteenthAndNeverPastTheRate) {
    int32_t rate = fps(31);
    // Just below the rate: the nudge would pass it, so it stops at the rate.
    EXPECT_EQ(quon_frame_meter_step(rate - 0x100, 33), rate);
    EXPECT_EQ(quon_frame_meter_step(rate + 0x100, 33), rate);
    // Far below: the average step plus 1/16.
    int32_t s = fps(10);
    EXPECT_EQ(quon_frame_meter_step(s, 33), (15 * s + rate) / 16 + 0x1000);
    // Far above: the average step minus 1/16.
    s = fps(100);
    EXPECT_EQ(quon_frame_meter_step(s, 33), (15 * s + rate) / 16 - 0x1000);
}

TEST(FrameMeter, AverageDividesTowardZero) {
    // 15*1 + 0x3E90000 is not a multiple of 16: the remainder is dropped.
    int32_t s = quon_frame_meter_step(1, 0);
    EXPECT_EQ(s, (15 + 0x3E90000) / 16 + 0x1000);
}

TEST(FrameMeter, UpdateUsesTheTimeSinceThePreviousFrame) {
    quon_frame_meter_reset();
    quon_frame_meter_update(5000);  // first frame: dt 0
    EXPECT_EQ(frame_start_t, 5000);
    int32_t after_first = smoothed_fps;
    EXPECT_EQ(after_first, quon_frame_meter_step(0, 0));
    quon_frame_meter_update(5020);
    EXPECT_EQ(smoothed_fps, quon_frame_meter_step(after_first, 20));
    EXPECT_EQ(quon_get_fps(), smoothed_fps >> 16);
    quon_frame_meter_reset();
}

TEST(FrameMeter, APassCountsWithoutItsWaitButNotFasterThanTheDisplay) {
    quon_frame_meter_reset();
    quon_frame_meter_skip(40);  // before any frame: nothing to move
    quon_frame_meter_update(5000);
    const int32_t after_first = smoothed_fps;
    quon_frame_meter_skip(25);
    quon_frame_meter_update(5033);
    const int32_t after_second = smoothed_fps;
    EXPECT_EQ(after_second, quon_frame_meter_step(after_first, 8));
    // A display that shows a frame every 16 ms: a 7 ms pass counts as 16.
    quon_frame_meter_update(5040, 16);
    EXPECT_EQ(smoothed_fps, quon_frame_meter_step(after_second, 16));
    quon_frame_meter_reset();
}

TEST(LoopSleep, ForegroundAndBackgroundSettingsAreCappedAt200) {
    EXPECT_EQ(quon_choose_sleep_ms(true, 2, 10), 2);
    EXPECT_EQ(quon_choose_sleep_ms(false, 2, 10), 10);
    EXPECT_EQ(quon_choose_sleep_ms(true, 0, 10), 0);
    EXPECT_EQ(quon_choose_sleep_ms(true, 500, 10), 200);
    EXPECT_EQ(quon_choose_sleep_ms(false, 2, -5), 0);
}

TEST(Timer, ElapsedTimeRestartsWhenNegative) {
    quon_reset_timer();
    EXPECT_GE(quon_get_elapsed_time(), 0);
    quon_start_time = quon_get_time() + 100000;
    EXPECT_EQ(quon_get_elapsed_time(), 0);
    EXPECT_LE(quon_start_time, quon_get_time());
}

TEST(Random, StaysInRangeAndZeroForEmptyRanges) {
    quon_srand(0);
    EXPECT_EQ(quon_random(0), 0);
    EXPECT_EQ(quon_random(-3), 0);
    for (int i = 0; i < 1000; i++) EXPECT_EQ(quon_random(1), 0);
    for (int i = 0; i < 10000; i++) {
        int v = quon_random(12286);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 12286);
    }
}

TEST(Random, SameSeedSameSequenceOtherSeedOtherSequence) {
    std::vector<int> a, b, c;
    quon_srand(7);
    for (int i = 0; i < 16; i++) a.push_back(quon_random(1000000));
    quon_srand(7);
    for (int i = 0; i < 16; i++) b.push_back(quon_random(1000000));
    quon_srand(8);
    for (int i = 0; i < 16; i++) c.push_back(quon_random(1000000));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(Random, SpreadsEvenlyOverSmallRanges) {
    quon_srand(0);
    int counts[4] = {};
    for (int i = 0; i < 40000; i++) counts[quon_random(4)]++;
    for (int n : counts) {
        EXPECT_GT(n, 9500);
        EXPECT_LT(n, 10500);
    }
}

}  // namespace
