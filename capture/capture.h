// Capture: a rolling recording of the last seconds the console showed,
// written on request as an animated GIF on the desktop, and PNG screenshots.
// The shell records every finished frame (at 30 a second) and starts the
// saves; the files are encoded on a worker thread from a copy of what was
// recorded, so that play never stops for them, and the result is told on the
// message bar once the file is written.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct quon_bitmap;

constexpr int32_t MIVO3_VIDEO_MAX_FRAMES = 3600;  // ring slots at most (two minutes)
constexpr int32_t MIVO3_SCREENSHOT_SCALE_MAX = 32;
constexpr int32_t MIVO3_GIF_SCALE_MAX = 16;

// Copies a 128x128 8-bit frame into the ring. Nothing when gif_len is 0.
// The ring (min(gif_len x 30, 3600) slots, at least 30) is made on the first
// frame; gif_len is read then and kept. It always holds the newest frames in
// order, one fewer than its slots.
void record_video_frame(const quon_bitmap* frame);
// The next GIF starts with the next recorded frame.
void reset_video();
// Frames recorded since the start point (what the next GIF holds).
int32_t video_frame_count();

// Writes "<base>_<n>.gif" (the first n whose file does not exist) on the
// desktop from the recorded frames, scaled by gif_scale, now. 0 on success,
// 1 when the file cannot be written.
int32_t save_gif();
// Writes "<base>_<nnn>.png" (the first free number from 000) on the desktop:
// bitmap scaled by screenshot_scale (1..32), colour 0 stored as entry 16 of
// the host palette. 0 when the file exists afterwards, else 1.
int32_t save_png_screenshot(const quon_bitmap* bitmap);
// The same encoders writing a file named by the caller, now, on the calling
// thread, with the host palette (the headless runner's files): a PNG of
// bitmap scaled by scale (1..32), colour 0 as in screenshots; a clip of
// frames (128x128 pictures of one byte a pixel, one after another) scaled
// by scale (1..16). 0 on success; a file not written whole is removed.
int32_t write_png_picture(const char* path, const quon_bitmap* bitmap, int32_t scale);
int32_t write_gif_clip(const char* path, const std::vector<uint8_t>& frames, int32_t scale);

// The resource pod's title, or "MIVO-3" when it has none.
std::string get_output_file_name_base();

// The same saves on the worker thread: the file is named (and created
// empty) and the frames or the bitmap and the palette are copied now;
// `saved` or `failed` is shown on the message bar when the file is written
// (capture_poll). A desktop that takes no file is told at once, with
// `failed`, and returns 1. Only one save runs at a time: another one asked
// for meanwhile is refused with a message and returns 1.
int32_t start_gif_save(const char* saved, const char* failed);
int32_t start_screenshot_save(const quon_bitmap* bitmap, const char* saved, const char* failed);
// Main thread, once per update: shows the message of a save that finished.
void capture_poll();
// Waits for a running save (the player is quitting: the file must be whole).
void capture_wait();
// Frees the ring and forgets the settings (tests; gif_len is read again).
void reset_capture();

// Connects the shell's capture keys and frames and the extcmd captures.
void capture_install_hooks();
