#include "host/clipboard.h"

#include <SDL.h>

#include <algorithm>

#include "host/stream.h"

static std::string local_clipboard;

static bool platform_clipboard() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

std::string quon_get_clipboard_text() {
    if (!platform_clipboard()) return local_clipboard;
    char* text = SDL_GetClipboardText();
    std::string out = text ? text : "";
    SDL_free(text);
    return out;
}

void quon_set_clipboard_text(const char* text) {
    local_clipboard = text ? text : "";
    if (platform_clipboard()) SDL_SetClipboardText(local_clipboard.c_str());
}

int quon_has_clipboard_text() {
    if (!platform_clipboard()) return !local_clipboard.empty();
    return SDL_HasClipboardText() ? 1 : 0;
}

int quon_load_clipboard_from_file(const char* path) {
    quon_stream* s = quon_fopen(path, "rb");
    if (!s) return 1;
    constexpr int64_t limit = 1 << 20;
    std::string text(static_cast<size_t>(limit), '\0');
    int64_t n = quon_fread(text.data(), 1, limit, s);
    quon_fclose(s);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    // The clipboard holds text: it ends at the first zero byte.
    text.resize(std::min(text.size(), text.find('\0')));
    quon_set_clipboard_text(text.c_str());
    return 0;
}
