#include "storage/cdata.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/paths.h"
#include "machine/pstate.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class CartData : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/m3cdataXXXXXX";
        home = mkdtemp(tmpl);
        quon_set_home_path(home);
        folder = home + "/cdata/";
        fs::create_directories(folder);
        set_cdata_folder(folder);
        reset_pstate();
        clear_cdata_claim();
        pstate.shell_mode = 1;
        pstate.program_running = 1;
    }
    void TearDown() override
    {
        set_cdata_folder("");
        quon_set_home_path("");
        fs::remove_all(home);
    }
    std::string home, folder;
};

TEST(CartDataFormat, WritesEightLinesOfEightGroups)
{
    int32_t v[64] = {};
    v[0] = 0x10000;            // 1.0
    v[1] = int32_t(0xffff0000); // -1.0
    v[63] = 0x7fffffff;
    std::string text = format_cdata(v);
    ASSERT_EQ(text.size(), 520u);
    EXPECT_EQ(text.substr(0, 65),
              "00010000ffff0000000000000000000000000000000000000000000000000000\n");
    EXPECT_EQ(text.substr(455), "000000000000000000000000000000000000000000000000000000007fffffff\n");
    int32_t back[64];
    parse_cdata(text, back);
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(back[i], v[i]) << i;
}

TEST(CartDataFormat, ReadingSkipsAnythingButHexDigits)
{
    int32_t v[64];
    parse_cdata("00010000 00020000", v);
    EXPECT_EQ(v[0], 0x10000);
    EXPECT_EQ(v[1], 0x20000);
    EXPECT_EQ(v[2], 0);

    parse_cdata("xx0001zz0000\r\n-FFFF0000g", v);
    EXPECT_EQ(v[0], 0x10000);
    EXPECT_EQ(v[1], int32_t(0xffff0000));  // upper-case digits count

    parse_cdata("000100001234", v);  // a group cut short takes its digits
    EXPECT_EQ(v[0], 0x10000);
    EXPECT_EQ(v[1], 0x1234);
    EXPECT_EQ(v[2], 0);
}

TEST(CartDataFormat, OnlyTheFirst512DigitsOfTheFirst1024BytesCount)
{
    int32_t v[64];
    parse_cdata(std::string(512, '1') + "22222222", v);
    EXPECT_EQ(v[63], 0x11111111);

    // Digits after byte 1024 are never looked at.
    std::string text = std::string(1024 - 8, ' ') + "0000000f" + "00000009";
    parse_cdata(text, v);
    EXPECT_EQ(v[0], 0xf);
    EXPECT_EQ(v[1], 0);
}

TEST_F(CartData, ClaimingIdsFollowsTheRules)
{
    EXPECT_EQ(load_cdata(nullptr), 3);

    pstate.program_running = 0;
    EXPECT_EQ(load_cdata("game"), 1);
    EXPECT_EQ(cdata_claimed_id(), "");
    pstate.program_running = 1;

    EXPECT_EQ(load_cdata("Game"), 2);
    EXPECT_STREQ(pstate.error_text, "cart data id: bad char");
    EXPECT_EQ(load_cdata(""), 2);
    EXPECT_STREQ(pstate.error_text, "cart data id too long");
    EXPECT_EQ(load_cdata(std::string(65, 'a').c_str()), 2);
    EXPECT_STREQ(pstate.error_text, "cart data id too long");
    EXPECT_EQ(cdata_claimed_id(), "");

    pstate.cart_data_values[3] = 99;
    EXPECT_EQ(load_cdata(std::string(64, 'a').c_str()), 1);  // fresh slot
    EXPECT_EQ(pstate.cart_data_values[3], 0);
    EXPECT_TRUE(cdata_access_allowed(""));
    EXPECT_EQ(load_cdata("other"), 2);
    EXPECT_STREQ(pstate.error_text, "cartdata() can only be called once");

    clear_cdata_claim();
    EXPECT_FALSE(cdata_access_allowed(""));
    EXPECT_EQ(load_cdata("my_game-1"), 1);
}

TEST_F(CartData, ForumIdAllowsAccessOnlyWhileAProgramRuns)
{
    EXPECT_TRUE(cdata_access_allowed("some_cart"));
    pstate.program_running = 0;
    EXPECT_FALSE(cdata_access_allowed("some_cart"));
}

TEST_F(CartData, SavedValuesLoadInTheNextRun)
{
    ASSERT_EQ(load_cdata("my_game-1"), 1);
    pstate.cart_data_values[0] = 5 << 16;
    pstate.cart_data_values[9] = -(3 << 16);
    pstate.cart_data_dirty = 1;
    ASSERT_EQ(save_cdata(), 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    std::string text = read_file(folder + "my_game-1.m3d.txt");
    ASSERT_EQ(text.size(), 520u);
    EXPECT_EQ(text.rfind("00050000", 0), 0u);
    EXPECT_EQ(text.substr(65 + 8, 8), "fffd0000");  // row 1, second value
    EXPECT_FALSE(fs::exists(folder + "my_game-1.m3d.txt.tmp"));

    clear_cdata_claim();
    pstate.cart_data_values[0] = 0;
    EXPECT_EQ(load_cdata("my_game-1"), 0);
    EXPECT_EQ(pstate.cart_data_values[0], 5 << 16);
    EXPECT_EQ(pstate.cart_data_values[9], -(3 << 16));
}

TEST_F(CartData, NothingIsSavedWithoutARunningProgramAndClaim)
{
    pstate.cart_data_dirty = 1;
    EXPECT_EQ(save_cdata(), 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    ASSERT_EQ(load_cdata("idle"), 1);
    pstate.program_running = 0;
    EXPECT_EQ(save_cdata(), 0);
    EXPECT_FALSE(fs::exists(folder + "idle.m3d.txt"));
}

TEST_F(CartData, AFailedWriteKeepsThePreviousFile)
{
    ASSERT_EQ(load_cdata("keep"), 1);
    std::string path = folder + "keep.m3d.txt";
    std::string old(520, '7');
    write_file(path, old);
    pstate.cart_data_values[0] = 1;

    // The temporary file cannot be created.
    fs::create_directory(path + ".tmp");
    EXPECT_EQ(save_cdata(), 1);
    EXPECT_EQ(read_file(path), old);
    fs::remove(path + ".tmp");

    // The device fills up while the new contents are written.
    if (fs::exists("/dev/full")) {
        fs::create_symlink("/dev/full", path + ".tmp");
        EXPECT_EQ(save_cdata(), 1);
        EXPECT_EQ(read_file(path), old);
        EXPECT_FALSE(fs::exists(fs::symlink_status(path + ".tmp")));
    }

    EXPECT_EQ(save_cdata(), 0);  // the next save goes through
    EXPECT_EQ(read_file(path).substr(0, 8), "00000001");
}

TEST_F(CartData, FolderFallsBackWhenTheConfiguredOneIsMissing)
{
    set_cdata_folder(home + "/nowhere");
    EXPECT_EQ(get_cdata_folder(), quon_prefix_with_appdata_path("cdata/"));
    set_cdata_folder(folder.substr(0, folder.size() - 1));
    EXPECT_EQ(get_cdata_folder(), folder);
    EXPECT_EQ(cdata_filename("abc"), folder + "abc.m3d.txt");
}

}  // namespace
