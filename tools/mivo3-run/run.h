// mivo3-run's run: the player itself (quon_main_init, then quon_main_update
// and quon_main_draw, as the host loop calls them) under -x and -headless,
// with a clock that moves by exactly one machine frame per update, the
// buttons of the plan held through the input slots, the mixer's output taken
// after every frame, and the pictures, memory and sound written on the way.
#pragma once
#include "tools/mivo3-run/plan.h"

// Exit status codes.
enum : int {
    MIVO3_RUN_OK = 0,
    MIVO3_RUN_NOT_LOADED = 1,
    MIVO3_RUN_CART_ERROR = 2,
    MIVO3_RUN_BAD_OPTION = 3,
    MIVO3_RUN_PRINTH_DIFFERS = 4,
};

// Runs the plan (its options already checked) and returns the exit status.
// The player ends a cart it cannot load with std::exit(1), so this may not
// return; a temporary home folder is removed all the same.
int execute_run_plan(const run_plan& plan, const char* argv0);
