#include "audio_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/timing.h"

// The WAV renderer is a separate program; these tests run it on a cart file
// and compare what it wrote with the same render done here.
class WavRenderTest : public AudioTest {
protected:
    std::filesystem::path dir;
    std::string tool = std::string(MIVO3_BINARY_DIR) + "/wavrender";

    void SetUp() override {
        AudioTest::SetUp();
        if (!std::filesystem::exists(tool)) GTEST_SKIP() << "wavrender not built";
        dir = std::filesystem::temp_directory_path() / ("wavrender_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
        AudioTest::TearDown();
    }

    // The cart's sound as a text cart.
    std::string cart_text(int32_t version = 17) {
        std::string t = "mivo-3 cartridge // test\nversion " + std::to_string(version) + "\n__lua__\nprint(1)\n__sfx__\n";
        char buf[16];
        for (const sfx_record& s : cart->sfx) {
            std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x", s.editor_mode, s.speed, s.loop_start, s.loop_end);
            t += buf;
            for (const sfx_note& n : s.notes) {
                std::snprintf(buf, sizeof buf, "%02x%x%x%x", n.pitch, n.waveform + (n.custom ? 8 : 0), n.volume, n.effect);
                t += buf;
            }
            t += "\n";
        }
        t += "__music__\n";
        for (int32_t p = 0; p < 64; p++) {
            std::snprintf(buf, sizeof buf, "%02x %02x%02x%02x%02x\n", cart->music_flags[p], cart->music[p][0],
                          cart->music[p][1], cart->music[p][2], cart->music[p][3]);
            t += buf;
        }
        return t + "\n";
    }

    int run(const std::string& args) {
        std::string cmd = tool + " " + args + " > " + (dir / "out.txt").string() + " 2>&1";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string write_cart(const std::string& text) {
        std::string path = (dir / "song.m3").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static std::string read_file(const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    // What the tool does, here: console mode, 735-sample frames, the fader
    // between them on engine time.
    std::vector<int16_t> render_here(bool music, int32_t n, int32_t seconds, int32_t fade) {
        quon_srand(0);
        quon_reset_audio_engine();
        quon_console_mode = 1;
        test_clock_ms = 0;
        if (music) mivo3_music(cart, n, fade, 0);
        else mivo3_sfx(cart, 1, n, 0, 0, 0);
        std::vector<int16_t> out(seconds * 22050);
        for (int32_t done = 0; done < seconds * 22050;) {
            int32_t k = std::min<int32_t>(735, seconds * 22050 - done);
            quon_mixer_callback_0(out.data() + done, k);
            done += k;
            test_clock_ms = static_cast<int32_t>(int64_t{done} * 1000 / 22050);
            quon_update_music_fading();
        }
        return out;
    }

    void make_song() {
        for (int32_t n = 0; n < 4; n++) {
            sfx(n).speed = 3 + n;
            for (int32_t i = 0; i < 32; i++) note(n, i, (20 + i * (n + 3)) % 64, (n * 3 + i) % 8, 3 + (i + n) % 5, (i + n) % 8, n == 3 && i % 2);
        }
        sfx(6).loop_end = 8;
        pattern(0, 0, 1, 2, 3, 1);
        pattern(1, 1, 0x41, 3, 2, 2);
    }
};

TEST_F(WavRenderTest, MusicMatchesTheEngine) {
    make_song();
    std::string path = write_cart(cart_text());
    std::string wav = (dir / "m.wav").string();
    ASSERT_EQ(run(path + " -music 0 -seconds 3 -fade 500 -o " + wav), 0) << read_file(dir / "out.txt");
    std::string bytes = read_file(wav);
    ASSERT_EQ(bytes.size(), 44u + 3 * 22050 * 2);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(bytes.substr(36, 4), "data");
    int32_t rate = static_cast<uint8_t>(bytes[24]) | static_cast<uint8_t>(bytes[25]) << 8;
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bytes[22], 1);  // mono
    std::vector<int16_t> here = render_here(true, 0, 3, 500);
    std::vector<int16_t> there(here.size());
    std::memcpy(there.data(), bytes.data() + 44, there.size() * 2);
    EXPECT_EQ(there, here);
    EXPECT_NE(std::count(here.begin(), here.end(), 0), static_cast<long>(here.size()));
}

TEST_F(WavRenderTest, SfxMatchesTheEngineAndNamesTheOutput) {
    make_song();
    std::string path = write_cart(cart_text());
    ASSERT_EQ(run("-sfx 3 -seconds 1 " + path), 0) << read_file(dir / "out.txt");
    // The default name is made from the cart's and written where the tool runs.
    std::filesystem::path wav = "song_sfx3.wav";
    ASSERT_TRUE(std::filesystem::exists(wav));
    std::string bytes = read_file(wav);
    std::filesystem::remove(wav);
    std::vector<int16_t> here = render_here(false, 3, 1, 0);
    ASSERT_EQ(bytes.size(), 44 + here.size() * 2);
    std::vector<int16_t> there(here.size());
    std::memcpy(there.data(), bytes.data() + 44, there.size() * 2);
    EXPECT_EQ(there, here);
}

TEST_F(WavRenderTest, RefusesBadInput) {
    std::string wav = (dir / "x.wav").string();
    EXPECT_EQ(run(write_cart("hello\n") + " -sfx 0 -o " + wav), 1);
    EXPECT_EQ(run(write_cart(cart_text(18)) + " -sfx 0 -o " + wav), 1);
    EXPECT_NE(read_file(dir / "out.txt").find("future"), std::string::npos);
    EXPECT_EQ(run((dir / "missing.m3").string() + " -sfx 0 -o " + wav), 1);
    std::string ok = write_cart(cart_text());
    EXPECT_EQ(run(ok + " -o " + wav), 2);                  // neither sfx nor music
    EXPECT_EQ(run(ok + " -sfx 1 -music 2 -o " + wav), 2);  // both
    EXPECT_EQ(run(ok + " -sfx 64 -o " + wav), 2);
    EXPECT_EQ(run(ok + " -sfx 1 -seconds 0 -o " + wav), 2);
    EXPECT_FALSE(std::filesystem::exists(wav));
}

TEST_F(WavRenderTest, ShortAndOldLinesKeepDefaults) {
    // Version 2: music lines without flags; channel 00 reads as silent.
    // A short sfx line sets only what it reaches.
    std::string text =
        "mivo-3 cartridge // old\nversion 2\n__sfx__\n0005\n010a0000240701\n__music__\n01000000\n";
    std::string path = write_cart(text);
    std::string wav = (dir / "o.wav").string();
    ASSERT_EQ(run(path + " -music 0 -seconds 1 -o " + wav), 0) << read_file(dir / "out.txt");
    sfx(0).speed = 5;
    sfx(1).editor_mode = 1;
    sfx(1).speed = 10;
    note(1, 0, 0x24, 0, 7);
    note(1, 1, 1, 0, 0);  // the lone "1" is a pitch; nothing after it
    pattern(0, 1, 0x41, 0x41, 0x41);
    std::string bytes = read_file(wav);
    std::vector<int16_t> here = render_here(true, 0, 1, 0);
    ASSERT_EQ(bytes.size(), 44 + here.size() * 2);
    std::vector<int16_t> there(here.size());
    std::memcpy(there.data(), bytes.data() + 44, there.size() * 2);
    EXPECT_EQ(there, here);
}
