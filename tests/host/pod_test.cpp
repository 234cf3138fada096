#include "host/pod.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/disk.h"
#include "host/pod_writer.h"

namespace {

quon_bitmap* pattern_bitmap(int32_t w, int32_t h, int32_t bits, int seed) {
    quon_bitmap* b = quon_create_bitmap(w, h, bits);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            if (bits == 8)
                quon_row8(b, y)[x] = uint8_t(x * 7 + y * 3 + seed);
            else
                quon_row32(b, y)[x] = 0xff000000u | uint32_t(x << 16 | y << 8 | seed);
        }
    return b;
}

bool same_pixels(const quon_bitmap* a, const quon_bitmap* b) {
    if (!a || !b || a->width != b->width || a->height != b->height || a->bits != b->bits) return false;
    for (int32_t y = 0; y < a->height; y++)
        if (std::memcmp(a->rows[y], b->rows[y], size_t(a->pitch)) != 0) return false;
    return true;
}

struct bytes {
    quon_stream* s = quon_create_memory_stream(0);
    ~bytes() { quon_fclose(s); }
    std::vector<uint8_t> vec() const { return {s->data, s->data + s->length}; }
};

quon_pod* read_pod(const std::vector<uint8_t>& v) {
    quon_stream* s = quon_fopen_memory(v.data(), int64_t(v.size()));
    quon_pod* pod = quon_load_pod_file("test", s);
    quon_fclose(s);
    return pod;
}

// A small pod with one item of every kind, for the round trips below.
std::vector<uint8_t> sample_pod(bool lz4) {
    bytes out;
    quon_bitmap* b8 = pattern_bitmap(13, 7, 8, 1);
    quon_bitmap* b32 = pattern_bitmap(5, 4, 32, 2);
    uint8_t rgb[768];
    for (int i = 0; i < 768; i++) rgb[i] = uint8_t(i * 5);
    const std::string text = "hello pod file\n";
    quon_write_pod_header(out.s, "sample");
    quon_write_pod_bitmap(out.s, b8, 0x1234, lz4);
    quon_write_pod_palette(out.s, rgb);
    quon_write_pod_file(out.s, "notes.txt", text.data(), int32_t(text.size()), lz4);
    quon_write_pod_bitmap(out.s, b32, -5, lz4);
    quon_destroy_bitmap(b8);
    quon_destroy_bitmap(b32);
    return out.vec();
}

void expect_sample(quon_pod* pod) {
    ASSERT_NE(pod, nullptr);
    EXPECT_STREQ(pod->name, "sample");
    ASSERT_EQ(pod->items.size(), 4u);
    quon_bitmap* want8 = pattern_bitmap(13, 7, 8, 1);
    quon_bitmap* want32 = pattern_bitmap(5, 4, 32, 2);
    EXPECT_TRUE(same_pixels(quon_pod_bitmap(pod, 0), want8));
    EXPECT_EQ(pod->items[0].key, 0x1234);
    const quon_pod_palette* pal = quon_pod_get_palette(pod, 1);
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal->rgb[767], uint8_t(767 * 5));
    quon_stream* f = quon_pod_file(pod, 2);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "notes.txt");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f->data), size_t(f->length)), "hello pod file\n");
    EXPECT_TRUE(same_pixels(quon_pod_bitmap(pod, 3), want32));
    EXPECT_EQ(pod->items[3].key, -5);
    // Wrong types and indices give nothing.
    EXPECT_EQ(quon_pod_bitmap(pod, 1), nullptr);
    EXPECT_EQ(quon_pod_file(pod, 4), nullptr);
    EXPECT_EQ(quon_pod_get_palette(pod, -1), nullptr);
    quon_destroy_bitmap(want8);
    quon_destroy_bitmap(want32);
}

std::vector<uint8_t> tag_bytes(const char* t) { return {uint8_t(t[0]), uint8_t(t[1]), uint8_t(t[2]), uint8_t(t[3])}; }

}  // namespace

TEST(PodRoundTrip, PlainChunks) {
    const std::vector<uint8_t> v = sample_pod(false);
    EXPECT_EQ(std::vector<uint8_t>(v.begin(), v.begin() + 4), tag_bytes("CPOD"));
    quon_pod* pod = read_pod(v);
    expect_sample(pod);
    quon_destroy_pod(pod);
}

TEST(PodRoundTrip, Lz4Chunks) {
    const std::vector<uint8_t> v = sample_pod(true);
    // The bitmap chunk right after the 76-byte header is the compressed variant.
    EXPECT_EQ(std::vector<uint8_t>(v.begin() + 76, v.begin() + 80), tag_bytes("cBMP"));
    quon_pod* pod = read_pod(v);
    expect_sample(pod);
    quon_destroy_pod(pod);
}

TEST(PodRoundTrip, WritePodCopiesEveryItem) {
    quon_pod* pod = read_pod(sample_pod(false));
    bytes again;
    ASSERT_EQ(quon_write_pod(again.s, pod, true), 0);
    quon_pod* copy = read_pod(again.vec());
    expect_sample(copy);
    quon_destroy_pod(copy);
    quon_destroy_pod(pod);
}

TEST(PodReader, UnknownChunkBetweenBitmapsIsSkipped) {
    bytes out;
    quon_bitmap* a = pattern_bitmap(4, 4, 8, 1);
    quon_bitmap* b = pattern_bitmap(6, 2, 8, 9);
    quon_write_pod_header(out.s, "u");
    quon_write_pod_bitmap(out.s, a, 0, false);
    const char junk[10] = "ABCDEFGHI";
    quon_write_pod_chunk(out.s, quon_tag("CSND"), junk, 10);
    quon_write_pod_chunk(out.s, quon_tag("XYZW"), junk, 3);
    quon_write_pod_bitmap(out.s, b, 0, false);
    quon_pod* pod = read_pod(out.vec());
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->items.size(), 2u);
    EXPECT_TRUE(same_pixels(quon_pod_bitmap(pod, 1), b));
    quon_destroy_pod(pod);
    quon_destroy_bitmap(a);
    quon_destroy_bitmap(b);
}

namespace {
int32_t hook_calls = 0;
int32_t take_snd(quon_stream* s, quon_pod* pod, uint32_t tag, uint32_t size) {
    hook_calls++;
    if (tag != quon_tag("CSND")) {
        quon_fread_uint32(s);  // a declining reader may have looked; the pod reader rewinds
        return 1;
    }
    quon_stream* f = quon_create_memory_stream(size);
    quon_fread(f->data, 1, size, s);
    f->length = size;
    std::strcpy(f->name, "sound");
    cpod_add_item(pod, QUON_ITEM_FILE, f);
    return 0;
}
}  // namespace

TEST(PodReader, ItemReaderHookTakesOrDeclinesUnknownTags) {
    bytes out;
    quon_write_pod_header(out.s, "h");
    quon_write_pod_chunk(out.s, quon_tag("CSND"), "beep", 4);
    quon_write_pod_chunk(out.s, quon_tag("CMOD"), "model...", 8);
    quon_write_pod_file(out.s, "after", "x", 1, false);
    hook_calls = 0;
    quon_set_load_item_func(take_snd);
    quon_pod* pod = read_pod(out.vec());
    quon_set_load_item_func(nullptr);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(hook_calls, 2);
    ASSERT_EQ(pod->items.size(), 2u);
    EXPECT_STREQ(quon_pod_file(pod, 0)->name, "sound");
    EXPECT_STREQ(quon_pod_file(pod, 1)->name, "after");
    quon_destroy_pod(pod);
}

TEST(PodReader, TwoPodsBackToBack) {
    std::vector<uint8_t> file = sample_pod(false);
    bytes second;
    quon_write_pod_header(second.s, "second");
    quon_write_pod_file(second.s, "only", "1", 1, true);
    const std::vector<uint8_t> v2 = second.vec();
    file.insert(file.end(), v2.begin(), v2.end());

    quon_pod* first = read_pod(file);
    expect_sample(first);
    quon_destroy_pod(first);

    quon_pod* table[256];
    table[200] = reinterpret_cast<quon_pod*>(&file);  // must be cleared
    ASSERT_EQ(quon_load_pod_set_from_memory(file.data(), int64_t(file.size()), table), 2);
    expect_sample(table[0]);
    ASSERT_NE(table[1], nullptr);
    EXPECT_STREQ(table[1]->name, "second");
    EXPECT_EQ(table[1]->items.size(), 1u);
    for (int i = 2; i < 256; i++) EXPECT_EQ(table[i], nullptr) << i;
    quon_destroy_pod(table[0]);
    quon_destroy_pod(table[1]);
}

TEST(PodReader, EndChunkStopsThePod) {
    bytes out;
    quon_write_pod_header(out.s, "n");
    quon_write_pod_file(out.s, "a", "1", 1, false);
    quon_write_pod_end(out.s);
    quon_write_pod_file(out.s, "b", "2", 1, false);
    quon_stream* s = quon_fopen_memory(out.s->data, out.s->length);
    quon_pod* pod = quon_load_pod_file("n", s);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->items.size(), 1u);
    // The reader stepped back so the end chunk is the next thing read.
    EXPECT_EQ(quon_fread_uint32(s), quon_tag("CNOP"));
    quon_fclose(s);
    quon_destroy_pod(pod);
}

TEST(PodReader, RefusesNonPodsAndEmptyPods) {
    EXPECT_EQ(read_pod({}), nullptr);
    const std::string text = "this is not a pod at all, just text";
    EXPECT_EQ(read_pod(std::vector<uint8_t>(text.begin(), text.end())), nullptr);
    bytes empty;
    quon_write_pod_header(empty.s, "empty");
    EXPECT_EQ(read_pod(empty.vec()), nullptr);
    bytes lower;  // only the exact header tag starts a pod
    quon_write_pod_chunk(lower.s, quon_tag("cPOD"), nullptr, 0);
    EXPECT_EQ(read_pod(lower.vec()), nullptr);
}

TEST(PodReader, TruncatedAtEveryLengthNeverFails) {
    for (bool lz4 : {false, true}) {
        const std::vector<uint8_t> full = sample_pod(lz4);
        size_t last_items = 0;
        for (size_t n = 0; n <= full.size(); n++) {
            // An exact-size copy so that any read past the end is caught by sanitizers.
            std::vector<uint8_t> part(full.begin(), full.begin() + ptrdiff_t(n));
            quon_pod* pod = read_pod(part);
            const size_t items = pod ? pod->items.size() : 0;
            EXPECT_GE(items, last_items) << "length " << n;
            EXPECT_LE(items, 4u);
            last_items = items;
            quon_destroy_pod(pod);
        }
        EXPECT_EQ(last_items, 4u);
    }
}

TEST(PodReader, HostileFieldsGiveAShorterPod) {
    bytes out;
    quon_write_pod_header(out.s, "evil");
    quon_write_pod_file(out.s, "good", "ok", 2, false);
    const int64_t bad_at = out.s->length;
    quon_bitmap* b = pattern_bitmap(8, 8, 8, 0);
    quon_write_pod_bitmap(out.s, b, 0, false);
    quon_destroy_bitmap(b);
    std::vector<uint8_t> v = out.vec();

    auto with_field = [&](int64_t offset, uint32_t value) {
        std::vector<uint8_t> c = v;
        std::memcpy(c.data() + bad_at + offset, &value, 4);
        return c;
    };
    // Width, height, depth: absurd or negative values stop the pod after the good item.
    for (auto [offset, value] : std::vector<std::pair<int64_t, uint32_t>>{
             {8, 0x7fffffff}, {12, 0x40000}, {8, 0xffffffff}, {16, 16}, {8, 9000}}) {
        quon_pod* pod = read_pod(with_field(offset, value));
        ASSERT_NE(pod, nullptr);
        EXPECT_EQ(pod->items.size(), 1u) << offset << " " << value;
        quon_destroy_pod(pod);
    }
    // A file item that claims more bytes than the file holds.
    bytes f;
    quon_write_pod_header(f.s, "evil");
    quon_write_pod_file(f.s, "a", "1", 1, false);
    quon_write_pod_file(f.s, "b", "22", 2, true);
    std::vector<uint8_t> fv = f.vec();
    const size_t second_len = 76 + 8 + 4 + 64 + 1 + 8;
    for (uint32_t value : {0x7fffffffu, 0x80000000u, 100000u}) {
        std::vector<uint8_t> c = fv;
        std::memcpy(c.data() + second_len, &value, 4);
        quon_pod* pod = read_pod(c);
        ASSERT_NE(pod, nullptr);
        EXPECT_EQ(pod->items.size(), 1u) << value;
        quon_destroy_pod(pod);
    }
    // An unknown chunk whose size runs past the end ends the pod.
    std::vector<uint8_t> u = fv;
    const std::vector<uint8_t> tail = {'Z', 'Z', 'Z', 'Z', 0xff, 0xff, 0xff, 0x7f, 1, 2, 3};
    u.insert(u.end(), tail.begin(), tail.end());
    quon_pod* pod = read_pod(u);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->items.size(), 2u);
    quon_destroy_pod(pod);
}

TEST(PodReader, RandomDamageNeverCrashes) {
    const std::vector<uint8_t> clean = sample_pod(true);
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; round++) {
        std::vector<uint8_t> v = clean;
        const int flips = 1 + int(rng() % 6);
        for (int i = 0; i < flips; i++) v[rng() % v.size()] = uint8_t(rng());
        v.resize(v.size() - rng() % 16);
        quon_pod* pod = read_pod(v);
        if (pod) {
            EXPECT_LE(pod->items.size(), 8u);
        }
        quon_destroy_pod(pod);
    }
}

TEST(PodLoading, FromDiskFilesTheInMemoryDiskAndFileItems) {
    quon_vdisk_clear();
    std::vector<uint8_t> inner = sample_pod(false);
    bytes outer;
    quon_write_pod_header(outer.s, "outer");
    quon_write_pod_file(outer.s, "inner.pod", inner.data(), int32_t(inner.size()), true);
    quon_write_pod_file(outer.s, "plain.txt", "no pod here", 11, false);

    quon_stream* v = quon_fopen_vdisk("virtual.pod", "w");
    quon_fwrite(outer.s->data, 1, outer.s->length, v);
    quon_pod* pod = quon_load_pod("/nowhere/virtual.pod");
    ASSERT_NE(pod, nullptr);
    quon_pod* nested = quon_pod_load_item_pod(pod, 0);
    expect_sample(nested);
    EXPECT_EQ(quon_pod_load_item_pod(pod, 1), nullptr);
    EXPECT_EQ(quon_pod_load_item_pod(pod, 2), nullptr);
    quon_destroy_pod(nested);
    quon_destroy_pod(pod);

    char tmpl[] = "/tmp/mivo3_pod_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    quon_stream* d = quon_fopen(tmpl, "wb");
    quon_fwrite(inner.data(), 1, int64_t(inner.size()), d);
    quon_fwrite(inner.data(), 1, int64_t(inner.size()), d);
    quon_fclose(d);
    quon_pod* table[256];
    EXPECT_EQ(quon_load_pod_set(tmpl, table), 2);
    expect_sample(table[1]);
    quon_destroy_pod(table[0]);
    quon_destroy_pod(table[1]);
    EXPECT_EQ(quon_load_pod("/no/such/file.pod"), nullptr);
    EXPECT_EQ(quon_load_pod_set("/no/such/file.pod", table), 0);
    unlink(tmpl);
    quon_vdisk_clear();
}
