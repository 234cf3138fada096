// A fresh audio engine and a new cart for each test, with a clock the test
// moves by hand.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/synth.h"
#include "machine/pstate.h"
#include "storage/cart.h"

inline int32_t test_clock_ms = 0;
inline int32_t test_clock() { return test_clock_ms; }

class AudioTest : public ::testing::Test {
protected:
    mivo3_cart* cart = nullptr;

    void SetUp() override {
        test_clock_ms = 1000;
        quon_set_audio_clock(test_clock);
        quon_reset_audio_engine();
        quon_console_mode = 1;
        quon_sound_volume_level = 256;
        quon_music_volume_level = 256;
        quon_device_rate = 0;
        quon_post_mix_func = nullptr;
        quon_audio_pause_flag = nullptr;
        std::memset(pstate.audio_regs, 0, sizeof pstate.audio_regs);
        cart = quon_create_mivo3_cart();
        ASSERT_NE(cart, nullptr);
    }
    void TearDown() override {
        quon_destroy_mivo3_cart(cart);
        quon_set_audio_clock(nullptr);
    }

    sfx_record& sfx(int32_t n) { return cart->sfx[n]; }

    // Starts sfx n of the cart on channel c until it ends by itself.
    void play(int32_t n, int32_t c) { ASSERT_EQ(quon_play_sfx_ex(&cart->sfx[n], 0, 0, cart, c), c); }

    // Sets note i of sfx n.
    void note(int32_t n, int32_t i, int32_t pitch, int32_t waveform, int32_t volume,
              int32_t effect = 0, bool custom = false) {
        cart->sfx[n].notes[i] = sfx_note{pitch, waveform, volume, effect, custom ? 128 : 0};
    }

    // Pattern p with column entries c0..c3 and flags.
    void pattern(int32_t p, int32_t c0, int32_t c1, int32_t c2, int32_t c3, int32_t flags = 0) {
        cart->music[p][0] = c0;
        cart->music[p][1] = c1;
        cart->music[p][2] = c2;
        cart->music[p][3] = c3;
        cart->music_flags[p] = flags;
    }

    // Renders one tick of channel c and returns its samples.
    std::vector<int16_t> tick(int32_t c) {
        std::vector<int16_t> buf(MIVO3_TICK_SAMPLES);
        mix_sfx_tick(ms0[c], buf.data());
        return buf;
    }

    // Mixes n engine samples of all channels.
    std::vector<int16_t> mix(int32_t n) {
        std::vector<int16_t> out(n);
        quon_mixer_callback_0(out.data(), n);
        return out;
    }
};

// One sample of an oscillator at a fixed phase.
inline int32_t osc_sample(int32_t waveform, int32_t phase, int32_t volume) {
    osc_state o;
    o.waveform = waveform;
    o.phase = phase;
    o.dx = 0;
    o.volume = volume;
    int32_t out = 0;
    quon_render_osc(o, &out, 1);
    return out;
}
