#include "audio/sequencer.h"

#include <algorithm>
#include <climits>
#include <functional>

#include "audio/audio_lock.h"
#include "audio/mixer.h"
#include "host/timing.h"

int32_t music_channel_mask = 0;
int32_t current_pattern = -1;
int32_t patterns_played = 0;
bool advanced_pattern = false;
std::atomic<int32_t> fade_vol{0};
int32_t fade0 = 0, fade1 = 0x10000;
int32_t fade_len = 0;
int32_t fade_start_t = 0;
std::atomic<int32_t> quon_console_mode{0};

static int32_t host_clock() { return quon_get_time(); }
static int32_t (*audio_clock)() = host_clock;

void quon_set_audio_clock(int32_t (*clock)()) { audio_clock = clock ? clock : host_clock; }

static void clear_channel(sound_channel& ch) {
    ch.cart = nullptr;
    ch.sfx = nullptr;
    ch.is_music = 0;
    ch.pattern = -1;
    ch.host_sample = nullptr;
    ch.host_sample_len = 0;
    ch.host_sample_pos = 0;
    ch.looping = 0;
}

void quon_reset_audio_engine() {
    quon_audio_guard lock;
    quon_reset_channels();
    music_channel_mask = 0;
    current_pattern = -1;
    patterns_played = 0;
    advanced_pattern = false;
    fade_vol.store(0, std::memory_order_relaxed);
    fade0 = 0;
    fade1 = 0x10000;
    fade_len = 0;
    fade_start_t = 0;
    mivo3_cart_release_hook = quon_release_cart_sounds;
}

static int32_t speed_of(const sfx_record* sfx) { return std::max<int32_t>(1, quon_word(sfx->speed)); }

static int32_t saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

static bool record_in_cart(const sfx_record* record, const mivo3_cart* cart) {
    std::less_equal<const sfx_record*> le;
    std::less<const sfx_record*> lt;
    return record && le(cart->sfx, record) && lt(record, cart->sfx + MIVO3_SFX_COUNT);
}

static int32_t allocate_channel() {
    const int32_t mask = music_channel_mask;
    if (!quon_console_mode) {
        for (int32_t c = 0; c < MIVO3_CHANNELS; c++)
            if (quon_channel_idle(ms0[c])) return c;
        return -1;
    }
    auto idle = [](int32_t c) { return quon_channel_idle(ms0[c]); };
    auto reserved = [mask](int32_t k) { return (mask >> k) & 1; };
    for (int32_t k = 0; k < 4; k++)
        if (idle(k) && idle(k + 4)) return k;
    for (int32_t k = 0; k < 4; k++)
        if (idle(k) && ms0[k + 4].sfx == nullptr && !reserved(k)) return k;
    for (int32_t k = 0; k < 4; k++)
        if (idle(k) && !reserved(k)) return k;
    int32_t best = -1;
    for (int32_t k = 0; k < 4; k++) {
        if (!ms0[k].sfx || (reserved(k) && !idle(k + 4))) continue;
        if (best < 0 || quon_word(ms0[k].sfx->speed) <= quon_word(ms0[best].sfx->speed)) best = k;
    }
    return best;
}

int32_t quon_play_sfx_ex(sfx_record* record, int32_t offset, int32_t length, mivo3_cart* cart,
                         int32_t channel) {
    quon_audio_guard lock;
    if (!record) {
        if (channel == -1) {
            int32_t n = quon_console_mode ? 4 : MIVO3_CHANNELS;
            for (int32_t c = 0; c < n; c++) clear_channel(ms0[c]);
        } else if (channel >= 0 && channel < MIVO3_CHANNELS) {
            clear_channel(ms0[channel]);
        }
        return -1;
    }
    if (channel == -1) channel = allocate_channel();
    if (channel < 0 || channel >= MIVO3_CHANNELS) return -1;
    sound_channel& ch = ms0[channel];
    const int32_t s = speed_of(record);
    ch.channel_index = channel & 3;
    ch.sfx = record;
    ch.is_music = 0;
    ch.pattern = -1;
    ch.looping = 1;
    ch.ticks_left = saturate(int64_t{length != 0 ? length : -1} * s);
    ch.tick_pos = saturate(int64_t{std::max<int32_t>(offset, 0)} * s);
    ch.cart = cart;
    return channel;
}

void quon_stop_sfx(sfx_record* record) {
    quon_audio_guard lock;
    for (sound_channel& ch : ms0) {
        if (record ? ch.sfx == record : !ch.is_music) clear_channel(ch);
    }
}

void quon_release_looping_mivo3_channel(int32_t channel) {
    if (channel < 0 || channel >= MIVO3_CHANNELS) return;
    quon_audio_guard lock;
    ms0[channel].looping = 0;
}

int32_t quon_play_sfx(sfx_record* record) {
    if (!record) return -1;
    quon_audio_guard lock;
    quon_stop_sfx(record);
    return quon_play_sfx_ex(record, 0, record->loop_start < record->loop_end ? -1 : 32, nullptr, -1);
}

void quon_stop_all_sounds() {
    quon_audio_guard lock;
    for (sound_channel& ch : ms0) clear_channel(ch);
}

static void stop_music_channels(const mivo3_cart* cart) {
    for (sound_channel& ch : ms0)
        if (ch.is_music && (!cart || ch.cart == cart)) clear_channel(ch);
}

static bool column_on(int32_t entry) { return entry < 64; }
static int32_t column_sfx(int32_t entry) { return std::clamp<int32_t>(entry, 0, 63); }

static bool pattern_silent(const mivo3_cart* cart, int32_t n) {
    for (int32_t c = 0; c < 4; c++)
        if (column_on(quon_word(cart->music[n][c]))) return false;
    return true;
}

int32_t quon_pattern_length(const mivo3_cart* cart, int32_t n) {
    if (!cart || n < 0 || n > 63) return 0;
    int32_t longest = 0;
    for (int32_t c = 0; c < 4; c++) {
        int32_t entry = quon_word(cart->music[n][c]);
        if (!column_on(entry)) continue;
        const sfx_record& sfx = cart->sfx[column_sfx(entry)];
        int32_t len = 32 * speed_of(&sfx);
        if (quon_word(sfx.loop_end) <= quon_word(sfx.loop_start)) return len;
        longest = std::max(longest, len);
    }
    return longest;
}

// A pattern's columns and flags may change while it plays; a length of zero
// (all columns turned off since the check) still moves on after one tick.
static int32_t playable_length(const mivo3_cart* cart, int32_t n) {
    return std::max<int32_t>(1, quon_pattern_length(cart, n));
}

void quon_play_mivo3_song(mivo3_cart* cart, int32_t n, int32_t len) {
    {
        quon_audio_guard lock;
        stop_music_channels(cart);
        if (!cart || n < 0 || n > 63 || pattern_silent(cart, n)) return;
        patterns_played = 0;
        current_pattern = n;
        const int32_t ticks = playable_length(cart, n);
        for (int32_t c = 0; c < 4; c++) {
            int32_t entry = quon_word(cart->music[n][c]);
            int32_t got = quon_play_sfx_ex(&cart->sfx[column_sfx(entry)], 0, 32, cart, 4 + c);
            if (got < 0) continue;
            sound_channel& ch = ms0[got];
            if (!column_on(entry)) ch.sfx = nullptr;
            ch.is_music = 1;
            ch.cart = cart;
            ch.pattern = n;
            ch.channel_index = c;
            ch.ticks_left = ticks;
        }
    }
    fade_len = len;
    fade_start_t = audio_clock();
    fade0 = 0;
    fade1 = 0x10000;
    quon_update_music_fading();
}

void quon_stop_mivo3_song(mivo3_cart* cart) {
    quon_audio_guard lock;
    for (sound_channel& ch : ms0)
        if (ch.is_music && ch.cart == cart) clear_channel(ch);
}

void cmusic_stop(int32_t len) {
    fade1 = 0;
    fade0 = fade_vol.load(std::memory_order_relaxed);
    fade_start_t = audio_clock();
    fade_len = len;
    quon_update_music_fading();
}

void quon_update_music_fading() {
    const int32_t vol = fade_vol.load(std::memory_order_relaxed);
    const int32_t elapsed = audio_clock() - fade_start_t;
    if (vol != fade1 && fade_len != 0 && elapsed < fade_len) {
        int64_t v = (int64_t{elapsed} * fade1 + int64_t{fade_len - elapsed} * fade0) / fade_len;
        fade_vol.store(static_cast<int32_t>(std::clamp<int64_t>(v, 0, 0x10000)), std::memory_order_relaxed);
        return;
    }
    fade_vol.store(fade1, std::memory_order_relaxed);
    if (fade1 == 0) {
        quon_audio_guard lock;
        stop_music_channels(nullptr);
    }
}

int quon_music_fading() { return fade_vol.load(std::memory_order_relaxed) != fade1; }

void quon_release_cart_sounds(mivo3_cart* cart) {
    if (!cart) return;
    quon_audio_guard lock;
    for (sound_channel& ch : ms0)
        if (ch.cart == cart || record_in_cart(ch.sfx, cart)) clear_channel(ch);
}

void quon_advance_music_channel(sound_channel& ch) {
    int32_t p = ch.pattern;
    mivo3_cart* cart = ch.cart;
    if (p < 0 || p > 63) return;
    advanced_pattern = true;
    if (!cart) {
        clear_channel(ch);
        return;
    }
    const int32_t flags = quon_word(cart->music_flags[p]);
    if (flags & 4) {
        current_pattern = -1;
        clear_channel(ch);
        return;
    }
    if (!(flags & 2)) {
        p++;
        current_pattern = p;
        if (p == 64) {
            clear_channel(ch);
            return;
        }
    } else {
        // stat(24) keeps reporting the loop-end pattern across the jump.
        current_pattern = p;
        if (p > 0 && !(flags & 1)) {
            int32_t q = p - 1;
            while (q >= 1 && !(quon_word(cart->music_flags[q]) & 1)) q--;
            p = q >= 1 ? q : 0;
        }
    }
    if (pattern_silent(cart, p)) {
        clear_channel(ch);
        return;
    }
    const int32_t entry = quon_word(cart->music[p][ch.channel_index & 3]);
    ch.sfx = column_on(entry) ? &cart->sfx[column_sfx(entry)] : nullptr;
    ch.pattern = p;
    ch.tick_pos = 0;
    ch.ticks_left = playable_length(cart, p);
}

sfx_record* quon_get_mivo3_channel_sfx(int32_t channel) {
    if (channel < 0 || channel >= MIVO3_CHANNELS) return nullptr;
    quon_audio_guard lock;
    return ms0[channel].sfx;
}

static int32_t playing_note_locked(const sfx_record* record) {
    if (!record) return -1;
    for (const sound_channel& ch : ms0)
        if (ch.sfx == record) return ch.tick_pos / speed_of(record);
    return -1;
}

int32_t quon_get_sfx_playing_note(const sfx_record* record) {
    quon_audio_guard lock;
    return playing_note_locked(record);
}

static bool music_playing_locked() {
    for (const sound_channel& ch : ms0)
        if (ch.is_music && ch.cart && ch.pattern != -1) return true;
    return false;
}

bool quon_music_is_playing() {
    quon_audio_guard lock;
    return music_playing_locked();
}

static int32_t song_ticks_locked() {
    int32_t ticks = 0;
    for (const sound_channel& ch : ms0)
        if (ch.is_music && ch.sfx) ticks = std::max(ticks, ch.tick_pos);
    return ticks;
}

int32_t quon_get_mivo3_song_ticks() {
    quon_audio_guard lock;
    return song_ticks_locked();
}

bool quon_sfx_is_playing(const sfx_record* record) {
    if (!record) return false;
    quon_audio_guard lock;
    for (const sound_channel& ch : ms0)
        if (ch.sfx == record) return true;
    return false;
}

int32_t quon_mivo3_song_is_playing(const mivo3_cart* cart) {
    quon_audio_guard lock;
    for (const sound_channel& ch : ms0)
        if (ch.is_music && ch.cart == cart) return ch.pattern;
    return -1;
}

int32_t mivo3_sfx(mivo3_cart* cart, int32_t nargs, int32_t n, int32_t channel, int32_t offset,
                  int32_t length) {
    if (nargs < 1) return 0;
    if (nargs < 2) channel = -1;
    if (nargs < 3) offset = 0;
    if (nargs < 4) length = 0;
    if (channel < -2 || channel > 3) return 0;
    if (n == -1) {
        if (channel == -1) {
            quon_audio_guard lock;
            for (int32_t c = 0; c < 4; c++) clear_channel(ms0[c]);
        } else if (channel >= 0) {
            quon_audio_guard lock;
            clear_channel(ms0[channel]);
        }
        return 0;
    }
    if (n == -2) {
        if (channel >= 0) quon_release_looping_mivo3_channel(channel);
        return 0;
    }
    if (!cart) return 0;
    if (channel == -2) {
        if (n >= 0 && n <= 63) quon_stop_sfx(&cart->sfx[n]);
        return 0;
    }
    sfx_record* record = &cart->sfx[std::clamp<int32_t>(n, 0, 63)];
    quon_audio_guard lock;
    quon_stop_sfx(record);
    quon_play_sfx_ex(record, std::clamp<int32_t>(offset, 0, 31), length, cart, channel);
    return 16;
}

int32_t mivo3_music(mivo3_cart* cart, int32_t n, int32_t len, int32_t mask) {
    if (n == -1) {
        cmusic_stop(len);
        return 16;
    }
    quon_play_mivo3_song(cart, std::clamp<int32_t>(n, 0, 63), len);
    music_channel_mask = mask;
    return 16;
}

// Index of the cart's sfx that a channel plays, or -1.
static int32_t cart_sfx_index(const mivo3_cart* cart, const sound_channel& ch) {
    if (!cart || !record_in_cart(ch.sfx, cart)) return -1;
    return static_cast<int32_t>(ch.sfx - cart->sfx);
}

int32_t mivo3_audio_stat(const mivo3_cart* cart, int32_t i) {
    quon_audio_guard lock;
    if (i >= 16 && i <= 19) {
        int32_t c = i - 16;
        int32_t idx = cart_sfx_index(cart, ms0[c]);
        return idx >= 0 ? idx : cart_sfx_index(cart, ms0[c + 4]);
    }
    if (i >= 20 && i <= 23) {
        int32_t c = i - 20;
        const sfx_record* rec = ms0[c].sfx ? ms0[c].sfx : ms0[c + 4].sfx;
        return playing_note_locked(rec);
    }
    const bool playing = music_playing_locked();
    if (i == 24) return playing ? current_pattern : -1;
    if (i == 25) return playing ? patterns_played : -1;
    if (i == 26) return playing ? song_ticks_locked() : -1;
    return -1;
}
