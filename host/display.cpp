#include "host/display.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/config.h"
#include "host/events.h"
#include "host/log.h"
#include "host/main_loop.h"
#include "host/text.h"
#include "host/timing.h"

uint8_t quon_palette[256 * 3];
uint8_t quon_black_palette[256 * 3];
quon_bitmap quon_screen;
quon_bitmap* quon_back_page = nullptr;
int32_t quon_screen_mode = 1;

static int32_t desktop_w = 0, desktop_h = 0;
static int32_t window_w = 0, window_h = 0;  // size of the window when windowed
static bool window_size_set = false;
static SDL_Window* sdl_window = nullptr;
static SDL_Renderer* sdl_renderer = nullptr;
static SDL_Texture* sdl_texture = nullptr;
static int32_t sdl_texture_w = 0, sdl_texture_h = 0;
static SDL_Texture* fps_texture = nullptr;
static quon_bitmap* fps_bmp = nullptr;
static quon_bitmap* prescale_bmp = nullptr;
static quon_bitmap* convert_bmp = nullptr;
static quon_bitmap* window_icon_bmp = nullptr;

static bool headless() { return cconfig.headless != 0; }

int32_t quon_present_count = 0;

// What the window shows: the picture, palette, placement and counter of the
// last present. A back page that would look the same is not presented again.
struct shown_picture {
    bool valid = false;
    int32_t width = 0, height = 0, bits = 0;
    std::vector<uint8_t> pixels;
    uint8_t palette[256 * 3] = {};
    quon_rect rect;
    int pixel_perfect = 0, prescale = 0, fps = 0;
    int32_t software = 0;
};
static shown_picture shown;

void quon_request_present() { shown.valid = false; }

static void set_screen_record(int32_t w, int32_t h) {
    quon_screen.width = w;
    quon_screen.height = h;
    quon_screen.bits = 32;
    quon_screen.cx0 = quon_screen.cy0 = 0;
    quon_screen.cx1 = w;
    quon_screen.cy1 = h;
}

int quon_video_init() {
    for (int i = 0; i < 256; i++) std::memset(quon_palette + 3 * i, i, 3);
    std::memset(quon_black_palette, 0, sizeof quon_black_palette);
    desktop_w = desktop_h = 0;
    SDL_DisplayMode mode;
    if (!headless() && SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        desktop_w = mode.w;
        desktop_h = mode.h;
    }
    return 0;
}

static void destroy_textures() {
    if (sdl_texture) SDL_DestroyTexture(sdl_texture);
    if (fps_texture) SDL_DestroyTexture(fps_texture);
    sdl_texture = fps_texture = nullptr;
    sdl_texture_w = sdl_texture_h = 0;
    quon_destroy_bitmap(fps_bmp);
    fps_bmp = nullptr;
}

static void destroy_window() {
    quon_request_present();
    destroy_textures();
    if (sdl_renderer) SDL_DestroyRenderer(sdl_renderer);
    if (sdl_window) SDL_DestroyWindow(sdl_window);
    sdl_renderer = nullptr;
    sdl_window = nullptr;
}

int quon_video_exit() {
    destroy_window();
    for (quon_bitmap** b : {&quon_back_page, &prescale_bmp, &convert_bmp, &window_icon_bmp}) {
        quon_destroy_bitmap(*b);
        *b = nullptr;
    }
    set_screen_record(0, 0);
    window_size_set = false;
    return 0;
}

static void apply_window_icon() {
    if (!sdl_window || !window_icon_bmp) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(window_icon_bmp->data, window_icon_bmp->width,
                                              window_icon_bmp->height, 32, window_icon_bmp->pitch,
                                              0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    if (!s) return;
    SDL_SetWindowIcon(sdl_window, s);
    SDL_FreeSurface(s);
}

void quon_set_window_icon(const quon_bitmap* bmp) {
    quon_destroy_bitmap(window_icon_bmp);
    window_icon_bmp = nullptr;
    if (!bmp || bmp->bits != 32) return;
    window_icon_bmp = quon_create_bitmap(bmp->width, bmp->height, 32);
    if (!window_icon_bmp) return;
    for (int32_t y = 0; y < bmp->height; y++)
        std::memcpy(window_icon_bmp->rows[y], bmp->rows[y], static_cast<size_t>(bmp->width) * 4);
    apply_window_icon();
}

static const char* scale_hint(int pixel_perfect) { return pixel_perfect ? "nearest" : "linear"; }

// Opens (or reopens) the window for the current mode. 0 on success.
static int open_window() {
    quon_system_active = 1;
    bool fullscreen = quon_screen_mode == 1;
    int32_t x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED;
    if (!fullscreen) {
        if (cconfig.window_x != -1) x = cconfig.window_x;
        if (cconfig.window_y != -1) y = cconfig.window_y;
    } else {
        x = y = 0;
    }
    int32_t w = window_w, h = window_h;
    if (cconfig.display >= 0 && cconfig.display < SDL_GetNumVideoDisplays()) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(cconfig.display, &bounds) == 0) {
            quon_debugf("adding display boundary offset: %d %d (%d %d)\n", bounds.x, bounds.y, bounds.w,
                        bounds.h);
            if (x == SDL_WINDOWPOS_UNDEFINED) x = 0;
            if (y == SDL_WINDOWPOS_UNDEFINED) y = 0;
            x += bounds.x;
            y += bounds.y;
        }
        SDL_DisplayMode mode;
        if (fullscreen && SDL_GetCurrentDisplayMode(cconfig.display, &mode) == 0) {
            desktop_w = mode.w;
            desktop_h = mode.h;
            quon_debugf("fullscreen; updated desktop of display %d to %d %d\n", cconfig.display, desktop_w,
                        desktop_h);
        }
    }
    if (fullscreen && desktop_w > 0 && desktop_h > 0) {
        w = desktop_w;
        h = desktop_h;
        quon_debugf("setting fullscreen window size to %d %d\n", w, h);
    }
    destroy_window();

    Uint32 flags;
    if (fullscreen)
        flags = cconfig.fullscreen_method == 2 ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP;
    else
        flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | (cconfig.frameless == 1 ? SDL_WINDOW_BORDERLESS : 0);
    const char* title = quon_state.current_window_title ? quon_state.current_window_title : "";
    sdl_window = SDL_CreateWindow(title, x, y, w, h, flags);
    if (!sdl_window) quon_fatal_error("Unable to create window");

    if (!cconfig.software_blit) {
        sdl_renderer = SDL_CreateRenderer(sdl_window, -1, SDL_RENDERER_PRESENTVSYNC);
        if (!sdl_renderer) {
            quon_debug(" could not create sdl_renderer! dropping down to software_blit\n");
            cconfig.software_blit = 1;
        }
    }
    if (sdl_renderer) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, scale_hint(quon_get_pixel_perfect()));
        SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
        SDL_RenderClear(sdl_renderer);
        SDL_RenderPresent(sdl_renderer);
        int32_t tw = quon_back_page ? quon_back_page->width : 128;
        int32_t th = quon_back_page ? quon_back_page->height : 128;
        sdl_texture = SDL_CreateTexture(sdl_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, tw, th);
        if (sdl_texture) {
            sdl_texture_w = tw;
            sdl_texture_h = th;
        }
        fps_texture = SDL_CreateTexture(sdl_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, 128, 8);
        // The counter strip is copied as it is: its pixels carry alpha 0
        // (text keeps the target's alpha), so blending would hide it.
        if (fps_texture) SDL_SetTextureBlendMode(fps_texture, SDL_BLENDMODE_NONE);
        fps_bmp = quon_create_bitmap(128, 8, 32);
    }
    apply_window_icon();
    SDL_RendererInfo info;
    if (sdl_renderer && SDL_GetRendererInfo(sdl_renderer, &info) == 0)
        quon_debugf("renderer: %s%s%s\n", info.name, info.flags & SDL_RENDERER_ACCELERATED ? " accelerated" : "",
                    info.flags & SDL_RENDERER_PRESENTVSYNC ? " vsync" : "");
    else
        quon_debug("renderer: none (software blit)\n");
    int ww = w, wh = h;
    SDL_GetWindowSize(sdl_window, &ww, &wh);
    set_screen_record(ww, wh);
    return 0;
}

int quon_set_screen(int32_t width, int32_t height, int32_t bits, int32_t flags) {
    quon_debugf("quon_set_screen %d %d %d %x\n", width, height, bits, flags);
    int32_t page_w = width, page_h = height;
    if (page_w == 0 || page_h == 0) {
        quon_debugf("retrieving desktop resolution: %d %d\n", desktop_w, desktop_h);
        if (page_w == 0) page_w = desktop_w;
        if (page_h == 0) page_h = desktop_h;
    }
    // Without a display to ask (headless), a desktop-sized page falls back to
    // the default window size.
    if (page_w <= 0) page_w = 384;
    if (page_h <= 0) page_h = 216;
    if (window_size_set) {
        window_w = cconfig.window_width;
        window_h = cconfig.window_height;
        if (window_w < 32 || window_h < 32) {
            window_w = 640;
            window_h = 480;
        }
        quon_debugf(" window size: %d %d\n", window_w, window_h);
    } else {
        window_w = width > 0 ? width : 384;
        window_h = height > 0 ? height : 216;
    }
    if (flags & 0x100) {
        if (cconfig.windowed == 1) quon_screen_mode = 0;
    } else if (flags & 4) {
        quon_screen_mode = 0;
    } else if (flags & 8) {
        quon_screen_mode = 1;
    }
    if (bits != 8 && bits != 32) bits = 8;
    if (!quon_back_page || quon_back_page->width != page_w || quon_back_page->height != page_h ||
        quon_back_page->bits != bits) {
        quon_destroy_bitmap(quon_back_page);
        quon_back_page = quon_create_bitmap(page_w, page_h, bits);
        if (!quon_back_page) return 1;
        quon_items_created++;
    }
    if (headless()) {
        set_screen_record(window_w, window_h);
        return 0;
    }
    return open_window();
}

void quon_set_window_size(int32_t w, int32_t h) {
    cconfig.window_width = w;
    cconfig.window_height = h;
    window_size_set = true;
}

void quon_toggle_fullscreen() {
    if (headless()) return;
    quon_screen_mode ^= 1;
    if (sdl_window) open_window();
}

void quon_set_windowed(int flag) { quon_screen_mode = flag ? 0 : 1; }
int quon_get_windowed() { return quon_screen_mode == 0; }

int quon_get_window_width() { return quon_screen_mode == 1 ? desktop_w : window_w; }
int quon_get_window_height() { return quon_screen_mode == 1 ? desktop_h : window_h; }
int quon_get_desktop_width() { return desktop_w; }
int quon_get_desktop_height() { return desktop_h; }
bool quon_window_open() { return sdl_window != nullptr; }

bool quon_window_has_focus() {
    return sdl_window && SDL_GetKeyboardFocus() == sdl_window;
}

void* quon_platform_window() { return sdl_window; }

void quon_raise_window() {
    if (sdl_window) SDL_RaiseWindow(sdl_window);
}

void quon_refresh_window_title() {
    if (sdl_window) SDL_SetWindowTitle(sdl_window, quon_state.current_window_title ? quon_state.current_window_title : "");
}

void quon_set_palette(const uint8_t* rgb768) {
    if (rgb768) std::memcpy(quon_palette, rgb768, sizeof quon_palette);
}

static void window_size(int32_t& w, int32_t& h) {
    w = quon_screen.width;
    h = quon_screen.height;
    if (sdl_window) SDL_GetWindowSize(sdl_window, &w, &h);
}

static quon_view current_view() {
    quon_view v;
    if (quon_back_page) {
        v.page_w = quon_back_page->width;
        v.page_h = quon_back_page->height;
    }
    window_size(v.win_w, v.win_h);
    v.fullscreen = quon_screen_mode == 1;
    return v;
}

int quon_decide_pixel_perfect(const quon_view& v, int32_t setting, int32_t software_blit) {
    if (software_blit) return 1;
    if (v.page_w <= 0 && v.page_h <= 0) return 0;
    if (setting >= 0) return setting;
    if (v.page_w >= 720) return 0;
    int64_t W = v.win_w, H = v.win_h, w = v.page_w, h = v.page_h;
    if (W < 1 || H < 1 || w == 0 || h == 0) return 0;
    if (W >= w && H >= h && !v.fullscreen) return 1;
    // Integer scaling is chosen when it loses at most a tenth of the limiting side.
    if (W * 256 / H >= w * 256 / h) return h * (H / h) >= H * 9 / 10;
    return w * (W / w) >= W * 9 / 10;
}

int quon_decide_preblit_scale(const quon_view& v, int32_t setting, int pixel_perfect, int32_t software_blit) {
    if (setting > 0) return std::min(setting, 8);
    if (pixel_perfect || software_blit) return 1;
    int32_t w = v.page_w, h = v.page_h, W = v.win_w, H = v.win_h;
    if (w < W / 4 || h < H / 4) return 4;
    if (w < W / 3 || h < H / 3) return 3;
    if (w < W / 2 || h < H / 2) return 2;
    return 1;
}

quon_rect quon_decide_dest_rect(const quon_view& v, const quon_rect& draw_rect, int pixel_perfect) {
    if (draw_rect.w > 0 && draw_rect.h > 0) return draw_rect;
    quon_rect r;
    int64_t W = v.win_w, H = v.win_h, w = v.page_w, h = v.page_h;
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0) return r;
    if (pixel_perfect) {
        int64_t m = std::max<int64_t>(1, std::min(W / w, H / h));
        r.w = static_cast<int32_t>(m * w);
        r.h = static_cast<int32_t>(m * h);
        r.x = static_cast<int32_t>((W - r.w) / 2);
        r.y = static_cast<int32_t>((H - r.h) / 2);
    } else if (w * H > W * h) {  // wider than the window: the width limits
        r.w = static_cast<int32_t>(W);
        r.h = static_cast<int32_t>(h * W / w);
        r.y = static_cast<int32_t>((H - r.h) / 2);
    } else {
        r.h = static_cast<int32_t>(H);
        r.w = static_cast<int32_t>(w * H / h);
        r.x = static_cast<int32_t>((W - r.w) / 2);
    }
    return r;
}

int quon_get_pixel_perfect() {
    if (cconfig.software_blit) return 1;
    if (!quon_back_page) return 0;
    return quon_decide_pixel_perfect(current_view(), cconfig.pixel_perfect, cconfig.software_blit);
}

int quon_get_preblit_scale() {
    return quon_decide_preblit_scale(current_view(), cconfig.preblit_scale, quon_get_pixel_perfect(),
                                     cconfig.software_blit);
}

quon_rect quon_get_dest_rect() {
    quon_rect draw{cconfig.draw_rect_x, cconfig.draw_rect_y, cconfig.draw_rect_w, cconfig.draw_rect_h};
    int pp = quon_get_pixel_perfect();
    if (sdl_renderer) SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, scale_hint(pp));
    return quon_decide_dest_rect(current_view(), draw, pp);
}

void quon_stretch_bitmap(const quon_bitmap* src, quon_bitmap* dst, int k) {
    int bpp = src->bits / 8;
    for (int32_t y = 0; y < dst->height; y++) {
        const uint8_t* s = src->rows[y / k];
        uint8_t* d = dst->rows[y];
        if (y % k) {
            std::memcpy(d, dst->rows[y - 1], static_cast<size_t>(dst->width) * bpp);
            continue;
        }
        if (bpp == 1) {
            for (int32_t x = 0; x < dst->width; x++) d[x] = s[x / k];
        } else {
            auto* d32 = reinterpret_cast<uint32_t*>(d);
            auto* s32 = reinterpret_cast<const uint32_t*>(s);
            for (int32_t x = 0; x < dst->width; x++) d32[x] = s32[x / k];
        }
    }
}

void quon_convert_to_32(const quon_bitmap* src8, quon_bitmap* dst32, const uint8_t* rgb768) {
    uint32_t table[256];
    for (int i = 0; i < 256; i++)
        table[i] = 0xFF000000u | uint32_t(rgb768[3 * i]) << 16 | uint32_t(rgb768[3 * i + 1]) << 8 |
                   rgb768[3 * i + 2];
    int32_t w = std::min(src8->width, dst32->width), h = std::min(src8->height, dst32->height);
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* s = src8->rows[y];
        auto* d = reinterpret_cast<uint32_t*>(dst32->rows[y]);
        for (int32_t x = 0; x < w; x++) d[x] = table[s[x]];
    }
}

void quon_scale_into(const quon_bitmap* src32, uint32_t* pixels, int32_t pitch_bytes, int32_t dst_w,
                     int32_t dst_h, const quon_rect& rect) {
    if (rect.w <= 0 || rect.h <= 0 || src32->width <= 0 || src32->height <= 0) return;
    int64_t step = (int64_t(src32->width) << 16) / rect.w;
    int32_t i0 = std::max(0, -rect.y), i1 = std::min(rect.h, dst_h - rect.y);
    int32_t j0 = std::max(0, -rect.x), j1 = std::min(rect.w, dst_w - rect.x);
    for (int32_t i = i0; i < i1; i++) {
        int64_t sy = int64_t(i) * src32->height / rect.h;
        auto* s = reinterpret_cast<const uint32_t*>(src32->rows[sy]);
        auto* d = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + int64_t(rect.y + i) * pitch_bytes);
        int64_t sx = j0 * step;
        for (int32_t j = j0; j < j1; j++, sx += step) d[rect.x + j] = s[sx >> 16];
    }
}

// Keeps *bmp at w x h x bits, recreating it when the size differs.
static quon_bitmap* keep_bitmap(quon_bitmap*& bmp, int32_t w, int32_t h, int32_t bits) {
    if (!bmp || bmp->width != w || bmp->height != h || bmp->bits != bits) {
        quon_destroy_bitmap(bmp);
        bmp = quon_create_bitmap(w, h, bits);
    }
    return bmp;
}


// Text of the frames-per-second counter drawn onto a 32-bit bitmap; the
// outlined variant is the software path's.
static void draw_fps_text(quon_bitmap* bmp, bool outlined);

static void present_texture(quon_bitmap* frame, const quon_rect& rect, int pixel_perfect) {
    if (!sdl_texture || sdl_texture_w != frame->width || sdl_texture_h != frame->height) {
        if (sdl_texture) SDL_DestroyTexture(sdl_texture);
        sdl_texture = SDL_CreateTexture(sdl_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                        frame->width, frame->height);
        sdl_texture_w = sdl_texture ? frame->width : 0;
        sdl_texture_h = sdl_texture ? frame->height : 0;
    }
    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_renderer);
    if (sdl_texture) {
        // The hint only reaches textures made after it, so the mode is set on
        // the kept texture directly.
        SDL_SetTextureScaleMode(sdl_texture, pixel_perfect ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        SDL_UpdateTexture(sdl_texture, nullptr, frame->data, frame->pitch);
        SDL_Rect r{rect.x, rect.y, rect.w, rect.h};
        SDL_RenderCopy(sdl_renderer, sdl_texture, nullptr, &r);
    }
    if (cconfig.show_fps && rect.w >= 128 && rect.h >= 8 && fps_bmp && fps_texture) {
        std::memset(fps_bmp->data, 0, static_cast<size_t>(fps_bmp->pitch) * fps_bmp->height);
        draw_fps_text(fps_bmp, false);
        SDL_UpdateTexture(fps_texture, nullptr, fps_bmp->data, fps_bmp->pitch);
        SDL_Rect r{0, 0, 128, 8};
        SDL_RenderCopy(sdl_renderer, fps_texture, nullptr, &r);
    }
    SDL_RenderPresent(sdl_renderer);
    quon_present_count++;
}

static void present_software(quon_bitmap* frame, const quon_rect& rect) {
    if (cconfig.show_fps) draw_fps_text(frame, true);
    SDL_Surface* surface = SDL_GetWindowSurface(sdl_window);
    if (!surface) return;
    SDL_PixelFormat* f = surface->format;
    bool direct = f->BytesPerPixel == 4 && f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF;
    if (direct) {
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
        for (int32_t y = 0; y < surface->h; y++)
            std::memset(static_cast<uint8_t*>(surface->pixels) + int64_t(y) * surface->pitch, 0,
                        static_cast<size_t>(surface->w) * 4);
        quon_scale_into(frame, static_cast<uint32_t*>(surface->pixels), surface->pitch, surface->w, surface->h,
                        rect);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    } else {
        // A window surface of another pixel layout: let the platform convert.
        SDL_Surface* s = SDL_CreateRGBSurfaceFrom(frame->data, frame->width, frame->height, 32, frame->pitch,
                                                  0xFF0000, 0xFF00, 0xFF, 0);
        if (!s) return;
        SDL_FillRect(surface, nullptr, SDL_MapRGB(f, 0, 0, 0));
        SDL_Rect r{rect.x, rect.y, rect.w, rect.h};
        SDL_BlitScaled(s, nullptr, surface, &r);
        SDL_FreeSurface(s);
    }
    SDL_UpdateWindowSurface(sdl_window);
    quon_present_count++;
}

static void present(quon_bitmap* src) {
    if (headless() || !sdl_window || !src) return;
    int pp = quon_get_pixel_perfect();
    int k = quon_get_preblit_scale();
    quon_bitmap* frame = src;
    if (k > 1 && keep_bitmap(prescale_bmp, src->width * k, src->height * k, src->bits)) {
        quon_stretch_bitmap(src, prescale_bmp, k);
        frame = prescale_bmp;
    }
    // The conversion bitmap also takes 32-bit pictures, so that the overlay
    // never draws on the caller's bitmap.
    if (!keep_bitmap(convert_bmp, frame->width, frame->height, 32)) return;
    if (frame->bits == 8) {
        quon_convert_to_32(frame, convert_bmp, quon_palette);
    } else {
        for (int32_t y = 0; y < frame->height; y++)
            std::memcpy(convert_bmp->rows[y], frame->rows[y], static_cast<size_t>(frame->width) * 4);
    }
    frame = convert_bmp;
    quon_rect rect = quon_get_dest_rect();
    if (rect.w <= 0 || rect.h <= 0) return;
    if (sdl_renderer && !cconfig.software_blit)
        present_texture(frame, rect, pp);
    else
        present_software(frame, rect);
}

int quon_blit(quon_bitmap* src, quon_bitmap* dst, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w,
              int32_t h) {
    if (!src || !dst) return 1;
    if (dst == &quon_screen) {
        present(src);
        return 0;
    }
    if (!(src->bits == dst->bits || (src->bits == 8 && dst->bits == 32))) return 1;
    // Clip against the source bounds, then against the destination's clip rectangle.
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    w = std::min(w, src->width - sx);
    h = std::min(h, src->height - sy);
    if (dx < dst->cx0) { int32_t d = dst->cx0 - dx; w -= d; sx += d; dx = dst->cx0; }
    if (dy < dst->cy0) { int32_t d = dst->cy0 - dy; h -= d; sy += d; dy = dst->cy0; }
    w = std::min(w, dst->cx1 - dx);
    h = std::min(h, dst->cy1 - dy);
    if (w <= 0 || h <= 0) return 0;
    if (src->bits == dst->bits) {
        int bpp = src->bits / 8;
        for (int32_t y = 0; y < h; y++)
            std::memmove(dst->rows[dy + y] + dx * bpp, src->rows[sy + y] + sx * bpp, static_cast<size_t>(w) * bpp);
        return 0;
    }
    uint32_t table[256];
    for (int i = 0; i < 256; i++)
        table[i] = 0xFF000000u | uint32_t(quon_palette[3 * i]) << 16 | uint32_t(quon_palette[3 * i + 1]) << 8 |
                   quon_palette[3 * i + 2];
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* s = src->rows[sy + y] + sx;
        auto* d = reinterpret_cast<uint32_t*>(dst->rows[dy + y]) + dx;
        for (int32_t x = 0; x < w; x++) d[x] = table[s[x]];
    }
    return 0;
}

static size_t row_bytes(const quon_bitmap* bmp) { return static_cast<size_t>(bmp->width) * (bmp->bits / 8); }

static bool shows(const quon_bitmap* page, const quon_rect& rect, int pp, int k, int fps) {
    const shown_picture& s = shown;
    if (!s.valid || s.width != page->width || s.height != page->height || s.bits != page->bits) return false;
    if (s.rect.x != rect.x || s.rect.y != rect.y || s.rect.w != rect.w || s.rect.h != rect.h) return false;
    if (s.pixel_perfect != pp || s.prescale != k || s.fps != fps || s.software != cconfig.software_blit) return false;
    if (page->bits == 8 && std::memcmp(s.palette, quon_palette, sizeof s.palette) != 0) return false;
    const size_t n = row_bytes(page);
    for (int32_t y = 0; y < page->height; y++)
        if (std::memcmp(s.pixels.data() + n * y, page->rows[y], n) != 0) return false;
    return true;
}

static void remember_shown(const quon_bitmap* page, const quon_rect& rect, int pp, int k, int fps) {
    shown_picture& s = shown;
    s.width = page->width;
    s.height = page->height;
    s.bits = page->bits;
    const size_t n = row_bytes(page);
    s.pixels.resize(n * page->height);
    for (int32_t y = 0; y < page->height; y++) std::memcpy(s.pixels.data() + n * y, page->rows[y], n);
    std::memcpy(s.palette, quon_palette, sizeof s.palette);
    s.rect = rect;
    s.pixel_perfect = pp;
    s.prescale = k;
    s.fps = fps;
    s.software = cconfig.software_blit;
    s.valid = true;
}

// How often the display shows a new frame, in whole milliseconds, when
// presenting waits for it (60 times a second where the display does not
// say); 0 otherwise.
static int32_t refresh_ms() {
    SDL_RendererInfo info;
    if (!sdl_renderer || cconfig.software_blit || SDL_GetRendererInfo(sdl_renderer, &info) != 0 ||
        !(info.flags & SDL_RENDERER_PRESENTVSYNC))
        return 0;
    SDL_DisplayMode mode;
    const bool known = SDL_GetWindowDisplayMode(sdl_window, &mode) == 0 && mode.refresh_rate > 0;
    return 1000 / (known ? mode.refresh_rate : 60);
}

void quon_blit_back_page() {
    if (!quon_back_page) return;
    // The meter counts every pass as a frame the window could have shown,
    // as it was when every pass presented.
    quon_frame_meter_update(quon_get_time(), headless() ? 0 : refresh_ms());
    if (headless() || !sdl_window) return;
    // Presenting costs far more than this comparison, and the window keeps
    // what it was last given.
    const int pp = quon_get_pixel_perfect();
    const int k = quon_get_preblit_scale();
    const quon_rect rect = quon_get_dest_rect();
    const int fps = cconfig.show_fps ? quon_get_fps() : -1;
    if (shows(quon_back_page, rect, pp, k, fps)) return;
    quon_blit(quon_back_page, &quon_screen, 0, 0, 0, 0, quon_back_page->width, quon_back_page->height);
    remember_shown(quon_back_page, rect, pp, k, fps);
}

static void draw_fps_text(quon_bitmap* bmp, bool outlined) {
    char text[32];
    if (outlined) {
        std::snprintf(text, sizeof text, "%03d", quon_get_fps());
        quon_draw_text_phat(bmp, text, quon_builtin_font(1), 1, 1, 0, 0, 0xFFFFFF);
    } else {
        std::snprintf(text, sizeof text, "%03d fps", quon_get_fps());
        quon_draw_text_ex(bmp, text, quon_builtin_font(0), 1, 1, QUON_TEXT_COLOURISE, 0xFFFFFFFF);
    }
}
