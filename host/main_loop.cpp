#include "host/main_loop.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/config.h"
#include "host/display.h"
#include "host/events.h"
#include "host/input.h"
#include "host/joystick.h"
#include "host/log.h"
#include "host/paths.h"
#include "host/text.h"
#include "host/timing.h"

quon_host_state quon_state;
int quon_argc = 0;
char** quon_argv = nullptr;
char quon_argv0[513];
int32_t quon_quit = 0;
int32_t quon_inited = 0;
int32_t quon_items_created = 0;

static quon_audio_hooks audio_hooks;

void quon_set_audio_hooks(const quon_audio_hooks& hooks) { audio_hooks = hooks; }

static void copy_text(char* dst, size_t size, const char* text) {
    std::snprintf(dst, size, "%s", text ? text : "");
}

void quon_set_application_title(const char* text) {
    copy_text(quon_state.application_title, sizeof quon_state.application_title, text);
    quon_set_path_title(quon_state.application_title);
}

void quon_set_window_title(const char* text) {
    if (!text) {
        quon_state.current_window_title = nullptr;
    } else {
        copy_text(quon_state.window_title, sizeof quon_state.window_title, text);
        quon_state.current_window_title = quon_state.window_title;
    }
    quon_refresh_window_title();
}

void quon_set_paused(int flag) { quon_state.frame_paused = flag; }

static void log_system_report() {
    quon_debug(">system info\n");
    quon_debugf("video drivers: %d\n", SDL_GetNumVideoDrivers());
    for (int i = 0; i < SDL_GetNumVideoDrivers(); i++) quon_debugf(" %s\n", SDL_GetVideoDriver(i));
    quon_debugf("Current video driver: %s\n", SDL_GetCurrentVideoDriver());
    int displays = SDL_GetNumVideoDisplays();
    quon_debugf("displays: %d\n", displays);
    for (int d = 0; d < displays; d++) {
        SDL_Rect b;
        if (SDL_GetDisplayBounds(d, &b) == 0)
            quon_debugf(" display %d (%s): %d %d %dx%d\n", d, SDL_GetDisplayName(d), b.x, b.y, b.w, b.h);
        for (int m = 0; m < SDL_GetNumDisplayModes(d); m++) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(d, m, &mode) == 0)
                quon_debugf("  mode %d: %dx%d %d Hz %s\n", m, mode.w, mode.h, mode.refresh_rate,
                            SDL_GetPixelFormatName(mode.format));
        }
    }
    quon_debugf("render drivers: %d\n", SDL_GetNumRenderDrivers());
    for (int i = 0; i < SDL_GetNumRenderDrivers(); i++) {
        SDL_RendererInfo info;
        if (SDL_GetRenderDriverInfo(i, &info) == 0)
            quon_debugf(" %s%s\n", info.name, info.flags & SDL_RENDERER_ACCELERATED ? " (accelerated)" : "");
    }
    quon_debug("<\n");
}

static void quon_system_init() {
    // A window-close event only asks the loop to stop; the platform must not
    // turn it into a quit request that ends the process at once.
    SDL_SetHint("SDL_QUIT_ON_LAST_WINDOW_CLOSE", "0");
    if (cconfig.headless) {
        quon_debug(" running in headless mode\n");
        if (SDL_Init(0) != 0) quon_fatal_error("Unable to initialize SDL");
    } else {
        const Uint32 all = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK |
                           SDL_INIT_HAPTIC | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS;
        if (SDL_Init(all) != 0) {
            // A machine without sound or force feedback still gets a picture.
            quon_debugf(" SDL_Init: %s; retrying without audio and haptic\n", SDL_GetError());
            if (SDL_Init(all & ~(SDL_INIT_AUDIO | SDL_INIT_HAPTIC)) != 0) quon_fatal_error("Unable to initialize SDL");
        }
    }
    SDL_version compiled, linked;
    SDL_VERSION(&compiled);
    SDL_GetVersion(&linked);
    quon_debugf("Compiled against SDL version: %d.%d.%d\n", compiled.major, compiled.minor, compiled.patch);
    quon_debugf("Linked against SDL version:   %d.%d.%d\n", linked.major, linked.minor, linked.patch);
    if (cconfig.headless) return;
    if (cconfig.log_system_info)
        log_system_report();
    else
        quon_debugf("Current video driver: %s\n", SDL_GetCurrentVideoDriver());
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
}

int quon_init() {
    if (quon_inited) return 0;
    quon_items_created = 0;
    std::memset(quon_state.window_title, 0, sizeof quon_state.window_title);
    copy_text(quon_state.window_title, sizeof quon_state.window_title, quon_state.application_title);
    quon_state.current_window_title = quon_state.window_title;
    quon_set_path_title(quon_state.application_title);

    quon_config_default();
    // The first pass lets -home, -desktop and -headless act before any file is opened.
    if (quon_argc > 0 && quon_argv) quon_process_arguments(quon_argc, quon_argv);
    quon_log_open(quon_prefix_with_appdata_path("log.txt").c_str());
    quon_debug(">quon_init\n");
    quon_debug("platform: Linux\n");
    quon_config_load();
    cconfig0 = cconfig;
    // The second pass makes options win over the file.
    if (quon_argc > 0 && quon_argv) quon_process_arguments(quon_argc, quon_argv);

    quon_debug("quon_system_init\n");
    quon_system_init();
    quon_debug("quon_reset_timer\n");
    quon_reset_timer();
    quon_frame_meter_reset();
    // The host has no widget layer of its own: the GUI steps are only named.
    quon_debug("quon_gui_init\n");
    quon_debug("quon_keys_init\n");
    quon_keys_init();
    quon_debug("quon_text_init\n");
    quon_text_init();
    quon_debug("quon_video_init\n");
    quon_video_init();
    quon_debug("quon_mouse_init\n");
    quon_mouse_init();
    quon_debug("quon_joystick_init\n");
    quon_joystick_init();

    quon_srand(0);
    cconfig.sessions++;
    quon_debug("<ok\n");
    quon_inited = 1;
    return 0;
}

int quon_exit() {
    if (!quon_inited) return 0;
    // Cleared first, so that the application's exit callback may call
    // quon_exit again and return at once.
    quon_inited = 0;
    quon_debug(">quon_exit\n");
    quon_debug("cmusic_stop\n");
    if (audio_hooks.music_stop) audio_hooks.music_stop(0);
    quon_debug("quon_main_exit\n");
    quon_main_exit();
    quon_debug("quon_config_save\n");
    quon_config_save();
    quon_debug("quon_sound_exit\n");
    if (audio_hooks.sound_exit) audio_hooks.sound_exit();
    quon_debug("quon_video_exit\n");
    quon_video_exit();
    quon_debug("quon_joystick_exit\n");
    quon_joystick_exit();
    quon_debug("quon_system_exit\n");
    quon_text_exit();
    quon_keys_exit();
    SDL_Quit();
    quon_debugf("quon_items_created: %d\n", quon_items_created);
    quon_debug("<ok\n");
    quon_log_close();
    return 0;
}

int quon_restart() {
    if (quon_inited) quon_exit();
    quon_main_init(quon_argc, quon_argv);
    return 0;
}

static int32_t wake_time = 0;
static bool wake_set = false;

void quon_set_wake_time(int32_t t) {
    wake_time = t;
    wake_set = true;
}

void quon_wait_for_wake() {
    if (!wake_set) return;
    wake_set = false;
    if (audio_hooks.music_fading && audio_hooks.music_fading()) return;
    const int32_t start = quon_get_time();
    const int32_t wait = std::min(wake_time - start, 200);
    if (wait <= 0) return;
    // Any event ends the wait, so input is handled as soon as it arrives.
    if (SDL_WasInit(SDL_INIT_EVENTS))
        SDL_WaitEventTimeout(nullptr, wait);
    else
        quon_delay(wait);
    quon_frame_meter_skip(quon_get_time() - start);
}

static void after_pump() {
    quon_get_mouse(&quon_last_mouse_x, &quon_last_mouse_y, nullptr);
    if (audio_hooks.update_music_fading) audio_hooks.update_music_fading();
}

int quon_handle_messages() {
    int r = quon_handle_system_messages();
    after_pump();
    return r;
}

int quon_main(int argc, char** argv) {
    copy_text(quon_argv0, sizeof quon_argv0, argc > 0 && argv ? argv[0] : "");
    quon_argc = argc;
    quon_argv = argv;
    quon_main_init(argc, argv);
    quon_quit = 0;
    // The pump's sleep, its wait for the application's next due work and
    // the application's own frame accounting set the rate. A pass presents
    // only a picture that differs from the one in the window.
    do {
        quon_main_update();
        quon_main_draw();
        quon_blit_back_page();
        quon_handle_system_messages();
        after_pump();
    } while (!quon_quit);
    if (quon_inited) quon_exit();
    return 0;
}

void quon_fatal_error(const char* text) {
    const char* sdl_error = SDL_GetError();
    if (sdl_error && *sdl_error) quon_debugf("SDL error: %s\n", sdl_error);
    std::printf("\n\n** FATAL ERROR: %s\n\n", text ? text : "");
    std::fflush(stdout);
    quon_debugf("\n\n** FATAL ERROR: %s\n\n", text ? text : "");
    std::exit(quon_exit());
}
