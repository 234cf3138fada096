// The debug log "log.txt": one line per call, indented as a call tree. A text
// starting with '>' indents the lines after it, one starting with '<' outdents
// itself and the lines after it.
#pragma once
#include <string>
#include <string_view>

extern int quon_debug_indentation;   // current depth, >= 0
extern char quon_debug_string[1024]; // scratch buffer callers format into

// Opens the log for writing (it starts empty); a path that cannot be opened
// leaves logging off. Returns 0 when the log is open.
int quon_log_open(const char* path);
void quon_log_close();
bool quon_log_is_open();

void quon_debug(const char* text);                 // writes one log text
void quon_debugf(const char* format, ...)          // formats into quon_debug_string, then quon_debug
    __attribute__((format(printf, 1, 2)));

// What quon_debug writes for `text` at depth `indentation`, and the depth
// after it. Texts longer than 900 characters are replaced by a notice.
std::string quon_debug_line(std::string_view text, int& indentation);
