// The preprocessor's shorthand rewriting.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lang/preprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000) return 0;  // a cart's code is at most 65536 characters
    (void)mivo3_preprocess(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
