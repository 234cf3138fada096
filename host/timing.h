// Time base, timers, the host's random generator and the frames-per-second
// meter. quon_get_time and quon_random may be called from the audio thread.
#pragma once
#include <cstdint>
#include <ctime>

extern int32_t quon_start_time;  // set by quon_reset_timer
extern int32_t frame_start_t;    // previous pass's meter update, moved on by any wait for work since (0: none yet)
extern int32_t smoothed_fps;     // frames per second, 16.16

int quon_get_time();             // milliseconds since the platform layer started
void quon_reset_timer();         // quon_start_time <- now
int quon_get_elapsed_time();     // now - quon_start_time; a negative span restarts the timer and gives 0
void quon_delay(int ms);         // sleeps
void quon_skip_frame();          // does nothing: frames are never skipped by the host

void quon_srand(uint32_t seed);
int quon_random(int m);          // uniform 0..m-1; 0 when m <= 0

// A run that must come out the same every time (the headless runner) puts
// its own clocks in place of the platform's: milliseconds for quon_get_time,
// and the calendar the date stats and the start seed read. Null restores the
// platform's clock.
void quon_set_clock(int32_t (*ms)());
void quon_set_calendar(std::time_t (*now)());
std::time_t quon_calendar_time();  // seconds since 1970
// What seeds the machine's random generator at boot and at every cart
// start: the calendar plus the host milliseconds, so that runs differ; or
// the one seed a run fixed with quon_fix_start_seed (fixed false: none).
uint32_t quon_start_seed();
void quon_fix_start_seed(bool fixed, uint32_t seed);

// Frame meter. The step is pure: the smoothed rate after a frame of dt ms.
int32_t quon_frame_meter_step(int32_t smoothed, int32_t dt);
// One loop pass at time `now`. A pass that also presents to a display that
// shows a frame every shortest_ms counts as taking at least that long.
void quon_frame_meter_update(int32_t now, int32_t shortest_ms = 0);
void quon_frame_meter_skip(int32_t ms);     // leaves ms the loop waited for work out of the current pass
void quon_frame_meter_reset();
int quon_get_fps();              // integer part of smoothed_fps

// The per-iteration sleep: milliseconds to sleep for the given activity.
int quon_choose_sleep_ms(bool active, int32_t foreground_ms, int32_t background_ms);
