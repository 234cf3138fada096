// cartpack: turns a text cart into a 32 KiB cart image (for data.pod) and,
// on request, into a PNG cart picture.
//
//   cartpack [-o image.bin] [--png picture.m3.png] [--font data.pod]
//            [--label frames] cart.m3
//
// The picture's title lines are drawn with the console font, item 2 of the
// given pod; without --font they are left out. With --label, a cart without
// a label of its own is run headless for that many machine frames and the
// screen becomes the label, in the host palette of the pod's item 1 (its
// cart data is kept in a scratch folder, so that nothing outside the build
// changes the picture). Exit status 0 on success, 1 when the cart cannot be
// read, its code does not fit or it stops before its label is taken, 2 for
// bad usage.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/display.h"
#include "host/pod.h"
#include "host/stream.h"
#include "machine/draw.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/driver.h"
#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/compress.h"
#include "storage/text_cart.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: cartpack [-o image.bin] [--png picture.m3.png] [--font data.pod] "
                         "[--label frames] cart.m3\n");
    return 2;
}

int32_t compressed_size(const mivo3_cart* cart)
{
    const int32_t n = static_cast<int32_t>(std::strlen(cart->code));
    std::vector<uint8_t> out(static_cast<size_t>(compress_mini_bound(n)));
    return compress_mini(cart->code, out.data(), n);
}

// The screen after the cart has run the given number of frames, or null when
// it stopped before (its console lines are printed then).
quon_bitmap* screen_after(const mivo3_cart* cart, int32_t frames)
{
    char scratch[] = "/tmp/cartpack_XXXXXX";
    if (!mkdtemp(scratch))
        return nullptr;
    set_cdata_folder(std::string(scratch) + "/");
    mivo3_driver_open();
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
        mivo3_cart_rom_write(pstate.cart, a, mivo3_cart_rom_read(cart, a));
    mivo3_driver_load_code(cart->code);
    quon_bitmap* screen = nullptr;
    const bool started = mivo3_driver_start() == 0;
    mivo3_srand(1);  // in place of the clock, so that every build draws the same label
    if (started && mivo3_driver_frames(frames) == frames && mivo3_driver_running()) {
        screen = quon_create_bitmap(128, 128, 8);
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++)
                quon_row8(screen, y)[x] = quon_row8(mivo3_back_page, y)[x] & 15;
    }
    for (const mivo3_driver_line& line : mivo3_driver_output())
        std::fprintf(stderr, "%s\n", line.text.c_str());
    mivo3_driver_close();
    set_cdata_folder("");
    std::filesystem::remove_all(scratch);
    return screen;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* image_path = nullptr;
    const char* png_path = nullptr;
    const char* font_path = nullptr;
    const char* cart_path = nullptr;
    int32_t label_frames = 0;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--png" || arg == "--font") && i + 1 < argc) {
            (arg == "-o" ? image_path : arg == "--png" ? png_path : font_path) = argv[++i];
        } else if (arg == "--label" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            label_frames = std::atoi(argv[++i]);
        } else if (arg[0] != '-' && !cart_path) {
            cart_path = argv[i];
        } else {
            return usage();
        }
    }
    if (!cart_path || (!image_path && !png_path))
        return usage();

    mivo3_cart* cart = quon_load_mivo3_cart(cart_path);
    if (!cart) {
        if (mivo3_cart_load_status == MIVO3_LOAD_FUTURE)
            std::fprintf(stderr, "cartpack: %s is from a newer version\n", cart_path);
        else
            std::fprintf(stderr, "cartpack: %s is not a text cart\n", cart_path);
        return 1;
    }
    const int32_t size = compressed_size(cart);
    int status = 0;
    if (size > MIVO3_CART_CODE_SPACE) {
        std::fprintf(stderr, "cartpack: %s: code compresses to %d bytes, more than %d\n", cart_path, size,
                     MIVO3_CART_CODE_SPACE);
        status = 1;
    }

    if (status == 0 && image_path) {
        std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
        if (save_mivo3_cart_32k(cart, block.data()) != 0) {
            std::fprintf(stderr, "cartpack: %s: code does not fit the cart image\n", cart_path);
            status = 1;
        } else if (FILE* f = std::fopen(image_path, "wb")) {
            const bool ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
            if (std::fclose(f) != 0 || !ok) {
                std::fprintf(stderr, "cartpack: cannot write %s\n", image_path);
                status = 1;
            }
        } else {
            std::fprintf(stderr, "cartpack: cannot create %s\n", image_path);
            status = 1;
        }
    }

    quon_pod* pod = nullptr;
    quon_pod* font = nullptr;
    if (status == 0 && png_path) {
        if (font_path) {
            pod = quon_load_pod(font_path);
            font = pod ? quon_pod_load_item_pod(pod, 2) : nullptr;
            if (!font)
                std::fprintf(stderr, "cartpack: no console font in %s; titles left out\n", font_path);
            // The label's colours: the host palette of the resource pod.
            quon_pod* resources = pod ? quon_pod_load_item_pod(pod, 1) : nullptr;
            if (const quon_pod_palette* palette = resources ? quon_pod_get_palette(resources, 1) : nullptr)
                quon_set_palette(palette->rgb);
            quon_destroy_pod(resources);
        }
        mivo3_print_font = font;
        if (label_frames > 0 && !cart->label) {
            cart->label = screen_after(cart, label_frames);
            if (!cart->label) {
                std::fprintf(stderr, "cartpack: %s stopped before frame %d\n", cart_path, label_frames);
                status = 1;
            }
        }
        if (status == 0 && save_mivo3_cart_png(cart, png_path) != 0) {
            std::fprintf(stderr, "cartpack: cannot write %s\n", png_path);
            status = 1;
        }
        mivo3_print_font = nullptr;
    }
    if (status == 0)
        std::printf("%s: %d characters of code in %d bytes\n", cart_path, static_cast<int>(std::strlen(cart->code)),
                    size);
    quon_destroy_pod(font);
    quon_destroy_pod(pod);
    quon_destroy_mivo3_cart(cart);
    return status;
}
