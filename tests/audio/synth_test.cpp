#include "audio_fixture.h"

TEST(PitchTest, PhaseStepsOfWholePitches) {
    EXPECT_EQ(quon_pitch_to_dx(0 << 16), 194);    // 65 Hz
    EXPECT_EQ(quon_pitch_to_dx(33 << 16), 1307);  // 440 Hz
    EXPECT_EQ(quon_pitch_to_dx(36 << 16), 1554);  // 523 Hz
    EXPECT_EQ(quon_pitch_to_dx(63 << 16), 7392);  // 2487 Hz
    EXPECT_EQ(quon_pitch_to_dx(24 << 16), 777);
    EXPECT_EQ(quon_pitch_to_dx(48 << 16), 3108);
}

TEST(PitchTest, FractionalPitchesInterpolate) {
    // Half way from C to C#: (32768 * 523 + 32768 * 554) / 22050.
    EXPECT_EQ(quon_pitch_to_dx((36 << 16) | 0x8000), 1600);
    // Between B and the next C the 13th entry (1046) is the upper end.
    EXPECT_EQ(quon_pitch_to_dx((47 << 16) | 0x8000), 3016);
    // A quarter above A 440, one octave down: ((49152 * 880 + 16384 * 932) / 22050) / 2.
    EXPECT_EQ(quon_pitch_to_dx((33 << 16) | 0x4000), 1327);
}

TEST(PitchTest, PitchesOutsideTheTableClamp) {
    EXPECT_EQ(quon_pitch_to_dx(-24 * 65536), 48);  // five octaves below the table
    EXPECT_EQ(quon_pitch_to_dx(-60 * 65536), 8);
    EXPECT_EQ(quon_pitch_to_dx(102 * 65536), 32768);
    EXPECT_EQ(quon_pitch_to_dx(-11 * 65536), quon_pitch_to_dx(1 << 16) / 2);
}

TEST(WaveformTest, Triangle) {
    EXPECT_EQ(osc_sample(0, 0x0000, 1792), -16128);
    EXPECT_EQ(osc_sample(0, 0x4000, 1792), 0);
    EXPECT_EQ(osc_sample(0, 0x8000, 1792), 16128);
    EXPECT_EQ(osc_sample(0, 0xc000, 1792), 0);
    EXPECT_EQ(osc_sample(0, 0x2000, 768), -3456);
}

TEST(WaveformTest, TiltedSaw) {
    EXPECT_EQ(osc_sample(1, 0x0000, 1792), -16125);
    EXPECT_EQ(osc_sample(1, 0x7000, 1792), 0);
    EXPECT_EQ(osc_sample(1, 0xe000, 1792), 16121);
    EXPECT_EQ(osc_sample(1, 0xffff, 1792), -16125);
}

TEST(WaveformTest, Saw) {
    EXPECT_EQ(osc_sample(2, 0x0000, 1792), -10752);
    EXPECT_EQ(osc_sample(2, 0x8000, 1792), 0);
    EXPECT_EQ(osc_sample(2, 0xffff, 1792), 10750);
    EXPECT_EQ(osc_sample(2, 0x0001, 256), -1535);
}

TEST(WaveformTest, SquareAndPulse) {
    EXPECT_EQ(osc_sample(3, 0x7fff, 1792), -8062);
    EXPECT_EQ(osc_sample(3, 0x8000, 1792), 8062);
    EXPECT_EQ(osc_sample(4, 0xafff, 1792), -8062);
    EXPECT_EQ(osc_sample(4, 0xb000, 1792), 8062);
    EXPECT_EQ(osc_sample(3, 0x8000, 256), 1151);
    EXPECT_EQ(osc_sample(3, 0x0000, 256), -1151);
}

TEST(WaveformTest, Organ) {
    EXPECT_EQ(osc_sample(5, 0x3000, 1792), 5376);
    EXPECT_EQ(osc_sample(5, 0x6000, 1792), 0);
    EXPECT_EQ(osc_sample(5, 0xa000, 1792), -3584);
    EXPECT_EQ(osc_sample(5, 0xb000, 1792), 0);
    EXPECT_EQ(osc_sample(5, 0xc000, 1792), 3583);
}

TEST(WaveformTest, PhaserBeatsAgainstItsSecondTone) {
    EXPECT_EQ(osc_sample(7, 0x0000, 1792), -21504);
    osc_state o;
    o.waveform = 7;
    o.volume = 1792;
    o.phaser_acc = 0x10000;
    o.phase = 0x8000;
    int32_t s = 0;
    quon_render_osc(o, &s, 1);
    EXPECT_EQ(s, 165);  // t = 0x7fff, q = 0xfe00

    // Sample i of a tick reads the second tone at (acc + i * dx) * 127 / 128.
    osc_state run;
    run.waveform = 7;
    run.volume = 1792;
    run.dx = 1000;
    int32_t out[3];
    quon_render_osc(run, out, 3);
    EXPECT_EQ(out[2], -19540);
    EXPECT_EQ(run.phase, 3000);
    EXPECT_EQ(run.phaser_acc, 0u);  // advanced by the tick, not per sample
}

TEST(WaveformTest, NoiseLevelHeldAtLowStepWithoutSpikes) {
    // dx below 50: the random walk adds nothing; raw volume 0: spikes add
    // nothing; so the level and the samples stay put.
    osc_state o;
    o.waveform = 6;
    o.volume = 1792;
    o.dx = 10;
    o.noise_level = 640;
    o.raw_pitch = 33;  // g = 48 + 2048 / 64 = 80
    int32_t out[50];
    quon_render_osc(o, out, 50);
    for (int32_t v : out) EXPECT_EQ(v, 1050);
    EXPECT_EQ(o.noise_level, 640);
    EXPECT_EQ(o.noise_toggle, 0);  // flipped 50 times

    osc_state high = o;
    high.raw_pitch = 63;  // g = 48 + 2048 / 79 = 73
    quon_render_osc(high, out, 1);
    EXPECT_EQ(out[0], 958);
}

TEST(WaveformTest, NoiseUsesTheUnclampedValueOnceThenStoresTheClamp) {
    osc_state o;
    o.waveform = 6;
    o.volume = 1792;
    o.dx = 10;
    o.noise_level = 7000;
    o.raw_pitch = 0;
    int32_t out[2];
    quon_render_osc(o, out, 2);
    EXPECT_EQ(out[0], 80 * (7000 >> 6) * 2688 / 2048);
    EXPECT_EQ(out[1], 80 * (6143 >> 6) * 2688 / 2048);
    EXPECT_EQ(o.noise_level, 6143);
}

TEST(WaveformTest, NoiseWalksAtHigherSteps) {
    osc_state o;
    o.waveform = 6;
    o.volume = 1792;
    o.dx = 1307;
    o.raw_volume = 7;
    int32_t out[400];
    quon_render_osc(o, out, 400);
    int32_t distinct = 0;
    for (int32_t i = 1; i < 400; i++) distinct += out[i] != out[i - 1];
    EXPECT_GT(distinct, 100);
    EXPECT_GE(o.noise_level, -6143);
    EXPECT_LE(o.noise_level, 6143);
}

using SynthTest = AudioTest;

// Expected triangle samples from a phase, at volume 7.
static std::vector<int32_t> triangle_run(int32_t phase, int32_t dx, int32_t count) {
    std::vector<int32_t> v(count);
    for (int32_t i = 0; i < count; i++) v[i] = osc_sample(0, (phase + i * dx) & 0xffff, 1792);
    return v;
}

TEST_F(SynthTest, FirstTickFadesInFromSilence) {
    sfx(10).speed = 1;
    note(10, 0, 36, 0, 7);
    play(10, 0);
    std::vector<int16_t> t = tick(0);
    std::vector<int32_t> want = triangle_run(0, 1554, 183);
    for (int32_t j = 0; j < 183; j++) {
        int32_t w = j < 64 ? want[j] * j / 64 : want[j];
        ASSERT_EQ(t[j], w) << "sample " << j;
    }
    EXPECT_EQ(ms0[0].osc.phase, 183 * 1554 % 65536);
}

TEST_F(SynthTest, NoteChangeCrossfadesFromTheOldSettings) {
    sfx(10).speed = 1;
    note(10, 0, 36, 0, 7);
    note(10, 1, 36, 3, 7);  // square from the same phase
    play(10, 0);
    tick(0);
    const int32_t phase = ms0[0].osc.phase;
    std::vector<int16_t> t = tick(0);
    for (int32_t j = 0; j < 183; j++) {
        int32_t p = (phase + j * 1554) & 0xffff;
        int32_t fresh = osc_sample(3, p, 1792);
        int32_t w = j < 64 ? (fresh * j + osc_sample(0, p, 1792) * (64 - j)) / 64 : fresh;
        ASSERT_EQ(t[j], w) << "sample " << j;
    }
}

TEST_F(SynthTest, StoppedVoiceFadesItsLast64SamplesOut) {
    sfx(10).speed = 1;
    note(10, 0, 36, 0, 7);
    quon_play_sfx_ex(&sfx(10), 0, 1, cart, 0);  // one note, then cut off
    tick(0);
    EXPECT_EQ(ms0[0].sfx, nullptr);
    const int32_t phase = ms0[0].osc.phase;
    std::vector<int16_t> t = tick(0);
    std::vector<int32_t> want = triangle_run(phase, 1554, 64);
    for (int32_t i = 0; i < 183; i++) ASSERT_EQ(t[i], i < 64 ? want[i] * (64 - i) / 64 : 0) << i;
    EXPECT_EQ(ms0[0].osc.phase, (phase + 64 * 1554) & 0xffff);
    EXPECT_EQ(ms0[0].osc.volume, 0);
    EXPECT_EQ(ms0[0].inst_tick, 1);
    std::vector<int16_t> quiet = tick(0);
    for (int16_t v : quiet) ASSERT_EQ(v, 0);
}

TEST_F(SynthTest, SilentNoteResetsThePhase) {
    sfx(10).speed = 1;
    note(10, 0, 36, 0, 7);
    note(10, 1, 36, 0, 0);
    note(10, 2, 36, 0, 7);
    play(10, 0);
    tick(0);
    tick(0);
    EXPECT_EQ(ms0[0].osc.phase, 0);
}

TEST_F(SynthTest, SpeedZeroPlaysLikeSpeedOne) {
    for (int32_t i = 0; i < 4; i++) note(10, i, 30 + i, i, 5, i == 2 ? 1 : 0);
    sfx(11) = sfx(10);
    sfx(10).speed = 0;
    sfx(11).speed = 1;
    play(10, 0);
    play(11, 1);
    for (int32_t k = 0; k < 5; k++) {
        ASSERT_EQ(tick(0), tick(1)) << "tick " << k;
        ASSERT_EQ(ms0[0].tick_pos, ms0[1].tick_pos);
    }
}

// Runs channel 0 tick by tick and records the oscillator after each tick.
struct tick_state {
    int32_t pitch, volume, dx;
};
static std::vector<tick_state> run_ticks(int32_t count) {
    std::vector<tick_state> v;
    int16_t buf[MIVO3_TICK_SAMPLES];
    for (int32_t i = 0; i < count; i++) {
        mix_sfx_tick(ms0[0], buf);
        v.push_back({ms0[0].osc.pitch, ms0[0].osc.volume, ms0[0].osc.dx});
    }
    return v;
}

TEST_F(SynthTest, SlideMovesPitchAndVolumeFromThePreviousNote) {
    sfx(10).speed = 4;
    note(10, 0, 24, 0, 5);
    note(10, 1, 36, 0, 7, 1);
    play(10, 0);
    std::vector<tick_state> t = run_ticks(8);
    EXPECT_EQ(t[4].pitch, 24 << 16);
    EXPECT_EQ(t[4].volume, 1280);
    EXPECT_EQ(t[5].pitch, 27 << 16);
    EXPECT_EQ(t[5].volume, 1408);
    EXPECT_EQ(t[6].pitch, 30 << 16);
    EXPECT_EQ(t[6].volume, 1536);
    EXPECT_EQ(t[7].pitch, 33 << 16);
    EXPECT_EQ(t[7].volume, 1664);
}

TEST_F(SynthTest, SlideOnNoteZeroStartsAtPitch24) {
    sfx(10).speed = 3;
    note(10, 0, 36, 0, 6, 1);
    play(10, 0);
    ms0[0].osc.kept_pitch = 60;  // ignored on note 0
    std::vector<tick_state> t = run_ticks(3);
    EXPECT_EQ(t[0].pitch, 24 << 16);
    EXPECT_EQ(t[1].pitch, 28 << 16);
    EXPECT_EQ(t[2].pitch, 32 << 16);
    for (auto& s : t) EXPECT_EQ(s.volume, 1536);
}

TEST_F(SynthTest, FractionalSlidePitchInterpolatesTheStep) {
    sfx(10).speed = 2;
    note(10, 0, 47, 0, 5);
    note(10, 1, 48, 0, 5, 1);
    play(10, 0);
    std::vector<tick_state> t = run_ticks(4);
    EXPECT_EQ(t[3].pitch, (47 << 16) | 0x8000);
    EXPECT_EQ(t[3].dx, 3016);
}

TEST_F(SynthTest, VibratoFollowsTheEightStepTable) {
    sfx(10).speed = 32;
    note(10, 0, 36, 0, 5, 2);
    play(10, 0);
    std::vector<tick_state> t = run_ticks(16);
    const int32_t want[16] = {1554, 1554, 1566, 1566, 1578, 1578, 1566, 1566,
                              1554, 1554, 1541, 1541, 1529, 1529, 1541, 1541};
    for (int32_t i = 0; i < 16; i++) EXPECT_EQ(t[i].dx, want[i]) << "tick " << i;
}

TEST_F(SynthTest, DropLowersTheStepWithinTheNote) {
    sfx(10).speed = 4;
    note(10, 0, 36, 0, 5, 3);
    play(10, 0);
    std::vector<tick_state> t = run_ticks(4);
    EXPECT_EQ(t[0].dx, 1554);
    EXPECT_EQ(t[1].dx, 1165);
    EXPECT_EQ(t[2].dx, 777);
    EXPECT_EQ(t[3].dx, 388);
}

TEST_F(SynthTest, FadesInAndOut) {
    sfx(10).speed = 4;
    note(10, 0, 36, 0, 7, 4);
    note(10, 1, 36, 0, 7, 5);
    play(10, 0);
    std::vector<tick_state> t = run_ticks(8);
    const int32_t want[8] = {0, 448, 896, 1344, 1792, 1344, 896, 448};
    for (int32_t i = 0; i < 8; i++) EXPECT_EQ(t[i].volume, want[i]) << "tick " << i;
}

TEST_F(SynthTest, ArpeggioCyclesTheGroupOfFour) {
    for (int32_t i = 4; i < 8; i++) note(10, i, 36 + i, 0, 5);
    note(10, 5, 41, 0, 5, 6);
    sfx(10).speed = 8;
    play(10, 0);
    ms0[0].tick_pos = 40;
    std::vector<tick_state> fast = run_ticks(8);
    const int32_t fast_want[8] = {40, 40, 41, 41, 42, 42, 43, 43};
    for (int32_t i = 0; i < 8; i++) EXPECT_EQ(fast[i].pitch >> 16, fast_want[i]) << i;

    note(10, 5, 41, 0, 5, 7);
    play(10, 0);
    ms0[0].tick_pos = 40;
    std::vector<tick_state> slow = run_ticks(8);
    const int32_t slow_want[8] = {42, 42, 42, 42, 43, 43, 43, 43};
    for (int32_t i = 0; i < 8; i++) EXPECT_EQ(slow[i].pitch >> 16, slow_want[i]) << i;
}

TEST_F(SynthTest, ArpeggioSlowsDownAboveSpeedEight) {
    for (int32_t i = 4; i < 8; i++) note(10, i, 36 + i, 0, 5);
    note(10, 5, 41, 0, 5, 6);
    sfx(10).speed = 9;
    play(10, 0);
    ms0[0].tick_pos = 45;  // note 5, tick 0
    std::vector<tick_state> t = run_ticks(9);
    // Group notes 4..7 by (tick_pos / 4) mod 4 for tick_pos 45..53.
    const int32_t want[9] = {43, 43, 43, 40, 40, 40, 40, 41, 41};
    for (int32_t i = 0; i < 9; i++) EXPECT_EQ(t[i].pitch >> 16, want[i]) << i;
}

TEST_F(SynthTest, MusicVolumeScalesByFadeAndMusicLevel) {
    sfx(10).speed = 4;
    note(10, 0, 36, 0, 7);
    ms0[4].sfx = &sfx(10);
    ms0[4].is_music = 1;
    ms0[4].cart = cart;
    ms0[4].pattern = 0;
    ms0[4].ticks_left = 100;
    fade_vol = 0x8000;
    quon_music_volume_level = 128;
    mix_sfx_tick(ms0[4], ms0[4].tick_buf);
    EXPECT_EQ(ms0[4].osc.volume, 448);  // 1792 * 128 >> 8, then * 128 >> 8
    play(10, 0);
    mix_sfx_tick(ms0[0], ms0[0].tick_buf);
    EXPECT_EQ(ms0[0].osc.volume, 1792);  // sound effects are not scaled
}

// Instrument sfx 3: note j has pitch 24 + j, so the played pitch minus the
// main note's pitch is the instrument position.
class InstrumentTest : public SynthTest {
protected:
    void SetUp() override {
        SynthTest::SetUp();
        sfx(3).speed = 1;
        for (int32_t j = 0; j < 32; j++) note(3, j, 24 + j, 0, 7);
        sfx(10).speed = 4;
        play(10, 0);
        ms0[0].cart = cart;
    }
    std::vector<int32_t> offsets(int32_t count) {
        std::vector<int32_t> v;
        int16_t buf[MIVO3_TICK_SAMPLES];
        for (int32_t i = 0; i < count; i++) {
            int32_t k = ms0[0].tick_pos / std::max(1, sfx(10).speed);
            mix_sfx_tick(ms0[0], buf);
            v.push_back((ms0[0].osc.pitch >> 16) - sfx(10).notes[k].pitch);
        }
        return v;
    }
};

TEST_F(InstrumentTest, RestartsAtEachNewPitchAndContinuesLegato) {
    note(10, 0, 36, 3, 7, 0, true);
    note(10, 1, 36, 3, 7, 0, true);  // same pitch and instrument: legato
    note(10, 2, 40, 3, 7, 0, true);  // new pitch: from the start
    note(10, 3, 40, 3, 7, 1, true);  // slide on the same instrument: legato
    std::vector<int32_t> o = offsets(16);
    const int32_t want[16] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    for (int32_t i = 0; i < 16; i++) EXPECT_EQ(o[i], want[i]) << "tick " << i;
}

TEST_F(InstrumentTest, DropRestartsOnTheSamePitchButNotOnANewOne) {
    note(10, 0, 36, 3, 7, 0, true);
    note(10, 1, 36, 3, 7, 3, true);  // drop, same pitch: restart
    note(10, 2, 38, 3, 7, 3, true);  // drop, new pitch: continue
    note(10, 3, 38, 3, 7, 4, true);  // fade in: restart
    std::vector<int32_t> o = offsets(16);
    const int32_t want[16] = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3};
    for (int32_t i = 0; i < 16; i++) EXPECT_EQ(o[i], want[i]) << "tick " << i;
}

TEST_F(InstrumentTest, OtherInstrumentRestarts) {
    sfx(4) = sfx(3);
    note(10, 0, 36, 3, 7, 0, true);
    note(10, 1, 36, 4, 7, 0, true);
    std::vector<int32_t> o = offsets(8);
    EXPECT_EQ(o[4], 0);
    EXPECT_EQ(o[5], 1);
}

TEST_F(InstrumentTest, LoopsAndScalesVolume) {
    sfx(3).loop_start = 2;
    sfx(3).loop_end = 4;
    note(3, 2, 26, 5, 3);
    note(10, 0, 36, 3, 4, 0, true);
    sfx(10).speed = 16;
    std::vector<int32_t> o = offsets(3);
    EXPECT_EQ(o[0], 0);
    EXPECT_EQ(ms0[0].osc.waveform, 5);         // the instrument note's waveform
    EXPECT_EQ(ms0[0].osc.volume, 768 * 1024 / 1792);  // 438
    std::vector<int32_t> more = offsets(5);
    const int32_t want[5] = {3, 2, 3, 2, 3};
    for (int32_t i = 0; i < 5; i++) EXPECT_EQ(more[i], want[i]) << i;
}

TEST_F(InstrumentTest, PastNote31TheInstrumentIsSilent) {
    note(10, 0, 36, 3, 7, 0, true);
    sfx(10).speed = 40;
    std::vector<int32_t> o = offsets(33);
    EXPECT_EQ(o[31], 31);
    EXPECT_EQ(ms0[0].osc.volume, 0);  // tick 32
}

TEST_F(InstrumentTest, InstrumentDropFadesTheStep) {
    sfx(3).speed = 4;
    note(3, 0, 24, 0, 7, 3);
    note(10, 0, 36, 3, 7, 0, true);
    sfx(10).speed = 8;
    std::vector<int32_t> dx;
    int16_t buf[MIVO3_TICK_SAMPLES];
    for (int32_t i = 0; i < 4; i++) {
        mix_sfx_tick(ms0[0], buf);
        dx.push_back(ms0[0].osc.dx);
    }
    EXPECT_EQ(dx[0], 1554);
    EXPECT_EQ(dx[1], 1554 * 192 / 256);
    EXPECT_EQ(dx[2], 1554 * 128 / 256);
    EXPECT_EQ(dx[3], 1554 * 64 / 256);
}

TEST_F(InstrumentTest, VibratoOnBothLevelsIsDeeper) {
    note(3, 0, 24, 0, 7, 2);
    sfx(3).speed = 32;
    note(10, 0, 36, 3, 7, 2, true);
    sfx(10).speed = 32;
    std::vector<int32_t> dx;
    int16_t buf[MIVO3_TICK_SAMPLES];
    for (int32_t i = 0; i < 8; i++) {
        mix_sfx_tick(ms0[0], buf);
        dx.push_back(ms0[0].osc.dx);
    }
    EXPECT_EQ(dx[4], 1554 * 132 >> 7);
    EXPECT_EQ(dx[6], 1554 * 130 >> 7);
}

TEST_F(SynthTest, CustomNoteWithoutACartPlaysItsOwnWaveform) {
    note(10, 0, 36, 3, 7, 0, true);
    sfx(10).speed = 4;
    play(10, 0);
    ms0[0].cart = nullptr;
    tick(0);
    EXPECT_EQ(ms0[0].osc.waveform, 3);
    EXPECT_EQ(ms0[0].osc.pitch, 36 << 16);
}

TEST_F(SynthTest, EndsAfterTheFirstTickOfTheSilentTail) {
    sfx(10).speed = 2;
    for (int32_t i = 0; i < 3; i++) note(10, i, 36, 0, 5);
    play(10, 0);
    int32_t ticks = 0;
    while (ms0[0].sfx && ticks < 100) {
        tick(0);
        ticks++;
    }
    EXPECT_EQ(ticks, 7);  // notes 0..2 (6 ticks) and one tick of note 3
}

TEST_F(SynthTest, SilentSlideAfterALoudNoteIsAudibleAndKeepsTheSfxAlive) {
    sfx(10).speed = 4;
    note(10, 0, 36, 0, 7);
    note(10, 1, 36, 0, 0, 1);
    play(10, 0);
    run_ticks(4);
    std::vector<tick_state> t = run_ticks(4);
    EXPECT_EQ(t[1].volume, 1344);  // sliding down from volume 7
    EXPECT_EQ(t[3].volume, 448);
    EXPECT_NE(ms0[0].sfx, nullptr);
    run_ticks(1);  // note 2: nothing left
    EXPECT_EQ(ms0[0].sfx, nullptr);
}

TEST_F(SynthTest, LengthLimitsTheTicks) {
    sfx(10).speed = 3;
    for (int32_t i = 0; i < 32; i++) note(10, i, 36, 0, 5);
    quon_play_sfx_ex(&sfx(10), 0, 2, cart, 0);
    EXPECT_EQ(ms0[0].ticks_left, 6);
    run_ticks(5);
    EXPECT_NE(ms0[0].sfx, nullptr);
    run_ticks(1);
    EXPECT_EQ(ms0[0].sfx, nullptr);
}

TEST_F(SynthTest, LoopWrapsAndReleasePlaysOn) {
    sfx(10).speed = 2;
    sfx(10).loop_start = 1;
    sfx(10).loop_end = 3;
    for (int32_t i = 0; i < 4; i++) note(10, i, 36, 0, 5);
    quon_play_sfx_ex(&sfx(10), 0, 0, cart, 0);
    std::vector<int32_t> pos;
    int16_t buf[MIVO3_TICK_SAMPLES];
    for (int32_t i = 0; i < 10; i++) {
        mix_sfx_tick(ms0[0], buf);
        pos.push_back(ms0[0].tick_pos);
    }
    const int32_t want[10] = {1, 2, 3, 4, 5, 2, 3, 4, 5, 2};
    for (int32_t i = 0; i < 10; i++) EXPECT_EQ(pos[i], want[i]) << i;
    quon_release_looping_mivo3_channel(0);
    for (int32_t i = 0; i < 6; i++) mix_sfx_tick(ms0[0], buf);
    EXPECT_EQ(ms0[0].tick_pos, 8);
    // The loop test keeps the released sfx on its channel: loop_end (3) is
    // above speed x loop_start (2).
    EXPECT_NE(ms0[0].sfx, nullptr);
    sfx(10).loop_start = 2;  // 3 > 4 fails: nothing audible remains
    mix_sfx_tick(ms0[0], buf);
    EXPECT_EQ(ms0[0].sfx, nullptr);
}

TEST_F(SynthTest, NotesPast31AreSilent) {
    sfx(10).speed = 1;
    sfx(10).loop_start = 0;
    sfx(10).loop_end = 200;  // loop point beyond the last note
    note(10, 31, 36, 0, 7);
    quon_play_sfx_ex(&sfx(10), 31, 0, cart, 0);
    tick(0);
    EXPECT_EQ(ms0[0].osc.volume, 1792);
    for (int32_t i = 0; i < 50; i++) {
        tick(0);
        ASSERT_EQ(ms0[0].osc.volume, 0);
    }
    EXPECT_NE(ms0[0].sfx, nullptr);
}
