#include "shell/options.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "host/config.h"
#include "shell/app.h"
#include "shell/shell.h"



template <size_t N>
static void set_text(char (&dst)[N], std::string_view value) {
    const size_t n = std::min(value.size(), sizeof dst - 1);
    std::memcpy(dst, value.data(), n);
    dst[n] = 0;
}

static bool read_int(const char* text, int32_t& out) {
    int v;
    if (std::sscanf(text, " %d", &v) != 1) return false;
    out = v;
    return true;
}

// The console volume also drives the sound volume, except that a muted
// sound (0) stays muted.
static void apply_volume(int32_t v) {
    app.volume = std::clamp(v, 0, 256);
    if (cconfig.sound_volume != 0) cconfig.sound_volume = app.volume;
}

struct config_int {
    const char* key;
    int32_t mivo3_app::*field;
    int32_t lo, hi;
};

// Ranges keep a hand-edited file from reaching code that indexes or scales
// by these values.
static const config_int config_ints[] = {
    {"joystick_index", &mivo3_app::joystick_index, 0, 7},
    {"live_notes", &mivo3_app::live_notes, INT32_MIN, INT32_MAX},
    {"cursor_snap", &mivo3_app::cursor_snap, INT32_MIN, INT32_MAX},
    {"gif_len", &mivo3_app::gif_len, 0, 120},
    {"gui_theme", &mivo3_app::gui_theme, INT32_MIN, INT32_MAX},
    {"screenshot_scale", &mivo3_app::screenshot_scale, 1, 32},
    {"gif_scale", &mivo3_app::gif_scale, 1, 16},
    {"shift_glyphs", &mivo3_app::shift_glyphs, 0, 1},
    {"show_backup_messages", &mivo3_app::show_backup_messages, 0, 1},
    {"host_framerate_control", &mivo3_app::host_framerate_control, 0, 1},
    {"content_filter", &mivo3_app::content_filter, 0, 2},
    {"tab_width", &mivo3_app::tab_width, INT32_MIN, INT32_MAX},
};

static bool starts_with(const char* line, const char* key) {
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

void mivo3_load_config(const char* line) {
    if (!line) return;
    auto rest = [&](const char* key) { return line + std::strlen(key); };
    if (starts_with(line, "root_path") || starts_with(line, "cdata_path")) {
        const bool root = starts_with(line, "root_path");
        const char* after = rest(root ? "root_path" : "cdata_path");
        // The value starts one character after the key.
        if (!*after) return;
        const std::string folder = quon_config_folder(after + 1);
        if (folder.empty()) return;
        set_text(root ? app.root_path : app.cdata_path, folder);
        return;
    }
    if (starts_with(line, "button_keys")) {
        const char* p = rest("button_keys");
        int32_t keys[MIVO3_BUTTON_KEY_COUNT];
        for (int32_t i = 0; i < MIVO3_BUTTON_KEY_COUNT; i++) {
            char* end = nullptr;
            long v = std::strtol(p, &end, 10);
            if (end == p) return;  // fewer than 13 numbers: keep the keys as they are
            // Scancodes outside the host's key table cannot be pressed.
            keys[i] = (v >= 0 && v < 512) ? int32_t(v) : 0;
            p = end;
        }
        std::copy(std::begin(keys), std::end(keys), app.button_keys);
        return;
    }
    if (starts_with(line, "volume")) {
        int32_t v;
        if (read_int(rest("volume"), v)) apply_volume(v);
        return;
    }
    for (const config_int& c : config_ints) {
        if (!starts_with(line, c.key)) continue;
        int32_t v;
        if (read_int(rest(c.key), v)) app.*c.field = std::clamp(v, c.lo, c.hi);
        return;
    }
}

void mivo3_save_config(std::string& out) {
    const int32_t volume = app.volume ? app.volume : cconfig.sound_volume;
    quon_config_line(out, "version %s", MIVO3_VERSION_STRING);
    out += '\n';
    quon_config_line(out, "// audio volume: 0..256 ");
    quon_config_line(out, "volume %d", volume);
    out += '\n';
    out += '\n';
    quon_config_line(out, "// Location of mivo-3's root folder");
    quon_config_line(out, "root_path %s", app.root_path);
    out += '\n';
    out += '\n';
    quon_config_line(out, "// Location of cartridge save data");
    quon_config_line(out, "cdata_path %s", app.cdata_path);
    out += '\n';
    out += '\n';
    quon_config_line(out, "// Specify which player index joystick control begins at (0..7)");
    quon_config_line(out, "joystick_index %d", app.joystick_index);
    out += '\n';
    out += '\n';
    quon_config_line(out, "// Custom keyboard scancodes for buttons. player0 0..6, player1 0..5");
    std::string keys = "button_keys ";
    for (int32_t k : app.button_keys) keys += std::to_string(k) + " ";
    quon_config_line(out, "%s", keys.c_str());
    out += '\n';
    quon_config_line(out, "// Play notes as they are plotted in frequency mode");
    quon_config_line(out, "live_notes %d", app.live_notes);
    out += '\n';
    quon_config_line(out, "// iff 1: when using keyboard cursor, snap to closest pixel / map cel");
    quon_config_line(out, "cursor_snap %d", app.cursor_snap);
    out += '\n';
    quon_config_line(out, "// maximum length of gif in seconds (1..120, default 8)");
    quon_config_line(out, "gif_len %d", app.gif_len);
    out += '\n';
    quon_config_line(out, "// 0 default  1 dark blue background in code editor  2 black background in code editor   3 gray "
                  "background in code editor   ");
    quon_config_line(out, "gui_theme %d", app.gui_theme);
    out += '\n';
    quon_config_line(out, "// scale of screenshots and gifs // 2 means 256x256");
    quon_config_line(out, "screenshot_scale %d", app.screenshot_scale);
    quon_config_line(out, "gif_scale %d", app.gif_scale);
    out += '\n';
    quon_config_line(out, "// when 1 can enter glyphs using shift-A..Z");
    quon_config_line(out, "shift_glyphs %d", app.shift_glyphs);
    out += '\n';
    quon_config_line(out, "// 0 for off. 1 to allow control of a cart's framerate due to host machine's cpu capacity "
                  "(recommended)");
    quon_config_line(out, "host_framerate_control %d", app.host_framerate_control);
    out += '\n';
    quon_config_line(out, "// filter trovea content");
    quon_config_line(out, "// 0 for no filter (18+)  1 medium (13+)  2 maximum (kid-friendly)");
    quon_config_line(out, "content_filter %d", app.content_filter);
    out += '\n';
    quon_config_line(out, "// tab width (1 ~ 4 spaces)");
    quon_config_line(out, "tab_width %d", app.tab_width);
    out += '\n';
}

void mivo3_install_config_hooks() {
    quon_set_load_config_func(mivo3_load_config);
    quon_set_save_config_func(mivo3_save_config);
}

enum class arg_kind { number, text, flag };

struct console_option {
    const char* name;
    arg_kind kind;
};

static const console_option console_options[] = {
    {"-joystick", arg_kind::number},     {"-gif_len", arg_kind::number},
    {"-gui_theme", arg_kind::number},    {"-screenshot_scale", arg_kind::number},
    {"-gif_scale", arg_kind::number},    {"-gpio_base", arg_kind::number},
    {"-glitch_test", arg_kind::number},  {"-param", arg_kind::text},
    {"-content_filter", arg_kind::number}, {"-root_path", arg_kind::text},
    {"-cdata_path", arg_kind::text},     {"-accept_future", arg_kind::number},
    {"-export", arg_kind::text},         {"-volume", arg_kind::number},
    {"-run", arg_kind::flag},            {"-kiosk", arg_kind::flag},
    {"-x", arg_kind::flag},              {"-exec", arg_kind::flag},
};

static void apply_number(std::string_view name, int32_t v) {
    if (name == "-joystick") app.joystick_index = std::clamp(v, 0, 7);
    else if (name == "-gif_len") app.gif_len = std::clamp(v, 0, 120);  // 0: no recording
    else if (name == "-gui_theme") app.gui_theme = v;
    else if (name == "-screenshot_scale") app.screenshot_scale = std::clamp(v, 1, 32);
    else if (name == "-gif_scale") app.gif_scale = std::clamp(v, 1, 16);
    else if (name == "-gpio_base") app.gpio_base = v;
    else if (name == "-glitch_test") app.glitch_test = std::max(v, 0);
    else if (name == "-content_filter") app.content_filter = std::clamp(v, 0, 2);
    else if (name == "-accept_future") app.accept_future = v;
    else if (name == "-volume") apply_volume(v);
}

static void apply_text(std::string_view name, const char* value) {
    if (name == "-param") {
        set_text(app.param, value);
    } else if (name == "-root_path" || name == "-cdata_path") {
        const std::string folder = quon_config_folder(value);
        if (!folder.empty()) set_text(name == "-root_path" ? app.root_path : app.cdata_path, folder);
    } else if (name == "-export") {
        set_text(app.export_name, value);
        app.export_flag = 1;
        cconfig.headless = 1;
    }
}

static void apply_flag(std::string_view name) {
    if (name == "-run") {
        app.run_flag = 1;
    } else if (name == "-kiosk") {
        app.kiosk_flag = 1;
    } else {
        app.x_switch = 1;
        app.run_flag = 1;
        cconfig.headless = 1;
    }
}

// The value an option of the host's pass would take: anything that is not
// itself an option, or a negative number such as "-window_x -1".
static bool looks_like_value(const char* a) {
    if (a[0] != '-') return true;
    char* end = nullptr;
    std::strtol(a, &end, 10);
    return end != a && *end == 0;
}

void process_arguments(int argc, char** argv) {
    if (!argv) return;
    for (int i = 1; i < argc && argv[i]; i++) {
        const char* a = argv[i];
        if (a[0] == '|' || a[0] == '&' || a[0] == '>') break;
        if (a[0] != '-') {
            if (!app.cart_name[0]) set_text(app.cart_name, a);
            else app.extra_args.emplace_back(a, std::min<size_t>(std::strlen(a), MIVO3_APP_PATH_SIZE - 1));
            continue;
        }
        const console_option* opt = nullptr;
        for (const console_option& o : console_options)
            if (std::strcmp(a, o.name) == 0) opt = &o;
        if (!opt) {
            // Options of the host's pass and unknown ones: skip their value.
            // "-headless" is the host's one option without a value.
            if (std::strcmp(a, "-headless") != 0 && i + 1 < argc && argv[i + 1] &&
                looks_like_value(argv[i + 1]))
                i++;
            continue;
        }
        if (opt->kind == arg_kind::flag) {
            apply_flag(opt->name);
            continue;
        }
        if (i + 1 >= argc || !argv[i + 1]) break;
        const char* value = argv[i + 1];
        // Only the export name may begin with '-'; other options given no
        // value leave the next option to be read as such.
        if (opt->kind != arg_kind::text || std::strcmp(opt->name, "-export") != 0) {
            if (!looks_like_value(value)) continue;
        }
        i++;
        if (opt->kind == arg_kind::number) {
            int32_t v;
            if (read_int(value, v)) apply_number(opt->name, v);
        } else {
            apply_text(opt->name, value);
        }
    }
}
