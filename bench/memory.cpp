// Machine memory throughput: single-byte peek and poke per range, and block
// copies through the translation (a full screen copy, sprite sheet, user
// data, and the byte-by-byte register path).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "machine/lua_alloc.h"
#include "machine/memory.h"
#include "storage/cart.h"

namespace {

struct machine_fixture {
    mivo3_cart* cart;
    machine_fixture()
    {
        reset_pstate();
        cart = quon_create_mivo3_cart();
        pstate.cart = cart;
        for (int32_t a = 0; a < 0x8000; a += 3)
            if (a < 0x5e00 || a >= 0x6000)
                mivo3_poke(&pstate, cart, a, a * 7);
    }
    ~machine_fixture() { quon_destroy_mivo3_cart(cart); }
};

void BM_peek(benchmark::State& state)
{
    machine_fixture f;
    const int32_t base = int32_t(state.range(0));
    int32_t off = 0;
    uint32_t sum = 0;
    for (auto _ : state) {
        sum += mivo3_peek(&pstate, f.cart, base + off);
        off = (off + 1) & 0xff;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_peek)->Arg(0x0000)->Arg(0x2000)->Arg(0x3200)->Arg(0x4300)->Arg(0x5f00)->Arg(0x6000);

void BM_poke(benchmark::State& state)
{
    machine_fixture f;
    const int32_t base = int32_t(state.range(0));
    int32_t off = 0;
    for (auto _ : state) {
        mivo3_poke(&pstate, f.cart, base + off, off);
        off = (off + 1) & 0xff;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_poke)->Arg(0x0000)->Arg(0x1000)->Arg(0x2000)->Arg(0x3200)->Arg(0x4300)->Arg(0x6000);

void BM_memcpy(benchmark::State& state)
{
    machine_fixture f;
    const int32_t dst = int32_t(state.range(0)), src = int32_t(state.range(1));
    const int32_t len = int32_t(state.range(2));
    for (auto _ : state) {
        mivo3_memcpy(&pstate, f.cart, dst, src, len);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * len);
}
BENCHMARK(BM_memcpy)
    ->ArgNames({"dst", "src", "len"})
    ->Args({0x6000, 0x6000 + 64, 0x2000 - 64})  // scroll the screen up one row
    ->Args({0x4300, 0x6000, 0x1b00})            // screen to user data
    ->Args({0x6000, 0x0000, 0x2000})            // sprite sheet onto the screen
    ->Args({0x0000, 0x2000, 0x1000})            // map to sprite sheet
    ->Args({0x3200, 0x4300, 0x1100})            // user data into the sfx
    ->Args({0x4300, 0x3200, 0x1100})            // the sfx into user data
    ->Args({0x4301, 0x4300, 0x1000})            // overlapping user data
    ->Args({0x5f00, 0x4300, 0x80});             // into the registers, byte by byte

void BM_memset_screen(benchmark::State& state)
{
    machine_fixture f;
    for (auto _ : state) {
        mivo3_memset(&pstate, f.cart, 0x6000, 0x11, 0x2000);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 0x2000);
}
BENCHMARK(BM_memset_screen);

void BM_reload_cart(benchmark::State& state)
{
    machine_fixture f;
    mivo3_cart* rom = quon_create_mivo3_cart();
    for (auto _ : state) {
        mivo3_reload(&pstate, f.cart, rom, 0, 0, 0x4300);
        benchmark::ClobberMemory();
    }
    quon_destroy_mivo3_cart(rom);
    state.SetBytesProcessed(state.iterations() * 0x4300);
}
BENCHMARK(BM_reload_cart);

void BM_lua_alloc_free(benchmark::State& state)
{
    machine_state* m = &pstate;
    reset_pstate();
    for (auto _ : state) {
        void* p = mivo3_lua_alloc(m, nullptr, 5, 64);
        benchmark::DoNotOptimize(p);
        mivo3_lua_alloc(m, p, 64, 0);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_lua_alloc_free);

}  // namespace
