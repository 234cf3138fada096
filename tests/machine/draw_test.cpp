#include "machine/draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "host/text.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/cpu.h"
#include "storage/cart.h"

namespace {

constexpr int32_t F(double v) { return static_cast<int32_t>(v * 65536.0); }
constexpr int32_t I(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) << 16); }

int dummy_state;
void no_spend(void*, int32_t) {}

class Draw : public ::testing::Test {
protected:
    void SetUp() override {
        reset_pstate();
        cart = quon_create_mivo3_cart();
        ASSERT_NE(cart, nullptr);
        pstate.cart = cart;
        // A sheet whose every pixel is distinguishable: colour from position.
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++) cart->gfx->rows[y][x] = uint8_t((x * 3 + y * 5) & 15);
        mivo3_vm = {&dummy_state, no_spend, nullptr, nullptr};
    }
    void TearDown() override {
        mivo3_vm = {};
        pstate.cart = nullptr;
        quon_destroy_mivo3_cart(cart);
    }
    static uint8_t px(int32_t x, int32_t y) { return mivo3_back_page->rows[y][x]; }
    static int count_not(uint8_t v) {
        int n = 0;
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++) n += px(x, y) != v;
        return n;
    }
    static std::vector<uint8_t> screen() {
        std::vector<uint8_t> s(128 * 128);
        for (int32_t y = 0; y < 128; y++) std::memcpy(&s[y * 128], mivo3_back_page->rows[y], 128);
        return s;
    }
    static void set_clip(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        mivo3_clip(I(x0), I(y0), I(x1 - x0), I(y1 - y0));
    }
    mivo3_cart* cart = nullptr;
};

// The analyser's points between its two clip skips, each clipped on its own.
void reference_line(std::vector<uint8_t>& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx0,
                    int32_t cy0, int32_t cx1, int32_t cy1, uint8_t colour) {
    int64_t xs = x0, ys = y0, xe = x1, ye = y1;
    if (y1 < y0) {
        std::swap(xs, xe);
        std::swap(ys, ye);
    }
    int64_t dx = xe - xs, dy = ye - ys;
    int64_t t = std::max<int64_t>(std::max(dx < 0 ? -dx : dx, dy), 1);
    if (ye < cy0 || ys >= cy1 || (xs < cx0 && xe < cx0) || (xs >= cx1 && xe >= cx1)) return;
    int64_t sx = dx * 65536 / t, sy = dy * 65536 / t;
    // Integer part of the fixed-point quotient of a distance by a step.
    auto skip = [](int64_t d, int64_t step) -> int64_t {
        int64_t q = step == 0 ? 0x7fffffff : std::clamp<int64_t>((d * 65536 * 65536) / step, -0x7fffffff, 0x7fffffff);
        return std::max<int64_t>(q >> 16, 0);
    };
    int64_t v = 0, w = 0;
    if (ys < cy0) v = std::max(v, skip(cy0 - ys, sy));
    if (xs < cx0) v = std::max(v, skip(cx0 - xs, sx));
    if (xs >= cx1) v = std::max(v, skip(xs - cx1 + 1, -sx));
    if (ye >= cy1) w = std::max(w, skip(ye - cy1 + 1, sy));
    if (xe < cx0) w = std::max(w, skip(cx0 - xe, -sx));
    if (xe >= cx1) w = std::max(w, skip(xe - cx1 + 1, sx));
    int64_t k0 = std::max<int64_t>(v, 1) - 1, n = t - k0 - std::max<int64_t>(w, 1) + 1;
    for (int64_t k = k0; k <= k0 + n; k++) {
        int64_t x = (xs * 65536 + k * sx + 0x8000) >> 16, y = (ys * 65536 + k * sy + 0x8000) >> 16;
        if (x >= cx0 && x < cx1 && y >= cy0 && y < cy1) s[y * 128 + x] = colour;
    }
}

// Midpoint circle on an unbounded plane, clipped per point.
template <typename Plot>
void reference_circle(int32_t cx, int32_t cy, int32_t r, Plot plot) {
    int32_t x = r, y = 0, d = 1 - r;
    for (;;) {
        for (int32_t sx : {-1, 1})
            for (int32_t sy : {-1, 1}) {
                plot(cx + sx * x, cy + sy * y);
                plot(cx + sx * y, cy + sy * x);
            }
        if (d < 0) {
            if (x < y + 1) break;
            d += 2 * y + 3;
            y++;
        } else {
            if (x - 1 < y + 1) break;
            d += 2 * y - 2 * x + 5;
            x--;
            y++;
        }
    }
}

template <typename Span>
void reference_circfill(int32_t cx, int32_t cy, int32_t r, Span span) {
    int32_t x = r, y = 0, d = 1 - r;
    while (x >= y) {
        span(cy + y, cx - x, cx + x);
        span(cy - y, cx - x, cx + x);
        if (d < 0) {
            d += 2 * y + 3;
            y++;
        } else {
            span(cy + x, cx - y, cx + y);
            span(cy - x, cx - y, cx + y);
            d += 2 * (y - x + 2) + 1;
            y++;
            x--;
        }
    }
}

TEST_F(Draw, ColourArgumentSetsPenAndMapsBothNibbles) {
    mivo3_pset(I(3), I(4), true, I(0x12));
    EXPECT_EQ(pstate.pen_colour, 0x12);
    EXPECT_EQ(px(3, 4), 0x12);  // outline primitives store the whole byte
    mivo3_pal(I(2), I(9), 0);
    mivo3_pal(I(1), I(14), 0);
    mivo3_pset(I(5), I(4), false, 0);
    EXPECT_EQ(px(5, 4), 0xe9);
    EXPECT_EQ(mivo3_pget(I(5), I(4)), 0xe9);
    mivo3_rectfill(I(0), I(0), I(1), I(0), true, I(0x12));
    EXPECT_EQ(px(0, 0), 9);  // filled primitives store one nibble
    // peek sees only the low nibbles of the screen
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x6000 + 4 * 64 + 2), 0x90);
}

TEST_F(Draw, ColourMayCarryAFillPatternWhenEnabled) {
    mivo3_color(I(0x1007) | 0x5a5a);
    EXPECT_EQ(pstate.fill_pattern, 0);  // flag register not set
    EXPECT_EQ(pstate.pen_colour, 7);
    mivo3_poke(&pstate, cart, MIVO3_REG_COLOUR_PATTERN, 1);
    mivo3_color(I(0x1007) | 0x5a5a);
    EXPECT_EQ(pstate.fill_pattern, 0x5a5a);
    mivo3_color(I(0x1108) | 0x00ff);
    EXPECT_EQ(pstate.fill_pattern, 0x100ff);
    EXPECT_EQ(pstate.pen_colour, 8);
    mivo3_color(I(9));  // no bit 12: the pattern stays
    EXPECT_EQ(pstate.fill_pattern, 0x100ff);
}

TEST_F(Draw, FillPatternChoosesNibbleOrTransparency) {
    mivo3_cls(I(7));
    mivo3_fillp(I(0x5a5a));
    EXPECT_EQ(pstate.fill_pattern, 0x5a5a);
    mivo3_rectfill(I(0), I(0), I(3), I(3), true, I(0x12));
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 4; x++) {
            bool bit = (0x5a5a >> (15 - (y * 4 + x))) & 1;
            EXPECT_EQ(px(x, y), bit ? 1 : 2) << x << "," << y;
        }
    mivo3_cls(I(7));
    mivo3_fillp(I(0x5a5a) + F(0.5));
    EXPECT_EQ(pstate.fill_pattern, 0x15a5a);
    mivo3_rectfill(I(0), I(0), I(7), I(3), true, I(0x12));
    mivo3_pset(I(0), I(4), true, I(0x12));   // pattern bit 0 at (0, 4)
    mivo3_pset(I(1), I(4), true, I(0x12));   // pattern bit 1: transparent
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 8; x++) {
            bool bit = (0x5a5a >> (15 - (y * 4 + (x & 3)))) & 1;
            EXPECT_EQ(px(x, y), bit ? 7 : 2) << x << "," << y;
        }
    EXPECT_EQ(px(0, 4), 0x12);
    EXPECT_EQ(px(1, 4), 7);
    // outline primitives store the high nibble alone where the bit is 1
    mivo3_fillp(I(0xffff));
    mivo3_pset(I(9), I(9), true, I(0x34));
    EXPECT_EQ(px(9, 9), 3);
    // sprites ignore the pattern
    mivo3_fillp(I(0xffff) + F(0.5));
    mivo3_spr(I(1), I(20), I(20), I(1), I(1), false, false);
    EXPECT_EQ(px(21, 20), cart->gfx->rows[0][9]);
}

TEST_F(Draw, PgetOutsideTheClipReadsZero) {
    mivo3_pset(I(100), I(100), true, I(9));
    EXPECT_EQ(mivo3_pget(I(100), I(100)), 9);
    set_clip(0, 0, 50, 50);
    EXPECT_EQ(mivo3_pget(I(100), I(100)), 0);
    EXPECT_EQ(px(100, 100), 9);
    EXPECT_EQ(mivo3_pget(I(-1), I(0)), 0);
    EXPECT_EQ(mivo3_pget(I(32767), F(-32768)), 0);
}

TEST_F(Draw, CameraShiftsEveryPrimitive) {
    mivo3_camera(I(-10), I(5));
    EXPECT_EQ(pstate.camera_x, -10);
    EXPECT_EQ(pstate.camera_y, 5);
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x5f29), 0xff);
    mivo3_pset(I(0), I(5), true, I(8));
    EXPECT_EQ(px(10, 0), 8);
    EXPECT_EQ(mivo3_pget(I(0), I(5)), 8);
    mivo3_pset(F(-0.5), I(5), true, I(9));  // floor: x -1 -> screen 9
    EXPECT_EQ(px(9, 0), 9);
    mivo3_camera(0, 0);
    EXPECT_EQ(pstate.camera_x, 0);
}

TEST_F(Draw, LineExamples) {
    EXPECT_EQ(mivo3_line(I(0), I(0), I(10), I(3), true, I(7)), 6);  // 10 steps: 10/2 + 1
    EXPECT_EQ(count_not(0), 11);
    EXPECT_EQ(pstate.line_end_x, 10);
    EXPECT_EQ(pstate.line_end_y, 3);
    std::vector<uint8_t> expect = screen();
    reference_line(expect, 5, 5, 10, 3, 0, 0, 128, 128, 7);
    mivo3_line_to(I(5), I(5));
    EXPECT_EQ(screen(), expect);
    EXPECT_EQ(pstate.line_end_x, 5);
    EXPECT_EQ(pstate.line_end_y, 5);
    // a single point
    mivo3_cls(0);
    EXPECT_EQ(mivo3_line(I(4), I(4), I(4), I(4), true, I(3)), 1);
    EXPECT_EQ(count_not(0), 1);
    EXPECT_EQ(px(4, 4), 3);
}

TEST_F(Draw, LineClippingDrawsThePointsBetweenTheSkips) {
    // The start skip leaves out a point that plotting every step would draw.
    mivo3_cls(0);
    mivo3_line(I(-121), I(-22), I(93), I(11), true, I(7));
    EXPECT_EQ(mivo3_pget(I(19), I(0)), 0);
    std::mt19937 rng(2024);
    auto coord = [&](int range) { return int32_t(rng() % (2 * range + 1)) - range + 64; };
    for (int iter = 0; iter < 6000; iter++) {
        mivo3_cls(0);
        int32_t cx0 = rng() % 100, cy0 = rng() % 100;
        int32_t cx1 = cx0 + 1 + rng() % (128 - cx0), cy1 = cy0 + 1 + rng() % (128 - cy0);
        if (iter % 5 == 0) cx0 = cy0 = 0, cx1 = cy1 = 128;
        set_clip(cx0, cy0, cx1, cy1);
        int range = iter % 3 == 0 ? 300 : iter % 3 == 1 ? 90 : 3000;
        int32_t x0 = coord(range), y0 = coord(range), x1 = coord(range), y1 = coord(range);
        if (iter % 7 == 0) y1 = y0;
        if (iter % 11 == 0) x1 = x0;
        const int32_t camx = iter % 4 == 0 ? int32_t(rng() % 61) - 30 : 0, camy = iter % 4 == 0 ? int32_t(rng() % 61) - 30 : 0;
        mivo3_camera(I(camx), I(camy));
        std::vector<uint8_t> expect = screen();
        reference_line(expect, x0 - camx, y0 - camy, x1 - camx, y1 - camy, cx0, cy0, cx1, cy1, 11);
        mivo3_line(I(x0), I(y0), I(x1), I(y1), true, I(11));
        mivo3_camera(0, 0);
        ASSERT_EQ(screen(), expect) << "camera " << camx << "," << camy << " line " << x0 << "," << y0 << " " << x1 << "," << y1 << " clip " << cx0
                                    << "," << cy0 << " " << cx1 << "," << cy1;
    }
}

TEST_F(Draw, LineChargeCountsOnlyVisibleSteps) {
    set_clip(0, 0, 128, 128);
    EXPECT_EQ(mivo3_line(I(0), I(0), I(127), I(0), true, I(1)), 127 / 2 + 1);
    EXPECT_EQ(mivo3_line(I(-1000), I(5), I(1127), I(5), true, I(1)), 129 / 2 + 1);
    EXPECT_EQ(mivo3_line(I(-50), I(-50), I(-10), I(-20), true, I(1)), 1);  // rejected: n = 0
    EXPECT_EQ(mivo3_line(I(200), I(0), I(300), I(50), true, I(1)), 1);
    int32_t before = pstate.system_cycles;
    mivo3_line(I(0), I(0), I(10), I(0), true, I(1));
    EXPECT_EQ(pstate.system_cycles - before, 6);
}

TEST_F(Draw, RectOutlineAndCharge) {
    EXPECT_EQ(mivo3_rect(I(10), I(20), I(2), I(4), true, I(5)), 2 * ((8 + 3) / 4) + 2 * (15 / 2));
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) {
            bool inside = x >= 2 && x <= 10 && y >= 4 && y <= 20;
            bool edge = inside && (x == 2 || x == 10 || y == 4 || y == 20);
            ASSERT_EQ(px(x, y), edge ? 5 : 0) << x << "," << y;
        }
    // left edge and top edge outside the clip: only right and bottom are charged
    set_clip(10, 10, 100, 100);
    int32_t w = (50 - 10 + 3) / 4, h = 50 - 10 - 1;
    EXPECT_EQ(mivo3_rect(I(0), I(0), I(50), I(50), true, I(5)), w + h / 2);
    EXPECT_EQ(mivo3_rect(I(0), I(0), I(5), I(5), true, I(5)), 0);
    EXPECT_EQ(mivo3_rect(I(120), I(120), I(100), I(100), true, I(5)), 0);  // x0 >= clip right
}

TEST_F(Draw, RectfillOrdersCornersAndCharges) {
    EXPECT_EQ(mivo3_rectfill(I(20), I(30), I(10), I(10), true, I(4)), (11 * 21) >> 4);
    EXPECT_EQ(count_not(0), 11 * 21);
    EXPECT_EQ(px(10, 10), 4);
    EXPECT_EQ(px(20, 30), 4);
    EXPECT_EQ(mivo3_rectfill(I(-100), I(-100), I(1000), I(1000), true, I(4)), 1024);
    set_clip(0, 0, 10, 10);
    EXPECT_EQ(mivo3_rectfill(I(5), I(5), I(20), I(6), true, I(4)), (5 * 2) >> 4);
    EXPECT_EQ(mivo3_rectfill(I(50), I(50), I(60), I(60), true, I(4)), 0);
    int32_t before = pstate.system_cycles;
    mivo3_rectfill(I(50), I(50), I(60), I(60), true, I(4));
    EXPECT_EQ(pstate.system_cycles - before, 1);  // a charge of 0 counts as 1
}

TEST_F(Draw, CircleExamples) {
    mivo3_circ(I(64), I(64), 0, true, I(7));
    EXPECT_EQ(count_not(0), 1);
    EXPECT_EQ(px(64, 64), 7);
    mivo3_cls(0);
    mivo3_circfill(I(64), I(64), 0, true, I(7));
    EXPECT_EQ(count_not(0), 1);
    EXPECT_EQ(px(64, 64), 7);
    mivo3_cls(0);
    mivo3_circ(I(64), I(64), I(1), true, I(7));
    EXPECT_EQ(count_not(0), 4);
    EXPECT_EQ(px(63, 64), 7);
    EXPECT_EQ(px(65, 64), 7);
    EXPECT_EQ(px(64, 63), 7);
    EXPECT_EQ(px(64, 65), 7);
    mivo3_cls(0);
    EXPECT_EQ(mivo3_circ(I(64), I(64), I(-1), true, I(7)), 0);
    EXPECT_EQ(mivo3_circfill(I(64), I(64), F(-0.5), true, I(7)), 0);
    EXPECT_EQ(count_not(0), 0);
    // the default radius the bindings pass is 4
    EXPECT_EQ(mivo3_circfill(I(64), I(64), I(4), true, I(7)), 8 + (81 >> 4));
    EXPECT_EQ(mivo3_circ(I(64), I(64), I(4), true, I(7)), 2 * 8 + 2);
}

TEST_F(Draw, CirclesAtEveryEdgeOfTheClipMatchAnUnclippedDrawing) {
    const int32_t cx0 = 20, cy0 = 30, cx1 = 100, cy1 = 90;
    std::vector<std::pair<int32_t, int32_t>> centres;
    for (int32_t d : {-12, -5, -1, 0, 1, 5}) {
        centres.push_back({cx0 + d, 60});
        centres.push_back({cx1 - 1 - d, 60});
        centres.push_back({60, cy0 + d});
        centres.push_back({60, cy1 - 1 - d});
        centres.push_back({cx0 + d, cy0 + d});
        centres.push_back({cx1 - 1 - d, cy1 - 1 - d});
    }
    for (auto [x, y] : centres)
        for (int32_t r : {0, 1, 2, 3, 7, 10, 40, 200}) {
            for (bool fill : {false, true}) {
                mivo3_cls(0);
                set_clip(cx0, cy0, cx1, cy1);
                std::vector<uint8_t> expect(128 * 128, 0);
                auto put = [&](int32_t px_, int32_t py_) {
                    if (px_ >= cx0 && px_ < cx1 && py_ >= cy0 && py_ < cy1) expect[py_ * 128 + px_] = fill ? 6 : 0x16;
                };
                int32_t cost;
                if (fill) {
                    reference_circfill(x, y, r, [&](int32_t row, int32_t a, int32_t b) {
                        for (int32_t i = a; i <= b; i++) put(i, row);
                    });
                    cost = mivo3_circfill(I(x), I(y), I(r), true, I(0x16));
                    int32_t w = std::max(0, std::min(x + r, cx1 - 1) - std::max(x - r, cx0) + 1);
                    int32_t h = std::max(0, std::min(y + r, cy1 - 1) - std::max(y - r, cy0) + 1);
                    EXPECT_EQ(cost, 2 * r + ((w * h) >> 4));
                } else {
                    reference_circle(x, y, r, put);
                    cost = mivo3_circ(I(x), I(y), I(r), true, I(0x16));
                    bool outside = x + r < cx0 || x - r >= cx1 || y + r < cy0 || y - r >= cy1;
                    int32_t h = std::max(std::min(cy1, y + r), cy0) - std::max(cy0, y - r);
                    EXPECT_EQ(cost, outside ? 0 : 2 * h + 2);
                }
                ASSERT_EQ(screen(), expect) << (fill ? "circfill " : "circ ") << x << "," << y << " r " << r;
            }
        }
}

TEST_F(Draw, SpriteBlocksAndTheirSize) {
    EXPECT_EQ(mivo3_spr(I(1), 0, 0, F(0.5), I(1), false, false), 4 * 8);
    for (int32_t y = 0; y < 10; y++)
        for (int32_t x = 0; x < 10; x++) {
            uint8_t v = cart->gfx->rows[y][x + 8];
            uint8_t expect = (x < 4 && y < 8 && v != 0) ? v : 0;
            ASSERT_EQ(px(x, y), expect) << x << "," << y;
        }
    mivo3_cls(0);
    EXPECT_EQ(mivo3_spr(I(256), 0, 0, I(1), I(1), false, false), 0);
    EXPECT_EQ(mivo3_spr(I(-1), 0, 0, I(1), I(1), false, false), 0);
    EXPECT_EQ(mivo3_spr(I(1), 0, 0, 0, I(1), false, false), 0);
    EXPECT_EQ(mivo3_spr(I(1), 0, 0, F(0.1), I(1), false, false), 0);  // floor(0.8) pixels
    EXPECT_EQ(mivo3_spr(I(1), 0, 0, I(-2), I(1), false, false), 0);
    EXPECT_EQ(count_not(0), 0);
    EXPECT_EQ(mivo3_spr(0, 0, 0, I(100), I(100), false, false), 128 * 128);  // capped at 128
}

// Per-pixel reference for spr: source position from the flips, values
// through the draw palette, 16 and above transparent, off-sheet colour 0.
void reference_spr(std::vector<uint8_t>& s, const mivo3_cart* cart, int32_t n, int32_t x, int32_t y, int32_t w,
                   int32_t h, bool fx, bool fy, int32_t cx0, int32_t cy0, int32_t cx1, int32_t cy1) {
    for (int32_t j = 0; j < h; j++)
        for (int32_t i = 0; i < w; i++) {
            int32_t dx = x + i, dy = y + j;
            if (dx < cx0 || dx >= cx1 || dy < cy0 || dy >= cy1) continue;
            int32_t sx = (n % 16) * 8 + (fx ? w - 1 - i : i), sy = (n / 16) * 8 + (fy ? h - 1 - j : j);
            int32_t v = (sx < 128 && sy < 128) ? pstate.draw_palette[cart->gfx->rows[sy][sx]] : 0;
            if (v < 16) s[dy * 128 + dx] = uint8_t(v);
        }
}

TEST_F(Draw, SpritesAtEveryEdgeOfTheClip) {
    mivo3_palt(I(3), true);
    mivo3_pal(I(5), I(12), 0);
    const int32_t cx0 = 17, cy0 = 9, cx1 = 111, cy1 = 120;
    for (int32_t n : {0, 17, 255})
        for (int32_t size : {1, 2})
            for (int32_t flips = 0; flips < 4; flips++)
                for (int32_t ex : {cx0 - 16, cx0 - 9, cx0 - 8, cx0 - 7, cx0 - 1, cx0, 60, cx1 - 8, cx1 - 7, cx1 - 1,
                                   cx1, cx1 + 3})
                    for (int32_t ey : {cy0 - 9, cy0 - 3, cy0, 50, cy1 - 8, cy1 - 2, cy1}) {
                        mivo3_cls(I(14));
                        set_clip(cx0, cy0, cx1, cy1);
                        std::vector<uint8_t> expect = screen();
                        bool fx = flips & 1, fy = flips & 2;
                        reference_spr(expect, cart, n, ex, ey, size * 8, size * 8, fx, fy, cx0, cy0, cx1, cy1);
                        int32_t cost = mivo3_spr(I(n), I(ex), I(ey), I(size), I(size), fx, fy);
                        int32_t w = std::max(0, std::min(ex + size * 8, cx1) - std::max(ex, cx0));
                        int32_t h = std::max(0, std::min(ey + size * 8, cy1) - std::max(ey, cy0));
                        ASSERT_EQ(cost, w * h);
                        ASSERT_EQ(screen(), expect) << n << " at " << ex << "," << ey << " flips " << flips;
                    }
}

TEST_F(Draw, PaletteTransparencyAppliesToSpritesOnly) {
    for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) cart->gfx->rows[y][x] = 7;
    mivo3_pal(I(7), I(8), 0);
    mivo3_palt(I(7), true);
    EXPECT_EQ(pstate.draw_palette[7], 0x18);
    mivo3_cls(I(2));
    mivo3_spr(0, 0, 0, I(1), I(1), false, false);
    EXPECT_EQ(count_not(2), 0);
    mivo3_pset(I(0), I(0), true, I(7));
    EXPECT_EQ(px(0, 0), 8);
    mivo3_palt(I(7), false);
    mivo3_spr(0, I(10), 0, I(1), I(1), false, false);
    EXPECT_EQ(px(10, 0), 8);
    mivo3_pal(I(3), I(0x1f), I(1));
    EXPECT_EQ(pstate.display_palette[3], 0x1f);
    mivo3_palt(I(4), true);
    mivo3_palt_reset();
    EXPECT_EQ(pstate.draw_palette[0], 0x10);
    EXPECT_EQ(pstate.draw_palette[4], 4);
    EXPECT_EQ(pstate.draw_palette[7], 8);
    mivo3_pal_reset();
    EXPECT_EQ(pstate.draw_palette[7], 7);
    EXPECT_EQ(pstate.display_palette[3], 3);
}

TEST_F(Draw, StretchedSprites) {
    // mirrored left-right and doubled, covering x 0..15
    EXPECT_EQ(mivo3_sspr(0, 0, I(8), I(8), I(16), I(16), I(-16), I(16), false, false), 16 * 16);
    for (int32_t y = 16; y < 32; y++)
        for (int32_t x = 0; x < 16; x++) {
            int32_t v = pstate.draw_palette[cart->gfx->rows[(y - 16) / 2][7 - x / 2]];
            ASSERT_EQ(px(x, y), v < 16 ? v : 0) << x << "," << y;
        }
    EXPECT_EQ(px(16, 16), 0);
    // unscaled equals spr with the same flips
    mivo3_cls(0);
    mivo3_sspr(I(8), I(16), I(8), I(8), I(40), I(40), I(8), I(8), true, true);
    std::vector<uint8_t> expect(128 * 128, 0);
    reference_spr(expect, cart, 2 * 16 + 1, 40, 40, 8, 8, true, true, 0, 0, 128, 128);
    EXPECT_EQ(screen(), expect);
    // shrinking samples every other column
    mivo3_cls(0);
    mivo3_sspr(I(0), I(0), I(16), I(16), I(0), I(0), I(8), I(8), false, false);
    for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) {
            int32_t v = pstate.draw_palette[cart->gfx->rows[y * 2 + 1][x * 2 + 1]];
            ASSERT_EQ(px(x, y), v < 16 ? v : 0);
        }
    // invalid sizes draw nothing
    mivo3_cls(0);
    EXPECT_EQ(mivo3_sspr(0, 0, F(0.5), I(8), 0, 0, I(8), I(8), false, false), 0);
    EXPECT_EQ(mivo3_sspr(0, 0, I(129), I(8), 0, 0, I(8), I(8), false, false), 0);
    EXPECT_EQ(mivo3_sspr(0, 0, I(8), I(8), 0, 0, 0, I(8), false, false), 0);
    EXPECT_EQ(mivo3_sspr(0, 0, I(8), I(8), 0, 0, F(0.5), I(8), false, false), 0);
    EXPECT_EQ(count_not(0), 0);
    // clipped columns do not shift the sampling
    set_clip(5, 0, 128, 128);
    mivo3_sspr(0, 0, I(8), I(1), I(0), I(0), I(24), I(1), false, false);
    for (int32_t x = 5; x < 24; x++) {
        int32_t v = pstate.draw_palette[cart->gfx->rows[0][x / 3]];
        ASSERT_EQ(px(x, 0), v < 16 ? v : 0) << x;
    }
}

TEST_F(Draw, MapDrawsCellsAsSpritesWithLayers) {
    for (int32_t x = 0; x < 128; x++)
        for (int32_t y = 0; y < 64; y++) cart->map->rows[y][x] = uint8_t((x + y) % 7);
    cart->flags[3] = 0x02;
    // cell 0 never draws
    mivo3_cls(I(9));
    int32_t cost = mivo3_map(0, 0, 0, 0, I(128), I(32), 0);
    int32_t drawn = 0;
    for (int32_t cy = 0; cy < 16; cy++)
        for (int32_t cx = 0; cx < 16; cx++) {
            int32_t v = (cx + cy) % 7;
            if (v) drawn++;
            std::vector<uint8_t> s = screen();
            for (int32_t j = 0; j < 8; j++)
                for (int32_t i = 0; i < 8; i++) {
                    int32_t p = v ? pstate.draw_palette[cart->gfx->rows[(v / 16) * 8 + j][(v % 16) * 8 + i]] : 16;
                    ASSERT_EQ(s[(cy * 8 + j) * 128 + cx * 8 + i], p < 16 ? p : 9) << cx << "," << cy;
                }
        }
    EXPECT_EQ(cost, drawn * 64);
    // layer: only sprite 3 has flag bit 1
    mivo3_cls(0);
    cost = mivo3_map(0, 0, 0, 0, I(16), I(16), I(2));
    int32_t threes = 0;
    for (int32_t cy = 0; cy < 16; cy++)
        for (int32_t cx = 0; cx < 16; cx++) threes += (cx + cy) % 7 == 3;
    EXPECT_EQ(cost, threes * 64);
    EXPECT_EQ(mivo3_map(0, 0, 0, 0, 0, I(16), 0), 0);
    EXPECT_EQ(mivo3_map(0, 0, 0, 0, I(4), F(0.5), 0), 0);
    // partial cells at the clip are charged by their visible area
    mivo3_cls(0);
    cart->map->rows[0][0] = 1;
    EXPECT_EQ(mivo3_map(0, 0, I(-3), I(-5), I(1), I(1), 0), 5 * 3);
}

TEST_F(Draw, MapSkipsCellsLeftOfTheClipWithoutShiftingThem) {
    for (int32_t x = 0; x < 128; x++)
        for (int32_t y = 0; y < 64; y++) cart->map->rows[y][x] = uint8_t(1 + (x * 7 + y * 3) % 200);
    mivo3_camera(I(1003), I(250));
    mivo3_cls(0);
    mivo3_map(0, 0, 0, 0, I(128), I(64), 0);
    std::vector<uint8_t> fast = screen();
    // reference: every cell drawn as a sprite
    mivo3_cls(0);
    for (int32_t cy = 0; cy < 64; cy++)
        for (int32_t cx = 0; cx < 128; cx++)
            mivo3_spr(I(cart->map->rows[cy][cx]), I(cx * 8), I(cy * 8), I(1), I(1), false, false);
    EXPECT_EQ(screen(), fast);
    EXPECT_NE(count_not(0), 0);
}

TEST_F(Draw, ClsClipAndCursor) {
    set_clip(10, 10, 20, 20);
    pstate.cursor_x = 40;
    pstate.cursor_y = 50;
    EXPECT_EQ(mivo3_cls(I(0x1f)), 1024);
    EXPECT_EQ(count_not(0x1f), 0);  // not mapped, low 8 bits
    EXPECT_EQ(pstate.cursor_x, 0);
    EXPECT_EQ(pstate.cursor_y, 0);
    EXPECT_EQ(mivo3_back_page->cx1, 128);
    EXPECT_EQ(mivo3_clip(I(-5), I(100), I(20), I(50)), 16);
    EXPECT_EQ(pstate.clip_x0, 0);
    EXPECT_EQ(pstate.clip_y0, 100);
    EXPECT_EQ(pstate.clip_x1, 15);
    EXPECT_EQ(pstate.clip_y1, 128);
    EXPECT_EQ(mivo3_back_page->cx1, 15);
    EXPECT_EQ(mivo3_clip_reset(), 16);
    EXPECT_EQ(mivo3_back_page->cy0, 0);
    mivo3_cursor(I(3), I(4), true, I(12));
    EXPECT_EQ(pstate.cursor_x, 3);
    EXPECT_EQ(pstate.pen_colour, 12);
    mivo3_fillp(I(-1));
    EXPECT_EQ(pstate.fill_pattern, 0xffff);
}

TEST_F(Draw, SheetAndMapCellsShareRows) {
    mivo3_sset(I(0), I(64), true, I(1));
    mivo3_sset(I(1), I(64), true, I(2));
    EXPECT_EQ(mivo3_sget(I(1), I(64)), 2);
    EXPECT_EQ(mivo3_mget(I(0), I(32)), 0x21);
    mivo3_mset(I(2), I(32), I(0x43));
    EXPECT_EQ(mivo3_sget(I(4), I(64)), 3);
    EXPECT_EQ(mivo3_sget(I(5), I(64)), 4);
    mivo3_mset(I(5), I(5), I(77));
    EXPECT_EQ(mivo3_mget(I(5), I(5)), 77);
    mivo3_sset(I(128), I(0), true, I(1));
    mivo3_mset(I(-1), I(0), I(1));
    mivo3_mset(I(0), I(64), I(1));
    EXPECT_EQ(mivo3_sget(I(-1), I(0)), 0);
    EXPECT_EQ(mivo3_mget(I(0), I(64)), 0);
    mivo3_pal(I(6), I(13), 0);
    mivo3_sset(I(7), I(7), true, I(6));  // through the draw palette
    EXPECT_EQ(mivo3_sget(I(7), I(7)), 13);
}

TEST_F(Draw, SpriteFlags) {
    mivo3_fset(I(3), I(0x1a5));
    EXPECT_EQ(mivo3_fget(I(3)), 0xa5);
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x3003), 0xa5);
    EXPECT_TRUE(mivo3_fget_bit(I(3), I(0)));
    EXPECT_FALSE(mivo3_fget_bit(I(3), I(1)));
    EXPECT_FALSE(mivo3_fget_bit(I(3), I(8)));
    mivo3_fset_bit(I(3), I(1), true);
    mivo3_fset_bit(I(3), I(7), false);
    EXPECT_EQ(mivo3_fget(I(3)), 0x27);
    mivo3_fset_bit(I(3), I(9), true);
    mivo3_fset(I(256), I(1));
    mivo3_fset(I(-1), I(1));
    EXPECT_EQ(mivo3_fget(I(3)), 0x27);
    EXPECT_EQ(mivo3_fget(I(300)), 0);
    EXPECT_FALSE(mivo3_fget_bit(I(-1), 0));
}

TEST_F(Draw, PrintAndScrolling) {
    ASSERT_EQ(quon_text_init(), 0);
    mivo3_print_font = quon_builtin_font(0);
    pstate.cursor_y = 0;
    EXPECT_EQ(mivo3_print("ab", 1, 0, 0, 0), 8 * 2 + 2);
    EXPECT_EQ(pstate.cursor_y, 6);
    int lit = count_not(0);
    EXPECT_GT(lit, 0);
    for (int32_t y = 6; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) ASSERT_EQ(px(x, y), 0);
    // three arguments place the cursor and leave it there; colour mapped
    mivo3_pal(I(4), I(10), 0);
    mivo3_print("x", 4, I(50), I(60), I(4));
    EXPECT_EQ(pstate.cursor_y, 60);
    EXPECT_EQ(pstate.pen_colour, 4);
    bool found = false;
    for (int32_t y = 60; y < 66; y++)
        for (int32_t x = 50; x < 56; x++) found |= px(x, y) == 10;
    EXPECT_TRUE(found);
    // two lines move the cursor two lines
    pstate.cursor_y = 10;
    mivo3_print("a\nb", 1, 0, 0, 0);
    EXPECT_EQ(pstate.cursor_y, 22);
    // printing at 120 scrolls by 6 rows and keeps the cursor
    mivo3_cls(0);
    mivo3_rectfill(0, I(10), I(127), I(10), true, I(3));
    pstate.cursor_y = 120;
    int32_t before = pstate.system_cycles;
    mivo3_print("a", 1, 0, 0, 0);
    EXPECT_EQ(pstate.cursor_y, 120);
    EXPECT_EQ(pstate.system_cycles - before, 65536 + 10);
    EXPECT_EQ(px(0, 4), 3);
    EXPECT_EQ(px(0, 10), 0);
    int glyph_rows = 0;
    for (int32_t y = 114; y < 120; y++)
        for (int32_t x = 0; x < 8; x++) glyph_rows += px(x, y) != 0;
    EXPECT_GT(glyph_rows, 0);
    for (int32_t y = 122; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) ASSERT_EQ(px(x, y), 0);
    mivo3_print_font = nullptr;
    quon_text_exit();
}

TEST_F(Draw, DarkenedBackdrop) {
    for (int32_t x = 0; x < 16; x++) mivo3_back_page->rows[0][x] = uint8_t(x);
    draw_tinted_rect_adaptive(mivo3_back_page, 0, 0, 15, 0, 0);
    const uint8_t fixed[16] = {0, 0, 1, 1, 0, 0, 1, 5, 1, 5, 5, 5, 1, 1, 1, 5};
    for (int32_t x = 0; x < 16; x++) EXPECT_EQ(px(x, 0), fixed[x]) << x;
    // adaptive: 16 colours once each, target 10 pixels below the threshold
    // rank: the ten darkest ranks (0..9) go to 0
    const uint8_t rank[16] = {0, 1, 3, 5, 4, 2, 11, 15, 7, 12, 13, 9, 8, 6, 10, 14};
    for (int32_t x = 0; x < 16; x++) mivo3_back_page->rows[1][x] = uint8_t(x);
    draw_tinted_rect_adaptive(mivo3_back_page, 15, 1, 0, 1, 1);
    for (int32_t x = 0; x < 16; x++) EXPECT_EQ(px(x, 1), rank[x] >= 10 ? 1 : 0) << x;
    for (int32_t x = 0; x < 16; x++) mivo3_back_page->rows[2][x] = uint8_t(x);
    draw_tinted_rect_adaptive(mivo3_back_page, 0, 2, 15, 2, 1, true);
    for (int32_t x = 0; x < 16; x++) EXPECT_EQ(px(x, 2), fixed[x]) << x;
    // a rectangle beyond the bitmap is cut to it
    draw_tinted_rect_adaptive(mivo3_back_page, -50, -50, 500, 500, 1);
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) ASSERT_LE(px(x, y), 1);
}

TEST_F(Draw, HostileArgumentsStayInsideTheScreen) {
    const int32_t extremes[] = {I(-32768), I(32767), I(-32767), 0x7fffffff, int32_t(0x80000000), I(-1), I(127),
                                I(128), F(0.5), 0, I(-200), I(300)};
    std::mt19937 rng(5);
    auto pick = [&] { return rng() % 3 ? extremes[rng() % std::size(extremes)] : int32_t(rng()); };
    for (int iter = 0; iter < 4000; iter++) {
        if (iter % 50 == 0) {
            mivo3_camera(pick(), pick());
            if (iter % 100 == 0) mivo3_clip(pick(), pick(), pick(), pick());
            else mivo3_clip_reset();
            mivo3_fillp(pick());
        }
        switch (iter % 10) {
        case 0: mivo3_pset(pick(), pick(), true, pick()); mivo3_pget(pick(), pick()); break;
        case 1: mivo3_line(pick(), pick(), pick(), pick(), true, pick()); mivo3_line_to(pick(), pick()); break;
        case 2: mivo3_rect(pick(), pick(), pick(), pick(), true, pick()); break;
        case 3: mivo3_rectfill(pick(), pick(), pick(), pick(), true, pick()); break;
        case 4: mivo3_circ(pick(), pick(), pick(), true, pick()); break;
        case 5: mivo3_circfill(pick(), pick(), pick(), true, pick()); break;
        case 6: mivo3_spr(pick(), pick(), pick(), pick(), pick(), rng() & 1, rng() & 1); break;
        case 7:
            mivo3_sspr(pick(), pick(), pick(), pick(), pick(), pick(), pick(), pick(), rng() & 1, rng() & 1);
            break;
        case 8: mivo3_map(pick(), pick(), pick(), pick(), pick(), pick(), pick()); break;
        case 9:
            mivo3_sset(pick(), pick(), true, pick());
            mivo3_mset(pick(), pick(), pick());
            mivo3_sget(pick(), pick());
            mivo3_mget(pick(), pick());
            mivo3_pal(pick(), pick(), pick());
            mivo3_palt(pick(), rng() & 1);
            break;
        }
    }
    // a full-screen circle of huge radius is still a circle outline
    mivo3_camera(0, 0);
    mivo3_clip_reset();
    mivo3_fillp(0);
    mivo3_pal_reset();
    mivo3_cls(0);
    mivo3_circ(I(64), I(64), I(32767), true, I(7));
    EXPECT_EQ(count_not(0), 0);
    mivo3_circfill(I(64), I(64), I(32767), true, I(7));
    EXPECT_EQ(count_not(7), 0);
}

}  // namespace
