// mivo3-pack: packs a game for its players.
//
//   mivo3-pack GAME.m3 [MORE.m3 ...] [--title "My Game"] [--icon icon.png] -o OUTDIR
//
// GAME is the head cart, the others are opened with load(). The player and
// its data.pod are taken from beside this program (for data.pod, else from
// ../share/mivo-3/, as the player finds it). Exit status 0 when the game is
// written, 1 when an input is refused or the output cannot be written, 2 for
// bad usage.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "host/paths.h"
#include "host/pod.h"
#include "storage/cart_image.h"
#include "tools/mivo3-pack/pack.h"
#include "tools/podpack/podpack.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t max_title_bytes = 200;
constexpr int32_t default_icon_size = 128;
constexpr int32_t window_icon_item = 6;

int usage() {
    std::fprintf(stderr,
                 "usage: mivo3-pack GAME.m3 [MORE.m3 ...] [--title \"My Game\"] [--icon icon.png] -o OUTDIR\n");
    return 2;
}

int refuse(const std::string& message) {
    std::fprintf(stderr, "mivo3-pack: %s\n", message.c_str());
    return 1;
}

void print_storage_message(const char* text, int32_t) { std::fprintf(stderr, "  %s\n", text); }

std::string player_pod_path() {
    const std::string beside = quon_prefix_with_program_path("data.pod");
    std::error_code ec;
    if (fs::exists(beside, ec)) return beside;
    return fs::path(quon_prefix_with_program_path("../share/mivo-3/data.pod")).lexically_normal().string();
}

bool valid_title(const std::string& title) {
    if (title.empty() || title.size() > max_title_bytes) return false;
    for (unsigned char c : title)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

bool read_file(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in) || in.eof();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> cart_paths;
    std::string title, icon_path, out_dir;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--title" && has_value) {
            title = argv[++i];
        } else if (a == "--icon" && has_value) {
            icon_path = argv[++i];
        } else if (a == "-o" && has_value) {
            out_dir = argv[++i];
        } else if (!a.empty() && a[0] != '-') {
            cart_paths.push_back(a);
        } else {
            return usage();
        }
    }
    if (cart_paths.empty() || out_dir.empty()) return usage();
    mivo3_storage.print = print_storage_message;

    if (title.empty()) title = fs::path(pack_cart_name(cart_paths[0])).stem().string();
    if (!valid_title(title)) return refuse("a title is 1 to 200 characters without control characters");

    // Every cart is read before giving up, so that one run names every fault.
    std::vector<pack_cart> carts(cart_paths.size());
    std::map<std::string, std::string> first_with_name;
    bool ok = true;
    for (size_t i = 0; i < cart_paths.size(); i++) {
        std::string error;
        if (!pack_load_cart(cart_paths[i], carts[i], error)) {
            refuse(error);
            ok = false;
            continue;
        }
        const auto [it, fresh] = first_with_name.emplace(carts[i].name, cart_paths[i]);
        if (!fresh) {
            refuse(cart_paths[i] + ": " + it->second + " is already the cart " + carts[i].name +
                   "; rename one of them");
            ok = false;
        }
    }
    if (!ok) return 1;

    const std::string pod_path = player_pod_path();
    quon_pod* player_pod = quon_load_pod(pod_path.c_str());
    if (!player_pod) return refuse("cannot read the player's data.pod at " + pod_path);
    pack_folder folder;
    folder.out_dir = out_dir;
    folder.player_path = quon_prefix_with_program_path("mivo3");
    folder.title = title;
    folder.id = pack_game_id(title);

    std::string error;
    quon_bitmap* icon = nullptr;
    if (!icon_path.empty()) {
        icon = pack_read_icon(icon_path, error);
        ok = icon && read_file(icon_path, folder.icon_png);
    } else {
        quon_pod* resources = quon_pod_load_item_pod(player_pod, 1);
        ok = podpack_encode_png(quon_pod_bitmap(resources, window_icon_item), default_icon_size, folder.icon_png,
                                error);
        quon_destroy_pod(resources);
    }
    ok = ok && pack_build_pod(player_pod, carts, title, icon, folder.pod, error) &&
         pack_write_folder(folder, error);
    quon_destroy_bitmap(icon);
    quon_destroy_pod(player_pod);
    if (!ok) return refuse(error);

    std::error_code ec;
    const fs::path out = fs::absolute(out_dir).lexically_normal();
    const fs::path dir = out.filename().empty() ? out.parent_path() : out;
    std::printf("packed \"%s\": %zu cart%s into %s/ (data.pod %zu bytes), %s.tar.gz (%ju bytes)\n", title.c_str(),
                carts.size(), carts.size() == 1 ? "" : "s", dir.c_str(), folder.pod.size(), dir.c_str(),
                fs::file_size(dir.string() + ".tar.gz", ec));
    std::printf("run it with %s/%s\n", dir.c_str(), folder.id.c_str());
    return 0;
}
