#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/quon.h"
#include "tests/host/test_app.h"

namespace {

quon_view view(int32_t pw, int32_t ph, int32_t ww, int32_t wh, bool fullscreen) {
    quon_view v;
    v.page_w = pw;
    v.page_h = ph;
    v.win_w = ww;
    v.win_h = wh;
    v.fullscreen = fullscreen;
    return v;
}

void expect_rect(const quon_rect& r, int32_t x, int32_t y, int32_t w, int32_t h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
}

TEST(PixelPerfect, WindowedLargerWindowUsesIntegerScaleCentred) {
    quon_view v = view(128, 128, 580, 540, false);
    ASSERT_EQ(quon_decide_pixel_perfect(v, -1, 0), 1);
    expect_rect(quon_decide_dest_rect(v, {}, 1), 34, 14, 512, 512);
    EXPECT_EQ(quon_decide_preblit_scale(v, 0, 1, 0), 1);
}

TEST(PixelPerfect, Fullscreen1080pLosesLessThanATenth) {
    quon_view v = view(128, 128, 1920, 1080, true);
    // 1080*9/10 = 972 and 128*8 = 1024 >= 972.
    ASSERT_EQ(quon_decide_pixel_perfect(v, -1, 0), 1);
    expect_rect(quon_decide_dest_rect(v, {}, 1), 448, 28, 1024, 1024);
}

TEST(PixelPerfect, FullscreenThatWouldLoseMoreThanATenthScalesSmoothly) {
    // 750 high: 128*5 = 640 < 675 loses too much; 700 high: 640 >= 630 is fine.
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 1000, 750, true), -1, 0), 0);
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 1000, 700, true), -1, 0), 1);
    // A tall window: the width limits.
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 750, 1000, true), -1, 0), 0);
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 700, 1000, true), -1, 0), 1);
}

TEST(PixelPerfect, SettingsAndLimits) {
    quon_view v = view(128, 128, 580, 540, false);
    EXPECT_EQ(quon_decide_pixel_perfect(v, 0, 0), 0) << "pixel_perfect 0 forces smooth scaling";
    EXPECT_EQ(quon_decide_pixel_perfect(v, 1, 0), 1);
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 580, 540, true), 0, 1), 1) << "software blit";
    EXPECT_EQ(quon_decide_pixel_perfect(view(0, 0, 580, 540, false), -1, 0), 0) << "no back page";
    EXPECT_EQ(quon_decide_pixel_perfect(view(720, 128, 4000, 4000, false), -1, 0), 0) << "wide page";
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 0, 540, false), -1, 0), 0) << "zero window";
    // Window smaller than the page, windowed: integer scaling would give nothing.
    EXPECT_EQ(quon_decide_pixel_perfect(view(128, 128, 100, 100, false), -1, 0), 0);
}

TEST(DestRect, SmoothScalingKeepsTheAspect) {
    // pixel_perfect 0 on 580x540: 540 high, 540 wide, centred horizontally.
    expect_rect(quon_decide_dest_rect(view(128, 128, 580, 540, false), {}, 0), 20, 0, 540, 540);
    // A tall window: full width, centred vertically.
    expect_rect(quon_decide_dest_rect(view(128, 128, 300, 500, false), {}, 0), 0, 100, 300, 300);
    // A wide page in a square window: truncated height.
    expect_rect(quon_decide_dest_rect(view(300, 100, 200, 200, false), {}, 0), 0, 67, 200, 66);
}

TEST(DestRect, PixelPerfectInASmallWindowUsesScaleOne) {
    expect_rect(quon_decide_dest_rect(view(128, 128, 100, 300, false), {}, 1), -14, 86, 128, 128);
}

TEST(DestRect, DrawRectWinsAndEmptyWindowDrawsNothing) {
    quon_rect forced{5, 6, 70, 80};
    expect_rect(quon_decide_dest_rect(view(128, 128, 580, 540, false), forced, 1), 5, 6, 70, 80);
    expect_rect(quon_decide_dest_rect(view(128, 128, 0, 540, false), {}, 1), 0, 0, 0, 0);
    quon_rect half{5, 6, 70, 0};  // h 0: not used
    expect_rect(quon_decide_dest_rect(view(128, 128, 580, 540, false), half, 1), 34, 14, 512, 512);
}

TEST(PreblitScale, AutomaticForcedAndDisabled) {
    quon_view v = view(128, 128, 1920, 1080, true);
    EXPECT_EQ(quon_decide_preblit_scale(v, 0, 0, 0), 4);  // 128 < 1920/4
    EXPECT_EQ(quon_decide_preblit_scale(view(128, 128, 450, 300, false), 0, 0, 0), 3);
    EXPECT_EQ(quon_decide_preblit_scale(view(128, 128, 300, 200, false), 0, 0, 0), 2);
    EXPECT_EQ(quon_decide_preblit_scale(view(128, 128, 200, 200, false), 0, 0, 0), 1);
    EXPECT_EQ(quon_decide_preblit_scale(v, 1, 0, 0), 1) << "preblit_scale 1 disables pre-scaling";
    EXPECT_EQ(quon_decide_preblit_scale(v, 12, 0, 0), 8);
    EXPECT_EQ(quon_decide_preblit_scale(v, 3, 1, 0), 3) << "a forced scale applies even pixel-perfect";
    EXPECT_EQ(quon_decide_preblit_scale(v, 0, 1, 0), 1);
    EXPECT_EQ(quon_decide_preblit_scale(v, 0, 0, 1), 1);
}

struct Bitmaps : ::testing::Test {
    quon_bitmap* a = nullptr;
    quon_bitmap* b = nullptr;
    void TearDown() override {
        quon_destroy_bitmap(a);
        quon_destroy_bitmap(b);
    }
};

TEST_F(Bitmaps, StretchRepeatsEachPixelKTimesBothWays) {
    a = quon_create_bitmap(2, 2, 8);
    a->rows[0][0] = 1;
    a->rows[0][1] = 2;
    a->rows[1][0] = 3;
    a->rows[1][1] = 4;
    b = quon_create_bitmap(6, 6, 8);
    quon_stretch_bitmap(a, b, 3);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) EXPECT_EQ(b->rows[y][x], a->rows[y / 3][x / 3]) << x << "," << y;
}

TEST_F(Bitmaps, ConvertGoesThroughThePalette) {
    a = quon_create_bitmap(3, 1, 8);
    a->rows[0][0] = 0;
    a->rows[0][1] = 7;
    a->rows[0][2] = 255;
    uint8_t pal[768] = {};
    pal[21] = 0x12;
    pal[22] = 0x34;
    pal[23] = 0x56;
    pal[765] = 0xff;
    b = quon_create_bitmap(3, 1, 32);
    quon_convert_to_32(a, b, pal);
    EXPECT_EQ(quon_row32(b, 0)[0], 0xFF000000u);
    EXPECT_EQ(quon_row32(b, 0)[1], 0xFF123456u);
    EXPECT_EQ(quon_row32(b, 0)[2], 0xFFFF0000u);
}

TEST_F(Bitmaps, SoftwareScalerSamplesNearestAndClipsToTheSurface) {
    a = quon_create_bitmap(2, 2, 32);
    quon_row32(a, 0)[0] = 1;
    quon_row32(a, 0)[1] = 2;
    quon_row32(a, 1)[0] = 3;
    quon_row32(a, 1)[1] = 4;
    uint32_t surface[5 * 4];
    std::memset(surface, 0xee, sizeof surface);
    // 4x4 picture at (2, -1) on a 5x4 surface: the right and top parts fall off.
    quon_scale_into(a, surface, 5 * 4, 5, 4, {2, -1, 4, 4});
    uint32_t want[4][5] = {{0xeeeeeeee, 0xeeeeeeee, 1, 1, 2},
                           {0xeeeeeeee, 0xeeeeeeee, 3, 3, 4},
                           {0xeeeeeeee, 0xeeeeeeee, 3, 3, 4},
                           {0xeeeeeeee, 0xeeeeeeee, 0xeeeeeeee, 0xeeeeeeee, 0xeeeeeeee}};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(surface[y * 5 + x], want[y][x]) << x << "," << y;
}

TEST_F(Bitmaps, BlitClipsToSourceAndDestinationClip) {
    a = quon_create_bitmap(4, 4, 8);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) a->rows[y][x] = static_cast<uint8_t>(10 * y + x + 1);
    b = quon_create_bitmap(6, 6, 8);
    quon_set_clip(b, 1, 1, 3, 3);  // [1,4) x [1,4)
    EXPECT_EQ(quon_blit(a, b, -1, 0, 0, 2, 4, 4), 0);
    // Source column -1 does not exist; destination column 0 is outside the clip.
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) {
            uint8_t want = 0;
            if (x >= 1 && x < 4 && y >= 2 && y < 4) want = static_cast<uint8_t>(10 * (y - 2) + (x - 1) + 1);
            EXPECT_EQ(b->rows[y][x], want) << x << "," << y;
        }
}

TEST_F(Bitmaps, BlitConvertsEightToThirtyTwoAndRefusesTheReverse) {
    std::memset(quon_palette, 0, sizeof quon_palette);
    quon_palette[3 * 9 + 0] = 0xaa;
    quon_palette[3 * 9 + 2] = 0x11;
    a = quon_create_bitmap(2, 2, 8);
    a->rows[1][1] = 9;
    b = quon_create_bitmap(2, 2, 32);
    EXPECT_EQ(quon_blit(a, b, 0, 0, 0, 0, 2, 2), 0);
    EXPECT_EQ(quon_row32(b, 1)[1], 0xFFAA0011u);
    EXPECT_EQ(quon_row32(b, 0)[0], 0xFF000000u);
    EXPECT_EQ(quon_blit(b, a, 0, 0, 0, 0, 2, 2), 1);
}

struct Window : ::testing::Test {
    test_app::temp_folder home;
    void SetUp() override { test_app::reset(); }
    void TearDown() override { quon_exit(); }
};

TEST_F(Window, HeadlessNeverOpensAWindowButKeepsTheBackPage) {
    test_app::start({"-home", home.path, "-headless"});
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    EXPECT_FALSE(quon_window_open());
    ASSERT_NE(quon_back_page, nullptr);
    EXPECT_EQ(quon_back_page->width, 128);
    quon_blit_back_page();  // presents nothing, must not fail
    EXPECT_FALSE(quon_window_open());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST_F(Window, VideoInitGivesAGreyRampAndABlackPalette) {
    test_app::start({"-home", home.path, "-headless"});
    EXPECT_EQ(quon_palette[3 * 77], 77);
    EXPECT_EQ(quon_palette[3 * 77 + 2], 77);
    EXPECT_EQ(quon_black_palette[3 * 200 + 1], 0);
    uint8_t pal[768];
    for (int i = 0; i < 768; i++) pal[i] = static_cast<uint8_t>(255 - i % 256);
    quon_set_palette(pal);
    EXPECT_EQ(std::memcmp(quon_palette, pal, 768), 0);
}

TEST_F(Window, WindowedScreenUsesTheConfiguredWindowSize) {
    test_app::start({"-home", home.path, "-windowed", "1"});
    quon_set_window_size(580, 540);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    ASSERT_TRUE(quon_window_open());
    EXPECT_EQ(quon_get_windowed(), 1);
    EXPECT_EQ(quon_screen.width, 580);
    EXPECT_EQ(quon_screen.height, 540);
    EXPECT_EQ(quon_get_pixel_perfect(), 1);
    expect_rect(quon_get_dest_rect(), 34, 14, 512, 512);
}

TEST_F(Window, TooSmallConfiguredWindowBecomes640x480) {
    test_app::start({"-home", home.path, "-windowed", "1"});
    quon_set_window_size(20, 540);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    EXPECT_EQ(quon_get_window_width(), 640);
    EXPECT_EQ(quon_get_window_height(), 480);
}

TEST_F(Window, FlagsChooseTheMode) {
    test_app::start({"-home", home.path, "-headless"});
    quon_screen_mode = 1;
    quon_set_screen(128, 128, 8, 0x100);  // windowed 0 leaves the mode
    EXPECT_EQ(quon_screen_mode, 1);
    quon_set_screen(128, 128, 8, 4);
    EXPECT_EQ(quon_screen_mode, 0);
    quon_set_screen(128, 128, 8, 8);
    EXPECT_EQ(quon_screen_mode, 1);
    // Without a configured window size the request is the window size.
    EXPECT_EQ(quon_screen.width, 128);
    quon_set_screen(64, 32, 8, 4);
    EXPECT_EQ(quon_back_page->width, 64);
    EXPECT_EQ(quon_back_page->height, 32);
}

// Reads the window's surface pixel under a window point (software path).
uint32_t surface_pixel(int x, int y) {
    auto* w = static_cast<SDL_Window*>(quon_platform_window());
    SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
    if (!s) return 0xdeadbeef;
    uint32_t p = 0;
    std::memcpy(&p, static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * 4, 4);
    return p & 0xFFFFFF;
}

TEST_F(Window, SoftwarePathDrawsThePicturePixelPerfect) {
    test_app::start({"-home", home.path, "-windowed", "1", "-software_blit", "1"});
    quon_set_window_size(580, 540);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    std::memset(quon_palette, 0, sizeof quon_palette);
    quon_palette[3 * 5] = 0x80;  // index 5: dark red
    quon_back_page->rows[0][0] = 5;
    quon_back_page->rows[127][127] = 5;
    quon_blit_back_page();
    // 4x scale at (34, 14): pixel (0,0) covers 34..37 x 14..17.
    EXPECT_EQ(surface_pixel(34, 14), 0x800000u);
    EXPECT_EQ(surface_pixel(37, 17), 0x800000u);
    EXPECT_EQ(surface_pixel(38, 14), 0u);
    EXPECT_EQ(surface_pixel(33, 14), 0u) << "outside the picture is cleared";
    EXPECT_EQ(surface_pixel(34 + 511, 14 + 511), 0x800000u);
    EXPECT_GT(smoothed_fps, 0) << "the frame meter counted the frame";
}

TEST_F(Window, OnlyAPictureThatLooksDifferentIsPresentedAgain) {
    test_app::start({"-home", home.path, "-windowed", "1", "-software_blit", "1"});
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    const int32_t start = quon_present_count;
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 1) << "a new window gets its picture";
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 1) << "nothing changed";
    quon_back_page->rows[5][7] = 9;
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 2) << "a pixel changed";
    quon_palette[3 * 9 + 1] ^= 0xff;
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 3) << "its colour changed";
    cconfig.show_fps = 1;
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 4) << "the counter appeared";
    cconfig.show_fps = 0;
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 5);

    // A window that was uncovered shows its picture again.
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(quon_platform_window()));
    e.window.event = SDL_WINDOWEVENT_EXPOSED;
    SDL_PushEvent(&e);
    quon_handle_messages();
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 6);
    quon_blit_back_page();
    EXPECT_EQ(quon_present_count, start + 6);
}

TEST_F(Window, HeadlessPresentsNothingButTheMeterCountsThePasses) {
    test_app::start({"-home", home.path, "-headless"});
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    const int32_t start = quon_present_count;
    quon_frame_meter_reset();
    for (int i = 0; i < 3; i++) {
        quon_back_page->rows[0][0] = uint8_t(i);
        quon_blit_back_page();
    }
    EXPECT_EQ(quon_present_count, start);
    EXPECT_GT(smoothed_fps, 0);
}

TEST_F(Window, TexturePathPresentsWithAndWithoutOverlay) {
    test_app::start({"-home", home.path, "-windowed", "1", "-show_fps", "1"});
    quon_set_window_size(580, 540);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    // The dummy driver may have no renderer, in which case the software path
    // was taken for good; both must present without failing.
    for (int i = 0; i < 3; i++) quon_blit_back_page();
    cconfig.show_fps = 0;
    quon_blit_back_page();
    EXPECT_TRUE(quon_window_open());
    EXPECT_NE(home.read("log.txt").find("renderer:"), std::string::npos);
}

TEST_F(Window, ToggleFullscreenReopensInTheOtherMode) {
    test_app::start({"-home", home.path, "-windowed", "1"});
    quon_set_window_size(300, 200);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    EXPECT_EQ(quon_screen_mode, 0);
    quon_toggle_fullscreen();
    EXPECT_EQ(quon_screen_mode, 1);
    EXPECT_TRUE(quon_window_open());
    quon_toggle_fullscreen();
    EXPECT_EQ(quon_screen_mode, 0);
    EXPECT_EQ(quon_screen.width, 300);
}

TEST_F(Window, IconIsCopiedAndTheCallerKeepsOwnership) {
    test_app::start({"-home", home.path, "-windowed", "1"});
    quon_bitmap* icon = quon_create_bitmap(16, 16, 32);
    quon_set_window_icon(icon);
    quon_destroy_bitmap(icon);
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);  // applies the kept copy
    EXPECT_TRUE(quon_window_open());
}

}  // namespace
