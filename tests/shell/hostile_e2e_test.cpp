// Carts written to hurt the player, run through the player binary: none of
// them may hang it, fill the disk or reach a file it should not.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "tests/shell/player_fixture.h"

namespace {

TEST_F(Player, IncludesOfDevicesAndPipesFailAtOnce) {
    ASSERT_EQ(::mkfifo((dir / "pipe.lua").c_str(), 0600), 0);
    cart("dev.m3", "#include ../../../../../../../../dev/zero\nprinth('ran', 'dev')");
    cart("pipe.m3", "#include pipe.lua\nprinth('ran', 'pipe')");
    for (const char* name : {"dev.m3", "pipe.m3"}) {
        const run_result r = run(std::string("-x ") + name);
        EXPECT_EQ(r.code, 0) << name;  // not killed by the test's time limit
        EXPECT_NE(r.out.find("could not"), std::string::npos) << r.out;
    }
}

TEST_F(Player, PauseThenResetUnderXStillEnds) {
    cart("reset.m3", "extcmd('pause') extcmd('reset') printh('ran', 'reset')");
    EXPECT_EQ(run("-x reset.m3").code, 0);
    EXPECT_FALSE(read(dir / "home/carts/reset.m3l").empty());
}

TEST_F(Player, OneArgumentPrinthStopsGrowingTheLogAtTenMegabytes) {
    cart("flood.m3",
         "local s = '' for i = 1, 800 do s = s..'x' end\n"
         "for i = 1, 14000 do printh(s) end");
    EXPECT_EQ(run("-x flood.m3").code, 0);
    const std::string log = read(dir / "home/log.txt");
    EXPECT_LT(log.size(), size_t(0xa00000 + 4096));
    EXPECT_NE(log.find("printh: more than 10mb for log.txt; the rest is dropped\n"), std::string::npos);
    EXPECT_NE(log.find("quon_exit"), std::string::npos);  // the player's own lines still follow
}

TEST_F(Player, NamesWithANulByteAreRefused) {
    cart("nul.m3", "printh(cstore(0, 0, 1, 'a\\0b'), 'nul') cartdata('x\\0y')");
    const run_result r = run("-x nul.m3");
    EXPECT_NE(r.out.find("cart data id: bad char"), std::string::npos) << r.out;
    EXPECT_EQ(read(dir / "home/carts/nul.m3l"), "0\n");
    EXPECT_FALSE(fs::exists(dir / "home/cstore/a"));
}

TEST_F(Player, CartDataIsSavedWhenTheCartRunsOutOfMemory) {
    cart("oom.m3", "cartdata('oom_test') dset(0, 7) t = {} for j = 1, 20 do for i = 1, 20000 do t[#t + 1] = {i} end end");
    const run_result r = run("-x oom.m3");
    EXPECT_NE(r.out.find("out of memory"), std::string::npos) << r.out;
    EXPECT_EQ(read(dir / "home/cdata/oom_test.m3d.txt").substr(0, 8), "00070000");
    // A claimed id gets its file even when the cart set nothing.
    cart("quiet.m3", "cartdata('quiet_test')");
    run("-x quiet.m3");
    EXPECT_TRUE(fs::exists(dir / "home/cdata/quiet_test.m3d.txt"));
}

}  // namespace
