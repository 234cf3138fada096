#include "shell/app.h"

#include <cstdio>
#include <string>

#include "host/paths.h"

mivo3_app app;

void reset_app() { app = mivo3_app{}; }

static void set_path(char (&dst)[MIVO3_APP_PATH_SIZE], const std::string& value) {
    std::snprintf(dst, sizeof dst, "%s", value.c_str());
}

void set_default_app_config() {
    app.volume = 0;
    set_path(app.root_path, quon_prefix_with_appdata_path("carts/"));
    set_path(app.cdata_path, quon_prefix_with_appdata_path("cdata/"));
    app.joystick_index = 0;
    for (int32_t& k : app.button_keys) k = 0;
    app.live_notes = 0;
    app.cursor_snap = 0;
    app.gif_len = 8;
    app.gui_theme = 0;
    app.screenshot_scale = 3;
    app.gif_scale = 2;
    app.shift_glyphs = 1;
    app.show_backup_messages = 1;
    app.host_framerate_control = 1;
    app.content_filter = 1;
    app.tab_width = 1;
    app.keyboard_cursor = 0;
    app.gpio_base = -1;
}
