#include "host/joystick.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/log.h"
#include "host/paths.h"
#include "host/stream.h"

int32_t quon_joystick_inited = 0;
int32_t quon_joystick_connected_notice = 0;
int32_t quon_joystick_disconnected_notice = 0;

static SDL_GameController* sdl_controller[QUON_MAX_JOYSTICKS];
static SDL_Joystick* sdl_joystick[QUON_MAX_JOYSTICKS];
static quon_joystick_validation validation[QUON_MAX_JOYSTICKS];
static bool detached_warned[QUON_MAX_JOYSTICKS];

int32_t quon_validate_axis(quon_joystick_validation& v, int axis, int32_t raw) {
    if (axis < 0 || axis >= 32) return 0;
    if (!v.axis_ok[axis] && raw >= -16383 && raw <= 16383) v.axis_ok[axis] = 1;
    return v.axis_ok[axis] ? raw : 0;
}

bool quon_validate_button(quon_joystick_validation& v, int button, bool pressed) {
    if (button < 0 || button >= 32) return false;
    uint32_t bit = 1u << button;
    if (!pressed) v.buttons_ok |= bit;
    return pressed && (v.buttons_ok & bit);
}

int quon_add_controller_mapping_line(const char* line) {
    std::string text = line ? line : "";
    size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return 0;
    size_t b = text.find_last_not_of(" \t\r\n");
    text = text.substr(a, b - a + 1);
    if (text[0] == '/') return 0;
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return -1;
    int r = SDL_GameControllerAddMapping(text.c_str());
    const char* what = r == 1 ? " added controller mapping: %s\n"
                       : r == 0 ? " updated controller mapping: %s\n"
                                : " failed to add controller mapping: %s\n";
    quon_debugf(what, text.c_str());
    return r == 1 ? 1 : r == 0 ? 2 : -1;
}

int quon_add_controller_mappings(const char* const* table) {
    if (!table || !SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return 0;
    int n = 0;
    for (; *table; table++)
        if (SDL_GameControllerAddMapping(*table) >= 0) n++;
    return n;
}

static void read_mapping_file(const std::string& path, bool create_missing) {
    quon_stream* s = quon_fopen(path.c_str(), "rb");
    if (!s) {
        if (!create_missing) return;
        s = quon_fopen(path.c_str(), "wb");
        if (s) {
            const char line[] = "// add SDL2 game controller mappings to this file\n";
            quon_fwrite(line, 1, sizeof line - 1, s);
            quon_fclose(s);
        }
        return;
    }
    quon_debugf("Reading controller mappings: %s\n", path.c_str());
    char buf[1024];
    while (quon_fgets(buf, sizeof buf, s)) {
        size_t len = std::strlen(buf);
        // A line longer than the buffer keeps its first 1023 characters; the
        // rest must not be read as lines of their own.
        if (len == sizeof buf - 1 && buf[len - 1] != '\n') {
            int32_t c;
            while ((c = quon_fgetc(s)) != EOF && c != '\n') {
            }
        }
        quon_add_controller_mapping_line(buf);
    }
    quon_fclose(s);
}

static SDL_Joystick* slot_joystick(int i) {
    return sdl_controller[i] ? SDL_GameControllerGetJoystick(sdl_controller[i]) : sdl_joystick[i];
}

// The slot a device goes into: its own index when free, else the first free
// one; -1 when it is open already or every slot is taken.
static int open_slot_of(int device);

// The slot a device goes into: its own index when free, else the first free
// one; -1 when it is open already or every slot is taken.
static int slot_for(int device) {
    if (open_slot_of(device) >= 0) return -1;
    if (device < QUON_MAX_JOYSTICKS && !slot_joystick(device)) return device;
    for (int i = 0; i < QUON_MAX_JOYSTICKS; i++)
        if (!slot_joystick(i)) return i;
    return -1;
}

// Opens device `device` into slot i; false when the platform refused it.
static bool connect(int device, int i) {
    quon_debugf("connecting joystick %d\n", i);
    validation[i] = quon_joystick_validation{};
    detached_warned[i] = false;
    SDL_Joystick* js = nullptr;
    if (SDL_IsGameController(device)) {
        sdl_controller[i] = SDL_GameControllerOpen(device);
        if (!sdl_controller[i]) return false;
        js = SDL_GameControllerGetJoystick(sdl_controller[i]);
        quon_debugf("Controller %d: %s\n", i, SDL_GameControllerName(sdl_controller[i]));
    } else {
        sdl_joystick[i] = SDL_JoystickOpen(device);
        if (!sdl_joystick[i]) return false;
        js = sdl_joystick[i];
        quon_debugf("Unmapped Joystick %d: %s\n", i, SDL_JoystickName(js));
    }
    quon_debugf("Number of Axes: %d\n", SDL_JoystickNumAxes(js));
    quon_debugf("Number of Buttons: %d\n", SDL_JoystickNumButtons(js));
    quon_debugf("Number of Balls: %d\n", SDL_JoystickNumBalls(js));
    if (sdl_controller[i]) {
        char* mapping = SDL_GameControllerMapping(sdl_controller[i]);
        quon_debugf("Mapping: %s\n", mapping ? mapping : "");
        SDL_free(mapping);
    }
    return true;
}

void quon_joystick_init() {
    if (quon_joystick_inited) return;
    quon_joystick_inited = 1;
    std::memset(sdl_controller, 0, sizeof sdl_controller);
    std::memset(sdl_joystick, 0, sizeof sdl_joystick);
    for (auto& v : validation) v = quon_joystick_validation{};
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return;
    quon_add_controller_mappings(controller_db_mapping);
    read_mapping_file(quon_prefix_with_program_path("sdl_controllers.txt"), false);
    read_mapping_file(quon_prefix_with_appdata_path("sdl_controllers.txt"), true);
    quon_debug(">searching for joysticks\n");
    int n = SDL_NumJoysticks();
    quon_debugf("found %d joysticks\n", n);
    for (int i = 0; i < n && i < QUON_MAX_JOYSTICKS; i++) {
        int slot = slot_for(i);
        if (slot >= 0) connect(i, slot);
    }
    quon_debug("<ok\n");
}

void quon_joystick_exit() {
    for (int i = 0; i < QUON_MAX_JOYSTICKS; i++) {
        if (sdl_controller[i]) SDL_GameControllerClose(sdl_controller[i]);
        if (sdl_joystick[i]) SDL_JoystickClose(sdl_joystick[i]);
        sdl_controller[i] = nullptr;
        sdl_joystick[i] = nullptr;
    }
    quon_joystick_inited = 0;
}

static int open_slot_of(int device) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
    for (int i = 0; i < QUON_MAX_JOYSTICKS; i++) {
        SDL_Joystick* js = slot_joystick(i);
        if (js && id >= 0 && SDL_JoystickInstanceID(js) == id) return i;
    }
    return -1;
}

void quon_joystick_added(int device_index) {
    if (!quon_joystick_inited || device_index < 0 || device_index >= QUON_MAX_JOYSTICKS ||
        device_index >= SDL_NumJoysticks())
        return;
    // Devices present at start are announced too, though already open.
    int slot = open_slot_of(device_index);
    if (slot < 0) {
        slot = slot_for(device_index);
        if (slot < 0 || !connect(device_index, slot)) return;
    }
    quon_joystick_connected_notice = 0x100 | slot;
}

void quon_joystick_removed(int32_t instance) {
    for (int i = 0; i < QUON_MAX_JOYSTICKS; i++) {
        SDL_Joystick* js = slot_joystick(i);
        if (!js || SDL_JoystickInstanceID(js) != instance) continue;
        if (sdl_controller[i]) SDL_GameControllerClose(sdl_controller[i]);
        if (sdl_joystick[i]) SDL_JoystickClose(sdl_joystick[i]);
        sdl_controller[i] = nullptr;
        sdl_joystick[i] = nullptr;
        quon_joystick_disconnected_notice = 0x100 | i;
    }
}

int quon_joystick_kind(int index) {
    if (index < 0 || index >= QUON_MAX_JOYSTICKS) return 0;
    return sdl_controller[index] ? 1 : sdl_joystick[index] ? 2 : 0;
}

int quon_count_joysticks() {
    int n = 0;
    for (int i = 0; i < QUON_MAX_JOYSTICKS; i++)
        if (sdl_controller[i] || sdl_joystick[i]) n = i + 1;
    return n;
}

int quon_count_joystick_buttons(int index) {
    if (index < 0 || index >= QUON_MAX_JOYSTICKS || !sdl_joystick[index]) return 0;
    return SDL_JoystickNumButtons(sdl_joystick[index]);
}

static bool attached(int index) {
    if (index < 0 || index >= QUON_MAX_JOYSTICKS) return false;
    if (sdl_controller[index] || sdl_joystick[index]) return true;
    if (!detached_warned[index]) {
        detached_warned[index] = true;
        quon_debugf("** could not read joystick %d (not attached)\n", index);
    }
    return false;
}

static int32_t read_axis(int index, int axis, bool second) {
    int32_t raw = sdl_controller[index]
                      ? SDL_GameControllerGetAxis(sdl_controller[index], static_cast<SDL_GameControllerAxis>(axis))
                      : SDL_JoystickGetAxis(sdl_joystick[index], axis);
    quon_joystick_validation& v = validation[index];
    int32_t value = quon_validate_axis(v, axis, raw);
    if (axis >= 0 && axis < 32 && !v.axis_ok[axis] && !v.axis_warned[axis]) {
        v.axis_warned[axis] = true;
        std::printf(second ? "** y axis %d not validated on joystick %d\n" : "** x axis %d not validated on joystick %d\n",
                    axis, index);
    }
    return value;
}

int quon_get_joystick_axes(int index, int axis_x, int axis_y, int32_t* x, int32_t* y) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (!attached(index)) return 0;
    if (x) *x = read_axis(index, axis_x, false);
    if (y) *y = read_axis(index, axis_y, true);
    return 1;
}

int quon_get_joystick(int index, int32_t* x, int32_t* y, int32_t* buttons) {
    if (buttons) *buttons = 0;
    if (!quon_get_joystick_axes(index, 0, 1, x, y)) return 0;
    // Game-controller order: A, B, X, Y, back, guide, start, sticks,
    // shoulders, then the d-pad up, down, left, right.
    int32_t mask = 0;
    quon_joystick_validation& v = validation[index];
    for (int b = 0; b < 15; b++) {
        bool pressed = sdl_controller[index]
                           ? SDL_GameControllerGetButton(sdl_controller[index], static_cast<SDL_GameControllerButton>(b))
                           : SDL_JoystickGetButton(sdl_joystick[index], b);
        if (quon_validate_button(v, b, pressed)) {
            mask |= 1 << b;
        } else if (pressed && !v.button_warned[b]) {
            v.button_warned[b] = true;
            quon_debugf("** button %d not validated on joystick %d\n", b, index);
        }
    }
    if (buttons) *buttons = mask;
    return 1;
}
