// PNG cart pictures: the PNG decoder, the size check and the hidden block.
#include <cstddef>
#include <cstdint>

#include "storage/cart.h"
#include "storage/cart_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mivo3_cart_release_hook = nullptr;
    quon_destroy_mivo3_cart(load_mivo3_cart_png_from_memory(data, int64_t(size)));
    return 0;
}
