// The pod packer: turns readable sources (a manifest per pod, palettes and
// bitmaps drawn as text, text carts, cart images) into pod files.
//
// Manifest: one directive per line, items in order; '#' starts a comment line.
//   name <text>                 pod name stored in the header
//   file <item> <path> [lz4]    the file's bytes as a file item named <item>
//   text <item> <words...>      the rest of the line, zero-terminated, as a file item
//   pod <item> <manifest> [lz4] another pod built from its manifest, as a file item
//   palette <path>              a palette chunk
//   bitmap <path> [lz4]         every bitmap of a bitmap text, one item each
//   cart <path>                 a 32 KiB cart image as a file item named by its file name
//   carts                       the carts given on the command line, in order
//   empty                       a filler item (an empty file) at an index nothing reads
//   at <index>                  fillers until the next item gets that index
// Paths are relative to the manifest's folder; a path not found there is
// looked for in each search folder (podpack -I), in order, which is how a
// manifest names files the build generates.
//
// Bitmap text: directives, then each bitmap's rows, one character a pixel.
//   bits 8|32                   depth of the bitmaps that follow (initially 8)
//   key <number>                value stored with the bitmaps that follow
//   colour <char> <value>       what a character stands for: a palette index for
//                               8-bit, 0xAARRGGBB in hex for 32-bit
//   bitmap <w> <h> [label]      starts a bitmap; the next h lines are its rows
// For 8-bit bitmaps '.' is 0 and the hex digits 0-9, a-f are 0..15 unless
// redefined; for 32-bit bitmaps '.' is fully transparent.
//
// Palette text: lines "<index> <rrggbb> [name]"; entries not listed keep the
// host's start-up grey ramp (entry i = i, i, i).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/bitmap.h"

struct podpack_bitmap {
    quon_bitmap* bitmap = nullptr;  // owned by the caller of podpack_read_bitmaps
    int32_t key = 0;
    std::string label;
};

struct podpack_options {
    std::vector<std::string> carts;  // cart images placed by the "carts" directive
    std::vector<std::string> search; // folders tried for paths not found beside the manifest
    std::vector<std::string> inputs; // filled with every file read, for build dependencies
};

// Parses a palette text; false with a message naming the line on error.
bool podpack_read_palette(const std::string& text, uint8_t rgb[768], std::string& error);
// Parses a bitmap text; false with a message on error (nothing is returned then).
bool podpack_read_bitmaps(const std::string& text, std::vector<podpack_bitmap>& out, std::string& error);
void podpack_free_bitmaps(std::vector<podpack_bitmap>& bitmaps);
// Builds the pod a manifest describes; false with a message naming the file
// and line on error.
bool podpack_build(const std::string& manifest_path, podpack_options& options, std::vector<uint8_t>& out,
                   std::string& error);
// Lines describing every item of the pods in a pod file (nested pods indented).
std::vector<std::string> podpack_describe(const std::vector<uint8_t>& pod_file);
// Encodes a 32-bit bitmap as an RGBA PNG `size` pixels wide (the height in
// proportion), each pixel taken from the nearest source pixel: the desktop
// icons are drawn this way from the window icon.
bool podpack_encode_png(const quon_bitmap* bitmap, int32_t size, std::vector<uint8_t>& png, std::string& error);
// The same written to a file.
bool podpack_write_png(const quon_bitmap* bitmap, int32_t size, const std::string& path, std::string& error);
