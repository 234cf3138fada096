// The audio subsystem: four-voice synthesizer, music sequencer and mixer.
//
//   audio/channel.h     the 16 sound channels and their voice state
//   audio/synth.h       pitch, waveforms, effects, instruments; one tick of a voice
//   audio/sequencer.h   sfx() and music(), allocation, patterns, fades, stat values
//   audio/mixer.h       device start-up, callback, register effects, the mix, volumes
//   audio/audio_lock.h  the nesting audio lock of the main thread
//   audio/host_hooks.h  the engine's entry points in the host loop
//   audio/wav.h         WAV files of the engine's output
#pragma once

#include "audio/audio_lock.h"
#include "audio/channel.h"
#include "audio/host_hooks.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/synth.h"
#include "audio/wav.h"
