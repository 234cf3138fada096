// Token counting, and the scanner under it: every token ends after it starts
// (no scan can stall), the tokens and the whitespace before them cover the
// text exactly, and the global tokenizer reads the same tokens as the lexer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lang/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000) return 0;
    const std::string_view src(reinterpret_cast<const char*>(data), size);
    const int32_t count = count_tokens(src);

    mivo3_lexer lx;
    mivo3_lexer_begin(lx, src);
    int32_t counted = 0;
    const char* at = src.data();
    for (;;) {
        const int32_t cls = mivo3_lexer_next(lx);
        if (lx.ws != at || lx.start < lx.ws || lx.pos < lx.start || lx.pos > src.data() + size) std::abort();
        if (cls == TOKEN_END) break;
        if (lx.pos == lx.start) std::abort();
        counted += !is_free_token(cls);
        at = lx.pos;
    }
    if (counted != count) std::abort();

    const std::string text(src.substr(0, src.find('\0')));
    mivo3_lexer_begin(lx, text);
    for (const char* p = get_first_token(text.c_str());; p = get_next_token(p)) {
        if (mivo3_lexer_next(lx) != get_token() || get_token_text() != mivo3_lexer_token(lx)) std::abort();
        if (get_token() == TOKEN_END) break;
    }
    return 0;
}
