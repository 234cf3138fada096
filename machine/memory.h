// Machine memory: the 32 KiB address space 0x0000..0x7fff. Each range is
// backed by the structure that uses it and every access translates between
// the byte view and that structure:
//   0x0000..0x42ff  the working cart (sprite sheet, map, flags, music, sfx)
//   0x4300..0x5dff  user data (ram_mirror)
//   0x5e00..0x5eff  persistent cart data, 64 little-endian 16.16 values
//   0x5f00..0x5f7f  draw state and hardware registers
//   0x5f80..0x5fff  GPIO pins
//   0x6000..0x7fff  the screen (mivo3_back_page), two pixels per byte
// Every operation takes the machine state (may be null) and the working cart.
// Writes outside 0..0x7fff raise the runtime fault "bad memory access"; reads
// outside give 0.
#pragma once
#include <cstdint>

#include "machine/pstate.h"

struct mivo3_cart;

constexpr int32_t MIVO3_ADDR_USER = 0x4300;
constexpr int32_t MIVO3_ADDR_CART_DATA = 0x5e00;
constexpr int32_t MIVO3_ADDR_REGISTERS = 0x5f00;
constexpr int32_t MIVO3_ADDR_GPIO = 0x5f80;
constexpr int32_t MIVO3_ADDR_SCREEN = 0x6000;

// Registers with a meaning outside their own field.
constexpr int32_t MIVO3_REG_DEVKIT = 0x5f2d;         // 1: mouse and keyboard stat
constexpr int32_t MIVO3_REG_KEEP_PALETTE = 0x5f2e;   // 1: display palette survives stop
constexpr int32_t MIVO3_REG_AUDIO_PAUSE = 0x5f2f;    // 1 paused, 2 plays in pause menu
constexpr int32_t MIVO3_REG_PAUSE_SUPPRESS = 0x5f30; // 1: next pause press is eaten
constexpr int32_t MIVO3_REG_COLOUR_PATTERN = 0x5f34; // 1: colours may carry a pattern
constexpr int32_t MIVO3_REG_AUDIO = 0x5f40;          // 0x5f40..0x5f43 audio masks
constexpr int32_t MIVO3_REG_KEEP_AUDIO = 0x5f44;     // 0: audio masks cleared at stop

constexpr const char* MIVO3_BAD_MEMORY_ACCESS = "bad memory access";

// The byte at addr; 0 outside 0..0x7fff, and from 0x4300 up without a machine.
uint8_t mivo3_peek(const machine_state* machine, const mivo3_cart* cart, int32_t addr);
// Stores value & 0xff at addr. Returns 0, or 1 after raising the fault for
// an address outside 0..0x7fff. Without a machine, writes from 0x4300 up are
// ignored.
int32_t mivo3_poke(machine_state* machine, mivo3_cart* cart, int32_t addr, int32_t value);
// Copies len bytes (1..0x7fff, else nothing) as peek/poke would, forward when
// dst < src and backward otherwise, so overlapping ranges copy correctly.
// Source bytes outside read 0; the first destination outside faults and ends
// the copy.
void mivo3_memcpy(machine_state* machine, mivo3_cart* cart, int32_t dst, int32_t src,
                  int32_t len);
// Writes value & 0xff to len bytes (1..0x7fff, else nothing).
void mivo3_memset(machine_state* machine, mivo3_cart* cart, int32_t dst, int32_t value,
                  int32_t len);
// Copies len bytes (at most 0x7fff) from cart ROM of `rom` at src (reads 0
// outside 0..0x42ff) to machine memory at dst with poke semantics.
void mivo3_reload(machine_state* machine, mivo3_cart* cart, const mivo3_cart* rom,
                  int32_t dst, int32_t src, int32_t len);
// Copies len bytes (1..0x7fff) of machine memory at src (peek semantics) into
// cart ROM of `rom` at dst; destination bytes in 0x4300..0x7fff have no ROM
// and are dropped, destinations outside 0..0x7fff fault.
void mivo3_cstore(const machine_state* machine, const mivo3_cart* cart, mivo3_cart* rom,
                  int32_t dst, int32_t src, int32_t len);

// Plain storage of the 128 GPIO pins of pstate; other indexes read 0 and
// ignore writes.
int32_t gpio_read(int32_t index);
void gpio_write(int32_t index, int32_t value);

// Applies the four clip fields to the screen bitmap's clip rectangle.
void mivo3_apply_clip(const machine_state* machine);

// Draw state at cart start: zeroes registers 0x5f00..0x5f7f through
// mivo3_memset (keeping cursor_y), then cursor_x 0, pen colour 6, line end
// (0, 0), camera (0, 0), palettes reset, screen mode 0, clip the whole
// screen, fill pattern 0.
void reset_runtime_state(machine_state* machine, mivo3_cart* cart);
// Both palettes to their reset state: entry i = i, draw entry 0 = 0x10.
void mivo3_reset_palettes(machine_state* machine);
