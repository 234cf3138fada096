// Image carts: the 32 KiB cart block (cart ROM then the code, compressed when
// that makes it smaller) and the 160x205 PNG cart picture that hides the block
// plus a 5-byte trailer in the low two bits of every channel.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/cart.h"

struct quon_stream;

constexpr int32_t MIVO3_CART_IMAGE_SIZE = 0x8000;    // bytes of a cart block
constexpr int32_t MIVO3_CART_PICTURE_DATA = 0x8005;  // block + version, 3 bytes, platform
constexpr int32_t MIVO3_CART_CODE_OFFSET = 0x4300;
constexpr int32_t MIVO3_CART_CODE_SPACE = 15360;     // 0x3d00 bytes of code room
constexpr int32_t MIVO3_CART_VERSION = 17;           // format version written
constexpr int32_t MIVO3_CART_PICTURE_W = 160;
constexpr int32_t MIVO3_CART_PICTURE_H = 205;
// The most a cart picture file may hold: 160x205 pixels stored without any
// compression take 132 KiB. A larger file is not read.
constexpr int64_t MIVO3_CART_PICTURE_MAX_BYTES = 1 << 20;

// The result of the last cart load, read by the workflow to tell a refusal of
// a future version from a file of another format.
enum : int32_t {
    MIVO3_LOAD_OK = 0,
    MIVO3_LOAD_NOT_PICTURE = 1,   // not a PNG
    MIVO3_LOAD_NOT_CART = 2,      // a PNG of another size
    MIVO3_LOAD_FUTURE = 3,        // written by a newer version and refused
};
extern int32_t mivo3_cart_load_status;

// What cart loading needs from the shell; unset hooks do nothing / refuse.
struct mivo3_storage_hooks {
    void (*print)(const char* text, int32_t colour) = nullptr;    // console line
    void (*show_message)(const char* text, int32_t ms) = nullptr; // timed message bar
    int32_t (*accept_future)() = nullptr;                         // "accept_future" option
};
extern mivo3_storage_hooks mivo3_storage;

// Fills the zeroed 0x8000-byte block from the record: ROM bytes, then the
// code at 0x4300. Returns 1 (block left zero) when the code compresses to more
// than 15360 bytes, else 0.
int32_t save_mivo3_cart_32k(const mivo3_cart* cart, uint8_t* buf);
// Writes ROM bytes 0..0x42ff of the block into the record and loads the code:
// decompressed when byte 0x4300 is ':', else the 15360 bytes as raw text.
// Allocates the code buffer if the record has none. Returns 0, or 1 when that allocation fails.
int32_t load_mivo3_cart_32k(mivo3_cart* cart, const uint8_t* block);

// The PNG picture of a cart as bytes in png. Returns 1 when the code does not
// fit (png left empty) or encoding failed, else 0.
int32_t encode_mivo3_cart_png(const mivo3_cart* cart, std::vector<uint8_t>& png);
// Writes the picture to path. Returns 1 when the code does not fit or the file
// cannot be written (nothing written), else 0.
int32_t save_mivo3_cart_png(const mivo3_cart* cart, const char* path);

// True when the PNG's header gives the cart picture's 160x205 size; read
// before decoding, so that a small file of a huge picture costs nothing.
bool mivo3_png_has_picture_size(const uint8_t* png, size_t size);

// Decodes a PNG held in memory into a new record; null on failure with
// mivo3_cart_load_status set. The label is not filled.
mivo3_cart* load_mivo3_cart_png_from_memory(const uint8_t* png, int64_t size);
// The same from the rest of an open stream.
mivo3_cart* load_mivo3_cart_png_from_file(quon_stream* s);
// Opens path ("rb"), loads it and sets the record's label from the picture.
mivo3_cart* load_mivo3_cart_png(const char* path);

// The label of a decoded 160x205 RGBA picture (bytes r g b a per pixel): the
// 128x128 area at (16, 24) as host palette indexes 0..15, the nearest colour
// of the first 16 host palette entries. Null for any other size.
quon_bitmap* mivo3_label_from_picture(const uint8_t* rgba, int32_t w, int32_t h);
