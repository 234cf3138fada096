#include "host/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int quon_debug_indentation = 0;
char quon_debug_string[1024];

static FILE* log_file = nullptr;

int quon_log_open(const char* path) {
    quon_log_close();
    quon_debug_indentation = 0;
    if (!path) return 1;
    log_file = std::fopen(path, "wb");
    return log_file ? 0 : 1;
}

void quon_log_close() {
    if (log_file) std::fclose(log_file);
    log_file = nullptr;
}

bool quon_log_is_open() { return log_file != nullptr; }

std::string quon_debug_line(std::string_view text, int& indentation) {
    if (text.size() > 900) return std::string(2 * indentation, ' ') + "[debug string too long!]\n";
    if (!text.empty() && text[0] == '<') {
        if (indentation > 0) indentation--;
        text.remove_prefix(1);
    }
    std::string line(2 * indentation, ' ');
    if (!text.empty() && text[0] == '>') {
        indentation++;
        text.remove_prefix(1);
    }
    line.append(text);
    return line;
}

void quon_debug(const char* text) {
    if (!text) return;
    // The depth follows the texts even while no log is open, so that a log
    // opened later starts at the right level.
    std::string line = quon_debug_line(text, quon_debug_indentation);
    if (!log_file) return;
    std::fwrite(line.data(), 1, line.size(), log_file);
    std::fflush(log_file);
}

void quon_debugf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(quon_debug_string, sizeof quon_debug_string, format, args);
    va_end(args);
    // vsnprintf cuts at the buffer; a text that filled it was too long anyway.
    quon_debug(quon_debug_string);
}
