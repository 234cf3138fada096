#include "shell/glitch.h"

#include <cstdio>
#include <string>

#include "host/timing.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/run_loop.h"
#include "shell/app.h"

static std::string launch_param;

void start_reset_glitch() { pstate.glitch_timer = 1; }

void glitch_save_launch_param(const char* param) { launch_param = param ? param : ""; }

void glitch_restart() {
    std::snprintf(mivo3_run.pending_run_param, sizeof mivo3_run.pending_run_param, "%s", launch_param.c_str());
    pstate.pending_command = 1;
}

void glitch_corrupt_memory(int32_t glitch_test, int32_t test_count) {
    machine_state* m = &pstate;
    mivo3_cart* cart = pstate.cart;
    const uint8_t keep_palette = mivo3_peek(m, cart, MIVO3_REG_KEEP_PALETTE);

    if (quon_random(8) == 0) mivo3_poke(m, cart, 0x5f2c, quon_random(4));
    if (quon_random(8) == 0)
        for (int32_t i = 0; i < 4; i++) mivo3_poke(m, cart, MIVO3_REG_AUDIO + i, quon_random(256));

    // A rare heavy glitch: the raw generator coming up zero.
    int32_t n = quon_random(32768) == 0 ? 10 + quon_random(30) : 2 + quon_random(4);
    if (glitch_test) n = 2 * test_count;
    int32_t pokes = 10 * n;
    int32_t copies = n / 2;
    if (!glitch_test && quon_random(20) == 0) {
        pokes = 3000;
        copies = 150;
    }

    for (int32_t i = 0; i < pokes; i++) mivo3_poke(m, cart, quon_random(0x8000), quon_random(256));
    for (int32_t i = 0; i < copies; i++) {
        const int32_t c = 1024 + quon_random(30720);
        const int32_t src = c + quon_random(2048) - quon_random(2048);
        mivo3_memcpy(m, cart, c, src, quon_random(1024));
        const int32_t a = quon_random(0x7c00);
        const int32_t b = quon_random(0x7c00);
        mivo3_memcpy(m, cart, a, b, quon_random(1024));
    }
    for (int32_t i = 0; i < copies; i++) mivo3_memset(m, cart, quon_random(0x4800), quon_random(256), quon_random(512));

    mivo3_poke(m, cart, MIVO3_REG_KEEP_PALETTE, keep_palette);
}

void update_reset_glitch() {
    if (pstate.glitch_timer == 0) return;
    if (pstate.glitch_timer == -1) {
        pstate.glitch_timer = 0;
        glitch_restart();
        return;
    }
    pstate.glitch_timer++;
    if (pstate.glitch_timer > 4) {
        pstate.glitch_timer = 0;
        glitch_restart();
        return;
    }
    if (pstate.glitch_timer == 2) glitch_corrupt_memory(app.glitch_test, app.glitch_count);
}
