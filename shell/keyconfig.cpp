#include "shell/keyconfig.h"

#include <SDL.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "host/bitmap.h"
#include "host/input.h"
#include "host/text.h"
#include "machine/pstate.h"
#include "shell/app.h"
#include "shell/shell.h"

keyconfig_state keyconfig;

namespace {

constexpr const char* labels[MIVO3_KEY_BINDINGS] = {
    "p1 left    ", "p1 right   ", "p1 up      ", "p1 down    ", "p1 \x8e       ", "p1 \x97       ",
    "p2 left    ", "p2 right   ", "p2 up      ", "p2 down    ", "p2 \x8e       ", "p2 \x97       ",
    "pause      ",
};

constexpr const char* default_names[MIVO3_KEY_BINDINGS] = {
    "left", "right", "up", "down", "z / c / n", "x / v / m", "s", "f", "e", "d", "tab", "q", "p / enter",
};

const quon_pod* font() { return mivo3_font_pod ? mivo3_font_pod : quon_builtin_font(1); }

void text(quon_bitmap* dst, const char* s, int32_t x, int32_t y, uint32_t colour) {
    quon_draw_text_ex(dst, s, font(), x, y, QUON_TEXT_COLOURISE, colour);
}

bool any_key_held() {
    for (int i = 0; i < QUON_KEY_COUNT; i++)
        if (quonkey[i]) return true;
    return false;
}

// A small game pad: d-pad, pause button, O and X, with the part that the
// current control drives lit.
void draw_pad(quon_bitmap* dst, int32_t x, int32_t y, int current) {
    const int button = current < 12 ? current % 6 : MIVO3_BTN_PAUSE;
    auto lit = [&](int b) -> uint8_t { return current < MIVO3_KEY_BINDINGS && b == button ? 14 : 5; };
    shell_fill_rect(dst, x, y + 6, x + 47, y + 25, 13);
    shell_fill_rect(dst, x + 2, y + 26, x + 11, y + 29, 13);
    shell_fill_rect(dst, x + 36, y + 26, x + 45, y + 29, 13);
    shell_fill_rect(dst, x + 9, y + 13, x + 12, y + 16, 5);
    shell_fill_rect(dst, x + 9, y + 9, x + 12, y + 12, lit(MIVO3_BTN_UP));
    shell_fill_rect(dst, x + 9, y + 17, x + 12, y + 20, lit(MIVO3_BTN_DOWN));
    shell_fill_rect(dst, x + 5, y + 13, x + 8, y + 16, lit(MIVO3_BTN_LEFT));
    shell_fill_rect(dst, x + 13, y + 13, x + 16, y + 16, lit(MIVO3_BTN_RIGHT));
    shell_fill_rect(dst, x + 21, y + 12, x + 26, y + 14, lit(MIVO3_BTN_PAUSE));
    shell_fill_rect(dst, x + 31, y + 15, x + 35, y + 19, lit(MIVO3_BTN_O));
    shell_fill_rect(dst, x + 38, y + 10, x + 42, y + 14, lit(MIVO3_BTN_X));
    if (current < 12) text(dst, current < 6 ? "p1" : "p2", x + 20, y + 18, 1);
}

void finish() {
    keyconfig.current = MIVO3_KEY_BINDINGS;
    std::memcpy(app.button_keys, buttons.key_bindings, sizeof app.button_keys);
    quonkey_buffer_pos = 0;
}

}  // namespace

const char* keyconfig_label(int control) {
    return control >= 0 && control < MIVO3_KEY_BINDINGS ? labels[control] : "";
}

void keyconfig_line(int control, char* out, int size) {
    if (size <= 0) return;
    out[0] = 0;
    if (control < 0 || control >= MIVO3_KEY_BINDINGS) return;
    int32_t k = buttons.key_bindings[control];
    char name[64];
    std::snprintf(name, sizeof name, "%s", k ? quon_get_key_name(k) : default_names[control]);
    for (char* c = name; *c; c++) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    std::snprintf(out, size_t(size), "%s : %s", labels[control], name);
}

void keyconfig_open() {
    std::memcpy(keyconfig.saved, buttons.key_bindings, sizeof keyconfig.saved);
    keyconfig.current = 0;
    keyconfig.waiting_release = 1;
    keyconfig.open = 1;
    pstate.overlay = 1;
    block_buttons();
}

void keyconfig_close() {
    if (keyconfig.open && keyconfig.current < MIVO3_KEY_BINDINGS)
        std::memcpy(buttons.key_bindings, keyconfig.saved, sizeof keyconfig.saved);
    keyconfig.open = 0;
    if (pstate.overlay == 1) pstate.overlay = 0;
    // The key that closed the screen must not reach the program or the shell.
    quon_block_key(SDL_SCANCODE_ESCAPE);
    block_buttons();
}

void keyconfig_update() {
    // The shell may hide the screen itself; a later frame must not keep
    // choosing keys behind its back.
    if (pstate.overlay != 1) {
        if (keyconfig.open) keyconfig_close();
        return;
    }
    if (!keyconfig.open) keyconfig_open();
    if (quon_get_key_state(SDL_SCANCODE_ESCAPE) == 3) {
        keyconfig_close();
        return;
    }
    if (keyconfig.current >= MIVO3_KEY_BINDINGS) return;
    if (keyconfig.waiting_release) {
        if (any_key_held()) return;
        keyconfig.waiting_release = 0;
    }
    int k = quon_get_any_key_down();
    if (!k || k == SDL_SCANCODE_ESCAPE) return;
    buttons.key_bindings[keyconfig.current] = (k == SDL_SCANCODE_DELETE || k == SDL_SCANCODE_BACKSPACE) ? 0 : k;
    keyconfig.current++;
    keyconfig.waiting_release = 1;
    if (keyconfig.current == MIVO3_KEY_BINDINGS) finish();
}

void keyconfig_draw(quon_bitmap* dst) {
    if (!dst || dst->bits != 8) return;
    shell_fill_rect(dst, 0, 0, dst->width - 1, dst->height - 1, 1);
    shell_fill_rect(dst, 4, 41, 123, 124, 6);
    shell_fill_rect(dst, 0, 0, 127, 6, 7);
    text(dst, "player key config", 6, 1, 12);
    draw_pad(dst, 6, 8, keyconfig.current);
    if (keyconfig.current < MIVO3_KEY_BINDINGS) {
        text(dst, "press key for:", 60, 12, 6);
        text(dst, labels[keyconfig.current], 60, 19, 7);
        text(dst, "del for default", 60, 26, 13);
        text(dst, "esc to cancel", 60, 33, 13);
    } else {
        text(dst, "saved config.", 60, 12, 11);
        text(dst, "press escape", 60, 22, 12);
        text(dst, "to continue", 60, 29, 12);
    }
    char line[96];
    for (int i = 0; i < MIVO3_KEY_BINDINGS; i++) {
        int32_t y = 44 + 6 * i;
        keyconfig_line(i, line, sizeof line);
        bool here = i == keyconfig.current;
        if (here) shell_fill_rect(dst, 7, y - 1, 120, y + 5, 14);
        text(dst, line, 10, y, here ? 1 : 5);
    }
}
