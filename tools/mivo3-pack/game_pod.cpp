#include <lodepng.h>

#include <cstdlib>
#include <cstring>

#include "host/pod.h"
#include "host/pod_writer.h"
#include "host/stream.h"
#include "shell/shell.h"
#include "tools/mivo3-pack/pack.h"

namespace {

constexpr int32_t resources_item = 1;
constexpr int32_t title_item = 4;
constexpr int32_t window_icon_item = 6;
constexpr int32_t max_icon_side = 256;

struct memory_stream {
    quon_stream* s = quon_create_memory_stream(4096);
    ~memory_stream() { quon_fclose(s); }
};

// A file item, LZ4-compressed when that makes it smaller.
bool write_file(quon_stream* out, const char* name, const uint8_t* data, int64_t length) {
    memory_stream raw, packed;
    if (quon_write_pod_file(raw.s, name, data, int32_t(length), false) != 0) return false;
    const bool lz4 = length > 0 && quon_write_pod_file(packed.s, name, data, int32_t(length), true) == 0 &&
                     packed.s->length < raw.s->length;
    const quon_stream* best = lz4 ? packed.s : raw.s;
    return quon_fwrite(best->data, 1, best->length, out) == best->length;
}

bool copy_item(quon_stream* out, const quon_pod* pod, int32_t index) {
    const quon_pod_item& item = pod->items[size_t(index)];
    if (item.type == QUON_ITEM_FILE) {
        const auto* f = static_cast<const quon_stream*>(item.object);
        return write_file(out, f->name, f->data, f->length);
    }
    if (item.type == QUON_ITEM_BITMAP)
        return quon_write_pod_bitmap(out, static_cast<const quon_bitmap*>(item.object), item.key, true) == 0;
    if (item.type == QUON_ITEM_PALETTE)
        return quon_write_pod_palette(out, static_cast<const quon_pod_palette*>(item.object)->rgb) == 0;
    return false;
}

// The player's resource pod with the game's title and window icon.
bool write_resources(quon_stream* out, const quon_pod* player_pod, const std::string& title,
                     const quon_bitmap* icon, std::string& error) {
    quon_pod* res = quon_pod_load_item_pod(player_pod, resources_item);
    if (!res || !quon_pod_file(res, title_item) || (icon && !quon_pod_bitmap(res, window_icon_item))) {
        quon_destroy_pod(res);
        error = "the player's data.pod has no resource pod with a title and a window icon";
        return false;
    }
    quon_pod_item& title_slot = res->items[title_item];
    quon_stream* text = quon_create_memory_stream(int64_t(title.size()) + 1);
    quon_fwrite(title.c_str(), 1, int64_t(title.size()) + 1, text);
    std::memcpy(text->name, static_cast<quon_stream*>(title_slot.object)->name, sizeof text->name);
    quon_fclose(static_cast<quon_stream*>(title_slot.object));
    title_slot.object = text;
    if (icon) {
        quon_pod_item& icon_slot = res->items[window_icon_item];
        quon_bitmap* copy = quon_create_bitmap(icon->width, icon->height, 32);
        std::memcpy(copy->data, icon->data, size_t(icon->pitch) * size_t(icon->height));
        quon_destroy_bitmap(static_cast<quon_bitmap*>(icon_slot.object));
        icon_slot.object = copy;
    }
    memory_stream inner;
    const bool ok = quon_write_pod(inner.s, res, false) == 0;
    const std::string name = static_cast<quon_stream*>(quon_pod_file(player_pod, resources_item))->name;
    quon_destroy_pod(res);
    if (ok && write_file(out, name.c_str(), inner.s->data, inner.s->length)) return true;
    error = "cannot write the resource pod";
    return false;
}

}  // namespace

bool pack_build_pod(const quon_pod* player_pod, const std::vector<pack_cart>& carts, const std::string& title,
                    const quon_bitmap* icon, std::vector<uint8_t>& out, std::string& error) {
    const int32_t room = MIVO3_POD_DEMOS - MIVO3_POD_HEAD_CART;
    if (int32_t(carts.size()) > room) {
        error = std::to_string(carts.size()) + " carts given, but a game holds at most " + std::to_string(room);
        return false;
    }
    if (!player_pod || int32_t(player_pod->items.size()) < MIVO3_POD_HEAD_CART) {
        error = "the player's data.pod lacks the boot cart, resources or font";
        return false;
    }
    memory_stream pod;
    bool ok = quon_write_pod_header(pod.s, player_pod->name) == 0;
    // The boot cart, the resources and the font are the player's own.
    ok = ok && copy_item(pod.s, player_pod, 0) && write_resources(pod.s, player_pod, title, icon, error) &&
         copy_item(pod.s, player_pod, 2);
    int32_t index = MIVO3_POD_HEAD_CART;
    for (const pack_cart& cart : carts) {
        ok = ok && write_file(pod.s, cart.name.c_str(), cart.image.data(), int64_t(cart.image.size()));
        index++;
    }
    for (; ok && index < MIVO3_POD_DEMOS; index++) ok = quon_write_pod_file(pod.s, "", nullptr, 0, false) == 0;
    // What the install commands copy out stays as the player has it.
    for (int32_t i = MIVO3_POD_DEMOS; ok && i < int32_t(player_pod->items.size()); i++)
        ok = copy_item(pod.s, player_pod, i);
    if (!ok) {
        if (error.empty()) error = "cannot write data.pod";
        return false;
    }
    out.assign(pod.s->data, pod.s->data + pod.s->length);
    return true;
}

quon_bitmap* pack_read_icon(const std::string& path, std::string& error) {
    unsigned char* rgba = nullptr;
    unsigned w = 0, h = 0;
    const unsigned code = lodepng_decode32_file(&rgba, &w, &h, path.c_str());
    if (code != 0 || w > unsigned(max_icon_side) || h > unsigned(max_icon_side)) {
        error = path + (code != 0 ? std::string(": not a PNG picture (") + lodepng_error_text(code) + ")"
                                  : ": an icon is at most 256x256 pixels, this one is " + std::to_string(w) + "x" +
                                        std::to_string(h));
        std::free(rgba);
        return nullptr;
    }
    quon_bitmap* icon = quon_create_bitmap(int32_t(w), int32_t(h), 32);
    for (unsigned y = 0; y < h; y++)
        for (unsigned x = 0; x < w; x++) {
            const unsigned char* p = rgba + (size_t(y) * w + x) * 4;
            quon_row32(icon, int32_t(y))[x] =
                uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
        }
    std::free(rgba);
    return icon;
}
