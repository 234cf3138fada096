// The in-memory cart record: code text, sprite sheet, map, sprite flags,
// music patterns and sound effects, plus its mapping onto the 0x4300 bytes of
// cart ROM and the eight code tabs the code is edited and reported in.
#pragma once
#include <cstdint>
#include <string>

#include "host/bitmap.h"

constexpr int32_t MIVO3_CODE_BUFFER_SIZE = 65538;  // bytes of `code`, NUL included
constexpr int32_t MIVO3_CODE_MAX_CHARS = 65536;    // longest code text
constexpr int32_t MIVO3_CART_ROM_SIZE = 0x4300;    // cart ROM addresses 0..0x42ff
constexpr int32_t MIVO3_SFX_COUNT = 64;
constexpr int32_t MIVO3_SFX_NOTES = 32;
constexpr int32_t MIVO3_SFX_BYTES = 68;            // 32 two-byte notes + 4 header bytes
constexpr int32_t MIVO3_PATTERN_COUNT = 64;
constexpr int32_t MIVO3_SPRITE_COUNT = 256;
constexpr int32_t MIVO3_CODE_TAB_COUNT = 8;

// ROM address ranges of the record's parts.
constexpr int32_t MIVO3_ROM_GFX = 0x0000;       // 0x0000..0x1fff sprite sheet
constexpr int32_t MIVO3_ROM_GFX_SHARED = 0x1000;  // 0x1000..0x1fff also map rows 32..63
constexpr int32_t MIVO3_ROM_MAP = 0x2000;       // 0x2000..0x2fff map rows 0..31
constexpr int32_t MIVO3_ROM_FLAGS = 0x3000;     // 0x3000..0x30ff sprite flags
constexpr int32_t MIVO3_ROM_MUSIC = 0x3100;     // 0x3100..0x31ff patterns
constexpr int32_t MIVO3_ROM_SFX = 0x3200;       // 0x3200..0x42ff sound effects

// One note of a sound effect. Ranges: pitch 0..63, waveform 0..7 (an
// instrument sfx 0..7 when `custom` is set), volume 0..7, effect 0..7,
// custom 0 or 128.
struct sfx_note {
    int32_t pitch;
    int32_t waveform;
    int32_t volume;
    int32_t effect;
    int32_t custom;
};

// One sound effect: header values 0..255 and 32 notes. `speed` is ticks per
// note (0 plays as 1); the sfx loops when loop_start < loop_end.
struct sfx_record {
    int32_t editor_mode;
    int32_t speed;
    int32_t loop_start;
    int32_t loop_end;
    sfx_note notes[MIVO3_SFX_NOTES];
};

// One music pattern: per channel (column) the entry byte & 0x7f, that is the
// sfx index in bits 0..5 and bit 6 set when the column is silent. The
// pattern's flag bits live in mivo3_cart::music_flags.
struct pattern_record {
    int32_t channel[4];

    int32_t& operator[](int32_t c) { return channel[c]; }
    const int32_t& operator[](int32_t c) const { return channel[c]; }
};

struct mivo3_cart {
    char* code;              // MIVO3_CODE_BUFFER_SIZE bytes, NUL-terminated
    quon_bitmap* gfx;        // 128x128, one byte per pixel, 0..15
    quon_bitmap* map;        // 128x64, one byte per cell
    sfx_record sfx[MIVO3_SFX_COUNT];
    pattern_record music[MIVO3_PATTERN_COUNT];
    int32_t music_flags[MIVO3_PATTERN_COUNT];  // bit c: flag of channel c
    int32_t flags[MIVO3_SPRITE_COUNT];         // sprite flags, low 8 bits used
    quon_bitmap* label;      // 128x128 cart picture, or null
    int32_t version;         // format version the data was read with
    int32_t legacy_applied;  // non-zero once legacy changes were applied
};

// New record: empty code, blank sprite sheet and map, sfx 0 speed 1 and the
// others 16, every pattern's channels 0x41..0x44. Null when out of memory.
mivo3_cart* quon_create_mivo3_cart();
// Stops the record's sounds (through mivo3_cart_release_hook), frees it and
// clears mivo3_current_cart when it pointed here. Null is ignored.
void quon_destroy_mivo3_cart(mivo3_cart* cart);

// The current cart: the record loaded from the cart file (cart ROM), whose
// code the code tabs edit. Owned by the load/save workflow.
extern mivo3_cart* mivo3_current_cart;

// Installed by the audio system: stops every sound and pattern still playing
// from a cart record that is about to be freed. Null while no audio runs.
extern void (*mivo3_cart_release_hook)(mivo3_cart* cart);

// ROM mapping: the byte at cart ROM address addr (0..0x42ff; others read 0),
// composed from the record fields.
uint8_t mivo3_cart_rom_read(const mivo3_cart* cart, int32_t addr);
// Stores a byte at cart ROM address addr into the record fields; a write to
// 0x1000..0x1fff sets both the two sprite pixels and the shared map cell.
// Addresses outside 0..0x42ff are ignored.
void mivo3_cart_rom_write(mivo3_cart* cart, int32_t addr, uint8_t value);
// The same for n bytes from addr on, each byte with the effect it has on its
// own; sound effects go a note (two bytes) at a time, which a block copy into
// them makes the common case.
void mivo3_cart_rom_read_block(const mivo3_cart* cart, int32_t addr, int32_t n, uint8_t* out);
void mivo3_cart_rom_write_block(mivo3_cart* cart, int32_t addr, int32_t n, const uint8_t* in);

// Per-range decoders shared by the ROM mapping and machine memory.
uint8_t mivo3_sfx_byte(const sfx_record& sfx, int32_t offset);   // offset 0..67
void mivo3_set_sfx_byte(sfx_record& sfx, int32_t offset, uint8_t value);
uint8_t mivo3_music_byte(const mivo3_cart* cart, int32_t offset);  // offset 0..255
void mivo3_set_music_byte(mivo3_cart* cart, int32_t offset, uint8_t value);

// Map rows 32..63 and sprite sheet rows 64..127 share bytes 0x1000..0x1fff.
void sync_shared_gfx_to_map(mivo3_cart* cart);  // map cells from sprite pixels
void sync_shared_map_to_gfx(mivo3_cart* cart);  // sprite pixels from map cells

// The eight code tabs and the tab currently selected.
struct mivo3_code_tabs {
    std::string tab[MIVO3_CODE_TAB_COUNT];
    int32_t selected = 0;
};
extern mivo3_code_tabs mivo3_tabs;

// Joins tabs into cart->code: tab 0, then "\n-->8\n" and the next tab, up to
// the last non-empty tab or the selected one, whichever is later. Returns 0,
// or 1 when the joined text exceeded 65536 characters and was cut there (the
// tabs keep the whole text).
int32_t merge_code_tabs(mivo3_cart* cart, const mivo3_code_tabs& tabs);
// Cuts cart->code at each "\n-->8\n" into tabs 0, 1, ...; whatever follows
// the seventh separator stays in tab 7 with its separators, so nothing is
// lost and merging gives the code back.
void split_code_tabs(const mivo3_cart* cart, mivo3_code_tabs& tabs);
// The same on mivo3_current_cart and mivo3_tabs (nothing without a cart).
int32_t merge_code_from_tabs();
void split_code_to_tabs();
