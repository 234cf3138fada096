#include "shell/shell.h"

#include <SDL.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "audio/audio.h"
#include "browser/favourites.h"
#include "browser/labels.h"
#include "host/quon.h"
#include "machine/draw.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/console.h"
#include "shell/glitch.h"
#include "shell/keyconfig.h"
#include "shell/options.h"
#include "shell/pause_menu.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/text_cart.h"
#include "storage/workflow.h"

quon_pod* mivo3_data_pod = nullptr;
quon_pod* mivo3_resource_pod = nullptr;
quon_pod* mivo3_font_pod = nullptr;
mivo3_cart* mivo3_boot_cart = nullptr;
mivo3_cart* mivo3_display_cart = nullptr;
quon_bitmap* mivo3_screen = nullptr;
quon_bitmap* video_frame_bmp = nullptr;
mivo3_capture_hooks mivo3_capture;
mivo3_runner_hooks mivo3_runner;

static int32_t last_t = 0;
static int32_t frame_flipper = 0;
// The last slice ran out of budget before its frame was flipped.
static bool slice_unfinished = false;

// The picture needs composing again: since the last composition a machine
// frame ran, a command ran, a message came, or the pause menu or key screen
// was closed. What moves with time or keys alone (the message bar sliding,
// the pause menu's tint under Shift) is checked when drawing, against what
// the last composition showed.
static bool screen_dirty = true;
static int32_t composed_bar = -1;
static bool composed_tint = false;

void blit_mivo3_back_page_to_mivo3_screen(bool apply_mode, int32_t mode) {
    uint8_t map[256];
    for (int v = 0; v < 256; v++) map[v] = uint8_t(pstate.display_palette[v & 15] & 0x8f);
    for (int32_t y = 0; y < 128; y++) {
        const uint8_t* src = mivo3_back_page->rows[y];
        uint8_t* dst = mivo3_screen->rows[y];
        for (int32_t x = 0; x < 128; x++) dst[x] = map[src[x]];
    }
    if (!apply_mode) return;
    auto stretch_h = [] {
        for (int32_t y = 0; y < 128; y++) {
            uint8_t* row = mivo3_screen->rows[y];
            for (int32_t x = 127; x >= 0; x--) row[x] = row[x >> 1];
        }
    };
    auto stretch_v = [] {
        for (int32_t y = 127; y >= 0; y--) std::memcpy(mivo3_screen->rows[y], mivo3_screen->rows[y >> 1], 128);
    };
    auto mirror_h = [] {
        for (int32_t y = 0; y < 128; y++) {
            uint8_t* row = mivo3_screen->rows[y];
            for (int32_t x = 0; x < 64; x++) row[127 - x] = row[x];
        }
    };
    auto mirror_v = [] {
        for (int32_t y = 0; y < 64; y++) std::memcpy(mivo3_screen->rows[127 - y], mivo3_screen->rows[y], 128);
    };
    switch (mode) {
        case 1: stretch_h(); break;
        case 2: stretch_v(); break;
        case 3: stretch_h(); stretch_v(); break;
        case 5: mirror_h(); break;
        case 6: mirror_v(); break;
        case 7: mirror_h(); mirror_v(); break;
        default: break;
    }
}

void shell_fill_rect(quon_bitmap* dst, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t c) {
    if (!dst || dst->bits != 8) return;
    x0 = std::max(x0, dst->cx0);
    y0 = std::max(y0, dst->cy0);
    x1 = std::min(x1, dst->cx1 - 1);
    y1 = std::min(y1, dst->cy1 - 1);
    for (int32_t y = y0; y <= y1; y++)
        if (x1 >= x0) std::memset(dst->rows[y] + x0, c, size_t(x1 - x0 + 1));
}

void shell_frame_rect(quon_bitmap* dst, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t c) {
    shell_fill_rect(dst, x0, y0, x1, y0, c);
    shell_fill_rect(dst, x0, y1, x1, y1, c);
    shell_fill_rect(dst, x0, y0, x0, y1, c);
    shell_fill_rect(dst, x1, y0, x1, y1, c);
}

void shell_draw_icon(quon_bitmap* dst, const quon_bitmap* icon, int32_t x, int32_t y) {
    if (!dst || !icon || dst->bits != 8 || icon->bits != 8) return;
    for (int32_t j = 0; j < icon->height; j++) {
        const int32_t ty = y + j;
        if (ty < dst->cy0 || ty >= dst->cy1) continue;
        const uint8_t* src = icon->rows[j];
        for (int32_t i = 0; i < icon->width; i++) {
            const int32_t tx = x + i;
            if (tx < dst->cx0 || tx >= dst->cx1 || !src[i]) continue;
            dst->rows[ty][tx] = src[i];
        }
    }
}

static void clear_bitmap(quon_bitmap* bmp) {
    if (!bmp) return;
    for (int32_t y = 0; y < bmp->height; y++) std::memset(bmp->rows[y], 0, size_t(bmp->pitch));
}

// The message bar.

static void set_message(const char* text, int32_t start, int32_t duration) {
    screen_dirty = true;
    std::snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    app.message_start = start;
    app.message_end = quon_get_time() + duration;
    app.message_colour = app.message_colour == 15 ? 7 : 15;
}

void show_message(const char* text, int32_t extra_ms) {
    set_message(text, quon_get_time(), 400 + std::max(extra_ms, 0));
}

void show_message_2(const char* format, int32_t extra_ms, int32_t a, int32_t b) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    show_message(text, extra_ms);
}

// The shell's own notices stand still; messages of carts and captures slide.
void show_notice(const char* text, int32_t ms) { set_message(text, 0, ms); }

void show_capture_message(const char* text, int32_t ms) { set_message(text, quon_get_time(), ms); }

int32_t message_bar_offset(int32_t now) {
    if (now >= app.message_end) return -1;
    int32_t u = 0;
    if (app.message_start != 0) {
        if (now > app.message_end - 200) u = (now - app.message_end + 200) / 20;
        else if (now < app.message_start + 200) u = (app.message_start - now + 200) / 20;
    }
    return u;
}

int32_t message_bar_next_change(int32_t now) {
    if (now >= app.message_end) return INT32_MAX;
    if (app.message_start == 0) return app.message_end;
    const int32_t u = message_bar_offset(now);
    // A bar at rest stays so until its slide out begins; while sliding it
    // moves a line every 20 ms.
    int32_t t = now + 1;
    if (u == 0) t = std::max(t, app.message_end - 199);
    for (; t < app.message_end; t++)
        if (message_bar_offset(t) != u) return t;
    return app.message_end;
}

void draw_message_bar(quon_bitmap* page, int32_t now) {
    const int32_t u = message_bar_offset(now);
    if (u < 0) return;
    const bool mouse = std::strcmp(app.message_text, "devkit mouse enabled") == 0;
    const bool keyboard = std::strcmp(app.message_text, "devkit keyboard enabled") == 0;
    if (mouse || keyboard) {
        // A panel just wide enough for the icon and the text.
        const int32_t w = 12 + quon_get_text_width(app.message_text, mivo3_font_pod);
        shell_fill_rect(page, 0, 119 + u, w + 2, 127 + u, 6);
        shell_frame_rect(page, 0, 119 + u, w + 2, 128 + u, 5);
        shell_draw_icon(page, quon_pod_bitmap(mivo3_resource_pod, mouse ? 226 : 227), 2, 120 + u);
        quon_draw_text_ex(page, app.message_text, mivo3_font_pod, 11, 122 + u, QUON_TEXT_COLOURISE,
                          uint32_t(app.message_colour));
        return;
    }
    shell_fill_rect(page, 0, 121 + u, 128, 127 + u, 8);
    quon_draw_text_ex(page, app.message_text, mivo3_font_pod, 1, 122 + u, QUON_TEXT_COLOURISE,
                      uint32_t(app.message_colour));
}

// Hooks the layers below call.

static std::string fs_basename(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static void console_print(const char* text, int32_t colour) { mivo_print_col(text, colour); }
static void message_hook(const char* text, int32_t ms) { set_message(text, quon_get_time(), ms); }
static int32_t accept_future_hook() { return app.accept_future; }
static int32_t slow_repeat_hook() { return quon_state.frame_paused || app.pause_mode; }
static int32_t pause_menu_open_hook() { return app.pause_mode; }
static int32_t program_running_hook() { return pstate.shell_mode == 1 && pstate.program_running; }
static int32_t joystick_index_hook() { return app.joystick_index; }
static void set_paused_hook(int32_t v) {
    quon_state.frame_paused = v;
    app.pause_mode = v;
    if (v) build_paused_menu();
}
static void open_pause_menu_hook() {
    // Headless under -x nobody could ever close the menu again.
    if (!pstate.program_running || app.pause_mode || app.x_switch) return;
    app.pause_mode = 1;
    build_paused_menu();
    app.pause_menu_cursor = 0;
    block_buttons();
}
static void close_pause_menu_hook() { app.pause_mode = 0; }
// A reset restarts the cart; a pause menu left open would keep the glitch
// from ever running.
static void reset_glitch_hook() {
    close_pause_menu_hook();
    quon_state.frame_paused = 0;
    start_reset_glitch();
}
static void pause_frame_hook() { update_paused_menu(); }
static void save_cart_data_hook() { save_cdata(); }
static void cart_hash_hook(char out[41]) {
    const mivo3_cart* cart = mivo3_current_cart ? mivo3_current_cart : pstate.cart;
    if (cart) hash_cart(cart, out);
    else out[0] = 0;
}
static void forum_id_hook(char* out, int32_t size) {
    if (!out || size <= 0) return;
    out[0] = 0;
    // Only carts kept in the downloaded-carts folder carry a forum id.
    const std::string bbs = quon_prefix_with_appdata_path("bbs/");
    const std::string file = current_cart_filename();
    if (file.compare(0, bbs.size(), bbs) != 0) return;
    std::snprintf(out, size_t(size), "%s", get_lid_from_filename(fs_basename(file)).c_str());
}
static int32_t load_cart_hook(const char* file) { return load_working_cart(file); }
static void delay_input_hook(int32_t frames) { pstate.frames_to_hold = std::max(pstate.frames_to_hold, frames); }
static int32_t framerate_control_hook() { return app.host_framerate_control; }
static int32_t quit_when_stopped_hook() { return app.x_switch; }
static void request_shutdown_hook() { quon_quit = 1; }
static int32_t pause_menu_lines_hook() {
    build_paused_menu();
    return app.pause_menu_count;
}
static int32_t startup_cart_given_hook() { return app.cart_name[0] != 0; }
static std::string log_folder_hook() { return current_folder_path(); }
static int32_t last_draw_ms = 0;
static int32_t draw_ms_hook() { return last_draw_ms; }

void shell_install_hooks() {
    mivo3_storage.print = console_print;
    mivo3_storage.show_message = message_hook;
    mivo3_storage.accept_future = accept_future_hook;

    mivo3_buttons_hooks.slow_repeat = slow_repeat_hook;
    mivo3_buttons_hooks.pause_menu_open = pause_menu_open_hook;
    mivo3_buttons_hooks.program_running = program_running_hook;
    mivo3_buttons_hooks.joystick_index = joystick_index_hook;

    mivo3_run_hooks run{};
    run.print = console_print;
    run.pause_menu_frame = pause_frame_hook;
    run.stuck_frame = pause_frame_hook;
    run.clear_menu_items = clear_pause_menu_custom_items;
    run.set_paused = set_paused_hook;
    run.close_pause_menu = close_pause_menu_hook;
    run.save_cart_data = save_cart_data_hook;
    run.cart_hash = cart_hash_hook;
    run.forum_id = forum_id_hook;
    run.load_cart = load_cart_hook;
    run.delay_input = delay_input_hook;
    run.draw_ms = draw_ms_hook;
    run.framerate_control = framerate_control_hook;
    run.quit_when_stopped = quit_when_stopped_hook;
    mivo3_set_run_hooks(run);

    mivo3_api.open_pause_menu = open_pause_menu_hook;
    mivo3_api.start_reset_glitch = reset_glitch_hook;
    mivo3_api.request_shutdown = request_shutdown_hook;
    mivo3_api.show_message = message_hook;
    mivo3_api.set_menu_item = set_pause_menu_custom_item;
    mivo3_api.take_menu_item_selected = take_pause_menu_item_selected;
    mivo3_api.set_paused = set_paused_hook;
    mivo3_api.pause_menu_lines = pause_menu_lines_hook;
    mivo3_api.startup_cart_given = startup_cart_given_hook;
    mivo3_api.log_folder = log_folder_hook;
    shell_install_commands();
    capture_install_hooks();
}

// Start-up.

static void copy_path(char (&dst)[MIVO3_APP_PATH_SIZE], const std::string& value) {
    std::snprintf(dst, sizeof dst, "%s", value.c_str());
}

static bool folder_exists(const char* path) {
    std::error_code ec;
    return path && path[0] && std::filesystem::is_directory(path, ec);
}

static void load_resource_pod() {
    // An installed player keeps its pod in <prefix>/share/mivo-3/; one beside
    // the binary wins.
    std::string path = quon_prefix_with_program_path("data.pod");
    const std::filesystem::path installed =
        std::filesystem::path(quon_prefix_with_program_path("../share/mivo-3/data.pod")).lexically_normal();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && std::filesystem::exists(installed, ec)) path = installed.string();
    mivo3_data_pod = quon_load_pod(path.c_str());
    if (!mivo3_data_pod) {
        std::printf("couldn't load %s\n", path.c_str());
        std::fflush(stdout);
        quon_exit();
        std::exit(0);
    }
    if (quon_stream* boot = quon_pod_file(mivo3_data_pod, 0)) {
        mivo3_boot_cart = quon_load_mivo3_cart_from_text(
            std::string_view(reinterpret_cast<const char*>(boot->data), size_t(boot->length)));
    }
    if (!mivo3_boot_cart) quon_debug("boot cart missing: no boot sound\n");
    mivo3_resource_pod = quon_pod_load_item_pod(mivo3_data_pod, 1);
    mivo3_font_pod = quon_pod_load_item_pod(mivo3_data_pod, 2);
    if (!mivo3_resource_pod) quon_debug("resource pod missing from data.pod\n");
    if (!mivo3_font_pod) quon_debug("font pod missing from data.pod\n");
    mivo3_print_font = mivo3_font_pod;
}

static void apply_window_settings() {
    quon_set_window_title("MIVO-3");
    if (quon_stream* title = quon_pod_file(mivo3_resource_pod, 4)) {
        // The item is a zero-terminated string; an empty one keeps "MIVO-3".
        std::string text(reinterpret_cast<const char*>(title->data), size_t(title->length));
        text = text.c_str();
        if (!text.empty()) quon_set_window_title(text.c_str());
    }
    quon_set_screen(128, 128, 8, 0x100);
    if (quon_bitmap* icon = quon_pod_bitmap(mivo3_resource_pod, 6)) quon_set_window_icon(icon);
    if (const quon_pod_palette* pal = quon_pod_get_palette(mivo3_resource_pod, 1)) quon_set_palette(pal->rgb);
}

static void create_carts() {
    if (!pstate.cart) pstate.cart = quon_create_mivo3_cart();
    if (!mivo3_display_cart) mivo3_display_cart = quon_create_mivo3_cart();
    if (!pstate.cart || !mivo3_display_cart) quon_fatal_error("out of memory creating the cart records");
    if (!mivo3_display_cart->label) mivo3_display_cart->label = quon_create_bitmap(128, 128, 8);
}

static void reset_code_tabs() {
    mivo3_tabs = mivo3_code_tabs{};
    if (mivo3_current_cart) split_code_to_tabs();
    cart_hash_hook(mivo3_run.cart_hash);
}

static void start_audio() {
    quon_install_audio_hooks();
    quon_sound_init(SDL_INIT_AUDIO);
    quon_console_mode = 1;
    app.audio_started = 1;
}

// The cart named on the command line: the name as given (the current
// folder for a bare name), then, for a name without a folder, in the carts
// root.
static int32_t load_command_line_cart() {
    if (load_working_cart(app.cart_name) == 0) return 0;
    if (std::strchr(app.cart_name, '/')) return 1;
    return load_working_cart((std::string(app.root_path) + app.cart_name).c_str());
}

void quon_main_init(int argc, char** argv) {
    reset_app();
    set_default_app_config();
    const std::string default_root = app.root_path;
    const std::string default_cdata = app.cdata_path;
    quon_set_application_title("mivo-3");
    mivo3_install_config_hooks();
    reset_pstate();
    reset_buttons();
    reset_run_loop();
    shell_install_hooks();
    screen_dirty = true;

    quon_init();
    process_arguments(argc, argv);
    mivo_console_set_route(app.x_switch != 0, app.export_flag != 0);
    // -param is what the first cart to run reads with stat(6).
    std::snprintf(mivo3_run.pending_run_param, sizeof mivo3_run.pending_run_param, "%s", app.param);

    for (const char* folder : {"carts/", "backup/", "cdata/", "cstore/", "plates/", "bbs/", "bbs/carts/",
                               "bbs/labels/"})
        quon_mkdir(quon_prefix_with_appdata_path(folder));

    if (cconfig.screen_width < 32 || cconfig.screen_height < 32) {
        cconfig.screen_width = 580;
        cconfig.screen_height = 540;
    }
    quon_set_window_size(cconfig.window_width, cconfig.window_height);

    // A folder named in config.txt or on the command line is used only when
    // it exists; otherwise the folders under this run's per-user data folder
    // (which -home may have moved since the defaults were made).
    if (app.root_path == default_root || !folder_exists(app.root_path))
        copy_path(app.root_path, quon_prefix_with_appdata_path("carts/"));
    if (app.cdata_path == default_cdata || !folder_exists(app.cdata_path))
        copy_path(app.cdata_path, quon_prefix_with_appdata_path("cdata/"));
    if (app.volume == 0) app.volume = cconfig.sound_volume;
    app.saved_volume = cconfig.sound_volume;

    std::copy(std::begin(app.button_keys), std::end(app.button_keys), buttons.key_bindings);

    create_carts();
    if (app.x_switch && !mivo3_runner.quiet_start) {
        std::printf("RUNNING: %s\n", app.cart_name);
        std::fflush(stdout);
    }

    quon_debug(">loading data.pod\n");
    load_resource_pod();
    quon_debug("<ok\n");
    quon_debug(">setting up the screen\n");
    apply_window_settings();

    if (!mivo3_screen) mivo3_screen = quon_create_bitmap(128, 128, 8);
    if (!video_frame_bmp) video_frame_bmp = quon_create_bitmap(128, 128, 8);
    quon_debug("<ok\n");

    storage_install_hooks();
    set_cdata_folder(app.cdata_path);

    boot_init();
    reset_code_tabs();
    quon_debug(">starting sound\n");
    start_audio();
    quon_debug("<ok\n");
    trovea_init();
    last_t = quon_get_time();

    const bool exec = app.x_switch != 0;
    if (!exec && !app.export_flag) {
        // A cart named without -x is opened the way a file is opened with a
        // program: it runs once the boot animation is over (frame 86).
        if (app.cart_name[0]) {
            if (load_command_line_cart() != 0) {
                std::fprintf(stderr, "could not load cart: %s\n", app.cart_name);
                std::fflush(stderr);
                quon_exit();
                std::exit(1);
            }
            app.cart_arg_loaded = 1;
            app.run_flag = 1;
            reset_code_tabs();
        }
        return;
    }

    // -x skips the boot: the shell counts as stopped from here, so that what
    // loading prints (compatibility fixes of old carts) reaches standard output.
    if (exec) pstate.shell_mode = 0;
    if (load_command_line_cart() != 0) {
        mivo_print((std::string("could not load ") + app.cart_name).c_str());
        quon_exit();
        std::exit(1);
    }
    app.cart_arg_loaded = 1;
    reset_code_tabs();
    if (exec && !app.export_flag) {
        pstate.shell_mode = 0;
        pstate.pending_command = 1;
        return;
    }
    // This program writes no export.
    quon_exit();
    std::exit(0);
}

// Boot.

void boot_init() {
    pstate.shell_mode = 2;
    pstate.frame_count = -15;
    reset_language_machine();
    mivo_print("");
    pstate.pen_colour = 7;
    clear_bitmap(mivo3_back_page);
    clear_bitmap(mivo3_screen);
    if (mivo3_display_cart && mivo3_display_cart->label) {
        quon_bitmap* label = mivo3_display_cart->label;
        for (int32_t i = 0; i < 4; i++) {
            label->rows[2 + i][2 + i] = 7;
            label->rows[2 + i][5 - i] = 7;
        }
    }
    mivo3_srand(quon_start_seed());
    quon_stop_all_sounds();
    cmusic_stop(0);
    quonkey_buffer_pos = 0;
}

static void blit_logo() {
    if (quon_bitmap* logo = quon_pod_bitmap(mivo3_resource_pod, 2))
        quon_blit(logo, mivo3_back_page, 0, 0, 1, 1, logo->width, logo->height);
}

static void clear_boot_screen() {
    clear_bitmap(mivo3_back_page);
    pstate.cursor_x = 0;
    pstate.cursor_y = 0;
}

void move_boot() {
    quon_bitmap* page = mivo3_back_page;
    switch (pstate.frame_count) {
        case -3:
            for (int32_t y = 0; y < 128; y++)
                for (int32_t x = 2; x <= 122; x += 8) page->rows[y][x] = uint8_t((y >> 5) + quon_random(4));
            break;
        case 0:
            for (int32_t y = 0; y < 128; y += 2)
                for (int32_t x = 0; x <= 124; x += 4) page->rows[y][x] = uint8_t((((y + x) >> 3) & 7) + 6);
            break;
        case 3:
            for (int32_t y = 0; y <= 126; y += 3)
                for (int32_t x = 2; x <= 126; x += 4) page->rows[y][x] = uint8_t(10 + quon_random(4));
            break;
        case 5:
            for (int32_t y = 0; y < 128; y++)
                for (int32_t x = 1; x <= 125; x += 2) page->rows[y][x] = page->rows[y][x + 1];
            break;
        case 8:
            for (int32_t y = 1; y < 128; y++)
                if (y & 3) std::memset(page->rows[y], 0, 128);
            break;
        case 11:
            clear_boot_screen();
            break;
        case 26:
            clear_boot_screen();
            if (mivo3_boot_cart) quon_play_sfx(&mivo3_boot_cart->sfx[0]);
            mivo_print("");
            mivo_print("");
            blit_logo();
            pstate.pen_colour = 6;
            break;
        case 31:
            mivo_print((std::string("mivo-3 ") + MIVO3_VERSION_STRING).c_str());
            blit_logo();
            break;
        case 36:
            pstate.pen_colour = 13;
            mivo_print_col("a fantasy console player", 13);
            pstate.pen_colour = 6;
            mivo_print("");
            mivo_print("booting cartridge..");
            mivo_print("");
            break;
        case 56:
            if (app.cart_arg_loaded && !app.run_flag) pstate.shell_mode = 0;
            break;
        case 66:
            if (app.kiosk_flag) {
                pstate.shell_mode = 0;
                pstate.pen_colour = 6;
                pstate.overlay = 2;
                trovea_enter();
            }
            break;
        case 76:
            boot_embedded_cart();
            break;
        case 86:
            if (app.cart_arg_loaded && app.run_flag) pstate.pending_command = 1;
            break;
        default:
            break;
    }
}

// A pod item holding a 32 KiB cart image, decoded into a new record; null
// when the item is missing or too short to be one.
static mivo3_cart* load_pod_cart(int32_t index, std::string& name) {
    quon_stream* s = quon_pod_file(mivo3_data_pod, index);
    if (!s || !s->data || s->length < MIVO3_CART_IMAGE_SIZE) return nullptr;
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (!cart) return nullptr;
    load_mivo3_cart_32k(cart, s->data);
    cart->version = MIVO3_CART_VERSION;
    name = s->name;
    return cart;
}

void boot_embedded_cart() {
    clear_embedded_carts();
    // Items from the demo pod on are not carts to mount.
    const int32_t count =
        mivo3_data_pod ? std::min(int32_t(mivo3_data_pod->items.size()), int32_t(MIVO3_POD_DEMOS)) : 0;
    // A cart from the command line stays the working cart; the pod's carts
    // are then only offered to load. The head cart is mounted too, so that a
    // cart it loaded can come back to it along the run chain.
    if (!app.cart_arg_loaded) {
        std::string name;
        mivo3_cart* head = count > MIVO3_POD_HEAD_CART ? load_pod_cart(MIVO3_POD_HEAD_CART, name) : nullptr;
        if (!head) {
            mivo_print("head cart not found");
            return;
        }
        prepare_loaded_cart(head, name.c_str());
        reset_code_tabs();
    }
    for (int32_t i = MIVO3_POD_HEAD_CART; i < count; i++) {
        std::string name;
        mivo3_cart* cart = load_pod_cart(i, name);
        if (!cart) continue;
        mount_embedded_cart(cart, name.c_str());
        quon_destroy_mivo3_cart(cart);
    }
    if (app.cart_arg_loaded) return;
    pstate.shell_mode = 0;
    pstate.pending_command = 1;
}

void reboot_machine() {
    quon_stop_all_sounds();
    quon_destroy_mivo3_cart(pstate.cart);
    pstate.cart = nullptr;
    quon_destroy_mivo3_cart(mivo3_display_cart);
    mivo3_display_cart = nullptr;
    create_carts();
    boot_init();
    reset_code_tabs();
}

// Update.

static bool ctrl_held() { return quon_get_key_state(QUON_KEY_CONTROL) != 0; }
static bool key_pressed(int scancode) { return quon_get_key_state(scancode) == 3; }

void process_running_keypresses() {
    while (quon_keypressed()) {
        const int32_t c = quon_readkey();
        if (ctrl_held()) {
            if (c == 'r') {
                const int32_t now = quon_get_time();
                if (pstate.glitch_timer == 0 && now - app.last_reset_t > 500) {
                    do_quick_load();
                    start_reset_glitch();
                    app.last_reset_t = now;
                    quonkey_buffer_pos = 0;
                    return;
                }
            } else if (c == 'v') {
                app.paste_text = quon_get_clipboard_text();
            }
            continue;
        }
        if (pstate.key_buffer_count >= 256) continue;
        int32_t k = c;
        if (k >= 'A' && k <= 'Z') k = k - 'A' + 128;
        else if (k == 127) k = 8;
        if (k > 153 || k < 0) continue;
        pstate.key_buffer[pstate.key_buffer_count++] = uint8_t(k);
    }
}

int32_t next_audio_pause_state(int32_t state, bool hold) {
    if (hold) return 1;
    if (state >= 1 && state < 5) return state + 1;
    return 0;
}

static void run_pending_command() {
    const int32_t command = pstate.pending_command;
    if (!command) return;
    screen_dirty = true;
    pstate.glitch_timer = 0;
    pstate.pending_command = 0;
    switch (command) {
        case 1:
            // The cart being left (by load, run or a breadcrumb) keeps the
            // data it set this run.
            save_cdata();
            mivo3_printh_reset_limits();
            commands_reset_run();
            if (run_cart() != 0) {
                // Nothing runs: the compile error is on the console.
                pstate.shell_mode = 0;
                if (app.x_switch) quon_quit = 1;
            }
            glitch_save_launch_param(mivo3_run.run_param);
            // A cart that has just started is owed its first frame now rather
            // than after a frame's worth of updates.
            if (pstate.shell_mode == 1) app.frame_accumulator = std::max(app.frame_accumulator, 0x10000);
            break;
        case 2:
            suspend_program();
            break;
        case 3:
            reboot_machine();
            break;
        case 4: {
            const std::string text = pstate.error_text;
            suspend_program();
            reset_language_machine();
            mivo_print("");
            mivo_print(text.c_str());
            break;
        }
        default:
            break;
    }
}

// The kiosk overlay draws nothing, but its keys still reach the favourites.
static void process_kiosk_keypresses() {
    while (quon_keypressed()) trovea_keypress(quon_readkey());
}

static bool cart_running() { return pstate.shell_mode == 1 && pstate.program_running; }

static void record_video_frame() {
    if (mivo3_capture.record_frame) mivo3_capture.record_frame();
}

static void machine_frame() {
    screen_dirty = true;
    const bool paused = quon_state.frame_paused || app.pause_mode;
    if (pstate.shell_mode == 1) {
        if (pstate.frames_to_hold > 0) {
            pstate.frames_to_hold--;
        } else {
            process_running_keypresses();
            if (mivo3_run.mainloop_kind == 0 || mivo3_run.mainloop_kind == 1) {
                update_buttons();
                read_buttons();
                buttons.button_frame_counter += pstate.current_fps == 30 ? 2 : 1;
                update_paused_menu();
            }
            slice_unfinished = false;
            if (pstate.glitch_timer <= 2 && pstate.shell_mode == 1) {
                if (run_slice() != 0) {
                    slice_unfinished = true;
                    mivo3_frame_unfinished();
                }
            }
        }
    } else {
        update_buttons();
        read_buttons();
        if (pstate.overlay == 1) keyconfig_update();
        else if (pstate.overlay == 2) process_kiosk_keypresses();
        pstate.frames_to_hold = 0;
    }
    if (pstate.shell_mode == 2) move_boot();

    update_reset_glitch();
    app.frame_accumulator -= 0x10000;
    pstate.frame_count++;
    pstate.spinner_frame++;
    const int32_t flipper_before = frame_flipper;
    frame_flipper ^= 1;
    if (paused || pstate.current_fps == 30 || flipper_before == 1) record_video_frame();
}

static void capture_keys() {
    if (quon_get_key_state(QUON_KEY_ALT)) return;
    const bool ctrl = ctrl_held();
    if (ctrl && key_pressed(SDL_SCANCODE_0)) return;
    // A save that starts tells its own result once its file is written.
    if (key_pressed(SDL_SCANCODE_F6) || key_pressed(SDL_SCANCODE_F1) || (ctrl && key_pressed(SDL_SCANCODE_6))) {
        if (!mivo3_capture.save_screenshot) show_capture_message("** failed to save screenshot", 1900);
        else mivo3_capture.save_screenshot();
    }
    if (key_pressed(SDL_SCANCODE_F8) || key_pressed(SDL_SCANCODE_F3) || (ctrl && key_pressed(SDL_SCANCODE_8))) {
        if (mivo3_capture.reset_video_start) mivo3_capture.reset_video_start();
        show_capture_message("set video starting point", 1400);
    }
    if (key_pressed(SDL_SCANCODE_F9) || key_pressed(SDL_SCANCODE_F4) || (ctrl && key_pressed(SDL_SCANCODE_9))) {
        if (!mivo3_capture.save_video) show_capture_message("** failed to save video", 1900);
        else mivo3_capture.save_video();
    }
}

static void run_glitch_test() {
    if (!app.glitch_test || !cart_running()) return;
    app.glitch_test++;
    if (app.glitch_test >= 12 && pstate.glitch_timer == 0) start_reset_glitch();
    if (pstate.pending_command == 1) {
        if (mivo3_capture.save_screenshot_now) mivo3_capture.save_screenshot_now(mivo3_screen);
        app.glitch_test = 1;
        app.glitch_count++;
        if (app.glitch_count >= 48) {
            quon_exit();
            std::exit(0);
        }
    }
}

int32_t accumulate_frames(int32_t accumulator, int32_t rate, int32_t dt, bool every_update) {
    if (every_update) return 0x10000;
    // Worked in 64 bits: a stall of half a minute would overflow the 16.16
    // product, and any stall is capped at four frames anyway.
    const int64_t owed = int64_t(accumulator) + int64_t(rate) * ((int64_t(dt) << 16) / 1000);
    return int32_t(std::clamp<int64_t>(owed, 0, 0x40000));
}

static void update_pass() {
    const int32_t now = quon_get_time();
    if (cconfig.sound_volume != 0) app.saved_volume = cconfig.sound_volume;
    cconfig.music_volume = 256;
    quon_set_music_volume(256);

    run_glitch_test();

    if (ctrl_held() && key_pressed(SDL_SCANCODE_M)) {
        if (cconfig.sound_volume != 0) {
            cconfig.sound_volume = 0;
            show_notice("sound off (ctrl-m)", 1400);
        } else {
            cconfig.sound_volume = app.saved_volume ? app.saved_volume : 256;
            show_notice("sound on (ctrl-m)", 1400);
        }
        quon_set_sound_volume(cconfig.sound_volume);
        quon_block_key(SDL_SCANCODE_M);
    }

    for (int32_t& slot : buttons.player_input_slots) slot = -1;
    if (mivo3_runner.hold_buttons) mivo3_runner.hold_buttons();

    run_pending_command();

    if (!cart_running()) {
        if (app.pause_mode) screen_dirty = true;
        quon_state.frame_paused = 0;
        app.pause_mode = 0;
        pstate.current_fps = 30;
    }

    const bool paused = quon_state.frame_paused || app.pause_mode;
    const int32_t rate = paused ? 30 : pstate.current_fps;
    const int32_t dt = now - last_t;
    last_t = now;
    app.frame_accumulator =
        accumulate_frames(app.frame_accumulator, rate, dt, app.glitch_test != 0 || mivo3_runner.step_frames);

    if (app.frame_accumulator >= 0x10000) {
        if (paused) {
            screen_dirty = true;
            update_buttons();
            read_buttons();
            process_running_keypresses();
            process_paused_keypresses();
            app.frame_accumulator -= 0x10000;
            record_video_frame();
        } else {
            machine_frame();
        }
    }

    // While the key configuration screen is up, the keys pressed are being
    // chosen, not pressed to leave.
    if (pstate.shell_mode == 0 && !pstate.pending_command && pstate.overlay != 1) {
        for (int32_t b = 0; b < 6; b++)
            if (buttons.btnp_state[0][b]) quon_quit = 1;
    }

    if (pstate.shell_mode == 1 && key_pressed(SDL_SCANCODE_ESCAPE)) {
        screen_dirty = true;
        if (pstate.overlay == 1) {
            keyconfig_close();
        } else if (app.pause_mode) {
            close_paused_menu();
        }
    }

    capture_keys();
    if (mivo3_capture.poll) mivo3_capture.poll();

    if (!pstate.frames_to_hold) pstate.spinner_frame = 0;

    int32_t audio_state = quon_state.audio_pause_state.load(std::memory_order_relaxed);
    bool hold = false;
    if (cart_running()) {
        const uint8_t reg = mivo3_peek(&pstate, pstate.cart, MIVO3_REG_AUDIO_PAUSE);
        hold = app.pause_mode ? reg != 2 : reg == 1;
    }
    quon_state.audio_pause_state.store(next_audio_pause_state(audio_state, hold), std::memory_order_relaxed);

    if (ctrl_held() && key_pressed(SDL_SCANCODE_Q)) show_notice("alt-f4 to fastquit", 1900);

    if (pstate.shell_mode == 2) {
        quon_joystick_connected_notice = 0;
        quon_joystick_disconnected_notice = 0;
        return;
    }
    char text[64];
    if (quon_joystick_connected_notice) {
        std::snprintf(text, sizeof text, "joystick %d connected", quon_joystick_connected_notice & 0xff);
        show_notice(text, 1400);
        quon_joystick_connected_notice = 0;
    }
    if (quon_joystick_disconnected_notice) {
        std::snprintf(text, sizeof text, "joystick %d disconnected", quon_joystick_disconnected_notice & 0xff);
        show_notice(text, 1400);
        quon_joystick_disconnected_notice = 0;
    }
}

int32_t frame_due_ms(int32_t accumulator, int32_t rate) {
    if (accumulator >= 0x10000) return 0;
    if (rate <= 0) return INT32_MAX;
    // An update dt ms on adds rate * ((dt << 16) / 1000): the smallest dt whose
    // truncated step, times the rate, makes up what is missing.
    const int64_t step = (int64_t(0x10000) - accumulator + rate - 1) / rate;
    return int32_t((step * 1000 + 0xffff) >> 16);
}

// The frame rate the next update will pace by, as it will find the shell.
static int32_t next_frame_rate() {
    if (!cart_running()) return 30;
    return quon_state.frame_paused || app.pause_mode ? 30 : pstate.current_fps;
}

// When the next update has work: the next machine frame falls due or the
// message bar moves. Owed work, and what steps once per update (a pending
// command, the glitch test, the sound resuming after a pause), does not wait.
static int32_t next_wake_time(int32_t now) {
    const int32_t audio = quon_state.audio_pause_state.load(std::memory_order_relaxed);
    if (quon_quit || pstate.pending_command || app.glitch_test || (audio >= 2 && audio <= 5)) return now;
    const int32_t due = frame_due_ms(app.frame_accumulator, next_frame_rate());
    const int32_t frame = due > 1000 ? now + 1000 : last_t + due;
    return std::min(frame, message_bar_next_change(now));
}

int quon_main_update() {
    update_pass();
    quon_set_wake_time(next_wake_time(quon_get_time()));
    return 0;
}

// Draw.

int quon_main_draw() {
    const int32_t start = quon_get_time();
    if (pstate.pending_command) return 0;
    if (!quon_back_page || quon_back_page->width != 128 || quon_back_page->height != 128 ||
        quon_back_page->bits != 8) {
        quon_set_screen(128, 128, 8, 0);
        screen_dirty = true;
    }
    if (!quon_back_page || !mivo3_screen) return 0;
    const int32_t now = quon_get_time();
    const int32_t bar = message_bar_offset(now);
    const bool tint = app.pause_mode && quon_get_key_state(SDL_SCANCODE_LSHIFT) != 0;
    if (!screen_dirty && bar == composed_bar && tint == composed_tint) return 0;
    clear_bitmap(quon_back_page);

    if (pstate.overlay && pstate.shell_mode == 0) {
        if (pstate.overlay == 1) keyconfig_draw(mivo3_back_page);
    } else if (pstate.shell_mode == 0) {
        shell_fill_rect(mivo3_back_page, 0, 121, 127, 127, 6);
        shell_fill_rect(mivo3_back_page, 0, 120, 127, 120, 0);
        quon_draw_text_ex(mivo3_back_page, " stopped. press button to exit", mivo3_font_pod, 1, 122,
                          QUON_TEXT_COLOURISE, 1);
    }

    if (!pstate.frames_to_hold && !(slice_unfinished && !app.pause_mode))
        blit_mivo3_back_page_to_mivo3_screen(pstate.shell_mode == 1 && pstate.program_running, pstate.screen_mode);

    quon_blit(mivo3_screen, quon_back_page, 0, 0, 0, 0, 128, 128);
    if (app.pause_mode) draw_paused_menu(quon_back_page);

    if (pstate.frames_to_hold > 0 && pstate.shell_mode == 1 && pstate.program_running)
        shell_draw_icon(quon_back_page, quon_pod_bitmap(mivo3_resource_pod, 212 + (pstate.spinner_frame / 2) % 12),
                        3, 3);

    quon_blit(quon_back_page, video_frame_bmp, 0, 0, 0, 0, 128, 128);
    draw_message_bar(quon_back_page, now);
    screen_dirty = false;
    composed_bar = bar;
    composed_tint = tint;

    last_draw_ms = quon_get_time() - start;
    return last_draw_ms;
}

int quon_main_exit() {
    if (mivo3_capture.wait) mivo3_capture.wait();
    save_cdata();
    reset_trovea();
    quon_exit();
    return 0;
}
