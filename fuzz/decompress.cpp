// Code decompression of a cart block's code area, whatever its bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<char> out(65536 + 1);
    decompress_mini(data, int32_t(size > 0x10000 ? 0x10000 : size), out.data(), 65536);
    return 0;
}
