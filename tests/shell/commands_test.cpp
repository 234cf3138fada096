// The console's commands in process, where their console lines can be read:
// with the -x route and no program running they go to standard output.
#include "shell/commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/disk.h"
#include "host/paths.h"
#include "machine/pstate.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/console.h"
#include "storage/cart.h"
#include "storage/workflow.h"

namespace fs = std::filesystem;

namespace {

struct Commands : ::testing::Test {
    void SetUp() override {
        reset_pstate();
        reset_app();
        reset_run_loop();
        reset_workflow();
        home = fs::temp_directory_path() / ("mivo3_commands_" + std::to_string(::getpid()));
        fs::remove_all(home);
        quon_set_home_path(home.string() + "/");
        std::snprintf(app.root_path, sizeof app.root_path, "%s", quon_prefix_with_appdata_path("carts/").c_str());
        fs::create_directories(app.root_path);
        pstate.cart = quon_create_mivo3_cart();
        mivo_console_set_route(true, false);  // stopped shell: lines to standard output
    }
    void TearDown() override {
        mivo_console_set_route(false, false);
        reset_workflow();
        quon_vdisk_clear();
        quon_destroy_mivo3_cart(pstate.cart);
        pstate.cart = nullptr;
        quon_set_home_path("");
        fs::remove_all(home);
    }
    // Makes a cart with this code current under name and mounts it.
    void embed(const char* name, const char* code) {
        mivo3_cart* cart = quon_create_mivo3_cart();
        std::snprintf(cart->code, MIVO3_CODE_BUFFER_SIZE, "%s", code);
        mount_embedded_cart(cart, name);
        quon_destroy_mivo3_cart(cart);
    }
    template <typename F>
    std::string output(F f) {
        ::testing::internal::CaptureStdout();
        f();
        return ::testing::internal::GetCapturedStdout();
    }
    fs::path home;
};

TEST_F(Commands, LoadFindsEmbeddedCartsByTheirNameForms) {
    embed("level.m3", "print('level')");
    embed("pic.m3.png", "-- a picture");
    const std::string_view plain = "level", png = "pic.png", missing = "nowhere", hidden = "__level";
    EXPECT_EQ(output([&] { EXPECT_EQ(command_load(&plain, nullptr, nullptr), 1); }), "loaded level.m3 (14 chars)\n");
    EXPECT_STREQ(current_cart_filename(), "level.m3");
    EXPECT_EQ(output([&] { EXPECT_EQ(command_load(&png, nullptr, nullptr), 1); }), "loaded pic.m3.png (12 chars)\n");
    // Not an embedded cart: true and nothing changes.
    EXPECT_EQ(output([&] { EXPECT_EQ(command_load(&missing, nullptr, nullptr), 1); }), "");
    EXPECT_STREQ(current_cart_filename(), "pic.m3.png");
    EXPECT_EQ(output([&] { EXPECT_EQ(command_load(&hidden, nullptr, nullptr), 0); }), "could not load\n");
    // Without a running program and a breadcrumb the run chain is cleared.
    add_run_chain_item("x.m3", "back", 0);
    command_load(&plain, nullptr, nullptr);
    EXPECT_EQ(run_chain_depth(), 0);
}

TEST_F(Commands, InfoMeasuresTheCodeAgainstTheLimits) {
    embed("sized.m3", "x=1\n-->8\ny=2");
    const std::string_view name = "sized";
    command_load(&name, nullptr, nullptr);
    EXPECT_EQ(output(command_info),
              "file: sized.m3\n"
              "tokens:         6 /  8192\n"
              "chars:         12 / 65535\n"
              "compressed:    12 / 15360\n");
}

TEST_F(Commands, CdStaysBelowTheRoot) {
    fs::create_directories(fs::path(app.root_path) / "games/old");
    const std::string_view games = "games", up = "..", old = "old", root = "/", nothing = "nothing";
    EXPECT_EQ(output([&] { command_cd(&up); }), "cd: failed\n");
    EXPECT_EQ(output([&] { command_cd(&games); }), "/games/\n");
    EXPECT_EQ(output([&] { command_cd(&old); }), "/games/old/\n");
    EXPECT_EQ(output([&] { command_cd(nullptr); }), "directory: /games/old/\n");
    EXPECT_EQ(output([&] { command_cd(&nothing); }), "directory not found\n");
    EXPECT_EQ(output([&] { command_cd(&root); }), "/\n");
    EXPECT_STREQ(app.current_folder, "");
}

}  // namespace
