#include "audio_fixture.h"

#include <algorithm>

class MixerTest : public AudioTest {
protected:
    std::vector<std::vector<int16_t>> samples;  // host sample storage

    // Puts a constant host sample of n values on channel c.
    void constant(int32_t c, int16_t value, int32_t n = 1) {
        samples.emplace_back(n, value);
        ms0[c].host_sample = samples.back().data();
        ms0[c].host_sample_len = n;
        ms0[c].host_sample_pos = 0;
    }

    // A steady triangle (sfx 10) and a click (sfx 11: one loud tick).
    void SetUp() override {
        AudioTest::SetUp();
        sfx(10).speed = 255;
        for (int32_t i = 0; i < 32; i++) note(10, i, 33 + i % 5, i % 6, 4 + i % 4);
        sfx(11).speed = 1;
        note(11, 0, 45, 3, 7);
    }

    // n samples of the mix, produced in blocks of the given size.
    std::vector<int16_t> render(int32_t n, int32_t block = 1024) {
        std::vector<int16_t> all;
        while (static_cast<int32_t>(all.size()) < n) {
            int32_t k = std::min<int32_t>(block, n - static_cast<int32_t>(all.size()));
            std::vector<int16_t> part = mix(k);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    // The sound start() makes, rendered from a fresh engine without any
    // register set; the engine is fresh again afterwards.
    template <typename Start>
    std::vector<int16_t> reference(int32_t n, Start start) {
        int32_t regs[4];
        std::memcpy(regs, pstate.audio_regs, sizeof regs);
        std::memset(pstate.audio_regs, 0, sizeof regs);
        quon_reset_audio_engine();
        quon_console_mode = 1;
        start();
        std::vector<int16_t> r = render(n);
        quon_reset_audio_engine();
        quon_console_mode = 1;
        std::memcpy(pstate.audio_regs, regs, sizeof regs);
        return r;
    }
};

static int32_t clip(int32_t s) {
    if (s > 0x5fff) return (s - 0x6000) / 5 + 0x6000;
    if (s < -0x5fff) return (s + 0x6000) / 5 - 0x6000;
    return s;
}

TEST_F(MixerTest, TwoTrianglePeaksMeetAboveTheKnee) {
    // Channels 0 and 8 meet only at the last level of the tree.
    constant(0, 16128);
    constant(8, 16128);
    EXPECT_EQ(mix(1)[0], 26112);
    constant(0, -16128);
    constant(8, -16128);
    EXPECT_EQ(mix(1)[0], -26112);
}

TEST_F(MixerTest, TwoSquaresStayBelowTheKnee) {
    constant(2, 8062);
    constant(3, 8062);
    EXPECT_EQ(mix(1)[0], 16124);
}

TEST_F(MixerTest, TreeClipsEveryPairwiseSum) {
    // A pair above the knee is compressed again by each level above it,
    // silent partners included.
    constant(0, 16128);
    constant(1, 16128);
    EXPECT_EQ(mix(1)[0], clip(clip(clip(26112))));  // 24588
    for (int32_t c = 0; c < 4; c++) constant(c, 16128);
    EXPECT_EQ(mix(1)[0], clip(clip(clip(26112 + 26112))));
    for (int32_t c = 0; c < 16; c++) constant(c, 32767);
    EXPECT_EQ(mix(1)[0], 32767);
    for (int32_t c = 0; c < 16; c++) constant(c, -32768);
    EXPECT_EQ(mix(1)[0], -32768);
    constant(4, 20000);
    constant(12, 20000);
    EXPECT_EQ(mix(1)[0], clip(40000));
}

TEST_F(MixerTest, HostSampleRunsOutAndFreesTheSlot) {
    constant(0, 1000, 3);
    std::vector<int16_t> out = mix(5);
    EXPECT_EQ(out, (std::vector<int16_t>{1000, 1000, 1000, 0, 0}));
    EXPECT_EQ(ms0[0].host_sample, nullptr);
}

TEST_F(MixerTest, SoundVolumeScalesTheMix) {
    quon_sound_volume_level = 128;
    constant(0, 1001);
    constant(1, -1001);
    EXPECT_EQ(mix(1)[0], 0);
    constant(0, 1001);
    EXPECT_EQ(mix(1)[0], 500);
    constant(0, -1001);
    EXPECT_EQ(mix(1)[0], -501);  // the shift rounds toward minus infinity
    quon_sound_volume_level = 0;
    constant(0, 1001);
    EXPECT_EQ(mix(1)[0], 0);
}

TEST_F(MixerTest, VolumeSetterWaitsForTheDevice) {
    quon_sound_inited = 0;
    quon_set_sound_volume(17);
    EXPECT_EQ(quon_sound_volume_level.load(), 256);
    quon_set_music_volume(40);
    EXPECT_EQ(quon_music_volume_level.load(), 40);
}

TEST_F(MixerTest, TwoEqualVoicesSumThroughTheClip) {
    auto one = reference(2000, [&] { play(10, 0); });
    play(10, 0);
    play(10, 1);
    std::vector<int16_t> two = render(2000);
    for (int32_t i = 0; i < 2000; i++) ASSERT_EQ(two[i], clip(clip(clip(clip(2 * one[i]))))) << i;
}

TEST_F(MixerTest, BlockSizeDoesNotChangeTheSound) {
    auto whole = reference(5000, [&] { play(10, 0); });
    play(10, 0);
    EXPECT_EQ(render(5000, 77), whole);
}

TEST_F(MixerTest, MusicVolumeZeroSilencesOnlyMusic) {
    pattern(0, 10, 0x41, 0x41, 0x41);
    auto sfx_only = reference(1000, [&] { play(10, 1); });
    quon_music_volume_level = 0;
    mivo3_music(cart, 0, 0, 0);
    play(10, 1);
    EXPECT_EQ(render(1000), sfx_only);
}

TEST_F(MixerTest, SfxSilencesItsMusicTwinWhichKeepsRunning) {
    pattern(0, 10, 0x41, 0x41, 0x41);
    mivo3_music(cart, 0, 0, 0);
    auto sfx_only = reference(1000, [&] { play(11, 0); });
    mivo3_music(cart, 0, 0, 0);
    quon_play_sfx_ex(&sfx(11), 0, 0, cart, 0);
    std::vector<int16_t> out = render(183);
    EXPECT_EQ(std::vector<int16_t>(sfx_only.begin(), sfx_only.begin() + 183), out);
    EXPECT_EQ(ms0[4].tick_pos, 1);
    render(183);  // the click ends after its silent second note
    EXPECT_EQ(ms0[0].sfx, nullptr);
    std::vector<int16_t> after = render(183);
    EXPECT_NE(std::count(after.begin(), after.end(), 0), 183);  // the music is heard again
    EXPECT_EQ(ms0[4].tick_pos, 3);
}

TEST_F(MixerTest, EchoRepeatsFourTicksLaterAndDecays) {
    auto dry = reference(20 * 183, [&] { quon_play_sfx_ex(&sfx(11), 0, 1, cart, 0); });
    pstate.audio_regs[1] = 1;
    quon_play_sfx_ex(&sfx(11), 0, 1, cart, 0);
    std::vector<int16_t> wet = render(20 * 183);
    std::vector<int32_t> want(dry.size());
    for (size_t i = 0; i < dry.size(); i++) {
        int32_t e = i >= 732 ? want[i - 732] : 0;
        want[i] = (dry[i] * 3 + e * 2) / 4;
    }
    for (size_t i = 0; i < dry.size(); i++) ASSERT_EQ(wet[i], want[i]) << i;
    // The click (one tick and a 64-sample tail) comes back at half height.
    EXPECT_NE(wet[100], 0);
    EXPECT_EQ(wet[732 + 100], wet[100] / 2);
    EXPECT_EQ(wet[400], 0);
    EXPECT_EQ(wet[1464 + 100], wet[732 + 100] / 2);
}

TEST_F(MixerTest, DistortionCutsToMultiplesOf4096) {
    auto dry = reference(2000, [&] { play(10, 0); });
    pstate.audio_regs[2] = 1;
    play(10, 0);
    std::vector<int16_t> out = render(2000);
    for (int32_t i = 0; i < 2000; i++) {
        int32_t s = dry[i];
        ASSERT_EQ(out[i], s >= 0 ? (s & 0xf000) : -((-s) & 0xf000)) << i;
    }
}

TEST_F(MixerTest, LowPassCarriesAcrossTicks) {
    auto dry = reference(2000, [&] { play(10, 0); });
    pstate.audio_regs[3] = 1;
    play(10, 0);
    std::vector<int16_t> out = render(2000);
    int32_t y = 0;
    for (int32_t i = 0; i < 2000; i++) {
        y = (dry[i] + 7 * y) / 8;
        ASSERT_EQ(out[i], y) << i;
    }
}

TEST_F(MixerTest, RegistersFollowTheChannelIndex) {
    pstate.audio_regs[2] = 2;  // distortion on column 1 only
    pattern(0, 0x41, 10, 0x41, 0x41);
    mivo3_music(cart, 0, 0, 0);
    play(10, 0);
    mix(1000);
    bool any_fine = false;
    for (int32_t i = 0; i < 1000; i++) {
        ASSERT_EQ(ms0[5].out[i] % 4096, 0) << i;
        any_fine |= ms0[0].out[i] % 4096 != 0;
    }
    EXPECT_TRUE(any_fine);
}

TEST_F(MixerTest, HalfSpeedPlaysEachSampleTwice) {
    auto dry = reference(2000, [&] { play(10, 0); });
    pstate.audio_regs[0] = 1;
    play(10, 0);
    std::vector<int16_t> a = mix(1024);
    std::vector<int16_t> b = mix(1024);
    for (int32_t i = 0; i < 1024; i++) {
        ASSERT_EQ(a[i], dry[i / 2]) << i;
        ASSERT_EQ(b[i], dry[513 + i / 2]) << i;  // 513 samples per half-speed mix
    }
    // A tick lasts twice as long: 1026 engine samples are 5 ticks and a bit.
    EXPECT_EQ(ms0[0].tick_pos, 6);
}

TEST_F(MixerTest, EngineSamplesForDeviceRates) {
    EXPECT_EQ(quon_engine_samples_for(1024, 44100), 512);
    EXPECT_EQ(quon_engine_samples_for(1024, 48000), 470);
    EXPECT_EQ(quon_engine_samples_for(1024, 22050), 1024);
    EXPECT_EQ(quon_engine_samples_for(1024, 11025), 2048);
    EXPECT_EQ(quon_engine_samples_for(1, 48000), 1);
}

TEST_F(MixerTest, DoubleRateInterpolatesBetweenEngineSamples) {
    auto src = reference(512, [&] { play(10, 0); });
    play(10, 0);
    quon_device_rate = 44100;
    std::vector<int16_t> out(1024);
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 2048);
    for (int32_t j = 0; j < 512; j++) {
        ASSERT_EQ(out[2 * j], src[j]) << j;
        int32_t next = src[std::min(j + 1, 511)];
        ASSERT_EQ(out[2 * j + 1], (src[j] * 8 + next * 8) / 16) << j;
    }
    EXPECT_EQ(ms0[0].tick_read, 512 - 2 * 183);
}

TEST_F(MixerTest, OddRateConsumesTheComputedEngineSamples) {
    play(10, 0);
    quon_device_rate = 48000;
    std::vector<int16_t> out(1024);
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 2048);
    EXPECT_EQ(ms0[0].tick_read, 470 - 2 * 183);
}

TEST_F(MixerTest, LargeDeviceBuffersAreSplit) {
    auto whole = reference(10000, [&] { play(10, 0); });
    play(10, 0);
    std::vector<int16_t> out(10000);
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 20000);
    EXPECT_EQ(out, whole);

    // At half the engine rate each 2048-sample piece needs 4096 engine samples.
    quon_reset_audio_engine();
    quon_console_mode = 1;
    play(10, 0);
    quon_device_rate = 11025;
    std::vector<int16_t> slow(4096);
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(slow.data()), 8192);
    EXPECT_EQ(ms0[0].tick_pos, 45);  // 8192 engine samples: 45 ticks begun
}

TEST_F(MixerTest, PauseOutputsSilenceAndHoldsTheEngine) {
    auto fresh = reference(1000, [&] { play(10, 0); });
    std::atomic<int32_t> paused{1};
    quon_audio_pause_flag = &paused;
    play(10, 0);
    std::vector<int16_t> out(1000, 7);
    for (int32_t i = 0; i < 20; i++) {
        quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 2000);
        ASSERT_EQ(std::count(out.begin(), out.end(), 0), 1000);
    }
    EXPECT_EQ(ms0[0].tick_pos, 0);
    paused = 2;  // resuming still counts as paused
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 2000);
    EXPECT_EQ(ms0[0].tick_pos, 0);
    paused = 0;
    quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(out.data()), 2000);
    EXPECT_EQ(out, fresh);
}

static int32_t post_mix_calls = 0;
static int32_t post_mix_samples = 0;

TEST_F(MixerTest, PostMixHookSeesTheFinishedMix) {
    post_mix_calls = post_mix_samples = 0;
    quon_post_mix_func = [](int16_t* mixed, int32_t n) {
        post_mix_calls++;
        post_mix_samples += n;
        mixed[0] = 1234;
    };
    std::vector<int16_t> out = mix(300);
    EXPECT_EQ(post_mix_calls, 1);
    EXPECT_EQ(post_mix_samples, 300);
    EXPECT_EQ(out[0], 1234);
}
