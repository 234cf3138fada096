#include "audio/audio_lock.h"

#include <SDL.h>

#include <atomic>

int32_t quon_audio_is_locked = 0;

// Written once when the device opens, before the lock is first needed from
// another thread than the one that opened it.
static std::atomic<uint32_t> locked_device{0};

void quon_set_locked_audio_device(uint32_t device) {
    locked_device.store(device, std::memory_order_release);
}

uint32_t quon_locked_audio_device() { return locked_device.load(std::memory_order_acquire); }

void quon_lock_audio_plat() {
    if (quon_audio_is_locked == 0) {
        uint32_t dev = locked_device.load(std::memory_order_acquire);
        if (dev != 0) SDL_LockAudioDevice(dev);
    }
    quon_audio_is_locked++;
}

void quon_unlock_audio_plat() {
    if (quon_audio_is_locked <= 0) return;
    if (--quon_audio_is_locked == 0) {
        uint32_t dev = locked_device.load(std::memory_order_acquire);
        if (dev != 0) SDL_UnlockAudioDevice(dev);
    }
}
