// Console output: the shell's own lines (boot banner, command results,
// runtime errors) as a scrolling log on the machine's drawing surface
// mivo3_back_page, 32 characters of the console font (mivo3_print_font) to a
// 6-pixel line, starting at the print cursor (pstate.cursor_x/cursor_y).
// When one cart runs headless (-x) the lines go to standard output instead:
// while the shell is stopped, or always when an export name was given.
//
// Scrolling is the drawing layer's mivo3_cursor_cr (machine/draw.h), shared
// with the language's print so that both keep one cursor.
#pragma once
#include <cstdint>

// Prints one line in colour 6; a longer text wraps onto as many lines as it
// needs, and each newline starts a line of its own. The cursor ends below.
void mivo_print(const char* text);
void mivo_print_col(const char* text, int32_t colour);
// printf-style format with two integers, then as mivo_print / mivo_print_col.
void mivo_print_2(const char* format, int32_t a, int32_t b);
void mivo_print_2_col(const char* format, int32_t a, int32_t b, int32_t colour);

// The shell's options that route lines to standard output: the -x switch
// and whether an export name was given. Both start off.
void mivo_console_set_route(bool x_switch, bool export_named);
// True when the next line would go to standard output.
bool mivo_console_to_stdout();
// Takes the lines meant for standard output instead, one call per line
// (without its newline); null gives them back to standard output. The
// headless runner sends error reports to standard error with it.
void mivo_console_set_stdout_sink(void (*sink)(const char* line));
