// Generated carts and code for the storage format tests and benchmarks: cart
// Lua in the shape real carts have (functions, tables, loops, indentation,
// comments, numbers), glyph-heavy text, and records with random data at every
// edge value of the sfx and music fields.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "storage/cart.h"

namespace cart_corpus {

inline std::string lua_code(uint32_t seed, size_t length, bool glyphs = false)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](auto const& list) { return list[rng() % (sizeof(list) / sizeof(list[0]))]; };
    static const char* names[] = {"x", "y", "dx", "dy", "t", "i", "j", "p", "e", "spd", "player", "enemies",
                                  "bullets", "score", "timer", "frame", "col", "w", "h", "cam_x", "map_y",
                                  "particles", "state", "hp", "lives", "s"};
    static const char* api[] = {"spr", "pset", "rectfill", "circfill", "print", "sfx", "music", "btn",
                                "btnp", "mget", "fget", "add", "del", "rnd", "flr", "abs", "min", "max",
                                "sin", "cos", "cls", "map", "line", "pal"};
    static const char* ops[] = {"+", "-", "*", "/", "+=", "-=", "==", "<", ">", "~=", "and", "or"};
    static const char* glyph_bytes[] = {"\x8b", "\x91", "\x94", "\x83", "\x8e", "\x97", "\x80", "\x87", "\x92"};
    std::string out;
    int32_t depth = 0;
    auto indent = [&]() { out.append(static_cast<size_t>(depth), ' '); };
    auto expr = [&]() {
        std::string e = pick(names);
        if (rng() % 2) {
            e += " ";
            e += pick(ops);
            e += " ";
            e += (rng() % 2) ? std::to_string(rng() % 128) : std::string(pick(names));
        }
        return e;
    };
    while (out.size() < length) {
        switch (rng() % 12) {
        case 0:
            indent();
            out += "function " + std::string(pick(names)) + "_" + std::string(pick(api)) + "(" + pick(names) + ")\n";
            depth = depth < 6 ? depth + 1 : depth;
            break;
        case 1:
            if (depth > 0) {
                depth--;
                indent();
                out += "end\n";
            }
            break;
        case 2:
            indent();
            out += "for " + std::string(pick(names)) + "=0," + std::to_string(rng() % 64) + " do\n";
            depth = depth < 6 ? depth + 1 : depth;
            break;
        case 3:
            indent();
            out += "if " + expr() + " then\n";
            depth = depth < 6 ? depth + 1 : depth;
            break;
        case 4:
            indent();
            out += "-- " + std::string(pick(names)) + " " + pick(api) + " Update " + pick(names) + "\n";
            break;
        case 5:
            indent();
            out += std::string(pick(api)) + "(" + expr() + "," + expr() + "," + std::to_string(rng() % 16) + ")\n";
            break;
        case 6:
            indent();
            out += "local " + std::string(pick(names)) + "={x=" + std::to_string(rng() % 128) +
                   ",y=" + std::to_string(rng() % 128) + ",spd=0." + std::to_string(rng() % 100) + "}\n";
            break;
        case 7:
            indent();
            out += std::string(pick(names)) + "." + pick(names) + " = " + expr() + "\n";
            break;
        case 8:
            indent();
            out += "print(\"Score: \".." + std::string(pick(names)) + ", " + std::to_string(rng() % 128) + ", 7)\n";
            break;
        case 9:
            if (glyphs) {
                indent();
                out += "if btn(" + std::string(pick(glyph_bytes)) + ") then " + pick(names) + "-=1 end -- " +
                       pick(glyph_bytes) + pick(glyph_bytes) + "\n";
                break;
            }
            [[fallthrough]];
        default:
            indent();
            out += std::string(pick(names)) + " = " + expr() + "\n";
            break;
        }
    }
    out.resize(length);
    return out;
}

// A record whose every field is random within its range; edge values of the
// sfx and music fields come up often.
inline void fill_random(mivo3_cart* cart, uint32_t seed, const std::string& code, bool label)
{
    std::mt19937 rng(seed);
    auto edge = [&rng](int32_t hi) {
        const uint32_t r = rng() % 4;
        return r == 0 ? 0 : r == 1 ? hi : static_cast<int32_t>(rng() % static_cast<uint32_t>(hi + 1));
    };
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++)
            cart->gfx->rows[y][x] = static_cast<uint8_t>(rng() % 16);
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 128; x++)
            cart->map->rows[y][x] = static_cast<uint8_t>(rng() % 256);
    sync_shared_gfx_to_map(cart);
    for (int32_t& f : cart->flags)
        f = static_cast<int32_t>(rng() % 256);
    for (sfx_record& s : cart->sfx) {
        s.editor_mode = edge(255);
        s.speed = edge(255);
        s.loop_start = edge(255);
        s.loop_end = edge(255);
        for (sfx_note& n : s.notes) {
            n.pitch = edge(63);
            n.waveform = edge(7);
            n.volume = edge(7);
            n.effect = edge(7);
            n.custom = (rng() % 2) ? 128 : 0;
        }
    }
    for (int32_t p = 0; p < MIVO3_PATTERN_COUNT; p++) {
        cart->music_flags[p] = edge(15);
        for (int32_t c = 0; c < 4; c++)
            cart->music[p][c] = edge(127);
    }
    if (label) {
        if (!cart->label)
            cart->label = quon_create_bitmap(128, 128, 8);
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++)
                cart->label->rows[y][x] = static_cast<uint8_t>(rng() % 16);
    }
    code.copy(cart->code, code.size());
    cart->code[code.size()] = 0;
}

// Two records hold the same cart when their code, their cart ROM bytes (which
// carry every sprite, map, flag, sfx and music field in range) and their
// labels agree.
inline ::testing::AssertionResult same_cart(const mivo3_cart* a, const mivo3_cart* b)
{
    if (std::strcmp(a->code, b->code) != 0)
        return ::testing::AssertionFailure() << "code differs";
    for (int32_t addr = 0; addr < MIVO3_CART_ROM_SIZE; addr++)
        if (mivo3_cart_rom_read(a, addr) != mivo3_cart_rom_read(b, addr))
            return ::testing::AssertionFailure() << "ROM address " << addr << " differs";
    if ((a->label == nullptr) != (b->label == nullptr))
        return ::testing::AssertionFailure() << "only one has a label";
    for (int32_t y = 0; a->label && y < 128; y++)
        if (std::memcmp(a->label->rows[y], b->label->rows[y], 128) != 0)
            return ::testing::AssertionFailure() << "label row " << y << " differs";
    return ::testing::AssertionSuccess();
}

}  // namespace cart_corpus
