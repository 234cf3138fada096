// Capture: what recording costs every frame, how long a GIF of a full
// default ring (239 frames at scale 2) takes on the worker and what starting
// it costs the main thread, a screenshot written at once, and the longest
// main-thread frame while a save runs against the longest without it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <string>

#include "capture/capture.h"
#include "host/bitmap.h"
#include "host/paths.h"
#include "shell/app.h"

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

struct bench_setup {
    fs::path desktop = fs::temp_directory_path() / ("mivo3_bench_capture_" + std::to_string(::getpid()));
    quon_bitmap* frame = quon_create_bitmap(128, 128, 8);
    bench_setup() {
        reset_capture();
        app.gif_len = 8;
        app.gif_scale = 2;
        fs::create_directories(desktop);
        quon_set_desktop_path(desktop.string() + "/");
    }
    ~bench_setup() {
        reset_capture();
        quon_destroy_bitmap(frame);
        fs::remove_all(desktop);
    }
    // A moving pattern of the 16 colours, a different picture every frame.
    void draw(int k) {
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) frame->rows[y][x] = uint8_t(((x + k) / 8 + (y / 8) * (k % 3 + 1)) & 15);
    }
    void fill_ring() {
        for (int k = 0; k < 239; k++) {
            draw(k);
            record_video_frame(frame);
        }
    }
};

void BM_record_video_frame(benchmark::State& state) {
    bench_setup s;
    s.draw(1);
    for (auto _ : state) record_video_frame(s.frame);
}
BENCHMARK(BM_record_video_frame);

void BM_save_gif_239_frames_scale_2_on_the_worker(benchmark::State& state) {
    bench_setup s;
    s.fill_ring();
    for (auto _ : state) {
        start_gif_save("saved", "failed");
        capture_wait();
        state.PauseTiming();
        for (const auto& e : fs::directory_iterator(s.desktop)) fs::remove(e.path());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_save_gif_239_frames_scale_2_on_the_worker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// What F9 costs the main thread: naming the file, copying the ring and
// starting the worker.
void BM_start_gif_save_on_the_main_thread(benchmark::State& state) {
    bench_setup s;
    s.fill_ring();
    for (auto _ : state) {
        start_gif_save("saved", "failed");
        state.PauseTiming();
        capture_wait();
        for (const auto& e : fs::directory_iterator(s.desktop)) fs::remove(e.path());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_start_gif_save_on_the_main_thread)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20);

// A screenshot at the default scale 3 written on the calling thread: what
// the worker spares the frame in which F6 is pressed.
void BM_save_png_screenshot_scale_3_at_once(benchmark::State& state) {
    bench_setup s;
    s.draw(5);
    app.screenshot_scale = 3;
    for (auto _ : state) {
        save_png_screenshot(s.frame);
        state.PauseTiming();
        for (const auto& e : fs::directory_iterator(s.desktop)) fs::remove(e.path());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_save_png_screenshot_scale_3_at_once)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// A main-thread frame: the picture drawn and recorded. With a save, the
// first frame also starts it (the frame in which F9 is pressed) and frames
// run until the worker is done; without, as many frames.
void BM_longest_main_thread_frame(benchmark::State& state) {
    const bool saving = state.range(0) != 0;
    bench_setup s;
    s.fill_ring();
    double longest_us = 0;
    int frames = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2000; k++) {
            const auto t0 = clock_type::now();
            if (saving && k == 0) start_gif_save("saved", "failed");
            s.draw(k);
            record_video_frame(s.frame);
            longest_us = std::max(longest_us, std::chrono::duration<double, std::micro>(clock_type::now() - t0).count());
            frames++;
            // A 30 fps player waits between frames; so does this loop.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        capture_wait();
    }
    state.counters["longest_frame_us"] = longest_us;
    state.counters["frames"] = frames;
}
BENCHMARK(BM_longest_main_thread_frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
