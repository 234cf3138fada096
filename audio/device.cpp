#include <SDL.h>

#include <algorithm>
#include <string>

#include "audio/audio_lock.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "host/config.h"
#include "host/log.h"

int quon_sound_init(uint32_t flags) {
    quon_reset_audio_engine();
    quon_debugf("quon_sound_init mix_buffer_size: %d\n", cconfig.mix_buffer_size);
    if (!cconfig.headless) quon_sound_init_plat(flags);
    return 0;
}

static void log_drivers() {
    int count = SDL_GetNumAudioDrivers();
    if (count <= 0) {
        quon_debug("No built-in audio drivers\n");
    } else {
        std::string line = "Built-in audio drivers:";
        for (int i = 0; i < count; i++) {
            char item[128];
            SDL_snprintf(item, sizeof item, " %d %s", i, SDL_GetAudioDriver(i));
            line += item;
        }
        line += "\n";
        quon_debug(line.c_str());
    }
    const char* current = SDL_GetCurrentAudioDriver();
    quon_debugf("Current audio driver: %s\n", current ? current : "(none)");
}

int quon_sound_init_plat(uint32_t flags) {
    if (!(flags & SDL_INIT_AUDIO) || cconfig.mix_buffer_size == 0) return 0;
    quon_debug("quon_sound_init\n");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        quon_debugf("SDL_INIT_AUDIO failed: %s\n", SDL_GetError());
        return 1;
    }
    quon_debug("SDL_INIT_AUDIO ok\n");

    SDL_AudioSpec want{};
    want.freq = quon_sound_freq;
    want.format = AUDIO_S16LSB;
    want.channels = 1;
    want.samples = static_cast<Uint16>(std::min(cconfig.mix_buffer_size, 65535));
    want.callback = quon_mixer_callback;
    SDL_AudioSpec got{};
    // The callback writes 16-bit samples, so only the rate and the channel
    // count may differ from the request; SDL converts anything else.
    SDL_AudioDeviceID dev = SDL_OpenAudioDevice(
        nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (dev == 0) {
        quon_debugf("SDL_OpenAudio failed: %s\n", SDL_GetError());
        return 1;
    }
    quon_debug("SDL_OpenAudio ok\n");
    if (got.freq != want.freq) quon_debugf("freq differs; got: %d\n", got.freq);
    if (got.format != want.format) quon_debugf("format differs; got: %d\n", got.format);
    if (got.channels != want.channels) quon_debugf("channels differs; got: %d\n", got.channels);
    if (got.silence != want.silence) quon_debugf("silence differs; got: %d\n", got.silence);
    if (got.samples != want.samples) quon_debugf("samples differs; got: %d\n", got.samples);
    if (got.callback != want.callback) quon_debug("callback differs\n");

    // Several interleaved channels take the mono stream as if the rate were
    // that many times higher: each frame's samples are consecutive
    // interpolation points.
    quon_device_rate.store(got.freq * std::max<int>(1, got.channels), std::memory_order_relaxed);
    quon_set_locked_audio_device(dev);
    SDL_PauseAudioDevice(dev, 0);
    quon_sound_inited = 1;
    log_drivers();
    quon_set_sound_volume(cconfig.sound_volume);
    quon_set_music_volume(cconfig.music_volume);
    return 0;
}

int quon_sound_exit() { return 0; }

void quon_sound_close() {
    if (!quon_sound_inited) return;
    SDL_AudioDeviceID dev = static_cast<SDL_AudioDeviceID>(quon_locked_audio_device());
    quon_set_locked_audio_device(0);
    SDL_CloseAudioDevice(dev);
    quon_sound_inited = 0;
    quon_device_rate.store(0, std::memory_order_relaxed);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
