// Drawing bindings: argument counts, defaults and the routing of short
// forms to the primitives.
#include "tests/runtime/api_fixture.h"

#include "machine/draw.h"

using ApiDraw = ApiTest;

namespace {
int32_t pixel(int x, int y) { return mivo3_back_page->rows[y][x]; }

int32_t count_pixels(int32_t colour) {
    int32_t n = 0;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) n += pixel(x, y) == colour;
    return n;
}
}  // namespace

TEST_F(ApiDraw, CircleRadiusDefaultsToFour) {
    run("circ(64, 64) circfill(20, 20)");
    EXPECT_EQ(pixel(68, 64), 6);  // the pen colour
    EXPECT_EQ(pixel(64, 64), 0);
    EXPECT_EQ(pixel(24, 20), 6);
    EXPECT_EQ(pixel(25, 20), 0);
    run("circ(100, 100, 0, 3)");
    EXPECT_EQ(pixel(100, 100), 3);
}

TEST_F(ApiDraw, ShortFormsDoNothing) {
    run("pset(5) circ(5) circfill(5) color(7)");
    EXPECT_EQ(count_pixels(0), 128 * 128);
    EXPECT_EQ(run("pset(3, 4, 9) return pget(3, 4), pget(3), pget()"), "9,0,0");
}

TEST_F(ApiDraw, LineWithTwoArgumentsContinuesFromTheStoredEnd) {
    run("line(0, 0, 10, 0, 8) line(10, 5)");
    EXPECT_EQ(pixel(10, 3), 8);  // the second line runs from (10, 5) back to (10, 0)
    EXPECT_EQ(pstate.line_end_y, 5);
}

TEST_F(ApiDraw, SpriteAndStretchDefaults) {
    run("sset(0, 0, 7) sset(7, 7, 7) spr(0, 10, 10)");
    EXPECT_EQ(pixel(10, 10), 7);
    EXPECT_EQ(pixel(17, 17), 7);
    run("sspr(0, 0, 8, 8, 40, 40)");  // dw = sw, dh = sh: unscaled
    EXPECT_EQ(pixel(47, 47), 7);
    EXPECT_EQ(pixel(48, 48), 0);
    run("spr(0, 80, 80, 0.5, 1)");  // a 4x8 block: the pixel at x 7 is left out
    EXPECT_EQ(pixel(80, 80), 7);
    EXPECT_EQ(pixel(87, 87), 0);
}

TEST_F(ApiDraw, MapDefaultsPerArgument) {
    run("sset(0, 8, 9) mset(0, 0, 16) mset(0, 31, 16) mset(5, 0, 16)");
    run("map(0, 0, 0, 0)");
    EXPECT_EQ(pixel(0, 0), 9);
    EXPECT_EQ(pixel(40, 0), 9);
    run("cls() map(0, 0, 0, 0, 2)");  // two columns, every row
    EXPECT_EQ(pixel(0, 0), 9);
    EXPECT_EQ(pixel(40, 0), 0);
    run("cls() mapdraw(0, 0, 0, -240, 1, 1)");
    EXPECT_EQ(count_pixels(9), 0);  // only cell (0, 0), drawn above the screen
    run("cls() mapdraw(0, 31, 0, 0, 1, 1)");
    EXPECT_EQ(pixel(0, 0), 9);
}

TEST_F(ApiDraw, ClipPalettesAndCameraResets) {
    run("clip(10, 10, 5, 5)");
    EXPECT_EQ(pstate.clip_x1, 15);
    run("clip(1, 2, 3)");
    EXPECT_EQ(pstate.clip_x1, 128);
    run("pal(1, 2) palt(3, true) pal() palt()");
    EXPECT_EQ(pstate.draw_palette[1], 1);
    EXPECT_EQ(pstate.draw_palette[3], 3);
    EXPECT_EQ(pstate.draw_palette[0], 0x10);
    run("camera(5, -3) camera()");
    EXPECT_EQ(pstate.camera_x, 0);
}

TEST_F(ApiDraw, FlagsMapAndSheetReadBackAsIntegers) {
    EXPECT_EQ(run("fset(3, 0x85) return fget(3), fget(3, 7), fget(3, 1), fget(300), fget(300, 0)"),
              "133,true,false,0,false");
    EXPECT_EQ(run("fset(3, 1, true) fset(3, 0, false) return fget(3)"), "134");
    EXPECT_EQ(run("fset(3) fset(3, 9, true) return fget(3)"), "134");
    EXPECT_EQ(run("mset(3, 4, 200.7) sset(1, 1, 12) return mget(3, 4), sget(1, 1), mget(-1, 0)"), "200,12,0");
}

TEST_F(ApiDraw, PrintConvertsValuesAndCharges) {
    EXPECT_EQ(charge_of("print('abc', 0, 0)"), 8 * 3 + 2);
    EXPECT_EQ(charge_of("print(true, 0, 0)"), 8 * 4 + 2);
    EXPECT_EQ(charge_of("print({}, 0, 0)"), 8 * 7 + 2);  // "[table]"
    EXPECT_EQ(charge_of("print(nil, 0, 0)"), 8 * 5 + 2);  // "[nil]"
    EXPECT_EQ(charge_of("print(1.5, 0, 0)"), 8 * 3 + 2);
    run("cursor(0, 30) print('x')");
    EXPECT_EQ(pstate.cursor_y, 36);
    run("print('y', 50)");  // two arguments: the cursor stays
    EXPECT_EQ(pstate.cursor_y, 36);
}
