#include "browser/favourites.h"

#include <SDL.h>
#include <lodepng.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/disk.h"
#include "host/display.h"
#include "host/input.h"
#include "host/paths.h"
#include "host/stream.h"
#include "runtime/buttons.h"
#include "shell/app.h"

namespace {

constexpr struct {
    const char* title;
    const char* key;
} LIST_NAMES[TROVEA_LIST_COUNT] = {
    {"local", "local"},       {"favourites", "fav"},
    {"new", "new"},           {"featured", "top"},
    {"work in progress", "wip"}, {"collaboration", "collab"},
    {"jam", "jam"},           {"search", "search"},
};

constexpr int32_t AUTHOR_MAX = 16;
constexpr const char* FAVOURITES_FILE = "favourites.txt";

trovea_state fresh_trovea()
{
    trovea_state s;
    for (int32_t i = 0; i < TROVEA_LIST_COUNT; i++) {
        s.lists[i].title = LIST_NAMES[i].title;
        s.lists[i].key = LIST_NAMES[i].key;
    }
    return s;
}

// Copies text into a TROVEA_TEXT_SIZE field, cut to fit.
void set_text(char* field, std::string_view text)
{
    size_t n = std::min<size_t>(text.size(), TROVEA_TEXT_SIZE - 1);
    if (n)  // an empty view may have no data at all
        std::memcpy(field, text.data(), n);
    field[n] = 0;
}

void trim_trailing_spaces(char* field)
{
    size_t n = std::strlen(field);
    while (n > 0 && field[n - 1] == ' ')
        field[--n] = 0;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Decimal with optional leading spaces and sign, saturated to 32 bits; 0
// without digits.
int32_t read_decimal(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        i++;
    bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        i++;
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; i++)
        v = std::min<int64_t>(v * 10 + (s[i] - '0'), int64_t(INT32_MAX) + 1);
    v = negative ? -v : std::min<int64_t>(v, INT32_MAX);
    return int32_t(v);
}

// The favourite f stands for the cart with this lid or, when f has neither
// lid nor mid, this path.
bool matches(const trovea_item& f, const char* lid, const char* path)
{
    if (lid[0] && std::strcmp(f.lid, lid) == 0)
        return true;
    return path[0] && !f.lid[0] && !f.mid[0] && std::strcmp(f.path, path) == 0;
}

bool duplicates(const trovea_list& list, const trovea_item& item)
{
    for (const trovea_item& e : list.items) {
        if (item.lid[0] ? matches(e, item.lid, "") : (!item.mid[0] && matches(e, "", item.path)))
            return true;
    }
    return false;
}

// One line of the favourites file into item; false when it is not an entry.
bool parse_line(std::string_view line, trovea_item* item)
{
    if (line.empty() || line[0] != '|')
        return false;
    std::string_view rest = line.substr(1);
    std::string_view fields[5];
    for (std::string_view& f : fields) {
        size_t bar = rest.find('|');
        f = rest.substr(0, bar);
        rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    }
    *item = trovea_item{};
    set_text(item->lid, fields[0]);
    set_text(item->mid, fields[1]);
    item->catsub = read_decimal(fields[2]);
    set_text(item->author, fields[3]);
    set_text(item->path, fields[4]);
    set_text(item->title, rest);
    item->kind = TROVEA_KIND_CART;
    return true;
}

void free_labels(trovea_list& list)
{
    for (trovea_item& item : list.items) {
        quon_destroy_bitmap(item.label);
        item.label = nullptr;
    }
}

void clamp_selection(trovea_list& list)
{
    int32_t last = int32_t(list.items.size()) - 1;
    list.selection = std::clamp(list.selection, 0, std::max(last, 0));
}

void mark_favourites()
{
    for (int32_t i = 0; i < TROVEA_LIST_COUNT; i++)
        for (trovea_item& item : trovea.lists[i].items)
            item.favourite = i == TROVEA_LIST_FAV ||
                             (item.kind == TROVEA_KIND_CART && is_favourite(item.lid, item.path));
}

void remove_item(trovea_list& list, size_t index)
{
    quon_destroy_bitmap(list.items[index].label);
    list.items.erase(list.items.begin() + std::ptrdiff_t(index));
}

quon_bitmap* copy_bitmap(const quon_bitmap* src)
{
    if (!src)
        return nullptr;
    quon_bitmap* dst = quon_create_bitmap(src->width, src->height, src->bits);
    if (!dst)
        return nullptr;
    for (int32_t y = 0; y < src->height; y++)
        std::memcpy(dst->rows[y], src->rows[y], size_t(src->width) * size_t(src->bits / 8));
    return dst;
}

// Writes a favourite's label as "bbs/labels/<lid>.png" in the data folder
// unless that file is already there. A lid that could name another folder is
// not used as a file name.
void save_label(const char* lid, const quon_bitmap* label)
{
    if (!label || !lid[0] || lid[0] == '.' || std::strchr(lid, '/') || std::strchr(lid, '\\'))
        return;
    std::string folder = quon_prefix_with_appdata_path("bbs/labels/");
    quon_mkdir_all(folder);
    std::string path = folder + lid + ".png";
    std::error_code ec;
    if (std::filesystem::exists(path, ec) || ec)
        return;
    std::vector<uint8_t> rgba(size_t(label->width) * size_t(label->height) * 4);
    uint8_t* o = rgba.data();
    for (int32_t y = 0; y < label->height; y++) {
        for (int32_t x = 0; x < label->width; x++, o += 4) {
            uint32_t p;
            if (label->bits == 8) {
                const uint8_t* c = quon_palette + label->rows[y][x] * 3;
                p = 0xff000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
            } else {
                p = reinterpret_cast<const uint32_t*>(label->rows[y])[x];
            }
            o[0] = uint8_t(p >> 16);
            o[1] = uint8_t(p >> 8);
            o[2] = uint8_t(p);
            o[3] = uint8_t(p >> 24);
        }
    }
    std::vector<uint8_t> png;
    if (lodepng::encode(png, rgba, unsigned(label->width), unsigned(label->height)) != 0)
        return;
    quon_write_file_replacing(path, std::string_view(reinterpret_cast<const char*>(png.data()),
                                                      png.size()));
}

// Finds the favourite for (lid, path): removes it and returns null, or adds
// a new one before the first cart of the favourites and returns it.
trovea_item* toggle_favourite(const char* lid, const char* path)
{
    std::vector<trovea_item>& favs = trovea_favourites().items;
    for (size_t i = 0; i < favs.size(); i++) {
        if (matches(favs[i], lid, path)) {
            remove_item(trovea_favourites(), i);
            return nullptr;
        }
    }
    if (favs.size() >= size_t(TROVEA_LIST_MAX))
        return nullptr;
    size_t at = 0;
    while (at < favs.size() && favs[at].kind != TROVEA_KIND_CART)
        at++;
    trovea_item item{};
    item.kind = TROVEA_KIND_CART;
    set_text(item.lid, lid);
    set_text(item.path, path);
    if (path[0]) {
        std::string_view name = path;
        name = name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
        if (name.size() >= 3 && name[name.size() - 3] == '.')
            name.remove_suffix(3);
        set_text(item.title, name);
    }
    return &*favs.insert(favs.begin() + std::ptrdiff_t(at), item);
}

bool is_folder(uint32_t mode)
{
    return (mode & 0xf000u) == uint32_t(QUON_MODE_DIRECTORY);
}

// A name that could not be written back as one field of favourites.txt.
bool unlistable(std::string_view name)
{
    return name.find_first_of("|\r\n") != std::string_view::npos;
}

bool key_bound(int scancode)
{
    for (int32_t k : buttons.key_bindings)
        if (k == scancode)
            return true;
    return false;
}

bool key_hit(int scancode)
{
    return !key_bound(scancode) && quon_get_key_state(scancode) == 3;
}

}  // namespace

trovea_state trovea = fresh_trovea();

void reset_trovea()
{
    for (trovea_list& list : trovea.lists)
        free_labels(list);
    trovea = fresh_trovea();
}

trovea_list& trovea_favourites() { return trovea.lists[TROVEA_LIST_FAV]; }

trovea_list& trovea_current()
{
    return trovea.lists[std::clamp(trovea.current, 0, TROVEA_LIST_COUNT - 1)];
}

void sanitise_trovea_item(trovea_item* item)
{
    trim_trailing_spaces(item->lid);
    trim_trailing_spaces(item->mid);
    trim_trailing_spaces(item->path);
    if (std::strcmp(item->lid, "0") == 0)
        item->lid[0] = 0;
    if (std::strcmp(item->mid, "0") == 0)
        item->mid[0] = 0;

    trim_trailing_spaces(item->author);
    for (char* p = item->author; *p; p++) {
        char c = lower(*p);
        *p = ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) ? c : '_';
    }
    item->author[std::min<size_t>(std::strlen(item->author), AUTHOR_MAX)] = 0;

    // The console types printable ASCII only; anything else would show as a
    // glyph the title was never meant to have.
    trim_trailing_spaces(item->title);
    for (char* p = item->title; *p; p++) {
        unsigned char c = static_cast<unsigned char>(lower(*p));
        *p = c == '|' ? '_' : (c < 32 || c > 126) ? ' ' : char(c);
    }

    if (item->lid[0] || item->mid[0])
        item->icon = TROVEA_ICON_ONLINE;
    else if (std::strstr(item->path, ".png"))
        item->icon = TROVEA_ICON_PICTURE;
    else
        item->icon = TROVEA_ICON_LOCAL;
}

int32_t populate_trovea_list_from_text(trovea_list* list, std::string_view text)
{
    if (!list)
        return 0;
    int32_t added = 0;
    size_t pos = 0;
    while (pos < text.size() && list->items.size() < size_t(TROVEA_LIST_MAX)) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        trovea_item item;
        if (parse_line(text.substr(pos, end - pos), &item)) {
            sanitise_trovea_item(&item);
            if (!duplicates(*list, item)) {
                list->items.push_back(item);
                added++;
            }
        }
        pos = end + 1;
    }
    return added;
}

int32_t populate_trovea_list_from_text_file(trovea_list* list, const char* path)
{
    quon_stream* s = path ? quon_fopen(path, "rb") : nullptr;
    if (!s)
        return 0;
    std::string text;
    char chunk[65536];
    while (text.size() < size_t(TROVEA_READ_MAX)) {
        int64_t want = std::min<int64_t>(sizeof chunk, int64_t(TROVEA_READ_MAX) - int64_t(text.size()));
        int64_t got = quon_fread(chunk, 1, want, s);
        if (got <= 0)
            break;
        text.append(chunk, size_t(got));
    }
    bool cut = text.size() >= size_t(TROVEA_READ_MAX) && quon_fgetc(s) != EOF;
    quon_fclose(s);
    // A line cut at the read limit would give a wrong entry.
    if (cut)
        text.resize(text.find_last_of("\r\n") == std::string::npos ? 0 : text.find_last_of("\r\n"));
    return populate_trovea_list_from_text(list, text);
}

int32_t is_favourite(const char* lid, const char* path)
{
    if (!lid || !path)
        return 0;
    for (const trovea_item& f : trovea_favourites().items)
        if (matches(f, lid, path))
            return 1;
    return 0;
}

int32_t save_trovea_favourites()
{
    std::string text;
    char line[6 * TROVEA_TEXT_SIZE + 64];
    for (const trovea_item& f : trovea_favourites().items) {
        if (f.kind != TROVEA_KIND_CART)
            continue;
        std::snprintf(line, sizeof line, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", f.lid, f.mid,
                      f.catsub, f.author, f.path, f.title);
        text += line;
    }
    return quon_write_file_replacing(quon_prefix_with_appdata_path(FAVOURITES_FILE), text);
}

void reload_favourites()
{
    populate_trovea_list_from_text_file(&trovea_favourites(),
                                        quon_prefix_with_appdata_path(FAVOURITES_FILE).c_str());
    clamp_selection(trovea_favourites());
    mark_favourites();
}

// The lists' cached pictures are not read: nothing here shows them.
void trovea_init()
{
    reset_trovea();
    reload_favourites();
}

void trovea_toggle_favourite()
{
    trovea_list& list = trovea_current();
    clamp_selection(list);
    if (list.items.empty())
        return;
    const size_t at = size_t(list.selection);
    if (list.items[at].kind != TROVEA_KIND_CART)
        return;
    if (&list == &trovea_favourites()) {
        // The selected favourite itself goes, even one that a search by lid
        // and path would not find (a mid without a lid).
        remove_item(list, at);
    } else {
        // A copy: the favourites grow below, and the label stays with the list.
        const trovea_item chosen = list.items[at];
        // Nothing could find a favourite without lid and path again.
        if (!chosen.lid[0] && !chosen.path[0])
            return;
        if (trovea_item* fav = toggle_favourite(chosen.lid, chosen.path)) {
            *fav = chosen;
            fav->label = copy_bitmap(chosen.label);
            fav->favourite = 1;
            save_label(fav->lid, fav->label);
        }
    }
    clamp_selection(list);
    mark_favourites();
    save_trovea_favourites();
}

void trovea_enter()
{
    trovea_list& local = trovea.lists[TROVEA_LIST_LOCAL];
    free_labels(local);
    local.items.clear();

    const std::string here = app.current_folder;
    quon_find_record rec;
    for (int32_t r = quon_find_first((std::string(app.root_path) + here).c_str(), "*", &rec, -1);
         r == 0 && local.items.size() < size_t(TROVEA_LIST_MAX); r = quon_find_next(&rec)) {
        const bool folder = is_folder(rec.mode);
        if (!folder && rec.name.find(".m3") == std::string::npos)
            continue;
        const std::string path = here + rec.name + (folder ? "/" : "");
        // A cut name would point at another file.
        if (path.size() >= size_t(TROVEA_TEXT_SIZE) || unlistable(rec.name))
            continue;
        trovea_item item{};
        item.kind = folder ? TROVEA_KIND_FOLDER : TROVEA_KIND_CART;
        set_text(item.title, rec.name);
        set_text(item.path, path);
        if (!folder)
            item.icon = rec.name.find(".png") != std::string::npos ? TROVEA_ICON_PICTURE
                                                                    : TROVEA_ICON_LOCAL;
        local.items.push_back(item);
    }
    quon_find_close(&rec);
    std::stable_sort(local.items.begin(), local.items.end(),
                     [](const trovea_item& a, const trovea_item& b) {
                         if ((a.kind == TROVEA_KIND_FOLDER) != (b.kind == TROVEA_KIND_FOLDER))
                             return a.kind == TROVEA_KIND_FOLDER;
                         return std::strcmp(a.title, b.title) < 0;
                     });
    if (!here.empty()) {
        trovea_item up{};
        up.kind = TROVEA_KIND_FOLDER;
        set_text(up.title, "..");
        // The parent folder, in the same form as the current folder.
        size_t cut = here.find_last_of('/', here.size() - 2);
        set_text(up.path, cut == std::string::npos ? "" : here.substr(0, cut + 1));
        local.items.insert(local.items.begin(), up);
    }
    mark_favourites();
    clamp_selection(trovea_current());
}

void reset_trovea_animation() {}

void trovea_keypress(int32_t c)
{
    if (c == 27) {
        if (app.kiosk_flag)
            trovea.exit_prompt = !trovea.exit_prompt;
        return;
    }
    if (trovea.exit_prompt)
        return;
    const bool on_favourites = trovea.current == TROVEA_LIST_FAV;
    const bool del = c == 8 || (c == 127 && !key_bound(SDL_SCANCODE_DELETE)) ||
                     (c < 0 && key_hit(SDL_SCANCODE_DELETE));
    if ((del && on_favourites) || (c == 'f' && !on_favourites && !key_bound(SDL_SCANCODE_F))) {
        trovea_toggle_favourite();
        return;
    }
    if (c >= 0)
        return;
    trovea_list& list = trovea_current();
    const int32_t last = std::max(int32_t(list.items.size()) - 1, 0);
    int32_t sel = list.selection;
    if (key_hit(SDL_SCANCODE_PAGEUP))
        sel -= TROVEA_PAGE;
    if (key_hit(SDL_SCANCODE_PAGEDOWN))
        sel += TROVEA_PAGE;
    if (key_hit(SDL_SCANCODE_HOME))
        sel = 0;
    if (key_hit(SDL_SCANCODE_END))
        sel = last;
    list.selection = std::clamp(sel, 0, last);
}
