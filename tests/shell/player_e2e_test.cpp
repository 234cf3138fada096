// The player binary run headless (-x) on small carts in a private home
// folder: what it prints, the files carts write, cart data between runs, the
// configuration file across runs, and start-up failures.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/shell/player_fixture.h"

namespace {

TEST_F(Player, ProgramThatFinishesEndsTheRunWithCodeZero) {
    cart("hello.m3", "printh('one', 'log')\nprinth('two', 'log')");
    const run_result r = run("-x hello.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "RUNNING: hello.m3\n");
    EXPECT_EQ(read(dir / "home/carts/log.m3l"), "one\ntwo\n");
    // The shell's own steps nest in the log like the host's.
    const std::string log = read(dir / "home/log.txt");
    EXPECT_NE(log.find("loading data.pod\n  quon_load_pod: "), std::string::npos) << log;
    EXPECT_NE(log.find("starting sound\n  quon_sound_init"), std::string::npos) << log;
}

TEST_F(Player, ALineOfAnIncludedFileIsNamedOnce) {
    std::ofstream(dir / "lib.lua") << "function f()\n  nothing()\nend\n";
    cart("inc.m3", "#include lib.lua\nf()");
    const run_result r = run("-x inc.m3");
    const size_t first = r.out.find("lib.lua line 2\n");
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("lib.lua line 2", first + 1), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("attempt to call global 'nothing'"), std::string::npos) << r.out;
}

TEST_F(Player, CompatibilityFixesOfAnOldCartArePrintedUnderX) {
    std::ofstream(dir / "old.m3") << "mivo-3 cartridge // test\nversion 4\n__lua__\nactors={} actors._num=0\n";
    const run_result r = run("-x old.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("legacy: 0.1.1 api injected\n"), std::string::npos) << r.out;
}

TEST_F(Player, GameLoopRunsFramesUntilStop) {
    cart("loop.m3",
         "n=0\n"
         "function _update() n+=1 end\n"
         "function _draw() cls() if n==10 then printh('frames '..n, 'f') stop() end end");
    const run_result r = run("-x loop.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read(dir / "home/carts/f.m3l"), "frames 10\n");
}

TEST_F(Player, RuntimeErrorIsPrintedAndStillEndsWithCodeZero) {
    cart("err.m3", "x=nil\nprint(x.y)");
    const run_result r = run("-x err.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("runtime error line 2 tab 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("attempt to index global 'x'"), std::string::npos) << r.out;
}

TEST_F(Player, MemoryFaultStopsTheCartWithItsMessage) {
    cart("fault.m3", "printh('before', 'm')\npoke(0x8000, 1)\nprinth('after', 'm')");
    const run_result r = run("-x fault.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("bad memory access"), std::string::npos) << r.out;
    EXPECT_EQ(read(dir / "home/carts/m.m3l"), "before\n");
}

TEST_F(Player, SyntaxErrorIsPrintedAndEndsTheRun) {
    cart("syn.m3", "a = = 1");
    const run_result r = run("-x syn.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("syntax error line 1 (tab 0)"), std::string::npos) << r.out;
}

TEST_F(Player, MissingCartFailsWithCodeOne) {
    const run_result r = run("-x nowhere.m3");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("could not load nowhere.m3"), std::string::npos) << r.out;
}

TEST_F(Player, CartDataSurvivesBetweenRuns) {
    cart("save.m3", "cartdata('e2e_store')\ndset(5, dget(5) + 1.5)\nprinth(tostr(dget(5)), 'v')");
    ASSERT_EQ(run("-x save.m3").code, 0);
    ASSERT_EQ(run("-x save.m3").code, 0);
    EXPECT_EQ(read(dir / "home/carts/v.m3l"), "1.5\n3\n");
    EXPECT_TRUE(fs::exists(dir / "home/cdata/e2e_store.m3d.txt"));
}

TEST_F(Player, ConfigurationRoundTripKeepsTheFileWhereOptionsOverride) {
    std::ofstream(dir / "home/config.txt") << "window_size 500 400\n"
                                              "foreground_sleep_ms 500\n"
                                              "mix_buffer_size 256\n"
                                              "sessions 7\n"
                                              "volume 100\n"
                                              "gif_len 20\n"
                                              "gif_scale 5\n"
                                              "joystick_index 2\n"
                                              "button_keys 4 7 0 0 0 0 0 0 0 0 0 0 19\n";
    cart("c.m3", "");
    ASSERT_EQ(run("-x c.m3 -width 800 -height 600 -windowed 1 -gif_len 9").code, 0);
    const std::string saved = read(dir / "home/config.txt");
    EXPECT_NE(saved.find("window_size 500 400 //"), std::string::npos) << saved;
    EXPECT_NE(saved.find("windowed 1 //"), std::string::npos);
    EXPECT_NE(saved.find("foreground_sleep_ms 200 //"), std::string::npos);
    EXPECT_NE(saved.find("mix_buffer_size 1024\n"), std::string::npos);
    EXPECT_NE(saved.find("sessions 8 //"), std::string::npos);
    EXPECT_NE(saved.find("\nvolume 100\n"), std::string::npos);
    EXPECT_NE(saved.find("\ngif_len 9\n"), std::string::npos);
    EXPECT_NE(saved.find("\ngif_scale 5\n"), std::string::npos);
    EXPECT_NE(saved.find("\njoystick_index 2\n"), std::string::npos);
    EXPECT_NE(saved.find("\nbutton_keys 4 7 0 0 0 0 0 0 0 0 0 0 19 \n"), std::string::npos);
    EXPECT_EQ(saved.rfind("// - - -", 0), 0u);
}

TEST_F(Player, GarbageConfigurationFallsBackToDefaults) {
    std::string junk;
    for (int i = 0; i < 5000; i++) junk += char((i * 37 + 11) & 0xff);
    std::ofstream(dir / "home/config.txt", std::ios::binary) << junk << "\nvolume -7\njoystick_index 99\n";
    cart("c.m3", "printh('ran', 'r')");
    ASSERT_EQ(run("-x c.m3").code, 0);
    EXPECT_EQ(read(dir / "home/carts/r.m3l"), "ran\n");
    const std::string saved = read(dir / "home/config.txt");
    EXPECT_NE(saved.find("\njoystick_index 7\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\ngif_len 8\n"), std::string::npos);
}

TEST_F(Player, MissingResourcePodIsReportedWithCodeZero) {
    const fs::path lone = dir / "bin";
    fs::create_directories(lone);
    fs::copy_file(binary, lone / "mivo3");
    cart("c.m3", "");
    const run_result r = run("-x c.m3", lone / "mivo3");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("couldn't load " + (lone / "data.pod").string()), std::string::npos) << r.out;
}

TEST_F(Player, ExportWritesNothingAndEndsWithCodeZero) {
    cart("c.m3", "printh('must not run', 'r')");
    const run_result r = run("c.m3 -export out.html");
    EXPECT_EQ(r.code, 0);
    EXPECT_FALSE(fs::exists(dir / "home/carts/r.m3l"));
    EXPECT_FALSE(fs::exists(dir / "out.html"));
}

TEST_F(Player, PauseMenuItemsAndParametersReachTheCart) {
    cart("p.m3",
         "menuitem(1, 'first', function() end)\n"
         "printh(stat(6), 'p')\n"
         "extcmd('pause')\n"
         "printh('still running', 'p')");
    const run_result r = run("-x p.m3 -param level=4");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read(dir / "home/carts/p.m3l"), "level=4\nstill running\n");
}

}  // namespace

namespace {

bool have_program(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Starts the player in a window on a virtual X display, waits for the boot to
// hand over to the head cart, and takes a screenshot: the head cart covers its
// square of the window, where the boot screen is mostly black.
TEST_F(Player, QuitRequestFromTheSystemSavesCartDataAndConfig) {
    // A window manager's quit (here SIGTERM, which the platform layer turns
    // into a quit event) must still write cart data and config.txt.
    cart("quit.m3", "cartdata('e2e_quit')\ndset(3, 7)\nfunction _update() end");
    const fs::path script = dir / "quit.sh";
    std::ofstream(script) << "cd '" << dir.string() << "'\nSDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '"
                          << binary.string() << "' quit.m3 -run -home '" << (dir / "home").string()
                          << "' >/dev/null 2>&1 &\nP=$!\nsleep 6\nkill -TERM $P\nwait $P\necho $?\n";
    FILE* p = ::popen(("timeout 60 sh '" + script.string() + "'").c_str(), "r");
    ASSERT_NE(p, nullptr);
    int code = -1;
    ASSERT_EQ(std::fscanf(p, "%d", &code), 1);
    ::pclose(p);
    EXPECT_EQ(code, 0);
    EXPECT_NE(read(dir / "home/config.txt").find("window_size"), std::string::npos);
    const std::string data = read(dir / "home/cdata/e2e_quit.m3d.txt");
    ASSERT_FALSE(data.empty());
    // 7.0 (raw 0x70000) in slot 3: the fourth 8-digit group of the first line.
    EXPECT_EQ(data.substr(24, 8), "00070000") << data;
}

TEST_F(Player, WindowedPlayerShowsTheHeadCart) {
    if (!have_program("xvfb-run") || !have_program("xwd") || !have_program("convert"))
        GTEST_SKIP() << "no virtual X display tools";
    const fs::path shot = dir / "shot.png";
    const fs::path script = dir / "smoke.sh";
    std::ofstream(script) << "'" << binary.string() << "' -home '" << (dir / "home").string()
                          << "' -windowed 1 &\nP=$!\nsleep 8\nxwd -root -silent | convert xwd:- '" << shot.string()
                          << "'\nkill $P\nwait $P\n";
    const std::string cmd = "env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy timeout 60 xvfb-run -a -s '-screen 0 "
                            "1024x768x24' sh '" + script.string() + "' >/dev/null 2>&1";
    std::system(cmd.c_str());
    ASSERT_TRUE(fs::exists(shot));
    const std::string measure = "convert '" + shot.string() + "' -fill white +opaque black -format '%[fx:mean]' info:";
    FILE* p = ::popen(measure.c_str(), "r");
    ASSERT_NE(p, nullptr);
    double lit = 0;
    ASSERT_EQ(std::fscanf(p, "%lf", &lit), 1);
    ::pclose(p);
    // A 480x480 picture on a 1024x768 screen is 29% of it, with some dark
    // colours in it.
    EXPECT_GT(lit, 0.1) << "screen mostly black: the head cart is not showing";
    const std::string log = read(dir / "home/log.txt");
    EXPECT_NE(log.find("renderer:"), std::string::npos);
}

}  // namespace
