// The preprocessor's shorthand rewriting, with the promises its header makes:
// as many newlines out as in, and the buffer form giving the same text when
// it fits and refusing when it does not.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "lang/preprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000) return 0;  // a cart's code is at most 65536 characters
    const std::string_view src(reinterpret_cast<const char*>(data), size);
    const std::string out = mivo3_preprocess(src);
    const auto newlines = [](std::string_view t) { return std::count(t.begin(), t.end(), '\n'); };
    if (newlines(src) < PREPROCESS_MAX_LINES && newlines(out) != newlines(src)) std::abort();

    // The buffer form reads up to the first NUL. Inputs of even length check
    // a buffer that just fits, odd ones a buffer one byte short.
    const size_t nul = src.find('\0');
    const std::string text(src.substr(0, nul));
    const std::string expected = nul == std::string_view::npos ? out : mivo3_preprocess(std::string_view(text));
    std::vector<char> dst(expected.size() + 1, 'x');
    if (size % 2 == 0) {
        if (mivo3_preprocess(text.c_str(), dst.data(), dst.size()) != 0) std::abort();
        if (std::memcmp(dst.data(), expected.c_str(), expected.size() + 1) != 0) std::abort();
    } else if (!expected.empty()) {
        if (mivo3_preprocess(text.c_str(), dst.data(), expected.size()) != 1 || dst[0] != 0) std::abort();
    }
    return 0;
}
