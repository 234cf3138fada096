#include "machine/lua_alloc.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "machine/pstate.h"

// Every block starts with a header as wide as the strictest alignment, so
// the block handed to the language stays aligned for any object it stores.
// It holds the charge and, for a small block, its size class.
static constexpr size_t header_size = alignof(std::max_align_t);

struct block_header {
    int32_t charge;
    int32_t size_class;  // 0: a block of its own from malloc
};
static_assert(sizeof(block_header) <= header_size);

static block_header& header_of(void* block) { return *static_cast<block_header*>(block); }
static int32_t& charge_of(void* block) { return header_of(block).charge; }

// Small blocks (header included, at most 256 bytes) come from free lists,
// one per multiple of 16 bytes, carved out of 64 KiB slabs: the collector
// frees objects in bursts that overflow the C library's per-size caches,
// and closures, strings and small tables are allocated all the time. The
// slabs go back when the last small block is freed (the language state
// was closed). The language runs on one thread.
namespace {

constexpr size_t pool_granule = 16;
constexpr int32_t pool_classes = 16;
constexpr size_t slab_bytes = 64 * 1024;

// Trivially destructible, so a language state closed during the program's
// exit still finds it whole. Each slab starts with the link to the one before.
struct small_pool {
    void* free_list[pool_classes + 1] = {};
    void* slabs = nullptr;  // the newest slab
    char* next = nullptr;   // unused space of the newest slab
    char* end = nullptr;
    int64_t live = 0;
};
small_pool pool;

int32_t class_for(size_t total) { return total <= pool_granule * pool_classes ? int32_t((total + 15) / 16) : 0; }

// A block of class c from a new slab or what is left of the newest one.
[[gnu::noinline]] void* pool_carve(int32_t c)
{
    const size_t bytes = size_t(c) * pool_granule;
    if (size_t(pool.end - pool.next) < bytes) {
        char* slab = static_cast<char*>(std::malloc(slab_bytes));
        if (!slab)
            return nullptr;
        *reinterpret_cast<void**>(slab) = pool.slabs;
        pool.slabs = slab;
        pool.next = slab + pool_granule;
        pool.end = slab + slab_bytes;
    }
    void* block = pool.next;
    pool.next += bytes;
    return block;
}

[[gnu::noinline]] void pool_release_slabs()
{
    for (void* slab = pool.slabs; slab;) {
        void* before = *static_cast<void**>(slab);
        std::free(slab);
        slab = before;
    }
    pool = small_pool{};
}

inline void* pool_take(int32_t c)
{
    void* block = pool.free_list[c];
    if (block)
        pool.free_list[c] = *static_cast<void**>(block);
    else if (!(block = pool_carve(c)))
        return nullptr;
    header_of(block).size_class = c;
    pool.live++;
    return block;
}

inline void pool_give(void* block)
{
    const int32_t c = header_of(block).size_class;
    *static_cast<void**>(block) = pool.free_list[c];
    pool.free_list[c] = block;
    if (--pool.live == 0)
        pool_release_slabs();
}

inline void release_block(void* block)
{
    if (header_of(block).size_class)
        pool_give(block);
    else
        std::free(block);
}

// The block, resized to hold total bytes (header included): a pooled block
// that still fits stays where it is; otherwise the bytes move. Null when
// there is no memory; the old block is then untouched.
void* resize_block(void* block, size_t total)
{
    const int32_t c = class_for(total);
    const int32_t old = block ? header_of(block).size_class : 0;
    if (block && old == 0 && c == 0) {
        void* grown = std::realloc(block, total);
        if (grown)
            header_of(grown).size_class = 0;
        return grown;
    }
    if (block && old != 0 && c != 0 && c <= old && c * 2 > old)
        return block;  // fits, and does not waste half of its class
    void* fresh = c ? pool_take(c) : std::malloc(total);
    if (!fresh)
        return nullptr;
    if (!c)
        header_of(fresh).size_class = 0;
    if (block) {
        const size_t old_total = old ? size_t(old) * pool_granule : total;
        std::memcpy(static_cast<char*>(fresh) + sizeof(block_header),
                    static_cast<char*>(block) + sizeof(block_header),
                    (old_total < total ? old_total : total) - sizeof(block_header));
        release_block(block);
    }
    return fresh;
}

}  // namespace

static int32_t size_charge(size_t size)
{
    return size > size_t(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                              : int32_t(size);
}

static int32_t new_block_charge(const machine_state* m, size_t tag, size_t size)
{
    if (tag >= 7 && tag <= 19)
        return MIVO3_LUA_FLAT_CHARGE;
    if (tag == 2 || tag >= 20 || (tag == 0 && m->compiling))
        return 0;
    return size_charge(size);
}

int32_t mivo3_lua_block_charge(const void* ptr)
{
    return ptr ? *reinterpret_cast<const int32_t*>(static_cast<const char*>(ptr) - header_size) : 0;
}

void* mivo3_lua_alloc(void* ud, void* ptr, size_t osize, size_t nsize)
{
    machine_state* m = ud ? static_cast<machine_state*>(ud) : &pstate;
    void* block = ptr ? static_cast<char*>(ptr) - header_size : nullptr;

    if (nsize == 0) {
        if (block) {
            m->lua_bytes -= charge_of(block);
            release_block(block);
        }
        return nullptr;
    }

    int64_t used = int64_t(m->lua_bytes) - m->code_overhead;
    if (used > MIVO3_LUA_SOFT_LIMIT) {
        m->soft_yield_requested = 1;
        mivo3_request_soft_yield();
    }

    int32_t old_charge = block ? charge_of(block) : 0;
    int32_t charge;
    if (!block)
        charge = new_block_charge(m, osize, nsize);
    else
        charge = old_charge == 0 ? 0 : size_charge(nsize);

    bool grows = !block || nsize > osize;
    int64_t total = int64_t(m->lua_bytes) - old_charge + charge;
    if (grows && (used > MIVO3_LUA_ALLOC_LIMIT || total > std::numeric_limits<int32_t>::max() ||
                  nsize > std::numeric_limits<size_t>::max() - header_size)) {
        m->alloc_failed = 1;
        return nullptr;
    }

    void* grown = resize_block(block, header_size + nsize);
    if (!grown) {
        if (!grows)
            return ptr;  // keep the larger block and its charge
        m->alloc_failed = 1;
        return nullptr;
    }
    charge_of(grown) = charge;
    m->lua_bytes = int32_t(total);
    return static_cast<char*>(grown) + header_size;
}
