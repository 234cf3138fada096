/*
** $Id: ldo.h,v 2.20.1.1 2013/04/12 18:48:47 roberto Exp $
** Stack and Call structure of Lua
** See Copyright Notice in lua.h
*/

#ifndef ldo_h
#define ldo_h


#include "lgc.h"
#include "lobject.h"
#include "lstate.h"
#include "lzio.h"


#define luaD_checkstack(L,n)	if (L->stack_last - L->top <= (n)) \
				    luaD_growstack(L, n); else condmovestack(L);


#define incr_top(L) {L->top++; luaD_checkstack(L,0);}

#define savestack(L,p)		((char *)(p) - (char *)L->stack)
#define restorestack(L,n)	((TValue *)((char *)L->stack + (n)))


/* type of protected functions, to be ran by `runprotected' */
typedef void (*Pfunc) (lua_State *L, void *ud);

LUAI_FUNC int luaD_protectedparser (lua_State *L, ZIO *z, const char *name,
                                                  const char *mode);
LUAI_FUNC void luaD_hook (lua_State *L, int event, int line);
LUAI_FUNC void luaD_callhook (lua_State *L, CallInfo *ci);
LUAI_FUNC StkId luaD_adjustvarargs (lua_State *L, Proto *p, int actual);
LUAI_FUNC int luaD_precallC (lua_State *L, StkId func, int nresults);
LUAI_FUNC void luaD_call (lua_State *L, StkId func, int nResults,
                                        int allowyield);
LUAI_FUNC int luaD_pcall (lua_State *L, Pfunc func, void *u,
                                        ptrdiff_t oldtop, ptrdiff_t ef);
LUAI_FUNC void luaD_reallocstack (lua_State *L, int newsize);
LUAI_FUNC void luaD_growstack (lua_State *L, int n);
LUAI_FUNC void luaD_shrinkstack (lua_State *L);

LUAI_FUNC l_noret luaD_throw (lua_State *L, int errcode);
LUAI_FUNC int luaD_rawrunprotected (lua_State *L, Pfunc f, void *ud);


/*
** Calls and returns are inline: the interpreter enters and leaves Lua
** functions without a C call; C functions and values called through
** their metamethod go through luaD_precallC.
*/

#define next_ci(L) (L->ci = (L->ci->next ? L->ci->next : luaE_extendCI(L)))


/*
** returns true if function has been executed (C function)
*/
static inline int luaD_precall (lua_State *L, StkId func, int nresults) {
  CallInfo *ci;
  StkId base;
  Proto *p;
  int n;  /* number of arguments */
  ptrdiff_t funcr;
  if (!ttisLclosure(func))  /* not a Lua function? */
    return luaD_precallC(L, func, nresults);
  /* Lua function: prepare its call */
  funcr = savestack(L, func);
  p = clLvalue(func)->p;
  n = cast_int(L->top - func) - 1;  /* number of real arguments */
  luaD_checkstack(L, p->maxstacksize);
  for (; n < p->numparams; n++)
    setnilvalue(L->top++);  /* complete missing arguments */
  if (!p->is_vararg) {
    func = restorestack(L, funcr);
    base = func + 1;
  }
  else {
    base = luaD_adjustvarargs(L, p, n);
    func = restorestack(L, funcr);  /* previous call can change stack */
  }
  ci = next_ci(L);  /* now 'enter' new function */
  ci->nresults = nresults;
  ci->func = func;
  ci->u.l.base = base;
  ci->top = base + p->maxstacksize;
  lua_assert(ci->top <= L->stack_last);
  ci->u.l.savedpc = p->code;  /* starting point */
  ci->callstatus = CIST_LUA;
  L->top = ci->top;
  luaC_checkGC(L);  /* stack grow uses memory */
  if (L->hookmask & LUA_MASKCALL)
    luaD_callhook(L, ci);
  return 0;
}


static inline int luaD_poscall (lua_State *L, StkId firstResult) {
  StkId res;
  int wanted, i;
  CallInfo *ci = L->ci;
  if (L->hookmask & (LUA_MASKRET | LUA_MASKLINE)) {
    if (L->hookmask & LUA_MASKRET) {
      ptrdiff_t fr = savestack(L, firstResult);  /* hook may change stack */
      luaD_hook(L, LUA_HOOKRET, -1);
      firstResult = restorestack(L, fr);
    }
    L->oldpc = ci->previous->u.l.savedpc;  /* 'oldpc' for caller function */
  }
  res = ci->func;  /* res == final position of 1st result */
  wanted = ci->nresults;
  L->ci = ci = ci->previous;  /* back to caller */
  /* move results to correct place */
  for (i = wanted; i != 0 && firstResult < L->top; i--)
    setobjs2s(L, res++, firstResult++);
  while (i-- > 0)
    setnilvalue(res++);
  L->top = res;
  return (wanted - LUA_MULTRET);  /* 0 iff wanted == LUA_MULTRET */
}

#endif

