#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "lang/includes.h"
#include "shell/commands.h"
#include "storage/cart.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"
#include "storage/workflow.h"
#include "tools/mivo3-pack/pack.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr const char* text_cart_header = "mivo-3 cartridge";

bool ends_with(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The cart whose includes are being flattened: they are read from its folder.
std::string including;
std::string report;

std::string including_folder() {
    const std::string folder = fs::path(including).parent_path().string();
    return (folder.empty() ? "." : folder) + "/";
}
std::string including_file() { return including; }

bool load_cart_code(const char* path, std::string* code) {
    mivo3_cart* cart = load_mivo3_cart_any_format(path);
    if (!cart) return false;
    if (code) *code = cart->code ? cart->code : "";
    quon_destroy_mivo3_cart(cart);
    return true;
}

// The lines a step printed, each indented below the message that names the file.
void print_message(const char* text, int32_t) { report += std::string("\n  ") + text; }

void collect_size_line(const char* text, int32_t colour) {
    report += std::string("\n  ") + text + (colour == 9 ? "  (over the limit)" : "");
}

// A file by its first bytes: a cart picture, a text cart, or (by its size
// alone) a 32 KiB cart image.
mivo3_cart* load_by_format(const std::string& path, std::string& error) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(size == uintmax_t(MIVO3_CART_IMAGE_SIZE) ? size_t(size) : 16);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    const bool picture = bytes.size() >= 8 && std::memcmp(bytes.data(), png_signature, 8) == 0;
    const bool text = bytes.size() >= std::strlen(text_cart_header) &&
                      std::memcmp(bytes.data(), text_cart_header, std::strlen(text_cart_header)) == 0;
    mivo3_cart_load_status = MIVO3_LOAD_OK;
    mivo3_cart* cart = nullptr;
    if (picture) {
        cart = load_mivo3_cart_png(path.c_str());
    } else if (text || bytes.size() != size_t(MIVO3_CART_IMAGE_SIZE)) {
        cart = quon_load_mivo3_cart(path.c_str());
    } else if ((cart = quon_create_mivo3_cart()) != nullptr) {
        load_mivo3_cart_32k(cart, bytes.data());
        cart->version = MIVO3_CART_VERSION;
    }
    if (!cart)
        error = path + (mivo3_cart_load_status == MIVO3_LOAD_FUTURE
                            ? ": written by a newer version of the format"
                            : ": not a cart (a text cart, a PNG cart picture or a 32 KiB cart image)");
    return cart;
}

}  // namespace

std::string pack_cart_name(const std::string& path) {
    std::string name = fs::path(path).filename().string();
    if (ends_with(name, ".png")) name.resize(name.size() - 4);
    for (const char* ext : {".m3", ".bin"})
        if (ends_with(name, ext)) name.resize(name.size() - std::strlen(ext));
    return name + ".m3";
}

bool pack_load_cart(const std::string& path, pack_cart& out, std::string& error) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        error = path + ": no such file";
        return false;
    }
    if (!fs::is_regular_file(path, ec)) {
        error = path + ": not a file";
        return false;
    }
    out.path = path;
    out.name = pack_cart_name(path);
    if (out.name.size() > 63 || !name_stays_inside(out.name)) {
        error = path + ": the name " + out.name + " cannot name a cart in data.pod (at most 63 characters)";
        return false;
    }
    mivo3_cart* cart = load_by_format(path, error);
    if (!cart) return false;
    // The player takes the carts of its pod as they are: what loading a file
    // would change happens here.
    if (!cart->legacy_applied) apply_legacy_changes(cart);
    sync_shared_data(cart);

    // Includes are read now, from the cart's folder: the game carries their text.
    including = path;
    report.clear();
    mivo3_include_hooks hooks;
    hooks.cart_root_folder = including_folder;
    hooks.current_cart_filename = including_file;
    hooks.load_cart_code = load_cart_code;
    hooks.print = print_message;
    mivo3_set_include_hooks(hooks);
    std::string flat;
    bool ok = mivo3_flatten_includes(std::string_view(cart->code), flat) == 0;
    if (!ok) error = path + ": its includes cannot be read" + report;
    if (ok) {
        const mivo3_code_size size = measure_code(flat);
        if (!code_fits(size)) {
            print_code_size(size, collect_size_line);
            error = path + ": code over the limits" + report;
            ok = false;
        }
    }
    if (ok) {
        std::memcpy(cart->code, flat.c_str(), flat.size() + 1);
        out.image.assign(size_t(MIVO3_CART_IMAGE_SIZE), 0);
        if (save_mivo3_cart_32k(cart, out.image.data()) != 0) {
            error = path + ": code does not fit a cart image";
            ok = false;
        }
    }
    quon_destroy_mivo3_cart(cart);
    return ok;
}
