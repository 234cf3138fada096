// Pods: the host's chunked container of bitmaps, palettes and named files.
// A pod file is a "CPOD" header chunk followed by item chunks; every chunk is
// a 4-character tag, a 32-bit little-endian size and a payload. Reading never
// trusts a size or length field beyond the bytes the stream holds, so a
// truncated or hostile file yields a shorter pod or none.
#pragma once
#include <cstdint>
#include <vector>

#include "host/bitmap.h"
#include "host/stream.h"

enum : int32_t {
    QUON_ITEM_BITMAP = 4,   // quon_bitmap*
    QUON_ITEM_PALETTE = 5,  // quon_pod_palette*
    QUON_ITEM_FILE = 12,    // quon_stream* (owned memory stream named by the item)
};

// Chunk tags as read from a file: the four characters in file order, first
// character in the low byte.
constexpr uint32_t quon_tag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

struct quon_pod_palette {
    uint8_t rgb[256 * 3];  // red, green, blue per entry
};

struct quon_pod_item {
    int32_t type = 0;
    void* object = nullptr;  // owned by the pod
    int32_t key = 0;         // the 32-bit value a bitmap chunk carries
};

struct quon_pod {
    char name[32] = {};
    std::vector<quon_pod_item> items;  // numbered from 0 in file order
};

quon_pod* quon_create_pod(const char* name);  // empty pod; the name is cut to 31 characters
void quon_destroy_pod(quon_pod* pod);          // frees the pod and every item object; null is ignored
// Appends an item the pod then owns; returns its index.
int32_t cpod_add_item(quon_pod* pod, int32_t type, void* object, int32_t key = 0);

// Reads one pod from a disk file or the in-memory disk and logs the outcome.
quon_pod* quon_load_pod(const char* path);
// Reads one pod from the stream's current position; null when it does not
// start with "CPOD" or holds no items.
quon_pod* quon_load_pod_file(const char* name, quon_stream* s);
// Reads up to 256 consecutive pods into table (the rest set to null);
// returns how many were read.
int32_t quon_load_pod_set(const char* path, quon_pod* table[256]);
int32_t quon_load_pod_set_from_memory(const void* data, int64_t length, quon_pod* table[256]);

// Reader for chunk tags the host does not know: given the stream just after
// the chunk's size field, the pod, the tag and the size; returns 0 when it
// consumed the chunk (and appended what it read), non-zero to let it be skipped.
using quon_load_item_func = int32_t (*)(quon_stream* s, quon_pod* pod, uint32_t tag, uint32_t size);
void quon_set_load_item_func(quon_load_item_func f);  // null removes it

// Typed access by index; null when the index is out of range or the item is
// of another type.
quon_bitmap* quon_pod_bitmap(const quon_pod* pod, int32_t index);
const quon_pod_palette* quon_pod_get_palette(const quon_pod* pod, int32_t index);
quon_stream* quon_pod_file(const quon_pod* pod, int32_t index);
// A file item read as a pod (the resource pod's items 1 and 2); null when it is not one.
quon_pod* quon_pod_load_item_pod(const quon_pod* pod, int32_t index);
