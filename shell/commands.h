// The console's commands (load, save, run, cd, ls, info, install_demos, ...):
// small procedures over the shell state, the console output and the cart
// storage workflow, called by the language bindings of runtime/api_commands.
// A cart is the only caller in this player, so most of them act as they do
// while a program runs; under -x, save and shutdown work as they would at a
// prompt. Names arrive with their length (a NUL byte inside is refused) and a
// null pointer for a missing or non-string argument.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int32_t MIVO3_COMMAND_NAME_MAX = 511;  // longer names are refused
constexpr int32_t MIVO3_LOAD_CPU = 64 << 16;     // cycles load charges
constexpr int32_t MIVO3_FILE_COMMAND_CPU = 4096; // import, export

// Connects the commands to the language bindings.
void shell_install_commands();
// Forgets what lasts one run: the overwrite confirmation of save and the
// notices that bbsreq and scoresub give once (a cart starts).
void commands_reset_run();

// 1 when load returns true. Loads an embedded cart by name (exact, with ".m3"
// added, with ".png" added) as the working cart; a breadcrumb adds a run-chain
// entry back to the cart that loaded it.
int32_t command_load(const std::string_view* name, const std::string_view* breadcrumb,
                     const std::string_view* param);
void command_save(const std::string_view* name);
void command_run(const std::string_view* param);
int32_t command_reboot();    // 1: the program yields
int32_t command_shutdown();  // 1: the program yields
void command_cd(const std::string_view* name);
int32_t command_ls(std::vector<std::string>& names);  // names in the data folder's "cstore/"
int32_t command_mkdir(const std::string_view* name);  // 1: returns 0 (name too long)
void command_folder();
void command_info();
// What info reports of flattened code: counted tokens, characters and the
// compressed size, each held to its limit (8192, 65535, 15360).
struct mivo3_code_size {
    int32_t tokens = 0, chars = 0, compressed = 0;
};
mivo3_code_size measure_code(std::string_view flat);
bool code_fits(const mivo3_code_size& size);
// The three lines info prints, each through print (colour 9 when over the limit, else 6).
void print_code_size(const mivo3_code_size& size, void (*print)(const char* text, int32_t colour));
void command_import(const std::string_view* name);
void command_export(const std::string_view* name);
void command_keyconfig();
void command_trovea();
void command_install_demos();
void command_install_games();
void command_login();
void command_bbsreq();
void command_scoresub();

// Full path of the current folder: the carts root followed by the folder
// cd moved to.
std::string current_folder_path();
