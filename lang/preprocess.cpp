#include "lang/preprocess.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
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

// First occurrence of `what` (a short operator or word) at or after `from`
// in text whose characters all lie outside strings, or npos. Only the first
// character is searched for; the rest is compared in place, cheaper than a
// library call for each of the many candidates a long line can hold.
size_t find_outside(std::string_view text, const uint8_t* in_string, std::string_view what, size_t from) {
    const size_t n = what.size();
    if (from > text.size() || text.size() - from < n) return std::string::npos;
    const char* base = text.data();
    const char* last = base + (text.size() - n);  // the last place a match may start
    for (const char* p = base + from; p <= last; p++) {
        p = static_cast<const char*>(std::memchr(p, what[0], static_cast<size_t>(last - p) + 1));
        if (!p) break;
        const size_t i = static_cast<size_t>(p - base);
        bool match = true;
        for (size_t k = 1; k < n && match; k++) match = p[k] == what[k];
        for (size_t k = 0; k < n && match; k++) match = !in_string[i + k];
        if (match) return i;
    }
    return std::string::npos;
}

size_t find_outside(const line_state& ls, std::string_view what, size_t from = 0) {
    return find_outside(ls.text, ls.in_string.data(), what, from);
}

bool is_target_char(uint8_t c) { return is_alphanum_dat(c) || c == '.'; }

// A line while its compound assignments are rewritten, left to right: the
// text is head + tail, and each rewrite replaces the front of the tail. The
// tail keeps room before it, so that a rewrite costs what it writes rather
// than a copy of the whole line, and a line of thousands of assignments
// stays linear.
struct split_line {
    std::string head;
    std::vector<uint8_t> head_mask;
    std::string tail;  // the tail is tail[at..]
    std::vector<uint8_t> tail_mask;
    size_t at = 0;

    size_t split() const { return head.size(); }
    std::string_view tail_text() const { return std::string_view(tail).substr(at); }
    const uint8_t* tail_in_string() const { return tail_mask.data() + at; }
    char ch(size_t i) const { return i < head.size() ? head[i] : tail[at + i - head.size()]; }
    bool in_string(size_t i) const { return i < head.size() ? head_mask[i] : tail_mask[at + i - head.size()]; }

    void load(line_state& ls) {
        head.clear();
        head_mask.clear();
        tail.swap(ls.text);
        tail_mask.swap(ls.in_string);
        at = 0;
    }
    void store(line_state& ls) {
        ls.text.assign(head);
        ls.text.append(tail, at, std::string::npos);
        ls.in_string.assign(head_mask.begin(), head_mask.end());
        ls.in_string.insert(ls.in_string.end(), tail_mask.begin() + static_cast<std::ptrdiff_t>(at), tail_mask.end());
    }
    // At least n free characters before the tail.
    void make_room(size_t n) {
        if (at >= n) return;
        const size_t len = tail.size() - at, room = std::max(n, len) + 64;
        std::string t(room + len, ' ');
        std::memcpy(t.data() + room, tail.data() + at, len);
        std::vector<uint8_t> m(room + len, 0);
        std::memcpy(m.data() + room, tail_mask.data() + at, len);
        tail.swap(t);
        tail_mask.swap(m);
        at = room;
    }
    void move_split(size_t pos) {
        if (pos >= head.size()) {
            const size_t n = pos - head.size();
            head.append(tail, at, n);
            const size_t old_size = head_mask.size();
            head_mask.resize(old_size + n);
            std::memcpy(head_mask.data() + old_size, tail_mask.data() + at, n);
            at += n;
        } else {
            const size_t n = head.size() - pos;
            make_room(n);
            at -= n;
            std::memcpy(tail.data() + at, head.data() + pos, n);
            std::memcpy(tail_mask.data() + at, head_mask.data() + pos, n);
            head.resize(pos);
            head_mask.resize(pos);
        }
    }
    // Makes the tail start with " = target op (expr) " in place of its first
    // `drop` characters, which end with the expression. The target is the
    // end of the head; its string marks are kept, and so are the
    // expression's.
    void rewrite_front(size_t drop, size_t target_len, char op, size_t expr_len) {
        const size_t ins = 3 + target_len + 4 + expr_len + 2;
        if (ins > drop) make_room(ins - drop);
        const size_t from = at + drop - expr_len;  // the expression now
        at = at + drop - ins;
        char* t = tail.data() + at;
        uint8_t* m = tail_mask.data() + at;
        const size_t expr_at = 3 + target_len + 4;
        std::memmove(t + expr_at, tail.data() + from, expr_len);
        std::memmove(m + expr_at, tail_mask.data() + from, expr_len);
        std::memcpy(t, " = ", 3);
        std::memcpy(t + 3, head.data() + head.size() - target_len, target_len);
        std::memcpy(m + 3, head_mask.data() + head.size() - target_len, target_len);
        t[3 + target_len] = ' ';
        t[3 + target_len + 1] = op;
        std::memcpy(t + 3 + target_len + 2, " (", 2);
        std::memcpy(t + expr_at + expr_len, ") ", 2);
        std::memset(m, 0, 3);
        std::memset(m + 3 + target_len, 0, 4);
        std::memset(m + expr_at + expr_len, 0, 2);
    }
    // First `what` at or after `from` (not before the split) outside strings, or npos.
    size_t find_outside(std::string_view what, size_t from) const {
        const size_t i = ::find_outside(tail_text(), tail_in_string(), what, from - split());
        return i == std::string::npos ? i : split() + i;
    }
};

// Start of the assignment target that ends at `end`: names, digits, '.',
// glyph bytes and balanced [...] groups, scanned backwards. Brackets inside
// strings do not count, so t["]"] is one target.
size_t target_start(const split_line& sl, size_t end) {
    size_t i = end;
    while (i > 0) {
        uint8_t c = static_cast<uint8_t>(sl.ch(i - 1));
        if (is_target_char(c) && !sl.in_string(i - 1)) {
            i--;
        } else if (c == ']' && !sl.in_string(i - 1)) {
            int32_t depth = 0;
            size_t j = i;
            bool matched = false;
            while (j > 0) {
                --j;
                if (sl.in_string(j)) continue;
                if (sl.ch(j) == ']') depth++;
                else if (sl.ch(j) == '[' && --depth == 0) {
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

// Length of the expression at the start of `s`: operands joined by
// operators, with calls and indexing in brackets; the second operand in a
// row, or a ')' that closes an outer bracket, ends it.
size_t expression_length(std::string_view s) {
    enum { OPERAND_EXPECTED, INSIDE_BRACKETS, OPERAND_SEEN } state = OPERAND_EXPECTED;
    int32_t depth = 0;
    size_t end = 0;
    mivo3_lexer lx;
    mivo3_lexer_begin(lx, s, false);
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

// Rewrites the compound assignment whose operator is at `op` (in the tail)
// and leaves the split at the end of its target, where the next search may
// start. False when the operator has no target (or one that spans lines,
// which copying would duplicate): the line then stays as it is.
bool rewrite_compound(split_line& sl, size_t op) {
    size_t target_end = op;
    while (target_end > 0 && is_blank(sl.ch(target_end - 1))) target_end--;
    size_t target_begin = target_start(sl, target_end);
    if (target_begin == target_end) return false;
    for (size_t i = target_begin; i < target_end; i++)
        if (sl.ch(i) == '\n') return false;
    const size_t expr_begin = op + 2;
    const size_t expr_len = expression_length(sl.tail_text().substr(expr_begin - sl.split()));
    // An expression ending in a string may end in one left open, which would
    // swallow the ") " after it: then the whole line is scanned again.
    // Otherwise target, expression and rest are whole tokens and the joins
    // are blanks and brackets, so their string marks carry over unchanged.
    const bool splice = expr_len == 0 || !sl.in_string(expr_begin + expr_len - 1);
    const char op_char = sl.ch(op);
    sl.move_split(target_end);
    sl.rewrite_front(expr_begin + expr_len - target_end, target_end - target_begin, op_char, expr_len);
    if (!splice) {
        line_state ls;
        sl.store(ls);
        compute_mask(ls);
        sl.load(ls);
        sl.move_split(target_end);
    }
    return true;
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
// "/=" and "%=". Rewriting never brings back an operator of an earlier kind,
// nor one of the current kind before the last target, so each search
// resumes at the last target's end.
void rewrite_compound_assignments(line_state& ls) {
    static constexpr std::string_view compound_ops[] = {"+=", "-=", "*=", "/=", "%="};
    split_line sl;
    for (std::string_view op : compound_ops) {
        if (find_outside(ls, op) == std::string::npos) continue;
        sl.load(ls);
        bool stuck = false;
        for (size_t at = sl.find_outside(op, 0); at != std::string::npos; at = sl.find_outside(op, sl.split())) {
            if (!rewrite_compound(sl, at)) {
                stuck = true;
                break;
            }
        }
        sl.store(ls);
        // An operator that cannot be rewritten stays as it is, and so do the
        // ones after it; the compiler reports the line.
        if (stuck) return;
    }
}

// The "if" a shorthand if may start with: the first "if(" outside strings,
// else the first "if ". One pass over the line, which a long line of
// indexing ("t[i]") fills with candidates.
size_t find_if_keyword(const line_state& ls) {
    const std::string& s = ls.text;
    const uint8_t* in_string = ls.in_string.data();
    size_t with_space = std::string::npos;
    for (size_t i = 0; i + 3 <= s.size(); i++) {
        if (s[i] != 'i' || s[i + 1] != 'f' || (s[i + 2] != '(' && s[i + 2] != ' ')) continue;
        if (in_string[i] || in_string[i + 1] || in_string[i + 2]) continue;
        if (s[i + 2] == '(') return i;
        if (with_space == std::string::npos) with_space = i;
    }
    return with_space;
}

void rewrite_shorthand_if(line_state& ls) {
    const std::string& s = ls.text;
    size_t at = find_if_keyword(ls);
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
    // Where the line's strings are, marked in its mask once it is gathered.
    std::vector<std::pair<size_t, size_t>> strings;
    bool at_end = false;
    for (int32_t line = 0; line < PREPROCESS_MAX_LINES && !at_end; line++) {
        ls.text.clear();
        strings.clear();
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
                after_comment = true;
                continue;
            }
            // A comment between two tokens separates them, as in Lua itself.
            if (after_comment && ws.empty() && !ls.text.empty() && !is_blank(ls.text.back())) {
                ls.text += ' ';
            }
            after_comment = false;
            ls.text.append(lx.ws, static_cast<size_t>(lx.pos - lx.ws));  // the blanks and the token
            if (cls == TOKEN_STRING) {
                const size_t length = static_cast<size_t>(lx.pos - lx.start);
                strings.emplace_back(ls.text.size() - length, length);
            }
        }
        if (ls.text.find_first_not_of(" \t\r\b") != std::string::npos) {
            ls.in_string.assign(ls.text.size(), 0);
            for (const auto& [at, length] : strings) std::memset(ls.in_string.data() + at, 1, length);
            rewrite_line(ls);
        }
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
