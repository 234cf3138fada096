#include "host/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>

namespace {

bool is_folder(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets or clears environment variables for one test and puts them back.
class Environment {
  public:
    void set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~Environment() {
        for (auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

class Folders : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mivo3_paths_XXXXXX";
        root = mkdtemp(tmpl);
        root += "/";
        quon_set_home_path("");
        quon_set_desktop_path("");
        quon_set_path_title("mivo-3");
        env.set("HOME", root.c_str());
        env.set("XDG_DATA_HOME", nullptr);
        env.set("XDG_CONFIG_HOME", nullptr);
        env.set("XDG_DESKTOP_DIR", nullptr);
    }
    void TearDown() override {
        quon_set_home_path("");
        quon_set_desktop_path("");
        quon_set_path_title("quon");
        std::system(("rm -rf " + root).c_str());
    }
    std::string root;
    Environment env;
};

}  // namespace

TEST(PathText, FixPathStringNormalisesAWindowsPath) {
    EXPECT_EQ(quon_fix_path_string("  C:\\games\\\\carts\\  "), "C:/games/carts/");
    EXPECT_EQ(quon_fix_path_string("/a//b///c"), "/a/b/c/");
    EXPECT_EQ(quon_fix_path_string("dir\twith\x01" "ctl"), "dirwithctl/");
    EXPECT_EQ(quon_fix_path_string("    "), "");
    EXPECT_EQ(quon_fix_path_string(""), "");
}

TEST(PathText, ResolveFilenameAppliesDotComponents) {
    EXPECT_EQ(quon_resolve_filename("a/b/../c"), "a/c");
    EXPECT_EQ(quon_resolve_filename("./a"), "a");
    EXPECT_EQ(quon_resolve_filename("a\\b\\..\\c"), "a/c");
    EXPECT_EQ(quon_resolve_filename("../a"), "../a");
    EXPECT_EQ(quon_resolve_filename("../../a"), "../../a");
    EXPECT_EQ(quon_resolve_filename("/x/../y"), "/y");
    EXPECT_EQ(quon_resolve_filename("/../y"), "/y");
    EXPECT_EQ(quon_resolve_filename("a/./b/"), "a/b/");
    EXPECT_EQ(quon_resolve_filename("a/b/../../c"), "c");
}

TEST(PathText, ResolveFilenameExpandsALeadingTilde) {
    Environment env;
    env.set("HOME", "/home/someone");
    EXPECT_EQ(quon_resolve_filename("~/carts/x.m3"), "/home/someone/carts/x.m3");
    EXPECT_EQ(quon_resolve_filename("a/~/b"), "a/~/b");
}

TEST(PathText, SplitFilenameAndExtension) {
    std::string folder, name, ext;
    quon_split_filename("carts/dir.v2/game.m3.png", &folder, &name, &ext);
    EXPECT_EQ(folder, "carts/dir.v2/");
    EXPECT_EQ(name, "game.m3");
    EXPECT_EQ(ext, ".png");
    quon_split_filename("dir.v2/noext", &folder, &name, &ext);
    EXPECT_EQ(name, "noext");
    EXPECT_EQ(ext, "");
    quon_split_filename("plain.m3", nullptr, &name, nullptr);
    EXPECT_EQ(name, "plain");
    EXPECT_EQ(quon_get_filename_extension("a/b.c/file.M3"), "M3");
    EXPECT_EQ(quon_get_filename_extension("a/b.c/file"), "");
}

TEST_F(Folders, HomeSettingReplacesTheDataFolder) {
    quon_set_home_path(root + "my\\home");
    EXPECT_EQ(quon_prefix_with_appdata_path("log.txt"), root + "my/home/log.txt");
    EXPECT_TRUE(is_folder(root + "my/home"));
    quon_set_home_path(root + "other/");
    EXPECT_EQ(quon_prefix_with_appdata_path("config.txt"), root + "other/config.txt");
}

TEST_F(Folders, DataFolderFollowsXdgThenHome) {
    env.set("XDG_DATA_HOME", (root + "xdg").c_str());
    EXPECT_EQ(quon_prefix_with_appdata_path("log.txt"), root + "xdg/mivo-3/log.txt");
    EXPECT_TRUE(is_folder(root + "xdg/mivo-3"));
    // A relative XDG_DATA_HOME is invalid and ignored.
    env.set("XDG_DATA_HOME", "relative/place");
    EXPECT_EQ(quon_prefix_with_appdata_path("x"), root + ".local/share/mivo-3/x");
    env.set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(quon_prefix_with_appdata_path("cstore/"), root + ".local/share/mivo-3/cstore/");
    EXPECT_TRUE(is_folder(root + ".local/share/mivo-3"));
}

TEST_F(Folders, DesktopIsSettingThenXdgThenHome) {
    EXPECT_EQ(quon_prefix_with_desktop_path("shot.png"), root + "shot.png");
    mkdir((root + "Desktop").c_str(), 0755);
    EXPECT_EQ(quon_prefix_with_desktop_path("shot.png"), root + "Desktop/shot.png");
    mkdir((root + "Schreibtisch").c_str(), 0755);
    mkdir((root + ".config").c_str(), 0755);
    std::ofstream(root + ".config/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                   << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(quon_prefix_with_desktop_path("a.gif"), root + "Schreibtisch/a.gif");
    mkdir((root + "envdesk").c_str(), 0755);
    env.set("XDG_DESKTOP_DIR", (root + "envdesk").c_str());
    EXPECT_EQ(quon_prefix_with_desktop_path("a.gif"), root + "envdesk/a.gif");
    quon_set_desktop_path(root + "chosen");
    EXPECT_EQ(quon_prefix_with_desktop_path("a.gif"), root + "chosen/a.gif");
}

TEST(Folders2, ProgramAndCurrentFolders) {
    const std::string program = quon_prefix_with_program_path("");
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_EQ(program[0], '/');
    EXPECT_TRUE(is_folder(program));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(quon_prefix_with_current_path("f"), std::string(cwd) + "/f");
}

TEST(Folders2, MakeFolders) {
    char tmpl[] = "/tmp/mivo3_mkdir_XXXXXX";
    const std::string root = mkdtemp(tmpl);
    EXPECT_EQ(quon_mkdir(root + "/one"), 0);
    EXPECT_EQ(quon_mkdir(root + "/one/"), 0);  // already there
    EXPECT_NE(quon_mkdir(root + "/a/b"), 0);  // one level only
    EXPECT_EQ(quon_mkdir_all(root + "/a/b/c/"), 0);
    EXPECT_TRUE(is_folder(root + "/a/b/c"));
    std::ofstream(root + "/file") << "x";
    EXPECT_NE(quon_mkdir(root + "/file"), 0);
    std::system(("rm -rf " + root).c_str());
}

TEST(Dates, TextShapes) {
    EXPECT_TRUE(std::regex_match(quon_get_date(), std::regex("\\d{4}-\\d{2}-\\d{2}")));
    EXPECT_TRUE(std::regex_match(quon_get_datetime(), std::regex("\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}")));
    EXPECT_TRUE(std::regex_match(quon_print_date(), std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}")));
}
