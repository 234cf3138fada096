#include "storage/workflow.h"

#include <gtest/gtest.h>
#include <sha1.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/disk.h"
#include "host/paths.h"
#include "lang/lua/lauxlib.h"
#include "lang/lua/lua.h"
#include "lang/lua/lualib.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"

namespace fs = std::filesystem;

// The host library's main loop refers to the application's callbacks; this
// program never runs the loop. Weak, so that another test file of the
// program may define them as well.
__attribute__((weak)) void quon_main_init(int, char**) {}
__attribute__((weak)) int quon_main_update() { return 0; }
__attribute__((weak)) int quon_main_draw() { return 0; }
__attribute__((weak)) int quon_main_exit() { return 0; }

namespace {

std::vector<std::string> printed;
std::vector<std::string> messages;

void capture_print(const char* text, int32_t colour)
{
    printed.push_back(std::string(text) + "@" + std::to_string(colour));
}

void capture_message(const char* text, int32_t ms)
{
    messages.push_back(std::string(text) + "@" + std::to_string(ms));
}

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

bool was_printed(const std::string& line)
{
    for (const std::string& p : printed)
        if (p == line)
            return true;
    return false;
}

mivo3_cart* cart_with_code(const std::string& code)
{
    mivo3_cart* cart = quon_create_mivo3_cart();
    std::memcpy(cart->code, code.c_str(), code.size() + 1);
    return cart;
}

// Code of upper-case letters, which cost two bytes each when compressed.
std::string incompressible_code(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s;
    for (size_t i = 0; i < n; i++)
        s += char('A' + rng() % 26);
    return s;
}

class Workflow : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/m3flowXXXXXX";
        home = mkdtemp(tmpl);
        quon_set_home_path(home + "/data");
        carts = home + "/carts/";
        fs::create_directories(carts);
        reset_pstate();
        reset_workflow();
        quon_vdisk_clear();
        working = quon_create_mivo3_cart();
        pstate.cart = working;
        printed.clear();
        messages.clear();
        mivo3_storage.print = capture_print;
        mivo3_storage.show_message = capture_message;
    }
    void TearDown() override
    {
        reset_workflow();
        quon_vdisk_clear();
        pstate.cart = nullptr;
        quon_destroy_mivo3_cart(working);
        mivo3_storage = {};
        quon_set_home_path("");
        fs::remove_all(home);
    }
    void save_text(const mivo3_cart* cart, const std::string& path)
    {
        ASSERT_EQ(quon_save_mivo3_cart(cart, path.c_str()), 0);
    }
    std::string current_code() { return mivo3_current_cart ? mivo3_current_cart->code : "<none>"; }

    std::string home, carts;
    mivo3_cart* working = nullptr;
};

TEST(WorkflowNames, M3IsInsertedBeforePngOrAppended)
{
    EXPECT_EQ(inject_m3_extention("game"), "game.m3");
    EXPECT_EQ(inject_m3_extention("game.png"), "game.m3.png");
    EXPECT_EQ(inject_m3_extention("game.m3"), "game.m3");
    EXPECT_EQ(inject_m3_extention("a/game.m3.png"), "a/game.m3.png");
    EXPECT_EQ(inject_m3_extention("game.txt"), "game.txt.m3");
}

TEST_F(Workflow, LoadTriesTheNamesInOrder)
{
    std::string base = carts + "game";
    mivo3_cart* a = cart_with_code("-- png only\n");
    ASSERT_EQ(save_mivo3_cart_png(a, (base + ".png").c_str()), 0);
    EXPECT_EQ(load_working_cart(base.c_str()), 0);
    EXPECT_EQ(current_code(), "-- png only\n");
    EXPECT_STREQ(current_cart_filename(), (base + ".png").c_str());

    std::strcpy(a->code, "-- m3 png\n");
    ASSERT_EQ(save_mivo3_cart_png(a, (base + ".m3.png").c_str()), 0);
    EXPECT_EQ(load_working_cart(base.c_str()), 0);
    EXPECT_EQ(current_code(), "-- m3 png\n");

    std::strcpy(a->code, "-- text\n");
    save_text(a, base + ".m3");
    EXPECT_EQ(load_working_cart(base.c_str()), 0);
    EXPECT_EQ(current_code(), "-- text\n");
    EXPECT_STREQ(current_cart_filename(), (base + ".m3").c_str());

    // A failed load keeps the current cart.
    mivo3_cart* before = mivo3_current_cart;
    EXPECT_EQ(load_working_cart((carts + "absent").c_str()), 1);
    EXPECT_EQ(mivo3_current_cart, before);
    EXPECT_STREQ(current_cart_filename(), (base + ".m3").c_str());
    write_file(carts + "junk.m3", "not a cart at all\n");
    EXPECT_EQ(load_working_cart((carts + "junk").c_str()), 1);
    EXPECT_EQ(mivo3_current_cart, before);
    quon_destroy_mivo3_cart(a);
}

TEST_F(Workflow, LoadingSyncsTheSharedHalfFromWhicheverSideHoldsIt)
{
    mivo3_cart* a = quon_create_mivo3_cart();
    a->gfx->rows[64][0] = 3;
    a->gfx->rows[64][1] = 4;
    prepare_loaded_cart(a, (carts + "a.m3").c_str());
    EXPECT_EQ(mivo3_current_cart->map->rows[32][0], 0x43);

    mivo3_cart* b = quon_create_mivo3_cart();
    b->map->rows[40][2] = 0x21;
    prepare_loaded_cart(b, (carts + "b.m3").c_str());
    EXPECT_EQ(mivo3_current_cart, b);
    EXPECT_EQ(b->gfx->rows[64 + 16][4], 1);  // a map row spans two sprite rows
    EXPECT_EQ(b->gfx->rows[64 + 16][5], 2);
}

TEST_F(Workflow, HashIsTheSha1OfTheCartBlock)
{
    mivo3_cart* a = cart_with_code("print('hi')\n");
    a->gfx->rows[3][5] = 9;
    char hash[MIVO3_HASH_TEXT];
    hash_cart(a, hash);
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0);
    ASSERT_EQ(save_mivo3_cart_32k(a, block.data()), 0);
    char expected[SHA1_DIGEST_STRING_LENGTH];
    SHA1Data(block.data(), block.size(), expected);
    EXPECT_STREQ(hash, expected);
    ASSERT_EQ(std::strlen(hash), 40u);

    a->gfx->rows[3][5] = 8;
    char changed[MIVO3_HASH_TEXT];
    hash_cart(a, changed);
    EXPECT_STRNE(hash, changed);

    // Code too large for a block is represented by its own SHA-1 text.
    std::string big = incompressible_code(20000, 1);
    std::strcpy(a->code, big.c_str());
    char h1[MIVO3_HASH_TEXT], h2[MIVO3_HASH_TEXT];
    hash_cart(a, h1);
    a->code[19999] = a->code[19999] == 'A' ? 'B' : 'A';
    hash_cart(a, h2);
    EXPECT_EQ(std::strlen(h1), 40u);
    EXPECT_STRNE(h1, h2);
    quon_destroy_mivo3_cart(a);
}

TEST_F(Workflow, SavingAddsTheExtensionAndBacksUpOtherFiles)
{
    prepare_loaded_cart(cart_with_code("-- mine\n"), (carts + "mine.m3").c_str());
    ASSERT_EQ(save_working_cart((carts + "game").c_str()), 0);
    EXPECT_TRUE(fs::exists(carts + "game.m3"));
    EXPECT_STREQ(current_cart_filename(), (carts + "game.m3").c_str());
    std::string backups = home + "/data/backup/";
    EXPECT_FALSE(fs::exists(backups + "game.m3"));  // nothing was there before

    // Saving over the current file keeps no backup.
    ASSERT_EQ(save_working_cart((carts + "game.m3").c_str()), 0);
    EXPECT_FALSE(fs::exists(backups + "game.m3"));

    write_file(carts + "other.m3", "someone else's file\n");
    ASSERT_EQ(save_working_cart((carts + "other").c_str()), 0);
    EXPECT_EQ(read_file(backups + "other.m3"), "someone else's file\n");
    EXPECT_NE(read_file(carts + "other.m3").find("-- mine"), std::string::npos);

    ASSERT_EQ(save_working_cart((carts + "pic.png").c_str()), 0);
    EXPECT_TRUE(fs::exists(carts + "pic.m3.png"));
    EXPECT_TRUE(was_printed("warning: label is blank@9"));
    EXPECT_TRUE(was_printed("run cart and use f7 to capture@10"));
    EXPECT_EQ(detect_external_changes(), 0);
}

TEST_F(Workflow, BackupOfTheCurrentCartTakesTheFormatOfTheName)
{
    prepare_loaded_cart(cart_with_code("-- b\n"), nullptr);
    EXPECT_EQ(save_backup("", 0), 0);
    std::string backups = home + "/data/backup/";
    EXPECT_EQ(read_file(backups + "untitled.m3").rfind("mivo-3 cartridge", 0), 0u);
    EXPECT_EQ(save_backup("x/shot.m3.png", 0), 0);
    mivo3_cart* back = load_mivo3_cart_png((backups + "shot.m3.png").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->code, "-- b\n");
    quon_destroy_mivo3_cart(back);
}

TEST_F(Workflow, OversizedCodeFailsAsPictureButSavesAsText)
{
    prepare_loaded_cart(cart_with_code(incompressible_code(16000, 7)), (carts + "big.m3").c_str());
    ASSERT_EQ(save_working_cart((carts + "big.png").c_str()), 1);
    EXPECT_FALSE(fs::exists(carts + "big.m3.png"));
    EXPECT_TRUE(was_printed("compressed code size too large\n@8"));
    ASSERT_FALSE(printed.empty());
    EXPECT_NE(printed.back().find(" / 15360 bytes"), std::string::npos);

    printed.clear();
    ASSERT_EQ(save_working_cart((carts + "big2").c_str()), 0);
    EXPECT_TRUE(was_printed("warning: compressed code too big@9"));
    EXPECT_TRUE(was_printed("to be exported or saved as png@9"));
    EXPECT_TRUE(was_printed("(saving .m3 anyway)\n@6"));
    EXPECT_EQ(printed.size(), 4u);
    EXPECT_TRUE(fs::exists(carts + "big2.m3"));
}

TEST_F(Workflow, ExternalChangesAreNoticedAndQuickLoadTakesThem)
{
    std::string path = carts + "ext.m3";
    mivo3_cart* a = cart_with_code("-- one\n");
    save_text(a, path);
    ASSERT_EQ(load_working_cart(path.c_str()), 0);
    EXPECT_EQ(detect_external_changes(), 0);
    do_quick_load();
    EXPECT_TRUE(messages.empty());

    std::strcpy(a->code, "-- two\n");
    save_text(a, path);
    EXPECT_EQ(detect_external_changes(), 1);
    do_quick_load();
    EXPECT_EQ(current_code(), "-- two\n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "loaded external changes@1000");
    EXPECT_EQ(detect_external_changes(), 0);
    quon_destroy_mivo3_cart(a);
}

TEST_F(Workflow, QuickSaveMessages)
{
    do_quick_save();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "*** no filename. not saved! ***@1500");

    std::string bbs = quon_prefix_with_appdata_path("bbs/carts/");
    fs::create_directories(bbs);
    prepare_loaded_cart(cart_with_code("-- b\n"), (bbs + "x.m3").c_str());
    do_quick_save();
    EXPECT_EQ(messages.back(), "* can not overwrite bbs cart! *@1500");
    EXPECT_FALSE(fs::exists(bbs + "x.m3"));

    prepare_loaded_cart(cart_with_code("-- c\n"), (carts + "q.m3").c_str());
    do_quick_save();
    EXPECT_EQ(messages.back(), "saved q.m3\n@1000");
    EXPECT_TRUE(fs::exists(carts + "q.m3"));
}

mivo3_cart* legacy_cart(int32_t version)
{
    mivo3_cart* c = quon_create_mivo3_cart();
    c->version = version;
    return c;
}

TEST_F(Workflow, LegacyVersion4SwapsTheLongestChannelToChannel0)
{
    mivo3_cart* c = legacy_cart(4);
    c->sfx[1].speed = 1;   // 32 ticks
    c->sfx[2].speed = 4;   // 128 ticks
    c->sfx[3].speed = 8;   // 256 ticks, looping
    c->sfx[3].loop_start = 0;
    c->sfx[3].loop_end = 8;
    c->sfx[4].speed = 0;   // counts as 1
    // Pattern 0: the looping channel is the longest, so nothing is swapped.
    c->music[0] = {{1, 2, 0x41, 3}};
    // Pattern 1: channel 2 is the longest non-looping one.
    c->music[1] = {{1, 0x41, 2, 0x42}};
    // Pattern 2: channel 0 is already the longest.
    c->music[2] = {{2, 1, 0x41, 0x41}};
    // Pattern 3: all channels last the same.
    c->music[3] = {{4, 1, 0x41, 0x41}};
    apply_legacy_changes(c);
    EXPECT_EQ(c->legacy_applied, 1);
    EXPECT_EQ(c->music[0][0], 1);
    EXPECT_EQ(c->music[0][1], 2);
    EXPECT_EQ(c->music[1][0], 2);
    EXPECT_EQ(c->music[1][2], 1);
    EXPECT_EQ(c->music[2][0], 2);
    EXPECT_EQ(c->music[3][0], 4);
    EXPECT_TRUE(was_printed("legacy: pat 1 swap chan: 0 2@6"));
    EXPECT_EQ(printed.size(), 1u);
    quon_destroy_mivo3_cart(c);
}

TEST_F(Workflow, LegacyVersion4QuietensLoudNoise)
{
    for (int32_t version : {4, 5}) {
        mivo3_cart* c = legacy_cart(version);
        c->sfx[5].notes[0] = {10, 6, 7, 0, 0};
        c->sfx[5].notes[1] = {10, 5, 7, 0, 0};
        apply_legacy_changes(c);
        EXPECT_EQ(c->sfx[5].notes[0].volume, version == 4 ? 5 : 7);
        EXPECT_EQ(c->sfx[5].notes[1].volume, 7);
        quon_destroy_mivo3_cart(c);
    }
}

TEST_F(Workflow, LegacyVersion10DropsSlideAtVolumeZeroUnlessNewerFeaturesAreUsed)
{
    for (int32_t version : {4, 10, 11}) {
        mivo3_cart* c = legacy_cart(version);
        c->sfx[0].notes[3] = {20, 1, 0, 1, 0};
        c->sfx[0].notes[4] = {20, 1, 3, 1, 0};
        apply_legacy_changes(c);
        EXPECT_EQ(c->sfx[0].notes[3].effect, version <= 10 ? 0 : 1) << version;
        EXPECT_EQ(c->sfx[0].notes[4].effect, 1);
        quon_destroy_mivo3_cart(c);
    }
    auto kept_with = [](void (*use)(mivo3_cart*)) {
        mivo3_cart* c = legacy_cart(10);
        c->sfx[0].notes[3] = {20, 1, 0, 1, 0};
        use(c);
        apply_legacy_changes(c);
        int32_t effect = c->sfx[0].notes[3].effect;
        quon_destroy_mivo3_cart(c);
        return effect;
    };
    EXPECT_EQ(kept_with([](mivo3_cart* c) { c->sfx[9].editor_mode = 2; }), 1);
    EXPECT_EQ(kept_with([](mivo3_cart* c) { c->sfx[9].loop_end = 64; }), 1);
    EXPECT_EQ(kept_with([](mivo3_cart* c) { c->sfx[9].loop_start = 70; }), 1);
    EXPECT_EQ(kept_with([](mivo3_cart* c) { c->sfx[9].notes[31].custom = 128; }), 1);
    EXPECT_EQ(kept_with([](mivo3_cart* c) { c->sfx[9].editor_mode = 1; }), 0);
}

TEST_F(Workflow, LegacyChangesApplyOnceWhenAnOldTextCartLoads)
{
    mivo3_cart* c = quon_create_mivo3_cart();
    c->sfx[1].speed = 1;
    c->sfx[2].speed = 4;
    c->music[0] = {{1, 2, 0x41, 0x41}};
    c->sfx[2].notes[0] = {30, 6, 7, 0, 0};
    std::string text = mivo3_cart_to_text(c);
    size_t at = text.find("version 17");
    ASSERT_NE(at, std::string::npos);
    write_file(carts + "old.m3", text.replace(at, 10, "version 4"));
    quon_destroy_mivo3_cart(c);

    ASSERT_EQ(load_working_cart((carts + "old.m3").c_str()), 0);
    EXPECT_EQ(mivo3_current_cart->version, 4);
    EXPECT_EQ(mivo3_current_cart->music[0][0], 2);
    EXPECT_EQ(mivo3_current_cart->sfx[2].notes[0].volume, 5);
    // The console's own record does not count as changed by another program.
    EXPECT_EQ(detect_external_changes(), 0);
}

// Runs code in a bare language state and returns the global `r` as text.
std::string run_lua(const std::string& code)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    std::string out;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=cart") != LUA_OK ||
        lua_pcall(L, 0, 0, 0) != LUA_OK) {
        out = std::string("error: ") + lua_tostring(L, -1);
    } else {
        lua_getglobal(L, "r");
        out = lua_tostring(L, -1) ? lua_tostring(L, -1) : "nil";
    }
    lua_close(L);
    return out;
}

TEST_F(Workflow, TheOldTableFunctionsArePutBeforeTheEarlyCartsCode)
{
    std::string code = std::string("actors={}\n") + mivo3_legacy_011_marker + "\n";
    mivo3_cart* c = legacy_cart(3);
    std::strcpy(c->code, code.c_str());
    apply_legacy_changes(c);
    EXPECT_EQ(std::string(c->code), std::string(mivo3_legacy_011_prelude) + code);
    EXPECT_EQ(std::string(c->code).rfind("--------------------------------\n"
                                          "-- legacy 0.1.1 api injected\n"
                                          "--------------------------------\n", 0), 0u);
    EXPECT_TRUE(was_printed("legacy: 0.1.1 api injected@6"));
    EXPECT_EQ(std::strlen(mivo3_legacy_011_prelude), 1270u);
    quon_destroy_mivo3_cart(c);

    mivo3_cart* newer = legacy_cart(5);
    std::strcpy(newer->code, code.c_str());
    apply_legacy_changes(newer);
    EXPECT_EQ(std::string(newer->code), code);
    quon_destroy_mivo3_cart(newer);

    // Deleting leaves a hole that add fills first; iteration skips holes.
    const std::string prelude = mivo3_legacy_011_prelude;
    EXPECT_EQ(run_lua(prelude +
                      "t={} add(t,'a') add(t,'b') add(t,'c') del(t,'b')\n"
                      "s='' for v in all(t) do s=s..v end\n"
                      "add(t,'d') s=s..'|'..t[2]..count(t)\n"
                      "foreach(t,function(v) s=s..v end) r=s"),
              "ac|d3adc");
    EXPECT_EQ(run_lua(prelude +
                      "t={} add(t,1) add(t,2) del(t,2) del(t,1) r=t._max..','..count(t)..','..t._min"),
              "0,0,1");
    EXPECT_EQ(run_lua(prelude + "t={5,6} del(t,5) r=count(t)..','..t._min..','..t._max"), "1,1,2");
}

TEST_F(Workflow, CstoreWithoutANameComesBackOnTheNextLoad)
{
    std::string path = carts + "keeper.m3";
    mivo3_cart* a = cart_with_code("-- keeper\n");
    a->map->rows[5][5] = 0x77;
    a->gfx->rows[0][0] = 9;
    save_text(a, path);
    quon_destroy_mivo3_cart(a);
    ASSERT_EQ(load_working_cart(path.c_str()), 0);
    std::string hash = saved_cart_hash();

    for (int32_t i = 0; i < 4; i++)
        mivo3_poke(&pstate, working, MIVO3_ADDR_USER + i, 0x10 + i);
    // A store file that cannot be written leaves the cart as it was.
    std::string sandbox = home + "/data/cstore/__" + hash + ".m3";
    fs::create_directories(sandbox);
    EXPECT_EQ(mivo3_cstore_to_file(0x3000, MIVO3_ADDR_USER, 4, nullptr), 0);
    EXPECT_EQ(mivo3_cart_rom_read(mivo3_current_cart, 0x3002), 0);
    fs::remove(sandbox);

    EXPECT_EQ(mivo3_cstore_to_file(0x3000, MIVO3_ADDR_USER, 4, nullptr), 4);
    EXPECT_EQ(mivo3_cart_rom_read(mivo3_current_cart, 0x3002), 0x12);
    EXPECT_TRUE(fs::exists(sandbox));
    EXPECT_EQ(last_partial_access_filename(), sandbox);
    EXPECT_EQ(partial_access_counter(), 30);

    reset_workflow();
    ASSERT_EQ(load_working_cart(path.c_str()), 0);
    EXPECT_EQ(std::string(saved_cart_hash()), hash);
    EXPECT_EQ(mivo3_cart_rom_read(mivo3_current_cart, 0x3000), 0x10);
    EXPECT_EQ(mivo3_cart_rom_read(mivo3_current_cart, 0x3003), 0x13);
    // What was not stored is still the cart's own data.
    EXPECT_EQ(mivo3_current_cart->map->rows[5][5], 0x77);
    EXPECT_EQ(mivo3_current_cart->gfx->rows[0][0], 9);
    EXPECT_STREQ(mivo3_current_cart->code, "-- keeper\n");
}

TEST_F(Workflow, NamedStoresRoundTripThroughTheCstoreFolder)
{
    for (int32_t i = 0; i < 8; i++)
        mivo3_poke(&pstate, working, MIVO3_ADDR_USER + i, 0xa0 + i);
    EXPECT_EQ(mivo3_cstore_to_file(0x10, MIVO3_ADDR_USER, 8, "save1"), 8);
    EXPECT_TRUE(fs::exists(home + "/data/cstore/save1"));
    mivo3_memset(&pstate, working, MIVO3_ADDR_USER, 0, 8);
    EXPECT_EQ(mivo3_reload_from_file(MIVO3_ADDR_USER, 0x10, 8, "/save1"), 8);
    for (int32_t i = 0; i < 8; i++)
        EXPECT_EQ(mivo3_peek(&pstate, working, MIVO3_ADDR_USER + i), 0xa0 + i);

    EXPECT_EQ(mivo3_reload_from_file(0, 0, 8, "nothing"), 0);
    EXPECT_EQ(mivo3_cstore_to_file(0x10, MIVO3_ADDR_USER, 0x8000, "save1"), 0);
    EXPECT_EQ(mivo3_reload_from_file(MIVO3_ADDR_USER, 0x10, -1, "save1"), 0);
    EXPECT_EQ(mivo3_cstore_to_file(0, MIVO3_ADDR_USER, 8, "__x"), 0);
    EXPECT_EQ(mivo3_reload_from_file(0, 0, 8, "__x"), 0);
    EXPECT_EQ(mivo3_cstore_to_file(0, MIVO3_ADDR_USER, 8, std::string(512, 'a').c_str()), 0);
    // Names that would leave the folder are refused.
    EXPECT_EQ(mivo3_cstore_to_file(0, MIVO3_ADDR_USER, 8, "../escape.m3"), 0);
    EXPECT_EQ(mivo3_cstore_to_file(0, MIVO3_ADDR_USER, 8, "a/../../escape.m3"), 0);
    EXPECT_FALSE(fs::exists(home + "/data/escape.m3"));
    EXPECT_EQ(mivo3_reload_from_file(0, 0, 8, "../cstore/save1"), 0);
}

TEST_F(Workflow, EmbeddedCartsAreReadFromTheDiskUntilStoredInTheirSandbox)
{
    mivo3_cart* e = cart_with_code("-- embedded\n");
    e->flags[0] = 0x55;
    e->flags[1] = 0x66;
    mount_embedded_cart(e, "other.m3");
    char hash[MIVO3_HASH_TEXT];
    hash_cart(e, hash);
    quon_destroy_mivo3_cart(e);

    EXPECT_EQ(embedded_cart_count(), 1);
    EXPECT_STREQ(get_embedded_cart_hash_for_filename("other.m3", 0), hash);
    EXPECT_EQ(get_embedded_cart_hash_for_filename("other", 0), nullptr);
    EXPECT_STREQ(get_embedded_cart_hash_for_filename("other", 1), hash);
    EXPECT_STREQ(get_embedded_cart_filename_for_hash(hash), "other.m3");
    EXPECT_EQ(get_embedded_cart_filename_for_hash("0000"), nullptr);

    // The mounted cart loads like a file.
    ASSERT_EQ(load_working_cart("other"), 0);
    EXPECT_STREQ(mivo3_current_cart->code, "-- embedded\n");

    EXPECT_EQ(mivo3_reload_from_file(MIVO3_ADDR_USER, 0x3000, 2, "other"), 2);
    EXPECT_EQ(mivo3_peek(&pstate, working, MIVO3_ADDR_USER), 0x55);

    mivo3_poke(&pstate, working, MIVO3_ADDR_USER + 0x100, 0x99);
    EXPECT_EQ(mivo3_cstore_to_file(0x3000, MIVO3_ADDR_USER + 0x100, 1, "other"), 1);
    EXPECT_TRUE(fs::exists(home + "/data/cstore/__" + std::string(hash) + ".m3"));
    EXPECT_EQ(mivo3_reload_from_file(MIVO3_ADDR_USER, 0x3000, 2, "other.m3"), 2);
    EXPECT_EQ(mivo3_peek(&pstate, working, MIVO3_ADDR_USER), 0x99);
    EXPECT_EQ(mivo3_peek(&pstate, working, MIVO3_ADDR_USER + 1), 0x66);

    clear_embedded_carts();
    EXPECT_EQ(get_embedded_cart_hash_for_filename("other.m3", 1), nullptr);
}

TEST_F(Workflow, AtMost64EmbeddedCarts)
{
    mivo3_cart* e = quon_create_mivo3_cart();
    for (int32_t i = 0; i < 70; i++) {
        e->flags[0] = i;
        mount_embedded_cart(e, ("c" + std::to_string(i) + ".m3").c_str());
    }
    EXPECT_EQ(embedded_cart_count(), 64);
    EXPECT_NE(get_embedded_cart_hash_for_filename("c63.m3", 0), nullptr);
    EXPECT_EQ(get_embedded_cart_hash_for_filename("c64.m3", 0), nullptr);
    quon_destroy_mivo3_cart(e);
}

TEST_F(Workflow, PartialReloadReadsRawRomFiles)
{
    std::string rom(MIVO3_CART_ROM_SIZE, '\0');
    rom[0x3000] = char(0x42);
    write_file(carts + "data.bin", rom);
    EXPECT_EQ(reload_cart_partial((carts + "data.bin").c_str(), MIVO3_ADDR_USER, 0x3000, 1), 0);
    EXPECT_EQ(mivo3_peek(&pstate, working, MIVO3_ADDR_USER), 0x42);
    write_file(carts + "short.bin", "abc");
    EXPECT_EQ(reload_cart_partial((carts + "short.bin").c_str(), MIVO3_ADDR_USER, 0, 1), 1);
}

TEST_F(Workflow, StoresReachAtMost256FilesPerRun)
{
    std::string dir = carts + "many/";
    fs::create_directories(dir);
    for (int32_t i = 0; i < 256; i++)
        ASSERT_EQ(cstore_cart_partial((dir + std::to_string(i) + ".m3").c_str(), 0,
                                      MIVO3_ADDR_USER, 1, 0), 0) << i;
    EXPECT_EQ(cstore_cart_partial((dir + "x.m3").c_str(), 0, MIVO3_ADDR_USER, 1, 0), 3);
    EXPECT_FALSE(fs::exists(dir + "x.m3"));
    // A file already written may be written again.
    EXPECT_EQ(cstore_cart_partial((dir + "7.m3").c_str(), 0, MIVO3_ADDR_USER, 1, 0), 0);
}

TEST_F(Workflow, StoresIntoPicturesKeepThePictureFormat)
{
    std::string pic = carts + "p.m3.png";
    mivo3_cart* a = cart_with_code("-- pic\n");
    ASSERT_EQ(save_mivo3_cart_png(a, pic.c_str()), 0);
    quon_destroy_mivo3_cart(a);
    mivo3_poke(&pstate, working, MIVO3_ADDR_USER, 0x3c);
    EXPECT_EQ(cstore_cart_partial(pic.c_str(), 0x3100, MIVO3_ADDR_USER, 1, 0), 0);
    mivo3_cart* back = load_mivo3_cart_png(pic.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(mivo3_cart_rom_read(back, 0x3100), 0x3c);
    EXPECT_STREQ(back->code, "-- pic\n");
    quon_destroy_mivo3_cart(back);
}

}  // namespace
