#include "tools/wavrender/text_sections.h"

#include <cctype>
#include <cstdint>
#include <optional>

namespace {

constexpr int32_t newest_version = 17;

// A cursor over one line that reads hexadecimal fields the way a
// "%0Nx" conversion does: leading white space is skipped, then up to N hex
// digits are taken; no digit at all ends the line.
struct hex_reader {
    std::string_view line;
    size_t pos = 0;

    std::optional<int32_t> field(int32_t width) {
        while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) pos++;
        int32_t value = 0, digits = 0;
        while (digits < width && pos < line.size() && std::isxdigit(static_cast<unsigned char>(line[pos]))) {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[pos])));
            value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
            digits++;
            pos++;
        }
        if (digits == 0) return std::nullopt;
        return value;
    }
};

void read_sfx_line(sfx_record& sfx, std::string_view line) {
    hex_reader r{line};
    int32_t* header[4] = {&sfx.editor_mode, &sfx.speed, &sfx.loop_start, &sfx.loop_end};
    for (int32_t* field : header) {
        auto v = r.field(2);
        if (!v) return;
        *field = *v;
    }
    for (sfx_note& note : sfx.notes) {
        auto pitch = r.field(2);
        if (!pitch) return;
        note.pitch = *pitch & 63;
        auto waveform = r.field(1);
        if (!waveform) return;
        note.waveform = *waveform & 7;
        note.custom = *waveform & 8 ? 128 : 0;
        auto volume = r.field(1);
        if (!volume) return;
        note.volume = *volume & 7;
        auto effect = r.field(1);
        if (!effect) return;
        note.effect = *effect & 7;
        if (*effect & 8) note.custom = 128;
    }
}

void read_music_line(mivo3_cart* cart, int32_t p, std::string_view line, int32_t version) {
    hex_reader r{line};
    if (version >= 3) {
        auto flags = r.field(2);
        if (!flags) return;
        cart->music_flags[p] = *flags;
    }
    for (int32_t c = 0; c < 4; c++) {
        auto v = r.field(2);
        if (!v) return;
        cart->music[p][c] = version < 4 && *v == 0 ? 0x41 : *v;
    }
}

std::string_view next_line(std::string_view text, size_t& pos) {
    size_t start = pos;
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
        pos = text.size();
        return text.substr(start);
    }
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') pos++;
    return text.substr(start, end - start);
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

mivo3_cart* wavrender_read_sound(std::string_view text, std::string& error) {
    size_t pos = 0;
    if (!starts_with(next_line(text, pos), "mivo-3 cartridge")) {
        error = "not a text cart";
        return nullptr;
    }
    std::string_view second = next_line(text, pos);
    int32_t version = 0;
    if (starts_with(second, "version ")) {
        std::string_view rest = second.substr(8);
        size_t i = 0;
        while (i < rest.size() && rest[i] == ' ') i++;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i])) && version < 100000)
            version = version * 10 + (rest[i++] - '0');
    }
    if (version > newest_version) {
        error = "cart from a future version (" + std::to_string(version) + ")";
        return nullptr;
    }
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (!cart) {
        error = "out of memory";
        return nullptr;
    }
    cart->version = version;
    enum { other, sfx, music } section = other;
    int32_t sfx_lines = 0, music_lines = 0;
    static constexpr std::string_view names[] = {"__lua__", "__gfx__", "__gff__", "__map__",
                                                 "__sfx__", "__music__", "__label__"};
    while (pos < text.size()) {
        std::string_view line = next_line(text, pos);
        bool switched = false;
        for (std::string_view name : names) {
            if (starts_with(line, name)) {
                section = name == "__sfx__" ? sfx : name == "__music__" ? music : other;
                switched = true;
                break;
            }
        }
        if (switched) continue;
        if (section == sfx && sfx_lines < MIVO3_SFX_COUNT) read_sfx_line(cart->sfx[sfx_lines++], line);
        else if (section == music && music_lines < MIVO3_PATTERN_COUNT) read_music_line(cart, music_lines++, line, version);
    }
    return cart;
}
