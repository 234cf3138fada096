// The console's light tokenizer. It classifies raw cart code (before
// preprocessing, so it knows "!=", compound assignments, "//" comments and
// "#include" lines) for three uses: the token count that limits a cart's
// program size, the preprocessor's line rewriting and a colour per token.
//
// The get_* functions keep their state in globals and are for the main thread
// only. `mivo3_lexer` is the same scanner as a value, for code that needs to
// tokenize a second text while the globals are in use.
#pragma once
#include <cstdint>
#include <string_view>

// Token classes: single characters are their own (positive) code.
enum : int32_t {
    TOKEN_END = -1000,
    TOKEN_NEWLINE = -999,
    TOKEN_NAME = -998,
    TOKEN_NUMBER = -997,
    TOKEN_STRING = -996,
    TOKEN_COMMENT = -995,
    TOKEN_FUNCTION = -993,
    TOKEN_KW_END = -992,
    TOKEN_FOR = -991,
    TOKEN_IF = -990,
    TOKEN_THEN = -989,
    TOKEN_ELSE = -988,
    TOKEN_ELSEIF = -987,
    TOKEN_WHILE = -986,
    TOKEN_DO = -985,
    TOKEN_IN = -984,
    TOKEN_LOCAL = -983,
    TOKEN_RETURN = -982,
    TOKEN_REPEAT = -981,
    TOKEN_UNTIL = -980,
    TOKEN_GOTO = -979,
    TOKEN_BREAK = -978,
    TOKEN_PRELUDE_API = -977,  // foreach, all, add, del, menuitem
    TOKEN_NOT = -974,
    TOKEN_AND = -973,
    TOKEN_OR = -972,
    TOKEN_LE = -968,
    TOKEN_GE = -967,
    TOKEN_NE = -965,           // "!=" or "~="
    TOKEN_EQ = -964,
    TOKEN_COMPOUND = -963,     // "+=", "-=", "*=", "/=", "%="
    TOKEN_CONCAT = -962,
    TOKEN_VALUE = -961,        // true, false, nil
    TOKEN_INCLUDE = -960,      // a whole "#include " line
};

enum : int32_t {
    MIVO3_TOKEN_LIMIT = 8192,       // counted tokens a cart's program may have
    KEYWORD_TABLE_SLOTS = 8192,
    KEYWORD_NAME_BYTES = 16,        // 15 characters and a NUL
    API_NAME_BYTES = 64,            // 63 characters and a NUL
};

// One slot of the keyword hash table.
struct keyword_slot {
    char name[KEYWORD_NAME_BYTES];
    int32_t cls;
};

// The slot of a text in the keyword table: h = 0x67d, then for every byte c
// (signed) h = ((c * h) & 0x1fff) ^ 0x1c62.
constexpr int32_t keyword_hash_slot(std::string_view text) {
    int32_t h = 0x67d;
    for (char ch : text) {
        int32_t c = static_cast<signed char>(ch);
        h = ((c * h) & 0x1fff) ^ 0x1c62;
    }
    return h;
}

// The keyword table (built once, at compile time; two words in one slot stop
// the build).
const keyword_slot* keyword_table();
// The keyword class of text, or 0 when it is not in the table.
int32_t keyword_class(std::string_view text);
// Among `words`, the first pair that lands in one slot: true with their
// indices in *a and *b, false when every word has a slot of its own.
bool find_keyword_collision(const std::string_view* words, int32_t count, int32_t* a, int32_t* b);

inline bool is_alpha_dat(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 0x80 && c <= 0x99);
}
inline bool is_alphanum_dat(uint8_t c) { return is_alpha_dat(c) || (c >= '0' && c <= '9'); }

// A scanner over [pos, end). `at_line_start` tells whether pos begins a line,
// which is where a "#include " line token may start.
struct mivo3_lexer {
    const char* pos = nullptr;
    const char* end = nullptr;
    int32_t cls = 0;            // class of the token just read
    int32_t prev_cls = 0;       // class of the token before it
    const char* ws = nullptr;   // whitespace before the token just read
    const char* start = nullptr;  // the token just read is [start, pos)
    int32_t line = 0;           // newline characters passed so far
    bool at_line_start = true;
};

void mivo3_lexer_begin(mivo3_lexer& lx, std::string_view text, bool at_line_start = true);
// Reads one token; returns its class (TOKEN_END, and no progress, at the end).
int32_t mivo3_lexer_next(mivo3_lexer& lx);
inline std::string_view mivo3_lexer_token(const mivo3_lexer& lx) {
    return {lx.start, static_cast<size_t>(lx.pos - lx.start)};
}

// The global tokenizer over NUL-terminated text.
const char* get_first_token(const char* text);  // resets the state, reads the first token
const char* get_next_token(const char* text);   // reads one token at text; null for null
int32_t get_token();                            // class of the token just read
std::string_view get_token_text();              // text of the token just read
int32_t get_token_line();                       // newlines passed since get_first_token

int32_t count_tokens(const char* text);         // counted tokens of the whole text
int32_t count_tokens(std::string_view text);
int32_t is_free_token(int32_t cls);             // 1 for classes that count zero
int32_t token_color(int32_t cls);               // console colour of a class
int32_t get_token_color();                      // colour of the token just read

// The API function names the runtime binds, in registration order.
void init_api_function_names();                  // empties the list
void add_api_function_name(const char* name);    // appends (cut to 63 characters)
int32_t api_function_name_count();
const char* api_function_name(int32_t index);    // null out of range
int32_t find_api_function_name(std::string_view name);  // index, or -1
