#include "audio_fixture.h"

using SequencerTest = AudioTest;

// sfx(n) with an automatic channel, as the language calls it with one argument.
static int32_t sfx1(mivo3_cart* cart, int32_t n) { return mivo3_sfx(cart, 1, n, 0, 0, 0); }

TEST_F(SequencerTest, SfxArgumentRules) {
    EXPECT_EQ(mivo3_sfx(cart, 0, 0, 0, 0, 0), 0);  // no arguments: nothing
    EXPECT_EQ(mivo3_sfx(cart, 2, 5, 4, 0, 0), 0);  // channel above 3
    EXPECT_EQ(mivo3_sfx(cart, 2, 5, -3, 0, 0), 0);
    for (const sound_channel& ch : ms0) EXPECT_EQ(ch.sfx, nullptr);

    EXPECT_EQ(sfx1(cart, 5), 16);
    EXPECT_EQ(ms0[0].sfx, &sfx(5));
    EXPECT_EQ(mivo3_sfx(cart, 2, 6, 2, 0, 0), 16);  // explicit channel
    EXPECT_EQ(ms0[2].sfx, &sfx(6));
    EXPECT_EQ(mivo3_sfx(cart, 1, 99, 0, 0, 0), 16);  // clamped to 63
    EXPECT_EQ(ms0[1].sfx, &sfx(63));
    EXPECT_EQ(mivo3_sfx(cart, 1, -7, 0, 0, 0), 16);  // clamped to 0
    EXPECT_EQ(ms0[3].sfx, &sfx(0));
}

TEST_F(SequencerTest, OffsetAndLengthCountInNotes) {
    sfx(5).speed = 3;
    mivo3_sfx(cart, 4, 5, 1, 40, 2);  // offset clamped to 31
    EXPECT_EQ(ms0[1].tick_pos, 31 * 3);
    EXPECT_EQ(ms0[1].ticks_left, 2 * 3);
    EXPECT_EQ(ms0[1].looping, 1);
    EXPECT_EQ(ms0[1].channel_index, 1);
    mivo3_sfx(cart, 3, 5, 1, -4, 0);
    EXPECT_EQ(ms0[1].tick_pos, 0);
    EXPECT_EQ(ms0[1].ticks_left, -3);  // length 0: unbounded
}

TEST_F(SequencerTest, StopAndReleaseLeaveMusicAlone) {
    pattern(0, 1, 2, 0x41, 0x42);
    mivo3_music(cart, 0, 0, 0);
    mivo3_sfx(cart, 2, 7, 0, 0, 0);
    mivo3_sfx(cart, 2, 8, 1, 0, 0);
    EXPECT_EQ(mivo3_sfx(cart, 1, -2, 0, 0, 0), 0);  // -2 without a channel: nothing
    EXPECT_EQ(ms0[0].looping, 1);
    EXPECT_EQ(ms0[1].looping, 1);
    mivo3_sfx(cart, 2, -2, 1, 0, 0);
    EXPECT_EQ(ms0[1].looping, 0);
    EXPECT_EQ(mivo3_sfx(cart, 1, -1, 0, 0, 0), 0);  // stops 0-3
    for (int32_t c = 0; c < 4; c++) EXPECT_EQ(ms0[c].sfx, nullptr);
    EXPECT_EQ(ms0[4].sfx, &sfx(1));
    EXPECT_TRUE(ms0[4].is_music);
    mivo3_sfx(cart, 2, 7, 0, 0, 0);
    mivo3_sfx(cart, 2, 8, 1, 0, 0);
    mivo3_sfx(cart, 2, -1, 0, 0, 0);
    EXPECT_EQ(ms0[0].sfx, nullptr);
    EXPECT_EQ(ms0[1].sfx, &sfx(8));
}

TEST_F(SequencerTest, ChannelMinusTwoStopsThatSfxEverywhere) {
    pattern(0, 7, 0x41, 0x42, 0x43);
    mivo3_sfx(cart, 2, 7, 2, 0, 0);
    mivo3_music(cart, 0, 0, 0);
    ASSERT_EQ(ms0[4].sfx, &sfx(7));
    EXPECT_EQ(mivo3_sfx(cart, 2, 7, -2, 0, 0), 0);
    EXPECT_EQ(ms0[2].sfx, nullptr);
    EXPECT_EQ(ms0[4].sfx, nullptr);  // the music column too
    EXPECT_FALSE(ms0[4].is_music);
}

TEST_F(SequencerTest, RestartingAnSfxMovesItToTheAllocatedChannel) {
    mivo3_sfx(cart, 2, 1, 0, 0, 0);
    mivo3_sfx(cart, 2, 2, 1, 0, 0);
    mivo3_sfx(cart, 2, 3, 2, 0, 0);
    ms0[2].tick_pos = 50;
    sfx1(cart, 3);
    EXPECT_EQ(ms0[2].sfx, &sfx(3));
    EXPECT_EQ(ms0[2].tick_pos, 0);
    EXPECT_EQ(ms0[3].sfx, nullptr);
}

TEST_F(SequencerTest, AllocationTakesTheLowestChannelWithAnIdleTwin) {
    for (int32_t c = 0; c < 4; c++) EXPECT_EQ(quon_play_sfx_ex(&sfx(9 + c), 0, 0, cart, -1), c);
    quon_stop_sfx(&sfx(10));
    EXPECT_EQ(quon_play_sfx_ex(&sfx(20), 0, 0, cart, -1), 1);
}

TEST_F(SequencerTest, AllocationFallsBackOnTwinsWithoutSfxThenOnAnyUnreservedChannel) {
    pattern(0, 1, 2, 0x43, 0x44);  // music sfx on channels 4 and 5; 6 and 7 off
    mivo3_music(cart, 0, 0, 0);
    // No channel has an idle twin (off columns are still music), so rule 2
    // takes the channels whose twin plays no sfx, then rule 3 the others.
    EXPECT_EQ(quon_play_sfx_ex(&sfx(9), 0, 0, cart, -1), 2);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(10), 0, 0, cart, -1), 3);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(11), 0, 0, cart, -1), 0);
}

TEST_F(SequencerTest, AllocationRuleTwoTakesAnOffMusicColumn) {
    pattern(0, 0x41, 2, 3, 4);  // column 0 off but music
    mivo3_music(cart, 0, 0, 0);
    ASSERT_TRUE(ms0[4].is_music);
    ASSERT_EQ(ms0[4].sfx, nullptr);
    // Channel 0 is not rule 1 (its twin is music) but is rule 2.
    EXPECT_EQ(quon_play_sfx_ex(&sfx(9), 0, 0, cart, -1), 0);
}

TEST_F(SequencerTest, ReservedColumnsAreOnlyStolenWhenTheirTwinIsIdle) {
    pattern(0, 1, 2, 3, 4);
    sfx(20).speed = 5;
    sfx(21).speed = 5;
    mivo3_sfx(cart, 2, 20, 2, 0, 0);
    mivo3_sfx(cart, 2, 21, 3, 0, 0);
    mivo3_music(cart, 0, 0, 3);
    EXPECT_EQ(music_channel_mask, 3);
    // Channels 0 and 1 are reserved with busy twins; 2 and 3 tie on speed,
    // so the higher one is stolen.
    EXPECT_EQ(sfx1(cart, 1 + 30), 16);
    EXPECT_EQ(ms0[3].sfx, &sfx(31));
    EXPECT_EQ(ms0[0].sfx, nullptr);
    EXPECT_EQ(ms0[1].sfx, nullptr);
    // The smaller speed byte is stolen first.
    sfx(20).speed = 2;
    sfx1(cart, 32);
    EXPECT_EQ(ms0[2].sfx, &sfx(32));
}

TEST_F(SequencerTest, StealingNeedsAnSfxToSteal) {
    pattern(0, 1, 2, 3, 4);
    mivo3_music(cart, 0, 0, 15);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(9), 0, 0, cart, -1), -1);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(9), 0, 0, cart, 16), -1);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(9), 0, 0, cart, -5), -1);
}

TEST_F(SequencerTest, OutsideConsoleModeTheLowestIdleChannelIsUsed) {
    quon_console_mode = 0;
    for (int32_t c = 0; c < 16; c++) EXPECT_EQ(quon_play_sfx_ex(&sfx(c), 0, 0, cart, -1), c);
    EXPECT_EQ(quon_play_sfx_ex(&sfx(20), 0, 0, cart, -1), -1);
    quon_play_sfx_ex(nullptr, 0, 0, cart, -1);
    for (const sound_channel& ch : ms0) EXPECT_EQ(ch.sfx, nullptr);
}

TEST_F(SequencerTest, StopSfxNullSparesMusic) {
    pattern(0, 1, 2, 3, 4);
    mivo3_music(cart, 0, 0, 0);
    quon_play_sfx_ex(&sfx(9), 0, 0, cart, 12);
    quon_stop_sfx(nullptr);
    EXPECT_EQ(ms0[12].sfx, nullptr);
    EXPECT_EQ(ms0[4].sfx, &sfx(1));
}

TEST_F(SequencerTest, BootSoundLoopsOnlyWhenTheSfxLoops) {
    sfx(0).speed = 2;
    EXPECT_EQ(quon_play_sfx(&sfx(0)), 0);
    EXPECT_EQ(ms0[0].ticks_left, 64);
    EXPECT_EQ(ms0[0].cart, nullptr);
    sfx(0).loop_end = 4;
    EXPECT_EQ(quon_play_sfx(&sfx(0)), 0);
    EXPECT_EQ(ms0[0].ticks_left, -2);
    EXPECT_EQ(ms0[1].sfx, nullptr);
}

TEST_F(SequencerTest, PatternLength) {
    sfx(1).speed = 4;
    sfx(2).speed = 8;
    sfx(2).loop_end = 4;
    sfx(3).speed = 16;
    sfx(3).loop_end = 4;
    pattern(0, 0x41, 2, 1, 3);
    EXPECT_EQ(quon_pattern_length(cart, 0), 128);  // column 2 is the first that does not loop
    pattern(1, 2, 3, 0x40, 0x7f);
    EXPECT_EQ(quon_pattern_length(cart, 1), 512);  // all loop: the longest
    sfx(0).speed = 0;
    pattern(2, 0, 0x41, 0x41, 0x41);
    EXPECT_EQ(quon_pattern_length(cart, 2), 32);
}

TEST_F(SequencerTest, SilentPatternStopsTheMusicAndPlaysNothing) {
    pattern(0, 1, 2, 3, 4);
    mivo3_music(cart, 0, 0, 0);
    EXPECT_TRUE(quon_music_is_playing());
    mivo3_music(cart, 5, 0, 0);  // default pattern: all columns off
    EXPECT_FALSE(quon_music_is_playing());
    for (const sound_channel& ch : ms0) EXPECT_FALSE(ch.is_music);
}

TEST_F(SequencerTest, SongStartSetsUpTheColumns) {
    sfx(1).speed = 2;
    pattern(3, 1, 0x41, 5, 6);
    mivo3_music(cart, 3, 0, 0);
    for (int32_t c = 0; c < 4; c++) {
        EXPECT_TRUE(ms0[4 + c].is_music);
        EXPECT_EQ(ms0[4 + c].pattern, 3);
        EXPECT_EQ(ms0[4 + c].channel_index, c);
        EXPECT_EQ(ms0[4 + c].ticks_left, 64);
    }
    EXPECT_EQ(ms0[5].sfx, nullptr);
    EXPECT_EQ(ms0[6].sfx, &sfx(5));
    EXPECT_EQ(current_pattern, 3);
    EXPECT_EQ(patterns_played, 0);
    EXPECT_EQ(quon_mivo3_song_is_playing(cart), 3);
    EXPECT_EQ(fade_vol.load(), 0x10000);
}

// Patterns of one speed-1 sfx: each pattern lasts 32 ticks.
class MusicTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        sfx(1).speed = 1;
        for (int32_t i = 0; i < 32; i++) note(1, i, 30, 0, 3);
        for (int32_t p = 0; p < 64; p++) pattern(p, 1, 0x41, 0x41, 0x41);
    }
    // Pattern of channel 4 at the start of each 32-tick pattern.
    std::vector<int32_t> sequence(int32_t patterns) {
        std::vector<int32_t> v;
        for (int32_t i = 0; i < patterns; i++) {
            v.push_back(ms0[4].is_music ? ms0[4].pattern : -1);
            for (int32_t t = 0; t < 32; t++) mix(MIVO3_TICK_SAMPLES);
        }
        return v;
    }
};

TEST_F(MusicTest, LoopEndJumpsBackToTheNearestLoopStart) {
    cart->music_flags[2] = 1;
    cart->music_flags[5] = 2;
    mivo3_music(cart, 0, 0, 0);
    std::vector<int32_t> want = {0, 1, 2, 3, 4, 5, 2, 3, 4, 5, 2};
    EXPECT_EQ(sequence(11), want);
}

TEST_F(MusicTest, LoopEndWithoutLoopStartGoesBackToZero) {
    cart->music_flags[5] = 2;
    mivo3_music(cart, 0, 0, 0);
    std::vector<int32_t> want = {0, 1, 2, 3, 4, 5, 0, 1};
    EXPECT_EQ(sequence(8), want);
}

TEST_F(MusicTest, PatternWithBothFlagsRepeatsItself) {
    cart->music_flags[1] = 3;
    mivo3_music(cart, 0, 0, 0);
    std::vector<int32_t> want = {0, 1, 1, 1};
    EXPECT_EQ(sequence(4), want);
}

TEST_F(MusicTest, StopFlagEndsAfterThePattern) {
    cart->music_flags[2] = 4;
    mivo3_music(cart, 0, 0, 0);
    std::vector<int32_t> want = {0, 1, 2, -1, -1};
    EXPECT_EQ(sequence(5), want);
    EXPECT_EQ(current_pattern, -1);
    EXPECT_FALSE(quon_music_is_playing());
    EXPECT_EQ(mivo3_audio_stat(cart, 24), -1);
}

TEST_F(MusicTest, RunningPastPattern63Ends) {
    mivo3_music(cart, 62, 0, 0);
    std::vector<int32_t> want = {62, 63, -1};
    EXPECT_EQ(sequence(3), want);
}

TEST_F(MusicTest, SilentNextPatternEnds) {
    pattern(3, 0x41, 0x42, 0x43, 0x44);
    mivo3_music(cart, 1, 0, 0);
    std::vector<int32_t> want = {1, 2, -1};
    EXPECT_EQ(sequence(3), want);
}

TEST_F(MusicTest, ShortSfxLeavesItsColumnSilentUntilThePatternEnds) {
    sfx(2).speed = 1;
    note(2, 0, 40, 0, 5);
    pattern(0, 1, 2, 0x41, 0x41);
    pattern(1, 1, 2, 0x41, 0x41);
    sfx(1).speed = 2;  // 64 ticks per pattern
    mivo3_music(cart, 0, 0, 0);
    for (int32_t t = 0; t < 40; t++) mix(MIVO3_TICK_SAMPLES);
    EXPECT_EQ(ms0[5].sfx, &sfx(2));  // past its last note, still there
    EXPECT_EQ(ms0[5].pattern, 0);
    for (int32_t t = 40; t < 64; t++) mix(MIVO3_TICK_SAMPLES);
    EXPECT_EQ(ms0[5].pattern, 1);
    EXPECT_EQ(ms0[5].tick_pos, 0);
    EXPECT_EQ(ms0[4].pattern, 1);  // the columns move together
}

TEST_F(MusicTest, PatternsPlayedCountsMixesThatAdvanced) {
    mivo3_music(cart, 0, 0, 0);
    EXPECT_EQ(mivo3_audio_stat(cart, 25), 0);
    // One mix of 40 ticks crosses one boundary, however many channels moved.
    pattern(0, 1, 1, 1, 1);
    pattern(1, 1, 1, 1, 1);
    mivo3_music(cart, 0, 0, 0);
    mix(40 * MIVO3_TICK_SAMPLES / 2);
    mix(20 * MIVO3_TICK_SAMPLES);
    EXPECT_EQ(patterns_played, 1);
    EXPECT_EQ(mivo3_audio_stat(cart, 24), 1);
    EXPECT_EQ(mivo3_audio_stat(cart, 25), 1);
    EXPECT_EQ(mivo3_audio_stat(cart, 26), 8);
}

TEST_F(MusicTest, StatReportsTwinsAndNotes) {
    sfx(9).speed = 4;
    for (int32_t i = 0; i < 32; i++) note(9, i, 40, 1, 2);
    mivo3_music(cart, 0, 0, 0);
    EXPECT_EQ(mivo3_audio_stat(cart, 16), 1);  // channel 0 idle: its twin
    EXPECT_EQ(mivo3_audio_stat(cart, 17), -1);
    for (int32_t t = 0; t < 5; t++) mix(MIVO3_TICK_SAMPLES);
    EXPECT_EQ(mivo3_audio_stat(cart, 20), 5);
    mivo3_sfx(cart, 2, 9, 0, 0, 0);
    EXPECT_EQ(mivo3_audio_stat(cart, 16), 9);
    for (int32_t t = 0; t < 9; t++) mix(MIVO3_TICK_SAMPLES);
    EXPECT_EQ(mivo3_audio_stat(cart, 20), 2);
    EXPECT_EQ(mivo3_audio_stat(cart, 21), -1);
    EXPECT_EQ(mivo3_audio_stat(cart, 24), 0);
    EXPECT_EQ(mivo3_audio_stat(cart, 26), 14);
    EXPECT_EQ(mivo3_audio_stat(cart, 27), -1);

    // Another cart's sfx on a channel is none of this cart's.
    mivo3_cart* other = quon_create_mivo3_cart();
    EXPECT_EQ(mivo3_audio_stat(other, 16), -1);
    quon_destroy_mivo3_cart(other);
}

TEST_F(MusicTest, FadeOutLowersLinearlyThenStops) {
    mivo3_music(cart, 0, 0, 0);
    EXPECT_EQ(fade_vol.load(), 0x10000);
    mivo3_music(cart, -1, 1000, 0);
    test_clock_ms += 250;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0xc000);
    test_clock_ms += 250;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0x8000);
    mix(MIVO3_TICK_SAMPLES);
    EXPECT_EQ(ms0[4].osc.volume, 768 * 128 >> 8);
    EXPECT_TRUE(quon_music_is_playing());
    test_clock_ms += 500;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0);
    EXPECT_FALSE(quon_music_is_playing());
}

TEST_F(MusicTest, StopWithoutFadeIsImmediateAndKeepsTheMask) {
    mivo3_music(cart, 0, 0, 5);
    mivo3_music(cart, -1, 0, 0);
    EXPECT_FALSE(quon_music_is_playing());
    EXPECT_EQ(music_channel_mask, 5);
}

TEST_F(MusicTest, FadeInStartsFromSilence) {
    EXPECT_EQ(fade_vol.load(), 0);  // no music has played yet
    mivo3_music(cart, 0, 2000, 0);
    EXPECT_EQ(fade_vol.load(), 0);
    test_clock_ms += 500;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0x4000);
    test_clock_ms += 2000;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0x10000);
    EXPECT_TRUE(quon_music_is_playing());
}

TEST_F(MusicTest, NewSongAtFullVolumeDoesNotDip) {
    mivo3_music(cart, 0, 0, 0);
    mivo3_music(cart, 1, 1000, 0);
    EXPECT_EQ(fade_vol.load(), 0x10000);
    mivo3_music(cart, -1, 0, 0);
    mivo3_music(cart, 1, 1000, 0);
    EXPECT_EQ(fade_vol.load(), 0);
}

TEST_F(MusicTest, LongFadesDoNotOverflow) {
    mivo3_music(cart, 0, 0, 0);
    mivo3_music(cart, -1, 600000, 0);
    test_clock_ms += 300000;
    quon_update_music_fading();
    EXPECT_EQ(fade_vol.load(), 0x8000);
}

TEST_F(MusicTest, DestroyingACartStopsItsSounds) {
    mivo3_cart* other = quon_create_mivo3_cart();
    other->sfx[1] = sfx(1);
    other->music[0][0] = 1;
    mivo3_music(other, 0, 0, 0);
    mivo3_sfx(other, 1, 2, 0, 0, 0);
    quon_play_sfx(&other->sfx[3]);
    mivo3_sfx(cart, 2, 1, 3, 0, 0);
    quon_destroy_mivo3_cart(other);
    for (int32_t c = 0; c < 16; c++) {
        if (c == 3) continue;
        EXPECT_EQ(ms0[c].sfx, nullptr) << c;
    }
    EXPECT_FALSE(quon_music_is_playing());
    EXPECT_EQ(ms0[3].sfx, &sfx(1));
}

TEST_F(MusicTest, NewSongReplacesOnlyThisCartsMusic) {
    mivo3_music(cart, 0, 0, 0);
    quon_stop_mivo3_song(cart);
    EXPECT_FALSE(quon_music_is_playing());
    mivo3_music(cart, 0, 0, 0);
    quon_play_mivo3_song(nullptr, 0, 0);  // no cart: stops all music
    EXPECT_FALSE(quon_music_is_playing());
}

TEST_F(MusicTest, CurrentPatternStaysOnTheLoopEndPatternAfterTheJump) {
    cart->music_flags[1] = 1;
    cart->music_flags[2] = 2;
    mivo3_music(cart, 1, 0, 0);
    sequence(2);
    EXPECT_EQ(ms0[4].pattern, 1);
    EXPECT_EQ(mivo3_audio_stat(cart, 24), 2);
}
