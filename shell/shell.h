// The console shell: the application the host loop drives (start-up, the
// update and draw callbacks, exit), the boot animation, the head cart's boot,
// the pending-command executor, the stopped mode and the message bar. Its
// state lives in pstate (machine/pstate.h) and in `app` (shell/app.h).
#pragma once
#include <cstdint>

struct quon_pod;
struct quon_bitmap;
struct mivo3_cart;

constexpr const char* MIVO3_VERSION_STRING = "0.1.12";

// Where data.pod keeps what the shell reads beyond the palette, fonts and
// boot cart: the head cart at 3, further carts mounted for load() from 4 up
// to (not including) the demo pod, then the two pods the install commands
// copy out.
enum : int32_t {
    MIVO3_POD_HEAD_CART = 3,
    MIVO3_POD_FIRST_CART = 4,
    MIVO3_POD_DEMOS = 100,  // a pod of the 12 demo text carts, in install_demos order
    MIVO3_POD_GAMES = 101,  // a pod: 0 favourites.txt lines, 1..5 the sample games' cart pictures
};
constexpr int32_t MIVO3_DEMO_COUNT = 12;
constexpr int32_t MIVO3_SAMPLE_GAME_COUNT = 5;
// The demo carts' file names (item i of the demo pod is demo i) and the
// forum ids under which the sample games are installed (item i + 1 of the
// games pod is game i).
extern const char* const mivo3_demo_names[MIVO3_DEMO_COUNT];
extern const char* const mivo3_sample_game_ids[MIVO3_SAMPLE_GAME_COUNT];

// The resource pod "data.pod" and the pods inside it (items 1 and 2).
extern quon_pod* mivo3_data_pod;
extern quon_pod* mivo3_resource_pod;
extern quon_pod* mivo3_font_pod;
// Item 0 of data.pod: the text cart whose sfx 0 is the boot sound.
extern mivo3_cart* mivo3_boot_cart;
// The cart whose label the boot screen marks with a cross.
extern mivo3_cart* mivo3_display_cart;

// The displayed picture (the back page through the display palette and the
// screen mode) and the finished frame that capture reads.
extern quon_bitmap* mivo3_screen;
extern quon_bitmap* video_frame_bmp;

// Copies mivo3_back_page to mivo3_screen, mapping every pixel v to
// display_palette[v & 15] & 0x8f, then applies the screen-mode effect `mode`
// when apply_mode is set.
void blit_mivo3_back_page_to_mivo3_screen(bool apply_mode, int32_t mode);

// What capture provides to the shell's keys and frames; unset entries do
// nothing (a save then reports failure). The saves run in the background and
// tell their result on the message bar themselves.
struct mivo3_capture_hooks {
    int32_t (*save_screenshot)() = nullptr;  // starts saving mivo3_screen; 0 when started
    void (*reset_video_start)() = nullptr;   // the GIF starts from the next frame
    int32_t (*save_video)() = nullptr;       // starts saving the GIF; 0 when started
    void (*record_frame)() = nullptr;        // video_frame_bmp joins the GIF history
    int32_t (*save_screenshot_now)(const quon_bitmap* bitmap) = nullptr;  // at once; 0 on success
    void (*poll)() = nullptr;                // each update: a finished save tells its result
    void (*wait)() = nullptr;                // at exit: a running save is finished first
};
extern mivo3_capture_hooks mivo3_capture;
// Fills mivo3_capture and the API's capture entries; defined by capture/.
void capture_install_hooks();

// A program that plays the player in place of a person and the wall clock
// (the headless runner, tools/mivo3-run) fills this in before quon_main_init.
struct mivo3_runner_hooks {
    // Every update runs exactly one machine frame, however much time passed.
    bool step_frames = false;
    // -x starts without printing "RUNNING: <cart>".
    bool quiet_start = false;
    // Called at every update once the shell has cleared the input slots, to
    // hold buttons through buttons.player_input_slots.
    void (*hold_buttons)() = nullptr;
};
extern mivo3_runner_hooks mivo3_runner;

// Connects the buttons, the run loop and the API to the shell (pause menu,
// message bar, cart data, quitting when the program ends under -x).
void shell_install_hooks();

// Enters the boot mode: shell_mode 2 at frame -15, fresh language machine,
// cleared surfaces, the display cart's label crossed, sounds stopped.
void boot_init();
// One boot-animation step for the current frame_count.
void move_boot();
// Loads pod item 3 as the working cart and mounts items 4.. for load; with a
// command-line cart loaded, every item from 3 is only mounted.
void boot_embedded_cart();
// Recreates the working and display carts and the code tabs, then boots.
void reboot_machine();

// Timed message bar: 400 + extra_ms milliseconds; each message flips the text
// colour between 15 and 7.
void show_message(const char* text, int32_t extra_ms);
void show_message_2(const char* format, int32_t extra_ms, int32_t a, int32_t b);
// The shell's own notices: the bar for exactly ms milliseconds, without
// sliding in or out.
void show_notice(const char* text, int32_t ms);
// What a capture reports (saved, failed): the bar for ms milliseconds,
// sliding like a cart's message.
void show_capture_message(const char* text, int32_t ms);

// Draws the message bar onto page (the host back page) as it looks at time
// now: nothing once the message has ended.
void draw_message_bar(quon_bitmap* page, int32_t now);
// How far the bar has slid down at time now (0 at rest), -1 when no bar is
// up; and the first time after now at which that changes (INT32_MAX: never).
int32_t message_bar_offset(int32_t now);
int32_t message_bar_next_change(int32_t now);

// The frame accumulator after an update dt ms after the previous one at the
// given frame rate (16.16 frames owed): negative owing becomes 0 and more than
// four frames are dropped. every_update (the glitch test) makes each update
// owe exactly one frame.
int32_t accumulate_frames(int32_t accumulator, int32_t rate, int32_t dt, bool every_update);
// How many milliseconds after an update the next one owes a frame at the
// given rate (0: one is owed already), by the same arithmetic.
int32_t frame_due_ms(int32_t accumulator, int32_t rate);

// Drains the host key queue while a cart runs: Ctrl+R resets the cart,
// Ctrl+V takes the clipboard, other Control keys are dropped, the rest go to
// pstate.key_buffer.
void process_running_keypresses();

// Advances the mixer's pause state for this update (0 playing, 1 paused,
// 2..5 resuming).
int32_t next_audio_pause_state(int32_t state, bool hold);

// 8-bit drawing helpers for the shell's overlays, clipped to the bitmap:
// an icon whose colour 0 is transparent, a filled and an outlined rectangle
// (corners inclusive).
void shell_draw_icon(quon_bitmap* dst, const quon_bitmap* icon, int32_t x, int32_t y);
void shell_fill_rect(quon_bitmap* dst, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t c);
void shell_frame_rect(quon_bitmap* dst, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t c);
