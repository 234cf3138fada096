// Display output: the host palette, the host back page, presentation of the
// back page in the window (pre-scale, pixel-perfect or smooth scaling, the
// frames-per-second overlay) and the window itself. In headless mode no
// window, renderer or texture is ever made.
#pragma once
#include <cstdint>

#include "host/bitmap.h"

struct quon_rect {
    int32_t x = 0, y = 0, w = 0, h = 0;
};

extern uint8_t quon_palette[256 * 3];        // host palette, r g b per entry
extern uint8_t quon_black_palette[256 * 3];  // all zero
extern quon_bitmap quon_screen;      // stands for the window: size and clip only, never drawn into
extern quon_bitmap* quon_back_page;  // 8-bit page the application composes each frame into
extern int32_t quon_screen_mode;     // 0 windowed, 1 fullscreen

int quon_video_init();   // palettes (grey ramp), desktop size; 0
int quon_video_exit();   // destroys the window, renderer, textures and bitmaps; 0

// Makes the back page width x height x bits (0 sides: the desktop size) and,
// unless headless, opens the window. Flags: 0x100 the configured windowed
// setting decides; else 4 forces windowed and 8 fullscreen. 0 on success.
int quon_set_screen(int32_t width, int32_t height, int32_t bits, int32_t flags);
void quon_set_window_size(int32_t w, int32_t h);  // stored in cconfig and used by quon_set_screen
void quon_toggle_fullscreen();                    // reopens the window in the other mode
void quon_set_windowed(int flag);
int quon_get_windowed();
int quon_get_window_width();   // desktop size in fullscreen, else the window size
int quon_get_window_height();
int quon_get_desktop_width();
int quon_get_desktop_height();
bool quon_window_open();       // a window exists
bool quon_window_has_focus();  // the window has keyboard focus
void quon_raise_window();
void* quon_platform_window();  // the platform's window handle (SDL_Window), or null
void quon_refresh_window_title();  // shows the current window title on an open window

void quon_set_palette(const uint8_t* rgb768);        // copies 256 r g b entries into the host palette
void quon_set_window_icon(const quon_bitmap* bmp);   // 32-bit; copied, applied when the window opens; null clears

// Copies a clipped rectangle between bitmaps of the same depth, or from 8 to
// 32 bits through the host palette. A blit onto &quon_screen presents the
// source instead. 0 on success, 1 for an unsupported pair of depths.
int quon_blit(quon_bitmap* src, quon_bitmap* dst, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
              int32_t w, int32_t h);
// Frame meter, then presents the back page when the window would show
// something else: another picture or palette, another place or scale, a new
// counter value, or after quon_request_present.
void quon_blit_back_page();
void quon_request_present();        // the window needs its picture again (opened, exposed, resized)
extern int32_t quon_present_count;  // pictures presented to the window so far

int quon_get_pixel_perfect();
int quon_get_preblit_scale();
quon_rect quon_get_dest_rect();  // where the back page lands in the window

// The decisions above as pure functions of their inputs.
struct quon_view {
    int32_t page_w = 0, page_h = 0;  // back page (0: none)
    int32_t win_w = 0, win_h = 0;    // window
    bool fullscreen = false;
};
int quon_decide_pixel_perfect(const quon_view& v, int32_t pixel_perfect_setting, int32_t software_blit);
int quon_decide_preblit_scale(const quon_view& v, int32_t preblit_setting, int pixel_perfect,
                              int32_t software_blit);
quon_rect quon_decide_dest_rect(const quon_view& v, const quon_rect& draw_rect, int pixel_perfect);

// Frame building blocks, also pure: nearest-neighbour stretch by k (dst must
// be k times src, same depth), 8 -> 32 conversion through an r g b palette, and
// the software scaler into 32-bit pixel memory clipped to its size.
void quon_stretch_bitmap(const quon_bitmap* src, quon_bitmap* dst, int k);
void quon_convert_to_32(const quon_bitmap* src8, quon_bitmap* dst32, const uint8_t* rgb768);
void quon_scale_into(const quon_bitmap* src32, uint32_t* pixels, int32_t pitch_bytes, int32_t dst_w,
                     int32_t dst_h, const quon_rect& rect);
