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
// Keeps the cursor arithmetic of absurdly long texts in range; such a text
// has long scrolled its beginning away anyway.
constexpr int32_t max_lines = 1 << 20;

bool route_x_switch = false;
bool route_export_named = false;
void (*stdout_sink)(const char* line) = nullptr;

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

// Screen lines a text takes: by the text routine's wrapping rule when the
// font is at hand, so that wide glyphs or a cursor away from the left edge
// still get every line cleared and scrolled into view; else 32 characters a
// line. At least 1.
int32_t screen_lines(const std::string& line, int32_t x, int32_t right) {
    if (!mivo3_print_font)
        return line.empty() ? 1 : int32_t(std::min<size_t>((line.size() - 1) / line_chars + 1, max_lines));
    const int32_t spacing = quon_get_text_spacing();
    int32_t lines = 1, px = x;
    bool broken = false;
    char one[2] = {0, 0};
    for (char c : line) {
        one[0] = c;
        const int32_t width = quon_get_text_width(one, mivo3_print_font);
        if (width > 0) {
            // A break after the last glyph starts no line of its own.
            if (broken && lines < max_lines) lines++;
            broken = false;
            px += width + spacing;
            if (px > right - (width + spacing)) {
                px = x;
                broken = true;
            }
        }
        if (c == 127) break;
    }
    return lines;
}

// One line of text (no newline) onto the surface. Room for the lines it
// wraps onto is made first, scrolling when the cursor is near the bottom.
void print_line(const char* text, size_t length, int32_t colour) {
    const std::string line(text, length);
    quon_bitmap* page = mivo3_back_page;
    const int32_t extra = screen_lines(line, pstate.cursor_x, page ? page->width : 128) - 1;
    for (int32_t i = 0; i < extra; i++) mivo3_cursor_cr();
    pstate.cursor_y -= line_height * extra;

    if (page) {
        whole_surface_clip open(page);
        const int32_t y = pstate.cursor_y;
        clear_rows(page, y, y + (extra + 1) * line_height - 1);
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

void mivo_console_set_stdout_sink(void (*sink)(const char* line)) { stdout_sink = sink; }

void mivo_print_col(const char* text, int32_t colour) {
    if (!text) text = "";
    if (mivo_console_to_stdout()) {
        if (stdout_sink) {
            stdout_sink(text);
            return;
        }
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
