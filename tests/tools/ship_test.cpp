// Shipping the player: the installed tree in a temporary prefix (its pod in
// share/, the desktop entry and file types that open carts, the icons, the
// manual page and the headless runner), and mivo3-pack: a packed game of carts that load each
// other, run from its folder, and the inputs the packer refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/pod.h"
#include "host/stream.h"

namespace fs = std::filesystem;

namespace {

struct run_result {
    std::string out;  // standard output and standard error
    int code = -1;
};

struct Shipping : ::testing::Test {
    void SetUp() override {
        dir = fs::temp_directory_path() / ("mivo3_ship_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        fs::create_directories(dir / "desktop");
    }
    void TearDown() override { fs::remove_all(dir); }

    run_result run(const std::string& command) {
        const std::string cmd = "cd '" + dir.string() +
                                "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 30 " + command + " 2>&1";
        run_result r;
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
        const int status = p ? ::pclose(p) : -1;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    // The player (or launcher) at exe, headless, with this test's home and desktop.
    run_result play(const fs::path& exe, const std::string& args) {
        return run("'" + exe.string() + "' -headless " + args + " -home '" + (dir / "home").string() +
                   "' -desktop '" + (dir / "desktop").string() + "'");
    }
    run_result pack(const std::string& args) { return run(tool("mivo3-pack") + " " + args); }
    static std::string tool(const char* name) { return "'" + (fs::path(MIVO3_BINARY_DIR) / name).string() + "'"; }

    fs::path cart(const std::string& name, const std::string& code) {
        const fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "mivo-3 cartridge // test\nversion 17\n__lua__\n" << code << "\n";
        return p;
    }
    static std::string read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    fs::path dir;
};

// The line of a desktop entry that starts with key, without the key.
std::string entry_value(const std::string& entry, const std::string& key) {
    std::istringstream in(entry);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return line.substr(key.size());
    return {};
}

TEST_F(Shipping, InstalledPlayerOpensCartsFromItsDesktopEntryWithThePodInShare) {
    const fs::path prefix = dir / "prefix";
    ASSERT_EQ(run("'" MIVO3_CMAKE "' --install '" MIVO3_BINARY_DIR "' --prefix '" + prefix.string() + "'").code, 0);
    ASSERT_FALSE(fs::exists(prefix / "bin/data.pod"));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const std::string png = read(prefix / ("share/icons/hicolor/" + std::to_string(size) + "x" +
                                               std::to_string(size) + "/apps/mivo3.png"));
        ASSERT_GE(png.size(), 24u) << size;
        EXPECT_EQ(uint8_t(png[18]) << 8 | uint8_t(png[19]), size) << "PNG width";
    }
    EXPECT_NE(read(prefix / "share/man/man6/mivo3.6").find(".TH MIVO3 6"), std::string::npos);

    // The file types map both cart names to types the desktop entry opens.
    const fs::path entry = prefix / "share/applications/mivo3.desktop";
    EXPECT_EQ(run("desktop-file-validate '" + entry.string() + "'").out, "");
    ASSERT_EQ(run("update-mime-database '" + (prefix / "share/mime").string() + "'").code, 0);
    const std::string globs = read(prefix / "share/mime/globs2");
    EXPECT_NE(globs.find("application/x-mivo3-cart:*.m3\n"), std::string::npos) << globs;
    EXPECT_NE(globs.find("image/x-mivo3-cart-picture:*.m3.png\n"), std::string::npos) << globs;
    const std::string text = read(entry);
    EXPECT_EQ(entry_value(text, "MimeType="), "application/x-mivo3-cart;image/x-mivo3-cart-picture;");

    // What a file manager runs for a double-clicked cart.
    cart("double clicked.m3", "printh('opened', 'trail') extcmd('shutdown')");
    std::string exec = entry_value(text, "Exec=");
    ASSERT_EQ(exec.rfind("mivo3 ", 0), 0u) << exec;
    exec.replace(exec.find("%f"), 2, "'" + (dir / "double clicked.m3").string() + "'");
    const run_result opened = run("'" + (prefix / "bin").string() + "'/" + exec + " -headless -home home");
    EXPECT_EQ(opened.code, 0) << opened.out;
    EXPECT_EQ(read(dir / "home/carts/trail.m3l"), "opened\n");
    EXPECT_NE(read(dir / "home/log.txt").find("quon_load_pod: " + (prefix / "share/mivo-3/data.pod").string() + " ok"),
              std::string::npos);

    // The headless runner installed beside the player finds the same pod.
    cart("tested.m3", "printh('tested')");
    const run_result tested = run("'" + (prefix / "bin/mivo3-run").string() + "' --frames 5 tested.m3");
    EXPECT_EQ(tested.code, 0) << tested.out;
    EXPECT_EQ(tested.out, "tested\n");

    // A data.pod beside the binary wins.
    fs::copy_file(prefix / "share/mivo-3/data.pod", prefix / "bin/data.pod");
    EXPECT_EQ(play(prefix / "bin/mivo3", "-x '" + (dir / "double clicked.m3").string() + "'").code, 0);
    EXPECT_NE(read(dir / "home/log.txt").find("quon_load_pod: " + (prefix / "bin/data.pod").string() + " ok"),
              std::string::npos);
}

TEST_F(Shipping, ManualPageListsEveryCommandLineOptionOfTheReadme) {
    const std::string page = read(fs::path(MIVO3_BINARY_DIR) / "man/mivo3.6");
    std::istringstream readme(read(fs::path(MIVO3_SOURCE_DIR) / "README.md"));
    bool in_options = false;
    int rows = 0;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) in_options = line == "## Command-line options";
        if (!in_options || line.rfind("| `", 0) != 0) continue;
        // The option as the page writes it: bold, with its minus signs escaped.
        std::string option;
        for (char c : line.substr(3, line.find('`', 3) - 3)) option += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(".TP\n\\fB" + option), std::string::npos) << option;
        rows++;
    }
    EXPECT_GT(rows, 20);
}

TEST_F(Shipping, PackedGameRunsItsCartsUnderItsTitleFromItsFolder) {
    // The head cart (a text cart with an include from its own folder), a cart
    // picture and a cart image: the head cart sends the player through both
    // and back.
    cart("game/menu.m3",
         "#include greet.lua\ncartdata('ship_menu') dset(0, dget(0) + 1)\n"
         "printh(greet('menu')..' '..dget(0), 'trail')\n"
         "if dget(0) == 1 then load('level', 'back') else extcmd('screen') extcmd('shutdown') end");
    std::ofstream(dir / "game/greet.lua") << "function greet(w) return 'hi '..w end\n";
    cart("level_src.m3", "printh('level '..stat(100), 'trail') load('bonus')");
    cart("bonus_src.m3", "printh('bonus', 'trail') load('menu')");
    ASSERT_EQ(run(tool("cartpack") + " --png game/level.m3.png level_src.m3").code, 0);
    ASSERT_EQ(run(tool("cartpack") + " -o game/bonus.bin bonus_src.m3").code, 0);
    const fs::path icon = fs::path(MIVO3_BINARY_DIR) / "icons/32x32/apps/mivo3.png";
    const run_result packed = pack("game/menu.m3 game/level.m3.png game/bonus.bin --title 'Night Sea' --icon '" +
                                   icon.string() + "' -o out/night");
    ASSERT_EQ(packed.code, 0) << packed.out;

    const fs::path game = dir / "out/night";
    EXPECT_EQ(read(game / "night-sea.png"), read(icon));
    EXPECT_NE(run("tar -tzf out/night.tar.gz").out.find("night/night-sea\n"), std::string::npos);
    const run_result played = play(game / "night-sea", "");
    EXPECT_EQ(played.code, 0) << played.out;
    EXPECT_EQ(read(dir / "home/carts/trail.m3l"), "hi menu 1\nlevel back\nbonus\nhi menu 2\n");
    EXPECT_TRUE(fs::exists(dir / "desktop/Night Sea_000.png"));
    quon_pod* pod = quon_load_pod((game / "data.pod").c_str());
    quon_pod* resources = quon_pod_load_item_pod(pod, 1);
    ASSERT_NE(quon_pod_bitmap(resources, 6), nullptr);
    EXPECT_EQ(quon_pod_bitmap(resources, 6)->width, 32);
    quon_destroy_pod(resources);
    quon_destroy_pod(pod);

    // The desktop entry goes into the menu with the folder's paths.
    EXPECT_EQ(run("desktop-file-validate out/night/night-sea.desktop").out, "");
    ASSERT_EQ(run("env XDG_DATA_HOME='" + (dir / "xdg").string() + "' out/night/night-sea --add-to-menu").code, 0);
    const fs::path added = dir / "xdg/applications/mivo3-night-sea.desktop";
    EXPECT_EQ(entry_value(read(added), "Exec="), "\"" + (game / "night-sea").string() + "\"");
    EXPECT_EQ(run("desktop-file-validate '" + added.string() + "'").out, "");
}

TEST_F(Shipping, PackerRefusesBadInputsNamingTheFile) {
    cart("ok.m3", "print('ok')");
    cart("sub/ok.m3", "print('twin')");
    std::ofstream(dir / "garbage.m3") << "not a cart at all\n";
    std::string long_code;
    for (int i = 0; i < 3000; i++) long_code += "a" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    cart("long.m3", long_code);
    std::ofstream(dir / "a file") << "x";
    // A folder that holds a player and a pod among other things is no packed game.
    fs::create_directories(dir / "notes");
    std::ofstream(dir / "notes/keep.txt") << "mine";
    std::ofstream(dir / "notes/mivo3") << "";
    std::ofstream(dir / "notes/data.pod") << "";

    const struct {
        std::string args, message;
    } cases[] = {
        {"missing.m3 -o out", "mivo3-pack: missing.m3: no such file"},
        {"garbage.m3 -o out", "mivo3-pack: garbage.m3: not a cart"},
        {"long.m3 -o out", "mivo3-pack: long.m3: code over the limits\n  tokens:      9000 /  8192  (over the limit)"},
        {"ok.m3 sub/ok.m3 -o out", "mivo3-pack: sub/ok.m3: ok.m3 is already the cart ok.m3"},
        {"ok.m3 -o 'a file/out'", "mivo3-pack: cannot write " + (dir / "a file/out").string()},
        {"ok.m3 -o notes", "notes exists and is not a packed game"},
    };
    for (const auto& c : cases) {
        const run_result r = pack(c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << ":\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_EQ(read(dir / "notes/keep.txt"), "mine");
}

}  // namespace
