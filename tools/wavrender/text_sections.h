// Reads the sound of a text cart: its "__sfx__" and "__music__" sections,
// into a cart record with the defaults for everything else.
#pragma once
#include <string>
#include <string_view>

#include "storage/cart.h"

// Parses cart text. Returns the record, or null with a message in error
// (not a text cart, or a format version from the future).
mivo3_cart* wavrender_read_sound(std::string_view text, std::string& error);
