// Mixing cost: one second of audio with all 16 channels busy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "machine/pstate.h"
#include "storage/cart.h"

// Sixteen sound effects: noise, phaser and the other waveforms with every
// effect, four of them playing custom instruments.
static mivo3_cart* busy_cart() {
    mivo3_cart* cart = quon_create_mivo3_cart();
    for (int32_t n = 0; n < 8; n++) {
        sfx_record& inst = cart->sfx[n];
        inst.speed = 2 + n;
        inst.loop_start = 0;
        inst.loop_end = 8;
        for (int32_t i = 0; i < 32; i++) inst.notes[i] = sfx_note{24 + (i * 5) % 12, (n + i) % 8, 5, i % 8, 0};
    }
    for (int32_t n = 8; n < 24; n++) {
        sfx_record& s = cart->sfx[n];
        s.speed = 3 + n % 5;
        s.loop_start = 0;
        s.loop_end = 32;
        for (int32_t i = 0; i < 32; i++) {
            int32_t wave = n % 4 == 0 ? 6 : n % 4 == 1 ? 7 : (n + i) % 8;
            bool custom = n % 4 == 2;
            s.notes[i] = sfx_note{(n * 3 + i * 7) % 64, custom ? i % 8 : wave, 4 + i % 4, i % 8, custom ? 128 : 0};
        }
    }
    return cart;
}

static void mix_one_second(benchmark::State& state, int32_t registers) {
    mivo3_cart* cart = busy_cart();
    quon_reset_audio_engine();
    quon_console_mode = 0;
    for (int32_t c = 0; c < MIVO3_CHANNELS; c++) quon_play_sfx_ex(&cart->sfx[8 + c], 0, 0, cart, c);
    for (int32_t r = 0; r < 4; r++) pstate.audio_regs[r] = registers;
    std::vector<int16_t> out(1024);
    for (auto _ : state) {
        for (int32_t done = 0; done < quon_sound_freq; done += 1024) {
            int32_t n = std::min<int32_t>(1024, quon_sound_freq - done);
            quon_mixer_callback_0(out.data(), n);
        }
        benchmark::DoNotOptimize(out.data());
    }
    int32_t busy = 0;
    for (const sound_channel& ch : ms0) busy += ch.sfx != nullptr;
    state.counters["busy_channels"] = busy;
    quon_stop_all_sounds();
    std::memset(pstate.audio_regs, 0, sizeof pstate.audio_regs);
    quon_destroy_mivo3_cart(cart);
}

// Echo, distortion and low-pass on every channel.
static void BM_MixSecond16Channels(benchmark::State& state) { mix_one_second(state, 14); }
// The same with half speed as well, which renders half the samples.
static void BM_MixSecond16ChannelsHalfSpeed(benchmark::State& state) { mix_one_second(state, 15); }
// No register effects.
static void BM_MixSecond16ChannelsPlain(benchmark::State& state) { mix_one_second(state, 0); }

BENCHMARK(BM_MixSecond16Channels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixSecond16ChannelsHalfSpeed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixSecond16ChannelsPlain)->Unit(benchmark::kMillisecond);
