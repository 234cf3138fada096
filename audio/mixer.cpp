#include "audio/mixer.h"

#include <algorithm>
#include <cstring>

#include "audio/sequencer.h"
#include "audio/synth.h"
#include "machine/pstate.h"

std::atomic<int32_t> quon_sound_volume_level{256};
std::atomic<int32_t> quon_music_volume_level{256};
int32_t quon_sound_inited = 0;
std::atomic<int32_t> quon_device_rate{0};
std::atomic<int32_t> inside_quon_mixer_callback{0};
void (*quon_post_mix_func)(int16_t* mix, int32_t n) = nullptr;
const std::atomic<int32_t>* quon_audio_pause_flag = nullptr;

// Rate conversion scratch: engine samples in, device samples out.
static int16_t cbuffer[16384];
static int16_t cbuffer2[16384];

void quon_set_sound_volume(int32_t v) {
    if (quon_sound_inited) quon_sound_volume_level.store(v, std::memory_order_relaxed);
}

void quon_set_music_volume(int32_t v) { quon_music_volume_level.store(v, std::memory_order_relaxed); }

// Cuts toward zero to a multiple of 4096.
static inline int32_t distort(int32_t s) { return s >= 0 ? (s & 0xf000) : -((-s) & 0xf000); }

// Renders the channel's next tick into its tick buffer with the register
// effects of its column.
static void next_tick(sound_channel& ch) {
    const int32_t bit = 1 << (ch.channel_index & 3);
    const bool echo = quon_word(pstate.audio_regs[1]) & bit;
    const bool distortion = quon_word(pstate.audio_regs[2]) & bit;
    const bool low_pass = quon_word(pstate.audio_regs[3]) & bit;
    const int32_t last = ch.tick_buf[MIVO3_TICK_SAMPLES - 1];
    int16_t* t = ch.tick_buf;
    if (echo) {
        std::memcpy(ch.echo_ring[ch.echo_slot], t, sizeof ch.tick_buf);
        ch.echo_slot = (ch.echo_slot + 1) % MIVO3_ECHO_TICKS;
        mix_sfx_tick(ch, t);
        // The ring slot four ahead holds the output of four ticks ago: 732
        // samples, 33 ms.
        const int16_t* e = ch.echo_ring[(ch.echo_slot + 4) % MIVO3_ECHO_TICKS];
        for (int32_t i = 0; i < MIVO3_TICK_SAMPLES; i++) t[i] = static_cast<int16_t>((t[i] * 3 + e[i] * 2) / 4);
    } else {
        mix_sfx_tick(ch, t);
    }
    if (distortion)
        for (int32_t i = 0; i < MIVO3_TICK_SAMPLES; i++) t[i] = static_cast<int16_t>(distort(t[i]));
    if (low_pass) {
        int32_t y = last;
        for (int32_t i = 0; i < MIVO3_TICK_SAMPLES; i++) {
            y = (t[i] + 7 * y) / 8;
            t[i] = static_cast<int16_t>(y);
        }
    }
    ch.tick_read = 0;
}

void mix_sfx_channel(sound_channel& ch, int16_t* out, int32_t k) {
    int32_t i = 0;
    while (i < k) {
        if (ch.tick_read >= MIVO3_TICK_SAMPLES) next_tick(ch);
        int32_t take = std::min(MIVO3_TICK_SAMPLES - ch.tick_read, k - i);
        std::memcpy(out + i, ch.tick_buf + ch.tick_read, sizeof(int16_t) * take);
        ch.tick_read += take;
        i += take;
    }
}

static void copy_host_sample(sound_channel& ch, int32_t n) {
    if (!ch.host_sample) return;
    int32_t take = std::min(n, ch.host_sample_len - ch.host_sample_pos);
    if (take > 0) std::memcpy(ch.out, ch.host_sample + ch.host_sample_pos, sizeof(int16_t) * take);
    ch.host_sample_pos += std::max(take, 0);
    if (ch.host_sample_pos >= ch.host_sample_len) {
        ch.host_sample = nullptr;
        ch.host_sample_len = ch.host_sample_pos = 0;
    }
}

// The knee sits at +-24576; above it the slope is 1/5, so two full-scale
// inputs still fit in 16 bits.
static inline int32_t soft_clip(int32_t s) {
    if (s > 0x5fff) return (s - 0x6000) / 5 + 0x6000;
    if (s < -0x5fff) return (s + 0x6000) / 5 - 0x6000;
    return s;
}

void quon_mixer_callback_0(int16_t* out, int32_t n) {
    n = std::clamp<int32_t>(n, 0, MIVO3_CHANNEL_BUFFER);
    inside_quon_mixer_callback.store(1, std::memory_order_relaxed);
    advanced_pattern = false;
    const int32_t half_speed = quon_word(pstate.audio_regs[0]);
    for (sound_channel& ch : ms0) {
        std::memset(ch.out, 0, sizeof(int16_t) * n);
        if (half_speed & (1 << (ch.channel_index & 3))) {
            // Each sample twice: an octave lower at half tempo.
            mix_sfx_channel(ch, ch.out, std::min(n / 2 + 1, MIVO3_CHANNEL_BUFFER));
            for (int32_t i = n - 1; i >= 0; i--) ch.out[i] = ch.out[i / 2];
        } else {
            mix_sfx_channel(ch, ch.out, n);
        }
        copy_host_sample(ch, n);
    }
    if (advanced_pattern) patterns_played++;
    if (quon_console_mode)
        for (int32_t k = 0; k < 4; k++)
            if (ms0[k].sfx) std::memset(ms0[k + 4].out, 0, sizeof(int16_t) * n);

    const int32_t volume = quon_sound_volume_level.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < n; i++) {
        int32_t v[MIVO3_CHANNELS];
        for (int32_t c = 0; c < MIVO3_CHANNELS; c++) v[c] = ms0[c].out[i];
        for (int32_t step = 1; step < MIVO3_CHANNELS; step *= 2)
            for (int32_t c = 0; c + step < MIVO3_CHANNELS; c += 2 * step) v[c] = soft_clip(v[c] + v[c + step]);
        int32_t s = v[0];
        if (volume != 256) s = s * volume >> 8;
        out[i] = static_cast<int16_t>(std::clamp<int32_t>(s, INT16_MIN, INT16_MAX));
    }
    if (quon_post_mix_func) quon_post_mix_func(out, n);
    inside_quon_mixer_callback.store(0, std::memory_order_relaxed);
}

int32_t quon_engine_samples_for(int32_t out_samples, int32_t rate) {
    if (rate <= 0) return out_samples;
    int64_t m = (int64_t{out_samples} * 2 * quon_sound_freq / rate) / 2;
    return static_cast<int32_t>(std::max<int64_t>(1, m));
}

// Output samples one mix may produce so that neither side passes the
// 4096-sample channel buffers.
static int32_t chunk_samples(int32_t rate) {
    if (rate <= 0 || rate == quon_sound_freq) return MIVO3_CHANNEL_BUFFER;
    int64_t by_engine = int64_t{MIVO3_CHANNEL_BUFFER} * rate / quon_sound_freq;
    return static_cast<int32_t>(std::clamp<int64_t>(by_engine, 1, MIVO3_CHANNEL_BUFFER));
}

static void convert_rate(const int16_t* src, int32_t m, int16_t* dst, int32_t n) {
    for (int32_t i = 0; i < n; i++) {
        int32_t pos = static_cast<int32_t>(int64_t{i} * 16 * m / n);
        int32_t j = pos >> 4, f = pos & 15;
        int32_t a = src[j], b = src[std::min(j + 1, m - 1)];
        dst[i] = static_cast<int16_t>((a * (16 - f) + b * f) / 16);
    }
}

void quon_mixer_callback(void* user, uint8_t* stream, int len) {
    if (len <= 0) return;
    if (quon_audio_pause_flag && quon_audio_pause_flag->load(std::memory_order_relaxed) != 0) {
        std::memset(stream, 0, static_cast<size_t>(len));
        return;
    }
    const int32_t rate = quon_device_rate.load(std::memory_order_relaxed);
    const bool direct = rate == 0 || rate == quon_sound_freq;
    const int32_t total = len / 2;
    const int32_t chunk = chunk_samples(rate);
    for (int32_t done = 0; done < total;) {
        int32_t n = std::min(chunk, total - done);
        if (direct) {
            quon_mixer_callback_0(cbuffer2, n);
        } else {
            int32_t m = std::min(quon_engine_samples_for(n, rate), MIVO3_CHANNEL_BUFFER);
            quon_mixer_callback_0(cbuffer, m);
            convert_rate(cbuffer, m, cbuffer2, n);
        }
        std::memcpy(stream + 2 * done, cbuffer2, sizeof(int16_t) * n);
        done += n;
    }
    if (len & 1) stream[len - 1] = 0;
}
