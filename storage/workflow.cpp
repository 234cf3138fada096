#include "storage/workflow.h"

#include <sha1.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/disk.h"
#include "host/log.h"
#include "host/paths.h"
#include "host/stream.h"
#include "lang/includes.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/compress.h"
#include "storage/text_cart.h"

namespace {

struct embedded_entry {
    char hash[MIVO3_HASH_TEXT];
    std::string name;
};

std::string current_filename;
char saved_hash[MIVO3_HASH_TEXT] = "";
std::vector<embedded_entry> embedded;
std::string written_files;  // "|name|name..." of cstore targets this run
int32_t written_count = 0;
std::string last_partial_file;
int32_t partial_counter = 0;

void print_line(const char* text, int32_t colour)
{
    if (mivo3_storage.print)
        mivo3_storage.print(text, colour);
    else
        quon_debug(text);
}

void show(const char* text, int32_t ms)
{
    if (mivo3_storage.show_message)
        mivo3_storage.show_message(text, ms);
    else
        quon_debug(text);
}

bool contains(std::string_view s, std::string_view part)
{
    return s.find(part) != std::string_view::npos;
}

bool ends_with(std::string_view s, std::string_view end)
{
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

void sha1_text(const uint8_t* data, size_t len, char out[MIVO3_HASH_TEXT])
{
    SHA1_CTX ctx;
    uint8_t digest[SHA1_DIGEST_LENGTH];
    SHA1Init(&ctx);
    SHA1Update(&ctx, data, len);
    SHA1Final(digest, &ctx);
    for (int32_t i = 0; i < SHA1_DIGEST_LENGTH; i++)
        std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
}

mivo3_cart* load_raw_rom(const char* path)
{
    quon_stream* s = quon_load_file(path, MIVO3_CART_IMAGE_SIZE);
    if (!s)
        return nullptr;
    mivo3_cart* cart = nullptr;
    if (s->length >= MIVO3_CART_ROM_SIZE && (cart = quon_create_mivo3_cart()) != nullptr) {
        for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
            mivo3_cart_rom_write(cart, a, s->data[a]);
    }
    quon_fclose(s);
    return cart;
}

mivo3_cart* copy_rom_of(const mivo3_cart* from)
{
    mivo3_cart* cart = quon_create_mivo3_cart();
    if (cart && from)
        for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
            mivo3_cart_rom_write(cart, a, mivo3_cart_rom_read(from, a));
    return cart;
}

// Writes the cart in the format its name asks for. A file is replaced only
// once its new contents are completely written.
int32_t write_cart_file(const mivo3_cart* cart, const std::string& path)
{
    if (contains(path, ".png")) {
        std::vector<uint8_t> png;
        if (encode_mivo3_cart_png(cart, png) != 0)
            return 1;
        return quon_write_file_replacing(
            path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
    }
    return quon_write_file_replacing(path, mivo3_cart_to_text(cart));
}

std::string cstore_name_path(const char* filename)
{
    std::string_view name(filename);
    if (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return mivo3_prefix_with_cstore_path(name, "");
}

const embedded_entry* find_embedded_by_name(const char* name, bool loose)
{
    if (!name)
        return nullptr;
    std::string injected = inject_m3_extention(name);
    for (const embedded_entry& e : embedded) {
        if (e.name == name)
            return &e;
        if (loose && (e.name == injected || e.name == injected + ".png"))
            return &e;
    }
    return nullptr;
}

// Loads a cart file for a partial store: picture or text by its name, else a
// copy of `base`'s ROM, else a blank cart.
mivo3_cart* load_store_target(const std::string& path, const mivo3_cart* base)
{
    mivo3_cart* cart = contains(path, ".png") ? load_mivo3_cart_png(path.c_str())
                                              : quon_load_mivo3_cart(path.c_str());
    if (!cart)
        cart = copy_rom_of(base);
    return cart;
}

int32_t cstore_partial(const std::string& path, int32_t dest, int32_t src, int32_t size,
                       int32_t also_current, const mivo3_cart* base)
{
    std::string key = "|" + path;
    if (!contains(written_files + "|", key + "|")) {
        if (written_count >= MIVO3_CSTORE_FILES_MAX)
            return 3;
        written_files += key;
        written_count++;
    }
    last_partial_file = path;
    partial_counter = MIVO3_PARTIAL_ACCESS_FRAMES;

    mivo3_cart* target = load_store_target(path, base);
    if (!target)
        return 2;
    mivo3_cstore(&pstate, pstate.cart, target, dest, src, size);
    int32_t result = write_cart_file(target, path) == 0 ? 0 : 2;
    quon_destroy_mivo3_cart(target);
    // The current cart takes the bytes only with its file, so that a store
    // that could not be written is not half done.
    if (result == 0 && also_current && mivo3_current_cart)
        mivo3_cstore(&pstate, pstate.cart, mivo3_current_cart, dest, src, size);
    return result;
}

// The cart at the current file as loading would see it, or null.
mivo3_cart* load_current_file_again()
{
    if (current_filename.empty())
        return nullptr;
    mivo3_cart* cart = load_mivo3_cart_any_format(current_filename.c_str());
    if (!cart)
        return nullptr;
    if (!cart->legacy_applied)
        apply_legacy_changes(cart);
    sync_shared_data(cart);
    return cart;
}

bool changed_externally(const mivo3_cart* loaded)
{
    char loaded_hash[MIVO3_HASH_TEXT], current_hash[MIVO3_HASH_TEXT];
    hash_cart(loaded, loaded_hash);
    if (mivo3_current_cart)
        hash_cart(mivo3_current_cart, current_hash);
    else
        current_hash[0] = 0;
    return std::strcmp(loaded_hash, current_hash) != 0 && std::strcmp(loaded_hash, saved_hash) != 0;
}

}  // namespace

// Map rows 32..63 and the lower half of the sprite sheet are one memory; a
// cart carries them in whichever of the two it wrote.
void sync_shared_data(mivo3_cart* cart)
{
    bool map_used = false;
    for (int32_t y = 32; y < 64 && !map_used; y++) {
        const uint8_t* row = quon_row8(cart->map, y);
        for (int32_t x = 0; x < 128; x++)
            if (row[x]) {
                map_used = true;
                break;
            }
    }
    if (map_used)
        sync_shared_map_to_gfx(cart);
    else
        sync_shared_gfx_to_map(cart);
}

bool name_stays_inside(std::string_view name)
{
    if (contains(name, "\\") || contains(name, std::string_view("\0", 1)))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool label_is_blank(const quon_bitmap* label)
{
    if (!label)
        return true;
    uint8_t first = label->rows[0][0];
    for (int32_t y = 0; y < label->height; y++)
        for (int32_t x = 0; x < label->width; x++)
            if (label->rows[y][x] != first)
                return false;
    return true;
}

std::string inject_m3_extention(std::string_view path)
{
    std::string out(path);
    if (contains(path, ".m3"))
        return out;
    if (ends_with(path, ".png"))
        out.insert(out.size() - 4, ".m3");
    else
        out += ".m3";
    return out;
}

std::string mivo3_prefix_with_cstore_path(std::string_view name, std::string_view prefix)
{
    return quon_prefix_with_appdata_path("cstore/") + std::string(prefix) + std::string(name);
}

const char* get_sandboxed_cstore_filename(const char* name)
{
    static std::string buffer;
    buffer = mivo3_prefix_with_cstore_path(std::string(name ? name : "") + ".m3", "__");
    return buffer.c_str();
}

void hash_cart(const mivo3_cart* cart, char out[MIVO3_HASH_TEXT])
{
    std::vector<uint8_t> block(MIVO3_CART_IMAGE_SIZE, 0);
    if (save_mivo3_cart_32k(cart, block.data()) != 0) {
        // Code too large for the block: its SHA-1 text stands in for it.
        char code_hash[MIVO3_HASH_TEXT];
        sha1_text(reinterpret_cast<const uint8_t*>(cart->code), std::strlen(cart->code), code_hash);
        std::fill(block.begin(), block.end(), 0);
        for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
            block[a] = mivo3_cart_rom_read(cart, a);
        uint8_t packed[compress_mini_bound(40)];
        int32_t n = compress_mini(code_hash, packed, 40);
        std::memcpy(block.data() + MIVO3_CART_CODE_OFFSET, packed, size_t(n));
    }
    sha1_text(block.data(), block.size(), out);
}

const char* const mivo3_legacy_011_marker = "actors._num=0";

const char* const mivo3_legacy_011_prelude =
    "--------------------------------\n"
    "-- legacy 0.1.1 api injected\n"
    "--------------------------------\n"
    "-- tables keep _num (count), _max (highest used index),\n"
    "-- _min (lowest free index) and _ci (iteration index)\n"
    "-- add fills the lowest free slot; del empties a slot\n"
    "-- all() and foreach skip holes\n"
    "function _validate(t)\n"
    " if t._num==nil then\n"
    "  t._num=0 t._max=0 t._ci=0\n"
    "  local i=1\n"
    "  while t[i]~=nil do\n"
    "   t._num=t._num+1 t._max=i i=i+1\n"
    "  end\n"
    "  t._min=i\n"
    " end\n"
    "end\n"
    "function add(t,v)\n"
    " if t==nil then return end\n"
    " _validate(t)\n"
    " local i=t._min\n"
    " t[i]=v\n"
    " t._num=t._num+1\n"
    " if i>t._max then t._max=i end\n"
    " i=i+1\n"
    " while t[i]~=nil do i=i+1 end\n"
    " t._min=i\n"
    " return v\n"
    "end\n"
    "function del(t,v)\n"
    " if t==nil then return end\n"
    " _validate(t)\n"
    " for i=1,t._max do\n"
    "  if t[i]==v then\n"
    "   t[i]=nil\n"
    "   t._num=t._num-1\n"
    "   if i<t._min then t._min=i end\n"
    "   while t._max>0 and t[t._max]==nil do\n"
    "    t._max=t._max-1\n"
    "   end\n"
    "   return v\n"
    "  end\n"
    " end\n"
    "end\n"
    "function count(t)\n"
    " if t==nil then return 0 end\n"
    " _validate(t)\n"
    " return t._num\n"
    "end\n"
    "function all(t)\n"
    " if t==nil then return function() end end\n"
    " _validate(t)\n"
    " t._ci=0\n"
    " return function()\n"
    "  while t._ci<t._max do\n"
    "   t._ci=t._ci+1\n"
    "   local v=t[t._ci]\n"
    "   if v~=nil then return v end\n"
    "  end\n"
    " end\n"
    "end\n"
    "function foreach(t,f)\n"
    " if t==nil then return end\n"
    " for v in all(t) do f(v) end\n"
    "end\n";

void apply_legacy_changes(mivo3_cart* cart)
{
    if (!cart)
        return;
    cart->legacy_applied = 1;
    char line[96];
    if (cart->version <= 4) {
        for (int32_t p = 0; p < MIVO3_PATTERN_COUNT; p++) {
            pattern_record& pat = cart->music[p];
            int32_t duration[4] = {};
            bool enabled[4] = {}, loops[4] = {};
            int32_t longest = 0;
            for (int32_t c = 0; c < 4; c++) {
                enabled[c] = pat[c] < 64;
                if (!enabled[c])
                    continue;
                const sfx_record& sfx = cart->sfx[pat[c] & 63];
                duration[c] = (sfx.speed <= 0 ? 1 : sfx.speed) * 32;
                loops[c] = sfx.loop_start < sfx.loop_end;
                longest = std::max(longest, duration[c]);
            }
            int32_t first = -1;
            for (int32_t c = 0; c < 4 && first < 0; c++)
                if (enabled[c] && !loops[c])
                    first = c;
            if (first < 0 || duration[first] == longest)
                continue;
            for (int32_t c = 1; c < 4; c++) {
                if (enabled[c] && !loops[c] && duration[c] == longest) {
                    std::swap(pat[0], pat[c]);
                    std::snprintf(line, sizeof line, "legacy: pat %d swap chan: %d %d", p, 0, c);
                    print_line(line, 6);
                    break;
                }
            }
        }
        for (sfx_record& sfx : cart->sfx)
            for (sfx_note& n : sfx.notes)
                if (n.waveform == 6 && n.volume > 5)
                    n.volume = 5;
        if (cart->code && std::strstr(cart->code, mivo3_legacy_011_marker)) {
            std::string code = std::string(mivo3_legacy_011_prelude) + cart->code;
            if (code.size() <= size_t(MIVO3_CODE_MAX_CHARS)) {
                std::memcpy(cart->code, code.c_str(), code.size() + 1);
                print_line("legacy: 0.1.1 api injected", 6);
            }
        }
    }
    if (cart->version <= 10) {
        bool new_features = false;
        for (const sfx_record& sfx : cart->sfx) {
            if (sfx.editor_mode > 1 || sfx.loop_start >= 64 || sfx.loop_end >= 64)
                new_features = true;
            for (const sfx_note& n : sfx.notes)
                if (n.custom)
                    new_features = true;
        }
        if (!new_features)
            for (sfx_record& sfx : cart->sfx)
                for (sfx_note& n : sfx.notes)
                    if (n.effect == 1 && n.volume == 0)
                        n.effect = 0;
    }
}

mivo3_cart* load_mivo3_cart_any_format(const char* path)
{
    if (!path || !*path)
        return nullptr;
    mivo3_cart* cart = load_mivo3_cart_png(path);
    if (!cart)
        cart = quon_load_mivo3_cart(path);
    return cart;
}

int32_t load_working_cart(const char* path)
{
    if (!path || !*path)
        return 1;
    std::string given(path);
    std::vector<std::string> names{given};
    if (!contains(given, ".m3")) {
        std::string injected = inject_m3_extention(given);
        names.push_back(injected);
        names.push_back(injected + ".png");
    }
    names.push_back(given + ".png");
    for (const std::string& name : names) {
        mivo3_cart* cart = load_mivo3_cart_any_format(name.c_str());
        if (cart) {
            prepare_loaded_cart(cart, name.c_str());
            return 0;
        }
    }
    return 1;
}

void prepare_loaded_cart(mivo3_cart* cart, const char* path)
{
    if (!cart)
        return;
    if (mivo3_current_cart != cart)
        quon_destroy_mivo3_cart(mivo3_current_cart);
    mivo3_current_cart = cart;
    if (!cart->legacy_applied)
        apply_legacy_changes(cart);
    sync_shared_data(cart);
    split_code_to_tabs();
    merge_code_from_tabs();
    hash_cart(cart, saved_hash);

    std::string sandboxed = get_sandboxed_cstore_filename(saved_hash);
    current_filename = (path && *path) ? std::string(path) : sandboxed;

    // Data the cart stored with cstore in an earlier run comes back.
    if (mivo3_cart* stored = quon_load_mivo3_cart(sandboxed.c_str())) {
        for (int32_t a = 0; a < MIVO3_CART_ROM_SIZE; a++)
            mivo3_cart_rom_write(cart, a, mivo3_cart_rom_read(stored, a));
        quon_destroy_mivo3_cart(stored);
    }
    mivo3_tabs.selected = 0;
}

int32_t save_backup(const char* path, int32_t copy_file)
{
    std::string name, ext;
    if (path && *path)
        quon_split_filename(path, nullptr, &name, &ext);
    else {
        name = "untitled";
        ext = ".m3";
    }
    std::string folder = quon_prefix_with_appdata_path("backup/");
    quon_mkdir(folder);
    std::string target = folder + name + ext;
    if (copy_file) {
        if (quon_stream* s = quon_fopen(path, "rb")) {
            std::string head(size_t(MIVO3_BACKUP_MAX_BYTES), '\0');
            head.resize(size_t(std::max<int64_t>(quon_fread(head.data(), 1, MIVO3_BACKUP_MAX_BYTES, s), 0)));
            quon_fclose(s);
            quon_write_file_replacing(target, head);
        }
    } else if (mivo3_current_cart) {
        write_cart_file(mivo3_current_cart, target);
    }
    return 0;
}

int32_t save_working_cart(const char* path)
{
    mivo3_cart* cart = mivo3_current_cart;
    if (!cart || !path || !*path)
        return 1;
    merge_code_from_tabs();
    std::string flat;
    if (mivo3_flatten_includes(cart->code, flat) != 0)
        return 1;
    if (std::strlen(cart->code) > size_t(MIVO3_CODE_MAX_CHARS) ||
        flat.size() > size_t(MIVO3_CODE_MAX_CHARS)) {
        print_line("program over size limit\n", 6);
        return 1;
    }
    std::vector<uint8_t> packed(size_t(compress_mini_bound(int32_t(flat.size()))));
    int32_t size = compress_mini(flat.c_str(), packed.data(), int32_t(flat.size()));
    char line[96];
    std::snprintf(line, sizeof line, "%d / %d bytes", size, MIVO3_CART_CODE_SPACE);

    std::string target = inject_m3_extention(path);
    bool picture = contains(target, ".png");
    if (picture) {
        if (size > MIVO3_CART_CODE_SPACE) {
            print_line("compressed code size too large\n", 8);
            print_line(line, 6);
            return 1;
        }
        if (label_is_blank(cart->label)) {
            print_line("warning: label is blank", 9);
            print_line("run cart and use f7 to capture", 10);
        }
    } else if (size > MIVO3_CART_CODE_SPACE) {
        print_line("warning: compressed code too big", 9);
        print_line("to be exported or saved as png", 9);
        print_line(line, 6);
        print_line("(saving .m3 anyway)\n", 6);
    }

    if (target != current_filename && quon_file_exists(target.c_str()))
        save_backup(target.c_str(), 1);

    int32_t failed;
    if (picture) {
        bool changed = flat.size() != std::strlen(cart->code);
        std::memcpy(cart->code, flat.c_str(), flat.size() + 1);
        split_code_to_tabs();
        if (changed)
            print_line("flattened #includes", 8);
        failed = write_cart_file(cart, target);
    } else {
        failed = write_cart_file(cart, target);
    }
    if (failed) {
        show("** failed to save **", 1500);
        return 1;
    }
    current_filename = target;
    hash_cart(cart, saved_hash);
    return 0;
}

int32_t detect_external_changes()
{
    mivo3_cart* loaded = load_current_file_again();
    if (!loaded)
        return 0;
    bool changed = changed_externally(loaded);
    quon_destroy_mivo3_cart(loaded);
    return changed ? 1 : 0;
}

int32_t detect_unsaved_changes()
{
    return 0;
}

int32_t unsaved_changes_confirmation()
{
    return 0;
}

void do_quick_load()
{
    mivo3_cart* loaded = load_current_file_again();
    if (!loaded)
        return;
    if (!changed_externally(loaded)) {
        quon_destroy_mivo3_cart(loaded);
        return;
    }
    if (loaded->version == MIVO3_CART_VERSION)
        show("loaded external changes", 1000);
    std::string name = current_filename;
    prepare_loaded_cart(loaded, name.c_str());
}

void do_quick_save()
{
    if (current_filename.empty()) {
        show("*** no filename. not saved! ***", 1500);
        return;
    }
    std::string bbs = quon_prefix_with_appdata_path("bbs");
    if (current_filename.compare(0, bbs.size(), bbs) == 0) {
        show("* can not overwrite bbs cart! *", 1500);
        return;
    }
    if (save_working_cart(current_filename.c_str()) != 0) {
        show("** save failed **", 1500);
        return;
    }
    std::string name, ext;
    quon_split_filename(current_filename, nullptr, &name, &ext);
    show(("saved " + name + ext + "\n").c_str(), 1000);
}

int32_t reload_cart_partial(const char* path, int32_t dest, int32_t src, int32_t size)
{
    if (!path)
        return 1;
    if (last_partial_file != path) {
        last_partial_file = path;
        partial_counter = MIVO3_PARTIAL_ACCESS_FRAMES;
    }
    mivo3_cart* cart = load_mivo3_cart_any_format(path);
    if (!cart && contains(path, ".bin"))
        cart = load_raw_rom(path);
    if (!cart)
        return 1;
    mivo3_reload(&pstate, pstate.cart, cart, dest, src, size);
    quon_destroy_mivo3_cart(cart);
    return 0;
}

int32_t cstore_cart_partial(const char* path, int32_t dest, int32_t src, int32_t size,
                            int32_t also_current)
{
    if (!path)
        return 2;
    return cstore_partial(path, dest, src, size, also_current, nullptr);
}

const std::string& last_partial_access_filename()
{
    return last_partial_file;
}

int32_t partial_access_counter()
{
    return partial_counter;
}

int32_t mivo3_reload_from_file(int32_t dst, int32_t src, int32_t len, const char* filename)
{
    if (len < 1 || len > 0x7fff)
        return 0;
    if (!filename || std::strncmp(filename, "__", 2) == 0 ||
        std::strlen(filename) >= size_t(MIVO3_CSTORE_NAME_MAX) || !name_stays_inside(filename))
        return 0;
    std::string path;
    if (const embedded_entry* e = find_embedded_by_name(filename, true)) {
        path = get_sandboxed_cstore_filename(e->hash);
        if (!quon_file_exists(path.c_str())) {
            quon_debugf("sandboxed_cstore file not found: %s\n", path.c_str());
            quon_debugf("  --> using internal file: %s\n", e->name.c_str());
            path = e->name;
        }
    } else {
        path = cstore_name_path(filename);
    }
    quon_debugf("  reload()ing %d bytes from: %s\n", len, path.c_str());
    return reload_cart_partial(path.c_str(), dst, src, len) == 0 ? len : 0;
}

int32_t mivo3_cstore_to_file(int32_t dst, int32_t src, int32_t len, const char* filename)
{
    if (len < 1 || len > 0x7fff)
        return 0;
    quon_mkdir(quon_prefix_with_appdata_path("cstore/"));
    if (!filename) {
        if (!mivo3_current_cart || !saved_hash[0])
            return 0;
        // The sandboxed file starts from the cart itself, so that loading it
        // back later restores only what was stored.
        std::string path = get_sandboxed_cstore_filename(saved_hash);
        return cstore_partial(path, dst, src, len, 1, mivo3_current_cart) == 0 ? len : 0;
    }
    if (std::strncmp(filename, "__", 2) == 0 ||
        std::strlen(filename) >= size_t(MIVO3_CSTORE_NAME_MAX) || !name_stays_inside(filename))
        return 0;
    if (const embedded_entry* e = find_embedded_by_name(filename, true)) {
        std::string path = get_sandboxed_cstore_filename(e->hash);
        mivo3_cart* base = quon_load_mivo3_cart(e->name.c_str());
        int32_t result = cstore_partial(path, dst, src, len, 0, base);
        quon_destroy_mivo3_cart(base);
        return result == 0 ? len : 0;
    }
    return cstore_partial(cstore_name_path(filename), dst, src, len, 0, nullptr) == 0 ? len : 0;
}

void mount_embedded_cart(const mivo3_cart* cart, const char* name)
{
    if (!cart || !name || embedded.size() >= size_t(MIVO3_EMBEDDED_MAX))
        return;
    embedded_entry e;
    hash_cart(cart, e.hash);
    e.name = std::string(name).substr(0, 255);
    quon_debugf("mount_embedded_cart: %s %s\n", e.name.c_str(), e.hash);
    if (quon_stream* s = quon_fopen_vdisk(e.name.c_str(), "w"))
        quon_save_mivo3_cart_to_file(cart, s);
    embedded.push_back(e);
}

const char* get_embedded_cart_filename_for_hash(const char* hash)
{
    if (!hash)
        return nullptr;
    for (const embedded_entry& e : embedded)
        if (std::strcmp(e.hash, hash) == 0)
            return e.name.c_str();
    return nullptr;
}

const char* get_embedded_cart_hash_for_filename(const char* name, int32_t loose)
{
    const embedded_entry* e = find_embedded_by_name(name, loose != 0);
    return e ? e->hash : nullptr;
}

void clear_embedded_carts()
{
    embedded.clear();
}

int32_t embedded_cart_count()
{
    return int32_t(embedded.size());
}

const char* current_cart_filename()
{
    return current_filename.c_str();
}

const char* saved_cart_hash()
{
    return saved_hash;
}

void reset_workflow()
{
    quon_destroy_mivo3_cart(mivo3_current_cart);
    mivo3_current_cart = nullptr;
    current_filename.clear();
    saved_hash[0] = 0;
    embedded.clear();
    written_files.clear();
    written_count = 0;
    last_partial_file.clear();
    partial_counter = 0;
}
