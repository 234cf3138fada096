// Cart labels and forum cart files: the 128x128 picture every cart load gives
// a cart, and the names under which downloaded forum carts are kept.
#pragma once
#include <string>
#include <string_view>

#include "host/bitmap.h"

enum : int32_t {
    MIVO3_LABEL_SIZE = 128,
    MIVO3_LABEL_X = 16,           // where the label sits in a cart picture
    MIVO3_LABEL_Y = 24,
    MIVO3_LABEL_LINE_MAX = 62,    // characters of a text cart line considered
};

// A new 8-bit 128x128 label, or null: from a cart picture (160x205 PNG, the
// area at (16, 24) mapped to the nearest of the 16 console colours), or for
// a text cart a colour-5 card with up to five leading "--" comment lines
// written on it in colour 6.
quon_bitmap* create_label_from_file(const char* path);
// The same from bytes already read (picture or text cart, as the path says).
quon_bitmap* create_label_from_memory(const uint8_t* data, size_t size, bool picture);

// Per-user data folder file of a forum cart: "bbs/<n/10000>/<n>.m3.png" for
// an all-digit lid n, else "bbs/carts/<lid>.m3.png"; the folders are
// created. Empty for an empty lid, or a lid that could leave the folder.
std::string get_bbs_cart_filename(std::string_view lid);
// The run of a-z, 0-9, '_' and '-' just before the first ".m3" of name;
// empty when there is none.
std::string get_lid_from_filename(std::string_view name);
