// The functions a program can call, bound into the language state as
// globals. add_c_functions runs whenever a language state is created.
#pragma once
#include <cstdint>

struct lua_State;

// Binds every API function as a global of L, and nothing else (the standard
// libraries are never opened).
void add_c_functions(lua_State* L);

// Binds cartdata, dget and dset; defined by the persistent cart data code and
// called from add_c_functions.
void add_cdata_functions(lua_State* L);

// The machine's random generator behind rnd and srand: two 32-bit words
// stepped by rotate-and-add. mivo3_srand(0) gives a fixed sequence; the run
// loop seeds a starting cart with the wall-clock time.
void mivo3_srand(uint32_t seed);
// 0 when m is 0, else one step of the generator taken modulo m (unsigned).
uint32_t mivo3_random(uint32_t m);

// The file forms of reload and cstore, installed by the cart storage
// workflow; while a hook is null, the file form fails and returns 0.
// reload: reads len bytes at src of the named cart file's ROM into machine
// memory at dst. Returns len on success, 0 on failure.
extern int32_t (*mivo3_reload_file_hook)(int32_t dst, int32_t src, int32_t len,
                                         const char* filename);
// cstore: writes len bytes of machine memory at src into the named cart
// file's ROM at dst, or, when filename is null, saves the running cart's own
// store file after the bytes were copied into its ROM. Returns the number of
// bytes stored, 0 on failure.
extern int32_t (*mivo3_cstore_file_hook)(int32_t dst, int32_t src, int32_t len,
                                         const char* filename);
