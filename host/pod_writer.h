// Writing pods: the header chunk and item chunks in the layout quon_load_pod
// reads. Each call appends one chunk to the stream and returns 0, or non-zero
// when the item cannot be written (nothing is appended then).
#pragma once
#include <cstdint>

#include "host/bitmap.h"
#include "host/pod.h"
#include "host/stream.h"

int32_t quon_write_pod_header(quon_stream* s, const char* name);  // "CPOD": must come first
// "CBMP", or "cBMP" with LZ4-compressed pixels; key is stored with the bitmap.
int32_t quon_write_pod_bitmap(quon_stream* s, const quon_bitmap* bmp, int32_t key, bool lz4);
int32_t quon_write_pod_palette(quon_stream* s, const uint8_t rgb[768]);  // "CPAL"
// "CFIL", or "cFIL" with LZ4-compressed data; the name is cut to 63 characters.
int32_t quon_write_pod_file(quon_stream* s, const char* name, const void* data, int32_t length, bool lz4);
// Any chunk with the given tag and payload (readers skip tags they do not know).
int32_t quon_write_pod_chunk(quon_stream* s, uint32_t tag, const void* payload, uint32_t size);
int32_t quon_write_pod_end(quon_stream* s);  // "CNOP": ends a pod early
// Every item of a pod (bitmaps, palettes, files) after a header with its name.
int32_t quon_write_pod(quon_stream* s, const quon_pod* pod, bool lz4);
