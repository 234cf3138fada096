// The host's process: start-up, the main loop that drives the application's
// callbacks, and the exit sequence.
#pragma once
#include <atomic>
#include <cstdint>

// The application's callbacks, defined by the application (the console shell).
void quon_main_init(int argc, char** argv);  // must call quon_init itself
int quon_main_update();                      // result ignored
int quon_main_draw();                        // milliseconds it took; ignored
int quon_main_exit();                        // result ignored

// Host state record.
struct quon_host_state {
    char application_title[256] = "quon";
    char window_title[256] = {};
    const char* current_window_title = nullptr;  // null: none
    int32_t frame_paused = 0;                    // see quon_set_paused
    std::atomic<int32_t> audio_pause_state{0};   // 0 playing, 1 paused, 2..5 resuming; read by the mixer
};
extern quon_host_state quon_state;

extern int quon_argc;
extern char** quon_argv;
extern char quon_argv0[513];
extern int32_t quon_quit;           // the loop ends when non-zero after an iteration
extern int32_t quon_inited;         // 1 between a completed quon_init and the exit sequence
extern int32_t quon_items_created;  // host objects created, logged at exit

// Audio entry points the host calls in its loop and exit sequence. The audio
// layer sits above the host, so it registers them; unset hooks are skipped.
struct quon_audio_hooks {
    void (*music_stop)(int fade_len) = nullptr;  // stop the music (exit sequence)
    void (*update_music_fading)() = nullptr;     // once per loop iteration
    int (*music_fading)() = nullptr;             // non-zero while a fade still moves the volume
    int (*sound_exit)() = nullptr;               // exit sequence
};
void quon_set_audio_hooks(const quon_audio_hooks& hooks);

int quon_main(int argc, char** argv);  // runs the application; returns 0
int quon_init();                       // start-up; 0, also when already started
int quon_exit();                       // exit sequence, once; 0
int quon_restart();                    // exit sequence, then quon_main_init again; 0
int quon_handle_messages();            // one event pump outside the loop

// The application's next due work, set once per pass (by its update): the
// pump then waits for input until that time, after its usual sleep, instead
// of starting the next pass at once. A pass that sets none does not wait,
// and neither does one in which a music fade is moving.
void quon_set_wake_time(int32_t t);
void quon_wait_for_wake();  // the pump's wait; the time waited is left out of the frame meter
[[noreturn]] void quon_fatal_error(const char* text);

void quon_set_application_title(const char* text);
void quon_set_window_title(const char* text);  // null clears it
void quon_set_paused(int flag);
