#include "runtime/buttons.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "host/events.h"
#include "host/input.h"
#include "host/joystick.h"
#include "machine/pstate.h"

button_state buttons;
mivo3_button_hooks mivo3_buttons_hooks;

namespace {

constexpr int16_t default_keys[MIVO3_KEY_BINDINGS][4] = {
    {SDL_SCANCODE_LEFT, 0},
    {SDL_SCANCODE_RIGHT, 0},
    {SDL_SCANCODE_UP, 0},
    {SDL_SCANCODE_DOWN, 0},
    {SDL_SCANCODE_Z, SDL_SCANCODE_C, SDL_SCANCODE_N, 0},
    {SDL_SCANCODE_X, SDL_SCANCODE_V, SDL_SCANCODE_M, 0},
    {SDL_SCANCODE_S, 0},
    {SDL_SCANCODE_F, 0},
    {SDL_SCANCODE_E, 0},
    {SDL_SCANCODE_D, 0},
    {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_TAB, SDL_SCANCODE_W, 0},
    {SDL_SCANCODE_A, SDL_SCANCODE_Q, 0},
    {SDL_SCANCODE_P, SDL_SCANCODE_RETURN, 0},
};

constexpr int16_t program_keys[7][3] = {
    {SDL_SCANCODE_KP_4, 0},
    {SDL_SCANCODE_KP_6, 0},
    {SDL_SCANCODE_KP_8, 0},
    {SDL_SCANCODE_KP_5, 0},
    {SDL_SCANCODE_KP_1, SDL_SCANCODE_INSERT, 0},
    {SDL_SCANCODE_KP_2, SDL_SCANCODE_DELETE, 0},
    {SDL_SCANCODE_ESCAPE, 0},
};

constexpr int16_t no_keys[1] = {0};

int32_t hook(int32_t (*f)()) { return f ? f() : 0; }

// The index in key_bindings of a player's button, or -1 when the keyboard
// has no key for it (player 1's pause, unwired slot 7, players 2..7).
int control_of(int button, int player) {
    if (button < 0 || button > MIVO3_BTN_PAUSE) return -1;
    if (player == 0) return button == MIVO3_BTN_PAUSE ? 12 : button;
    if (player == 1 && button != MIVO3_BTN_PAUSE) return 6 + button;
    return -1;
}

bool key_held(int scancode) { return scancode > 0 && quon_get_key_state(scancode) != 0; }

bool any_held(const int16_t* keys, bool skip_m) {
    for (; *keys; keys++) {
        if (skip_m && *keys == SDL_SCANCODE_M) continue;
        if (key_held(*keys)) return true;
    }
    return false;
}

int32_t fps() { return pstate.current_fps > 0 ? pstate.current_fps : 30; }

}  // namespace

const int16_t* mivo3_default_keys(int control) {
    return control >= 0 && control < MIVO3_KEY_BINDINGS ? default_keys[control] : no_keys;
}

const int16_t* mivo3_program_keys(int button) {
    return button >= 0 && button <= MIVO3_BTN_PAUSE ? program_keys[button] : no_keys;
}

void reset_buttons() {
    std::memset(&buttons, 0, sizeof buttons);
    std::fill(std::begin(buttons.player_input_slots), std::end(buttons.player_input_slots), -1);
}

int32_t player_key(int button, int player) {
    int control = control_of(button, player);
    if (control < 0) return 0;
    int32_t bound = buttons.key_bindings[control];
    // A configured key replaces every default of its control, the keypad
    // keys included.
    if (bound) return key_held(bound) ? 1 : 0;
    // M is O's neighbour on the keyboard but also part of Ctrl+M shortcuts.
    bool skip_m = control == 5 && quon_get_key_state(QUON_KEY_CONTROL) != 0;
    if (any_held(default_keys[control], skip_m)) return 1;
    if (player == 0 && hook(mivo3_buttons_hooks.program_running)) {
        if (button == MIVO3_BTN_PAUSE && hook(mivo3_buttons_hooks.pause_menu_open)) return 0;
        if (any_held(program_keys[button], false)) return 1;
    }
    return 0;
}

// Value 0..255 of a button from one controller reading.
static int32_t controller_value(int button, int32_t x, int32_t y, int32_t mask) {
    auto bit = [mask](int b) { return (mask >> b) & 1 ? 255 : 0; };
    if (button <= MIVO3_BTN_DOWN) {
        // The stick wins once it is pushed past a dead zone of radius ~16384.
        int64_t reach = int64_t(x) * (x / 2) + int64_t(y) * (y / 2);
        if (reach >= 134217729) {
            int32_t v = button == MIVO3_BTN_LEFT    ? -x / 128
                        : button == MIVO3_BTN_RIGHT ? x / 128
                        : button == MIVO3_BTN_UP    ? -y / 128
                                                    : y / 128;
            return std::clamp(v, 0, 255);
        }
        // Game-controller order: d-pad up 11, down 12, left 13, right 14.
        static constexpr int dpad[4] = {13, 14, 11, 12};
        return bit(dpad[button]);
    }
    if (button == MIVO3_BTN_O) return bit(0) | bit(3);  // A or Y
    if (button == MIVO3_BTN_X) return bit(1) | bit(2);  // B or X
    if (button == MIVO3_BTN_PAUSE) return bit(6);      // start
    return 0;
}

// Reads the controller of a player; false when the player has none.
static bool read_controller(int player, int32_t* x, int32_t* y, int32_t* mask) {
    int device = player - hook(mivo3_buttons_hooks.joystick_index);
    if (device < 0 || device >= QUON_MAX_JOYSTICKS || device >= quon_count_joysticks()) return false;
    return quon_get_joystick(device, x, y, mask) != 0;
}

int32_t player_button(int button, int player) {
    if (button < 0 || button > MIVO3_BTN_PAUSE || player < 0 || player >= MIVO3_PLAYERS) return 0;
    int32_t x = 0, y = 0, mask = 0;
    if (!read_controller(player, &x, &y, &mask)) return 0;
    return controller_value(button, x, y, mask);
}

void read_buttons() {
    std::memset(buttons.btn_down, 0, sizeof buttons.btn_down);
    bool slow = hook(mivo3_buttons_hooks.slow_repeat) != 0;
    for (int p = 0; p < MIVO3_PLAYERS; p++) {
        int32_t slot = buttons.player_input_slots[p];
        // One controller reading per player and frame serves all its buttons.
        int32_t x = 0, y = 0, mask = 0;
        bool pad = read_controller(p, &x, &y, &mask);
        for (int b = 0; b < MIVO3_BUTTONS; b++) {
            bool held = p < 2 && player_key(b, p);
            if (!held && slot != -1) held = (slot >> b) & 1;
            if (!held && pad) held = controller_value(b, x, y, mask) > 128;
            if (!held) {
                buttons.btn_blocked[p][b] = 0;
                continue;
            }
            if (buttons.btn_blocked[p][b]) continue;
            buttons.btn_down[p][b] = 1;
            if (!buttons.btn_prev[p][b]) buttons.repeat_counter = slow ? 16 : fps() * 15 / 30 + 1;
        }
    }
    buttons.wheel_x = quon_wheel_x;
    buttons.wheel_y = quon_wheel_y;
    quon_wheel_x = quon_wheel_y = 0;
    quon_wheel_copy_x = quon_wheel_copy_y = 0;
}

void update_buttons() {
    bool tick = buttons.repeat_counter == 1;
    for (int p = 0; p < MIVO3_PLAYERS; p++) {
        for (int b = 0; b < MIVO3_BUTTONS; b++) {
            int32_t down = buttons.btn_down[p][b];
            buttons.btnp_state[p][b] = down && (!buttons.btn_prev[p][b] || tick) && !buttons.btn_blocked[p][b];
            buttons.btn_prev[p][b] = down;
        }
    }
    if (buttons.repeat_counter > 0) buttons.repeat_counter--;
    if (tick) buttons.repeat_counter = hook(mivo3_buttons_hooks.slow_repeat) ? 4 : fps() * 4 / 30;
}

void block_buttons() {
    for (auto& row : buttons.btn_blocked) std::fill(std::begin(row), std::end(row), 1);
    std::memset(buttons.btn_down, 0, sizeof buttons.btn_down);
    std::memset(buttons.btnp_state, 0, sizeof buttons.btnp_state);
    buttons.repeat_counter = hook(mivo3_buttons_hooks.slow_repeat) ? 16 : fps() * 15 / 30 + 1;
}

int32_t button_pressed(int button, int player) {
    if (button < 0 || button >= MIVO3_BUTTONS || player < 0 || player >= MIVO3_PLAYERS) return 0;
    if (!buttons.btn_down[player][button]) return 0;
    return !buttons.btn_prev[player][button] || buttons.repeat_counter == 1;
}

static int32_t button_query(const int32_t (&table)[MIVO3_PLAYERS][MIVO3_BUTTONS], int nargs, int32_t i, int32_t p,
                            int32_t* charge) {
    if (nargs <= 0) {
        if (charge) *charge = 0;
        int32_t bits = 0;
        for (int b = 0; b < MIVO3_BUTTONS; b++) {
            if (table[0][b]) bits |= 1 << b;
            if (table[1][b]) bits |= 1 << (8 + b);
        }
        return bits;
    }
    spend_cpu(4);
    if (charge) *charge = 4;
    int b = std::clamp(i, 0, MIVO3_BUTTONS - 1);
    int player = nargs >= 2 ? p : 0;
    if (player < 0 || player >= MIVO3_PLAYERS) return 0;
    return table[player][b] ? 1 : 0;
}

int32_t mivo3_btn(int nargs, int32_t i, int32_t p, int32_t* charge) {
    return button_query(buttons.btn_down, nargs, i, p, charge);
}

int32_t mivo3_btnp(int nargs, int32_t i, int32_t p, int32_t* charge) {
    return button_query(buttons.btnp_state, nargs, i, p, charge);
}
