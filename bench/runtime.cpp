// Whole machine frames of benchmark carts through the headless driver: host
// time per machine frame (the "time" column), for a cart that spends its CPU
// budget on arithmetic and tables at 60 fps and for a drawing-heavy cart.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "host/text.h"
#include "machine/draw.h"
#include "machine/pstate.h"
#include "runtime/driver.h"
#include "runtime/run_loop.h"
#include "storage/cart.h"

namespace {

// Keeps its update near 90% of the 60 fps budget by adjusting the work.
const char* const arithmetic_cart = R"(
t={} for i=1,64 do t[i]=i end
n=2000
function _update60()
 for i=1,n do
  local k=i%64+1
  t[k]=(t[k]*3+i)%1000
 end
 local c=stat(1)
 if c<0.85 then n+=50 elseif c>0.95 then n-=50 end
end
)";

const char* const drawing_cart = R"(
function _draw()
 cls()
 map(0,0,0,0,16,16)
 for i=0,255 do spr(i,(i%16)*8,flr(i/16)*8) end
 for i=0,63 do circfill((i*13)%128,(i*29)%128,6,i%16) end
 print("the quick brown fox jumps over",0,60,7)
end
)";

void start_cart(const char* code) {
    mivo3_driver_open();
    quon_text_init();
    mivo3_print_font = quon_builtin_font(0);
    mivo3_cart* cart = pstate.cart;
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) cart->gfx->rows[y][x] = uint8_t((x ^ y) & 15);
    for (int32_t y = 0; y < 64; y++)
        for (int32_t x = 0; x < 128; x++) cart->map->rows[y][x] = uint8_t(1 + (x + y * 3) % 255);
    mivo3_driver_load_code(code);
    mivo3_driver_start();
}

void run_frames(benchmark::State& state, const char* code) {
    start_cart(code);
    mivo3_driver_frames(120);  // settle the frame rate and the adaptive work
    int64_t unfinished = 0;
    for (auto _ : state) unfinished += mivo3_driver_frame();
    state.counters["fps"] = pstate.current_fps;
    state.counters["cpu"] = double(mivo3_run.prev_load) / 65536.0;
    state.counters["unfinished"] = double(unfinished);
    if (!mivo3_driver_running()) state.SkipWithError(mivo3_driver_output_text().c_str());
    mivo3_driver_close();
}

void BM_arithmetic_cart_60fps(benchmark::State& state) { run_frames(state, arithmetic_cart); }
void BM_drawing_cart(benchmark::State& state) { run_frames(state, drawing_cart); }

BENCHMARK(BM_arithmetic_cart_60fps)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_drawing_cart)->Unit(benchmark::kMicrosecond);

}  // namespace
