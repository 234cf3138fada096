// Include flattening: replaces every "#include name" line of a cart's code
// with the text it names (a plain text file, or a cart's code tabs) and keeps
// a table of where each inserted text landed, so that error lines can be
// mapped back.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

enum : int32_t {
    MIVO3_MAX_INCLUDES = 256,
    INCLUDE_NAME_BYTES = 256,          // 255 characters and a NUL
    INCLUDE_MAX_FILE_BYTES = 65536,    // read from a plain text file
    FLATTEN_MAX_OUTPUT = 65536,        // the flattened text, checked at each insertion
    FLATTEN_MAX_LINES = 65536,         // lines processed; text after them is dropped
    FLATTEN_BUFFER_BYTES = 0x40000,    // room the caller gives the char buffer form
};

// What flattening needs from the layers above: where files are, how a cart
// file is read, and where messages go. Every hook may be left null.
struct mivo3_include_hooks {
    // The cart root folder, ending with '/'; "/name" is read from there.
    // Null: the current folder.
    std::string (*cart_root_folder)() = nullptr;
    // The file name of the current cart; other names are read from its
    // folder. Null: the current folder.
    std::string (*current_cart_filename)() = nullptr;
    // Loads path as a cart (picture or text format) and stores its whole code
    // in *code; false when the file is not a cart. Null: no file is a cart,
    // every include is read as plain text.
    bool (*load_cart_code)(const char* path, std::string* code) = nullptr;
    // Prints one console line in a console colour. Null: the debug log.
    void (*print)(const char* text, int32_t colour) = nullptr;
};

void mivo3_set_include_hooks(const mivo3_include_hooks& hooks);
const mivo3_include_hooks& mivo3_get_include_hooks();

// When set, a file that cannot be loaded or is too long fails silently.
extern bool mivo3_include_quiet;

// Flattens src into dst. Returns 0, or 1 on failure (dst is then empty and
// the message, unless quiet, has been printed).
int32_t mivo3_flatten_includes(std::string_view src, std::string& dst);
// The same into a buffer of FLATTEN_BUFFER_BYTES, NUL-terminated.
int32_t mivo3_flatten_includes(const char* src, char* dst);

// The include table of the last flattening.
int32_t last_included_files();           // number of entries
int32_t included_start(int32_t index);   // 0-based output line before the inserted text; 0 out of range
int32_t included_end(int32_t index);     // 0-based output line after it; 0 out of range
const char* included_name(int32_t index);  // the include argument; null out of range

// Parses an include argument (the text after "#include "): the trimmed text
// is the name, an optional ":<digits>" suffix the tab (else -1, all tabs),
// and the path is resolved against the root or the current cart's folder.
void get_include_filename(std::string_view text, std::string* path_out, int32_t* tab_out,
                          std::string* name_out);
// The text to insert for path and tab, with a newline appended; false when
// the file cannot be read or the cart has no such tab (after its message).
bool load_included_text(const std::string& path, int32_t tab, std::string* text_out);
