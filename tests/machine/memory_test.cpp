#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "machine/memory.h"
#include "runtime/cpu.h"
#include "storage/cart.h"

namespace {

struct MemoryTest : ::testing::Test {
    mivo3_cart* cart = nullptr;

    void SetUp() override
    {
        mivo3_vm = {};
        reset_pstate();
        cart = quon_create_mivo3_cart();
        ASSERT_NE(cart, nullptr);
        pstate.cart = cart;
    }
    void TearDown() override { quon_destroy_mivo3_cart(cart); }

    uint8_t peek(int32_t a) { return mivo3_peek(&pstate, cart, a); }
    void poke(int32_t a, int32_t v) { mivo3_poke(&pstate, cart, a, v); }
    int32_t peek2(int32_t a) { return int16_t(peek(a) | peek(a + 1) << 8); }
    int32_t peek4(int32_t a)
    {
        return int32_t(uint32_t(peek(a)) | uint32_t(peek(a + 1)) << 8 | uint32_t(peek(a + 2)) << 16 |
                       uint32_t(peek(a + 3)) << 24);
    }
    uint8_t& screen_px(int32_t x, int32_t y) { return mivo3_back_page->rows[y][x]; }
    uint8_t& gfx_px(int32_t x, int32_t y) { return cart->gfx->rows[y][x]; }
    uint8_t& map_cell(int32_t x, int32_t y) { return cart->map->rows[y][x]; }
};

// Addresses where a write is read back unchanged.
bool plain_address(int32_t a)
{
    return a < MIVO3_ADDR_REGISTERS || a >= MIVO3_ADDR_GPIO;
}

// Everything machine memory is made of, for comparing two runs.
struct world_snapshot {
    std::unique_ptr<machine_state> machine = std::make_unique<machine_state>();
    mivo3_cart cart_fields{};
    std::vector<uint8_t> gfx, map, screen;
    std::array<int32_t, 4> clip{};

    void take(const mivo3_cart* c)
    {
        std::memcpy(static_cast<void*>(machine.get()), &pstate, sizeof pstate);
        std::memcpy(static_cast<void*>(&cart_fields), c, sizeof *c);
        gfx.assign(c->gfx->data, c->gfx->data + 128 * 128);
        map.assign(c->map->data, c->map->data + 128 * 64);
        screen.assign(mivo3_back_page->data, mivo3_back_page->data + 128 * 128);
        clip = {mivo3_back_page->cx0, mivo3_back_page->cy0, mivo3_back_page->cx1, mivo3_back_page->cy1};
    }
    void restore(mivo3_cart* c) const
    {
        std::memcpy(static_cast<void*>(&pstate), machine.get(), sizeof pstate);
        char* code = c->code;
        quon_bitmap *g = c->gfx, *m = c->map, *l = c->label;
        std::memcpy(static_cast<void*>(c), &cart_fields, sizeof *c);
        c->code = code, c->gfx = g, c->map = m, c->label = l;
        std::memcpy(c->gfx->data, gfx.data(), gfx.size());
        std::memcpy(c->map->data, map.data(), map.size());
        std::memcpy(mivo3_back_page->data, screen.data(), screen.size());
        mivo3_back_page->cx0 = clip[0], mivo3_back_page->cy0 = clip[1];
        mivo3_back_page->cx1 = clip[2], mivo3_back_page->cy1 = clip[3];
    }
    bool same_as(const world_snapshot& o) const
    {
        return std::memcmp(machine.get(), o.machine.get(), sizeof(machine_state)) == 0 &&
               std::memcmp(cart_fields.sfx, o.cart_fields.sfx, sizeof cart_fields.sfx) == 0 &&
               std::memcmp(cart_fields.music, o.cart_fields.music, sizeof cart_fields.music) == 0 &&
               std::memcmp(cart_fields.music_flags, o.cart_fields.music_flags,
                           sizeof cart_fields.music_flags) == 0 &&
               std::memcmp(cart_fields.flags, o.cart_fields.flags, sizeof cart_fields.flags) == 0 &&
               gfx == o.gfx && map == o.map && screen == o.screen && clip == o.clip;
    }
};

// The copy as described byte by byte: forward when dst < src, else backward.
void reference_memcpy(mivo3_cart* cart, int32_t dst, int32_t src, int32_t len)
{
    if (len < 1 || len > 0x7fff)
        return;
    auto step = [&](int32_t k) {
        int64_t s = int64_t(src) + k, d = int64_t(dst) + k;
        uint8_t b = (s >= 0 && s < 0x8000) ? mivo3_peek(&pstate, cart, int32_t(s)) : 0;
        return mivo3_poke(&pstate, cart, (d >= 0 && d < 0x8000) ? int32_t(d) : -1, b) == 0;
    };
    if (dst < src) {
        for (int32_t k = 0; k < len; k++)
            if (!step(k))
                return;
    } else {
        for (int32_t k = len - 1; k >= 0; k--)
            if (!step(k))
                return;
    }
}

void fill_random(mivo3_cart* cart, std::mt19937& rng)
{
    for (int32_t a = 0; a < 0x8000; a++)
        if (plain_address(a) && !(a >= 0x5e00 && a < 0x5f00))
            mivo3_poke(&pstate, cart, a, int32_t(rng()));
}

// Every address outside the registers reads back what was last written.
TEST_F(MemoryTest, PokesMatchAByteModelOverTheWholeSpace)
{
    std::mt19937 rng(11);
    std::vector<uint8_t> model(0x8000, 0);
    for (int32_t a = 0; a < 0x8000; a++) {
        if (!plain_address(a))
            continue;
        model[size_t(a)] = uint8_t(rng());
        poke(a, model[size_t(a)] | 0x1200);  // only the low byte is stored
    }
    for (int32_t a = 0; a < 0x8000; a++) {
        if (!plain_address(a))
            continue;
        ASSERT_EQ(peek(a), model[size_t(a)]) << "address " << a;
    }
    for (int i = 0; i < 200000; i++) {
        int32_t a = int32_t(rng() % 0x8000), b = int32_t(rng() % 0x8000);
        if (plain_address(a)) {
            model[size_t(a)] = uint8_t(rng());
            poke(a, model[size_t(a)]);
        }
        if (!plain_address(b))
            continue;
        ASSERT_EQ(peek(b), model[size_t(b)]) << "address " << b;
    }
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(MemoryTest, WritesReachTheBackingStructures)
{
    poke(0x0000, 0x5a);  // sprite pixels (0,0), (1,0)
    EXPECT_EQ(gfx_px(0, 0), 0xa);
    EXPECT_EQ(gfx_px(1, 0), 0x5);
    poke(0x0fff, 0x3c);  // last byte of the upper half: pixels (126,63), (127,63)
    EXPECT_EQ(gfx_px(126, 63), 0xc);
    EXPECT_EQ(gfx_px(127, 63), 0x3);
    EXPECT_EQ(map_cell(127, 31), 0);  // upper sprite half is not the map
    poke(0x2000 + 5 * 128 + 9, 0x77);
    EXPECT_EQ(map_cell(9, 5), 0x77);
    EXPECT_EQ(gfx_px(18, 64 + 10), 0);  // the map's own half is not the sheet
    poke(0x3000 + 200, 0xf1);
    EXPECT_EQ(cart->flags[200], 0xf1);
    poke(0x4400, 0x99);
    EXPECT_EQ(pstate.ram_mirror[0x4400], 0x99);
    poke(0x5f80 + 127, 0x42);
    EXPECT_EQ(pstate.gpio_pins[127], 0x42);
    EXPECT_EQ(gpio_read(127), 0x42);
    poke(0x7fff, 0xe2);
    EXPECT_EQ(screen_px(126, 127), 2);
    EXPECT_EQ(screen_px(127, 127), 0xe);
}

TEST_F(MemoryTest, SharedSpriteAndMapBytesUpdateBoth)
{
    poke(0x1000, 0x21);
    EXPECT_EQ(gfx_px(0, 64), 1);
    EXPECT_EQ(gfx_px(1, 64), 2);
    EXPECT_EQ(map_cell(0, 32), 0x21);
    // Map cell (x, y >= 32) lives at 0x1000 + (y - 32) * 128 + x.
    poke(0x1000 + 31 * 128 + 127, 0xfe);
    EXPECT_EQ(map_cell(127, 63), 0xfe);
    EXPECT_EQ(gfx_px(126, 127), 0xe);
    EXPECT_EQ(gfx_px(127, 127), 0xf);
    // A cell written through the map bitmap reads through memory.
    map_cell(4, 40) = 0x8d;
    EXPECT_EQ(peek(0x1000 + 8 * 128 + 4), 0);  // memory reads the sprite pixels
    sync_shared_map_to_gfx(cart);
    EXPECT_EQ(peek(0x1000 + 8 * 128 + 4), 0x8d);
}

TEST_F(MemoryTest, SharedSyncIsAnInverseInBothDirections)
{
    std::mt19937 rng(3);
    for (int32_t y = 64; y < 128; y++)
        for (int32_t x = 0; x < 128; x++)
            gfx_px(x, y) = uint8_t(rng() & 15);
    sync_shared_gfx_to_map(cart);
    for (int32_t a = 0x1000; a < 0x2000; a++) {
        int32_t off = a - 0x1000;
        ASSERT_EQ(map_cell(off % 128, 32 + off / 128), peek(a));
    }
    std::vector<uint8_t> before(cart->gfx->data, cart->gfx->data + 128 * 128);
    for (int32_t y = 64; y < 128; y++)
        for (int32_t x = 0; x < 128; x++)
            gfx_px(x, y) = 0;
    sync_shared_map_to_gfx(cart);
    EXPECT_EQ(0, std::memcmp(before.data(), cart->gfx->data, before.size()));
}

TEST_F(MemoryTest, ScreenBytesPackTwoPixelsAndMaskHighBits)
{
    screen_px(0, 0) = 7;
    screen_px(1, 0) = 12;
    EXPECT_EQ(peek(0x6000), 0xc7);
    screen_px(2, 5) = 0x13;  // high bits are not part of the colour
    screen_px(3, 5) = 0xf4;
    EXPECT_EQ(peek(0x6000 + 5 * 64 + 1), 0x43);
    poke(0x6000 + 5 * 64 + 1, 0x43);
    EXPECT_EQ(screen_px(2, 5), 3);
    EXPECT_EQ(screen_px(3, 5), 4);
}

TEST_F(MemoryTest, SfxAndMusicBytesDecodeIntoRecords)
{
    int32_t base = 0x3200 + 68 * 9 + 2 * 4;  // sfx 9, note 4
    poke(base, 0x80 | 45);                    // pitch 45, waveform bits 0..1 = 2
    poke(base + 1, 0x80 | 5 << 4 | 6 << 1 | 1);
    const sfx_note& n = cart->sfx[9].notes[4];
    EXPECT_EQ(n.pitch, 45);
    EXPECT_EQ(n.waveform, 6);
    EXPECT_EQ(n.volume, 6);
    EXPECT_EQ(n.effect, 5);
    EXPECT_EQ(n.custom, 128);
    poke(0x3200 + 68 * 9 + 65, 200);
    EXPECT_EQ(cart->sfx[9].speed, 200);

    poke(0x3100 + 4 * 7 + 2, 0x80 | 0x45);
    EXPECT_EQ(cart->music[7][2], 0x45);
    EXPECT_EQ(cart->music_flags[7], 4);
    poke(0x3100 + 4 * 7 + 2, 0x05);
    EXPECT_EQ(cart->music_flags[7], 0);
}

TEST_F(MemoryTest, WritesOutsideMemoryFaultAndReadsGiveZero)
{
    EXPECT_EQ(peek(0x8000), 0);
    EXPECT_EQ(peek(-1), 0);
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_EQ(mivo3_poke(&pstate, cart, 0x8000, 1), 1);
    EXPECT_EQ(pstate.pending_command, 4);
    EXPECT_STREQ(pstate.error_text, "bad memory access");
    pstate.pending_command = 0;
    poke(-5, 1);
    EXPECT_EQ(pstate.pending_command, 4);

    pstate.pending_command = 0;
    pstate.error_text[0] = 0;
    pstate.glitch_timer = 2;  // the reset glitch never stops the program
    poke(0x8000, 1);
    EXPECT_EQ(pstate.pending_command, 0);
    EXPECT_STREQ(pstate.error_text, "");
}

TEST_F(MemoryTest, WithoutAMachineOnlyCartRomIsReachable)
{
    EXPECT_EQ(mivo3_poke(nullptr, cart, 0x0010, 0x34), 0);
    EXPECT_EQ(mivo3_peek(nullptr, cart, 0x0010), 0x34);
    pstate.ram_mirror[0x4300] = 9;
    EXPECT_EQ(mivo3_peek(nullptr, cart, 0x4300), 0);
    mivo3_poke(nullptr, cart, 0x4301, 5);
    EXPECT_EQ(pstate.ram_mirror[0x4301], 0);
    mivo3_poke(nullptr, cart, 0x6000, 0xff);
    EXPECT_EQ(screen_px(0, 0), 0);
    EXPECT_EQ(mivo3_poke(nullptr, cart, 0x8000, 1), 1);  // still a fault
}

TEST_F(MemoryTest, CartDataBytesAreLittleEndianValues)
{
    pstate.cart_data_values[0] = 0x00012345;
    EXPECT_EQ(peek4(0x5e00), 0x00012345);
    poke(0x5e04 + 3, 0xff);
    poke(0x5e04 + 2, 0xff);
    EXPECT_EQ(pstate.cart_data_values[1], int32_t(0xffff0000));
    EXPECT_EQ(pstate.cart_data_dirty, 1);
    EXPECT_EQ(peek4(0x5e04), -65536);

    pstate.cart_data_dirty = 0;
    pstate.glitch_timer = 1;  // persistent data is protected during the glitch
    poke(0x5e00, 0x77);
    EXPECT_EQ(pstate.cart_data_values[0], 0x00012345);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
}

TEST_F(MemoryTest, ByteRegistersStoreTheByteAndReadTheLowByte)
{
    struct { int32_t addr; int32_t* field; } regs[] = {
        {0x5f00, &pstate.draw_palette[0]},     {0x5f0f, &pstate.draw_palette[15]},
        {0x5f10, &pstate.display_palette[0]},  {0x5f1f, &pstate.display_palette[15]},
        {0x5f25, &pstate.pen_colour},          {0x5f26, &pstate.cursor_x},
        {0x5f27, &pstate.cursor_y},            {0x5f2c, &pstate.screen_mode},
    };
    for (auto r : regs) {
        poke(r.addr, 0x18e);
        EXPECT_EQ(*r.field, 0x8e) << r.addr;
        *r.field = 0x1234;
        EXPECT_EQ(peek(r.addr), 0x34) << r.addr;
    }
}

TEST_F(MemoryTest, ClipRegistersApplyToTheScreenBitmap)
{
    poke(0x5f20, 10);
    poke(0x5f21, 20);
    poke(0x5f22, 100);
    poke(0x5f23, 90);
    EXPECT_EQ(pstate.clip_x0, 10);
    EXPECT_EQ(pstate.clip_y1, 90);
    EXPECT_EQ(mivo3_back_page->cx0, 10);
    EXPECT_EQ(mivo3_back_page->cy0, 20);
    EXPECT_EQ(mivo3_back_page->cx1, 100);
    EXPECT_EQ(mivo3_back_page->cy1, 90);
    poke(0x5f22, 250);  // kept as a byte, clamped in the bitmap
    EXPECT_EQ(peek(0x5f22), 250);
    EXPECT_EQ(mivo3_back_page->cx1, 128);
    poke(0x5f20, 120);  // x0 past x1: nothing drawable, still in bounds
    poke(0x5f22, 50);
    EXPECT_LE(mivo3_back_page->cx1, mivo3_back_page->cx0);
    EXPECT_LE(mivo3_back_page->cx0, 128);
}

TEST_F(MemoryTest, CameraRegistersHoldSigned16BitValues)
{
    poke(0x5f28, 0x34);
    poke(0x5f29, 0xff);
    EXPECT_EQ(pstate.camera_x, -256 + 0x34);
    EXPECT_EQ(peek2(0x5f28), -256 + 0x34);
    poke(0x5f28, 0x00);  // low byte replaced, sign kept
    EXPECT_EQ(pstate.camera_x, -256);
    poke(0x5f29, 0x01);
    EXPECT_EQ(pstate.camera_x, 256);
    pstate.camera_y = -3;
    EXPECT_EQ(peek(0x5f2a), 0xfd);
    EXPECT_EQ(peek(0x5f2b), 0xff);
    poke(0x5f2b, 0x7f);
    EXPECT_EQ(pstate.camera_y, 0x7ffd);
}

TEST_F(MemoryTest, FillPatternRegisters)
{
    poke(0x5f31, 0x5a);
    poke(0x5f32, 0xa5);
    EXPECT_EQ(pstate.fill_pattern, 0xa55a);
    poke(0x5f33, 0x01);
    EXPECT_EQ(pstate.fill_pattern, 0x1a55a);
    poke(0x5f33, 0x00);  // clears the transparency bit
    EXPECT_EQ(pstate.fill_pattern, 0xa55a);
    poke(0x5f33, 0x02);
    poke(0x5f33, 0x01);  // only bit 16 is cleared before the OR
    EXPECT_EQ(peek(0x5f33), 0x03);
    poke(0x5f31, 0x00);
    EXPECT_EQ(pstate.fill_pattern, 0x3a500);
}

TEST_F(MemoryTest, AudioRegistersKeepFourBitsAndReadTheMirror)
{
    for (int32_t i = 0; i < 4; i++) {
        poke(0x5f40 + i, 0xf0 | (i + 9));
        EXPECT_EQ(pstate.audio_regs[i], (i + 9) & 15);
        EXPECT_EQ(peek(0x5f40 + i), 0xf0 | (i + 9));
    }
}

TEST_F(MemoryTest, RegistersWithoutFieldsAreMirrorOnly)
{
    const int32_t mirror_only[] = {0x5f24, 0x5f2d, 0x5f2e, 0x5f2f, 0x5f30, 0x5f34, 0x5f35,
                                   0x5f3f, 0x5f44, 0x5f45, 0x5f7f};
    world_snapshot before, after;
    for (int32_t a : mirror_only) {
        before.take(cart);
        poke(a, 0xa7);
        EXPECT_EQ(peek(a), 0xa7) << a;
        EXPECT_EQ(pstate.ram_mirror[a], 0xa7);
        pstate.ram_mirror[a] = before.machine->ram_mirror[a];
        after.take(cart);
        EXPECT_TRUE(before.same_as(after)) << "register " << a << " touched more than its byte";
    }
}

TEST_F(MemoryTest, MemcpyShiftsOverlappingRangesBothWays)
{
    for (int32_t i = 0; i < 12; i++)
        poke(0x4300 + i, i + 1);
    mivo3_memcpy(&pstate, cart, 0x4301, 0x4300, 10);
    EXPECT_EQ(peek(0x4300), 1);
    for (int32_t i = 0; i < 10; i++)
        EXPECT_EQ(peek(0x4301 + i), i + 1);
    EXPECT_EQ(peek(0x430b), 12);

    for (int32_t i = 0; i < 12; i++)
        poke(0x4300 + i, i + 1);
    mivo3_memcpy(&pstate, cart, 0x4300, 0x4301, 10);
    for (int32_t i = 0; i < 10; i++)
        EXPECT_EQ(peek(0x4300 + i), i + 2);
    EXPECT_EQ(peek(0x430a), 11);
}

TEST_F(MemoryTest, MemcpyReadsZeroPastTheEnd)
{
    for (int32_t i = 0; i < 16; i++)
        poke(0x4300 + i, 0xee);
    for (int32_t i = 0; i < 8; i++)
        poke(0x7ff8 + i, 0x11 * (i + 1));
    mivo3_memcpy(&pstate, cart, 0x4300, 0x7ff8, 16);
    for (int32_t i = 0; i < 8; i++)
        EXPECT_EQ(peek(0x4300 + i), 0x11 * (i + 1));
    for (int32_t i = 8; i < 16; i++)
        EXPECT_EQ(peek(0x4300 + i), 0);
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(MemoryTest, MemcpyIgnoresLengthsOutOfRange)
{
    poke(0x4300, 1);
    poke(0x5000, 2);
    for (int32_t len : {0, -1, -100000, 0x8000, 0x7fffffff}) {
        mivo3_memcpy(&pstate, cart, 0x4300, 0x5000, len);
        mivo3_memset(&pstate, cart, 0x4300, 9, len);
        mivo3_reload(&pstate, cart, cart, 0x4300, 0, len);
        EXPECT_EQ(peek(0x4300), 1) << len;
    }
    EXPECT_EQ(pstate.pending_command, 0);
}

TEST_F(MemoryTest, MemcpyToOutsideFaultsOnce)
{
    mivo3_memcpy(&pstate, cart, 0x7ffc, 0x4300, 8);  // backward: last byte first
    EXPECT_EQ(pstate.pending_command, 4);
    EXPECT_STREQ(pstate.error_text, "bad memory access");
    pstate.pending_command = 0;
    poke(0x4300, 5);
    mivo3_memcpy(&pstate, cart, -2, 0x4300, 4);
    EXPECT_EQ(pstate.pending_command, 4);
    pstate.pending_command = 0;
    mivo3_memcpy(&pstate, cart, 0x7fffffff, 0x4300, 4);  // no wrap into memory
    EXPECT_EQ(pstate.pending_command, 4);
}

// Random copies within, across and between ranges give the same machine as
// the byte-by-byte copy in the stated direction.
TEST_F(MemoryTest, MemcpyMatchesTheByteByByteReference)
{
    std::mt19937 rng(42);
    fill_random(cart, rng);
    world_snapshot start, fast, slow;
    const int32_t interesting[] = {0,      0x0ff0, 0x1000, 0x1ff0, 0x2000, 0x2ff8, 0x3000, 0x30f0,
                                   0x3100, 0x31f8, 0x3200, 0x42f0, 0x4300, 0x5dc0, 0x5df8, 0x5e00,
                                   0x5efc, 0x5f00, 0x5f20, 0x5f30, 0x5f40, 0x5f7c, 0x5f80, 0x5ff8,
                                   0x6000, 0x7000, 0x7ff0};
    for (int i = 0; i < 400; i++) {
        int32_t src, dst, len;
        if (i % 2) {
            src = interesting[rng() % std::size(interesting)] + int32_t(rng() % 40) - 20;
            dst = interesting[rng() % std::size(interesting)] + int32_t(rng() % 40) - 20;
            len = 1 + int32_t(rng() % 300);
        } else {
            src = int32_t(rng() % 0x8000);
            dst = int32_t(rng() % 0x8000);
            len = 1 + int32_t(rng() % 0x2000);
        }
        if (i % 5 == 0)
            dst = src + int32_t(rng() % 64) - 32;  // heavy overlap
        start.take(cart);
        mivo3_memcpy(&pstate, cart, dst, src, len);
        fast.take(cart);
        start.restore(cart);
        reference_memcpy(cart, dst, src, len);
        slow.take(cart);
        ASSERT_TRUE(fast.same_as(slow)) << "memcpy(" << dst << ", " << src << ", " << len << ")";
    }
}

TEST_F(MemoryTest, MemsetWritesBytesThroughTheRegisters)
{
    mivo3_memset(&pstate, cart, 0x5f00, 0x13, 16);
    for (int32_t i = 0; i < 16; i++)
        EXPECT_EQ(pstate.draw_palette[i], 0x13);
    mivo3_memset(&pstate, cart, 0x2ffe, 0x1ab, 4);  // map end and first two flags
    EXPECT_EQ(map_cell(126, 31), 0xab);
    EXPECT_EQ(map_cell(127, 31), 0xab);
    EXPECT_EQ(cart->flags[0], 0xab);
    EXPECT_EQ(cart->flags[1], 0xab);
    EXPECT_EQ(cart->flags[2], 0);
    mivo3_memset(&pstate, cart, 0x7fff, 1, 2);
    EXPECT_EQ(pstate.pending_command, 4);
    EXPECT_EQ(peek(0x7fff), 1);
}

TEST_F(MemoryTest, ReloadCopiesRomIntoMachineMemory)
{
    mivo3_cart* rom = quon_create_mivo3_cart();
    ASSERT_NE(rom, nullptr);
    for (int32_t a = 0; a < 0x4300; a++)
        mivo3_cart_rom_write(rom, a, uint8_t(a * 13 + 5));
    mivo3_reload(&pstate, cart, rom, 0, 0, 0x4300);
    for (int32_t a = 0; a < 0x4300; a++)
        ASSERT_EQ(peek(a), uint8_t(a * 13 + 5)) << a;
    EXPECT_EQ(map_cell(3, 40), peek(0x1000 + 8 * 128 + 3));

    // Into user memory and the screen; source bytes past the ROM read 0.
    mivo3_reload(&pstate, cart, rom, 0x6000, 0x42f8, 16);
    for (int32_t i = 0; i < 8; i++)
        EXPECT_EQ(peek(0x6000 + i), uint8_t((0x42f8 + i) * 13 + 5));
    for (int32_t i = 8; i < 16; i++)
        EXPECT_EQ(peek(0x6000 + i), 0);
    mivo3_reload(&pstate, cart, rom, 0x5f00, 0x3000, 2);  // registers, byte by byte
    EXPECT_EQ(pstate.draw_palette[1], uint8_t(0x3001 * 13 + 5));
    mivo3_reload(&pstate, cart, rom, 0x4300, -4, 8);
    EXPECT_EQ(peek(0x4303), 0);
    EXPECT_EQ(peek(0x4304), 5);
    EXPECT_EQ(pstate.pending_command, 0);
    mivo3_reload(&pstate, cart, rom, 0x7ff0, 0, 0x20);
    EXPECT_EQ(pstate.pending_command, 4);
    quon_destroy_mivo3_cart(rom);
}

TEST_F(MemoryTest, ReloadFromTheWorkingCartItselfGoesForward)
{
    for (int32_t i = 0; i < 8; i++)
        poke(0x3000 + i, i + 1);
    mivo3_reload(&pstate, cart, cart, 0x3001, 0x3000, 4);
    // Each byte reads what the previous step wrote.
    for (int32_t i = 0; i < 5; i++)
        EXPECT_EQ(peek(0x3000 + i), 1);
}

TEST_F(MemoryTest, CstoreWritesMachineMemoryIntoRom)
{
    mivo3_cart* rom = quon_create_mivo3_cart();
    ASSERT_NE(rom, nullptr);
    for (int32_t i = 0; i < 64; i++)
        poke(0x4300 + i, 0x40 + i);
    mivo3_cstore(&pstate, cart, rom, 0x3000, 0x4300, 64);
    for (int32_t i = 0; i < 64; i++)
        EXPECT_EQ(rom->flags[i], 0x40 + i);
    EXPECT_EQ(cart->flags[0], 0);  // the working cart is not the target

    screen_px(0, 0) = 9;
    mivo3_cstore(&pstate, cart, rom, 0x1000, 0x6000, 1);
    EXPECT_EQ(rom->gfx->rows[64][0], 9);
    EXPECT_EQ(rom->map->rows[32][0], 9);

    mivo3_cstore(&pstate, cart, rom, 0x42fe, 0x4300, 8);  // no ROM past 0x42ff
    EXPECT_EQ(mivo3_cart_rom_read(rom, 0x42ff), 0x41);
    EXPECT_EQ(pstate.pending_command, 0);
    mivo3_cstore(&pstate, cart, rom, 0x10, 0x7ffe, 4);  // source past the end reads 0
    EXPECT_EQ(mivo3_cart_rom_read(rom, 0x12), 0);
    mivo3_cstore(&pstate, cart, rom, -1, 0x4300, 4);
    EXPECT_EQ(pstate.pending_command, 4);
    quon_destroy_mivo3_cart(rom);
}

TEST_F(MemoryTest, ResetRuntimeStateRestoresTheDrawState)
{
    poke(0x5f00, 3);
    poke(0x5f20, 10);
    poke(0x5f25, 9);
    poke(0x5f26, 50);
    poke(0x5f27, 77);
    poke(0x5f29, 0xff);
    poke(0x5f2c, 3);
    poke(0x5f33, 0xff);
    poke(0x5f40, 0xf);
    poke(0x5f2e, 1);
    pstate.line_end_x = 12;
    pstate.display_palette[4] = 0x80;
    reset_runtime_state(&pstate, cart);
    EXPECT_EQ(pstate.cursor_y, 77);
    EXPECT_EQ(pstate.cursor_x, 0);
    EXPECT_EQ(pstate.pen_colour, 6);
    EXPECT_EQ(pstate.line_end_x, 0);
    EXPECT_EQ(pstate.camera_x, 0);
    EXPECT_EQ(pstate.screen_mode, 0);
    EXPECT_EQ(pstate.fill_pattern, 0);
    EXPECT_EQ(pstate.draw_palette[0], 0x10);
    EXPECT_EQ(pstate.draw_palette[15], 15);
    EXPECT_EQ(pstate.display_palette[4], 4);
    EXPECT_EQ(pstate.audio_regs[0], 0);
    EXPECT_EQ(peek(0x5f2e), 0);
    EXPECT_EQ(pstate.clip_x1, 128);
    EXPECT_EQ(mivo3_back_page->cx0, 0);
    EXPECT_EQ(mivo3_back_page->cx1, 128);
    EXPECT_EQ(mivo3_back_page->cy1, 128);
}

TEST_F(MemoryTest, GpioIndexesOutsideThePinsAreIgnored)
{
    gpio_write(0, 300);
    EXPECT_EQ(gpio_read(0), 300 & 0xff);
    gpio_write(128, 1);
    gpio_write(-1, 1);
    EXPECT_EQ(gpio_read(128), 0);
    EXPECT_EQ(gpio_read(-1), 0);
    EXPECT_EQ(peek(0x5f80), 300 & 0xff);
}

}  // namespace
