#include "lang/tokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct token {
    int32_t cls;
    std::string text;
};

std::vector<token> tokenize(const std::string& src) {
    std::vector<token> out;
    const char* p = get_first_token(src.c_str());
    while (get_token() != TOKEN_END) {
        out.push_back({get_token(), std::string(get_token_text())});
        p = get_next_token(p);
    }
    return out;
}

std::vector<int32_t> classes(const std::string& src) {
    std::vector<int32_t> out;
    for (const token& t : tokenize(src)) out.push_back(t.cls);
    return out;
}

TEST(TokenCount, CountsOfTheDocumentedExamples) {
    struct {
        const char* src;
        int32_t count;
    } cases[] = {
        {"x = a + 1", 5},       {"local x = 1", 3},   {"end", 0},
        {"print(\"hi\")", 3},   {"-1", 2},            {"t.a", 2},
        {"0xFF", 2},            {"a.end", 2},         {"#include other.m3", 0},
        {"s = \"a\\\"b\"", 3},  {"", 0},              {"-- just a comment\n\n", 0},
        {"a[1], b; c:d()", 7},  {"x += 1 // add", 3}, {"if a != b then end", 5},
        {"local function f(a, b) return a..b end", 9},
    };
    for (const auto& c : cases) EXPECT_EQ(count_tokens(c.src), c.count) << c.src;
}

TEST(TokenCount, FreeClassesCountZero) {
    for (int32_t cls : {')', ']', '}', '.', ',', ':', ';'}) EXPECT_EQ(is_free_token(cls), 1) << cls;
    for (int32_t cls : {TOKEN_NEWLINE, TOKEN_COMMENT, TOKEN_END, TOKEN_KW_END, TOKEN_LOCAL, TOKEN_INCLUDE})
        EXPECT_EQ(is_free_token(cls), 1) << cls;
    for (int32_t cls : std::initializer_list<int32_t>{'(', '[', '{', '+', TOKEN_NAME, TOKEN_FUNCTION, TOKEN_COMPOUND, TOKEN_VALUE})
        EXPECT_EQ(is_free_token(cls), 0) << cls;
}

TEST(Tokenizer, KeywordsAndNames) {
    EXPECT_EQ(classes("function end for if then else elseif while do in local return repeat until goto break"),
              (std::vector<int32_t>{TOKEN_FUNCTION, TOKEN_KW_END, TOKEN_FOR, TOKEN_IF, TOKEN_THEN, TOKEN_ELSE,
                                    TOKEN_ELSEIF, TOKEN_WHILE, TOKEN_DO, TOKEN_IN, TOKEN_LOCAL, TOKEN_RETURN,
                                    TOKEN_REPEAT, TOKEN_UNTIL, TOKEN_GOTO, TOKEN_BREAK}));
    EXPECT_EQ(classes("foreach all add del menuitem not and or true false nil"),
              (std::vector<int32_t>{TOKEN_PRELUDE_API, TOKEN_PRELUDE_API, TOKEN_PRELUDE_API, TOKEN_PRELUDE_API,
                                    TOKEN_PRELUDE_API, TOKEN_NOT, TOKEN_AND, TOKEN_OR, TOKEN_VALUE, TOKEN_VALUE,
                                    TOKEN_VALUE}));
    // Prefixes, extensions and case variants of keywords are plain names.
    EXPECT_EQ(classes("ends en End function_ _end iff"), std::vector<int32_t>(6, TOKEN_NAME));
}

TEST(Tokenizer, KeywordAfterDotOrColonIsAName) {
    EXPECT_EQ(classes("t.end o:local x end"),
              (std::vector<int32_t>{TOKEN_NAME, '.', TOKEN_NAME, TOKEN_NAME, ':', TOKEN_NAME, TOKEN_NAME,
                                    TOKEN_KW_END}));
}

TEST(Tokenizer, NamesTakeGlyphBytesAndDigits) {
    std::string src = "a\x80z9_\x99 \x9a";
    auto toks = tokenize(src);
    ASSERT_EQ(toks.size(), 2u);
    EXPECT_EQ(toks[0].cls, TOKEN_NAME);
    EXPECT_EQ(toks[0].text, "a\x80z9_\x99");
    EXPECT_EQ(toks[1].cls, 0x9a);  // past the glyph range: a single character
}

TEST(Tokenizer, Numbers) {
    auto toks = tokenize("0x1f.8 0b10.1 12.5 0xFF 0XAB 7..8 .5");
    ASSERT_EQ(toks.size(), 10u);
    EXPECT_EQ(toks[0].text, "0x1f.8");
    EXPECT_EQ(toks[1].text, "0b10.1");
    EXPECT_EQ(toks[2].text, "12.5");
    // No upper-case hex digits: 0xFF is the number 0x and the name FF.
    EXPECT_EQ(toks[3].text, "0x");
    EXPECT_EQ(toks[4].cls, TOKEN_NAME);
    EXPECT_EQ(toks[4].text, "FF");
    EXPECT_EQ(toks[5].text, "0X");
    EXPECT_EQ(toks[6].text, "AB");
    EXPECT_EQ(toks[7].text, "7..8");
    EXPECT_EQ(toks[8].cls, '.');
    EXPECT_EQ(toks[9].text, "5");
    for (int i : {0, 1, 2, 3, 5, 7, 9}) EXPECT_EQ(toks[i].cls, TOKEN_NUMBER) << i;
}

TEST(Tokenizer, TwoCharacterOperators) {
    EXPECT_EQ(classes(".. != ~= += -= *= /= %= <= == >= < > = ~ ^="),
              (std::vector<int32_t>{TOKEN_CONCAT, TOKEN_NE, TOKEN_NE, TOKEN_COMPOUND, TOKEN_COMPOUND,
                                    TOKEN_COMPOUND, TOKEN_COMPOUND, TOKEN_COMPOUND, TOKEN_LE, TOKEN_EQ, TOKEN_GE,
                                    '<', '>', '=', '~', '^', '='}));
}

TEST(Tokenizer, Strings) {
    auto toks = tokenize("s = \"a\\\"b\" .. 'it''s'");
    ASSERT_EQ(toks.size(), 6u);
    EXPECT_EQ(toks[2].cls, TOKEN_STRING);
    EXPECT_EQ(toks[2].text, "\"a\\\"b\"");
    EXPECT_EQ(toks[4].text, "'it'");
    EXPECT_EQ(toks[5].text, "'s'");

    // An unterminated string stops before the newline.
    toks = tokenize("\"open\nx");
    ASSERT_EQ(toks.size(), 3u);
    EXPECT_EQ(toks[0].text, "\"open");
    EXPECT_EQ(toks[1].cls, TOKEN_NEWLINE);
    EXPECT_EQ(toks[2].text, "x");

    // A backslash takes the newline into the string.
    toks = tokenize("\"a\\\nb\" c");
    ASSERT_EQ(toks.size(), 2u);
    EXPECT_EQ(toks[0].text, "\"a\\\nb\"");

    // A backslash at the very end neither reads past the text nor loops.
    toks = tokenize("'abc\\");
    ASSERT_EQ(toks.size(), 1u);
    EXPECT_EQ(toks[0].text, "'abc\\");
}

TEST(Tokenizer, LongStringsNest) {
    auto toks = tokenize("x = [[a [[b]] c]] y");
    ASSERT_EQ(toks.size(), 4u);
    EXPECT_EQ(toks[2].cls, TOKEN_STRING);
    EXPECT_EQ(toks[2].text, "[[a [[b]] c]]");
    // Unterminated, a long string runs to the end of the text.
    toks = tokenize("[[a\nb\nc");
    ASSERT_EQ(toks.size(), 1u);
    EXPECT_EQ(toks[0].text, "[[a\nb\nc");
    EXPECT_EQ(classes("a[1]"), (std::vector<int32_t>{TOKEN_NAME, '[', TOKEN_NUMBER, ']'}));
}

TEST(Tokenizer, Comments) {
    auto toks = tokenize("a -- note\nb // also\nc --[[ long\n[[nested]]\n ]] d");
    ASSERT_EQ(toks.size(), 9u);
    EXPECT_EQ(toks[1].cls, TOKEN_COMMENT);
    EXPECT_EQ(toks[1].text, "-- note");
    EXPECT_EQ(toks[4].text, "// also");
    EXPECT_EQ(toks[7].cls, TOKEN_COMMENT);
    EXPECT_EQ(toks[7].text, "--[[ long\n[[nested]]\n ]]");
    EXPECT_EQ(toks[8].text, "d");

    // Never closed, a long comment is a line comment.
    toks = tokenize("--[[ open\nx");
    ASSERT_EQ(toks.size(), 3u);
    EXPECT_EQ(toks[0].text, "--[[ open");
    EXPECT_EQ(toks[2].text, "x");
    // "--" followed by a single '[' is a line comment too.
    EXPECT_EQ(classes("--[ x ]]\ny"), (std::vector<int32_t>{TOKEN_COMMENT, TOKEN_NEWLINE, TOKEN_NAME}));
}

TEST(Tokenizer, IncludeLinesOnlyAtTheStartOfALine) {
    auto toks = tokenize("#include a.lua\n#include b.m3:2\n  #include c\nx #include d\n#includes");
    ASSERT_GE(toks.size(), 4u);
    EXPECT_EQ(toks[0].cls, TOKEN_INCLUDE);
    EXPECT_EQ(toks[0].text, "#include a.lua");
    EXPECT_EQ(toks[2].cls, TOKEN_INCLUDE);
    EXPECT_EQ(toks[2].text, "#include b.m3:2");
    EXPECT_EQ(toks[4].cls, '#');  // indented
    int32_t includes = 0;
    for (const token& t : toks) includes += t.cls == TOKEN_INCLUDE;
    EXPECT_EQ(includes, 2);
}

TEST(Tokenizer, WhitespaceAndControlCharacters) {
    // Spaces, tabs, carriage returns and backspaces separate tokens; other
    // control characters are tokens of their own.
    EXPECT_EQ(classes("a \t\r\b b\x01\x1f"), (std::vector<int32_t>{TOKEN_NAME, TOKEN_NAME, 1, 0x1f}));
    EXPECT_EQ(classes("a\r\nb"), (std::vector<int32_t>{TOKEN_NAME, TOKEN_NEWLINE, TOKEN_NAME}));
}

TEST(Tokenizer, GlobalStateFollowsTheText) {
    std::string src = "x = 1\n--[[a\nb]] y";
    const char* p = get_first_token(src.c_str());
    EXPECT_EQ(get_token(), TOKEN_NAME);
    EXPECT_EQ(p, src.c_str() + 1);
    EXPECT_EQ(get_token_line(), 0);
    while (get_token() != TOKEN_END) p = get_next_token(p);
    EXPECT_EQ(get_token_line(), 2);
    // At the end there is no further progress.
    EXPECT_EQ(get_next_token(p), p);
    EXPECT_EQ(get_token(), TOKEN_END);
    EXPECT_EQ(get_next_token(nullptr), nullptr);
    EXPECT_EQ(get_first_token(nullptr), nullptr);
}

TEST(Tokenizer, NextTokenOnAnotherTextStartsThere) {
    std::string first = "a b c";
    std::string other = "#include x\ny";
    get_first_token(first.c_str());
    const char* p = get_next_token(other.c_str());
    EXPECT_EQ(get_token(), TOKEN_INCLUDE);
    p = get_next_token(p);
    EXPECT_EQ(get_token(), TOKEN_NEWLINE);
    get_next_token(p);
    EXPECT_EQ(get_token_text(), "y");
    // Re-reading mid-line of the current text is not a line start.
    get_next_token(other.c_str() + 1);
    EXPECT_EQ(get_token(), TOKEN_NAME);
}

TEST(Tokenizer, Colours) {
    struct {
        const char* src;
        int32_t colour;
    } cases[] = {
        {"while", 14}, {"break", 14}, {"not", 14},   {"or", 14},     {"add", 11}, {"-- c", 13},
        {"'s'", 12},   {"12", 12},    {"nil", 12},   {"#include x", 9}, {"+", 7}, {"..", 7},
        {"<=", 7},     {"+=", 7},     {"name", 6},   {"\n", 6},      {"", 6},
    };
    for (const auto& c : cases) {
        get_first_token(c.src);
        EXPECT_EQ(get_token_color(), c.colour) << c.src;
    }
}

TEST(KeywordTable, EveryKeywordSitsInItsSlot) {
    const char* words[] = {"function", "end",  "for",    "if",    "then",     "else",  "elseif",
                           "while",    "do",   "in",     "local", "return",   "repeat", "until",
                           "goto",     "break", "foreach", "all",  "add",      "del",   "menuitem",
                           "not",      "and",  "or",     "true",  "false",    "nil"};
    int32_t filled = 0;
    for (int32_t i = 0; i < KEYWORD_TABLE_SLOTS; i++) filled += keyword_table()[i].cls != 0;
    EXPECT_EQ(filled, static_cast<int32_t>(std::size(words)));
    for (const char* w : words) {
        const keyword_slot& slot = keyword_table()[keyword_hash_slot(w)];
        EXPECT_STREQ(slot.name, w);
        EXPECT_NE(keyword_class(w), 0) << w;
    }
    EXPECT_EQ(keyword_class("menuitems"), 0);
    EXPECT_EQ(keyword_class("a_name_longer_than_fifteen"), 0);
}

TEST(KeywordTable, HashStaysInTheTable) {
    // Signed glyph bytes make the product negative; the slot must still fit.
    for (std::string s : {std::string("\x80\x99\xff"), std::string(100, '\x90'), std::string("zzzzzz")}) {
        int32_t slot = keyword_hash_slot(s);
        EXPECT_GE(slot, 0);
        EXPECT_LT(slot, KEYWORD_TABLE_SLOTS);
    }
    EXPECT_EQ(keyword_hash_slot(""), 0x67d);
}

TEST(KeywordTable, CollisionCheckFindsASharedSlot) {
    // Find a two-letter word that lands in the slot of "end".
    int32_t target = keyword_hash_slot("end");
    std::string clash;
    for (char a = 'a'; a <= 'z' && clash.empty(); a++)
        for (char b = 'a'; b <= 'z' && clash.empty(); b++)
            for (char c = 'a'; c <= 'z' && clash.empty(); c++) {
                std::string w{a, b, c};
                if (w != "end" && keyword_hash_slot(w) == target) clash = w;
            }
    ASSERT_FALSE(clash.empty());
    std::string_view words[] = {"if", "end", "then", clash};
    int32_t a = -1, b = -1;
    EXPECT_TRUE(find_keyword_collision(words, 4, &a, &b));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 3);
    std::string_view distinct[] = {"if", "end", "then"};
    EXPECT_FALSE(find_keyword_collision(distinct, 3, &a, &b));
}

TEST(ApiNames, KeptInRegistrationOrder) {
    init_api_function_names();
    EXPECT_EQ(api_function_name_count(), 0);
    add_api_function_name("spr");
    add_api_function_name("btnp");
    add_api_function_name(std::string(100, 'q').c_str());
    ASSERT_EQ(api_function_name_count(), 3);
    EXPECT_STREQ(api_function_name(0), "spr");
    EXPECT_STREQ(api_function_name(1), "btnp");
    EXPECT_EQ(std::string(api_function_name(2)), std::string(63, 'q'));
    EXPECT_EQ(api_function_name(3), nullptr);
    EXPECT_EQ(api_function_name(-1), nullptr);
    EXPECT_EQ(find_api_function_name("btnp"), 1);
    EXPECT_EQ(find_api_function_name("btn"), -1);
    init_api_function_names();
    EXPECT_EQ(find_api_function_name("spr"), -1);
}

TEST(TokenizerBadInput, GarbageAlwaysProgressesAndEnds) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; round++) {
        std::string src(1 + rng() % 2000, ' ');
        for (char& c : src) c = static_cast<char>(1 + rng() % 255);
        const char* end = src.c_str() + src.size();
        const char* p = get_first_token(src.c_str());
        int32_t steps = 1;
        while (get_token() != TOKEN_END) {
            const char* q = get_next_token(p);
            // One character further at least, unless at the end.
            ASSERT_TRUE(q > p || (get_token() == TOKEN_END && q == end));
            ASSERT_LE(q, end);
            p = q;
            ASSERT_LE(++steps, static_cast<int32_t>(src.size()) + 1);
        }
        EXPECT_GE(count_tokens(src.c_str()), 0);
    }
}

TEST(TokenizerBadInput, LongLinesAndDeepBrackets) {
    std::string line(64 * 1024, 'a');
    EXPECT_EQ(count_tokens(line.c_str()), 1);
    std::string brackets(32 * 1024, '[');
    EXPECT_EQ(count_tokens(brackets.c_str()), 1);  // one unterminated long string
    std::string parens(64 * 1024, '(');
    EXPECT_EQ(count_tokens(parens.c_str()), 64 * 1024);
}

}  // namespace
