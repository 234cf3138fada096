// Keyboard state with edge detection, auto-repeat and blocking; the queue of
// typed characters; the mouse in back-page pixels.
#pragma once
#include <cstdint>

constexpr int QUON_KEY_COUNT = 512;
// Pseudo-scancodes for the system (GUI) keys taken from the modifier state,
// and a fourth pair that nothing sets.
constexpr int QUON_KEY_LSYSTEM = 500, QUON_KEY_RSYSTEM = 501;
constexpr int QUON_KEY_LSPARE = 502, QUON_KEY_RSPARE = 503;
// Modifier pairs for quon_get_key_state.
constexpr int QUON_KEY_SHIFT = -6, QUON_KEY_CONTROL = -5, QUON_KEY_ALT = -4, QUON_KEY_SYSTEM = -3,
              QUON_KEY_SPARE = -2;

extern uint8_t quonkey[QUON_KEY_COUNT];        // 0 up, 1 down, 3 down and due to report a press
extern uint8_t last_quonkey[QUON_KEY_COUNT];   // quonkey before the current update
extern uint8_t block_quonkey[QUON_KEY_COUNT];  // non-zero: reads as up until released
extern int32_t next_press_t;                    // when held keys next repeat
extern int32_t quonkey_buffer[32];              // characters, or -1 for a key without one
extern int32_t quonkey_buffer_pos;              // entries in the queue

void quon_keys_init();   // clears the key tables and the queue
void quon_keys_exit();

// One keyboard update from a platform state of `count` scancodes (0 up, 1
// down), the modifier flags (SDL KMOD_ bits) and the time.
void quon_keys_update(const uint8_t* platform, int count, uint32_t mods, int32_t now);

int quon_get_key_state(int code);  // 0 up, 1 held, 3 pressed in this update; negative codes are modifier pairs
void quon_block_key(int scancode);  // reads as up until physically released
void quon_clear_key(int scancode);  // forgets the key's state for this update
int quon_keypressed();              // the character queue is not empty
int quon_readkey();                 // waits for and removes the oldest queue entry
void quon_queue_key(int32_t c);     // appends when the queue has room
// Host hot keys on a produced character (fullscreen, fps counter, Alt+F4),
// then queueing. False when the character was taken by a hot key.
bool quon_take_char(int32_t c);
int quon_get_any_key_down();        // lowest scancode down except Caps Lock; 0 if none
const char* quon_get_key_name(int scancode);  // upper-case platform name, or "?"

// Character made from a key down (scancode, the layout's keycode, modifier
// flags) by the translation rules, or 0 for none. `tab_allowed` is false when
// Tab must be swallowed (Alt held or the window just became active).
int quon_translate_key(int scancode, int32_t keycode, uint32_t mods, bool tab_allowed);
// Character that a key makes with a US layout when text input is emulated, or 0.
int quon_emulated_char(int scancode, bool shift);

void quon_mouse_init();
// Mouse in back-page pixels and a button mask (1 left, 2 right, 4 middle);
// all 0 without a back page. Null outputs are skipped.
void quon_get_mouse(int32_t* x, int32_t* y, int32_t* buttons);
void quon_get_mouse_deltas(int32_t* dx, int32_t* dy);
extern int32_t quon_last_mouse_x, quon_last_mouse_y;
