// The reset glitch: its timeline, what it corrupts and what it must leave.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/timing.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/glitch.h"
#include "storage/cart.h"

namespace {

struct Glitch : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_run_loop();
        pstate.cart = quon_create_mivo3_cart();
        quon_srand(1234);
    }
    void TearDown() override {
        quon_destroy_mivo3_cart(pstate.cart);
        pstate.cart = nullptr;
    }
    std::vector<uint8_t> memory() {
        std::vector<uint8_t> m(0x8000);
        for (int32_t a = 0; a < 0x8000; a++) m[size_t(a)] = mivo3_peek(&pstate, pstate.cart, a);
        return m;
    }
};

TEST_F(Glitch, RestartsTheCartAfterFourFrames) {
    start_reset_glitch();
    for (int i = 0; i < 3; i++) {
        update_reset_glitch();
        EXPECT_EQ(pstate.pending_command, 0) << "frame " << i;
    }
    EXPECT_EQ(pstate.glitch_timer, 4);
    update_reset_glitch();
    EXPECT_EQ(pstate.glitch_timer, 0);
    EXPECT_EQ(pstate.pending_command, 1);
    update_reset_glitch();  // idle: nothing more happens
    EXPECT_EQ(pstate.glitch_timer, 0);
}

TEST_F(Glitch, MinusOneRestartsAtOnceWithoutCorrupting) {
    const std::vector<uint8_t> before = memory();
    pstate.glitch_timer = -1;
    update_reset_glitch();
    EXPECT_EQ(pstate.glitch_timer, 0);
    EXPECT_EQ(pstate.pending_command, 1);
    EXPECT_EQ(memory(), before);
}

TEST_F(Glitch, SecondFrameCorruptsMemoryOnlyOnce) {
    start_reset_glitch();
    const std::vector<uint8_t> before = memory();
    update_reset_glitch();
    const std::vector<uint8_t> after = memory();
    EXPECT_NE(after, before);
    update_reset_glitch();
    update_reset_glitch();
    EXPECT_EQ(memory(), after);
}

TEST_F(Glitch, KeepsThePaletteKeepingRegister) {
    for (int seed = 0; seed < 40; seed++) {
        quon_srand(uint32_t(seed));
        mivo3_poke(&pstate, pstate.cart, MIVO3_REG_KEEP_PALETTE, 1);
        pstate.glitch_timer = 2;
        glitch_corrupt_memory(1, 200);
        EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, MIVO3_REG_KEEP_PALETTE), 1) << "seed " << seed;
    }
}

TEST_F(Glitch, NeitherFaultsNorTouchesPersistentData) {
    pstate.glitch_timer = 2;
    // 4000 random pokes: about 30 land in the persistent-data range.
    glitch_corrupt_memory(1, 200);
    for (int32_t v : pstate.cart_data_values) EXPECT_EQ(v, 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(Glitch, RestartHandsBackTheLaunchParameter) {
    glitch_save_launch_param("level=3");
    std::strcpy(mivo3_run.pending_run_param, "");
    pstate.glitch_timer = 4;
    update_reset_glitch();
    EXPECT_STREQ(mivo3_run.pending_run_param, "level=3");
    EXPECT_EQ(pstate.pending_command, 1);
}

}  // namespace
