// mivo3-run: runs a cart headless for a number of machine frames, with
// scripted buttons, and writes what it showed, played and held in memory, so
// that cart authors can test their games the way programmers test code.
//
//   mivo3-run [options] CART      (mivo3-run --help lists the options)
//
// Exit status 0 when the cart ran its frames or ended, 1 when it could not be
// loaded, 2 on a syntax or runtime error (the player's report on standard
// error), 3 on a bad option, 4 when printh wrote other lines than expected.
#include <cstdio>

#include "shell/shell.h"
#include "tools/mivo3-run/plan.h"
#include "tools/mivo3-run/run.h"

int main(int argc, char** argv) {
    run_plan plan;
    const std::string error = parse_run_options(argc, argv, plan);
    if (!error.empty()) {
        std::fprintf(stderr, "mivo3-run: %s\n%s\n", error.c_str(), mivo3_run_usage);
        return MIVO3_RUN_BAD_OPTION;
    }
    if (plan.help) {
        std::fputs(mivo3_run_help, stdout);
        return MIVO3_RUN_OK;
    }
    if (plan.version) {
        std::printf("mivo3-run %s\n", MIVO3_VERSION_STRING);
        return MIVO3_RUN_OK;
    }
    return execute_run_plan(plan, argv[0]);
}
