#include "machine/memory.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "storage/cart.h"

// The screen bitmap, when it has the machine's shape.
static quon_bitmap* screen()
{
    quon_bitmap* bp = mivo3_back_page;
    if (!bp || bp->width != MIVO3_SCREEN_SIZE || bp->height != MIVO3_SCREEN_SIZE || bp->bits != 8)
        return nullptr;
    return bp;
}

// addr + k, or -1 when that leaves machine memory (also on int32 overflow).
static int32_t addr_at(int32_t addr, int32_t k)
{
    int64_t a = int64_t(addr) + k;
    return a >= 0 && a < MIVO3_MEMORY_SIZE ? int32_t(a) : -1;
}

// Two pixels per byte, left pixel in the low nibble. Reading masks each
// pixel to its colour index. Eight pixels at a time go through one 64-bit
// word: each 16-bit lane holds a pixel pair, which folds into one byte.
static void pack_pixels(const uint8_t* px, uint8_t* out, int32_t n)
{
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t w;
        std::memcpy(&w, px + 2 * i, 8);
        w &= 0x0f0f0f0f0f0f0f0full;
        w = (w | w >> 4) & 0x00ff00ff00ff00ffull;
        w = (w | w >> 8) & 0x0000ffff0000ffffull;
        uint32_t bytes = uint32_t(w | w >> 16);
        std::memcpy(out + i, &bytes, 4);
    }
    for (; i < n; i++)
        out[i] = static_cast<uint8_t>((px[2 * i] & 15) | (px[2 * i + 1] & 15) << 4);
}

static void unpack_pixels(const uint8_t* in, uint8_t* px, int32_t n)
{
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t bytes;
        std::memcpy(&bytes, in + i, 4);
        uint64_t w = bytes;
        w = (w | w << 16) & 0x0000ffff0000ffffull;
        w = (w | w << 8) & 0x00ff00ff00ff00ffull;
        w = (w & 0x000f000f000f000full) | (w << 4 & 0x0f000f000f000f00ull);
        std::memcpy(px + 2 * i, &w, 8);
    }
    for (; i < n; i++) {
        px[2 * i] = in[i] & 15;
        px[2 * i + 1] = in[i] >> 4;
    }
}

static uint8_t screen_read(int32_t off)
{
    const quon_bitmap* bp = screen();
    if (!bp)
        return 0;
    uint8_t b;
    pack_pixels(bp->rows[off >> 6] + ((off & 63) << 1), &b, 1);
    return b;
}

static void screen_write(int32_t off, uint8_t value)
{
    if (quon_bitmap* bp = screen())
        unpack_pixels(&value, bp->rows[off >> 6] + ((off & 63) << 1), 1);
}

void mivo3_apply_clip(const machine_state* machine)
{
    if (quon_bitmap* bp = screen())
        quon_set_clip(bp, machine->clip_x0, machine->clip_y0, machine->clip_x1 - machine->clip_x0,
                      machine->clip_y1 - machine->clip_y0);
}

static uint8_t register_read(const machine_state* m, int32_t addr)
{
    int32_t r = addr - MIVO3_ADDR_REGISTERS;
    if (r < 16)
        return static_cast<uint8_t>(m->draw_palette[r]);
    if (r < 32)
        return static_cast<uint8_t>(m->display_palette[r - 16]);
    switch (addr) {
    case 0x5f20: return static_cast<uint8_t>(m->clip_x0);
    case 0x5f21: return static_cast<uint8_t>(m->clip_y0);
    case 0x5f22: return static_cast<uint8_t>(m->clip_x1);
    case 0x5f23: return static_cast<uint8_t>(m->clip_y1);
    case 0x5f25: return static_cast<uint8_t>(m->pen_colour);
    case 0x5f26: return static_cast<uint8_t>(m->cursor_x);
    case 0x5f27: return static_cast<uint8_t>(m->cursor_y);
    case 0x5f28: return static_cast<uint8_t>(m->camera_x);
    case 0x5f29: return static_cast<uint8_t>(m->camera_x >> 8);
    case 0x5f2a: return static_cast<uint8_t>(m->camera_y);
    case 0x5f2b: return static_cast<uint8_t>(m->camera_y >> 8);
    case 0x5f2c: return static_cast<uint8_t>(m->screen_mode);
    case 0x5f31: return static_cast<uint8_t>(m->fill_pattern);
    case 0x5f32: return static_cast<uint8_t>(m->fill_pattern >> 8);
    case 0x5f33: return static_cast<uint8_t>(m->fill_pattern >> 16);
    default: return m->ram_mirror[addr];
    }
}

// Low byte replaced; the high byte is the sign-extended top of a 16-bit value.
static int32_t with_low_byte(int32_t v, uint8_t b) { return (v & ~0xff) | b; }
static int32_t with_high_byte(int32_t v, uint8_t b)
{
    return int32_t(uint32_t(int8_t(b)) << 8) | (v & 0xff);
}

static void register_write(machine_state* m, int32_t addr, uint8_t v)
{
    int32_t r = addr - MIVO3_ADDR_REGISTERS;
    if (r < 16) {
        m->draw_palette[r] = v;
        return;
    }
    if (r < 32) {
        m->display_palette[r - 16] = v;
        return;
    }
    switch (addr) {
    case 0x5f20: m->clip_x0 = v; mivo3_apply_clip(m); break;
    case 0x5f21: m->clip_y0 = v; mivo3_apply_clip(m); break;
    case 0x5f22: m->clip_x1 = v; mivo3_apply_clip(m); break;
    case 0x5f23: m->clip_y1 = v; mivo3_apply_clip(m); break;
    case 0x5f25: m->pen_colour = v; break;
    case 0x5f26: m->cursor_x = v; break;
    case 0x5f27: m->cursor_y = v; break;
    case 0x5f28: m->camera_x = with_low_byte(m->camera_x, v); break;
    case 0x5f29: m->camera_x = with_high_byte(m->camera_x, v); break;
    case 0x5f2a: m->camera_y = with_low_byte(m->camera_y, v); break;
    case 0x5f2b: m->camera_y = with_high_byte(m->camera_y, v); break;
    case 0x5f2c: m->screen_mode = v; break;
    case 0x5f31: m->fill_pattern = (m->fill_pattern & ~0xff) | v; break;
    case 0x5f32: m->fill_pattern = (m->fill_pattern & ~0xff00) | v << 8; break;
    // Only bit 16 (transparency) is cleared: the other high bits accumulate.
    case 0x5f33: m->fill_pattern = (m->fill_pattern & ~0x10000) | v << 16; break;
    case 0x5f40:
    case 0x5f41:
    case 0x5f42:
    case 0x5f43:
        // The mixer reads these on the audio thread without the audio lock.
        std::atomic_ref<int32_t>(m->audio_regs[addr - MIVO3_REG_AUDIO])
            .store(v & 15, std::memory_order_relaxed);
        break;
    default: break;  // kept in ram_mirror only
    }
}

uint8_t mivo3_peek(const machine_state* machine, const mivo3_cart* cart, int32_t addr)
{
    if (addr < 0 || addr >= MIVO3_MEMORY_SIZE)
        return 0;
    if (addr < MIVO3_ADDR_USER)
        return mivo3_cart_rom_read(cart, addr);
    if (!machine)
        return 0;
    if (addr < MIVO3_ADDR_CART_DATA)
        return machine->ram_mirror[addr];
    if (addr < MIVO3_ADDR_REGISTERS) {
        int32_t off = addr - MIVO3_ADDR_CART_DATA;
        return static_cast<uint8_t>(uint32_t(machine->cart_data_values[off >> 2]) >> ((off & 3) * 8));
    }
    if (addr < MIVO3_ADDR_GPIO)
        return register_read(machine, addr);
    if (addr < MIVO3_ADDR_SCREEN)
        return machine->gpio_pins[addr - MIVO3_ADDR_GPIO];
    return screen_read(addr - MIVO3_ADDR_SCREEN);
}

int32_t mivo3_poke(machine_state* machine, mivo3_cart* cart, int32_t addr, int32_t value)
{
    if (addr < 0 || addr >= MIVO3_MEMORY_SIZE) {
        mivo3_runtime_error(MIVO3_BAD_MEMORY_ACCESS);
        return 1;
    }
    uint8_t v = static_cast<uint8_t>(value);
    if (!machine) {
        if (addr < MIVO3_ADDR_USER)
            mivo3_cart_rom_write(cart, addr, v);
        return 0;
    }
    machine->ram_mirror[addr] = v;
    if (addr < MIVO3_ADDR_USER) {
        mivo3_cart_rom_write(cart, addr, v);
    } else if (addr < MIVO3_ADDR_CART_DATA) {
        // user data lives in the mirror
    } else if (addr < MIVO3_ADDR_REGISTERS) {
        if (machine->glitch_timer == 0) {
            int32_t off = addr - MIVO3_ADDR_CART_DATA, shift = (off & 3) * 8;
            uint32_t word = uint32_t(machine->cart_data_values[off >> 2]);
            word = (word & ~(0xffu << shift)) | uint32_t(v) << shift;
            machine->cart_data_values[off >> 2] = int32_t(word);
            machine->cart_data_dirty = 1;
        }
    } else if (addr < MIVO3_ADDR_GPIO) {
        register_write(machine, addr, v);
    } else if (addr < MIVO3_ADDR_SCREEN) {
        machine->gpio_pins[addr - MIVO3_ADDR_GPIO] = v;
    } else {
        screen_write(addr - MIVO3_ADDR_SCREEN, v);
    }
    return 0;
}

// Block transfers. Outside 0x5e00..0x5fff every byte reads back as it was
// written, so a block copy there equals a copy through a buffer and can work
// range by range instead of byte by byte.
static bool plain_range(int32_t addr, int32_t len)
{
    if (addr < 0 || len < 1 || int64_t(addr) + len > MIVO3_MEMORY_SIZE)
        return false;
    return addr + len <= MIVO3_ADDR_CART_DATA || addr >= MIVO3_ADDR_SCREEN;
}

// Next range boundary after addr, for plain ranges.
static int32_t range_end(int32_t addr)
{
    if (addr < MIVO3_ROM_GFX_SHARED) return MIVO3_ROM_GFX_SHARED;
    if (addr < MIVO3_ROM_MAP) return MIVO3_ROM_MAP;
    if (addr < MIVO3_ROM_FLAGS) return MIVO3_ROM_FLAGS;
    if (addr < MIVO3_ADDR_USER) return MIVO3_ADDR_USER;
    if (addr < MIVO3_ADDR_CART_DATA) return MIVO3_ADDR_CART_DATA;
    return MIVO3_MEMORY_SIZE;
}

// Reads a plain range; without a machine only cart bytes are non-zero.
static void read_block(const machine_state* m, const mivo3_cart* cart, int32_t addr, int32_t len,
                       uint8_t* out)
{
    const quon_bitmap* bp = screen();
    while (len > 0) {
        int32_t n = std::min(len, range_end(addr) - addr);
        if (addr < MIVO3_ROM_MAP && cart) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k, row_left = std::min(n - k, 64 - (a & 63));
                pack_pixels(cart->gfx->rows[a >> 6] + ((a & 63) << 1), out + k, row_left);
                k += row_left;
            }
        } else if (addr < MIVO3_ROM_FLAGS && cart) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k - MIVO3_ROM_MAP, row_left = std::min(n - k, 128 - (a & 127));
                std::memcpy(out + k, cart->map->rows[a >> 7] + (a & 127), size_t(row_left));
                k += row_left;
            }
        } else if (addr < MIVO3_ADDR_USER) {
            mivo3_cart_rom_read_block(cart, addr, n, out);
        } else if (!m) {
            std::memset(out, 0, size_t(n));
        } else if (addr < MIVO3_ADDR_CART_DATA) {
            std::memcpy(out, m->ram_mirror + addr, size_t(n));
        } else if (bp) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k - MIVO3_ADDR_SCREEN, row_left = std::min(n - k, 64 - (a & 63));
                pack_pixels(bp->rows[a >> 6] + ((a & 63) << 1), out + k, row_left);
                k += row_left;
            }
        } else {
            std::memset(out, 0, size_t(n));
        }
        addr += n;
        out += n;
        len -= n;
    }
}

// Writes a plain range; without a machine only cart bytes are written.
static void write_block(machine_state* m, mivo3_cart* cart, int32_t addr, int32_t len,
                        const uint8_t* in)
{
    if (m)
        std::memcpy(m->ram_mirror + addr, in, size_t(len));
    quon_bitmap* bp = screen();
    while (len > 0) {
        int32_t n = std::min(len, range_end(addr) - addr);
        if (addr < MIVO3_ROM_MAP && cart) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k, row_left = std::min(n - k, 64 - (a & 63));
                unpack_pixels(in + k, cart->gfx->rows[a >> 6] + ((a & 63) << 1), row_left);
                k += row_left;
            }
            if (addr >= MIVO3_ROM_GFX_SHARED) {
                for (int32_t k = 0; k < n;) {
                    int32_t a = addr + k - MIVO3_ROM_GFX_SHARED;
                    int32_t row_left = std::min(n - k, 128 - (a & 127));
                    std::memcpy(cart->map->rows[32 + (a >> 7)] + (a & 127), in + k, size_t(row_left));
                    k += row_left;
                }
            }
        } else if (addr < MIVO3_ROM_FLAGS && cart) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k - MIVO3_ROM_MAP, row_left = std::min(n - k, 128 - (a & 127));
                std::memcpy(cart->map->rows[a >> 7] + (a & 127), in + k, size_t(row_left));
                k += row_left;
            }
        } else if (addr < MIVO3_ADDR_USER) {
            mivo3_cart_rom_write_block(cart, addr, n, in);
        } else if (addr >= MIVO3_ADDR_SCREEN && bp && m) {
            for (int32_t k = 0; k < n;) {
                int32_t a = addr + k - MIVO3_ADDR_SCREEN, row_left = std::min(n - k, 64 - (a & 63));
                unpack_pixels(in + k, bp->rows[a >> 6] + ((a & 63) << 1), row_left);
                k += row_left;
            }
        }
        addr += n;
        in += n;
        len -= n;
    }
}

void mivo3_memcpy(machine_state* machine, mivo3_cart* cart, int32_t dst, int32_t src, int32_t len)
{
    if (len < 1 || len > 0x7fff)
        return;
    if (machine && plain_range(dst, len) && plain_range(src, len)) {
        uint8_t buf[MIVO3_MEMORY_SIZE];
        read_block(machine, cart, src, len, buf);
        write_block(machine, cart, dst, len, buf);
        return;
    }
    if (dst < src) {
        for (int32_t k = 0; k < len; k++)
            if (mivo3_poke(machine, cart, addr_at(dst, k), mivo3_peek(machine, cart, addr_at(src, k))))
                return;
    } else {
        for (int32_t k = len - 1; k >= 0; k--)
            if (mivo3_poke(machine, cart, addr_at(dst, k), mivo3_peek(machine, cart, addr_at(src, k))))
                return;
    }
}

void mivo3_memset(machine_state* machine, mivo3_cart* cart, int32_t dst, int32_t value, int32_t len)
{
    if (len < 1 || len > 0x7fff)
        return;
    if (machine && plain_range(dst, len)) {
        uint8_t buf[MIVO3_MEMORY_SIZE];
        std::memset(buf, value & 0xff, size_t(len));
        write_block(machine, cart, dst, len, buf);
        return;
    }
    for (int32_t k = 0; k < len; k++)
        if (mivo3_poke(machine, cart, addr_at(dst, k), value))
            return;
}

static uint8_t rom_byte(const mivo3_cart* rom, int32_t addr, int32_t k)
{
    int32_t a = addr_at(addr, k);
    return a < 0 ? 0 : mivo3_cart_rom_read(rom, a);
}

void mivo3_reload(machine_state* machine, mivo3_cart* cart, const mivo3_cart* rom, int32_t dst,
                  int32_t src, int32_t len)
{
    if (len < 1 || len > 0x7fff)
        return;
    // With the working cart as its own source, each byte must see the
    // bytes written before it, so that case goes byte by byte.
    if (machine && rom != cart && plain_range(dst, len)) {
        uint8_t buf[MIVO3_MEMORY_SIZE];
        if (src >= 0 && int64_t(src) + len <= MIVO3_CART_ROM_SIZE)
            read_block(nullptr, rom, src, len, buf);
        else
            for (int32_t k = 0; k < len; k++)
                buf[k] = rom_byte(rom, src, k);
        write_block(machine, cart, dst, len, buf);
        return;
    }
    for (int32_t k = 0; k < len; k++)
        if (mivo3_poke(machine, cart, addr_at(dst, k), rom_byte(rom, src, k)))
            return;
}

void mivo3_cstore(const machine_state* machine, const mivo3_cart* cart, mivo3_cart* rom, int32_t dst,
                  int32_t src, int32_t len)
{
    if (len < 1 || len > 0x7fff)
        return;
    if (rom != cart && dst >= 0 && int64_t(dst) + len <= MIVO3_CART_ROM_SIZE && plain_range(src, len)) {
        uint8_t buf[MIVO3_MEMORY_SIZE];
        read_block(machine, cart, src, len, buf);
        write_block(nullptr, rom, dst, len, buf);
        return;
    }
    for (int32_t k = 0; k < len; k++) {
        int32_t d = addr_at(dst, k);
        if (d < 0) {
            mivo3_runtime_error(MIVO3_BAD_MEMORY_ACCESS);
            return;
        }
        mivo3_cart_rom_write(rom, d, mivo3_peek(machine, cart, addr_at(src, k)));
    }
}

int32_t gpio_read(int32_t index)
{
    return index >= 0 && index < 128 ? pstate.gpio_pins[index] : 0;
}

void gpio_write(int32_t index, int32_t value)
{
    if (index >= 0 && index < 128)
        pstate.gpio_pins[index] = static_cast<uint8_t>(value);
}

void mivo3_reset_palettes(machine_state* machine)
{
    for (int32_t i = 0; i < 16; i++) {
        machine->draw_palette[i] = i;
        machine->display_palette[i] = i;
    }
    machine->draw_palette[0] = 0x10;
}

void reset_runtime_state(machine_state* machine, mivo3_cart* cart)
{
    if (!machine)
        return;
    int32_t cursor_y = machine->cursor_y;
    mivo3_memset(machine, cart, MIVO3_ADDR_REGISTERS, 0, 128);
    machine->cursor_y = cursor_y;
    machine->cursor_x = 0;
    machine->pen_colour = 6;
    machine->line_end_x = machine->line_end_y = 0;
    machine->camera_x = machine->camera_y = 0;
    mivo3_reset_palettes(machine);
    machine->screen_mode = 0;
    machine->clip_x0 = machine->clip_y0 = 0;
    machine->clip_x1 = machine->clip_y1 = MIVO3_SCREEN_SIZE;
    mivo3_apply_clip(machine);
    machine->fill_pattern = 0;
}
