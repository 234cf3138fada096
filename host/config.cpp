#include "host/config.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/display.h"
#include "host/log.h"
#include "host/main_loop.h"
#include "host/paths.h"
#include "host/stream.h"

quon_config cconfig;
quon_config cconfig0;

static quon_load_config_func load_config_func = nullptr;
static quon_save_config_func save_config_func = nullptr;

void quon_set_load_config_func(quon_load_config_func f) { load_config_func = f; }
void quon_set_save_config_func(quon_save_config_func f) { save_config_func = f; }

static void copy_path(char (&dst)[1024], std::string_view text) {
    size_t n = std::min(text.size(), sizeof dst - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = 0;
}

void quon_config_default() {
    cconfig = quon_config{};
    quon_set_home_path("");
    quon_set_desktop_path("");
}

std::string quon_config_folder(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') i++;
    for (; i < text.size(); i++) {
        char c = text[i];
        if (static_cast<unsigned char>(c) < 32) continue;
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (!out.empty() && out.back() != '/') out.push_back('/');
    return out;
}

static bool read_one(const char* rest, int32_t& a) {
    int v;
    if (std::sscanf(rest, " %d", &v) != 1) return false;
    a = v;
    return true;
}

static bool read_pair(const char* rest, int32_t& a, int32_t& b) {
    int x, y;
    if (std::sscanf(rest, " %d %d", &x, &y) != 2) return false;
    a = x;
    b = y;
    return true;
}

// Applies one line to cconfig; false when the host does not know its key.
static bool host_config_line(const char* line) {
    auto key = [line](const char* k) { return std::strncmp(line, k, std::strlen(k)) == 0; };
    auto rest = [line](const char* k) { return line + std::strlen(k); };
    if (key("video_mode")) {
        if (read_pair(rest("video_mode"), cconfig.window_width, cconfig.window_height)) {
            cconfig.screen_width = cconfig.window_width;
            cconfig.screen_height = cconfig.window_height;
        }
    } else if (key("window_size")) {
        read_pair(rest("window_size"), cconfig.window_width, cconfig.window_height);
    } else if (key("screen_size")) {
        read_pair(rest("screen_size"), cconfig.screen_width, cconfig.screen_height);
    } else if (key("windowed")) {
        read_one(rest("windowed"), cconfig.windowed);
    } else if (key("foreground_sleep_ms")) {
        read_one(rest("foreground_sleep_ms"), cconfig.foreground_sleep_ms);
    } else if (key("background_sleep_ms")) {
        read_one(rest("background_sleep_ms"), cconfig.background_sleep_ms);
    } else if (key("sound_volume")) {
        read_one(rest("sound_volume"), cconfig.sound_volume);
    } else if (key("music_volume")) {
        read_one(rest("music_volume"), cconfig.music_volume);
    } else if (key("mix_buffer_size")) {
        read_one(rest("mix_buffer_size"), cconfig.mix_buffer_size);
    } else if (key("windib")) {
        read_one(rest("windib"), cconfig.windib);
    } else if (key("opengl_blit")) {
        read_one(rest("opengl_blit"), cconfig.opengl_blit);
    } else if (key("show_fps")) {
        read_one(rest("show_fps"), cconfig.show_fps);
    } else if (key("large_window")) {
        read_one(rest("large_window"), cconfig.large_window);
    } else if (key("frameless")) {
        read_one(rest("frameless"), cconfig.frameless);
    } else if (key("window_position")) {
        if (read_pair(rest("window_position"), cconfig.window_x, cconfig.window_y))
            quon_debugf("new window position: %d, %d\n", cconfig.window_x, cconfig.window_y);
    } else if (key("sessions")) {
        read_one(rest("sessions"), cconfig.sessions);
    } else if (key("rmb_key")) {
        read_one(rest("rmb_key"), cconfig.rmb_key);
    } else if (key("desktop_path")) {
        // An empty setting stays empty (the desktop rule then applies)
        // instead of becoming the root folder "/".
        copy_path(cconfig.desktop_path, quon_config_folder(rest("desktop_path")));
        quon_set_desktop_path(cconfig.desktop_path);
    } else if (key("fullscreen_method")) {
        read_one(rest("fullscreen_method"), cconfig.fullscreen_method);
    } else {
        return false;
    }
    return true;
}

void quon_config_clamp() {
    quon_config& c = cconfig;
    // Sizes and positions far beyond any screen, so that the window and
    // scaling arithmetic cannot overflow.
    constexpr int32_t size_max = 1 << 16;
    for (int32_t* v : {&c.screen_width, &c.screen_height, &c.window_width, &c.window_height, &c.draw_rect_w,
                       &c.draw_rect_h})
        *v = std::clamp(*v, 0, size_max);
    for (int32_t* v : {&c.window_x, &c.window_y, &c.draw_rect_x, &c.draw_rect_y})
        *v = std::clamp(*v, -size_max, size_max);
    c.foreground_sleep_ms = std::clamp(c.foreground_sleep_ms, 0, 200);
    c.background_sleep_ms = std::clamp(c.background_sleep_ms, 0, 200);
    c.sound_volume = std::clamp(c.sound_volume, 0, 256);
    c.music_volume = std::clamp(c.music_volume, 0, 256);
    c.mix_buffer_size = std::clamp(c.mix_buffer_size, 0, 8192);
    c.display = std::clamp(c.display, -1, 64);
    c.rmb_key = std::clamp(c.rmb_key, 0, 511);
    c.fullscreen_method = std::clamp(c.fullscreen_method, 0, 2);
    c.preblit_scale = std::clamp(c.preblit_scale, 0, 8);
    c.pixel_perfect = std::clamp(c.pixel_perfect, -1, 1);
    c.windib = std::clamp(c.windib, -1, 1);
    for (int32_t* v : {&c.windowed, &c.frameless, &c.show_fps, &c.large_window, &c.opengl_blit, &c.software_blit,
                       &c.keep_aspect, &c.emulate_textinput, &c.deferred_dealloc, &c.ext_display,
                       &c.log_system_info})
        *v = std::clamp(*v, 0, 1);
    // The run counter goes up at every start.
    c.sessions = std::clamp(c.sessions, 0, INT32_MAX - 1);
    c.timeout = std::clamp(c.timeout, 1, 240);
}

void quon_config_load_text(std::string_view text) {
    quon_debug(">\n");
    size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        // Lines of at most 254 characters; a longer one continues as the next line.
        size_t end = pos;
        while (end < text.size() && end - pos < 254 && text[end] != '\n' && text[end] != '\r') end++;
        std::string line(text.substr(pos, end - pos));
        if (end < text.size() && text[end] == '\r') end++;
        if (end < text.size() && text[end] == '\n') end++;
        pos = end;
        number++;
        if (!line.empty() && line[0] != '/') quon_debugf("%02d %s\n", number, line.c_str());
        if (!host_config_line(line.c_str()) && load_config_func) load_config_func(line.c_str());
    }
    if (cconfig.mix_buffer_size < 512 || cconfig.mix_buffer_size > 8192) cconfig.mix_buffer_size = 1024;
    quon_config_clamp();
    quon_debug("<\n");
    cconfig.loaded = 1;
}

static std::string read_stream(quon_stream* s) {
    std::string text;
    char buf[65536];
    int64_t n;
    while ((n = quon_fread(buf, 1, sizeof buf, s)) > 0) text.append(buf, static_cast<size_t>(n));
    return text;
}

int quon_config_load() {
    // quon_fopen falls back to the in-memory disk's file of the same name.
    quon_stream* s = quon_fopen(quon_prefix_with_appdata_path("config.txt").c_str(), "rb");
    if (!s) s = quon_fopen(quon_prefix_with_program_path("config.txt").c_str(), "rb");
    if (!s) return 1;
    std::string text = read_stream(s);
    quon_fclose(s);
    quon_debug("Found config.txt\n");
    quon_config_load_text(text);
    return 0;
}

void quon_config_line(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const size_t at = out.size();
        out.resize(at + size_t(n) + 1);
        std::vsnprintf(out.data() + at, size_t(n) + 1, format, again);
        out.resize(at + size_t(n));
    }
    va_end(again);
    out += '\n';
}

std::string quon_config_text() {
    const quon_config& s = cconfig0;  // settings whose command-line overrides are not saved
    const quon_config& c = cconfig;
    std::string dashes = "//";
    for (int i = 0; i < 28; i++) dashes += " -";
    std::string o;
    quon_config_line(o, "%s", dashes.c_str());
    quon_config_line(o, "// Configuration for %s", quon_state.application_title);
    quon_config_line(o, "// ");
    quon_config_line(o, "// config.txt is read on startup and saved on exit.");
    quon_config_line(o, "// To generate the default config.txt, delete this file.");
    quon_config_line(o, "// ");
    quon_config_line(o, "%s", dashes.c_str());
    o += "\n\n";
    quon_config_line(o, "// :: Video Settings");
    o += "\n";
    quon_config_line(o, "window_size %d %d // window width, height", s.window_width, s.window_height);
    quon_config_line(o, "screen_size %d %d // screen width, height (stretched to window) ", s.screen_width, s.screen_height);
    quon_config_line(o, "show_fps %d // Draw frames per second in the corner", s.show_fps);
    o += "\n\n";
    quon_config_line(o, "// :: Window Settings");
    o += "\n";
    quon_config_line(o, "windowed %d // 1 to start up in windowed mode", c.windowed);
    quon_config_line(o, "window_position %d %d // x and y position of window (-1, -1 to let the window manager decide)",
         c.window_x, c.window_y);
    quon_config_line(o, "frameless %d // 1 to use a window with no frame", s.frameless);
    quon_config_line(o, "fullscreen_method %d // 0 maximized window (linux)  1 borderless desktop-sized window  2 fullscreen",
         c.fullscreen_method);
    o += "\n\n";
    quon_config_line(o, "// :: System Settings");
    o += "\n";
    quon_config_line(o, "foreground_sleep_ms %d // number of milliseconds to sleep each frame. Try 10 to conserve battery power",
         s.foreground_sleep_ms);
    o += "\n";
    quon_config_line(o, "background_sleep_ms %d // number of milliseconds to sleep each frame when running in the background",
         s.background_sleep_ms);
    o += "\n";
    quon_config_line(o, "sessions %d // number of times program has been run", c.sessions);
    o += "\n";
    quon_config_line(o, "// (scancode) hold this key down and left-click to simulate right-click");
    quon_config_line(o, "rmb_key %d // 0 for none  226 for LALT", s.rmb_key);
    o += "\n";
    quon_config_line(o, "// Desktop for saving screenshots etc. Defaults to $HOME/Desktop");
    quon_config_line(o, "desktop_path %s", s.desktop_path);
    o += "\n";
    o += "\n\n";
    quon_config_line(o, "// :: Audio Settings (use \"volume\" for MIVO-3)");
    o += "\n";
    quon_config_line(o, "sound_volume %d // 0..256", c.sound_volume);
    quon_config_line(o, "music_volume %d // 0..256", c.music_volume);
    o += "\n\n";
    quon_config_line(o, "// :: usually 1024. Try 2048 if you get choppy sound");
    o += "\n";
    quon_config_line(o, "mix_buffer_size %d", c.mix_buffer_size);
    o += "\n\n";
    quon_config_line(o, "// :: ");
    o += "\n";
    if (save_config_func) save_config_func(o);
    return o;
}

int quon_config_save() {
    // Only a window that exists tells whether the program runs windowed; a
    // headless run keeps the setting it was given.
    if (quon_window_open()) cconfig.windowed = quon_get_windowed();
    // Replaced whole or not at all: a kill or a full disk at exit must not
    // cost the user every setting.
    return quon_write_file_replacing(quon_prefix_with_appdata_path("config.txt"), quon_config_text());
}

// The options that take a value, compared over the name's length in this order.
enum class opt_kind { number, text };
struct host_option {
    const char* name;
    int32_t quon_config::*field;
    opt_kind kind;
};

static const host_option host_options[] = {
    {"width", &quon_config::window_width, opt_kind::number},
    {"height", &quon_config::window_height, opt_kind::number},
    {"show_fps", &quon_config::show_fps, opt_kind::number},
    {"windowed", &quon_config::windowed, opt_kind::number},
    {"window_x", &quon_config::window_x, opt_kind::number},
    {"window_y", &quon_config::window_y, opt_kind::number},
    {"frameless", &quon_config::frameless, opt_kind::number},
    {"fullscreen_method", &quon_config::fullscreen_method, opt_kind::number},
    {"foreground_sleep_ms", &quon_config::foreground_sleep_ms, opt_kind::number},
    {"background_sleep_ms", &quon_config::background_sleep_ms, opt_kind::number},
    {"sound_volume", &quon_config::sound_volume, opt_kind::number},
    {"sound", &quon_config::sound_volume, opt_kind::number},
    {"music_volume", &quon_config::music_volume, opt_kind::number},
    {"music", &quon_config::music_volume, opt_kind::number},
    {"mix_buffer_size", &quon_config::mix_buffer_size, opt_kind::number},
    {"software_blit", &quon_config::software_blit, opt_kind::number},
    {"software_blitter", &quon_config::software_blit, opt_kind::number},
    {"home", nullptr, opt_kind::text},
    {"desktop", nullptr, opt_kind::text},
    {"pixel_perfect", &quon_config::pixel_perfect, opt_kind::number},
    {"draw_rect", nullptr, opt_kind::text},
    {"timeout", &quon_config::timeout, opt_kind::number},
    {"emulate_textinput", &quon_config::emulate_textinput, opt_kind::number},
    {"deferred_dealloc", &quon_config::deferred_dealloc, opt_kind::number},
    {"ext_display", &quon_config::ext_display, opt_kind::number},
    {"preblit_scale", &quon_config::preblit_scale, opt_kind::number},
    {"display", &quon_config::display, opt_kind::number},
    {"log_system_info", &quon_config::log_system_info, opt_kind::number},
};

static void apply_option(const host_option& o, const char* value) {
    const std::string_view name = o.name;
    if (o.kind == opt_kind::number) {
        int v;
        // A value that is not a number leaves the setting alone.
        if (std::sscanf(value, "%d", &v) != 1) return;
        cconfig.*o.field = v;
        quon_config_clamp();
    } else if (name == "home") {
        copy_path(cconfig.home_path, value);
        quon_set_home_path(cconfig.home_path);
    } else if (name == "desktop") {
        copy_path(cconfig.desktop_path, value);
        quon_set_desktop_path(cconfig.desktop_path);
    } else if (name == "draw_rect") {
        int r[4] = {0, 0, 4096, 4096};
        std::sscanf(value, "%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]);
        cconfig.draw_rect_x = r[0];
        cconfig.draw_rect_y = r[1];
        cconfig.draw_rect_w = r[2];
        cconfig.draw_rect_h = r[3];
        quon_config_clamp();
    }
}

void quon_process_arguments(int argc, char** argv) {
    if (!argv) return;
    const host_option* pending = nullptr;
    for (int i = 1; i < argc && argv[i]; i++) {
        const char* a = argv[i];
        if (a[0] == '|' || a[0] == '&' || a[0] == '>') break;
        if (pending) {
            apply_option(*pending, a);
            pending = nullptr;
            continue;
        }
        if (a[0] != '-') continue;
        if (a[1] == 'x' || std::strncmp(a + 1, "headless", 8) == 0) {
            cconfig.headless = 1;
            continue;
        }
        for (const host_option& o : host_options) {
            if (std::strncmp(a + 1, o.name, std::strlen(o.name)) == 0) {
                pending = &o;
                break;
            }
        }
    }
}
