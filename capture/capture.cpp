#include "capture/capture.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>
#include <lodepng.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "host/bitmap.h"
#include "host/display.h"
#include "host/log.h"
#include "host/paths.h"
#include "host/pod.h"
#include "host/stream.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "shell/app.h"
#include "shell/shell.h"
#include "storage/cart.h"

namespace {

constexpr int32_t frame_side = 128;
constexpr int32_t frame_bytes = frame_side * frame_side;

// The ring: `slots` frames, slot i at ring[(head + i) % slots]. Moving every
// slot one place toward the front is moving head.
std::vector<uint8_t> ring;
int32_t slots = 0;
int32_t head = 0;
int32_t frame_count = 0;
bool recording_off = false;

uint8_t* slot(int32_t i) { return ring.data() + size_t((head + i) % slots) * frame_bytes; }

// What one save needs, copied on the main thread so that the worker touches
// nothing the player is changing.
struct gif_job {
    std::vector<uint8_t> frames;  // count frames of 128x128
    int32_t count = 0;
    int32_t scale = 1;
    uint8_t palette[768] = {};
    std::string base;
};

struct picture_job {
    std::vector<uint8_t> pixels;
    int32_t width = 0, height = 0, scale = 1;
    uint8_t palette[768] = {};
    std::string base;
};

gif_job snapshot_gif() {
    gif_job job;
    job.count = frame_count;
    job.frames.resize(size_t(frame_count) * frame_bytes);
    for (int32_t i = 0; i < frame_count; i++) std::memcpy(job.frames.data() + size_t(i) * frame_bytes, slot(i), frame_bytes);
    job.scale = std::clamp(app.gif_scale, 1, 16);
    std::memcpy(job.palette, quon_palette, sizeof job.palette);
    job.base = get_output_file_name_base();
    return job;
}

picture_job snapshot_picture(const quon_bitmap* bmp) {
    picture_job job;
    if (bmp && bmp->bits == 8) {
        job.width = bmp->width;
        job.height = bmp->height;
        job.pixels.resize(size_t(job.width) * size_t(job.height));
        for (int32_t y = 0; y < job.height; y++)
            std::memcpy(job.pixels.data() + size_t(y) * size_t(job.width), bmp->rows[y], size_t(job.width));
    }
    job.scale = std::clamp(app.screenshot_scale, 1, MIVO3_SCREENSHOT_SCALE_MAX);
    std::memcpy(job.palette, quon_palette, sizeof job.palette);
    job.base = get_output_file_name_base();
    return job;
}

// The first desktop file "<base>_<n><ext>" (n as format gives it) that does
// not exist yet.
std::string free_name(const std::string& base, const char* format) {
    char name[600];
    for (int32_t n = 0;; n++) {
        std::snprintf(name, sizeof name, format, base.c_str(), n);
        const std::string path = quon_prefix_with_desktop_path(name);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) return path;
    }
}

bool add_extension(SavedImage* image, int function, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> data(bytes);
    return GifAddExtensionBlock(&image->ExtensionBlockCount, &image->ExtensionBlocks, function,
                                unsigned(data.size()), data.data()) == GIF_OK;
}

int32_t write_gif(const gif_job& job) {
    const std::string path = free_name(job.base, "%s_%d.gif");
    int error = 0;
    // Opened here rather than by the GIF library, which would make the file
    // readable by its owner only: a clip is made to be shared.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    GifFileType* gif = EGifOpenFileHandle(fd, &error);
    if (!gif) {
        ::close(fd);
        std::remove(path.c_str());
        return 1;
    }
    quon_debugf("saving video to: %s\n", path.c_str());

    // 16 colours unless some recorded pixel needs more.
    const bool wide = std::any_of(job.frames.begin(), job.frames.end(), [](uint8_t v) { return v >= 16; });
    const int colours = wide ? 256 : 16;
    GifColorType map_colours[256];
    for (int i = 0; i < colours; i++)
        map_colours[i] = {job.palette[3 * i], job.palette[3 * i + 1], job.palette[3 * i + 2]};
    const int side = frame_side * job.scale;
    gif->SWidth = side;
    gif->SHeight = side;
    gif->SColorResolution = colours;
    gif->SBackGroundColor = 0;
    gif->SColorMap = GifMakeMapObject(colours, map_colours);

    bool ok = gif->SColorMap != nullptr;
    for (int32_t f = 0; ok && f < job.count; f++) {
        SavedImage* image = GifMakeSavedImage(gif, nullptr);
        if (!image) {
            ok = false;
            break;
        }
        image->ImageDesc = {0, 0, side, side, false, GifMakeMapObject(colours, map_colours)};
        image->RasterBits = static_cast<GifByteType*>(std::malloc(size_t(side) * size_t(side)));
        if (!image->RasterBits || !image->ImageDesc.ColorMap) {
            ok = false;
            break;
        }
        const uint8_t* src = job.frames.data() + size_t(f) * frame_bytes;
        for (int y = 0; y < side; y++) {
            const uint8_t* row = src + (y / job.scale) * frame_side;
            GifByteType* out = image->RasterBits + size_t(y) * size_t(side);
            for (int x = 0; x < side; x++) out[x] = GifByteType(row[x / job.scale] % colours);
        }
        // The first image makes the clip loop forever; every image shows for
        // 3/100 s and is cleared to the background before the next.
        if (f == 0)
            ok = add_extension(image, APPLICATION_EXT_FUNC_CODE,
                               {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}) &&
                 add_extension(image, CONTINUE_EXT_FUNC_CODE, {1, 0, 0});
        ok = ok && add_extension(image, GRAPHICS_EXT_FUNC_CODE, {8, 3, 0, 0});
    }
    // EGifSpew frees the file record whatever happens.
    if (!ok) {
        EGifCloseFile(gif, &error);
        std::remove(path.c_str());
        return 1;
    }
    return EGifSpew(gif) == GIF_OK ? 0 : 1;
}

int32_t write_screenshot(const picture_job& job) {
    if (job.pixels.empty()) return 1;
    const std::string path = free_name(job.base, "%s_%03d.png");
    const int32_t w = job.width * job.scale, h = job.height * job.scale;
    std::vector<uint8_t> out(size_t(w) * size_t(h));
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* row = job.pixels.data() + size_t(y / job.scale) * size_t(job.width);
        uint8_t* dst = out.data() + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; x++) {
            const uint8_t v = row[x / job.scale];
            dst[x] = v == 0 ? 16 : v;  // entry 16 stands for colour 0 in saved pictures
        }
    }
    lodepng::State state;
    state.info_raw.colortype = LCT_PALETTE;
    state.info_raw.bitdepth = 8;
    state.info_png.color.colortype = LCT_PALETTE;
    state.info_png.color.bitdepth = 8;
    state.encoder.auto_convert = 0;
    for (int i = 0; i < 256; i++) {
        const uint8_t* c = job.palette + 3 * i;
        lodepng_palette_add(&state.info_raw, c[0], c[1], c[2], 255);
        lodepng_palette_add(&state.info_png.color, c[0], c[1], c[2], 255);
    }
    std::vector<uint8_t> png;
    quon_debugf("saving screenshot to: %s\n", path.c_str());
    if (lodepng::encode(png, out, unsigned(w), unsigned(h), state) != 0) return 1;
    quon_write_file_replacing(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? 0 : 1;
}

// One save at a time on the worker; its message waits for the main thread.
struct worker_state {
    std::thread thread;
    std::atomic<bool> done{true};
    int32_t result = 0;
    const char* saved = "";
    const char* failed = "";
} worker;

int32_t start(std::function<int32_t()> work, const char* saved, const char* failed) {
    if (!worker.done.load()) {
        show_capture_message("** still saving, try again", 1400);
        return 1;
    }
    if (worker.thread.joinable()) worker.thread.join();
    worker.saved = saved;
    worker.failed = failed;
    worker.done = false;
    worker.thread = std::thread([work = std::move(work)] {
        worker.result = work();
        worker.done = true;
    });
    return 0;
}

void tell_result() {
    if (worker.result == 0) show_capture_message(worker.saved, 1400);
    else show_capture_message(worker.failed, 1900);
}

// The shell's keys and the cart's extcmd: saves with their own messages.
int32_t key_screenshot() {
    return start_screenshot_save(mivo3_screen, "saved screenshot to desktop", "** failed to save screenshot");
}
int32_t key_video() { return start_gif_save("saved video to desktop", "** failed to save video"); }
int32_t cart_screenshot() {
    return start_screenshot_save(mivo3_screen, "saved screenshot to desktop", "** failed to save screenshot");
}
int32_t cart_video() { return start_gif_save("saved gif to desktop", "** failed to save video"); }
void record_shell_frame() { record_video_frame(video_frame_bmp); }

// extcmd("label"): the picture on show becomes the cart's label.
int32_t save_label() {
    if (!mivo3_current_cart || !mivo3_screen) return 1;
    blit_mivo3_back_page_to_mivo3_screen(true, pstate.screen_mode);
    if (!mivo3_current_cart->label) mivo3_current_cart->label = quon_create_bitmap(frame_side, frame_side, 8);
    if (!mivo3_current_cart->label) return 1;
    for (int32_t y = 0; y < frame_side; y++) std::memcpy(mivo3_current_cart->label->rows[y], mivo3_screen->rows[y], frame_side);
    return 0;
}

}  // namespace

void record_video_frame(const quon_bitmap* frame) {
    if (recording_off || !frame || frame->bits != 8 || frame->width < frame_side || frame->height < frame_side)
        return;
    if (ring.empty()) {
        if (app.gif_len <= 0) {
            recording_off = true;
            return;
        }
        slots = std::max(std::min(app.gif_len * 30, MIVO3_VIDEO_MAX_FRAMES), 30);
        ring.assign(size_t(slots) * frame_bytes, 0);
        head = frame_count = 0;
    }
    uint8_t* dst = slot(frame_count);
    for (int32_t y = 0; y < frame_side; y++) std::memcpy(dst + y * frame_side, frame->rows[y], frame_side);
    if (frame_count < slots - 1) frame_count++;
    else head = (head + 1) % slots;
}

void reset_video() { frame_count = 0; }

int32_t video_frame_count() { return frame_count; }

int32_t save_gif() { return write_gif(snapshot_gif()); }

int32_t save_png_screenshot(const quon_bitmap* bitmap) { return write_screenshot(snapshot_picture(bitmap)); }

std::string get_output_file_name_base() {
    std::string title;
    if (quon_stream* item = quon_pod_file(mivo3_resource_pod, 4))
        title = std::string(reinterpret_cast<const char*>(item->data), size_t(item->length)).c_str();
    if (title.empty()) return "MIVO-3";
    // The title names files: it must not name folders.
    std::replace(title.begin(), title.end(), '/', '_');
    return title;
}

int32_t start_gif_save(const char* saved, const char* failed) {
    return start([job = snapshot_gif()] { return write_gif(job); }, saved, failed);
}

int32_t start_screenshot_save(const quon_bitmap* bitmap, const char* saved, const char* failed) {
    return start([job = snapshot_picture(bitmap)] { return write_screenshot(job); }, saved, failed);
}

void capture_poll() {
    if (!worker.thread.joinable() || !worker.done.load()) return;
    worker.thread.join();
    tell_result();
}

void capture_wait() {
    if (!worker.thread.joinable()) return;
    worker.thread.join();
    tell_result();
}

void reset_capture() {
    capture_wait();
    ring.clear();
    ring.shrink_to_fit();
    slots = head = frame_count = 0;
    recording_off = false;
}

void capture_install_hooks() {
    mivo3_capture.save_screenshot = key_screenshot;
    mivo3_capture.reset_video_start = reset_video;
    mivo3_capture.save_video = key_video;
    mivo3_capture.record_frame = record_shell_frame;
    mivo3_capture.save_screenshot_now = save_png_screenshot;
    mivo3_capture.poll = capture_poll;
    mivo3_capture.wait = capture_wait;
    mivo3_api.save_label = save_label;
    mivo3_api.save_screenshot = cart_screenshot;
    mivo3_api.start_recording = reset_video;
    mivo3_api.save_video = cart_video;
}
