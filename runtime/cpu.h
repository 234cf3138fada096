// The run loop's CPU accounting: cycles charged by API calls and refunded by
// the prelude, kept in the counters of pstate and passed on to the language
// machine's instruction countdown, and the runtime fault that stops a
// program. spend_cpu, refund_cpu and mivo3_runtime_error are declared in
// machine/pstate.h so that the machine can charge and fault; the request for
// a soft yield is declared in machine/lua_alloc.h.
#pragma once
#include <cstdint>

#include "machine/pstate.h"

// Cycles per second of machine time: the budget of one frame is
// floor(MIVO3_CPU_CYCLES / current_fps).
constexpr int32_t MIVO3_CPU_CYCLES = 4194304;

// How the accounting reaches the running language state. The run loop fills
// it in when it creates a state and clears it when the state is closed;
// while `state` is null, charges have no effect.
struct mivo3_vm_link {
    void* state;
    // Shortens the instruction countdown by n instructions (never below 1).
    void (*spend)(void* state, int32_t n);
    // Makes the count hook run before the next instruction.
    void (*soft_yield)(void* state);
    // Suspends the running program after a runtime fault.
    void (*yield)(void* state);
};
extern mivo3_vm_link mivo3_vm;

// Frame budget in cycles at the given frame rate (rates below 1 count as 1).
int32_t mivo3_frame_budget(int32_t fps);
