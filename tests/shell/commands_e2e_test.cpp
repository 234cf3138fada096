// The console's commands called by carts run through the player binary:
// carts of the pod loading each other along the run chain, save and cstore
// under -x, cd and the files that follow it, and arguments no command may
// choke on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/display.h"
#include "host/pod.h"
#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"
#include "tests/shell/player_fixture.h"

namespace {

// The working cart and everything saved from it hold the same ROM (and code,
// unless it is a cart store, which keeps data only).
void expect_same_cart(const mivo3_cart* a, const mivo3_cart* b, const std::string& what, bool code = true) {
    ASSERT_NE(a, nullptr) << what;
    ASSERT_NE(b, nullptr) << what;
    int differing = 0;
    for (int32_t addr = 0; addr < MIVO3_CART_ROM_SIZE; addr++)
        differing += mivo3_cart_rom_read(a, addr) != mivo3_cart_rom_read(b, addr);
    EXPECT_EQ(differing, 0) << what;
    if (code) {
        EXPECT_STREQ(a->code, b->code) << what;
    }
}

TEST_F(Player, PodCartsLoadEachOtherAndGoBackAlongTheRunChain) {
    // Three carts of a pod of our own: the head cart sends the player down
    // two levels, and each level comes back the way it was sent.
    const std::string log = "printh(who..' '..tostr(stat(100))..' ['..stat(6)..']', 'chain')\n";
    cart("menu_src.m3", "who='menu' cartdata('chain_menu') dset(0, dget(0) + 1)\n" + log +
                        "if dget(0) == 1 then load('level1', 'back to menu', 'from menu') else extcmd('shutdown') end");
    cart("level1_src.m3", "who='level1' cartdata('chain_level1') dset(0, dget(0) + 1)\n" + log +
                          "if dget(0) == 1 then load('level2.m3', 'back to level1') else extcmd('breadcrumb') end");
    cart("level2_src.m3", "who='level2'\n" + log + "extcmd('go_back')");
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    fs::copy_file(binary, bin / "mivo3");
    std::string packs;
    for (const char* name : {"menu.m3", "level1.m3", "level2.m3"}) {
        const fs::path image = bin / name;
        ASSERT_EQ(std::system(("'" + (fs::path(MIVO3_BINARY_DIR) / "cartpack").string() + "' -o '" +
                               image.string() + "' '" + (dir / fs::path(name).stem()).string() + "_src.m3'")
                                  .c_str()),
                  0);
        packs += " --cart '" + image.string() + "'";
    }
    ASSERT_EQ(std::system(("'" + (fs::path(MIVO3_BINARY_DIR) / "podpack").string() + "' -o '" +
                           (bin / "data.pod").string() + "' -I '" + MIVO3_BINARY_DIR + "/game_pictures'" + packs +
                           " '" + MIVO3_SOURCE_DIR + "/assets/data.txt'")
                              .c_str()),
              0);

    const run_result r = run("-headless -param first", bin / "mivo3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read(dir / "home/carts/chain.m3l"),
              "menu [nil] [first]\n"
              "level1 back to menu [from menu]\n"
              "level2 back to level1 []\n"
              "level1 back to menu [from menu]\n"
              "menu [nil] [first]\n");
}

TEST_F(Player, SaveAndCstoreUnderXWriteCartsThatLoadBack) {
    const fs::path source = cart("game.m3",
                                 "poke(0x10, 0x5a) cstore(0, 0, 0x4300)\n"
                                 "save('out.png') save('out2') save('') save('@clip')\n"
                                 "-- the code is kept whole\n"
                                 "__gfx__\n0123456789abcdef\n");
    fs::create_directories(dir / "home/carts");
    std::ofstream(dir / "home/carts/keep.m3") << "not replaced";
    cart("again.m3", "save('keep')");
    const run_result r = run("-x game.m3");
    EXPECT_EQ(r.code, 0) << r.out;

    mivo3_cart* original = quon_load_mivo3_cart(source.c_str());
    mivo3_cart* picture = load_mivo3_cart_png((dir / "home/carts/out.m3.png").c_str());
    mivo3_cart* text = quon_load_mivo3_cart((dir / "home/carts/out2.m3").c_str());
    ASSERT_NE(original, nullptr);
    // cstore without a file name takes the poked byte into the cart's own
    // store and into the working cart, which the saves then write.
    mivo3_cart* stored = nullptr;
    for (const auto& e : fs::directory_iterator(dir / "home/cstore"))
        stored = quon_load_mivo3_cart(e.path().c_str());
    mivo3_cart_rom_write(original, 0x10, 0x5a);
    expect_same_cart(original, stored, "cart store", false);
    expect_same_cart(original, picture, "picture");
    expect_same_cart(original, text, "text cart");
    for (mivo3_cart* c : {original, picture, text, stored}) quon_destroy_mivo3_cart(c);

    // The clipboard gets the picture as hex digits, kept beside it.
    const std::string png = read(dir / "home/_clip.m3.png");
    std::string hex;
    char digits[3];
    for (unsigned char c : png) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    EXPECT_FALSE(png.empty());
    EXPECT_EQ(read(dir / "home/_clip.m3.png.hex"), hex);

    // An existing file is replaced only by a second save of it.
    run("-x again.m3");
    EXPECT_EQ(read(dir / "home/carts/keep.m3"), "not replaced");
    cart("again.m3", "save('keep') save('keep')");
    run("-x again.m3");
    EXPECT_EQ(read(dir / "home/carts/keep.m3").rfind("mivo-3 cartridge", 0), 0u);
}

TEST_F(Player, LabelTakesThePictureOnShowIntoTheSavedCartPicture) {
    cart("label.m3", "cls(8) rectfill(0, 0, 63, 127, 12) extcmd('label') save('label.png')");
    EXPECT_EQ(run("-x label.m3").code, 0);
    // The picture's colours are read back through the player's palette.
    quon_pod* pod = quon_load_pod((fs::path(MIVO3_BINARY_DIR) / "data.pod").c_str());
    quon_pod* resources = quon_pod_load_item_pod(pod, 1);
    ASSERT_NE(resources, nullptr);
    quon_set_palette(quon_pod_get_palette(resources, 1)->rgb);
    quon_destroy_pod(resources);
    quon_destroy_pod(pod);
    mivo3_cart* saved = load_mivo3_cart_png((dir / "home/carts/label.m3.png").c_str());
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(saved->label, nullptr);
    EXPECT_EQ(saved->label->rows[64][10], 12);
    EXPECT_EQ(saved->label->rows[64][100], 8);
    quon_destroy_mivo3_cart(saved);
}

TEST_F(Player, CdNeverLeavesTheCartsRootAndFilesFollowIt) {
    cart("walk.m3",
         "cd('..') mkdir('up')\n"        // cd failed: still at the root
         "mkdir('sub') cd('sub') cd('../../..') mkdir('deeper') cd('deeper')\n"
         "save('here') printh('in deeper', 'where')\n"
         "cd('/') printh('at root', 'where')\n"
         "for n in all(ls()) do printh(n, 'stored') end\n"
         "cstore(0, 0, 1, 'kept.m3')");
    const run_result r = run("-x walk.m3");
    EXPECT_EQ(r.code, 0) << r.out;
    const fs::path carts = dir / "home/carts";
    EXPECT_TRUE(fs::is_directory(carts / "up"));
    EXPECT_TRUE(fs::exists(carts / "sub/deeper/here.m3"));
    EXPECT_EQ(read(carts / "sub/deeper/where.m3l"), "in deeper\n");
    EXPECT_EQ(read(carts / "where.m3l"), "at root\n");
    EXPECT_FALSE(fs::exists(dir / "home/up"));
    // ls lists the cart store as it was before this run's cstore.
    EXPECT_EQ(read(carts / "stored.m3l"), "");
    cart("list.m3", "for n in all(ls()) do printh(n, 'stored') end");
    run("-x list.m3");
    EXPECT_EQ(read(carts / "stored.m3l"), "kept.m3\n");
}

TEST_F(Player, CommandsTakeAnyArgumentWithoutALanguageError) {
    // Every command with nothing, nil, a number, a table, names of 511 and
    // 512 bytes, names that climb or hold a NUL byte.
    cart("hostile.m3",
         "local long = '' for i = 1, 511 do long = long..'a' end\n"
         "local names = {nil, 5, {}, true, '', long, long..'b', '..', '../..', '/',\n"
         "  '../../../../tmp/mivo3_escape', 'a\\0b', '/../x', '__x', '#x', '@clip'}\n"
         "local cmds = {load, save, cd, ls, dir, mkdir, info, import, export, help,\n"
         "  trovea, login, logout, bbsreq, scoresub, radio}\n"
         "for c in all(cmds) do\n"
         "  c()\n"
         "  for i = 1, 16 do c(names[i], names[i], names[i]) end\n"
         "end\n"
         "cd('/') printh('survived', 'result')");
    const run_result r = run("-x hostile.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
    EXPECT_EQ(read(dir / "home/carts/result.m3l"), "survived\n");
    EXPECT_FALSE(fs::exists("/tmp/mivo3_escape.m3"));
    EXPECT_FALSE(fs::exists("/tmp/mivo3_escape"));
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_TRUE(e.path().filename() == "home" || e.path().extension() == ".m3") << e.path();
}

TEST_F(Player, InstallCommandsCopyTheDemosAndSampleGamesOutOfThePod) {
    cart("install.m3", "install_demos() install_games()");
    EXPECT_EQ(run("-x install.m3").code, 0);
    int demos = 0;
    for (const auto& e : fs::directory_iterator(fs::path(MIVO3_SOURCE_DIR) / "assets/demos")) {
        if (e.path().extension() != ".m3") continue;
        demos++;
        EXPECT_EQ(read(dir / "home/carts/demos" / e.path().filename()), read(e.path())) << e.path();
    }
    EXPECT_EQ(demos, 12);
    const std::string favourites = read(dir / "home/favourites.txt");
    for (const char* id : {"demo-tinygame", "demo-visualiser", "demo-sprites", "demo-music", "demo-buttons"}) {
        EXPECT_NE(favourites.find(std::string("|") + id + " "), std::string::npos) << id;
        mivo3_cart* game = load_mivo3_cart_png((dir / "home/bbs/carts" / (std::string(id) + ".m3.png")).c_str());
        EXPECT_NE(game, nullptr) << id;
        quon_destroy_mivo3_cart(game);
    }
}

TEST_F(Player, CartOnTheCommandLineRunsAfterTheBoot) {
    fs::create_directories(dir / "home/carts");
    std::ofstream(dir / "home/carts/opened.m3")
        << "mivo-3 cartridge // test\nversion 17\n__lua__\nprinth('ran', 'opened') extcmd('shutdown')\n";
    // A bare name not in the current folder is found in the carts root.
    const run_result r = run("-headless opened.m3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read(dir / "home/carts/opened.m3l"), "ran\n");

    const run_result missing = run("-headless nowhere.m3", {}, true);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.out.find("could not load cart: nowhere.m3"), std::string::npos) << missing.out;
}

}  // namespace
