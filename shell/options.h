// The console's half of config.txt (a reader and a writer the host calls)
// and the console's own pass over the command line. Settings land in `app`.
#pragma once
#include <string>

// One line of config.txt that the host does not know. Keys are compared
// over their length; unknown lines and comments are ignored.
void mivo3_load_config(const char* line);
// Appends the console's half of config.txt.
void mivo3_save_config(std::string& out);
// Registers the reader and the writer with the host.
void mivo3_install_config_hooks();

// The console's pass over the command line, after quon_init. Option names are
// compared exactly; the first plain argument is the cart name, further plain
// arguments are kept as extra arguments.
void process_arguments(int argc, char** argv);
