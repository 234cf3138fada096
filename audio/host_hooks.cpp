#include "audio/host_hooks.h"

#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "host/main_loop.h"

void quon_install_audio_hooks() {
    quon_audio_hooks hooks;
    hooks.music_stop = [](int len) { cmusic_stop(len); };
    hooks.update_music_fading = quon_update_music_fading;
    hooks.music_fading = quon_music_fading;
    hooks.sound_exit = quon_sound_exit;
    quon_set_audio_hooks(hooks);
    quon_audio_pause_flag = &quon_state.audio_pause_state;
}
