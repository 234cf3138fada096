#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/quon.h"
#include "machine/draw.h"
#include "machine/pstate.h"
#include "shell/console.h"

quon_pod* mivo3_data_pod = nullptr;
quon_pod* mivo3_resource_pod = nullptr;
quon_pod* mivo3_font_pod = nullptr;
quon_bitmap* mivo3_screen = nullptr;
quon_bitmap* video_frame_bmp = nullptr;

static int32_t last_t = 0;

void blit_mivo3_back_page_to_mivo3_screen(bool apply_mode, int32_t mode) {
    uint8_t map[256];
    for (int v = 0; v < 256; v++) map[v] = uint8_t(pstate.display_palette[v & 15] & 0x8f);
    for (int32_t y = 0; y < 128; y++) {
        const uint8_t* src = mivo3_back_page->rows[y];
        uint8_t* dst = mivo3_screen->rows[y];
        for (int32_t x = 0; x < 128; x++) dst[x] = map[src[x]];
    }
    if (!apply_mode) return;
    auto stretch_h = [] {
        for (int32_t y = 0; y < 128; y++) {
            uint8_t* row = mivo3_screen->rows[y];
            for (int32_t x = 127; x >= 0; x--) row[x] = row[x >> 1];
        }
    };
    auto stretch_v = [] {
        for (int32_t y = 127; y >= 0; y--) std::memcpy(mivo3_screen->rows[y], mivo3_screen->rows[y >> 1], 128);
    };
    auto mirror_h = [] {
        for (int32_t y = 0; y < 128; y++) {
            uint8_t* row = mivo3_screen->rows[y];
            for (int32_t x = 0; x < 64; x++) row[127 - x] = row[x];
        }
    };
    auto mirror_v = [] {
        for (int32_t y = 0; y < 64; y++) std::memcpy(mivo3_screen->rows[127 - y], mivo3_screen->rows[y], 128);
    };
    switch (mode) {
        case 1: stretch_h(); break;
        case 2: stretch_v(); break;
        case 3: stretch_h(); stretch_v(); break;
        case 5: mirror_h(); break;
        case 6: mirror_v(); break;
        case 7: mirror_h(); mirror_v(); break;
        default: break;
    }
}

static void load_resource_pod() {
    const std::string path = quon_prefix_with_program_path("data.pod");
    mivo3_data_pod = quon_load_pod(path.c_str());
    if (!mivo3_data_pod) {
        std::printf("couldn't load %s\n", path.c_str());
        std::fflush(stdout);
        std::exit(0);
    }
    mivo3_resource_pod = quon_pod_load_item_pod(mivo3_data_pod, 1);
    mivo3_font_pod = quon_pod_load_item_pod(mivo3_data_pod, 2);
    mivo3_print_font = mivo3_font_pod;
}

void quon_main_init(int argc, char** argv) {
    quon_set_application_title("mivo-3");
    reset_pstate();
    quon_init();

    load_resource_pod();
    quon_set_window_title("MIVO-3");
    if (quon_stream* title = quon_pod_file(mivo3_resource_pod, 4)) {
        // The item is a zero-terminated string; an empty one keeps "MIVO-3".
        std::string text(reinterpret_cast<const char*>(title->data), size_t(title->length));
        text = text.c_str();
        if (!text.empty()) quon_set_window_title(text.c_str());
    }
    quon_set_screen(128, 128, 8, 0x100);
    if (quon_bitmap* icon = quon_pod_bitmap(mivo3_resource_pod, 6)) quon_set_window_icon(icon);
    if (const quon_pod_palette* pal = quon_pod_get_palette(mivo3_resource_pod, 1)) quon_set_palette(pal->rgb);

    mivo3_screen = quon_create_bitmap(128, 128, 8);
    video_frame_bmp = quon_create_bitmap(128, 128, 8);

    pstate.shell_mode = 2;
    pstate.pen_colour = 7;
    mivo_print("");
    mivo_print("mivo-3 0.1.12");
    mivo_print_col("a fantasy console player", 13);
    mivo_print("");
    mivo_print("no cart runs in this build yet");
    last_t = quon_get_time();
}

int quon_main_update() {
    pstate.frame_count++;
    return 0;
}

int quon_main_draw() {
    const int start = quon_get_time();
    if (!quon_back_page || quon_back_page->width != 128 || quon_back_page->height != 128 ||
        quon_back_page->bits != 8) {
        quon_set_screen(128, 128, 8, 0);
    }
    blit_mivo3_back_page_to_mivo3_screen(pstate.shell_mode == 1 && pstate.program_running, pstate.screen_mode);
    quon_blit(mivo3_screen, quon_back_page, 0, 0, 0, 0, 128, 128);
    quon_blit(quon_back_page, video_frame_bmp, 0, 0, 0, 0, 128, 128);
    return quon_get_time() - start;
}

int quon_main_exit() {
    quon_exit();
    return 0;
}
