#include "host/paths.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string g_home_path;
std::string g_desktop_path;
std::string g_title = "quon";

std::string with_slash(std::string s) {
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}

bool is_folder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string env_text(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// The user's home folder with a trailing '/', or "" when it cannot be found.
std::string user_home() {
    std::string home = env_text("HOME");
    if (home.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    return with_slash(home);
}

std::string program_folder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, size_t(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// XDG_DESKTOP_DIR from the user-dirs file, with $HOME expanded; "" when absent.
std::string desktop_from_user_dirs(const std::string& home) {
    std::string config = env_text("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') {
        if (home.empty()) return {};
        config = home + ".config";
    }
    std::ifstream in(with_slash(config) + "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) {
            if (home.empty()) return {};
            value = home + value.substr(value.size() > 5 && value[5] == '/' ? 6 : 5);
        }
        return value;
    }
    return {};
}

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::tm local_now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace

void quon_set_home_path(std::string_view path) { g_home_path = path; }
void quon_set_desktop_path(std::string_view path) { g_desktop_path = path; }
void quon_set_path_title(std::string_view title) { g_title = title; }
const std::string& quon_get_home_path() { return g_home_path; }
const std::string& quon_get_desktop_path() { return g_desktop_path; }

std::string quon_prefix_with_program_path(std::string_view name) {
    static const std::string folder = program_folder();
    return folder + std::string(name);
}

std::string quon_prefix_with_appdata_path(std::string_view name) {
    if (!g_home_path.empty()) {
        std::string home = g_home_path;
        quon_fix_backslashes(home);
        home = with_slash(home);
        quon_mkdir_all(home);
        return home + std::string(name);
    }
    // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
    std::string base = env_text("XDG_DATA_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = user_home();
        base = home.empty() ? quon_prefix_with_program_path("") : home + ".local/share";
    }
    quon_fix_backslashes(base);
    std::string folder = with_slash(base) + g_title;
    quon_mkdir_all(folder);
    return folder + "/" + std::string(name);
}

std::string quon_prefix_with_desktop_path(std::string_view name) {
    if (!g_desktop_path.empty()) {
        std::string d = g_desktop_path;
        quon_fix_backslashes(d);
        return with_slash(d) + std::string(name);
    }
    const std::string home = user_home();
    std::string desktop = env_text("XDG_DESKTOP_DIR");
    if (!is_folder(desktop)) desktop = desktop_from_user_dirs(home);
    if (!is_folder(desktop) && !home.empty()) desktop = home + "Desktop";
    if (is_folder(desktop)) return with_slash(desktop) + std::string(name);
    if (!home.empty()) return home + std::string(name);
    return quon_prefix_with_program_path(name);
}

std::string quon_prefix_with_current_path(std::string_view name) {
    char buf[PATH_MAX];
    std::string cwd = getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
    if (cwd.empty() || cwd.back() != '/') cwd += '/';
    return cwd + std::string(name);
}

int quon_mkdir(std::string_view path) {
    std::string p(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.empty()) return -1;
    if (mkdir(p.c_str(), 0755) == 0 || (errno == EEXIST && is_folder(p))) return 0;
    return -1;
}

int quon_mkdir_all(std::string_view path) {
    std::string p(path);
    for (size_t i = 1; i <= p.size(); i++) {
        if (i == p.size() || p[i] == '/') {
            if (p[i - 1] == '/') continue;
            if (quon_mkdir(p.substr(0, i)) != 0) return -1;
        }
    }
    return 0;
}

void quon_fix_backslashes(std::string& text) {
    for (char& c : text)
        if (c == '\\') c = '/';
}

std::string quon_fix_path_string(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') i++;
    std::string out;
    for (; i < text.size(); i++) {
        char c = text[i];
        if (static_cast<unsigned char>(c) < 32) continue;
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (out.empty()) return out;
    if (out.back() != '/') out += '/';
    return out;
}

std::string quon_resolve_filename(std::string_view path) {
    std::vector<std::string> parts;
    std::string prefix;  // "/" for an absolute path, the home folder for "~"
    size_t start = 0;
    bool first = true;
    const bool trailing = !path.empty() && (path.back() == '/' || path.back() == '\\');
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = path.size();
        const std::string comp(path.substr(start, end - start));
        if (first && comp.empty() && end < path.size()) {
            prefix = "/";
        } else if (first && comp == "~") {
            prefix = user_home();
            if (prefix.empty()) prefix = "~/";
        } else if (comp.empty() || comp == ".") {
        } else if (comp == ".." && !first) {
            // A ".." that has nothing of its own to remove stays, so "../../a" keeps both.
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (prefix.empty()) parts.push_back(comp);
        } else {
            parts.push_back(comp);
        }
        if (comp != ".") first = false;
        start = end + 1;
    }
    std::string out = prefix;
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) out += '/';
        out += parts[i];
    }
    if (trailing && !parts.empty()) out += '/';
    return out;
}

void quon_split_filename(std::string_view path, std::string* folder, std::string* name,
                         std::string* extension) {
    const size_t slash = path.rfind('/');
    const size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const size_t ext_start = (dot == std::string_view::npos || dot < name_start) ? path.size() : dot;
    if (folder) *folder = std::string(path.substr(0, name_start));
    if (name) *name = std::string(path.substr(name_start, ext_start - name_start));
    if (extension) *extension = std::string(path.substr(ext_start));
}

std::string quon_get_filename_extension(std::string_view path) {
    std::string ext;
    quon_split_filename(path, nullptr, nullptr, &ext);
    return ext.empty() ? ext : ext.substr(1);
}

std::string quon_get_date() {
    const std::tm tm = local_now();
    return std::to_string(tm.tm_year + 1900) + "-" + two(tm.tm_mon + 1) + "-" + two(tm.tm_mday);
}

std::string quon_get_datetime() {
    const std::tm tm = local_now();
    return quon_get_date() + "_" + two(tm.tm_hour) + "-" + two(tm.tm_min) + "-" + two(tm.tm_sec);
}

std::string quon_print_date() {
    const std::tm tm = local_now();
    return quon_get_date() + " " + two(tm.tm_hour) + ":" + two(tm.tm_min) + ":" + two(tm.tm_sec);
}

int quon_open_with_desktop(std::string_view path) {
    // Spawned without a shell so that no character of the path is interpreted.
    std::string p(path);
    char prog[] = "xdg-open";
    char* argv[] = {prog, p.data(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return 1;
    // Reaped in the background so the caller never waits for the browser.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return 0;
}
