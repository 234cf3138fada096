// The 16 sound channels the mixer owns, with the voice state the synthesizer
// keeps per channel and the tick and echo buffers the mixer renders through.
#pragma once
#include <cstdint>

#include "storage/cart.h"

constexpr int32_t quon_sound_freq = 22050;    // engine rate, samples per second
constexpr int32_t MIVO3_TICK_SAMPLES = 183;   // one tick, 8.3 ms at 22050 Hz
constexpr int32_t MIVO3_RAMP_SAMPLES = 64;    // crossfade at the start of every tick
constexpr int32_t MIVO3_CHANNELS = 16;
constexpr int32_t MIVO3_CHANNEL_BUFFER = 4096;  // samples one mix may produce
constexpr int32_t MIVO3_ECHO_TICKS = 8;

// Oscillator settings of one voice. Everything the crossfade needs to render
// the previous tick's sound again lives here, so a copy is an "old setting".
struct osc_state {
    int32_t waveform = 0;      // 0..7
    int32_t phase = 0;         // 0..65535
    int32_t dx = 0;            // phase step per sample, 0 or 8..32768
    uint32_t phaser_acc = 0;   // second phaser oscillator, wraps
    int32_t noise_level = 0;
    int32_t noise_toggle = 0;  // 0/1
    int32_t volume = 0;        // 0..1792 (note volume x 256, scaled)
    int32_t pitch = 0;         // 16.16 note number
    int32_t raw_pitch = 0;     // note number the noise colour follows
    int32_t raw_volume = 0;    // 0..7, noise spike height
    // Values of the note being played, kept so that the next note can slide
    // from them or continue its instrument.
    int32_t kept_volume = 0, kept_pitch = 0, kept_waveform = 0;
    int32_t meta_effect = 0;   // effect of the instrument note (0..7)
    int32_t meta_fade = 256;   // 0..256, drop applied by an instrument note
};

struct sound_channel {
    // What is playing.
    mivo3_cart* cart = nullptr;
    sfx_record* sfx = nullptr;   // null: no sfx
    int32_t tick_pos = 0;        // ticks since note 0 of the sfx
    int32_t looping = 0;
    int32_t channel_index = 0;   // 0..3: audio register bit and music column
    int32_t ticks_left = 0;      // ends at 0; negative = unbounded
    int32_t is_music = 0;
    int32_t pattern = -1;        // music pattern, -1 = none
    // Host sample slot; the console never fills it.
    const int16_t* host_sample = nullptr;
    int32_t host_sample_len = 0;
    int32_t host_sample_pos = 0;

    osc_state osc;
    int32_t prev_pitch = 0, prev_waveform = 0, prev_volume = 0;
    int32_t inst_prev_pitch = 0, inst_prev_waveform = 0, inst_prev_volume = 0;
    int32_t inst_tick = 0;

    // Mixer side.
    int16_t out[MIVO3_CHANNEL_BUFFER];
    int16_t tick_buf[MIVO3_TICK_SAMPLES];
    int32_t tick_read = MIVO3_TICK_SAMPLES;  // 183 = empty
    int16_t echo_ring[MIVO3_ECHO_TICKS][MIVO3_TICK_SAMPLES];
    int32_t echo_slot = 0;
};

extern sound_channel ms0[MIVO3_CHANNELS];

// The main thread stores sfx and pattern fields and the audio registers
// without the audio lock, one word at a time; the audio thread reads each
// such word with a single relaxed load.
inline int32_t quon_word(const int32_t& w) { return __atomic_load_n(&w, __ATOMIC_RELAXED); }
inline sfx_note quon_load_note(const sfx_note& n) {
    return sfx_note{quon_word(n.pitch), quon_word(n.waveform), quon_word(n.volume),
                    quon_word(n.effect), quon_word(n.custom)};
}

// True when the channel plays nothing at all (no sfx, no music, no sample).
inline bool quon_channel_idle(const sound_channel& ch) {
    return ch.sfx == nullptr && !ch.is_music && ch.host_sample == nullptr;
}

// Zeroes every channel: voices, buffers and echo rings.
void quon_reset_channels();
