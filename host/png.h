// Writing PNG pictures. It reads only its arguments and touches no shared
// state, so it may run on any thread.
#pragma once
#include <cstdint>

#include "host/bitmap.h"

// Writes an 8-bit bitmap as a palette PNG whose 256 entries are the r g b
// triples of rgb768 (every entry opaque), replacing the file at path. 0 on
// success, 1 when the bitmap is not 8-bit or the file cannot be written.
int32_t quon_save_png(const char* path, const quon_bitmap* bmp, const uint8_t* rgb768);
