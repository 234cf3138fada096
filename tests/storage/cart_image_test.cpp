#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/display.h"
#include "host/stream.h"
#include "host/text.h"
#include "machine/draw.h"
#include "storage/cart_image.h"
#include "storage/compress.h"
#include "tests/storage/cart_corpus.h"

namespace {

std::vector<std::string> printed;
std::vector<std::string> messages;
int32_t accept_future = 0;

struct CartImageTest : ::testing::Test {
    std::vector<mivo3_cart*> carts;

    void SetUp() override
    {
        mivo3_cart_release_hook = nullptr;
        printed.clear();
        messages.clear();
        accept_future = 0;
        mivo3_storage.print = [](const char* text, int32_t) { printed.emplace_back(text); };
        mivo3_storage.show_message = [](const char* text, int32_t) { messages.emplace_back(text); };
        mivo3_storage.accept_future = [] { return accept_future; };
        // Sixteen clearly distinct colours, so labels survive the low-bit data.
        for (int i = 0; i < 16; i++) {
            quon_palette[i * 3] = uint8_t((i & 1) * 200 + 20);
            quon_palette[i * 3 + 1] = uint8_t(((i >> 1) & 1) * 200 + 20 + (i >> 3) * 16);
            quon_palette[i * 3 + 2] = uint8_t(((i >> 2) & 1) * 200 + 20);
        }
    }
    void TearDown() override
    {
        for (mivo3_cart* c : carts)
            quon_destroy_mivo3_cart(c);
        mivo3_storage = mivo3_storage_hooks{};
        mivo3_print_font = nullptr;
    }
    mivo3_cart* make(uint32_t seed, const std::string& code, bool label = false)
    {
        mivo3_cart* c = quon_create_mivo3_cart();
        carts.push_back(c);
        cart_corpus::fill_random(c, seed, code, label);
        return c;
    }
    mivo3_cart* keep(mivo3_cart* c)
    {
        if (c)
            carts.push_back(c);
        return c;
    }
};

// Replaces data byte k of a cart picture and encodes it again.
std::vector<uint8_t> with_data_byte(const std::vector<uint8_t>& png, int32_t k, uint8_t v)
{
    std::vector<uint8_t> rgba;
    unsigned w, h;
    EXPECT_EQ(lodepng::decode(rgba, w, h, png), 0u);
    uint8_t* p = &rgba[size_t(k) * 4];
    p[0] = uint8_t((p[0] & 0xfc) | ((v >> 4) & 3));
    p[1] = uint8_t((p[1] & 0xfc) | ((v >> 2) & 3));
    p[2] = uint8_t((p[2] & 0xfc) | (v & 3));
    p[3] = uint8_t((p[3] & 0xfc) | (v >> 6));
    std::vector<uint8_t> out;
    EXPECT_EQ(lodepng::encode(out, rgba, w, h), 0u);
    return out;
}

TEST_F(CartImageTest, BlockRoundTripsGeneratedCarts)
{
    for (uint32_t seed = 1; seed <= 8; seed++) {
        mivo3_cart* a = make(seed, cart_corpus::lua_code(seed, 2000 + seed * 4000, seed % 2 == 1));
        std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0xee);
        ASSERT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
        EXPECT_EQ(block[MIVO3_CART_CODE_OFFSET], ':');
        mivo3_cart* b = keep(quon_create_mivo3_cart());
        ASSERT_EQ(load_mivo3_cart_32k(b, block.data()), 0);
        EXPECT_TRUE(cart_corpus::same_cart(a, b));
    }
}

TEST_F(CartImageTest, ShortCodeIsStoredRawAndReadBack)
{
    mivo3_cart* a = make(1, "cls()");
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    ASSERT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    EXPECT_EQ(std::memcmp(block.data() + MIVO3_CART_CODE_OFFSET, "cls()\0", 6), 0);
    mivo3_cart* b = keep(quon_create_mivo3_cart());
    std::free(b->code);
    b->code = nullptr;
    load_mivo3_cart_32k(b, block.data());
    ASSERT_NE(b->code, nullptr);
    EXPECT_STREQ(b->code, "cls()");
}

// A short code that begins with ':' stored raw would be read as compressed
// code, so it is stored compressed instead.
TEST_F(CartImageTest, CodeStartingWithColonSurvives)
{
    mivo3_cart* a = make(2, ":c:x");
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    ASSERT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    mivo3_cart* b = keep(quon_create_mivo3_cart());
    load_mivo3_cart_32k(b, block.data());
    EXPECT_STREQ(b->code, ":c:x");
}

// The stored length has 16 bits: a 65536-character code would come back
// empty, so saving it fails instead.
TEST_F(CartImageTest, CodeLongerThanTheLengthFieldIsRefused)
{
    std::string code(65536, 'a');
    mivo3_cart* a = make(3, code);
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    EXPECT_EQ(save_mivo3_cart_32k(a, block.data()), 1);
    a->code[65535] = 0;
    EXPECT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    mivo3_cart* b = keep(quon_create_mivo3_cart());
    load_mivo3_cart_32k(b, block.data());
    EXPECT_EQ(std::strlen(b->code), 65535u);
}

// Prefixes of one long code are compressed until one compresses to exactly
// 15360 bytes and one to 15361.
TEST_F(CartImageTest, CompressedCodeOf15360BytesSavesAnd15361Fails)
{
    const std::string code = cart_corpus::lua_code(11, 65535);
    std::vector<uint8_t> out(static_cast<size_t>(compress_mini_bound(65535)));
    auto size_of = [&](size_t n) { return compress_mini(code.data(), out.data(), int32_t(n)); };
    size_t lo = 15360, hi = code.size();
    while (hi - lo > 1) {
        const size_t mid = (lo + hi) / 2;
        (size_of(mid) <= 15360 ? lo : hi) = mid;
    }
    size_t exact = 0, over = 0;
    for (size_t n = lo > 200 ? lo - 200 : 0; n < lo + 200 && (!exact || !over); n++) {
        const int32_t s = size_of(n);
        if (s == 15360 && !exact)
            exact = n;
        if (s == 15361 && !over)
            over = n;
    }
    ASSERT_NE(exact, 0u);
    ASSERT_NE(over, 0u);
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    mivo3_cart* a = make(4, code.substr(0, exact));
    EXPECT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    mivo3_cart* b = keep(quon_create_mivo3_cart());
    load_mivo3_cart_32k(b, block.data());
    EXPECT_EQ(std::string(b->code), code.substr(0, exact));

    mivo3_cart* c = make(5, code.substr(0, over));
    block.assign(block.size(), 0x55);
    EXPECT_EQ(save_mivo3_cart_32k(c, block.data()), 1);
    EXPECT_EQ(std::count(block.begin(), block.end(), 0), long(block.size()));
    std::vector<uint8_t> png;
    EXPECT_EQ(encode_mivo3_cart_png(c, png), 1);
    EXPECT_TRUE(png.empty());
}

TEST_F(CartImageTest, PictureRoundTripsRecordLabelAndVersion)
{
    ASSERT_EQ(quon_text_init(), 0);
    mivo3_print_font = quon_builtin_font(0);
    const std::string dir = ::testing::TempDir();
    for (uint32_t seed = 1; seed <= 4; seed++) {
        mivo3_cart* a = make(seed, "-- my game\n-- by someone\n" + cart_corpus::lua_code(seed, 9000, true), true);
        const std::string path = dir + "/rt" + std::to_string(seed) + ".m3.png";
        ASSERT_EQ(save_mivo3_cart_png(a, path.c_str()), 0);
        mivo3_cart* b = keep(load_mivo3_cart_png(path.c_str()));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_OK);
        EXPECT_EQ(b->version, 17);
        EXPECT_TRUE(cart_corpus::same_cart(a, b));
    }
}

TEST_F(CartImageTest, PictureCarriesTrailerTitlesAndCaption)
{
    ASSERT_EQ(quon_text_init(), 0);
    mivo3_print_font = quon_builtin_font(0);
    mivo3_cart* a = make(1, "--  spaced title\n--second\nx=1");
    std::vector<uint8_t> png;
    ASSERT_EQ(encode_mivo3_cart_png(a, png), 0);
    std::vector<uint8_t> rgba;
    unsigned w, h;
    ASSERT_EQ(lodepng::decode(rgba, w, h, png), 0u);
    ASSERT_EQ(w, 160u);
    ASSERT_EQ(h, 205u);
    auto data = [&](int32_t k) {
        const uint8_t* p = &rgba[size_t(k) * 4];
        return uint8_t((p[2] & 3) | (p[1] & 3) << 2 | (p[0] & 3) << 4 | (p[3] & 3) << 6);
    };
    EXPECT_EQ(data(0x8000), 17);
    EXPECT_EQ(data(0x8001), 0x00);
    EXPECT_EQ(data(0x8002), 0x01);
    EXPECT_EQ(data(0x8003), 0x15);
    EXPECT_EQ(data(0x8004), 'w');
    for (int32_t k = 0x8005; k < 160 * 205; k++)
        ASSERT_EQ(data(k), 0) << "pixel " << k << " keeps low bits";
    auto count_colour = [&](int32_t y0, int32_t y1, uint32_t rgb) {
        int32_t n = 0;
        for (int32_t y = y0; y < y1; y++)
            for (int32_t x = 0; x < 160; x++) {
                const uint8_t* p = &rgba[(size_t(y) * 160 + x) * 4];
                n += (p[0] & 0xfc) == ((rgb >> 16) & 0xfc) && (p[1] & 0xfc) == ((rgb >> 8) & 0xfc) &&
                     (p[2] & 0xfc) == (rgb & 0xfc);
            }
        return n;
    };
    EXPECT_GT(count_colour(167, 173, 0xfff8f0), 0) << "first title line";
    EXPECT_GT(count_colour(175, 181, 0xfff8f0), 0) << "second title line";
    EXPECT_GT(count_colour(187, 193, 0xa0a0a0), 0) << "caption";

    mivo3_cart* untitled = make(1, "x=1\ny=2");
    std::vector<uint8_t> png2;
    ASSERT_EQ(encode_mivo3_cart_png(untitled, png2), 0);
    rgba.clear();  // the decoder appends
    ASSERT_EQ(lodepng::decode(rgba, w, h, png2), 0u);
    EXPECT_EQ(count_colour(167, 181, 0xfff8f0), 0) << "code without comment lines has no title";
}

TEST_F(CartImageTest, FutureVersionIsRefusedUnlessAllowed)
{
    mivo3_cart* a = make(6, cart_corpus::lua_code(6, 3000));
    std::vector<uint8_t> png;
    ASSERT_EQ(encode_mivo3_cart_png(a, png), 0);
    const std::vector<uint8_t> future = with_data_byte(png, 0x8000, 18);
    EXPECT_EQ(load_mivo3_cart_png_from_memory(future.data(), int64_t(future.size())), nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_FUTURE);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0], "future_version: 18");

    accept_future = 1;
    mivo3_cart* b = keep(load_mivo3_cart_png_from_memory(future.data(), int64_t(future.size())));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->version, 18);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_OK);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "loading future cart version");
    EXPECT_TRUE(cart_corpus::same_cart(a, b));

    const std::vector<uint8_t> older = with_data_byte(png, 0x8000, 9);
    mivo3_cart* c = keep(load_mivo3_cart_png_from_memory(older.data(), int64_t(older.size())));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->version, 9);
}

TEST_F(CartImageTest, OtherFilesAreRejectedWithTheirStatus)
{
    const std::string text = "mivo-3 cartridge\nversion 17\n";
    EXPECT_EQ(load_mivo3_cart_png_from_memory(reinterpret_cast<const uint8_t*>(text.data()), int64_t(text.size())),
              nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_NOT_PICTURE);
    std::vector<uint8_t> rgba(160 * 204 * 4, 0x80), png;
    ASSERT_EQ(lodepng::encode(png, rgba, 160, 204), 0u);
    EXPECT_EQ(load_mivo3_cart_png_from_memory(png.data(), int64_t(png.size())), nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_NOT_CART);
    EXPECT_EQ(mivo3_label_from_picture(rgba.data(), 160, 204), nullptr);
    EXPECT_EQ(load_mivo3_cart_png((::testing::TempDir() + "/missing.m3.png").c_str()), nullptr);

    quon_stream* s = quon_fopen_memory(png.data(), int64_t(png.size()));
    EXPECT_EQ(load_mivo3_cart_png_from_file(s), nullptr);
    quon_fclose(s);
}

// Seeded random mutations: of the PNG bytes (mostly undecodable), of the
// hidden data of valid pictures, and of bare 32 KiB blocks.
TEST_F(CartImageTest, SurvivesRandomlyMutatedPicturesAndBlocks)
{
    const char* env = std::getenv("MIVO3_FUZZ_ITERATIONS");
    const long iterations = env ? std::atol(env) : 40;
    accept_future = 1;
    std::mt19937 rng(0xca57);
    mivo3_cart* a = make(7, cart_corpus::lua_code(7, 12000, true), true);
    std::vector<uint8_t> png;
    ASSERT_EQ(encode_mivo3_cart_png(a, png), 0);
    std::vector<uint8_t> rgba;
    unsigned w, h;
    ASSERT_EQ(lodepng::decode(rgba, w, h, png), 0u);
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE);
    ASSERT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    for (long it = 0; it < iterations; it++) {
        std::vector<uint8_t> bytes = png;
        for (int e = 1 + int(rng() % 6); e > 0; e--)
            bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 4 == 0)
            bytes.resize(rng() % bytes.size());
        quon_destroy_mivo3_cart(load_mivo3_cart_png_from_memory(bytes.data(), int64_t(bytes.size())));

        std::vector<uint8_t> pixels = rgba;
        for (int e = 1 + int(rng() % 64); e > 0; e--)
            pixels[(0x4300 + rng() % 0x3d05) * 4 + rng() % 4] ^= uint8_t(rng() & 3);
        std::vector<uint8_t> mutated;
        ASSERT_EQ(lodepng::encode(mutated, pixels, w, h), 0u);
        mivo3_cart* b = load_mivo3_cart_png_from_memory(mutated.data(), int64_t(mutated.size()));
        ASSERT_NE(b, nullptr);
        ASSERT_LE(std::strlen(b->code), size_t(65536));
        quon_destroy_mivo3_cart(b);

        std::vector<uint8_t> blk = block;
        for (int e = 1 + int(rng() % 32); e > 0; e--)
            blk[MIVO3_CART_CODE_OFFSET + rng() % MIVO3_CART_CODE_SPACE] = uint8_t(rng());
        if (rng() % 3 == 0)
            blk[MIVO3_CART_CODE_OFFSET] = ':';
        mivo3_cart* c = quon_create_mivo3_cart();
        load_mivo3_cart_32k(c, blk.data());
        ASSERT_LE(std::strlen(c->code), size_t(65536));
        quon_destroy_mivo3_cart(c);
    }
}

// Peak memory of this process so far, in KiB.
long peak_kib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

TEST(CartPicture, AHugePictureIsRefusedFromItsHeaderWithoutDecoding) {
    // 6000x6000 pixels of one bit pack into a small file, but decoded to
    // RGBA they would take 144 MB.
    std::vector<uint8_t> bits(6000 * 6000 / 8, 0), png;
    ASSERT_EQ(lodepng::encode(png, bits, 6000, 6000, LCT_GREY, 1), 0u);
    const std::string path = std::string(::testing::TempDir()) + "huge.m3.png";
    quon_stream* out = quon_fopen(path.c_str(), "wb");
    quon_fwrite(png.data(), 1, int64_t(png.size()), out);
    quon_fclose(out);
    const long before = peak_kib();
    EXPECT_EQ(load_mivo3_cart_png(path.c_str()), nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_NOT_CART);
    EXPECT_LT(peak_kib() - before, 32 * 1024);
    std::remove(path.c_str());
}

}  // namespace
