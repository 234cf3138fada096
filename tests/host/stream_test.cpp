#include "host/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/disk.h"

namespace {

std::string temp_folder() {
    char tmpl[] = "/tmp/mivo3_stream_XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? std::string(d) + "/" : std::string("/tmp/");
}

std::string read_all(quon_stream* s) {
    std::string out;
    int32_t c;
    while ((c = quon_fgetc(s)) != EOF) out += char(c);
    return out;
}

}  // namespace

TEST(MemoryStream, WritesGrowTheBufferAndReadBack) {
    quon_stream* s = quon_create_memory_stream(0);
    std::string text(1000, 'x');
    EXPECT_EQ(quon_fwrite(text.data(), 1, 1000, s), 1000);
    EXPECT_EQ(quon_fwrite("abc", 1, 3, s), 3);
    EXPECT_EQ(s->length, 1003);
    EXPECT_GE(s->capacity, 1003);
    // Writing after a step back overwrites without changing the length.
    quon_fseek(s, -3, SEEK_CUR);
    EXPECT_EQ(quon_fwrite("XY", 1, 2, s), 2);
    EXPECT_EQ(s->length, 1003);
    s->pos = 1000;
    EXPECT_EQ(read_all(s), "XYc");
    quon_fclose(s);
}

TEST(MemoryStream, NullSourceWritesZerosAndReturnsBytes) {
    quon_stream* s = quon_create_memory_stream(0);
    quon_fwrite("\xff\xff", 1, 2, s);
    EXPECT_EQ(quon_fwrite(nullptr, 4, 3, s), 12);
    EXPECT_EQ(s->length, 14);
    for (int i = 2; i < 14; i++) EXPECT_EQ(s->data[i], 0) << i;
    quon_fclose(s);
}

TEST(MemoryStream, ReadPastTheEndReturnsWhatIsLeftAndStaysAtTheEnd) {
    const char bytes[] = "hello";
    quon_stream* s = quon_fopen_memory(bytes, 5);
    char buf[16] = {};
    EXPECT_EQ(quon_fread(buf, 2, 2, s), 4);  // a byte count, not an item count
    EXPECT_EQ(quon_fread(buf, 1, 10, s), 1);
    EXPECT_EQ(buf[0], 'o');
    EXPECT_EQ(quon_fread(buf, 1, 10, s), 0);
    EXPECT_EQ(s->pos, 5);
    EXPECT_EQ(quon_feof(s), 1);
    EXPECT_EQ(quon_fgetc(s), EOF);
    quon_fclose(s);
}

TEST(MemoryStream, BorrowedBytesAreNeverWritten) {
    char bytes[4] = {1, 2, 3, 4};
    quon_stream* s = quon_fopen_memory(bytes, 4);
    EXPECT_EQ(quon_fwrite("zz", 1, 2, s), 0);
    EXPECT_EQ(bytes[0], 1);
    quon_fclose(s);  // must not free the caller's bytes
    EXPECT_EQ(bytes[3], 4);
}

TEST(MemoryStream, SeekIsRelativeOnlyAndClamped) {
    const char bytes[] = "0123456789";
    quon_stream* s = quon_fopen_memory(bytes, 10);
    EXPECT_EQ(quon_fseek(s, 4, SEEK_CUR), 0);
    EXPECT_EQ(quon_fgetc(s), '4');
    EXPECT_EQ(quon_fseek(s, 0, SEEK_SET), 0);  // other origins do nothing
    EXPECT_EQ(quon_ftell(s), 5);
    quon_fseek(s, -100, SEEK_CUR);
    EXPECT_EQ(quon_ftell(s), 0);
    quon_fseek(s, 100, SEEK_CUR);
    EXPECT_EQ(quon_ftell(s), 10);
    EXPECT_EQ(quon_fremaining(s), 0);
    quon_fclose(s);
}

TEST(LineReader, HandlesEveryLineEndAndTheEnd) {
    const std::string text = "one\ntwo\r\nthree\rfour";
    quon_stream* s = quon_fopen_memory(text.data(), int64_t(text.size()));
    char buf[64];
    std::vector<std::string> lines;
    while (quon_fgets(buf, sizeof buf, s)) lines.push_back(buf);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(quon_fgets(buf, sizeof buf, s), nullptr);
    quon_fclose(s);
}

TEST(LineReader, EmptyLinesLongLinesAndByte255) {
    const std::string text = "\n\r\nabcdefgh\n\xff" "ignored\nz";
    quon_stream* s = quon_fopen_memory(text.data(), int64_t(text.size()));
    char buf[5];
    std::vector<std::string> lines;
    while (quon_fgets(buf, sizeof buf, s)) lines.push_back(buf);
    // A line longer than the buffer continues in the next read.
    EXPECT_EQ(lines, (std::vector<std::string>{"", "", "abcd", "efgh", "", "z"}));
    quon_fclose(s);
}

TEST(TypedIO, LittleEndianRoundTrip) {
    quon_stream* s = quon_create_memory_stream(0);
    quon_fwrite_uint8(0xab, s);
    quon_fwrite_int16(-2, s);
    quon_fwrite_uint32(0x11223344, s);
    quon_fwrite_float(1.5f, s);
    const int32_t arr[3] = {-1, 0x7fffffff, 42};
    quon_fwrite_int32s(arr, 3, s);
    ASSERT_EQ(s->length, 1 + 2 + 4 + 4 + 12);
    EXPECT_EQ(s->data[3], 0x44);  // low byte first
    EXPECT_EQ(s->data[6], 0x11);
    s->pos = 0;
    EXPECT_EQ(quon_fread_uint8(s), 0xab);
    EXPECT_EQ(quon_fread_int16(s), -2);
    EXPECT_EQ(quon_fread_uint32(s), 0x11223344u);
    EXPECT_EQ(quon_fread_float(s), 1.5f);
    int32_t back[3];
    quon_fread_int32s(back, 3, s);
    EXPECT_EQ(back[0], -1);
    EXPECT_EQ(back[1], 0x7fffffff);
    EXPECT_EQ(back[2], 42);
    quon_fclose(s);
}

TEST(TypedIO, ShortReadLeavesMissingBytesZero) {
    const uint8_t bytes[2] = {0x34, 0x12};
    quon_stream* s = quon_fopen_memory(bytes, 2);
    EXPECT_EQ(quon_fread_int32(s), 0x1234);
    EXPECT_EQ(quon_fread_int32(s), 0);
    quon_fclose(s);
}

TEST(Lz4Blocks, RoundTripAndRefuseDamage) {
    std::string data;
    for (int i = 0; i < 5000; i++) data += char('a' + i % 7);
    quon_stream* s = quon_create_memory_stream(0);
    const int32_t packed = quon_fwrite_lz4(data.data(), int32_t(data.size()), s);
    ASSERT_GT(packed, 0);
    EXPECT_LT(packed, 5000);
    EXPECT_EQ(s->length, 4 + packed);

    std::vector<char> out(data.size());
    s->pos = 0;
    EXPECT_EQ(quon_fread_lz4(out.data(), int32_t(out.size()), s), int32_t(data.size()));
    EXPECT_EQ(std::string(out.begin(), out.end()), data);

    // Expecting a different size is an error, not a partial success.
    s->pos = 0;
    EXPECT_EQ(quon_fread_lz4(out.data(), int32_t(out.size()) - 1, s), -1);

    // A compressed length larger than the stream is refused.
    s->data[3] = 0x7f;
    s->pos = 0;
    EXPECT_EQ(quon_fread_lz4(out.data(), int32_t(out.size()), s), -1);
    quon_fclose(s);

    // Corrupt compressed bytes never write past the destination.
    quon_stream* t = quon_create_memory_stream(0);
    quon_fwrite_lz4(data.data(), int32_t(data.size()), t);
    for (int64_t i = 4; i < t->length; i += 3) t->data[i] ^= 0x5a;
    std::vector<char> small(100);
    t->pos = 0;
    EXPECT_EQ(quon_fread_lz4(small.data(), 100, t), -1);
    quon_fclose(t);
}

TEST(DiskStream, WriteReadCopyAndExistence) {
    const std::string dir = temp_folder();
    const std::string a = dir + "a.bin", b = dir + "b.bin";
    quon_stream* w = quon_fopen(a.c_str(), "wb");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->kind, QUON_STREAM_DISK);
    std::string big(200000, 'q');
    big[123456] = 'Z';
    EXPECT_EQ(quon_fwrite(big.data(), 1, int64_t(big.size()), w), int64_t(big.size()));
    quon_fwrite_int32(77, w);
    quon_fclose(w);

    quon_stream* r = quon_fopen(a.c_str(), "rb");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(quon_fremaining(r), 200004);
    EXPECT_EQ(quon_feof(r), 0);
    quon_fseek(r, 200000, SEEK_CUR);
    EXPECT_EQ(quon_fread_int32(r), 77);
    EXPECT_EQ(quon_feof(r), 1);
    quon_fclose(r);

    EXPECT_EQ(quon_copy_file(a.c_str(), b.c_str()), 0);
    quon_stream* m = quon_load_file(b.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->length, 200004);
    EXPECT_EQ(m->pos, 0);
    EXPECT_EQ(m->data[123456], 'Z');
    quon_fclose(m);

    EXPECT_EQ(quon_copy_file((dir + "missing").c_str(), b.c_str()), 1);
    EXPECT_EQ(quon_copy_file(a.c_str(), (dir + "no/such/folder/x").c_str()), 2);
    EXPECT_EQ(quon_file_exists(a.c_str()), 1);
    EXPECT_EQ(quon_file_exists((dir + "missing").c_str()), 0);
    EXPECT_EQ(quon_load_file((dir + "missing").c_str()), nullptr);
    EXPECT_EQ(quon_directory_exists(dir.c_str()), 1);
    EXPECT_EQ(quon_directory_exists(a.c_str()), 0);
    // A folder is not a file, even though the C library opens it.
    EXPECT_EQ(quon_fopen(dir.c_str(), "rb"), nullptr);
    std::system(("rm -rf " + dir).c_str());
}

TEST(DiskStream, MissingFileFallsBackToTheInMemoryDiskForReadingOnly) {
    quon_vdisk_clear();
    quon_stream* v = quon_fopen_vdisk("carts/game.m3", "w");
    ASSERT_NE(v, nullptr);
    quon_fwrite("cart", 1, 4, v);
    quon_stream* r = quon_fopen("/no/such/place/game.m3", "r");
    EXPECT_EQ(r, v);
    EXPECT_EQ(read_all(r), "cart");
    quon_fclose(r);  // stays on the disk
    EXPECT_EQ(quon_file_exists("elsewhere/game.m3"), 1);
    EXPECT_EQ(quon_fopen("/no/such/place/game.m3", "w"), nullptr);
    quon_vdisk_clear();
    EXPECT_EQ(quon_file_exists("elsewhere/game.m3"), 0);
}

TEST(DiskStream, ReadingOpensOnlyRegularFilesAndNeverWaits) {
    const std::string dir = temp_folder();
    // A device that never ends and a pipe nobody writes to: before, the
    // first was read until memory ran out and the second blocked forever.
    EXPECT_EQ(quon_fopen("/dev/zero", "rb"), nullptr);
    const std::string fifo = dir + "pipe.m3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(quon_fopen(fifo.c_str(), "rb"), nullptr);
    EXPECT_EQ(quon_load_file(fifo.c_str()), nullptr);

    const std::string file = dir + "ten.txt";
    quon_stream* w = quon_fopen(file.c_str(), "wb");
    quon_fwrite("0123456789", 1, 10, w);
    quon_fclose(w);
    EXPECT_EQ(quon_load_file(file.c_str(), 9), nullptr);
    quon_stream* s = quon_load_file(file.c_str(), 10);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->length, 10);
    quon_fclose(s);
    std::remove(fifo.c_str());
    std::remove(file.c_str());
    rmdir(dir.c_str());
}
