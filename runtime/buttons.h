// The machine's buttons: for each of 8 players 8 slots (0 left, 1 right,
// 2 up, 3 down, 4 O, 5 X, 6 pause, 7 unwired), sampled once per machine
// frame from the keyboard (players 0 and 1) and game controllers (all
// players), with the pressed-this-frame state and its auto-repeat that btnp
// reports, and blocking of held buttons until they are released.
#pragma once
#include <cstdint>

constexpr int MIVO3_PLAYERS = 8;
constexpr int MIVO3_BUTTONS = 8;
constexpr int MIVO3_KEY_BINDINGS = 13;

enum : int {
    MIVO3_BTN_LEFT = 0,
    MIVO3_BTN_RIGHT = 1,
    MIVO3_BTN_UP = 2,
    MIVO3_BTN_DOWN = 3,
    MIVO3_BTN_O = 4,
    MIVO3_BTN_X = 5,
    MIVO3_BTN_PAUSE = 6,
};

struct button_state {
    int32_t btn_down[MIVO3_PLAYERS][MIVO3_BUTTONS];     // 1 while held this frame
    int32_t btn_prev[MIVO3_PLAYERS][MIVO3_BUTTONS];     // btn_down at the last update_buttons
    int32_t btn_blocked[MIVO3_PLAYERS][MIVO3_BUTTONS];  // 1: ignored until released
    int32_t btnp_state[MIVO3_PLAYERS][MIVO3_BUTTONS];   // btnp result of the last update
    // One auto-repeat counter shared by every button of every player: a new
    // press of any button restarts the delay for all.
    int32_t repeat_counter;
    // Per player: when not -1, bit b forces button b held. The shell sets all
    // eight to -1 every frame.
    int32_t player_input_slots[MIVO3_PLAYERS];
    // Machine time in 60ths of a second, the basis of time().
    int32_t button_frame_counter;
    // Scancodes for p1 left, right, up, down, O, X; p2 the same; pause.
    // 0 keeps the default keys of that control.
    int32_t key_bindings[MIVO3_KEY_BINDINGS];
    // Mouse wheel movement taken over from the host at each read_buttons,
    // reported by stat(35) and stat(36).
    int32_t wheel_x, wheel_y;
};

extern button_state buttons;

// What the button layer needs to know about the shell, filled by the shell at
// start. Any null entry reads as 0.
struct mivo3_button_hooks {
    // Paused-frame mode or the pause menu open: repeat runs at 30 fps speed.
    int32_t (*slow_repeat)();
    // The pause menu is open: Escape is not player 0's pause.
    int32_t (*pause_menu_open)();
    // A cart program runs: player 0 also has the keypad keys and Escape.
    int32_t (*program_running)();
    // The player at which controller input begins (0..7).
    int32_t (*joystick_index)();
};
extern mivo3_button_hooks mivo3_buttons_hooks;

// Clears every table, sets the input slots to -1 and the key bindings to 0.
void reset_buttons();

// Samples every button of every player into btn_down (see buttons.cpp for the
// order of sources) and takes over the host's mouse wheel movement.
void read_buttons();
// Derives btnp_state from btn_down, btn_prev and the shared repeat counter.
void update_buttons();
// Marks every button blocked until released, clears its held state and
// restarts the repeat counter as for a new press.
void block_buttons();

// Keyboard part alone of a button (0 or 1), for the shell's menus.
int32_t player_key(int button, int player);
// Controller value 0..255 of a button; held when above 128.
int32_t player_button(int button, int player);
// For menus: held now and not before, or on a repeat tick. 0 for buttons or
// players above 7.
int32_t button_pressed(int button, int player);

// Language functions. `nargs` is the number of arguments the cart passed;
// i and p are integers (raw >> 16). Each returns the boolean result (or the
// bit mask without arguments), charges its cycles through spend_cpu like the
// drawing primitives (4 with arguments, nothing without) and stores that
// charge in *charge when it is not null.
int32_t mivo3_btn(int nargs, int32_t i, int32_t p, int32_t* charge);
int32_t mivo3_btnp(int nargs, int32_t i, int32_t p, int32_t* charge);

// Host scancodes of the default keys of a control (0..12 in key_bindings
// order), terminated by 0; the third element of p1 X (M) only counts while no
// Control key is held.
const int16_t* mivo3_default_keys(int control);
// The keyboard source of player 0's button while a cart runs, beside the
// default or configured keys: keypad keys, Insert, Delete, Escape.
const int16_t* mivo3_program_keys(int button);
