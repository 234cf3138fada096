#include "runtime/run_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/audio.h"
#include "host/events.h"
#include "host/config.h"
#include "host/input.h"
#include "host/log.h"
#include "host/main_loop.h"
#include "host/timing.h"
#include "lang/dialect.h"
#include "lang/includes.h"
#include "lang/preprocess.h"
#include "lang/tokenizer.h"
#include "machine/lua_alloc.h"
#include "machine/memory.h"
#include "runtime/api.h"
#include "runtime/buttons.h"
#include "runtime/cpu.h"
#include "storage/cart.h"

namespace {

mivo3_run_hooks hooks;

struct run_chain_item {
    char file[256];
    char label[32];
    char param[1028];
    int32_t pending;
};
std::vector<run_chain_item> run_chain;

// Line 2 holds every definition, its statements separated by tabs, so the
// cart's own code starts on line 3.
const char prelude_text[] =
    "-- mivo-3 header\n"
    "_pausemenu={}\t"
    "function menuitem(i,l,f) if i==nil or i<1 or i>5 then return end "
    "_pausemenu[i]={label=l,callback=f} _menuitem(i,l) end\t"
    "function all(c) if c==nil or #c==0 then return function() end end "
    "local i,li=1,nil __refund_cpu__(-16) "
    "return function() if c[i]==li then i=i+1 end "
    "while c[i]==nil and i<=#c do i=i+1 end "
    "li=c[i] __refund_cpu__(-17) return li end end\t"
    "function foreach(c,f) for i in all(c) do f(i) end end\t"
    "function count(c) if c==nil then return 0 end local n=0 "
    "for i=1,#c do if c[i]~=nil then n=n+1 end end return n end\t"
    "function add(c,v) if c==nil then return end c[#c+1]=v return v end\t"
    "function del(c,v) if c==nil or #c==0 then return end local n=#c "
    "for j=1,n do if c[j]==v then for k=j,n-1 do c[k]=c[k+1] end c[n]=nil return v end end end\t"
    "\x8b=0\t\x91=1\t\x94=2\t\x83=3\t\x8e=4\t\x97=5\t\x8f=6\t\n";

const char footer_text[] =
    "\n_end_of_program = 1\n"
    "if _init then _init() end\n"
    "_set_mainloop_exists(0) if _mainloop then _set_mainloop_exists(1) end\n"
    "if _update60 then _set_fps(60) _update = nil else _set_fps(30) end\n"
    "if not _mainloop and (_draw or _update or _update60) then\n"
    " _set_mainloop_exists(2)\n"
    " function _mainloop()\n"
    "  while true do\n"
    "   _update_buttons(_update60 and 1 or 2)\n"
    "   _startframe()\n"
    "   local fps = stat(7)\n"
    "   if fps == 60 then _mark_cpu(0) if _update60 then _update60() end\n"
    "   elseif fps == 30 and _update60 then _update60() _update_buttons(1) _mark_cpu(0) _update60()\n"
    "   elseif fps == 30 and _update then _mark_cpu(0) _update()\n"
    "   elseif fps == 15 and _update then _update() _update_buttons(2) _mark_cpu(0) _update() end\n"
    "   _mark_cpu(1) if _draw then _draw() end _mark_cpu(2)\n"
    "   flip()\n"
    "   _update_framerate()\n"
    "   for i = 1, 5 do\n"
    "    if _get_menu_item_selected(i) then\n"
    "     local item = _pausemenu[i]\n"
    "     if item and item.callback then item.callback() end\n"
    "    end\n"
    "   end\n"
    "  end\n"
    " end\n"
    "end\n"
    "if _mainloop then _mainloop() end\n";

const char command_footer_text[] = "\n_end_of_program = 1\n";

void print_line(const char* text, int32_t colour)
{
    if (hooks.print)
        hooks.print(text, colour);
    else
        quon_debugf("%s\n", text);
}

void print_2(const char* format, int32_t a, int32_t b, int32_t colour)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    print_line(text, colour);
}

void copy_text(char* dst, size_t size, std::string_view src)
{
    size_t n = std::min(src.size(), size - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

int32_t saturate(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The thread running program code: L0, or the coroutine L0 is resuming
// (and so on down a chain of nested resumes).
lua_State* running_thread(lua_State* L0)
{
    lua_State* T = L0;
    for (int32_t depth = 0; depth < 256; depth++) {
        lua_Debug ar;
        if (!lua_getstack(T, 0, &ar) || !lua_getinfo(T, "f", &ar))
            break;
        bool resuming = lua_tocfunction(T, -1) == luaB_coresume;
        lua_pop(T, 1);
        if (!resuming || !lua_getlocal(T, &ar, 1))
            break;
        lua_State* next = lua_tothread(T, -1);
        lua_pop(T, 1);
        if (!next || next == T)
            break;
        T = next;
    }
    return T;
}

// Whether every thread between L0 and the coroutine running now can yield,
// so that the program can be suspended from inside that coroutine: each
// coresume on the way then yields in turn (mivo3_program_yield).
bool chain_can_yield(lua_State* L0)
{
    lua_State* T = L0;
    for (int32_t depth = 0; depth < 256; depth++) {
        if (!lua_isyieldable(T))
            return false;
        lua_Debug ar;
        if (!lua_getstack(T, 0, &ar) || !lua_getinfo(T, "f", &ar))
            return true;
        bool resuming = lua_tocfunction(T, -1) == luaB_coresume;
        lua_pop(T, 1);
        if (!resuming || !lua_getlocal(T, &ar, 1))
            return true;
        lua_State* next = lua_tothread(T, -1);
        lua_pop(T, 1);
        if (!next || next == T)
            return true;
        T = next;
    }
    return false;
}

// Makes L0's count hook run before its next instruction; the unspent
// countdown waits, as for a soft yield, until the next slice.
void hook_soon(lua_State* L)
{
    lua_mivo3_soft_yield(L);
}

}  // namespace

bool mivo3_suspend_program_from(lua_State* T)
{
    lua_State* L0 = mivo3_run.L0;
    if (!L0 || T == L0)
        return true;
    if (!chain_can_yield(L0))
        return false;
    mivo3_program_yield = 1;
    return true;
}

namespace {

void link_spend(void* state, int32_t n) { lua_spend_cpu(static_cast<lua_State*>(state), n); }
void link_soft_yield(void* state) { lua_mivo3_soft_yield(static_cast<lua_State*>(state)); }

// The runtime fault's yield: throws out of the calling API function. Inside
// a coroutine that only ends the coroutine's run, so L0's hook is also made
// to run before L0's next instruction, where it yields the program.
void link_yield(void* state)
{
    lua_State* L = static_cast<lua_State*>(state);
    if (!mivo3_run.in_resume || L != mivo3_run.L0)
        return;
    lua_State* T = running_thread(L);
    if (T != L && !mivo3_suspend_program_from(T))
        hook_soon(L);
    lua_yield(T, 0);
}

// Cycles run where the program could not be suspended since it last could.
int32_t unyieldable_cycles = 0;

// Code that cannot yield (a finalizer, or a function called from C) runs on
// past the budget; after four budgets without a chance to yield it is
// stopped with an error, reported at the line it was running.
void limit_unyieldable(lua_State* L, lua_Debug* ar, int32_t budget)
{
    unyieldable_cycles = saturate(int64_t(unyieldable_cycles) + 1024);
    if (unyieldable_cycles / 4 < budget)
        return;
    mivo3_runtime_line = lua_getinfo(L, "l", ar) ? ar->currentline : 0;
    lua_pushstring(L, "cpu limit exceeded");
    lua_error(L);
}

// The count hook. Every call outside a soft yield stands for 1024 executed
// instructions. A yield here re-runs the interrupted instruction on resume.
void instruction_limiter(lua_State* L, lua_Debug* ar)
{
    lua_State* L0 = mivo3_run.L0;
    // Called early by a soft yield: no 1024 instructions have passed.
    bool early = L == L0 && mivo3_soft_yield_count != 0;
    int32_t budget = mivo3_frame_budget(pstate.current_fps);
    bool can_yield = lua_isyieldable(L);
    if (!can_yield) {
        if (!early)
            limit_unyieldable(L, ar, budget);
    } else if (L0 && lua_isyieldable(L0)) {
        unyieldable_cycles = 0;
    }
    if (can_yield && (pstate.pending_command != 0 || pstate.soft_yield_requested)) {
        if (L != L0 && !mivo3_suspend_program_from(L))
            hook_soon(L0);
        lua_yield(L, 0);
        return;
    }
    if (!early) {
        pstate.frame_cycles = saturate(int64_t(pstate.frame_cycles) + 1024);
        pstate.slice_cycles = saturate(int64_t(pstate.slice_cycles) + 1024);
    }
    if (!can_yield)
        return;
    if (L == L0) {
        if (pstate.slice_cycles >= budget || mivo3_run.coroutine_over_budget) {
            pstate.slice_cycles = 0;
            mivo3_run.coroutine_over_budget = 0;
            lua_yield(L, 0);
        }
        return;
    }
    if (pstate.slice_cycles >= budget && mivo3_suspend_program_from(L)) {
        pstate.slice_cycles = 0;
        lua_yield(L, 0);
        return;
    }
    // A resumer on the way cannot yield, so the coroutine's own yield would
    // reach its resumer as an ordinary one: the coroutine runs on and the
    // program stops as soon as it is back on its own thread; a coroutine that
    // keeps running for four budgets is interrupted to keep the player
    // responsive.
    if (pstate.slice_cycles >= budget) {
        mivo3_run.coroutine_over_budget = 1;
        if (L0)
            hook_soon(L0);
        if (pstate.slice_cycles / 4 >= budget)
            lua_yield(L, 0);
    }
}

void drain_key_queue()
{
    while (quon_keypressed())
        quon_readkey();
}

void reset_frame_rate_state()
{
    std::fill(std::begin(mivo3_run.fps_history), std::end(mivo3_run.fps_history), 0);
    std::fill(std::begin(mivo3_run.mark_cycles), std::end(mivo3_run.mark_cycles), 0);
    std::fill(std::begin(mivo3_run.mark_ms), std::end(mivo3_run.mark_ms), 0);
    mivo3_run.prev_load = 0;
    mivo3_run.marks_taken = 0;
    mivo3_run.frame_drop_count = 0;
    mivo3_run.last_drop_ms = 0;
    mivo3_run.frame_halve_request = 0;
    mivo3_run.frame_held = 0;
}

std::string_view line_of(std::string_view text, int32_t line)
{
    if (line < 1)
        return "<eof>";
    size_t pos = 0;
    for (int32_t i = 1; i < line; i++) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            return "<eof>";
        pos = nl + 1;
    }
    if (pos >= text.size())
        return "<eof>";
    size_t end = text.find('\n', pos);
    return text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

// The number after "]:" of a positioned message, 0 when there is none.
int32_t message_line(const char* message)
{
    const char* p = std::strstr(message, "]:");
    if (!p)
        return 0;
    return int32_t(std::strtol(p + 2, nullptr, 10));
}

// The text after the position prefix "...]:<line>: ".
const char* after_position(const char* message)
{
    const char* p = std::strstr(message, "]:");
    if (!p)
        return message;
    p += 2;
    while (*p >= '0' && *p <= '9')
        p++;
    if (*p == ':')
        p++;
    if (*p == ' ')
        p++;
    return p;
}

std::string flat_program_code;  // the cart's code after include flattening, for source lines

}  // namespace

static lua_State* gc_thread = nullptr;

void mivo3_set_run_hooks(const mivo3_run_hooks& h) { hooks = h; }
const mivo3_run_hooks& mivo3_get_run_hooks() { return hooks; }

void reset_run_loop()
{
    mivo3_run = run_loop_state{};
    mivo3_run.target_fps = 30;
    run_chain.clear();
}

const char* mivo3_prelude() { return prelude_text; }

const char* mivo3_footer(bool is_command) { return is_command ? command_footer_text : footer_text; }

void mivo3_close_language_state()
{
    if (mivo3_run.L0) {
        mivo3_vm = {};
        // Finalizers run at close on the main thread, which must not look
        // suspended; the count hook stops one that runs away.
        lua_reset_call_state_mivo3(mivo3_run.L0);
        lua_sethook(mivo3_run.L0, instruction_limiter, LUA_MASKCOUNT, 1024);
        unyieldable_cycles = 0;
        gc_thread = nullptr;
        lua_close(mivo3_run.L0);
        mivo3_run.L0 = nullptr;
    }
    mivo3_soft_yield_count = 0;
}

lua_State* mivo3_create_language_state()
{
    mivo3_close_language_state();
    pstate.alloc_failed = 0;
    lua_State* L = lua_newstate(mivo3_lua_alloc, nullptr);
    if (!L)
        return nullptr;
    luaL_openlibs(L);
    gc_thread = lua_newthread(L);
    lua_sethook(gc_thread, instruction_limiter, LUA_MASKCOUNT, 1024);
    luaL_ref(L, LUA_REGISTRYINDEX);
    add_c_functions(L);
    mivo3_run.L0 = L;
    mivo3_vm = {L, link_spend, link_soft_yield, link_yield};
    return L;
}

void reset_language_machine()
{
    mivo3_create_language_state();
    mivo3_run.mainloop_kind = 0;
    mivo3_run.frame_held = 0;
    pstate.program_running = 0;
}

std::string mivo3_join_code_tabs(const mivo3_code_tabs& tabs)
{
    int32_t last = -1;
    for (int32_t i = 0; i < MIVO3_CODE_TAB_COUNT; i++)
        if (!tabs.tab[i].empty())
            last = i;
    std::string text;
    for (int32_t i = 0; i <= last; i++) {
        text += tabs.tab[i];
        if (i < last)
            text += "\n-->8\n";
    }
    return text;
}

int32_t run_cart()
{
    std::string text = mivo3_join_code_tabs(mivo3_tabs);

    copy_text(mivo3_run.run_param, sizeof mivo3_run.run_param, mivo3_run.pending_run_param);
    mivo3_run.pending_run_param[0] = 0;
    mivo3_run.forum_id[0] = 0;
    mivo3_run.fault = 0;
    if (hooks.forum_id)
        hooks.forum_id(mivo3_run.forum_id, int32_t(sizeof mivo3_run.forum_id));

    mivo3_create_language_state();
    const mivo3_cart* rom = mivo3_current_cart ? mivo3_current_cart : pstate.cart;
    if (pstate.cart && rom)
        mivo3_reload(&pstate, pstate.cart, rom, 0, 0, MIVO3_CART_ROM_SIZE);
    if (hooks.clear_menu_items)
        hooks.clear_menu_items();
    mivo3_srand(quon_start_seed());

    int32_t result = run_program(text, false);
    if (result != 0)
        mivo3_run.fault = 1;

    quon_stop_all_sounds();
    cmusic_stop(0);
    std::fill(std::begin(pstate.audio_regs), std::end(pstate.audio_regs), 0);
    pstate.current_fps = 30;
    mivo3_run.target_fps = 30;
    block_buttons();
    mivo3_run.cart_hash[0] = 0;
    if (hooks.cart_hash)
        hooks.cart_hash(mivo3_run.cart_hash);
    return result;
}

int32_t run_program(std::string_view text, bool is_command)
{
    mivo3_run.mainloop_kind = 0;
    if (hooks.set_paused)
        hooks.set_paused(0);
    pstate.refunds_enabled = text.find("__refund_cpu__") == std::string_view::npos ? 1 : 0;
    pstate.cpu_fraction = pstate.slice_cycles = pstate.refund_balance = 0;
    pstate.frame_cycles = pstate.system_cycles = 0;

    if (!mivo3_run.L0 && !mivo3_create_language_state()) {
        print_line("out of memory", 6);
        return 1;
    }
    lua_State* L = mivo3_run.L0;

    std::string flat;
    if (mivo3_flatten_includes(text, flat) != 0)
        return 1;

    int32_t overhead = 0;
    if (!is_command) {
        if (flat.size() > size_t(MIVO3_CODE_MAX_CHARS)) {
            print_line("program exceeds char limit", 6);
            print_2("%d / %d chars\n", int32_t(flat.size()), MIVO3_CODE_MAX_CHARS, 6);
            return 1;
        }
        int32_t tokens = count_tokens(std::string_view(flat));
        if (tokens > MIVO3_TOKEN_LIMIT) {
            print_line("program too large", 6);
            print_2("%d / %d tokens\n", tokens, MIVO3_TOKEN_LIMIT, 6);
            return 1;
        }
        overhead = tokens * 12;
    }

    lua_reset_call_state_mivo3(L);
    lua_settop(L, 0);
    std::string program = prelude_text;
    program += mivo3_preprocess(flat);
    program += mivo3_footer(is_command);
    flat_program_code = std::move(flat);

    pstate.compiling = 1;
    int status = luaL_loadbuffer(L, program.data(), program.size(), MIVO3_PRELUDE_FIRST_LINE);
    pstate.compiling = 0;
    pstate.code_overhead = overhead;
    if (status != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        report_compile_error(message ? message : "", flat_program_code, is_command);
        lua_settop(L, 0);
        return 1;
    }

    lua_setglobal(L, "_m3_program");
    block_buttons();
    mivo3_run.is_command = is_command ? 1 : 0;
    if (!is_command) {
        reset_runtime_state(&pstate, pstate.cart);
        mivo3_run.assert_message[0] = 0;
        mivo3_run.slice_count = 0;
        reset_frame_rate_state();
        buttons.button_frame_counter = 0;
        pstate.key_buffer_count = 0;
    }
    pstate.program_running = is_command ? 0 : 1;
    pstate.shell_mode = 1;
    return 0;
}

// Full collections run on a thread of their own, protected: the main
// thread may be suspended mid-frame, and a finalizer of the program may fail.
static int full_collect(lua_State* L)
{
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

// False after a finalizer failed; its message was reported.
static bool collect(lua_State* L)
{
    lua_State* T = gc_thread ? gc_thread : L;
    lua_settop(T, 0);
    unyieldable_cycles = 0;
    lua_pushcfunction(T, full_collect);
    if (lua_pcall(T, 0, 0, 0) == LUA_OK)
        return true;
    const char* message = lua_tostring(T, -1);
    std::string text = message ? message : "error in __gc metamethod";
    lua_settop(T, 0);
    report_runtime_error(text.c_str(), mivo3_run.is_command != 0);
    return false;
}

// Between frames the collector runs in full; while program code runs it is
// stopped. Returns false when the program was stopped: memory stayed over
// the limit (the state is then replaced) or a finalizer failed.
static bool collect_between_frames(lua_State* L)
{
    lua_gc(L, LUA_GCRESTART, 0);
    if (lua_gc(L, LUA_GCISRUNNING, 0) && !collect(L))
        return false;
    auto used = [] { return int64_t(pstate.code_overhead) + pstate.lua_bytes; };
    if (used() <= MIVO3_LUA_FRAME_LIMIT)
        return true;
    int32_t before = pstate.lua_bytes;
    if (!collect(L))
        return false;
    if (used() > MIVO3_LUA_FRAME_LIMIT) {
        if (lua_gc(L, LUA_GCISRUNNING, 0)) {
            if (!collect(L))
                return false;
        } else {
            quon_debug("gc not running; could not perform emergency collection\n");
        }
        quon_debugf("gc hard collect: %d -> %d (overhead:%d)\n", before, pstate.lua_bytes,
                    pstate.code_overhead);
    }
    if (used() <= MIVO3_LUA_FRAME_LIMIT)
        return true;
    // Stopped before the state is replaced: the fresh state forgets the
    // cart-data claim, and the stop is what saves the cart's data.
    if (pstate.glitch_timer == 0)
        suspend_program();
    mivo3_create_language_state();
    print_line("out of memory", 6);
    return false;
}

int32_t run_slice()
{
    for (int32_t repeat = 0; repeat < MIVO3_SLICE_REPEATS; repeat++) {
        lua_State* L = mivo3_run.L0;
        if (!L)
            break;
        pstate.soft_yield_requested = 0;
        if (!collect_between_frames(L))
            break;
        lua_gc(L, LUA_GCSTOP, 0);
        if (pstate.shell_mode != 1)
            break;

        int nargs = 0;
        if (lua_status(L) != LUA_OK && lua_status(L) != LUA_YIELD)
            break;  // failed earlier; kept only while the reset glitch runs
        if (lua_status(L) == LUA_OK) {
            lua_settop(L, 0);
            lua_getglobal(L, "_m3_program");
            if (!lua_isfunction(L, -1)) {
                lua_settop(L, 0);
                suspend_program();
                break;
            }
        }
        pstate.cpu_fraction = 0;
        pstate.refund_balance = 0;
        lua_sethook(L, instruction_limiter, LUA_MASKCOUNT, 1024);
        unyieldable_cycles = 0;
        if (mivo3_soft_yield_count != 0)
            lua_spend_cpu(L, 0);  // resume the countdown a soft yield interrupted
        mivo3_run.in_resume = 1;
        int status = lua_resume(L, nullptr, nargs);
        mivo3_run.in_resume = 0;
        mivo3_program_yield = 0;
        mivo3_run.slice_count++;

        if (status == LUA_OK) {
            lua_settop(L, 0);
            if (pstate.glitch_timer == 0)
                suspend_program();
        } else if (status != LUA_YIELD) {
            // A fault that already stored its message is reported by the shell.
            if (pstate.pending_command != 4) {
                const char* message = lua_tostring(L, -1);
                std::string text = message ? message : "";
                report_runtime_error(text.c_str(), mivo3_run.is_command != 0);
            }
        }

        if (pstate.cart_data_dirty && hooks.save_cart_data &&
            quon_get_time() - mivo3_run.last_cdata_save_ms > 1000) {
            hooks.save_cart_data();
            pstate.cart_data_dirty = 0;
            mivo3_run.last_cdata_save_ms = quon_get_time();
        }

        if (status != LUA_YIELD || !pstate.soft_yield_requested || quon_quit)
            break;
    }
    return mivo3_run.frame_held ? 1 : 0;
}

void mivo3_frame_unfinished()
{
    mivo3_run.frame_halve_request = 1;
    if (mivo3_run.mainloop_kind == 2 && pstate.frame_cycles > MIVO3_STUCK_FRAME_CYCLES) {
        read_buttons();
        if (hooks.stuck_frame)
            hooks.stuck_frame();
    }
}

void suspend_program()
{
    if (pstate.glitch_timer != 0)
        return;
    if (pstate.program_running) {
        cmusic_stop(0);
        quon_stop_all_sounds();
        if (hooks.set_paused)
            hooks.set_paused(0);
        // Also when nothing was set: a claimed id has its file from now on.
        if (hooks.save_cart_data) {
            hooks.save_cart_data();
            pstate.cart_data_dirty = 0;
        }
        if (mivo3_peek(&pstate, pstate.cart, MIVO3_REG_KEEP_PALETTE) != 1)
            for (int32_t i = 0; i < 16; i++)
                pstate.display_palette[i] = i;
        if (mivo3_peek(&pstate, pstate.cart, MIVO3_REG_KEEP_AUDIO) == 0)
            std::fill(std::begin(pstate.audio_regs), std::end(pstate.audio_regs), 0);
    }
    mivo3_run.saved_camera_x = pstate.camera_x;
    mivo3_run.saved_camera_y = pstate.camera_y;
    pstate.camera_x = pstate.camera_y = 0;
    pstate.shell_mode = 0;
    mivo3_run.frame_held = 0;
    pstate.clip_x0 = pstate.clip_y0 = 0;
    pstate.clip_x1 = pstate.clip_y1 = MIVO3_SCREEN_SIZE;
    mivo3_apply_clip(&pstate);
    pstate.cursor_x = 0;
    pstate.cursor_y = std::clamp(pstate.cursor_y, 0, 120);
    drain_key_queue();
    if (hooks.quit_when_stopped && hooks.quit_when_stopped())
        quon_quit = 1;
}

void mivo3_flip_frame()
{
    if (hooks.pause_menu_frame)
        hooks.pause_menu_frame();
    pstate.frame_cycles = pstate.system_cycles = pstate.slice_cycles = 0;
    if (hooks.next_frame_buttons)
        hooks.next_frame_buttons();
    read_buttons();
    mivo3_run.frame_held = 0;
}

void mivo3_hold_frame() { mivo3_run.frame_held = 1; }

void mivo3_mark_cpu(int32_t k)
{
    k = std::clamp(k, 0, 2);
    mivo3_run.mark_cycles[k] = pstate.frame_cycles;
    mivo3_run.mark_ms[k] = quon_get_time();
    mivo3_run.marks_taken |= 1 << k;
}

int32_t mivo3_cpu_stat(int32_t which)
{
    int64_t cycles = which == 2 ? int64_t(pstate.system_cycles)
                                : int64_t(pstate.refund_balance) + pstate.frame_cycles;
    return saturate(cycles * 65536 / mivo3_frame_budget(mivo3_run.target_fps));
}

void mivo3_program_refund(int32_t n)
{
    if (pstate.refunds_enabled == 1)
        refund_cpu(n);
}

void update_frame_rate()
{
    int32_t now = quon_get_time();
    std::copy(std::begin(mivo3_run.fps_history) + 1, std::end(mivo3_run.fps_history),
              std::begin(mivo3_run.fps_history));
    mivo3_run.fps_history[MIVO3_FPS_HISTORY - 1] = quon_get_fps();
    int32_t sum = 0, samples = 0;
    for (int32_t v : mivo3_run.fps_history)
        if (v != 0) {
            sum += v;
            samples++;
        }
    int32_t a = samples ? sum / samples : 0;

    int32_t target = mivo3_run.target_fps;
    int32_t d = 0x100000;
    int32_t load = 0;
    // A light frame may show no hook between its marks, or end below its
    // first mark after refunds: its load is then 0. Only a frame that did not
    // reach its last mark has an unknown load. (A cart without an update
    // function never takes mark 0, which then still holds 0.)
    bool marked = (mivo3_run.marks_taken & 4) != 0;
    mivo3_run.marks_taken = 0;
    if (marked) {
        int64_t diff = std::max<int64_t>(int64_t(mivo3_run.mark_cycles[2]) - mivo3_run.mark_cycles[0], 0);
        load = saturate(diff * 65536 / mivo3_frame_budget(target));
        d = mivo3_run.prev_load != 0 ? std::max(load, mivo3_run.prev_load) : load;
    }
    mivo3_run.prev_load = load;

    int32_t frame_ms = 1000;
    if (mivo3_run.mark_ms[2] > mivo3_run.mark_ms[0]) {
        int32_t draw = hooks.draw_ms ? std::max(hooks.draw_ms(), 0) : 0;
        bool active = quon_app_active();
        frame_ms = mivo3_run.mark_ms[2] - mivo3_run.mark_ms[0] + draw + mivo3_run.frame_drop_count +
                   (active ? cconfig.foreground_sleep_ms : cconfig.background_sleep_ms);
    }
    if (hooks.framerate_control && hooks.framerate_control() == 0) {
        a = 10000;
        frame_ms = 0;
    }

    bool halve = mivo3_run.frame_halve_request != 0;
    mivo3_run.frame_halve_request = 0;
    if (halve && pstate.current_fps == target) {
        pstate.current_fps = target / 2;
        return;
    }
    if (pstate.current_fps == 60 && target == 60 && a <= 57) {
        pstate.current_fps = 30;
        if (quon_app_active() && now - mivo3_run.last_drop_ms < 200)
            mivo3_run.frame_drop_count = std::min(mivo3_run.frame_drop_count + 1, 10);
        mivo3_run.last_drop_ms = now;
    } else if (pstate.current_fps < target && a >= target - 2 && (target == 30 || frame_ms <= 16) &&
               d <= MIVO3_RECOVER_LOAD_MAX) {
        pstate.current_fps = target;
    }
}

void extract_syntax_error(const char* message, std::string_view source_line, bool is_command)
{
    std::string_view msg = message;
    // An unclosed block is reported even when the parser met the footer.
    size_t close = msg.find("to close '");
    if (close != std::string_view::npos) {
        std::string_view rest = msg.substr(close + 10);
        std::string word(rest.substr(0, rest.find('\'')));
        if (is_command) {
            print_line(("unclosed " + word).c_str(), 6);
            return;
        }
        int line = 0, tab = 0;
        size_t at = rest.find("at line ");
        if (at != std::string_view::npos)
            std::sscanf(std::string(rest.substr(at)).c_str(), "at line %d (tab %d)", &line, &tab);
        char text[300];
        std::snprintf(text, sizeof text, "unclosed %s at line %d (tab %d)\n", word.c_str(), line, tab);
        print_line(text, 6);
        return;
    }
    if (msg.find("_end_of_program") != std::string_view::npos)
        return;
    size_t last = msg.rfind(": ");
    std::string_view shown = last == std::string_view::npos ? msg : msg.substr(last + 2);
    if (shown == "unexpected symbol near 'end'" && source_line.find("end") == std::string_view::npos)
        shown = "unexpected end of line";
    print_line(std::string(shown).c_str(), 6);
}

void report_compile_error(const char* message, std::string_view flat_code, bool is_command)
{
    pstate.pen_colour = 6;
    std::string_view source;
    if (is_command) {
        print_line("syntax error", 14);
    } else {
        int32_t compiled_line = message_line(message);
        int32_t tab = 0;
        int32_t line = compiled_line > 0 ? find_tab_line(compiled_line, &tab) : 0;
        if (line > 0) {
            print_2("syntax error line %d (tab %d)", line, tab, 14);
            source = line_of(flat_code, compiled_line - MIVO3_PRELUDE_LINES);
            print_line(std::string(source).c_str(), 7);
        } else {
            print_line("syntax error", 14);
        }
    }
    extract_syntax_error(message, source, is_command);
}

void report_runtime_error(const char* message, bool is_command)
{
    mivo3_run.fault = 2;
    if (pstate.glitch_timer == 0)
        suspend_program();
    std::string_view msg = message;
    if (!is_command && mivo3_runtime_line > MIVO3_PRELUDE_LINES) {
        int32_t tab = 0;
        int32_t line = find_tab_line(mivo3_runtime_line, &tab);
        print_2("runtime error line %d tab %d", line, tab, 14);
        std::string_view source = line_of(flat_program_code, mivo3_runtime_line - MIVO3_PRELUDE_LINES);
        print_line(std::string(source).c_str(), 7);
    } else if (is_command) {
        print_line("runtime error", 14);
    }
    if (msg.find(MIVO3_PRELUDE_FIRST_LINE) == std::string_view::npos) {
        if (msg != "not enough memory")
            print_line(message, 6);
    } else {
        std::string_view text = after_position(message);
        if (text.find("assertion failed") != std::string_view::npos) {
            print_line("assertion failed", 6);
            if (mivo3_run.assert_message[0])
                print_line(mivo3_run.assert_message, 7);
        } else {
            // Library errors raised with a position (bad arguments) would
            // otherwise vanish.
            print_line(std::string(text).c_str(), 6);
        }
    }
    if (mivo3_run.assert_message[0])
        print_line(mivo3_run.assert_message, 6);
    if (pstate.alloc_failed)
        pstate.alloc_failed = 0;
    else if (!is_command)
        print_traceback();
}

void print_traceback()
{
    lua_State* L = mivo3_run.L0;
    if (!L)
        return;
    // The traceback runs on a thread of its own: L0 itself is dead after the
    // error, its call chain kept for inspection.
    lua_State* T = lua_newthread(L);
    if (!T)
        return;
    lua_pushcfunction(T, db_traceback);
    lua_pushthread(L);
    lua_xmove(L, T, 1);
    lua_sethook(T, nullptr, 0, 0);
    bool ok = lua_pcall(T, 1, 1, 0) == LUA_OK && lua_isstring(T, -1);
    std::string trace = ok ? lua_tostring(T, -1) : "";
    lua_pop(L, 1);  // T, kept on L's stack while it ran
    size_t pos = 0;
    for (int32_t n = 0; n < 10 && pos < trace.size(); n++) {
        size_t nl = trace.find('\n', pos);
        std::string line = trace.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? trace.size() : nl + 1;
        if (line.size() > 511)
            line.resize(511);
        if (line.find("stack traceback") != std::string::npos ||
            line.find("'_mainloop") != std::string::npos)
            continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        int32_t compiled = int32_t(std::strtol(line.c_str() + colon + 1, nullptr, 10));
        if (compiled <= 0)
            continue;
        int32_t tab = 0;
        int32_t tab_line = find_tab_line_quietly(compiled, &tab);
        if (tab_line <= 0)
            continue;  // the generated footer
        char text[600];
        size_t fn = line.find("in function '");
        if (fn != std::string::npos) {
            std::string name = line.substr(fn + 13);
            name = name.substr(0, name.find('\''));
            std::snprintf(text, sizeof text, "in %s line %d (tab %d)", name.c_str(), tab_line, tab);
            print_line(text, 13);
        } else if (line.find("in main chunk") != std::string::npos) {
            std::snprintf(text, sizeof text, "at line %d (tab %d)", tab_line, tab);
            print_line(text, 13);
        }
    }
}

void add_run_chain_item(const char* file, const char* label, int32_t pending)
{
    if (int32_t(run_chain.size()) >= MIVO3_RUN_CHAIN_MAX)
        return;
    run_chain_item item{};
    copy_text(item.file, sizeof item.file, file ? file : "");
    copy_text(item.label, sizeof item.label, label ? label : "");
    copy_text(item.param, sizeof item.param, mivo3_run.run_param);
    item.pending = pending;
    run_chain.push_back(item);
}

void reset_run_chain() { run_chain.clear(); }

void pop_run_chain()
{
    if (!run_chain.empty())
        run_chain.pop_back();
}

int32_t run_chain_depth() { return int32_t(run_chain.size()); }

const char* get_run_chain_label() { return run_chain.empty() ? nullptr : run_chain.back().label; }
const char* get_run_chain_filename() { return run_chain.empty() ? nullptr : run_chain.back().file; }
const char* get_run_chain_param_str() { return run_chain.empty() ? nullptr : run_chain.back().param; }

int32_t follow_current_breadcrumb()
{
    if (run_chain.empty())
        return 1;
    run_chain_item item = run_chain.back();
    if (!hooks.load_cart || hooks.load_cart(item.file) != 0)
        return 1;
    pstate.pending_command = 1;
    copy_text(mivo3_run.pending_run_param, sizeof mivo3_run.pending_run_param, item.param);
    pop_run_chain();
    if (hooks.delay_input)
        hooks.delay_input(20);
    if (hooks.close_pause_menu)
        hooks.close_pause_menu();
    return 0;
}
