// The event pump: once per loop iteration it sleeps, waits for input until
// the application's next due work, refreshes the keyboard state, and drains
// the platform's event queue (window focus and close, quit, keys and typed
// characters, mouse wheel, touch).
#pragma once
#include <cstdint>

extern int32_t quon_system_active;  // 1 while the window has focus
extern int32_t last_inactive_time;  // when the window last became active (ms)
extern int32_t sdl_fingerdown;      // 1 while a touch is down
extern int32_t quon_wheel_x, quon_wheel_y;            // accumulated wheel totals
extern int32_t quon_wheel_copy_x, quon_wheel_copy_y;  // copy taken at each wheel event
extern uint8_t quon_arrow_pressed[4];  // right, left, down, up: set on key down, cleared by consumers

int quon_handle_system_messages();  // sleep, wait, keyboard state, events; 0
bool quon_app_active();             // the sleep rule's notion of being in the foreground
