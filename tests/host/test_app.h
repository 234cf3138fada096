// A small application for the host's tests: the four callbacks record what
// the loop did, and a temporary per-user folder keeps files out of the way.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace test_app {
extern std::vector<std::string> calls;  // "init", "update", "draw", "exit" in order
extern int updates_before_quit;         // the update that sets quon_quit
extern bool init_calls_quon_init;
extern std::function<void()> on_exit;   // runs inside the exit callback
void reset();

// A fresh folder under the system's temporary folder, removed by the destructor.
struct temp_folder {
    std::string path;  // ends with '/'
    temp_folder();
    ~temp_folder();
    std::string read(const std::string& name) const;  // a file's whole text, "" when missing
    void write(const std::string& name, const std::string& text) const;
};

// Runs quon_init with the given arguments (argv[0] added) and keeps them alive.
void start(const std::vector<std::string>& args);
}  // namespace test_app
