// The audio device and the mixer: the device callback on the audio thread,
// per-channel register effects (half speed, echo, distortion, low-pass),
// muting of music under sound effects, the soft-clipped sum and the volumes.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/channel.h"

// Volumes, 0..256 (256 = unity). Single words the audio thread reads.
extern std::atomic<int32_t> quon_sound_volume_level;
extern std::atomic<int32_t> quon_music_volume_level;

extern int32_t quon_sound_inited;            // the device is open and running
extern std::atomic<int32_t> quon_device_rate; // obtained rate x channels; 0 until opened
extern std::atomic<int32_t> inside_quon_mixer_callback;

// The shell's audio_pause_state: while non-zero the device gets silence and
// the engine stands still. Set once at start-up, before the device opens.
extern const std::atomic<int32_t>* quon_audio_pause_flag;

// Optional hook over the finished mix (the console sets none).
extern void (*quon_post_mix_func)(int16_t* mix, int32_t n);

// Opens the device (unless headless or a zero buffer size) after resetting
// the engine; logs what it got. flags is the platform's audio subsystem flag.
int quon_sound_init(uint32_t flags);
int quon_sound_init_plat(uint32_t flags);
int quon_sound_exit();  // does nothing; the device stays open to the end
// Closes the device and stops the audio thread (for programs that open the
// device more than once, such as tests); the engine keeps its state.
void quon_sound_close();

void quon_set_sound_volume(int32_t v);  // only once the device is open
void quon_set_music_volume(int32_t v);

// Renders k samples of one channel through its tick buffer and register
// effects.
void mix_sfx_channel(sound_channel& ch, int16_t* out, int32_t k);
// Mixes n engine samples (1..4096) of all 16 channels into out.
void quon_mixer_callback_0(int16_t* out, int32_t n);
// The device callback: len bytes of signed 16-bit samples at the device rate.
void quon_mixer_callback(void* user, uint8_t* stream, int len);

// Engine samples a callback of out_samples output samples at rate mixes
// (rate conversion), at least 1.
int32_t quon_engine_samples_for(int32_t out_samples, int32_t rate);
