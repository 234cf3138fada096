#include "machine/lua_alloc.h"

#include <cstdlib>
#include <limits>

#include "machine/pstate.h"

// The charge sits in a header as wide as the strictest alignment, so the
// block handed to the language stays aligned for any object it stores.
static constexpr size_t header_size = alignof(std::max_align_t);

static int32_t& charge_of(void* block) { return *static_cast<int32_t*>(block); }

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
            std::free(block);
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

    void* grown = std::realloc(block, header_size + nsize);
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
