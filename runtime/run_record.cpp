// The run loop's record lives apart from the run loop so that the language
// library, which stores a failed assertion's message in it, can be linked
// without the run loop and everything the run loop calls.
#include <algorithm>
#include <cstring>

#include "runtime/run_loop.h"

run_loop_state mivo3_run;

void mivo3_assert_message(const char* text)
{
    if (!text)
        text = "";
    size_t n = std::min(std::strlen(text), sizeof mivo3_run.assert_message - 1);
    std::memcpy(mivo3_run.assert_message, text, n);
    mivo3_run.assert_message[n] = 0;
}
