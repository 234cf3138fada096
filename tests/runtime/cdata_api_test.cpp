// cartdata, dget and dset in running carts: claiming, saving when the program
// stops, and loading in the next run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/paths.h"
#include "machine/pstate.h"
#include "runtime/driver.h"
#include "runtime/run_loop.h"
#include "storage/cdata.h"

namespace fs = std::filesystem;

namespace {

class CartDataApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/m3cdapiXXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        set_cdata_folder(folder);
        mivo3_driver_open();
        mivo3_run_hooks hooks = mivo3_get_run_hooks();
        hooks.save_cart_data = [] { save_cdata(); };
        mivo3_set_run_hooks(hooks);
    }
    void TearDown() override
    {
        mivo3_driver_close();
        set_cdata_folder("");
        fs::remove_all(folder);
    }
    // Runs code until it stops; the result is what it left at 0x4300.
    int32_t run(const std::string& code)
    {
        mivo3_driver_load_code(code);
        EXPECT_EQ(mivo3_driver_start(), 0);
        mivo3_driver_frames(10);
        return mivo3_driver_peek(0x4300);
    }
    std::string file(const std::string& id)
    {
        std::ifstream in(folder + id + ".m3d.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string folder;
};

TEST_F(CartDataApi, ValuesSurviveToTheNextRun)
{
    EXPECT_EQ(run("r = cartdata('my_game-1')\n"
                  "poke(0x4300, r == false and 1 or 0)\n"
                  "dset(0, 5) poke4(0x5e04, 7)\n"
                  "poke(0x4301, dget(1) == 7 and dget(64) == 0 and 1 or 0)\n"
                  "stop()\n"),
              1);
    EXPECT_EQ(mivo3_driver_peek(0x4301), 1);
    std::string text = file("my_game-1");
    ASSERT_EQ(text.size(), 520u);
    EXPECT_EQ(text.substr(0, 16), "0005000000070000");

    EXPECT_EQ(run("poke(0x4300, cartdata('my_game-1') and dget(0) or 99) stop()\n"), 5);
}

TEST_F(CartDataApi, EveryRunMustClaimAgain)
{
    run("cartdata('again') dset(3, 1) stop()\n");
    EXPECT_EQ(run("dset(3, 2) poke(0x4300, 1) stop()\n"), 0);
    EXPECT_STREQ(pstate.error_text, "** dset called before cartdata()");
    EXPECT_EQ(file("again").substr(24, 8), "00010000");
}

TEST_F(CartDataApi, FaultsStopTheProgram)
{
    run("cartdata('one') cartdata('two') poke(0x4300, 1)\n");
    EXPECT_EQ(mivo3_driver_peek(0x4300), 0);
    EXPECT_STREQ(pstate.error_text, "cartdata() can only be called once");

    run("x = dget(0) poke(0x4300, 1)\n");
    EXPECT_EQ(mivo3_driver_peek(0x4300), 0);
    EXPECT_STREQ(pstate.error_text, "** dget called before cartdata()");

    EXPECT_EQ(run("poke(0x4300, cartdata() == nil and 1 or 0) stop()\n"), 1);
}

}  // namespace
