#include "audio_fixture.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/audio_lock.h"
#include "host/config.h"

// The host's configuration lives beside its main loop, which calls the
// application's callbacks; this program links the host without the shell.
void quon_main_init(int, char**) {}
int quon_main_update() { return 0; }
int quon_main_draw() { return 0; }
int quon_main_exit() { return 0; }

static std::atomic<int32_t> mixes{0};

class DeviceTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        saved = cconfig;
        mixes = 0;
    }
    void TearDown() override {
        quon_sound_close();
        quon_post_mix_func = nullptr;
        cconfig = saved;
        AudioTest::TearDown();
    }
    quon_config saved;
};

TEST_F(DeviceTest, HeadlessOpensNothing) {
    cconfig.headless = 1;
    EXPECT_EQ(quon_sound_init(SDL_INIT_AUDIO), 0);
    EXPECT_EQ(quon_sound_inited, 0);
    EXPECT_EQ(quon_device_rate.load(), 0);
    EXPECT_EQ(mivo3_cart_release_hook, quon_release_cart_sounds);
}

TEST_F(DeviceTest, ZeroBufferSizeOpensNothing) {
    cconfig.headless = 0;
    cconfig.mix_buffer_size = 0;
    quon_sound_init(SDL_INIT_AUDIO);
    EXPECT_EQ(quon_sound_inited, 0);
    cconfig.mix_buffer_size = 512;
    quon_sound_init(0);  // not the audio subsystem flag
    EXPECT_EQ(quon_sound_inited, 0);
}

TEST_F(DeviceTest, LockNestsAndOnlyTheOutermostLevelCounts) {
    EXPECT_EQ(quon_audio_is_locked, 0);
    {
        quon_audio_guard a;
        {
            quon_audio_guard b;
            EXPECT_EQ(quon_audio_is_locked, 2);
        }
        EXPECT_EQ(quon_audio_is_locked, 1);
    }
    EXPECT_EQ(quon_audio_is_locked, 0);
    quon_unlock_audio_plat();  // an unmatched unlock is ignored
    EXPECT_EQ(quon_audio_is_locked, 0);
}

// The main thread starts, stops and queries sounds while the device's thread
// mixes; every change goes through the audio lock.
TEST_F(DeviceTest, MainThreadAndAudioThreadShareTheEngine) {
    cconfig.headless = 0;
    cconfig.mix_buffer_size = 256;
    cconfig.sound_volume = 200;
    quon_post_mix_func = [](int16_t*, int32_t) { mixes.fetch_add(1); };
    quon_sound_init(SDL_INIT_AUDIO);
    if (!quon_sound_inited) GTEST_SKIP() << "no audio driver: " << SDL_GetError();
    quon_console_mode = 1;
    EXPECT_GT(quon_device_rate.load(), 0);
    EXPECT_EQ(quon_sound_volume_level.load(), 200);
    EXPECT_NE(quon_locked_audio_device(), 0u);

    for (int32_t n = 0; n < 8; n++) {
        sfx(n).speed = 1 + n;
        for (int32_t i = 0; i < 32; i++) note(n, i, 20 + i, (n + i) & 7, 5, i & 7, n == 7);
        pattern(n, n, (n + 1) & 7, 0x41, n & 7, n == 7 ? 2 : 0);
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    for (int32_t i = 0; std::chrono::steady_clock::now() < until; i++) {
        mivo3_sfx(cart, 1, i & 7, 0, 0, 0);
        if (i % 7 == 0) mivo3_music(cart, i & 7, i % 3 ? 0 : 200, i & 15);
        if (i % 11 == 0) mivo3_music(cart, -1, 100, 0);
        if (i % 13 == 0) mivo3_sfx(cart, 2, -1, i & 3, 0, 0);
        for (int32_t s = 16; s <= 19; s++) {
            int32_t v = mivo3_audio_stat(cart, s);
            ASSERT_TRUE(v >= -1 && v <= 63) << v;
        }
        ASSERT_GE(mivo3_audio_stat(cart, 26), -1);
        quon_update_music_fading();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GT(mixes.load(), 0);
    quon_stop_all_sounds();
}
