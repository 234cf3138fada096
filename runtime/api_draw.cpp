// Drawing bindings: argument counts and defaults in front of the primitives,
// which charge their own cycles.
#include "machine/draw.h"
#include "machine/fixed.h"
#include "runtime/api_internal.h"

static int m3_camera(lua_State* L) {
    mivo3_camera(api_num(L, 1), api_num(L, 2));
    return 0;
}

static int m3_clip(lua_State* L) {
    if (lua_gettop(L) < 4)
        mivo3_clip_reset();
    else
        mivo3_clip(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num(L, 4));
    return 0;
}

static int m3_cls(lua_State* L) {
    mivo3_cls(api_num(L, 1));
    return 0;
}

static int m3_pset(lua_State* L) {
    int n = lua_gettop(L);
    if (n >= 2) mivo3_pset(api_num(L, 1), api_num(L, 2), n >= 3, api_num(L, 3));
    return 0;
}

static int m3_pget(lua_State* L) {
    api_push_int(L, lua_gettop(L) < 2 ? 0 : mivo3_pget(api_num(L, 1), api_num(L, 2)));
    return 1;
}

static int m3_color(lua_State* L) {
    mivo3_color(api_num(L, 1));
    return 0;
}

static int m3_print(lua_State* L) {
    int n = lua_gettop(L);
    std::string text = api_value_text(L, 1);
    mivo3_print(text.c_str(), n < 1 ? 1 : n, api_num(L, 2), api_num(L, 3), api_num(L, 4));
    return 0;
}

static int m3_cursor(lua_State* L) {
    mivo3_cursor(api_num(L, 1), api_num(L, 2), lua_gettop(L) >= 3, api_num(L, 3));
    return 0;
}

static int m3_spr(lua_State* L) {
    mivo3_spr(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num_or(L, 4, fix_one),
              api_num_or(L, 5, fix_one), lua_toboolean(L, 6), lua_toboolean(L, 7));
    return 0;
}

static int m3_sspr(lua_State* L) {
    int32_t sw = api_num(L, 3), sh = api_num(L, 4);
    mivo3_sspr(api_num(L, 1), api_num(L, 2), sw, sh, api_num(L, 5), api_num(L, 6), api_num_or(L, 7, sw),
               api_num_or(L, 8, sh), lua_toboolean(L, 9), lua_toboolean(L, 10));
    return 0;
}

static int m3_rect(lua_State* L) {
    mivo3_rect(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num(L, 4), lua_gettop(L) >= 5, api_num(L, 5));
    return 0;
}

static int m3_rectfill(lua_State* L) {
    mivo3_rectfill(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num(L, 4), lua_gettop(L) >= 5,
                   api_num(L, 5));
    return 0;
}

static int m3_circ(lua_State* L) {
    int n = lua_gettop(L);
    if (n >= 2) mivo3_circ(api_num(L, 1), api_num(L, 2), api_num_or(L, 3, 4 * fix_one), n >= 4, api_num(L, 4));
    return 0;
}

static int m3_circfill(lua_State* L) {
    int n = lua_gettop(L);
    if (n >= 2)
        mivo3_circfill(api_num(L, 1), api_num(L, 2), api_num_or(L, 3, 4 * fix_one), n >= 4, api_num(L, 4));
    return 0;
}

static int m3_line(lua_State* L) {
    int n = lua_gettop(L);
    if (n == 2)
        mivo3_line_to(api_num(L, 1), api_num(L, 2));
    else
        mivo3_line(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num(L, 4), n >= 5, api_num(L, 5));
    return 0;
}

static int m3_pal(lua_State* L) {
    if (lua_gettop(L) == 0)
        mivo3_pal_reset();
    else
        mivo3_pal(api_num(L, 1), api_num(L, 2), api_num(L, 3));
    return 0;
}

static int m3_palt(lua_State* L) {
    if (lua_gettop(L) == 0)
        mivo3_palt_reset();
    else
        mivo3_palt(api_num(L, 1), lua_toboolean(L, 2));
    return 0;
}

static int m3_fillp(lua_State* L) {
    mivo3_fillp(api_num(L, 1));
    return 0;
}

// Each missing size takes its own default, so map(x, y, sx, sy, w) still
// draws 32 rows rather than none.
static int m3_map(lua_State* L) {
    mivo3_map(api_num(L, 1), api_num(L, 2), api_num(L, 3), api_num(L, 4), api_num_or(L, 5, 128 * fix_one),
              api_num_or(L, 6, 32 * fix_one), api_num(L, 7));
    return 0;
}

static int m3_mget(lua_State* L) {
    api_push_int(L, mivo3_mget(api_num(L, 1), api_num(L, 2)));
    return 1;
}

static int m3_mset(lua_State* L) {
    mivo3_mset(api_num(L, 1), api_num(L, 2), api_num(L, 3));
    return 0;
}

static int m3_fget(lua_State* L) {
    if (lua_gettop(L) < 2)
        api_push_int(L, mivo3_fget(api_num(L, 1)));
    else
        lua_pushboolean(L, mivo3_fget_bit(api_num(L, 1), api_num(L, 2)));
    return 1;
}

static int m3_fset(lua_State* L) {
    int n = lua_gettop(L);
    if (n == 2)
        mivo3_fset(api_num(L, 1), api_num(L, 2));
    else if (n >= 3)
        mivo3_fset_bit(api_num(L, 1), api_num(L, 2), lua_toboolean(L, 3));
    return 0;
}

static int m3_sget(lua_State* L) {
    api_push_int(L, mivo3_sget(api_num(L, 1), api_num(L, 2)));
    return 1;
}

static int m3_sset(lua_State* L) {
    mivo3_sset(api_num(L, 1), api_num(L, 2), lua_gettop(L) >= 3, api_num(L, 3));
    return 0;
}

void add_draw_functions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"camera", m3_camera}, {"clip", m3_clip},         {"cls", m3_cls},       {"pset", m3_pset},
        {"pget", m3_pget},     {"color", m3_color},       {"print", m3_print},   {"cursor", m3_cursor},
        {"spr", m3_spr},       {"sspr", m3_sspr},         {"rect", m3_rect},     {"rectfill", m3_rectfill},
        {"circ", m3_circ},     {"circfill", m3_circfill}, {"line", m3_line},     {"pal", m3_pal},
        {"palt", m3_palt},     {"fillp", m3_fillp},       {"mapdraw", m3_map},   {"map", m3_map},
        {"mget", m3_mget},     {"mset", m3_mset},         {"fget", m3_fget},     {"fset", m3_fset},
        {"sget", m3_sget},     {"sset", m3_sset},
    };
    api_register(L, functions);
}
