// manpage: writes the player's manual page (section 6) from README.md, so
// that the option tables are written once.
//
//   manpage --version V README.md mivo3.6
//
// The page is the README's first paragraph and the sections listed below,
// converted from the little Markdown the README uses: paragraphs, tables (a
// row becomes a tagged paragraph), "- " lists, blocks indented by four
// spaces and `code` spans.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct section {
    const char* heading;  // README heading, after "## "
    const char* title;    // manual page section
};

constexpr section sections[] = {
    {"Command-line options", "OPTIONS"},
    {"Where files go", "FILES"},
    {"Commands a cart can call", "COMMANDS A CART CAN CALL"},
    {"Shipping your game", "SHIPPING YOUR GAME"},
    {"Testing your cart", "TESTING YOUR CART"},
    {"Running without a display", "RUNNING WITHOUT A DISPLAY"},
};

// Text as roff: backslashes and minus signs escaped, `code` in bold.
std::string inline_text(const std::string& text) {
    std::string out;
    bool code = false;
    for (char c : text) {
        if (c == '`') {
            out += code ? "\\fR" : "\\fB";
            code = !code;
        } else if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (code) out += "\\fR";
    // A line starting with a dot or a quote would be read as a request.
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::vector<std::string> table_cells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    bool code = false;
    for (size_t i = 1; i < line.size(); i++) {
        if (line[i] == '`') code = !code;
        if (line[i] == '|' && !code) {
            cells.push_back(trim(cell));
            cell.clear();
        } else {
            cell += line[i];
        }
    }
    return cells;
}

// One README section (its lines without the heading) as roff.
std::string convert(const std::vector<std::string>& lines) {
    std::string out;
    size_t i = 0;
    auto blank = [&](size_t k) { return trim(lines[k]).empty(); };
    while (i < lines.size()) {
        const std::string& line = lines[i];
        if (blank(i)) {
            i++;
        } else if (line.rfind("    ", 0) == 0) {
            out += ".PP\n.RS 4\n.nf\n";
            for (; i < lines.size() && (lines[i].rfind("    ", 0) == 0 || blank(i)); i++)
                if (!blank(i)) out += inline_text(lines[i].substr(4)) + "\n";
            out += ".fi\n.RE\n";
        } else if (line[0] == '|') {
            // The header row and the rule under it are left out.
            for (i += 2; i < lines.size() && !lines[i].empty() && lines[i][0] == '|'; i++) {
                const std::vector<std::string> cells = table_cells(lines[i]);
                if (cells.size() < 2) continue;
                out += ".TP\n" + inline_text(cells[0]) + "\n" + inline_text(cells[1]) + "\n";
            }
        } else if (line.rfind("- ", 0) == 0) {
            out += ".IP \\(bu 2\n" + inline_text(line.substr(2)) + "\n";
            for (i++; i < lines.size() && lines[i].rfind("  ", 0) == 0 && !blank(i); i++)
                out += inline_text(trim(lines[i])) + "\n";
        } else {
            out += ".PP\n";
            for (; i < lines.size() && !blank(i) && lines[i][0] != '|' && lines[i].rfind("- ", 0) != 0; i++)
                out += inline_text(trim(lines[i])) + "\n";
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) != "--version") {
        std::fprintf(stderr, "usage: manpage --version V README.md out.6\n");
        return 2;
    }
    std::ifstream in(argv[3]);
    if (!in) {
        std::fprintf(stderr, "manpage: cannot read %s\n", argv[3]);
        return 1;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);

    // The first paragraph after the title, and each section's lines.
    std::vector<std::string> intro;
    size_t n = 0;
    while (n < lines.size() && (lines[n].rfind("# ", 0) == 0 || trim(lines[n]).empty())) n++;
    for (; n < lines.size() && !trim(lines[n]).empty(); n++) intro.push_back(lines[n]);

    std::string page = ".TH MIVO3 6 \"\" \"mivo-3 " + std::string(argv[2]) + "\" \"Games\"\n" +
                       ".SH NAME\nmivo3 \\- the mivo\\-3 fantasy console player\n" +
                       ".SH SYNOPSIS\n.B mivo3\n[\\fIoptions\\fR] [\\fICART\\fR]\n.br\n.B mivo3\n" +
                       "\\-x \\fICART\\fR [\\fIoptions\\fR]\n.br\n.B mivo3\\-pack\n" +
                       "\\fIGAME.m3\\fR [\\fIMORE.m3\\fR ...] [\\-\\-title \\fITITLE\\fR] " +
                       "[\\-\\-icon \\fIicon.png\\fR] \\-o \\fIOUTDIR\\fR\n" +
                       ".SH DESCRIPTION\n" + convert(intro);
    for (const section& s : sections) {
        const std::string heading = std::string("## ") + s.heading;
        size_t start = 0;
        while (start < lines.size() && lines[start] != heading) start++;
        if (start == lines.size()) {
            std::fprintf(stderr, "manpage: %s has no section \"%s\"\n", argv[3], s.heading);
            return 1;
        }
        size_t end = start + 1;
        while (end < lines.size() && lines[end].rfind("## ", 0) != 0) end++;
        page += ".SH " + std::string(s.title) + "\n" +
                convert(std::vector<std::string>(lines.begin() + long(start) + 1, lines.begin() + long(end)));
    }
    std::ofstream out(argv[4], std::ios::trunc);
    out << page;
    if (!out.flush()) {
        std::fprintf(stderr, "manpage: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
