#include "shell/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/pod.h"
#include "host/text.h"
#include "machine/draw.h"
#include "machine/pstate.h"

namespace {

// A 256-glyph console font of solid 3x5 glyphs, except the space, which is
// blank as in the real font.
// Codes 0x80 and up are 7 pixels wide, like the font's symbol glyphs.
quon_pod* make_console_font() {
    quon_pod* pod = quon_create_pod("console");
    for (int i = 0; i < 256; i++) {
        const int w = i >= 0x80 ? 7 : 3;
        quon_bitmap* g = quon_create_bitmap(w, 5, 8);
        if (i != ' ') std::memset(g->data, 1, size_t(w) * 5);
        cpod_add_item(pod, QUON_ITEM_BITMAP, g);
    }
    return pod;
}

class ConsoleTest : public ::testing::Test {
protected:
    quon_pod* font = nullptr;
    const quon_pod* saved_font = nullptr;

    void SetUp() override {
        reset_pstate();
        quon_set_text_spacing(1);
        font = make_console_font();
        saved_font = mivo3_print_font;
        mivo3_print_font = font;
        mivo_console_set_route(false, false);
    }
    void TearDown() override {
        mivo3_print_font = saved_font;
        quon_destroy_pod(font);
        mivo_console_set_route(false, false);
    }
    static uint8_t px(int x, int y) { return quon_row8(mivo3_back_page, y)[x]; }
    static bool row_blank(int y) {
        for (int x = 0; x < 128; x++)
            if (px(x, y)) return false;
        return true;
    }
    static void fill_page(uint8_t v) {
        std::memset(mivo3_back_page->data, v, size_t(mivo3_back_page->pitch) * 128);
    }
};

TEST_F(ConsoleTest, PlainPrintDrawsInColourSixAndMovesDownOneLine) {
    pstate.cursor_y = 12;
    mivo_print("ok");
    EXPECT_EQ(px(0, 12), 6);
    EXPECT_EQ(px(4, 16), 6);
    EXPECT_EQ(px(3, 12), 0);
    EXPECT_EQ(pstate.cursor_y, 18);
    mivo_print_col("x", 14);
    EXPECT_EQ(px(0, 18), 14);
    EXPECT_EQ(pstate.cursor_y, 24);
}

TEST_F(ConsoleTest, TwentyFirstLineScrollsInsteadOfMovingTheCursor) {
    for (int i = 1; i <= 20; i++) mivo_print_col("#", i);
    EXPECT_EQ(pstate.cursor_y, 120);
    EXPECT_EQ(px(0, 0), 1);
    EXPECT_EQ(px(0, 114), 20);

    mivo_print_col("#", 21);
    EXPECT_EQ(pstate.cursor_y, 120);
    // Everything moved up by 6: line 2 is on top, line 21 (written at 120) at 114.
    EXPECT_EQ(px(0, 0), 2);
    EXPECT_EQ(px(0, 108), 20);
    EXPECT_EQ(px(0, 114), 21);
    for (int y = 120; y < 128; y++) EXPECT_TRUE(row_blank(y)) << y;

    mivo_print_col("#", 22);
    EXPECT_EQ(pstate.cursor_y, 120);
    EXPECT_EQ(px(0, 0), 3);
    EXPECT_EQ(px(0, 114), 22);
}

TEST_F(ConsoleTest, ThirtyThreeCharactersTakeTwoLines) {
    const std::string text(33, 'a');
    mivo_print(text.c_str());
    EXPECT_EQ(px(124, 0), 6);
    EXPECT_EQ(px(0, 6), 6);
    EXPECT_EQ(px(4, 6), 0);
    EXPECT_EQ(pstate.cursor_y, 12);

    const std::string full(32, 'b');  // exactly one line
    mivo_print(full.c_str());
    EXPECT_EQ(px(124, 12), 6);
    EXPECT_TRUE(row_blank(18));
    EXPECT_EQ(pstate.cursor_y, 18);
}

TEST_F(ConsoleTest, WrappedTextAtTheBottomScrollsToStayWhole) {
    pstate.cursor_y = 120;
    mivo_print_col(std::string(40, 'c').c_str(), 9);
    // Room for the second line was made before drawing, and the final
    // advance scrolled once more.
    EXPECT_EQ(pstate.cursor_y, 120);
    EXPECT_EQ(px(0, 108), 9);
    EXPECT_EQ(px(28, 114), 9);
    EXPECT_EQ(px(32, 114), 0);
    EXPECT_TRUE(row_blank(120));
}

TEST_F(ConsoleTest, LongTextClearsEveryLineItCovers) {
    fill_page(5);
    pstate.cursor_y = 6;
    mivo_print(std::string(100, ' ').c_str());  // four lines of blank glyphs
    for (int y = 6; y < 30; y++) EXPECT_TRUE(row_blank(y)) << y;
    EXPECT_EQ(px(0, 5), 5);
    EXPECT_EQ(px(0, 30), 5);
    EXPECT_EQ(pstate.cursor_y, 30);
}

TEST_F(ConsoleTest, EmptyTextClearsOneLineAndAdvances) {
    fill_page(9);
    pstate.cursor_y = 10;
    mivo_print("");
    for (int y = 10; y < 16; y++) EXPECT_TRUE(row_blank(y)) << y;
    EXPECT_EQ(px(127, 9), 9);
    EXPECT_EQ(px(0, 16), 9);
    EXPECT_EQ(pstate.cursor_y, 16);
    mivo_print(nullptr);
    EXPECT_EQ(pstate.cursor_y, 22);
}

TEST_F(ConsoleTest, LinesFollowTheGlyphWidthsAndTheCursorColumn) {
    fill_page(2);
    mivo_print(std::string(20, '\x81').c_str());  // 16 wide glyphs fill a line
    EXPECT_EQ(px(120, 0), 6);
    EXPECT_EQ(px(24, 6), 6);   // the last four on the second line
    EXPECT_EQ(px(32, 6), 0);   // which was cleared
    EXPECT_EQ(pstate.cursor_y, 12);

    pstate.cursor_x = 64;
    mivo_print(std::string(20, 'a').c_str());  // 16 narrow glyphs from x 64
    EXPECT_EQ(px(124, 12), 6);
    EXPECT_EQ(px(64, 18), 6);
    EXPECT_EQ(px(0, 18), 0);   // cleared from the left edge
    EXPECT_EQ(pstate.cursor_y, 24);
}

TEST_F(ConsoleTest, NewlinesStartLinesOfTheirOwn) {
    fill_page(3);
    mivo_print("ab\ncd");
    EXPECT_EQ(px(0, 0), 6);
    EXPECT_EQ(px(4, 6), 6);
    EXPECT_EQ(px(8, 6), 0);  // the second line's rectangle was cleared
    EXPECT_EQ(pstate.cursor_y, 12);
}

TEST_F(ConsoleTest, PrintIgnoresAndKeepsTheCartsClipRectangle) {
    quon_set_clip(mivo3_back_page, 0, 0, 8, 8);
    mivo_print(std::string(32, 'a').c_str());
    EXPECT_EQ(px(124, 0), 6);
    EXPECT_EQ(mivo3_back_page->cx1, 8);
    EXPECT_EQ(mivo3_back_page->cy1, 8);
}

TEST_F(ConsoleTest, FormattedVariantsFormatTwoIntegers) {
    mivo_console_set_route(true, false);
    pstate.shell_mode = 0;
    testing::internal::CaptureStdout();
    mivo_print_2("%d of %d", 3, 40);
    mivo_print_2_col("[%04d] %x", 7, 255, 14);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3 of 40\n[0007] ff\n");
}

TEST_F(ConsoleTest, HeadlessStoppedShellPrintsToStandardOutputOnly) {
    mivo_console_set_route(true, false);
    pstate.shell_mode = 0;
    pstate.cursor_y = 30;
    EXPECT_TRUE(mivo_console_to_stdout());
    testing::internal::CaptureStdout();
    mivo_print("runtime error");
    mivo_print_col("line 2", 14);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "runtime error\nline 2\n");
    for (int y = 0; y < 128; y++) ASSERT_TRUE(row_blank(y)) << y;
    EXPECT_EQ(pstate.cursor_y, 30);
}

TEST_F(ConsoleTest, RouteDependsOnSwitchModeAndExportName) {
    pstate.shell_mode = 1;  // a cart is running
    mivo_console_set_route(true, false);
    EXPECT_FALSE(mivo_console_to_stdout());
    testing::internal::CaptureStdout();
    mivo_print("drawn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(px(0, 0), 6);

    mivo_console_set_route(true, true);
    EXPECT_TRUE(mivo_console_to_stdout());
    mivo_console_set_route(false, true);
    pstate.shell_mode = 0;
    EXPECT_FALSE(mivo_console_to_stdout());
}

TEST_F(ConsoleTest, WithoutAFontLinesStillClearAndAdvance) {
    mivo3_print_font = nullptr;
    fill_page(4);
    mivo_print("nothing to draw with");
    EXPECT_TRUE(row_blank(0));
    EXPECT_EQ(px(0, 6), 4);
    EXPECT_EQ(pstate.cursor_y, 6);
}

}  // namespace
