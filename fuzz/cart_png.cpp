// PNG cart pictures: the header size check, the decoder and the hidden block.
// The first byte chooses how the rest reaches the reader. The checksums of a
// PNG stop almost every mutation at the decoder, so besides the bytes as they
// are, the rest can be taken with its chunk checksums made right (the header
// fields and chunk layout get explored), or as the cart hidden in a picture
// this target encodes (the version, the trailer and the block behind them).
#include <lodepng.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "storage/cart.h"
#include "storage/cart_image.h"

namespace {

void fix_chunk_checksums(std::vector<uint8_t>& png) {
    size_t at = 8;  // after the signature
    while (at + 12 <= png.size()) {
        const size_t len = size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3];
        if (len > png.size() - at - 12) break;
        const uint32_t crc = lodepng_crc32(&png[at + 4], len + 4);
        uint8_t* out = &png[at + 8 + len];
        out[0] = uint8_t(crc >> 24);
        out[1] = uint8_t(crc >> 16);
        out[2] = uint8_t(crc >> 8);
        out[3] = uint8_t(crc);
        at += len + 12;
    }
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

// Appends a chunk of the given type whose data the caller then appends;
// returns where the chunk starts, for end_chunk.
size_t begin_chunk(std::vector<uint8_t>& out, const char* type) {
    const size_t at = out.size();
    put32(out, 0);
    out.insert(out.end(), type, type + 4);
    return at;
}

void end_chunk(std::vector<uint8_t>& out, size_t at) {
    const size_t len = out.size() - at - 8;
    for (int i = 0; i < 4; i++) out[at + size_t(i)] = uint8_t(len >> (24 - 8 * i));
    put32(out, lodepng_crc32(&out[at + 4], len + 4));
}

// A 160x205 picture whose low bits carry a cart: the input is the 5-byte
// trailer (version first), then the start of the block (the rest is zero).
// Every pixel is an index into a palette of the 256 colours that hide a
// byte, so the decoder hands the reader the same RGBA pixels a real cart
// picture gives at a quarter of the bytes to build, checksum and inflate;
// the data is stored deflate blocks, a fraction of a real encoder's cost.
// The buffers are kept from run to run.
void picture_of(const uint8_t* in, size_t size, std::vector<uint8_t>& png) {
    constexpr size_t w = MIVO3_CART_PICTURE_W, h = MIVO3_CART_PICTURE_H, row = 1 + w;
    static std::vector<uint8_t> raw(row * h);
    std::fill(raw.begin(), raw.end(), 0);  // filter none, and index 0 past the data
    const size_t trailer = size < 5 ? size : 5;
    const size_t block = std::min(size - trailer, size_t(MIVO3_CART_IMAGE_SIZE));
    auto put = [](size_t k, uint8_t v) { raw[(k / w) * row + 1 + k % w] = v; };
    for (size_t k = 0; k < block; k++) put(k, in[trailer + k]);
    for (size_t k = 0; k < trailer; k++) put(size_t(MIVO3_CART_IMAGE_SIZE) + k, in[k]);

    png.assign({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    size_t at = begin_chunk(png, "IHDR");
    put32(png, uint32_t(w));
    put32(png, uint32_t(h));
    png.insert(png.end(), {8, 3, 0, 0, 0});  // 8 bits, palette, no interlace
    end_chunk(png, at);
    at = begin_chunk(png, "PLTE");
    for (int v = 0; v < 256; v++)
        png.insert(png.end(), {uint8_t(0x80 | ((v >> 4) & 3)), uint8_t(0x80 | ((v >> 2) & 3)), uint8_t(0x80 | (v & 3))});
    end_chunk(png, at);
    at = begin_chunk(png, "tRNS");
    for (int v = 0; v < 256; v++) png.push_back(uint8_t(0xfc | ((v >> 6) & 3)));
    end_chunk(png, at);
    at = begin_chunk(png, "IDAT");
    png.insert(png.end(), {0x78, 0x01});
    for (size_t done = 0; done < raw.size();) {
        const size_t n = std::min<size_t>(raw.size() - done, 65535);
        png.push_back(done + n == raw.size() ? 1 : 0);
        png.insert(png.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        png.insert(png.end(), raw.begin() + std::ptrdiff_t(done), raw.begin() + std::ptrdiff_t(done + n));
        done += n;
    }
    uint32_t a = 1, b = 0;
    for (size_t done = 0; done < raw.size();) {
        // 5552 bytes are the most that cannot overflow the sums between reductions.
        const size_t end = std::min(raw.size(), done + 5552);
        for (; done < end; done++) {
            a += raw[done];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    put32(png, b << 16 | a);
    end_chunk(png, at);
    end_chunk(png, begin_chunk(png, "IEND"));
}

int32_t accept_future_versions() { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    data++;
    size--;
    mivo3_cart_release_hook = nullptr;
    // Bit 2: a future version is accepted instead of refused.
    mivo3_storage = mivo3_storage_hooks{};
    if (mode & 4) mivo3_storage.accept_future = accept_future_versions;
    static std::vector<uint8_t> png;
    switch (mode & 3) {
    case 1:
        png.assign(data, data + size);
        fix_chunk_checksums(png);
        break;
    case 2:
        picture_of(data, size, png);
        break;
    default:
        png.assign(data, data + size);
        break;
    }
    quon_destroy_mivo3_cart(load_mivo3_cart_png_from_memory(png.data(), int64_t(png.size())));
    mivo3_storage = mivo3_storage_hooks{};
    return 0;
}
