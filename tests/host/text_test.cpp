#include "host/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/pod.h"

namespace {

// A font of `count` solid glyphs w x h at the given depth; glyph i is filled
// with value base + i (8-bit) or 0xFF000000 | (base + i) (32-bit).
quon_pod* solid_font(int count, int w, int h, int bits, uint32_t base = 1) {
    quon_pod* pod = quon_create_pod("test");
    for (int i = 0; i < count; i++) {
        quon_bitmap* g = quon_create_bitmap(w, h, bits);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                if (bits == 8)
                    quon_row8(g, y)[x] = uint8_t(base + uint32_t(i));
                else
                    quon_row32(g, y)[x] = 0xFF000000u | (base + uint32_t(i));
            }
        cpod_add_item(pod, QUON_ITEM_BITMAP, g);
    }
    return pod;
}

struct bitmap_holder {
    quon_bitmap* b;
    bitmap_holder(int w, int h, int bits) : b(quon_create_bitmap(w, h, bits)) {}
    ~bitmap_holder() { quon_destroy_bitmap(b); }
    uint8_t at(int x, int y) const { return quon_row8(b, y)[x]; }
    uint32_t at32(int x, int y) const { return quon_row32(b, y)[x]; }
};

struct pod_holder {
    quon_pod* p;
    explicit pod_holder(quon_pod* pod) : p(pod) {}
    ~pod_holder() { quon_destroy_pod(p); }
};

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { quon_set_text_spacing(1); }
    void TearDown() override { quon_set_text_spacing(1); }
};

// Glyph index of a code in a 96-glyph font made by solid_font(96, ...).
uint8_t value96(char c) { return uint8_t(1 + (c - 32)); }

TEST_F(TextTest, ThirtyTwoNarrowGlyphsFillALineAndTheThirtyThirdWraps) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(128, 128, 8);
    const std::string line(33, 'A');
    const int32_t last = quon_draw_text_ex(page.b, line.c_str(), font.p, 0, 0, QUON_TEXT_WRAP, 0);
    EXPECT_EQ(page.at(124, 0), value96('A'));  // 32nd glyph
    EXPECT_EQ(page.at(126, 4), value96('A'));
    EXPECT_EQ(page.at(127, 0), 0);             // spacing after the 32nd
    EXPECT_EQ(page.at(0, 6), value96('A'));    // 33rd on the next line
    EXPECT_EQ(page.at(4, 6), 0);
    EXPECT_EQ(page.at(0, 5), 0);               // the line gap
    EXPECT_EQ(last, 6);

    bitmap_holder plain(128, 128, 8);
    EXPECT_EQ(quon_draw_text_ex(plain.b, std::string(32, 'A').c_str(), font.p, 0, 0, 0, 0), 0);
    EXPECT_EQ(plain.at(0, 6), 0);
}

TEST_F(TextTest, WrapFollowsTheClipRectangle) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(128, 128, 8);
    quon_set_clip(page.b, 8, 0, 16, 128);  // right edge 24: four glyphs from x 8
    quon_draw_text_ex(page.b, "AAAAAB", font.p, 8, 0, QUON_TEXT_WRAP, 0);
    EXPECT_EQ(page.at(20, 0), value96('A'));
    EXPECT_EQ(page.at(8, 6), value96('A'));
    EXPECT_EQ(page.at(12, 6), value96('B'));
}

TEST_F(TextTest, NewlineReturnsToStartColumnAndReportsLastLine) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(64, 64, 8);
    const int32_t last = quon_draw_text_ex(page.b, "AB\nC", font.p, 10, 3, 0, 0);
    EXPECT_EQ(last, 9);
    EXPECT_EQ(page.at(10, 9), value96('C'));
    EXPECT_EQ(page.at(14, 3), value96('B'));
    // An empty line advances by the spacing alone: 5 + 1, then 0 + 1.
    EXPECT_EQ(quon_draw_text_ex(page.b, "A\n\nB", font.p, 0, 0, 0, 0), 7);
}

TEST_F(TextTest, FontSizeDecidesWhichCodesDraw) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(32, 8, 8);
    // Codes outside 32..127 are skipped without moving the pen; 127 draws its
    // glyph and ends the text.
    quon_draw_text_ex(page.b, "A\x80\x05" "B\x7f" "C", font.p, 0, 0, 0, 0);
    EXPECT_EQ(page.at(0, 0), value96('A'));
    EXPECT_EQ(page.at(4, 0), value96('B'));
    EXPECT_EQ(page.at(8, 0), value96('\x7f'));
    EXPECT_EQ(page.at(12, 0), 0);
    EXPECT_EQ(quon_get_text_width("A\x7f" "BBBB", font.p), 7);

    pod_holder full(solid_font(256, 2, 4, 8, 0));
    quon_draw_text_ex(page.b, "\xc8\x01", full.p, 0, 4, 0, 0);
    EXPECT_EQ(page.at(0, 4), 200);
    EXPECT_EQ(page.at(3, 4), 1);
}

TEST_F(TextTest, ColouriseAndTransparency) {
    quon_pod* pod = quon_create_pod("t");
    for (int i = 0; i < 96; i++) {
        quon_bitmap* g = quon_create_bitmap(3, 5, 8);
        quon_row8(g, 0)[1] = 9;  // one opaque pixel, the rest colour 0
        cpod_add_item(pod, QUON_ITEM_BITMAP, g);
    }
    pod_holder font(pod);
    bitmap_holder page(16, 8, 8);
    std::memset(page.b->data, 3, 16 * 8);
    quon_draw_text_ex(page.b, "A", font.p, 0, 0, 0, 12);
    EXPECT_EQ(page.at(1, 0), 9);
    EXPECT_EQ(page.at(0, 0), 3);  // transparent pixel keeps the target
    quon_draw_text_ex(page.b, "A", font.p, 4, 0, QUON_TEXT_COLOURISE, 12);
    EXPECT_EQ(page.at(5, 0), 12);
    EXPECT_EQ(page.at(4, 0), 3);
}

TEST_F(TextTest, SetMatchingTheTargetDepthIsChosen) {
    // 8-bit set of 96 glyphs followed by a 32-bit set of 96 glyphs.
    quon_pod* pod = solid_font(96, 3, 5, 8);
    quon_pod* set32 = solid_font(96, 3, 5, 32, 0x112233);
    for (auto& item : set32->items) cpod_add_item(pod, item.type, item.object);
    set32->items.clear();
    quon_destroy_pod(set32);
    pod_holder font(pod);

    bitmap_holder page8(16, 8, 8);
    quon_draw_text_ex(page8.b, "A", font.p, 0, 0, 0, 0);
    EXPECT_EQ(page8.at(0, 0), value96('A'));  // glyph's own value, not colourised

    bitmap_holder page32(16, 8, 32);
    quon_row32(page32.b, 0)[0] = 0x7F000000;
    quon_draw_text_ex(page32.b, "A", font.p, 0, 0, 0, 0);
    // Opaque glyph replaces the colour but the target keeps its alpha.
    EXPECT_EQ(page32.at32(0, 0), 0x7F000000u | (0x112233u + 33));

    // A font without a 32-bit set is drawn colourised onto a 32-bit target.
    pod_holder plain(solid_font(96, 3, 5, 8));
    bitmap_holder other(16, 8, 32);
    quon_draw_text_ex(other.b, "A", plain.p, 0, 0, 0, 0x00FF8040);
    EXPECT_EQ(other.at32(0, 0), 0x00FF8040u);
    EXPECT_EQ(other.at32(3, 0), 0u);
}

TEST_F(TextTest, ThirtyTwoBitGlyphsBlendByAlpha) {
    quon_pod* pod = quon_create_pod("a");
    for (int i = 0; i < 96; i++) {
        quon_bitmap* g = quon_create_bitmap(1, 1, 32);
        quon_row32(g, 0)[0] = 0x80FFFFFF;  // half-transparent white
        cpod_add_item(pod, QUON_ITEM_BITMAP, g);
    }
    pod_holder font(pod);
    bitmap_holder page(4, 1, 32);
    quon_row32(page.b, 0)[0] = 0xFF000000;
    quon_draw_text_ex(page.b, "A", font.p, 0, 0, 0, 0);
    EXPECT_EQ(page.at32(0, 0), 0xFF808080u);
    quon_row32(page.b, 0)[2] = 0x00000000;
    quon_draw_text_ex(page.b, "A", font.p, 2, 0, QUON_TEXT_COLOURISE, 0x0000FF);
    EXPECT_EQ(page.at32(2, 0), 0x00000080u);

    bitmap_holder page8(4, 1, 8);  // no 8-bit set: colourised, opaque from alpha 0x80
    quon_draw_text_ex(page8.b, "AA", font.p, 0, 0, 0, 5);
    EXPECT_EQ(page8.at(0, 0), 5);
    EXPECT_EQ(page8.at(2, 0), 5);
}

TEST_F(TextTest, ClipRectangleBoundsEveryGlyph) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(16, 16, 8);
    quon_set_clip(page.b, 2, 2, 4, 2);
    quon_draw_text_ex(page.b, "AA", font.p, -1, 0, 0, 0);
    int inked = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            if (page.at(x, y)) {
                inked++;
                EXPECT_TRUE(x >= 2 && x < 6 && y >= 2 && y < 4) << x << "," << y;
            }
    EXPECT_EQ(inked, 6);  // columns 2..5 minus the spacing column 2, rows 2..3
    // Far outside the bitmap: nothing drawn, no fault.
    quon_draw_text_ex(page.b, "AAAA", font.p, -5000, 9000, 0, 0);
}

TEST_F(TextTest, AlignmentMovesTheStartByTheTextWidth) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(64, 8, 8);
    EXPECT_EQ(quon_get_text_width("ABC", font.p), 11);
    quon_draw_text_ex(page.b, "ABC", font.p, 40, 0, QUON_TEXT_RIGHT, 0);
    EXPECT_EQ(page.at(29, 0), value96('A'));
    EXPECT_EQ(page.at(28, 0), 0);
    EXPECT_EQ(page.at(39, 0), value96('C'));
    EXPECT_EQ(page.at(40, 0), 0);
    quon_draw_text_ex(page.b, "ABC", font.p, 10, 0, QUON_TEXT_CENTRE, 0);
    EXPECT_EQ(page.at(5, 0), value96('A'));
    EXPECT_EQ(page.at(4, 0), 0);
}

TEST_F(TextTest, SpacingWidensLayoutAndNeverGoesNegative) {
    pod_holder font(solid_font(96, 3, 5, 8));
    quon_set_text_spacing(-3);
    EXPECT_EQ(quon_get_text_spacing(), 0);
    EXPECT_EQ(quon_get_text_width("AAAA", font.p), 12);
    quon_set_text_spacing(2);
    EXPECT_EQ(quon_get_text_width("AAAA", font.p), 18);
    bitmap_holder page(32, 32, 8);
    EXPECT_EQ(quon_draw_text_ex(page.b, "A\nA", font.p, 0, 0, 0, 0), 7);
    EXPECT_EQ(quon_get_text_width("", font.p), 0);
    EXPECT_EQ(quon_get_text_width("\x90", font.p), 0);
}

TEST_F(TextTest, MissingTextOrFontLeavesEverythingAlone) {
    pod_holder font(solid_font(96, 3, 5, 8));
    pod_holder empty(quon_create_pod("empty"));
    bitmap_holder page(16, 8, 8);
    EXPECT_EQ(quon_draw_text_ex(page.b, nullptr, font.p, 0, 3, 0, 0), 3);
    EXPECT_EQ(quon_draw_text_ex(page.b, "A", nullptr, 0, 3, 0, 0), 3);
    EXPECT_EQ(quon_draw_text_ex(page.b, "A", empty.p, 0, 3, 0, 0), 3);
    EXPECT_EQ(quon_draw_text_ex(nullptr, "A", font.p, 0, 3, 0, 0), 3);
    EXPECT_EQ(quon_get_text_width(nullptr, font.p), 0);
    EXPECT_EQ(quon_get_text_width("A", nullptr), 0);
    for (int i = 0; i < 16 * 8; i++) ASSERT_EQ(page.b->data[i], 0);
}

TEST_F(TextTest, FitEndsAnOverlongLineWithTwoDots) {
    pod_holder font(solid_font(96, 3, 5, 8));
    bitmap_holder page(32, 16, 8);
    quon_draw_text_ex(page.b, "ABCDEFGHIJ\nAB", font.p, 0, 0, QUON_TEXT_FIT, 0);
    // Width 32: "ABCDEF" (24) + ".." (7) fit, one more glyph would not.
    EXPECT_EQ(page.at(20, 0), value96('F'));
    EXPECT_EQ(page.at(24, 0), value96('.'));
    EXPECT_EQ(page.at(28, 0), value96('.'));
    EXPECT_EQ(page.at(31, 0), 0);
    // The next line fits and is drawn whole.
    EXPECT_EQ(page.at(4, 6), value96('B'));
    bitmap_holder short_page(32, 8, 8);
    quon_draw_text_ex(short_page.b, "ABCDEFG", font.p, 0, 0, QUON_TEXT_FIT, 0);
    EXPECT_EQ(short_page.at(24, 0), value96('G'));  // exactly 27 wide: no dots
}

TEST_F(TextTest, OutlinedTextSurroundsTheGlyphs) {
    quon_pod* pod = quon_create_pod("dot");
    for (int i = 0; i < 96; i++) {
        quon_bitmap* g = quon_create_bitmap(1, 1, 8);
        quon_row8(g, 0)[0] = 1;
        cpod_add_item(pod, QUON_ITEM_BITMAP, g);
    }
    pod_holder font(pod);
    bitmap_holder page(8, 8, 8);
    quon_draw_text_phat(page.b, "A", font.p, 3, 3, 0, 2, 9);
    for (int y = 2; y <= 4; y++)
        for (int x = 2; x <= 4; x++) EXPECT_EQ(page.at(x, y), (x == 3 && y == 3) ? 9 : 2);
    EXPECT_EQ(page.at(1, 3), 0);
    EXPECT_EQ(page.at(5, 3), 0);
}

TEST_F(TextTest, BuiltInFontsHaveBothDepthsAndDistinctDigits) {
    ASSERT_EQ(quon_text_init(), 0);
    for (int f = 0; f < 2; f++) {
        const quon_pod* font = quon_builtin_font(f);
        ASSERT_NE(font, nullptr);
        ASSERT_EQ(font->items.size(), 192u);
        const int w = f == 0 ? 3 : 4;
        EXPECT_EQ(quon_get_text_width("000 fps", font), 7 * (w + 1) - 1);
        // Every digit and capital has a shape of its own.
        std::string shapes[43];
        for (int c = '0'; c <= 'Z'; c++) {
            bitmap_holder page(8, 8, 8);
            const char text[2] = {char(c), 0};
            quon_draw_text_ex(page.b, text, font, 0, 0, 0, 0);
            shapes[c - '0'].assign(reinterpret_cast<char*>(page.b->data), 64);
            EXPECT_NE(shapes[c - '0'], std::string(64, '\0')) << char(c);
            for (int d = '0'; d < c; d++) EXPECT_NE(shapes[c - '0'], shapes[d - '0']) << char(c) << char(d);
        }
        bitmap_holder page32(128, 8, 32);
        quon_draw_text_ex(page32.b, "8", font, 1, 1, 0, 0);
        // 32-bit set: opaque white glyphs, the cleared target keeps alpha 0.
        EXPECT_EQ(page32.at32(2, 1), 0x00FFFFFFu);
    }
    EXPECT_EQ(quon_builtin_font(2), nullptr);
    quon_text_exit();
    EXPECT_EQ(quon_builtin_font(0), nullptr);
}

}  // namespace
