#include "browser/labels.h"

#include <gtest/gtest.h>
#include <lodepng.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/display.h"
#include "host/paths.h"
#include "host/text.h"
#include "machine/draw.h"
#include "storage/cart_image.h"

namespace fs = std::filesystem;

namespace {

class Labels : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/m3labelXXXXXX";
        home = mkdtemp(tmpl);
        quon_set_home_path(home);
        // Sixteen clearly different colours for the console's entries.
        for (int i = 0; i < 16; i++) {
            quon_palette[i * 3] = uint8_t((i & 1) * 200 + i * 3);
            quon_palette[i * 3 + 1] = uint8_t(((i >> 1) & 1) * 200 + i * 2);
            quon_palette[i * 3 + 2] = uint8_t(((i >> 2) & 3) * 80 + i);
        }
    }
    void TearDown() override
    {
        mivo3_print_font = nullptr;
        quon_set_home_path("");
        fs::remove_all(home);
    }
    std::string write(const std::string& name, const std::string& text)
    {
        std::string path = home + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string home;
};

int count_colour(const quon_bitmap* b, int y0, int y1, uint8_t colour)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = 0; x < b->width; x++)
            n += b->rows[y][x] == colour;
    return n;
}

TEST_F(Labels, TextCartsGetACardWithTheirLeadingComments)
{
    ASSERT_EQ(quon_text_init(), 0);
    mivo3_print_font = quon_builtin_font(0);
    std::string path = write("t.m3",
                             "mivo-3 cartridge // here\r\nversion 17\r\n__lua__\r\n"
                             "-- my game\r\n-- by me\r\nprint(1)\r\n-- not drawn\r\n");
    quon_bitmap* label = create_label_from_file(path.c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->width, 128);
    EXPECT_EQ(label->height, 128);
    EXPECT_EQ(label->bits, 8);
    EXPECT_EQ(count_colour(label, 0, 22, 5), 128 * 22);
    EXPECT_GT(count_colour(label, 22, 28, 6), 0);
    EXPECT_GT(count_colour(label, 28, 34, 6), 0);
    EXPECT_EQ(count_colour(label, 34, 128, 5), 128 * (128 - 34));
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            ASSERT_TRUE(label->rows[y][x] == 5 || label->rows[y][x] == 6);
    quon_destroy_bitmap(label);
}

TEST_F(Labels, AtMostFiveCommentLines)
{
    ASSERT_EQ(quon_text_init(), 0);
    mivo3_print_font = quon_builtin_font(0);
    std::string text = "mivo-3 cartridge\nversion 17\n__lua__\n";
    for (int i = 0; i < 8; i++)
        text += "-- line\n";
    quon_bitmap* label = create_label_from_file(write("f.m3", text).c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_GT(count_colour(label, 46, 52, 6), 0);
    EXPECT_EQ(count_colour(label, 52, 128, 5), 128 * (128 - 52));
    quon_destroy_bitmap(label);
}

TEST_F(Labels, OtherFilesGiveNoLabel)
{
    EXPECT_EQ(create_label_from_file(nullptr), nullptr);
    EXPECT_EQ(create_label_from_file(""), nullptr);
    EXPECT_EQ(create_label_from_file((home + "/missing.m3").c_str()), nullptr);
    EXPECT_EQ(create_label_from_file(
                  write("a.m3", "mivo-3 cartridge\nversion 17\n__gfx__\n").c_str()),
              nullptr);
    EXPECT_EQ(create_label_from_file(write("b.m3", "hello\nversion 17\n__lua__\n").c_str()),
              nullptr);
    EXPECT_EQ(create_label_from_file(write("c.m3", "mivo-3 cartridge\n").c_str()), nullptr);
    EXPECT_EQ(create_label_from_file(write("d.png", "not a picture").c_str()), nullptr);
}

TEST_F(Labels, PicturesGiveBackTheLabelTheyWereSavedWith)
{
    mivo3_cart* cart = quon_create_mivo3_cart();
    cart->label = quon_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            cart->label->rows[y][x] = uint8_t((x / 8 + y / 8) & 15);
    std::string path = home + "/p.m3.png";
    ASSERT_EQ(save_mivo3_cart_png(cart, path.c_str()), 0);
    quon_bitmap* label = create_label_from_file(path.c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(std::memcmp(label->data, cart->label->data, 128 * 128), 0);
    quon_destroy_bitmap(label);
    quon_destroy_mivo3_cart(cart);
}

TEST_F(Labels, PicturesOfAnotherSizeGiveNoLabel)
{
    std::vector<unsigned char> rgba(160 * 204 * 4, 0xff);
    unsigned char* png = nullptr;
    size_t size = 0;
    ASSERT_EQ(lodepng_encode32(&png, &size, rgba.data(), 160, 204), 0u);
    std::string path = home + "/small.png";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(png), std::streamsize(size));
    std::free(png);
    EXPECT_EQ(create_label_from_file(path.c_str()), nullptr);
}

TEST_F(Labels, ForumCartFileNames)
{
    std::string bbs = quon_prefix_with_appdata_path("bbs/");
    EXPECT_EQ(get_bbs_cart_filename("123456"), bbs + "12/123456.m3.png");
    EXPECT_TRUE(fs::is_directory(bbs + "12"));
    EXPECT_EQ(get_bbs_cart_filename("42"), bbs + "0/42.m3.png");
    EXPECT_EQ(get_bbs_cart_filename("my_game-2"), bbs + "carts/my_game-2.m3.png");
    EXPECT_TRUE(fs::is_directory(bbs + "carts"));
    EXPECT_EQ(get_bbs_cart_filename(""), "");
    EXPECT_EQ(get_bbs_cart_filename("../../x"), "");
    EXPECT_EQ(get_bbs_cart_filename("a/b"), "");
    // Too many digits for a number: kept as a name.
    EXPECT_EQ(get_bbs_cart_filename("12345678901234"), bbs + "carts/12345678901234.m3.png");
}

TEST_F(Labels, ForumIdsFromFileNames)
{
    EXPECT_EQ(get_lid_from_filename("bbs/carts/my_game-2.m3.png"), "my_game-2");
    EXPECT_EQ(get_lid_from_filename("x.m3"), "x");
    EXPECT_EQ(get_lid_from_filename("bbs/12/123456.m3.png"), "123456");
    EXPECT_EQ(get_lid_from_filename(".m3"), "");
    EXPECT_EQ(get_lid_from_filename("game.png"), "");
    EXPECT_EQ(get_lid_from_filename("My Game.m3"), "ame");
    EXPECT_EQ(get_lid_from_filename("a.m3/b.m3"), "a");
}

}  // namespace
