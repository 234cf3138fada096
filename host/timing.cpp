#include "host/timing.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>

int32_t quon_start_time = 0;
int32_t frame_start_t = 0;
int32_t smoothed_fps = 0;

static int32_t (*clock_override)() = nullptr;
static std::time_t (*calendar_override)() = nullptr;
static bool start_seed_fixed = false;
static uint32_t fixed_start_seed = 0;

int quon_get_time() { return clock_override ? clock_override() : static_cast<int>(SDL_GetTicks()); }

void quon_set_clock(int32_t (*ms)()) { clock_override = ms; }

void quon_set_calendar(std::time_t (*now)()) { calendar_override = now; }

std::time_t quon_calendar_time() { return calendar_override ? calendar_override() : std::time(nullptr); }

uint32_t quon_start_seed() {
    if (start_seed_fixed) return fixed_start_seed;
    return uint32_t(quon_calendar_time()) + uint32_t(quon_get_time());
}

void quon_fix_start_seed(bool fixed, uint32_t seed) {
    start_seed_fixed = fixed;
    fixed_start_seed = seed;
}

void quon_reset_timer() { quon_start_time = quon_get_time(); }

int quon_get_elapsed_time() {
    int elapsed = quon_get_time() - quon_start_time;
    if (elapsed < 0) {
        quon_reset_timer();
        return 0;
    }
    return elapsed;
}

void quon_delay(int ms) {
    if (ms > 0) SDL_Delay(static_cast<Uint32>(ms));
}

void quon_skip_frame() {}

// A counter stepped by a fixed odd constant and scrambled on output: one
// atomic add per number, so the shell and the audio thread can share it
// without a lock and without ever seeing the same state twice.
static std::atomic<uint64_t> random_state{0};

void quon_srand(uint32_t seed) { random_state.store(seed, std::memory_order_relaxed); }

int quon_random(int m) {
    if (m <= 0) return 0;
    uint64_t z = random_state.fetch_add(0x9E3779B97F4A7C15ull, std::memory_order_relaxed) +
                 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    // Scaling the top 32 bits keeps the bias below m / 2^32.
    return static_cast<int>(((z >> 32) * static_cast<uint64_t>(m)) >> 32);
}

int32_t quon_frame_meter_step(int32_t smoothed, int32_t dt) {
    int32_t rate = dt > 0 ? ((1000 / std::min(dt, 1000)) << 16) + 0x10000 : 0x3E90000;
    int32_t s = static_cast<int32_t>((15 * static_cast<int64_t>(smoothed) + rate) / 16);
    // Move at least 1/16 frame per second toward the instant rate, never past it.
    if (s < rate) s = std::min(s + 0x1000, rate);
    else if (s > rate) s = std::max(s - 0x1000, rate);
    return s;
}

void quon_frame_meter_update(int32_t now, int32_t shortest_ms) {
    int32_t dt = 0;
    if (frame_start_t != 0) dt = std::max(now - frame_start_t, shortest_ms);
    frame_start_t = now;
    smoothed_fps = quon_frame_meter_step(smoothed_fps, dt);
}

// The meter measures what a pass costs, not how long the loop chose to wait
// for its next frame: the wait moves the start of the pass forward.
void quon_frame_meter_skip(int32_t ms) {
    if (frame_start_t != 0 && ms > 0) frame_start_t += ms;
}

void quon_frame_meter_reset() {
    frame_start_t = 0;
    smoothed_fps = 0;
}

int quon_get_fps() { return smoothed_fps >> 16; }

int quon_choose_sleep_ms(bool active, int32_t foreground_ms, int32_t background_ms) {
    int32_t ms = active ? foreground_ms : background_ms;
    return ms > 0 ? std::min(ms, 200) : 0;
}
