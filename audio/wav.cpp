#include "audio/wav.h"

#include <fstream>

#include "audio/channel.h"

namespace {

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>((v >> 8) & 0xff);
}

void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

}  // namespace

std::string quon_wav_bytes(const std::vector<int16_t>& samples) {
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    out.reserve(44 + data_bytes);
    put32(out, 36 + data_bytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, quon_sound_freq);
    put32(out, quon_sound_freq * 2);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, data_bytes);
    for (int16_t v : samples) put16(out, static_cast<uint16_t>(v));
    return out;
}

bool quon_write_wav(const std::string& path, const std::vector<int16_t>& samples) {
    const std::string bytes = quon_wav_bytes(samples);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}
