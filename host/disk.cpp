#include "host/disk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// The disk owns its streams; a stream's name is its key.
std::vector<quon_stream*> g_files;

std::string_view key_of(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

quon_stream* find_file(std::string_view key) {
    for (quon_stream* s : g_files)
        if (key == s->name) return s;
    return nullptr;
}

bool ends_with_nocase(const std::string& name, const std::string& ext) {
    if (ext.size() > name.size()) return false;
    return std::equal(ext.begin(), ext.end(), name.end() - std::ptrdiff_t(ext.size()), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

quon_stream* quon_fopen_vdisk(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    const std::string_view key = key_of(path);
    if (key.empty() || key.size() >= sizeof(quon_stream::name)) return nullptr;
    quon_stream* s = find_file(key);
    if (mode[0] == 'r') {
        if (s) s->pos = 0;
        return s;
    }
    if (mode[0] != 'w') return nullptr;
    if (s) {
        s->length = 0;
        s->pos = 0;
        return s;
    }
    if (int32_t(g_files.size()) >= QUON_VDISK_MAX_FILES) return nullptr;
    s = quon_create_memory_stream(0);
    if (!s) return nullptr;
    std::memcpy(s->name, key.data(), key.size());
    s->name[key.size()] = 0;
    g_files.push_back(s);
    return s;
}

int32_t vdisk_file_owned(const quon_stream* s) {
    return s && std::find(g_files.begin(), g_files.end(), s) != g_files.end() ? 1 : 0;
}

int32_t quon_vdisk_count() { return int32_t(g_files.size()); }

void quon_vdisk_clear() {
    std::vector<quon_stream*> files;
    files.swap(g_files);
    for (quon_stream* s : files) quon_fclose(s);
}

int32_t quon_find_first(const char* path, const char* pattern, quon_find_record* rec, int32_t mode_mask) {
    if (!rec) return 1;
    quon_find_close(rec);
    rec->folder = path ? path : "";
    rec->extension.clear();
    if (pattern && pattern[0] == '*') rec->extension = pattern + 1;
    rec->extension_length = int32_t(rec->extension.size());
    rec->mode_mask = mode_mask;
    rec->dir = opendir(rec->folder.empty() ? "." : rec->folder.c_str());
    if (!rec->dir) return 1;
    return quon_find_next(rec);
}

int32_t quon_find_next(quon_find_record* rec) {
    if (!rec || !rec->dir) return 1;
    while (const dirent* e = readdir(rec->dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!rec->extension.empty() && !ends_with_nocase(name, rec->extension)) continue;
        std::string full = rec->folder;
        if (!full.empty() && full.back() != '/') full += '/';
        full += name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) continue;
        if ((uint32_t(st.st_mode) & uint32_t(rec->mode_mask)) == 0) continue;
        rec->name = name;
        rec->mode = uint32_t(st.st_mode);
        rec->size = int64_t(st.st_size);
        rec->mtime = int64_t(st.st_mtime);
        return 0;
    }
    return 1;
}

void quon_find_close(quon_find_record* rec) {
    if (rec && rec->dir) {
        closedir(rec->dir);
        rec->dir = nullptr;
    }
}
