// Host bitmaps: 8-bit palette-index or 32-bit 0xAARRGGBB pixels with a clip
// rectangle and a row-pointer table. Whoever creates a bitmap owns it.
#pragma once
#include <cstdint>

struct quon_bitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 8;        // 8 or 32
    // Clip rectangle, ends exclusive: drawing touches [cx0, cx1) x [cy0, cy1).
    int32_t cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    int32_t pitch = 0;       // bytes per row
    uint8_t* data = nullptr; // width * height * bits/8 bytes
    uint8_t** rows = nullptr; // rows[y] points at the first byte of row y
};

// New bitmap filled with 0, clip rectangle covering it all; null for a
// non-positive size or a depth other than 8 or 32.
quon_bitmap* quon_create_bitmap(int32_t width, int32_t height, int32_t bits);
void quon_destroy_bitmap(quon_bitmap* bmp);  // null is ignored

// Sets the clip rectangle from (x, y, w, h), clamped to the bitmap.
void quon_set_clip(quon_bitmap* bmp, int32_t x, int32_t y, int32_t w, int32_t h);
void quon_reset_clip(quon_bitmap* bmp);  // whole bitmap

// Pixel row accessors.
inline uint8_t* quon_row8(quon_bitmap* bmp, int32_t y) { return bmp->rows[y]; }
inline uint32_t* quon_row32(quon_bitmap* bmp, int32_t y) {
    return reinterpret_cast<uint32_t*>(bmp->rows[y]);
}
