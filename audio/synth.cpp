#include "audio/synth.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "host/timing.h"

sound_channel ms0[MIVO3_CHANNELS];

void quon_reset_channels() {
    for (sound_channel& ch : ms0) ch = sound_channel{};
}

// Record fields may be poked from the main thread while a tick renders; each
// is read once into a local so that one tick sees one value.
static int32_t speed_of(const sfx_record& sfx) { return std::max<int32_t>(1, quon_word(sfx.speed)); }

int32_t quon_pitch_to_dx(int32_t pitch) {
    int32_t n = pitch >> 16;
    int32_t f = pitch & 0xffff;
    int32_t i = ((n % 12) + 12) % 12;
    int32_t o = (n + 48) / 12 - 4;
    int32_t dx = ((65536 - f) * note_dx[i] + f * note_dx[i + 1]) / 22050;
    // Octave 3 is the table's own; beyond a few octaves dx is clamped anyway,
    // so the loops stop early.
    for (int32_t k = o; k < 3 && dx > 0; k++) dx /= 2;
    for (int32_t k = 3; k < o && dx < 32768; k++) dx *= 2;
    return std::clamp<int32_t>(dx, 8, 32768);
}

static inline int32_t tri_x(int32_t p) {
    return (p < 0x8000 ? 3 * p - 0xc000 : 3 * (0xc000 - p)) / 4;
}
static inline int32_t tilted_saw_x(int32_t p) {
    return (p < 0xe000 ? p * 6143 / 0x3800 : (0xffff - p) * 6143 / 2048) - 12286;
}
static inline int32_t organ_x(int32_t p) {
    int32_t u;
    if (p < 0x4000) u = p;
    else if (p < 0x8000) u = 0x8000 - p;
    else if (p < 0xc000) u = (p - 0x8000) * 2 / 3;
    else u = (0x10000 - p) * 2 / 3;
    return u - 0x2000;
}
static inline int32_t fold(int32_t v) { return v < 0x8000 ? v : 0xffff - v; }

void quon_render_osc(osc_state& o, int32_t* out, int32_t count) {
    const int32_t a = o.volume * 3 / 2;
    const int32_t dx = o.dx;
    int32_t p = o.phase & 0xffff;
    switch (o.waveform & 7) {
    case 0:
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = tri_x(p) * a / 2048;
        break;
    case 1:
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = tilted_saw_x(p) * a / 2048;
        break;
    case 2:
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = (p - 0x8000) / 4 * a / 2048;
        break;
    case 3: {
        const int32_t hi = 6143 * a / 2048, lo = -6143 * a / 2048;
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = p >= 0x8000 ? hi : lo;
        break;
    }
    case 4: {
        const int32_t hi = 6143 * a / 2048, lo = -6143 * a / 2048;
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = p > 0xafff ? hi : lo;
        break;
    }
    case 5:
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) out[i] = organ_x(p) * a / 2048;
        break;
    case 6: {
        int32_t r = dx < 79 ? 60 * dx - 2988 : 8 * dx + 1120;
        int32_t rm = std::max<int32_t>(r, 0);
        int32_t g = std::max<int32_t>(64, 48 + 2048 / (std::max<int32_t>(o.raw_pitch, 48) + 16));
        int32_t spike_limit = (dx + 500) / 3;
        int32_t level = o.noise_level;
        int32_t toggle = o.noise_toggle;
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) {
            toggle ^= 1;
            if (toggle) level += quon_random(rm) - rm / 2;
            // Only the low 13 bits of the product matter, so unsigned
            // wrap-around gives the same test.
            uint32_t hash = (static_cast<uint32_t>(p) + 101u) * (static_cast<uint32_t>(p) + 317u);
            int32_t n = level;
            if (static_cast<int32_t>(hash & 0x1fff) < spike_limit)
                n = level + (quon_random(12286) - 6143) * o.raw_volume / 7;
            level = std::clamp<int32_t>(n, -6143, 6143);
            out[i] = g * (n >> 6) * a / 2048;
        }
        o.noise_level = level;
        o.noise_toggle = toggle;
        break;
    }
    case 7: {
        uint32_t acc = o.phaser_acc;
        const uint32_t step = static_cast<uint32_t>(dx);
        for (int32_t i = 0; i < count; i++, p = (p + dx) & 0xffff) {
            uint32_t q = (acc + static_cast<uint32_t>(i) * step) * 127u / 128u & 0xffff;
            int32_t x = (fold(p) >> 1) - 0x4000 + (fold(static_cast<int32_t>(q)) >> 2);
            out[i] = x * a / 2048;
        }
        break;
    }
    }
    o.phase = p;
}

// Arpeggio step length in ticks for a given speed.
static int32_t arpeggio_ticks(int32_t effect, int32_t s) {
    if (effect == 6) return s <= 8 ? 2 : 4;
    return s <= 8 ? 4 : 8;
}

void apply_meta_instrument(sound_channel& ch, const sfx_note& note, osc_state& o, int32_t pitch,
                           int32_t volume) {
    const sfx_record& inst = ch.cart->sfx[note.waveform & 7];
    const int32_t is = speed_of(inst);
    const int32_t ls = quon_word(inst.loop_start), le = quon_word(inst.loop_end);
    int32_t t = ch.inst_tick;
    if (ls < le && int64_t{t} >= int64_t{le} * is) {
        t = static_cast<int32_t>(std::clamp<int64_t>(int64_t{ls} * is, 0, INT32_MAX));
        ch.inst_tick = t;
    }
    const int32_t j = t / is, hh = t % is;
    if (j < 0 || j > 31) {
        o.volume = 0;
        o.waveform = 0;
        return;
    }
    const sfx_note in = quon_load_note(inst.notes[j]);
    int32_t p = in.pitch << 16;
    int32_t v = in.volume * 256;
    if (hh == is - 1) {
        ch.inst_prev_pitch = in.pitch;
        ch.inst_prev_waveform = in.waveform;
        ch.inst_prev_volume = v;
    }
    switch (in.effect) {
    case 1: {
        int32_t from_p = j < 1 ? 24 : ch.inst_prev_pitch;
        int32_t from_v = j < 1 ? v : ch.inst_prev_volume;
        p = (from_p * 65536 * (is - hh) + p * hh) / is;
        v = (v * hh + (is - hh) * from_v) / is;
        break;
    }
    case 3: o.meta_fade = (is - hh) * 256 / is; break;
    case 4: v = hh * v / is; break;
    case 5: v = (is - hh) * v / is; break;
    case 6:
    case 7: {
        int32_t d = arpeggio_ticks(in.effect, is);
        p = quon_word(inst.notes[(j & ~3) + (t / d) % 4].pitch) << 16;
        break;
    }
    default: break;
    }
    o.waveform = in.waveform;
    o.pitch = pitch + p - 24 * 65536;
    o.raw_pitch += (p >> 16) - 24;
    o.raw_volume = in.volume;
    o.volume = v * volume / 1792;
    o.meta_effect = in.effect;
}

// Whether a custom note keeps its instrument running from the previous note
// (legato) instead of starting it again.
static bool instrument_continues(const sound_channel& ch, const sfx_note& note, int32_t k) {
    if (note.waveform != ch.prev_waveform) return false;
    if (note.effect == 1) return true;
    if (note.effect == 3) return k == 0 || note.pitch != ch.prev_pitch;
    return k > 0 && note.pitch == ch.prev_pitch && note.effect != 4;
}

void calculate_osc_state(sound_channel& ch, osc_state& o) {
    const sfx_record* sfx = ch.sfx;
    const int32_t s = sfx ? speed_of(*sfx) : 1;
    const int32_t k = ch.tick_pos / s, h = ch.tick_pos % s;
    if (!sfx || k < 0 || k > 31) {
        o.volume = 0;
        o.waveform = 0;
        o.dx = 0;
        return;
    }
    const sfx_note note = quon_load_note(sfx->notes[k]);
    int32_t pitch = note.pitch << 16;
    int32_t volume = note.volume * 256;
    if (ch.is_music) {
        volume = volume * (fade_vol.load(std::memory_order_relaxed) >> 8) >> 8;
        volume = volume * quon_music_volume_level.load(std::memory_order_relaxed) >> 8;
    }
    switch (note.effect) {
    case 1: {
        int32_t from_pitch = k == 0 ? 24 : ch.prev_pitch;
        int32_t from_volume = k == 0 ? volume : ch.prev_volume * 256;
        pitch = (from_pitch * 65536 * (s - h) + pitch * h) / s;
        volume = (volume * h + (s - h) * from_volume) / s;
        break;
    }
    case 4: volume = h * volume / s; break;
    case 5: volume = (s - h) * volume / s; break;
    case 6:
    case 7: {
        int32_t d = arpeggio_ticks(note.effect, s);
        pitch = quon_word(sfx->notes[(k & ~3) + (ch.tick_pos / d) % 4].pitch) << 16;
        break;
    }
    default: break;
    }
    o.waveform = note.waveform;
    o.pitch = pitch;
    o.volume = volume;
    o.raw_pitch = note.pitch;
    o.raw_volume = note.volume;
    o.kept_pitch = note.pitch;
    o.kept_volume = note.volume;
    o.kept_waveform = note.waveform;
    o.meta_effect = 0;

    // Without a cart there is no instrument to play; the note then plays its
    // own waveform number.
    const bool custom = note.custom != 0 && ch.cart != nullptr;
    if (custom) {
        if (h == 0 && !instrument_continues(ch, note, k)) ch.inst_tick = 0;
        apply_meta_instrument(ch, note, o, pitch, volume);
    } else {
        ch.inst_tick = 0;
    }

    int32_t dx = quon_pitch_to_dx(o.pitch);
    const int32_t v = (ch.tick_pos >> 1) & 7;
    const bool note_vib = note.effect == 2, meta_vib = o.meta_effect == 2;
    if (note_vib && meta_vib) {
        static constexpr int32_t deep[8] = {128, 130, 132, 130, 128, 126, 124, 126};
        o.dx = dx * deep[v] >> 7;
        return;
    }
    if (note_vib || meta_vib) {
        static constexpr int32_t light[8] = {128, 129, 130, 129, 128, 127, 126, 127};
        dx = dx * light[v] >> 7;
    }
    if (!custom && note.effect == 3) dx = dx * (s - h) / s;
    if (o.meta_effect == 3) dx = dx * o.meta_fade / 256;
    o.dx = dx;
}

bool quon_sfx_continues(const sfx_record& sfx, int32_t k) {
    const int32_t s = speed_of(sfx);
    if (int64_t{quon_word(sfx.loop_end)} > int64_t{s} * quon_word(sfx.loop_start)) return true;
    if (k < 0 || k > 31) return false;
    for (int32_t i = k; i < 32; i++)
        if (quon_word(sfx.notes[i].volume) > 0) return true;
    return k != 31 && quon_word(sfx.notes[k].effect) == 1;
}

static inline int16_t to_sample(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

static void advance_position(sound_channel& ch) {
    if (ch.inst_tick < INT32_MAX) ch.inst_tick++;
    if (ch.tick_pos < INT32_MAX) ch.tick_pos++;
    if (ch.ticks_left > 0) ch.ticks_left--;
}

void mix_sfx_tick(sound_channel& ch, int16_t* buf) {
    int32_t fresh[MIVO3_TICK_SAMPLES] = {};
    const osc_state old = ch.osc;
    sfx_record* sfx = ch.sfx;

    if (!sfx) {
        if (old.dx != 0 && old.volume != 0) {
            osc_state tail = old;
            quon_render_osc(tail, fresh, MIVO3_RAMP_SAMPLES);
            for (int32_t i = 0; i < MIVO3_RAMP_SAMPLES; i++)
                fresh[i] = fresh[i] * (MIVO3_RAMP_SAMPLES - i) / MIVO3_RAMP_SAMPLES;
            ch.osc.phase = tail.phase;
        }
        ch.osc.volume = 0;
        advance_position(ch);
        ch.inst_tick = 1;
        for (int32_t i = 0; i < MIVO3_TICK_SAMPLES; i++) buf[i] = to_sample(fresh[i]);
        if (ch.is_music && ch.ticks_left == 0) quon_advance_music_channel(ch);
        return;
    }

    const int32_t s = speed_of(*sfx);
    const int32_t k = ch.tick_pos / s;
    if (ch.tick_pos % s == 0) {
        ch.prev_pitch = ch.osc.kept_pitch;
        ch.prev_volume = ch.osc.kept_volume;
        ch.prev_waveform = ch.osc.kept_waveform;
    }
    calculate_osc_state(ch, ch.osc);

    if (ch.osc.volume == 0) {
        ch.osc.phase = 0;
    } else {
        quon_render_osc(ch.osc, fresh, MIVO3_TICK_SAMPLES);
        ch.osc.phaser_acc += static_cast<uint32_t>(MIVO3_TICK_SAMPLES) * static_cast<uint32_t>(ch.osc.dx);
    }

    // Every tick starts with a blend from the previous settings, which keeps
    // note changes free of clicks and fades each note in from silence.
    int32_t ramp[MIVO3_RAMP_SAMPLES] = {};
    if (old.volume != 0) {
        osc_state again = old;
        quon_render_osc(again, ramp, MIVO3_RAMP_SAMPLES);
    }
    for (int32_t j = 0; j < MIVO3_RAMP_SAMPLES; j++)
        fresh[j] = (fresh[j] * j + ramp[j] * (MIVO3_RAMP_SAMPLES - j)) / MIVO3_RAMP_SAMPLES;
    for (int32_t i = 0; i < MIVO3_TICK_SAMPLES; i++) buf[i] = to_sample(fresh[i]);

    advance_position(ch);
    const int32_t ls = quon_word(sfx->loop_start), le = quon_word(sfx->loop_end);
    if (ch.looping && ls < le && int64_t{ch.tick_pos} >= int64_t{le} * s)
        ch.tick_pos = static_cast<int32_t>(std::clamp<int64_t>(int64_t{ls} * s, 0, INT32_MAX));

    if (ch.is_music) {
        if (ch.ticks_left == 0) quon_advance_music_channel(ch);
        return;
    }
    if (ch.ticks_left == 0 || !quon_sfx_continues(*sfx, k)) ch.sfx = nullptr;
}
