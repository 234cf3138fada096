// The reset glitch: a few frames of random corruption of machine memory that
// play when a cart is reset, after which the cart restarts.
#pragma once
#include <cstdint>

// Starts a glitch (glitch_timer <- 1). A glitch already running starts over.
void start_reset_glitch();
// Once per machine frame: advances glitch_timer; on its second frame the
// memory is corrupted, after its fourth the cart restarts. A timer of -1
// restarts at once. Nothing while the timer is 0.
void update_reset_glitch();
// The corruption itself, drawn from the host's random generator. test_count
// is the glitch test's count of glitches done (0 outside the test).
void glitch_corrupt_memory(int32_t glitch_test, int32_t test_count);
// Launch parameter the restart passes back to the cart; the shell records it
// whenever a cart starts.
void glitch_save_launch_param(const char* param);
// Restart: the saved launch parameter becomes the next run's parameter and
// the shell runs the working cart at its next update.
void glitch_restart();
