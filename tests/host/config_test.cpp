#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/quon.h"
#include "tests/host/test_app.h"

namespace {

std::vector<std::string> console_lines;
void console_reader(const char* line) { console_lines.push_back(line); }
void console_writer(std::string& out) { out += "volume 99\n"; }

struct Config : ::testing::Test {
    void SetUp() override {
        quon_config_default();
        cconfig0 = cconfig;
        console_lines.clear();
        quon_set_load_config_func(console_reader);
        quon_set_save_config_func(nullptr);
    }
    void TearDown() override {
        quon_set_load_config_func(nullptr);
        quon_set_save_config_func(nullptr);
        quon_config_default();
    }
};

TEST_F(Config, DefaultsAreTheDocumentedOnes) {
    cconfig.sound_volume = 3;
    quon_config_default();
    EXPECT_EQ(cconfig.loaded, 0);
    EXPECT_EQ(cconfig.colour_depth, 32);
    EXPECT_EQ(cconfig.sound_volume, 256);
    EXPECT_EQ(cconfig.music_volume, 256);
    EXPECT_EQ(cconfig.foreground_sleep_ms, 2);
    EXPECT_EQ(cconfig.background_sleep_ms, 10);
    EXPECT_EQ(cconfig.window_x, -1);
    EXPECT_EQ(cconfig.window_y, -1);
    EXPECT_EQ(cconfig.display, -1);
    EXPECT_EQ(cconfig.mix_buffer_size, 1024);
    EXPECT_EQ(cconfig.windib, -1);
    EXPECT_EQ(cconfig.fullscreen_method, 1);
    EXPECT_EQ(cconfig.pixel_perfect, -1);
    EXPECT_EQ(cconfig.keep_aspect, 1);
    EXPECT_EQ(cconfig.timeout, 30);
    EXPECT_STREQ(cconfig.home_path, "");
}

TEST_F(Config, ReadsKnownKeysAndPassesTheRestToTheConsole) {
    quon_config_load_text(
        "// a comment\n"
        "window_size 800 600\r\n"
        "screen_size 320 240\r"
        "windowed 1\n"
        "\n"
        "window_position 10 20\n"
        "sessions 41\n"
        "rmb_key 226\n"
        "fullscreen_method 2\n"
        "show_fps 1\n"
        "root_path /somewhere/\n"
        "volume 12\n");
    EXPECT_EQ(cconfig.window_width, 800);
    EXPECT_EQ(cconfig.window_height, 600);
    EXPECT_EQ(cconfig.screen_width, 320);
    EXPECT_EQ(cconfig.screen_height, 240);
    EXPECT_EQ(cconfig.windowed, 1);
    EXPECT_EQ(cconfig.window_x, 10);
    EXPECT_EQ(cconfig.window_y, 20);
    EXPECT_EQ(cconfig.sessions, 41);
    EXPECT_EQ(cconfig.rmb_key, 226);
    EXPECT_EQ(cconfig.fullscreen_method, 2);
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_EQ(cconfig.loaded, 1);
    std::vector<std::string> want = {"// a comment", "", "root_path /somewhere/", "volume 12"};
    EXPECT_EQ(console_lines, want);
}

TEST_F(Config, VideoModeSetsWindowAndScreen) {
    quon_config_load_text("video_mode 640 400\n");
    EXPECT_EQ(cconfig.window_width, 640);
    EXPECT_EQ(cconfig.screen_height, 400);
}

TEST_F(Config, OutOfRangeValuesAreClamped) {
    quon_config_load_text(
        "foreground_sleep_ms 500\nbackground_sleep_ms -4\nsound_volume 999\nmusic_volume -1\nmix_buffer_size 256\n");
    EXPECT_EQ(cconfig.foreground_sleep_ms, 200);
    EXPECT_EQ(cconfig.background_sleep_ms, 0);
    EXPECT_EQ(cconfig.sound_volume, 256);
    EXPECT_EQ(cconfig.music_volume, 0);
    EXPECT_EQ(cconfig.mix_buffer_size, 1024);
    quon_config_load_text("mix_buffer_size 9000\n");
    EXPECT_EQ(cconfig.mix_buffer_size, 1024);
    quon_config_load_text("mix_buffer_size 2048\n");
    EXPECT_EQ(cconfig.mix_buffer_size, 2048);
    // Values whose arithmetic would overflow (the run counter goes up at
    // start, draw rectangles are added up).
    quon_config_load_text("sessions 2147483647\nwindow_size 2147483647 -2147483647\n");
    EXPECT_EQ(cconfig.sessions, INT32_MAX - 1);
    EXPECT_EQ(cconfig.window_width, 1 << 16);
    EXPECT_EQ(cconfig.window_height, 0);
    char arg0[] = "mivo3", arg1[] = "-draw_rect", arg2[] = "2147483647,-2147483648,2147483647,5";
    char* argv[] = {arg0, arg1, arg2};
    quon_process_arguments(3, argv);
    EXPECT_EQ(cconfig.draw_rect_x, 1 << 16);
    EXPECT_EQ(cconfig.draw_rect_y, -(1 << 16));
    EXPECT_EQ(cconfig.draw_rect_w, 1 << 16);
}

TEST_F(Config, MalformedValuesLeaveTheSettingAlone) {
    quon_config_load_text("window_size 800\nsound_volume loud\nwindowed\n");
    EXPECT_EQ(cconfig.window_width, 0);
    EXPECT_EQ(cconfig.sound_volume, 256);
    EXPECT_EQ(cconfig.windowed, 0);
}

TEST_F(Config, DesktopPathIsNormalisedAndAnEmptyOneStaysEmpty) {
    quon_config_load_text("desktop_path   C:\\Users\\\\me\\Desktop  \n");
    EXPECT_STREQ(cconfig.desktop_path, "C:/Users/me/Desktop/");
    EXPECT_EQ(quon_get_desktop_path(), "C:/Users/me/Desktop/");
    quon_config_load_text("desktop_path \n");
    EXPECT_STREQ(cconfig.desktop_path, "") << "an empty setting must not become the root folder";
    EXPECT_EQ(quon_config_folder("   "), "");
    EXPECT_EQ(quon_config_folder("/a//b"), "/a/b/");
}

TEST_F(Config, LongLinesAreCutAt254Characters) {
    std::string long_line = "sessions 7" + std::string(300, ' ') + "\n";
    quon_config_load_text(long_line);
    EXPECT_EQ(cconfig.sessions, 7);
    ASSERT_EQ(console_lines.size(), 1u);  // the rest of the line arrives as a line of its own
    EXPECT_EQ(console_lines[0].size(), 300u + 10u - 254u);
}

TEST_F(Config, WrittenFileKeepsSnapshotValuesForOverridableSettings) {
    quon_config_load_text("window_size 800 600\nforeground_sleep_ms 5\nsound_volume 100\n");
    cconfig0 = cconfig;
    // Command-line overrides after the snapshot.
    cconfig.window_width = 1024;
    cconfig.window_height = 768;
    cconfig.foreground_sleep_ms = 0;
    cconfig.sound_volume = 50;
    cconfig.windowed = 1;
    std::string text = quon_config_text();
    EXPECT_NE(text.find("window_size 800 600 // window width, height\n"), std::string::npos);
    EXPECT_NE(text.find("foreground_sleep_ms 5 // number of"), std::string::npos);
    EXPECT_NE(text.find("sound_volume 50 // 0..256\n"), std::string::npos);
    EXPECT_NE(text.find("windowed 1 // 1 to start up in windowed mode\n"), std::string::npos);
}

TEST_F(Config, WrittenFileHasTheExactHeaderAndSections) {
    quon_set_application_title("mivo-3");
    std::string text = quon_config_text();
    quon_set_application_title("quon");
    std::string dashes = "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n";
    std::string head = dashes + "// Configuration for mivo-3\n// \n" +
                       "// config.txt is read on startup and saved on exit.\n" +
                       "// To generate the default config.txt, delete this file.\n// \n" + dashes +
                       "\n\n// :: Video Settings\n\nwindow_size 0 0 // window width, height\n" +
                       "screen_size 0 0 // screen width, height (stretched to window) \n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("simulate right-click\nrmb_key 0 // 0 for none  226 for LALT\n\n// Desktop for saving screenshots etc. "
                        "Defaults to $HOME/Desktop\ndesktop_path \n\n\n\n// :: Audio Settings (use \"volume\" for "
                        "MIVO-3)\n\nsound_volume 256 // 0..256\nmusic_volume 256 // 0..256\n\n\n// :: usually "
                        "1024. Try 2048 if you get choppy sound\n\nmix_buffer_size 1024\n\n\n// :: \n\n"),
              std::string::npos);
}

TEST_F(Config, WrittenFileReadsBackToTheSameSettings) {
    quon_set_save_config_func(console_writer);
    cconfig.window_width = 700;
    cconfig.window_height = 500;
    cconfig.rmb_key = 226;
    cconfig.fullscreen_method = 0;
    cconfig.mix_buffer_size = 4096;
    cconfig.sessions = 9;
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "/home/me/pics/");
    cconfig0 = cconfig;
    std::string text = quon_config_text();
    EXPECT_NE(text.find("\nvolume 99\n"), std::string::npos) << "the console's half follows";
    quon_config saved = cconfig;
    quon_config_default();
    quon_config_load_text(text);
    EXPECT_EQ(cconfig.window_width, saved.window_width);
    EXPECT_EQ(cconfig.rmb_key, 226);
    EXPECT_EQ(cconfig.fullscreen_method, 0);
    EXPECT_EQ(cconfig.mix_buffer_size, 4096);
    EXPECT_EQ(cconfig.sessions, 9);
    EXPECT_STREQ(cconfig.desktop_path, "/home/me/pics/");
    EXPECT_NE(std::find(console_lines.begin(), console_lines.end(), "volume 99"), console_lines.end());
}

struct ConfigFiles : ::testing::Test {
    test_app::temp_folder home;
    void SetUp() override { test_app::reset(); }
    void TearDown() override { quon_exit(); }
};

TEST_F(ConfigFiles, CommandLineWinsForThisRunButTheFileKeepsItsValue) {
    home.write("config.txt", "window_size 400 300\nwindowed 0\n");
    test_app::start({"-home", home.path, "-headless", "-width", "800", "-height", "600", "-windowed", "1"});
    EXPECT_EQ(cconfig.window_width, 800);
    EXPECT_EQ(cconfig.window_height, 600);
    EXPECT_EQ(cconfig0.window_width, 400);
    quon_exit();
    std::string saved = home.read("config.txt");
    EXPECT_NE(saved.find("window_size 400 300 //"), std::string::npos);
    EXPECT_NE(saved.find("windowed 1 //"), std::string::npos) << "windowed is saved from the live state";
    EXPECT_NE(home.read("log.txt").find("Found config.txt\n"), std::string::npos);
}

TEST_F(ConfigFiles, AFailedSaveKeepsTheOldFile) {
    home.write("config.txt", "sound_volume 64\n");
    test_app::start({"-home", home.path, "-headless"});
    // The new file cannot be made: the old one must stay as it was.
    std::filesystem::create_directories(home.path + "config.txt.tmp");
    EXPECT_EQ(quon_config_save(), 1);
    EXPECT_EQ(home.read("config.txt"), "sound_volume 64\n");
}

TEST_F(ConfigFiles, MissingFileKeepsDefaultsAndIsCreatedAtExit) {
    test_app::start({"-home", home.path, "-headless"});
    EXPECT_EQ(cconfig.loaded, 0);
    EXPECT_EQ(home.read("log.txt").find("Found config.txt"), std::string::npos);
    quon_exit();
    EXPECT_NE(home.read("config.txt").find("sessions 1 //"), std::string::npos);
}

TEST_F(ConfigFiles, ConfigLinesAreLoggedWithTheirNumbers) {
    home.write("config.txt", "// skip me\nsound_volume 64\n");
    test_app::start({"-home", home.path, "-headless"});
    std::string log = home.read("log.txt");
    EXPECT_NE(log.find("\n    02 sound_volume 64\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("skip me"), std::string::npos);
    EXPECT_EQ(cconfig.sound_volume, 64);
}

}  // namespace
