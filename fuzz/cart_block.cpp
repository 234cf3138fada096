// A 32 KiB cart block: ROM bytes and the code, compressed or raw.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "storage/cart.h"
#include "storage/cart_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0);
    std::memcpy(block.data(), data, size < block.size() ? size : block.size());
    mivo3_cart_release_hook = nullptr;
    if (mivo3_cart* cart = quon_create_mivo3_cart()) {
        load_mivo3_cart_32k(cart, block.data());
        quon_destroy_mivo3_cart(cart);
    }
    return 0;
}
