// The host's nesting audio lock. Main-thread code that changes channel state
// holds it; the outermost level holds the audio device's own lock, so the
// mixer callback never runs in between.
#pragma once
#include <cstdint>

extern int32_t quon_audio_is_locked;  // nesting depth, main thread only

void quon_lock_audio_plat();
void quon_unlock_audio_plat();

// The device whose lock the outermost level takes (0: none open).
void quon_set_locked_audio_device(uint32_t device);
uint32_t quon_locked_audio_device();

struct quon_audio_guard {
    quon_audio_guard() { quon_lock_audio_plat(); }
    ~quon_audio_guard() { quon_unlock_audio_plat(); }
    quon_audio_guard(const quon_audio_guard&) = delete;
    quon_audio_guard& operator=(const quon_audio_guard&) = delete;
};
