// The host clipboard. Without a platform clipboard (headless runs) the text
// is kept inside the program, so that copy and paste still pair up.
#pragma once
#include <string>

std::string quon_get_clipboard_text();     // "" when empty
void quon_set_clipboard_text(const char* text);
int quon_has_clipboard_text();
// Reads at most 1 MiB of a file into the clipboard: 1 when the file cannot be
// opened, else 0.
int quon_load_clipboard_from_file(const char* path);
