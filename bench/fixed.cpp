// Fixed-point operations over a ring of varied operands, ns per operation.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "machine/fixed.h"

namespace {

struct operands {
    std::array<int32_t, 1024> a, b;
    operands() {
        std::mt19937 rng(99);
        for (size_t i = 0; i < a.size(); i++) {
            a[i] = static_cast<int32_t>(rng()) >> (rng() % 16);
            b[i] = static_cast<int32_t>(rng()) >> (rng() % 16);
            if (b[i] == 0) b[i] = 1;
        }
    }
};
const operands ops;

template <typename Fn>
void run_binary(benchmark::State& state, Fn fn) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fn(ops.a[i], ops.b[i]));
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_fmul(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t b) { return m3_fmul(a, b); }); }
void BM_fdiv(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t b) { return m3_fdiv(a, b); }); }
void BM_fmod(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t b) { return m3_fmod(a, b); }); }
void BM_arith_div(benchmark::State& s) {
    run_binary(s, [](int32_t a, int32_t b) { return mivo3_arith(mivo3_op_div, a, b); });
}
void BM_fsin(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t) { return fsin(a); }); }
void BM_fcos(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t) { return fcos(a); }); }
void BM_fatan2(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t b) { return fatan2(a, b); }); }
void BM_fsqrt(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t) { return fsqrt(a); }); }
void BM_fpow_int(benchmark::State& s) {
    run_binary(s, [](int32_t a, int32_t b) { return m3_fpow(a, (b & 0x70000)); });
}
void BM_fpow_frac(benchmark::State& s) { run_binary(s, [](int32_t a, int32_t b) { return m3_fpow(a, b & 0x3ffff); }); }
void BM_fixed_to_string(benchmark::State& s) {
    char buf[mivo3_fixed_text_max];
    run_binary(s, [&](int32_t a, int32_t) { return mivo3_fixed_to_string(buf, a); });
}
void BM_str2d_decimal(benchmark::State& s) {
    int32_t v;
    for (auto _ : s) benchmark::DoNotOptimize(luaO_str2d("123.456", 7, &v));
}
void BM_str2d_hex(benchmark::State& s) {
    int32_t v;
    for (auto _ : s) benchmark::DoNotOptimize(luaO_str2d("0x7f3a.8c", 9, &v));
}

}  // namespace

BENCHMARK(BM_fmul);
BENCHMARK(BM_fdiv);
BENCHMARK(BM_fmod);
BENCHMARK(BM_arith_div);
BENCHMARK(BM_fsin);
BENCHMARK(BM_fcos);
BENCHMARK(BM_fatan2);
BENCHMARK(BM_fsqrt);
BENCHMARK(BM_fpow_int);
BENCHMARK(BM_fpow_frac);
BENCHMARK(BM_fixed_to_string);
BENCHMARK(BM_str2d_decimal);
BENCHMARK(BM_str2d_hex);
