// Folder rules and path helpers. Every path handed around inside the program
// uses '/' as separator; folders returned here end with '/'.
#pragma once
#include <string>
#include <string_view>

// Folder settings the rules below read. The configuration passes keep the
// first two current; the application title names the per-user data folder.
void quon_set_home_path(std::string_view path);      // empty: take the folder from the environment
void quon_set_desktop_path(std::string_view path);   // empty: the XDG desktop, else home
void quon_set_path_title(std::string_view title);    // initial value "quon"
const std::string& quon_get_home_path();             // the setting as given
const std::string& quon_get_desktop_path();          // the setting as given

// Folder of the program file (from /proc/self/exe) + name.
std::string quon_prefix_with_program_path(std::string_view name);
// Per-user data folder + name: the home path when set, else
// $XDG_DATA_HOME (or ~/.local/share) + "/" + application title. The folder is created.
std::string quon_prefix_with_appdata_path(std::string_view name);
// Desktop folder + name: the desktop setting, else the XDG desktop folder when
// it exists, else the user's home folder, else the program folder.
std::string quon_prefix_with_desktop_path(std::string_view name);
// Current folder + "/" + name.
std::string quon_prefix_with_current_path(std::string_view name);

int quon_mkdir(std::string_view path);        // creates one folder; 0 on success or when it exists
int quon_mkdir_all(std::string_view path);    // creates every missing folder along path; 0 on success
void quon_fix_backslashes(std::string& text); // every '\' becomes '/'
// Drops leading spaces and control characters, turns '\' into '/', collapses
// runs of '/', drops trailing spaces and ends with '/'; all spaces give "".
std::string quon_fix_path_string(std::string_view text);
// Removes "." components and applies ".." (a leading ".." is kept); a leading
// "~" becomes the user's home folder. A trailing separator is kept.
std::string quon_resolve_filename(std::string_view path);
// Folder (up to and including the last '/'), name, and extension (from the
// last '.' after the folder, with the dot); null outputs are skipped.
void quon_split_filename(std::string_view path, std::string* folder, std::string* name,
                         std::string* extension);
// The text after the last '.' of the path's last component ("" when none).
std::string quon_get_filename_extension(std::string_view path);

std::string quon_get_date();      // local date "YYYY-MM-DD"
std::string quon_get_datetime();  // local date and time "YYYY-MM-DD_HH-MM-SS", safe in file names
std::string quon_print_date();    // local date and time for people: "YYYY-MM-DD HH:MM:SS"

// Opens a folder or file with the desktop's file browser (xdg-open), without
// waiting for it. 0 when the opener was started.
int quon_open_with_desktop(std::string_view path);
