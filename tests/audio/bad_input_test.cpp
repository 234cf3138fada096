#include "audio_fixture.h"

#include <random>

// Any bytes in the sfx and music ranges must play or stay silent: no crash,
// no hang, no read outside a record.
class BadInputTest : public AudioTest {
protected:
    void poke_all(std::mt19937& rng) {
        for (int32_t i = 0; i < 256; i++) mivo3_set_music_byte(cart, i, static_cast<uint8_t>(rng()));
        for (int32_t n = 0; n < 64; n++)
            for (int32_t i = 0; i < MIVO3_SFX_BYTES; i++)
                mivo3_set_sfx_byte(cart->sfx[n], i, static_cast<uint8_t>(rng()));
    }
    void fill(uint8_t value) {
        for (int32_t i = 0; i < 256; i++) mivo3_set_music_byte(cart, i, value);
        for (int32_t n = 0; n < 64; n++)
            for (int32_t i = 0; i < MIVO3_SFX_BYTES; i++) mivo3_set_sfx_byte(cart->sfx[n], i, value);
    }
    void check_channels() {
        for (const sound_channel& ch : ms0) {
            ASSERT_GE(ch.tick_read, 0);
            ASSERT_LE(ch.tick_read, MIVO3_TICK_SAMPLES);
            if (ch.sfx) {
                ASSERT_GE(ch.sfx, cart->sfx);
                ASSERT_LT(ch.sfx, cart->sfx + MIVO3_SFX_COUNT);
            }
            ASSERT_GE(ch.osc.phase, 0);
            ASSERT_LE(ch.osc.phase, 0xffff);
        }
    }
    // Plays for the given seconds in uneven blocks with every register mix.
    void play_for(int32_t seconds, std::mt19937& rng) {
        int32_t left = seconds * quon_sound_freq;
        while (left > 0) {
            for (int32_t r = 0; r < 4; r++) pstate.audio_regs[r] = static_cast<int32_t>(rng() & 15);
            int32_t n = std::min<int32_t>(left, 1 + static_cast<int32_t>(rng() % 4096));
            mix(n);
            left -= n;
            check_channels();
        }
    }
};

TEST_F(BadInputTest, RandomBytesPlayWithoutFault) {
    std::mt19937 rng(12345);
    for (int32_t round = 0; round < 6; round++) {
        poke_all(rng);
        mivo3_music(cart, static_cast<int32_t>(rng() % 64), 0, static_cast<int32_t>(rng() & 15));
        for (int32_t c = 0; c < 4; c++)
            mivo3_sfx(cart, 4, static_cast<int32_t>(rng() % 64), c, static_cast<int32_t>(rng() % 40) - 4,
                      static_cast<int32_t>(rng() % 70) - 2);
        play_for(2, rng);
        // Bytes change under a playing sound, as a cart's pokes would.
        poke_all(rng);
        play_for(1, rng);
    }
}

TEST_F(BadInputTest, AllBitsSet) {
    fill(0xff);  // speed 255, loop 255..255, every flag, custom notes
    std::mt19937 rng(7);
    mivo3_music(cart, 0, 0, 15);
    for (int32_t c = 0; c < 4; c++) mivo3_sfx(cart, 2, c, c, 0, 0);
    play_for(3, rng);
    EXPECT_EQ(cart->music_flags[0], 15);
}

TEST_F(BadInputTest, AllZeroBytes) {
    fill(0);  // speed 0 everywhere, every column on sfx 0
    std::mt19937 rng(8);
    mivo3_music(cart, 0, 0, 0);
    EXPECT_TRUE(quon_music_is_playing());
    EXPECT_EQ(quon_pattern_length(cart, 0), 32);
    mivo3_sfx(cart, 1, 1, 0, 0, 0);
    play_for(40, rng);  // 64 patterns of 32 ticks, at half speed at worst
    EXPECT_EQ(current_pattern, 64);
    EXPECT_FALSE(quon_music_is_playing());
}

TEST_F(BadInputTest, LoopPointsPastTheLastNote) {
    for (int32_t n = 0; n < 64; n++) {
        sfx(n).speed = n % 5;
        sfx(n).loop_start = 31 + n;
        sfx(n).loop_end = 200 + n;
        for (int32_t i = 0; i < 32; i++) note(n, i, (n + i) & 63, i & 7, 7, (n + i) & 7, (i & 3) == 0);
    }
    std::mt19937 rng(9);
    for (int32_t c = 0; c < 4; c++) mivo3_sfx(cart, 3, 60 + c, c, 31, 0);
    play_for(3, rng);
    // Looping past the notes keeps a channel busy in silence while the loop
    // end passes speed x loop start.
    for (int32_t c = 0; c < 4; c++) {
        const sfx_record& r = sfx(60 + c);
        EXPECT_EQ(ms0[c].sfx != nullptr, r.loop_end > std::max(1, r.speed) * r.loop_start) << c;
    }
    EXPECT_NE(ms0[0].sfx, nullptr);
    EXPECT_EQ(ms0[3].sfx, nullptr);
}

TEST_F(BadInputTest, InstrumentsThatPlayThemselves) {
    // Sfx 0..7 use themselves and each other as instruments, with loops.
    for (int32_t n = 0; n < 8; n++) {
        sfx(n).speed = n;
        sfx(n).loop_start = n;
        sfx(n).loop_end = n + 1 + (n & 1) * 40;
        for (int32_t i = 0; i < 32; i++) note(n, i, 63 - i, (n + i) & 7, 7, i & 7, true);
    }
    std::mt19937 rng(10);
    for (int32_t c = 0; c < 4; c++) mivo3_sfx(cart, 2, c * 2, c, 0, 0);
    play_for(3, rng);
}

TEST_F(BadInputTest, ExtremePitchesStayInRange) {
    // Instrument offsets take the pitch from -24 to 102 semitones.
    sfx(1).speed = 1;
    for (int32_t i = 0; i < 32; i++) note(1, i, i & 1 ? 63 : 0, 6, 7, 6);
    sfx(20).speed = 3;
    for (int32_t i = 0; i < 32; i++) note(20, i, i & 1 ? 63 : 0, 1, 7, 1, true);
    mivo3_sfx(cart, 2, 20, 0, 0, 0);
    for (int32_t t = 0; t < 96; t++) {
        mix(MIVO3_TICK_SAMPLES);
        ASSERT_GE(ms0[0].osc.dx, 0);
        ASSERT_LE(ms0[0].osc.dx, 32768 * 132 / 128);
        ASSERT_GE(ms0[0].osc.noise_level, -6143);
        ASSERT_LE(ms0[0].osc.noise_level, 6143);
    }
}

TEST_F(BadInputTest, LoudNoiseSaturatesInsteadOfWrapping) {
    osc_state o;
    o.waveform = 6;
    o.volume = 1792;
    o.dx = 32768;
    o.raw_volume = 7;
    o.raw_pitch = 102;
    int32_t out[4000];
    quon_render_osc(o, out, 4000);
    int32_t beyond = 0;
    for (int32_t v : out) beyond += v > 32767 || v < -32768;
    ASSERT_GT(beyond, 0);  // the raw value can pass 16 bits
    // An instrument of noise at the top pitch: the tick saturates.
    sfx(0).speed = 1;
    for (int32_t i = 0; i < 32; i++) note(0, i, 63, 6, 7);
    sfx(5).speed = 10;
    for (int32_t i = 0; i < 32; i++) note(5, i, 63, 0, 7, 0, true);
    mivo3_sfx(cart, 2, 5, 0, 0, 0);
    int16_t buf[MIVO3_TICK_SAMPLES];
    int32_t at_limit = 0;
    for (int32_t t = 0; t < 10; t++) {
        mix_sfx_tick(ms0[0], buf);
        for (int16_t v : buf) at_limit += v == 32767 || v == -32768;
    }
    EXPECT_EQ(ms0[0].osc.dx, 32768);
    EXPECT_GT(at_limit, 0);
}
