// The in-memory disk, which stands in for missing files (the console mounts
// its embedded carts here), and directory listing with a mode mask.
#pragma once
#include <dirent.h>

#include <cstdint>
#include <string>

#include "host/stream.h"

enum : int32_t { QUON_VDISK_MAX_FILES = 256, QUON_MODE_DIRECTORY = 0x4000 };

// The key is the file name and extension of path (folders are ignored).
// "r...": that file with its position reset to 0, or null. "w...": that file
// emptied, or a new owned growable file registered under the key (null when
// the disk is full or the name does not fit). Other modes: null.
quon_stream* quon_fopen_vdisk(const char* path, const char* mode);
int32_t vdisk_file_owned(const quon_stream* s);  // 1 if the stream belongs to the in-memory disk
int32_t quon_vdisk_count();                      // files on the in-memory disk
void quon_vdisk_clear();                         // frees every file of the in-memory disk

struct quon_find_record {
    std::string folder;          // folder searched, as given
    std::string extension;       // pattern's extension after a leading '*'; empty = no filter
    int32_t extension_length = 0;
    int32_t mode_mask = -1;      // entries match when (mode & mask) != 0; -1 accepts all
    DIR* dir = nullptr;
    // The current entry.
    std::string name;
    uint32_t mode = 0;           // st_mode bits; 0x4000 for folders
    int64_t size = 0;
    int64_t mtime = 0;           // seconds since 1970
};

// Starts listing folder path: a pattern "*" + extension keeps only names
// ending in that extension (any case), any other pattern lists all names.
// Returns quon_find_next's result, or 1 when the folder cannot be opened.
int32_t quon_find_first(const char* path, const char* pattern, quon_find_record* rec,
                        int32_t mode_mask);
// Moves to the next matching entry ("." and ".." are never listed): 0 with
// the entry filled in, 1 when there are no more.
int32_t quon_find_next(quon_find_record* rec);
void quon_find_close(quon_find_record* rec);  // closes the folder; safe to call twice
