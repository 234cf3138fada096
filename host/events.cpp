#include "host/events.h"

#include <SDL.h>

#include <cstdlib>

#include "host/config.h"
#include "host/display.h"
#include "host/input.h"
#include "host/joystick.h"
#include "host/log.h"
#include "host/main_loop.h"
#include "host/timing.h"

int32_t quon_system_active = 0;
int32_t last_inactive_time = 0;
int32_t sdl_fingerdown = 0;
int32_t quon_wheel_x = 0, quon_wheel_y = 0;
int32_t quon_wheel_copy_x = 0, quon_wheel_copy_y = 0;
uint8_t quon_arrow_pressed[4];

bool quon_app_active() { return quon_system_active == 1 || quon_window_has_focus(); }

static void window_event(const SDL_WindowEvent& w, int32_t now) {
    sdl_fingerdown = 0;
    // A fullscreen toggle replaces the window; late events of the old one
    // must not mark the program inactive or closed.
    auto* main_window = static_cast<SDL_Window*>(quon_platform_window());
    if (!main_window || w.windowID != SDL_GetWindowID(main_window)) return;
    switch (w.event) {
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        quon_system_active = 0;
        break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
        quon_request_present();
        [[fallthrough]];
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        quon_system_active = 1;
        last_inactive_time = now;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // The window lost what it showed, or shows it at another size.
        quon_request_present();
        break;
    case SDL_WINDOWEVENT_CLOSE:
        quon_quit = 1;
        quon_debugf("window closed (%d)\n", static_cast<int>(w.windowID));
        break;
    default:
        break;
    }
}

// Produced characters that wait for the end of the pump (emulated text input).
struct pending_chars {
    int32_t c[64];
    int n = 0;
    void add(int32_t ch) {
        if (n < 64) c[n++] = ch;
    }
};

static void key_down(const SDL_KeyboardEvent& k, int32_t now, bool& queued, pending_chars& later) {
    int sc = k.keysym.scancode;
    if (sc >= 0 && sc < QUON_KEY_COUNT && quonkey[sc] == 0) quonkey[sc] = 1;
    switch (sc) {
    case SDL_SCANCODE_RIGHT: quon_arrow_pressed[0] = 1; return;
    case SDL_SCANCODE_LEFT: quon_arrow_pressed[1] = 1; return;
    case SDL_SCANCODE_DOWN: quon_arrow_pressed[2] = 1; return;
    case SDL_SCANCODE_UP: quon_arrow_pressed[3] = 1; return;
    default: break;
    }
    uint32_t mods = k.keysym.mod;
    // A Tab that arrives with the focus (Alt+Tab into the window) is not typed.
    bool tab_allowed = now - last_inactive_time >= 9 || now < last_inactive_time;
    int c = quon_translate_key(sc, k.keysym.sym, mods, tab_allowed);
    bool ctrl_made = c && sc != SDL_SCANCODE_BACKSPACE && sc != SDL_SCANCODE_RETURN &&
                     sc != SDL_SCANCODE_KP_ENTER && sc != SDL_SCANCODE_ESCAPE && sc != SDL_SCANCODE_TAB;
    // Each Control+letter or digit press gives its character once; held-key
    // repeats of those are dropped.
    if (ctrl_made && k.repeat) return;
    if (c) {
        if (quon_take_char(c)) queued = true;
        return;
    }
    if (cconfig.emulate_textinput) {
        int e = quon_emulated_char(sc, (mods & KMOD_SHIFT) != 0);
        if (e) later.add(e);
    }
}

int quon_handle_system_messages() {
    quon_delay(quon_choose_sleep_ms(quon_app_active(), cconfig.foreground_sleep_ms, cconfig.background_sleep_ms));
    quon_wait_for_wake();
    int32_t now = quon_get_time();
    bool events = SDL_WasInit(SDL_INIT_EVENTS) != 0;
    if (events) SDL_PumpEvents();
    if (quon_window_open()) SDL_ShowCursor(SDL_DISABLE);
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    quon_keys_update(state, count, SDL_GetModState(), now);
    if (!events) return 0;

    bool queued = false;
    pending_chars later;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            quon_exit();
            std::exit(0);
        case SDL_WINDOWEVENT:
            window_event(e.window, now);
            break;
        case SDL_KEYDOWN:
            key_down(e.key, now, queued, later);
            break;
        case SDL_TEXTINPUT:
            if (!cconfig.emulate_textinput && e.text.text[0] && !e.text.text[1]) {
                if (quon_take_char(static_cast<unsigned char>(e.text.text[0]))) queued = true;
            }
            break;
        case SDL_MOUSEWHEEL:
            quon_wheel_x += e.wheel.x;
            quon_wheel_y += e.wheel.y;
            quon_wheel_copy_x = quon_wheel_x;
            quon_wheel_copy_y = quon_wheel_y;
            break;
        case SDL_JOYDEVICEADDED:
            quon_joystick_added(e.jdevice.which);
            break;
        case SDL_JOYDEVICEREMOVED:
            quon_joystick_removed(e.jdevice.which);
            break;
        case SDL_FINGERDOWN:
            sdl_fingerdown = 1;
            break;
        case SDL_FINGERUP:
            sdl_fingerdown = 0;
            break;
        default:
            break;
        }
    }
    for (int i = 0; i < later.n; i++)
        if (quon_take_char(later.c[i])) queued = true;
    if (!queued) {
        for (int i = 0; i < QUON_KEY_COUNT; i++) {
            if (quon_get_key_state(i) == 3) {
                quon_take_char(-1);
                break;
            }
        }
    }
    return 0;
}
