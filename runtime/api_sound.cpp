// Sound bindings: sfx and music on the working cart.
#include "audio/sequencer.h"
#include "machine/pstate.h"
#include "runtime/api_internal.h"

static int m3_sfx(lua_State* L) {
    int32_t cycles = mivo3_sfx(pstate.cart, lua_gettop(L), api_int(L, 1), api_int(L, 2), api_int(L, 3),
                               api_int(L, 4));
    if (cycles > 0) spend_cpu(cycles);
    return 0;
}

static int m3_music(lua_State* L) {
    int32_t cycles = mivo3_music(pstate.cart, api_int(L, 1), api_int(L, 2), api_int(L, 3));
    if (cycles > 0) spend_cpu(cycles);
    return 0;
}

void add_sound_functions(lua_State* L) {
    static const luaL_Reg functions[] = {{"sfx", m3_sfx}, {"music", m3_music}};
    api_register(L, functions);
}
