#include "storage/text_cart.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/stream.h"
#include "storage/cart_image.h"

namespace {

constexpr int32_t READ_LINE_MAX = 0x30000;
constexpr int32_t CODE_LIMIT = 65535;  // characters the reader accepts, final newline included
constexpr const char* HEADER = "mivo-3 cartridge";

// UTF-8 of the glyphs 0x80..0x99, in byte order.
constexpr const char* unicode_glyph[26] = {
    "\xe2\x96\x88",                  // U+2588
    "\xe2\x96\x92",                  // U+2592
    "\xf0\x9f\x90\xb1",              // U+1F431
    "\xe2\xac\x87\xef\xb8\x8f",      // U+2B07 U+FE0F
    "\xe2\x96\x91",                  // U+2591
    "\xe2\x9c\xbd",                  // U+273D
    "\xe2\x97\x8f",                  // U+25CF
    "\xe2\x99\xa5",                  // U+2665
    "\xe2\x98\x89",                  // U+2609
    "\xec\x9b\x83",                  // U+C6C3
    "\xe2\x8c\x82",                  // U+2302
    "\xe2\xac\x85\xef\xb8\x8f",      // U+2B05 U+FE0F
    "\xf0\x9f\x98\x90",              // U+1F610
    "\xe2\x99\xaa",                  // U+266A
    "\xf0\x9f\x85\xbe\xef\xb8\x8f",  // U+1F17E U+FE0F
    "\xe2\x97\x86",                  // U+25C6
    "\xe2\x80\xa6",                  // U+2026
    "\xe2\x9e\xa1\xef\xb8\x8f",      // U+27A1 U+FE0F
    "\xe2\x98\x85",                  // U+2605
    "\xe2\xa7\x97",                  // U+29D7
    "\xe2\xac\x86\xef\xb8\x8f",      // U+2B06 U+FE0F
    "\xcb\x87",                      // U+02C7
    "\xe2\x88\xa7",                  // U+2227
    "\xe2\x9d\x8e",                  // U+274E
    "\xe2\x96\xa4",                  // U+25A4
    "\xe2\x96\xa5",                  // U+25A5
};
constexpr uint8_t FIRST_GLYPH = 0x80;
constexpr uint8_t LAST_GLYPH = 0x99;

enum section_kind { NONE, LUA, GFX, GFF, MAP, SFX, MUSIC, LABEL };

constexpr struct {
    const char* name;
    section_kind kind;
} section_names[] = {
    {"__lua__", LUA}, {"__gfx__", GFX},     {"__gff__", GFF},     {"__map__", MAP},
    {"__sfx__", SFX}, {"__music__", MUSIC}, {"__label__", LABEL},
};

int32_t hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

// Hex digits at line[i..i+n); positions past the end of the line read as 0.
int32_t hex_at(const char* line, size_t len, size_t i, int32_t n)
{
    int32_t v = 0;
    for (int32_t k = 0; k < n; k++)
        v = v * 16 + (i + k < len ? hex_digit(line[i + k]) : 0);
    return v;
}

int32_t clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

void append_hex(std::string& out, int32_t v, int32_t digits)
{
    static const char hex[] = "0123456789abcdef";
    for (int32_t k = digits - 1; k >= 0; k--)
        out.push_back(hex[(v >> (4 * k)) & 15]);
}

bool sfx_is_default(const sfx_record& s, int32_t index)
{
    if (s.editor_mode || s.loop_start || s.loop_end || s.speed != (index == 0 ? 1 : 16))
        return false;
    for (const sfx_note& n : s.notes)
        if (n.pitch || n.waveform || n.volume || n.effect || n.custom)
            return false;
    return true;
}

struct cart_reader {
    mivo3_cart* cart;
    int32_t version;
    section_kind section = NONE;
    int32_t row = 0;  // lines read in the current section
    size_t code_len = 0;

    void line(const char* text, size_t len);
    void sfx_line(const char* text, size_t len, int32_t index);
    void music_line(const char* text, int32_t index);
};

void cart_reader::sfx_line(const char* text, size_t len, int32_t index)
{
    sfx_record& s = cart->sfx[index];
    unsigned v[4];
    const int got = std::sscanf(text, "%02x%02x%02x%02x", &v[0], &v[1], &v[2], &v[3]);
    int32_t* header[4] = {&s.editor_mode, &s.speed, &s.loop_start, &s.loop_end};
    for (int k = 0; k < got && k < 4; k++)
        *header[k] = static_cast<int32_t>(v[k] & 0xff);
    if (got < 4)
        return;
    for (int32_t i = 0; i < MIVO3_SFX_NOTES; i++) {
        const size_t at = 8 + 5 * static_cast<size_t>(i);
        if (at >= len)
            return;
        unsigned pitch, wave, vol, eff;
        const int n = std::sscanf(text + at, "%02x%1x%1x%1x", &pitch, &wave, &vol, &eff);
        sfx_note& note = s.notes[i];
        if (n >= 1)
            note.pitch = static_cast<int32_t>(pitch & 63);
        if (n >= 2) {
            note.waveform = static_cast<int32_t>(wave & 7);
            note.custom = (wave & 8) ? 128 : 0;
        }
        if (n >= 3)
            note.volume = static_cast<int32_t>(vol & 7);
        if (n >= 4) {
            note.effect = static_cast<int32_t>(eff & 7);
            if (eff & 8)
                note.custom = 128;
        }
        if (n < 4)
            return;
    }
}

void cart_reader::music_line(const char* text, int32_t index)
{
    unsigned v[5];
    int got;
    unsigned* ch = v;
    if (version >= 3) {
        got = std::sscanf(text, "%02x %02x%02x%02x%02x", &v[0], &v[1], &v[2], &v[3], &v[4]);
        if (got >= 1)
            cart->music_flags[index] = static_cast<int32_t>(v[0] & 0xff);
        got -= 1;
        ch = v + 1;
    } else {
        got = std::sscanf(text, "%02x%02x%02x%02x", &v[0], &v[1], &v[2], &v[3]);
    }
    for (int c = 0; c < got && c < 4; c++) {
        int32_t value = static_cast<int32_t>(ch[c] & 0xff);
        // Old carts marked a silent channel with 0.
        if (version < 4 && value == 0)
            value = 0x41;
        cart->music[index][c] = value;
    }
}

void cart_reader::line(const char* text, size_t len)
{
    for (const auto& s : section_names) {
        if (std::strncmp(text, s.name, std::strlen(s.name)) == 0) {
            section = s.kind;
            row = 0;
            return;
        }
    }
    const int32_t r = row++;
    switch (section) {
    case NONE:
        break;
    case LUA: {
        const std::string code = convert_escaped_to_glyphs(std::string_view(text, len));
        if (code_len + code.size() + 1 > static_cast<size_t>(CODE_LIMIT))
            break;
        std::memcpy(cart->code + code_len, code.data(), code.size());
        code_len += code.size();
        cart->code[code_len++] = '\n';
        cart->code[code_len] = 0;
        break;
    }
    case GFX:
        if (r < 128) {
            uint8_t* row8 = quon_row8(cart->gfx, r);
            for (size_t x = 0; x < 128; x++)
                row8[x] = static_cast<uint8_t>(x < len ? hex_digit(text[x]) : 0);
        }
        break;
    case LABEL:
        if (r < 128) {
            if (!cart->label)
                cart->label = quon_create_bitmap(128, 128, 8);
            if (!cart->label)
                break;
            uint8_t* row8 = quon_row8(cart->label, r);
            for (size_t x = 0; x < 128; x++)
                row8[x] = static_cast<uint8_t>(x < len ? hex_digit(text[x]) : 0);
        }
        break;
    case GFF:
        if (r < 2) {
            const int32_t width = version > 2 ? 2 : 1;
            for (int32_t i = 0; i < 128; i++)
                cart->flags[r * 128 + i] = hex_at(text, len, static_cast<size_t>(i * width), width);
        }
        break;
    case MAP:
        if (r < 64) {
            uint8_t* row8 = quon_row8(cart->map, r);
            for (int32_t x = 0; x < 128; x++)
                row8[x] = static_cast<uint8_t>(hex_at(text, len, static_cast<size_t>(x * 2), 2));
        }
        break;
    case SFX:
        if (r < MIVO3_SFX_COUNT)
            sfx_line(text, len, r);
        break;
    case MUSIC:
        if (r < MIVO3_PATTERN_COUNT)
            music_line(text, r);
        break;
    }
}

}  // namespace

std::string convert_glyphs_to_escaped(std::string_view code)
{
    std::string out;
    out.reserve(code.size() + code.size() / 4);
    for (char ch : code) {
        const auto b = static_cast<uint8_t>(ch);
        if (b >= FIRST_GLYPH && b <= LAST_GLYPH)
            out += unicode_glyph[b - FIRST_GLYPH];
        else
            out.push_back(ch);
    }
    return out;
}

std::string convert_escaped_to_glyphs(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (static_cast<uint8_t>(text[i]) & 0x80) {
            bool matched = false;
            for (int32_t g = 0; g < 26; g++) {
                const std::string_view seq(unicode_glyph[g]);
                if (text.substr(i, seq.size()) == seq) {
                    out.push_back(static_cast<char>(FIRST_GLYPH + g));
                    i += seq.size();
                    matched = true;
                    break;
                }
            }
            if (matched)
                continue;
        }
        out.push_back(text[i++]);
    }
    return out;
}

mivo3_cart* quon_load_mivo3_cart_from_file(quon_stream* s)
{
    if (!s)
        return nullptr;
    std::unique_ptr<char[]> buf(new char[READ_LINE_MAX]);
    if (!quon_fgets(buf.get(), READ_LINE_MAX, s) || std::strncmp(buf.get(), HEADER, std::strlen(HEADER)) != 0) {
        mivo3_cart_load_status = MIVO3_LOAD_NOT_CART;
        return nullptr;
    }
    int32_t version = 0;
    if (quon_fgets(buf.get(), READ_LINE_MAX, s)) {
        int v = 0;
        if (std::sscanf(buf.get(), "version %d", &v) == 1)
            version = v;
    }
    if (version > MIVO3_CART_VERSION) {
        mivo3_cart_load_status = MIVO3_LOAD_FUTURE;
        return nullptr;
    }
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (!cart)
        return nullptr;
    cart_reader reader{cart, version};
    while (quon_fgets(buf.get(), READ_LINE_MAX, s))
        reader.line(buf.get(), std::strlen(buf.get()));
    if (reader.code_len > 0 && cart->code[reader.code_len - 1] == '\n')
        cart->code[reader.code_len - 1] = 0;
    cart->version = version;
    mivo3_cart_load_status = MIVO3_LOAD_OK;
    return cart;
}

mivo3_cart* quon_load_mivo3_cart_from_text(std::string_view text)
{
    quon_stream* s = quon_fopen_memory(text.data(), static_cast<int64_t>(text.size()));
    mivo3_cart* cart = quon_load_mivo3_cart_from_file(s);
    quon_fclose(s);
    return cart;
}

mivo3_cart* quon_load_mivo3_cart(const char* path)
{
    quon_stream* s = quon_fopen(path, "rb");
    if (!s || quon_stream_size(s) > MIVO3_TEXT_CART_MAX_BYTES) {
        quon_fclose(s);
        mivo3_cart_load_status = MIVO3_LOAD_NOT_CART;
        return nullptr;
    }
    mivo3_cart* cart = quon_load_mivo3_cart_from_file(s);
    quon_fclose(s);
    return cart;
}

std::string mivo3_cart_to_text(const mivo3_cart* cart)
{
    std::string out;
    out += HEADER;
    out += " // https://mivo3.example.org\n";
    out += "version " + std::to_string(MIVO3_CART_VERSION) + "\n";
    out += "__lua__\n";
    if (cart->code)
        out += convert_glyphs_to_escaped(std::string_view(cart->code, strnlen(cart->code, MIVO3_CODE_BUFFER_SIZE)));
    out += "\n";

    auto last_row = [](const quon_bitmap* bmp, int32_t rows) {
        int32_t last = -1;
        for (int32_t y = 0; y < rows; y++)
            for (int32_t x = 0; x < bmp->width; x++)
                if (bmp->rows[y][x]) {
                    last = y;
                    break;
                }
        return last;
    };
    auto pixel_rows = [&out](const quon_bitmap* bmp, int32_t rows) {
        for (int32_t y = 0; y < rows; y++) {
            for (int32_t x = 0; x < 128; x++)
                append_hex(out, bmp->rows[y][x] > 15 ? 15 : bmp->rows[y][x], 1);
            out += "\n";
        }
    };

    if (cart->gfx) {
        const int32_t last = last_row(cart->gfx, 128);
        if (last >= 0) {
            out += "__gfx__\n";
            pixel_rows(cart->gfx, last + 1);
        }
    }
    const quon_bitmap* label = cart->label;
    if (label && label->width == 128 && label->height == 128 && label->bits == 8 && last_row(label, 128) >= 0) {
        out += "__label__\n";
        pixel_rows(label, 128);
        out += "\n";
    }
    bool any_flag = false;
    for (int32_t f : cart->flags)
        any_flag = any_flag || (f & 0xff);
    if (any_flag) {
        out += "__gff__\n";
        for (int32_t r = 0; r < 2; r++) {
            for (int32_t i = 0; i < 128; i++)
                append_hex(out, cart->flags[r * 128 + i] & 0xff, 2);
            out += "\n";
        }
    }
    if (cart->map) {
        const int32_t last = last_row(cart->map, 32);
        if (last >= 0) {
            out += "__map__\n";
            for (int32_t y = 0; y <= last; y++) {
                for (int32_t x = 0; x < 128; x++)
                    append_hex(out, cart->map->rows[y][x], 2);
                out += "\n";
            }
        }
    }

    int32_t last_sfx = -1;
    for (int32_t i = 0; i < MIVO3_SFX_COUNT; i++)
        if (!sfx_is_default(cart->sfx[i], i))
            last_sfx = i;
    if (last_sfx >= 0) {
        out += "__sfx__\n";
        for (int32_t i = 0; i <= last_sfx; i++) {
            const sfx_record& s = cart->sfx[i];
            append_hex(out, clamp(s.editor_mode, 0, 255), 2);
            append_hex(out, clamp(s.speed, 0, 255), 2);
            append_hex(out, clamp(s.loop_start, 0, 255), 2);
            append_hex(out, clamp(s.loop_end, 0, 255), 2);
            for (const sfx_note& n : s.notes) {
                append_hex(out, clamp(n.pitch, 0, 255), 2);
                append_hex(out, clamp(n.waveform, 0, 7) + (n.custom ? 8 : 0), 1);
                append_hex(out, clamp(n.volume, 0, 7), 1);
                append_hex(out, clamp(n.effect, 0, 7), 1);
            }
            out += "\n";
        }
    }

    int32_t last_pattern = -1;
    for (int32_t p = 0; p < MIVO3_PATTERN_COUNT; p++) {
        bool differs = cart->music_flags[p] != 0;
        for (int32_t c = 0; c < 4; c++)
            differs = differs || cart->music[p][c] != 0x41 + c;
        if (differs)
            last_pattern = p;
    }
    if (last_pattern >= 0) {
        out += "__music__\n";
        for (int32_t p = 0; p <= last_pattern; p++) {
            append_hex(out, cart->music_flags[p] & 0xff, 2);
            out += " ";
            for (int32_t c = 0; c < 4; c++)
                append_hex(out, cart->music[p][c] & 0xff, 2);
            out += "\n";
        }
        out += "\n";
    }
    return out;
}

int32_t quon_save_mivo3_cart_to_file(const mivo3_cart* cart, quon_stream* s)
{
    const std::string text = mivo3_cart_to_text(cart);
    quon_fwrite(text.data(), 1, static_cast<int64_t>(text.size()), s);
    return 0;
}

int32_t quon_save_mivo3_cart(const mivo3_cart* cart, const char* path)
{
    quon_stream* s = quon_fopen(path, "wb");
    if (!s)
        return 1;
    quon_save_mivo3_cart_to_file(cart, s);
    quon_fclose(s);
    return 0;
}
