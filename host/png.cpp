#include "host/png.h"

#include <lodepng.h>

#include <algorithm>
#include <cstddef>
#include <vector>

int32_t quon_save_png(const char* path, const quon_bitmap* bmp, const uint8_t* rgb768) {
    if (!path || !bmp || bmp->bits != 8 || !rgb768 || bmp->width <= 0 || bmp->height <= 0) return 1;
    std::vector<uint8_t> pixels(size_t(bmp->width) * size_t(bmp->height));
    for (int32_t y = 0; y < bmp->height; y++)
        std::copy_n(bmp->rows[y], bmp->width, pixels.begin() + std::ptrdiff_t(y) * bmp->width);

    lodepng::State state;
    // Indexes are kept as they are: a converting encoder could renumber them.
    state.encoder.auto_convert = 0;
    for (LodePNGColorMode* mode : {&state.info_raw, &state.info_png.color}) {
        mode->colortype = LCT_PALETTE;
        mode->bitdepth = 8;
        for (int i = 0; i < 256; i++)
            if (lodepng_palette_add(mode, rgb768[i * 3], rgb768[i * 3 + 1], rgb768[i * 3 + 2], 255) != 0)
                return 1;
    }
    std::vector<uint8_t> png;
    if (lodepng::encode(png, pixels, unsigned(bmp->width), unsigned(bmp->height), state) != 0) return 1;
    return lodepng::save_file(png, path) == 0 ? 0 : 1;
}
