// Host configuration: the record `cconfig` with its defaults, the file
// "config.txt" (host half; the console registers a reader and a writer for its
// own half) and the host's pass over the command line.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct quon_config {
    int32_t loaded = 0;              // 1 after a configuration file was read
    int32_t screen_width = 0, screen_height = 0;
    int32_t colour_depth = 32;
    int32_t window_width = 0, window_height = 0;
    int32_t windowed = 0;
    int32_t sound_volume = 256;      // 0..256
    int32_t music_volume = 256;      // 0..256
    int32_t foreground_sleep_ms = 2; // 0..200
    int32_t background_sleep_ms = 10;
    int32_t emulate_textinput = 0;
    int32_t frameless = 0;
    int32_t window_x = -1, window_y = -1; // -1: the window manager decides
    int32_t display = -1;            // -1: no display chosen
    int32_t mix_buffer_size = 1024;  // 512..8192
    int32_t windib = -1;
    int32_t opengl_blit = 0;
    int32_t show_fps = 0;
    int32_t large_window = 0;
    int32_t rmb_key = 0;             // scancode held to turn a left click into a right click
    int32_t fullscreen_method = 1;   // 0 maximised, 1 desktop-sized, 2 exclusive
    int32_t software_blit = 0;
    int32_t preblit_scale = 0;       // 0 automatic, 1..8 forced
    int32_t pixel_perfect = -1;      // -1 automatic
    int32_t keep_aspect = 1;
    int32_t draw_rect_x = 0, draw_rect_y = 0, draw_rect_w = 0, draw_rect_h = 0;
    int32_t sessions = 0;            // run counter, +1 at every start
    int32_t timeout = 30;            // seconds, 1..240
    int32_t headless = 0;
    int32_t deferred_dealloc = 0;
    int32_t ext_display = 0;
    int32_t log_system_info = 0;
    char home_path[1024] = {};       // replaces the per-user data folder when set
    char desktop_path[1024] = {};
};

extern quon_config cconfig;   // live record
extern quon_config cconfig0;  // snapshot taken right after the file was read

// Console hooks: the reader gets every line the host does not know (comments
// included); the writer appends the console's half of the file.
using quon_load_config_func = void (*)(const char* line);
using quon_save_config_func = void (*)(std::string& out);

void quon_set_load_config_func(quon_load_config_func f);  // null: none
void quon_set_save_config_func(quon_save_config_func f);

void quon_config_default();  // cconfig <- defaults
int quon_config_load();      // reads "config.txt"; 0 when a file was read, 1 when defaults are kept
int quon_config_save();      // rewrites "config.txt" in the per-user data folder; 0 on success

// Reads configuration text into cconfig (lines as in the file; the console's
// reader gets the lines the host does not know), then clamps the values.
void quon_config_load_text(std::string_view text);
// Brings every setting into its meaningful range (sizes, positions, volumes,
// flags, the run counter), so that nothing read from the file or the command
// line can overflow the arithmetic that uses it.
void quon_config_clamp();
// Appends one printf-formatted line and a newline to configuration text;
// the host and the console write their halves of the file with it.
void quon_config_line(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The whole file as quon_config_save writes it, console half included.
std::string quon_config_text();

// Normalises a folder setting: leading spaces and characters below 32 go,
// '\' becomes '/', runs of '/' collapse, trailing spaces go and one '/' ends
// it. An empty or all-space text stays empty.
std::string quon_config_folder(std::string_view text);

// The host's pass over the command line (run before and after the file).
void quon_process_arguments(int argc, char** argv);
