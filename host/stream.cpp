#include "host/stream.h"

#include <fcntl.h>
#include <lz4.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/disk.h"

namespace {

constexpr int64_t copy_step = 64 * 1024;

bool grow(quon_stream* s, int64_t needed) {
    if (needed <= s->capacity) return true;
    int64_t cap = std::max<int64_t>(s->capacity * 2, 256);
    while (cap < needed) cap *= 2;
    auto* p = static_cast<uint8_t*>(std::realloc(s->data, size_t(cap)));
    if (!p) return false;
    s->data = p;
    s->capacity = cap;
    return true;
}

template <typename T>
T read_le(quon_stream* s) {
    uint8_t b[sizeof(T)] = {};
    quon_fread(b, 1, sizeof(T), s);
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); i++) v |= uint64_t(b[i]) << (8 * i);
    return static_cast<T>(v);
}

template <typename T>
void write_le(T value, quon_stream* s) {
    uint8_t b[sizeof(T)];
    const auto v = static_cast<uint64_t>(value);
    for (size_t i = 0; i < sizeof(T); i++) b[i] = uint8_t(v >> (8 * i));
    quon_fwrite(b, 1, sizeof(T), s);
}

}  // namespace

// A file to read: only a regular file, opened without waiting, since a cart
// may name a device that never ends (/dev/zero) or a pipe that never answers.
static FILE* open_for_reading(const char* path, const char* mode) {
    if (std::strchr(mode, '+')) return std::fopen(path, mode);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, mode);
    if (!f) ::close(fd);
    return f;
}

quon_stream* quon_fopen(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    FILE* f = mode[0] == 'r' ? open_for_reading(path, mode) : std::fopen(path, mode);
    if (f) {
        auto* s = new quon_stream;
        s->kind = QUON_STREAM_DISK;
        s->file = f;
        return s;
    }
    if (mode[0] == 'r') return quon_fopen_vdisk(path, mode);
    return nullptr;
}

int64_t quon_stream_size(quon_stream* s) {
    if (!s) return -1;
    if (s->kind != QUON_STREAM_DISK) return s->length - s->pos;
    struct stat st;
    const long pos = std::ftell(s->file);
    if (pos < 0 || fstat(fileno(s->file), &st) != 0) return -1;
    return std::max<int64_t>(int64_t(st.st_size) - pos, 0);
}

int32_t quon_write_file_replacing(const std::string& path, std::string_view content) {
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    bool ok = true;
    for (const char* p = content.data(); ok && p < content.data() + content.size();) {
        const ssize_t n = ::write(fd, p, size_t(content.data() + content.size() - p));
        if (n < 0 && errno != EINTR) ok = false;
        if (n > 0) p += n;
    }
    // Without the flush a crash just after the rename can leave an empty file
    // where the old data was.
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(temp.c_str());
        return 1;
    }
    return 0;
}

quon_stream* quon_fopen_memory(const void* data, int64_t length) {
    auto* s = new quon_stream;
    s->data = static_cast<uint8_t*>(const_cast<void*>(data));
    s->length = s->capacity = std::max<int64_t>(length, 0);
    return s;
}

quon_stream* quon_create_memory_stream(int64_t capacity) {
    auto* s = new quon_stream;
    s->owned = true;
    if (capacity > 0 && !grow(s, capacity)) {
        delete s;
        return nullptr;
    }
    return s;
}

void quon_fclose(quon_stream* s) {
    if (!s || vdisk_file_owned(s)) return;
    if (s->kind == QUON_STREAM_DISK && s->file) std::fclose(s->file);
    if (s->owned) std::free(s->data);
    delete s;
}

int64_t quon_fread(void* dst, int64_t size, int64_t count, quon_stream* s) {
    if (!s || size <= 0 || count <= 0) return 0;
    if (s->kind == QUON_STREAM_DISK) return int64_t(std::fread(dst, size_t(size), size_t(count), s->file));
    const int64_t want = size * count;
    const int64_t n = std::clamp<int64_t>(s->length - s->pos, 0, want);
    if (n > 0) std::memcpy(dst, s->data + s->pos, size_t(n));
    s->pos += n;
    return n;
}

int64_t quon_fwrite(const void* src, int64_t size, int64_t count, quon_stream* s) {
    if (!s || size <= 0 || count <= 0) return 0;
    if (s->kind == QUON_STREAM_DISK) {
        if (!src) {
            std::vector<uint8_t> zeros(size_t(size * count), 0);
            return int64_t(std::fwrite(zeros.data(), size_t(size), size_t(count), s->file));
        }
        return int64_t(std::fwrite(src, size_t(size), size_t(count), s->file));
    }
    // Borrowed buffers belong to someone else and are read-only.
    if (!s->owned) return 0;
    const int64_t n = size * count;
    if (!grow(s, s->pos + n)) return 0;
    if (src)
        std::memcpy(s->data + s->pos, src, size_t(n));
    else
        std::memset(s->data + s->pos, 0, size_t(n));
    s->pos += n;
    s->length = std::max(s->length, s->pos);
    return n;
}

int32_t quon_fgetc(quon_stream* s) {
    if (!s) return EOF;
    if (s->kind == QUON_STREAM_DISK) return std::fgetc(s->file);
    if (s->pos >= s->length) return EOF;
    return s->data[s->pos++];
}

char* quon_fgets(char* buf, int32_t size, quon_stream* s) {
    if (!s || !buf || size <= 0) return nullptr;
    int32_t c = quon_fgetc(s);
    if (c == EOF) return nullptr;
    int32_t n = 0;
    const bool blank = c == 255;
    while (c != EOF) {
        if (c == '\n') break;
        if (c == '\r') {
            const int32_t next = quon_fgetc(s);
            if (next != '\n' && next != EOF) quon_fseek(s, -1, SEEK_CUR);
            break;
        }
        if (!blank) {
            if (n >= size - 1) {
                // The line is longer than the buffer: the rest is the next read.
                quon_fseek(s, -1, SEEK_CUR);
                break;
            }
            buf[n++] = char(c);
        }
        c = quon_fgetc(s);
    }
    buf[n] = 0;
    return buf;
}

int32_t quon_feof(quon_stream* s) {
    if (!s) return 1;
    if (s->kind == QUON_STREAM_DISK) {
        // The C flag is only raised by a read that failed; look ahead instead.
        const int c = std::fgetc(s->file);
        if (c == EOF) return 1;
        std::ungetc(c, s->file);
        return 0;
    }
    return s->pos >= s->length ? 1 : 0;
}

int32_t quon_fseek(quon_stream* s, int64_t offset, int32_t whence) {
    if (!s || whence != SEEK_CUR) return 0;
    if (s->kind == QUON_STREAM_DISK) {
        std::fseek(s->file, long(offset), SEEK_CUR);
        return 0;
    }
    s->pos = std::clamp<int64_t>(s->pos + offset, 0, s->length);
    return 0;
}

int64_t quon_ftell(quon_stream* s) {
    if (!s) return 0;
    if (s->kind == QUON_STREAM_DISK) return std::ftell(s->file);
    return s->pos;
}

int64_t quon_fremaining(quon_stream* s) {
    if (!s) return 0;
    if (s->kind == QUON_STREAM_DISK) {
        struct stat st;
        if (fstat(fileno(s->file), &st) != 0) return 0;
        return std::max<int64_t>(int64_t(st.st_size) - std::ftell(s->file), 0);
    }
    return std::max<int64_t>(s->length - s->pos, 0);
}

uint8_t quon_fread_uint8(quon_stream* s) { return read_le<uint8_t>(s); }
int8_t quon_fread_int8(quon_stream* s) { return int8_t(read_le<uint8_t>(s)); }
uint16_t quon_fread_uint16(quon_stream* s) { return read_le<uint16_t>(s); }
int16_t quon_fread_int16(quon_stream* s) { return int16_t(read_le<uint16_t>(s)); }
uint32_t quon_fread_uint32(quon_stream* s) { return read_le<uint32_t>(s); }
int32_t quon_fread_int32(quon_stream* s) { return int32_t(read_le<uint32_t>(s)); }

float quon_fread_float(quon_stream* s) {
    const uint32_t bits = read_le<uint32_t>(s);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void quon_fread_int16s(int16_t* dst, int64_t n, quon_stream* s) {
    for (int64_t i = 0; i < n; i++) dst[i] = quon_fread_int16(s);
}

void quon_fread_int32s(int32_t* dst, int64_t n, quon_stream* s) {
    for (int64_t i = 0; i < n; i++) dst[i] = quon_fread_int32(s);
}

void quon_fwrite_uint8(uint8_t v, quon_stream* s) { write_le(v, s); }
void quon_fwrite_int8(int8_t v, quon_stream* s) { write_le(uint8_t(v), s); }
void quon_fwrite_uint16(uint16_t v, quon_stream* s) { write_le(v, s); }
void quon_fwrite_int16(int16_t v, quon_stream* s) { write_le(uint16_t(v), s); }
void quon_fwrite_uint32(uint32_t v, quon_stream* s) { write_le(v, s); }
void quon_fwrite_int32(int32_t v, quon_stream* s) { write_le(uint32_t(v), s); }

void quon_fwrite_float(float v, quon_stream* s) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    write_le(bits, s);
}

void quon_fwrite_int16s(const int16_t* src, int64_t n, quon_stream* s) {
    for (int64_t i = 0; i < n; i++) quon_fwrite_int16(src[i], s);
}

void quon_fwrite_int32s(const int32_t* src, int64_t n, quon_stream* s) {
    for (int64_t i = 0; i < n; i++) quon_fwrite_int32(src[i], s);
}

int32_t quon_fwrite_lz4(const void* src, int32_t length, quon_stream* s) {
    if (length < 0 || length > LZ4_MAX_INPUT_SIZE) return -1;
    std::vector<char> packed(size_t(LZ4_compressBound(length)) + 1);
    const int n = length == 0 ? 0
                              : LZ4_compress_default(static_cast<const char*>(src), packed.data(), length,
                                                     int(packed.size()));
    if (length > 0 && n <= 0) return -1;
    quon_fwrite_int32(n, s);
    quon_fwrite(packed.data(), 1, n, s);
    return n;
}

int32_t quon_fread_lz4(void* dst, int32_t length, quon_stream* s) {
    const int32_t packed_len = quon_fread_int32(s);
    if (length < 0 || packed_len < 0) return -1;
    // A block can never be larger than the bound of what it holds, nor larger
    // than what is left of the stream: both guard against hostile lengths.
    if (packed_len > LZ4_compressBound(length) + 16 || packed_len > quon_fremaining(s)) return -1;
    std::vector<char> packed(size_t(packed_len) + 1);
    if (quon_fread(packed.data(), 1, packed_len, s) != packed_len) return -1;
    if (length == 0) return packed_len == 0 ? 0 : -1;
    const int n = LZ4_decompress_safe(packed.data(), static_cast<char*>(dst), packed_len, length);
    return n == length ? length : -1;
}

quon_stream* quon_load_file(const char* path, int64_t max_bytes) {
    quon_stream* in = quon_fopen(path, "rb");
    if (!in) return nullptr;
    if (quon_stream_size(in) > max_bytes) {
        quon_fclose(in);
        return nullptr;
    }
    quon_stream* out = quon_create_memory_stream(0);
    std::vector<uint8_t> block(copy_step);
    int64_t n;
    // A file that grows while it is read still stops at the limit.
    while (out->length <= max_bytes && (n = quon_fread(block.data(), 1, copy_step, in)) > 0)
        quon_fwrite(block.data(), 1, n, out);
    quon_fclose(in);
    if (out->length > max_bytes) {
        quon_fclose(out);
        return nullptr;
    }
    out->pos = 0;
    return out;
}

int32_t quon_copy_file(const char* from, const char* to) {
    quon_stream* in = quon_fopen(from, "rb");
    if (!in) return 1;
    quon_stream* out = quon_fopen(to, "wb");
    if (!out) {
        quon_fclose(in);
        return 2;
    }
    std::vector<uint8_t> block(copy_step);
    int64_t n;
    bool ok = true;
    while (ok && (n = quon_fread(block.data(), 1, copy_step, in)) > 0) ok = quon_fwrite(block.data(), 1, n, out) == n;
    if (out->kind == QUON_STREAM_DISK && std::fflush(out->file) != 0) ok = false;
    quon_fclose(in);
    quon_fclose(out);
    // A target that could not be written completely counts as not created.
    return ok ? 0 : 2;
}

int32_t quon_file_exists(const char* path) {
    quon_stream* s = quon_fopen(path, "r");
    if (!s) return 0;
    quon_fclose(s);
    return 1;
}

int32_t quon_directory_exists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}
