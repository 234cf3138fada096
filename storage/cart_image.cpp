#include "storage/cart_image.h"

#include <lodepng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/display.h"
#include "host/stream.h"
#include "host/text.h"
#include "machine/draw.h"
#include "storage/compress.h"

int32_t mivo3_cart_load_status = MIVO3_LOAD_OK;
mivo3_storage_hooks mivo3_storage;

namespace {

constexpr uint8_t PICTURE_TRAILER[5] = {MIVO3_CART_VERSION, 0x00, 0x01, 0x15, 'w'};
constexpr int32_t LABEL_X = 16, LABEL_Y = 24, LABEL_SIZE = 128;
constexpr uint32_t TITLE_COLOUR = 0xfffff8f0;
constexpr uint32_t CAPTION_COLOUR = 0xffa0a0a0;

// Fills the block from the record. A code that begins with ':' is always
// stored compressed: stored raw it would be taken for compressed code on
// loading and come back as garbage.
int32_t build_block(const mivo3_cart* cart, uint8_t* buf)
{
    std::memset(buf, 0, MIVO3_CART_IMAGE_SIZE);
    const char* code = cart->code ? cart->code : "";
    const size_t n = strnlen(code, MIVO3_CODE_MAX_CHARS + 1);
    // The stored length has 16 bits; a longer code cannot be read back whole.
    if (n > 65535)
        return 1;
    const int32_t len = static_cast<int32_t>(n);
    uint8_t* dst = buf + MIVO3_CART_CODE_OFFSET;
    std::vector<uint8_t> packed(static_cast<size_t>(compress_mini_bound(len)));
    int32_t size = compress_mini(code, packed.data(), len);
    if (size == len && len > 0 && code[0] == ':') {
        std::vector<uint8_t> forced(static_cast<size_t>(MIVO3_CART_CODE_SPACE) + 2);
        size = compress_mini_tokens(code, forced.data(), len, MIVO3_CART_CODE_SPACE);
        if (size < 0)
            return 1;
        packed.swap(forced);
    }
    if (size > MIVO3_CART_CODE_SPACE)
        return 1;
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
        buf[a] = mivo3_cart_rom_read(cart, a);
    std::memcpy(dst, packed.data(), static_cast<size_t>(size));
    return 0;
}

void fill_rect(quon_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour)
{
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* row = quon_row32(bmp, y);
        for (int32_t x = x0; x < x1; x++)
            row[x] = colour;
    }
}

// Our blank cartridge: a slate body with a clipped corner, grip ridges along
// the top, a recessed window for the label and a plate for the title lines.
quon_bitmap* create_blank_cartridge()
{
    quon_bitmap* bmp = quon_create_bitmap(MIVO3_CART_PICTURE_W, MIVO3_CART_PICTURE_H, 32);
    if (!bmp)
        return nullptr;
    constexpr uint32_t body = 0xff33343d, edge = 0xff1b1b22, light = 0xff4a4b57;
    const int32_t w = MIVO3_CART_PICTURE_W, h = MIVO3_CART_PICTURE_H;
    for (int32_t y = 1; y < h - 1; y++) {
        uint32_t* row = quon_row32(bmp, y);
        for (int32_t x = 1; x < w - 1; x++) {
            const int32_t corner = 14 - y;  // the clipped top-right corner
            if (x > w - 2 - corner)
                continue;
            const bool rim = x == 1 || y == 1 || x == w - 2 || y == h - 2 || x == w - 2 - corner;
            row[x] = rim ? edge : body;
        }
    }
    for (int32_t y = 5; y < 19; y += 3) {
        fill_rect(bmp, 24, y, 130, y + 1, light);
        fill_rect(bmp, 24, y + 1, 130, y + 2, edge);
    }
    fill_rect(bmp, LABEL_X - 3, LABEL_Y - 3, LABEL_X + LABEL_SIZE + 3, LABEL_Y + LABEL_SIZE + 3, edge);
    fill_rect(bmp, LABEL_X - 1, LABEL_Y - 1, LABEL_X + LABEL_SIZE + 1, LABEL_Y + LABEL_SIZE + 1, light);
    fill_rect(bmp, LABEL_X, LABEL_Y, LABEL_X + LABEL_SIZE, LABEL_Y + LABEL_SIZE, 0xff000000);
    fill_rect(bmp, 14, 163, 146, 196, 0xff24252d);
    fill_rect(bmp, 14, 163, 146, 164, edge);
    for (int32_t x = 30; x < 130; x += 8)
        fill_rect(bmp, x, 199, x + 4, 201, edge);
    return bmp;
}

// The first and second line of the code, when each is a comment: the title
// lines drawn on the picture ("--" and one following space skipped).
void draw_title_lines(quon_bitmap* bmp, const char* code)
{
    const quon_pod* font = mivo3_print_font;
    if (!font || !code)
        return;
    const char* p = code;
    for (int32_t line = 0; line < 2; line++) {
        const char* end = std::strchr(p, '\n');
        const size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (len >= 2 && p[0] == '-' && p[1] == '-') {
            size_t start = 2;
            if (start < len && p[start] == ' ')
                start++;
            std::string title(p + start, len - start < 31 ? len - start : 31);
            quon_draw_text_ex(bmp, title.c_str(), font, 18, 167 + 8 * line, QUON_TEXT_COLOURISE, TITLE_COLOUR);
        }
        if (!end)
            break;
        p = end + 1;
    }
}

uint8_t nearest_label_colour(uint8_t r, uint8_t g, uint8_t b)
{
    int32_t best = 0, best_d = 1 << 30;
    for (int32_t i = 0; i < 16; i++) {
        const int32_t dr = r - quon_palette[i * 3], dg = g - quon_palette[i * 3 + 1],
                      db = b - quon_palette[i * 3 + 2];
        const int32_t d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

}  // namespace

int32_t save_mivo3_cart_32k(const mivo3_cart* cart, uint8_t* buf)
{
    if (build_block(cart, buf)) {
        std::memset(buf, 0, MIVO3_CART_IMAGE_SIZE);
        return 1;
    }
    return 0;
}

int32_t load_mivo3_cart_32k(mivo3_cart* cart, const uint8_t* block)
{
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
        mivo3_cart_rom_write(cart, a, block[a]);
    if (!cart->code) {
        cart->code = static_cast<char*>(std::calloc(MIVO3_CODE_BUFFER_SIZE, 1));
        if (!cart->code)
            return 1;
    }
    const uint8_t* code = block + MIVO3_CART_CODE_OFFSET;
    if (code[0] == ':') {
        std::memset(cart->code, 0, MIVO3_CODE_BUFFER_SIZE);
        decompress_mini(code, MIVO3_CART_CODE_SPACE, cart->code, MIVO3_CODE_BUFFER_SIZE - 1);
    } else {
        std::memcpy(cart->code, code, MIVO3_CART_CODE_SPACE);
        cart->code[MIVO3_CART_CODE_SPACE] = 0;
    }
    return 0;
}

int32_t encode_mivo3_cart_png(const mivo3_cart* cart, std::vector<uint8_t>& png)
{
    png.clear();
    std::vector<uint8_t> data(MIVO3_CART_PICTURE_DATA);
    if (build_block(cart, data.data()))
        return 1;
    std::memcpy(data.data() + MIVO3_CART_IMAGE_SIZE, PICTURE_TRAILER, sizeof PICTURE_TRAILER);

    quon_bitmap* pic = create_blank_cartridge();
    if (!pic)
        return 1;
    if (cart->label && cart->label->width == LABEL_SIZE && cart->label->height == LABEL_SIZE &&
        cart->label->bits == 8) {
        for (int32_t y = 0; y < LABEL_SIZE; y++) {
            const uint8_t* src = cart->label->rows[y];
            uint32_t* dst = quon_row32(pic, LABEL_Y + y) + LABEL_X;
            for (int32_t x = 0; x < LABEL_SIZE; x++) {
                const uint8_t* c = quon_palette + src[x] * 3;
                dst[x] = 0xff000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
            }
        }
    }
    draw_title_lines(pic, cart->code);
    if (mivo3_print_font)
        quon_draw_text_ex(pic, "mivo-3 cartridge", mivo3_print_font, 18, 187, QUON_TEXT_COLOURISE,
                          CAPTION_COLOUR);

    const int32_t pixels = MIVO3_CART_PICTURE_W * MIVO3_CART_PICTURE_H;
    std::vector<uint8_t> rgba(static_cast<size_t>(pixels) * 4);
    for (int32_t k = 0; k < pixels; k++) {
        const uint32_t p = quon_row32(pic, k / MIVO3_CART_PICTURE_W)[k % MIVO3_CART_PICTURE_W];
        const uint8_t v = k < MIVO3_CART_PICTURE_DATA ? data[k] : 0;
        uint8_t* o = &rgba[static_cast<size_t>(k) * 4];
        o[0] = static_cast<uint8_t>(((p >> 16) & 0xfc) | ((v >> 4) & 3));
        o[1] = static_cast<uint8_t>(((p >> 8) & 0xfc) | ((v >> 2) & 3));
        o[2] = static_cast<uint8_t>((p & 0xfc) | (v & 3));
        o[3] = static_cast<uint8_t>(((p >> 24) & 0xfc) | ((v >> 6) & 3));
    }
    quon_destroy_bitmap(pic);
    if (lodepng::encode(png, rgba, MIVO3_CART_PICTURE_W, MIVO3_CART_PICTURE_H) != 0) {
        png.clear();
        return 1;
    }
    return 0;
}

int32_t save_mivo3_cart_png(const mivo3_cart* cart, const char* path)
{
    std::vector<uint8_t> png;
    if (encode_mivo3_cart_png(cart, png))
        return 1;
    quon_stream* s = quon_fopen(path, "wb");
    if (!s)
        return 1;
    const int64_t written = quon_fwrite(png.data(), 1, static_cast<int64_t>(png.size()), s);
    quon_fclose(s);
    return written == static_cast<int64_t>(png.size()) ? 0 : 1;
}

namespace {

mivo3_cart* cart_from_pixels(const std::vector<uint8_t>& rgba)
{
    std::vector<uint8_t> data(MIVO3_CART_PICTURE_DATA);
    for (int32_t k = 0; k < MIVO3_CART_PICTURE_DATA; k++) {
        const uint8_t* p = &rgba[static_cast<size_t>(k) * 4];
        data[k] = static_cast<uint8_t>((p[2] & 3) | (p[1] & 3) << 2 | (p[0] & 3) << 4 | (p[3] & 3) << 6);
    }
    const int32_t version = data[MIVO3_CART_IMAGE_SIZE];
    if (version > MIVO3_CART_VERSION) {
        if (!mivo3_storage.accept_future || !mivo3_storage.accept_future()) {
            if (mivo3_storage.print) {
                char line[40];
                std::snprintf(line, sizeof line, "future_version: %d", version);
                mivo3_storage.print(line, 6);
            }
            mivo3_cart_load_status = MIVO3_LOAD_FUTURE;
            return nullptr;
        }
        if (mivo3_storage.show_message)
            mivo3_storage.show_message("loading future cart version", 1500);
    }
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (!cart)
        return nullptr;
    cart->version = version;
    load_mivo3_cart_32k(cart, data.data());
    mivo3_cart_load_status = MIVO3_LOAD_OK;
    return cart;
}

// The picture size a PNG's header gives; false when it is no PNG.
bool png_header_size(const uint8_t* png, size_t size, unsigned& w, unsigned& h)
{
    LodePNGState state;
    lodepng_state_init(&state);
    const bool ok = png && size > 0 && lodepng_inspect(&w, &h, &state, png, size) == 0;
    lodepng_state_cleanup(&state);
    return ok;
}

bool decode_picture(const uint8_t* png, int64_t size, std::vector<uint8_t>& rgba, unsigned& w, unsigned& h)
{
    mivo3_cart_load_status = MIVO3_LOAD_NOT_PICTURE;
    if (size <= 0 || !png_header_size(png, static_cast<size_t>(size), w, h))
        return false;
    // Checked before decoding: a small file may describe a huge picture.
    if (w != MIVO3_CART_PICTURE_W || h != MIVO3_CART_PICTURE_H) {
        mivo3_cart_load_status = MIVO3_LOAD_NOT_CART;
        return false;
    }
    return lodepng::decode(rgba, w, h, png, static_cast<size_t>(size)) == 0;
}

// The rest of the stream, or nothing when it holds more than a cart picture
// can.
std::vector<uint8_t> read_rest(quon_stream* s)
{
    std::vector<uint8_t> bytes;
    if (!s || quon_stream_size(s) > MIVO3_CART_PICTURE_MAX_BYTES)
        return bytes;
    uint8_t chunk[65536];
    while (static_cast<int64_t>(bytes.size()) <= MIVO3_CART_PICTURE_MAX_BYTES) {
        const int64_t got = quon_fread(chunk, 1, sizeof chunk, s);
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (static_cast<int64_t>(bytes.size()) > MIVO3_CART_PICTURE_MAX_BYTES)
        bytes.clear();
    return bytes;
}

}  // namespace

bool mivo3_png_has_picture_size(const uint8_t* png, size_t size)
{
    unsigned w = 0, h = 0;
    return png_header_size(png, size, w, h) && w == MIVO3_CART_PICTURE_W && h == MIVO3_CART_PICTURE_H;
}

mivo3_cart* load_mivo3_cart_png_from_memory(const uint8_t* png, int64_t size)
{
    std::vector<uint8_t> rgba;
    unsigned w = 0, h = 0;
    if (!decode_picture(png, size, rgba, w, h))
        return nullptr;
    return cart_from_pixels(rgba);
}

mivo3_cart* load_mivo3_cart_png_from_file(quon_stream* s)
{
    const std::vector<uint8_t> bytes = read_rest(s);
    return load_mivo3_cart_png_from_memory(bytes.data(), static_cast<int64_t>(bytes.size()));
}

mivo3_cart* load_mivo3_cart_png(const char* path)
{
    quon_stream* s = quon_fopen(path, "rb");
    if (!s) {
        mivo3_cart_load_status = MIVO3_LOAD_NOT_PICTURE;
        return nullptr;
    }
    const std::vector<uint8_t> bytes = read_rest(s);
    quon_fclose(s);
    std::vector<uint8_t> rgba;
    unsigned w = 0, h = 0;
    if (!decode_picture(bytes.data(), static_cast<int64_t>(bytes.size()), rgba, w, h))
        return nullptr;
    mivo3_cart* cart = cart_from_pixels(rgba);
    if (cart) {
        quon_destroy_bitmap(cart->label);
        cart->label = mivo3_label_from_picture(rgba.data(), static_cast<int32_t>(w), static_cast<int32_t>(h));
    }
    return cart;
}

quon_bitmap* mivo3_label_from_picture(const uint8_t* rgba, int32_t w, int32_t h)
{
    if (!rgba || w != MIVO3_CART_PICTURE_W || h != MIVO3_CART_PICTURE_H)
        return nullptr;
    quon_bitmap* label = quon_create_bitmap(LABEL_SIZE, LABEL_SIZE, 8);
    if (!label)
        return nullptr;
    for (int32_t y = 0; y < LABEL_SIZE; y++) {
        uint8_t* row = quon_row8(label, y);
        for (int32_t x = 0; x < LABEL_SIZE; x++) {
            const uint8_t* p = rgba + (static_cast<size_t>(LABEL_Y + y) * w + LABEL_X + x) * 4;
            row[x] = nearest_label_colour(p[0], p[1], p[2]);
        }
    }
    return label;
}
