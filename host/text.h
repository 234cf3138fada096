// Bitmap-font text. A font is a pod whose items are glyph bitmaps, in sets of
// 256 (codes 0..255, when the item count is a multiple of 256) or of 96 (codes
// 32..127). A font may carry one set per bitmap depth; drawing picks the set
// whose glyphs have the target's depth. In an 8-bit glyph colour 0 is
// transparent; a 32-bit glyph is blended over the target by its alpha byte,
// keeping the target's alpha.
#pragma once
#include <cstdint>

#include "host/bitmap.h"

struct quon_pod;

enum : int32_t {
    QUON_TEXT_COLOURISE = 1,  // every opaque glyph pixel takes the given colour
    QUON_TEXT_CENTRE = 2,     // x is moved left by half the text width
    QUON_TEXT_RIGHT = 4,      // x is moved left by the text width
    QUON_TEXT_FIT = 8,        // lines that overrun the clip's right edge end in ".."
    QUON_TEXT_WRAP = 0x10,    // lines break at the clip's right edge
};

// Draws text from (x, y) and returns the y of the last line (y itself when the
// text or the font is missing). A newline starts a new line at x; character
// 127 ends the text. Lines advance by the tallest glyph plus the spacing.
int32_t quon_draw_text_ex(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x,
                          int32_t y, int32_t flags, uint32_t colour);
// The same layout in the glyphs' own colours, without flags.
int32_t quon_draw_text(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x, int32_t y);
// Outlined text: the text in outline_colour at the nine offsets -1..1 around
// (x, y), then once at (x, y) in colour. Always colourised.
int32_t quon_draw_text_phat(quon_bitmap* bmp, const char* text, const quon_pod* font, int32_t x,
                            int32_t y, int32_t flags, uint32_t outline_colour, uint32_t colour);

// Sum of (glyph width + spacing) over the drawable characters, less one
// spacing; 0 when nothing is drawable.
int32_t quon_get_text_width(const char* text, const quon_pod* font);

// Pixels added after every glyph and between lines; initial value 1.
void quon_set_text_spacing(int32_t n);  // negative becomes 0
int32_t quon_get_text_spacing();

// The two built-in fonts, 5 pixels high, each with an 8-bit and a 32-bit set
// of codes 32..127: font 0 is a 3-pixel-wide face for small counters, font 1
// a 4-pixel-wide face of capitals (lower case draws as capitals) that stays
// legible with an outline. quon_text_init builds them (0 on success, again
// harmless); quon_text_exit frees them.
int quon_text_init();
void quon_text_exit();
const quon_pod* quon_builtin_font(int32_t index);  // null before init or for another index
