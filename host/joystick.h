// Game controllers and raw joysticks: up to eight devices, opened at start and
// when plugged in, with validation of axes and buttons that rest at a false
// value when a device is attached.
#pragma once
#include <cstdint>

constexpr int QUON_MAX_JOYSTICKS = 8;

extern int32_t quon_joystick_inited;
// Pending notices for the application: device index in the low byte, bit 8
// set; 0 when none. Consumers clear them.
extern int32_t quon_joystick_connected_notice;
extern int32_t quon_joystick_disconnected_notice;

// Controller mappings built into the program for the platform it was built
// for, in the platform's mapping text format (GUID, name, bindings,
// platform); null-terminated. Generated from host/controller_db/.
extern const char* const controller_db_mapping[];

// Adds the controller mappings (the built-in table, then the lines of
// "sdl_controllers.txt" in the program folder and the per-user data folder,
// which is created when missing) and connects the devices present.
void quon_joystick_init();
void quon_joystick_exit();  // closes every open device

// Platform event: a device was plugged in. It takes the slot of its device
// index, or the first free slot when that one holds another device, so that a
// controller plugged back in after another was removed is still opened.
void quon_joystick_added(int device_index);
void quon_joystick_removed(int32_t instance);  // platform event: a device went away

// 1 when slot `index` holds a device opened as a game controller, 2 as a raw
// joystick, 0 when empty.
int quon_joystick_kind(int index);
// Adds every string of a null-terminated mapping table; the number accepted.
int quon_add_controller_mappings(const char* const* table);

int quon_count_joysticks();
int quon_count_joystick_buttons(int index);  // raw joysticks only, else 0
// Left-stick axes (each -32768..32767 after validation) and buttons 0..14 as
// a mask. 0 when the device is not attached.
int quon_get_joystick(int index, int32_t* x, int32_t* y, int32_t* buttons);
int quon_get_joystick_axes(int index, int axis_x, int axis_y, int32_t* x, int32_t* y);

// One mapping file line: 0 skipped (empty or comment), 1 added, 2 updated, -1 refused.
int quon_add_controller_mapping_line(const char* line);

// Validation state of one device, kept apart so that it can be checked
// without hardware.
struct quon_joystick_validation {
    uint32_t buttons_ok = 0;        // buttons once seen released
    uint8_t axis_ok[32] = {};       // axes once seen inside the centre region
    bool axis_warned[32] = {};
    bool button_warned[32] = {};
};
int32_t quon_validate_axis(quon_joystick_validation& v, int axis, int32_t raw);
bool quon_validate_button(quon_joystick_validation& v, int button, bool pressed);
