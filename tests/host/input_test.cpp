#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/quon.h"
#include "tests/host/test_app.h"

namespace {

struct Keys : ::testing::Test {
    uint8_t platform[QUON_KEY_COUNT] = {};
    void SetUp() override {
        quon_keys_init();
        quon_config_default();
    }
    void TearDown() override { quon_config_default(); }
    void update(int32_t now, uint32_t mods = 0) { quon_keys_update(platform, QUON_KEY_COUNT, mods, now); }
};

TEST_F(Keys, HeldKeyReportsPressThenHeldThenRepeats) {
    const int k = SDL_SCANCODE_A;
    platform[k] = 1;
    update(1000);
    EXPECT_EQ(quon_get_key_state(k), 3) << "first update: a new press";
    update(1100);
    EXPECT_EQ(quon_get_key_state(k), 1);
    update(1499);
    EXPECT_EQ(quon_get_key_state(k), 1);
    update(1500);
    EXPECT_EQ(quon_get_key_state(k), 3) << "first repeat 500 ms after the press";
    update(1540);
    EXPECT_EQ(quon_get_key_state(k), 1);
    update(1580);
    EXPECT_EQ(quon_get_key_state(k), 3) << "then every 80 ms";
    update(1600);
    EXPECT_EQ(quon_get_key_state(k), 1);
    platform[k] = 0;
    update(1700);
    EXPECT_EQ(quon_get_key_state(k), 0);
}

TEST_F(Keys, BlockedKeyReadsUpUntilReleasedAndPressedAgain) {
    const int k = SDL_SCANCODE_Z;
    platform[k] = 1;
    update(0);
    quon_block_key(k);
    EXPECT_EQ(quon_get_key_state(k), 0);
    update(100);
    update(600);  // even a repeat stays silent
    EXPECT_EQ(quon_get_key_state(k), 0);
    platform[k] = 0;
    update(700);
    EXPECT_EQ(block_quonkey[k], 0) << "released: unblocked";
    platform[k] = 1;
    update(800);
    EXPECT_EQ(quon_get_key_state(k), 3);
}

TEST_F(Keys, ModifierPairsReportTheFirstKeyDown) {
    platform[SDL_SCANCODE_RSHIFT] = 1;
    update(0);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_SHIFT), 3);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_CONTROL), 0);
    // Control falls back to the system keys, which come from the modifier state.
    update(10, KMOD_LGUI);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_SYSTEM), 3);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_CONTROL), 3);
    update(20, KMOD_RALT | KMOD_LGUI);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_ALT), 3);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_SYSTEM), 1);
    EXPECT_EQ(quon_get_key_state(QUON_KEY_SPARE), 0) << "nothing sets the fourth pair";
}

TEST_F(Keys, AnyKeyDownIgnoresCapsLockAndOutOfRangeCodesReadUp) {
    platform[SDL_SCANCODE_CAPSLOCK] = 1;
    update(0);
    EXPECT_EQ(quon_get_any_key_down(), 0);
    platform[SDL_SCANCODE_M] = 1;
    platform[SDL_SCANCODE_B] = 1;
    update(10);
    EXPECT_EQ(quon_get_any_key_down(), SDL_SCANCODE_B);
    EXPECT_EQ(quon_get_key_state(512), 0);
    EXPECT_EQ(quon_get_key_state(-100), 0);
}

TEST_F(Keys, KeyNamesAreUpperCase) {
    EXPECT_STREQ(quon_get_key_name(SDL_SCANCODE_A), "A");
    EXPECT_STREQ(quon_get_key_name(SDL_SCANCODE_RETURN), "RETURN");
    EXPECT_STREQ(quon_get_key_name(0), "?");
    EXPECT_STREQ(quon_get_key_name(9999), "?");
}

TEST(KeyTranslation, SpecialKeysAndControlLetters) {
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 0, true), 8);
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0, true), 13);
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0, true), 27);
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_TAB, SDLK_TAB, 0, true), 9);
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_TAB, SDLK_TAB, KMOD_LALT, true), 0) << "Alt+Tab types nothing";
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_TAB, SDLK_TAB, 0, false), 0) << "just after the focus came back";
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_R, SDLK_r, KMOD_LCTRL, true), 'r');
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_7, SDLK_7, KMOD_RCTRL, true), '7');
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_R, SDLK_r, KMOD_LCTRL | KMOD_LSHIFT, true), 0)
        << "Shift excludes the Control translation";
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_R, SDLK_r, KMOD_LCTRL | KMOD_LALT, true), 0);
    EXPECT_EQ(quon_translate_key(SDL_SCANCODE_R, SDLK_r, 0, true), 0) << "plain letters come as text";
}

TEST(KeyTranslation, EmulatedTextUsesAUsLayout) {
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_Q, false), 'q');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_Q, true), 'q') << "letters stay lower case";
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_SPACE, true), ' ');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_1, false), '1');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_1, true), '!');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_0, true), ')');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_9, true), '(');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_APOSTROPHE, true), '"');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_GRAVE, true), '~');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_BACKSLASH, false), '\\');
    EXPECT_EQ(quon_emulated_char(SDL_SCANCODE_F1, false), 0);
}

TEST_F(Keys, QueueHoldsThirtyTwoEntriesInOrder) {
    for (int i = 0; i < 40; i++) quon_queue_key('a' + i % 26);
    EXPECT_EQ(quonkey_buffer_pos, 32);
    EXPECT_TRUE(quon_keypressed());
    EXPECT_EQ(quon_readkey(), 'a');
    EXPECT_EQ(quon_readkey(), 'b');
    EXPECT_EQ(quonkey_buffer_pos, 30);
}

TEST_F(Keys, ControlOneTogglesTheCounterOncePerPress) {
    platform[SDL_SCANCODE_LCTRL] = 1;
    platform[SDL_SCANCODE_1] = 1;
    update(0, KMOD_LCTRL);
    EXPECT_FALSE(quon_take_char('1'));
    EXPECT_EQ(cconfig.show_fps, 1);
    EXPECT_EQ(quonkey_buffer_pos, 0);
    // Still held in the next updates: no second toggle.
    update(10, KMOD_LCTRL);
    EXPECT_TRUE(quon_take_char(-1));
    update(600, KMOD_LCTRL);
    EXPECT_TRUE(quon_take_char(-1));
    EXPECT_EQ(cconfig.show_fps, 1);
    platform[SDL_SCANCODE_1] = 0;
    update(700, KMOD_LCTRL);
    platform[SDL_SCANCODE_1] = 1;
    update(800, KMOD_LCTRL);
    EXPECT_FALSE(quon_take_char('1'));
    EXPECT_EQ(cconfig.show_fps, 0);
}

TEST_F(Keys, AltEnterIsTakenOncePerPressOfEnter) {
    platform[SDL_SCANCODE_LALT] = 1;
    platform[SDL_SCANCODE_RETURN] = 1;
    update(0, KMOD_LALT);
    EXPECT_FALSE(quon_take_char(13));
    EXPECT_TRUE(quon_take_char(13)) << "Enter is blocked until released";
    quon_config_default();
}

TEST(JoystickValidation, AxisRestingAtTheEndReadsZeroUntilItPassedTheCentre) {
    quon_joystick_validation v;
    EXPECT_EQ(quon_validate_axis(v, 2, -32768), 0);
    EXPECT_EQ(quon_validate_axis(v, 2, -20000), 0);
    EXPECT_EQ(quon_validate_axis(v, 2, -16383), -16383);
    EXPECT_EQ(quon_validate_axis(v, 2, -32768), -32768) << "validated for good";
    EXPECT_EQ(quon_validate_axis(v, 3, 32767), 0) << "each axis on its own";
    EXPECT_EQ(quon_validate_axis(v, 40, 0), 0);
}

TEST(JoystickValidation, ButtonCountsOnlyAfterItWasSeenReleased) {
    quon_joystick_validation v;
    EXPECT_FALSE(quon_validate_button(v, 0, true));
    EXPECT_FALSE(quon_validate_button(v, 0, false));
    EXPECT_TRUE(quon_validate_button(v, 0, true));
    EXPECT_FALSE(quon_validate_button(v, 1, true));
}

TEST(JoystickValidation, MappingLinesSkipCommentsAndBlanks) {
    EXPECT_EQ(quon_add_controller_mapping_line("   "), 0);
    EXPECT_EQ(quon_add_controller_mapping_line("// comment"), 0);
    EXPECT_EQ(quon_add_controller_mapping_line(nullptr), 0);
}

struct Pump : ::testing::Test {
    test_app::temp_folder home;
    void SetUp() override {
        test_app::reset();
        test_app::start({"-home", home.path, "-windowed", "1"});
        quon_set_screen(128, 128, 8, 0x100);
    }
    void TearDown() override { quon_exit(); }
};

TEST_F(Pump, TypedCharactersAndWheelReachTheHost) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strcpy(e.text.text, "k");
    SDL_PushEvent(&e);
    std::strcpy(e.text.text, "\xc3\xa9");  // two bytes: not a single character
    SDL_PushEvent(&e);
    SDL_Event w{};
    w.type = SDL_MOUSEWHEEL;
    w.wheel.y = 3;
    SDL_PushEvent(&w);
    quon_handle_messages();
    ASSERT_EQ(quonkey_buffer_pos, 1);
    EXPECT_EQ(quonkey_buffer[0], 'k');
    EXPECT_EQ(quon_wheel_y, 3);
    EXPECT_EQ(quon_wheel_copy_y, 3);
}

TEST_F(Pump, FocusEventsDriveTheActivityFlag) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    // Events are taken only from the window the program has open now.
    auto* window = static_cast<SDL_Window*>(quon_platform_window());
    ASSERT_NE(window, nullptr);
    e.window.windowID = SDL_GetWindowID(window);
    ASSERT_NE(e.window.windowID, 0u);
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    quon_handle_messages();
    EXPECT_EQ(quon_system_active, 0);
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
    quon_handle_messages();
    EXPECT_EQ(quon_system_active, 1);
    EXPECT_TRUE(quon_app_active());
}

TEST_F(Pump, MouseIsReportedInBackPagePixels) {
    int32_t x = -1, y = -1, b = -1;
    quon_get_mouse(&x, &y, &b);
    // The dummy pointer rests at the window origin, left of the centred picture.
    quon_rect r = quon_get_dest_rect();
    ASSERT_GT(r.w, 0);
    EXPECT_EQ(x, static_cast<int32_t>(int64_t(0 - r.x) * 128 / r.w));
    EXPECT_EQ(y, static_cast<int32_t>(int64_t(0 - r.y) * 128 / r.h));
    EXPECT_EQ(b, 0);
}

}  // namespace

namespace {

TEST(Clipboard, WorksWithoutAPlatformClipboard) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    quon_set_clipboard_text("");
    EXPECT_EQ(quon_has_clipboard_text(), 0);
    quon_set_clipboard_text("print(1)");
    EXPECT_EQ(quon_has_clipboard_text(), 1);
    EXPECT_EQ(quon_get_clipboard_text(), "print(1)");
}

TEST(Clipboard, LoadsAFileOfAtMostOneMebibyte) {
    test_app::temp_folder dir;
    EXPECT_EQ(quon_load_clipboard_from_file((dir.path + "missing.txt").c_str()), 1);
    dir.write("big.txt", std::string((1 << 20) + 100, 'q'));
    EXPECT_EQ(quon_load_clipboard_from_file((dir.path + "big.txt").c_str()), 0);
    EXPECT_EQ(quon_get_clipboard_text().size(), size_t(1) << 20);
    dir.write("small.txt", "line one\nline two\n");
    EXPECT_EQ(quon_load_clipboard_from_file((dir.path + "small.txt").c_str()), 0);
    EXPECT_EQ(quon_get_clipboard_text(), "line one\nline two\n");
}

TEST_F(Pump, PlatformClipboardRoundTrip) {
    quon_set_clipboard_text("hello clip");
    EXPECT_EQ(quon_has_clipboard_text(), 1);
    EXPECT_EQ(quon_get_clipboard_text(), "hello clip");
}

}  // namespace

namespace {

TEST_F(Pump, EventsOfAWindowThatIsGoneAreIgnored) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(quon_platform_window())) + 100;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    quon_quit = 0;
    quon_handle_messages();
    EXPECT_EQ(quon_quit, 0);
}

}  // namespace
