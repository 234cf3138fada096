// Drawing primitives on the 128x128 screen: time per call, and through the
// "per_px" counter the time per pixel drawn.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "host/text.h"
#include "machine/draw.h"
#include "machine/pstate.h"
#include "storage/cart.h"

namespace {

constexpr int32_t I(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) << 16); }

struct machine {
    mivo3_cart* cart;
    machine() {
        reset_pstate();
        cart = quon_create_mivo3_cart();
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++) cart->gfx->rows[y][x] = uint8_t((x ^ y) & 15);
        for (int32_t y = 0; y < 64; y++)
            for (int32_t x = 0; x < 128; x++) cart->map->rows[y][x] = uint8_t(1 + (x + y * 3) % 255);
        pstate.cart = cart;
        quon_text_init();
        mivo3_print_font = quon_builtin_font(0);
    }
};

machine& m() {
    static machine instance;
    return instance;
}

void per_pixel(benchmark::State& state, double pixels) {
    state.counters["per_px"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_pset(benchmark::State& state) {
    m();
    int32_t i = 0;
    for (auto _ : state) {
        mivo3_pset(I(i & 127), I((i >> 7) & 127), true, I(i & 15));
        i++;
    }
    per_pixel(state, 1);
}

void BM_line(benchmark::State& state) {
    m();
    int32_t i = 0;
    for (auto _ : state) {
        mivo3_line(0, I(i & 127), I(127), I(127 - (i & 127)), true, I(7));
        i++;
    }
    per_pixel(state, 128);
}

void BM_line_clipped(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_line(I(-5000), I(-3000), I(5000), I(3000), true, I(7));
}

void BM_rectfill(benchmark::State& state) {
    m();
    int32_t size = int32_t(state.range(0));
    for (auto _ : state) mivo3_rectfill(0, 0, I(size - 1), I(size - 1), true, I(9));
    per_pixel(state, double(size) * size);
}

void BM_rectfill_pattern(benchmark::State& state) {
    m();
    mivo3_fillp(I(0x5a5a) + 0x8000);
    for (auto _ : state) mivo3_rectfill(0, 0, I(127), I(127), true, I(0x19));
    mivo3_fillp(0);
    per_pixel(state, 128.0 * 128);
}

void BM_circfill(benchmark::State& state) {
    m();
    int32_t r = int32_t(state.range(0));
    int64_t area = 0;
    for (int32_t y = -r; y <= r; y++)
        for (int32_t x = -r; x <= r; x++) area += x * x + y * y <= r * r + r;
    for (auto _ : state) mivo3_circfill(I(64), I(64), I(r), true, I(12));
    per_pixel(state, double(area));
}

void BM_circ(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_circ(I(64), I(64), I(40), true, I(12));
}

void BM_spr(benchmark::State& state) {
    m();
    int32_t i = 0;
    for (auto _ : state) {
        mivo3_spr(I(i & 255), I((i * 8) & 127), I((i >> 4) & 120), I(1), I(1), false, false);
        i++;
    }
    per_pixel(state, 64);
}

void BM_spr_large_flipped(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_spr(0, 0, 0, I(16), I(16), true, true);
    per_pixel(state, 128.0 * 128);
}

void BM_sspr(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_sspr(0, 0, I(32), I(32), 0, 0, I(128), I(128), false, false);
    per_pixel(state, 128.0 * 128);
}

void BM_map_full_screen(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_map(0, 0, 0, 0, I(16), I(16), 0);
    per_pixel(state, 128.0 * 128);
}

void BM_map_scrolled(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_map(0, 0, I(-3), I(-5), I(128), I(64), 0);
    per_pixel(state, 128.0 * 128);
}

void BM_print(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_print("score: 12345", 4, I(2), I(2), I(7));
}

void BM_cls(benchmark::State& state) {
    m();
    for (auto _ : state) mivo3_cls(I(1));
    per_pixel(state, 128.0 * 128);
}

}  // namespace

BENCHMARK(BM_pset);
BENCHMARK(BM_line);
BENCHMARK(BM_line_clipped);
BENCHMARK(BM_rectfill)->Arg(8)->Arg(128);
BENCHMARK(BM_rectfill_pattern);
BENCHMARK(BM_circfill)->Arg(4)->Arg(60);
BENCHMARK(BM_circ);
BENCHMARK(BM_spr);
BENCHMARK(BM_spr_large_flipped);
BENCHMARK(BM_sspr);
BENCHMARK(BM_map_full_screen);
BENCHMARK(BM_map_scrolled);
BENCHMARK(BM_print);
BENCHMARK(BM_cls);
