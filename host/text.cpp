#include "host/text.h"

#include <algorithm>
#include <array>

#include "host/pod.h"

namespace {

int32_t font_spacing = 1;
std::array<quon_pod*, 2> builtin_fonts{};

// Built-in glyphs for codes 32..127, five rows each, top row first. In the
// narrow face every row is one octal digit (bit 2 = left pixel); in the wide
// face one hex digit (bit 3 = left pixel).
constexpr int32_t builtin_rows = 5;
constexpr std::array<const char*, 96> narrow_glyphs = {
    "00000", "22202", "55000", "57575", "36236", "51245", "25253", "22000",  //  !"#$%&'
    "12221", "42224", "05250", "02720", "00024", "00700", "00002", "11244",  // ()*+,-./
    "75557", "26227", "71747", "71317", "55711", "74717", "44757", "71111",  // 01234567
    "75757", "75711", "02020", "02024", "12421", "07070", "42124", "71302",  // 89:;<=>?
    "25543", "25755", "65656", "34443", "65556", "74647", "74644", "34553",  // @ABCDEFG
    "55755", "72227", "11152", "55655", "44447", "77555", "65555", "25552",  // HIJKLMNO
    "65644", "25563", "65655", "34216", "72222", "55557", "55552", "55775",  // PQRSTUVW
    "55255", "55222", "71247", "64446", "44211", "31113", "25000", "00007",  // XYZ[\]^_
    "42000", "03553", "46556", "03443", "13553", "03563", "12722", "03536",  // `abcdefg
    "44655", "20222", "10152", "45655", "44443", "07755", "06555", "02552",  // hijklmno
    "06564", "03531", "03444", "03216", "27221", "05553", "05552", "05577",  // pqrstuvw
    "05225", "05536", "07167", "32623", "22222", "62326", "03600", "52525",  // xyz{|}~ and 127
};
// Lower-case entries are null: the wide face draws them as capitals.
constexpr std::array<const char*, 96> wide_glyphs = {
    "00000", "44404", "AA000", "6F6F6", "7A65E", "91249", "4A4AD", "44000",  //  !"#$%&'
    "24442", "42224", "0A4A0", "04E40", "00048", "00E00", "00004", "12448",  // ()*+,-./
    "6BD96", "26227", "E168F", "E161E", "26AF2", "F8E1E", "68E96", "F1244",  // 01234567
    "69696", "69716", "04040", "04048", "24842", "0F0F0", "84248", "E1604",  // 89:;<=>?
    "69B87", "69F99", "E9E9E", "78887", "E999E", "F8E8F", "F8E88", "78B97",  // @ABCDEFG
    "99F99", "E444E", "11196", "9ACA9", "8888F", "9FF99", "9DB99", "69996",  // HIJKLMNO
    "E9E88", "699A5", "E9EA9", "7861E", "E4444", "99996", "99966", "99FF9",  // PQRSTUVW
    "99699", "AA444", "F168F", "64446", "84421", "62226", "4A000", "0000F",  // XYZ[\]^_
    "84000", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // `abcdefg
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // hijklmno
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // pqrstuvw
    nullptr, nullptr, nullptr, "64C46", "44444", "C464C", "05A00", "A5A5A",  // xyz{|}~ and 127
};

constexpr uint8_t builtin_ink8 = 7;            // white in the machine palette
constexpr uint32_t builtin_ink32 = 0xFFFFFFFF;  // opaque white

int32_t digit_value(char d) { return d <= '9' ? d - '0' : d - 'A' + 10; }

quon_bitmap* make_builtin_glyph(const char* rows, int32_t width, int32_t bits) {
    quon_bitmap* g = quon_create_bitmap(width, builtin_rows, bits);
    if (!g) return nullptr;
    for (int32_t y = 0; y < builtin_rows; y++) {
        const int32_t row = digit_value(rows[y]);
        for (int32_t x = 0; x < width; x++) {
            if (!((row >> (width - 1 - x)) & 1)) continue;
            if (bits == 8)
                quon_row8(g, y)[x] = builtin_ink8;
            else
                quon_row32(g, y)[x] = builtin_ink32;
        }
    }
    return g;
}

quon_pod* make_builtin_font(const char* name, const std::array<const char*, 96>& table, int32_t width) {
    quon_pod* pod = quon_create_pod(name);
    if (!pod) return nullptr;
    for (int32_t bits : {8, 32}) {
        for (int32_t i = 0; i < 96; i++) {
            const char* rows = table[size_t(i)];
            if (!rows) rows = table[size_t(i - 32)];  // lower case -> capital
            quon_bitmap* g = make_builtin_glyph(rows, width, bits);
            if (!g) {
                quon_destroy_pod(pod);
                return nullptr;
            }
            cpod_add_item(pod, QUON_ITEM_BITMAP, g);
        }
    }
    return pod;
}

// One run of glyphs inside a font pod.
struct glyph_set {
    const quon_pod* pod = nullptr;
    int32_t first_item = 0;  // item index of the set's first glyph
    int32_t size = 0;        // glyphs in the set
    int32_t first_code = 0;  // code of the first glyph: 0 or 32
};

int32_t item_count(const quon_pod* font) { return font ? int32_t(font->items.size()) : 0; }

int32_t set_size(const quon_pod* font) { return item_count(font) % 256 == 0 ? 256 : 96; }

// A font shorter than one set still counts as one set of the glyphs it has.
int32_t set_count(const quon_pod* font) {
    const int32_t n = item_count(font);
    return n == 0 ? 0 : std::max(1, n / set_size(font));
}

glyph_set nth_set(const quon_pod* font, int32_t k) {
    const int32_t size = set_size(font);
    glyph_set s;
    s.pod = font;
    s.first_item = k * size;
    s.size = std::min(size, item_count(font) - s.first_item);
    s.first_code = size == 256 ? 0 : 32;
    return s;
}

const quon_bitmap* glyph_of(const glyph_set& s, uint8_t c) {
    const int32_t i = int32_t(c) - s.first_code;
    if (i < 0 || i >= s.size) return nullptr;
    return quon_pod_bitmap(s.pod, s.first_item + i);
}

int32_t set_bits(const glyph_set& s) {
    for (int32_t i = 0; i < s.size; i++)
        if (const quon_bitmap* g = quon_pod_bitmap(s.pod, s.first_item + i)) return g->bits;
    return 0;
}

// Picks the set drawn onto a target of the given depth; *matched is false
// when no set has that depth and the first set stands in.
glyph_set choose_set(const quon_pod* font, int32_t bits, bool* matched) {
    const int32_t n = set_count(font);
    for (int32_t k = 0; k < n; k++) {
        glyph_set s = nth_set(font, k);
        if (set_bits(s) == bits) {
            *matched = true;
            return s;
        }
    }
    *matched = false;
    return nth_set(font, 0);
}

// Width of the drawable characters from p up to the end of the text, a
// newline (when stop_at_newline) or character 127 (included).
int32_t run_width(const glyph_set& s, const uint8_t* p, bool stop_at_newline) {
    int32_t w = 0;
    bool any = false;
    for (; *p; ++p) {
        if (stop_at_newline && *p == 10) break;
        if (const quon_bitmap* g = glyph_of(s, *p)) {
            w += g->width + font_spacing;
            any = true;
        }
        if (*p == 127) break;
    }
    return any ? w - font_spacing : 0;
}

uint32_t blend32(uint32_t dst, uint32_t rgb, uint32_t alpha) {
    uint32_t out = dst & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t s = (rgb >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
        out |= ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

// Draws one glyph with its top-left corner at (x, y), through the target's
// clip rectangle. A glyph whose depth differs from the target's is always
// drawn colourised (the caller forces the flag in that case).
void draw_glyph(quon_bitmap* dst, const quon_bitmap* g, int32_t x, int32_t y, bool colourise,
                uint32_t colour) {
    const int32_t x0 = std::max(x, dst->cx0), x1 = std::min(x + g->width, dst->cx1);
    const int32_t y0 = std::max(y, dst->cy0), y1 = std::min(y + g->height, dst->cy1);
    for (int32_t ty = y0; ty < y1; ty++) {
        const uint8_t* src = g->rows[ty - y];
        for (int32_t tx = x0; tx < x1; tx++) {
            const int32_t gx = tx - x;
            if (g->bits == 8) {
                const uint8_t v = src[gx];
                if (v == 0) continue;
                if (dst->bits == 8)
                    quon_row8(dst, ty)[tx] = colourise ? uint8_t(colour) : v;
                else
                    quon_row32(dst, ty)[tx] = colour;
            } else {
                const uint32_t v = reinterpret_cast<const uint32_t*>(src)[gx];
                const uint32_t alpha = v >> 24;
                if (dst->bits == 8) {
                    if (alpha >= 0x80) quon_row8(dst, ty)[tx] = uint8_t(colour);
                } else if (alpha != 0) {
                    uint32_t& d = quon_row32(dst, ty)[tx];
                    d = blend32(d, colourise ? colour : v, alpha);
                }
            }
        }
    }
}

}  // namespace

int32_t quon_draw_text_ex(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x,
                          int32_t y, int32_t flags, uint32_t colour) {
    if (!bmp || !text || set_count(font) == 0) return y;
    bool matched = false;
    const glyph_set s = choose_set(font, bmp->bits, &matched);
    if (!matched) flags |= QUON_TEXT_COLOURISE;
    const bool colourise = flags & QUON_TEXT_COLOURISE;
    const bool wrap = flags & QUON_TEXT_WRAP;
    // Fitting only makes sense for lines that do not wrap.
    const bool fit = (flags & QUON_TEXT_FIT) && !wrap;

    const auto* p = reinterpret_cast<const uint8_t*>(text);
    if (flags & QUON_TEXT_CENTRE) x -= run_width(s, p, false) / 2;
    if (flags & QUON_TEXT_RIGHT) x -= run_width(s, p, false);

    const quon_bitmap* dot = glyph_of(s, '.');
    const int32_t dots_width = dot ? 2 * dot->width + font_spacing : 0;

    int32_t px = x, py = y, h = 0, last_advance = 0;
    bool truncating = fit && x + run_width(s, p, true) > bmp->cx1;
    for (; *p; ++p) {
        uint8_t c = *p;
        if (const quon_bitmap* g = glyph_of(s, c)) {
            const int32_t advance = g->width + font_spacing;
            if (truncating && px + advance + dots_width > bmp->cx1) {
                // The rest of this line is replaced by "..".
                if (dot) {
                    for (int i = 0; i < 2; i++) {
                        draw_glyph(bmp, dot, px, py, colourise, colour);
                        px += dot->width + font_spacing;
                    }
                    h = std::max(h, dot->height);
                }
                while (p[1] && p[1] != 10 && p[1] != 127) ++p;
                if (!p[1] || p[1] == 127) break;
                c = *++p;
            } else {
                draw_glyph(bmp, g, px, py, colourise, colour);
                px += advance;
                last_advance = advance;
                h = std::max(h, g->height);
            }
        }
        if (c == 127) break;
        // A line that holds nothing yet never wraps, so a start beyond the
        // edge does not turn every character into an empty line.
        if (c == 10 || (wrap && px != x && px > bmp->cx1 - last_advance)) {
            px = x;
            py += h + font_spacing;  // a line without glyphs is only the spacing high
            h = 0;
            truncating = fit && x + run_width(s, p + 1, true) > bmp->cx1;
        }
    }
    return py;
}

int32_t quon_draw_text(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x, int32_t y) {
    return quon_draw_text_ex(bmp, text, font, x, y, 0, 0);
}

int32_t quon_draw_text_phat(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x,
                            int32_t y, int32_t flags, uint32_t outline_colour, uint32_t colour) {
    flags |= QUON_TEXT_COLOURISE;
    for (int32_t dy = -1; dy <= 1; dy++)
        for (int32_t dx = -1; dx <= 1; dx++)
            quon_draw_text_ex(bmp, text, font, x + dx, y + dy, flags, outline_colour);
    return quon_draw_text_ex(bmp, text, font, x, y, flags, colour);
}

int32_t quon_get_text_width(const char* text, const quon_pod* font) {
    if (!text || set_count(font) == 0) return 0;
    return run_width(nth_set(font, 0), reinterpret_cast<const uint8_t*>(text), false);
}

void quon_set_text_spacing(int32_t n) { font_spacing = std::max(n, 0); }

int32_t quon_get_text_spacing() { return font_spacing; }

int quon_text_init() {
    if (!builtin_fonts[0]) builtin_fonts[0] = make_builtin_font("narrow", narrow_glyphs, 3);
    if (!builtin_fonts[1]) builtin_fonts[1] = make_builtin_font("wide", wide_glyphs, 4);
    return builtin_fonts[0] && builtin_fonts[1] ? 0 : 1;
}

void quon_text_exit() {
    for (quon_pod*& f : builtin_fonts) {
        quon_destroy_pod(f);
        f = nullptr;
    }
}

const quon_pod* quon_builtin_font(int32_t index) {
    if (index < 0 || index >= int32_t(builtin_fonts.size())) return nullptr;
    return builtin_fonts[size_t(index)];
}
