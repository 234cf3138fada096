#include "machine/pstate.h"

#include <cstring>

#include "machine/memory.h"

machine_state pstate;
quon_bitmap* mivo3_back_page = nullptr;

void reset_pstate()
{
    std::memset(static_cast<void*>(&pstate), 0, sizeof pstate);
    if (!mivo3_back_page)
        mivo3_back_page = quon_create_bitmap(MIVO3_SCREEN_SIZE, MIVO3_SCREEN_SIZE, 8);
    if (mivo3_back_page)
        std::memset(mivo3_back_page->data, 0,
                    size_t(mivo3_back_page->pitch) * size_t(mivo3_back_page->height));
    mivo3_reset_palettes(&pstate);
    pstate.clip_x1 = pstate.clip_y1 = MIVO3_SCREEN_SIZE;
    mivo3_apply_clip(&pstate);
    pstate.pen_colour = 6;
    pstate.current_fps = 30;
}
