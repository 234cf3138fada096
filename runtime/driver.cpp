#include "runtime/driver.h"

#include "lang/includes.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/buttons.h"
#include "runtime/run_loop.h"
#include "storage/cart.h"

namespace {

std::vector<mivo3_driver_line> output;
mivo3_cart* working_cart = nullptr;

void collect_line(const char* text, int32_t colour)
{
    std::string line = text ? text : "";
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    output.push_back({line, colour});
}

int32_t program_load_only() { return 0; }

// What the shell's update does with a pending command before the frame.
void execute_pending_command()
{
    int32_t command = pstate.pending_command;
    pstate.glitch_timer = 0;
    pstate.pending_command = 0;
    switch (command) {
    case 1:
        run_cart();
        break;
    case 2:
        suspend_program();
        break;
    case 3:
        suspend_program();
        break;
    case 4:
        suspend_program();
        reset_language_machine();
        collect_line("", 6);
        collect_line(pstate.error_text, 6);
        break;
    default:
        break;
    }
}

}  // namespace

void mivo3_driver_open()
{
    mivo3_close_language_state();
    reset_pstate();
    reset_buttons();
    reset_run_loop();
    output.clear();
    if (!working_cart)
        working_cart = quon_create_mivo3_cart();
    pstate.cart = working_cart;
    mivo3_current_cart = working_cart;
    for (std::string& tab : mivo3_tabs.tab)
        tab.clear();
    mivo3_tabs.selected = 0;

    mivo3_run_hooks hooks{};
    hooks.print = collect_line;
    hooks.framerate_control = program_load_only;
    mivo3_set_run_hooks(hooks);
    mivo3_include_hooks include_hooks{};
    include_hooks.print = collect_line;
    mivo3_set_include_hooks(include_hooks);
}

void mivo3_driver_close()
{
    mivo3_close_language_state();
    if (working_cart) {
        if (mivo3_current_cart == working_cart)
            mivo3_current_cart = nullptr;
        quon_destroy_mivo3_cart(working_cart);
        working_cart = nullptr;
    }
    pstate.cart = nullptr;
}

void mivo3_driver_load_code(std::string_view code)
{
    static constexpr std::string_view separator = "\n-->8\n";
    for (std::string& tab : mivo3_tabs.tab)
        tab.clear();
    int32_t i = 0;
    while (i < MIVO3_CODE_TAB_COUNT - 1) {
        size_t at = code.find(separator);
        if (at == std::string_view::npos)
            break;
        mivo3_tabs.tab[i++] = std::string(code.substr(0, at));
        code.remove_prefix(at + separator.size());
    }
    mivo3_tabs.tab[i] = std::string(code);
}

int32_t mivo3_driver_start()
{
    return run_cart();
}

int32_t mivo3_driver_frame()
{
    if (pstate.pending_command)
        execute_pending_command();
    int32_t unfinished = 0;
    if (pstate.shell_mode == 1) {
        if (pstate.frames_to_hold > 0) {
            pstate.frames_to_hold--;
        } else {
            if (mivo3_run.mainloop_kind == 0 || mivo3_run.mainloop_kind == 1) {
                update_buttons();
                read_buttons();
                buttons.button_frame_counter += pstate.current_fps == 60 ? 1 : 2;
            }
            unfinished = run_slice();
            if (unfinished)
                mivo3_frame_unfinished();
        }
    }
    pstate.frame_count++;
    if (pstate.pending_command)
        execute_pending_command();
    return unfinished;
}

int32_t mivo3_driver_frames(int32_t n)
{
    int32_t run = 0;
    while (run < n && (pstate.shell_mode == 1 || pstate.pending_command)) {
        mivo3_driver_frame();
        run++;
    }
    return run;
}

bool mivo3_driver_running() { return pstate.shell_mode == 1; }

const std::vector<mivo3_driver_line>& mivo3_driver_output() { return output; }

std::string mivo3_driver_output_text()
{
    std::string text;
    for (const mivo3_driver_line& line : output) {
        if (!text.empty())
            text += '\n';
        text += line.text;
    }
    return text;
}

void mivo3_driver_clear_output() { output.clear(); }

int32_t mivo3_driver_peek(int32_t addr) { return mivo3_peek(&pstate, pstate.cart, addr); }

int32_t mivo3_driver_peek4(int32_t addr)
{
    uint32_t v = 0;
    for (int32_t i = 3; i >= 0; i--)
        v = (v << 8) | uint32_t(mivo3_driver_peek(addr + i));
    return int32_t(v);
}
