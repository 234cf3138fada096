// WAV files of the engine's output: 16-bit signed mono PCM at the engine's
// rate (quon_sound_freq), what the speaker would get.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The whole file: a 44-byte RIFF header, then the samples little-endian.
std::string quon_wav_bytes(const std::vector<int16_t>& samples);
// Writes the file; false when it could not be written whole.
bool quon_write_wav(const std::string& path, const std::vector<int16_t>& samples);
