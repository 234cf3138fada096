// A 32 KiB cart block: ROM bytes and the code, compressed or raw. What is
// read must survive being written and read again: the same ROM bytes and the
// same code, less one trailing line of the old 60 fps shim, which reading
// compressed code drops. Writing compresses the code, which costs several
// times the read, so only inputs whose length is a multiple of 32 make the
// round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "storage/cart.h"
#include "storage/cart_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0);
    std::memcpy(block.data(), data, size < block.size() ? size : block.size());
    mivo3_cart_release_hook = nullptr;
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (cart && load_mivo3_cart_32k(cart, block.data()) == 0 && size % 32 == 0) {
        std::vector<uint8_t> saved(MIVO3_CART_IMAGE_SIZE, 0);
        if (save_mivo3_cart_32k(cart, saved.data()) == 0) {
            if (std::memcmp(saved.data(), block.data(), MIVO3_CART_ROM_SIZE) != 0) std::abort();
            mivo3_cart* again = quon_create_mivo3_cart();
            if (!again || load_mivo3_cart_32k(again, saved.data()) != 0) std::abort();
            const std::string_view code(cart->code), code2(again->code);
            if (code2 != code && !(code.ends_with("_update60()end") && code.starts_with(code2))) std::abort();
            quon_destroy_mivo3_cart(again);
        }
    }
    quon_destroy_mivo3_cart(cart);
    return 0;
}
