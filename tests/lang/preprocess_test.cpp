#include "lang/preprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "lang/tokenizer.h"

namespace {

int64_t newlines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

// Written form and what the preprocessor must make of it. Add cases here.
struct rewrite_case {
    const char* written;
    const char* becomes;
};

const rewrite_case corpus[] = {
    // Not-equal.
    {"a != b", "a ~= b"},
    {"if a != b != c then end", "if a ~= b ~= c then end"},
    {"s = \"a != b\"", "s = \"a != b\""},
    {"a != b .. \"x += 1\"", "a ~= b .. \"x += 1\""},
    {"a ~= b", "a ~= b"},
    // Compound assignment.
    {"x += 1", "x = x + ( 1) "},
    {"  x += 1", "  x = x + ( 1) "},
    {"x+=1", "x = x + (1) "},
    {"x -= -1", "x = x - ( -1) "},
    {"x *= 2", "x = x * ( 2) "},
    {"x /= 2", "x = x / ( 2) "},
    {"x %= 3", "x = x % ( 3) "},
    {"a[i] -= f(2) b = 3", "a[i] = a[i] - ( f(2))  b = 3"},
    {"x += 1 y += 2", "x = x + ( 1)  y = y + ( 2) "},
    {"a -= 1 b += 2", "a = a - ( 1)  b = b + ( 2) "},
    {"t.v[i+1] *= 2", "t.v[i+1] = t.v[i+1] * ( 2) "},
    {"t[\"a]\"] += 1", "t[\"a]\"] = t[\"a]\"] + ( 1) "},
    {"x += a and b", "x = x + ( a)  and b"},
    {"x += f(a, b)[1].c", "x = x + ( f(a, b)[1].c) "},
    {"x += -y ^ 2 * #t", "x = x + ( -y ^ 2 * #t) "},
    {"x += a .. b", "x = x + ( a)  .. b"},
    {"s ..= 1", "s ..= 1"},
    {"x += \"a\" .. 'b'", "x = x + ( \"a\")  .. 'b'"},
    {"f(x += 1)", "f(x = x + ( 1) )"},
    {"a.b.c += 1 -- note", "a.b.c = a.b.c + ( 1)  "},
    {"\x80q += 1", "\x80q = \x80q + ( 1) "},
    {"s = \"x += 1\"", "s = \"x += 1\""},
    {"+= 1", "+= 1"},
    {"f() += 1 x -= 2", "f() += 1 x -= 2"},
    {"x += ", "x = x + () "},
    // Print shorthand.
    {"?x, y", "print(x, y)"},
    {"  ? x", "print( x)"},
    {"?\"hi\"", "print(\"hi\")"},
    {"?a != b", "print(a ~= b)"},
    {"?x += 1", "print(x += 1)"},
    {"x = 1 ? 2", "x = 1 ? 2"},
    // Shorthand if.
    {"if (a) x = 1", "if (a) then  x = 1 end "},
    {"if(a)b()", "if(a) then b() end "},
    {"  if (a) x += 1", "  if (a) then  x = x + ( 1)  end "},
    {"if (a) then x = 1 end", "if (a) then x = 1 end"},
    {"if (a) 1", "if (a) 1"},
    {"if (a) (f)()", "if (a) (f)()"},
    {"elseif (a) x=1", "elseif (a) x=1"},
    {"if (a) and b then c() end", "if (a) and b then c() end"},
    {"if (a) or b", "if (a) or b"},
    {"if (a) order = 1", "if (a) then  order = 1 end "},
    {"if (a) x = athens", "if (a) x = athens"},
    {"if (s == \")\") x = 1", "if (s == \")\") then  x = 1 end "},
    {"if (f(a)) g()", "if (f(a)) then  g() end "},
    {"if (a x = 1", "if (a x = 1"},
    {"s = \"if (a) x\"", "s = \"if (a) x\""},
    {"if (a) _x = 1", "if (a) then  _x = 1 end "},
    {"if (a != b) x = 1", "if (a ~= b) then  x = 1 end "},
    // Comments.
    {"x = 1 // comment", "x = 1 "},
    {"x = 1 -- comment", "x = 1 "},
    {"a--[[c]]b", "a b"},
    {"s = \"--not a comment\"", "s = \"--not a comment\""},
    {"x = 1 --[[ one\ntwo\nthree ]] y = 2\nz = 3", "x = 1  y = 2\n\n\nz = 3"},
    {"--[[ never closed\nx = 1", "\nx = 1"},
    // Lines and strings spanning them.
    {"a = [[x += 1\ny != 2]]\nb += 1", "a = [[x += 1\ny != 2]]\nb = b + ( 1) "},
    {"t[\"a\\\nb\"] += 1", "t[\"a\\\nb\"] += 1"},
    {"\n\n\n", "\n\n\n"},
    {"", ""},
};

TEST(Preprocess, Corpus) {
    for (const rewrite_case& c : corpus) {
        std::string out = mivo3_preprocess(c.written);
        EXPECT_EQ(out, c.becomes) << "written: " << c.written;
        EXPECT_EQ(newlines(out), newlines(c.written)) << "written: " << c.written;
    }
}

TEST(Preprocess, EachLineIsRewrittenOnItsOwn) {
    std::string src = "x += 1\n?y\nif (a) b()\n// gone\nc != d\n";
    EXPECT_EQ(mivo3_preprocess(src), "x = x + ( 1) \nprint(y)\nif (a) then  b() end \n\nc ~= d\n");
}

TEST(Preprocess, CarriageReturnsBeforeANewlineAreDropped) {
    EXPECT_EQ(mivo3_preprocess("x += 1\r\ny = 2\r\n"), "x = x + ( 1) \ny = 2\n");
}

TEST(Preprocess, LineCountHoldsForARealisticCart) {
    std::string cart =
        "-- a little game\n"
        "function _init()\n"
        "  px, py = 64, 64 // start centre\n"
        "  t = {} --[[ a table\n of things\n]] score = 0\n"
        "end\n"
        "function _update()\n"
        "  if (btn(0)) px -= 1\n"
        "  if (btn(1)) px += 1\n"
        "  if btnp(4) and score != 10 then score += 1 sfx(0) end\n"
        "  for o in all(t) do o.x += o.dx o.y += o.dy end\n"
        "end\n"
        "function _draw()\n"
        "  cls() ?\"score \"..score\n"
        "  ?score\n"
        "  local s = \"it's \\\"quoted\\\" != \" .. [[long\nstring]]\n"
        "end";
    std::string out = mivo3_preprocess(cart);
    EXPECT_EQ(newlines(out), newlines(cart));
    EXPECT_NE(out.find("if (btn(0)) then  px = px - ( 1)  end "), std::string::npos);
    EXPECT_NE(out.find("score ~= 10 then score = score + ( 1)  sfx(0) end"), std::string::npos);
    EXPECT_NE(out.find("o.x = o.x + ( o.dx)  o.y = o.y + ( o.dy)  end"), std::string::npos);
    EXPECT_NE(out.find("print(score)"), std::string::npos);
    EXPECT_NE(out.find("\\\"quoted\\\" != \""), std::string::npos);
    EXPECT_EQ(out.find("//"), std::string::npos);
    EXPECT_EQ(out.find("--"), std::string::npos);
}

TEST(Preprocess, BufferFormFitsOrReportsIt) {
    char buf[64];
    EXPECT_EQ(mivo3_preprocess("x += 1", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "x = x + ( 1) ");
    char small[8];
    EXPECT_EQ(mivo3_preprocess("x += 1", small, sizeof small), 1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(mivo3_preprocess(nullptr, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
}

TEST(Preprocess, StopsAfterTheLineLimit) {
    std::string src;
    for (int i = 0; i < PREPROCESS_MAX_LINES + 10; i++) src += "x=1\n";
    std::string out = mivo3_preprocess(src);
    EXPECT_EQ(newlines(out), PREPROCESS_MAX_LINES);
}

TEST(Preprocess, VeryLongLineIsHandledInPieces) {
    // More tokens than one line may gather: the text is cut into pieces, but
    // nothing is lost and no newline is added.
    std::string src;
    for (int i = 0; i < PREPROCESS_MAX_LINE_TOKENS; i++) src += "a ";
    src += "\nb += 1";
    std::string out = mivo3_preprocess(src);
    EXPECT_EQ(newlines(out), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), 'a'), PREPROCESS_MAX_LINE_TOKENS);
    EXPECT_NE(out.find("b = b + ( 1) "), std::string::npos);
}

TEST(Preprocess, ALongLineOfAssignmentsIsRewrittenWhole) {
    // 16 tokens an assignment, so the pieces a line is cut into end between
    // assignments; the targets hold a string with a bracket in it.
    const std::string unit = "t[\"]\"][i] *= f(x, \"s\", 1) ";
    const std::string rewritten = "t[\"]\"][i] = t[\"]\"][i] * ( f(x, \"s\", 1))  ";
    std::string src, want;
    for (int i = 0; i < 3000; i++) {
        src += unit;
        want += rewritten;
    }
    want.pop_back();  // the blank after the last one is not a token's
    EXPECT_EQ(mivo3_preprocess(src), want);
}

TEST(PreprocessBadInput, GarbageKeepsItsLineCount) {
    std::mt19937 rng(99);
    const char alphabet[] = "ab1 \t\n()[]\"'\\-+=!?/%*.:;{}#if then";
    for (int round = 0; round < 300; round++) {
        std::string src(rng() % 600, ' ');
        for (char& c : src) {
            // Mostly characters that trigger rewrites, some raw bytes.
            if (rng() % 8 == 0) c = static_cast<char>(1 + rng() % 255);
            else c = alphabet[rng() % (sizeof alphabet - 1)];
        }
        std::string out = mivo3_preprocess(src);
        EXPECT_EQ(newlines(out), newlines(src)) << src;
    }
}

TEST(PreprocessBadInput, HugeAndUnterminatedInputs) {
    std::string one_line(64 * 1024, 'x');
    EXPECT_EQ(mivo3_preprocess(one_line), one_line);

    std::string ops;
    while (ops.size() < 64 * 1024) ops += "a+=1 ";
    std::string out = mivo3_preprocess(ops);
    EXPECT_EQ(newlines(out), 0);
    EXPECT_NE(out.find("a = a + (1)  a = a + (1) "), std::string::npos);

    std::string quotes = "x = \"" + std::string(64 * 1024, 'q');
    EXPECT_EQ(mivo3_preprocess(quotes), quotes);
    std::string comment = "--[[" + std::string(64 * 1024, '\n');
    EXPECT_EQ(newlines(mivo3_preprocess(comment)), 64 * 1024);
    std::string brackets(64 * 1024, '[');
    EXPECT_EQ(mivo3_preprocess(brackets), brackets);
    std::string parens = "if " + std::string(32 * 1024, '(') + " x = 1";
    EXPECT_EQ(mivo3_preprocess(parens), parens);
}

}  // namespace
