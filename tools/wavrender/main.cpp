// wavrender: plays a cart's sound effect or music through the audio engine
// offline and writes what the speaker would get to a WAV file (22050 Hz,
// 16-bit, mono), so that sound can be checked by ear or measured without a
// sound card.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/wav.h"
#include "host/timing.h"
#include "machine/pstate.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"

namespace {

const char* usage_text =
    "usage: wavrender CART.m3 (-sfx N | -music N) [options]\n"
    "  -sfx N        play sound effect N (0-63) on an automatic channel\n"
    "  -music N      play the music from pattern N (0-63)\n"
    "  -seconds S    length of the recording (default 5, at most 600)\n"
    "  -fade MS      fade the music in over MS milliseconds\n"
    "  -o FILE       output file (default: the cart's name with _sfxN or _musicN .wav)\n"
    "  -half M, -echo M, -distort M, -lowpass M\n"
    "                audio register masks (0-15), bit c for channel c\n"
    "  -sound V, -music_volume V\n"
    "                sound and music volume (0-256, default 256)\n";

int32_t engine_ms = 0;
int32_t engine_clock() { return engine_ms; }

bool parse_int(const char* text, int32_t lo, int32_t hi, int32_t& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (!text[0] || *end || v < lo || v > hi) return false;
    out = static_cast<int32_t>(v);
    return true;
}

std::string default_output(const std::string& cart_path, const char* what, int32_t n) {
    std::string base = cart_path;
    size_t slash = base.find_last_of('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base + "_" + what + std::to_string(n) + ".wav";
}

}  // namespace

int main(int argc, char** argv) {
    std::string cart_path, out_path;
    int32_t sfx_n = -1, music_n = -1, seconds = 5, fade = 0;
    int32_t regs[4] = {0, 0, 0, 0};
    int32_t sound_volume = 256, music_volume = 256;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        bool ok = true;
        if (a == "-sfx" && has_value) ok = parse_int(argv[++i], 0, 63, sfx_n);
        else if (a == "-music" && has_value) ok = parse_int(argv[++i], 0, 63, music_n);
        else if (a == "-seconds" && has_value) ok = parse_int(argv[++i], 1, 600, seconds);
        else if (a == "-fade" && has_value) ok = parse_int(argv[++i], 0, 600000, fade);
        else if (a == "-o" && has_value) out_path = argv[++i];
        else if (a == "-half" && has_value) ok = parse_int(argv[++i], 0, 15, regs[0]);
        else if (a == "-echo" && has_value) ok = parse_int(argv[++i], 0, 15, regs[1]);
        else if (a == "-distort" && has_value) ok = parse_int(argv[++i], 0, 15, regs[2]);
        else if (a == "-lowpass" && has_value) ok = parse_int(argv[++i], 0, 15, regs[3]);
        else if (a == "-sound" && has_value) ok = parse_int(argv[++i], 0, 256, sound_volume);
        else if (a == "-music_volume" && has_value) ok = parse_int(argv[++i], 0, 256, music_volume);
        else if (a[0] != '-' && cart_path.empty()) cart_path = a;
        else ok = false;
        if (!ok) {
            std::fprintf(stderr, "wavrender: bad argument \"%s\"\n%s", a.c_str(), usage_text);
            return 2;
        }
    }
    if (cart_path.empty() || (sfx_n < 0) == (music_n < 0)) {
        std::fputs(usage_text, stderr);
        return 2;
    }

    std::ifstream in(cart_path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "wavrender: cannot read %s\n", cart_path.c_str());
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    mivo3_cart* cart = quon_load_mivo3_cart_from_text(text.str());
    if (!cart) {
        std::fprintf(stderr, "wavrender: %s: %s\n", cart_path.c_str(),
                     mivo3_cart_load_status == MIVO3_LOAD_FUTURE ? "written by a future version of the format"
                                                                 : "not a text cart");
        return 1;
    }
    if (out_path.empty())
        out_path = default_output(cart_path, sfx_n >= 0 ? "sfx" : "music", sfx_n >= 0 ? sfx_n : music_n);

    // The player runs the engine in console mode, with the fades on the
    // engine's own time.
    // Noise draws from the host generator, seeded as the host seeds it, so
    // that a render is repeatable.
    quon_srand(0);
    quon_set_audio_clock(engine_clock);
    quon_reset_audio_engine();
    quon_console_mode = 1;
    quon_sound_volume_level = sound_volume;
    quon_music_volume_level = music_volume;
    std::memcpy(pstate.audio_regs, regs, sizeof regs);
    if (sfx_n >= 0) mivo3_sfx(cart, 1, sfx_n, 0, 0, 0);
    else mivo3_music(cart, music_n, fade, 0);

    // Blocks of one 30 fps frame, with the fader run between them as the
    // host loop does.
    const int32_t total = seconds * quon_sound_freq;
    const int32_t block = quon_sound_freq / 30;
    std::vector<int16_t> samples(static_cast<size_t>(total));
    for (int32_t done = 0; done < total;) {
        int32_t n = std::min(block, total - done);
        quon_mixer_callback_0(samples.data() + done, n);
        done += n;
        engine_ms = static_cast<int32_t>(int64_t{done} * 1000 / quon_sound_freq);
        quon_update_music_fading();
    }
    quon_stop_all_sounds();
    quon_destroy_mivo3_cart(cart);

    if (!quon_write_wav(out_path, samples)) {
        std::fprintf(stderr, "wavrender: cannot write %s\n", out_path.c_str());
        return 1;
    }
    std::printf("wrote %s: %d samples (%d s at %d Hz)\n", out_path.c_str(), total, seconds, quon_sound_freq);
    return 0;
}
