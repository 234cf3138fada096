// mivo3-pack: turns a cart author's carts into a folder that is the game -
// the player, a data.pod whose head cart is the first cart, a launcher and a
// desktop entry - and a tar.gz of that folder. Every step goes through the
// functions the player itself uses to read carts, measure code and write pods.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct quon_bitmap;
struct quon_pod;

// A cart ready for data.pod: its 32 KiB cart image and the name load() knows it by.
struct pack_cart {
    std::string path;  // as given on the command line
    std::string name;  // pod item name: the file name without .png and .m3 or .bin, then ".m3"
    std::vector<uint8_t> image;
};

// The pod item name for a cart file.
std::string pack_cart_name(const std::string& path);
// Reads a text cart, a PNG cart picture or a 32 KiB cart image, resolves its
// includes and makes its cart image. False with a message naming the file
// when it is missing, is no cart, comes from a newer format or its code is
// over the limits (the lines info prints are in the message then).
bool pack_load_cart(const std::string& path, pack_cart& out, std::string& error);

// The game's data.pod: items 0..2 and 100 on of the player's pod, the title
// (resource item 4) and, when given, the window icon (resource item 6)
// replaced, and the carts from item 3. False with a message when the player's
// pod lacks what is replaced or the carts do not fit.
bool pack_build_pod(const quon_pod* player_pod, const std::vector<pack_cart>& carts, const std::string& title,
                    const quon_bitmap* icon, std::vector<uint8_t>& out, std::string& error);
// A PNG file as a 32-bit bitmap (null with a message when it is none or
// larger than 256 pixels either way).
quon_bitmap* pack_read_icon(const std::string& path, std::string& error);

// What goes into the game folder besides data.pod.
struct pack_folder {
    std::string out_dir;      // the folder; OUTDIR.tar.gz is written beside it
    std::string player_path;  // the player binary copied in as "mivo3"
    std::string title;        // Name= of the desktop entry
    std::string id;           // file name of the launcher, its desktop entry and its icon
    std::vector<uint8_t> pod;
    std::vector<uint8_t> icon_png;
};

// Lower-case letters, digits and single '-' taken from the title ("game" when none remain).
std::string pack_game_id(const std::string& title);
// Writes the folder (replacing an earlier packed game there, never another
// folder) and the tar.gz. False with a message naming the path that failed.
bool pack_write_folder(const pack_folder& folder, std::string& error);
