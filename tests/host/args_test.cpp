#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/quon.h"

namespace {

struct Args : ::testing::Test {
    void SetUp() override { quon_config_default(); }
    void TearDown() override { quon_config_default(); }
    void pass(std::vector<std::string> args) {
        args.insert(args.begin(), "mivo3");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        quon_process_arguments(static_cast<int>(args.size()), argv.data());
    }
};

TEST_F(Args, ValueOptionsTakeTheNextArgument) {
    pass({"-width", "800", "-height", "600", "-windowed", "1", "-window_x", "-5", "-window_y", "7", "-frameless", "1",
          "-fullscreen_method", "2", "-foreground_sleep_ms", "9", "-background_sleep_ms", "11", "-mix_buffer_size",
          "2048", "-pixel_perfect", "0", "-display", "1", "-show_fps", "1", "-emulate_textinput", "1",
          "-log_system_info", "1", "-deferred_dealloc", "1", "-ext_display", "1"});
    EXPECT_EQ(cconfig.window_width, 800);
    EXPECT_EQ(cconfig.window_height, 600);
    EXPECT_EQ(cconfig.windowed, 1);
    EXPECT_EQ(cconfig.window_x, -5) << "a value may start with '-'";
    EXPECT_EQ(cconfig.window_y, 7);
    EXPECT_EQ(cconfig.frameless, 1);
    EXPECT_EQ(cconfig.fullscreen_method, 2);
    EXPECT_EQ(cconfig.foreground_sleep_ms, 9);
    EXPECT_EQ(cconfig.background_sleep_ms, 11);
    EXPECT_EQ(cconfig.mix_buffer_size, 2048);
    EXPECT_EQ(cconfig.pixel_perfect, 0);
    EXPECT_EQ(cconfig.display, 1);
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_EQ(cconfig.emulate_textinput, 1);
    EXPECT_EQ(cconfig.log_system_info, 1);
    EXPECT_EQ(cconfig.deferred_dealloc, 1);
    EXPECT_EQ(cconfig.ext_display, 1);
    EXPECT_EQ(cconfig.headless, 0);
}

TEST_F(Args, ShortAndLongNamesOfTheSameOption) {
    pass({"-sound", "64"});
    EXPECT_EQ(cconfig.sound_volume, 64);
    pass({"-sound_volume", "65"});
    EXPECT_EQ(cconfig.sound_volume, 65);
    pass({"-music", "10", "-software_blitter", "1"});
    EXPECT_EQ(cconfig.music_volume, 10);
    EXPECT_EQ(cconfig.software_blit, 1);
    // A longer word that begins with a name selects it.
    pass({"-widthways", "333"});
    EXPECT_EQ(cconfig.window_width, 333);
}

TEST_F(Args, HeadlessSwitches) {
    pass({"-headless"});
    EXPECT_EQ(cconfig.headless, 1);
    quon_config_default();
    pass({"-x", "cart.m3"});
    EXPECT_EQ(cconfig.headless, 1);
    quon_config_default();
    pass({"-xanything"});
    EXPECT_EQ(cconfig.headless, 1);
    quon_config_default();
    pass({"cart.m3", "-run"});
    EXPECT_EQ(cconfig.headless, 0);
}

TEST_F(Args, ClampedOptions) {
    pass({"-timeout", "0", "-preblit_scale", "20"});
    EXPECT_EQ(cconfig.timeout, 1);
    EXPECT_EQ(cconfig.preblit_scale, 8);
    pass({"-timeout", "999", "-preblit_scale", "-3"});
    EXPECT_EQ(cconfig.timeout, 240);
    EXPECT_EQ(cconfig.preblit_scale, 0);
}

TEST_F(Args, DrawRectFieldsDefaultWhenMissing) {
    pass({"-draw_rect", "10,20"});
    EXPECT_EQ(cconfig.draw_rect_x, 10);
    EXPECT_EQ(cconfig.draw_rect_y, 20);
    EXPECT_EQ(cconfig.draw_rect_w, 4096);
    EXPECT_EQ(cconfig.draw_rect_h, 4096);
    pass({"-draw_rect", "1,2,300,200"});
    EXPECT_EQ(cconfig.draw_rect_w, 300);
    EXPECT_EQ(cconfig.draw_rect_h, 200);
}

TEST_F(Args, FolderOptionsReachThePathRules) {
    pass({"-home", "/tmp/somewhere", "-desktop", "/tmp/pics"});
    EXPECT_STREQ(cconfig.home_path, "/tmp/somewhere");
    EXPECT_EQ(quon_get_home_path(), "/tmp/somewhere");
    EXPECT_EQ(quon_get_desktop_path(), "/tmp/pics");
    EXPECT_EQ(quon_prefix_with_desktop_path("a.png"), "/tmp/pics/a.png");
    quon_config_default();
    EXPECT_EQ(quon_get_home_path(), "");
}

TEST_F(Args, StopsAtShellRedirections) {
    pass({"-width", "100", "|", "-height", "50"});
    EXPECT_EQ(cconfig.window_width, 100);
    EXPECT_EQ(cconfig.window_height, 0);
    pass({">out.txt", "-width", "7"});
    EXPECT_EQ(cconfig.window_width, 100);
    pass({"&", "-width", "7"});
    EXPECT_EQ(cconfig.window_width, 100);
}

TEST_F(Args, UnknownOptionsPlainArgumentsAndMissingValuesAreIgnored) {
    quon_config before = cconfig;
    pass({"-joystick", "3", "cart.m3", "-volume", "10", "-width"});
    EXPECT_EQ(cconfig.window_width, before.window_width);
    EXPECT_EQ(cconfig.sound_volume, before.sound_volume);
    pass({"-width", "wide"});
    EXPECT_EQ(cconfig.window_width, before.window_width) << "a value that is no number changes nothing";
}

TEST_F(Args, NoArgumentsChangeNothing) {
    quon_process_arguments(0, nullptr);
    pass({});
    EXPECT_EQ(cconfig.window_width, 0);
    EXPECT_EQ(cconfig.headless, 0);
}

}  // namespace
