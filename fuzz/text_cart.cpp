// Text carts: header, version, code and every data section. A cart read and
// written out must read back to the same text: once written, the text is in
// the current version's form and another round changes nothing. Writing and
// reading a whole cart costs about ten times the first read, so only inputs
// whose length is a multiple of 32 make the round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "storage/cart.h"
#include "storage/text_cart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mivo3_cart_release_hook = nullptr;
    mivo3_cart* cart = quon_load_mivo3_cart_from_text(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!cart || size % 32 != 0) {
        quon_destroy_mivo3_cart(cart);
        return 0;
    }
    const std::string text = mivo3_cart_to_text(cart);
    quon_destroy_mivo3_cart(cart);
    mivo3_cart* again = quon_load_mivo3_cart_from_text(text);
    if (!again) std::abort();
    const bool same = mivo3_cart_to_text(again) == text;
    quon_destroy_mivo3_cart(again);
    if (!same) std::abort();
    return 0;
}
