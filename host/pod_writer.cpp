#include "host/pod_writer.h"

#include <cstring>

namespace {

// Builds a payload in memory so that the chunk's size field is known before
// anything reaches the target stream.
struct payload {
    quon_stream* s = quon_create_memory_stream(256);
    ~payload() { quon_fclose(s); }
};

int32_t emit(quon_stream* out, uint32_t tag, const payload& p) {
    return quon_write_pod_chunk(out, tag, p.s->data, uint32_t(p.s->length));
}

}  // namespace

int32_t quon_write_pod_chunk(quon_stream* s, uint32_t tag, const void* data, uint32_t size) {
    if (!s || (size > 0 && !data)) return 1;
    quon_fwrite_uint32(tag, s);
    quon_fwrite_uint32(size, s);
    if (size > 0 && quon_fwrite(data, 1, size, s) <= 0) return 1;
    return 0;
}

int32_t quon_write_pod_header(quon_stream* s, const char* name) {
    payload p;
    quon_fwrite_uint32(0, p.s);
    char field[32] = {};
    if (name) std::strncpy(field, name, sizeof field - 1);
    quon_fwrite(field, 1, 32, p.s);
    quon_fwrite(nullptr, 1, 4 + 28, p.s);
    return emit(s, quon_tag("CPOD"), p);
}

int32_t quon_write_pod_bitmap(quon_stream* s, const quon_bitmap* bmp, int32_t key, bool lz4) {
    if (!bmp || (bmp->bits != 8 && bmp->bits != 32)) return 1;
    payload pixels;
    for (int32_t y = 0; y < bmp->height; y++) {
        const uint8_t* row = bmp->rows[y];
        if (bmp->bits == 8) {
            quon_fwrite(row, 1, bmp->width, pixels.s);
        } else {
            for (int32_t x = 0; x < bmp->width; x++) {
                uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);
                quon_fwrite_uint32(v, pixels.s);
            }
        }
    }
    payload p;
    quon_fwrite_int32(bmp->width, p.s);
    quon_fwrite_int32(bmp->height, p.s);
    quon_fwrite_int32(bmp->bits, p.s);
    quon_fwrite_int32(key, p.s);
    quon_fwrite_int32(0, p.s);
    if (lz4) {
        if (quon_fwrite_lz4(pixels.s->data, int32_t(pixels.s->length), p.s) < 0) return 1;
    } else {
        quon_fwrite(pixels.s->data, 1, pixels.s->length, p.s);
    }
    return emit(s, quon_tag(lz4 ? "cBMP" : "CBMP"), p);
}

int32_t quon_write_pod_palette(quon_stream* s, const uint8_t rgb[768]) {
    if (!rgb) return 1;
    return quon_write_pod_chunk(s, quon_tag("CPAL"), rgb, 768);
}

int32_t quon_write_pod_file(quon_stream* s, const char* name, const void* data, int32_t length, bool lz4) {
    if (length < 0 || (length > 0 && !data)) return 1;
    payload p;
    quon_fwrite_int32(length, p.s);
    char field[64] = {};
    if (name) std::strncpy(field, name, sizeof field - 1);
    quon_fwrite(field, 1, 64, p.s);
    if (lz4) {
        if (quon_fwrite_lz4(data, length, p.s) < 0) return 1;
    } else {
        quon_fwrite(data, 1, length, p.s);
    }
    return emit(s, quon_tag(lz4 ? "cFIL" : "CFIL"), p);
}

int32_t quon_write_pod_end(quon_stream* s) { return quon_write_pod_chunk(s, quon_tag("CNOP"), nullptr, 0); }

int32_t quon_write_pod(quon_stream* s, const quon_pod* pod, bool lz4) {
    if (!pod || quon_write_pod_header(s, pod->name) != 0) return 1;
    for (const quon_pod_item& item : pod->items) {
        int32_t r = 0;
        if (item.type == QUON_ITEM_BITMAP) {
            r = quon_write_pod_bitmap(s, static_cast<const quon_bitmap*>(item.object), item.key, lz4);
        } else if (item.type == QUON_ITEM_PALETTE) {
            r = quon_write_pod_palette(s, static_cast<const quon_pod_palette*>(item.object)->rgb);
        } else if (item.type == QUON_ITEM_FILE) {
            const auto* f = static_cast<const quon_stream*>(item.object);
            r = quon_write_pod_file(s, f->name, f->data, int32_t(f->length), lz4);
        } else {
            r = 1;
        }
        if (r != 0) return r;
    }
    return 0;
}
