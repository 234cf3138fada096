// Text carts: header, version, code and every data section.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "storage/cart.h"
#include "storage/text_cart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mivo3_cart_release_hook = nullptr;
    quon_destroy_mivo3_cart(
        quon_load_mivo3_cart_from_text(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
