#include "runtime/cpu.h"

#include <cstdio>
#include <limits>

#include "machine/lua_alloc.h"
#include "runtime/run_loop.h"

mivo3_vm_link mivo3_vm = {};

int32_t mivo3_frame_budget(int32_t fps)
{
    return MIVO3_CPU_CYCLES / (fps < 1 ? 1 : fps);
}

// Counters saturate rather than wrap: a runaway charge must not turn into a
// negative load.
static void add_cycles(int32_t& counter, int32_t n)
{
    int64_t v = int64_t(counter) + n;
    if (v > std::numeric_limits<int32_t>::max())
        v = std::numeric_limits<int32_t>::max();
    else if (v < std::numeric_limits<int32_t>::min())
        v = std::numeric_limits<int32_t>::min();
    counter = int32_t(v);
}

// Whole blocks of 1024 cycles shorten the countdown; the rest waits in
// cpu_fraction for the next charge.
static void pass_on_fraction()
{
    if (pstate.cpu_fraction >= 1024) {
        if (mivo3_vm.spend)
            mivo3_vm.spend(mivo3_vm.state, pstate.cpu_fraction / 1024);
        pstate.cpu_fraction %= 1024;
    }
}

void spend_cpu(int32_t n)
{
    if (!mivo3_vm.state)
        return;
    if (n <= 0)
        n = 1;
    add_cycles(pstate.system_cycles, n);
    add_cycles(pstate.frame_cycles, n);
    add_cycles(pstate.slice_cycles, n);
    add_cycles(pstate.cpu_fraction, n);
    pass_on_fraction();
}

void refund_cpu(int32_t n)
{
    add_cycles(pstate.refund_balance, n == std::numeric_limits<int32_t>::min() ? -(n + 1) : -n);
    if (!mivo3_vm.state)
        return;
    if (n > 0)
        add_cycles(pstate.system_cycles, n);
    add_cycles(pstate.frame_cycles, n);
    add_cycles(pstate.slice_cycles, n);
    add_cycles(pstate.cpu_fraction, n);
    pass_on_fraction();
}

void mivo3_request_soft_yield()
{
    if (mivo3_vm.state && mivo3_vm.soft_yield)
        mivo3_vm.soft_yield(mivo3_vm.state);
}

void mivo3_runtime_error(const char* message)
{
    if (pstate.glitch_timer != 0)
        return;
    std::snprintf(pstate.error_text, sizeof pstate.error_text, "%s", message ? message : "");
    pstate.pending_command = 4;
    mivo3_run.fault = 2;
    if (mivo3_vm.state && mivo3_vm.yield)
        mivo3_vm.yield(mivo3_vm.state);
}
