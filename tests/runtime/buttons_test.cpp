#include "runtime/buttons.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "host/events.h"
#include "host/input.h"
#include "host/joystick.h"
#include "machine/pstate.h"

namespace {

int32_t g_slow = 0, g_menu = 0, g_running = 0, g_joy_index = 0;

struct Buttons : ::testing::Test {
    uint8_t platform[QUON_KEY_COUNT] = {};
    int32_t now = 0;
    uint32_t mods = 0;

    void SetUp() override {
        reset_pstate();
        reset_buttons();
        quon_keys_init();
        g_slow = g_menu = g_running = g_joy_index = 0;
        mivo3_buttons_hooks = {[] { return g_slow; }, [] { return g_menu; }, [] { return g_running; },
                               [] { return g_joy_index; }};
    }
    void TearDown() override { mivo3_buttons_hooks = {}; }

    // One machine frame: the host's keyboard update, then sampling and repeat.
    void frame() {
        now += 33;
        quon_keys_update(platform, QUON_KEY_COUNT, mods, now);
        read_buttons();
        update_buttons();
    }
    bool btn(int i, int p = 0) { return mivo3_btn(2, i, p, nullptr) != 0; }
    bool btnp(int i, int p = 0) { return mivo3_btnp(2, i, p, nullptr) != 0; }

    // Frames (counting the press as 1) on which btnp reports a button held for n frames.
    std::vector<int> btnp_frames(int scancode, int button, int n) {
        std::vector<int> hits;
        platform[scancode] = 1;
        for (int f = 1; f <= n; f++) {
            frame();
            if (btnp(button)) hits.push_back(f);
        }
        platform[scancode] = 0;
        return hits;
    }
};

TEST_F(Buttons, HeldButtonRepeatsAfterFifteenFramesThenEveryFourAtThirtyFps) {
    pstate.current_fps = 30;
    std::vector<int> expect = {1, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56, 60};
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_Z, MIVO3_BTN_O, 60), expect);
}

TEST_F(Buttons, RepeatDelaysDoubleInFramesAtSixtyFps) {
    pstate.current_fps = 60;
    std::vector<int> expect = {1, 31, 39, 47, 55};
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_X, MIVO3_BTN_X, 60), expect);
}

TEST_F(Buttons, PausedFrameModeRepeatsAtThirtyFpsPaceWhateverTheRate) {
    pstate.current_fps = 60;
    g_slow = 1;
    std::vector<int> expect = {1, 16, 20, 24};
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_LEFT, MIVO3_BTN_LEFT, 25), expect);
}

TEST_F(Buttons, NewPressOfAnyButtonRestartsTheSharedDelay) {
    platform[SDL_SCANCODE_Z] = 1;
    for (int f = 1; f <= 10; f++) frame();
    platform[SDL_SCANCODE_UP] = 1;  // frame 11: a new press elsewhere
    frame();
    EXPECT_TRUE(btnp(MIVO3_BTN_UP));
    EXPECT_FALSE(btnp(MIVO3_BTN_O));
    for (int f = 12; f <= 25; f++) {
        frame();
        EXPECT_FALSE(btnp(MIVO3_BTN_O)) << "frame " << f;
    }
    frame();  // 15 updates after the up press
    EXPECT_TRUE(btnp(MIVO3_BTN_O));
    EXPECT_TRUE(btnp(MIVO3_BTN_UP));
}

TEST_F(Buttons, ButtonHeldWhileACartStartsStaysOffUntilPressedAgain) {
    platform[SDL_SCANCODE_Z] = 1;
    frame();
    block_buttons();
    EXPECT_FALSE(btn(MIVO3_BTN_O));
    EXPECT_FALSE(btnp(MIVO3_BTN_O)) << "blocking clears what btnp already reported";
    for (int f = 0; f < 40; f++) {
        frame();
        EXPECT_FALSE(btn(MIVO3_BTN_O));
        EXPECT_FALSE(btnp(MIVO3_BTN_O));
    }
    platform[SDL_SCANCODE_Z] = 0;
    frame();
    platform[SDL_SCANCODE_Z] = 1;
    frame();
    EXPECT_TRUE(btn(MIVO3_BTN_O));
    EXPECT_TRUE(btnp(MIVO3_BTN_O));
}

TEST_F(Buttons, DefaultKeysReachBothKeyboardPlayers) {
    struct { int scancode, player, button; } cases[] = {
        {SDL_SCANCODE_LEFT, 0, 0}, {SDL_SCANCODE_DOWN, 0, 3}, {SDL_SCANCODE_C, 0, 4},   {SDL_SCANCODE_N, 0, 4},
        {SDL_SCANCODE_V, 0, 5},    {SDL_SCANCODE_M, 0, 5},    {SDL_SCANCODE_RETURN, 0, 6}, {SDL_SCANCODE_P, 0, 6},
        {SDL_SCANCODE_S, 1, 0},    {SDL_SCANCODE_F, 1, 1},    {SDL_SCANCODE_E, 1, 2},   {SDL_SCANCODE_D, 1, 3},
        {SDL_SCANCODE_LSHIFT, 1, 4}, {SDL_SCANCODE_TAB, 1, 4}, {SDL_SCANCODE_W, 1, 4},  {SDL_SCANCODE_A, 1, 5},
        {SDL_SCANCODE_Q, 1, 5},
    };
    for (const auto& c : cases) {
        platform[c.scancode] = 1;
        frame();
        for (int p = 0; p < MIVO3_PLAYERS; p++)
            for (int b = 0; b < MIVO3_BUTTONS; b++)
                EXPECT_EQ(btn(b, p), p == c.player && b == c.button)
                    << quon_get_key_name(c.scancode) << " player " << p << " button " << b;
        platform[c.scancode] = 0;
        frame();
    }
}

TEST_F(Buttons, MIsNotXWhileControlIsHeld) {
    platform[SDL_SCANCODE_M] = 1;
    platform[SDL_SCANCODE_LCTRL] = 1;
    frame();
    EXPECT_FALSE(btn(MIVO3_BTN_X));
    platform[SDL_SCANCODE_LCTRL] = 0;
    frame();
    EXPECT_TRUE(btn(MIVO3_BTN_X));
}

TEST_F(Buttons, KeypadInsertDeleteAndEscapeOnlyWhileAProgramRuns) {
    const int keys[] = {SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_5,
                        SDL_SCANCODE_INSERT, SDL_SCANCODE_DELETE, SDL_SCANCODE_ESCAPE};
    for (int b = 0; b < 7; b++) {
        platform[keys[b]] = 1;
        g_running = 0;
        frame();
        EXPECT_FALSE(btn(b)) << "button " << b;
        g_running = 1;
        frame();
        EXPECT_TRUE(btn(b)) << "button " << b;
        EXPECT_FALSE(btn(b, 1));
        platform[keys[b]] = 0;
        frame();
    }
    platform[SDL_SCANCODE_ESCAPE] = 1;
    g_menu = 1;
    frame();
    EXPECT_FALSE(btn(MIVO3_BTN_PAUSE)) << "Escape closes the open menu instead";
}

TEST_F(Buttons, ConfiguredKeyReplacesDefaultsAndKeypadKeys) {
    g_running = 1;
    buttons.key_bindings[4] = SDL_SCANCODE_Q;  // p1 O
    for (int k : {SDL_SCANCODE_Z, SDL_SCANCODE_C, SDL_SCANCODE_N, SDL_SCANCODE_KP_1, SDL_SCANCODE_INSERT}) {
        platform[k] = 1;
        frame();
        EXPECT_FALSE(btn(MIVO3_BTN_O)) << quon_get_key_name(k);
        platform[k] = 0;
    }
    platform[SDL_SCANCODE_Q] = 1;
    frame();
    EXPECT_TRUE(btn(MIVO3_BTN_O));
    EXPECT_TRUE(btn(MIVO3_BTN_X, 1)) << "Q is still player 1's X by default";
    EXPECT_EQ(player_key(MIVO3_BTN_O, 0), 1);
}

TEST_F(Buttons, ArgumentsClampTheButtonAndRejectOtherPlayers) {
    buttons.player_input_slots[0] = 1 << 7;
    buttons.player_input_slots[1] = 1 << 2;
    buttons.player_input_slots[5] = 1 << 0;
    frame();
    EXPECT_TRUE(btn(9)) << "button 9 reads slot 7";
    EXPECT_FALSE(btn(-3)) << "negative reads slot 0";
    EXPECT_TRUE(btn(0, 5));
    EXPECT_FALSE(btn(0, 9));
    EXPECT_FALSE(btn(7, -1));
    int32_t charge = -1;
    EXPECT_EQ(mivo3_btn(1, 7, 0, &charge), 1) << "without p: player 0";
    EXPECT_EQ(charge, 4);
    EXPECT_EQ(mivo3_btn(0, 0, 0, &charge), 0x0480) << "player 0 in bits 0-7, player 1 in 8-15";
    EXPECT_EQ(charge, 0);
    EXPECT_EQ(mivo3_btnp(0, 0, 0, &charge), 0x0480);
    frame();
    EXPECT_EQ(mivo3_btnp(0, 0, 0, nullptr), 0) << "still held: no new press";
    EXPECT_EQ(mivo3_btn(0, 0, 0, nullptr), 0x0480);
}

TEST_F(Buttons, MenuPressesComeOnceAndOnRepeatTicks) {
    platform[SDL_SCANCODE_DOWN] = 1;
    now += 33;
    quon_keys_update(platform, QUON_KEY_COUNT, mods, now);
    read_buttons();
    EXPECT_EQ(button_pressed(MIVO3_BTN_DOWN, 0), 1);
    update_buttons();
    int presses = 0;
    for (int f = 2; f <= 20; f++) {
        now += 33;
        quon_keys_update(platform, QUON_KEY_COUNT, mods, now);
        read_buttons();
        presses += button_pressed(MIVO3_BTN_DOWN, 0);
        update_buttons();
    }
    EXPECT_EQ(presses, 2) << "repeat ticks on frames 16 and 20";
    EXPECT_EQ(button_pressed(8, 0), 0);
    EXPECT_EQ(button_pressed(0, 8), 0);
    EXPECT_EQ(button_pressed(-1, 0), 0);
}

TEST_F(Buttons, WheelMovementIsTakenOverFromTheHost) {
    quon_wheel_x = 2;
    quon_wheel_y = -3;
    frame();
    EXPECT_EQ(buttons.wheel_x, 2);
    EXPECT_EQ(buttons.wheel_y, -3);
    EXPECT_EQ(quon_wheel_y, 0);
    frame();
    EXPECT_EQ(buttons.wheel_y, 0) << "each movement is reported once";
}

}  // namespace

namespace {

// One virtual game pad in controller slot 0; its buttons and axes are set
// through the platform's virtual-device calls.
struct ControllerButtons : ::testing::Test {
    SDL_Joystick* pad = nullptr;
    int device = -1;
    int32_t joy_index = 0;
    static ControllerButtons* self;

    void SetUp() override {
        reset_pstate();
        reset_buttons();
        quon_keys_init();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        quon_joystick_init();
        device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                           SDL_CONTROLLER_BUTTON_MAX, 0);
        ASSERT_GE(device, 0) << SDL_GetError();
        quon_joystick_added(device);
        ASSERT_EQ(quon_joystick_kind(0), 1);
        pad = SDL_JoystickOpen(device);
        self = this;
        mivo3_buttons_hooks = {};
        mivo3_buttons_hooks.joystick_index = [] { return self->joy_index; };
        settle();
    }
    void TearDown() override {
        mivo3_buttons_hooks = {};
        if (pad) SDL_JoystickClose(pad);
        quon_joystick_exit();
        if (device >= 0) SDL_JoystickDetachVirtual(device);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    }
    // Everything released and centred, read once so that each part counts.
    void settle() {
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++) SDL_JoystickSetVirtualButton(pad, b, 0);
        stick(0, 0);
        player_button(0, joy_index);
        player_button(4, joy_index);
    }
    void press(SDL_GameControllerButton b, bool down = true) {
        SDL_JoystickSetVirtualButton(pad, b, down ? 1 : 0);
        SDL_JoystickUpdate();
    }
    void stick(int16_t x, int16_t y) {
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, x);
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, y);
        SDL_JoystickUpdate();
    }
};
ControllerButtons* ControllerButtons::self = nullptr;

TEST_F(ControllerButtons, FaceButtonsStartAndDpadMakeTheMachineButtons) {
    struct { SDL_GameControllerButton pad; int button; } cases[] = {
        {SDL_CONTROLLER_BUTTON_A, MIVO3_BTN_O},           {SDL_CONTROLLER_BUTTON_Y, MIVO3_BTN_O},
        {SDL_CONTROLLER_BUTTON_B, MIVO3_BTN_X},           {SDL_CONTROLLER_BUTTON_X, MIVO3_BTN_X},
        {SDL_CONTROLLER_BUTTON_START, MIVO3_BTN_PAUSE},   {SDL_CONTROLLER_BUTTON_DPAD_LEFT, MIVO3_BTN_LEFT},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, MIVO3_BTN_RIGHT}, {SDL_CONTROLLER_BUTTON_DPAD_UP, MIVO3_BTN_UP},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, MIVO3_BTN_DOWN},
    };
    for (const auto& c : cases) {
        press(c.pad);
        for (int b = 0; b < MIVO3_BUTTONS; b++)
            EXPECT_EQ(player_button(b, 0), b == c.button ? 255 : 0) << "pad button " << c.pad << ", slot " << b;
        press(c.pad, false);
    }
    press(SDL_CONTROLLER_BUTTON_BACK);
    press(SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
    for (int b = 0; b < MIVO3_BUTTONS; b++) EXPECT_EQ(player_button(b, 0), 0);
}

TEST_F(ControllerButtons, StickPastTheDeadZoneOverridesTheDpad) {
    stick(-32768, 0);
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 255) << "256 clamped";
    EXPECT_EQ(player_button(MIVO3_BTN_RIGHT, 0), 0);
    stick(-20000, 0);
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 156);
    stick(-15000, -15000);  // far enough, but each direction only 117: not held
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 117);
    EXPECT_EQ(player_button(MIVO3_BTN_UP, 0), 117);
    read_buttons();
    EXPECT_EQ(buttons.btn_down[0][MIVO3_BTN_LEFT], 0);
    stick(-16000, 0);  // inside the dead zone: the d-pad speaks
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 0);
    press(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 255);
    stick(20000, 0);
    EXPECT_EQ(player_button(MIVO3_BTN_LEFT, 0), 0) << "stick to the right wins over the d-pad";
    EXPECT_EQ(player_button(MIVO3_BTN_RIGHT, 0), 156);
}

TEST_F(ControllerButtons, JoystickIndexNamesThePlayerOfTheFirstController) {
    press(SDL_CONTROLLER_BUTTON_A);
    read_buttons();
    EXPECT_EQ(buttons.btn_down[0][MIVO3_BTN_O], 1);
    joy_index = 2;
    read_buttons();
    EXPECT_EQ(buttons.btn_down[0][MIVO3_BTN_O], 0);
    EXPECT_EQ(buttons.btn_down[2][MIVO3_BTN_O], 1);
    for (int p : {0, 1, 3, 7}) EXPECT_EQ(player_button(MIVO3_BTN_O, p), 0) << "player " << p;
    EXPECT_EQ(player_button(-1, 2), 0);
    EXPECT_EQ(player_button(MIVO3_BTN_O, 8), 0);
}

}  // namespace
