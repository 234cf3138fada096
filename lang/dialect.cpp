#include "lang/dialect.h"

#include <cstdio>
#include <string_view>

#include "lang/includes.h"
#include "machine/fixed.h"
#include "storage/cart.h"

namespace {

int32_t count_newlines(std::string_view text) {
    int32_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// Maps a 1-based line of a flattened tab to the line of the tab's own text,
// using the include table of the tab's flattening: a line inside an
// included text maps to its #include directive (and is reported); a line
// after an included block moves back by the lines the block added.
int32_t unflatten_line(int32_t line, bool report) {
    int32_t l = line - 1;
    int32_t added = 0;
    for (int32_t i = 0; i < last_included_files(); i++) {
        int32_t start = included_start(i), end = included_end(i);
        if (l < start) break;
        if (l < end) {
            if (report && mivo3_get_include_hooks().print) {
                char text[300];
                std::snprintf(text, sizeof text, "%s line %d\n", included_name(i), l - start + 1);
                mivo3_get_include_hooks().print(text, 9);
            }
            return start - added + 1;
        }
        added += end - start - 1;  // the block replaced its directive line
    }
    return l - added + 1;
}

int32_t map_tab_line(int32_t line, int32_t* out_tab, bool report) {
    int32_t n = line - MIVO3_PRELUDE_LINES;
    bool quiet = mivo3_include_quiet;
    mivo3_include_quiet = true;  // the compile already reported include failures
    std::string flat;
    for (int32_t i = 0; i < MIVO3_CODE_TAB_COUNT; i++) {
        const std::string& tab = mivo3_tabs.tab[i];
        bool flattened = mivo3_flatten_includes(tab, flat) == 0;
        // A tab and the separator line after it span its newlines + 2 lines;
        // the separator line counts as the tab's last line.
        int32_t span = count_newlines(flattened ? flat : tab) + 2;
        if (span >= n) {
            mivo3_include_quiet = quiet;
            *out_tab = i;
            return flattened ? unflatten_line(n, report) : n;
        }
        n -= span;
    }
    mivo3_include_quiet = quiet;
    *out_tab = 0;
    return 0;
}

}  // namespace

int32_t find_tab_line(int32_t line, int32_t* out_tab) {
    return map_tab_line(line, out_tab, true);
}

int32_t find_tab_line_quietly(int32_t line, int32_t* out_tab) {
    return map_tab_line(line, out_tab, false);
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
