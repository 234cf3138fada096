#include "host/pod.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/log.h"

namespace {

constexpr uint32_t tag_cpod = quon_tag("CPOD");
constexpr uint32_t tag_cnop = quon_tag("CNOP");
constexpr uint32_t tag_cbmp = quon_tag("CBMP");
constexpr uint32_t tag_cpal = quon_tag("CPAL");
constexpr uint32_t tag_cfil = quon_tag("CFIL");
constexpr uint32_t lower_bit = 0x20;  // bit 5 of the first character
constexpr int32_t max_bitmap_side = 16384;
constexpr int64_t max_file_length = int64_t(1) << 30;

quon_load_item_func g_load_item = nullptr;

// An LZ4 block expands at most about 255 times; anything that claims more
// than that from the bytes left is a lie, refused before allocating.
bool plausible(int64_t length, bool compressed, quon_stream* s) {
    const int64_t left = quon_fremaining(s);
    return compressed ? length <= left * 255 + 64 : length <= left;
}

bool skip(quon_stream* s, int64_t n) {
    if (n > quon_fremaining(s)) return false;
    quon_fseek(s, n, SEEK_CUR);
    return true;
}

bool read_header(quon_stream* s, quon_pod* pod) {
    if (quon_fremaining(s) < 68) return false;
    quon_fread_uint32(s);
    char name[32];
    quon_fread(name, 1, 32, s);
    name[31] = 0;
    if (name[0]) std::memcpy(pod->name, name, sizeof name);
    return skip(s, 4 + 28);
}

bool read_bitmap(quon_stream* s, quon_pod* pod, bool compressed) {
    const int32_t w = quon_fread_int32(s);
    const int32_t h = quon_fread_int32(s);
    const int32_t bits = quon_fread_int32(s);
    const int32_t key = quon_fread_int32(s);
    quon_fread_uint32(s);
    if (w <= 0 || h <= 0 || w > max_bitmap_side || h > max_bitmap_side || (bits != 8 && bits != 32)) return false;
    const int64_t bytes = int64_t(w) * h * (bits / 8);
    if (!plausible(bytes, compressed, s)) return false;
    std::vector<uint8_t> pixels(static_cast<size_t>(bytes));
    if (compressed) {
        if (quon_fread_lz4(pixels.data(), int32_t(bytes), s) != bytes) return false;
    } else if (quon_fread(pixels.data(), 1, bytes, s) != bytes) {
        return false;
    }
    quon_bitmap* bmp = quon_create_bitmap(w, h, bits);
    if (!bmp) return false;
    const uint8_t* p = pixels.data();
    for (int32_t y = 0; y < h; y++) {
        if (bits == 8) {
            std::memcpy(quon_row8(bmp, y), p, size_t(w));
            p += w;
        } else {
            uint32_t* row = quon_row32(bmp, y);
            for (int32_t x = 0; x < w; x++, p += 4)
                row[x] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        }
    }
    cpod_add_item(pod, QUON_ITEM_BITMAP, bmp, key);
    return true;
}

bool read_palette(quon_stream* s, quon_pod* pod, uint32_t size) {
    if (quon_fremaining(s) < 768) return false;
    auto* pal = new quon_pod_palette;
    quon_fread(pal->rgb, 1, 768, s);
    cpod_add_item(pod, QUON_ITEM_PALETTE, pal);
    // Tolerate a writer that padded the chunk.
    if (size > 768) skip(s, std::min<int64_t>(size - 768, quon_fremaining(s)));
    return true;
}

bool read_file(quon_stream* s, quon_pod* pod, bool compressed) {
    const int32_t length = quon_fread_int32(s);
    char name[64];
    std::memset(name, 0, sizeof name);
    if (quon_fread(name, 1, 64, s) != 64) return false;
    name[63] = 0;
    if (length < 0 || length > max_file_length || !plausible(length, compressed, s)) return false;
    quon_stream* file = quon_create_memory_stream(std::max(length, 1));
    if (!file) return false;
    const int64_t got = compressed ? quon_fread_lz4(file->data, length, s) : quon_fread(file->data, 1, length, s);
    if (got != length) {
        quon_fclose(file);
        return false;
    }
    file->length = length;
    std::memcpy(file->name, name, sizeof name);
    cpod_add_item(pod, QUON_ITEM_FILE, file);
    return true;
}

// One chunk after the header; false ends the pod (a truncated or corrupt chunk).
bool read_chunk(quon_stream* s, quon_pod* pod, uint32_t tag, uint32_t size) {
    const uint32_t base = tag & ~lower_bit;
    const bool compressed = (tag & lower_bit) != 0;
    if (base == tag_cbmp) return read_bitmap(s, pod, compressed);
    if (base == tag_cfil) return read_file(s, pod, compressed);
    if (tag == tag_cpal) return read_palette(s, pod, size);
    if (g_load_item) {
        const int64_t start = quon_ftell(s);
        if (g_load_item(s, pod, tag, size) == 0) return true;
        // A reader that declined leaves the chunk as it found it.
        quon_fseek(s, start - quon_ftell(s), SEEK_CUR);
    }
    quon_debug("quon_load_pod_file: Unknown Chunk!\n");
    return skip(s, size);
}

}  // namespace

quon_pod* quon_create_pod(const char* name) {
    auto* pod = new quon_pod;
    if (name) std::strncpy(pod->name, name, sizeof pod->name - 1);
    return pod;
}

void quon_destroy_pod(quon_pod* pod) {
    if (!pod) return;
    for (quon_pod_item& item : pod->items) {
        switch (item.type) {
            case QUON_ITEM_BITMAP: quon_destroy_bitmap(static_cast<quon_bitmap*>(item.object)); break;
            case QUON_ITEM_PALETTE: delete static_cast<quon_pod_palette*>(item.object); break;
            case QUON_ITEM_FILE: quon_fclose(static_cast<quon_stream*>(item.object)); break;
            default: break;  // objects of other types belong to the reader that made them
        }
    }
    delete pod;
}

int32_t cpod_add_item(quon_pod* pod, int32_t type, void* object, int32_t key) {
    pod->items.push_back({type, object, key});
    return int32_t(pod->items.size()) - 1;
}

quon_pod* quon_load_pod_file(const char* name, quon_stream* s) {
    if (!s) return nullptr;
    quon_pod* pod = quon_create_pod(name);
    bool first = true;
    while (!quon_feof(s)) {
        const uint32_t tag = quon_fread_uint32(s);
        if (tag == 0) break;
        const uint32_t size = quon_fread_uint32(s);
        if (first) {
            if (tag != tag_cpod || !read_header(s, pod)) {
                quon_destroy_pod(pod);
                return nullptr;
            }
            first = false;
            continue;
        }
        if (tag == tag_cpod || tag == tag_cnop) {
            quon_fseek(s, -8, SEEK_CUR);
            break;
        }
        if (!read_chunk(s, pod, tag, size)) break;
    }
    if (pod->items.empty()) {
        quon_destroy_pod(pod);
        return nullptr;
    }
    return pod;
}

quon_pod* quon_load_pod(const char* path) {
    quon_stream* s = quon_fopen(path, "rb");
    quon_pod* pod = s ? quon_load_pod_file(path, s) : nullptr;
    quon_fclose(s);
    quon_debugf("quon_load_pod: %s %s \n", path ? path : "", pod ? "ok" : "failed");
    return pod;
}

static int32_t load_set(quon_stream* s, quon_pod* table[256]) {
    int32_t n = 0;
    for (int32_t i = 0; i < 256; i++) table[i] = nullptr;
    while (s && n < 256) {
        quon_pod* pod = quon_load_pod_file("", s);
        if (!pod) break;
        table[n++] = pod;
    }
    return n;
}

int32_t quon_load_pod_set(const char* path, quon_pod* table[256]) {
    quon_stream* s = quon_fopen(path, "rb");
    const int32_t n = load_set(s, table);
    quon_fclose(s);
    quon_debugf("quon_load_pod_set: %s %s\n", path ? path : "", n > 0 ? "ok" : "failed");
    return n;
}

int32_t quon_load_pod_set_from_memory(const void* data, int64_t length, quon_pod* table[256]) {
    quon_stream* s = quon_fopen_memory(data, length);
    const int32_t n = load_set(s, table);
    quon_fclose(s);
    return n;
}

void quon_set_load_item_func(quon_load_item_func f) { g_load_item = f; }

static const quon_pod_item* item_of(const quon_pod* pod, int32_t index, int32_t type) {
    if (!pod || index < 0 || index >= int32_t(pod->items.size())) return nullptr;
    const quon_pod_item& item = pod->items[size_t(index)];
    return item.type == type ? &item : nullptr;
}

quon_bitmap* quon_pod_bitmap(const quon_pod* pod, int32_t index) {
    const quon_pod_item* item = item_of(pod, index, QUON_ITEM_BITMAP);
    return item ? static_cast<quon_bitmap*>(item->object) : nullptr;
}

const quon_pod_palette* quon_pod_get_palette(const quon_pod* pod, int32_t index) {
    const quon_pod_item* item = item_of(pod, index, QUON_ITEM_PALETTE);
    return item ? static_cast<const quon_pod_palette*>(item->object) : nullptr;
}

quon_stream* quon_pod_file(const quon_pod* pod, int32_t index) {
    const quon_pod_item* item = item_of(pod, index, QUON_ITEM_FILE);
    return item ? static_cast<quon_stream*>(item->object) : nullptr;
}

quon_pod* quon_pod_load_item_pod(const quon_pod* pod, int32_t index) {
    quon_stream* file = quon_pod_file(pod, index);
    if (!file) return nullptr;
    quon_stream* s = quon_fopen_memory(file->data, file->length);
    quon_pod* inner = quon_load_pod_file(file->name, s);
    quon_fclose(s);
    return inner;
}
