// The functions a program can call, bound into the language state as
// globals. add_c_functions runs whenever a language state is created.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct lua_State;

// Binds every API function as a global of L, and nothing else (the standard
// libraries are never opened).
void add_c_functions(lua_State* L);

// Binds cartdata, dget and dset; defined by the persistent cart data code and
// called from add_c_functions.
void add_cdata_functions(lua_State* L);

// The machine's random generator behind rnd and srand: two 32-bit words
// stepped by rotate-and-add. mivo3_srand(0) gives a fixed sequence; the run
// loop seeds a starting cart with the wall-clock time.
void mivo3_srand(uint32_t seed);
// 0 when m is 0, else one step of the generator taken modulo m (unsigned).
uint32_t mivo3_random(uint32_t m);

// The file forms of reload and cstore, installed by the cart storage
// workflow; while a hook is null, the file form fails and returns 0.
// reload: reads len bytes at src of the named cart file's ROM into machine
// memory at dst. Returns len on success, 0 on failure.
extern int32_t (*mivo3_reload_file_hook)(int32_t dst, int32_t src, int32_t len,
                                         const char* filename);
// cstore: writes len bytes of machine memory at src into the named cart
// file's ROM at dst, or, when filename is null, into the loaded cart's ROM
// and the running cart's own store file. Returns the number of bytes stored,
// 0 on failure. Without the hook, cstore with no file name still copies into
// the loaded cart's ROM.
extern int32_t (*mivo3_cstore_file_hook)(int32_t dst, int32_t src, int32_t len,
                                         const char* filename);

// What the API needs from the shell (pause menu, capture, message bar, the
// reset glitch, folders). The shell fills it in at start; a null entry makes
// the binding do nothing (or read as 0 / empty).
struct mivo3_api_hooks {
    // extcmd("label"): presents the screen and stores it as the cart
    // label; 0 on success. The screenshot and the GIF are saved in the
    // background and tell their result themselves, so that the message bar
    // never reports a file that was not written; 0 when the save started.
    int32_t (*save_label)();
    int32_t (*save_screenshot)();  // extcmd("screen")
    void (*start_recording)();     // extcmd("rec")
    int32_t (*save_video)();       // extcmd("video")
    void (*open_pause_menu)();   // extcmd("pause")
    void (*start_reset_glitch)();  // extcmd("reset"), after the 500 ms check
    void (*request_shutdown)();  // extcmd("shutdown")
    // The timed message bar, shown for ms milliseconds.
    void (*show_message)(const char* text, int32_t ms);
    // Pause menu item i (1..5) gets label (at most 16 characters), or is
    // cleared when label is null.
    void (*set_menu_item)(int32_t i, const char* label);
    // True once after item i (1..5) was chosen; clears the flag.
    int32_t (*take_menu_item_selected)(int32_t i);
    // Sets both paused flags.
    void (*set_paused)(int32_t v);
    // Rebuilds the pause menu and returns its number of lines (stat 12..15).
    int32_t (*pause_menu_lines)();
    // A start-up cart was given on the command line (devkit messages).
    int32_t (*startup_cart_given)();
    // Folder printh log files go to: the carts root folder followed by the
    // current folder, ending with '/' ("" when null).
    std::string (*log_folder)();
    // Each text printh writes to log.txt (printh without a file name), also
    // given here; the headless runner shows and checks it.
    void (*printh_line)(std::string_view text);
};
extern mivo3_api_hooks mivo3_api;

// printh may write at most 0x9fffff bytes to files and to 64 distinct files;
// the shell clears the counts when it starts a program afresh.
void mivo3_printh_reset_limits();

// The console's commands are shell procedures; the bindings only read the
// arguments and push the results. A string argument arrives as a pointer to
// its bytes (NUL bytes included) and a null pointer means that the argument
// was absent or not a string. Null entries make the command do nothing.
struct mivo3_command_hooks {
    // load(name, [breadcrumb], [param]): 1 when the call returns true.
    int32_t (*load)(const std::string_view* name, const std::string_view* breadcrumb,
                    const std::string_view* param);
    void (*save)(const std::string_view* name);
    void (*run)(const std::string_view* param);
    // reboot and shutdown: 1 when the program is to yield.
    int32_t (*reboot)();
    int32_t (*shutdown)();
    void (*cd)(const std::string_view* name);
    // ls without an argument: fills names and returns 1 when a table is
    // returned.
    int32_t (*ls)(std::vector<std::string>& names);
    // mkdir: 1 when the call returns 0 (a name of 512 or more bytes).
    int32_t (*mkdir)(const std::string_view* name);
    void (*folder)();
    void (*info)();
    void (*import_cart)(const std::string_view* name);
    void (*export_cart)(const std::string_view* name);
    void (*keyconfig)();
    void (*trovea)();
    void (*install_demos)();
    void (*install_games)();
    void (*login)();
    void (*bbsreq)();
    void (*scoresub)();
};
extern mivo3_command_hooks mivo3_commands;
