// The console's half of config.txt and its command-line pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/config.h"
#include "shell/app.h"
#include "shell/options.h"

namespace {

struct Options : ::testing::Test {
    void SetUp() override {
        quon_config_default();
        reset_app();
        set_default_app_config();
        mivo3_install_config_hooks();
    }
    void TearDown() override {
        quon_set_load_config_func(nullptr);
        quon_set_save_config_func(nullptr);
    }
    void args(std::vector<std::string> list) {
        list.insert(list.begin(), "mivo3");
        storage = list;
        ptrs.clear();
        for (std::string& s : storage) ptrs.push_back(s.data());
        process_arguments(int(ptrs.size()), ptrs.data());
    }
    std::vector<std::string> storage;
    std::vector<char*> ptrs;
};

TEST_F(Options, ConsoleHalfIsWrittenAfterTheHostHalfInItsExactForm) {
    app.volume = 200;
    std::snprintf(app.root_path, sizeof app.root_path, "/r/");
    std::snprintf(app.cdata_path, sizeof app.cdata_path, "/c/");
    app.button_keys[0] = 4;
    app.button_keys[12] = 40;
    const std::string text = quon_config_text();
    const size_t host_end = text.find("// :: \n\n");
    ASSERT_NE(host_end, std::string::npos);
    const std::string console = text.substr(host_end + 8);
    EXPECT_EQ(console.rfind("version 0.1.12\n\n// audio volume: 0..256 \nvolume 200\n\n\n"
                            "// Location of mivo-3's root folder\nroot_path /r/\n\n\n"
                            "// Location of cartridge save data\ncdata_path /c/\n\n\n",
                            0),
              0u);
    EXPECT_NE(console.find("button_keys 4 0 0 0 0 0 0 0 0 0 0 0 40 \n\n"), std::string::npos);
    EXPECT_NE(console.find("screenshot_scale 3\ngif_scale 2\n\n"), std::string::npos);
    EXPECT_NE(console.find("// tab width (1 ~ 4 spaces)\ntab_width 1\n\n"), std::string::npos);
    EXPECT_EQ(console.substr(console.size() - 13), "tab_width 1\n\n");
}

TEST_F(Options, WrittenFileReadsBackToTheSameSettings) {
    app.volume = 128;
    app.joystick_index = 3;
    app.gif_len = 30;
    app.gif_scale = 4;
    app.screenshot_scale = 5;
    app.content_filter = 2;
    app.host_framerate_control = 0;
    app.live_notes = 1;
    app.gui_theme = 2;
    for (int i = 0; i < MIVO3_BUTTON_KEY_COUNT; i++) app.button_keys[i] = 10 + i;
    std::snprintf(app.root_path, sizeof app.root_path, "/tmp/carts here/");
    const std::string text = quon_config_text();

    const mivo3_app written = app;
    reset_app();
    set_default_app_config();
    quon_config_load_text(text);
    EXPECT_EQ(app.volume, 128);
    EXPECT_EQ(app.joystick_index, 3);
    EXPECT_EQ(app.gif_len, 30);
    // gif_scale is read back too, so a chosen scale survives a restart.
    EXPECT_EQ(app.gif_scale, 4);
    EXPECT_EQ(app.screenshot_scale, 5);
    EXPECT_EQ(app.content_filter, 2);
    EXPECT_EQ(app.host_framerate_control, 0);
    EXPECT_EQ(app.live_notes, 1);
    EXPECT_EQ(app.gui_theme, 2);
    EXPECT_STREQ(app.root_path, written.root_path);
    for (int i = 0; i < MIVO3_BUTTON_KEY_COUNT; i++) EXPECT_EQ(app.button_keys[i], 10 + i);
}

TEST_F(Options, VolumeLineSetsTheSoundVolumeUnlessMuted) {
    cconfig.sound_volume = 256;
    mivo3_load_config("volume 100");
    EXPECT_EQ(app.volume, 100);
    EXPECT_EQ(cconfig.sound_volume, 100);

    cconfig.sound_volume = 0;
    mivo3_load_config("volume 180");
    EXPECT_EQ(app.volume, 180);
    EXPECT_EQ(cconfig.sound_volume, 0);
}

TEST_F(Options, GarbageLinesAndAbsurdValuesKeepSaneSettings) {
    mivo3_load_config("gif_len banana");
    EXPECT_EQ(app.gif_len, 8);
    mivo3_load_config("gif_len 100000");
    EXPECT_EQ(app.gif_len, 120);
    mivo3_load_config("joystick_index -5");
    EXPECT_EQ(app.joystick_index, 0);
    mivo3_load_config("content_filter 9");
    EXPECT_EQ(app.content_filter, 2);
    mivo3_load_config("volume 99999");
    EXPECT_EQ(app.volume, 256);
    mivo3_load_config("button_keys 1 2 3");  // too few: nothing changes
    for (int k : app.button_keys) EXPECT_EQ(k, 0);
    mivo3_load_config("button_keys 1 2 3 4 5 6 7 8 9 10 11 12 9999");
    EXPECT_EQ(app.button_keys[11], 12);
    EXPECT_EQ(app.button_keys[12], 0);  // no such key
    mivo3_load_config("root_path");
    mivo3_load_config("root_path  ");
    EXPECT_NE(std::string(app.root_path).find("carts/"), std::string::npos);
    mivo3_load_config("// comment");
    mivo3_load_config("");
    mivo3_load_config("\xff\xfe garbage");
    quon_config_load_text(std::string("\0\0\0 junk\nscreenshot_scale -3\n", 30));
    EXPECT_EQ(app.screenshot_scale, 1);
}

TEST_F(Options, ExecSetsRunFlagsHeadlessAndTheCartName) {
    args({"-x", "game.m3", "extra1", "extra2"});
    EXPECT_EQ(app.x_switch, 1);
    EXPECT_EQ(app.run_flag, 1);
    EXPECT_EQ(cconfig.headless, 1);
    EXPECT_STREQ(app.cart_name, "game.m3");
    ASSERT_EQ(app.extra_args.size(), 2u);
    EXPECT_EQ(app.extra_args[1], "extra2");

    reset_app();
    cconfig.headless = 0;
    args({"-exec", "a.m3"});
    EXPECT_EQ(app.x_switch, 1);
    EXPECT_EQ(cconfig.headless, 1);
}

TEST_F(Options, ValueOptionsAreReadAndClamped) {
    cconfig.sound_volume = 256;
    args({"-joystick", "12", "-gif_len", "-3", "-volume", "-20", "-content_filter", "1", "-glitch_test", "3",
          "-param", "hello world", "-gpio_base", "40", "-accept_future", "1", "-screenshot_scale", "4"});
    EXPECT_EQ(app.joystick_index, 7);
    EXPECT_EQ(app.gif_len, 0);  // recording off
    EXPECT_EQ(app.volume, 0);
    EXPECT_EQ(cconfig.sound_volume, 0);
    EXPECT_EQ(app.content_filter, 1);
    EXPECT_EQ(app.glitch_test, 3);
    EXPECT_STREQ(app.param, "hello world");
    EXPECT_EQ(app.gpio_base, 40);
    EXPECT_EQ(app.accept_future, 1);
    EXPECT_EQ(app.screenshot_scale, 4);
    EXPECT_EQ(app.cart_name[0], 0);
}

TEST_F(Options, ExportTakesANameStartingWithADash) {
    args({"game.m3", "-export", "-out.html"});
    EXPECT_EQ(app.export_flag, 1);
    EXPECT_STREQ(app.export_name, "-out.html");
    EXPECT_EQ(cconfig.headless, 1);
    EXPECT_STREQ(app.cart_name, "game.m3");
}

TEST_F(Options, HostOptionsAndTheirValuesAreNotTakenForCartNames) {
    args({"-width", "800", "-window_x", "-1", "-headless", "cart.m3", "-home", "/tmp/h", "-unknown", "7"});
    EXPECT_STREQ(app.cart_name, "cart.m3");
    EXPECT_TRUE(app.extra_args.empty());
}

TEST_F(Options, ParsingStopsAtAShellRedirection) {
    args({"-run", "a.m3", ">", "b.m3", "-kiosk"});
    EXPECT_EQ(app.run_flag, 1);
    EXPECT_EQ(app.kiosk_flag, 0);
    EXPECT_STREQ(app.cart_name, "a.m3");
    EXPECT_TRUE(app.extra_args.empty());
}

TEST_F(Options, NamesAreComparedExactlyAndMissingValuesAreHarmless) {
    args({"-xyz", "-runner", "-param"});
    EXPECT_EQ(app.x_switch, 0);
    EXPECT_EQ(app.run_flag, 0);
    EXPECT_EQ(app.param[0], 0);
    std::string huge(5000, 'p');
    args({"-param", huge, huge});
    EXPECT_EQ(std::string(app.param).size(), size_t(MIVO3_PARAM_CHARS));
    EXPECT_EQ(std::string(app.cart_name).size(), size_t(MIVO3_APP_PATH_SIZE - 1));
}

}  // namespace
