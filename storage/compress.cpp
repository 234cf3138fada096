#include "storage/compress.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr int32_t HASH_SIZE = 8192;

// Index 0 is never emitted: token 0 escapes a raw byte.
constexpr std::string_view literal_chars =
    "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
static_assert(literal_chars.size() == 60);

constexpr std::array<uint8_t, 256> make_literal_index()
{
    std::array<uint8_t, 256> t{};
    for (size_t i = 1; i < literal_chars.size(); i++)
        t[static_cast<uint8_t>(literal_chars[i])] = static_cast<uint8_t>(i);
    return t;
}
constexpr std::array<uint8_t, 256> literal_index = make_literal_index();

inline int32_t hash3(const uint8_t* s)
{
    return (s[0] * 7 + s[1] * 1503 + s[2] * 51717) & (HASH_SIZE - 1);
}

// The two lines an old 60 fps shim appended to carts; they are not the
// author's code and are dropped when code is read back.
constexpr std::string_view update60_endings[] = {
    "if(_update60)_update=function()_update60()_update60()end",
    "if(_update60)_update=function()_update60()_update_buttons()_update60()end",
};

}  // namespace

int32_t compress_mini_tokens(const char* text, uint8_t* out, int32_t n, int32_t limit)
{
    const auto* buf = reinterpret_cast<const uint8_t*>(text);
    if (n < 0 || MIVO3_COMPRESS_HEADER > limit)
        return -1;

    // head[h] is the most recent inserted position with hash h; prev[k] links
    // position k to the one inserted before it with the same hash. Only
    // candidates sharing the first three bytes can give a block of 3 or more,
    // and all of them have the hash of the bytes at pos, so walking this
    // chain finds exactly the matches a scan of the whole window would.
    static thread_local std::vector<int32_t> head;
    static thread_local std::vector<int32_t> prev;
    static thread_local std::vector<int32_t> cand;
    head.assign(HASH_SIZE, -1);
    prev.resize(static_cast<size_t>(n) + 1);
    cand.reserve(MIVO3_COMPRESS_WINDOW);

    out[0] = ':';
    out[1] = 'c';
    out[2] = ':';
    out[3] = 0;
    out[4] = static_cast<uint8_t>(n >> 8);
    out[5] = static_cast<uint8_t>(n & 0xff);
    out[6] = 0;
    out[7] = 0;
    int32_t o = MIVO3_COMPRESS_HEADER;

    int32_t pos = 0;
    while (pos < n) {
        int32_t best_len = 0;
        int32_t best_off = 0;
        if (n - pos >= 3 && pos > 2) {
            const int32_t last = head[hash3(buf + pos)];
            const int32_t start = pos - (pos < MIVO3_COMPRESS_WINDOW ? pos : MIVO3_COMPRESS_WINDOW);
            if (last >= start) {
                cand.clear();
                for (int32_t i = last; i >= start; i = prev[i])
                    if (buf[i] == buf[pos] && buf[i + 1] == buf[pos + 1] && buf[i + 2] == buf[pos + 2])
                        cand.push_back(i);
                const int32_t cap = (n - pos < MIVO3_COMPRESS_MAX_BLOCK) ? n - pos : MIVO3_COMPRESS_MAX_BLOCK;
                // Ascending order: the earliest of equally long matches wins.
                for (size_t c = cand.size(); c-- > 0;) {
                    const int32_t i = cand[c];
                    int32_t len = 3;
                    while (len < cap && i + len < pos && buf[i + len] == buf[pos + len])
                        len++;
                    if (len > best_len) {
                        best_len = len;
                        best_off = pos - i;
                        if (len == cap)
                            break;
                    }
                }
            }
        }

        const int32_t old_pos = pos;
        if (best_len < 3) {
            const uint8_t ch = buf[pos];
            if (literal_index[ch]) {
                out[o++] = literal_index[ch];
            } else {
                out[o++] = 0;
                out[o++] = ch;
            }
            pos++;
        } else {
            out[o++] = static_cast<uint8_t>(best_off / 16 + 60);
            out[o++] = static_cast<uint8_t>((best_len - 2) * 16 + best_off % 16);
            pos += best_len;
        }
        if (o > limit)
            return -1;

        for (int32_t k = (old_pos - 2 > 0 ? old_pos - 2 : 0); k <= pos - 3; k++) {
            const int32_t h = hash3(buf + k);
            prev[k] = head[h];
            head[h] = k;
        }
    }
    return o;
}

int32_t compress_mini(const char* text, uint8_t* out, int32_t n)
{
    if (n <= 0)
        return 0;
    // Only a result shorter than the text is kept, so stop once it is not.
    const int32_t size = compress_mini_tokens(text, out, n, n - 1);
    if (size >= 0)
        return size;
    std::memcpy(out, text, static_cast<size_t>(n));
    return n;
}

int32_t decompress_mini(const uint8_t* in, int32_t in_len, char* out, int32_t max)
{
    if (max > 0)
        std::memset(out, 0, static_cast<size_t>(max));
    if (in_len < 6)
        return 0;
    const int32_t total = in[4] * 256 + in[5];
    if (max < total)
        return 1;

    int32_t len = 0;
    int32_t p = MIVO3_COMPRESS_HEADER;
    while (len < total && p < in_len) {
        const uint8_t b = in[p++];
        if (b == 0) {
            if (p >= in_len)
                break;
            out[len++] = static_cast<char>(in[p++]);
        } else if (b < 60) {
            out[len++] = literal_chars[b];
        } else {
            if (p >= in_len)
                break;
            const uint8_t c = in[p++];
            const int32_t offset = ((b - 60) << 4) | (c & 15);
            int32_t count = (c >> 4) + 2;
            // A block from before the start of the text (or from the byte
            // being written) cannot come from the compressor: the data is
            // corrupt, so keep what was decoded and stop.
            if (offset == 0 || offset > len)
                break;
            if (count > total - len)
                count = total - len;
            for (int32_t k = 0; k < count; k++, len++)
                out[len] = out[len - offset];
        }
    }

    const std::string_view text(out, static_cast<size_t>(len));
    for (std::string_view ending : update60_endings) {
        if (text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending) {
            const int32_t cut = len - static_cast<int32_t>(ending.size());
            std::memset(out + cut, 0, ending.size());
            len = cut;
            break;
        }
    }
    return len;
}
