#include "tools/mivo3-run/run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/wav.h"
#include "capture/capture.h"
#include "host/bitmap.h"
#include "host/display.h"
#include "host/main_loop.h"
#include "host/paths.h"
#include "host/timing.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/shell.h"

namespace fs = std::filesystem;

namespace {

// The calendar of a seeded run starts at 2000-01-01 00:00:00 UTC.
constexpr std::time_t seeded_calendar_start = 946684800;
// Time moves in 60ths of a second: a frame at 60 a second is one tick, any
// other frame two.
constexpr int64_t ticks_per_second = 60;

struct run_state {
    const run_plan* plan = nullptr;
    run_input input;
    int32_t frame = 0;  // the frame the current update runs
    int64_t ticks = 0;  // machine time before the current frame
    std::vector<std::string> lines;  // console lines of the current update
    std::string printh;              // every printh text, each followed by '\n'
    std::vector<std::vector<uint8_t>> clips;  // the GIFs' recorded frames
    void (*shell_record_frame)() = nullptr;
    std::string temporary_home;
} state;

int32_t run_clock() { return int32_t(state.ticks * 1000 / ticks_per_second); }

std::time_t run_calendar() { return seeded_calendar_start + std::time_t(state.ticks / ticks_per_second); }

// The buttons of frame f are held while the shell samples them for frame
// f: at the start of its update, and at the flip that ends frame f - 1 (from
// which the generated main loop's _update takes them).
void hold_frame_buttons(int32_t frame) {
    for (int32_t p = 0; p < MIVO3_PLAYERS; p++) buttons.player_input_slots[p] = state.input.mask(frame, p);
}

void hold_buttons() { hold_frame_buttons(state.frame); }

void hold_next_frame_buttons() { hold_frame_buttons(state.frame + 1); }

void console_line(const char* line) { state.lines.emplace_back(line ? line : ""); }

// Lines of an update in which the cart failed, and lines printed before the
// first frame (notes on loading an old cart, or why it could not be loaded),
// go to standard error; the rest to standard output.
void flush_lines(bool to_stderr) {
    if (state.lines.empty()) return;
    std::fflush(stdout);
    for (const std::string& line : state.lines) {
        std::fputs(line.c_str(), to_stderr ? stderr : stdout);
        std::fputc('\n', to_stderr ? stderr : stdout);
    }
    state.lines.clear();
}

void printh_line(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    state.printh.append(text);
    state.printh += '\n';
}

// The player's clips record at 30 a second; a --gif takes the pictures
// recorded within its frames, at most as many as a clip holds.
void record_frame() {
    const std::vector<run_output>& gifs = state.plan->gifs;
    for (size_t i = 0; i < gifs.size(); i++) {
        if (state.frame < gifs[i].from || state.frame > gifs[i].to) continue;
        std::vector<uint8_t>& clip = state.clips[i];
        if (clip.size() >= size_t(MIVO3_VIDEO_MAX_FRAMES) * 128 * 128 || !video_frame_bmp) continue;
        for (int32_t y = 0; y < 128; y++)
            clip.insert(clip.end(), video_frame_bmp->rows[y], video_frame_bmp->rows[y] + 128);
    }
    if (state.shell_record_frame) state.shell_record_frame();
}

void at_exit() {
    flush_lines(true);
    std::fflush(stdout);
    if (!state.temporary_home.empty()) {
        std::error_code ec;
        fs::remove_all(state.temporary_home, ec);
        state.temporary_home.clear();
    }
}

bool read_file(const std::string& path, std::string& out) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A file can be written at path: its folder exists and takes files, and the
// path is no folder.
bool writable(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return false;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK) == 0;
}

int refuse(const std::string& message) {
    std::fprintf(stderr, "mivo3-run: %s\n", message.c_str());
    return MIVO3_RUN_BAD_OPTION;
}

bool write_memory(const std::string& path) {
    std::string bytes(size_t(MIVO3_MEMORY_SIZE), '\0');
    for (int32_t a = 0; a < MIVO3_MEMORY_SIZE; a++) bytes[size_t(a)] = char(mivo3_peek(&pstate, pstate.cart, a));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return bool(out);
}

// The player's data.pod, where the player looks for it.
bool resource_pod_found() {
    std::error_code ec;
    return fs::exists(quon_prefix_with_program_path("data.pod"), ec) ||
           fs::exists(fs::path(quon_prefix_with_program_path("../share/mivo-3/data.pod")).lexically_normal(), ec);
}

}  // namespace

int execute_run_plan(const run_plan& plan, const char* argv0) {
    state = run_state{};
    state.plan = &plan;
    state.clips.assign(plan.gifs.size(), {});

    // Everything is checked before the cart runs: a long run must not end
    // in a file that cannot be written.
    std::string input_text, expected_printh;
    if (!plan.input_path.empty() && !read_file(plan.input_path, input_text))
        return refuse("cannot read --input " + plan.input_path);
    if (const std::string e = build_run_input(plan, input_text, state.input); !e.empty()) return refuse(e);
    if (!plan.expect_printh.empty() && !read_file(plan.expect_printh, expected_printh))
        return refuse("cannot read --expect-printh " + plan.expect_printh);
    std::vector<std::string> outputs;
    for (const auto* list : {&plan.screenshots, &plan.dumps, &plan.gifs})
        for (const run_output& o : *list) outputs.push_back(o.path);
    if (!plan.wav_path.empty()) outputs.push_back(plan.wav_path);
    for (const std::string& path : outputs)
        if (!writable(path)) return refuse("cannot write " + path);
    if (!resource_pod_found()) {
        std::fprintf(stderr, "mivo3-run: no data.pod beside the program or in ../share/mivo-3/\n");
        return MIVO3_RUN_NOT_LOADED;
    }

    std::error_code ec;
    std::string home = plan.home;
    if (home.empty()) {
        char tmpl[] = "/tmp/mivo3-run-XXXXXX";
        if (!::mkdtemp(tmpl)) return refuse("cannot make a home folder in /tmp");
        home = state.temporary_home = tmpl;
    } else if (fs::create_directories(home, ec), !fs::is_directory(home, ec)) {
        return refuse("cannot make the home folder " + home);
    }
    std::atexit(at_exit);
    // Captures a cart asks for with extcmd stay in the home folder.
    const std::string desktop = (fs::path(home) / "desktop").string();
    fs::create_directories(desktop, ec);
    if (!plan.cdata.empty() && (fs::create_directories(plan.cdata, ec), !fs::is_directory(plan.cdata, ec)))
        return refuse("cannot make the cart data folder " + plan.cdata);

    std::vector<std::string> args = {argv0 ? argv0 : "mivo3-run", "-headless", "-home", home, "-desktop", desktop};
    if (plan.param_given) args.insert(args.end(), {"-param", plan.param});
    if (!plan.cdata.empty()) args.insert(args.end(), {"-cdata_path", plan.cdata});
    args.insert(args.end(), {"-x", plan.cart});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    quon_set_clock(run_clock);
    if (plan.seeded) {
        quon_set_calendar(run_calendar);
        quon_fix_start_seed(true, plan.seed);
    }
    mivo3_runner.step_frames = true;
    mivo3_runner.quiet_start = true;
    mivo3_runner.hold_buttons = hold_buttons;
    mivo_console_set_stdout_sink(console_line);

    std::snprintf(quon_argv0, sizeof quon_argv0, "%s", argv[0]);
    quon_argc = int(args.size());
    quon_argv = argv.data();
    quon_main_init(quon_argc, quon_argv);
    quon_quit = 0;
    flush_lines(true);

    // The frame rate follows the cart's own CPU load, as in a player set not
    // to let the host's speed count (host_framerate_control 0): a host that
    // always keeps up.
    const int32_t configured_framerate_control = app.host_framerate_control;
    app.host_framerate_control = 0;
    if (plan.seeded) quon_srand(plan.seed);
    mivo3_api.printh_line = printh_line;
    mivo3_run_hooks run_hooks = mivo3_get_run_hooks();
    run_hooks.next_frame_buttons = hold_next_frame_buttons;
    mivo3_set_run_hooks(run_hooks);
    state.shell_record_frame = mivo3_capture.record_frame;
    mivo3_capture.record_frame = record_frame;

    bool write_failed = false;
    auto failed = [&](const std::string& path) {
        std::fprintf(stderr, "mivo3-run: cannot write %s\n", path.c_str());
        write_failed = true;
    };
    std::vector<int16_t> sound;
    std::vector<int16_t> frame_sound;
    int64_t mixed = 0;
    int32_t frames_run = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int32_t frame = 1; frame <= plan.frames && !quon_quit; frame++) {
        state.frame = frame;
        const bool paused = quon_state.frame_paused || app.pause_mode;
        const int64_t step = !paused && pstate.current_fps == 60 ? 1 : 2;
        quon_main_update();
        quon_main_draw();
        quon_blit_back_page();
        quon_update_music_fading();
        frames_run = frame;
        flush_lines(mivo3_run.fault != 0);

        for (const run_output& o : plan.screenshots)
            if (o.from == frame && write_png_picture(o.path.c_str(), mivo3_screen, plan.scale) != 0) failed(o.path);
        for (const run_output& o : plan.dumps)
            if (o.from == frame && !write_memory(o.path)) failed(o.path);

        // What the device would have taken while the frame was on show.
        const int64_t until = (state.ticks + step) * quon_sound_freq / ticks_per_second;
        frame_sound.resize(size_t(until - mixed));
        quon_mixer_callback(nullptr, reinterpret_cast<uint8_t*>(frame_sound.data()), int(frame_sound.size() * 2));
        if (!plan.wav_path.empty()) sound.insert(sound.end(), frame_sound.begin(), frame_sound.end());
        mixed = until;
        state.ticks += step;
    }
    // A fault raised by an API call is reported by the next update, which
    // runs no frame of the cart: it stops it first.
    if (pstate.pending_command == 4) {
        quon_main_update();
        flush_lines(true);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // config.txt keeps what it said.
    app.host_framerate_control = configured_framerate_control;
    if (quon_inited) quon_exit();
    flush_lines(mivo3_run.fault != 0);
    const int32_t fault = mivo3_run.fault;

    for (size_t i = 0; i < plan.gifs.size(); i++) {
        if (state.clips[i].empty())
            std::fprintf(stderr, "mivo3-run: %s: the run ended before frame %d\n", plan.gifs[i].path.c_str(),
                         plan.gifs[i].from);
        else if (write_gif_clip(plan.gifs[i].path.c_str(), state.clips[i], plan.scale) != 0)
            failed(plan.gifs[i].path);
    }
    for (const auto* list : {&plan.screenshots, &plan.dumps})
        for (const run_output& o : *list)
            if (o.from > frames_run)
                std::fprintf(stderr, "mivo3-run: %s: the run ended before frame %d\n", o.path.c_str(), o.from);
    if (!plan.wav_path.empty() && !quon_write_wav(plan.wav_path, sound)) failed(plan.wav_path);

    std::fflush(stdout);
    if (plan.stats)
        std::fprintf(stderr, "mivo3-run: %s: %d frames in %.3f s, %.0f frames per second\n", plan.cart.c_str(),
                     frames_run, seconds, seconds > 0 ? frames_run / seconds : 0.0);

    if (fault != 0) return MIVO3_RUN_CART_ERROR;
    if (write_failed) return MIVO3_RUN_BAD_OPTION;
    if (!plan.expect_printh.empty()) {
        if (const std::string e = compare_printh_lines(expected_printh, state.printh); !e.empty()) {
            std::fprintf(stderr, "mivo3-run: %s: %s\n", plan.expect_printh.c_str(), e.c_str());
            return MIVO3_RUN_PRINTH_DIFFERS;
        }
    }
    return MIVO3_RUN_OK;
}
