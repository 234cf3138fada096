// Token counting.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lang/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000) return 0;
    (void)count_tokens(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
