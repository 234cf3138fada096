#include "shell/console.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/bitmap.h"
#include "host/text.h"
#include "machine/draw.h"
#include "machine/pstate.h"

namespace {

constexpr int32_t line_height = 6;
constexpr int32_t line_chars = 32;

bool route_x_switch = false;
bool route_export_named = false;

// The formatted variants build their text here first.
std::array<char, 1024> format_buffer;

// Lines wrap at the surface's edge whatever clip a cart left behind, so the
// surface's clip is opened for the print and put back afterwards.
struct whole_surface_clip {
    quon_bitmap* page;
    int32_t x0, y0, x1, y1;
    explicit whole_surface_clip(quon_bitmap* p)
        : page(p), x0(p->cx0), y0(p->cy0), x1(p->cx1), y1(p->cy1) {
        quon_reset_clip(page);
    }
    ~whole_surface_clip() { quon_set_clip(page, x0, y0, x1 - x0, y1 - y0); }
};

void clear_rows(quon_bitmap* page, int32_t top, int32_t bottom) {
    top = std::max(top, 0);
    bottom = std::min(bottom, page->height - 1);
    for (int32_t y = top; y <= bottom; y++) std::memset(page->rows[y], 0, size_t(page->pitch));
}

// One line of text (no newline) onto the surface: it takes (n - 1) / 32 + 1
// screen lines, which are made room for first by scrolling when the cursor
// is near the bottom.
void print_line(const char* text, size_t length, int32_t colour) {
    const int32_t n = int32_t(std::min<size_t>(length, 0x7fffffff));
    const int32_t extra = n > line_chars ? (n - line_chars - 1) / line_chars + 1 : 0;
    for (int32_t i = 0; i < extra; i++) mivo3_cursor_cr();
    pstate.cursor_y -= line_height * extra;

    if (quon_bitmap* page = mivo3_back_page) {
        whole_surface_clip open(page);
        const int32_t y = pstate.cursor_y;
        clear_rows(page, y, y + ((n - 1) / line_chars) * line_height + line_height - 1);
        const std::string line(text, length);
        quon_draw_text_ex(page, line.c_str(), mivo3_print_font, pstate.cursor_x, y,
                          QUON_TEXT_COLOURISE | QUON_TEXT_WRAP, uint32_t(colour));
    }

    pstate.cursor_y += line_height * extra;
    mivo3_cursor_cr();
}

}  // namespace

void mivo_console_set_route(bool x_switch, bool export_named) {
    route_x_switch = x_switch;
    route_export_named = export_named;
}

bool mivo_console_to_stdout() { return route_x_switch && (pstate.shell_mode == 0 || route_export_named); }

void mivo_print_col(const char* text, int32_t colour) {
    if (!text) text = "";
    if (mivo_console_to_stdout()) {
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
    // Each newline starts a line of its own, so that a line after it is not
    // drawn over the rest of the text.
    for (;;) {
        const char* end = std::strchr(text, '\n');
        if (!end) {
            print_line(text, std::strlen(text), colour);
            return;
        }
        print_line(text, size_t(end - text), colour);
        text = end + 1;
    }
}

void mivo_print(const char* text) { mivo_print_col(text, 6); }

void mivo_print_2_col(const char* format, int32_t a, int32_t b, int32_t colour) {
    if (!format) format = "";
    std::snprintf(format_buffer.data(), format_buffer.size(), format, a, b);
    mivo_print_col(format_buffer.data(), colour);
}

void mivo_print_2(const char* format, int32_t a, int32_t b) { mivo_print_2_col(format, a, b, 6); }
