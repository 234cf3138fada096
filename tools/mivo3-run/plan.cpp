#include "tools/mivo3-run/plan.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

const char* const mivo3_run_usage = "usage: mivo3-run [options] CART";

const char* const mivo3_run_help =
    "usage: mivo3-run [options] CART\n"
    "\n"
    "Runs CART (a text cart .m3, a PNG cart picture or a 32 KiB cart image) in the\n"
    "player's run loop, frame by frame, without a window or a sound device and as\n"
    "fast as the machine allows. Frames are machine frames, numbered from 1 (the\n"
    "cart's first frame), whether the cart runs at 30 or 60 a second.\n"
    "\n"
    "  --frames N                 run N frames (default 1800); the run ends sooner\n"
    "                             when the cart ends\n"
    "  --press SCRIPT             hold buttons: comma-separated FRAMES:BUTTONS, e.g.\n"
    "                             60-90:p0.right,120:p0.o,130:p1.x+p1.left\n"
    "                             FRAMES is one frame or a span A-B; a button is\n"
    "                             [pN.]NAME with N a player 0-7 (0 when left out)\n"
    "                             and NAME left, right, up, down, o, x, pause or a\n"
    "                             number 0-7; repeatable\n"
    "  --input FILE               hold buttons from FILE: line i lists the buttons\n"
    "                             held in frame i, separated by spaces, commas or +\n"
    "  --screenshot FRAME:FILE    after FRAME, write the picture on show (through the\n"
    "                             display palette and screen mode) as a PNG; repeatable\n"
    "  --gif FROM-TO:FILE         write frames FROM to TO as the player's GIF clips\n"
    "                             record them (30 a second); repeatable\n"
    "  --scale N                  pictures and GIFs N times the 128x128 screen\n"
    "                             (default 1; GIFs 16 at most)\n"
    "  --wav FILE                 write what the speaker got over the whole run\n"
    "                             (22050 Hz, 16-bit, mono)\n"
    "  --dump-memory FRAME:FILE   after FRAME, write the 32 KiB of machine memory;\n"
    "                             repeatable\n"
    "  --param TEXT               the text the cart reads with stat(6)\n"
    "  --home DIR                 the per-user data folder (created when missing;\n"
    "                             default: a fresh folder, removed afterwards)\n"
    "  --cdata DIR                where cart data is kept (default: cdata/ in the home)\n"
    "  --seed N                   seed the random generators with N and start the\n"
    "                             calendar at 2000-01-01 00:00:00 UTC, so that runs\n"
    "                             with the same arguments give the same bytes\n"
    "  --expect-printh FILE       compare the lines the cart wrote with printh\n"
    "                             (without a file name) with FILE\n"
    "  --stats                    report frames and frames per second on standard error\n"
    "  --help                     this text\n"
    "  --version                  the player's version\n"
    "\n"
    "What the cart writes with printh goes to standard output; error reports and\n"
    "mivo3-run's own messages go to standard error.\n"
    "\n"
    "Exit status: 0 the cart ran its frames or ended; 1 it could not be loaded;\n"
    "2 a syntax or runtime error stopped it; 3 a bad option or an output file\n"
    "that could not be written; 4 the printh lines differ from --expect-printh.\n";

namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parse_int(std::string_view text, int64_t lo, int64_t hi, int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_frame(std::string_view text, int32_t& frame) {
    int64_t v = 0;
    if (!parse_int(text, 1, MIVO3_RUN_MAX_FRAMES, v)) return false;
    frame = int32_t(v);
    return true;
}

// "A" or "A-B" with 1 <= A <= B.
bool parse_span(std::string_view text, int32_t& from, int32_t& to) {
    const size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!parse_frame(text, from)) return false;
        to = from;
        return true;
    }
    return parse_frame(text.substr(0, dash), from) && parse_frame(text.substr(dash + 1), to) && from <= to;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The pieces of text between separators; an empty text is one empty piece.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (size_t pos = 0;;) {
        const size_t at = text.find(separator, pos);
        pieces.push_back(text.substr(pos, at == std::string_view::npos ? std::string_view::npos : at - pos));
        if (at == std::string_view::npos) return pieces;
        pos = at + 1;
    }
}

// The lines of a text; a last line needs no newline, and a carriage return
// before a newline is no part of the line.
std::vector<std::string_view> text_lines(std::string_view text) {
    std::vector<std::string_view> lines = split(text, '\n');
    if (lines.back().empty()) lines.pop_back();
    for (std::string_view& line : lines)
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return lines;
}

// FRAME:FILE or FROM-TO:FILE, split at the first colon.
std::string parse_output(std::string_view option, std::string_view value, bool span, run_output& out) {
    const size_t colon = value.find(':');
    const char* form = span ? "FROM-TO:FILE" : "FRAME:FILE";
    if (colon == std::string_view::npos || colon + 1 >= value.size())
        return std::string(option) + " takes " + form + ", not " + quoted(value);
    const std::string_view frames = value.substr(0, colon);
    const bool ok = span ? parse_span(frames, out.from, out.to) : parse_frame(frames, out.from);
    if (!ok) return std::string(option) + ": bad frame " + quoted(frames) + " (frames are numbered from 1)";
    if (!span) out.to = out.from;
    out.path = std::string(value.substr(colon + 1));
    return "";
}

constexpr const char* button_names[] = {"left", "right", "up", "down", "o", "x", "pause"};

}  // namespace

bool parse_button(std::string_view text, int32_t& player, int32_t& button) {
    std::string s = lower(text);
    player = 0;
    if (s.size() >= 3 && s[0] == 'p' && s[1] >= '0' && s[1] <= '9' && s[2] == '.') {
        player = s[1] - '0';
        if (player >= MIVO3_RUN_PLAYERS) return false;
        s = s.substr(3);
    }
    for (int32_t b = 0; b < int32_t(std::size(button_names)); b++) {
        if (s == button_names[b]) {
            button = b;
            return true;
        }
    }
    if (s.size() == 1 && s[0] >= '0' && s[0] <= '7') {
        button = s[0] - '0';
        return true;
    }
    return false;
}

std::string parse_press_script(std::string_view script, std::vector<run_press>& out) {
    for (const std::string_view item : split(script, ',')) {
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) return "--press: " + quoted(item) + " is not FRAMES:BUTTONS";
        run_press press;
        if (!parse_span(item.substr(0, colon), press.from, press.to))
            return "--press: bad frames " + quoted(item.substr(0, colon)) + " (one frame or A-B, from 1)";
        for (const std::string_view name : split(item.substr(colon + 1), '+')) {
            if (!parse_button(name, press.player, press.button))
                return "--press: unknown button " + quoted(name) +
                       " (left, right, up, down, o, x, pause or 0-7, with p0.-p7. for the player)";
            out.push_back(press);
        }
    }
    return "";
}

std::string parse_held_buttons(std::string_view line, int32_t (&masks)[MIVO3_RUN_PLAYERS]) {
    size_t pos = 0;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == ' ' || c == '\t' || c == ',' || c == '+' || c == '\r') {
            pos++;
            continue;
        }
        size_t end = line.find_first_of(" \t,+\r", pos);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view name = line.substr(pos, end - pos);
        int32_t player = 0, button = 0;
        if (!parse_button(name, player, button)) return "unknown button " + quoted(name);
        masks[player] |= 1 << button;
        pos = end;
    }
    return "";
}

int32_t run_input::mask(int32_t frame, int32_t player) const {
    if (player < 0 || player >= MIVO3_RUN_PLAYERS) return 0;
    int32_t m = frame >= 1 && size_t(frame) <= lines.size() ? lines[size_t(frame - 1)][size_t(player)] : 0;
    for (const run_press& p : presses)
        if (p.player == player && frame >= p.from && frame <= p.to) m |= 1 << p.button;
    return m;
}

std::string build_run_input(const run_plan& plan, std::string_view input_text, run_input& out) {
    out.presses = plan.presses;
    out.lines.clear();
    for (const std::string_view text : text_lines(input_text)) {
        if (int32_t(out.lines.size()) >= plan.frames) break;
        int32_t masks[MIVO3_RUN_PLAYERS] = {};
        const std::string error = parse_held_buttons(text, masks);
        if (!error.empty()) return plan.input_path + " line " + std::to_string(out.lines.size() + 1) + ": " + error;
        std::array<int32_t, MIVO3_RUN_PLAYERS>& line = out.lines.emplace_back();
        std::copy(std::begin(masks), std::end(masks), line.begin());
    }
    return "";
}

std::string parse_run_options(int argc, const char* const* argv, run_plan& plan) {
    plan = run_plan{};
    bool frames_given = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        bool inline_value = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                inline_value = true;
            }
        }
        if (arg == "--help" || arg == "-h") {
            plan.help = true;
            continue;
        }
        if (arg == "--version") {
            plan.version = true;
            continue;
        }
        if (arg == "--stats") {
            plan.stats = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            static constexpr const char* valued[] = {"--frames", "--press", "--input", "--screenshot", "--gif",
                                                     "--scale", "--wav", "--dump-memory", "--param", "--home",
                                                     "--cdata", "--seed", "--expect-printh"};
            if (std::find_if(std::begin(valued), std::end(valued), [&](const char* o) { return arg == o; }) ==
                std::end(valued))
                return "unknown option " + quoted(arg);
            if (!inline_value) {
                if (i + 1 >= argc || !argv[i + 1]) return arg + " needs a value";
                value = argv[++i];
            }
            int64_t n = 0;
            std::string error;
            if (arg == "--frames") {
                if (!parse_int(value, 1, MIVO3_RUN_MAX_FRAMES, n))
                    return "--frames takes a number from 1 to " + std::to_string(MIVO3_RUN_MAX_FRAMES) + ", not " +
                           quoted(value);
                plan.frames = int32_t(n);
                frames_given = true;
            } else if (arg == "--press") {
                error = parse_press_script(value, plan.presses);
            } else if (arg == "--input") {
                if (!plan.input_path.empty()) return "--input given twice";
                plan.input_path = value;
            } else if (arg == "--screenshot" || arg == "--dump-memory" || arg == "--gif") {
                run_output out;
                error = parse_output(arg, value, arg == "--gif", out);
                (arg == "--screenshot" ? plan.screenshots : arg == "--gif" ? plan.gifs : plan.dumps).push_back(out);
            } else if (arg == "--scale") {
                if (!parse_int(value, 1, MIVO3_RUN_MAX_SCALE, n))
                    return "--scale takes a number from 1 to " + std::to_string(MIVO3_RUN_MAX_SCALE) + ", not " +
                           quoted(value);
                plan.scale = int32_t(n);
            } else if (arg == "--wav") {
                plan.wav_path = value;
            } else if (arg == "--param") {
                plan.param_given = true;
                plan.param = value;
            } else if (arg == "--home") {
                plan.home = value;
            } else if (arg == "--cdata") {
                plan.cdata = value;
            } else if (arg == "--seed") {
                if (!parse_int(value, 0, 0xffffffffll, n))
                    return "--seed takes a number from 0 to 4294967295, not " + quoted(value);
                plan.seeded = true;
                plan.seed = uint32_t(n);
            } else if (arg == "--expect-printh") {
                plan.expect_printh = value;
            }
            if (!error.empty()) return error;
            if ((arg == "--wav" || arg == "--home" || arg == "--cdata" || arg == "--input" ||
                 arg == "--expect-printh") &&
                value.empty())
                return arg + " needs a value";
            continue;
        }
        if (!plan.cart.empty()) return "more than one cart: " + quoted(plan.cart) + " and " + quoted(arg);
        plan.cart = arg;
    }
    if (plan.help || plan.version) return "";
    if (plan.cart.empty()) return "no cart named";

    // A frame after the last one run would silently write nothing.
    auto check_frame = [&](int32_t frame, const char* option) -> std::string {
        if (frame <= plan.frames) return "";
        return std::string(option) + " names frame " + std::to_string(frame) + ", after the last frame run (" +
               std::to_string(plan.frames) + (frames_given ? ")" : ", the default; give --frames)");
    };
    for (const run_output& o : plan.screenshots)
        if (std::string e = check_frame(o.from, "--screenshot"); !e.empty()) return e;
    for (const run_output& o : plan.dumps)
        if (std::string e = check_frame(o.from, "--dump-memory"); !e.empty()) return e;
    for (const run_output& o : plan.gifs)
        if (std::string e = check_frame(o.to, "--gif"); !e.empty()) return e;
    for (const run_press& p : plan.presses)
        if (std::string e = check_frame(p.to, "--press"); !e.empty()) return e;
    return "";
}

std::string compare_printh_lines(std::string_view expected, std::string_view written) {
    const std::vector<std::string_view> want = text_lines(expected);
    const std::vector<std::string_view> got = text_lines(written);
    const size_t common = std::min(want.size(), got.size());
    for (size_t i = 0; i < common; i++)
        if (want[i] != got[i])
            return "printh line " + std::to_string(i + 1) + " differs: expected " + quoted(want[i]) + ", got " +
                   quoted(got[i]);
    if (got.size() < want.size())
        return "the cart wrote " + std::to_string(got.size()) + " printh lines, the file has " +
               std::to_string(want.size()) + "; the next expected is " + quoted(want[got.size()]);
    if (got.size() > want.size())
        return "the cart wrote " + std::to_string(got.size()) + " printh lines, the file has " +
               std::to_string(want.size()) + "; the first extra is " + quoted(got[want.size()]);
    return "";
}
