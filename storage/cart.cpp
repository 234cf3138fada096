#include "storage/cart.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

mivo3_cart* mivo3_current_cart = nullptr;
void (*mivo3_cart_release_hook)(mivo3_cart* cart) = nullptr;
mivo3_code_tabs mivo3_tabs;

static constexpr std::string_view tab_separator = "\n-->8\n";

mivo3_cart* quon_create_mivo3_cart()
{
    auto* cart = static_cast<mivo3_cart*>(std::calloc(1, sizeof(mivo3_cart)));
    if (!cart)
        return nullptr;
    cart->code = static_cast<char*>(std::calloc(MIVO3_CODE_BUFFER_SIZE, 1));
    cart->gfx = quon_create_bitmap(128, 128, 8);
    cart->map = quon_create_bitmap(128, 64, 8);
    if (!cart->code || !cart->gfx || !cart->map) {
        quon_destroy_mivo3_cart(cart);
        return nullptr;
    }
    for (int32_t i = 0; i < MIVO3_SFX_COUNT; i++)
        cart->sfx[i].speed = i == 0 ? 1 : 16;
    for (auto& pattern : cart->music)
        for (int32_t c = 0; c < 4; c++)
            pattern[c] = 0x41 + c;
    return cart;
}

void quon_destroy_mivo3_cart(mivo3_cart* cart)
{
    if (!cart)
        return;
    if (mivo3_cart_release_hook)
        mivo3_cart_release_hook(cart);
    if (mivo3_current_cart == cart)
        mivo3_current_cart = nullptr;
    std::free(cart->code);
    quon_destroy_bitmap(cart->gfx);
    quon_destroy_bitmap(cart->map);
    quon_destroy_bitmap(cart->label);
    std::free(cart);
}

uint8_t mivo3_sfx_byte(const sfx_record& sfx, int32_t offset)
{
    if (offset < 64) {
        const sfx_note& note = sfx.notes[offset >> 1];
        if ((offset & 1) == 0)
            return static_cast<uint8_t>((note.pitch & 63) | (note.waveform & 3) << 6);
        return static_cast<uint8_t>(((note.waveform >> 2) & 1) | (note.volume & 7) << 1 |
                                    (note.effect & 7) << 4 | (note.custom ? 0x80 : 0));
    }
    switch (offset) {
    case 64: return static_cast<uint8_t>(sfx.editor_mode);
    case 65: return static_cast<uint8_t>(sfx.speed);
    case 66: return static_cast<uint8_t>(sfx.loop_start);
    default: return static_cast<uint8_t>(sfx.loop_end);
    }
}

// The mixer reads sfx and pattern fields on the audio thread without the
// audio lock; each field is one 32-bit store.
static void store_shared(int32_t& field, int32_t value)
{
    std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
}

// Each byte of a note owns its own bits of the decoded fields; the waveform
// straddles both bytes, so each write keeps the other byte's waveform bits.
void mivo3_set_sfx_byte(sfx_record& sfx, int32_t offset, uint8_t value)
{
    if (offset < 64) {
        sfx_note& note = sfx.notes[offset >> 1];
        if ((offset & 1) == 0) {
            store_shared(note.pitch, value & 63);
            store_shared(note.waveform, (note.waveform & 4) | value >> 6);
        } else {
            store_shared(note.waveform, (note.waveform & 3) | (value & 1) << 2);
            store_shared(note.volume, (value >> 1) & 7);
            store_shared(note.effect, (value >> 4) & 7);
            store_shared(note.custom, value & 128);
        }
        return;
    }
    switch (offset) {
    case 64: store_shared(sfx.editor_mode, value); break;
    case 65: store_shared(sfx.speed, value); break;
    case 66: store_shared(sfx.loop_start, value); break;
    default: store_shared(sfx.loop_end, value); break;
    }
}

uint8_t mivo3_music_byte(const mivo3_cart* cart, int32_t offset)
{
    int32_t p = offset >> 2, c = offset & 3;
    return static_cast<uint8_t>((cart->music[p][c] & 0x7f) |
                                ((cart->music_flags[p] >> c) & 1) << 7);
}

void mivo3_set_music_byte(mivo3_cart* cart, int32_t offset, uint8_t value)
{
    int32_t p = offset >> 2, c = offset & 3;
    store_shared(cart->music[p][c], value & 0x7f);
    int32_t bit = 1 << c;
    store_shared(cart->music_flags[p], value & 0x80 ? cart->music_flags[p] | bit
                                                    : cart->music_flags[p] & ~bit);
}

uint8_t mivo3_cart_rom_read(const mivo3_cart* cart, int32_t addr)
{
    if (!cart || addr < 0 || addr >= MIVO3_CART_ROM_SIZE)
        return 0;
    if (addr < MIVO3_ROM_MAP) {
        const uint8_t* px = cart->gfx->rows[addr >> 6] + ((addr & 63) << 1);
        return static_cast<uint8_t>((px[0] & 15) | (px[1] & 15) << 4);
    }
    if (addr < MIVO3_ROM_FLAGS)
        return cart->map->rows[(addr - MIVO3_ROM_MAP) >> 7][addr & 127];
    if (addr < MIVO3_ROM_MUSIC)
        return static_cast<uint8_t>(cart->flags[addr - MIVO3_ROM_FLAGS]);
    if (addr < MIVO3_ROM_SFX)
        return mivo3_music_byte(cart, addr - MIVO3_ROM_MUSIC);
    int32_t off = addr - MIVO3_ROM_SFX;
    return mivo3_sfx_byte(cart->sfx[off / MIVO3_SFX_BYTES], off % MIVO3_SFX_BYTES);
}

void mivo3_cart_rom_write(mivo3_cart* cart, int32_t addr, uint8_t value)
{
    if (!cart || addr < 0 || addr >= MIVO3_CART_ROM_SIZE)
        return;
    if (addr < MIVO3_ROM_MAP) {
        uint8_t* px = cart->gfx->rows[addr >> 6] + ((addr & 63) << 1);
        px[0] = value & 15;
        px[1] = value >> 4;
        if (addr >= MIVO3_ROM_GFX_SHARED) {
            int32_t off = addr - MIVO3_ROM_GFX_SHARED;
            cart->map->rows[32 + (off >> 7)][off & 127] = value;
        }
        return;
    }
    if (addr < MIVO3_ROM_FLAGS)
        cart->map->rows[(addr - MIVO3_ROM_MAP) >> 7][addr & 127] = value;
    else if (addr < MIVO3_ROM_MUSIC)
        cart->flags[addr - MIVO3_ROM_FLAGS] = value;
    else if (addr < MIVO3_ROM_SFX)
        mivo3_set_music_byte(cart, addr - MIVO3_ROM_MUSIC, value);
    else {
        int32_t off = addr - MIVO3_ROM_SFX;
        mivo3_set_sfx_byte(cart->sfx[off / MIVO3_SFX_BYTES], off % MIVO3_SFX_BYTES, value);
    }
}

// Both bytes of a note: the fields that writing the low byte, then the high
// byte, leaves.
static void set_sfx_note(sfx_note& note, uint8_t lo, uint8_t hi)
{
    store_shared(note.pitch, lo & 63);
    store_shared(note.waveform, lo >> 6 | (hi & 1) << 2);
    store_shared(note.volume, (hi >> 1) & 7);
    store_shared(note.effect, (hi >> 4) & 7);
    store_shared(note.custom, hi & 128);
}

// Walks n bytes of the sfx area from offset off (0 is ROM address 0x3200) in
// order: `notes(record, first note, count, i)` takes runs of whole notes,
// `byte(record, offset, i)` every other byte, i counting bytes from the
// start. Stops at the end of the area; returns the bytes walked.
template <typename Byte, typename Notes>
static int32_t walk_sfx(int32_t off, int32_t n, Byte byte, Notes notes)
{
    constexpr int32_t area = MIVO3_SFX_COUNT * MIVO3_SFX_BYTES, note_bytes = 2 * MIVO3_SFX_NOTES;
    int32_t k = 0;
    while (k < n && off < area) {
        const int32_t record = off / MIVO3_SFX_BYTES, first = off % MIVO3_SFX_BYTES;
        const int32_t last = std::min(MIVO3_SFX_BYTES, first + (n - k));
        const int32_t base = k - first;  // offset o is byte base + o
        int32_t o = first;
        if (o & 1 && o < note_bytes) {
            byte(record, o, base + o);
            o++;
        }
        if (const int32_t count = (std::min(last, note_bytes) - o) / 2; count > 0) {
            notes(record, o / 2, count, base + o);
            o += 2 * count;
        }
        for (; o < last; o++)
            byte(record, o, base + o);
        k += last - first;
        off += last - first;
    }
    return k;
}

void mivo3_cart_rom_read_block(const mivo3_cart* cart, int32_t addr, int32_t n, uint8_t* out)
{
    int32_t k = 0;
    for (; k < n && addr + k < MIVO3_ROM_SFX; k++)
        out[k] = mivo3_cart_rom_read(cart, addr + k);
    if (cart && k < n) {
        uint8_t* rest = out + k;
        k += walk_sfx(
            addr + k - MIVO3_ROM_SFX, n - k,
            [&](int32_t r, int32_t o, int32_t i) { rest[i] = mivo3_sfx_byte(cart->sfx[r], o); },
            [&](int32_t r, int32_t first, int32_t count, int32_t i) {
                const sfx_note* note = cart->sfx[r].notes + first;
                uint8_t* p = rest + i;
                for (int32_t j = 0; j < count; j++, note++, p += 2) {
                    p[0] = static_cast<uint8_t>((note->pitch & 63) | (note->waveform & 3) << 6);
                    p[1] = static_cast<uint8_t>(((note->waveform >> 2) & 1) | (note->volume & 7) << 1 |
                                                (note->effect & 7) << 4 | (note->custom ? 0x80 : 0));
                }
            });
    }
    for (; k < n; k++)
        out[k] = 0;
}

void mivo3_cart_rom_write_block(mivo3_cart* cart, int32_t addr, int32_t n, const uint8_t* in)
{
    if (!cart)
        return;
    int32_t k = 0;
    for (; k < n && addr + k < MIVO3_ROM_SFX; k++)
        mivo3_cart_rom_write(cart, addr + k, in[k]);
    if (k == n)
        return;
    const uint8_t* rest = in + k;
    walk_sfx(
        addr + k - MIVO3_ROM_SFX, n - k,
        [&](int32_t r, int32_t o, int32_t i) { mivo3_set_sfx_byte(cart->sfx[r], o, rest[i]); },
        [&](int32_t r, int32_t first, int32_t count, int32_t i) {
            sfx_note* note = cart->sfx[r].notes + first;
            const uint8_t* p = rest + i;
            for (int32_t j = 0; j < count; j++, note++, p += 2)
                set_sfx_note(*note, p[0], p[1]);
        });
}

// Byte 0x1000 + off is map cell (off % 128, 32 + off / 128) and also sprite
// pixels (2 * (off % 64), 64 + off / 64) and the one to their right.
void sync_shared_gfx_to_map(mivo3_cart* cart)
{
    if (!cart)
        return;
    for (int32_t off = 0; off < 0x1000; off++) {
        const uint8_t* px = cart->gfx->rows[64 + (off >> 6)] + ((off & 63) << 1);
        cart->map->rows[32 + (off >> 7)][off & 127] =
            static_cast<uint8_t>((px[0] & 15) | (px[1] & 15) << 4);
    }
}

void sync_shared_map_to_gfx(mivo3_cart* cart)
{
    if (!cart)
        return;
    for (int32_t off = 0; off < 0x1000; off++) {
        uint8_t cell = cart->map->rows[32 + (off >> 7)][off & 127];
        uint8_t* px = cart->gfx->rows[64 + (off >> 6)] + ((off & 63) << 1);
        px[0] = cell & 15;
        px[1] = cell >> 4;
    }
}

int32_t merge_code_tabs(mivo3_cart* cart, const mivo3_code_tabs& tabs)
{
    if (!cart || !cart->code)
        return 0;
    int32_t count = 1;
    for (int32_t i = 0; i < MIVO3_CODE_TAB_COUNT; i++)
        if (!tabs.tab[i].empty())
            count = i + 1;
    if (tabs.selected >= count && tabs.selected < MIVO3_CODE_TAB_COUNT)
        count = tabs.selected + 1;

    std::string joined = tabs.tab[0];
    for (int32_t i = 1; i < count; i++) {
        joined += tab_separator;
        joined += tabs.tab[i];
    }
    int32_t result = 0;
    if (joined.size() > static_cast<size_t>(MIVO3_CODE_MAX_CHARS)) {
        joined.resize(MIVO3_CODE_MAX_CHARS);
        result = 1;
    }
    std::memcpy(cart->code, joined.data(), joined.size());
    cart->code[joined.size()] = 0;
    return result;
}

void split_code_tabs(const mivo3_cart* cart, mivo3_code_tabs& tabs)
{
    for (auto& t : tabs.tab)
        t.clear();
    if (!cart || !cart->code)
        return;
    std::string_view code(cart->code, strnlen(cart->code, MIVO3_CODE_BUFFER_SIZE));
    int32_t i = 0;
    while (i < MIVO3_CODE_TAB_COUNT - 1) {
        size_t cut = code.find(tab_separator);
        if (cut == std::string_view::npos)
            break;
        tabs.tab[i++] = code.substr(0, cut);
        code.remove_prefix(cut + tab_separator.size());
    }
    tabs.tab[i] = code;
}

int32_t merge_code_from_tabs()
{
    return merge_code_tabs(mivo3_current_cart, mivo3_tabs);
}

void split_code_to_tabs()
{
    split_code_tabs(mivo3_current_cart, mivo3_tabs);
}
