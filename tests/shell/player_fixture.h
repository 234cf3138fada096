// The player binary run headless in a private home folder, from a test
// folder that holds the carts a test writes.
#pragma once
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

struct run_result {
    std::string out;
    int code = -1;
};

struct Player : ::testing::Test {
    void SetUp() override {
        binary = fs::path(MIVO3_BINARY_DIR) / "mivo3";
        if (!fs::exists(binary)) GTEST_SKIP() << "player binary not built: " << binary;
        dir = fs::temp_directory_path() /
              ("mivo3_e2e_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    fs::path cart(const std::string& name, const std::string& code) {
        const fs::path p = dir / name;
        std::ofstream(p) << "mivo-3 cartridge // test\nversion 17\n__lua__\n" << code << "\n";
        return p;
    }
    // Standard output (and standard error with with_stderr) and the exit code.
    run_result run(const std::string& args, const fs::path& exe = {}, bool with_stderr = false) {
        const std::string cmd = "cd '" + dir.string() + "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 30 '" +
                                (exe.empty() ? binary : exe).string() + "' " + args + " -home '" +
                                (dir / "home").string() + (with_stderr ? "' 2>&1" : "' 2>/dev/null");
        run_result r;
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p) return r;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int status = ::pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    std::string read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    fs::path binary, dir;
};

