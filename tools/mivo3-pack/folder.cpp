#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "tools/mivo3-pack/pack.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t max_id_length = 40;

bool write_bytes(const fs::path& path, const void* data, size_t size, fs::perms perms, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    std::error_code ec;
    if (out.flush()) fs::permissions(path, perms, ec);
    if (!out || ec) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool write_text(const fs::path& path, const std::string& text, fs::perms perms, std::string& error) {
    return write_bytes(path, text.data(), text.size(), perms, error);
}

// Runs the game from wherever the folder is unpacked; with --add-to-menu it
// puts the game's desktop entry, with this folder's paths, into the user's
// application menu.
std::string launcher(const std::string& id) {
    return "#!/bin/sh\n"
           "# Runs the game; \"" + id + " --add-to-menu\" adds it to the desktop's application menu.\n"
           "here=$(dirname \"$(readlink -f \"$0\")\")\n"
           "if [ \"$1\" = \"--add-to-menu\" ]; then\n"
           "    apps=\"${XDG_DATA_HOME:-$HOME/.local/share}/applications\"\n"
           "    entry=\"$apps/mivo3-" + id + ".desktop\"\n"
           "    mkdir -p \"$apps\" || exit 1\n"
           "    { grep -v -e '^Exec=' -e '^Icon=' \"$here/" + id + ".desktop\"\n"
           "      printf 'Exec=\"%s\"\\nIcon=%s\\n' \"$here/" + id + "\" \"$here/" + id + ".png\"; } > \"$entry\" || exit 1\n"
           "    echo \"added $entry\"\n"
           "    exit 0\n"
           "fi\n"
           "exec \"$here/mivo3\" \"$@\"\n";
}

std::string desktop_entry(const std::string& title, const std::string& id) {
    std::string name;
    for (char c : title) name += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + name + "\n"
           "Comment=A game for the mivo-3 fantasy console\n"
           "Exec=" + id + "\n"
           "Icon=" + id + "\n"
           "Terminal=false\n"
           "Categories=Game;\n";
}

// tar -czf, run without a shell so that no name needs quoting.
bool make_tarball(const fs::path& folder, const fs::path& tarball, std::string& error) {
    const fs::path partial = tarball.string() + ".partial";
    const std::string parent = folder.parent_path().string(), name = folder.filename().string(),
                      target = partial.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("tar", "tar", "--owner=0", "--group=0", "--numeric-owner", "-czf", target.c_str(), "-C",
                 parent.c_str(), name.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    const bool ran = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::error_code ec;
    if (ran) fs::rename(partial, tarball, ec);
    if (!ran || ec) {
        fs::remove(partial, ec);
        error = "cannot write " + tarball.string() + (ran ? "" : " (tar failed)");
        return false;
    }
    return true;
}

// Only an earlier packed game is replaced, never a folder of something else:
// plain files only, the player, data.pod and one game's launcher, desktop
// entry and icon, and nothing more.
bool is_packed_game(const fs::path& folder) {
    std::error_code ec;
    std::vector<std::string> names;
    std::string id;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        if (e.is_symlink(ec) || !e.is_regular_file(ec)) return false;
        names.push_back(e.path().filename().string());
        if (e.path().extension() == ".desktop") id = e.path().stem().string();
    }
    if (ec || id.empty()) return false;
    const std::set<std::string> ours = {"mivo3", "data.pod", id, id + ".desktop", id + ".png"};
    for (const std::string& name : names)
        if (!ours.count(name)) return false;
    return fs::is_regular_file(folder / "mivo3", ec) && fs::is_regular_file(folder / "data.pod", ec);
}

}  // namespace

std::string pack_game_id(const std::string& title) {
    std::string id;
    for (unsigned char c : title) {
        if (std::isalnum(c) && c < 0x80)
            id += char(std::tolower(c));
        else if (!id.empty() && id.back() != '-')
            id += '-';
        if (id.size() == max_id_length) break;
    }
    while (!id.empty() && id.back() == '-') id.pop_back();
    return id.empty() ? "game" : id;
}

bool pack_write_folder(const pack_folder& f, std::string& error) {
    fs::path out = fs::absolute(fs::path(f.out_dir)).lexically_normal();
    if (out.filename().empty()) out = out.parent_path();
    std::error_code ec;
    fs::create_directories(out.parent_path(), ec);
    if (ec || out.filename().empty()) {
        error = "cannot write " + out.string() + (ec ? " (" + ec.message() + ")" : "");
        return false;
    }
    if (fs::exists(out, ec)) {
        if (!fs::is_directory(out, ec) || (!fs::is_empty(out, ec) && !is_packed_game(out))) {
            error = out.string() + " exists and is not a packed game; name a new folder";
            return false;
        }
    }
    std::string staging_name = out.string() + ".packing-XXXXXX";
    if (!::mkdtemp(staging_name.data())) {
        error = "cannot write " + out.string() + " (" + std::strerror(errno) + ")";
        return false;
    }
    const fs::path staging = staging_name;
    const auto exe = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                     fs::perms::others_exec;
    const auto plain = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
    bool ok = fs::copy_file(f.player_path, staging / "mivo3", ec) && !ec;
    if (ok) fs::permissions(staging / "mivo3", exe, ec);
    if (!ok || ec) error = "cannot copy the player " + f.player_path + " into " + staging.string();
    ok = ok && !ec && write_bytes(staging / "data.pod", f.pod.data(), f.pod.size(), plain, error) &&
         write_text(staging / f.id, launcher(f.id), exe, error) &&
         write_text(staging / (f.id + ".desktop"), desktop_entry(f.title, f.id), plain, error) &&
         write_bytes(staging / (f.id + ".png"), f.icon_png.data(), f.icon_png.size(), plain, error);
    if (ok) {
        fs::permissions(staging, exe, ec);
        fs::remove_all(out, ec);
        fs::rename(staging, out, ec);
        if (ec) error = "cannot write " + out.string() + " (" + ec.message() + ")";
        ok = !ec;
    }
    if (!ok) {
        fs::remove_all(staging, ec);
        return false;
    }
    return make_tarball(out, out.string() + ".tar.gz", error);
}
