#include "lang/tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

struct keyword_word {
    std::string_view text;
    int32_t cls;
};

constexpr keyword_word keyword_words[] = {
    {"function", TOKEN_FUNCTION}, {"end", TOKEN_KW_END},       {"for", TOKEN_FOR},
    {"if", TOKEN_IF},             {"then", TOKEN_THEN},        {"else", TOKEN_ELSE},
    {"elseif", TOKEN_ELSEIF},     {"while", TOKEN_WHILE},      {"do", TOKEN_DO},
    {"in", TOKEN_IN},             {"local", TOKEN_LOCAL},      {"return", TOKEN_RETURN},
    {"repeat", TOKEN_REPEAT},     {"until", TOKEN_UNTIL},      {"goto", TOKEN_GOTO},
    {"break", TOKEN_BREAK},       {"foreach", TOKEN_PRELUDE_API}, {"all", TOKEN_PRELUDE_API},
    {"add", TOKEN_PRELUDE_API},   {"del", TOKEN_PRELUDE_API},  {"menuitem", TOKEN_PRELUDE_API},
    {"not", TOKEN_NOT},           {"and", TOKEN_AND},          {"or", TOKEN_OR},
    {"true", TOKEN_VALUE},        {"false", TOKEN_VALUE},      {"nil", TOKEN_VALUE},
};

constexpr bool collision_in(const std::string_view* words, int32_t count, int32_t* a, int32_t* b) {
    std::array<int32_t, KEYWORD_TABLE_SLOTS> owner{};
    for (int32_t i = 0; i < count; i++) {
        int32_t slot = keyword_hash_slot(words[i]);
        if (owner[slot] != 0) {
            *a = owner[slot] - 1;
            *b = i;
            return true;
        }
        owner[slot] = i + 1;
    }
    return false;
}

constexpr bool keyword_words_collide() {
    std::array<std::string_view, std::size(keyword_words)> words{};
    for (size_t i = 0; i < words.size(); i++) words[i] = keyword_words[i].text;
    int32_t a = 0, b = 0;
    return collision_in(words.data(), static_cast<int32_t>(words.size()), &a, &b);
}
static_assert(!keyword_words_collide(), "keyword hash collision: two keywords share a table slot");

constexpr std::array<keyword_slot, KEYWORD_TABLE_SLOTS> build_keyword_table() {
    std::array<keyword_slot, KEYWORD_TABLE_SLOTS> table{};
    for (const keyword_word& w : keyword_words) {
        keyword_slot& slot = table[keyword_hash_slot(w.text)];
        for (size_t i = 0; i < w.text.size(); i++) slot.name[i] = w.text[i];
        slot.cls = w.cls;
    }
    return table;
}

constexpr std::array<keyword_slot, KEYWORD_TABLE_SLOTS> keyword_slots = build_keyword_table();

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Skips a "[[" ... "]]" bracket whose "[[" has been read, counting nested
// pairs. Returns the position after the closing "]]", or null when the text
// ends first.
const char* skip_long_bracket(const char* p, const char* e, int32_t& line) {
    int32_t depth = 1;
    int32_t newlines = 0;
    while (p < e) {
        if (p[0] == '[' && p + 1 < e && p[1] == '[') {
            depth++;
            p += 2;
        } else if (p[0] == ']' && p + 1 < e && p[1] == ']') {
            p += 2;
            if (--depth == 0) {
                line += newlines;
                return p;
            }
        } else {
            if (*p == '\n') newlines++;
            p++;
        }
    }
    return nullptr;
}

const char* skip_to_line_end(const char* p, const char* e) {
    const void* nl = std::memchr(p, '\n', static_cast<size_t>(e - p));
    return nl ? static_cast<const char*>(nl) : e;
}

const char* scan_string(const char* p, const char* e, int32_t& line) {
    char quote = *p++;
    while (p < e) {
        char ch = *p;
        if (ch == '\\') {
            p++;
            if (p < e) {
                if (*p == '\n') line++;
                p++;
            }
            continue;
        }
        if (ch == '\n') break;
        p++;
        if (ch == quote) break;
    }
    return p;
}

const char* scan_number(const char* p, const char* e) {
    if (p[0] == '0' && p + 1 < e && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        while (p < e && (is_digit(*p) || (*p >= 'a' && *p <= 'f') || *p == '.')) p++;
    } else if (p[0] == '0' && p + 1 < e && (p[1] == 'b' || p[1] == 'B')) {
        p += 2;
        while (p < e && (*p == '0' || *p == '1' || *p == '.')) p++;
    } else {
        p++;
        while (p < e && (is_digit(*p) || *p == '.')) p++;
    }
    return p;
}

// The class of a two-character operator at p, or 0.
int32_t two_char_class(char a, char b) {
    if (a == '.' && b == '.') return TOKEN_CONCAT;
    if (b != '=') return 0;
    switch (a) {
    case '!':
    case '~': return TOKEN_NE;
    case '+':
    case '-':
    case '*':
    case '/':
    case '%': return TOKEN_COMPOUND;
    case '<': return TOKEN_LE;
    case '=': return TOKEN_EQ;
    case '>': return TOKEN_GE;
    default: return 0;
    }
}

constexpr std::string_view include_prefix = "#include ";

mivo3_lexer g_lexer;
const char* g_text_begin = nullptr;
std::vector<std::array<char, API_NAME_BYTES>> g_api_names;

bool within_global_text(const char* text) {
    return g_text_begin && text >= g_text_begin && text <= g_lexer.end;
}

}  // namespace

const keyword_slot* keyword_table() { return keyword_slots.data(); }

int32_t keyword_class(std::string_view text) {
    if (text.empty() || text.size() >= KEYWORD_NAME_BYTES) return 0;
    const keyword_slot& slot = keyword_slots[keyword_hash_slot(text)];
    if (slot.cls == 0 || std::memcmp(slot.name, text.data(), text.size()) != 0 ||
        slot.name[text.size()] != 0)
        return 0;
    return slot.cls;
}

bool find_keyword_collision(const std::string_view* words, int32_t count, int32_t* a, int32_t* b) {
    return collision_in(words, count, a, b);
}

void mivo3_lexer_begin(mivo3_lexer& lx, std::string_view text, bool at_line_start) {
    lx = mivo3_lexer{};
    lx.pos = lx.start = lx.ws = text.data();
    lx.end = text.data() + text.size();
    lx.at_line_start = at_line_start;
}

int32_t mivo3_lexer_next(mivo3_lexer& lx) {
    const char* p = lx.pos;
    const char* e = lx.end;
    lx.ws = p;
    while (p < e && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\b')) p++;
    bool line_start = lx.at_line_start && p == lx.ws;
    lx.start = p;
    int32_t cls;
    if (p >= e) {
        cls = TOKEN_END;
    } else {
        uint8_t c = static_cast<uint8_t>(*p);
        char next = p + 1 < e ? p[1] : 0;
        if (c == '-' && next == '-') {
            cls = TOKEN_COMMENT;
            const char* after = nullptr;
            if (p + 3 < e && p[2] == '[' && p[3] == '[') after = skip_long_bracket(p + 4, e, lx.line);
            // A long comment that is never closed reads as a line comment.
            p = after ? after : skip_to_line_end(p + 2, e);
        } else if (is_alpha_dat(c)) {
            const char* q = p + 1;
            while (q < e && is_alphanum_dat(static_cast<uint8_t>(*q))) q++;
            // After '.' or ':' a keyword is a field or method name (t.end, o:local).
            cls = TOKEN_NAME;
            if (lx.cls != '.' && lx.cls != ':') {
                int32_t k = keyword_class({p, static_cast<size_t>(q - p)});
                if (k != 0) cls = k;
            }
            p = q;
        } else if (c == '\n') {
            cls = TOKEN_NEWLINE;
            lx.line++;
            p++;
        } else if (c == '"' || c == '\'') {
            cls = TOKEN_STRING;
            p = scan_string(p, e, lx.line);
        } else if (is_digit(c)) {
            cls = TOKEN_NUMBER;
            p = scan_number(p, e);
        } else if (c == '[' && next == '[') {
            cls = TOKEN_STRING;
            const char* after = skip_long_bracket(p + 2, e, lx.line);
            if (!after) {
                for (const char* q = p; q < e; q++) lx.line += *q == '\n';
                after = e;
            }
            p = after;
        } else if (c == '/' && next == '/') {
            cls = TOKEN_COMMENT;
            p = skip_to_line_end(p + 2, e);
        } else if (int32_t two = next ? two_char_class(static_cast<char>(c), next) : 0; two != 0) {
            cls = two;
            p += 2;
        } else if (c == '#' && line_start &&
                   std::string_view(p, static_cast<size_t>(e - p)).starts_with(include_prefix)) {
            cls = TOKEN_INCLUDE;
            p = skip_to_line_end(p, e);
        } else {
            cls = c;
            p++;
        }
    }
    lx.prev_cls = lx.cls;
    lx.cls = cls;
    lx.pos = p;
    lx.at_line_start = cls == TOKEN_NEWLINE;
    return cls;
}

const char* get_first_token(const char* text) {
    if (!text) return nullptr;
    g_text_begin = text;
    mivo3_lexer_begin(g_lexer, {text, std::strlen(text)});
    mivo3_lexer_next(g_lexer);
    return g_lexer.pos;
}

const char* get_next_token(const char* text) {
    if (!text) return nullptr;
    if (!within_global_text(text)) {
        // A text other than the one get_first_token started: it begins here.
        g_text_begin = text;
        g_lexer.end = text + std::strlen(text);
        g_lexer.at_line_start = true;
    } else if (text != g_lexer.pos) {
        // Reading from elsewhere than where the last token ended: a line
        // starts there only after a newline.
        g_lexer.at_line_start = text == g_text_begin || text[-1] == '\n';
    }
    g_lexer.pos = text;
    mivo3_lexer_next(g_lexer);
    return g_lexer.pos;
}

int32_t get_token() { return g_lexer.cls; }

std::string_view get_token_text() {
    if (!g_lexer.start) return {};
    return mivo3_lexer_token(g_lexer);
}

int32_t get_token_line() { return g_lexer.line; }

int32_t is_free_token(int32_t cls) {
    switch (cls) {
    case ')':
    case ']':
    case '}':
    case '.':
    case ',':
    case ':':
    case ';':
    case TOKEN_NEWLINE:
    case TOKEN_COMMENT:
    case TOKEN_END:
    case TOKEN_KW_END:
    case TOKEN_LOCAL:
    case TOKEN_INCLUDE: return 1;
    default: return 0;
    }
}

int32_t count_tokens(std::string_view text) {
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, text);
    int32_t count = 0;
    while (mivo3_lexer_next(lx) != TOKEN_END) count += !is_free_token(lx.cls);
    return count;
}

int32_t count_tokens(const char* text) {
    if (!text) return 0;
    return count_tokens(std::string_view(text));
}

int32_t token_color(int32_t cls) {
    if (cls > 0) return 7;
    if ((cls >= TOKEN_FUNCTION && cls <= TOKEN_BREAK) || cls == TOKEN_NOT || cls == TOKEN_AND ||
        cls == TOKEN_OR)
        return 14;
    switch (cls) {
    case TOKEN_PRELUDE_API: return 11;
    case TOKEN_COMMENT: return 13;
    case TOKEN_STRING:
    case TOKEN_NUMBER:
    case TOKEN_VALUE: return 12;
    case TOKEN_INCLUDE: return 9;
    case TOKEN_LE:
    case TOKEN_GE:
    case TOKEN_NE:
    case TOKEN_EQ:
    case TOKEN_COMPOUND:
    case TOKEN_CONCAT: return 7;
    default: return 6;
    }
}

int32_t get_token_color() { return token_color(g_lexer.cls); }

void init_api_function_names() { g_api_names.clear(); }

void add_api_function_name(const char* name) {
    if (!name) return;
    std::array<char, API_NAME_BYTES> entry{};
    size_t n = std::min(std::strlen(name), static_cast<size_t>(API_NAME_BYTES - 1));
    std::memcpy(entry.data(), name, n);
    g_api_names.push_back(entry);
}

int32_t api_function_name_count() { return static_cast<int32_t>(g_api_names.size()); }

const char* api_function_name(int32_t index) {
    if (index < 0 || index >= api_function_name_count()) return nullptr;
    return g_api_names[static_cast<size_t>(index)].data();
}

int32_t find_api_function_name(std::string_view name) {
    for (size_t i = 0; i < g_api_names.size(); i++)
        if (name == std::string_view(g_api_names[i].data())) return static_cast<int32_t>(i);
    return -1;
}
