// Wires the audio engine into the host: the loop's music fader, the exit
// sequence's music stop and sound exit, and the shell's pause state.
#pragma once

// Called once by the shell at start-up, before quon_sound_init.
void quon_install_audio_hooks();
