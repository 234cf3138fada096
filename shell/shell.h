// The console shell: the application the host loop drives. Its state lives in
// pstate (machine/pstate.h) and in `app`; its resources are the pod items.
#pragma once
#include <cstdint>

struct quon_pod;
struct quon_bitmap;

// The resource pod "data.pod" and the pods inside it (items 1 and 2).
extern quon_pod* mivo3_data_pod;
extern quon_pod* mivo3_resource_pod;
extern quon_pod* mivo3_font_pod;

// The displayed picture (the back page through the display palette and the
// screen mode) and the finished frame that capture reads.
extern quon_bitmap* mivo3_screen;
extern quon_bitmap* video_frame_bmp;

// Copies mivo3_back_page to mivo3_screen, mapping every pixel v to
// display_palette[v & 15] & 0x8f, then applies the screen-mode effect `mode`
// when apply_mode is set.
void blit_mivo3_back_page_to_mivo3_screen(bool apply_mode, int32_t mode);
