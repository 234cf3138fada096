#include "lang/includes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string g_cart_file;
std::string g_root;
std::vector<std::pair<std::string, int32_t>> g_printed;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Stands in for the cart loaders: a file ending in ".m3" is a cart whose
// whole content is its code.
bool fake_cart_loader(const char* path, std::string* code) {
    std::string p(path);
    if (p.size() < 3 || p.compare(p.size() - 3, 3, ".m3") != 0 || !fs::exists(p)) return false;
    *code = read_file(p);
    return true;
}

class Includes : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m3_includes_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::create_directories(dir + "/carts");
        fs::create_directories(dir + "/root");
        g_cart_file = dir + "/carts/main.m3";
        g_root = dir + "/root/";
        g_printed.clear();
        mivo3_include_hooks hooks;
        hooks.cart_root_folder = [] { return g_root; };
        hooks.current_cart_filename = [] { return g_cart_file; };
        hooks.load_cart_code = fake_cart_loader;
        hooks.print = [](const char* text, int32_t colour) { g_printed.emplace_back(text, colour); };
        mivo3_set_include_hooks(hooks);
        mivo3_include_quiet = false;
    }
    void TearDown() override {
        mivo3_set_include_hooks({});
        mivo3_include_quiet = false;
        fs::remove_all(dir);
    }
    void write(const std::string& relative, const std::string& text) {
        std::ofstream out(dir + "/" + relative, std::ios::binary);
        out << text;
    }
    int32_t flatten(const std::string& src) { return mivo3_flatten_includes(src, out); }

    std::string dir;
    std::string out;
};

TEST_F(Includes, PlainTextIsInsertedWithANewline) {
    write("carts/lib.lua", "x=1\ny=2");
    ASSERT_EQ(flatten("a=1\n#include lib.lua\nb=2\n"), 0);
    EXPECT_EQ(out, "a=1\nx=1\ny=2\nb=2\n");
    ASSERT_EQ(last_included_files(), 1);
    EXPECT_STREQ(included_name(0), "lib.lua");
    EXPECT_EQ(included_start(0), 1);
    EXPECT_EQ(included_end(0), 3);
    EXPECT_TRUE(g_printed.empty());
}

TEST_F(Includes, IncludeOnTheLastLineWithoutNewline) {
    write("carts/lib.lua", "x=1");
    ASSERT_EQ(flatten("a=1\n#include lib.lua"), 0);
    EXPECT_EQ(out, "a=1\nx=1\n");
}

TEST_F(Includes, TableRecordsEachInsertion) {
    write("carts/one.lua", "1\n2\n");
    write("carts/two.lua", "3");
    ASSERT_EQ(flatten("#include one.lua\nmid\n#include two.lua \r\nend"), 0);
    EXPECT_EQ(out, "1\n2\n\nmid\n3\nend");
    ASSERT_EQ(last_included_files(), 2);
    EXPECT_EQ(included_start(0), 0);
    EXPECT_EQ(included_end(0), 3);
    EXPECT_EQ(included_start(1), 4);
    EXPECT_EQ(included_end(1), 5);
    EXPECT_STREQ(included_name(1), "two.lua");
    EXPECT_EQ(included_start(2), 0);
    EXPECT_EQ(included_end(-1), 0);
    EXPECT_EQ(included_name(2), nullptr);
    // A new flattening starts a new table.
    ASSERT_EQ(flatten("x"), 0);
    EXPECT_EQ(last_included_files(), 0);
}

TEST_F(Includes, CartTabsWholeOrOneAtATime) {
    write("carts/lib.m3", "t0\n-->8\nt1a\nt1b\n-->8\nt2");
    ASSERT_EQ(flatten("#include lib.m3:2\n"), 0);
    EXPECT_EQ(out, "t2\n");
    ASSERT_EQ(flatten("#include lib.m3:1\n"), 0);
    EXPECT_EQ(out, "t1a\nt1b\n");
    EXPECT_STREQ(included_name(0), "lib.m3:1");
    ASSERT_EQ(flatten("#include lib.m3\n"), 0);
    EXPECT_EQ(out, "t0\nt1a\nt1b\nt2\n");
}

TEST_F(Includes, MissingTabFails) {
    write("carts/lib.m3", "t0\n-->8\nt1");
    out = "stale";
    EXPECT_EQ(flatten("#include lib.m3:5\n"), 1);
    EXPECT_EQ(out, "");
    ASSERT_EQ(g_printed.size(), 3u);
    EXPECT_EQ(g_printed[0], std::make_pair(std::string("could not find tab 5"), 6));
    EXPECT_EQ(g_printed[1], std::make_pair(std::string("could not #include file:"), 6));
    EXPECT_EQ(g_printed[2], std::make_pair(std::string("lib.m3:5"), 14));
}

TEST_F(Includes, RootFolderForSlashNames) {
    write("root/shared.lua", "shared=true");
    write("carts/shared.lua", "wrong=true");
    ASSERT_EQ(flatten("#include /shared.lua\n"), 0);
    EXPECT_EQ(out, "shared=true\n");
}

TEST_F(Includes, IndentedOrMisspelledIncludeStaysCode) {
    write("carts/x.lua", "inserted");
    std::string src = "  #include x.lua\nx #include x.lua\n#include\n#includex.lua\n";
    ASSERT_EQ(flatten(src), 0);
    EXPECT_EQ(out, src);
    EXPECT_EQ(last_included_files(), 0);
}

TEST_F(Includes, IncludeInsideALongStringIsText) {
    write("carts/x.lua", "inserted");
    std::string src = "s = [[\n#include x.lua\n]]\n";
    ASSERT_EQ(flatten(src), 0);
    EXPECT_EQ(out, src);
}

TEST_F(Includes, TwoHundredFiftySixSucceedAndOneMoreFails) {
    write("carts/v.lua", "v=1");
    std::string src;
    for (int i = 0; i < MIVO3_MAX_INCLUDES; i++) src += "#include v.lua\n";
    ASSERT_EQ(flatten(src), 0);
    EXPECT_EQ(last_included_files(), MIVO3_MAX_INCLUDES);
    EXPECT_EQ(included_end(255), 256);
    src += "#include v.lua\n";
    EXPECT_EQ(flatten(src), 1);
    EXPECT_EQ(out, "");
    ASSERT_FALSE(g_printed.empty());
    EXPECT_EQ(g_printed.back(), std::make_pair(std::string("too many #includes"), 6));
}

TEST_F(Includes, MissingFileMessagesAndQuotesHint) {
    EXPECT_EQ(flatten("#include nothere.lua\n"), 1);
    ASSERT_EQ(g_printed.size(), 2u);
    EXPECT_EQ(g_printed[0], std::make_pair(std::string("could not #include file:"), 6));
    EXPECT_EQ(g_printed[1], std::make_pair(std::string("nothere.lua"), 14));

    g_printed.clear();
    EXPECT_EQ(flatten("#include \"quoted.lua\"\n"), 1);
    ASSERT_EQ(g_printed.size(), 3u);
    EXPECT_EQ(g_printed[1].first, "\"quoted.lua\"");
    EXPECT_EQ(g_printed[2], std::make_pair(std::string("\x82try without the quotes"), 6));

    g_printed.clear();
    mivo3_include_quiet = true;
    EXPECT_EQ(flatten("#include nothere.lua\n"), 1);
    EXPECT_TRUE(g_printed.empty());
}

TEST_F(Includes, EmptyNameOrFolderIsNotAFile) {
    fs::create_directories(dir + "/carts/sub");
    EXPECT_EQ(flatten("#include \n"), 1);
    EXPECT_EQ(flatten("#include sub\n"), 1);
    EXPECT_EQ(g_printed.size(), 4u);
}

TEST_F(Includes, TooLongFails) {
    write("carts/big.lua", std::string(40000, 'x'));
    EXPECT_EQ(flatten("#include big.lua\n"), 0);
    EXPECT_EQ(flatten("#include big.lua\n#include big.lua\n"), 1);
    ASSERT_EQ(g_printed.size(), 2u);
    EXPECT_EQ(g_printed[0], std::make_pair(std::string("#include file too long:"), 6));
    EXPECT_EQ(g_printed[1], std::make_pair(std::string("big.lua"), 14));
    g_printed.clear();
    mivo3_include_quiet = true;
    EXPECT_EQ(flatten("#include big.lua\n#include big.lua\n"), 1);
    EXPECT_TRUE(g_printed.empty());

    // The whole limit fits: 65535 bytes and the newline.
    write("carts/edge.lua", std::string(FLATTEN_MAX_OUTPUT - 1, 'y'));
    EXPECT_EQ(flatten("#include edge.lua\n"), 0);
    EXPECT_EQ(out.size(), static_cast<size_t>(FLATTEN_MAX_OUTPUT));
    // A larger file is read only up to the limit, and then no longer fits.
    write("carts/huge.lua", std::string(1 << 20, 'z'));
    EXPECT_EQ(flatten("#include huge.lua\n"), 1);
}

TEST_F(Includes, IncludeOfItselfIsNotFollowed) {
    // Included text is inserted as it is, so a file that includes itself
    // ends after one level; its own #include line is left for the compiler.
    write("carts/main.m3", "#include main.m3\nx=1");
    ASSERT_EQ(flatten(read_file(g_cart_file)), 0);
    EXPECT_EQ(out, "#include main.m3\nx=1\nx=1");
    write("carts/self.lua", "#include self.lua\n");
    ASSERT_EQ(flatten("#include self.lua\n"), 0);
    EXPECT_EQ(out, "#include self.lua\n\n");
}

TEST_F(Includes, BufferForm) {
    write("carts/lib.lua", "y");
    std::vector<char> buf(FLATTEN_BUFFER_BYTES);
    EXPECT_EQ(mivo3_flatten_includes("#include lib.lua\nz", buf.data()), 0);
    EXPECT_STREQ(buf.data(), "y\nz");
    EXPECT_EQ(mivo3_flatten_includes("#include gone.lua\n", buf.data()), 1);
    EXPECT_STREQ(buf.data(), "");
}

TEST_F(Includes, ArgumentParsing) {
    std::string path, name;
    int32_t tab = 0;
    get_include_filename("  lib.m3:2 \r", &path, &tab, &name);
    EXPECT_EQ(name, "lib.m3:2");
    EXPECT_EQ(tab, 2);
    EXPECT_EQ(path, dir + "/carts/lib.m3");
    get_include_filename("lib.lua:x", &path, &tab, &name);
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(path, dir + "/carts/lib.lua");
    get_include_filename("x.m3:", &path, &tab, nullptr);
    EXPECT_EQ(tab, 0);
    get_include_filename("/lib/util.lua:0", &path, &tab, nullptr);
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(path, dir + "/root/lib/util.lua");
    get_include_filename("x.m3:99999999999999", &path, &tab, nullptr);
    EXPECT_GT(tab, 7);

    // Without a current cart or root folder names stay relative.
    mivo3_set_include_hooks({});
    get_include_filename("lib.lua", &path, &tab, nullptr);
    EXPECT_EQ(path, "lib.lua");
    get_include_filename("/lib.lua", &path, &tab, nullptr);
    EXPECT_EQ(path, "lib.lua");
}

TEST_F(Includes, LongNamesAreCutInTheTable) {
    std::string folder(150, 'd'), file(150, 'f');
    fs::create_directories(dir + "/carts/" + folder);
    write("carts/" + folder + "/" + file, "ok");
    std::string name = folder + "/" + file;
    ASSERT_EQ(flatten("#include " + name + "\n"), 0);
    EXPECT_EQ(out, "ok\n");
    EXPECT_EQ(std::string(included_name(0)), name.substr(0, INCLUDE_NAME_BYTES - 1));
}

TEST_F(Includes, GarbageNeverBreaksFlattening) {
    std::mt19937 rng(7);
    write("carts/g.lua", "g");
    for (int round = 0; round < 200; round++) {
        std::string src(rng() % 3000, ' ');
        for (char& c : src) c = static_cast<char>(1 + rng() % 255);
        if (round % 2) src += "\n#include g.lua\n";
        ASSERT_EQ(flatten(src), 0);
        if (round % 2 == 0) EXPECT_EQ(out, src);
        // Unless the garbage left a long string or comment open, the include
        // line was replaced.
        else EXPECT_TRUE(out == src || out == src.substr(0, src.size() - 15) + "g\n");
    }
    std::string one_line(64 * 1024, 'q');
    ASSERT_EQ(flatten(one_line), 0);
    EXPECT_EQ(out, one_line);
}

}  // namespace
