// cartdata, dget and dset: the cart's persistent values.
#include <cstring>

#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/api_internal.h"
#include "runtime/run_loop.h"
#include "storage/cdata.h"

static int m3_cartdata(lua_State* L) {
    if (lua_gettop(L) < 1 || lua_type(L, 1) != LUA_TSTRING) return 0;
    size_t len = 0;
    const char* id = lua_tolstring(L, 1, &len);
    // A NUL byte would cut the id short and claim another cart's data.
    if (std::memchr(id, 0, len)) {
        mivo3_runtime_error("cart data id: bad char");
        return 0;
    }
    int32_t result = load_cdata(id);
    lua_pushboolean(L, result == 0);
    return 1;
}

static int m3_dget(lua_State* L) {
    if (!cdata_access_allowed(mivo3_run.forum_id)) {
        mivo3_runtime_error("** dget called before cartdata()");
        return 0;
    }
    int32_t i = api_int(L, 1);
    lua_pushnumber(L, i >= 0 && i < MIVO3_CDATA_VALUES ? pstate.cart_data_values[i] : 0);
    return 1;
}

static int m3_dset(lua_State* L) {
    if (!cdata_access_allowed(mivo3_run.forum_id)) {
        mivo3_runtime_error("** dset called before cartdata()");
        return 0;
    }
    int32_t i = api_int(L, 1);
    if (i >= 0 && i < MIVO3_CDATA_VALUES) {
        pstate.cart_data_values[i] = api_num(L, 2);
        pstate.cart_data_dirty = 1;
    }
    return 0;
}

// Runs for every new language state, that is at every cart start: each run
// must claim its id again.
void add_cdata_functions(lua_State* L) {
    clear_cdata_claim();
    static const luaL_Reg functions[] = {
        {"cartdata", m3_cartdata}, {"dget", m3_dget}, {"dset", m3_dset}};
    api_register(L, functions);
}
