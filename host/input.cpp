#include "host/input.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "host/config.h"
#include "host/display.h"
#include "host/main_loop.h"
#include "host/timing.h"

uint8_t quonkey[QUON_KEY_COUNT];
uint8_t last_quonkey[QUON_KEY_COUNT];
uint8_t block_quonkey[QUON_KEY_COUNT];
int32_t next_press_t = 0;
int32_t quonkey_buffer[32];
int32_t quonkey_buffer_pos = 0;
int32_t quon_last_mouse_x = 0, quon_last_mouse_y = 0;

void quon_keys_init() {
    std::memset(quonkey, 0, sizeof quonkey);
    std::memset(last_quonkey, 0, sizeof last_quonkey);
    std::memset(block_quonkey, 0, sizeof block_quonkey);
    next_press_t = 0;
    quonkey_buffer_pos = 0;
}

void quon_keys_exit() { quon_keys_init(); }

void quon_keys_update(const uint8_t* platform, int count, uint32_t mods, int32_t now) {
    int n = std::clamp(count, 0, QUON_KEY_COUNT);
    for (int i = 0; i < QUON_KEY_COUNT; i++) {
        uint8_t down = (i < n && platform[i]) ? 1 : 0;
        // A fresh press restarts the repeat clock: first repeat after 500 ms.
        if (down && quonkey[i] == 0) next_press_t = now + 500;
        last_quonkey[i] = quonkey[i];
        quonkey[i] = down;
    }
    const struct { uint32_t mod; int key; } from_mods[] = {
        {KMOD_LCTRL, SDL_SCANCODE_LCTRL}, {KMOD_RCTRL, SDL_SCANCODE_RCTRL}, {KMOD_LALT, SDL_SCANCODE_LALT},
        {KMOD_RALT, SDL_SCANCODE_RALT},   {KMOD_LGUI, QUON_KEY_LSYSTEM},    {KMOD_RGUI, QUON_KEY_RSYSTEM},
    };
    for (const auto& m : from_mods)
        if (mods & m.mod) quonkey[m.key] = 1;
    if (now >= next_press_t) {
        for (int i = 0; i < QUON_KEY_COUNT; i++)
            if (quonkey[i] == 1 && !block_quonkey[i]) quonkey[i] = 3;
        next_press_t = now + 80;
    }
    for (int i = 0; i < QUON_KEY_COUNT; i++)
        if (quonkey[i] == 0) block_quonkey[i] = 0;
}

static int key_state(int k) {
    if (k < 0 || k >= QUON_KEY_COUNT) return 0;
    if (quonkey[k] == 0 || block_quonkey[k]) return 0;
    if (last_quonkey[k] == 0 || quonkey[k] == 3) return 3;
    return 1;
}

static int pair_state(int a, int b) {
    int s = key_state(a);
    return s ? s : key_state(b);
}

int quon_get_key_state(int code) {
    switch (code) {
    case QUON_KEY_SHIFT: return pair_state(SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT);
    case QUON_KEY_CONTROL: {
        int s = pair_state(SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL);
        return s ? s : pair_state(QUON_KEY_LSYSTEM, QUON_KEY_RSYSTEM);
    }
    case QUON_KEY_ALT: return pair_state(SDL_SCANCODE_LALT, SDL_SCANCODE_RALT);
    case QUON_KEY_SYSTEM: return pair_state(QUON_KEY_LSYSTEM, QUON_KEY_RSYSTEM);
    case QUON_KEY_SPARE: return pair_state(QUON_KEY_LSPARE, QUON_KEY_RSPARE);
    default: return key_state(code);
    }
}

void quon_block_key(int scancode) {
    if (scancode >= 0 && scancode < QUON_KEY_COUNT) block_quonkey[scancode] = 1;
}

void quon_clear_key(int scancode) {
    if (scancode >= 0 && scancode < QUON_KEY_COUNT) quonkey[scancode] = last_quonkey[scancode] = 0;
}

int quon_keypressed() { return quonkey_buffer_pos > 0; }

void quon_queue_key(int32_t c) {
    if (quonkey_buffer_pos < 32) quonkey_buffer[quonkey_buffer_pos++] = c;
}

int quon_readkey() {
    while (quonkey_buffer_pos == 0) {
        // Nothing will arrive once the program is ending.
        if (quon_quit) return 0;
        quon_handle_messages();
    }
    int c = quonkey_buffer[0];
    quonkey_buffer_pos--;
    std::memmove(quonkey_buffer, quonkey_buffer + 1, sizeof(int32_t) * quonkey_buffer_pos);
    return c;
}

int quon_get_any_key_down() {
    for (int i = 0; i < QUON_KEY_COUNT; i++)
        if (quonkey[i] && i != SDL_SCANCODE_CAPSLOCK) return i;
    return 0;
}

const char* quon_get_key_name(int scancode) {
    static char name[64];
    const char* n = (scancode >= 0 && scancode < SDL_NUM_SCANCODES)
                        ? SDL_GetScancodeName(static_cast<SDL_Scancode>(scancode))
                        : "";
    if (!n || !*n) return "?";
    size_t i = 0;
    for (; n[i] && i < sizeof name - 1; i++) name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(n[i])));
    name[i] = 0;
    return name;
}

int quon_translate_key(int scancode, int32_t keycode, uint32_t mods, bool tab_allowed) {
    switch (scancode) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_TAB: return tab_allowed && !(mods & KMOD_ALT) ? 9 : 0;
    default: break;
    }
    // Control alone makes letters and digits, so that Ctrl+R queues 'r'.
    if ((mods & KMOD_CTRL) && !(mods & (KMOD_ALT | KMOD_SHIFT))) {
        if (keycode >= 'a' && keycode <= 'z') return keycode;
        if (keycode >= '0' && keycode <= '9') return keycode;
    }
    return 0;
}

int quon_emulated_char(int scancode, bool shift) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return 'a' + (scancode - SDL_SCANCODE_A);
    if (scancode == SDL_SCANCODE_SPACE) return ' ';
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) {
        int digit = scancode == SDL_SCANCODE_0 ? 0 : scancode - SDL_SCANCODE_1 + 1;
        return shift ? ")!@#$%^&*("[digit] : '0' + digit;
    }
    struct { int scancode; char plain, shifted; } const keys[] = {
        {SDL_SCANCODE_APOSTROPHE, '\'', '"'}, {SDL_SCANCODE_COMMA, ',', '<'},     {SDL_SCANCODE_MINUS, '-', '_'},
        {SDL_SCANCODE_PERIOD, '.', '>'},      {SDL_SCANCODE_SLASH, '/', '?'},     {SDL_SCANCODE_SEMICOLON, ';', ':'},
        {SDL_SCANCODE_EQUALS, '=', '+'},      {SDL_SCANCODE_LEFTBRACKET, '[', '{'}, {SDL_SCANCODE_BACKSLASH, '\\', '|'},
        {SDL_SCANCODE_RIGHTBRACKET, ']', '}'}, {SDL_SCANCODE_GRAVE, '`', '~'},
    };
    for (const auto& k : keys)
        if (k.scancode == scancode) return shift ? k.shifted : k.plain;
    return 0;
}

bool quon_take_char(int32_t c) {
    if (quon_get_key_state(SDL_SCANCODE_F11)) {
        quon_toggle_fullscreen();
        quon_block_key(SDL_SCANCODE_F11);
        return false;
    }
    bool alt = quon_get_key_state(QUON_KEY_ALT) != 0;
    if (c == 13 && alt && !block_quonkey[SDL_SCANCODE_RETURN]) {
        quon_toggle_fullscreen();
        quon_block_key(SDL_SCANCODE_RETURN);
        return false;
    }
    if (quon_get_key_state(SDL_SCANCODE_1) == 3 && quon_get_key_state(QUON_KEY_CONTROL)) {
        cconfig.show_fps ^= 1;
        // Blocked rather than cleared: a cleared key would read as a new
        // press in the next update and toggle the counter back.
        quon_block_key(SDL_SCANCODE_1);
        return false;
    }
    if (quon_get_key_state(SDL_SCANCODE_F4) && alt) {
        quon_exit();
        std::exit(0);
    }
    quon_queue_key(c);
    return true;
}

void quon_mouse_init() {
    quon_last_mouse_x = quon_last_mouse_y = 0;
}

void quon_get_mouse(int32_t* x, int32_t* y, int32_t* buttons) {
    if (!quon_back_page) {
        if (x) *x = 0;
        if (y) *y = 0;
        if (buttons) *buttons = 0;
        return;
    }
    if (!quon_window_open()) return;
    int mx = 0, my = 0;
    Uint32 b = SDL_GetMouseState(&mx, &my);
    // An empty destination means a window with a zero side: nothing is read.
    quon_rect r = quon_get_dest_rect();
    if (r.w <= 0 || r.h <= 0) return;
    int32_t mask = 0;
    if (b & SDL_BUTTON_LMASK) {
        // A configured key turns the left button into the right one while held.
        mask |= (cconfig.rmb_key > 0 && quon_get_key_state(cconfig.rmb_key)) ? 2 : 1;
    }
    if (b & SDL_BUTTON_RMASK) mask |= 2;
    if (b & SDL_BUTTON_MMASK) mask |= 4;
    int32_t px = static_cast<int32_t>(int64_t(mx - r.x) * quon_back_page->width / r.w);
    int32_t py = static_cast<int32_t>(int64_t(my - r.y) * quon_back_page->height / r.h);
    if (x) *x = px;
    if (y) *y = py;
    if (buttons) *buttons = mask;
}

void quon_get_mouse_deltas(int32_t* dx, int32_t* dy) {
    int32_t x = quon_last_mouse_x, y = quon_last_mouse_y;
    quon_get_mouse(&x, &y, nullptr);
    if (dx) *dx = x - quon_last_mouse_x;
    if (dy) *dy = y - quon_last_mouse_y;
}
