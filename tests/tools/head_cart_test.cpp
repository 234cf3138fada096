// The head cart as shipped: item 3 of the built data.pod is the cart image
// named after the cart, it holds exactly what the text cart under assets/
// says, its code compiles with the dialect, and the game plays from its title
// through a voyage to the game over screen and back under scripted buttons,
// keeping its best score in cart data between runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/pod.h"
#include "lang/dialect.h"
#include "lang/preprocess.h"
#include "lang/tokenizer.h"
#include "machine/lua_alloc.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/driver.h"
#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/text_cart.h"

namespace {

constexpr const char* head_cart_item = "lampwake.m3";
constexpr int32_t head_cart_index = 3;

std::string source_path() { return std::string(MIVO3_SOURCE_DIR) + "/assets/carts/lampwake.m3"; }

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Item 3 of the built data.pod: its name and bytes ("" and nothing when absent).
struct pod_item {
    std::string name;
    std::vector<uint8_t> bytes;
};

pod_item head_cart_from_pod() {
    const std::vector<uint8_t> pod_bytes = read_bytes(std::string(MIVO3_BINARY_DIR) + "/data.pod");
    quon_stream* s = quon_fopen_memory(pod_bytes.data(), int64_t(pod_bytes.size()));
    quon_pod* pod = quon_load_pod_file("", s);
    quon_fclose(s);
    pod_item item;
    if (quon_stream* f = pod ? quon_pod_file(pod, head_cart_index) : nullptr) {
        item.name = f->name;
        item.bytes.assign(f->data, f->data + f->length);
    }
    quon_destroy_pod(pod);
    return item;
}

class HeadCart : public ::testing::Test {
  protected:
    void SetUp() override {
        item = head_cart_from_pod();
        ASSERT_EQ(item.name, head_cart_item) << "data.pod in " MIVO3_BINARY_DIR " has the head cart as item 3";
        ASSERT_EQ(item.bytes.size(), size_t(MIVO3_CART_IMAGE_SIZE));
        cart = quon_create_mivo3_cart();
        ASSERT_NE(cart, nullptr);
        ASSERT_EQ(load_mivo3_cart_32k(cart, item.bytes.data()), 0);
    }
    void TearDown() override { quon_destroy_mivo3_cart(cart); }

    pod_item item;
    mivo3_cart* cart = nullptr;
};

TEST_F(HeadCart, ImageHoldsTheTextCartUnderAssets) {
    mivo3_cart* source = quon_load_mivo3_cart(source_path().c_str());
    ASSERT_NE(source, nullptr) << source_path();
    EXPECT_STREQ(cart->code, source->code) << "the packed image is older than the text cart";
    int32_t differing = 0;
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
        differing += mivo3_cart_rom_read(cart, a) != mivo3_cart_rom_read(source, a);
    EXPECT_EQ(differing, 0);
    quon_destroy_mivo3_cart(source);

    // The cart carries its own art and sound: sprites, the title's shore in
    // the map, sound effects and two looping tunes.
    auto any_rom = [&](int32_t from, int32_t to) {
        for (int32_t a = from; a < to; a++)
            if (mivo3_cart_rom_read(cart, a)) return true;
        return false;
    };
    EXPECT_TRUE(any_rom(MIVO3_ROM_GFX, MIVO3_ROM_MAP));
    EXPECT_TRUE(any_rom(MIVO3_ROM_MAP, MIVO3_ROM_FLAGS));
    EXPECT_TRUE(any_rom(MIVO3_ROM_SFX, MIVO3_CART_ROM_SIZE));
    EXPECT_EQ(cart->music_flags[0], 1) << "the title tune starts a loop";
    EXPECT_EQ(cart->music_flags[4], 1) << "the voyage tune starts a loop";
}

TEST_F(HeadCart, CodeCompilesWithTheDialect) {
    const std::string code = cart->code;
    EXPECT_LE(code.size(), size_t(MIVO3_CODE_MAX_CHARS));
    EXPECT_LE(count_tokens(code), 8192);
    EXPECT_NE(code.find("cartdata("), std::string::npos);
    EXPECT_NE(code.find("menuitem("), std::string::npos);

    const std::string plain = mivo3_preprocess(code);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), std::count(code.begin(), code.end(), '\n'));
    lua_State* L = lua_newstate(mivo3_lua_alloc, nullptr);
    ASSERT_NE(L, nullptr);
    const int status = luaL_loadbuffer(L, plain.data(), plain.size(), "=lampwake");
    EXPECT_EQ(status, LUA_OK) << (status != LUA_OK ? lua_tostring(L, -1) : "");
    lua_close(L);
}

// Scripted play through the headless driver, with the shell's pause-menu
// hooks standing in for the menu itself.
class HeadCartPlay : public HeadCart {
  protected:
    void SetUp() override {
        HeadCart::SetUp();
        if (HasFatalFailure()) return;
        char tmpl[] = "/tmp/mivo3_head_cart_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        cdata_dir = std::string(tmpl) + "/";
        set_cdata_folder(cdata_dir);
        saved_api = mivo3_api;
        labels.assign(6, "");
        chosen.assign(6, 0);
        mivo3_api.set_menu_item = [](int32_t i, const char* label) { labels[size_t(i)] = label ? label : ""; };
        mivo3_api.take_menu_item_selected = [](int32_t i) {
            const int32_t was = chosen[size_t(i)];
            chosen[size_t(i)] = 0;
            return was;
        };
    }
    void TearDown() override {
        mivo3_driver_close();
        mivo3_api = saved_api;
        set_cdata_folder("");
        std::filesystem::remove_all(cdata_dir);
        HeadCart::TearDown();
    }

    // Opens the driver on the packed cart (ROM and code) and starts it.
    void start() {
        mivo3_driver_open();
        ASSERT_EQ(load_mivo3_cart_32k(pstate.cart, item.bytes.data()), 0);
        mivo3_driver_load_code(pstate.cart->code);
        ASSERT_EQ(mivo3_driver_start(), 0) << mivo3_driver_output_text();
    }

    // Runs n frames with player 0's buttons forced to mask; fails the test
    // when the program stops (a runtime error ends it).
    void frames(int32_t n, int32_t mask = 0) {
        for (int32_t i = 0; i < n; i++) {
            buttons.player_input_slots[0] = mask;
            mivo3_driver_frame();
            ASSERT_TRUE(mivo3_driver_running()) << mivo3_driver_output_text();
        }
    }
    // A press: one frame held, then released.
    void press(int32_t button) {
        frames(1, 1 << button);
        frames(1);
    }

    static int32_t pixel(int32_t x, int32_t y) {
        const int32_t b = mivo3_driver_peek(0x6000 + y * 64 + x / 2);
        return x & 1 ? b >> 4 : b & 15;
    }
    static int32_t count_in_top_row(int32_t colour) {
        int32_t n = 0;
        for (int32_t x = 0; x < 128; x++) n += pixel(x, 0) == colour;
        return n;
    }
    // The title is drawn on the night-blue sea; a voyage and its game over
    // have the black status bar along the top.
    static bool on_title() { return count_in_top_row(1) > 96; }
    static bool status_bar_shown() { return count_in_top_row(0) == 128; }

    // Cart data slots of the game, as raw 16.16 values in machine memory.
    static int32_t best() { return mivo3_driver_peek4(0x5e00); }
    static int32_t muted() { return mivo3_driver_peek4(0x5e04); }
    static int32_t voyages() { return mivo3_driver_peek4(0x5e08); }

    std::string cdata_dir;
    mivo3_api_hooks saved_api{};
    static inline std::vector<std::string> labels;
    static inline std::vector<int32_t> chosen;
};

TEST_F(HeadCartPlay, TitleVoyageGameOverAndBackKeepingTheBest) {
    start();
    frames(20);
    EXPECT_TRUE(on_title());
    EXPECT_EQ(labels[1], "music: on");
    EXPECT_EQ(labels[2], "clear best");
    EXPECT_EQ(voyages(), 0);

    press(MIVO3_BTN_X);
    frames(5);
    EXPECT_TRUE(status_bar_shown()) << "the voyage starts";
    EXPECT_EQ(voyages(), 0);

    // Drifting and firing flares burns the lamp out well within this; rocks
    // may take the hull first.
    int32_t played = 0;
    while (voyages() == 0 && played < 3000) {
        press(MIVO3_BTN_O);
        frames(48);
        if (HasFatalFailure()) return;
        played += 50;
    }
    ASSERT_EQ(voyages(), 0x10000) << "the voyage ended within " << played << " frames";
    EXPECT_GT(best(), 0) << "a first voyage always sets the best";
    EXPECT_TRUE(status_bar_shown());

    // The game over screen ignores buttons for a second, then returns to the title.
    frames(40);
    press(MIVO3_BTN_X);
    frames(5);
    EXPECT_TRUE(on_title());
    EXPECT_TRUE(mivo3_driver_output().empty()) << mivo3_driver_output_text();

    // What the shell does on exit: the cart data file keeps the best, and the
    // next run starts with it.
    const int32_t kept = best();
    ASSERT_EQ(save_cdata(), 0);
    EXPECT_TRUE(std::filesystem::exists(cdata_filename("lampwake")));
    start();
    frames(3);
    EXPECT_EQ(best(), kept);
    EXPECT_EQ(voyages(), 0x10000);
}

TEST_F(HeadCartPlay, PauseMenuItemsToggleMusicAndClearTheBestOnSecondChoice) {
    start();
    frames(5);
    ASSERT_EQ(labels[1], "music: on");

    chosen[1] = 1;
    frames(2);
    EXPECT_EQ(labels[1], "music: off");
    EXPECT_EQ(muted(), 0x10000);
    chosen[1] = 1;
    frames(2);
    EXPECT_EQ(labels[1], "music: on");
    EXPECT_EQ(muted(), 0);

    // A best to clear: one short voyage.
    press(MIVO3_BTN_X);
    for (int32_t played = 0; voyages() == 0 && played < 3000; played += 50) {
        press(MIVO3_BTN_O);
        frames(48);
        if (HasFatalFailure()) return;
    }
    ASSERT_GT(best(), 0);

    chosen[2] = 1;
    frames(2);
    EXPECT_EQ(labels[2], "really clear?");
    EXPECT_GT(best(), 0) << "the first choice only asks";
    chosen[2] = 1;
    frames(2);
    EXPECT_EQ(labels[2], "best cleared");
    EXPECT_EQ(best(), 0);
    EXPECT_TRUE(mivo3_driver_output().empty()) << mivo3_driver_output_text();
}

}  // namespace
