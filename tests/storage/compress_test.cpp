#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "storage/compress.h"
#include "tests/storage/cart_corpus.h"

namespace {

// The compressor written the plain way: every candidate of the window up to
// the last position with the same hash is compared. The fast compressor must
// produce exactly these bytes, since the cart hash is taken over them.
std::vector<uint8_t> reference_compress(const std::string& text)
{
    static const std::string table = "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
    const auto* buf = reinterpret_cast<const uint8_t*>(text.data());
    const int n = static_cast<int>(text.size());
    std::vector<int> hash(8192, -1);
    auto h3 = [&](int k) { return (buf[k] * 7 + buf[k + 1] * 1503 + buf[k + 2] * 51717) & 0x1fff; };
    std::vector<uint8_t> out = {':', 'c', ':', 0, uint8_t(n / 256), uint8_t(n % 256), 0, 0};
    int pos = 0;
    while (pos < n) {
        int best_len = 0, best_off = 0;
        if (n - pos >= 3 && pos > 2) {
            const int last = hash[h3(pos)];
            const int start = pos - std::min(pos, 3120);
            if (last >= start) {
                for (int i = start; i <= last; i++) {
                    if (buf[i] != buf[pos])
                        continue;
                    int len = 0;
                    while (len < std::min(n - pos, 17) && i + len < pos && buf[i + len] == buf[pos + len])
                        len++;
                    if (len > best_len) {
                        best_len = len;
                        best_off = pos - i;
                    }
                }
            }
        }
        const int old = pos;
        if (best_len < 3) {
            const size_t t = table.find(char(buf[pos]), 1);
            if (t != std::string::npos) {
                out.push_back(uint8_t(t));
            } else {
                out.push_back(0);
                out.push_back(buf[pos]);
            }
            pos++;
        } else {
            out.push_back(uint8_t(best_off / 16 + 60));
            out.push_back(uint8_t((best_len - 2) * 16 + best_off % 16));
            pos += best_len;
        }
        for (int k = std::max(0, old - 2); k <= pos - 3; k++)
            hash[h3(k)] = k;
    }
    if (static_cast<int>(out.size()) < n)
        return out;
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> compress(const std::string& text)
{
    const int32_t n = static_cast<int32_t>(text.size());
    std::vector<uint8_t> out(static_cast<size_t>(compress_mini_bound(n)));
    out.resize(static_cast<size_t>(compress_mini(text.data(), out.data(), n)));
    return out;
}

std::string decompress(const std::vector<uint8_t>& in, int32_t max = 65537)
{
    std::vector<char> out(static_cast<size_t>(max) + 1, 'x');
    const int32_t len = decompress_mini(in.data(), static_cast<int32_t>(in.size()), out.data(), max);
    EXPECT_EQ(out[static_cast<size_t>(max)], 'x') << "wrote past max";
    return std::string(out.data(), static_cast<size_t>(len == 1 && out[0] == 0 ? 0 : len));
}

TEST(Compress, MatchesTheReferenceByteForByteOnGeneratedCarts)
{
    for (uint32_t seed = 1; seed <= 12; seed++) {
        for (size_t length : {size_t(40), size_t(700), size_t(5000), size_t(20000)}) {
            const std::string code = cart_corpus::lua_code(seed, length, seed % 3 == 0);
            ASSERT_EQ(compress(code), reference_compress(code)) << "seed " << seed << " length " << length;
        }
    }
}

TEST(Compress, MatchesTheReferenceOnRepetitiveAndMaximumSizeText)
{
    std::string spaces(4000, ' ');
    EXPECT_EQ(compress(spaces), reference_compress(spaces));
    std::string pattern;
    while (pattern.size() < 9000)
        pattern += "abcab" + std::to_string(pattern.size() % 7);
    EXPECT_EQ(compress(pattern), reference_compress(pattern));
    const std::string biggest = cart_corpus::lua_code(99, 65535, true);
    EXPECT_EQ(compress(biggest), reference_compress(biggest));
}

TEST(Compress, RoundTripsGeneratedGlyphHeavyAndMaximumSizeCode)
{
    for (uint32_t seed = 1; seed <= 20; seed++) {
        const std::string code = cart_corpus::lua_code(seed, 1000 + seed * 3000, seed % 2 == 0);
        const std::vector<uint8_t> packed = compress(code);
        ASSERT_EQ(packed[0], ':');
        EXPECT_LT(packed.size(), code.size());
        EXPECT_EQ(decompress(packed), code) << "seed " << seed;
    }
    std::string glyphs;
    for (int i = 0; i < 3000; i++)
        glyphs.push_back(char(0x80 + (i * 7 + i / 26) % 26));
    EXPECT_EQ(decompress(compress(glyphs)), glyphs);
    const std::string biggest = cart_corpus::lua_code(7, 65535);
    EXPECT_EQ(decompress(compress(biggest)), biggest);
}

TEST(Compress, TableCharactersCostOneByteAndOthersTwo)
{
    const std::string lower = "the quick brown fox jumps over 123 lazy dogs!{}[]";
    const std::string caps = "THE QUICK BROWN FOX JUMPS OVER LAZY DOGS";
    std::vector<uint8_t> packed(static_cast<size_t>(compress_mini_bound(200)));
    // Literal-only text is 8 header bytes longer, so it stays raw.
    EXPECT_EQ(compress_mini(lower.data(), packed.data(), int32_t(lower.size())), int32_t(lower.size()));
    EXPECT_EQ(compress_mini_tokens(lower.data(), packed.data(), int32_t(lower.size()), 200),
              int32_t(8 + lower.size()));
    int32_t spaces = 0;
    for (char c : caps)
        spaces += c == ' ';
    EXPECT_EQ(compress_mini_tokens(caps.data(), packed.data(), int32_t(caps.size()), 200),
              int32_t(8 + spaces + 2 * (caps.size() - size_t(spaces))));
}

TEST(Compress, ShortCodeIsStoredRaw)
{
    const std::string code = "cls()";
    const std::vector<uint8_t> out = compress(code);
    EXPECT_EQ(std::string(out.begin(), out.end()), code);
    EXPECT_EQ(compress("").size(), 0u);
}

TEST(Decompress, DropsEitherSixtyFpsEndingButNothingElse)
{
    const std::string body = cart_corpus::lua_code(3, 2000) + "\n";
    for (const std::string& ending :
         {std::string("if(_update60)_update=function()_update60()_update60()end"),
          std::string("if(_update60)_update=function()_update60()_update_buttons()_update60()end")}) {
        EXPECT_EQ(decompress(compress(body + ending)), body);
        const std::string inside = body + ending + "\nx=1";
        EXPECT_EQ(decompress(compress(inside)), inside);
    }
}

TEST(Decompress, DeclaredLengthAboveTheBufferGivesEmptyText)
{
    const std::string code = cart_corpus::lua_code(4, 3000);
    std::vector<uint8_t> packed = compress(code);
    std::vector<char> out(2000, 'x');
    EXPECT_EQ(decompress_mini(packed.data(), int32_t(packed.size()), out.data(), 2000), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(std::memchr(out.data(), 'x', out.size()), nullptr) << "the whole buffer is cleared";
}

TEST(Decompress, CorruptStreamsStopWithoutReadingOutside)
{
    // A block reaching 5 bytes back when only 2 exist.
    const std::vector<uint8_t> before_start = {':', 'c', ':', 0, 0, 10, 0, 0, 13, 14, 60, 0x15, 13, 13};
    EXPECT_EQ(decompress(before_start), "ab");
    // A block with offset 0 would copy the byte being written.
    const std::vector<uint8_t> zero_offset = {':', 'c', ':', 0, 0, 10, 0, 0, 13, 60, 0x10};
    EXPECT_EQ(decompress(zero_offset), "a");
    // The stream ends long before the declared length, and inside tokens.
    const std::vector<uint8_t> short_stream = {':', 'c', ':', 0, 0xff, 0xff, 0, 0, 13, 14, 0};
    EXPECT_EQ(decompress(short_stream), "ab");
    const std::vector<uint8_t> half_block = {':', 'c', ':', 0, 0, 20, 0, 0, 13, 14, 15, 200};
    EXPECT_EQ(decompress(half_block), "abc");
    // A block longer than what remains of the declared length is cut to fit.
    const std::vector<uint8_t> overlong = {':', 'c', ':', 0, 0, 5, 0, 0, 13, 14, 15, 60, 0xf3};
    EXPECT_EQ(decompress(overlong), "abcab");
    const std::vector<uint8_t> header_only = {':', 'c', ':'};
    EXPECT_EQ(decompress(header_only), "");
}

// Seeded random mutations of real compressed code: flipped bytes, lying
// lengths, truncation. Every result stays inside the output buffer. The
// iteration count can be raised with MIVO3_FUZZ_ITERATIONS for long runs.
TEST(Decompress, SurvivesRandomlyMutatedStreams)
{
    const char* env = std::getenv("MIVO3_FUZZ_ITERATIONS");
    const long iterations = env ? std::atol(env) : 3000;
    std::mt19937 rng(0x5eed);
    std::vector<std::vector<uint8_t>> seeds;
    for (uint32_t s = 1; s <= 6; s++)
        seeds.push_back(compress(cart_corpus::lua_code(s, 500 + s * 1500, s % 2)));
    for (long it = 0; it < iterations; it++) {
        std::vector<uint8_t> in = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; e++) {
            switch (rng() % 4) {
            case 0:
                in[rng() % in.size()] = uint8_t(rng());
                break;
            case 1:
                in[4 + rng() % 2] = uint8_t(rng());
                break;
            case 2:
                in.resize(1 + rng() % in.size());
                break;
            default:
                in[8 + rng() % (in.size() > 8 ? in.size() - 8 : 1) % in.size()] = uint8_t(60 + rng() % 196);
                break;
            }
        }
        const int32_t max = int32_t(rng() % 2 ? 65537 : rng() % 70000);
        std::vector<char> out(static_cast<size_t>(max) + 16, '#');
        const int32_t len = decompress_mini(in.data(), int32_t(in.size()), out.data(), max);
        ASSERT_GE(len, 0);
        ASSERT_LE(len, max < 1 ? 1 : max);
        for (size_t k = static_cast<size_t>(max); k < out.size(); k++)
            ASSERT_EQ(out[k], '#') << "iteration " << it;
    }
}

}  // namespace
