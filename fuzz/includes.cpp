// Include flattening. Included carts come from the hook below, not the disk;
// plain included files are looked for in an empty folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lang/includes.h"

namespace {

std::string root() { return "/nonexistent-mivo3-fuzz/"; }
std::string current() { return "/nonexistent-mivo3-fuzz/cart.m3"; }
bool cart_code(const char* path, std::string* code) {
    if (std::string_view(path).find(".m3") == std::string_view::npos) return false;
    *code = "a=1\n-->8\nb=2\n-->8\n#include again.m3:1\n";
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool hooks = [] {
        mivo3_include_hooks h;
        h.cart_root_folder = root;
        h.current_cart_filename = current;
        h.load_cart_code = cart_code;
        h.print = [](const char*, int32_t) {};
        mivo3_set_include_hooks(h);
        return true;
    }();
    (void)hooks;
    if (size > 0x10000) return 0;
    std::string out;
    mivo3_flatten_includes(std::string_view(reinterpret_cast<const char*>(data), size), out);
    return 0;
}
