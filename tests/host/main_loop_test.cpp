#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/quon.h"
#include "tests/host/test_app.h"

namespace test_app {
std::vector<std::string> calls;
int updates_before_quit = 3;
bool init_calls_quon_init = true;
std::function<void()> on_exit;

void reset() {
    calls.clear();
    updates_before_quit = 3;
    init_calls_quon_init = true;
    on_exit = nullptr;
}

temp_folder::temp_folder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "hostcoreXXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    path = std::string(mkdtemp(buf.data())) + "/";
}

temp_folder::~temp_folder() { std::filesystem::remove_all(path); }

std::string temp_folder::read(const std::string& name) const {
    std::ifstream f(path + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void temp_folder::write(const std::string& name, const std::string& text) const {
    std::ofstream(path + name, std::ios::binary) << text;
}

static std::vector<std::string> kept_args;
static std::vector<char*> kept_argv;

void start(const std::vector<std::string>& args) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    kept_args = {"mivo3"};
    kept_args.insert(kept_args.end(), args.begin(), args.end());
    kept_argv.clear();
    for (auto& a : kept_args) kept_argv.push_back(a.data());
    kept_argv.push_back(nullptr);
    quon_argc = static_cast<int>(kept_args.size());
    quon_argv = kept_argv.data();
    quon_init();
}
}  // namespace test_app

void quon_main_init(int, char**) {
    test_app::calls.push_back("init");
    if (test_app::init_calls_quon_init) quon_init();
}

int quon_main_update() {
    test_app::calls.push_back("update");
    if (--test_app::updates_before_quit <= 0) quon_quit = 1;
    return 0;
}

int quon_main_draw() {
    test_app::calls.push_back("draw");
    return 0;
}

int quon_main_exit() {
    test_app::calls.push_back("exit");
    if (test_app::on_exit) test_app::on_exit();
    // The application's exit calls back into the host; that must not recurse.
    quon_exit();
    return 0;
}

namespace {

struct MainLoop : ::testing::Test {
    test_app::temp_folder home;
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        test_app::reset();
    }
    void TearDown() override { quon_exit(); }
    std::vector<std::string> args(std::vector<std::string> more = {}) {
        std::vector<std::string> a = {"-home", home.path};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    int run_main(const std::vector<std::string>& a) {
        std::vector<std::string> all = {"mivo3"};
        all.insert(all.end(), a.begin(), a.end());
        std::vector<char*> argv;
        for (auto& s : all) argv.push_back(s.data());
        argv.push_back(nullptr);
        return quon_main(static_cast<int>(all.size()), argv.data());
    }
    std::vector<std::string> log_lines() {
        std::vector<std::string> lines;
        std::stringstream ss(home.read("log.txt"));
        for (std::string l; std::getline(ss, l);) lines.push_back(l);
        return lines;
    }
};

TEST_F(MainLoop, LoopRunsCallbacksInOrderUntilQuitThenExitsOnce) {
    test_app::updates_before_quit = 2;
    EXPECT_EQ(run_main(args({"-headless"})), 0);
    std::vector<std::string> expected = {"init", "update", "draw", "update", "draw", "exit"};
    EXPECT_EQ(test_app::calls, expected);
    EXPECT_EQ(quon_inited, 0);
    EXPECT_STREQ(quon_argv0, "mivo3");
}

TEST_F(MainLoop, LogShowsStartAndExitOrderWithIndentation) {
    test_app::updates_before_quit = 1;
    run_main(args({"-headless"}));
    std::vector<std::string> want = {
        "quon_init", "  platform: Linux", "  quon_system_init", "   running in headless mode",
        "  quon_reset_timer", "  quon_gui_init", "  quon_keys_init", "  quon_text_init",
        "  quon_video_init", "  quon_mouse_init", "  quon_joystick_init", "ok",
        "quon_exit", "  cmusic_stop", "  quon_main_exit", "  quon_config_save", "  quon_sound_exit",
        "  quon_video_exit", "  quon_joystick_exit", "  quon_system_exit", "  quon_items_created: 0", "ok"};
    std::vector<std::string> got;
    for (const std::string& l : log_lines()) {
        // Keep the lines that name steps; version lines and config lines vary.
        bool step = l.find("quon_") != std::string::npos || l.find("platform") != std::string::npos ||
                    l.find("headless") != std::string::npos || l == "ok" || l == "  cmusic_stop";
        if (step) got.push_back(l);
    }
    // quon_set_screen is not called by this application, so items stay 0.
    EXPECT_EQ(got, want);
}

TEST_F(MainLoop, LogStartsEmptyOnEveryStart) {
    home.write("log.txt", std::string(5000, '#'));
    test_app::start(args({"-headless"}));
    quon_exit();
    std::string log = home.read("log.txt");
    EXPECT_EQ(log.find('#'), std::string::npos);
    EXPECT_EQ(log.rfind("quon_init\n", 0), 0u);
}

TEST_F(MainLoop, SecondInitChangesNothing) {
    test_app::start(args({"-headless"}));
    ASSERT_EQ(quon_inited, 1);
    int sessions = cconfig.sessions;
    cconfig.show_fps = 7;
    EXPECT_EQ(quon_init(), 0);
    EXPECT_EQ(cconfig.sessions, sessions);
    EXPECT_EQ(cconfig.show_fps, 7);
}

TEST_F(MainLoop, ExitRunsItsSequenceOnceEvenWhenCalledFromTheExitCallback) {
    test_app::start(args({"-headless"}));
    int nested = 0;
    test_app::on_exit = [&] { nested += quon_exit() == 0; };
    EXPECT_EQ(quon_exit(), 0);
    EXPECT_EQ(quon_exit(), 0);
    EXPECT_EQ(std::count(test_app::calls.begin(), test_app::calls.end(), "exit"), 1);
    EXPECT_EQ(nested, 1);
    std::string log = home.read("log.txt");
    EXPECT_EQ(log.find("quon_exit"), log.rfind("quon_exit"));
}

TEST_F(MainLoop, SessionsCountIsSavedAndGrowsEachRun) {
    for (int run = 1; run <= 2; run++) {
        test_app::start(args({"-headless"}));
        EXPECT_EQ(cconfig.sessions, run);
        quon_exit();
    }
    EXPECT_NE(home.read("config.txt").find("sessions 2 //"), std::string::npos);
}

TEST_F(MainLoop, RestartRunsExitThenInitAgain) {
    test_app::start(args({"-headless"}));
    test_app::calls.clear();
    EXPECT_EQ(quon_restart(), 0);
    std::vector<std::string> expected = {"exit", "init"};
    EXPECT_EQ(test_app::calls, expected);
    EXPECT_EQ(quon_inited, 1);
}

TEST_F(MainLoop, RandomGeneratorIsSeededWithZeroAtStart) {
    test_app::start(args({"-headless"}));
    int first[4];
    for (int& v : first) v = quon_random(1 << 30);
    quon_exit();
    test_app::start(args({"-headless"}));
    for (int v : first) EXPECT_EQ(quon_random(1 << 30), v);
}

TEST_F(MainLoop, WindowCloseEventEndsTheLoopAfterTheIteration) {
    test_app::updates_before_quit = 1000000;
    test_app::init_calls_quon_init = true;
    // The close arrives through the pump of the first iteration.
    test_app::on_exit = nullptr;
    test_app::start(args({"-windowed", "1"}));
    ASSERT_EQ(quon_set_screen(128, 128, 8, 0x100), 0);
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(quon_platform_window()));
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    quon_quit = 0;
    quon_handle_messages();
    EXPECT_EQ(quon_quit, 1);
    EXPECT_NE(home.read("log.txt").find("window closed ("), std::string::npos);
}

TEST_F(MainLoop, TitlesAreKeptAndNameTheDataFolder) {
    quon_set_application_title("mivo-3");
    test_app::start(args({"-headless"}));
    EXPECT_STREQ(quon_state.application_title, "mivo-3");
    EXPECT_STREQ(quon_state.current_window_title, "mivo-3");
    quon_set_window_title("MIVO-3 game");
    EXPECT_STREQ(quon_state.current_window_title, "MIVO-3 game");
    quon_set_window_title(nullptr);
    EXPECT_EQ(quon_state.current_window_title, nullptr);
    quon_exit();
    EXPECT_NE(home.read("config.txt").find("// Configuration for mivo-3\n"), std::string::npos);
    quon_set_application_title("quon");
}

}  // namespace
