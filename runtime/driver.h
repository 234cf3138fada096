// A headless driver for tests, tools and benchmarks: a fresh machine, a
// cart's code, and machine frames run back to back without pacing, each one
// doing what the shell's update does for a running cart (pending commands,
// buttons, one slice, the unfinished-frame request). The machine state stays
// readable between frames through pstate, mivo3_run and mivo3_peek.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct mivo3_driver_line {
    std::string text;
    int32_t colour;
};

// Resets the machine (pstate, buttons, run loop, working cart with empty
// code) and installs the driver's hooks: console lines are collected, the
// frame rate follows the program's own CPU load only.
void mivo3_driver_open();
// Closes the language state and frees the working cart.
void mivo3_driver_close();

// Puts code into the code tabs (split at "\n-->8\n") of the working cart.
void mivo3_driver_load_code(std::string_view code);
// Starts the working cart. 0 when its program runs.
int32_t mivo3_driver_start();
// Runs up to n machine frames; stops early once the program has stopped.
// Returns the frames run.
int32_t mivo3_driver_frames(int32_t n);
// One machine frame. Returns 1 when the slice left the frame unfinished.
int32_t mivo3_driver_frame();

// Whether a program is running (shell_mode 1).
bool mivo3_driver_running();
// Console lines printed since the driver was opened (or cleared).
const std::vector<mivo3_driver_line>& mivo3_driver_output();
std::string mivo3_driver_output_text();  // the lines joined with '\n'
void mivo3_driver_clear_output();

// Little-endian reads of machine memory.
int32_t mivo3_driver_peek(int32_t addr);
int32_t mivo3_driver_peek4(int32_t addr);
