// The sound-effect synthesizer: one channel's voice, rendered one 183-sample
// tick at a time in integer arithmetic at 22050 Hz.
#pragma once
#include <cstdint>

#include "audio/channel.h"

// Pitch table, C up to the next C in Hz; the last entry serves interpolation
// above B. The twelfth entry really is 984.
inline constexpr int32_t note_dx[13] = {523, 554, 587, 622, 659, 698, 740,
                                        784, 831, 880, 932, 984, 1046};

// Phase step per sample for a 16.16 pitch, clamped to 8..32768.
int32_t quon_pitch_to_dx(int32_t pitch);

// Renders count samples of the oscillator o into out, advancing its phase and
// noise state. Sample i of the call is sample i of a tick for the phaser's
// second tone; phaser_acc itself is advanced by the caller after a full tick.
// Samples are the unclipped integer values.
void quon_render_osc(osc_state& o, int32_t* out, int32_t count);

// Per-tick oscillator state of the channel's current note into o.
void calculate_osc_state(sound_channel& ch, osc_state& o);
// Applies instrument sfx note.waveform to o; pitch and volume are the main
// note's 16.16 pitch and volume after its own effect.
void apply_meta_instrument(sound_channel& ch, const sfx_note& note, osc_state& o,
                           int32_t pitch, int32_t volume);

// Renders one tick of the channel into buf (183 samples) and advances it:
// note position, loop, and the end of the sfx or the music pattern.
// Called with the audio lock held (from the mixer).
void mix_sfx_tick(sound_channel& ch, int16_t* buf);

// True while an sfx that is not music still has something to play after a
// tick that started at note k (the end checks of a tick).
bool quon_sfx_continues(const sfx_record& sfx, int32_t k);
