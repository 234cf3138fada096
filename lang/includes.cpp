#include "lang/includes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/log.h"
#include "host/stream.h"
#include "lang/tokenizer.h"

bool mivo3_include_quiet = false;

namespace {

struct include_entry {
    std::array<char, INCLUDE_NAME_BYTES> name{};
    int32_t start_line = 0;
    int32_t end_line = 0;
};

constexpr std::string_view include_prefix = "#include ";
constexpr std::string_view tab_separator = "\n-->8\n";
constexpr int32_t max_code_tabs = 8;

mivo3_include_hooks g_hooks;
std::vector<include_entry> g_includes;

void print_line(const char* text, int32_t colour) {
    if (g_hooks.print) g_hooks.print(text, colour);
    else quon_debugf("[colour %d] %s\n", colour, text);
}

std::string_view trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n\b";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

std::string folder_of(const std::string& filename) {
    size_t slash = filename.find_last_of('/');
    return slash == std::string::npos ? std::string() : filename.substr(0, slash + 1);
}

// The code tabs of a cart: cut at each separator; whatever follows the
// seventh separator stays in the last tab, so nothing is lost.
int32_t cut_code_tabs(std::string_view code, std::array<std::string_view, max_code_tabs>& tabs) {
    int32_t count = 0;
    while (count < max_code_tabs - 1) {
        size_t at = code.find(tab_separator);
        if (at == std::string_view::npos) break;
        tabs[static_cast<size_t>(count++)] = code.substr(0, at);
        code.remove_prefix(at + tab_separator.size());
    }
    tabs[static_cast<size_t>(count++)] = code;
    return count;
}

bool read_plain_text(const std::string& path, std::string* text) {
    // An empty name leaves only a folder, which opens but is no text.
    if (path.empty() || path.back() == '/' || quon_directory_exists(path.c_str())) return false;
    quon_stream* s = quon_fopen(path.c_str(), "rb");
    if (!s) return false;
    text->resize(INCLUDE_MAX_FILE_BYTES);
    int64_t got = quon_fread(text->data(), 1, INCLUDE_MAX_FILE_BYTES, s);
    quon_fclose(s);
    text->resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    return true;
}

int32_t count_newlines(std::string_view text) {
    return static_cast<int32_t>(std::count(text.begin(), text.end(), '\n'));
}

void report_load_failure(std::string_view argument) {
    if (mivo3_include_quiet) return;
    std::string arg(argument);
    print_line("could not #include file:", 6);
    print_line(arg.c_str(), 14);
    if (!argument.empty() && argument.front() == '"') print_line("\x82try without the quotes", 6);
}

// Inserts the include on `line` (which starts with "#include ") into out.
// Returns false after printing why it failed.
bool insert_include(std::string_view line, std::string& out, int32_t& out_lines) {
    if (g_includes.size() >= MIVO3_MAX_INCLUDES) {
        print_line("too many #includes", 6);
        return false;
    }
    std::string_view argument = trim(line.substr(include_prefix.size()));
    std::string path, name;
    int32_t tab = -1;
    get_include_filename(argument, &path, &tab, &name);
    std::string text;
    if (!load_included_text(path, tab, &text)) {
        report_load_failure(argument);
        return false;
    }
    if (out.size() + text.size() > FLATTEN_MAX_OUTPUT) {
        if (!mivo3_include_quiet) {
            print_line("#include file too long:", 6);
            print_line(std::string(argument).c_str(), 14);
        }
        return false;
    }
    include_entry entry;
    size_t n = std::min(name.size(), static_cast<size_t>(INCLUDE_NAME_BYTES - 1));
    std::memcpy(entry.name.data(), name.data(), n);
    entry.start_line = out_lines;
    out += text;
    out_lines += count_newlines(text);
    entry.end_line = out_lines;
    g_includes.push_back(entry);
    return true;
}

}  // namespace

void mivo3_set_include_hooks(const mivo3_include_hooks& hooks) { g_hooks = hooks; }

const mivo3_include_hooks& mivo3_get_include_hooks() { return g_hooks; }

void get_include_filename(std::string_view text, std::string* path_out, int32_t* tab_out,
                          std::string* name_out) {
    std::string_view name = trim(text);
    if (name_out) *name_out = std::string(name);
    // After a colon comes the tab, read as a decimal number: its leading
    // digits, so "x.m3:" and "lib.lua:x" both name tab 0. The name ends there.
    int32_t tab = -1;
    size_t colon = name.find(':');
    if (colon != std::string_view::npos) {
        tab = 0;
        for (char c : name.substr(colon + 1)) {
            if (c < '0' || c > '9') break;
            tab = std::min(tab * 10 + (c - '0'), 1000000);
        }
        name = name.substr(0, colon);
    }
    std::string path;
    if (!name.empty() && name.front() == '/') {
        path = g_hooks.cart_root_folder ? g_hooks.cart_root_folder() : std::string();
        if (!path.empty() && path.back() != '/') path += '/';
        path += name.substr(1);
    } else {
        path = g_hooks.current_cart_filename ? folder_of(g_hooks.current_cart_filename()) : std::string();
        path += name;
    }
    quon_debugf("get_include_filename %.*s -> [%s]\n", static_cast<int>(text.size()), text.data(),
                path.c_str());
    if (path_out) *path_out = std::move(path);
    if (tab_out) *tab_out = tab;
}

bool load_included_text(const std::string& path, int32_t tab, std::string* text_out) {
    std::string code;
    std::string text;
    if (g_hooks.load_cart_code && g_hooks.load_cart_code(path.c_str(), &code)) {
        std::array<std::string_view, max_code_tabs> tabs{};
        int32_t count = cut_code_tabs(code, tabs);
        if (tab < 0) {
            // The tabs are joined by newlines: joined without any, the last
            // line of one tab would run into the first line of the next.
            for (int32_t i = 0; i < count; i++) {
                if (i > 0) text += '\n';
                text += tabs[static_cast<size_t>(i)];
            }
        } else if (tab < count) {
            text = tabs[static_cast<size_t>(tab)];
        } else {
            char message[48];
            std::snprintf(message, sizeof message, "could not find tab %d", tab);
            print_line(message, 6);
            return false;
        }
    } else if (!read_plain_text(path, &text)) {
        return false;
    }
    text += '\n';
    if (text_out) *text_out = std::move(text);
    return true;
}

int32_t mivo3_flatten_includes(std::string_view src, std::string& dst) {
    g_includes.clear();
    std::string out;
    out.reserve(src.size());
    int32_t out_lines = 0;
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, src);
    bool at_end = false;
    for (int32_t line = 0; line < FLATTEN_MAX_LINES && !at_end; line++) {
        const char* line_begin = lx.pos;
        for (;;) {
            int32_t cls = mivo3_lexer_next(lx);
            if (cls == TOKEN_END) at_end = true;
            if (cls == TOKEN_END || cls == TOKEN_NEWLINE) break;
        }
        std::string_view text(line_begin, static_cast<size_t>(lx.pos - line_begin));
        if (text.starts_with(include_prefix)) {
            if (!insert_include(text, out, out_lines)) {
                dst.clear();
                return 1;
            }
        } else {
            out += text;
            out_lines += count_newlines(text);
        }
    }
    dst = std::move(out);
    return 0;
}

int32_t mivo3_flatten_includes(const char* src, char* dst) {
    if (!dst) return 1;
    dst[0] = 0;
    std::string out;
    if (mivo3_flatten_includes(src ? std::string_view(src) : std::string_view(), out) != 0) return 1;
    if (out.size() >= FLATTEN_BUFFER_BYTES) return 1;
    std::memcpy(dst, out.data(), out.size() + 1);
    return 0;
}

int32_t last_included_files() { return static_cast<int32_t>(g_includes.size()); }

int32_t included_start(int32_t index) {
    if (index < 0 || index >= last_included_files()) return 0;
    return g_includes[static_cast<size_t>(index)].start_line;
}

int32_t included_end(int32_t index) {
    if (index < 0 || index >= last_included_files()) return 0;
    return g_includes[static_cast<size_t>(index)].end_line;
}

const char* included_name(int32_t index) {
    if (index < 0 || index >= last_included_files()) return nullptr;
    return g_includes[static_cast<size_t>(index)].name.data();
}
