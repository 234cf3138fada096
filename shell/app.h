// The shell's global record `app`: the console's settings (config.txt and its
// own command-line options) and the shell's transient state (pause menu,
// message bar, frame accumulator, glitch test). Cleared by reset_app.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t MIVO3_BUTTON_KEY_COUNT = 13;  // player 0 buttons 0..6, player 1 buttons 0..5
constexpr int32_t MIVO3_APP_PATH_SIZE = 1024;
constexpr int32_t MIVO3_PARAM_CHARS = 1024;  // -param text a cart reads with stat(6)

struct mivo3_app {
    // Console settings, read from and written to config.txt.
    int32_t volume = 0;                          // 0..256; 0 means "use the sound volume"
    char root_path[MIVO3_APP_PATH_SIZE] = {};    // folder of carts, ends with '/'
    char cdata_path[MIVO3_APP_PATH_SIZE] = {};   // folder of persistent cart data, ends with '/'
    int32_t joystick_index = 0;                  // first player index controllers map to (0..7)
    int32_t button_keys[MIVO3_BUTTON_KEY_COUNT] = {};  // custom scancodes, 0 = default key
    int32_t live_notes = 0;                      // editor setting, kept
    int32_t cursor_snap = 0;                     // editor setting, kept
    int32_t gif_len = 0;                         // maximum GIF length in seconds
    int32_t gui_theme = 0;                       // editor setting, kept
    int32_t screenshot_scale = 0;
    int32_t gif_scale = 0;
    int32_t shift_glyphs = 0;                    // Shift+A..Z types glyphs
    int32_t show_backup_messages = 0;
    int32_t host_framerate_control = 0;          // allow the run loop to drop to 30 fps
    int32_t content_filter = 0;                  // 0..2
    int32_t tab_width = 0;                       // editor setting, kept
    int32_t keyboard_cursor = 0;
    int32_t gpio_base = 0;                       // -gpio_base; -1 none

    // Console command-line options.
    char cart_name[MIVO3_APP_PATH_SIZE] = {};    // first plain argument
    std::vector<std::string> extra_args;         // further plain arguments (each < 1024 bytes)
    char param[MIVO3_PARAM_CHARS + 1] = {};      // -param: the cart's parameter string
    char export_name[MIVO3_APP_PATH_SIZE] = {};  // -export (this program writes no export)
    int32_t export_flag = 0;                     // -export given
    int32_t accept_future = 0;                   // -accept_future: load carts of a later version
    int32_t x_switch = 0;                        // -x / -exec: run one cart, quit when its program ends
    int32_t run_flag = 0;                        // -run, -x or -exec
    int32_t kiosk_flag = 0;                      // -kiosk
    int32_t cart_arg_loaded = 0;                 // the command-line cart was loaded
    int32_t glitch_test = 0;                     // -glitch_test; counts updates while a cart runs
    int32_t glitch_count = 0;                    // glitches performed under -glitch_test

    // Shell state.
    char current_folder[MIVO3_APP_PATH_SIZE] = {};  // below root_path: empty or ending in '/' (cd)
    int32_t pause_mode = 0;                      // 1 while the pause menu is open
    int32_t pause_menu_count = 0;
    int32_t pause_menu_cursor = 0;
    int32_t frame_accumulator = 0;               // 16.16 machine frames owed
    char message_text[256] = {};
    int32_t message_start = 0;                   // ms; 0: the bar does not slide
    int32_t message_end = 0;                     // ms
    int32_t message_colour = 7;                  // alternates 15 / 7 per message
    int32_t saved_volume = 0;                    // volume restored when unmuting
    std::string paste_text;                      // clipboard text taken with Ctrl+V
    int32_t last_reset_t = 0;                    // ms of the last Ctrl+R
    int32_t audio_started = 0;
};

extern mivo3_app app;

// Clears every field of app (settings and state) to its zero value.
void reset_app();

// Applies the console's default settings: volume 0, root and cart-data
// folders under the per-user data folder, gif_len 8, gif_scale 2,
// screenshot_scale 3, shift_glyphs 1, show_backup_messages 1,
// host_framerate_control 1, content_filter 1, tab_width 1, gpio_base -1.
void set_default_app_config();
