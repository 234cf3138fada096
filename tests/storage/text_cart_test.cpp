#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/stream.h"
#include "storage/cart_image.h"
#include "storage/text_cart.h"
#include "tests/storage/cart_corpus.h"

namespace {

struct TextCartTest : ::testing::Test {
    std::vector<mivo3_cart*> carts;
    void SetUp() override { mivo3_cart_release_hook = nullptr; }
    void TearDown() override
    {
        for (mivo3_cart* c : carts)
            quon_destroy_mivo3_cart(c);
    }
    mivo3_cart* keep(mivo3_cart* c)
    {
        if (c)
            carts.push_back(c);
        return c;
    }
    mivo3_cart* blank(const std::string& code = "")
    {
        mivo3_cart* c = keep(quon_create_mivo3_cart());
        std::memcpy(c->code, code.c_str(), code.size() + 1);
        return c;
    }
    mivo3_cart* parse(const std::string& text) { return keep(quon_load_mivo3_cart_from_text(text)); }
};

TEST_F(TextCartTest, GeneratedCartsRoundTrip)
{
    for (uint32_t seed = 1; seed <= 10; seed++) {
        mivo3_cart* a = keep(quon_create_mivo3_cart());
        cart_corpus::fill_random(a, seed, cart_corpus::lua_code(seed, 500 + seed * 5000, seed % 2 == 0), seed % 3 == 0);
        const std::string text = mivo3_cart_to_text(a);
        mivo3_cart* b = parse(text);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->version, 17);
        EXPECT_TRUE(cart_corpus::same_cart(a, b));
        EXPECT_EQ(mivo3_cart_to_text(b), text);
    }
}

TEST_F(TextCartTest, FileRoundTripWithMaximumCodeAndEdgeSfx)
{
    mivo3_cart* a = blank(cart_corpus::lua_code(3, 65534, true));
    for (int32_t i = 0; i < 64; i++) {
        sfx_record& s = a->sfx[i];
        s.editor_mode = s.speed = s.loop_start = s.loop_end = (i % 2) ? 255 : 0;
        for (sfx_note& n : s.notes)
            n = (i % 2) ? sfx_note{63, 7, 7, 7, 128} : sfx_note{0, 0, 0, 0, 0};
        a->music_flags[i] = i % 16;
        for (int32_t c = 0; c < 4; c++)
            a->music[i][c] = (i + c) % 2 ? 0x7f : 0;
    }
    const std::string path = ::testing::TempDir() + "/edge.m3";
    ASSERT_EQ(quon_save_mivo3_cart(a, path.c_str()), 0);
    mivo3_cart* b = keep(quon_load_mivo3_cart(path.c_str()));
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(cart_corpus::same_cart(a, b));
    EXPECT_EQ(quon_save_mivo3_cart(a, (::testing::TempDir() + "/no/such/dir/x.m3").c_str()), 1);
}

TEST_F(TextCartTest, CodeOnlyCartWritesHeaderAndCodeOnly)
{
    mivo3_cart* a = blank("print(1)\nprint(2)");
    EXPECT_EQ(mivo3_cart_to_text(a),
              "mivo-3 cartridge // https://mivo3.example.org\nversion 17\n__lua__\nprint(1)\nprint(2)\n");
}

TEST_F(TextCartTest, SectionsHoldExactlyTheUsedRows)
{
    mivo3_cart* a = blank("x=1");
    a->map->rows[40][3] = 9;  // rows 32..63 are carried by gfx, never by __map__
    EXPECT_EQ(mivo3_cart_to_text(a).find("__map__"), std::string::npos);
    a->map->rows[2][127] = 0xab;
    a->gfx->rows[5][0] = 7;
    a->flags[255] = 0x1ff;
    a->music[3][3] = 0x05;  // only channel 3 differs
    a->sfx[2].notes[31].effect = 3;
    const std::string text = mivo3_cart_to_text(a);
    const std::string expected_map = "__map__\n" + std::string(256, '0') + "\n" + std::string(256, '0') + "\n" +
                                     std::string(254, '0') + "ab\n__sfx__\n";
    EXPECT_NE(text.find(expected_map), std::string::npos);
    EXPECT_NE(text.find("__gfx__\n" + std::string(128, '0') + "\n"), std::string::npos);
    EXPECT_NE(text.find(std::string(127, '0') + "\n__gff__"), std::string::npos) << "gfx ends at row 5";
    EXPECT_NE(text.find(std::string(254, '0') + "ff\n__map__"), std::string::npos) << "flags keep their low 8 bits";
    EXPECT_NE(text.find("__music__\n00 41424344\n00 41424344\n00 41424344\n00 41424305\n\n"), std::string::npos);
    const size_t sfx = text.find("__sfx__\n");
    ASSERT_NE(sfx, std::string::npos);
    const std::string sfx_lines = text.substr(sfx + 8, text.find("__music__") - sfx - 8);
    EXPECT_EQ(sfx_lines.size(), 3u * 169u);
    EXPECT_EQ(sfx_lines.substr(0, 8), "00010000") << "sfx 0 defaults to speed 1";
    EXPECT_EQ(sfx_lines.substr(2 * 169 + 8 + 31 * 5, 6), "00003\n");
    EXPECT_EQ(text.find("__label__"), std::string::npos);
}

TEST_F(TextCartTest, OutOfRangeValuesAreClampedWhenWritten)
{
    mivo3_cart* a = blank("");
    a->sfx[0].speed = 300;
    a->sfx[0].loop_end = -4;
    a->sfx[0].notes[0] = sfx_note{12, 9, 11, -1, 128};
    a->gfx->rows[0][0] = 200;
    const std::string text = mivo3_cart_to_text(a);
    EXPECT_NE(text.find("__gfx__\nf0"), std::string::npos);
    EXPECT_NE(text.find("__sfx__\n00ff00000cf70"), std::string::npos);
}

TEST_F(TextCartTest, CrLfReadsLikeLf)
{
    mivo3_cart* a = keep(quon_create_mivo3_cart());
    cart_corpus::fill_random(a, 9, cart_corpus::lua_code(9, 3000), true);
    std::string text = mivo3_cart_to_text(a), crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    mivo3_cart* b = parse(crlf);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(cart_corpus::same_cart(a, b));
}

TEST_F(TextCartTest, OldVersionsReadTheirOwnLayouts)
{
    const std::string v2 = "mivo-3 cartridge\nversion 2\n__lua__\nx=1\n__gff__\n1f" + std::string(126, '0') +
                           "\n__music__\n01000203\n";
    mivo3_cart* a = parse(v2);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->version, 2);
    EXPECT_EQ(a->flags[0], 1);
    EXPECT_EQ(a->flags[1], 15);
    EXPECT_EQ(a->flags[2], 0);
    EXPECT_EQ(a->music_flags[0], 0);
    EXPECT_EQ(a->music[0][0], 0x01);
    EXPECT_EQ(a->music[0][1], 0x41) << "version below 4: channel 0 is silent";
    EXPECT_EQ(a->music[0][2], 0x02);

    mivo3_cart* b = parse("mivo-3 cartridge\nversion 3\n__music__\n05 00010042\n");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->music_flags[0], 5);
    EXPECT_EQ(b->music[0][0], 0x41);
    EXPECT_EQ(b->music[0][1], 0x01);
    EXPECT_EQ(b->music[0][2], 0x41);

    mivo3_cart* c = parse("mivo-3 cartridge\nversion 4\n__music__\n05 00010042\n");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->music[0][0], 0);
    mivo3_cart* d = parse("mivo-3 cartridge\nno version here\n__lua__\nx=1\n");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->version, 0);
}

TEST_F(TextCartTest, ShortAndMalformedLinesReadAsSpecified)
{
    mivo3_cart* a = parse(
        "mivo-3 cartridge\nversion 17\nignored before a section\n__gfx__\n1g2\n__map__\nzz0a\n__sfx__\n0003\n"
        "000a0000011111\n__music__\n03 4101\n__gff__\n" + std::string(300, '1') + "\n01\n02\n");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->code, "");
    EXPECT_EQ(a->gfx->rows[0][0], 1);
    EXPECT_EQ(a->gfx->rows[0][1], 0) << "non-digits read as 0";
    EXPECT_EQ(a->gfx->rows[0][2], 2);
    EXPECT_EQ(a->gfx->rows[0][3], 0) << "missing characters read as 0";
    EXPECT_EQ(a->map->rows[0][0], 0);
    EXPECT_EQ(a->map->rows[0][1], 0x0a);
    EXPECT_EQ(a->sfx[0].editor_mode, 0);
    EXPECT_EQ(a->sfx[0].speed, 3);
    EXPECT_EQ(a->sfx[0].loop_start, 0) << "short sfx lines keep defaults";
    EXPECT_EQ(a->sfx[1].speed, 10);
    EXPECT_EQ(a->sfx[1].notes[0].pitch, 1);
    EXPECT_EQ(a->sfx[1].notes[0].waveform, 1);
    EXPECT_EQ(a->sfx[1].notes[1].pitch, 1) << "a cut note keeps the digits it reaches";
    EXPECT_EQ(a->sfx[1].notes[1].volume, 0);
    EXPECT_EQ(a->sfx[2].speed, 16);
    EXPECT_EQ(a->music_flags[0], 3);
    EXPECT_EQ(a->music[0][0], 0x41);
    EXPECT_EQ(a->music[0][1], 0x01);
    EXPECT_EQ(a->music[0][2], 0x43) << "channels a short line does not reach keep defaults";
    EXPECT_EQ(a->flags[0], 0x11);
    EXPECT_EQ(a->flags[128], 0x01);
    EXPECT_EQ(a->flags[129], 0) << "a third gff line is ignored";
}

TEST_F(TextCartTest, CustomBitComesFromWaveformOrEffectDigit)
{
    mivo3_cart* a = parse("mivo-3 cartridge\nversion 17\n__sfx__\n00100000" + std::string("3fd75") + "3f7ff" + "\n");
    ASSERT_NE(a, nullptr);
    const sfx_note& n0 = a->sfx[0].notes[0];
    EXPECT_EQ(n0.pitch, 0x3f);
    EXPECT_EQ(n0.waveform, 5);
    EXPECT_EQ(n0.custom, 128);
    EXPECT_EQ(n0.volume, 7);
    EXPECT_EQ(n0.effect, 5);
    const sfx_note& n1 = a->sfx[0].notes[1];
    EXPECT_EQ(n1.waveform, 7);
    EXPECT_EQ(n1.effect, 7);
    EXPECT_EQ(n1.custom, 128);
}

TEST_F(TextCartTest, OversizedCodeLinesAreDropped)
{
    const std::string line(40000, 'a');
    mivo3_cart* a = parse("mivo-3 cartridge\nversion 17\n__lua__\n" + line + "\n" + line + "\nend\n");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->code), line + "\nend");
}

TEST_F(TextCartTest, GlyphsSurviveAndEscapeAsUtf8)
{
    std::string code = "x";
    for (int b = 0x80; b <= 0x99; b++)
        code.push_back(char(b));
    code += "\x9a\xff end";
    const std::string escaped = convert_glyphs_to_escaped(code);
    EXPECT_EQ(escaped.substr(0, 7), "x\xe2\x96\x88\xe2\x96\x92");
    EXPECT_NE(escaped.find("\xf0\x9f\x85\xbe\xef\xb8\x8f"), std::string::npos);
    EXPECT_EQ(escaped.substr(escaped.size() - 6), "\x9a\xff end");
    EXPECT_EQ(convert_escaped_to_glyphs(escaped), code);
    EXPECT_LE(escaped.size(), 7 * code.size() + 1);

    // Without its variation selector an arrow is not a glyph.
    EXPECT_EQ(convert_escaped_to_glyphs("\xe2\xac\x87!"), "\xe2\xac\x87!");
    EXPECT_EQ(convert_escaped_to_glyphs("\xe2\xac\x87\xef\xb8\x8f!"), "\x83!");
    EXPECT_EQ(convert_escaped_to_glyphs("caf\xc3\xa9 \xe2\x96"), "caf\xc3\xa9 \xe2\x96");

    mivo3_cart* a = blank(code);
    mivo3_cart* b = parse(mivo3_cart_to_text(a));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::string(b->code), code);
}

TEST_F(TextCartTest, FutureAndForeignFilesAreRefused)
{
    mivo3_cart_load_status = MIVO3_LOAD_OK;
    EXPECT_EQ(parse("mivo-3 cartridge\nversion 18\n__lua__\nx=1\n"), nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_FUTURE);
    EXPECT_EQ(parse("some other file\nversion 17\n"), nullptr);
    EXPECT_NE(mivo3_cart_load_status, MIVO3_LOAD_FUTURE);
    EXPECT_EQ(parse(""), nullptr);
    EXPECT_EQ(quon_load_mivo3_cart((::testing::TempDir() + "/missing.m3").c_str()), nullptr);
    mivo3_cart* a = parse("mivo-3 cartridge!! anything\nversion 17\n");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mivo3_cart_load_status, MIVO3_LOAD_OK);
}

// Seeded random mutations of generated text carts: changed, inserted and
// deleted bytes, cut and repeated lines. Loading never fails for bad content.
TEST_F(TextCartTest, SurvivesRandomlyMutatedText)
{
    const char* env = std::getenv("MIVO3_FUZZ_ITERATIONS");
    const long iterations = env ? std::atol(env) : 400;
    std::mt19937 rng(0x7e47);
    std::vector<std::string> seeds;
    for (uint32_t s = 1; s <= 4; s++) {
        mivo3_cart* c = keep(quon_create_mivo3_cart());
        cart_corpus::fill_random(c, s, cart_corpus::lua_code(s, 2000, true), s % 2);
        seeds.push_back(mivo3_cart_to_text(c));
    }
    const char alphabet[] = "0123456789abcdefxyz_\n\r \x80\xe2\xef\xff";
    for (long it = 0; it < iterations; it++) {
        std::string t = seeds[rng() % seeds.size()];
        for (int e = 1 + int(rng() % 12); e > 0; e--) {
            const size_t at = 16 + rng() % (t.size() - 16);
            switch (rng() % 5) {
            case 0:
                t[at] = alphabet[rng() % (sizeof alphabet - 1)];
                break;
            case 1:
                t.insert(at, 1, char(rng()));
                break;
            case 2:
                t.erase(at, rng() % 300);
                break;
            case 3:
                t.insert(at, t.substr(at, rng() % 2000));
                break;
            default:
                t.resize(at);
                break;
            }
            if (t.size() <= 17)
                break;
        }
        mivo3_cart* c = quon_load_mivo3_cart_from_text(t);
        if (c) {
            ASSERT_LE(std::strlen(c->code), size_t(65535));
            for (const sfx_record& s : c->sfx)
                for (const sfx_note& n : s.notes)
                    ASSERT_TRUE(n.pitch < 64 && n.waveform < 8 && n.volume < 8 && n.effect < 8);
            quon_destroy_mivo3_cart(c);
        }
    }
}

}  // namespace
