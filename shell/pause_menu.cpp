#include "shell/pause_menu.h"

#include <algorithm>
#include <cstring>

#include <SDL_scancode.h>

#include "host/display.h"
#include "host/input.h"
#include "host/main_loop.h"
#include "host/pod.h"
#include "host/text.h"
#include "machine/draw.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/glitch.h"
#include "shell/shell.h"

paused_menu_entry paused_menu_item[MIVO3_PAUSE_MENU_MAX];

static char custom_label[6][MIVO3_PAUSE_LABEL_MAX + 1];
static int32_t custom_selected[6];

static bool valid_slot(int32_t slot) { return slot >= 1 && slot <= 5; }

void set_pause_menu_custom_item(int32_t slot, const char* label) {
    if (!valid_slot(slot)) return;
    std::memset(custom_label[slot], 0, sizeof custom_label[slot]);
    if (label) std::strncpy(custom_label[slot], label, MIVO3_PAUSE_LABEL_MAX);
}

const char* pause_menu_custom_label(int32_t slot) { return valid_slot(slot) ? custom_label[slot] : ""; }

int32_t take_pause_menu_item_selected(int32_t slot) {
    if (!valid_slot(slot) || !custom_selected[slot]) return 0;
    custom_selected[slot] = 0;
    return 1;
}

void clear_pause_menu_custom_items() {
    std::memset(custom_label, 0, sizeof custom_label);
    std::memset(custom_selected, 0, sizeof custom_selected);
}

void add_paused_menu_item(const char* label, int32_t action) {
    if (app.pause_menu_count >= MIVO3_PAUSE_MENU_MAX) return;
    paused_menu_entry& e = paused_menu_item[app.pause_menu_count++];
    std::memset(e.label, 0, sizeof e.label);
    if (label) std::strncpy(e.label, label, MIVO3_PAUSE_LABEL_MAX);
    e.action = action;
}

void build_paused_menu() {
    app.pause_menu_count = 0;
    add_paused_menu_item("continue", MIVO3_PAUSE_CONTINUE);
    for (int32_t slot = 1; slot <= 5; slot++) {
        const char* label = custom_label[slot];
        if (label[0]) add_paused_menu_item(label, MIVO3_PAUSE_CUSTOM + slot);
    }
    add_paused_menu_item("reset cart", MIVO3_PAUSE_RESET);
    if (const char* back = get_run_chain_label()) add_paused_menu_item(back, MIVO3_PAUSE_BACK);
    add_paused_menu_item("quit", MIVO3_PAUSE_QUIT);
    if (app.run_flag) add_paused_menu_item("shutdown", MIVO3_PAUSE_QUIT);
}

static bool pause_pressed() {
    for (int32_t p = 0; p < MIVO3_PLAYERS; p++)
        if (buttons.btnp_state[p][MIVO3_BTN_PAUSE]) return true;
    return false;
}

bool update_paused_menu() {
    if (!pause_pressed() || !pstate.program_running || app.pause_mode) return false;
    if (mivo3_peek(&pstate, pstate.cart, MIVO3_REG_PAUSE_SUPPRESS) == 1) {
        mivo3_poke(&pstate, pstate.cart, MIVO3_REG_PAUSE_SUPPRESS, 0);
    } else {
        app.pause_mode = 1;
        build_paused_menu();
        app.pause_menu_cursor = 0;
    }
    for (int32_t p = 0; p < MIVO3_PLAYERS; p++) buttons.btnp_state[p][MIVO3_BTN_PAUSE] = 0;
    block_buttons();
    return true;
}

void close_paused_menu() {
    app.pause_mode = 0;
    block_buttons();
}

static void activate(int32_t action) {
    if (action > MIVO3_PAUSE_CUSTOM && action <= MIVO3_PAUSE_CUSTOM + 5) {
        app.pause_mode = 0;
        custom_selected[action - MIVO3_PAUSE_CUSTOM] = 1;
    } else if (action == MIVO3_PAUSE_CONTINUE) {
        app.pause_mode = 0;
    } else if (action == MIVO3_PAUSE_RESET) {
        app.pause_mode = 0;
        start_reset_glitch();
    } else if (action == MIVO3_PAUSE_BACK) {
        follow_current_breadcrumb();
    } else if (action == MIVO3_PAUSE_QUIT) {
        quon_quit = 1;
    }
}

void process_paused_keypresses() {
    if (!app.pause_mode || app.pause_menu_count <= 0) return;
    int32_t (&pressed)[MIVO3_BUTTONS] = buttons.btnp_state[0];
    const int32_t n = app.pause_menu_count;
    if (pressed[MIVO3_BTN_UP]) app.pause_menu_cursor = (app.pause_menu_cursor + n - 1) % n;
    if (pressed[MIVO3_BTN_DOWN]) app.pause_menu_cursor = (app.pause_menu_cursor + 1) % n;
    app.pause_menu_cursor = std::clamp(app.pause_menu_cursor, 0, n - 1);
    if (pressed[MIVO3_BTN_O] || pressed[MIVO3_BTN_X] || pressed[MIVO3_BTN_PAUSE]) {
        pressed[MIVO3_BTN_O] = pressed[MIVO3_BTN_X] = pressed[MIVO3_BTN_PAUSE] = 0;
        activate(paused_menu_item[app.pause_menu_cursor].action);
        // The press that chose the entry must not reach the cart.
        if (!app.pause_mode) block_buttons();
    }
}

void draw_paused_menu(quon_bitmap* bmp) {
    if (!bmp || bmp->bits != 8) return;
    const int32_t h = (app.pause_menu_count * 8 + 8) / 2;
    draw_tinted_rect_adaptive(bmp, 23, 63 - h, 104, 64 + h, 1, quon_get_key_state(SDL_SCANCODE_LSHIFT) != 0);
    const int32_t x0 = 24, y0 = 64 - h, x1 = 103, y1 = 63 + h;
    shell_frame_rect(bmp, x0, y0, x1, y1, 7);
    const quon_bitmap* pointer = quon_pod_bitmap(mivo3_resource_pod, 245);
    for (int32_t i = 0; i < app.pause_menu_count; i++) {
        const int32_t y = 70 - h + 8 * i;
        const bool current = i == app.pause_menu_cursor;
        quon_draw_text_ex(bmp, paused_menu_item[i].label, mivo3_font_pod, current ? 35 : 34, y,
                          QUON_TEXT_COLOURISE, 7);
        if (current) shell_draw_icon(bmp, pointer, 25, y - 1);
    }
}
