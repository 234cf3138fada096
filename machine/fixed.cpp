#include "machine/fixed.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "machine/pstate.h"

namespace {

int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t wrap_neg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

struct trig_tables {
    std::array<int32_t, 4097> cos_table;   // quarter wave in 1/16384 turns
    std::array<int32_t, 2049> atan_table;  // atan(k/2048) in 1/65536 turns
    trig_tables() {
        for (int i = 0; i <= 4096; i++)
            cos_table[i] = static_cast<int32_t>(std::round(std::cos(2.0 * std::numbers::pi * i / 16384.0) * 65536.0));
        for (int k = 0; k <= 2048; k++)
            atan_table[k] = static_cast<int32_t>(std::round(std::atan(k / 2048.0) / (2.0 * std::numbers::pi) * 65536.0));
    }
};

const trig_tables& tables() {
    static const trig_tables t;
    return t;
}
// Built during start-up so that the hot paths need no guard.
const trig_tables& g_tables = tables();

// The square root without its own charge: the integer root is the largest
// k <= 180 with k*k <= x (the scan of fsqrt's definition stops at 181), then
// one Bakhshali correction. Values below 1.0 go through their reciprocal.
// Above 32760.99998 the root is 181, whoever asks (sqrt or a power).
int32_t sqrt_uncharged(int32_t x) {
    if (x == 0) return 0;
    if (x > 0x7ff8ffff) return 0xb50000;
    bool inverted = false;
    if (x < fix_one) {
        x = fdiv(fix_one, x);
        inverted = true;
    }
    int32_t n;
    if (x < 0) {
        n = -fix_one;
    } else {
        int32_t whole = x >> 16;
        int32_t k = static_cast<int32_t>(std::sqrt(static_cast<double>(whole)));
        while (k * k > whole) k--;
        while ((k + 1) * (k + 1) <= whole) k++;
        if (k > 180) k = 180;
        n = k << 16;
    }
    int32_t d = wrap_sub(x, fmul(n, n));
    int32_t twice = wrap_add(n, n);
    int32_t a = fdiv(d, twice);
    n = wrap_add(n, a);
    twice = wrap_add(n, n);
    int32_t b = fdiv(fmul(a, a), twice);
    int32_t r = wrap_sub(n, b);
    if (inverted) r = r == 0 ? fix_max : fdiv(fix_one, r);
    return r;
}

}  // namespace

int32_t fsqrt(int32_t x) {
    int32_t r = sqrt_uncharged(x);
    // 0 and the values whose root is 181 cost nothing.
    if (x != 0 && x <= 0x7ff8ffff) spend_cpu(8);
    return r;
}

int32_t m3_fpow(int32_t x, int32_t y) {
    if (y == 0) return fix_one;
    if (y < 0) {
        x = fdiv(fix_one, x);
        y = wrap_neg(y);
    }
    int32_t result = fix_one;
    int32_t base = x;
    int32_t e = static_cast<int32_t>(static_cast<uint32_t>(y) & 0xffff0000u);
    while (e > 0) {
        if (e & 0x10000) result = fmul(result, base);
        base = fmul(base, base);
        if (e < 2 * fix_one) break;
        e >>= 1;
    }
    // Each set fraction bit at position k multiplies by the k-th repeated
    // square root of x; the roots accumulate in v from bit to bit.
    int32_t f = y & 0xffff;
    int32_t v = x;
    while (f != 0) {
        if (v == 0) {
            result = 0;
            break;
        }
        do {
            v = sqrt_uncharged(v);
            spend_cpu(8);
            f <<= 1;
        } while (f < 0x10000);
        result = fmul(result, v);
        f -= 0x10000;
    }
    spend_cpu(8);
    return result;
}

int32_t fcos(int32_t a) {
    uint32_t i = static_cast<uint32_t>(wrap_add(a, 2) >> 2) & 0x3fff;
    if (i > 0x1fff) i = 0x4000 - i;
    if (i <= 0xfff) return g_tables.cos_table[i];
    return -g_tables.cos_table[0x2000 - i];
}

int32_t fsin(int32_t a) { return fcos(wrap_add(a, 0x4000)); }

int32_t ftan2(int32_t x, int32_t y) {
    if (x == 0) return y <= 0 ? 0x4000 : 0xc000;
    int64_t r = (-static_cast<int64_t>(y) * 65536) / x;
    int32_t s = 1;
    if (r > 0x7fffffff) return x < 0 ? 0xc000 : 0x4000;
    if (r < -0x7fffffff) {
        s = -1;
        r = 0x7fffffff;
    } else if (r < 0) {
        s = -1;
        r = -r;
    }
    int32_t t;
    if (r <= fix_one) {
        t = s * g_tables.atan_table[r >> 5];
    } else {
        int64_t q = (int64_t(1) << 32) / r;
        t = s * (0x4000 - g_tables.atan_table[q >> 5]);
    }
    if (x < 0) t += 0x8000;
    return t & 0xffff;
}

uint32_t mivo3_rotl(uint32_t v, int32_t n) { return std::rotl(v, n & 31); }

namespace {

constexpr uint64_t pow10_table[17] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull,
    100000000ull, 1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull,
    10000000000000ull, 100000000000000ull, 1000000000000000ull, 10000000000000000ull};

// v / 65536 rounded to `places` decimals, halves away from zero: the whole
// part of its magnitude in *whole, the decimals as an integer returned. The
// fraction is exact in 16 decimals: 1/65536 = 0.0000152587890625.
uint64_t round_places(int32_t v, int places, uint64_t* whole) {
    uint64_t mag = v < 0 ? uint64_t(-int64_t(v)) : uint64_t(v);
    *whole = mag >> 16;
    uint64_t frac16 = (mag & 0xffff) * 152587890625ull;
    uint64_t unit = pow10_table[16 - places];
    uint64_t frac = frac16 / unit;
    if ((frac16 % unit) * 2 >= unit) frac++;
    if (frac >= pow10_table[places]) {
        frac -= pow10_table[places];
        ++*whole;
    }
    return frac;
}

// Writes the sign, the whole part and, when `places` > 0, the point and the
// decimals with their trailing zeros dropped; returns the length.
int write_number(char* buf, bool neg, uint64_t whole, uint64_t frac, int places) {
    for (; places > 0 && frac % 10 == 0; places--) frac /= 10;
    char digits[8];
    int nd = 0;
    do {
        digits[nd++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    int len = 0;
    if (neg) buf[len++] = '-';
    while (nd > 0) buf[len++] = digits[--nd];
    if (places > 0) {
        buf[len++] = '.';
        for (int i = places - 1; i >= 0; i--) buf[len + i] = char('0' + frac % 10), frac /= 10;
        len += places;
    }
    buf[len] = '\0';
    return len;
}

}  // namespace

int mivo3_fixed_to_string(char* buf, int32_t v) {
    uint64_t whole;
    if ((v & 0xffff) == 0) {  // a whole number: no decimals to round
        whole = v < 0 ? uint64_t(-int64_t(v)) >> 16 : uint64_t(v) >> 16;
        return write_number(buf, v < 0, whole, 0, 0);
    }
    // A value just below or above a whole number (its first four of five
    // decimals all 9 or all 0) prints with three decimals, others with four.
    uint64_t frac = round_places(v, 5, &whole) / 10;
    int places = frac == 9999 || frac == 0 ? 3 : 4;
    frac = round_places(v, places, &whole);
    return write_number(buf, v < 0, whole, frac, places);
}

int mivo3_tostr_hex(char* buf, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    return std::snprintf(buf, mivo3_fixed_text_max, "0x%04x.%04x", u >> 16, u & 0xffff);
}

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int digit_value(char c, int radix) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return -1;
    return d < radix ? d : -1;
}

// "0x" / "0b" numerals: 16 integer bits (only the last digits count) and a
// left-aligned 16-bit fraction (only the first digits count).
bool parse_radix(const char* s, const char* end, int bits, char marker, int32_t* out) {
    const int radix = 1 << bits;
    while (s < end && is_space(*s)) s++;
    bool neg = false;
    if (s < end && (*s == '+' || *s == '-')) {
        neg = *s == '-';
        s++;
    }
    if (end - s < 2 || s[0] != '0' || (s[1] | 0x20) != marker) return false;
    s += 2;
    uint32_t whole = 0, frac = 0;
    int digits = 0;
    int d;
    while (s < end && (d = digit_value(*s, radix)) >= 0) {
        whole = ((whole << bits) | d) & 0xffff;
        digits++;
        s++;
    }
    if (s < end && *s == '.') {
        s++;
        int shift = 16;
        while (s < end && (d = digit_value(*s, radix)) >= 0) {
            shift -= bits;
            if (shift >= 0) frac |= static_cast<uint32_t>(d) << shift;
            digits++;
            s++;
        }
    }
    if (digits == 0) return false;
    if (s < end && (*s == 'p' || *s == 'P')) return false;
    while (s < end && is_space(*s)) s++;
    if (s != end) return false;
    uint32_t raw = (whole << 16) | frac;
    if (neg) raw = 0u - raw;
    *out = static_cast<int32_t>(raw);
    return true;
}

bool parse_decimal(const char* s, size_t len, int32_t* out) {
    // strtod needs a terminated copy; numerals longer than the stack buffer
    // are rare enough to pay for a heap copy.
    char local[128];
    std::string heap;
    const char* text;
    if (len < sizeof local) {
        std::memcpy(local, s, len);
        local[len] = '\0';
        text = local;
    } else {
        heap.assign(s, len);
        text = heap.c_str();
    }
    char* endp = nullptr;
    double d = std::strtod(text, &endp);
    if (endp == text) return false;
    while (is_space(*endp)) endp++;
    if (endp != text + len) return false;
    double scaled = std::trunc(d * 65536.0);
    if (scaled >= -2147483648.0 && scaled <= 2147483647.0)
        *out = static_cast<int32_t>(scaled);
    else
        *out = static_cast<int32_t>(0x80000000u);
    return true;
}

}  // namespace

int luaO_str2d(const char* s, size_t len, int32_t* out) {
    const char* end = s + len;
    bool has_x = false, has_b = false;
    for (const char* p = s; p < end; p++) {
        char c = *p;
        if (c == 'n' || c == 'N') return 0;
        if (c == 'x' || c == 'X') has_x = true;
        if (c == 'b' || c == 'B') has_b = true;
    }
    int32_t v;
    bool ok;
    if (has_x) ok = parse_radix(s, end, 4, 'x', &v);
    else if (has_b) ok = parse_radix(s, end, 1, 'b', &v);
    else ok = parse_decimal(s, len, &v);
    if (!ok) return 0;
    *out = v;
    return 1;
}

bool mivo3_tonum(const char* s, size_t len, int32_t* out) {
    int32_t v;
    if (!luaO_str2d(s, len, &v)) return false;
    if (len > 0 && s[0] == '-' && v >= 0) v = wrap_neg(v);
    *out = v;
    return true;
}

int32_t mivo3_arith(int op, int32_t a, int32_t b) {
    switch (op) {
    case mivo3_op_add: return wrap_add(a, b);
    case mivo3_op_sub: return wrap_sub(a, b);
    case mivo3_op_mul: return m3_fmul(a, b);
    case mivo3_op_div: return m3_fdiv(a, b);
    case mivo3_op_mod: return m3_fmod(a, b);
    case mivo3_op_pow: return m3_fpow(a, b);
    case mivo3_op_unm: return wrap_neg(a);
    default: return 0;
    }
}

int32_t mivo3_flr(int32_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x) & 0xffff0000u); }
int32_t mivo3_ceil(int32_t x) {
    return static_cast<int32_t>((static_cast<uint32_t>(x) + 0xffffu) & 0xffff0000u);
}
int32_t mivo3_abs(int32_t x) {
    if (x == INT32_MIN) return fix_max;
    return x < 0 ? -x : x;
}
int32_t mivo3_sgn(int32_t x) { return x < 0 ? -fix_one : fix_one; }
int32_t mivo3_min(int32_t a, int32_t b) { return b < a ? b : a; }
int32_t mivo3_max(int32_t a, int32_t b) { return a < b ? b : a; }
int32_t mivo3_mid(int32_t a, int32_t b, int32_t c) {
    int32_t m = mivo3_min(b, c);
    if (a >= m) {
        m = mivo3_min(a, c);
        if (b >= m) m = mivo3_min(a, b);
    }
    return m;
}
int32_t mivo3_sqrt(int32_t x) {
    spend_cpu(16);
    return fsqrt(x);
}
int32_t mivo3_band(int32_t a, int32_t b) { return a & b; }
int32_t mivo3_bor(int32_t a, int32_t b) { return a | b; }
int32_t mivo3_bxor(int32_t a, int32_t b) { return a ^ b; }
int32_t mivo3_bnot(int32_t x) { return ~x; }
int32_t mivo3_shl(int32_t x, int32_t n) {
    if (n > 0x1fffff) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(x) << ((n >> 16) & 31));
}
int32_t mivo3_shr(int32_t x, int32_t n) {
    if (n < 0x200000) return x >> ((n >> 16) & 31);
    return x >> 31;
}
int32_t mivo3_lshr(int32_t x, int32_t n) {
    if (n > 0x1fffff) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(x) >> ((n >> 16) & 31));
}
int32_t mivo3_rotl_num(int32_t x, int32_t n) {
    return static_cast<int32_t>(mivo3_rotl(static_cast<uint32_t>(x), n >> 16));
}
int32_t mivo3_rotr_num(int32_t x, int32_t n) {
    return static_cast<int32_t>(mivo3_rotl(static_cast<uint32_t>(x), 32 - (n >> 16)));
}

void mivo3_refund_binary_op(int nargs) {
    if (nargs == 2) refund_cpu(-3);
}
void mivo3_refund_unary_op(int nargs) {
    if (nargs == 1) refund_cpu(-2);
}
