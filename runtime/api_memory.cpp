// Memory bindings: peek/poke in their three widths, block copies and fills,
// and reload/cstore between machine memory and cart ROM or cart files.
#include <algorithm>
#include <cstring>

#include "machine/memory.h"
#include "runtime/api.h"
#include "runtime/api_internal.h"
#include "storage/cart.h"

int32_t (*mivo3_reload_file_hook)(int32_t, int32_t, int32_t, const char*) = nullptr;
int32_t (*mivo3_cstore_file_hook)(int32_t, int32_t, int32_t, const char*) = nullptr;

static uint8_t peek_byte(int32_t addr) { return mivo3_peek(&pstate, pstate.cart, addr); }

static int32_t clamp_cycles(int64_t n) { return int32_t(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX)); }

static int m3_peek(lua_State* L) {
    int32_t v = peek_byte(api_int(L, 1));
    if (lua_gettop(L) == 1) refund_cpu(-2);
    api_push_int(L, v);
    return 1;
}

static int m3_peek2(lua_State* L) {
    int32_t a = api_int(L, 1);
    int32_t v = int16_t(uint16_t(peek_byte(a) | (peek_byte(a + 1) << 8)));
    if (lua_gettop(L) == 1) refund_cpu(-2);
    api_push_int(L, v);
    return 1;
}

static int m3_peek4(lua_State* L) {
    int32_t a = api_int(L, 1);
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | peek_byte(a + i);
    if (lua_gettop(L) == 1) refund_cpu(-2);
    lua_pushnumber(L, int32_t(v));
    return 1;
}

// Writes the low `bytes` bytes of v from addr upward, low byte first; the
// first faulting address ends the write.
static void poke_bytes(int32_t addr, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++, v >>= 8)
        if (mivo3_poke(&pstate, pstate.cart, addr + i, int32_t(v & 0xff)) != 0) return;
}

static int m3_poke(lua_State* L) {
    poke_bytes(api_int(L, 1), uint32_t(api_int(L, 2)), 1);
    if (lua_gettop(L) == 2) refund_cpu(-3);
    return 0;
}

static int m3_poke2(lua_State* L) {
    poke_bytes(api_int(L, 1), uint32_t(api_int(L, 2)), 2);
    if (lua_gettop(L) == 2) refund_cpu(-2);
    return 0;
}

static int m3_poke4(lua_State* L) {
    poke_bytes(api_int(L, 1), uint32_t(api_num(L, 2)), 4);
    if (lua_gettop(L) == 2) refund_cpu(-2);
    return 0;
}

static int m3_memcpy(lua_State* L) {
    int32_t len = api_int(L, 3);
    spend_cpu(clamp_cycles(int64_t(len) + 1));
    mivo3_memcpy(&pstate, pstate.cart, api_int(L, 1), api_int(L, 2), len);
    return 0;
}

static int m3_memset(lua_State* L) {
    int32_t len = api_int(L, 3);
    spend_cpu(clamp_cycles((int64_t(len) + 1) / 2));
    mivo3_memset(&pstate, pstate.cart, api_int(L, 1), api_int(L, 2), len);
    return 0;
}

struct block_args {
    int32_t dst = 0, src = 0, len = 0x4300;
};

static block_args read_block_args(lua_State* L) {
    block_args b;
    if (lua_gettop(L) >= 3) {
        b.dst = api_int(L, 1);
        b.src = api_int(L, 2);
        b.len = api_int(L, 3);
    }
    return b;
}

// A name the file forms refuse: the system's own stores start with "__", and
// a NUL byte would cut the name into another one.
static bool refused_name(const char* name, size_t len) {
    return std::strncmp(name, "__", 2) == 0 || std::memchr(name, 0, len) != nullptr;
}

// The file name of reload/cstore: a string fourth argument not refused.
static const char* file_arg(lua_State* L, size_t* len) {
    if (lua_gettop(L) < 4 || lua_type(L, 4) != LUA_TSTRING) return nullptr;
    const char* name = lua_tolstring(L, 4, len);
    return refused_name(name, *len) ? nullptr : name;
}

static int m3_reload(lua_State* L) {
    block_args b = read_block_args(L);
    spend_cpu(b.len <= 4096 ? clamp_cycles(int64_t(b.len) * 8) : 32768);
    size_t name_len = 0;
    int32_t result;
    if (const char* name = file_arg(L, &name_len)) {
        result = mivo3_reload_file_hook ? mivo3_reload_file_hook(b.dst, b.src, b.len, name) : 0;
    } else {
        mivo3_reload(&pstate, pstate.cart, mivo3_current_cart, b.dst, b.src, b.len);
        result = b.len;
    }
    api_push_int(L, result);
    return 1;
}

static int m3_cstore(lua_State* L) {
    block_args b = read_block_args(L);
    spend_cpu(clamp_cycles(int64_t(std::min(b.len, 4096)) * 64));
    int32_t result = 0;
    if (lua_gettop(L) >= 4 && lua_type(L, 4) == LUA_TSTRING) {
        size_t name_len = 0;
        const char* name = lua_tolstring(L, 4, &name_len);
        if (name_len < 512 && !refused_name(name, name_len) && mivo3_cstore_file_hook)
            result = mivo3_cstore_file_hook(b.dst, b.src, b.len, name);
    } else if (mivo3_cstore_file_hook) {
        result = mivo3_cstore_file_hook(b.dst, b.src, b.len, nullptr);
    } else if (b.len >= 1 && b.len <= 0x7fff) {
        // Without a storage workflow there is no store file, but the bytes
        // still reach the loaded cart's ROM, which reload reads.
        mivo3_cstore(&pstate, pstate.cart, mivo3_current_cart, b.dst, b.src, b.len);
        result = b.len;
    }
    api_push_int(L, result);
    return 1;
}

void add_memory_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"peek", m3_peek},     {"poke", m3_poke},     {"peek2", m3_peek2},   {"poke2", m3_poke2},
        {"peek4", m3_peek4},   {"poke4", m3_poke4},   {"memcpy", m3_memcpy}, {"memset", m3_memset},
        {"reload", m3_reload}, {"cstore", m3_cstore},
    };
    api_register(L, functions);
}
