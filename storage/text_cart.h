// Text carts: the line-oriented, hand-editable form of a cart record. A
// header, then named sections of hexadecimal digits; the code as plain text
// with its glyph bytes written as UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/cart.h"

struct quon_stream;

// The most a text cart file may hold: its code written with the longest glyph
// sequences and every data section fit in less than half of this. A larger
// file is not read.
constexpr int64_t MIVO3_TEXT_CART_MAX_BYTES = 1 << 20;

// Glyph bytes 0x80..0x99 as their UTF-8 sequences; other bytes unchanged.
std::string convert_glyphs_to_escaped(std::string_view code);
// UTF-8 glyph sequences back to glyph bytes; unknown high bytes are kept.
std::string convert_escaped_to_glyphs(std::string_view text);

// Parses a text cart file. Null when it cannot be opened or is not a text
// cart (mivo3_cart_load_status MIVO3_LOAD_NOT_CART), or when its version is
// above 17 (MIVO3_LOAD_FUTURE, nothing allocated). Bad section content never
// fails: malformed digits read as 0, extra lines are ignored.
mivo3_cart* quon_load_mivo3_cart(const char* path);
mivo3_cart* quon_load_mivo3_cart_from_file(quon_stream* s);
// Parses a text cart held in memory, as quon_load_mivo3_cart_from_file.
mivo3_cart* quon_load_mivo3_cart_from_text(std::string_view text);

// Writes the text cart to path (mode "wb"): 0, or 1 if it cannot be opened.
int32_t quon_save_mivo3_cart(const mivo3_cart* cart, const char* path);
// Writes the text cart to a stream; returns 0.
int32_t quon_save_mivo3_cart_to_file(const mivo3_cart* cart, quon_stream* s);
// The text cart as a string.
std::string mivo3_cart_to_text(const mivo3_cart* cart);
