// The language dialect: fixed-point numbers in the VM and the compiler, table
// keys, the numeric for loop, the lexer, error messages with code-tab lines,
// the metering operations and bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "lang/dialect.h"
#include "lang/includes.h"
#include "machine/lua_alloc.h"
#include "machine/pstate.h"
#include "runtime/cpu.h"
#include "storage/cart.h"

namespace {

std::vector<std::string> printed;

std::string include_dir() { return std::string(MIVO3_BINARY_DIR) + "/dialect_test_includes"; }

void capture_print(const char* text, int32_t colour) {
    printed.push_back(std::to_string(colour) + ":" + text);
}

// raw(x): the raw bits of a number as "0x%08x".
int test_raw(lua_State* L) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<uint32_t>(lua_tonumber(L, 1)));
    lua_pushstring(L, buf);
    return 1;
}

constexpr luaL_Reg bound[] = {
    {"pairs", luaB_pairs},       {"next", luaB_next},         {"type", luaB_type},
    {"rawlen", luaB_rawlen},     {"rawget", luaB_rawget},     {"rawset", luaB_rawset},
    {"rawequal", luaB_rawequal}, {"assert", luaB_assert},     {"setmetatable", luaB_setmetatable},
    {"getmetatable", luaB_getmetatable},
    {"cocreate", luaB_cocreate}, {"coresume", luaB_coresume}, {"costatus", luaB_costatus},
    {"trace", db_traceback},     {"sub", str_sub},            {"raw", test_raw},
};

std::string value_text(lua_State* L, int idx) {
    switch (lua_type(L, idx)) {
        case LUA_TNIL: return "nil";
        case LUA_TBOOLEAN: return lua_toboolean(L, idx) ? "true" : "false";
        case LUA_TNUMBER:
        case LUA_TSTRING: {
            lua_pushvalue(L, idx);  // lua_tolstring converts numbers in place
            std::string s = lua_tostring(L, -1);
            lua_pop(L, 1);
            return s;
        }
        default: return lua_typename(L, lua_type(L, idx));
    }
}

struct program_case {
    const char* code;
    const char* expected;
};

class Dialect : public ::testing::Test {
protected:
    lua_State* L = nullptr;

    void SetUp() override {
        L = luaL_newstate();
        luaL_openlibs(L);
        for (const luaL_Reg& r : bound) lua_register(L, r.name, r.func);
        printed.clear();
        mivo3_include_hooks hooks;
        hooks.print = capture_print;
        hooks.current_cart_filename = [] { return include_dir() + "/cart.m3"; };
        mivo3_set_include_hooks(hooks);
        for (std::string& t : mivo3_tabs.tab) t.clear();
        mivo3_soft_yield_count = 0;
    }
    void TearDown() override {
        lua_close(L);
        mivo3_set_include_hooks({});
    }

    // Compiles and runs code; "a,b,..." for its results, "syntax: <msg>" or
    // "error: <msg>" for a failure.
    std::string run(const std::string& code, const char* name = "=cart") {
        int top = lua_gettop(L);
        if (luaL_loadbuffer(L, code.data(), code.size(), name) != LUA_OK) {
            std::string msg = "syntax: " + value_text(L, -1);
            lua_settop(L, top);
            return msg;
        }
        if (lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) {
            std::string msg = "error: " + value_text(L, -1);
            lua_settop(L, top);
            return msg;
        }
        std::string out;
        for (int i = top + 1; i <= lua_gettop(L); i++) {
            if (!out.empty()) out += ",";
            out += value_text(L, i);
        }
        lua_settop(L, top);
        return out;
    }

    void expect_programs(std::initializer_list<program_case> cases) {
        for (const program_case& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
    }
};


TEST_F(Dialect, ArithmeticWrapsAndSaturates) {
    expect_programs({
        {"return raw(32767 + 1)", "0x80000000"},
        {"local a = 32767 return a + 1", "-32768"},
        {"local a = -32768 return a - 1", "32767"},
        {"local a = -32768 return raw(-a)", "0x80000000"},
        {"local a = 32767 return a * 2", "-2"},
        {"return raw(1/0)", "0x7fffffff"},
        {"return raw(-1/0)", "0x80000001"},
        {"local z = 0 return raw(0/z)", "0x7fffffff"},
        {"local a, b = -32768, -1 return raw(a / b)", "0x7fffffff"},
        {"return 5 % -3, -5 % -3, -1 % 1, -0.5 % 1", "2,1,0,0.5"},
        {"local x = 7.25 return x % 0", "7.25"},
        {"return raw(2 ^ 0.5), 2 ^ -1, 0 ^ 0.5, 5 ^ 0", "0x00016aab,0.5,0,1"},
        {"return 1.5 * 1.5, 10 / 4, -7 / 2", "2.25,2.5,-3.5"},
        {"return raw(-1 * 0.00002)", "0xffffffff"},
    });
}

TEST_F(Dialect, ConstantFoldingMatchesRunTime) {
    const char* ops[] = {"+", "-", "*", "/", "%", "^"};
    const char* values[] = {"7", "-3", "0.5", "32767", "-32768", "0", "1.25", "0x0.0001"};
    for (const char* op : ops) {
        for (const char* a : values) {
            for (const char* b : values) {
                std::string code = std::string("local a, b = ") + a + ", " + b +
                                   " return raw((" + a + ")" + op + "(" + b + ")) == raw(a" + op + "b)";
                EXPECT_EQ(run(code), "true") << code;
            }
        }
    }
}

TEST_F(Dialect, ComparisonsUseRawValues) {
    expect_programs({
        {"return 1 == 1.00001", "true"},
        {"return 0.1 + 0.2 == 0.3", "true"},
        {"return raw(0.1), raw(-0.1)", "0x00001999,0xffffe667"},
        {"return -1 < 0, 32767 > -32768, 0.5 <= 0.5", "true,true,true"},
        {"local a = 32767 return a + 1 < a", "true"},
    });
}

TEST_F(Dialect, NumbersAndTextConvert) {
    expect_programs({
        {"return \"10\" + 5", "15"},
        {"return \"0x10\" * 1", "16"},
        {"return \" 2.5 \" * 2", "5"},
        {"return \"0b101\" + 0", "5"},
        {"return 1/3 .. \"\"", "0.3333"},
        {"return 0x0.ffff .. \"|\" .. -0.5 .. \"|\" .. 1/32", "1|-0.5|0.0313"},
        {"return -32768 .. \"\"", "-32768"},
        {"return \"nan\" + 0", "error: attempt to perform arithmetic on a string value"},
        {"return \"inf\" * 1", "error: attempt to perform arithmetic on a string value"},
        {"local s = \"x\" return s + 1", "error: attempt to perform arithmetic on local 's' (a string value)"},
        {"return {} .. \"\"", "error: attempt to concatenate a table value"},
        {"return #\"hello\"", "5"},
        {"return sub(\"hello\", 2, 3), sub(\"hello\", -3)", "el,llo"},
    });
}

TEST_F(Dialect, NumeralsOfTheLexer) {
    expect_programs({
        {"return 0x1.8, 0b1010, 0b.1, 0x.8", "1.5,10,0.5,0.5"},
        {"return raw(0x.01)", "0x00000100"},
        {"return raw(65536), raw(32768)", "0x80000000,0x80000000"},
        {"return 0x12345", "9029"},
        {"return .5, 5., 3e2", "0.5,5,300"},
        {"return 0x7fff.ffff == 32767.99999, 0x7fff.ffff == 32767.9999", "true,false"},
        {"return 0x1p4", "syntax: cart:1: malformed number near '0x1p4'"},
        {"return 1..2", "syntax: cart:1: malformed number near '1..2'"},
        {"return 0b102", "syntax: cart:1: malformed number near '0b102'"},
        {"return 0x", "syntax: cart:1: malformed number near '0x'"},
    });
}

TEST_F(Dialect, GlyphBytesAreNameCharacters) {
    expect_programs({
        {"\x80 = 5 return \x80", "5"},
        {"local \x99x\x81 = 3 return \x99x\x81 + 1", "4"},
        {"local a\x8b = 2 local a = 1 return a\x8b, a", "2,1"},
        {"x\x83 = 7 return x\x83", "7"},  // the end of the source ends a name
        {"local \x9a = 1", "syntax: cart:1: <name> expected near char(154)"},
        {"return \xff", "syntax: cart:1: unexpected symbol near char(255)"},
    });
}

TEST_F(Dialect, TableKeys) {
    expect_programs({
        {"local t = {} t[1] = \"a\" return t[1.0]", "a"},
        {"local t = {} t[1.0] = 1 t[1] = 2 local n = 0 for k in pairs(t) do n = n + 1 end return n, t[1]",
         "1,2"},
        {"local t = {} t[0.5] = 1 t[0] = 2 t[1] = 3 t[-1] = 4 return t[0.5], t[0], t[1], t[-1], #t",
         "1,2,3,4,1"},
        {"return #{1, 2, 3}", "3"},
        {"local t = {} for i = 1, 300 do t[i] = i end return #t, t[300], rawlen(t)", "300,300,300"},
        {"local t = {10, 20, 30} local s = \"\" for k, v in pairs(t) do s = s .. k .. \"=\" .. v .. \" \" end return s",
         "1=10 2=20 3=30 "},
        {"local t = {} t[32767] = 1 t[-32768] = 2 return t[32767], t[-32768], t[0x7fff.0001]", "1,2,nil"},
        {"local t = {1, 2, [0.5] = 3} local n = 0 for k, v in next, t do n = n + v end return n", "6"},
        {"local t = {} t[0x0.0001] = 1 t[0] = 2 return t[0x0.0001], t[0]", "1,2"},
    });
}

TEST_F(Dialect, NumericForLoop) {
    expect_programs({
        {"local n = 0 for i = 32760, 32767 do n = n + 1 end return n", "8"},
        {"local n = 0 for i = 0, 32767 do n = n + 0.5 end return n", "16384"},
        {"local n = 0 for i = 0, 0, 0 do n = n + 1 end return n", "0"},
        {"local n = 0 for i = 0, -5, 0 do n = n + 1 end return n", "0"},
        {"local n = 0 for i = 3, 1, -1 do n = n + i end return n", "6"},
        {"local n = 0 for i = 1, 2, 0.5 do n = n + 1 end return n", "3"},
        {"local n = 0 for i = 1, 0 do n = n + 1 end return n", "0"},
        {"local n = 0 for i = -32767, -32760 do n = n + 1 end return n", "8"},
        {"local n = 0 for i = -32767, -32768, -1 do n = n + 1 end return n", "2"},
        {"local s = 0 for i = \"1\", \"3\" do s = s + i end return s", "6"},
        {"local l = 0 for i = 1, 10 do l = i end return l", "10"},
        {"for i = \"a\", 2 do end", "error: 'for' initial value must be a number"},
        {"for i = 1, {} do end", "error: 'for' limit must be a number"},
        {"for i = 1, 2, nil do end", "error: 'for' step must be a number"},
    });
}

TEST_F(Dialect, OpensNoLibrary) {
    expect_programs({
        {"return print, tostring, tonumber, ipairs, select, pcall, error, load, require",
         "nil,nil,nil,nil,nil,nil,nil,nil,nil"},
        {"return string, table, math, os, io, bit32, debug, package, coroutine",
         "nil,nil,nil,nil,nil,nil,nil,nil,nil"},
    });
    lua_getfield(L, LUA_REGISTRYINDEX, "_PRELOAD");
    EXPECT_TRUE(lua_istable(L, -1));
    lua_pushnil(L);
    EXPECT_EQ(lua_next(L, -2), 0);
    lua_pop(L, 1);
}

TEST_F(Dialect, CApiConversions) {
    lua_pushnumber(L, 0x3c000);  // 3.75
    EXPECT_EQ(lua_tointeger(L, -1), 3);
    EXPECT_EQ(lua_tounsigned(L, -1), 3u);
    lua_pushnumber(L, -0x8000);  // -0.5
    EXPECT_EQ(lua_tointeger(L, -1), -1);
    lua_pushunsigned(L, 5);
    EXPECT_EQ(lua_tonumber(L, -1), 5 << 16);
    lua_pushinteger(L, 0x18000);  // raw, unscaled
    EXPECT_EQ(value_text(L, -1), "1.5");
    EXPECT_STREQ(lua_pushfstring(L, "#%d of %f", lua_fmtint(42), 0x18000), "#42 of 1.5");
    lua_pushstring(L, " 0x10 ");
    int ok = 0;
    EXPECT_EQ(lua_tonumberx(L, -1, &ok), 16 << 16);
    EXPECT_EQ(ok, 1);
    lua_pushstring(L, "nan");
    lua_tonumberx(L, -1, &ok);
    EXPECT_EQ(ok, 0);
    lua_settop(L, 0);
    lua_createtable(L, 0, 0);
    lua_pushinteger(L, 7);
    lua_rawseti(L, -2, 2);  // C indices are plain integers
    EXPECT_EQ(run("return 1"), "1");
    lua_setglobal(L, "t");
    EXPECT_EQ(run("return t[2]"), "0.0001");
    // A C index beyond the numbers wraps onto the same key, never a twin.
    lua_createtable(L, 0, 4);
    lua_pushstring(L, "a");
    lua_rawseti(L, -2, 1);
    lua_pushstring(L, "b");
    lua_rawseti(L, -2, 65537);
    lua_setglobal(L, "w");
    EXPECT_EQ(run("local n = 0 for k in pairs(w) do n = n + 1 end return n, w[1]"), "1,b");
    luaL_checkversion(L);
}

TEST_F(Dialect, RuntimeErrorsCarryNoPositionButRecordTheLine) {
    mivo3_runtime_line = 0;
    EXPECT_EQ(run("local a = 1\nlocal b = 2\nlocal x\nx()"), "error: attempt to call local 'x' (a nil value)");
    EXPECT_EQ(mivo3_runtime_line, 4);
    EXPECT_EQ(run("\n\nlocal t = nil\nreturn t.x"), "error: attempt to index local 't' (a nil value)");
    EXPECT_EQ(mivo3_runtime_line, 4);
    EXPECT_EQ(run("\nreturn {} < {}"), "error: attempt to compare two table values");
    EXPECT_EQ(mivo3_runtime_line, 2);
    // Library errors name the argument position as a plain integer.
    EXPECT_EQ(run("\n\n\npairs(nil)"), "error: cart:4: bad argument #1 to 'pairs' (table expected, got nil)");
    EXPECT_EQ(mivo3_runtime_line, 4);
    // Library errors keep their position prefix and record the line too.
    EXPECT_EQ(run("x = 1\nsub(\"x\", {})"), "error: cart:2: bad argument #2 to 'sub' (number expected, got table)");
    EXPECT_EQ(mivo3_runtime_line, 2);
    // A failed assert's own text goes to the run loop, not into the error.
    EXPECT_EQ(run("assert(false, \"boom\")"), "error: cart:1: assertion failed!");
    EXPECT_EQ(mivo3_runtime_line, 1);
}

TEST_F(Dialect, TracebackNamesLines) {
    std::string out = run("local function f()\n  return trace(\"m\")\nend\nreturn f()");
    EXPECT_NE(out.find("m\nstack traceback:"), std::string::npos) << out;
    EXPECT_NE(out.find("cart:2: in function"), std::string::npos) << out;
}

TEST_F(Dialect, CoroutineErrorTexts) {
    expect_programs({
        {"local co = cocreate(function() end) coresume(co) return coresume(co)",
         "false,corolib: cannot resume dead coroutine"},
        {"local co = cocreate(function(a, b) return a + b end) return coresume(co, 2, 3)", "true,5"},
        {"local co = cocreate(function() end) local s1 = costatus(co) coresume(co) return s1, costatus(co)",
         "suspended,dead"},
        {"local co = cocreate(function() local x = nil return x.y end) return coresume(co)",
         "false,attempt to index local 'x' (a nil value)"},
    });
}

// A compiled cart text: the two prelude lines, then the tabs joined.
std::string cart_text(std::initializer_list<std::string> tabs) {
    std::string text = "-- header\n\n";
    int i = 0;
    for (const std::string& t : tabs) {
        mivo3_tabs.tab[i] = t;
        if (i++ > 0) text += "\n-->8\n";
        text += t;
    }
    return text;
}

std::string lines(int n) {
    std::string s;
    for (int i = 1; i <= n; i++) s += "x" + std::to_string(i) + " = " + std::to_string(i) + (i < n ? "\n" : "");
    return s;
}

TEST_F(Dialect, FindTabLineWalksTheTabs) {
    cart_text({lines(10), lines(6), lines(3)});
    struct { int32_t line; int32_t tab_line; int32_t tab; } cases[] = {
        {3, 1, 0},    // first line of the code
        {12, 10, 0},  // last line of tab 0
        {13, 11, 0},  // the separator line counts as tab 0's last line
        {14, 1, 1},
        {18, 5, 1},
        {20, 7, 1},
        {21, 1, 2},
        {23, 3, 2},
        {1, -1, 0},   // a prelude line
    };
    for (auto c : cases) {
        int32_t tab = -1;
        EXPECT_EQ(find_tab_line(c.line, &tab), c.tab_line) << c.line;
        EXPECT_EQ(tab, c.tab) << c.line;
        EXPECT_EQ(get_mivo3_line(c.line), c.tab_line * 65536) << c.line;
        EXPECT_EQ(get_mivo3_tab(c.line), c.tab * 65536) << c.line;
    }
    for (int i = 3; i < 8; i++) mivo3_tabs.tab[i] = "a";
    mivo3_tabs.tab[0] = mivo3_tabs.tab[1] = mivo3_tabs.tab[2] = "a";
    int32_t tab = -1;
    EXPECT_EQ(find_tab_line(40, &tab), 0);  // past the last tab
    EXPECT_EQ(tab, 0);
    EXPECT_TRUE(printed.empty());
}

TEST_F(Dialect, FindTabLineMapsIncludedLines) {
    std::filesystem::create_directories(include_dir());
    std::ofstream(include_dir() + "/lib.lua") << "a = 1\nb = (2 +\nc = 3";
    cart_text({"x = 1\n#include lib.lua\ny = 2\nz = 3", "w = 1"});
    struct { int32_t line; int32_t tab_line; int32_t tab; const char* report; } cases[] = {
        {3, 1, 0, nullptr},
        {4, 2, 0, "9:lib.lua line 1\n"},
        {6, 2, 0, "9:lib.lua line 3\n"},
        {7, 3, 0, nullptr},   // after the block: back by the two lines it added
        {8, 4, 0, nullptr},
        {9, 5, 0, nullptr},   // the separator line
        {10, 1, 1, nullptr},  // tab 1 starts after the flattened tab 0
    };
    for (auto c : cases) {
        printed.clear();
        int32_t tab = -1;
        EXPECT_EQ(find_tab_line(c.line, &tab), c.tab_line) << c.line;
        EXPECT_EQ(tab, c.tab) << c.line;
        if (c.report) {
            ASSERT_EQ(printed.size(), 1u) << c.line;
            EXPECT_EQ(printed[0], c.report);
        } else {
            EXPECT_TRUE(printed.empty()) << c.line;
        }
    }
    printed.clear();
    EXPECT_EQ(get_mivo3_tab(4), 0);
    EXPECT_TRUE(printed.empty());  // only the line lookup reports
    // A parser message naming a line inside the included text names the
    // #include line of the tab.
    std::string flat;
    ASSERT_EQ(mivo3_flatten_includes(mivo3_tabs.tab[0], flat), 0);
    printed.clear();
    EXPECT_EQ(run("-- header\n\n" + flat),
              "syntax: cart:6: ')' expected (to close '(' at line 2 (tab 0)) near '='");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0], "9:lib.lua line 2\n");
    // A missing include file is passed over quietly: the tab is mapped as written.
    mivo3_tabs.tab[0] = "#include missing.lua\nx = 1";
    printed.clear();
    int32_t tab = -1;
    EXPECT_EQ(find_tab_line(4, &tab), 2);
    EXPECT_TRUE(printed.empty());
    std::filesystem::remove_all(include_dir());
}

TEST_F(Dialect, SyntaxErrorsNameLinesWithinTabs) {
    EXPECT_EQ(run(cart_text({lines(10), "x = 1\nfunction f()\n  x = 2\n"})),
              "syntax: cart:17: 'end' expected (to close 'function' at line 2 (tab 1)) near <eof>");
    EXPECT_EQ(run(cart_text({lines(3), "x = (1 +\n2"})),
              "syntax: cart:8: ')' expected (to close '(' at line 1 (tab 1)) near <eof>");
    EXPECT_EQ(run(cart_text({"::a::\n::a::"})),
              "syntax: cart:4: label 'a' already defined on line 1 (tab 0)");
    EXPECT_EQ(run(cart_text({"x = 1", "goto nowhere"})),
              "syntax: cart:5: no visible label 'nowhere' for <goto> at line 1 (tab 1)");
    EXPECT_EQ(run(cart_text({"do\ngoto l\nlocal v = 1\n::l::\nprint(v)\nend"})),
              "syntax: cart:7: <goto l> at line 2 (tab 0) jumps into the scope of local 'v'");
    EXPECT_EQ(run(cart_text({"x = 1\nbreak"})), "syntax: cart:4: <break> at line 2 (tab 0) not inside a loop");
    EXPECT_EQ(run(cart_text({"x = = 1"})), "syntax: cart:3: unexpected symbol near '='");
}

TEST_F(Dialect, LimitErrorsNameTheFunctionByTab) {
    std::string locals;
    for (int i = 0; i < 201; i++) locals += "local v" + std::to_string(i) + " = 1\n";
    EXPECT_EQ(run(cart_text({locals})).rfind("syntax: cart:", 0), 0u);
    EXPECT_NE(run(cart_text({locals})).find("too many local variables (limit is 200) in main function"),
              std::string::npos);
    std::string out = run(cart_text({"x = 1", "y = 2\nfunction f()\n" + locals + "end"}));
    EXPECT_NE(out.find("too many local variables (limit is 200) in function at line 2 (tab 1)"), std::string::npos)
        << out;
}

TEST_F(Dialect, UnfinishedTextIsASyntaxError) {
    expect_programs({
        {"return \"abc", "syntax: cart:1: unfinished string near <eof>"},
        {"return 'abc\nx'", "syntax: cart:1: unfinished string near ''abc'"},
        {"--[[ never closed", "syntax: cart:1: unfinished long comment near <eof>"},
        {"x = [[\nnever closed", "syntax: cart:2: unfinished long string near <eof>"},
        {"return \"\\q\"", "syntax: cart:1: invalid escape sequence near '\\q'"},
        {"\x1bLua\x52\x00garbage", "syntax: attempt to load a binary chunk"},
    });
}

TEST_F(Dialect, DeepNestingIsASyntaxError) {
    for (const char* open_close : {"()", "{}"}) {
        std::string code = "x = ";
        code += std::string(100000, open_close[0]) + "1" + std::string(100000, open_close[1]);
        std::string out = run(code);
        EXPECT_EQ(out.rfind("syntax: cart:1: ", 0), 0u) << out.substr(0, 80);
        EXPECT_NE(out.find("too many"), std::string::npos) << out.substr(0, 80);
    }
    std::string blocks;
    for (int i = 0; i < 5000; i++) blocks += "do ";
    EXPECT_EQ(run(blocks).rfind("syntax: ", 0), 0u);
}

TEST_F(Dialect, LongSingleLineCompiles) {
    std::string code = "local s = 0 ";
    while (code.size() < 65536) code += "s = s + 1 ";
    EXPECT_EQ(run(code + "return s"), std::to_string((code.size() - 12) / 10));
}

TEST_F(Dialect, RandomBytesNeverCrashTheCompiler) {
    std::mt19937 rng(1234);
    const std::string alphabet = "()[]{}=.,:;\"'\\-+*/%^#<>~ \n\tabcdefxyz0123456789\x80\x99\xff\x1b";
    for (int round = 0; round < 3000; round++) {
        std::string code(rng() % 200, ' ');
        for (char& c : code)
            c = round % 2 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
        int status = luaL_loadbuffer(L, code.data(), code.size(), "=fuzz");
        ASSERT_TRUE(status == LUA_OK || status == LUA_ERRSYNTAX) << status;
        lua_settop(L, 0);
    }
}

// The run loop's way of metering: a count hook every 1024 instructions that
// yields the running thread.
int hook_yields = 0;
void yielding_hook(lua_State* L, lua_Debug* ar) {
    if (ar->event == LUA_HOOKCOUNT) {
        hook_yields++;
        lua_yield(L, 0);
    }
}

TEST_F(Dialect, CountHookSuspendsAndResumesAProgram) {
    lua_State* T = lua_newthread(L);
    const char* code = "local s = 0 for i = 1, 3000 do s = s + i % 7 end result = s";
    ASSERT_EQ(luaL_loadstring(T, code), LUA_OK);
    lua_sethook(T, yielding_hook, LUA_MASKCOUNT, 1024);
    hook_yields = 0;
    int resumes = 0, status;
    while ((status = lua_resume(T, nullptr, 0)) == LUA_YIELD) resumes++;
    ASSERT_EQ(status, LUA_OK) << lua_tostring(T, -1);
    EXPECT_EQ(resumes, hook_yields);
    EXPECT_GE(resumes, 3000 * 3 / 1024);  // three instructions per iteration
    EXPECT_EQ(run("return result"), std::to_string(3000 / 7 * 21 + (1 + 2 + 3 + 4)));
}

// A hook on every instruction that counts them and, when asked, yields at
// each one.
int64_t hooked_instructions = 0;
bool yield_at_each = false;
void counting_hook(lua_State* L, lua_Debug* ar) {
    if (ar->event != LUA_HOOKCOUNT) return;
    hooked_instructions++;
    if (yield_at_each) lua_yield(L, 0);
}

TEST_F(Dialect, CountHookYieldingAtEveryInstructionKeepsResultAndCount) {
    // Yields in plain code, in metamethods and in a for-in iterator (the last
    // two run under calls made from C): each instruction is resumed where it
    // stopped and counted once, except the loop instruction after a call of
    // the iterator, which is counted when the iterator yielded (once for each
    // of its six calls here).
    const char* code =
        "local V = {}\n"
        "V.__index = function(t, k) return k * 2 end\n"
        "V.__newindex = function(t, k, v) rawset(t, k, v + 1) end\n"
        "V.__add = function(x, y) return x.n + y.n end\n"
        "V.__lt = function(x, y) return x.n < y.n end\n"
        "V.__le = function(x, y) return x.n <= y.n end\n"
        "V.__eq = function(x, y) return true end\n"
        "V.__len = function(x) return 7 end\n"
        "V.__concat = function(x, y) return \"c\" end\n"
        "local a, b = setmetatable({n = 1}, V), setmetatable({n = 2}, V)\n"
        "local function iter(_, i) if i < 5 then return i + 1 end end\n"
        "local function tail(n) if n > 0 then return tail(n - 1) end return n end\n"
        "local function va(...) local x, y = ... return x + y end\n"
        "local s = 0\n"
        "for i in iter, nil, 0 do\n"
        "  s = s + a[i] + (a + b) + #a\n"
        "  if a < b then s = s + 1 end\n"
        "  if a <= b then s = s + 1 end\n"
        "  if a == b then s = s + 1 end\n"
        "  a[10 + i] = i\n"
        "  s = s + a[10 + i] + va(i, 1) + tail(3)\n"
        "end\n"
        "return s .. (a .. b)";
    auto counted_run = [&](bool yielding, std::string* result) {
        lua_State* T = lua_newthread(L);
        EXPECT_EQ(luaL_loadstring(T, code), LUA_OK);
        lua_sethook(T, counting_hook, LUA_MASKCOUNT, 1);
        hooked_instructions = 0;
        yield_at_each = yielding;
        int status, yields = 0;
        while ((status = lua_resume(T, nullptr, 0)) == LUA_YIELD) yields++;
        EXPECT_EQ(status, LUA_OK) << lua_tostring(T, -1);
        *result = status == LUA_OK ? value_text(T, -1) : "";
        lua_pop(L, 1);
        return std::make_pair(hooked_instructions, yields);
    };
    std::string plain, yielded;
    auto [instructions, no_yields] = counted_run(false, &plain);
    auto [counted, yields] = counted_run(true, &yielded);
    EXPECT_EQ(plain, "135c");
    EXPECT_EQ(yielded, plain);
    EXPECT_EQ(no_yields, 0);
    EXPECT_EQ(counted, instructions + 6);
    EXPECT_EQ(yields, counted);
}

TEST_F(Dialect, CoroutinesYieldAcrossTheMeteringHook) {
    // The hook yields whichever thread runs: inside a cart's coroutine the
    // coroutine yields to its resumer, which resumes it until it is done.
    lua_State* T = lua_newthread(L);
    const char* code =
        "local co = cocreate(function() local s = 0 for i = 1, 2000 do s = s + 1 end return s end)\n"
        "local ok, v = coresume(co)\n"
        "local n = 1\n"
        "while costatus(co) ~= \"dead\" do ok, v = coresume(co) n = n + 1 end\n"
        "inner, resumed = v, n";
    ASSERT_EQ(luaL_loadstring(T, code), LUA_OK);
    lua_sethook(T, yielding_hook, LUA_MASKCOUNT, 1024);
    int status;
    while ((status = lua_resume(T, nullptr, 0)) == LUA_YIELD) {}
    ASSERT_EQ(status, LUA_OK) << lua_tostring(T, -1);
    EXPECT_EQ(run("return inner, resumed > 1"), "2000,true");
}

TEST_F(Dialect, SpendAndSoftYieldMoveTheCounter) {
    lua_sethook(L, yielding_hook, LUA_MASKCOUNT, 1024);
    ASSERT_EQ(lua_gethookcount(L), 1024);
    EXPECT_EQ(lua_get_cpu(L), 1024);
    lua_spend_cpu(L, 24);
    EXPECT_EQ(lua_get_cpu(L), 1000);
    lua_spend_cpu(L, 5000);
    EXPECT_EQ(lua_get_cpu(L), 1);  // never below 1: the hook runs next
    lua_sethook(L, yielding_hook, LUA_MASKCOUNT, 1024);
    lua_spend_cpu(L, 100);
    lua_mivo3_soft_yield(L);
    EXPECT_EQ(lua_get_cpu(L), 1);
    EXPECT_EQ(mivo3_soft_yield_count, 924);
    lua_mivo3_soft_yield(L);  // asked again before the hook ran
    EXPECT_EQ(mivo3_soft_yield_count, 924);
    lua_spend_cpu(L, 4);  // the saved budget comes back before the charge
    EXPECT_EQ(lua_get_cpu(L), 920);
    EXPECT_EQ(mivo3_soft_yield_count, 0);
}

TEST_F(Dialect, SoftYieldStopsTheProgramAtTheNextInstruction) {
    lua_State* T = lua_newthread(L);
    lua_register(L, "soft", [](lua_State* S) {
        lua_mivo3_soft_yield(S);
        return 0;
    });
    ASSERT_EQ(luaL_loadstring(T, "soft() after = 1 for i = 1, 5000 do end done = 1"), LUA_OK);
    lua_sethook(T, yielding_hook, LUA_MASKCOUNT, 1024);
    hook_yields = 0;
    ASSERT_EQ(lua_resume(T, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(hook_yields, 1);
    EXPECT_EQ(run("return after, done"), "nil,nil");
    EXPECT_NE(mivo3_soft_yield_count, 0);
    while (lua_resume(T, nullptr, 0) == LUA_YIELD) {}
    EXPECT_EQ(run("return after, done"), "1,1");
}

// The run loop's hook with the allocator's soft yield: it yields at once
// when the language memory went over its soft limit.
void soft_yield_hook(lua_State* L, lua_Debug* ar) {
    if (ar->event == LUA_HOOKCOUNT && pstate.soft_yield_requested) lua_yield(L, 0);
}

TEST(DialectMemory, AllocatorSoftYieldSuspendsTheProgramPromptly) {
    reset_pstate();
    lua_State* L = lua_newstate(mivo3_lua_alloc, nullptr);
    ASSERT_NE(L, nullptr);
    lua_State* T = lua_newthread(L);
    mivo3_vm.state = T;
    mivo3_vm.soft_yield = [](void* s) { lua_mivo3_soft_yield(static_cast<lua_State*>(s)); };
    ASSERT_EQ(luaL_loadstring(T, "t = {} for i = 1, 30000 do t[i] = {1, 2, 3, 4, 5, 6, 7, 8} n = i end"), LUA_OK);
    lua_sethook(T, soft_yield_hook, LUA_MASKCOUNT, 1024);
    ASSERT_EQ(lua_resume(T, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(pstate.soft_yield_requested, 1);
    EXPECT_GT(pstate.lua_bytes, MIVO3_LUA_SOFT_LIMIT);
    lua_getglobal(T, "n");
    EXPECT_LT(lua_tointeger(T, -1), 30000);
    lua_pop(T, 1);
    // Stopped mid-countdown, not at the next 1024-instruction check: the
    // unspent count waits for the next charge.
    EXPECT_GT(mivo3_soft_yield_count, 1);
    mivo3_vm = {};
    lua_close(L);
    reset_pstate();
    mivo3_soft_yield_count = 0;
}

TEST_F(Dialect, ResetCallStateAbandonsASuspendedProgram) {
    ASSERT_EQ(luaL_loadstring(L, "for i = 1, 30000 do end"), LUA_OK);
    lua_sethook(L, yielding_hook, LUA_MASKCOUNT, 1024);
    ASSERT_EQ(lua_resume(L, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(lua_status(L), LUA_YIELD);
    lua_reset_call_state_mivo3(L);
    lua_sethook(L, nullptr, 0, 0);
    EXPECT_EQ(lua_status(L), LUA_OK);
    lua_settop(L, 0);
    EXPECT_EQ(run("return 6 * 7"), "42");
}

}  // namespace
