// Code decompression of a cart block's code area, whatever its bytes, into a
// buffer of exactly the size the cart loader gives it, so that a write one
// byte past the end is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/cart.h"
#include "storage/compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<char> out(MIVO3_CODE_BUFFER_SIZE - 1);
    decompress_mini(data, int32_t(size > 0x10000 ? 0x10000 : size), out.data(), int32_t(out.size()));
    return 0;
}
