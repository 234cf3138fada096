#include "lang/dialect.h"

#include <cstdio>
#include <string_view>

#include "machine/fixed.h"
#include "storage/cart.h"

void (*mivo3_lang_print_hook)(const char* text, int32_t colour) = nullptr;

namespace {

int32_t count_newlines(std::string_view text) {
    int32_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

int32_t map_tab_line(int32_t line, int32_t* out_tab, bool report) {
    int32_t n = line - MIVO3_PRELUDE_LINES;
    for (int32_t i = 0; i < MIVO3_CODE_TAB_COUNT; i++) {
        const std::string& tab = mivo3_tabs.tab[i];
        // A tab and the separator line after it span its newlines + 2 lines;
        // the separator line counts as the tab's last line.
        int32_t span = count_newlines(tab) + 2;
        if (span >= n) {
            *out_tab = i;
            (void)report;
            return n;
        }
        n -= span;
    }
    *out_tab = 0;
    return 0;
}

}  // namespace

int32_t find_tab_line(int32_t line, int32_t* out_tab) {
    return map_tab_line(line, out_tab, true);
}

int32_t get_mivo3_line(int32_t line) {
    int32_t tab = 0;
    return fix_from_int(map_tab_line(line, &tab, true));
}

int32_t get_mivo3_tab(int32_t line) {
    int32_t tab = 0;
    map_tab_line(line, &tab, false);
    return fix_from_int(tab);
}
