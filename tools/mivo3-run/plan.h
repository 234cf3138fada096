// mivo3-run's command line: what a run is asked to do (frames, buttons,
// pictures, sound, memory, cart data, seeding, the printh check), read and
// checked before anything runs. Frames are machine frames numbered from 1,
// the cart's first frame.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int32_t MIVO3_RUN_PLAYERS = 8;
constexpr int32_t MIVO3_RUN_DEFAULT_FRAMES = 1800;  // a minute at 30 frames a second
constexpr int32_t MIVO3_RUN_MAX_FRAMES = 100000000;
constexpr int32_t MIVO3_RUN_MAX_SCALE = 32;

// A button held from frame `from` to frame `to`, both included.
struct run_press {
    int32_t from = 0, to = 0;
    int32_t player = 0, button = 0;
};

// A file written at a frame (--screenshot, --dump-memory) or over a span of
// frames (--gif: from..to).
struct run_output {
    int32_t from = 0, to = 0;
    std::string path;
};

struct run_plan {
    std::string cart;
    int32_t frames = MIVO3_RUN_DEFAULT_FRAMES;
    std::vector<run_press> presses;
    std::string input_path;  // --input: one line of held buttons per frame
    std::vector<run_output> screenshots, dumps, gifs;
    int32_t scale = 1;
    std::string wav_path;
    bool param_given = false;
    std::string param;
    std::string home, cdata;
    bool seeded = false;
    uint32_t seed = 0;
    std::string expect_printh;
    bool stats = false;
    bool help = false, version = false;
};

// The usage line and the whole help text.
extern const char* const mivo3_run_usage;
extern const char* const mivo3_run_help;

// Reads the command line into plan. "" when it is good, else what is wrong
// with it, in one line.
std::string parse_run_options(int argc, const char* const* argv, run_plan& plan);

// One button: "p1.x", "right", "p0.4" (a player 0..7 and a button by name -
// left, right, up, down, o, x, pause - or number 0..7; player 0 when none is
// named). False when it names none.
bool parse_button(std::string_view text, int32_t& player, int32_t& button);
// A --press script: comma-separated items FRAMES:BUTTONS, FRAMES one frame
// or a span "60-90", BUTTONS one button or several joined by '+'. Appends to
// out; "" or what is wrong.
std::string parse_press_script(std::string_view script, std::vector<run_press>& out);
// One line of an --input file: the buttons held, separated by spaces, commas
// or '+'; an empty line holds none. Sets bit b of masks[p] for each; "" or
// what is wrong.
std::string parse_held_buttons(std::string_view line, int32_t (&masks)[MIVO3_RUN_PLAYERS]);

// The held buttons of every frame: the presses, and the input lines (line i
// is frame i + 1; frames after the last line hold none of them).
struct run_input {
    std::vector<run_press> presses;
    std::vector<std::array<int32_t, MIVO3_RUN_PLAYERS>> lines;
    int32_t mask(int32_t frame, int32_t player) const;  // bit b: button b held
};
// Builds the input from the plan's presses and the text of its --input file
// (empty when none). "" or what is wrong, naming the line.
std::string build_run_input(const run_plan& plan, std::string_view input_text, run_input& out);

// Compares what a cart wrote with printh (each text followed by a newline)
// with the expected file's text, line by line; a carriage return before a
// newline and a missing newline at the end of the file are not differences.
// "" when they agree, else the first difference in one line.
std::string compare_printh_lines(std::string_view expected, std::string_view written);
