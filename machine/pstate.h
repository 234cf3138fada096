// The machine's global state record `pstate`: the backing of machine memory
// that is not cart data (user memory mirror, persistent data, draw state,
// audio and GPIO registers), the language memory accounting, the run loop's
// CPU counters and the shell's mode fields. Cleared to zero at start.
#pragma once
#include <cstdint>

#include "host/bitmap.h"

struct mivo3_cart;

constexpr int32_t MIVO3_MEMORY_SIZE = 0x8000;
constexpr int32_t MIVO3_SCREEN_SIZE = 128;

struct machine_state {
    // Every byte written to machine memory, at its address. Reads of user
    // memory and of registers without a field of their own come from here.
    uint8_t ram_mirror[MIVO3_MEMORY_SIZE];

    int32_t cart_data_values[64];  // persistent cart data, raw 16.16 values
    int32_t cart_data_dirty;       // set by writes to 0x5e00..0x5eff and dset

    // Draw state (registers 0x5f00..0x5f3f).
    int32_t draw_palette[16];     // bits 0..3 colour, bit 4 transparent
    int32_t display_palette[16];  // shown as entry & 0x8f
    int32_t clip_x0, clip_y0, clip_x1, clip_y1;  // ends exclusive
    int32_t pen_colour;
    int32_t cursor_x, cursor_y;
    int32_t camera_x, camera_y;   // signed 16-bit values
    int32_t screen_mode;
    int32_t fill_pattern;         // bits 0..15 pattern, bit 16 transparency
    int32_t line_end_x, line_end_y;

    // Language memory: bytes charged to the language state, and 12 bytes per
    // token of the compiled program.
    int32_t lua_bytes;
    int32_t code_overhead;
    int32_t compiling;             // new blocks of tag 0 are free while set
    int32_t soft_yield_requested;  // memory passed 2 MiB: yield soon
    int32_t alloc_failed;          // an allocation was refused

    int32_t audio_regs[4];  // half-speed, reverb, distortion, low-pass masks
    uint8_t gpio_pins[128];

    int32_t glitch_timer;  // reset glitch: 0 idle, 1..4 running

    mivo3_cart* cart;  // the working cart: machine memory 0x0000..0x42ff

    // Run loop CPU counters, in cycles (one cycle = one VM instruction).
    int32_t cpu_fraction;
    int32_t slice_cycles;
    int32_t refund_balance;
    int32_t frame_cycles;
    int32_t system_cycles;
    int32_t refunds_enabled;

    // Shell state.
    int32_t frame_count;
    int32_t shell_mode;       // 0 stopped, 1 running a cart, 2 booting
    int32_t pending_command;  // 0 none, 1 run, 2 stop, 3 reboot, 4 runtime error
    int32_t program_running;
    int32_t overlay;          // 0 none, 1 key configuration, 2 kiosk
    int32_t current_fps;
    int32_t frames_to_hold;
    int32_t spinner_frame;
    uint8_t key_buffer[256];
    int32_t key_buffer_count;
    char error_text[256];     // message of the last runtime fault
};

extern machine_state pstate;

// The machine's drawing surface: 128x128, one byte per pixel, whose clip
// rectangle is the machine's clip rectangle. Created by the shell at start
// (or by reset_pstate when absent).
extern quon_bitmap* mivo3_back_page;

// Clears pstate to zero, creates mivo3_back_page when absent and clears it,
// and puts the draw state in its reset state: palettes identity (draw entry
// 0 = 0x10), clip (0, 0, 128, 128), pen colour 6, current_fps 30.
void reset_pstate();

// Calls into the run loop, defined in runtime/cpu.cpp. Drawing and API
// charges go through these so the frame budget sees them.
// spend_cpu: charges n cycles (n <= 0 counts as 1); nothing without a
// language state.
void spend_cpu(int32_t n);
// refund_cpu: n < 0 gives cycles back, n > 0 charges extra.
void refund_cpu(int32_t n);
// The runtime fault: unless the reset glitch runs, stores the message, sets
// pending_command 4 and yields the running program.
void mivo3_runtime_error(const char* message);
