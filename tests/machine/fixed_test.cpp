#include "machine/fixed.h"

#include "machine/pstate.h"
#include "runtime/cpu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t F(double v) { return static_cast<int32_t>(v * 65536.0); }
constexpr int32_t raw(uint32_t u) { return static_cast<int32_t>(u); }

// Raw values that exercise signs, saturation and wrapping, plus random ones.
std::vector<int32_t> sample_values() {
    std::vector<int32_t> v = {0, 1, -1, 2, -2, 0x8000, -0x8000, 0xffff, -0xffff, 0x10000, -0x10000,
                              0x10001, 0x18000, -0x18000, 0x7fff, 0x7fffffff, raw(0x80000000),
                              raw(0x80000001), 0x7ffffffe, 0x00010000 * 100, -0x00010000 * 100,
                              0x01000000, -0x01000000, 0x00b50000, 0x7ff8ffff, 0x7ff90000};
    std::mt19937 rng(12345);
    for (int i = 0; i < 400; i++) v.push_back(static_cast<int32_t>(rng()));
    for (int i = 0; i < 200; i++) v.push_back(static_cast<int32_t>(rng()) >> (rng() % 31));
    return v;
}

std::string text(int32_t v) {
    char buf[mivo3_fixed_text_max];
    int n = mivo3_fixed_to_string(buf, v);
    EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
    return buf;
}

bool parse(const std::string& s, int32_t* out) { return luaO_str2d(s.data(), s.size(), out) != 0; }

int32_t parsed(const std::string& s) {
    int32_t v = 0x12345678;
    EXPECT_TRUE(parse(s, &v)) << s;
    return v;
}

// Square root exactly as defined step by step, with its slow scan for the
// integer root, to check the fast one against.
int32_t reference_sqrt(int32_t x) {
    if (x == 0) return 0;
    if (x > 0x7ff8ffff) return 0xb50000;
    bool inverted = false;
    if (x < 0x10000) {
        x = fdiv(0x10000, x);
        inverted = true;
    }
    int32_t n = 0;
    while (n < 181 * 0x10000 && fmul(n, n) <= x) n += 0x10000;
    n -= 0x10000;
    int32_t d = static_cast<int32_t>(uint32_t(x) - uint32_t(fmul(n, n)));
    int32_t a = fdiv(d, static_cast<int32_t>(uint32_t(n) * 2));
    n = static_cast<int32_t>(uint32_t(n) + uint32_t(a));
    int32_t b = fdiv(fmul(a, a), static_cast<int32_t>(uint32_t(n) * 2));
    int32_t r = static_cast<int32_t>(uint32_t(n) - uint32_t(b));
    if (inverted) r = r == 0 ? 0x7fffffff : fdiv(0x10000, r);
    return r;
}

}  // namespace

TEST(FixedMultiply, TruncatesTowardMinusInfinityAndWraps) {
    EXPECT_EQ(m3_fmul(F(1.5), F(2)), F(3));
    EXPECT_EQ(m3_fmul(F(32767), F(2)), raw(0xfffe0000));
    EXPECT_EQ(m3_fmul(-1, F(0.5)), -1);  // -1/131072 floors to -1/65536
    EXPECT_EQ(m3_fmul(1, F(0.5)), 0);
    EXPECT_EQ(m3_fmul(F(-3), F(-0.5)), F(1.5));
    for (int32_t a : sample_values())
        for (int32_t b : {1, -1, 0x10000, -0x10000, 0x18000, 0x7fffffff, raw(0x80000000), 12345}) {
            int64_t p = static_cast<int64_t>(a) * b;
            int64_t floored = p >= 0 ? p / 65536 : -((-p + 65535) / 65536);
            EXPECT_EQ(m3_fmul(a, b), static_cast<int32_t>(static_cast<uint32_t>(floored))) << a << " " << b;
        }
    EXPECT_EQ(fmul(F(2.25), F(-4)), m3_fmul(F(2.25), F(-4)));
}

TEST(FixedDivide, ZeroDivisorAndSaturation) {
    EXPECT_EQ(m3_fdiv(F(1), 0), 0x7fffffff);
    EXPECT_EQ(m3_fdiv(F(-1), 0), raw(0x80000001));
    EXPECT_EQ(m3_fdiv(0, 0), 0x7fffffff);
    EXPECT_EQ(m3_fdiv(raw(0x80000000), F(-1)), 0x7fffffff);
    EXPECT_EQ(m3_fdiv(raw(0x80000000), F(1)), raw(0x80000001));
    EXPECT_EQ(m3_fdiv(F(1), F(3)), 0x5555);
    EXPECT_EQ(m3_fdiv(F(-1), F(3)), -0x5555);  // toward zero, not down
    EXPECT_EQ(m3_fdiv(F(7), F(-2)), F(-3.5));
}

TEST(FixedDivide, MatchesWideReferenceOverSampledValues) {
    for (int32_t a : sample_values())
        for (int32_t b : sample_values()) {
            int32_t expect;
            if (b == 0) {
                expect = a >= 0 ? 0x7fffffff : raw(0x80000001);
            } else {
                // Sign and magnitude, so the rounding is spelled out differently.
                bool neg = (a < 0) != (b < 0);
                __int128 mag = (static_cast<__int128>(a < 0 ? -int64_t(a) : a) << 16) /
                               (b < 0 ? -int64_t(b) : b);
                __int128 q = neg ? -mag : mag;
                expect = q > 0x7fffffff ? 0x7fffffff : q < -0x7fffffff ? raw(0x80000001) : int32_t(q);
            }
            ASSERT_EQ(m3_fdiv(a, b), expect) << a << " / " << b;
            ASSERT_EQ(fdiv(a, b), expect);
        }
}

TEST(FixedModulo, ResultTakesNoSignFromEitherOperand) {
    EXPECT_EQ(m3_fmod(F(5), F(-3)), F(2));
    EXPECT_EQ(m3_fmod(F(-5), F(-3)), F(1));
    EXPECT_EQ(m3_fmod(F(-5), F(3)), F(1));
    EXPECT_EQ(m3_fmod(F(5), F(3)), F(2));
    EXPECT_EQ(m3_fmod(F(7.25), 0), F(7.25));
    EXPECT_EQ(m3_fmod(F(-1), F(1)), 0);
    EXPECT_EQ(m3_fmod(F(-0.5), F(1)), F(0.5));
    EXPECT_EQ(m3_fmod(raw(0x80000000), raw(0x80000000)), 0);
    EXPECT_EQ(m3_fmod(F(3), raw(0x80000000)), F(3));
    for (int32_t a : sample_values())
        for (int32_t b : sample_values()) {
            int32_t r = m3_fmod(a, b);
            if (b == 0) {
                ASSERT_EQ(r, a);
                continue;
            }
            int64_t m = b < 0 ? -int64_t(b) : b;
            ASSERT_GE(r, 0) << a << " % " << b;
            ASSERT_LT(r, m) << a << " % " << b;
            ASSERT_EQ((int64_t(a) - r) % m, 0) << a << " % " << b;
        }
}

TEST(FixedSqrt, ExamplesAndLimits) {
    EXPECT_EQ(fsqrt(F(100)), F(10));
    EXPECT_EQ(fsqrt(F(2)), 0x16aab);
    EXPECT_EQ(fsqrt(F(3)), F(1.75));
    EXPECT_EQ(fsqrt(F(10)), 0x3298b);
    EXPECT_EQ(fsqrt(F(0.5)), 0xb4b4);
    EXPECT_EQ(fsqrt(F(32761)), F(181));
    EXPECT_EQ(fsqrt(0x7fffffff), F(181));
    EXPECT_EQ(fsqrt(0), 0);
    EXPECT_EQ(fsqrt(F(1)), F(1));
    EXPECT_EQ(mivo3_sqrt(F(4)), F(2));
}

TEST(FixedSqrt, FastIntegerRootMatchesTheScan) {
    for (int32_t x : sample_values()) ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
    for (int32_t w = 0; w < 32767; w += 7)
        for (int32_t f : {0, 1, 0x7fff, 0xffff}) {
            int32_t x = w * 0x10000 + f;
            ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
        }
    for (int32_t x = -70000; x < 70000; x += 13) ASSERT_EQ(fsqrt(x), reference_sqrt(x)) << x;
}

TEST(FixedPower, Examples) {
    EXPECT_EQ(m3_fpow(F(2), F(0.5)), 0x16aab);
    EXPECT_EQ(m3_fpow(F(2), F(-1)), F(0.5));
    EXPECT_EQ(m3_fpow(0, F(0.5)), 0);
    for (int32_t x : {0, 1, -1, F(3), F(-7.5), 0x7fffffff, raw(0x80000000)}) EXPECT_EQ(m3_fpow(x, 0), F(1));
    EXPECT_EQ(m3_fpow(F(2), F(10)), F(1024));
    EXPECT_EQ(m3_fpow(F(-3), F(3)), F(-27));
    EXPECT_EQ(m3_fpow(F(10), F(5)), m3_fmul(F(10000), F(10)));  // wraps like the multiply
    EXPECT_EQ(m3_fpow(F(4), F(1.5)), F(8));
    EXPECT_EQ(m3_fpow(F(16), F(0.25)), F(2));
    // -32768 cannot be negated: nothing is multiplied in
    EXPECT_EQ(m3_fpow(F(2), raw(0x80000000)), F(1));
    // The roots follow sqrt's rule that anything above 32760.99998 gives 181.
    EXPECT_EQ(m3_fpow(F(32767), F(0.5)), F(181));
    EXPECT_EQ(m3_fpow(F(32767), F(1.5)), F(32587));
    EXPECT_EQ(m3_fpow(0, F(-0.5)), F(181));  // 1/0 saturates first
}

TEST(FixedPower, FractionBitsUseRepeatedRoots) {
    // 2 ^ 0.75 = sqrt(2) * sqrt(sqrt(2)) with the machine's own roots
    int32_t r1 = fsqrt(F(2));
    int32_t r2 = fsqrt(r1);
    EXPECT_EQ(m3_fpow(F(2), F(0.75)), m3_fmul(m3_fmul(F(1), r1), r2));
    EXPECT_EQ(m3_fpow(F(9), F(2.5)), m3_fmul(F(81), fsqrt(F(9))));
}

TEST(FixedTrig, Examples) {
    EXPECT_EQ(fsin(F(0.25)), F(-1));
    EXPECT_EQ(fcos(F(0.5)), F(-1));
    EXPECT_EQ(fsin(F(-0.25)), F(1));
    EXPECT_EQ(fcos(F(1.25)), fcos(F(0.25)));
    EXPECT_EQ(fcos(0), F(1));
    EXPECT_EQ(fsin(0), 0);
    EXPECT_EQ(fcos(F(0.25)), 0);
    EXPECT_EQ(fsin(F(0.125)), -46341);  // round(-sin(pi/4) * 65536)
}

TEST(FixedTrig, FollowsTheMathematicalCurvesWithYDown) {
    for (int32_t a = raw(0x80000000); a < 0x7fff0000; a += 0x1234567) {
        double turns = a / 65536.0;
        EXPECT_NEAR(fcos(a) / 65536.0, std::cos(2 * M_PI * turns), 0.0005) << a;
        EXPECT_NEAR(fsin(a) / 65536.0, -std::sin(2 * M_PI * turns), 0.0005) << a;
        EXPECT_EQ(fsin(a), fsin(a + 0x10000));
    }
}

TEST(FixedAtan2, Examples) {
    EXPECT_EQ(fatan2(F(1), 0), 0);
    EXPECT_EQ(fatan2(0, F(-1)), F(0.25));
    EXPECT_EQ(fatan2(F(-1), 0), F(0.5));
    EXPECT_EQ(fatan2(0, F(1)), F(0.75));
    EXPECT_EQ(fatan2(F(1), F(-1)), F(0.125));
    EXPECT_EQ(fatan2(F(-1), F(-1)), F(0.375));
    EXPECT_EQ(fatan2(0, 0), F(0.25));
    EXPECT_EQ(fatan2(1, raw(0x80000000)), F(0.25));        // steeper than the quotient can hold
    EXPECT_EQ(fatan2(-1, raw(0x80000000)), F(0.25));
    EXPECT_EQ(fatan2(1, 0x7fffffff), F(0.75));
}

TEST(FixedAtan2, InvertsSinAndCos) {
    for (int32_t a = 0; a < 0x10000; a += 97) {
        int32_t back = fatan2(fcos(a), fsin(a));
        int32_t diff = (back - a) & 0xffff;
        if (diff > 0x8000) diff -= 0x10000;
        EXPECT_LE(std::abs(diff), 8) << a << " came back as " << back;
        EXPECT_GE(back, 0);
        EXPECT_LT(back, 0x10000);
    }
}

TEST(FixedBits, RotationsAndShifts) {
    for (int k = -40; k < 70; k++) {
        uint32_t v = 0x80000003u;
        int n = k & 31;
        uint32_t expect = n == 0 ? v : (v << n) | ((v >> ((32 - n) & 31)) & ((1u << n) - 1));
        EXPECT_EQ(mivo3_rotl(v, k), expect) << k;
    }
    EXPECT_EQ(mivo3_rotl_num(raw(0x80000001), F(1)), 3);
    EXPECT_EQ(mivo3_rotr_num(3, F(1)), raw(0x80000001));
    EXPECT_EQ(mivo3_rotr_num(0x1234, 0), 0x1234);

    EXPECT_EQ(mivo3_shl(F(1), F(4)), F(16));
    EXPECT_EQ(mivo3_shl(F(1), F(31.99998)), 0);  // 31 only: 1.0 << 31 leaves nothing
    EXPECT_EQ(mivo3_shl(1, 0x1fffff), raw(0x80000000));
    EXPECT_EQ(mivo3_shl(F(1), 0x200000), 0);
    EXPECT_EQ(mivo3_shl(1, F(-1)), raw(0x80000000));  // -1 masks to 31
    EXPECT_EQ(mivo3_shr(F(-16), F(2)), F(-4));
    EXPECT_EQ(mivo3_shr(F(-16), F(32)), -1);
    EXPECT_EQ(mivo3_shr(F(16), F(40)), 0);
    EXPECT_EQ(mivo3_shr(raw(0x80000000), F(-1)), -1);
    EXPECT_EQ(mivo3_lshr(F(-16), F(2)), 0x3ffc0000);
    EXPECT_EQ(mivo3_lshr(-1, F(32)), 0);
    EXPECT_EQ(mivo3_lshr(-1, F(31)), 1);

    EXPECT_EQ(mivo3_band(0x0ff0, 0x00ff), 0x00f0);
    EXPECT_EQ(mivo3_bor(0x0ff0, 0x00ff), 0x0fff);
    EXPECT_EQ(mivo3_bxor(0x0ff0, 0x00ff), 0x0f0f);
    EXPECT_EQ(mivo3_bnot(0), -1);
}

TEST(FixedApi, RoundingSignAndOrdering) {
    EXPECT_EQ(mivo3_flr(F(-1.5)), F(-2));
    EXPECT_EQ(mivo3_flr(F(1.99)), F(1));
    EXPECT_EQ(mivo3_ceil(F(1.01)), F(2));
    EXPECT_EQ(mivo3_ceil(F(-1.5)), F(-1));
    EXPECT_EQ(mivo3_ceil(F(32767.5)), raw(0x80000000));
    EXPECT_EQ(mivo3_abs(F(-3)), F(3));
    EXPECT_EQ(mivo3_abs(raw(0x80000000)), 0x7fffffff);
    EXPECT_EQ(mivo3_sgn(0), F(1));
    EXPECT_EQ(mivo3_sgn(-1), F(-1));
    EXPECT_EQ(mivo3_min(F(2), F(-3)), F(-3));
    EXPECT_EQ(mivo3_max(F(2), F(-3)), F(2));
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; i++) {
        int32_t v[3] = {int32_t(rng() % 7) - 3, int32_t(rng() % 7) - 3, int32_t(rng() % 7) - 3};
        if (i & 1)
            for (int32_t& x : v) x = static_cast<int32_t>(rng());
        int32_t sorted[3] = {v[0], v[1], v[2]};
        std::sort(sorted, sorted + 3);
        ASSERT_EQ(mivo3_mid(v[0], v[1], v[2]), sorted[1]) << v[0] << " " << v[1] << " " << v[2];
    }
}

TEST(FixedArith, OperatorsInLanguageOrder) {
    EXPECT_EQ(mivo3_arith(mivo3_op_add, 0x7fffffff, F(1) >> 16), raw(0x80000000));
    EXPECT_EQ(mivo3_arith(mivo3_op_add, F(32767), F(1)), F(-32768));
    EXPECT_EQ(mivo3_arith(mivo3_op_sub, F(-32768), F(1)), F(32767));
    EXPECT_EQ(mivo3_arith(mivo3_op_mul, F(3), F(-2)), F(-6));
    EXPECT_EQ(mivo3_arith(mivo3_op_div, F(1), 0), 0x7fffffff);
    EXPECT_EQ(mivo3_arith(mivo3_op_mod, F(-5), F(-3)), F(1));
    EXPECT_EQ(mivo3_arith(mivo3_op_pow, F(2), F(3)), F(8));
    EXPECT_EQ(mivo3_arith(mivo3_op_unm, raw(0x80000000), 0), raw(0x80000000));
    EXPECT_EQ(mivo3_arith(mivo3_op_unm, F(2), 12345), F(-2));
}

TEST(FixedText, NumberToText) {
    EXPECT_EQ(text(F(1.5)), "1.5");
    EXPECT_EQ(text(0x1999), "0.1");
    EXPECT_EQ(text(0x5555), "0.3333");
    EXPECT_EQ(text(0xffff), "1");
    EXPECT_EQ(text(F(2) + 1), "2");
    EXPECT_EQ(text(F(-0.5)), "-0.5");
    EXPECT_EQ(text(F(1.0 / 32)), "0.0313");  // the half rounds away from zero
    EXPECT_EQ(text(F(-1.0 / 32)), "-0.0313");
    EXPECT_EQ(text(raw(0x80000000)), "-32768");
    EXPECT_EQ(text(0x7fffffff), "32768");
    EXPECT_EQ(text(0), "0");
    EXPECT_EQ(text(F(100)), "100");
    EXPECT_EQ(text(F(-12.25)), "-12.25");
    EXPECT_EQ(text(-0xffff), "-1");
}

TEST(FixedText, HexText) {
    char buf[mivo3_fixed_text_max];
    EXPECT_EQ(mivo3_tostr_hex(buf, F(-1)), 11);
    EXPECT_STREQ(buf, "0xffff.0000");
    mivo3_tostr_hex(buf, F(1.5));
    EXPECT_STREQ(buf, "0x0001.8000");
    mivo3_tostr_hex(buf, raw(0x80000000));
    EXPECT_STREQ(buf, "0x8000.0000");
}

TEST(FixedText, TextToNumber) {
    EXPECT_EQ(parsed("0.1"), 0x1999);
    EXPECT_EQ(parsed("-0.1"), -0x1999);
    EXPECT_EQ(parsed("65536"), raw(0x80000000));
    EXPECT_EQ(parsed("32768"), raw(0x80000000));
    EXPECT_EQ(parsed("-32768"), raw(0x80000000));
    EXPECT_EQ(parsed("32767.99999"), 0x7fffffff);
    EXPECT_EQ(parsed("1e5"), raw(0x80000000));
    EXPECT_EQ(parsed("1e-9"), 0);
    EXPECT_EQ(parsed("2.5e1"), F(25));
    EXPECT_EQ(parsed("  42  "), F(42));
    EXPECT_EQ(parsed("+7"), F(7));
    EXPECT_EQ(parsed(".5"), F(0.5));
    EXPECT_EQ(parsed("5."), F(5));
    EXPECT_EQ(parsed("0x7fff.ffff"), 0x7fffffff);
    EXPECT_EQ(parsed("0x10000"), 0);
    EXPECT_EQ(parsed("0x12345"), F(0x2345));
    EXPECT_EQ(parsed("0x.8"), F(0.5));
    EXPECT_EQ(parsed("0x.01"), 0x0100);
    EXPECT_EQ(parsed("0x.123456"), 0x1234);
    EXPECT_EQ(parsed("0XFF"), F(255));
    EXPECT_EQ(parsed("-0x10"), F(-16));
    EXPECT_EQ(parsed(" +0x1. "), F(1));
    EXPECT_EQ(parsed("0b101.1"), F(5.5));
    EXPECT_EQ(parsed("0b.1"), F(0.5));
    EXPECT_EQ(parsed("-0b11"), F(-3));
    EXPECT_EQ(parsed("0b11111111111111111"), F(-1));  // the last sixteen digits count
    EXPECT_EQ(parsed("0b.00000000000000011"), 1);      // the first sixteen count
}

TEST(FixedText, RejectsWhatIsNotANumber) {
    int32_t v = 99;
    for (const char* bad : {"", " ", "nan", "inf", "-inf", "1n", "0x", "0x.", "0b", "0b2", "0x1p4",
                            "0b1p1", "1 2", "12a", "-", ".", "e5", "x10", "1x", "-1x", "+-1",
                            "--1", "- 1", "1-", "-+0x1", "-1x1", "0xg", "0b1.2", "1e"}) {
        EXPECT_FALSE(parse(bad, &v)) << '"' << bad << '"';
    }
    EXPECT_EQ(v, 99);  // nothing stored on failure
    const char embedded[] = {'1', '\0', '2'};
    EXPECT_FALSE(luaO_str2d(embedded, 3, &v));
    // The length bounds the text: no terminator is needed.
    const char unterminated[] = {'1', '2', '3', '4'};
    EXPECT_TRUE(luaO_str2d(unterminated, 2, &v));
    EXPECT_EQ(v, F(12));
    std::string longer(300, '0');
    longer += "1.5";
    EXPECT_EQ(parsed(longer), F(1.5));
}

TEST(FixedText, ToNumNegatesValuesThatLostTheirSign) {
    int32_t v = 0;
    ASSERT_TRUE(mivo3_tonum("-0x8000.0001", 12, &v));
    EXPECT_EQ(v, raw(0x80000001));
    ASSERT_TRUE(mivo3_tonum("-3", 2, &v));
    EXPECT_EQ(v, F(-3));
    ASSERT_TRUE(mivo3_tonum("-0", 2, &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(mivo3_tonum("abc", 3, &v));
}

TEST(FixedText, RoundTrips) {
    for (int32_t v : sample_values()) {
        char buf[mivo3_fixed_text_max];
        int n = mivo3_tostr_hex(buf, v);
        int32_t back = 0;
        ASSERT_TRUE(mivo3_tonum(buf, n, &back)) << buf;
        ASSERT_EQ(back, v) << buf;

        // Decimal text keeps at most four places: reading it back lands
        // within the rounding of the text.
        std::string t = text(v);
        int32_t d = 0;
        ASSERT_TRUE(mivo3_tonum(t.data(), t.size(), &d)) << t;
        if (v > raw(0x80000000) + 8 && v < 0x7fff0000 && t != "-0") {
            EXPECT_LE(std::abs(int64_t(d) - v), 8) << t;
        }
    }
}

class FixedCharges : public ::testing::Test {
protected:
    void SetUp() override {
        reset_pstate();
        mivo3_vm = {&state, [](void*, int32_t) {}, nullptr, nullptr};
    }
    void TearDown() override { mivo3_vm = {}; }
    int32_t spent(int32_t before) const { return pstate.system_cycles - before; }
    int state = 0;
};

TEST_F(FixedCharges, RootsAndPowersSpendEightPerRoot) {
    int32_t c = pstate.system_cycles;
    fsqrt(F(2));
    EXPECT_EQ(spent(c), 8);
    c = pstate.system_cycles;
    fsqrt(0);
    fsqrt(F(32761));
    EXPECT_EQ(spent(c), 0);
    c = pstate.system_cycles;
    mivo3_sqrt(F(9));
    EXPECT_EQ(spent(c), 24);
    c = pstate.system_cycles;
    m3_fpow(F(3), 0);
    EXPECT_EQ(spent(c), 0);
    c = pstate.system_cycles;
    m3_fpow(F(3), F(4));
    EXPECT_EQ(spent(c), 8);
    c = pstate.system_cycles;
    m3_fpow(F(3), F(0.25));  // two roots
    EXPECT_EQ(spent(c), 24);
    c = pstate.system_cycles;
    m3_fpow(0, F(0.25));     // no roots of 0
    EXPECT_EQ(spent(c), 8);
}

TEST_F(FixedCharges, BitOperationsRefundOnlyWithTheirExactArgumentCount) {
    int32_t f = pstate.frame_cycles;
    mivo3_refund_binary_op(2);
    EXPECT_EQ(pstate.frame_cycles - f, -3);
    mivo3_refund_binary_op(3);
    mivo3_refund_binary_op(1);
    EXPECT_EQ(pstate.frame_cycles - f, -3);
    mivo3_refund_unary_op(1);
    EXPECT_EQ(pstate.frame_cycles - f, -5);
    mivo3_refund_unary_op(2);
    EXPECT_EQ(pstate.frame_cycles - f, -5);
    EXPECT_EQ(pstate.refund_balance, 5);
}
