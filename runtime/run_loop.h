// The run loop: turns a cart's code into a program in the one language
// state, runs it one machine frame (slice) at a time under the CPU budget,
// adapts the frame rate, reports compile and runtime errors in the console's
// format, stops and resumes programs, and keeps the run chain through which
// one cart loads another and comes back.
//
// The shell drives it: run_cart() when a cart is to start, run_slice() once
// per machine frame while shell_mode is 1 (then mivo3_frame_unfinished() when
// it returned 1), suspend_program() for a stop, reset_language_machine() after
// a runtime fault. Everything runs on the main thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "lang/lua/lualib.h"

struct lua_State;
struct mivo3_code_tabs;

// The first line of every compiled program; it names the chunk, so every
// message that carries a source position contains it.
constexpr const char* MIVO3_PRELUDE_FIRST_LINE = "-- mivo-3 header";
constexpr int32_t MIVO3_RUN_CHAIN_MAX = 2047;
constexpr int32_t MIVO3_FPS_HISTORY = 30;
constexpr int32_t MIVO3_RUN_PARAM_CHARS = 1024;
constexpr int32_t MIVO3_ASSERT_MESSAGE_CHARS = 254;
constexpr int32_t MIVO3_SLICE_REPEATS = 1024;   // soft-yield resumptions per machine frame
constexpr int32_t MIVO3_STUCK_FRAME_CYCLES = 0x100000;
constexpr int32_t MIVO3_RECOVER_LOAD_MAX = 0xF7FF;  // 16.16 load at most 63487/65536

// The run loop's record. Cleared by reset_run_loop().
struct run_loop_state {
    lua_State* L0;              // the language state, null when none
    int32_t is_command;         // the loaded program is a command, not a cart
    int32_t mainloop_kind;      // 0 none, 1 the cart's own _mainloop, 2 generated
    int32_t target_fps;         // stat(8); pstate.current_fps is stat(7)
    int32_t frame_held;         // set by _startframe/holdframe, cleared by flip
    int32_t frame_halve_request;
    int32_t mark_cycles[3];     // frame_cycles at _mark_cpu(k)
    int32_t mark_ms[3];         // host time at _mark_cpu(k)
    int32_t marks_taken;        // bit k: mark k taken since the last frame-rate update
    int32_t prev_load;          // 16.16 CPU load of the previous frame, 0 when unknown
    int32_t fps_history[MIVO3_FPS_HISTORY];
    int32_t frame_drop_count;   // stat(10), 0..10
    int32_t last_drop_ms;
    int32_t slice_count;        // slices run since the program started
    int32_t in_resume;          // a slice is running program code
    int32_t coroutine_over_budget;  // budget ran out inside a coroutine
    int32_t last_cdata_save_ms;
    int32_t saved_camera_x, saved_camera_y;  // camera at the last stop
    char assert_message[MIVO3_ASSERT_MESSAGE_CHARS + 1];
    char run_param[MIVO3_RUN_PARAM_CHARS + 1];          // stat(6)
    char pending_run_param[MIVO3_RUN_PARAM_CHARS + 1];  // becomes run_param at run_cart
    char forum_id[64];          // stat(101); empty when none
    char cart_hash[41];         // stat(103)
    int32_t fault;              // since the last run_cart: 1 the cart did not compile, 2 a runtime error
};
extern run_loop_state mivo3_run;

// What the run loop needs from the shell and the storage layer. Each entry
// may be null: printing then goes to the debug log, everything else is
// skipped (and the framerate control reads as 1).
struct mivo3_run_hooks {
    void (*print)(const char* text, int32_t colour);  // one console line
    void (*pause_menu_frame)();      // the pause menu's frame update, run by flip
    void (*stuck_frame)();           // update the pause menu for a frame that never flips
    void (*clear_menu_items)();      // the five pause-menu labels and their flags
    void (*set_paused)(int32_t v);   // both paused flags of the shell
    void (*close_pause_menu)();
    void (*save_cart_data)();        // writes the persistent cart data file now
    void (*cart_hash)(char out[41]);                // hash of the working cart
    void (*forum_id)(char* out, int32_t size);      // forum id of the working cart's file, "" if none
    int32_t (*load_cart)(const char* file);         // makes file the working cart; 0 on success
    void (*delay_input)(int32_t frames);
    int32_t (*draw_ms)();            // how long the host's last draw took
    int32_t (*framerate_control)();  // host_framerate_control (1: the host's rate counts)
    int32_t (*quit_when_stopped)();  // end the player when the program stops
    // flip is about to read the buttons that the next frame's update sees
    // (the headless runner holds that frame's buttons here).
    void (*next_frame_buttons)();
};
void mivo3_set_run_hooks(const mivo3_run_hooks& hooks);
const mivo3_run_hooks& mivo3_get_run_hooks();

// Clears the record and the run chain (no language state is closed).
void reset_run_loop();

// The prelude: two lines, the first MIVO3_PRELUDE_FIRST_LINE.
const char* mivo3_prelude();
// The text after a cart's code that calls _init and runs (or generates) the
// main loop; a command gets only "_end_of_program = 1".
const char* mivo3_footer(bool is_command);

// A fresh language state with the API bound (closing the old one), linked to
// the CPU accounting. Null when the allocator refused.
lua_State* mivo3_create_language_state();
void mivo3_close_language_state();
// The language state replaced by a fresh one and the runtime state reset;
// used after a runtime fault and at boot.
void reset_language_machine();
// Binds the run loop's own functions: flip, holdframe, _startframe,
// __refund_cpu__, _update_framerate, _set_mainloop_exists, _set_fps,
// _mark_cpu. add_c_functions calls it.
void add_runloop_functions(lua_State* L);

// The code tabs joined into one text, the separator after each tab before the
// last non-empty one.
std::string mivo3_join_code_tabs(const mivo3_code_tabs& tabs);

// Starts the working cart (pstate.cart, code from mivo3_tabs): fresh state,
// cart data from ROM, compile. Returns 0 when the program is running.
int32_t run_cart();
// Compiles text (a cart's code, or a command when is_command) into the
// global _m3_program and sets shell_mode 1. Returns 0, or 1 after printing
// the reason (limits, include or syntax errors).
int32_t run_program(std::string_view text, bool is_command);
// One machine frame of the running program. Returns 1 when the frame stayed
// unfinished (the budget ran out before flip), else 0.
int32_t run_slice();
// The shell's answer to an unfinished frame: asks for the frame rate to
// halve, and lets a program stuck in one frame still be paused.
void mivo3_frame_unfinished();
// Stops the program (sounds, cart data, display palette, camera, clip,
// cursor, key queue); nothing while the reset glitch runs.
void suspend_program();

// Before T (the running thread) yields to suspend the whole program: inside
// a coroutine, marks the yield as the program's, so that every coresume on
// the way passes it on. False when some resumer cannot yield; the yield then
// only ends the coroutine's run.
bool mivo3_suspend_program_from(lua_State* T);

// CPU accounting seen by the program.
void mivo3_flip_frame();              // flip's work before it yields
void mivo3_hold_frame();              // _startframe / holdframe
void mivo3_mark_cpu(int32_t k);       // k clamped to 0..2
int32_t mivo3_cpu_stat(int32_t which);  // stat(1) (which 1) or stat(2), 16.16
void mivo3_program_refund(int32_t n);   // __refund_cpu__: refund_cpu(n) when refunds are on
void update_frame_rate();             // after each flip of the generated main loop
// mivo3_assert_message(text), declared in lang/lua/lualib.h: the assert
// library function stores its message here for the runtime error report.

// Error reports, printed through the print hook.
void report_compile_error(const char* message, std::string_view flat_code, bool is_command);
void report_runtime_error(const char* message, bool is_command);
// The compiler message reduced to what the console shows (see run_loop.cpp);
// source_line is the offending line.
void extract_syntax_error(const char* message, std::string_view source_line, bool is_command);
void print_traceback();

// Run chain.
void add_run_chain_item(const char* file, const char* label, int32_t pending);
void reset_run_chain();
void pop_run_chain();
int32_t run_chain_depth();
const char* get_run_chain_label();      // top item's fields, null when empty
const char* get_run_chain_filename();
const char* get_run_chain_param_str();
// Loads the top item's cart and sets the shell to start it. 0 on success,
// 1 when the chain is empty or the cart could not be loaded.
int32_t follow_current_breadcrumb();
