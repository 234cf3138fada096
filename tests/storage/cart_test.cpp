#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "storage/cart.h"

namespace {

struct CartTest : ::testing::Test {
    mivo3_cart* cart = nullptr;
    void SetUp() override
    {
        mivo3_cart_release_hook = nullptr;
        cart = quon_create_mivo3_cart();
        ASSERT_NE(cart, nullptr);
    }
    void TearDown() override
    {
        if (mivo3_current_cart == cart)
            mivo3_current_cart = nullptr;
        quon_destroy_mivo3_cart(cart);
    }
    void set_code(const std::string& text)
    {
        ASSERT_LT(text.size(), size_t(MIVO3_CODE_BUFFER_SIZE));
        std::memcpy(cart->code, text.c_str(), text.size() + 1);
    }
};

TEST_F(CartTest, NewRecordReadsBackAsTheDefaultRom)
{
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++) {
        uint8_t expected = 0;
        if (a >= 0x3100 && a < 0x3200)
            expected = uint8_t(0x41 + (a & 3));
        if (a >= 0x3200 && (a - 0x3200) % 68 == 65)
            expected = (a - 0x3200) / 68 == 0 ? 1 : 16;
        ASSERT_EQ(mivo3_cart_rom_read(cart, a), expected) << "address " << a;
    }
    EXPECT_EQ(cart->code[0], 0);
    EXPECT_EQ(cart->label, nullptr);
    EXPECT_EQ(cart->gfx->width, 128);
    EXPECT_EQ(cart->map->height, 64);
}

TEST_F(CartTest, RomAddressesOutsideTheCartReadZeroAndIgnoreWrites)
{
    mivo3_cart_rom_write(cart, 0x4300, 7);
    mivo3_cart_rom_write(cart, -1, 7);
    EXPECT_EQ(mivo3_cart_rom_read(cart, 0x4300), 0);
    EXPECT_EQ(mivo3_cart_rom_read(cart, -1), 0);
    EXPECT_EQ(mivo3_cart_rom_read(nullptr, 0), 0);
    mivo3_cart_rom_write(nullptr, 0, 1);  // ignored, no crash
}

TEST_F(CartTest, EveryNoteValueRoundTripsAndDecodes)
{
    sfx_record sfx{};
    for (int32_t v = 0; v < 0x10000; v++) {
        mivo3_set_sfx_byte(sfx, 6, uint8_t(v));
        mivo3_set_sfx_byte(sfx, 7, uint8_t(v >> 8));
        const sfx_note& n = sfx.notes[3];
        ASSERT_EQ(n.pitch, v & 63);
        ASSERT_EQ(n.waveform, (v >> 6) & 7);
        ASSERT_EQ(n.volume, (v >> 9) & 7);
        ASSERT_EQ(n.effect, (v >> 12) & 7);
        ASSERT_EQ(n.custom, (v >> 15) ? 128 : 0);
        ASSERT_EQ(mivo3_sfx_byte(sfx, 6) | mivo3_sfx_byte(sfx, 7) << 8, v);
    }
}

TEST_F(CartTest, NoteBytesKeepTheOtherBytesWaveformBits)
{
    sfx_record sfx{};
    sfx.notes[0].waveform = 7;
    mivo3_set_sfx_byte(sfx, 0, 0x00);  // low byte: waveform bits 0..1 only
    EXPECT_EQ(sfx.notes[0].waveform, 4);
    mivo3_set_sfx_byte(sfx, 0, 0xc0);
    mivo3_set_sfx_byte(sfx, 1, 0x00);  // high byte: waveform bit 2 only
    EXPECT_EQ(sfx.notes[0].waveform, 3);
}

// Blocks that start and end on either byte of a note, in the header, across
// a record's end and past the cart's end do what their bytes do one by one.
TEST_F(CartTest, BlockReadsAndWritesMatchSingleBytes)
{
    mivo3_cart* single = quon_create_mivo3_cart();
    ASSERT_NE(single, nullptr);
    std::mt19937 rng(5);
    std::vector<uint8_t> bytes(80), got(80);
    for (int32_t start : {0x30fe, 0x3200 + 60, 0x3200 + 61, 0x4300 - 70, 0x4300 - 3}) {
        for (int32_t n = 1; n <= 76; n++) {
            for (uint8_t& b : bytes) b = uint8_t(rng());
            mivo3_cart_rom_write_block(cart, start, n, bytes.data());
            for (int32_t k = 0; k < n; k++) mivo3_cart_rom_write(single, start + k, bytes[size_t(k)]);
            ASSERT_EQ(std::memcmp(cart->sfx, single->sfx, sizeof cart->sfx), 0) << start << " " << n;
            ASSERT_EQ(std::memcmp(cart->music, single->music, sizeof cart->music), 0) << start << " " << n;
            ASSERT_EQ(std::memcmp(cart->music_flags, single->music_flags, sizeof cart->music_flags), 0);
            ASSERT_EQ(std::memcmp(cart->flags, single->flags, sizeof cart->flags), 0);
            mivo3_cart_rom_read_block(cart, start, n, got.data());
            for (int32_t k = 0; k < n; k++)
                ASSERT_EQ(got[size_t(k)], mivo3_cart_rom_read(single, start + k)) << start << " " << n << " " << k;
        }
    }
    quon_destroy_mivo3_cart(single);
}

TEST_F(CartTest, DestroyReleasesSoundsAndTheCurrentReference)
{
    static mivo3_cart* released;
    released = nullptr;
    mivo3_cart_release_hook = [](mivo3_cart* c) { released = c; };
    mivo3_cart* other = quon_create_mivo3_cart();
    mivo3_current_cart = other;
    quon_destroy_mivo3_cart(other);
    EXPECT_EQ(released, other);
    EXPECT_EQ(mivo3_current_cart, nullptr);
    mivo3_current_cart = cart;
    mivo3_cart* third = quon_create_mivo3_cart();
    quon_destroy_mivo3_cart(third);
    EXPECT_EQ(mivo3_current_cart, cart);  // only a matching reference is cleared
    quon_destroy_mivo3_cart(nullptr);
    mivo3_cart_release_hook = nullptr;
}

TEST_F(CartTest, SplitWithoutSeparatorsKeepsEverythingInTabZero)
{
    set_code("print(1)\n-->7\nx=2");
    mivo3_code_tabs tabs;
    split_code_tabs(cart, tabs);
    EXPECT_EQ(tabs.tab[0], "print(1)\n-->7\nx=2");
    for (int32_t i = 1; i < 8; i++)
        EXPECT_TRUE(tabs.tab[i].empty());
}

TEST_F(CartTest, MergingEightEmptyTabsGivesEmptyCode)
{
    set_code("old");
    mivo3_code_tabs tabs;
    EXPECT_EQ(merge_code_tabs(cart, tabs), 0);
    EXPECT_STREQ(cart->code, "");
}

TEST_F(CartTest, SplitCutsAtSeparatorsAndMergeRejoins)
{
    const std::string code = "a=1\n-->8\nb=2\n-->8\n\n-->8\nc=3";
    set_code(code);
    mivo3_code_tabs tabs;
    split_code_tabs(cart, tabs);
    EXPECT_EQ(tabs.tab[0], "a=1");
    EXPECT_EQ(tabs.tab[1], "b=2");
    EXPECT_EQ(tabs.tab[2], "");
    EXPECT_EQ(tabs.tab[3], "c=3");
    set_code("");
    merge_code_tabs(cart, tabs);
    EXPECT_EQ(std::string(cart->code), code);
}

TEST_F(CartTest, MergeStopsAtTheLastNonEmptyOrSelectedTab)
{
    mivo3_code_tabs tabs;
    tabs.tab[0] = "x";
    tabs.tab[2] = "y";
    merge_code_tabs(cart, tabs);
    EXPECT_STREQ(cart->code, "x\n-->8\n\n-->8\ny");
    tabs.selected = 4;
    merge_code_tabs(cart, tabs);
    EXPECT_STREQ(cart->code, "x\n-->8\n\n-->8\ny\n-->8\n\n-->8\n");
    tabs.selected = 1;
    merge_code_tabs(cart, tabs);
    EXPECT_STREQ(cart->code, "x\n-->8\n\n-->8\ny");
}

TEST_F(CartTest, CodeBeyondTheEighthTabIsNotLost)
{
    std::string code;
    for (int32_t i = 0; i < 10; i++)
        code += (i ? "\n-->8\n" : "") + std::string("t") + std::to_string(i);
    set_code(code);
    mivo3_code_tabs tabs;
    split_code_tabs(cart, tabs);
    EXPECT_EQ(tabs.tab[6], "t6");
    EXPECT_EQ(tabs.tab[7], "t7\n-->8\nt8\n-->8\nt9");
    set_code("");
    merge_code_tabs(cart, tabs);
    EXPECT_EQ(std::string(cart->code), code);
}

TEST_F(CartTest, MergeCutsTextThatDoesNotFitTheCodeBuffer)
{
    mivo3_code_tabs tabs;
    tabs.tab[0] = std::string(40000, 'a');
    tabs.tab[1] = std::string(40000, 'b');
    EXPECT_EQ(merge_code_tabs(cart, tabs), 1);
    EXPECT_EQ(std::strlen(cart->code), size_t(MIVO3_CODE_MAX_CHARS));
    EXPECT_EQ(tabs.tab[1].size(), 40000u);  // the tabs keep everything
    tabs.tab[1].resize(65536 - 40000 - 6);
    EXPECT_EQ(merge_code_tabs(cart, tabs), 0);
    EXPECT_EQ(std::strlen(cart->code), size_t(MIVO3_CODE_MAX_CHARS));
}

TEST_F(CartTest, GlobalTabsWorkOnTheCurrentCart)
{
    mivo3_current_cart = nullptr;
    EXPECT_EQ(merge_code_from_tabs(), 0);  // no cart: nothing happens
    mivo3_current_cart = cart;
    set_code("one\n-->8\ntwo");
    split_code_to_tabs();
    EXPECT_EQ(mivo3_tabs.tab[1], "two");
    mivo3_tabs.tab[1] = "three";
    merge_code_from_tabs();
    EXPECT_STREQ(cart->code, "one\n-->8\nthree");
    mivo3_tabs = {};
}

}  // namespace
