#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "machine/lua_alloc.h"
#include "runtime/cpu.h"

namespace {

int soft_yields;

struct LuaAllocTest : ::testing::Test {
    std::unique_ptr<machine_state> m = std::make_unique<machine_state>();
    int fake_state = 0;

    void SetUp() override
    {
        std::memset(static_cast<void*>(m.get()), 0, sizeof *m);
        soft_yields = 0;
        mivo3_vm = {};
        mivo3_vm.state = &fake_state;
        mivo3_vm.soft_yield = [](void*) { soft_yields++; };
    }
    void TearDown() override { mivo3_vm = {}; }

    void* alloc(size_t tag, size_t size) { return mivo3_lua_alloc(m.get(), nullptr, tag, size); }
    void* resize(void* p, size_t old_size, size_t size) { return mivo3_lua_alloc(m.get(), p, old_size, size); }
    void release(void* p, size_t size) { EXPECT_EQ(mivo3_lua_alloc(m.get(), p, size, 0), nullptr); }
};

TEST_F(LuaAllocTest, NewBlocksAreChargedByTag)
{
    struct { size_t tag; int32_t charge; } cases[] = {
        {4, 100}, {5, 100}, {6, 100}, {1, 100}, {3, 100},
        {7, 32}, {10, 32}, {19, 32},
        {2, 0}, {20, 0}, {38, 0}, {1000, 0},
    };
    for (auto c : cases) {
        int32_t before = m->lua_bytes;
        void* p = alloc(c.tag, 100);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(m->lua_bytes - before, c.charge) << "tag " << c.tag;
        EXPECT_EQ(mivo3_lua_block_charge(p), c.charge);
        release(p, 100);
        EXPECT_EQ(m->lua_bytes, before) << "tag " << c.tag;
    }
}

TEST_F(LuaAllocTest, UntaggedBlocksAreFreeWhileCompiling)
{
    void* a = alloc(0, 64);
    EXPECT_EQ(m->lua_bytes, 64);
    m->compiling = 1;
    void* b = alloc(0, 64);
    void* c = alloc(4, 64);  // other tags are charged as usual
    EXPECT_EQ(m->lua_bytes, 128);
    m->compiling = 0;
    b = resize(b, 64, 4096);  // a free block stays free when it grows
    EXPECT_EQ(m->lua_bytes, 128);
    release(a, 64);
    release(b, 4096);
    release(c, 64);
    EXPECT_EQ(m->lua_bytes, 0);
}

TEST_F(LuaAllocTest, ResizedBlocksAreChargedTheirNewSizeAndKeepTheirData)
{
    auto* p = static_cast<uint8_t*>(alloc(5, 16));
    for (int i = 0; i < 16; i++)
        p[i] = uint8_t(i * 3);
    p = static_cast<uint8_t*>(resize(p, 16, 1000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(m->lua_bytes, 1000);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(p[i], i * 3);
    p = static_cast<uint8_t*>(resize(p, 1000, 8));
    EXPECT_EQ(m->lua_bytes, 8);
    void* flat = alloc(8, 200);  // a flat-charged block is charged by size once resized
    flat = resize(flat, 200, 300);
    EXPECT_EQ(m->lua_bytes, 8 + 300);
    release(p, 8);
    release(flat, 300);
    EXPECT_EQ(m->lua_bytes, 0);
    release(nullptr, 0);  // freeing nothing is allowed
}

TEST_F(LuaAllocTest, BlocksAreAlignedForAnyObject)
{
    for (size_t size : {1, 3, 8, 24, 100}) {
        void* p = alloc(0, size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
        release(p, size);
    }
}

TEST_F(LuaAllocTest, PassingTwoMegabytesAsksForASoftYield)
{
    m->lua_bytes = MIVO3_LUA_SOFT_LIMIT;
    void* p = alloc(0, 10);
    EXPECT_EQ(m->soft_yield_requested, 0);  // exactly at the limit is fine
    void* q = alloc(0, 10);                 // now above it
    EXPECT_EQ(m->soft_yield_requested, 1);
    EXPECT_EQ(soft_yields, 1);
    EXPECT_NE(q, nullptr);
    release(p, 10);
    release(q, 10);
}

TEST_F(LuaAllocTest, CodeOverheadIsNotCountedAgainstTheLimits)
{
    m->code_overhead = 0x100000;
    m->lua_bytes = MIVO3_LUA_SOFT_LIMIT + 0x80000;
    void* p = alloc(0, 10);
    EXPECT_EQ(m->soft_yield_requested, 0);
    EXPECT_EQ(soft_yields, 0);
    release(p, 10);
}

TEST_F(LuaAllocTest, PassingTheHardLimitRefusesGrowthButNotShrinking)
{
    void* p = alloc(0, 4096);
    m->lua_bytes = MIVO3_LUA_ALLOC_LIMIT + 1;
    EXPECT_EQ(alloc(0, 10), nullptr);
    EXPECT_EQ(m->alloc_failed, 1);
    EXPECT_EQ(resize(p, 4096, 8192), nullptr);
    void* smaller = resize(p, 4096, 100);
    ASSERT_NE(smaller, nullptr);
    EXPECT_EQ(m->lua_bytes, MIVO3_LUA_ALLOC_LIMIT + 1 - 4096 + 100);
    release(smaller, 100);
}

TEST_F(LuaAllocTest, ChargesThatWouldOverflowAreRefused)
{
    m->lua_bytes = 0x7fffff00;
    m->code_overhead = 0x7fff0000;  // keeps the net amount under the limits
    EXPECT_EQ(alloc(0, 0x1000), nullptr);
    EXPECT_EQ(m->alloc_failed, 1);
    EXPECT_EQ(m->lua_bytes, 0x7fffff00);
    EXPECT_EQ(alloc(0, SIZE_MAX - 4), nullptr);
}

TEST_F(LuaAllocTest, NullUserDataChargesTheGlobalMachine)
{
    int32_t before = pstate.lua_bytes;
    void* p = mivo3_lua_alloc(nullptr, nullptr, 0, 48);
    EXPECT_EQ(pstate.lua_bytes - before, 48);
    mivo3_lua_alloc(nullptr, p, 48, 0);
    EXPECT_EQ(pstate.lua_bytes, before);
}

}  // namespace
