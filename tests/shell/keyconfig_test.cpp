#include "shell/keyconfig.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "host/bitmap.h"
#include "host/input.h"
#include "host/text.h"
#include "machine/pstate.h"
#include "shell/app.h"

namespace {

struct KeyConfig : ::testing::Test {
    uint8_t platform[QUON_KEY_COUNT] = {};
    int32_t now = 0;
    quon_bitmap* screen = nullptr;

    void SetUp() override {
        reset_pstate();
        reset_buttons();
        reset_app();
        quon_keys_init();
        keyconfig = {};
        ASSERT_EQ(quon_text_init(), 0);
        screen = quon_create_bitmap(128, 128, 8);
    }
    void TearDown() override {
        quon_destroy_bitmap(screen);
        pstate.overlay = 0;
    }
    void frame() {
        now += 33;
        quon_keys_update(platform, QUON_KEY_COUNT, 0, now);
        keyconfig_update();
    }
    // Presses and releases a key, one frame each.
    void tap(int scancode) {
        platform[scancode] = 1;
        frame();
        platform[scancode] = 0;
        frame();
    }
    uint8_t at(int x, int y) const { return screen->rows[y][x]; }
    int count_colour(int x0, int y0, int x1, int y1, uint8_t c) const {
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) n += at(x, y) == c;
        return n;
    }
};

TEST_F(KeyConfig, StepsThroughTheControlsAndKeepsTheChoices) {
    buttons.key_bindings[1] = SDL_SCANCODE_L;
    keyconfig_open();
    frame();  // nothing held: choosing begins
    EXPECT_EQ(pstate.overlay, 1);
    const int choice[MIVO3_KEY_BINDINGS] = {
        SDL_SCANCODE_J, SDL_SCANCODE_DELETE, SDL_SCANCODE_I, SDL_SCANCODE_K, SDL_SCANCODE_1, SDL_SCANCODE_2,
        SDL_SCANCODE_BACKSPACE, SDL_SCANCODE_G, SDL_SCANCODE_Y, SDL_SCANCODE_H, SDL_SCANCODE_3, SDL_SCANCODE_4,
        SDL_SCANCODE_SPACE,
    };
    for (int c = 0; c < MIVO3_KEY_BINDINGS; c++) {
        EXPECT_EQ(keyconfig.current, c);
        tap(choice[c]);
    }
    EXPECT_EQ(keyconfig.current, MIVO3_KEY_BINDINGS);
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_J);
    EXPECT_EQ(buttons.key_bindings[1], 0) << "Delete gives back the default keys";
    EXPECT_EQ(buttons.key_bindings[6], 0) << "so does Backspace";
    EXPECT_EQ(buttons.key_bindings[12], SDL_SCANCODE_SPACE);
    for (int c = 0; c < MIVO3_KEY_BINDINGS; c++) EXPECT_EQ(app.button_keys[c], buttons.key_bindings[c]);
    EXPECT_EQ(quonkey_buffer_pos, 0);
    tap(SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(pstate.overlay, 0);
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_J) << "closing after the end keeps the choices";
}

TEST_F(KeyConfig, AHeldKeyIsNotTakenForTheNextControlToo) {
    keyconfig_open();
    frame();  // nothing held: choosing begins
    platform[SDL_SCANCODE_T] = 1;
    for (int f = 0; f < 30; f++) frame();
    EXPECT_EQ(keyconfig.current, 1);
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_T);
    EXPECT_EQ(buttons.key_bindings[1], 0);
    platform[SDL_SCANCODE_T] = 0;
    platform[SDL_SCANCODE_U] = 1;
    frame();
    EXPECT_EQ(keyconfig.current, 1) << "every key must be up before the next choice";
    platform[SDL_SCANCODE_U] = 0;
    frame();
    tap(SDL_SCANCODE_U);
    EXPECT_EQ(buttons.key_bindings[1], SDL_SCANCODE_U);
}

TEST_F(KeyConfig, EscapeOrClosingEarlyRestoresTheBindings) {
    buttons.key_bindings[0] = SDL_SCANCODE_A;
    keyconfig_open();
    frame();  // nothing held: choosing begins
    tap(SDL_SCANCODE_B);
    tap(SDL_SCANCODE_C);
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_B);
    tap(SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(pstate.overlay, 0);
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_A);
    EXPECT_EQ(buttons.key_bindings[1], 0);
    EXPECT_EQ(app.button_keys[0], 0) << "nothing kept in the settings";

    keyconfig_open();
    frame();  // nothing held: choosing begins
    tap(SDL_SCANCODE_B);
    keyconfig_close();
    EXPECT_EQ(buttons.key_bindings[0], SDL_SCANCODE_A);
    EXPECT_EQ(pstate.overlay, 0);
}

TEST_F(KeyConfig, OverlaySetByTheShellOpensAFreshScreen) {
    pstate.overlay = 1;
    frame();
    EXPECT_EQ(keyconfig.open, 1);
    tap(SDL_SCANCODE_R);
    pstate.overlay = 0;  // hidden by the shell part-way
    keyconfig_update();
    EXPECT_EQ(keyconfig.open, 0);
    EXPECT_EQ(buttons.key_bindings[0], 0) << "an unfinished choice is dropped";
}

TEST_F(KeyConfig, LinesShowLabelsAndKeyNamesInLowerCase) {
    char line[96];
    keyconfig_line(0, line, sizeof line);
    EXPECT_STREQ(line, "p1 left     : left");
    keyconfig_line(4, line, sizeof line);
    EXPECT_EQ(std::string(line), std::string("p1 \x8e        : z / c / n"));
    keyconfig_line(10, line, sizeof line);
    EXPECT_STREQ(line, "p2 \x8e        : tab");
    buttons.key_bindings[12] = SDL_SCANCODE_RETURN;
    keyconfig_line(12, line, sizeof line);
    EXPECT_STREQ(line, "pause       : return");
    EXPECT_STREQ(keyconfig_label(5), "p1 \x97       ");
    EXPECT_EQ(std::string(keyconfig_label(5)).size(), 11u);
    keyconfig_line(13, line, sizeof line);
    EXPECT_STREQ(line, "");
    keyconfig_line(0, line, 8);
    EXPECT_STREQ(line, "p1 left") << "cut to the buffer";
}

TEST_F(KeyConfig, DrawingShowsPanelTitleAndTheCurrentLine) {
    keyconfig_open();
    frame();  // nothing held: choosing begins
    keyconfig_draw(screen);
    EXPECT_EQ(at(0, 127), 1) << "background";
    EXPECT_EQ(at(4, 41), 6);
    EXPECT_EQ(at(123, 124), 6);
    EXPECT_EQ(at(124, 124), 1);
    EXPECT_EQ(at(127, 6), 7) << "title bar";
    EXPECT_EQ(at(0, 7), 1);
    EXPECT_GT(count_colour(6, 1, 80, 5, 12), 10) << "title text";
    EXPECT_EQ(at(7, 43), 14) << "bar of the current control";
    EXPECT_EQ(at(120, 49), 14);
    EXPECT_GT(count_colour(10, 44, 120, 48, 1), 10) << "its text";
    EXPECT_GT(count_colour(10, 50, 120, 54, 5), 10) << "other lines";
    EXPECT_GT(count_colour(60, 12, 127, 16, 6), 10) << "press key for:";
    EXPECT_GT(count_colour(60, 26, 127, 37, 13), 10) << "del for default / esc to cancel";
    EXPECT_EQ(at(6 + 6, 8 + 15), 14) << "left of the d-pad lit";

    for (int c = 0; c < 5; c++) tap(SDL_SCANCODE_A + c);
    keyconfig_draw(screen);
    EXPECT_EQ(at(7, 43), 6) << "bar moved on";
    EXPECT_EQ(at(7, 44 + 5 * 6 - 1), 14);
    EXPECT_EQ(at(6 + 40, 8 + 12), 14) << "X lit";
    EXPECT_EQ(at(6 + 33, 8 + 17), 5) << "O not";
    EXPECT_EQ(at(6 + 6, 8 + 15), 5);

    for (int c = 5; c < MIVO3_KEY_BINDINGS; c++) tap(SDL_SCANCODE_F + c);
    keyconfig_draw(screen);
    EXPECT_EQ(count_colour(7, 43, 120, 124, 14), 0) << "no current line when done";
    EXPECT_GT(count_colour(60, 12, 127, 16, 11), 10) << "saved config.";
    EXPECT_EQ(count_colour(60, 26, 127, 37, 13), 0);
}

}  // namespace
