// The code compressor of cart images: a greedy byte-oriented LZ with a 3-byte
// hash, one-byte literals for the 59 most common code characters and two-byte
// back-references of 3..17 bytes up to 3120 bytes back.
#pragma once
#include <cstdint>

constexpr int32_t MIVO3_COMPRESS_HEADER = 8;   // ':' 'c' ':' 0, length hi, length lo, 0, 0
constexpr int32_t MIVO3_COMPRESS_WINDOW = 3120;
constexpr int32_t MIVO3_COMPRESS_MAX_BLOCK = 17;

// Bytes `out` must hold for compress_mini of n bytes.
constexpr int32_t compress_mini_bound(int32_t n) { return (n < 8 ? 8 : n) + 2; }

// Compresses the first n bytes of text (n <= 65535) into out, which holds
// compress_mini_bound(n) bytes. When the compressed form (header included) is
// not shorter than the text, out receives the raw text instead. Returns the
// number of bytes of the result.
int32_t compress_mini(const char* text, uint8_t* out, int32_t n);
// The compressed form alone (header and tokens), whatever its size: returns
// its length, or -1 as soon as it would exceed limit bytes (out holds
// limit + 2 bytes). compress_mini keeps this result only when it is shorter
// than the text.
int32_t compress_mini_tokens(const char* text, uint8_t* out, int32_t n, int32_t limit);

// Decompresses in_len bytes of compressed code into out, which holds max
// bytes; all max bytes are cleared first. Returns 1 (leaving out empty) when
// the declared length exceeds max; otherwise the length of the text. A token
// stream that runs out, or a back-reference before the start of the output,
// is corrupt: decoding stops there and the text decoded so far is kept. A
// text that ends with one of the two lines the old 60 fps shim appended loses
// that line.
int32_t decompress_mini(const uint8_t* in, int32_t in_len, char* out, int32_t max);
