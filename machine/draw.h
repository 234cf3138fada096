// Drawing: the primitives carts call, drawing into mivo3_back_page through
// its clip rectangle with the draw state of pstate (camera, draw palette,
// fill pattern, pen colour, cursor) and the working cart's sprite sheet and
// map (pstate.cart).
//
// Every numeric argument is a raw 16.16 number as the language passes it;
// coordinates, sizes and colours use its integer part (rounded toward minus
// infinity) and the camera is subtracted after that. Primitives with a
// colour argument take `has_col`: without it they draw in pen_colour, with it
// the colour becomes the pen colour first (and, while register 0x5f34 holds 1,
// a colour with bit 12 of its integer part set also carries a fill pattern).
// Primitives that cost CPU charge it through spend_cpu and return the charge.
// No argument combination draws outside the screen bitmap.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/bitmap.h"

struct quon_pod;

// The font print draws with (the resource pod's console font); set by the
// shell once the pod is read. Nothing is drawn while it is null.
extern const quon_pod* mivo3_print_font;

// Colour byte c through the draw palette: both nibbles mapped, high nibble
// the secondary colour of a fill pattern.
uint8_t mivo3_map_colour(int32_t c);
// Applies a colour argument: pen_colour (and possibly fill_pattern) as
// described above; returns the colour byte.
int32_t mivo3_colour_arg(int32_t col);

void mivo3_pset(int32_t x, int32_t y, bool has_col, int32_t col);
// The stored byte (may exceed 15), or 0 outside the clip rectangle.
int32_t mivo3_pget(int32_t x, int32_t y);
// Line from (x0, y0) to (x1, y1); (x1, y1) becomes the stored line end.
int32_t mivo3_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col);
// line(x, y): from (x, y) to the stored line end in the pen colour, then
// (x, y) becomes the line end.
int32_t mivo3_line_to(int32_t x, int32_t y);
int32_t mivo3_rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col);
int32_t mivo3_rectfill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col);
// Circles draw nothing for r < 0 (bindings pass 4.0 for a missing radius).
int32_t mivo3_circ(int32_t x, int32_t y, int32_t r, bool has_col, int32_t col);
int32_t mivo3_circfill(int32_t x, int32_t y, int32_t r, bool has_col, int32_t col);
// Sprite n (0..255) as a block of floor(w*8) x floor(h*8) pixels (w, h
// default 1.0), draw palette entries with bit 4 set transparent.
int32_t mivo3_spr(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h, bool flip_x, bool flip_y);
// Sheet rectangle (sx, sy, sw, sh) stretched to (dx, dy, dw, dh); bindings
// pass dw = sw and dh = sh when missing. A negative dw or dh mirrors.
int32_t mivo3_sspr(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy,
                   int32_t dw, int32_t dh, bool flip_x, bool flip_y);
// Map cells as sprites; bindings pass cel_w 128.0 and cel_h 32.0 when fewer
// than five arguments are given. layer 0 draws every non-zero cell,
// otherwise only cells whose sprite flags share a bit with it.
int32_t mivo3_map(int32_t cel_x, int32_t cel_y, int32_t sx, int32_t sy, int32_t cel_w,
                  int32_t cel_h, int32_t layer);
// Whole screen to col & 0xff (no palette, no pattern); resets the clip
// rectangle and the cursor.
int32_t mivo3_cls(int32_t col);
int32_t mivo3_clip(int32_t x, int32_t y, int32_t w, int32_t h);
int32_t mivo3_clip_reset();  // clip() with fewer than four arguments
void mivo3_camera(int32_t x, int32_t y);
void mivo3_color(int32_t col);
void mivo3_cursor(int32_t x, int32_t y, bool has_col, int32_t col);
// pal(c0, c1, p): p's integer part 0 sets a draw palette entry's colour
// (keeping its transparency bit), anything else a display palette entry.
void mivo3_pal(int32_t c0, int32_t c1, int32_t p);
void mivo3_pal_reset();
void mivo3_palt(int32_t c, bool transparent);
void mivo3_palt_reset();
void mivo3_fillp(int32_t p);

// print(text [, x, y [, col]]): nargs is the number of language arguments.
// Three or more set the cursor first; exactly one moves the cursor down
// past the printed lines afterwards (scrolling at the bottom).
int32_t mivo3_print(const char* text, int nargs, int32_t x, int32_t y, int32_t col);
// Cursor one 6-pixel line down; below line 122 the screen scrolls up by 6
// instead, charging 65536 cycles.
void mivo3_cursor_cr();

// Sprite sheet and map access; positions outside the sheet or map read 0
// and are not written.
int32_t mivo3_sget(int32_t x, int32_t y);
void mivo3_sset(int32_t x, int32_t y, bool has_col, int32_t col);
int32_t mivo3_mget(int32_t x, int32_t y);
// Rows 32..63 of the map share their bytes with sprite sheet rows 64..127.
void mivo3_mset(int32_t x, int32_t y, int32_t v);

// Sprite flags (low 8 bits of each of the 256 sprites' flag values). n or f
// out of range (0..255, 0..7) reads 0 / false and writes nothing.
int32_t mivo3_fget(int32_t n);
bool mivo3_fget_bit(int32_t n, int32_t f);
void mivo3_fset(int32_t n, int32_t v);
void mivo3_fset_bit(int32_t n, int32_t f, bool set);

// Darkens the inclusive rectangle of an 8-bit bitmap to colours 0, 1 and 5
// for the pause menu backdrop: mode 1 adapts to the picture's brightness
// (the darkest two thirds to 0, the rest to 1) unless `fixed_map` is set
// (the shell passes the left Shift key); other modes use a fixed map.
void draw_tinted_rect_adaptive(quon_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                               int32_t mode, bool fixed_map = false);
