// Memory bindings: widths and byte order, refunds, block charges, reload and
// cstore between RAM, ROM and the file hooks.
#include "tests/runtime/api_fixture.h"

#include <cstring>

#include "machine/memory.h"

using ApiMemory = ApiTest;

namespace {
int32_t hook_calls;
std::string hook_name;
int32_t hook_args[3];

int32_t record_hook(int32_t dst, int32_t src, int32_t len, const char* name) {
    hook_calls++;
    hook_name = name ? name : "(own)";
    hook_args[0] = dst, hook_args[1] = src, hook_args[2] = len;
    return 77;
}
}  // namespace

TEST_F(ApiMemory, WidthsAndByteOrder) {
    EXPECT_EQ(run("poke4(0x4300, -1.5) return peek(0x4300), peek(0x4301), peek(0x4302), peek(0x4303)"),
              "0,128,254,255");
    EXPECT_EQ(run("return peek4(0x4300)"), "-1.5");
    EXPECT_EQ(run("poke2(0x4310, -2) return peek2(0x4310), peek(0x4310), peek(0x4311)"), "-2,254,255");
    EXPECT_EQ(run("poke(0x4320, 0x1ff.8) return peek(0x4320)"), "255");
    EXPECT_EQ(run("return peek(-1), peek(0x8000), peek2(0x7fff)"), "0,0,0");
}

TEST_F(ApiMemory, PokeFourStopsAtTheFirstFaultingByte) {
    run("poke4(0x7ffe, 0x1234.5678)");
    EXPECT_EQ(pstate.pending_command, 4);
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x7ffe), 0x78);
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x7fff), 0x56);
}

TEST_F(ApiMemory, RefundsOnlyForThePlainForm) {
    EXPECT_EQ(charge_of("peek(0)"), -2);
    EXPECT_EQ(charge_of("peek2(0)"), -2);
    EXPECT_EQ(charge_of("peek4(0)"), -2);
    EXPECT_EQ(charge_of("peek(0, 1)"), 0);
    EXPECT_EQ(charge_of("poke(0x4300, 1)"), -3);
    EXPECT_EQ(charge_of("poke2(0x4300, 1)"), -2);
    EXPECT_EQ(charge_of("poke4(0x4300, 1)"), -2);
    EXPECT_EQ(charge_of("poke(0x4300, 1, 2)"), 0);
}

TEST_F(ApiMemory, BlockCharges) {
    EXPECT_EQ(charge_of("memcpy(0x4300, 0x4400, 100)"), 101);
    EXPECT_EQ(charge_of("memset(0x4300, 1, 100)"), 50);
    EXPECT_EQ(charge_of("memset(0x4300, 1, 0)"), 1);  // a charge of 0 counts as 1
    EXPECT_EQ(charge_of("reload()"), 32768);
    EXPECT_EQ(charge_of("reload(0, 0, 16)"), 128);
    EXPECT_EQ(charge_of("cstore(0, 0, 16)"), 1024);
    EXPECT_EQ(charge_of("cstore()"), 262144);
}

TEST_F(ApiMemory, ReloadCopiesTheLoadedCart) {
    mivo3_cart_rom_write(rom, 0x10, 0xab);
    mivo3_cart_rom_write(rom, 0x1000, 0xcd);
    EXPECT_EQ(run("return reload(0x4300, 0x10, 1)"), "1");
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x4300), 0xab);
    EXPECT_EQ(run("return reload()"), "17152");
    EXPECT_EQ(mivo3_peek(&pstate, cart, 0x1000), 0xcd);
}

TEST_F(ApiMemory, CstoreWritesRomAndReloadReadsItBack) {
    run("poke(0x4300, 42) cstore(0x20, 0x4300, 1) poke(0x20, 0)");
    EXPECT_EQ(mivo3_cart_rom_read(rom, 0x20), 42);
    EXPECT_EQ(run("reload(0x20, 0x20, 1) return peek(0x20)"), "42");
}

TEST_F(ApiMemory, FileFormsGoThroughTheHooks) {
    hook_calls = 0;
    EXPECT_EQ(run("return reload(0, 0, 8, 'other.m3')"), "0");  // no storage installed
    mivo3_reload_file_hook = record_hook;
    mivo3_cstore_file_hook = record_hook;
    EXPECT_EQ(run("return reload(1, 2, 3, 'other.m3')"), "77");
    EXPECT_EQ(hook_name, "other.m3");
    EXPECT_EQ(hook_args[0], 1);
    EXPECT_EQ(hook_args[2], 3);
    EXPECT_EQ(run("return cstore(4, 5, 6, 'x.m3')"), "77");
    EXPECT_EQ(hook_name, "x.m3");
    EXPECT_EQ(run("return cstore(0, 0x4300, 2)"), "77");
    EXPECT_EQ(hook_name, "(own)");
    EXPECT_EQ(hook_calls, 3);
}

TEST_F(ApiMemory, ReservedAndOverlongNamesAreRefused) {
    hook_calls = 0;
    mivo3_reload_file_hook = record_hook;
    mivo3_cstore_file_hook = record_hook;
    EXPECT_EQ(run("return cstore(0, 0, 4, '__sys')"), "0");
    EXPECT_EQ(run("local s = 'a' for i = 1, 9 do s = s .. s end return cstore(0, 0, 4, s)"), "0");
    EXPECT_EQ(hook_calls, 0);
    // reload treats a reserved name as no file: the loaded cart is read.
    EXPECT_EQ(run("return reload(0, 0, 4, '__sys')"), "4");
    EXPECT_EQ(hook_calls, 0);
}
