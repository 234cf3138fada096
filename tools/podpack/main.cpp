// podpack: builds a pod file from a manifest and readable sources, lists
// the items of a pod file, or draws the first bitmap of a bitmap text as a
// PNG of a given width.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/podpack/podpack.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: podpack [-o out.pod] [-d depfile] [-I folder]... [--cart image]... manifest\n"
                 "       podpack --list file.pod\n"
                 "       podpack --png out.png --size pixels bitmaps.txt\n");
    return 2;
}

std::string escape_for_make(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

int list(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "podpack: cannot read %s\n", path);
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& line : podpack_describe(bytes)) std::printf("%s\n", line.c_str());
    return 0;
}

int draw_png(const std::string& bitmaps_path, const std::string& png_path, int32_t size) {
    std::ifstream in(bitmaps_path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<podpack_bitmap> bitmaps;
    std::string error;
    if (!in) {
        error = "cannot be read";
    } else if (podpack_read_bitmaps(text, bitmaps, error) && bitmaps.empty()) {
        error = "holds no bitmap";
    }
    const bool ok = error.empty() && podpack_write_png(bitmaps[0].bitmap, size, png_path, error);
    podpack_free_bitmaps(bitmaps);
    if (!ok) std::fprintf(stderr, "podpack: %s: %s\n", bitmaps_path.c_str(), error.c_str());
    return ok ? 0 : 1;
}

// Written beside the target and renamed over it, so a failed run never leaves a half pod.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out_path = "data.pod", dep_path, manifest, png_path;
    int32_t png_size = 0;
    podpack_options options;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--list" && has_value) return list(argv[i + 1]);
        if (a == "-o" && has_value) {
            out_path = argv[++i];
        } else if (a == "-d" && has_value) {
            dep_path = argv[++i];
        } else if (a == "-I" && has_value) {
            options.search.push_back(argv[++i]);
        } else if (a == "--png" && has_value) {
            png_path = argv[++i];
        } else if (a == "--size" && has_value) {
            png_size = std::atoi(argv[++i]);
        } else if (a == "--cart" && has_value) {
            options.carts.push_back(argv[++i]);
        } else if (!a.empty() && a[0] != '-' && manifest.empty()) {
            manifest = a;
        } else {
            return usage();
        }
    }
    if (manifest.empty() || png_path.empty() != (png_size == 0)) return usage();
    if (!png_path.empty()) return draw_png(manifest, png_path, png_size);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!podpack_build(manifest, options, bytes, error)) {
        std::fprintf(stderr, "podpack: %s\n", error.c_str());
        return 1;
    }
    if (!write_file(out_path, bytes)) {
        std::fprintf(stderr, "podpack: cannot write %s\n", out_path.c_str());
        return 1;
    }
    if (!dep_path.empty()) {
        std::string deps = escape_for_make(out_path) + ":";
        for (const std::string& in : options.inputs) deps += " " + escape_for_make(in);
        deps += "\n";
        std::ofstream d(dep_path, std::ios::trunc);
        d << deps;
    }
    return 0;
}
