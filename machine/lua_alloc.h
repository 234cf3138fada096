// The language state's allocator. Every block carries a header holding the
// bytes charged for it; the charges add up in lua_bytes of the machine
// state, which the run loop and stat(0) read.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t MIVO3_LUA_SOFT_LIMIT = 0x200000;   // 2 MiB: yield soon
constexpr int32_t MIVO3_LUA_ALLOC_LIMIT = 0x8000000; // 128 MiB: refuse to grow
constexpr int32_t MIVO3_LUA_FRAME_LIMIT = 0x204000;  // checked by the run loop between frames
constexpr int32_t MIVO3_LUA_FLAT_CHARGE = 32;         // object tags 7..19

// Allocator with the language's realloc contract. ud is the machine_state
// to charge (null: pstate). For a new block (ptr null) osize is the object
// type tag. Tags 7..19 cost 32 bytes; tag 2, tags from 20 up, and tag 0 while
// compiling cost nothing; anything else costs its size. A resized block keeps
// costing its size unless it was free. Before every allocation or resize,
// when lua_bytes - code_overhead is above 2 MiB, soft_yield_requested is set
// and the running program is asked to yield; when it is above 128 MiB (or
// the charge would overflow) a block that would grow is refused: alloc_failed
// is set and null returned. Shrinking never fails, as the language expects.
void* mivo3_lua_alloc(void* ud, void* ptr, size_t osize, size_t nsize);

// The bytes charged for a live block returned by mivo3_lua_alloc.
int32_t mivo3_lua_block_charge(const void* ptr);

// Asks the running language state to yield at its next instruction-count
// check. Defined by the run loop (runtime/cpu.cpp); nothing without a state.
void mivo3_request_soft_yield();
