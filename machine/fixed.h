// 16.16 fixed-point numbers: the machine's only number type.
//
// A number is a signed 32-bit raw value whose value is raw / 65536. Addition,
// subtraction and negation are plain wrapping 32-bit operations on raw values
// (do them on uint32_t to keep them defined). Everything here takes and
// returns raw values; nothing allocates. Functions that charge the running
// cart's CPU budget say so.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t fix_one = 0x10000;
constexpr int32_t fix_max = 0x7fffffff;
// Division saturates to -fix_max, not to the most negative raw value.
constexpr int32_t fix_min_sat = -0x7fffffff;

// Integer part of a number, rounding toward minus infinity.
inline int32_t fix_int(int32_t raw) { return raw >> 16; }
inline int32_t fix_from_int(int32_t i) { return static_cast<int32_t>(static_cast<uint32_t>(i) << 16); }

// Product: 64-bit product shifted right by 16, truncated toward minus
// infinity; overflow wraps.
inline int32_t m3_fmul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint64_t>((static_cast<int64_t>(a) * b) >> 16));
}

// Quotient truncated toward zero. Division by zero gives fix_max for a >= 0
// and fix_min_sat for a < 0; quotients out of range saturate to the same two.
inline int32_t m3_fdiv(int32_t a, int32_t b) {
    if (b == 0) return a >= 0 ? fix_max : fix_min_sat;
    int64_t q = (static_cast<int64_t>(a) * 65536) / b;
    if (q < -0x7fffffff) return fix_min_sat;
    if (q > 0x7fffffff) return fix_max;
    return static_cast<int32_t>(q);
}

// The host framework's own multiply and divide, identical to the above.
inline int32_t fmul(int32_t a, int32_t b) { return m3_fmul(a, b); }
inline int32_t fdiv(int32_t a, int32_t b) { return m3_fdiv(a, b); }

// Remainder in [0, |b|) whatever the signs; x % 0 is x. |b| is taken as
// unsigned, so that b = -32768.0 (raw 0x80000000) has a modulus too.
inline int32_t m3_fmod(int32_t a, int32_t b) {
    if (b == 0) return a;
    uint32_t m = b < 0 ? 0u - static_cast<uint32_t>(b) : static_cast<uint32_t>(b);
    if (a >= 0) return static_cast<int32_t>(static_cast<uint32_t>(a) % m);
    uint32_t r = (0u - static_cast<uint32_t>(a)) % m;
    return static_cast<int32_t>(r == 0 ? 0 : m - r);
}
// x ^ y. Spends 8 cycles per repeated square root of a fractional exponent
// and 8 more at the end (nothing when y is 0).
int32_t m3_fpow(int32_t x, int32_t y);
// Square root (integer root refined by one Bakhshali step); 181.0 for
// x > 32760.99998; values below 1.0 (negative ones too) go through 1/x.
// Spends 8 cycles unless x is 0 or too large.
int32_t fsqrt(int32_t x);
// Sine and cosine of an angle in turns; only the fraction counts. fsin is
// minus the mathematical sine because the screen's y axis points down.
int32_t fsin(int32_t a);
int32_t fcos(int32_t a);
// Angle in turns, in [0, 1), of the vector (x, -y); inverts fsin/fcos.
int32_t ftan2(int32_t x, int32_t y);
inline int32_t fatan2(int32_t dx, int32_t dy) { return ftan2(dx, dy); }

// 32-bit rotate left by n & 31.
uint32_t mivo3_rotl(uint32_t v, int32_t n);

// Longest text mivo3_fixed_to_string or mivo3_tostr_hex writes, with its NUL.
constexpr size_t mivo3_fixed_text_max = 16;
// Decimal text of a number with at most four decimals ("1.5", "0.3333",
// "-32768"); halves round away from zero. buf needs mivo3_fixed_text_max
// bytes; returns the length written (without the NUL).
int mivo3_fixed_to_string(char* buf, int32_t v);
// "0x%04x.%04x" of the integer and fraction halves ("0xffff.0000" for -1).
int mivo3_tostr_hex(char* buf, int32_t v);

// Text to number, as the lexer, string coercion and tonum read it: decimal
// (with sign and exponent; scaled values that do not fit 32 bits give
// raw 0x80000000), "0x" hexadecimal and "0b" binary with 16 integer bits and
// a left-aligned fraction. Leading and trailing whitespace is allowed; any
// 'n'/'N' or a 'p' exponent rejects. Returns 1 and stores *out on success,
// 0 otherwise. The text need not be NUL-terminated.
int luaO_str2d(const char* s, size_t len, int32_t* out);
// tonum of a string: luaO_str2d, and a text starting with '-' whose value
// came out non-negative is negated. Returns false for "no value".
bool mivo3_tonum(const char* s, size_t len, int32_t* out);

// The language's arithmetic operators on numbers, in the language's operator
// order: 0 add, 1 subtract, 2 multiply, 3 divide, 4 modulo, 5 power (spends,
// see m3_fpow), 6 unary minus (b ignored). Any other op gives 0.
enum mivo3_arith_op : int {
    mivo3_op_add = 0, mivo3_op_sub, mivo3_op_mul, mivo3_op_div,
    mivo3_op_mod, mivo3_op_pow, mivo3_op_unm
};
int32_t mivo3_arith(int op, int32_t a, int32_t b);

// The math and bitwise API on raw values. A shift or rotate amount n is a
// number used by its integer part; bindings pass 0 for a missing argument.
int32_t mivo3_flr(int32_t x);          // toward minus infinity
int32_t mivo3_ceil(int32_t x);         // wraps above 32767 to -32768
int32_t mivo3_abs(int32_t x);          // -32768 gives fix_max
int32_t mivo3_sgn(int32_t x);          // -1.0 below 0, else 1.0
int32_t mivo3_min(int32_t a, int32_t b);
int32_t mivo3_max(int32_t a, int32_t b);
int32_t mivo3_mid(int32_t a, int32_t b, int32_t c);
int32_t mivo3_sqrt(int32_t x);         // fsqrt, spending 16 cycles more
int32_t mivo3_band(int32_t a, int32_t b);
int32_t mivo3_bor(int32_t a, int32_t b);
int32_t mivo3_bxor(int32_t a, int32_t b);
int32_t mivo3_bnot(int32_t x);
int32_t mivo3_shl(int32_t x, int32_t n);   // 0 once n reaches 32
int32_t mivo3_shr(int32_t x, int32_t n);   // arithmetic; all sign bits once n reaches 32
int32_t mivo3_lshr(int32_t x, int32_t n);  // zero-filling; 0 once n reaches 32
int32_t mivo3_rotl_num(int32_t x, int32_t n);
int32_t mivo3_rotr_num(int32_t x, int32_t n);

// Refunds the bindings make after computing: 3 cycles for band, bor, bxor,
// shl, shr, lshr, rotl and rotr called with exactly two arguments; 2 for
// bnot, flr and ceil called with exactly one.
void mivo3_refund_binary_op(int nargs);
void mivo3_refund_unary_op(int nargs);
