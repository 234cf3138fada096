/*
** $Id: lualib.h,v 1.43.1.1 2013/04/12 18:48:47 roberto Exp $
** Lua standard libraries
** See Copyright Notice in lua.h
*/


#ifndef lualib_h
#define lualib_h

#include "lua.h"



/*
** Library functions bound into the console's global table under the
** console's own names; no library table is ever opened.
*/
int luaB_assert (lua_State *L);
/* keeps a failed assertion's message for the error report (the run loop's) */
void mivo3_assert_message (const char *text);
/*
** Set by the runtime just before it yields a coroutine to suspend the whole
** program (budget spent, a stop, a fault): coresume then yields its own
** caller in turn instead of returning, and resumes the coroutine when the
** program is resumed. The run loop clears it once the program has yielded.
*/
extern int mivo3_program_yield;
int luaB_getmetatable (lua_State *L);
int luaB_setmetatable (lua_State *L);
int luaB_rawequal (lua_State *L);
int luaB_rawlen (lua_State *L);
int luaB_rawget (lua_State *L);
int luaB_rawset (lua_State *L);
int luaB_type (lua_State *L);
int luaB_next (lua_State *L);
int luaB_pairs (lua_State *L);

int luaB_cocreate (lua_State *L);
int luaB_coresume (lua_State *L);
int luaB_costatus (lua_State *L);

int db_traceback (lua_State *L);

int str_sub (lua_State *L);


/* creates the empty preload table; opens no library */
LUALIB_API void (luaL_openlibs) (lua_State *L);



#if !defined(lua_assert)
#define lua_assert(x)	((void)0)
#endif


#endif
