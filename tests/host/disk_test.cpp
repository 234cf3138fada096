#include "host/disk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class VDisk : public ::testing::Test {
  protected:
    void SetUp() override { quon_vdisk_clear(); }
    void TearDown() override { quon_vdisk_clear(); }
};

std::vector<std::string> list(const std::string& dir, const char* pattern, int32_t mask) {
    std::vector<std::string> names;
    quon_find_record rec;
    for (int32_t r = quon_find_first(dir.c_str(), pattern, &rec, mask); r == 0; r = quon_find_next(&rec))
        names.push_back(rec.name);
    quon_find_close(&rec);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(VDisk, WriteCreatesOnceAndEmptiesOnReopen) {
    quon_stream* a = quon_fopen_vdisk("x/y/hello.m3", "w");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "hello.m3");
    EXPECT_EQ(vdisk_file_owned(a), 1);
    quon_fwrite("abcdef", 1, 6, a);
    quon_stream* b = quon_fopen_vdisk("hello.m3", "wb");
    EXPECT_EQ(b, a);
    EXPECT_EQ(b->length, 0);
    EXPECT_EQ(b->pos, 0);
    EXPECT_EQ(quon_vdisk_count(), 1);
}

TEST_F(VDisk, ReadResetsThePositionAndIgnoresFolders) {
    quon_stream* w = quon_fopen_vdisk("a.txt", "w");
    quon_fwrite("data", 1, 4, w);
    quon_stream* r = quon_fopen_vdisk("/some/folder/a.txt", "rb");
    ASSERT_EQ(r, w);
    EXPECT_EQ(r->pos, 0);
    EXPECT_EQ(r->length, 4);
    EXPECT_EQ(quon_fopen_vdisk("b.txt", "r"), nullptr);
    EXPECT_EQ(quon_fopen_vdisk("a.txt", "a"), nullptr);
    // Names are case-sensitive like the file system they stand in for.
    EXPECT_EQ(quon_fopen_vdisk("A.TXT", "r"), nullptr);
}

TEST_F(VDisk, ClosingADiskStreamKeepsIt) {
    quon_stream* w = quon_fopen_vdisk("keep.m3", "w");
    quon_fwrite("k", 1, 1, w);
    quon_fclose(w);
    quon_stream* r = quon_fopen_vdisk("keep.m3", "r");
    ASSERT_EQ(r, w);
    EXPECT_EQ(quon_fgetc(r), 'k');
    quon_stream* other = quon_create_memory_stream(0);
    EXPECT_EQ(vdisk_file_owned(other), 0);
    quon_fclose(other);
}

TEST_F(VDisk, RefusesNamesThatDoNotFitAndAFullDisk) {
    const std::string long_name(64, 'n');
    EXPECT_EQ(quon_fopen_vdisk(long_name.c_str(), "w"), nullptr);
    EXPECT_EQ(quon_fopen_vdisk("folder/", "w"), nullptr);
    EXPECT_NE(quon_fopen_vdisk(std::string(63, 'n').c_str(), "w"), nullptr);
    for (int i = 1; i < QUON_VDISK_MAX_FILES; i++)
        ASSERT_NE(quon_fopen_vdisk(("f" + std::to_string(i)).c_str(), "w"), nullptr) << i;
    EXPECT_EQ(quon_fopen_vdisk("one_too_many", "w"), nullptr);
    // An existing name still opens on a full disk.
    EXPECT_NE(quon_fopen_vdisk("f1", "w"), nullptr);
}

TEST(DirectoryListing, ExtensionPatternAndModeMask) {
    char tmpl[] = "/tmp/mivo3_find_XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    for (const char* f : {"a.m3", "B.M3", "c.m3.png", "d.txt", "m3"}) std::ofstream(dir + "/" + f) << "x";
    mkdir((dir + "/sub.m3").c_str(), 0755);
    mkdir((dir + "/other").c_str(), 0755);

    EXPECT_EQ(list(dir, "*.m3", -1), (std::vector<std::string>{"B.M3", "a.m3", "sub.m3"}));
    EXPECT_EQ(list(dir, "*.m3", QUON_MODE_DIRECTORY), (std::vector<std::string>{"sub.m3"}));
    EXPECT_EQ(list(dir, "*.m3", S_IFREG), (std::vector<std::string>{"B.M3", "a.m3"}));
    EXPECT_EQ(list(dir, "*", QUON_MODE_DIRECTORY), (std::vector<std::string>{"other", "sub.m3"}));
    // A pattern that does not start with '*' filters nothing.
    EXPECT_EQ(list(dir, "whatever", -1).size(), 7u);

    quon_find_record rec;
    ASSERT_EQ(quon_find_first(dir.c_str(), "*.txt", &rec, -1), 0);
    EXPECT_EQ(rec.name, "d.txt");
    EXPECT_EQ(rec.size, 1);
    EXPECT_GT(rec.mtime, 0);
    EXPECT_EQ(rec.mode & QUON_MODE_DIRECTORY, 0u);
    EXPECT_EQ(quon_find_next(&rec), 1);
    quon_find_close(&rec);
    quon_find_close(&rec);

    EXPECT_EQ(quon_find_first((dir + "/missing").c_str(), "*", &rec, -1), 1);
    std::system(("rm -rf " + dir).c_str());
}
