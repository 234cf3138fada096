// The source preprocessor: rewrites the shorthand forms cart authors may use
// ("a != b", "x += e", "? e", "if (c) statement", "//" and "--" comments)
// into plain Lua 5.2, line by line. The output has exactly as many newline
// characters as the input, so compiler errors name the cart's own lines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum : int32_t {
    PREPROCESS_MAX_LINES = 65536,         // lines processed; text after them is dropped
    PREPROCESS_MAX_LINE_TOKENS = 16384,   // a longer line is handled in pieces
};

// Preprocesses src (up to its end or a NUL) into a new text. Never fails: text
// that cannot be rewritten is passed on unchanged for the compiler to report.
std::string mivo3_preprocess(std::string_view src);
// The same into dst, NUL-terminated. Returns 0, or 1 (dst then holds "") when
// the result does not fit into dst_size bytes.
int32_t mivo3_preprocess(const char* src, char* dst, size_t dst_size);
