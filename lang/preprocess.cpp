#include "lang/preprocess.h"

#include <cstring>
#include <vector>

#include "lang/tokenizer.h"

namespace {

// One gathered line and the mask of its characters that lie inside strings.
struct line_state {
    std::string text;
    std::vector<uint8_t> in_string;
    std::string scratch;
    std::vector<uint8_t> scratch_mask;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void compute_mask(line_state& ls) {
    ls.in_string.assign(ls.text.size(), 0);
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, ls.text);
    while (mivo3_lexer_next(lx) != TOKEN_END) {
        if (lx.cls == TOKEN_STRING)
            std::memset(ls.in_string.data() + (lx.start - ls.text.data()), 1,
                        static_cast<size_t>(lx.pos - lx.start));
    }
}

// First occurrence of `what` at or after `from` whose characters all lie
// outside strings, or npos.
size_t find_outside(const line_state& ls, std::string_view what, size_t from = 0) {
    for (size_t i = ls.text.find(what, from); i != std::string::npos; i = ls.text.find(what, i + 1)) {
        bool outside = true;
        for (size_t k = 0; k < what.size() && outside; k++) outside = !ls.in_string[i + k];
        if (outside) return i;
    }
    return std::string::npos;
}

bool is_target_char(uint8_t c) { return is_alphanum_dat(c) || c == '.'; }

// Start of the assignment target that ends at `end`: names, digits, '.',
// glyph bytes and balanced [...] groups, scanned backwards. Brackets inside
// strings do not count, so t["]"] is one target.
size_t target_start(const line_state& ls, size_t end) {
    const std::string& s = ls.text;
    size_t i = end;
    while (i > 0) {
        uint8_t c = static_cast<uint8_t>(s[i - 1]);
        if (is_target_char(c) && !ls.in_string[i - 1]) {
            i--;
        } else if (c == ']' && !ls.in_string[i - 1]) {
            int32_t depth = 0;
            size_t j = i;
            bool matched = false;
            while (j > 0) {
                --j;
                if (ls.in_string[j]) continue;
                if (s[j] == ']') depth++;
                else if (s[j] == '[' && --depth == 0) {
                    matched = true;
                    break;
                }
            }
            if (!matched) break;
            i = j;
        } else {
            break;
        }
    }
    return i;
}

bool is_operator_char(int32_t cls) {
    switch (cls) {
    case '^':
    case '#':
    case '%':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/':
    case ':': return true;
    default: return false;
    }
}

// End of the expression that starts at `from`: operands joined by operators,
// with calls and indexing in brackets; the second operand in a row, or a
// ')' that closes an outer bracket, ends it.
size_t expression_end(const std::string& s, size_t from) {
    enum { OPERAND_EXPECTED, INSIDE_BRACKETS, OPERAND_SEEN } state = OPERAND_EXPECTED;
    int32_t depth = 0;
    size_t end = from;
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, std::string_view(s).substr(from), false);
    while (mivo3_lexer_next(lx) != TOKEN_END) {
        int32_t cls = lx.cls;
        if (state == INSIDE_BRACKETS) {
            if (cls == '(' || cls == '[') depth++;
            else if ((cls == ')' || cls == ']') && --depth == 0) state = OPERAND_SEEN;
        } else if (cls == '(' || cls == '[') {
            state = INSIDE_BRACKETS;
            depth = 1;
        } else if (cls == ')') {
            break;
        } else if (is_operator_char(cls)) {
            state = OPERAND_EXPECTED;
        } else if (state == OPERAND_SEEN) {
            break;
        } else {
            state = OPERAND_SEEN;
        }
        end = static_cast<size_t>(lx.pos - s.data());
    }
    return end;
}

// Rewrites the compound assignment whose operator is at `op` and brings the
// mask up to date. Returns the end of the target, where the next search may
// start, or npos when the operator has no target (or one that spans lines,
// which copying would duplicate).
size_t rewrite_compound(line_state& ls, size_t op) {
    const std::string& s = ls.text;
    size_t target_end = op;
    while (target_end > 0 && is_blank(s[target_end - 1])) target_end--;
    size_t target_begin = target_start(ls, target_end);
    if (target_begin == target_end) return std::string::npos;
    std::string_view target(s.data() + target_begin, target_end - target_begin);
    if (target.find('\n') != std::string_view::npos) return std::string::npos;
    size_t expr_begin = op + 2;
    size_t expr_end = expression_end(s, expr_begin);

    std::string& out = ls.scratch;
    out.assign(s, 0, target_end);
    out += " = ";
    out += target;
    out += ' ';
    out += s[op];
    out += " (";
    out.append(s, expr_begin, expr_end - expr_begin);
    out += ") ";
    out.append(s, expr_end, std::string::npos);

    // Target, expression and rest are whole tokens and the joins are blanks
    // and brackets, so their string marks carry over unchanged. An expression
    // ending in a string may end in one left open, which would swallow the
    // ") " after it: then the line is scanned again.
    bool splice = expr_end == expr_begin || !ls.in_string[expr_end - 1];
    if (splice) {
        const std::vector<uint8_t>& m = ls.in_string;
        std::vector<uint8_t>& nm = ls.scratch_mask;
        nm.assign(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(target_end));
        nm.insert(nm.end(), 3, 0);
        nm.insert(nm.end(), m.begin() + static_cast<std::ptrdiff_t>(target_begin),
                  m.begin() + static_cast<std::ptrdiff_t>(target_end));
        nm.insert(nm.end(), 4, 0);
        nm.insert(nm.end(), m.begin() + static_cast<std::ptrdiff_t>(expr_begin),
                  m.begin() + static_cast<std::ptrdiff_t>(expr_end));
        nm.insert(nm.end(), 2, 0);
        nm.insert(nm.end(), m.begin() + static_cast<std::ptrdiff_t>(expr_end), m.end());
        ls.in_string.swap(nm);
        ls.text.swap(out);
    } else {
        ls.text.swap(out);
        compute_mask(ls);
    }
    return target_end;
}

void rewrite_print(line_state& ls) {
    size_t i = 0;
    while (i < ls.text.size() && is_blank(ls.text[i])) i++;
    std::string& out = ls.scratch;
    out.assign("print(");
    out.append(ls.text, i + 1, std::string::npos);
    out += ')';
    ls.text.swap(out);
}

bool starts_with_print_shorthand(const line_state& ls) {
    size_t i = 0;
    while (i < ls.text.size() && is_blank(ls.text[i])) i++;
    return i < ls.text.size() && ls.text[i] == '?' && !ls.in_string[i];
}

void rewrite_not_equal(line_state& ls) {
    // "~=" has the class of "!=", so the mask stays valid.
    for (size_t at = find_outside(ls, "!="); at != std::string::npos; at = find_outside(ls, "!=", at + 2))
        ls.text[at] = '~';
}

// Rewrites every compound assignment, leftmost "+=" first, then "-=", "*=",
// "/=" and "%=". Each rewrite recomputes the mask, since copying the target
// shifts the strings after it.
void rewrite_compound_assignments(line_state& ls) {
    static constexpr std::string_view compound_ops[] = {"+=", "-=", "*=", "/=", "%="};
    // Rewriting never brings back an operator of an earlier kind, nor one of
    // the current kind before the last target, so each search resumes there.
    size_t kind = 0;
    size_t from = 0;
    for (;;) {
        size_t at = std::string::npos;
        for (; kind < std::size(compound_ops); kind++, from = 0)
            if ((at = find_outside(ls, compound_ops[kind], from)) != std::string::npos) break;
        if (at == std::string::npos) return;
        // An operator that cannot be rewritten stays as it is, and so do the
        // ones after it; the compiler reports the line.
        from = rewrite_compound(ls, at);
        if (from == std::string::npos) return;
    }
}

void rewrite_shorthand_if(line_state& ls) {
    const std::string& s = ls.text;
    size_t at = find_outside(ls, "if(");
    if (at == std::string::npos) at = find_outside(ls, "if ");
    if (at == std::string::npos) return;
    if (find_outside(ls, "then") != std::string::npos) return;
    if (at > 0 && !is_blank(s[at - 1])) return;
    size_t i = at + 2;
    while (i < s.size() && is_blank(s[i])) i++;
    if (i >= s.size() || s[i] != '(') return;
    int32_t depth = 0;
    size_t close = std::string::npos;
    for (size_t j = i; j < s.size(); j++) {
        if (ls.in_string[j]) continue;
        if (s[j] == '(') depth++;
        else if (s[j] == ')' && --depth == 0) {
            close = j;
            break;
        }
    }
    if (close == std::string::npos) return;
    size_t k = close + 1;
    while (k < s.size() && is_blank(s[k])) k++;
    if (k >= s.size() || !is_alpha_dat(static_cast<uint8_t>(s[k]))) return;
    size_t word_end = k;
    while (word_end < s.size() && is_alphanum_dat(static_cast<uint8_t>(s[word_end]))) word_end++;
    std::string_view word(s.data() + k, word_end - k);
    if (word == "and" || word == "or") return;

    std::string& out = ls.scratch;
    out.assign(s, 0, close + 1);
    out += " then ";
    out.append(s, close + 1, std::string::npos);
    out += " end ";
    ls.text.swap(out);
}

// The mask of ls.text must be current.
void rewrite_line(line_state& ls) {
    rewrite_not_equal(ls);
    // "? x += 1" is not an assignment, so a print line keeps its operators;
    // its "!=" is still rewritten, or "? a != b" could not compile.
    if (starts_with_print_shorthand(ls)) {
        rewrite_print(ls);
        compute_mask(ls);
    } else {
        rewrite_compound_assignments(ls);
    }
    rewrite_shorthand_if(ls);
}

int32_t count_newlines(std::string_view text) {
    int32_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace

std::string mivo3_preprocess(std::string_view src) {
    std::string out;
    out.reserve(src.size() + src.size() / 4);
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, src);
    line_state ls;
    bool at_end = false;
    for (int32_t line = 0; line < PREPROCESS_MAX_LINES && !at_end; line++) {
        ls.text.clear();
        ls.in_string.clear();
        int32_t newlines = 0;
        bool after_comment = false;
        for (int32_t tokens = 0; tokens < PREPROCESS_MAX_LINE_TOKENS; tokens++) {
            int32_t cls = mivo3_lexer_next(lx);
            if (cls == TOKEN_END) {
                at_end = true;
                break;
            }
            if (cls == TOKEN_NEWLINE) {
                newlines++;
                break;
            }
            std::string_view ws(lx.ws, static_cast<size_t>(lx.start - lx.ws));
            if (cls == TOKEN_COMMENT) {
                newlines += count_newlines(mivo3_lexer_token(lx));
                ls.text += ws;
                ls.in_string.resize(ls.text.size(), 0);
                after_comment = true;
                continue;
            }
            // A comment between two tokens separates them, as in Lua itself.
            if (after_comment && ws.empty() && !ls.text.empty() && !is_blank(ls.text.back())) {
                ls.text += ' ';
            }
            after_comment = false;
            ls.text += ws;
            ls.text += mivo3_lexer_token(lx);
            ls.in_string.resize(ls.text.size() - (lx.pos - lx.start), 0);
            ls.in_string.resize(ls.text.size(), cls == TOKEN_STRING);
        }
        if (ls.text.find_first_not_of(" \t\r\b") != std::string::npos) rewrite_line(ls);
        out += ls.text;
        out.append(static_cast<size_t>(newlines), '\n');
    }
    return out;
}

int32_t mivo3_preprocess(const char* src, char* dst, size_t dst_size) {
    if (!dst || dst_size == 0) return 1;
    std::string out = mivo3_preprocess(src ? std::string_view(src) : std::string_view());
    if (out.size() >= dst_size) {
        dst[0] = 0;
        return 1;
    }
    std::memcpy(dst, out.data(), out.size() + 1);
    return 0;
}
