// The frame ring and what the GIF and screenshot writers put on the desktop,
// read back with the GIF library's decoder and the PNG decoder.
#include "capture/capture.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <lodepng.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/bitmap.h"
#include "host/paths.h"
#include "host/pod.h"
#include "host/stream.h"
#include "runtime/api.h"
#include "shell/app.h"
#include "shell/shell.h"

namespace fs = std::filesystem;

namespace {

struct Capture : ::testing::Test {
    void SetUp() override {
        reset_capture();
        reset_app();
        app.gif_len = 8;
        app.gif_scale = 2;
        app.screenshot_scale = 3;
        desktop = fs::temp_directory_path() / ("mivo3_capture_" + std::to_string(::getpid()));
        fs::remove_all(desktop);
        fs::create_directories(desktop);
        quon_set_desktop_path(desktop.string() + "/");
        frame = quon_create_bitmap(128, 128, 8);
    }
    void TearDown() override {
        reset_capture();
        quon_destroy_bitmap(frame);
        quon_set_desktop_path("");
        fs::remove_all(desktop);
    }
    // Frame k carries its number in its first two pixels, in colours below 16.
    void record(int first, int count) {
        for (int k = first; k < first + count; k++) {
            frame->rows[0][0] = uint8_t(k & 15);
            frame->rows[0][1] = uint8_t((k >> 4) & 15);
            record_video_frame(frame);
        }
    }
    static int number(const SavedImage& image) {  // at gif_scale 2
        return image.RasterBits[0] | image.RasterBits[2] << 4;
    }
    fs::path desktop;
    quon_bitmap* frame = nullptr;
};

TEST_F(Capture, GifHoldsTheNewestFramesInOrderAndLoops) {
    record(0, 300);
    ASSERT_EQ(save_gif(), 0);
    int error = 0;
    GifFileType* gif = DGifOpenFileName((desktop / "MIVO-3_0.gif").c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->SWidth, 256);
    EXPECT_EQ(gif->SHeight, 256);
    ASSERT_NE(gif->SColorMap, nullptr);
    EXPECT_EQ(gif->SColorMap->ColorCount, 16);
    ASSERT_EQ(gif->ImageCount, 239);
    EXPECT_EQ(number(gif->SavedImages[0]) % 256, 61 % 256);
    EXPECT_EQ(number(gif->SavedImages[238]), 299 % 256);
    const SavedImage& first = gif->SavedImages[0];
    ASSERT_EQ(first.ExtensionBlockCount, 3);
    EXPECT_EQ(first.ExtensionBlocks[0].Function, APPLICATION_EXT_FUNC_CODE);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(first.ExtensionBlocks[0].Bytes), 11), "NETSCAPE2.0");
    const uint8_t loop[] = {1, 0, 0}, control[] = {8, 3, 0, 0};
    EXPECT_EQ(std::memcmp(first.ExtensionBlocks[1].Bytes, loop, 3), 0);
    for (const SavedImage* image : {&gif->SavedImages[0], &gif->SavedImages[1], &gif->SavedImages[238]}) {
        const ExtensionBlock& gce = image->ExtensionBlocks[image->ExtensionBlockCount - 1];
        EXPECT_EQ(gce.Function, GRAPHICS_EXT_FUNC_CODE);
        EXPECT_EQ(std::memcmp(gce.Bytes, control, 4), 0);
    }
    EXPECT_EQ(gif->SavedImages[1].ExtensionBlockCount, 1);
    DGifCloseFile(gif, &error);

    // One pixel of 16 or more anywhere takes the whole clip to 256 colours;
    // a second save never replaces the first file.
    frame->rows[64][64] = 200;
    record(300, 1);
    ASSERT_EQ(save_gif(), 0);
    gif = DGifOpenFileName((desktop / "MIVO-3_1.gif").c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->SColorMap->ColorCount, 256);
    DGifCloseFile(gif, &error);
}

TEST_F(Capture, RingLengthFollowsGifLenUpToTwoMinutes) {
    app.gif_len = 0;
    record(0, 10);
    EXPECT_EQ(video_frame_count(), 0);
    for (int len : {120, 200}) {
        reset_capture();
        app.gif_len = len;
        record(0, 3700);
        EXPECT_EQ(video_frame_count(), 3599) << len;
    }
}

TEST_F(Capture, FilesAreNamedForTheResourcePodTitle) {
    mivo3_resource_pod = quon_create_pod("resources");
    for (const char* text : {"", "", "", "", "Moon/Base"}) {
        quon_stream* item = quon_create_memory_stream();
        quon_fwrite(text, 1, int64_t(std::strlen(text)) + 1, item);
        cpod_add_item(mivo3_resource_pod, QUON_ITEM_FILE, item);
    }
    EXPECT_EQ(get_output_file_name_base(), "Moon_Base");
    quon_destroy_pod(mivo3_resource_pod);
    mivo3_resource_pod = nullptr;
    EXPECT_EQ(get_output_file_name_base(), "MIVO-3");
}

TEST_F(Capture, ScreenshotsAreScaledStoreColourZeroAsSixteenAndNeverOverwrite) {
    std::ofstream(desktop / "MIVO-3_000.png") << "kept";
    frame->rows[5][7] = 9;
    ASSERT_EQ(save_png_screenshot(frame), 0);
    ASSERT_EQ(save_png_screenshot(frame), 0);
    std::ifstream kept(desktop / "MIVO-3_000.png");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "kept");
    std::vector<uint8_t> png, pixels;
    ASSERT_EQ(lodepng::load_file(png, (desktop / "MIVO-3_001.png").string()), 0u);
    EXPECT_TRUE(fs::exists(desktop / "MIVO-3_002.png"));
    lodepng::State state;
    state.info_raw.colortype = LCT_PALETTE;
    state.info_raw.bitdepth = 8;
    unsigned w = 0, h = 0;
    ASSERT_EQ(lodepng::decode(pixels, w, h, state, png), 0u);
    EXPECT_EQ(w, 384u);
    EXPECT_EQ(h, 384u);
    EXPECT_EQ(pixels[0], 16);                  // colour 0
    EXPECT_EQ(pixels[15 * 384 + 21], 9);       // pixel (7, 5) scaled by 3
}

TEST_F(Capture, AnUnwritableDesktopIsToldAsAFailure) {
    std::ofstream(desktop / "file") << "x";
    quon_set_desktop_path((desktop / "file/inside/").string());
    record(0, 5);
    EXPECT_EQ(save_gif(), 1);
    EXPECT_EQ(save_png_screenshot(frame), 1);
}

// The keys and extcmd tell what happened, each in its own words, once the
// worker is done; a desktop that takes no file is told at once.
TEST_F(Capture, KeysAndCartCommandsTellTheOutcome) {
    capture_install_hooks();
    mivo3_screen = frame;
    record(0, 5);
    const auto told = [](int32_t (*save)()) {
        app.message_text[0] = 0;
        save();
        capture_wait();
        return std::string(app.message_text);
    };
    EXPECT_EQ(told(mivo3_capture.save_video), "saved video to desktop");
    EXPECT_EQ(told(mivo3_api.save_video), "saved gif to desktop");
    EXPECT_EQ(told(mivo3_capture.save_screenshot), "saved screenshot to desktop");
    EXPECT_TRUE(fs::exists(desktop / "MIVO-3_1.gif"));
    EXPECT_TRUE(fs::exists(desktop / "MIVO-3_000.png"));

    std::ofstream(desktop / "file") << "x";
    quon_set_desktop_path((desktop / "file/inside/").string());
    EXPECT_EQ(told(mivo3_capture.save_video), "** failed to save video");
    EXPECT_EQ(told(mivo3_api.save_video), "** failed to save video");
    EXPECT_EQ(told(mivo3_capture.save_screenshot), "** failed to save screenshot");
    EXPECT_EQ(told(mivo3_api.save_screenshot), "** failed to save screenshot");
    mivo3_screen = nullptr;
}

}  // namespace
