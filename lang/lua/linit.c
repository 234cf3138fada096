/*
** $Id: linit.c,v 1.32.1.1 2013/04/12 18:48:47 roberto Exp $
** Initialization of libraries for lua.c and other clients
** See Copyright Notice in lua.h
*/


/*
** A cart's global environment holds only what the console binds into it
** (the library functions declared in lualib.h, under the console's own
** names), so no library table is opened here.
*/


#define linit_c
#define LUA_LIB

#include "lua.h"

#include "lualib.h"
#include "lauxlib.h"


LUALIB_API void luaL_openlibs (lua_State *L) {
  luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
  lua_pop(L, 1);  /* remove _PRELOAD table */
}

