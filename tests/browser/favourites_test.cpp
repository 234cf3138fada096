#include "browser/favourites.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/input.h"
#include "host/paths.h"
#include "runtime/buttons.h"
#include "shell/app.h"

namespace fs = std::filesystem;

namespace {

class Favourites : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/m3favXXXXXX";
        home = mkdtemp(tmpl);
        quon_set_home_path(home);
        reset_app();
        reset_buttons();
        quon_keys_init();
        reset_trovea();
    }
    void TearDown() override
    {
        reset_trovea();
        reset_app();
        quon_keys_init();
        quon_set_home_path("");
        fs::remove_all(home);
    }
    void write_favourites(const std::string& text)
    {
        std::ofstream(quon_prefix_with_appdata_path("favourites.txt"), std::ios::binary) << text;
    }
    std::string read_favourites()
    {
        std::ifstream in(quon_prefix_with_appdata_path("favourites.txt"), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // One key down for one update, so that it reads as pressed.
    void press(int scancode)
    {
        uint8_t keys[QUON_KEY_COUNT] = {};
        keys[scancode] = 1;
        quon_keys_update(keys, QUON_KEY_COUNT, 0, 1000);
        trovea_keypress(-1);
        uint8_t none[QUON_KEY_COUNT] = {};
        quon_keys_update(none, QUON_KEY_COUNT, 0, 1010);
    }
    std::string home;
};

TEST_F(Favourites, ReadingCleansAndDropsDuplicates)
{
    write_favourites("|0    |0    |0    |me    |carts/a.m3   |a\n"
                     "not an entry\r\n"
                     "|42 |7 |12 |Some Body! |  |Big|Game\tX  \r\n"
                     "|42 |8 |0 |other |  |second\n"
                     "|  |  |0 |abcdefghijklmnopqrstuvwxyz |pic.m3.png |p\n"
                     "|" + std::string(300, 'x') + "\n");
    trovea_init();
    const auto& f = trovea_favourites().items;
    ASSERT_EQ(f.size(), 4u);
    EXPECT_STREQ(f[0].lid, "");
    EXPECT_STREQ(f[0].mid, "");
    EXPECT_STREQ(f[0].path, "carts/a.m3");
    EXPECT_STREQ(f[0].title, "a");
    EXPECT_EQ(f[0].icon, TROVEA_ICON_LOCAL);
    EXPECT_EQ(f[0].kind, TROVEA_KIND_CART);
    EXPECT_STREQ(f[1].author, "some_body_");
    EXPECT_STREQ(f[1].title, "big_game x");
    EXPECT_EQ(f[1].catsub, 12);
    EXPECT_EQ(f[1].icon, TROVEA_ICON_ONLINE);
    EXPECT_STREQ(f[2].author, "abcdefghijklmnop");
    EXPECT_EQ(f[2].icon, TROVEA_ICON_PICTURE);
    EXPECT_EQ(std::string(f[3].lid), std::string(127, 'x'));
    EXPECT_EQ(is_favourite("", "carts/a.m3"), 1);
    EXPECT_EQ(is_favourite("42", ""), 1);
    EXPECT_EQ(is_favourite("", "carts/b.m3"), 0);

    reload_favourites();
    EXPECT_EQ(trovea_favourites().items.size(), 4u) << "reloading adds no duplicates";
}

TEST_F(Favourites, MissingFileIsAnEmptyList)
{
    trovea_init();
    EXPECT_TRUE(trovea_favourites().items.empty());
    EXPECT_STREQ(trovea.lists[TROVEA_LIST_TOP].key, "top");
    EXPECT_EQ(trovea.current, TROVEA_LIST_FAV);
}

TEST_F(Favourites, SavedLinesReadBackTheSame)
{
    trovea_item a{};
    a.kind = TROVEA_KIND_CART;
    std::strcpy(a.lid, "my_game-2");
    std::strcpy(a.mid, "991");
    a.catsub = 7;
    std::strcpy(a.author, "someone");
    std::strcpy(a.path, "games/x.m3");
    std::strcpy(a.title, "my game");
    trovea_item folder{};
    folder.kind = TROVEA_KIND_FOLDER;
    std::strcpy(folder.path, "games/");
    trovea_favourites().items = {a, folder};
    ASSERT_EQ(save_trovea_favourites(), 0);
    EXPECT_EQ(read_favourites(), "|my_game-2            |991                  |7      |someone          "
                                 "|games/x.m3           |my game\n");
    trovea_init();
    ASSERT_EQ(trovea_favourites().items.size(), 1u);
    const trovea_item& b = trovea_favourites().items[0];
    EXPECT_STREQ(b.lid, a.lid);
    EXPECT_STREQ(b.mid, a.mid);
    EXPECT_EQ(b.catsub, a.catsub);
    EXPECT_STREQ(b.author, a.author);
    EXPECT_STREQ(b.path, a.path);
    EXPECT_STREQ(b.title, a.title);
    EXPECT_FALSE(fs::exists(quon_prefix_with_appdata_path("favourites.txt.tmp")));
}

TEST_F(Favourites, LocalListAndToggle)
{
    std::string root = home + "/carts/";
    fs::create_directories(root + "sub");
    std::ofstream(root + "b.m3") << "x";
    std::ofstream(root + "a.m3.png") << "x";
    std::ofstream(root + "notes.txt") << "x";
    std::ofstream(root + "sub/c.m3") << "x";
    std::strcpy(app.root_path, root.c_str());
    trovea_init();
    trovea_enter();
    trovea_list& local = trovea.lists[TROVEA_LIST_LOCAL];
    ASSERT_EQ(local.items.size(), 3u);
    EXPECT_STREQ(local.items[0].path, "sub/");
    EXPECT_EQ(local.items[0].kind, TROVEA_KIND_FOLDER);
    EXPECT_STREQ(local.items[1].path, "a.m3.png");
    EXPECT_STREQ(local.items[2].path, "b.m3");

    trovea.current = TROVEA_LIST_LOCAL;
    local.selection = 2;
    std::strcpy(local.items[2].lid, "55");
    local.items[2].label = quon_create_bitmap(128, 128, 8);
    trovea_toggle_favourite();
    ASSERT_EQ(trovea_favourites().items.size(), 1u);
    const trovea_item& fav = trovea_favourites().items[0];
    EXPECT_STREQ(fav.path, "b.m3");
    ASSERT_NE(fav.label, nullptr);
    EXPECT_NE(fav.label, local.items[2].label) << "the favourite owns its own label";
    EXPECT_EQ(local.items[2].favourite, 1);
    EXPECT_TRUE(fs::exists(quon_prefix_with_appdata_path("bbs/labels/55.png")));
    EXPECT_NE(read_favourites().find("|55 "), std::string::npos);

    trovea_toggle_favourite();
    EXPECT_TRUE(trovea_favourites().items.empty());
    EXPECT_EQ(local.items[2].favourite, 0);
    EXPECT_EQ(read_favourites(), "");

    std::strcpy(app.current_folder, "sub/");
    trovea_enter();
    ASSERT_EQ(local.items.size(), 2u);
    EXPECT_STREQ(local.items[0].title, "..");
    EXPECT_STREQ(local.items[0].path, "");
    EXPECT_STREQ(local.items[1].path, "sub/c.m3");
}

TEST_F(Favourites, KioskKeys)
{
    std::string text;
    for (int i = 0; i < 10; i++)
        text += "|" + std::to_string(100 + i) + " | |0 |a |x.m3 |t\n";
    write_favourites(text);
    trovea_init();
    trovea_list& favs = trovea_favourites();
    app.kiosk_flag = 1;

    trovea_keypress(27);
    EXPECT_EQ(trovea.exit_prompt, 1);
    trovea_keypress(8);
    press(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(favs.items.size(), 10u) << "the exit prompt blocks other keys";
    EXPECT_EQ(favs.selection, 0);
    trovea_keypress(27);
    EXPECT_EQ(trovea.exit_prompt, 0);

    press(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(favs.selection, 6);
    press(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(favs.selection, 9) << "clamped to the last item";
    press(SDL_SCANCODE_HOME);
    EXPECT_EQ(favs.selection, 0);
    press(SDL_SCANCODE_END);
    EXPECT_EQ(favs.selection, 9);

    trovea_keypress(8);
    ASSERT_EQ(favs.items.size(), 9u);
    EXPECT_EQ(favs.selection, 8);
    EXPECT_EQ(read_favourites().find("|109 "), std::string::npos);
    trovea_keypress('f');
    EXPECT_EQ(favs.items.size(), 9u) << "'f' does nothing on the favourites list";

    press(SDL_SCANCODE_DELETE);
    EXPECT_EQ(favs.items.size(), 8u) << "the Delete key, which types nothing";

    buttons.key_bindings[4] = SDL_SCANCODE_HOME;
    press(SDL_SCANCODE_HOME);
    EXPECT_EQ(favs.selection, 7) << "a key bound to a button is left to the button";
    buttons.key_bindings[0] = SDL_SCANCODE_DELETE;
    press(SDL_SCANCODE_DELETE);
    EXPECT_EQ(favs.items.size(), 8u);

    app.kiosk_flag = 0;
    trovea_keypress(27);
    EXPECT_EQ(trovea.exit_prompt, 0) << "no exit prompt outside kiosk mode";
}

}  // namespace
