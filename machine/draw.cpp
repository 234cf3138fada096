#include "machine/draw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/text.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "storage/cart.h"

const quon_pod* mivo3_print_font = nullptr;

namespace {

constexpr int32_t screen_size = MIVO3_SCREEN_SIZE;

int32_t ipart(int32_t raw) { return raw >> 16; }
int32_t screen_x(int32_t raw) { return ipart(raw) - pstate.camera_x; }
int32_t screen_y(int32_t raw) { return ipart(raw) - pstate.camera_y; }

// The screen's clip rectangle, ends exclusive. The bitmap keeps it within
// the screen, but it may be empty or inverted after register writes, so
// every loop below works from max(start, x0) to min(end, x1).
struct clip_rect {
    int32_t x0, y0, x1, y1;
    bool contains(int32_t x, int32_t y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

clip_rect screen_clip(const quon_bitmap* b) { return {b->cx0, b->cy0, b->cx1, b->cy1}; }

// Length of [a, b] (inclusive) inside [lo, hi) (exclusive); 0 when apart.
int32_t clipped_extent(int32_t a, int32_t b, int32_t lo, int32_t hi) {
    int64_t n = int64_t(std::min(b, hi - 1)) - std::max(a, lo) + 1;
    return n > 0 ? int32_t(n) : 0;
}

int32_t charge(int32_t n) {
    spend_cpu(n);
    return n;
}

int32_t pen_or(bool has_col, int32_t col) {
    return has_col ? mivo3_colour_arg(col) : pstate.pen_colour;
}

// Pixel of an outline primitive (pset, line, rect, circ): where the pattern
// bit is 1 the secondary nibble alone (or nothing when transparent), where
// it is 0 the whole mapped byte.
void plot(quon_bitmap* b, const clip_rect& c, int32_t x, int32_t y, uint8_t mapped) {
    if (!c.contains(x, y)) return;
    int32_t fp = pstate.fill_pattern;
    if ((fp >> (15 - ((y & 3) * 4 + (x & 3)))) & 1) {
        if (fp & 0x10000) return;
        b->rows[y][x] = mapped >> 4;
    } else {
        b->rows[y][x] = mapped;
    }
}

// Row a..b of a filled primitive (rectfill, circfill), which stores single
// nibbles: primary where the pattern bit is 0, secondary where it is 1.
void hspan(quon_bitmap* b, const clip_rect& c, int32_t y, int32_t a, int32_t e, uint8_t mapped) {
    if (y < c.y0 || y >= c.y1) return;
    if (e < a) std::swap(a, e);
    a = std::max(a, c.x0);
    e = std::min(e, c.x1 - 1);
    if (a > e) return;
    uint8_t* row = b->rows[y];
    int32_t fp = pstate.fill_pattern;
    int32_t nib = (fp >> (12 - 4 * (y & 3))) & 15;
    uint8_t primary = mapped & 15, secondary = mapped >> 4;
    bool transparent = fp & 0x10000;
    if (nib == 0) {
        std::memset(row + a, primary, size_t(e - a + 1));
        return;
    }
    if (nib == 15) {
        if (!transparent) std::memset(row + a, secondary, size_t(e - a + 1));
        return;
    }
    uint8_t colour[4];
    bool skip[4];
    for (int32_t k = 0; k < 4; k++) {
        bool bit = (nib >> (3 - k)) & 1;
        colour[k] = bit ? secondary : primary;
        skip[k] = bit && transparent;
    }
    for (int32_t x = a; x <= e; x++)
        if (!skip[x & 3]) row[x] = colour[x & 3];
}

// Integer part of the 16.16 quotient (d << 16) / step, saturating as the
// fixed-point divide does; negative counts as 0.
int64_t skip_steps(int64_t d, int64_t step) {
    if (step == 0) return d >= 0 ? 0x7fff : 0;
    int64_t q = (d << 32) / step;
    q = std::clamp<int64_t>(q, -0x7fffffff, 0x7fffffff);
    return std::max<int64_t>(q >> 16, 0);
}

// The 16.16 digital differential analyser. Point k of t steps is
// (start + k * step) rounded to nearest. The steps before the line can enter
// the clip rectangle and after it has left are skipped, each worked out as a
// fixed-point quotient of the distance by the step; the points between are
// clipped one by one. The skips ignore the half-pixel rounding, so which
// points a clipped line shows is theirs to decide. Returns the step count
// for the charge.
int32_t draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t mapped) {
    quon_bitmap* b = mivo3_back_page;
    if (!b) return 0;
    clip_rect c = screen_clip(b);
    int64_t xs = x0, ys = y0, xe = x1, ye = y1;
    if (y1 < y0) {
        std::swap(xs, xe);
        std::swap(ys, ye);
    }
    int64_t dx = xe - xs, dy = ye - ys;
    int64_t t = std::max<int64_t>(std::max(std::abs(dx), dy), 1);
    if (ye < c.y0 || ys >= c.y1 || (xs < c.x0 && xe < c.x0) || (xs >= c.x1 && xe >= c.x1)) return 0;
    int64_t sx = dx * 65536 / t, sy = dy * 65536 / t;
    int64_t v = 0, w = 0;
    if (ys < c.y0) v = std::max(v, skip_steps(c.y0 - ys, sy));
    if (xs < c.x0) v = std::max(v, skip_steps(c.x0 - xs, sx));
    if (xs >= c.x1) v = std::max(v, skip_steps(xs - c.x1 + 1, -sx));
    if (ye >= c.y1) w = std::max(w, skip_steps(ye - c.y1 + 1, sy));
    if (xe < c.x0) w = std::max(w, skip_steps(c.x0 - xe, -sx));
    if (xe >= c.x1) w = std::max(w, skip_steps(xe - c.x1 + 1, sx));
    int64_t k0 = std::max<int64_t>(v, 1) - 1;
    int64_t n = t - k0 - std::max<int64_t>(w, 1) + 1;

    int64_t bx = xs * 65536 + 0x8000, by = ys * 65536 + 0x8000;
    for (int64_t k = k0; k <= k0 + n; k++)
        plot(b, c, int32_t((bx + k * sx) >> 16), int32_t((by + k * sy) >> 16), mapped);
    return n < 0 ? 0 : int32_t(std::min<int64_t>(n, 0x7fffffff));
}

// Straight runs for rect: outline pixels, clipped once per run.
void hline(quon_bitmap* b, const clip_rect& c, int32_t y, int32_t a, int32_t e, uint8_t mapped) {
    if (y < c.y0 || y >= c.y1) return;
    for (int32_t x = std::max(a, c.x0), end = std::min(e, c.x1 - 1); x <= end; x++) plot(b, c, x, y, mapped);
}
void vline(quon_bitmap* b, const clip_rect& c, int32_t x, int32_t a, int32_t e, uint8_t mapped) {
    if (x < c.x0 || x >= c.x1) return;
    for (int32_t y = std::max(a, c.y0), end = std::min(e, c.y1 - 1); y <= end; y++) plot(b, c, x, y, mapped);
}

// Draw palette entries as a lookup: values of 16 and above are transparent.
struct sprite_lut {
    uint8_t v[16];
    sprite_lut() {
        for (int32_t i = 0; i < 16; i++) v[i] = uint8_t(std::min<int32_t>(pstate.draw_palette[i] & 0xff, 16));
    }
};

// Copies an 8x8 (or smaller, clipped) block of the sheet without flips. The
// block lies inside the sheet; returns the clipped area.
int32_t blit_cell(quon_bitmap* dst, const clip_rect& c, const quon_bitmap* sheet, int32_t bx, int32_t by,
                  int32_t x, int32_t y, const sprite_lut& lut) {
    int32_t xa = std::max(x, c.x0), xb = std::min(x + 8, c.x1);
    int32_t ya = std::max(y, c.y0), yb = std::min(y + 8, c.y1);
    if (xa >= xb || ya >= yb) return 0;
    for (int32_t j = ya; j < yb; j++) {
        const uint8_t* src = sheet->rows[by + j - y] + bx;
        uint8_t* out = dst->rows[j];
        for (int32_t i = xa; i < xb; i++) {
            uint8_t v = lut.v[src[i - x] & 15];
            if (v < 16) out[i] = v;
        }
    }
    return (xb - xa) * (yb - ya);
}

const quon_bitmap* sheet_bitmap() {
    const mivo3_cart* cart = pstate.cart;
    return cart ? cart->gfx : nullptr;
}

// The shared rectangle of sprite pixels as poke sees them: address of the
// byte holding sheet pixel (x, y).
int32_t sheet_address(int32_t x, int32_t y) { return y * 64 + x / 2; }

}  // namespace

uint8_t mivo3_map_colour(int32_t c) {
    const int32_t* dp = pstate.draw_palette;
    return uint8_t(((dp[(c >> 4) & 15] & 15) << 4) | (dp[c & 15] & 15));
}

int32_t mivo3_colour_arg(int32_t col) {
    int32_t c = ipart(col);
    if (pstate.ram_mirror[MIVO3_REG_COLOUR_PATTERN] == 1 && (c & 0x1000))
        pstate.fill_pattern = (col & 0xffff) | ((c & 0x100) ? 0x10000 : 0);
    pstate.pen_colour = c & 0xff;
    return pstate.pen_colour;
}

void mivo3_pset(int32_t x, int32_t y, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    if (quon_bitmap* b = mivo3_back_page) plot(b, screen_clip(b), screen_x(x), screen_y(y), mapped);
}

int32_t mivo3_pget(int32_t x, int32_t y) {
    quon_bitmap* b = mivo3_back_page;
    if (!b) return 0;
    int32_t sx = screen_x(x), sy = screen_y(y);
    if (!screen_clip(b).contains(sx, sy)) return 0;
    return b->rows[sy][sx];
}

int32_t mivo3_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    pstate.line_end_x = ipart(x1);
    pstate.line_end_y = ipart(y1);
    int32_t n = draw_line(screen_x(x0), screen_y(y0), screen_x(x1), screen_y(y1), mapped);
    return charge(n / 2 + 1);
}

int32_t mivo3_line_to(int32_t x, int32_t y) {
    uint8_t mapped = mivo3_map_colour(pstate.pen_colour);
    int32_t n = draw_line(screen_x(x), screen_y(y), pstate.line_end_x - pstate.camera_x,
                          pstate.line_end_y - pstate.camera_y, mapped);
    pstate.line_end_x = ipart(x);
    pstate.line_end_y = ipart(y);
    return charge(n / 2 + 1);
}

int32_t mivo3_rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    quon_bitmap* b = mivo3_back_page;
    if (!b) return charge(0);
    clip_rect c = screen_clip(b);
    int32_t ax = screen_x(x0), ay = screen_y(y0), bx = screen_x(x1), by = screen_y(y1);
    if (bx < ax) std::swap(ax, bx);
    if (by < ay) std::swap(ay, by);
    if (by < c.y0 || ay >= c.y1 || bx < c.x0 || ax >= c.x1) return charge(0);
    hline(b, c, ay, ax, bx, mapped);
    hline(b, c, by, ax, bx, mapped);
    vline(b, c, ax, ay + 1, by - 1, mapped);
    vline(b, c, bx, ay + 1, by - 1, mapped);
    auto clamp_x = [&](int32_t v) { return std::max(std::min(v, c.x1 - 1), c.x0); };
    auto clamp_y = [&](int32_t v) { return std::max(std::min(v, c.y1 - 1), c.y0); };
    int32_t w = (clamp_x(bx) - clamp_x(ax) + 3) / 4;
    int32_t h = std::max(0, clamp_y(by) - clamp_y(ay) - 1);
    int32_t cost = 0;
    if (ay >= c.y0) cost += w;
    if (by < c.y1) cost += w;
    if (ax >= c.x0) cost += h / 2;
    if (bx < c.x1) cost += h / 2;
    return charge(cost);
}

int32_t mivo3_rectfill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    quon_bitmap* b = mivo3_back_page;
    if (!b) return charge(0);
    clip_rect c = screen_clip(b);
    int32_t ax = screen_x(x0), ay = screen_y(y0), bx = screen_x(x1), by = screen_y(y1);
    if (bx < ax) std::swap(ax, bx);
    if (by < ay) std::swap(ay, by);
    for (int32_t y = std::max(ay, c.y0), end = std::min(by, c.y1 - 1); y <= end; y++)
        hspan(b, c, y, ax, bx, mapped);
    return charge((clipped_extent(ax, bx, c.x0, c.x1) * clipped_extent(ay, by, c.y0, c.y1)) >> 4);
}

int32_t mivo3_circ(int32_t x, int32_t y, int32_t r, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    quon_bitmap* b = mivo3_back_page;
    int32_t cx = screen_x(x), cy = screen_y(y), rad = ipart(r);
    if (!b || rad < 0) return charge(0);
    clip_rect c = screen_clip(b);
    if (cx + rad < c.x0 || cx - rad >= c.x1 || cy + rad < c.y0 || cy - rad >= c.y1) return charge(0);
    int32_t px = rad, py = 0, d = 1 - rad;
    for (;;) {
        plot(b, c, cx + px, cy + py, mapped);
        plot(b, c, cx - px, cy + py, mapped);
        plot(b, c, cx + px, cy - py, mapped);
        plot(b, c, cx - px, cy - py, mapped);
        plot(b, c, cx + py, cy + px, mapped);
        plot(b, c, cx - py, cy + px, mapped);
        plot(b, c, cx + py, cy - px, mapped);
        plot(b, c, cx - py, cy - px, mapped);
        if (d < 0) {
            if (px < py + 1) break;
            d += 2 * py + 3;
            py++;
        } else {
            if (px - 1 < py + 1) break;
            d += 2 * py - 2 * px + 5;
            px--;
            py++;
        }
    }
    int32_t h = std::max(std::min(c.y1, cy + rad), c.y0) - std::max(c.y0, cy - rad);
    return charge(2 * h + 2);
}

int32_t mivo3_circfill(int32_t x, int32_t y, int32_t r, bool has_col, int32_t col) {
    uint8_t mapped = mivo3_map_colour(pen_or(has_col, col));
    quon_bitmap* b = mivo3_back_page;
    int32_t cx = screen_x(x), cy = screen_y(y), rad = ipart(r);
    if (!b || rad < 0) return charge(0);
    clip_rect c = screen_clip(b);
    int32_t area = clipped_extent(cx - rad, cx + rad, c.x0, c.x1) * clipped_extent(cy - rad, cy + rad, c.y0, c.y1);
    if (area > 0) {
        int32_t px = rad, py = 0, d = 1 - rad;
        while (px >= py) {
            hspan(b, c, cy + py, cx - px, cx + px, mapped);
            hspan(b, c, cy - py, cx - px, cx + px, mapped);
            if (d < 0) {
                d += 2 * py + 3;
                py++;
            } else {
                hspan(b, c, cy + px, cx - py, cx + py, mapped);
                hspan(b, c, cy - px, cx - py, cx + py, mapped);
                d += 2 * (py - px + 2) + 1;
                py++;
                px--;
            }
        }
    }
    return charge(2 * rad + (area >> 4));
}

int32_t mivo3_spr(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h, bool flip_x, bool flip_y) {
    int32_t idx = ipart(n);
    quon_bitmap* b = mivo3_back_page;
    const quon_bitmap* sheet = sheet_bitmap();
    if (!b || !sheet || idx < 0 || idx > 255) return charge(0);
    int32_t pw = int32_t(std::min<int64_t>((int64_t(w) * 8) >> 16, 128));
    int32_t ph = int32_t(std::min<int64_t>((int64_t(h) * 8) >> 16, 128));
    if (pw <= 0 || ph <= 0) return charge(0);
    clip_rect c = screen_clip(b);
    int32_t dx = screen_x(x), dy = screen_y(y);
    int32_t bx = (idx & 15) * 8, by = (idx >> 4) * 8;
    sprite_lut lut;
    if (pw == 8 && ph == 8 && !flip_x && !flip_y) return charge(blit_cell(b, c, sheet, bx, by, dx, dy, lut));
    int32_t xa = std::max(dx, c.x0), xb = std::min(dx + pw, c.x1);
    int32_t ya = std::max(dy, c.y0), yb = std::min(dy + ph, c.y1);
    if (xa >= xb || ya >= yb) return charge(0);
    for (int32_t j = ya; j < yb; j++) {
        int32_t sy = by + (flip_y ? ph - 1 - (j - dy) : j - dy);
        uint8_t* out = b->rows[j];
        // Past the sheet's edge the block reads as opaque colour 0.
        const uint8_t* src = sy < screen_size ? sheet->rows[sy] : nullptr;
        for (int32_t i = xa; i < xb; i++) {
            int32_t sx = bx + (flip_x ? pw - 1 - (i - dx) : i - dx);
            uint8_t v = (src && sx < screen_size) ? lut.v[src[sx] & 15] : 0;
            if (v < 16) out[i] = v;
        }
    }
    return charge((xb - xa) * (yb - ya));
}

int32_t mivo3_sspr(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy, int32_t dw,
                   int32_t dh, bool flip_x, bool flip_y) {
    quon_bitmap* b = mivo3_back_page;
    const quon_bitmap* sheet = sheet_bitmap();
    constexpr int32_t size_min = 0x10000, size_end = 129 << 16;
    if (!b || !sheet || sw < size_min || sw >= size_end || sh < size_min || sh >= size_end || dw == 0 || dh == 0)
        return charge(0);
    int32_t src_w = ipart(sw), src_h = ipart(sh);
    int32_t left = ipart(dx), top = ipart(dy), dst_w = ipart(dw), dst_h = ipart(dh);
    if (dw < 0) {
        left += dst_w;
        dst_w = -dst_w;
        flip_x = !flip_x;
    }
    if (dh < 0) {
        top += dst_h;
        dst_h = -dst_h;
        flip_y = !flip_y;
    }
    // A size between 0 and 1 has no whole pixel to draw into.
    if (dst_w == 0 || dst_h == 0) return charge(0);
    left -= pstate.camera_x;
    top -= pstate.camera_y;

    // The source rectangle through the draw palette, flips applied; parts off
    // the sheet stay 0.
    static uint8_t scratch[128][128];
    sprite_lut lut;
    int32_t ox = ipart(sx), oy = ipart(sy);
    for (int32_t j = 0; j < src_h; j++) {
        int32_t py = oy + (flip_y ? src_h - 1 - j : j);
        for (int32_t i = 0; i < src_w; i++) {
            int32_t px = ox + (flip_x ? src_w - 1 - i : i);
            bool inside = px >= 0 && px < screen_size && py >= 0 && py < screen_size;
            scratch[j][i] = inside ? lut.v[sheet->rows[py][px] & 15] : 0;
        }
    }

    clip_rect c = screen_clip(b);
    int32_t xa = std::max(left, c.x0), ya = std::max(top, c.y0);
    int32_t xb = int32_t(std::min<int64_t>(int64_t(left) + dst_w, c.x1));
    int32_t yb = int32_t(std::min<int64_t>(int64_t(top) + dst_h, c.y1));
    if (xa >= xb || ya >= yb) return charge(0);
    int64_t step_x = int64_t(src_w) * 65536 / dst_w, step_y = int64_t(src_h) * 65536 / dst_h;
    bool unscaled = dst_w == src_w && dst_h == src_h;
    int32_t cols[128];
    for (int32_t i = xa; i < xb; i++) {
        int64_t k = i - left;
        cols[i - xa] = unscaled ? int32_t(k) : int32_t((step_x / 2 + k * step_x) >> 16);
    }
    for (int32_t j = ya; j < yb; j++) {
        int64_t k = j - top;
        const uint8_t* src = scratch[unscaled ? k : (step_y / 2 + k * step_y) >> 16];
        uint8_t* out = b->rows[j];
        for (int32_t i = xa; i < xb; i++) {
            uint8_t v = src[cols[i - xa]];
            if (v < 16) out[i] = v;
        }
    }
    return charge((xb - xa) * (yb - ya));
}

int32_t mivo3_map(int32_t cel_x, int32_t cel_y, int32_t sx, int32_t sy, int32_t cel_w, int32_t cel_h,
                  int32_t layer) {
    quon_bitmap* b = mivo3_back_page;
    const mivo3_cart* cart = pstate.cart;
    int32_t cw = ipart(cel_w), ch = ipart(cel_h);
    if (!b || !cart || !cart->gfx || !cart->map || cw < 1 || ch < 1) return charge(0);
    clip_rect c = screen_clip(b);
    int32_t mx = ipart(cel_x), my = ipart(cel_y);
    int32_t x = screen_x(sx), y = screen_y(sy);
    if (x < c.x0 - 7) {
        int32_t skip = (c.x0 - x) / 8;
        mx += skip;
        x += skip * 8;
        cw -= skip;
    }
    if (y < c.y0 - 7) {
        int32_t skip = (c.y0 - y) / 8;
        my += skip;
        y += skip * 8;
        ch -= skip;
    }
    cw = std::min(cw, (c.x1 - c.x0 + 7) / 8 + 1);
    ch = std::min(ch, (c.y1 - c.y0 + 7) / 8 + 1);
    int32_t flags_mask = ipart(layer);
    sprite_lut lut;
    const quon_bitmap* map = cart->map;
    int32_t cost = 0;
    for (int32_t r = 0; r < ch; r++) {
        int32_t row = my + r;
        if (row < 0 || row >= map->height) continue;
        for (int32_t col = 0; col < cw; col++) {
            int32_t column = mx + col;
            if (column < 0 || column >= map->width) continue;
            int32_t v = map->rows[row][column];
            if (v == 0) continue;
            if (flags_mask != 0 && !(cart->flags[v] & 0xff & flags_mask)) continue;
            cost += blit_cell(b, c, cart->gfx, (v & 15) * 8, (v >> 4) * 8, x + col * 8, y + r * 8, lut);
        }
    }
    return charge(cost);
}

int32_t mivo3_cls(int32_t col) {
    pstate.clip_x0 = pstate.clip_y0 = 0;
    pstate.clip_x1 = pstate.clip_y1 = screen_size;
    pstate.cursor_x = pstate.cursor_y = 0;
    if (quon_bitmap* b = mivo3_back_page) {
        quon_reset_clip(b);
        for (int32_t y = 0; y < b->height; y++) std::memset(b->rows[y], ipart(col) & 0xff, size_t(b->width));
    }
    return charge(1024);
}

int32_t mivo3_clip(int32_t x, int32_t y, int32_t w, int32_t h) {
    int32_t ix = ipart(x), iy = ipart(y);
    pstate.clip_x0 = std::clamp(ix, 0, screen_size);
    pstate.clip_y0 = std::clamp(iy, 0, screen_size);
    pstate.clip_x1 = std::clamp(ix + ipart(w), 0, screen_size);
    pstate.clip_y1 = std::clamp(iy + ipart(h), 0, screen_size);
    mivo3_apply_clip(&pstate);
    return charge(16);
}

int32_t mivo3_clip_reset() {
    pstate.clip_x0 = pstate.clip_y0 = 0;
    pstate.clip_x1 = pstate.clip_y1 = screen_size;
    mivo3_apply_clip(&pstate);
    return charge(16);
}

void mivo3_camera(int32_t x, int32_t y) {
    int32_t ix = ipart(x), iy = ipart(y);
    mivo3_poke(&pstate, pstate.cart, 0x5f28, ix & 0xff);
    mivo3_poke(&pstate, pstate.cart, 0x5f29, (ix >> 8) & 0xff);
    mivo3_poke(&pstate, pstate.cart, 0x5f2a, iy & 0xff);
    mivo3_poke(&pstate, pstate.cart, 0x5f2b, (iy >> 8) & 0xff);
}

void mivo3_color(int32_t col) { mivo3_colour_arg(col); }

void mivo3_cursor(int32_t x, int32_t y, bool has_col, int32_t col) {
    pstate.cursor_x = ipart(x);
    pstate.cursor_y = ipart(y);
    if (has_col) mivo3_colour_arg(col);
}

void mivo3_pal(int32_t c0, int32_t c1, int32_t p) {
    int32_t i = ipart(c0) & 15, v = ipart(c1);
    if (ipart(p) == 0)
        pstate.draw_palette[i] = (pstate.draw_palette[i] & 0x10) | (v & 15);
    else
        pstate.display_palette[i] = v;
}

void mivo3_pal_reset() { mivo3_reset_palettes(&pstate); }

void mivo3_palt(int32_t c, bool transparent) {
    int32_t i = ipart(c) & 15;
    pstate.draw_palette[i] = (pstate.draw_palette[i] & 15) | (transparent ? 0x10 : 0);
}

void mivo3_palt_reset() {
    for (int32_t& e : pstate.draw_palette) e &= 15;
    pstate.draw_palette[0] |= 0x10;
}

void mivo3_fillp(int32_t p) {
    pstate.fill_pattern = int32_t(uint32_t(p) >> 16) | ((p & 0x8000) ? 0x10000 : 0);
}

void mivo3_cursor_cr() {
    if (pstate.cursor_y + 6 <= 122) {
        pstate.cursor_y += 6;
        return;
    }
    if (quon_bitmap* b = mivo3_back_page) {
        for (int32_t y = 6; y < b->height; y++) std::memcpy(b->rows[y - 6], b->rows[y], size_t(b->width));
        for (int32_t y = std::max(0, b->height - 6); y < b->height; y++) std::memset(b->rows[y], 0, size_t(b->width));
    }
    spend_cpu(65536);
}

int32_t mivo3_print(const char* text, int nargs, int32_t x, int32_t y, int32_t col) {
    if (!text) text = "";
    if (nargs >= 3) {
        pstate.cursor_x = ipart(x);
        pstate.cursor_y = ipart(y);
    }
    if (nargs >= 4) mivo3_colour_arg(col);
    uint8_t mapped = mivo3_map_colour(pstate.pen_colour);
    int32_t flags = pstate.pending_command == 2 ? QUON_TEXT_COLOURISE | QUON_TEXT_WRAP : QUON_TEXT_COLOURISE;
    int32_t tx = pstate.cursor_x - pstate.camera_x, ty = pstate.cursor_y - pstate.camera_y;
    int32_t last = ty;
    if (mivo3_back_page) last = quon_draw_text_ex(mivo3_back_page, text, mivo3_print_font, tx, ty, flags, mapped);
    if (nargs == 1)
        for (int32_t lines = std::max(0, (last - ty) / 6) + 1; lines > 0; lines--) mivo3_cursor_cr();
    int64_t cost = int64_t(std::strlen(text)) * 8 + 2;
    return charge(int32_t(std::min<int64_t>(cost, 0x7fffffff)));
}

int32_t mivo3_sget(int32_t x, int32_t y) {
    const quon_bitmap* sheet = sheet_bitmap();
    int32_t ix = ipart(x), iy = ipart(y);
    if (!sheet || ix < 0 || ix >= screen_size || iy < 0 || iy >= screen_size) return 0;
    return sheet->rows[iy][ix];
}

void mivo3_sset(int32_t x, int32_t y, bool has_col, int32_t col) {
    uint8_t v = mivo3_map_colour(pen_or(has_col, col)) & 15;
    int32_t ix = ipart(x), iy = ipart(y);
    if (!pstate.cart || ix < 0 || ix >= screen_size || iy < 0 || iy >= screen_size) return;
    // Through machine memory so that the map rows sharing sheet rows 64..127
    // follow.
    int32_t addr = sheet_address(ix, iy);
    int32_t byte = mivo3_peek(&pstate, pstate.cart, addr);
    byte = (ix & 1) ? (byte & 0x0f) | (v << 4) : (byte & 0xf0) | v;
    mivo3_poke(&pstate, pstate.cart, addr, byte);
}

int32_t mivo3_mget(int32_t x, int32_t y) {
    const mivo3_cart* cart = pstate.cart;
    int32_t ix = ipart(x), iy = ipart(y);
    if (!cart || !cart->map || ix < 0 || ix >= cart->map->width || iy < 0 || iy >= cart->map->height) return 0;
    return cart->map->rows[iy][ix];
}

void mivo3_mset(int32_t x, int32_t y, int32_t v) {
    int32_t ix = ipart(x), iy = ipart(y);
    if (!pstate.cart || ix < 0 || ix >= 128 || iy < 0 || iy >= 64) return;
    int32_t addr = iy < 32 ? MIVO3_ROM_MAP + iy * 128 + ix : MIVO3_ROM_GFX_SHARED + (iy - 32) * 128 + ix;
    mivo3_poke(&pstate, pstate.cart, addr, ipart(v) & 0xff);
}

int32_t mivo3_fget(int32_t n) {
    int32_t i = ipart(n);
    if (!pstate.cart || i < 0 || i > 255) return 0;
    return pstate.cart->flags[i] & 0xff;
}

bool mivo3_fget_bit(int32_t n, int32_t f) {
    int32_t bit = ipart(f);
    if (bit < 0 || bit > 7) return false;
    return (mivo3_fget(n) >> bit) & 1;
}

void mivo3_fset(int32_t n, int32_t v) {
    int32_t i = ipart(n);
    if (!pstate.cart || i < 0 || i > 255) return;
    mivo3_poke(&pstate, pstate.cart, MIVO3_ROM_FLAGS + i, ipart(v) & 0xff);
}

void mivo3_fset_bit(int32_t n, int32_t f, bool set) {
    int32_t i = ipart(n), bit = ipart(f);
    if (!pstate.cart || i < 0 || i > 255 || bit < 0 || bit > 7) return;
    int32_t v = pstate.cart->flags[i] & 0xff;
    v = set ? v | (1 << bit) : v & ~(1 << bit);
    mivo3_poke(&pstate, pstate.cart, MIVO3_ROM_FLAGS + i, v);
}

void draw_tinted_rect_adaptive(quon_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t mode,
                               bool fixed_map) {
    if (!bmp || bmp->bits != 8) return;
    static constexpr uint8_t rank[16] = {0, 1, 3, 5, 4, 2, 11, 15, 7, 12, 13, 9, 8, 6, 10, 14};
    static constexpr uint8_t fixed[16] = {0, 0, 1, 1, 0, 0, 1, 5, 1, 5, 5, 5, 1, 1, 1, 5};
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, bmp->width - 1);
    y1 = std::min(y1, bmp->height - 1);
    if (x0 > x1 || y0 > y1) return;
    uint8_t map[16];
    std::memcpy(map, fixed, sizeof map);
    if (mode == 1 && !fixed_map) {
        int64_t count[16] = {};
        for (int32_t y = y0; y <= y1; y++)
            for (int32_t x = x0; x <= x1; x++) count[rank[bmp->rows[y][x] & 15]]++;
        int64_t area = int64_t(x1 - x0 + 1) * (y1 - y0 + 1);
        int64_t target = 2 * area / 3;
        int64_t below = count[0] + count[1];
        int32_t best = 2;
        int64_t best_gap = std::llabs(below - target);
        for (int32_t h = 3; h <= 15; h++) {
            below += count[h - 1];
            if (std::llabs(below - target) < best_gap) {
                best_gap = std::llabs(below - target);
                best = h;
            }
        }
        for (int32_t i = 0; i < 16; i++) map[i] = rank[i] >= best ? 1 : 0;
    }
    for (int32_t y = y0; y <= y1; y++)
        for (int32_t x = x0; x <= x1; x++) bmp->rows[y][x] = map[bmp->rows[y][x] & 15];
}
