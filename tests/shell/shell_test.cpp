// The shell's frame pacing, message bar, key handling, boot animation and
// head-cart boot, in process.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/disk.h"
#include "host/quon.h"
#include "machine/draw.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/console.h"
#include "shell/pause_menu.h"
#include "shell/shell.h"
#include "storage/cart_image.h"
#include "storage/workflow.h"

namespace {

TEST(FrameAccumulator, ThirtyFramesASecondAtTwoMillisecondsAnUpdate) {
    int32_t acc = 0;
    int frames = 0;
    for (int i = 0; i < 500; i++) {  // one second of 2 ms updates
        acc = accumulate_frames(acc, 30, 2, false);
        if (acc >= 0x10000) {
            acc -= 0x10000;
            frames++;
        }
    }
    // (2 << 16) / 1000 truncates to 131, so a second owes a little under 30.
    EXPECT_EQ(frames, 29);
    EXPECT_EQ(accumulate_frames(0, 30, 2, false), 30 * 131);
}

TEST(FrameAccumulator, AStallOwesAtMostFourFrames) {
    EXPECT_EQ(accumulate_frames(0, 60, 5000, false), 0x40000);
    // Long enough to overflow a 32-bit product.
    EXPECT_EQ(accumulate_frames(0x30000, 60, 3'600'000, false), 0x40000);
    EXPECT_EQ(accumulate_frames(0x8000, 30, -100, false), 0);
    EXPECT_EQ(accumulate_frames(0, 30, 0, true), 0x10000);
    EXPECT_EQ(accumulate_frames(0x30000, 30, 1000, true), 0x10000);
}

TEST(FrameAccumulator, TheNextFrameFallsDueAtTheFirstUpdateThatOwesIt) {
    EXPECT_EQ(frame_due_ms(0, 30), 34);  // 33 ms owe 30 * 2162 < 0x10000
    EXPECT_EQ(frame_due_ms(0, 60), 17);
    EXPECT_EQ(frame_due_ms(0x10000, 30), 0);
    EXPECT_EQ(frame_due_ms(0x28000, 60), 0);
    for (int32_t rate : {15, 30, 60}) {
        for (int32_t acc = 0; acc < 0x10000; acc += 997) {
            const int32_t due = frame_due_ms(acc, rate);
            ASSERT_GT(due, 0);
            EXPECT_GE(accumulate_frames(acc, rate, due, false), 0x10000) << rate << " " << acc;
            EXPECT_LT(accumulate_frames(acc, rate, due - 1, false), 0x10000) << rate << " " << acc;
        }
    }
}

TEST(AudioPauseState, HoldsWhilePausedThenResumesThroughFourSteps) {
    EXPECT_EQ(next_audio_pause_state(0, true), 1);
    EXPECT_EQ(next_audio_pause_state(1, true), 1);
    std::vector<int32_t> seen;
    int32_t s = 1;
    for (int i = 0; i < 6; i++) seen.push_back(s = next_audio_pause_state(s, false));
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 3, 4, 5, 0, 0}));
    EXPECT_EQ(next_audio_pause_state(3, true), 1);
}

struct ShellSurface : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_buttons();
        reset_run_loop();
        quon_keys_init();
        page = quon_create_bitmap(128, 128, 8);
    }
    void TearDown() override { quon_destroy_bitmap(page); }
    int count(int y, uint8_t colour) {
        int n = 0;
        for (int x = 0; x < 128; x++) n += page->rows[y][x] == colour;
        return n;
    }
    quon_bitmap* page = nullptr;
};

TEST_F(ShellSurface, MessagesAlternateColourAndLastTheirTime) {
    // A message that starts at time 0 would not slide anyway.
    while (quon_get_time() == 0) SDL_Delay(1);
    const int32_t now = quon_get_time();
    show_message("first", 100);
    const int32_t first_colour = app.message_colour;
    EXPECT_STREQ(app.message_text, "first");
    EXPECT_GE(app.message_end - now, 500);
    EXPECT_LE(app.message_end - now, 520);
    show_message_2("%d of %d", 0, 3, 9);
    EXPECT_STREQ(app.message_text, "3 of 9");
    EXPECT_NE(app.message_colour, first_colour);
    EXPECT_TRUE(app.message_colour == 7 || app.message_colour == 15);
    EXPECT_NE(app.message_start, 0);  // a cart's message slides
    show_notice("sound off (ctrl-m)", 1400);
    EXPECT_EQ(app.message_colour, first_colour);
    EXPECT_EQ(app.message_start, 0);  // the shell's own notice stands still
    EXPECT_GE(app.message_end - now, 1400);
}

TEST_F(ShellSurface, MessageBarSlidesInAndOut) {
    app.message_start = 10000;
    app.message_end = 11000;
    std::strcpy(app.message_text, "");
    draw_message_bar(page, 10500);
    EXPECT_EQ(count(121, 8), 128);
    EXPECT_EQ(count(127, 8), 128);
    EXPECT_EQ(count(120, 8), 0);

    std::memset(page->data, 0, size_t(page->pitch) * 128);
    draw_message_bar(page, 10100);  // u = (10000 - 10100 + 200) / 20 = 5
    EXPECT_EQ(count(125, 8), 0);
    EXPECT_EQ(count(126, 8), 128);

    std::memset(page->data, 0, size_t(page->pitch) * 128);
    draw_message_bar(page, 11000);
    EXPECT_EQ(count(127, 8), 0);

    app.message_start = 0;  // no slide
    draw_message_bar(page, 10050);
    EXPECT_EQ(count(121, 8), 128);
}

TEST_F(ShellSurface, MessageBarNextChangeIsWhereItFirstLooksDifferent) {
    app.message_start = 10000;
    app.message_end = 11000;
    for (int32_t now = 10000; now < 11000; now++) {
        const int32_t next = message_bar_next_change(now);
        ASSERT_GT(next, now);
        ASSERT_LE(next, 11000);
        const int32_t u = message_bar_offset(now);
        for (int32_t t = now + 1; t < next; t++) ASSERT_EQ(message_bar_offset(t), u) << now << " " << t;
        ASSERT_NE(message_bar_offset(next), u) << now;
    }
    EXPECT_EQ(message_bar_offset(11000), -1);
    EXPECT_EQ(message_bar_next_change(11000), INT32_MAX);
    app.message_start = 0;  // a notice stands still until it ends
    EXPECT_EQ(message_bar_next_change(10050), 11000);
}

struct RunningKeys : ShellSurface {
    void hold_ctrl(bool held) {
        static uint8_t keys[SDL_NUM_SCANCODES];
        std::memset(keys, 0, sizeof keys);
        if (held) keys[SDL_SCANCODE_LCTRL] = 1;
        quon_keys_update(keys, SDL_NUM_SCANCODES, held ? KMOD_LCTRL : 0, quon_get_time());
    }
};

TEST_F(RunningKeys, TypedKeysFillTheKeyBufferTranslated) {
    hold_ctrl(false);
    for (int c : {int('a'), int('Z'), int('A'), 127, 200, int('1'), 153, 154}) quon_queue_key(c);
    process_running_keypresses();
    ASSERT_EQ(pstate.key_buffer_count, 6);
    const uint8_t expected[] = {'a', 153, 128, 8, '1', 153};
    for (int i = 0; i < 6; i++) EXPECT_EQ(pstate.key_buffer[i], expected[i]) << i;
    EXPECT_EQ(quonkey_buffer_pos, 0);
}

TEST_F(RunningKeys, KeyBufferStopsAt256) {
    hold_ctrl(false);
    for (int round = 0; round < 10; round++) {
        for (int i = 0; i < 30; i++) quon_queue_key('k');
        process_running_keypresses();
    }
    EXPECT_EQ(pstate.key_buffer_count, 256);
}

TEST_F(RunningKeys, ControlKeysPasteOrResetAndAreNotTyped) {
    quon_set_clipboard_text("pasted text");
    hold_ctrl(true);
    quon_queue_key('v');
    quon_queue_key('x');
    process_running_keypresses();
    EXPECT_EQ(app.paste_text, "pasted text");
    EXPECT_EQ(pstate.key_buffer_count, 0);

    app.last_reset_t = quon_get_time() - 1000;
    quon_queue_key('r');
    quon_queue_key('q');
    process_running_keypresses();
    EXPECT_EQ(pstate.glitch_timer, 1);
    EXPECT_EQ(quonkey_buffer_pos, 0);

    // Within 500 ms of the last reset a second Ctrl+R does nothing, even
    // once the first glitch has finished.
    pstate.glitch_timer = 0;
    quon_queue_key('r');
    process_running_keypresses();
    EXPECT_EQ(pstate.glitch_timer, 0);
    hold_ctrl(false);
}

// The boot animation and the head cart, with the resources of the data.pod
// the build packs.
struct Boot : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_buttons();
        reset_run_loop();
        reset_workflow();
        mivo_console_set_route(false, false);
        const std::string path = std::string(MIVO3_BINARY_DIR) + "/data.pod";
        mivo3_data_pod = quon_load_pod(path.c_str());
        ASSERT_NE(mivo3_data_pod, nullptr) << path;
        mivo3_resource_pod = quon_pod_load_item_pod(mivo3_data_pod, 1);
        mivo3_font_pod = quon_pod_load_item_pod(mivo3_data_pod, 2);
        ASSERT_NE(mivo3_resource_pod, nullptr);
        ASSERT_NE(mivo3_font_pod, nullptr);
        mivo3_print_font = mivo3_font_pod;
        mivo3_screen = quon_create_bitmap(128, 128, 8);
        pstate.cart = quon_create_mivo3_cart();
    }
    void TearDown() override {
        reset_workflow();
        mivo3_print_font = nullptr;
        quon_destroy_pod(mivo3_font_pod);
        quon_destroy_pod(mivo3_resource_pod);
        quon_destroy_pod(mivo3_data_pod);
        mivo3_font_pod = mivo3_resource_pod = mivo3_data_pod = nullptr;
        quon_destroy_bitmap(mivo3_screen);
        mivo3_screen = nullptr;
        quon_destroy_mivo3_cart(pstate.cart);
        pstate.cart = nullptr;
    }
    // Runs the boot animation up to and including frame `last`.
    void run_to(int32_t last) {
        while (pstate.frame_count <= last && pstate.shell_mode == 2) {
            move_boot();
            pstate.frame_count++;
        }
    }
    int count_colour(int y0, int y1, uint8_t colour) {
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = 0; x < 128; x++) n += mivo3_back_page->rows[y][x] == colour;
        return n;
    }
    // A pod item holding a 32 KiB cart image whose code is `code`.
    void add_cart_item(quon_pod* pod, const char* name, const char* code) {
        mivo3_cart* cart = quon_create_mivo3_cart();
        std::snprintf(cart->code, MIVO3_CODE_BUFFER_SIZE, "%s", code);
        std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0);
        ASSERT_EQ(save_mivo3_cart_32k(cart, block.data()), 0);
        quon_destroy_mivo3_cart(cart);
        quon_stream* s = quon_create_memory_stream();
        quon_fwrite(block.data(), 1, int64_t(block.size()), s);
        std::snprintf(s->name, sizeof s->name, "%s", name);
        cpod_add_item(pod, QUON_ITEM_FILE, s);
    }
};

TEST_F(Boot, SurfaceFrameByFrame) {
    boot_init();
    EXPECT_EQ(pstate.shell_mode, 2);
    EXPECT_EQ(pstate.frame_count, -15);
    run_to(0);
    for (int y = 0; y < 128; y += 2)
        for (int x = 0; x <= 124; x += 4)
            ASSERT_EQ(mivo3_back_page->rows[y][x], (((y + x) >> 3) & 7) + 6) << x << "," << y;

    run_to(26);
    const quon_bitmap* logo = quon_pod_bitmap(mivo3_resource_pod, 2);
    ASSERT_NE(logo, nullptr);
    ASSERT_EQ(logo->width, 40);
    ASSERT_EQ(logo->height, 10);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 40; x++) ASSERT_EQ(mivo3_back_page->rows[1 + y][1 + x], logo->rows[y][x]);
    // Everything below the logo was cleared.
    EXPECT_EQ(count_colour(12, 127, 0), 128 * 116);
    EXPECT_EQ(pstate.pen_colour, 6);

    run_to(31);
    EXPECT_GT(count_colour(12, 17, 6), 10);  // the version line, below the logo
    run_to(36);
    EXPECT_GT(count_colour(18, 23, 13), 10);  // the notice line
    EXPECT_GT(count_colour(30, 35, 6), 10);   // "booting cartridge.."
    EXPECT_EQ(pstate.shell_mode, 2);
}

TEST_F(Boot, MissingHeadCartKeepsTheBootScreen) {
    quon_pod* pod = quon_create_pod("test");
    for (int i = 0; i < 3; i++) cpod_add_item(pod, QUON_ITEM_FILE, quon_create_memory_stream());
    std::swap(pod, mivo3_data_pod);
    boot_init();
    run_to(80);
    EXPECT_EQ(pstate.shell_mode, 2);
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_GT(pstate.frame_count, 80);
    std::swap(pod, mivo3_data_pod);
    quon_destroy_pod(pod);
}

TEST_F(Boot, HeadCartBecomesTheWorkingCartAndTheRestAreMounted) {
    quon_pod* pod = quon_create_pod("test");
    for (int i = 0; i < 3; i++) cpod_add_item(pod, QUON_ITEM_FILE, quon_create_memory_stream());
    add_cart_item(pod, "head.m3", "print('head')");
    add_cart_item(pod, "second.m3", "print('second')");
    add_cart_item(pod, "third.m3", "print('third')");
    std::swap(pod, mivo3_data_pod);
    boot_init();
    run_to(76);
    EXPECT_EQ(pstate.shell_mode, 0);
    EXPECT_EQ(pstate.pending_command, 1);
    EXPECT_STREQ(current_cart_filename(), "head.m3");
    ASSERT_NE(mivo3_current_cart, nullptr);
    EXPECT_STREQ(mivo3_current_cart->code, "print('head')");
    EXPECT_EQ(mivo3_current_cart->version, 17);
    // The head cart is mounted as well, for a way back to it.
    EXPECT_EQ(embedded_cart_count(), 3);
    EXPECT_NE(get_embedded_cart_hash_for_filename("head.m3", 0), nullptr);
    EXPECT_NE(get_embedded_cart_hash_for_filename("third.m3", 0), nullptr);
    std::swap(pod, mivo3_data_pod);
    quon_destroy_pod(pod);
}

TEST_F(Boot, DrawComposesAfterAFrameAndNotOnAnIdlePass) {
    const int32_t headless = cconfig.headless;
    cconfig.headless = 1;
    video_frame_bmp = quon_create_bitmap(128, 128, 8);
    pstate.shell_mode = 0;
    auto frame = [] {
        app.frame_accumulator = 0x10000;
        quon_main_update();
    };
    frame();
    quon_main_draw();
    ASSERT_NE(quon_back_page, nullptr);
    EXPECT_EQ(video_frame_bmp->rows[125][64], 6) << "the stopped bar";
    mivo3_back_page->rows[10][10] = 5;
    quon_main_draw();
    EXPECT_EQ(video_frame_bmp->rows[10][10], 0) << "nothing ran: the picture stands";
    frame();
    quon_main_draw();
    EXPECT_EQ(video_frame_bmp->rows[10][10], 5);

    show_notice("saved", 1400);
    quon_main_draw();
    EXPECT_EQ(quon_back_page->rows[121][64], 8) << "a message is drawn at once";
    quon_destroy_bitmap(video_frame_bmp);
    video_frame_bmp = nullptr;
    quon_destroy_bitmap(quon_back_page);
    quon_back_page = nullptr;
    cconfig.headless = headless;
}

TEST_F(Boot, ATruncatedHeadCartIsNotLoaded) {
    quon_pod* pod = quon_create_pod("test");
    for (int i = 0; i < 3; i++) cpod_add_item(pod, QUON_ITEM_FILE, quon_create_memory_stream());
    quon_stream* s = quon_create_memory_stream();
    quon_fwrite("abc", 1, 3, s);
    cpod_add_item(pod, QUON_ITEM_FILE, s);
    std::swap(pod, mivo3_data_pod);
    boot_init();
    boot_embedded_cart();
    EXPECT_EQ(pstate.shell_mode, 2);
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_EQ(mivo3_current_cart, nullptr);
    std::swap(pod, mivo3_data_pod);
    quon_destroy_pod(pod);
}

}  // namespace

namespace {

// Whole updates of the shell with a key held down.
struct Updates : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_buttons();
        reset_run_loop();
        quon_keys_init();
        quon_quit = 0;
        pstate.cart = quon_create_mivo3_cart();
    }
    void TearDown() override {
        quon_quit = 0;
        hold(0);
        quon_destroy_mivo3_cart(pstate.cart);
        pstate.cart = nullptr;
    }
    void hold(int scancode) {
        static uint8_t keys[SDL_NUM_SCANCODES];
        std::memset(keys, 0, sizeof keys);
        if (scancode) keys[scancode] = 1;
        quon_keys_update(keys, SDL_NUM_SCANCODES, 0, quon_get_time());
    }
    // Updates with at least a frame owed each time.
    void updates(int n) {
        for (int i = 0; i < n; i++) {
            app.frame_accumulator = 0x10000;
            quon_main_update();
        }
    }
};

TEST_F(Updates, StoppedModeEndsOnAButtonOfPlayerZero) {
    pstate.shell_mode = 0;
    updates(3);
    EXPECT_EQ(quon_quit, 0);
    hold(SDL_SCANCODE_Z);
    updates(3);
    EXPECT_EQ(quon_quit, 1);
}

TEST_F(Updates, ButtonsDoNotEndTheBootOrTheKeyConfigurationScreen) {
    pstate.shell_mode = 2;
    pstate.frame_count = 40;
    hold(SDL_SCANCODE_X);
    updates(3);
    EXPECT_EQ(quon_quit, 0);
    EXPECT_EQ(pstate.frame_count, 43);

    pstate.shell_mode = 0;
    pstate.overlay = 1;
    updates(3);
    EXPECT_EQ(quon_quit, 0);
    pstate.overlay = 0;
}

TEST_F(Updates, KioskOverlayEndsOnAButtonOfPlayerZero) {
    pstate.shell_mode = 0;
    pstate.overlay = 2;
    updates(3);
    EXPECT_EQ(quon_quit, 0);
    hold(SDL_SCANCODE_X);
    updates(3);
    EXPECT_EQ(quon_quit, 1);
}

TEST_F(Updates, CtrlMTogglesTheSound) {
    cconfig.sound_volume = 200;
    static uint8_t keys[SDL_NUM_SCANCODES];
    std::memset(keys, 0, sizeof keys);
    keys[SDL_SCANCODE_LCTRL] = 1;
    keys[SDL_SCANCODE_M] = 1;
    quon_keys_update(keys, SDL_NUM_SCANCODES, KMOD_LCTRL, quon_get_time());
    pstate.shell_mode = 0;
    pstate.overlay = 1;
    quon_main_update();
    EXPECT_EQ(cconfig.sound_volume, 0);
    EXPECT_STREQ(app.message_text, "sound off (ctrl-m)");
    EXPECT_EQ(app.saved_volume, 200);
    keys[SDL_SCANCODE_M] = 0;
    quon_keys_update(keys, SDL_NUM_SCANCODES, KMOD_LCTRL, quon_get_time());
    keys[SDL_SCANCODE_M] = 1;
    quon_keys_update(keys, SDL_NUM_SCANCODES, KMOD_LCTRL, quon_get_time());
    quon_main_update();
    EXPECT_EQ(cconfig.sound_volume, 200);
    EXPECT_STREQ(app.message_text, "sound on (ctrl-m)");
    cconfig.sound_volume = 256;
    pstate.overlay = 0;
}

TEST_F(Updates, JoystickNoticesWaitUntilTheBootIsOver) {
    pstate.shell_mode = 2;
    quon_joystick_connected_notice = 0x100 | 2;
    quon_main_update();
    EXPECT_EQ(quon_joystick_connected_notice, 0);
    EXPECT_STREQ(app.message_text, "");
    pstate.shell_mode = 0;
    pstate.overlay = 1;
    quon_joystick_disconnected_notice = 0x100 | 3;
    quon_main_update();
    EXPECT_STREQ(app.message_text, "joystick 3 disconnected");
    pstate.overlay = 0;
}

}  // namespace

namespace {

// A cart running under the shell's own updates, driven by key events: it
// counts its updates at 0x4300 and notes at 0x4301 whether it ever saw O.
struct PausedCart : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_buttons();
        reset_run_loop();
        reset_workflow();
        quon_keys_init();
        quon_quit = 0;
        shell_install_hooks();
        pstate.cart = quon_create_mivo3_cart();
        mivo3_cart* cart = quon_create_mivo3_cart();
        std::snprintf(cart->code, MIVO3_CODE_BUFFER_SIZE, "%s",
                      "menuitem(1, 'extra', function() poke(0x4302, 1) end)\n"
                      "function _update() poke(0x4300, peek(0x4300) + 1) if btnp(4) then poke(0x4301, 1) end end\n"
                      "function _draw() end");
        prepare_loaded_cart(cart, "paused.m3");
        pstate.pending_command = 1;
        updates(1);
        ASSERT_EQ(pstate.shell_mode, 1);
        ASSERT_TRUE(pstate.program_running);
    }
    void TearDown() override {
        quon_quit = 0;
        hold(0);
        mivo3_close_language_state();
        reset_workflow();
        quon_destroy_mivo3_cart(pstate.cart);
        pstate.cart = nullptr;
    }
    void hold(int scancode) {
        static uint8_t keys[SDL_NUM_SCANCODES];
        std::memset(keys, 0, sizeof keys);
        if (scancode) keys[scancode] = 1;
        quon_keys_update(keys, SDL_NUM_SCANCODES, 0, quon_get_time());
    }
    void updates(int n) {
        for (int i = 0; i < n; i++) {
            app.frame_accumulator = 0x10000;
            quon_main_update();
        }
    }
    // Holds the key for three frames, then releases it for three.
    void tap(int scancode) {
        hold(scancode);
        updates(3);
        hold(0);
        updates(3);
    }
    int counter() { return mivo3_peek(&pstate, pstate.cart, 0x4300); }
};

TEST_F(PausedCart, PauseFreezesTheCartAndContinueDoesNotLeakThePress) {
    updates(5);
    EXPECT_GT(counter(), 2);
    tap(SDL_SCANCODE_P);
    ASSERT_EQ(app.pause_mode, 1);
    EXPECT_EQ(app.pause_menu_count, 4);  // continue, extra, reset cart, quit
    const int frozen = counter();
    updates(10);
    EXPECT_EQ(counter(), frozen);
    EXPECT_EQ(quon_state.audio_pause_state.load(), 1);

    tap(SDL_SCANCODE_Z);  // O on "continue"
    EXPECT_EQ(app.pause_mode, 0);
    updates(10);
    EXPECT_GT(counter(), frozen);
    EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, 0x4301), 0);
    EXPECT_EQ(quon_state.audio_pause_state.load(), 0);
}

TEST_F(PausedCart, CustomItemCallsTheCartBack) {
    tap(SDL_SCANCODE_P);
    ASSERT_EQ(app.pause_mode, 1);
    tap(SDL_SCANCODE_DOWN);
    EXPECT_EQ(app.pause_menu_cursor, 1);
    tap(SDL_SCANCODE_X);
    EXPECT_EQ(app.pause_mode, 0);
    updates(3);
    EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, 0x4302), 1);
}

TEST_F(PausedCart, ResetCartGlitchesAndRestarts) {
    updates(30);
    ASSERT_GE(mivo3_run.slice_count, 30);
    tap(SDL_SCANCODE_P);
    tap(SDL_SCANCODE_UP);
    tap(SDL_SCANCODE_UP);  // from continue, up twice: reset cart
    ASSERT_STREQ(paused_menu_item[app.pause_menu_cursor].label, "reset cart");
    tap(SDL_SCANCODE_Z);
    // The glitch runs for four frames, then the cart starts afresh.
    updates(8);
    EXPECT_EQ(pstate.glitch_timer, 0);
    EXPECT_EQ(pstate.shell_mode, 1);
    EXPECT_LT(mivo3_run.slice_count, 14);  // counted afresh since the restart
}

TEST_F(PausedCart, LoadedCartIsHeldThenThePauseMenuLeadsBack) {
    mivo3_cart* other = quon_create_mivo3_cart();
    std::snprintf(other->code, MIVO3_CODE_BUFFER_SIZE, "%s", "function _update() poke(0x4303, 7) end");
    mount_embedded_cart(other, "other.m3");
    quon_destroy_mivo3_cart(other);
    mount_embedded_cart(mivo3_current_cart, "paused.m3");
    const std::string_view name = "other", crumb = "back to paused";
    ASSERT_EQ(command_load(&name, &crumb, nullptr), 1);
    EXPECT_EQ(pstate.frames_to_hold, 30);
    updates(30);
    EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, 0x4303), 0);  // still held
    updates(3);
    EXPECT_EQ(mivo3_peek(&pstate, pstate.cart, 0x4303), 7);
    EXPECT_STREQ(current_cart_filename(), "other.m3");

    tap(SDL_SCANCODE_P);
    tap(SDL_SCANCODE_UP);
    tap(SDL_SCANCODE_UP);  // from continue, up twice: the way back
    ASSERT_STREQ(paused_menu_item[app.pause_menu_cursor].label, "back to paused");
    const int before = counter();
    tap(SDL_SCANCODE_Z);
    updates(30);
    EXPECT_STREQ(current_cart_filename(), "paused.m3");
    EXPECT_GT(counter(), before);
    EXPECT_EQ(run_chain_depth(), 0);
    quon_vdisk_clear();
}

TEST_F(PausedCart, EscapeClosesTheMenuAndQuitEndsThePlayer) {
    tap(SDL_SCANCODE_P);
    ASSERT_EQ(app.pause_mode, 1);
    hold(SDL_SCANCODE_ESCAPE);
    quon_main_update();
    EXPECT_EQ(app.pause_mode, 0);
    hold(0);
    updates(3);
    tap(SDL_SCANCODE_P);
    tap(SDL_SCANCODE_UP);
    tap(SDL_SCANCODE_Z);
    EXPECT_EQ(quon_quit, 1);
}

}  // namespace
