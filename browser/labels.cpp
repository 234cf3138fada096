#include "browser/labels.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/paths.h"
#include "host/stream.h"
#include "host/text.h"
#include "machine/draw.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"

namespace {

quon_bitmap* label_from_picture(const uint8_t* data, size_t size)
{
    unsigned char* rgba = nullptr;
    unsigned w = 0, h = 0;
    if (!mivo3_png_has_picture_size(data, size) || lodepng_decode32(&rgba, &w, &h, data, size) != 0) {
        std::free(rgba);
        return nullptr;
    }
    quon_bitmap* label = mivo3_label_from_picture(rgba, int32_t(w), int32_t(h));
    std::free(rgba);
    return label;
}

// The next line of text from *pos without its end (LF, CR or CR LF), cut to
// MIVO3_LABEL_LINE_MAX characters; false at the end.
bool next_line(std::string_view text, size_t* pos, std::string* line)
{
    if (*pos >= text.size())
        return false;
    size_t end = *pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r')
        end++;
    *line = std::string(text.substr(*pos, std::min<size_t>(end - *pos, MIVO3_LABEL_LINE_MAX)));
    if (end < text.size() && text[end] == '\r')
        end++;
    if (end < text.size() && text[end] == '\n')
        end++;
    *pos = end;
    return true;
}

quon_bitmap* label_from_text_cart(std::string_view text)
{
    size_t pos = 0;
    std::string line;
    if (!next_line(text, &pos, &line) || line.rfind("mivo-3 cartridge", 0) != 0)
        return nullptr;
    if (!next_line(text, &pos, &line) || !next_line(text, &pos, &line) ||
        line.rfind("__lua__", 0) != 0)
        return nullptr;
    quon_bitmap* label = quon_create_bitmap(MIVO3_LABEL_SIZE, MIVO3_LABEL_SIZE, 8);
    if (!label)
        return nullptr;
    std::memset(label->data, 5, size_t(label->pitch) * MIVO3_LABEL_SIZE);
    for (int32_t k = 0; k < 5; k++) {
        if (!next_line(text, &pos, &line) || line.rfind("--", 0) != 0)
            break;
        if (mivo3_print_font)
            quon_draw_text_ex(label, line.c_str(), mivo3_print_font, 0, 22 + 6 * k,
                              QUON_TEXT_COLOURISE, 6);
    }
    return label;
}

bool all_digits(std::string_view s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return !s.empty();
}

bool is_lid_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

quon_bitmap* create_label_from_memory(const uint8_t* data, size_t size, bool picture)
{
    if (!data)
        return nullptr;
    if (picture)
        return label_from_picture(data, size);
    return label_from_text_cart(std::string_view(reinterpret_cast<const char*>(data), size));
}

quon_bitmap* create_label_from_file(const char* path)
{
    if (!path || !*path)
        return nullptr;
    quon_stream* s = quon_load_file(path, std::max(MIVO3_CART_PICTURE_MAX_BYTES, MIVO3_TEXT_CART_MAX_BYTES));
    if (!s)
        return nullptr;
    quon_bitmap* label = create_label_from_memory(s->data, size_t(s->length),
                                                  std::strstr(path, ".png") != nullptr);
    quon_fclose(s);
    return label;
}

std::string get_bbs_cart_filename(std::string_view lid)
{
    if (lid.empty())
        return "";
    std::string bbs = quon_prefix_with_appdata_path("bbs/");
    quon_mkdir(bbs);
    // An all-digit lid too long for a number is kept as a name below.
    if (all_digits(lid) && lid.size() <= 9) {
        int32_t n = std::atoi(std::string(lid).c_str());
        std::string folder = bbs + std::to_string(n / 10000) + "/";
        quon_mkdir(folder);
        return folder + std::to_string(n) + ".m3.png";
    }
    // A lid becomes part of a path: one that could name another folder is
    // refused rather than written outside "bbs/carts".
    if (lid.find('/') != std::string_view::npos || lid.find('\\') != std::string_view::npos ||
        lid.front() == '.')
        return "";
    std::string folder = bbs + "carts";
    quon_mkdir(folder);
    return folder + "/" + std::string(lid) + ".m3.png";
}

std::string get_lid_from_filename(std::string_view name)
{
    size_t at = name.find(".m3");
    if (at == std::string_view::npos || at == 0)
        return "";
    size_t start = at;
    while (start > 0 && is_lid_char(name[start - 1]))
        start--;
    return std::string(name.substr(start, at - start));
}
