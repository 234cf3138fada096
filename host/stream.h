// Streams: one file abstraction over disk files and memory buffers, with
// little-endian typed readers and writers and LZ4 blocks. Whoever opens a
// stream closes it with quon_fclose (in-memory disk streams stay with the disk).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

enum : int32_t { QUON_STREAM_DISK = 0, QUON_STREAM_MEMORY = 1 };

struct quon_stream {
    int32_t kind = QUON_STREAM_MEMORY;
    FILE* file = nullptr;        // disk file
    uint8_t* data = nullptr;     // memory buffer
    int64_t length = 0;          // bytes valid in data
    int64_t pos = 0;             // read/write position
    int64_t capacity = 0;        // bytes allocated in data
    bool owned = false;          // the stream owns a growable buffer
    char name[64] = {};          // file name of an in-memory disk file or a pod file item
};

// Opens a disk file; when that fails and mode starts with 'r', the in-memory
// disk's file of the same name and extension; else null. Reading opens only
// regular files and never waits: a device, a pipe or a folder does not open.
quon_stream* quon_fopen(const char* path, const char* mode);
quon_stream* quon_fopen_memory(const void* data, int64_t length);  // read stream over existing bytes
quon_stream* quon_create_memory_stream(int64_t capacity = 0);      // empty, owned, growable stream
// Closes a disk file or frees a memory stream and its owned buffer; does
// nothing for streams of the in-memory disk.
void quon_fclose(quon_stream* s);

// Disk: the C library's count of whole items. Memory: copies
// min(size*count, bytes left) bytes and returns that byte count.
int64_t quon_fread(void* dst, int64_t size, int64_t count, quon_stream* s);
// Disk: count of items written. Memory (owned buffers only): writes
// size*count bytes at the position, zeros for a null source, growing the
// buffer and the length; returns the byte count.
int64_t quon_fwrite(const void* src, int64_t size, int64_t count, quon_stream* s);
// One line of at most size-1 characters without its end (LF, CR or CR LF);
// null at the end of the stream. A line whose first byte is 255 reads as "".
char* quon_fgets(char* buf, int32_t size, quon_stream* s);
int32_t quon_fgetc(quon_stream* s);                           // next byte or EOF
int32_t quon_feof(quon_stream* s);                            // 1 at the end
// Relative seek only (whence SEEK_CUR); other origins do nothing. Memory
// positions are kept within 0..length. Returns 0.
int32_t quon_fseek(quon_stream* s, int64_t offset, int32_t whence);
int64_t quon_ftell(quon_stream* s);                           // current position
int64_t quon_fremaining(quon_stream* s);                      // bytes between the position and the end

// Little-endian typed reads; a short read leaves the missing bytes zero.
uint8_t quon_fread_uint8(quon_stream* s);
int8_t quon_fread_int8(quon_stream* s);
uint16_t quon_fread_uint16(quon_stream* s);
int16_t quon_fread_int16(quon_stream* s);
uint32_t quon_fread_uint32(quon_stream* s);
int32_t quon_fread_int32(quon_stream* s);
float quon_fread_float(quon_stream* s);
void quon_fread_int16s(int16_t* dst, int64_t n, quon_stream* s);  // n values
void quon_fread_int32s(int32_t* dst, int64_t n, quon_stream* s);  // n values
// Little-endian typed writes.
void quon_fwrite_uint8(uint8_t v, quon_stream* s);
void quon_fwrite_int8(int8_t v, quon_stream* s);
void quon_fwrite_uint16(uint16_t v, quon_stream* s);
void quon_fwrite_int16(int16_t v, quon_stream* s);
void quon_fwrite_uint32(uint32_t v, quon_stream* s);
void quon_fwrite_int32(int32_t v, quon_stream* s);
void quon_fwrite_float(float v, quon_stream* s);
void quon_fwrite_int16s(const int16_t* src, int64_t n, quon_stream* s);
void quon_fwrite_int32s(const int32_t* src, int64_t n, quon_stream* s);

// Writes an LZ4 block: its compressed length (32-bit) and the compressed
// bytes. Returns the compressed length, or -1 when compression failed.
int32_t quon_fwrite_lz4(const void* src, int32_t length, quon_stream* s);
// Reads an LZ4 block that must decompress to exactly length bytes into dst.
// Returns length, or -1 for a short, oversized or corrupt block.
int32_t quon_fread_lz4(void* dst, int32_t length, quon_stream* s);

// A whole file (disk or in-memory disk) as a new owned memory stream
// positioned at 0, read in 64 KiB steps; null if it cannot be opened or holds
// more than max_bytes (nothing beyond max_bytes + 1 is read).
quon_stream* quon_load_file(const char* path, int64_t max_bytes = INT64_MAX);
// Bytes in an open stream from its position to its end, without reading them
// (-1 when a disk file's size cannot be told).
int64_t quon_stream_size(quon_stream* s);
// Writes content to "<path>.tmp", flushes it to the disk and renames it over
// path, so that a crash or a full disk leaves the old file whole. 0 on
// success; 1 on failure, with the old file untouched and no temporary left.
int32_t quon_write_file_replacing(const std::string& path, std::string_view content);
// 0 on success, 1 when the source cannot be opened, 2 when the target cannot be created.
int32_t quon_copy_file(const char* from, const char* to);
int32_t quon_file_exists(const char* path);       // 1 if quon_fopen(path, "r") succeeds
int32_t quon_directory_exists(const char* path);  // 1 if path is a folder
