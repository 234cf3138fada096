// The demo carts under assets/demos: each reads as a text cart holding the
// data it shows and runs 300 frames under scripted buttons and pause-menu
// choices without an error; the built data.pod carries them as its demo pod
// (item 100), and five of them as cart pictures in the sample games pod
// (item 101) beside their favourites lines.
#include <gtest/gtest.h>
#include <lodepng.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/pod.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/driver.h"
#include "shell/shell.h"
#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/text_cart.h"

namespace {

struct demo {
    const char* name;
    const char* sections;  // the data it draws or plays from: g sprites, m map, s sfx, p patterns
};
// In the order of the demo pod, which is install_demos's order
// (mivo3_demo_names).
constexpr demo demos[] = {
    {"drawing.m3", ""},     {"sprites.m3", "gm"},   {"sounds.m3", "s"},      {"music.m3", "sp"},
    {"buttons.m3", ""},     {"cartdata.m3", ""},    {"menuitem.m3", ""},     {"coroutines.m3", ""},
    {"screenmem.m3", ""},   {"printing.m3", ""},    {"tinygame.m3", "gs"},   {"visualiser.m3", "sp"},
};
void PrintTo(const demo& d, std::ostream* os) { *os << d.name; }

// The sample games in install_games's order (mivo3_sample_game_ids): forum
// id, and the demo the picture holds.
constexpr const char* games[][2] = {
    {"demo-tinygame", "tinygame.m3"}, {"demo-visualiser", "visualiser.m3"}, {"demo-sprites", "sprites.m3"},
    {"demo-music", "music.m3"},       {"demo-buttons", "buttons.m3"},
};

std::string source_path(const std::string& name) { return std::string(MIVO3_SOURCE_DIR) + "/assets/demos/" + name; }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string item_text(quon_pod* pod, int32_t index) {
    quon_stream* f = quon_pod_file(pod, index);
    return f ? std::string(reinterpret_cast<char*>(f->data), size_t(f->length)) : std::string();
}

// The data sections of a cart that hold something, as in demo::sections.
std::string sections_of(const mivo3_cart* cart) {
    bool g = false, m = false, s = false, p = false;
    for (int32_t a = MIVO3_ROM_GFX; a < MIVO3_ROM_FLAGS; a++)
        (a < MIVO3_ROM_MAP ? g : m) |= mivo3_cart_rom_read(cart, a) != 0;
    for (const sfx_record& sfx : cart->sfx)
        for (const sfx_note& note : sfx.notes) s |= note.volume != 0;
    for (const pattern_record& pattern : cart->music)
        for (int32_t c = 0; c < 4; c++) p |= pattern[c] < 0x40;
    return std::string(g ? "g" : "") + (m ? "m" : "") + (s ? "s" : "") + (p ? "p" : "");
}

class DemoCart : public ::testing::TestWithParam<demo> {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mivo3_demo_carts_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        cdata_dir = std::string(tmpl) + "/";
        set_cdata_folder(cdata_dir);
        saved_api = mivo3_api;
        chosen.clear();
        shown.clear();
        mivo3_api.set_menu_item = [](int32_t i, const char* label) {
            if (label)
                shown.insert(i);
            else
                shown.erase(i);
        };
        mivo3_api.take_menu_item_selected = [](int32_t i) {
            return int32_t(choosing && shown.count(i) && chosen.insert(i).second);
        };
    }
    void TearDown() override {
        mivo3_driver_close();
        mivo3_api = saved_api;
        set_cdata_folder("");
        std::filesystem::remove_all(cdata_dir);
    }
    std::string cdata_dir;
    mivo3_api_hooks saved_api{};
    // From frame 150 on, every pause-menu item the cart shows is chosen once.
    static inline bool choosing = false;
    static inline std::set<int32_t> shown, chosen;
};

TEST_P(DemoCart, ReadsWithItsDataAndRuns300FramesWithoutAnError) {
    const demo& d = GetParam();
    mivo3_cart* cart = quon_load_mivo3_cart(source_path(d.name).c_str());
    ASSERT_NE(cart, nullptr) << d.name;
    EXPECT_EQ(sections_of(cart), d.sections);

    mivo3_driver_open();
    for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
        mivo3_cart_rom_write(pstate.cart, a, mivo3_cart_rom_read(cart, a));
    mivo3_driver_load_code(cart->code);
    quon_destroy_mivo3_cart(cart);
    ASSERT_EQ(mivo3_driver_start(), 0) << mivo3_driver_output_text();
    // Each button of each player in turn, held for 8 frames, with gaps.
    for (int32_t f = 0; f < 300; f++) {
        const bool gap = f % 16 >= 8;
        buttons.player_input_slots[0] = gap ? 0 : 1 << (f / 16 % 6);
        buttons.player_input_slots[1] = gap ? 0 : 1 << ((f / 16 + 3) % 6);
        choosing = f >= 150;
        mivo3_driver_frame();
        ASSERT_TRUE(mivo3_driver_running()) << "frame " << f << ": " << mivo3_driver_output_text();
    }
    EXPECT_EQ(mivo3_driver_output_text(), "");
}

INSTANTIATE_TEST_SUITE_P(AllDemos, DemoCart, ::testing::ValuesIn(demos), [](const auto& param_info) {
    const std::string name = param_info.param.name;
    return name.substr(0, name.find('.'));
});

class InstallPods : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string bytes = read_file(std::string(MIVO3_BINARY_DIR) + "/data.pod");
        quon_stream* s = quon_fopen_memory(bytes.data(), int64_t(bytes.size()));
        if (quon_pod* top = quon_load_pod_file("", s)) {
            demo_pod = quon_pod_load_item_pod(top, 100);
            games_pod = quon_pod_load_item_pod(top, 101);
            quon_destroy_pod(top);
        }
        quon_fclose(s);
    }
    static void TearDownTestSuite() {
        quon_destroy_pod(demo_pod);
        quon_destroy_pod(games_pod);
    }
    static inline quon_pod* demo_pod = nullptr;
    static inline quon_pod* games_pod = nullptr;
};

TEST_F(InstallPods, DemoPodHoldsTheTwelveTextCartsInOrder) {
    ASSERT_NE(demo_pod, nullptr) << "data.pod in " MIVO3_BINARY_DIR " has the demo pod at item 100";
    ASSERT_EQ(demo_pod->items.size(), size_t(MIVO3_DEMO_COUNT));
    ASSERT_EQ(std::size(demos), size_t(MIVO3_DEMO_COUNT));
    for (int32_t i = 0; i < MIVO3_DEMO_COUNT; i++) {
        EXPECT_STREQ(quon_pod_file(demo_pod, i)->name, mivo3_demo_names[i]);
        EXPECT_STREQ(demos[i].name, mivo3_demo_names[i]);
        EXPECT_EQ(item_text(demo_pod, i), read_file(source_path(demos[i].name))) << demos[i].name;
    }
}

TEST_F(InstallPods, GamesPodHoldsFavouritesLinesAndLabelledPictures) {
    ASSERT_NE(games_pod, nullptr) << "data.pod in " MIVO3_BINARY_DIR " has the games pod at item 101";
    ASSERT_EQ(games_pod->items.size(), size_t(1 + MIVO3_SAMPLE_GAME_COUNT));
    ASSERT_EQ(std::size(games), size_t(MIVO3_SAMPLE_GAME_COUNT));
    for (int32_t i = 0; i < MIVO3_SAMPLE_GAME_COUNT; i++) EXPECT_STREQ(games[i][0], mivo3_sample_game_ids[i]);

    // Item 0: a favourites line per game, as the browser writes them.
    std::istringstream lines(item_text(games_pod, 0));
    std::string line;
    for (const auto& game : games) {
        ASSERT_TRUE(std::getline(lines, line));
        const std::string title = line.substr(line.rfind('|') + 1);
        char expected[512];
        std::snprintf(expected, sizeof expected, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s", game[0], "0", 0, "mivo",
                      "", title.c_str());
        EXPECT_EQ(line, expected);
        EXPECT_FALSE(title.empty());
        for (char c : title) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c))) << title;
    }
    EXPECT_FALSE(std::getline(lines, line)) << "only five lines";

    // Items 1..5: pictures of the demos, each with a label drawn from it.
    for (int32_t i = 0; i < 5; i++) {
        const std::string png = item_text(games_pod, i + 1);
        const auto* bytes = reinterpret_cast<const uint8_t*>(png.data());
        mivo3_cart* cart = load_mivo3_cart_png_from_memory(bytes, int64_t(png.size()));
        ASSERT_NE(cart, nullptr) << games[i][0];
        mivo3_cart* source = quon_load_mivo3_cart(source_path(games[i][1]).c_str());
        ASSERT_NE(source, nullptr);
        EXPECT_STREQ(cart->code, source->code) << games[i][0];
        quon_destroy_mivo3_cart(source);
        quon_destroy_mivo3_cart(cart);

        std::vector<uint8_t> rgba;
        unsigned w = 0, h = 0;
        ASSERT_EQ(lodepng::decode(rgba, w, h, bytes, png.size()), 0u);
        std::set<uint32_t> colours;
        for (unsigned y = 24; y < 24 + 128; y++)
            for (unsigned x = 16; x < 16 + 128; x++) {
                const uint8_t* p = &rgba[(y * w + x) * 4];
                // The low two bits of each channel carry the cart's bytes.
                colours.insert(uint32_t(p[0] & 0xfc) << 16 | uint32_t(p[1] & 0xfc) << 8 | (p[2] & 0xfc));
            }
        EXPECT_GE(colours.size(), 4u) << games[i][0] << ": the label is blank";
    }
}

}  // namespace
