// Button bindings. Without arguments btn and btnp give the bit mask of the
// first two players' buttons, otherwise a boolean.
#include "runtime/api_internal.h"
#include "runtime/buttons.h"

template <int32_t (*F)(int, int32_t, int32_t, int32_t*)>
static int button_binding(lua_State* L) {
    int n = lua_gettop(L);
    int32_t v = F(n, api_int(L, 1), api_int(L, 2), nullptr);
    if (n == 0)
        api_push_int(L, v);
    else
        lua_pushboolean(L, v != 0);
    return 1;
}

void add_input_functions(lua_State* L) {
    static const luaL_Reg functions[] = {{"btn", button_binding<mivo3_btn>}, {"btnp", button_binding<mivo3_btnp>}};
    api_register(L, functions);
}
