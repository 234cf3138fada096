// mivo3-run, the headless runner for cart authors: its command line (button
// scripts, input files, frames, the printh comparison), then the program on
// our own carts - every option, the exit codes, the head cart played from its
// title into a voyage by a scripted press, the demo carts, and two runs with
// the same seed giving the same bytes.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tools/mivo3-run/plan.h"

namespace fs = std::filesystem;

namespace {

// The command line.

run_plan parsed(std::vector<const char*> args, std::string* error = nullptr) {
    args.insert(args.begin(), "mivo3-run");
    run_plan plan;
    const std::string e = parse_run_options(int(args.size()), args.data(), plan);
    if (error) *error = e;
    else EXPECT_EQ(e, "");
    return plan;
}

std::string refusal(std::vector<const char*> args) {
    std::string error;
    parsed(std::move(args), &error);
    return error;
}

TEST(RunnerOptions, PressScriptAndInputLinesHoldButtonsByNameOrNumberForEachPlayer) {
    const run_plan plan = parsed({"--press", "60-90:p0.right,120:o,130:p1.x+P7.5", "--input", "in.txt", "game.m3"});
    run_input input;
    ASSERT_EQ(build_run_input(plan, "\nright p1.x,up\r\nleft+p3.pause\n", input), "");
    EXPECT_EQ(input.mask(2, 0), (1 << 1) | (1 << 2));
    EXPECT_EQ(input.mask(2, 1), 1 << 5);
    EXPECT_EQ(input.mask(3, 3), 1 << 6);
    EXPECT_EQ(input.mask(59, 0), 0);
    EXPECT_EQ(input.mask(60, 0), 1 << 1);
    EXPECT_EQ(input.mask(90, 0), 1 << 1);
    EXPECT_EQ(input.mask(91, 0), 0);
    EXPECT_EQ(input.mask(120, 0), 1 << 4);
    EXPECT_EQ(input.mask(130, 1), 1 << 5);
    EXPECT_EQ(input.mask(130, 7), 1 << 5);
    EXPECT_EQ(build_run_input(plan, "o\nfire\n", input), "in.txt line 2: unknown button \"fire\"");
}

TEST(RunnerOptions, EveryOptionIsRead) {
    const run_plan plan = parsed({"--frames=400", "--screenshot", "20:b:c.png", "--gif", "5-15:c.gif",
                                  "--dump-memory", "30:m.bin", "--scale", "4", "--param", "level 2", "--seed",
                                  "4294967295", "game.m3"});
    EXPECT_EQ(plan.cart, "game.m3");
    EXPECT_EQ(plan.frames, 400);
    ASSERT_EQ(plan.screenshots.size(), 1u);
    EXPECT_EQ(plan.screenshots[0].from, 20);
    EXPECT_EQ(plan.screenshots[0].path, "b:c.png");
    ASSERT_EQ(plan.gifs.size(), 1u);
    EXPECT_EQ(plan.gifs[0].to, 15);
    EXPECT_EQ(plan.dumps.at(0).from, 30);
    EXPECT_EQ(plan.scale, 4);
    EXPECT_EQ(plan.param, "level 2");
    EXPECT_EQ(plan.seed, 4294967295u);
}

TEST(RunnerOptions, BadOptionsSayWhatIsWrong) {
    EXPECT_EQ(refusal({"a.m3", "b.m3"}), "more than one cart: \"a.m3\" and \"b.m3\"");
    EXPECT_EQ(refusal({"--fast", "a.m3"}), "unknown option \"--fast\"");
    EXPECT_EQ(refusal({"a.m3", "--gif"}), "--gif needs a value");
    EXPECT_EQ(refusal({"--press", "60-50:x", "a.m3"}), "--press: bad frames \"60-50\" (one frame or A-B, from 1)");
    EXPECT_EQ(refusal({"--press", "60:x,", "a.m3"}), "--press: \"\" is not FRAMES:BUTTONS");
    EXPECT_NE(refusal({"--press", "60:p9.x", "a.m3"}).find("unknown button \"p9.x\""), std::string::npos);
    EXPECT_EQ(refusal({"--screenshot", "a.png", "a.m3"}), "--screenshot takes FRAME:FILE, not \"a.png\"");
    EXPECT_EQ(refusal({"--seed", "-1", "a.m3"}), "--seed takes a number from 0 to 4294967295, not \"-1\"");
    EXPECT_EQ(refusal({"--screenshot", "1801:a.png", "a.m3"}),
              "--screenshot names frame 1801, after the last frame run (1800, the default; give --frames)");
}

TEST(RunnerOptions, PrinthLinesAreComparedLineByLine) {
    EXPECT_EQ(compare_printh_lines("a\r\nb", "a\nb\n"), "") << "CRLF and a missing last newline";
    EXPECT_EQ(compare_printh_lines("a\nb\n", "a\nc\n"), "printh line 2 differs: expected \"b\", got \"c\"");
    EXPECT_EQ(compare_printh_lines("a\nb\n", "a\n"),
              "the cart wrote 1 printh lines, the file has 2; the next expected is \"b\"");
}

// The program.

struct ran {
    std::string out, err;
    int code = -1;
};

struct Runner : ::testing::Test {
    void SetUp() override {
        binary = fs::path(MIVO3_BINARY_DIR) / "mivo3-run";
        ASSERT_TRUE(fs::exists(binary)) << binary;
        dir = fs::temp_directory_path() /
              ("mivo3_runner_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path cart(const std::string& name, const std::string& code) {
        const fs::path p = dir / name;
        std::ofstream(p) << "mivo-3 cartridge // test\nversion 17\n__lua__\n" << code << "\n";
        return p;
    }
    ran run(const std::string& args) {
        const std::string cmd = "cd '" + dir.string() + "' && timeout 120 '" + binary.string() + "' " + args +
                                " 2>'" + (dir / "stderr.txt").string() + "'";
        ran r;
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
        const int status = p ? ::pclose(p) : -1;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = read(dir / "stderr.txt");
        return r;
    }
    static std::string read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static std::string source(const std::string& relative) {
        return "'" + (fs::path(MIVO3_SOURCE_DIR) / relative).string() + "'";
    }
    fs::path binary, dir;
};

// A text cart's sound effect 0: four notes of a waveform, then silence.
std::string sfx_section(char waveform) {
    std::string line = "00080000";
    for (int i = 0; i < 4; i++) line += std::string("24") + waveform + "50";
    return "\n__sfx__\n" + line + std::string(28 * 5, '0');
}

// A PNG as RGBA pixels.
struct picture {
    std::vector<unsigned char> rgba;
    unsigned w = 0, h = 0;
    uint32_t at(unsigned x, unsigned y) const {
        const unsigned char* p = &rgba[(size_t(y) * w + x) * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

picture decode_png(const fs::path& path) {
    picture pic;
    EXPECT_EQ(lodepng::decode(pic.rgba, pic.w, pic.h, path.string()), 0u) << path;
    return pic;
}

TEST_F(Runner, HelpPrintsEveryOption) {
    const ran r = run("--help");
    EXPECT_EQ(r.code, 0);
    for (const char* option : {"--frames N", "--press SCRIPT", "--input FILE", "--screenshot FRAME:FILE",
                               "--gif FROM-TO:FILE", "--scale N", "--wav FILE", "--dump-memory FRAME:FILE",
                               "--param TEXT", "--home DIR", "--cdata DIR", "--seed N", "--expect-printh FILE",
                               "--stats", "--help", "--version", "Exit status"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    EXPECT_EQ(r.out.rfind("usage: mivo3-run [options] CART\n", 0), 0u);
}

TEST_F(Runner, BadOptionsAndFilesEndWithCodeThreeSayingWhatWasWrong) {
    cart("c.m3", "");
    ran r = run("--frames ten c.m3");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "mivo3-run: --frames takes a number from 1 to 100000000, not \"ten\"\n"
                     "usage: mivo3-run [options] CART\n");
    // Files are checked before anything runs.
    r = run("--screenshot 1:nowhere/a.png c.m3");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "mivo3-run: cannot write nowhere/a.png\n");
    std::ofstream(dir / "in.txt") << "x\nkick\n";
    r = run("--input in.txt c.m3");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "mivo3-run: in.txt line 2: unknown button \"kick\"\n");
}

TEST_F(Runner, UnloadableCartEndsWithOneAndErrorsWithTwoReportedOnStandardError) {
    ran r = run("nowhere.m3");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "could not load nowhere.m3\n");

    cart("bad.m3", "function _update()\n x = = 1\nend");
    r = run("bad.m3");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "syntax error line 2 (tab 0)\n x = = 1\nunexpected symbol near '='\n");

    cart("fails.m3", "f=0\nfunction _update()\n f+=1 printh(f)\n if f==3 then nothing() end\nend");
    r = run("fails.m3");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "1\n2\n3\n");
    EXPECT_EQ(r.err, "runtime error line 4 tab 0\n if f==3 then nothing() end\n"
                     "attempt to call global 'nothing' (a nil value)\nin _update line 4 (tab 0)\n");
    // A fault raised by an API call in the last frame run is still reported.
    cart("api.m3", "f=0\nfunction _update()\n f+=1\n if f==3 then printh('x', '../up') end\nend");
    r = run("--frames 3 api.m3");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "\nprinth: bad log file name\n");
}

TEST_F(Runner, RunsItsFramesOrUntilTheCartEndsWithCodeZero) {
    cart("count.m3", "f=0\nfunction _update() f+=1 printh('frame '..f) end");
    ran r = run("--frames 3 count.m3");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "frame 1\nframe 2\nframe 3\n");
    EXPECT_EQ(r.err, "");
    cart("ends.m3", "printh('once')");
    r = run("--frames 1000 --stats ends.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "once\n");
    EXPECT_EQ(r.err.rfind("mivo3-run: ends.m3: 1 frames in ", 0), 0u) << r.err;
}

TEST_F(Runner, PressedButtonsReachTheCartAtTheirMachineFramesAt30And60ASecond) {
    const std::string line = "printh(f..' '..btn()..' '..btnp()..' '..(btn(5,7) and 1 or 0)..' '..time())";
    cart("b30.m3", "f=0\nfunction _update() f+=1 " + line + " end");
    cart("b60.m3", "f=0\nfunction _update60() f+=1 " + line + " end");
    // Machine time moves by one frame at the cart's own rate.
    ran r = run("--frames 6 --press 3-4:right,5:p0.x+p1.o+p7.x b30.m3");
    EXPECT_EQ(r.out,
              "1 0 0 0 0.0667\n2 0 0 0 0.1\n3 2 2 0 0.1333\n4 2 0 0 0.1667\n5 4128 4128 1 0.2\n6 0 0 0 0.2333\n");
    r = run("--frames 6 --press 3-4:right,5:p0.x+p1.o+p7.x b60.m3");
    EXPECT_EQ(r.out,
              "1 0 0 0 0.05\n2 0 0 0 0.0667\n3 2 2 0 0.0833\n4 2 0 0 0.1\n5 4128 4128 1 0.1167\n6 0 0 0 0.1333\n");
    // The same from an input file, one line per frame.
    std::ofstream(dir / "in.txt") << "\n\nright\np0.1\nx p1.o,p7.5\n\n";
    EXPECT_EQ(run("--frames 6 --input in.txt b60.m3").out, r.out);
    // Buttons held as the cart starts count only once released, as in the player.
    r = run("--frames 3 --press 1-3:o b30.m3");
    EXPECT_EQ(r.out, "1 0 0 0 0.0667\n2 0 0 0 0.1\n3 0 0 0 0.1333\n");
}

TEST_F(Runner, ScreenshotIsThePictureOnShowThroughTheDisplayPaletteAndScreenModeAndTheDumpIsMemory) {
    // Frame 2 draws 12 on the left and 8 on the right; the display palette
    // shows 8 as 12. Frame 3 mirrors the left half.
    cart("show.m3", "f=0\nfunction _draw() f+=1 cls()\n"
                    " rectfill(0,0,63,127,12) rectfill(64,0,127,127,8)\n"
                    " if f==2 then pal(8,12,1) end\n"
                    " if f==3 then pal() pset(10,10,7) poke(0x5f2c,5) end\nend");
    const ran r = run("--frames 3 --screenshot 1:one.png --screenshot 2:two.png --screenshot 3:three.png "
                      "--dump-memory 1:one.bin --dump-memory 3:three.bin --scale 3 show.m3");
    ASSERT_EQ(r.code, 0) << r.err;
    const picture one = decode_png(dir / "one.png"), two = decode_png(dir / "two.png"),
                  three = decode_png(dir / "three.png");
    ASSERT_EQ(one.w, 384u);
    ASSERT_EQ(one.h, 384u);
    EXPECT_NE(one.at(10, 10), one.at(300, 10));
    EXPECT_EQ(two.at(10, 10), two.at(300, 10)) << "8 is shown as 12";
    EXPECT_EQ(two.at(10, 10), one.at(10, 10));
    EXPECT_EQ(three.at(30, 30), three.at(3 * 117, 30)) << "the left half mirrored";
    EXPECT_NE(three.at(30, 30), three.at(3 * 20, 30));
    EXPECT_EQ(three.at(3 * 70, 100), one.at(10, 100)) << "the right half shows the left's 12";
    // Memory holds what was drawn, not what the screen mode shows.
    const std::string memory = read(dir / "three.bin");
    ASSERT_EQ(memory.size(), 0x8000u);
    EXPECT_EQ(uint8_t(memory[0x6000 + 10 * 64 + 5]), 0xc7) << "pixels 10 and 11";
    EXPECT_EQ(uint8_t(memory[0x6000 + 10 * 64 + 58]), 0x88) << "the right half holds 8";
    EXPECT_EQ(uint8_t(memory[0x5f2c]), 5);
    EXPECT_EQ(uint8_t(read(dir / "one.bin").at(0x6000 + 10 * 64 + 5)), 0xcc);
}

TEST_F(Runner, GifHoldsTheFramesOfItsSpanAsTheClipsRecordThem) {
    cart("g30.m3", "f=0\nfunction _draw() f+=1 cls(f%16) end");
    cart("g60.m3", "f=0\nfunction _update60() end\nfunction _draw() f+=1 cls(f%16) end");
    ASSERT_EQ(run("--frames 20 --gif 5-14:a.gif --scale 2 g30.m3").code, 0);
    ASSERT_EQ(run("--frames 20 --gif 5-14:b.gif g60.m3").code, 0);
    for (const auto& [name, frames, side] : {std::tuple{"a.gif", 10, 256}, std::tuple{"b.gif", 5, 128}}) {
        int error = 0;
        GifFileType* gif = DGifOpenFileName((dir / name).c_str(), &error);
        ASSERT_NE(gif, nullptr) << name;
        ASSERT_EQ(DGifSlurp(gif), GIF_OK) << name;
        EXPECT_EQ(gif->ImageCount, frames) << name << ": 30 pictures a second";
        EXPECT_EQ(gif->SWidth, side);
        EXPECT_EQ(gif->SHeight, side);
        DGifCloseFile(gif, &error);
    }
    const ran late = run("--frames 20 --gif 30-40:c.gif g30.m3");
    EXPECT_EQ(late.code, 3) << late.err;
}

TEST_F(Runner, WavIsTheMixersOutputForTheWholeRun) {
    cart("beep.m3", "f=0\nfunction _update() f+=1 if f==10 then sfx(0) end end" + sfx_section('3'));
    const ran r = run("--frames 60 --wav beep.wav beep.m3");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string wav = read(dir / "beep.wav");
    ASSERT_EQ(wav.size(), 44u + 60 * 735 * 2) << "two seconds at 22050 Hz";
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    auto sample = [&](size_t i) { return int16_t(uint8_t(wav[44 + 2 * i]) | uint8_t(wav[45 + 2 * i]) << 8); };
    int32_t before = 0, after = 0;
    for (size_t i = 0; i < 9 * 735; i++) before = std::max<int32_t>(before, std::abs(sample(i)));
    for (size_t i = 9 * 735; i < 20 * 735; i++) after = std::max<int32_t>(after, std::abs(sample(i)));
    EXPECT_EQ(before, 0) << "silence before the sound effect";
    EXPECT_GT(after, 1000) << "the sound effect from frame 10";
}

TEST_F(Runner, SameSeedSameBytesAndAnotherSeedOthers) {
    // Random drawing, random memory and a noise instrument.
    cart("dice.m3",
         "function _update() poke(0x4300+flr(rnd(256)), rnd(256)) if rnd(1)<0.1 then sfx(0) end end\n"
         "function _draw() for i=1,50 do pset(rnd(128),rnd(128),rnd(16)) end print(stat(90)..' '..stat(85),0,0,7) end" +
             sfx_section('6'));
    const std::string outputs = " --frames 90 --press 10-20:o --screenshot 90:S.png --dump-memory 90:S.bin --wav S.wav";
    auto with = [&](std::string text, const std::string& name) {
        for (size_t at; (at = text.find("S.")) != std::string::npos;) text.replace(at, 1, name);
        return text;
    };
    ASSERT_EQ(run("--seed 42" + with(outputs, "a") + " dice.m3").code, 0);
    ASSERT_EQ(run("--seed 42" + with(outputs, "b") + " dice.m3").code, 0);
    ASSERT_EQ(run("--seed 43" + with(outputs, "c") + " dice.m3").code, 0);
    for (const char* ext : {".png", ".bin", ".wav"}) {
        const std::string a = read(dir / ("a" + std::string(ext))), b = read(dir / ("b" + std::string(ext))),
                          c = read(dir / ("c" + std::string(ext)));
        ASSERT_FALSE(a.empty()) << ext;
        EXPECT_TRUE(a == b) << ext << " differs between two runs with seed 42";
        EXPECT_FALSE(a == c) << ext << " is the same with seed 43";
    }
}

TEST_F(Runner, ParamAndCartDataAreSeededAndChecked) {
    cart("keep.m3", "cartdata('runner_keep')\nprinth(stat(6)..' '..dget(0))\ndset(0, dget(0)+1)");
    fs::create_directories(dir / "home/cdata");
    std::ofstream(dir / "home/cdata/runner_keep.m3d.txt") << "00050000\n";
    ran r = run("--home home --param 'level 2' keep.m3");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "level 2 5\n");
    EXPECT_EQ(read(dir / "home/cdata/runner_keep.m3d.txt").substr(0, 16), "0006000000000000");
    // A cart-data folder of its own, kept between runs whose homes are fresh.
    EXPECT_EQ(run("--cdata saves keep.m3").out, " 0\n");
    EXPECT_EQ(run("--cdata saves keep.m3").out, " 1\n");
}

TEST_F(Runner, ExpectPrinthPassesOnTheSameLinesAndFailsWithCodeFour) {
    cart("log.m3", "f=0\nfunction _update() f+=1 printh('f'..f) if f==3 then stop() end end");
    std::ofstream(dir / "good.txt") << "f1\nf2\nf3\n";
    std::ofstream(dir / "bad.txt") << "f1\nf3\n";
    ran r = run("--expect-printh good.txt log.m3");
    EXPECT_EQ(r.code, 0) << r.err;
    r = run("--expect-printh bad.txt log.m3");
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(r.err, "mivo3-run: bad.txt: printh line 2 differs: expected \"f3\", got \"f2\"\n");
}

TEST_F(Runner, HeadCartIsPlayedFromItsTitleIntoAVoyageByAScriptedPress) {
    const ran r = run(source("assets/carts/lampwake.m3") +
                      " --frames 60 --press 30:x --screenshot 25:title.png --screenshot 60:voyage.png"
                      " --dump-memory 25:title.bin --dump-memory 60:voyage.bin --wav lampwake.wav");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The title is drawn on the night-blue sea; a voyage has the black
    // status bar along the top.
    auto top_row = [&](const std::string& memory, int colour) {
        int n = 0;
        for (int x = 0; x < 128; x++) n += (uint8_t(memory[0x6000 + x / 2]) >> (x & 1 ? 4 : 0) & 15) == colour;
        return n;
    };
    EXPECT_GT(top_row(read(dir / "title.bin"), 1), 96);
    EXPECT_EQ(top_row(read(dir / "voyage.bin"), 0), 128);
    EXPECT_NE(decode_png(dir / "title.png").at(64, 0), decode_png(dir / "voyage.png").at(64, 0));
    // The title tune plays.
    const std::string wav = read(dir / "lampwake.wav");
    ASSERT_EQ(wav.size(), 44u + 60 * 735 * 2);
    EXPECT_NE(wav.find_first_not_of('\0', 44), std::string::npos);
}

TEST_F(Runner, DemoCartsRun300FramesUnderScriptedButtons) {
    for (const char* demo : {"drawing.m3", "sprites.m3", "sounds.m3", "music.m3", "buttons.m3", "cartdata.m3",
                             "menuitem.m3", "coroutines.m3", "screenmem.m3", "printing.m3", "tinygame.m3",
                             "visualiser.m3"}) {
        const ran r = run(source(std::string("assets/demos/") + demo) +
                          " --frames 300 --press 20-40:right,50:o,60-70:p1.left,80:x,100-140:o+up,200:x"
                          " --screenshot 300:last.png");
        EXPECT_EQ(r.code, 0) << demo << ": " << r.err;
        EXPECT_EQ(r.err, "") << demo;
        EXPECT_EQ(decode_png(dir / "last.png").w, 128u) << demo;
        fs::remove(dir / "last.png");
    }
}

}  // namespace
