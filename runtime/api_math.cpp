// Math bindings and the machine's random generator.
#include "machine/fixed.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/api_internal.h"

namespace {

struct random_state {
    uint32_t hi, lo;
};

uint32_t rotl16(uint32_t v) { return (v << 16) | (v >> 16); }

uint32_t step(random_state& s) {
    s.hi = rotl16(s.hi) + s.lo;
    s.lo += s.hi;
    return s.hi;
}

random_state seeded(uint32_t seed) {
    random_state s = seed == 0 ? random_state{0x60009755u, 0xdeadbeefu} : random_state{seed ^ 0xbead29bau, seed};
    for (int i = 0; i < 32; i++) step(s);
    return s;
}

random_state generator = seeded(0);

}  // namespace

void mivo3_srand(uint32_t seed) { generator = seeded(seed); }

uint32_t mivo3_random(uint32_t m) {
    if (m == 0) return 0;
    return step(generator) % m;
}

static int m3_rnd(lua_State* L) {
    spend_cpu(4);
    lua_pushnumber(L, static_cast<int32_t>(mivo3_random(static_cast<uint32_t>(api_num_or(L, 1, fix_one)))));
    return 1;
}

static int m3_srand(lua_State* L) {
    mivo3_srand(static_cast<uint32_t>(api_num(L, 1)) & 0x7fffffffu);
    return 0;
}

template <int32_t (*F)(int32_t)>
static int unary(lua_State* L) {
    lua_pushnumber(L, F(api_num(L, 1)));
    return 1;
}

template <int32_t (*F)(int32_t, int32_t)>
static int binary(lua_State* L) {
    lua_pushnumber(L, F(api_num(L, 1), api_num(L, 2)));
    return 1;
}

// Cheap operations give back part of the call overhead, but only when called
// in their plain form.
template <int32_t (*F)(int32_t)>
static int unary_refunded(lua_State* L) {
    int32_t r = F(api_num(L, 1));
    mivo3_refund_unary_op(lua_gettop(L));
    lua_pushnumber(L, r);
    return 1;
}

template <int32_t (*F)(int32_t, int32_t)>
static int binary_refunded(lua_State* L) {
    int32_t r = F(api_num(L, 1), api_num(L, 2));
    mivo3_refund_binary_op(lua_gettop(L));
    lua_pushnumber(L, r);
    return 1;
}

static int m3_mid(lua_State* L) {
    lua_pushnumber(L, mivo3_mid(api_num(L, 1), api_num(L, 2), api_num(L, 3)));
    return 1;
}

void add_math_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"rnd", m3_rnd},
        {"srand", m3_srand},
        {"flr", unary_refunded<mivo3_flr>},
        {"ceil", unary_refunded<mivo3_ceil>},
        {"sgn", unary<mivo3_sgn>},
        {"abs", unary<mivo3_abs>},
        {"min", binary<mivo3_min>},
        {"max", binary<mivo3_max>},
        {"mid", m3_mid},
        {"cos", unary<fcos>},
        {"sin", unary<fsin>},
        {"sqrt", unary<mivo3_sqrt>},
        {"atan2", binary<fatan2>},
        {"band", binary_refunded<mivo3_band>},
        {"bor", binary_refunded<mivo3_bor>},
        {"bxor", binary_refunded<mivo3_bxor>},
        {"bnot", unary_refunded<mivo3_bnot>},
        {"shl", binary_refunded<mivo3_shl>},
        {"shr", binary_refunded<mivo3_shr>},
        {"lshr", binary_refunded<mivo3_lshr>},
        {"rotl", binary_refunded<mivo3_rotl_num>},
        {"rotr", binary_refunded<mivo3_rotr_num>},
    };
    api_register(L, functions);
}
