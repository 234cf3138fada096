#include "capture/capture.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "host/bitmap.h"
#include "host/display.h"
#include "host/log.h"
#include "host/paths.h"
#include "host/png.h"
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
// nothing the player is changing: the frames or the picture, the settings,
// the palette and the path of the file it writes.
struct gif_job {
    std::string path;
    std::vector<uint8_t> frames;  // count frames of 128x128
    int32_t count = 0;
    int32_t scale = 1;
    uint8_t palette[768] = {};
};

struct picture_job {
    std::string path;
    std::vector<uint8_t> pixels;
    int32_t width = 0, height = 0, scale = 1;
    uint8_t palette[768] = {};
};

bool is_picture(const quon_bitmap* bmp) { return bmp && bmp->bits == 8 && bmp->width > 0 && bmp->height > 0; }

gif_job snapshot_gif(std::string path) {
    gif_job job;
    job.path = std::move(path);
    job.count = frame_count;
    // The frames in order are at most two runs of the ring, copied as they
    // are (without first clearing the copy: this runs in the frame of F9).
    if (frame_count > 0) {
        job.frames.reserve(size_t(frame_count) * frame_bytes);
        const int32_t first_run = std::min(frame_count, slots - head);
        job.frames.insert(job.frames.end(), slot(0), slot(0) + size_t(first_run) * frame_bytes);
        if (frame_count > first_run)
            job.frames.insert(job.frames.end(), ring.data(),
                              ring.data() + size_t(frame_count - first_run) * frame_bytes);
    }
    job.scale = std::clamp(app.gif_scale, 1, MIVO3_GIF_SCALE_MAX);
    std::memcpy(job.palette, quon_palette, sizeof job.palette);
    return job;
}

picture_job snapshot_picture(const quon_bitmap* bmp, std::string path, int32_t scale) {
    picture_job job;
    job.path = std::move(path);
    job.width = bmp->width;
    job.height = bmp->height;
    job.pixels.resize(size_t(job.width) * size_t(job.height));
    for (int32_t y = 0; y < job.height; y++)
        std::memcpy(job.pixels.data() + size_t(y) * size_t(job.width), bmp->rows[y], size_t(job.width));
    job.scale = std::clamp(scale, 1, MIVO3_SCREENSHOT_SCALE_MAX);
    std::memcpy(job.palette, quon_palette, sizeof job.palette);
    return job;
}

// The first desktop file "<base>_<n><ext>" (n as format gives it) that does
// not exist, created empty so that no other save can take the name before
// its picture is written. "" when the desktop cannot take a file.
std::string reserve_name(const char* format) {
    const std::string base = get_output_file_name_base();
    char name[600];
    for (int32_t n = 0; n < 1000000; n++) {
        std::snprintf(name, sizeof name, format, base.c_str(), n);
        const std::string path = quon_prefix_with_desktop_path(name);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return "";
    }
    return "";
}

bool put_gif(GifFileType* gif, const gif_job& job) {
    // 16 colours unless some recorded pixel needs more.
    const bool wide = std::any_of(job.frames.begin(), job.frames.end(), [](uint8_t v) { return v >= 16; });
    const int colours = wide ? 256 : 16;
    GifColorType map_colours[256];
    for (int i = 0; i < colours; i++)
        map_colours[i] = {job.palette[3 * i], job.palette[3 * i + 1], job.palette[3 * i + 2]};
    // The library copies the map wherever it is given.
    ColorMapObject* map = GifMakeMapObject(colours, map_colours);
    if (!map) return false;
    // The extensions below need version 89a, which the library writes only
    // when told.
    if (job.count > 0) EGifSetGifVersion(gif, true);
    const int side = frame_side * job.scale;
    bool ok = EGifPutScreenDesc(gif, side, side, colours, 0, map) == GIF_OK;

    static const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop_forever[] = {1, 0, 0};
    static const GifByteType control[] = {8, 3, 0, 0};
    // One scaled frame at a time: a clip of two minutes at a large scale
    // would not fit in memory whole.
    std::vector<GifByteType> raster(size_t(side) * size_t(side));
    for (int32_t f = 0; ok && f < job.count; f++) {
        // The first image makes the clip loop forever; every image shows for
        // 3/100 s and is cleared to the background before the next.
        if (f == 0)
            ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                 EGifPutExtensionBlock(gif, sizeof application, application) == GIF_OK &&
                 EGifPutExtensionBlock(gif, sizeof loop_forever, loop_forever) == GIF_OK &&
                 EGifPutExtensionTrailer(gif) == GIF_OK;
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof control, control) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, side, side, false, map) == GIF_OK;
        // Each source row is stretched once and its copies follow it.
        const uint8_t* src = job.frames.data() + size_t(f) * frame_bytes;
        for (int y = 0; y < frame_side; y++) {
            GifByteType* out = raster.data() + size_t(y) * size_t(job.scale) * size_t(side);
            GifByteType* o = out;
            for (int x = 0; x < frame_side; x++, o += job.scale)
                std::memset(o, src[y * frame_side + x] % colours, size_t(job.scale));
            for (int k = 1; k < job.scale; k++) std::memcpy(out + size_t(k) * size_t(side), out, size_t(side));
        }
        ok = ok && EGifPutLine(gif, raster.data(), side * side) == GIF_OK;
    }
    GifFreeMapObject(map);
    return ok;
}

int32_t write_gif(const gif_job& job) {
    // Opened here rather than by the GIF library, which would make the file
    // readable by its owner only: a clip is made to be shared.
    const int fd = ::open(job.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int error = 0;
    GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &error) : nullptr;
    if (!gif) {
        if (fd >= 0) ::close(fd);
        std::remove(job.path.c_str());
        return 1;
    }
    const bool ok = put_gif(gif, job);
    // Closing writes the trailer and frees the record whatever went before.
    if (EGifCloseFile(gif, &error) == GIF_OK && ok) return 0;
    std::remove(job.path.c_str());
    return 1;
}

int32_t write_screenshot(const picture_job& job) {
    const int32_t w = job.width * job.scale, h = job.height * job.scale;
    quon_bitmap* out = quon_create_bitmap(w, h, 8);
    if (!out) {
        std::remove(job.path.c_str());
        return 1;
    }
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* row = job.pixels.data() + size_t(y / job.scale) * size_t(job.width);
        uint8_t* dst = out->rows[y];
        for (int32_t x = 0; x < w; x++) {
            const uint8_t v = row[x / job.scale];
            dst[x] = v == 0 ? 16 : v;  // entry 16 stands for colour 0 in saved pictures
        }
    }
    if (quon_save_png(job.path.c_str(), out, job.palette) != 0) std::remove(job.path.c_str());
    quon_destroy_bitmap(out);
    std::error_code ec;
    return std::filesystem::exists(job.path, ec) ? 0 : 1;
}

// One save at a time on the worker; its message waits for the main thread.
struct worker_state {
    std::thread thread;
    std::atomic<bool> done{true};
    int32_t result = 0;
    const char* saved = "";
    const char* failed = "";
} worker;

// A program that ends through exit() still finishes the file it is writing
// (and a thread left joinable at exit would abort the process).
void join_at_exit() {
    if (worker.thread.joinable()) worker.thread.join();
}

bool refuse_while_saving() {
    if (worker.done.load()) return false;
    show_capture_message("** still saving, try again", 1400);
    return true;
}

int32_t start(std::function<int32_t()> work, const char* saved, const char* failed) {
    static bool exit_joins = false;
    if (!exit_joins) exit_joins = std::atexit(join_at_exit) == 0;
    if (worker.thread.joinable()) worker.thread.join();
    worker.saved = saved;
    worker.failed = failed;
    worker.done = false;
    try {
        worker.thread = std::thread([work = std::move(work)] {
            worker.result = work();
            worker.done = true;
        });
    } catch (const std::system_error&) {
        worker.done = true;
        show_capture_message(failed, 1900);
        return 1;
    }
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

int32_t save_gif() {
    std::string path = reserve_name("%s_%d.gif");
    if (path.empty()) return 1;
    quon_debugf("saving video to: %s\n", path.c_str());
    return write_gif(snapshot_gif(std::move(path)));
}

int32_t save_png_screenshot(const quon_bitmap* bitmap) {
    if (!is_picture(bitmap)) return 1;
    std::string path = reserve_name("%s_%03d.png");
    if (path.empty()) return 1;
    quon_debugf("saving screenshot to: %s\n", path.c_str());
    return write_screenshot(snapshot_picture(bitmap, std::move(path), app.screenshot_scale));
}

int32_t write_png_picture(const char* path, const quon_bitmap* bitmap, int32_t scale) {
    if (!path || !is_picture(bitmap)) return 1;
    return write_screenshot(snapshot_picture(bitmap, path, scale));
}

int32_t write_gif_clip(const char* path, const std::vector<uint8_t>& frames, int32_t scale) {
    if (!path) return 1;
    gif_job job;
    job.path = path;
    job.count = int32_t(frames.size() / frame_bytes);
    job.frames.assign(frames.begin(), frames.begin() + ptrdiff_t(job.count) * frame_bytes);
    job.scale = std::clamp(scale, 1, MIVO3_GIF_SCALE_MAX);
    std::memcpy(job.palette, quon_palette, sizeof job.palette);
    return write_gif(job);
}

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
    if (refuse_while_saving()) return 1;
    std::string path = reserve_name("%s_%d.gif");
    if (path.empty()) {
        show_capture_message(failed, 1900);
        return 1;
    }
    quon_debugf("saving video to: %s\n", path.c_str());
    return start([job = snapshot_gif(std::move(path))] { return write_gif(job); }, saved, failed);
}

int32_t start_screenshot_save(const quon_bitmap* bitmap, const char* saved, const char* failed) {
    if (refuse_while_saving()) return 1;
    std::string path = is_picture(bitmap) ? reserve_name("%s_%03d.png") : "";
    if (path.empty()) {
        show_capture_message(failed, 1900);
        return 1;
    }
    quon_debugf("saving screenshot to: %s\n", path.c_str());
    picture_job job = snapshot_picture(bitmap, std::move(path), app.screenshot_scale);
    return start([job = std::move(job)] { return write_screenshot(job); }, saved, failed);
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
