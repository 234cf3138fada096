#include "host/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

quon_bitmap* quon_create_bitmap(int32_t width, int32_t height, int32_t bits) {
    if (width <= 0 || height <= 0 || (bits != 8 && bits != 32)) return nullptr;
    // Refuse sizes whose byte count would not fit comfortably in memory.
    const int64_t bytes = int64_t(width) * height * (bits / 8);
    if (bytes > (int64_t(1) << 30)) return nullptr;
    auto* bmp = new quon_bitmap;
    bmp->width = width;
    bmp->height = height;
    bmp->bits = bits;
    bmp->pitch = width * (bits / 8);
    bmp->data = static_cast<uint8_t*>(std::calloc(size_t(bytes), 1));
    bmp->rows = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * size_t(height)));
    if (!bmp->data || !bmp->rows) {
        quon_destroy_bitmap(bmp);
        return nullptr;
    }
    for (int32_t y = 0; y < height; y++) bmp->rows[y] = bmp->data + size_t(y) * size_t(bmp->pitch);
    quon_reset_clip(bmp);
    return bmp;
}

void quon_destroy_bitmap(quon_bitmap* bmp) {
    if (!bmp) return;
    std::free(bmp->data);
    std::free(bmp->rows);
    delete bmp;
}

void quon_set_clip(quon_bitmap* bmp, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t x1 = int64_t(x) + w, y1 = int64_t(y) + h;
    bmp->cx0 = std::clamp<int32_t>(x, 0, bmp->width);
    bmp->cy0 = std::clamp<int32_t>(y, 0, bmp->height);
    bmp->cx1 = int32_t(std::clamp<int64_t>(x1, 0, bmp->width));
    bmp->cy1 = int32_t(std::clamp<int64_t>(y1, 0, bmp->height));
}

void quon_reset_clip(quon_bitmap* bmp) {
    bmp->cx0 = 0;
    bmp->cy0 = 0;
    bmp->cx1 = bmp->width;
    bmp->cy1 = bmp->height;
}
