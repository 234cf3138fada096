// Include flattening. The input is the cart's code, then, after each NUL
// byte, the text of one more file: "#include 2.m3" reads the second of them
// as a cart (its tabs), "#include 2.lua" as a plain file from the in-memory
// disk. Nothing is read from the real disk: the folders named do not exist.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/disk.h"
#include "host/stream.h"
#include "lang/includes.h"

namespace {

constexpr size_t max_files = 4;
std::vector<std::string_view> files;  // the texts of this input, set per run

std::string root() { return "/nonexistent-mivo3-fuzz/root/"; }
std::string current() { return "/nonexistent-mivo3-fuzz/carts/cart.m3"; }

// "<digit>.m3" (any folder) is the cart of that number when the input has it.
bool cart_code(const char* path, std::string* code) {
    const std::string_view p(path);
    if (!p.ends_with(".m3") || p.size() < 4) return false;
    const char d = p[p.size() - 4];
    if (d < '1' || d > '9' || size_t(d - '1') >= files.size()) return false;
    *code = std::string(files[size_t(d - '1')]);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool hooks = [] {
        mivo3_include_hooks h;
        h.cart_root_folder = root;
        h.current_cart_filename = current;
        h.load_cart_code = cart_code;
        h.print = [](const char*, int32_t) {};
        mivo3_set_include_hooks(h);
        return true;
    }();
    (void)hooks;
    if (size > 0x20000) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const size_t nul = rest.find('\0');
    const std::string_view src = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    files.clear();
    while (!rest.empty() && files.size() < max_files) {
        const size_t at = rest.find('\0');
        files.push_back(rest.substr(0, at));
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    }
    quon_vdisk_clear();
    for (size_t i = 0; i < files.size(); i++) {
        const std::string name = std::to_string(i + 1) + ".lua";
        if (quon_stream* s = quon_fopen_vdisk(name.c_str(), "wb")) {
            quon_fwrite(files[i].data(), 1, int64_t(files[i].size()), s);
            quon_fclose(s);
        }
    }
    std::string out;
    mivo3_flatten_includes(src, out);
    files.clear();
    quon_vdisk_clear();
    return 0;
}
