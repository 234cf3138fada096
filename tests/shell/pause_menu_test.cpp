// The pause menu: its entries, keys and drawing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/bitmap.h"
#include "host/main_loop.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/pause_menu.h"

namespace {

struct PauseMenu : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_buttons();
        reset_run_loop();
        clear_pause_menu_custom_items();
        pstate.program_running = 1;
        pstate.shell_mode = 1;
        quon_quit = 0;
    }
    void TearDown() override {
        quon_quit = 0;
        reset_run_chain();
    }
    std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (int i = 0; i < app.pause_menu_count; i++) out.push_back(paused_menu_item[i].label);
        return out;
    }
    // One paused frame in which button b of player 0 was newly pressed.
    void press(int b) {
        buttons.btnp_state[0][b] = 1;
        buttons.btn_down[0][b] = 1;
        process_paused_keypresses();
        buttons.btnp_state[0][b] = 0;
    }
    void open() {
        buttons.btnp_state[0][MIVO3_BTN_PAUSE] = 1;
        ASSERT_TRUE(update_paused_menu());
        ASSERT_EQ(app.pause_mode, 1);
    }
};

TEST_F(PauseMenu, EntriesComeInTheirOrder) {
    set_pause_menu_custom_item(2, "sound: on");
    set_pause_menu_custom_item(4, "restart level");
    build_paused_menu();
    EXPECT_EQ(labels(), (std::vector<std::string>{"continue", "sound: on", "restart level", "reset cart", "quit"}));
    EXPECT_EQ(paused_menu_item[1].action, 258);
    EXPECT_EQ(paused_menu_item[2].action, 260);
    EXPECT_EQ(paused_menu_item[3].action, 1);
    EXPECT_EQ(paused_menu_item[4].action, 6);
}

TEST_F(PauseMenu, RunChainAndShutdownEntries) {
    add_run_chain_item("menu.m3", "back to menu", 0);
    app.run_flag = 1;
    build_paused_menu();
    EXPECT_EQ(labels(), (std::vector<std::string>{"continue", "reset cart", "back to menu", "quit", "shutdown"}));
    EXPECT_EQ(paused_menu_item[2].action, 5);
    EXPECT_EQ(paused_menu_item[4].action, 6);
}

TEST_F(PauseMenu, LabelsAreCutToSixteenCharacters) {
    set_pause_menu_custom_item(1, "a label far too long for the menu");
    EXPECT_STREQ(pause_menu_custom_label(1), "a label far too ");
    add_paused_menu_item("x123456789abcdefghij", 0);
    EXPECT_STREQ(paused_menu_item[0].label, "x123456789abcdef");
    set_pause_menu_custom_item(1, nullptr);
    EXPECT_STREQ(pause_menu_custom_label(1), "");
    set_pause_menu_custom_item(0, "no");
    set_pause_menu_custom_item(6, "no");
    EXPECT_STREQ(pause_menu_custom_label(6), "");
}

TEST_F(PauseMenu, CursorWrapsBothWays) {
    open();
    EXPECT_EQ(app.pause_menu_cursor, 0);
    press(MIVO3_BTN_UP);
    EXPECT_EQ(app.pause_menu_cursor, app.pause_menu_count - 1);
    press(MIVO3_BTN_DOWN);
    EXPECT_EQ(app.pause_menu_cursor, 0);
}

TEST_F(PauseMenu, SuppressionByteEatsOnePress) {
    mivo3_poke(&pstate, pstate.cart, MIVO3_REG_PAUSE_SUPPRESS, 1);
    buttons.btnp_state[0][MIVO3_BTN_PAUSE] = 1;
    EXPECT_TRUE(update_paused_menu());
    EXPECT_EQ(app.pause_mode, 0);
    EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, MIVO3_REG_PAUSE_SUPPRESS), 0);
    open();
}

TEST_F(PauseMenu, OnlyARunningProgramCanBePaused) {
    pstate.program_running = 0;
    buttons.btnp_state[0][MIVO3_BTN_PAUSE] = 1;
    EXPECT_FALSE(update_paused_menu());
    EXPECT_EQ(app.pause_mode, 0);
    pstate.program_running = 1;
    buttons.btnp_state[0][MIVO3_BTN_PAUSE] = 0;
    EXPECT_FALSE(update_paused_menu());
}

TEST_F(PauseMenu, ContinueDoesNotLetThePressReachTheCart) {
    open();
    press(MIVO3_BTN_O);
    EXPECT_EQ(app.pause_mode, 0);
    EXPECT_EQ(buttons.btn_blocked[0][MIVO3_BTN_O], 1);
    EXPECT_EQ(buttons.btnp_state[0][MIVO3_BTN_O], 0);
}

TEST_F(PauseMenu, CustomItemIsReportedOnce) {
    set_pause_menu_custom_item(3, "mine");
    open();
    press(MIVO3_BTN_DOWN);
    press(MIVO3_BTN_X);
    EXPECT_EQ(app.pause_mode, 0);
    EXPECT_EQ(take_pause_menu_item_selected(3), 1);
    EXPECT_EQ(take_pause_menu_item_selected(3), 0);
    EXPECT_EQ(take_pause_menu_item_selected(1), 0);
}

TEST_F(PauseMenu, ResetStartsTheGlitchAndQuitEndsTheProgram) {
    open();
    press(MIVO3_BTN_DOWN);
    press(MIVO3_BTN_PAUSE);
    EXPECT_EQ(app.pause_mode, 0);
    EXPECT_EQ(pstate.glitch_timer, 1);

    open();
    press(MIVO3_BTN_UP);
    press(MIVO3_BTN_O);
    EXPECT_EQ(quon_quit, 1);
}

TEST_F(PauseMenu, DrawingDarkensAndFramesTheMenu) {
    quon_bitmap* bmp = quon_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) bmp->rows[y][x] = 12;
    set_pause_menu_custom_item(1, "one");
    set_pause_menu_custom_item(2, "two");
    open();
    ASSERT_EQ(app.pause_menu_count, 5);
    draw_paused_menu(bmp);
    // h = 24: the frame spans x 24..103, y 40..87.
    EXPECT_EQ(bmp->rows[40][24], 7);
    EXPECT_EQ(bmp->rows[87][103], 7);
    EXPECT_EQ(bmp->rows[40][60], 7);
    EXPECT_EQ(bmp->rows[60][24], 7);
    // The darkened border just inside the tinted area, outside the frame.
    EXPECT_NE(bmp->rows[39][60], 12);
    EXPECT_NE(bmp->rows[88][23], 12);
    // Beyond it the picture is untouched.
    EXPECT_EQ(bmp->rows[38][60], 12);
    EXPECT_EQ(bmp->rows[60][22], 12);
    EXPECT_EQ(bmp->rows[60][105], 12);
    quon_destroy_bitmap(bmp);
}

}  // namespace
