#include "tools/podpack/podpack.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/pod.h"
#include "host/pod_writer.h"
#include "host/stream.h"

namespace {

constexpr int64_t cart_image_size = 0x8000;
constexpr int32_t max_pod_depth = 8;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

std::string rtrim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The text of a line after its first k words, without surrounding blanks.
std::string rest_after_words(const std::string& line, size_t k) {
    size_t i = 0;
    for (size_t word = 0; word < k; word++) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos) return {};
        i = line.find_first_of(" \t", i);
        if (i == std::string::npos) return {};
    }
    i = line.find_first_not_of(" \t", i);
    return i == std::string::npos ? std::string() : rtrim(line.substr(i));
}

bool is_skippable(const std::string& line) {
    const std::string t = rtrim(line);
    size_t i = t.find_first_not_of(" \t");
    return i == std::string::npos || t[i] == '#';
}

bool parse_number(const std::string& w, int64_t& v, int base = 0) {
    if (w.empty()) return false;
    char* end = nullptr;
    v = std::strtoll(w.c_str(), &end, base);
    return end && *end == 0;
}

std::string at_line(int n) { return "line " + std::to_string(n) + ": "; }

bool read_whole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct builder {
    podpack_options& options;
    std::string error;
    // The items [begin, end) that the "carts" directive of the manifest being
    // built has placed.
    int32_t carts_begin = -1, carts_end = -1;

    // The file a manifest in dir means by name: beside the manifest, else in
    // the first search folder that has it.
    std::string find(const std::string& dir, const std::string& name) const {
        const std::string beside = dir + name;
        if (std::filesystem::exists(beside)) return beside;
        for (std::string folder : options.search) {
            if (!folder.empty() && folder.back() != '/') folder += '/';
            if (std::filesystem::exists(folder + name)) return folder + name;
        }
        return beside;
    }

    bool load(const std::string& path, std::string& data) {
        options.inputs.push_back(path);
        if (!read_whole(path, data)) {
            error = path + ": cannot be read";
            return false;
        }
        return true;
    }

    bool write_file_item(quon_stream* out, const std::string& name, const std::string& data, bool lz4) {
        if (name.size() > 63) {
            error = "item name longer than 63 characters: " + name;
            return false;
        }
        if (data.size() > size_t(INT32_MAX)) {
            error = "file too large: " + name;
            return false;
        }
        if (quon_write_pod_file(out, name.c_str(), data.data(), int32_t(data.size()), lz4) != 0) {
            error = "cannot write item " + name;
            return false;
        }
        return true;
    }

    bool add_cart(quon_stream* out, const std::string& path, int32_t& index) {
        std::string data;
        if (!load(path, data)) return false;
        if (int64_t(data.size()) != cart_image_size) {
            error = path + ": a cart image must be exactly 32768 bytes, not " + std::to_string(data.size());
            return false;
        }
        if (!write_file_item(out, base_name(path), data, false)) return false;
        index++;
        return true;
    }

    bool build(const std::string& manifest_path, int depth, std::vector<uint8_t>& result) {
        if (depth > max_pod_depth) {
            error = manifest_path + ": pods nested too deeply";
            return false;
        }
        std::string text;
        if (!load(manifest_path, text)) return false;
        const std::string dir = folder_of(manifest_path);
        const std::vector<std::string> lines = split_lines(text);

        std::string pod_name = base_name(manifest_path);
        for (const std::string& line : lines) {
            const std::vector<std::string> w = words_of(line);
            if (w.size() >= 2 && w[0] == "name") pod_name = rest_after_words(line, 1);
        }
        quon_stream* out = quon_create_memory_stream(4096);
        quon_write_pod_header(out, pod_name.c_str());
        int32_t index = 0;
        bool ok = true;
        const int32_t outer_begin = carts_begin, outer_end = carts_end;
        carts_begin = carts_end = -1;
        for (size_t n = 0; ok && n < lines.size(); n++) {
            if (is_skippable(lines[n])) continue;
            const std::vector<std::string> w = words_of(lines[n]);
            const std::string where = manifest_path + ":" + std::to_string(n + 1) + ": ";
            ok = directive(out, dir, lines[n], w, depth, index);
            if (!ok) error = where + error;
        }
        if (ok) result.assign(out->data, out->data + out->length);
        quon_fclose(out);
        carts_begin = outer_begin;
        carts_end = outer_end;
        return ok;
    }

    bool directive(quon_stream* out, const std::string& dir, const std::string& line,
                   const std::vector<std::string>& w, int depth, int32_t& index) {
        const std::string& op = w[0];
        const bool lz4 = w.back() == "lz4";
        const size_t args = w.size() - (lz4 && w.size() > 2 ? 1 : 0);
        if (op == "name") return true;
        if (op == "file" && args == 3) {
            std::string data;
            if (!load(find(dir, w[2]), data) || !write_file_item(out, w[1], data, lz4)) return false;
            index++;
            return true;
        }
        if (op == "text" && w.size() >= 2) {
            std::string data = rest_after_words(line, 2);
            data.push_back('\0');
            if (!write_file_item(out, w[1], data, false)) return false;
            index++;
            return true;
        }
        if (op == "pod" && args == 3) {
            std::vector<uint8_t> inner;
            if (!build(find(dir, w[2]), depth + 1, inner)) return false;
            if (!write_file_item(out, w[1], std::string(inner.begin(), inner.end()), lz4)) return false;
            index++;
            return true;
        }
        if (op == "palette" && w.size() == 2) {
            std::string text;
            if (!load(find(dir, w[1]), text)) return false;
            uint8_t rgb[768];
            if (!podpack_read_palette(text, rgb, error)) {
                error = w[1] + ": " + error;
                return false;
            }
            quon_write_pod_palette(out, rgb);
            index++;
            return true;
        }
        if (op == "bitmap" && args == 2) {
            std::string text;
            if (!load(find(dir, w[1]), text)) return false;
            std::vector<podpack_bitmap> bitmaps;
            if (!podpack_read_bitmaps(text, bitmaps, error)) {
                error = w[1] + ": " + error;
                return false;
            }
            bool ok = true;
            for (const podpack_bitmap& b : bitmaps) {
                ok = ok && quon_write_pod_bitmap(out, b.bitmap, b.key, lz4) == 0;
                index++;
            }
            podpack_free_bitmaps(bitmaps);
            if (!ok) error = w[1] + ": cannot write a bitmap";
            return ok;
        }
        if (op == "cart" && w.size() == 2) return add_cart(out, find(dir, w[1]), index);
        if (op == "carts" && w.size() == 1) {
            carts_begin = index;
            for (const std::string& c : options.carts)
                if (!add_cart(out, c, index)) return false;
            carts_end = index;
            return true;
        }
        if (op == "empty" && w.size() == 1) {
            write_file_item(out, "", "", false);
            index++;
            return true;
        }
        int64_t target = 0;
        if (op == "at" && w.size() == 2 && parse_number(w[1], target, 10)) {
            if (target < index && carts_end == index && carts_begin <= target) {
                error = std::to_string(options.carts.size()) + " carts given, but only " +
                        std::to_string(target - carts_begin) + " fit between item " + std::to_string(carts_begin) +
                        " and item " + w[1];
                return false;
            }
            if (target < index) {
                error = "item " + std::to_string(index) + " is already past index " + w[1];
                return false;
            }
            while (index < target) {
                write_file_item(out, "", "", false);
                index++;
            }
            return true;
        }
        error = "cannot understand \"" + rtrim(line) + "\"";
        return false;
    }
};

void describe_pod(quon_pod* pod, int depth, std::vector<std::string>& lines) {
    const std::string indent(size_t(depth) * 2, ' ');
    lines.push_back(indent + "pod \"" + pod->name + "\": " + std::to_string(pod->items.size()) + " items");
    for (size_t i = 0; i < pod->items.size(); i++) {
        const quon_pod_item& item = pod->items[i];
        std::string line = indent + "  " + std::to_string(i) + ": ";
        quon_pod* inner = nullptr;
        if (item.type == QUON_ITEM_BITMAP) {
            const auto* b = static_cast<const quon_bitmap*>(item.object);
            line += "bitmap " + std::to_string(b->width) + "x" + std::to_string(b->height) + " " +
                    std::to_string(b->bits) + "-bit";
        } else if (item.type == QUON_ITEM_PALETTE) {
            line += "palette";
        } else if (item.type == QUON_ITEM_FILE) {
            const auto* f = static_cast<const quon_stream*>(item.object);
            line += "file \"" + std::string(f->name) + "\" " + std::to_string(f->length) + " bytes";
            if (depth < max_pod_depth) inner = quon_pod_load_item_pod(pod, int32_t(i));
        } else {
            line += "type " + std::to_string(item.type);
        }
        lines.push_back(line);
        if (inner) {
            describe_pod(inner, depth + 2, lines);
            quon_destroy_pod(inner);
        }
    }
}

}  // namespace

bool podpack_read_palette(const std::string& text, uint8_t rgb[768], std::string& error) {
    for (int i = 0; i < 256; i++) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = uint8_t(i);
    const std::vector<std::string> lines = split_lines(text);
    for (size_t n = 0; n < lines.size(); n++) {
        if (is_skippable(lines[n])) continue;
        const std::vector<std::string> w = words_of(lines[n]);
        int64_t index = 0, colour = 0;
        if (w.size() < 2 || !parse_number(w[0], index, 10) || index < 0 || index > 255 || w[1].size() != 6 ||
            !parse_number(w[1], colour, 16)) {
            error = at_line(int(n + 1)) + "expected \"<index 0..255> <rrggbb> [name]\"";
            return false;
        }
        rgb[3 * index] = uint8_t(colour >> 16);
        rgb[3 * index + 1] = uint8_t(colour >> 8);
        rgb[3 * index + 2] = uint8_t(colour);
    }
    return true;
}

bool podpack_read_bitmaps(const std::string& text, std::vector<podpack_bitmap>& out, std::string& error) {
    const std::vector<std::string> lines = split_lines(text);
    int32_t bits = 8;
    int32_t key = 0;
    std::vector<int64_t> legend8(256, -1), legend32(256, -1);
    legend8['.'] = 0;
    for (int d = 0; d < 16; d++) legend8[uint8_t("0123456789abcdef"[d])] = d;
    legend32['.'] = 0;
    std::vector<podpack_bitmap> result;
    auto fail = [&](size_t n, const std::string& message) {
        error = at_line(int(n + 1)) + message;
        podpack_free_bitmaps(result);
        return false;
    };
    for (size_t n = 0; n < lines.size(); n++) {
        if (is_skippable(lines[n])) continue;
        const std::vector<std::string> w = words_of(lines[n]);
        int64_t a = 0, b = 0;
        if (w[0] == "bits" && w.size() == 2 && parse_number(w[1], a, 10) && (a == 8 || a == 32)) {
            bits = int32_t(a);
        } else if (w[0] == "key" && w.size() == 2 && parse_number(w[1], a)) {
            key = int32_t(a);
        } else if (w[0] == "colour" && w.size() == 3 && w[1].size() == 1) {
            const bool ok = bits == 8 ? parse_number(w[2], b) && b >= 0 && b <= 255
                                      : parse_number(w[2], b, 16) && b >= 0 && b <= 0xffffffffLL;
            if (!ok) return fail(n, "bad colour value " + w[2]);
            (bits == 8 ? legend8 : legend32)[uint8_t(w[1][0])] = b;
        } else if (w[0] == "bitmap" && w.size() >= 3 && parse_number(w[1], a, 10) && parse_number(w[2], b, 10)) {
            if (a < 1 || b < 1 || a > 4096 || b > 4096) return fail(n, "bitmap size out of range");
            const auto& legend = bits == 8 ? legend8 : legend32;
            podpack_bitmap pb;
            pb.key = key;
            pb.label = rest_after_words(lines[n], 3);
            pb.bitmap = quon_create_bitmap(int32_t(a), int32_t(b), bits);
            result.push_back(pb);
            for (int32_t y = 0; y < b; y++) {
                const size_t row_line = n + 1 + size_t(y);
                if (row_line >= lines.size()) return fail(n, "bitmap ends before its last row");
                const std::string row = rtrim(lines[row_line]);
                if (int64_t(row.size()) != a)
                    return fail(row_line, "row is " + std::to_string(row.size()) + " characters, expected " +
                                              std::to_string(a));
                for (int32_t x = 0; x < a; x++) {
                    const int64_t v = legend[uint8_t(row[size_t(x)])];
                    if (v < 0) return fail(row_line, std::string("undefined pixel character '") + row[size_t(x)] + "'");
                    if (bits == 8)
                        quon_row8(pb.bitmap, y)[x] = uint8_t(v);
                    else
                        quon_row32(pb.bitmap, y)[x] = uint32_t(v);
                }
            }
            n += size_t(b);
        } else {
            return fail(n, "cannot understand \"" + rtrim(lines[n]) + "\"");
        }
    }
    out.insert(out.end(), result.begin(), result.end());
    return true;
}

void podpack_free_bitmaps(std::vector<podpack_bitmap>& bitmaps) {
    for (podpack_bitmap& b : bitmaps) quon_destroy_bitmap(b.bitmap);
    bitmaps.clear();
}

bool podpack_build(const std::string& manifest_path, podpack_options& options, std::vector<uint8_t>& out,
                   std::string& error) {
    builder b{options, {}};
    if (b.build(manifest_path, 0, out)) return true;
    error = b.error;
    return false;
}

std::vector<std::string> podpack_describe(const std::vector<uint8_t>& pod_file) {
    std::vector<std::string> lines;
    quon_pod* table[256];
    const int32_t n = quon_load_pod_set_from_memory(pod_file.data(), int64_t(pod_file.size()), table);
    for (int32_t i = 0; i < n; i++) {
        describe_pod(table[i], 0, lines);
        quon_destroy_pod(table[i]);
    }
    if (n == 0) lines.push_back("not a pod");
    return lines;
}

bool podpack_encode_png(const quon_bitmap* bitmap, int32_t size, std::vector<uint8_t>& png, std::string& error) {
    if (!bitmap || bitmap->bits != 32) {
        error = "only a 32-bit bitmap can be written as a PNG";
        return false;
    }
    if (size < 1 || size > 4096) {
        error = "PNG size out of range: " + std::to_string(size);
        return false;
    }
    const int32_t w = size, h = std::max<int32_t>(1, int32_t(int64_t(size) * bitmap->height / bitmap->width));
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; y++) {
        const auto* row = reinterpret_cast<const uint32_t*>(bitmap->rows[int64_t(y) * bitmap->height / h]);
        for (int32_t x = 0; x < w; x++) {
            const uint32_t argb = row[int64_t(x) * bitmap->width / w];
            uint8_t* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
            p[0] = uint8_t(argb >> 16);
            p[1] = uint8_t(argb >> 8);
            p[2] = uint8_t(argb);
            p[3] = uint8_t(argb >> 24);
        }
    }
    unsigned char* bytes = nullptr;
    size_t length = 0;
    const unsigned code = lodepng_encode32(&bytes, &length, rgba.data(), unsigned(w), unsigned(h));
    if (code == 0) png.assign(bytes, bytes + length);
    std::free(bytes);
    if (code != 0) error = lodepng_error_text(code);
    return code == 0;
}

bool podpack_write_png(const quon_bitmap* bitmap, int32_t size, const std::string& path, std::string& error) {
    std::vector<uint8_t> png;
    if (!podpack_encode_png(bitmap, size, png, error)) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (out.flush()) return true;
    error = "cannot write " + path;
    return false;
}
