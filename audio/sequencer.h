// Which sound plays on which channel: sound effects, channel allocation and
// stealing, the music sequencer over 64 patterns, music fades, and the audio
// values of stat(). Main-thread entry points take the audio lock; pattern
// advance runs inside the mixer.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/channel.h"

// Music state.
extern int32_t music_channel_mask;    // 4 bits: columns reserved for music
extern int32_t current_pattern;       // -1 after a stop flag
extern int32_t patterns_played;
extern bool advanced_pattern;         // a music channel finished a pattern in this mix
extern std::atomic<int32_t> fade_vol; // 16.16, 0x10000 = full; read by the audio thread
extern int32_t fade0, fade1;          // 16.16 fade start and end levels
extern int32_t fade_len;              // ms
extern int32_t fade_start_t;          // ms

// Console mode: channels 0-3 play sound effects, 4-7 the music columns, and
// a sound effect on channel k silences channel k + 4. Off until the shell
// switches it on.
extern std::atomic<int32_t> quon_console_mode;

// Clock of the fades, in ms; quon_get_time unless replaced (an offline
// renderer runs faster than real time). Null restores quon_get_time.
void quon_set_audio_clock(int32_t (*clock)());

// Resets channels and music state and installs the cart release hook and
// the host's audio hooks. Called by quon_sound_init.
void quon_reset_audio_engine();

// Starts record on channel (-1: allocate) from note offset for length notes
// (0: until it ends); null stops (channel -1: channels 0-3 in console mode,
// all 16 otherwise). Returns the channel or -1.
int32_t quon_play_sfx_ex(sfx_record* record, int32_t offset, int32_t length, mivo3_cart* cart,
                         int32_t channel);
// Stops record wherever it plays, music columns included; null stops every
// channel that is not music.
void quon_stop_sfx(sfx_record* record);
void quon_release_looping_mivo3_channel(int32_t channel);  // looping off
// The shell's boot sound: record stopped everywhere, then played on an
// automatic channel for 32 notes (without end when it loops) with no cart.
int32_t quon_play_sfx(sfx_record* record);
void quon_stop_all_sounds();  // clears all 16 channels

// Music from pattern n of cart, fading in over fade_len ms (0: at once).
void quon_play_mivo3_song(mivo3_cart* cart, int32_t n, int32_t fade_len);
void quon_stop_mivo3_song(mivo3_cart* cart);  // the music channels of cart
void cmusic_stop(int32_t fade_len);           // fade out over fade_len ms, then stop
// Called once per host loop iteration: moves fade_vol toward fade1 and stops
// the music once a fade out has ended.
void quon_update_music_fading();
// Non-zero while fade_vol has not yet reached fade1: the fade still needs
// quon_update_music_fading to run.
int quon_music_fading();
// Stops every sfx and music channel that plays from cart or its records.
void quon_release_cart_sounds(mivo3_cart* cart);

// Ticks of one pass of pattern n of cart.
int32_t quon_pattern_length(const mivo3_cart* cart, int32_t n);
// Moves a music channel to its next pattern (called by the synthesizer when
// its ticks run out).
void quon_advance_music_channel(sound_channel& ch);

// Queries.
sfx_record* quon_get_mivo3_channel_sfx(int32_t channel);
int32_t quon_get_sfx_playing_note(const sfx_record* record);  // -1 if not playing
bool quon_music_is_playing();
int32_t quon_get_mivo3_song_ticks();
bool quon_sfx_is_playing(const sfx_record* record);
int32_t quon_mivo3_song_is_playing(const mivo3_cart* cart);  // pattern or -1

// The language's sfx(n, channel, offset, length) on cart, with its argument
// rules: nargs is the number of arguments given (those beyond it take their
// defaults channel -1, offset 0, length 0). Returns the CPU cycles to charge.
int32_t mivo3_sfx(mivo3_cart* cart, int32_t nargs, int32_t n, int32_t channel, int32_t offset,
                  int32_t length);
// The language's music(n, fade_len, mask); missing arguments are 0. Returns
// the CPU cycles to charge.
int32_t mivo3_music(mivo3_cart* cart, int32_t n, int32_t fade_len, int32_t mask);
// stat(i) for i = 16..26 against cart; -1 for other i.
int32_t mivo3_audio_stat(const mivo3_cart* cart, int32_t i);
