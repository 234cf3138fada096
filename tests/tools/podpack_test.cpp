#include "tools/podpack/podpack.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "host/pod.h"

namespace {

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

quon_pod* pod_of(const std::vector<uint8_t>& v) {
    quon_stream* s = quon_fopen_memory(v.data(), int64_t(v.size()));
    quon_pod* pod = quon_load_pod_file("", s);
    quon_fclose(s);
    return pod;
}

std::string file_text(quon_pod* pod, int32_t index) {
    quon_stream* f = quon_pod_file(pod, index);
    return f ? std::string(reinterpret_cast<char*>(f->data), size_t(f->length)) : std::string("<none>");
}

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mivo3_podpack_XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    void write(const std::string& name, const std::string& text) { std::ofstream(dir + name, std::ios::binary) << text; }
    std::string dir;
};

}  // namespace

TEST(BitmapText, EightBitDefaultsAndLegend) {
    std::vector<podpack_bitmap> out;
    std::string error;
    EXPECT_FALSE(podpack_read_bitmaps("# comment\nkey 7\ncolour # 9\nbitmap 3 2 first\n.#f\nA0.\n", out, error));
    // 'A' is not defined: the whole text is refused and names the line.
    EXPECT_TRUE(out.empty());
    EXPECT_NE(error.find("line 6"), std::string::npos) << error;

    ASSERT_TRUE(podpack_read_bitmaps("key 7\ncolour # 9\nbitmap 3 2 first one\n.#f\na0.\n\nbitmap 1 1\n#\n", out, error))
        << error;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].label, "first one");
    EXPECT_EQ(out[0].key, 7);
    const uint8_t* r0 = quon_row8(out[0].bitmap, 0);
    const uint8_t* r1 = quon_row8(out[0].bitmap, 1);
    EXPECT_EQ(r0[0], 0);
    EXPECT_EQ(r0[1], 9);
    EXPECT_EQ(r0[2], 15);
    EXPECT_EQ(r1[0], 10);
    EXPECT_EQ(quon_row8(out[1].bitmap, 0)[0], 9);
    podpack_free_bitmaps(out);
}

TEST(BitmapText, ThirtyTwoBitNeedsColours) {
    std::vector<podpack_bitmap> out;
    std::string error;
    ASSERT_TRUE(podpack_read_bitmaps("bits 32\ncolour r ffff0000\nbitmap 2 1\nr.\n", out, error)) << error;
    EXPECT_EQ(out[0].bitmap->bits, 32);
    EXPECT_EQ(quon_row32(out[0].bitmap, 0)[0], 0xffff0000u);
    EXPECT_EQ(quon_row32(out[0].bitmap, 0)[1], 0u);
    podpack_free_bitmaps(out);
    // Hex digits mean nothing in a 32-bit bitmap unless defined.
    EXPECT_FALSE(podpack_read_bitmaps("bits 32\nbitmap 1 1\n7\n", out, error));
}

TEST(BitmapText, ShapeErrorsNameTheLine) {
    std::vector<podpack_bitmap> out;
    std::string error;
    EXPECT_FALSE(podpack_read_bitmaps("bitmap 3 2\n...\n..\n", out, error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_FALSE(podpack_read_bitmaps("bitmap 3 2\n...\n", out, error));
    EXPECT_NE(error.find("last row"), std::string::npos) << error;
    EXPECT_FALSE(podpack_read_bitmaps("bitmap 0 2\n", out, error));
    EXPECT_FALSE(podpack_read_bitmaps("bits 16\n", out, error));
    EXPECT_FALSE(podpack_read_bitmaps("draw something\n", out, error));
    EXPECT_TRUE(out.empty());
}

TEST(PaletteText, ListedEntriesOverTheGreyRamp) {
    uint8_t rgb[768];
    std::string error;
    ASSERT_TRUE(podpack_read_palette("# c\n0 102030 black-ish\n255 ffffff\n", rgb, error)) << error;
    EXPECT_EQ(rgb[0], 0x10);
    EXPECT_EQ(rgb[2], 0x30);
    EXPECT_EQ(rgb[3 * 77 + 1], 77);
    EXPECT_EQ(rgb[765], 0xff);
    EXPECT_FALSE(podpack_read_palette("256 000000\n", rgb, error));
    EXPECT_FALSE(podpack_read_palette("3 12345\n", rgb, error));
    EXPECT_FALSE(podpack_read_palette("3 zzzzzz\n", rgb, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
}

TEST_F(TempFolder, ManifestBuildsEveryItemKind) {
    write("pal.txt", "5 ff0000\n");
    write("bmp.txt", "bitmap 2 2\n12\n34\nbitmap 1 1\n.\n");
    write("blob.bin", std::string("a\0b", 3));
    write("inner.txt", "name inner\ntext greeting hello  there \n");
    write("cart.bin", std::string(0x8000, '\x11'));
    write("main.txt",
          "name top pod\n# comment\nempty\npalette pal.txt\nbitmap bmp.txt lz4\nfile blob blob.bin lz4\n"
          "pod inner inner.txt\nat 9\ncart cart.bin\ncarts\n");
    write("extra.bin", std::string(0x8000, '\x22'));

    podpack_options options;
    options.carts = {dir + "extra.bin"};
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(podpack_build(dir + "main.txt", options, out, error)) << error;
    quon_pod* pod = pod_of(out);
    ASSERT_NE(pod, nullptr);
    EXPECT_STREQ(pod->name, "top pod");
    ASSERT_EQ(pod->items.size(), 11u);
    EXPECT_EQ(file_text(pod, 0), "");
    EXPECT_EQ(quon_pod_get_palette(pod, 1)->rgb[15], 0xff);
    EXPECT_EQ(quon_row8(quon_pod_bitmap(pod, 2), 1)[1], 4);
    EXPECT_NE(quon_pod_bitmap(pod, 3), nullptr);
    EXPECT_EQ(file_text(pod, 4), std::string("a\0b", 3));
    quon_pod* inner = quon_pod_load_item_pod(pod, 5);
    ASSERT_NE(inner, nullptr);
    EXPECT_STREQ(inner->name, "inner");
    EXPECT_EQ(file_text(inner, 0), std::string("hello  there") + '\0');
    EXPECT_STREQ(quon_pod_file(inner, 0)->name, "greeting");
    quon_destroy_pod(inner);
    EXPECT_EQ(file_text(pod, 8), "");  // filler up to index 9
    EXPECT_STREQ(quon_pod_file(pod, 9)->name, "cart.bin");
    EXPECT_EQ(file_text(pod, 10), std::string(0x8000, '\x22'));
    EXPECT_STREQ(quon_pod_file(pod, 10)->name, "extra.bin");
    quon_destroy_pod(pod);
    // Every file read is listed for the build's dependencies.
    EXPECT_EQ(options.inputs.size(), 7u);
}

TEST_F(TempFolder, SearchFoldersSupplyFilesMissingBesideTheManifest) {
    std::system(("mkdir -p " + dir + "gen " + dir + "more").c_str());
    write("gen/made.bin", "generated");
    write("gen/both.bin", "from the search folder");
    write("more/made.bin", "second folder");
    write("both.bin", "beside");
    write("main.txt", "file a made.bin\nfile b both.bin\n");
    podpack_options options;
    options.search = {dir + "gen", dir + "more/"};
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(podpack_build(dir + "main.txt", options, out, error)) << error;
    quon_pod* pod = pod_of(out);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(file_text(pod, 0), "generated");
    EXPECT_EQ(file_text(pod, 1), "beside");
    quon_destroy_pod(pod);
    EXPECT_EQ(options.inputs.back(), dir + "both.bin");
}

TEST_F(TempFolder, MoreCartsThanFitBeforeTheNextPlacedItemAreRefused) {
    write("cart.bin", std::string(0x8000, '\x33'));
    write("main.txt", "empty\ncarts\nat 3\ntext after placed\n");
    podpack_options options;
    options.carts = {dir + "cart.bin", dir + "cart.bin"};
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(podpack_build(dir + "main.txt", options, out, error)) << error;
    quon_pod* pod = pod_of(out);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(file_text(pod, 3), std::string("placed") + '\0');
    quon_destroy_pod(pod);
    options.carts.push_back(dir + "cart.bin");
    EXPECT_FALSE(podpack_build(dir + "main.txt", options, out, error));
    EXPECT_NE(error.find("main.txt:3: 3 carts given, but only 2 fit between item 1 and item 3"), std::string::npos)
        << error;
}

TEST_F(TempFolder, ManifestErrorsNameFileAndLine) {
    write("short.bin", "not 32k");
    write("m1.txt", "empty\ncart short.bin\n");
    write("m2.txt", "empty\nempty\nat 1\n");
    write("m3.txt", "bitmap missing.txt\n");
    write("m4.txt", "frobnicate\n");
    write("m5.txt", "pod self m5.txt\n");
    podpack_options options;
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(podpack_build(dir + "m1.txt", options, out, error));
    EXPECT_NE(error.find("m1.txt:2:"), std::string::npos) << error;
    EXPECT_NE(error.find("32768"), std::string::npos) << error;
    EXPECT_FALSE(podpack_build(dir + "m2.txt", options, out, error));
    EXPECT_NE(error.find("m2.txt:3:"), std::string::npos) << error;
    EXPECT_FALSE(podpack_build(dir + "m3.txt", options, out, error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
    EXPECT_FALSE(podpack_build(dir + "m4.txt", options, out, error));
    EXPECT_NE(error.find("frobnicate"), std::string::npos) << error;
    EXPECT_FALSE(podpack_build(dir + "m5.txt", options, out, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
}

class BuiltDataPod : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bytes = read_bytes(std::string(MIVO3_BINARY_DIR) + "/data.pod");
        top = pod_of(bytes);
        if (top) {
            resources = quon_pod_load_item_pod(top, 1);
            font = quon_pod_load_item_pod(top, 2);
        }
    }
    static void TearDownTestSuite() {
        quon_destroy_pod(font);
        quon_destroy_pod(resources);
        quon_destroy_pod(top);
    }
    void SetUp() override {
        ASSERT_NE(top, nullptr) << "the build packs data.pod into " MIVO3_BINARY_DIR;
        ASSERT_NE(resources, nullptr);
        ASSERT_NE(font, nullptr);
    }
    static inline std::vector<uint8_t> bytes;
    static inline quon_pod* top = nullptr;
    static inline quon_pod* resources = nullptr;
    static inline quon_pod* font = nullptr;
};

TEST_F(BuiltDataPod, BootCartIsATextCartWithAJingle) {
    const std::string cart = file_text(top, 0);
    EXPECT_EQ(cart.rfind("mivo-3 cartridge", 0), 0u);
    EXPECT_NE(cart.find("\nversion 17\n"), std::string::npos);
    const size_t sfx = cart.find("__sfx__\n");
    ASSERT_NE(sfx, std::string::npos);
    const std::string line = cart.substr(sfx + 8, cart.find('\n', sfx + 8) - sfx - 8);
    ASSERT_EQ(line.size(), 168u);
    int audible = 0;
    for (int n = 0; n < 32; n++) {
        const std::string note = line.substr(8 + 5 * size_t(n), 5);
        if (note[3] != '0') audible++;  // the volume digit
    }
    EXPECT_GE(audible, 3);
    EXPECT_NE(line.substr(2, 2), "00");  // a playable speed
}

TEST_F(BuiltDataPod, PaletteBrightnessFollowsTheBackdropRanks) {
    const quon_pod_palette* pal = quon_pod_get_palette(resources, 1);
    ASSERT_NE(pal, nullptr);
    // Rank of each machine colour from darkest (0) to brightest (15).
    const int rank[16] = {0, 1, 3, 5, 4, 2, 11, 15, 7, 12, 13, 9, 8, 6, 10, 14};
    std::vector<int> order(16);
    std::iota(order.begin(), order.end(), 0);
    auto luma = [&](int c) {
        return 0.299 * pal->rgb[3 * c] + 0.587 * pal->rgb[3 * c + 1] + 0.114 * pal->rgb[3 * c + 2];
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return luma(a) < luma(b); });
    for (int r = 0; r < 16; r++) EXPECT_EQ(rank[order[size_t(r)]], r) << "colour " << order[size_t(r)];
    EXPECT_EQ(luma(0), 0.0);
    EXPECT_GT(luma(7), 240.0);
    // Entry 16 is a black that differs from colour 0.
    EXPECT_LT(luma(16), 16.0);
    EXPECT_NE(std::vector<uint8_t>(pal->rgb, pal->rgb + 3), std::vector<uint8_t>(pal->rgb + 48, pal->rgb + 51));
    // The alternate colours are ours too, not the start-up grey ramp.
    int not_grey = 0;
    for (int c = 128; c < 144; c++) not_grey += pal->rgb[3 * c] != c || pal->rgb[3 * c + 1] != c;
    EXPECT_EQ(not_grey, 16);
}

TEST_F(BuiltDataPod, ResourceItemsSitAtTheirIndices) {
    ASSERT_GE(resources->items.size(), 246u);
    const quon_bitmap* logo = quon_pod_bitmap(resources, 2);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width, 40);
    EXPECT_EQ(logo->height, 10);
    EXPECT_EQ(logo->bits, 8);
    int inked = 0;
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 40; x++) {
            EXPECT_LT(logo->rows[y][x], 16);
            inked += logo->rows[y][x] != 0;
        }
    EXPECT_GT(inked, 60);
    EXPECT_EQ(file_text(resources, 4), std::string("mivo-3") + '\0');
    const quon_bitmap* icon = quon_pod_bitmap(resources, 6);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->bits, 32);
    for (int i = 212; i < 224; i++) {
        const quon_bitmap* f = quon_pod_bitmap(resources, i);
        ASSERT_NE(f, nullptr) << i;
        EXPECT_EQ(f->width, 12);
        EXPECT_EQ(f->height, 12);
        // Successive frames differ, or the icon would not move.
        const quon_bitmap* prev = quon_pod_bitmap(resources, i == 212 ? 223 : i - 1);
        EXPECT_NE(std::vector<uint8_t>(f->data, f->data + 144), std::vector<uint8_t>(prev->data, prev->data + 144));
    }
    ASSERT_NE(quon_pod_bitmap(resources, 226), nullptr);
    ASSERT_NE(quon_pod_bitmap(resources, 227), nullptr);
    const quon_bitmap* pointer = quon_pod_bitmap(resources, 245);
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(pointer->width, 7);
    EXPECT_EQ(pointer->height, 7);
}

TEST_F(BuiltDataPod, FontHas256GlyphsOnAFourBySixGrid) {
    ASSERT_EQ(font->items.size(), 256u);
    for (int c = 32; c < 127; c++) {
        const quon_bitmap* g = quon_pod_bitmap(font, c);
        ASSERT_NE(g, nullptr) << c;
        EXPECT_EQ(g->width, 3) << c;
        EXPECT_EQ(g->height, 5) << c;
        int ink = 0;
        for (int i = 0; i < 15; i++) ink += g->data[i] != 0;
        if (c != ' ') {
            EXPECT_GT(ink, 0) << "glyph " << char(c) << " is blank";
        }
    }
    EXPECT_EQ(32 * (quon_pod_bitmap(font, 'a')->width + 1), 128);
    for (int c = 0x80; c <= 0x99; c++) {
        const quon_bitmap* g = quon_pod_bitmap(font, c);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->height, 5);
        EXPECT_LE(g->width, 7);
    }
    // Letters and digits must tell apart.
    auto pixels = [&](int c) {
        const quon_bitmap* g = quon_pod_bitmap(font, c);
        return std::vector<uint8_t>(g->data, g->data + 15);
    };
    const std::string distinct = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (size_t i = 0; i < distinct.size(); i++)
        for (size_t j = i + 1; j < distinct.size(); j++)
            EXPECT_NE(pixels(distinct[i]), pixels(distinct[j])) << distinct[i] << " vs " << distinct[j];
}

TEST_F(BuiltDataPod, CartsFromThreeThenFillersUpToTheTwoInstallPods) {
    // Items 0..2 are the boot cart and the two resource pods; the head cart
    // (item 3) and any carts from MIVO3_CARTS follow as 32 KiB images, empty
    // fillers take the rest of 4..99, and 100 and 101 are the demo and
    // sample games pods.
    ASSERT_EQ(top->items.size(), 102u);
    size_t i = 3;
    while (i < 100 && quon_pod_file(top, int32_t(i))->length == 0x8000) i++;
    EXPECT_GE(i, 4u) << "the head cart";
    for (; i < 100; i++) EXPECT_EQ(quon_pod_file(top, int32_t(i))->length, 0) << i;
    for (int32_t pod = 100; pod <= 101; pod++) {
        quon_pod* inner = quon_pod_load_item_pod(top, pod);
        EXPECT_NE(inner, nullptr) << pod;
        quon_destroy_pod(inner);
    }
}

TEST_F(BuiltDataPod, TruncatedCopiesGiveShorterPods) {
    for (size_t n = 0; n < bytes.size(); n += 61) {
        const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        quon_pod* pod = pod_of(part);
        if (pod) {
            EXPECT_LE(pod->items.size(), top->items.size()) << n;
            // A nested pod cut short is either refused or shorter, never bigger.
            for (int32_t i = 1; i <= 2 && i < int32_t(pod->items.size()); i++) {
                quon_pod* inner = quon_pod_load_item_pod(pod, i);
                if (inner) {
                    EXPECT_LE(inner->items.size(), 256u);
                }
                quon_destroy_pod(inner);
            }
        }
        quon_destroy_pod(pod);
    }
}
