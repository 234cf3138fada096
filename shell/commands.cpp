#include "shell/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "browser/favourites.h"
#include "browser/labels.h"
#include "host/clipboard.h"
#include "host/disk.h"
#include "host/paths.h"
#include "host/main_loop.h"
#include "host/pod.h"
#include "lang/includes.h"
#include "lang/tokenizer.h"
#include "machine/memory.h"
#include "machine/pstate.h"
#include "runtime/api.h"
#include "runtime/run_loop.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/keyconfig.h"
#include "shell/shell.h"
#include "storage/cart_image.h"
#include "host/stream.h"
#include "storage/compress.h"
#include "storage/workflow.h"

const char* const mivo3_demo_names[MIVO3_DEMO_COUNT] = {
    "drawing.m3",  "sprites.m3",    "sounds.m3",    "music.m3",     "buttons.m3",  "cartdata.m3",
    "menuitem.m3", "coroutines.m3", "screenmem.m3", "printing.m3", "tinygame.m3", "visualiser.m3",
};

const char* const mivo3_sample_game_ids[MIVO3_SAMPLE_GAME_COUNT] = {
    "demo-tinygame", "demo-visualiser", "demo-sprites", "demo-music", "demo-buttons",
};

namespace {

constexpr int32_t token_limit = 8192;
constexpr int32_t char_limit = 65535;
constexpr int32_t message_ms = 2000;  // bbsreq and scoresub: 2.4 s with the bar's 400 ms

bool overwrite_confirmed = false;
bool bbsreq_told = false;
bool scoresub_told = false;

bool program_runs() { return pstate.shell_mode == 1 && pstate.program_running; }

bool has_nul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool is_clip_name(std::string_view s) {
    return s == "@clip" || s == "@clip.m3" || s == "@clip.png" || s == "@clip.m3.png";
}

// "name.ext" of a path, for the console's messages.
std::string file_and_extension(std::string_view path, const char* missing_extension = "") {
    std::string name, ext;
    quon_split_filename(path, nullptr, &name, &ext);
    return name + (ext.empty() ? missing_extension : ext);
}

// The embedded cart a load name refers to: the name itself, with ".m3"
// inserted or appended, or with ".png" appended; "" when none.
std::string find_embedded_cart(const std::string& name) {
    std::vector<std::string> candidates{name};
    const std::string injected = inject_m3_extention(name);
    if (injected != name) {
        candidates.push_back(injected);
        candidates.push_back(injected + ".png");
    }
    candidates.push_back(name + ".png");
    for (const std::string& c : candidates)
        if (get_embedded_cart_hash_for_filename(c.c_str(), 0)) return c;
    return "";
}

void load_failed() {
    if (program_runs()) return;
    if (mivo3_cart_load_status == MIVO3_LOAD_FUTURE) {
        mivo_print("could not load: future version");
        mivo3_cart_load_status = MIVO3_LOAD_OK;
    } else {
        mivo_print("could not load");
    }
}

void warn_blank_label() {
    if (mivo3_current_cart && !label_is_blank(mivo3_current_cart->label)) return;
    mivo_print_col("warning: label is blank", 9);
    mivo_print_col("run cart and use f7 to capture", 10);
}

// The clipboard holds only text here: the picture goes there as the hex
// digits of its file, kept beside it as "_clip.m3.png.hex".
void save_to_clipboard() {
    warn_blank_label();
    const std::string png = quon_prefix_with_appdata_path("_clip.m3.png");
    std::vector<uint8_t> bytes;
    bool ok = mivo3_current_cart && encode_mivo3_cart_png(mivo3_current_cart, bytes) == 0 &&
              quon_write_file_replacing(png, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                              bytes.size())) == 0;
    if (ok) {
        std::string hex;
        char digits[3];
        for (uint8_t c : bytes) {
            std::snprintf(digits, sizeof digits, "%02x", c);
            hex += digits;
        }
        ok = quon_write_file_replacing(png + ".hex", hex) == 0;
        if (ok) quon_set_clipboard_text(hex.c_str());
    }
    mivo_print(ok ? "saved to clipboard" : "failed to save to clipboard");
}

// Copies a pod's file item to path; write failures are left to the caller's
// silence, as the install commands ask.
void write_item(const quon_pod* pod, int32_t index, const std::string& path) {
    quon_stream* s = quon_pod_file(pod, index);
    if (!s || !s->data) return;
    quon_write_file_replacing(path, std::string_view(reinterpret_cast<const char*>(s->data), size_t(s->length)));
}

}  // namespace

std::string current_folder_path() { return std::string(app.root_path) + app.current_folder; }

void commands_reset_run() {
    overwrite_confirmed = false;
    bbsreq_told = scoresub_told = false;
}

int32_t command_load(const std::string_view* name_arg, const std::string_view* breadcrumb,
                     const std::string_view* param) {
    if (pstate.glitch_timer != 0 || !name_arg) return 0;
    if (!breadcrumb && !program_runs()) reset_run_chain();
    const std::string param_text = param ? std::string(param->substr(0, MIVO3_RUN_PARAM_CHARS)) : "";
    std::snprintf(mivo3_run.pending_run_param, sizeof mivo3_run.pending_run_param, "%s", param_text.c_str());

    const std::string previous = current_cart_filename();
    std::string_view name = *name_arg;
    if (starts_with(name, "/")) name.remove_prefix(1);
    if (has_nul(name) || starts_with(name, "__")) {
        load_failed();
        return 0;
    }
    if (starts_with(name, "#")) return 0;
    if (is_clip_name(name)) return 1;

    const std::string found = find_embedded_cart(std::string(name));
    if (found.empty()) return 1;
    if (load_working_cart(found.c_str()) != 0) {
        load_failed();
        return 0;
    }

    char line[400];
    std::snprintf(line, sizeof line, "loaded %s (%d chars)", file_and_extension(found).c_str(),
                  mivo3_current_cart && mivo3_current_cart->code ? int32_t(std::strlen(mivo3_current_cart->code)) : 0);
    if (!program_runs()) mivo_print(line);
    if (breadcrumb && breadcrumb->size() > 1) {
        const std::string label(breadcrumb->substr(0, breadcrumb->find('\0')));
        add_run_chain_item(previous.c_str(), label.c_str(), 0);
    }
    reset_runtime_state(&pstate, pstate.cart);
    if (mivo3_current_cart) mivo3_reload(&pstate, pstate.cart, mivo3_current_cart, 0, 0, MIVO3_CART_ROM_SIZE);
    spend_cpu(MIVO3_LOAD_CPU);
    if (program_runs() && !app.x_switch) {
        pstate.pending_command = 1;
        if (found != previous) pstate.frames_to_hold = 30;
    }
    return 1;
}

void command_save(const std::string_view* name_arg) {
    if (program_runs() && !app.x_switch) return;
    if (!name_arg || name_arg->empty()) {
        mivo_print("please specify filename");
        return;
    }
    const std::string_view name = *name_arg;
    if (name.size() > size_t(MIVO3_COMMAND_NAME_MAX)) {
        mivo_print("filename too long");
        return;
    }
    if (is_clip_name(name)) {
        save_to_clipboard();
        return;
    }
    if (!name_stays_inside(name)) {
        mivo_print("bad filename");
        return;
    }
    const std::string path = inject_m3_extention(current_folder_path() + std::string(name));
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (!overwrite_confirmed) {
            mivo_print("file already exists");
            mivo_print_col("overwrite? [y/n]", 14);
            overwrite_confirmed = true;
            return;
        }
        overwrite_confirmed = false;
    }
    if (save_working_cart(path.c_str()) != 0) return;
    mivo_print(("saved " + file_and_extension(path)).c_str());
}

void command_run(const std::string_view* param) {
    if (pstate.glitch_timer != 0) return;
    const std::string text = param ? std::string(param->substr(0, MIVO3_RUN_PARAM_CHARS)) : "";
    std::snprintf(mivo3_run.pending_run_param, sizeof mivo3_run.pending_run_param, "%s", text.c_str());
    pstate.pending_command = 1;
}

int32_t command_reboot() {
    if (program_runs()) return 0;
    pstate.pending_command = 3;
    app.kiosk_flag = 0;
    return 1;
}

int32_t command_shutdown() {
    if (program_runs() && !app.x_switch) return 0;
    quon_quit = 1;
    return 1;
}

void command_cd(const std::string_view* name_arg) {
    if (!name_arg) {
        char line[MIVO3_APP_PATH_SIZE + 16];
        std::snprintf(line, sizeof line, "directory: /%s", app.current_folder);
        mivo_print_col(line, 12);
        return;
    }
    const std::string_view name = *name_arg;
    if (name.size() > size_t(MIVO3_COMMAND_NAME_MAX)) return;
    const std::string root = quon_resolve_filename(app.root_path);
    const std::string target = starts_with(name, "/") ? std::string(app.root_path) + std::string(name) + "/"
                                                      : current_folder_path() + std::string(name) + "/";
    std::string resolved = quon_resolve_filename(target);
    if (!resolved.empty() && resolved.back() != '/') resolved += '/';
    if (has_nul(name) || name.find('\\') != std::string_view::npos || !starts_with(resolved, root) ||
        resolved.size() - root.size() >= size_t(MIVO3_APP_PATH_SIZE)) {
        mivo_print_col("cd: failed", 7);
        return;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(resolved, ec)) {
        mivo_print_col("directory not found", 7);
        return;
    }
    std::string folder = resolved.substr(root.size());
    if (folder == "/") folder.clear();
    std::snprintf(app.current_folder, sizeof app.current_folder, "%s", folder.c_str());
    mivo_print_col(("/" + folder).c_str(), 12);
}

int32_t command_ls(std::vector<std::string>& names) {
    names.clear();
    const std::string folder = quon_prefix_with_appdata_path("cstore/");
    quon_find_record rec;
    for (int32_t r = quon_find_first(folder.c_str(), "*", &rec, -1); r == 0; r = quon_find_next(&rec))
        if (rec.name.find(".m3") != std::string::npos && rec.name.find('~') == std::string::npos)
            names.push_back(rec.name);
    quon_find_close(&rec);
    // Directory order differs between file systems; carts see a stable one.
    std::sort(names.begin(), names.end());
    return 1;
}

int32_t command_mkdir(const std::string_view* name) {
    if (!name) {
        mivo_print("mkdir [name]");
        return 0;
    }
    if (name->size() >= size_t(MIVO3_COMMAND_NAME_MAX + 1)) return 1;
    if (name->empty() || !name_stays_inside(*name)) return 0;
    quon_mkdir(current_folder_path() + std::string(*name));
    return 0;
}

void command_folder() { quon_open_with_desktop(current_folder_path()); }

mivo3_code_size measure_code(std::string_view flat) {
    mivo3_code_size size;
    std::vector<uint8_t> packed(size_t(compress_mini_bound(int32_t(flat.size()))));
    size.compressed = compress_mini(flat.data(), packed.data(), int32_t(flat.size()));
    size.tokens = count_tokens(flat);
    size.chars = int32_t(flat.size());
    return size;
}

bool code_fits(const mivo3_code_size& size) {
    return size.tokens <= token_limit && size.chars <= char_limit && size.compressed <= MIVO3_CART_CODE_SPACE;
}

void print_code_size(const mivo3_code_size& size, void (*print)(const char* text, int32_t colour)) {
    auto line = [print](const char* format, int32_t v, int32_t limit) {
        char text[64];
        std::snprintf(text, sizeof text, format, v, limit);
        print(text, v > limit ? 9 : 6);
    };
    line("tokens:     %5d /  %d", size.tokens, token_limit);
    line("chars:      %5d / %d", size.chars, char_limit);
    line("compressed: %5d / %d", size.compressed, MIVO3_CART_CODE_SPACE);
}

void command_info() {
    mivo3_cart* cart = mivo3_current_cart;
    const std::string file = current_cart_filename();
    if (!file.empty()) mivo_print_col(("file: " + file_and_extension(file, ".m3")).c_str(), 14);
    if (!cart || !cart->code) return;
    merge_code_from_tabs();
    std::string flat;
    if (mivo3_flatten_includes(std::string_view(cart->code), flat) == 0)
        print_code_size(measure_code(flat), mivo_print_col);
    if (detect_unsaved_changes()) mivo_print("unsaved changes");
    if (cart->version == MIVO3_CART_VERSION && detect_external_changes()) mivo_print("external changes");
}

// This player imports and exports nothing: only the time is charged.
void command_import(const std::string_view*) { spend_cpu(MIVO3_FILE_COMMAND_CPU); }

void command_export(const std::string_view* name) {
    if (!name || name->empty()) mivo_print("please specify a file");
    spend_cpu(MIVO3_FILE_COMMAND_CPU);
}

void command_keyconfig() { keyconfig_open(); }

void command_trovea() { mivo_print("sorry, trovea is not available"); }

void command_install_demos() {
    mivo_print_col("installing demo carts to /demos/", 14);
    quon_pod* pod = quon_pod_load_item_pod(mivo3_data_pod, MIVO3_POD_DEMOS);
    if (!pod) {
        mivo_print("no demo carts in data.pod");
        return;
    }
    const std::string folder = std::string(app.root_path) + "demos/";
    quon_mkdir(folder);
    for (int32_t i = 0; i < MIVO3_DEMO_COUNT; i++) {
        if (!quon_pod_file(pod, i)) continue;
        write_item(pod, i, folder + mivo3_demo_names[i]);
        mivo_print(mivo3_demo_names[i]);
    }
    quon_destroy_pod(pod);
}

void command_install_games() {
    save_trovea_favourites();
    quon_pod* pod = quon_pod_load_item_pod(mivo3_data_pod, MIVO3_POD_GAMES);
    if (!pod) {
        mivo_print("no sample games in data.pod");
        return;
    }
    if (quon_stream* list = quon_pod_file(pod, 0); list && list->data) {
        std::ofstream out(quon_prefix_with_appdata_path("favourites.txt"), std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(list->data), std::streamsize(list->length));
    }
    for (int32_t i = 0; i < MIVO3_SAMPLE_GAME_COUNT; i++) {
        const std::string path = get_bbs_cart_filename(mivo3_sample_game_ids[i]);
        if (!path.empty()) write_item(pod, i + 1, path);
    }
    quon_destroy_pod(pod);
    reload_favourites();
    mivo_print("installed sample games");
    mivo_print("to trovea favourites");
}

void command_login() {
    mivo_print("login unavailable.");
    mivo_print("please update mivo-3!");
}

void command_bbsreq() {
    if (bbsreq_told) return;
    bbsreq_told = true;
    show_message("can not connect to bbsreq host", message_ms);
}

void command_scoresub() {
    if (scoresub_told) return;
    scoresub_told = true;
    show_message("can not connect to scores host", message_ms);
}

void shell_install_commands() {
    mivo3_command_hooks& c = mivo3_commands;
    c.load = command_load;
    c.save = command_save;
    c.run = command_run;
    c.reboot = command_reboot;
    c.shutdown = command_shutdown;
    c.cd = command_cd;
    c.ls = command_ls;
    c.mkdir = command_mkdir;
    c.folder = command_folder;
    c.info = command_info;
    c.import_cart = command_import;
    c.export_cart = command_export;
    c.keyconfig = command_keyconfig;
    c.trovea = command_trovea;
    c.install_demos = command_install_demos;
    c.install_games = command_install_games;
    c.login = command_login;
    c.bbsreq = command_bbsreq;
    c.scoresub = command_scoresub;
}
