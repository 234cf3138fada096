#include "storage/cdata.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/paths.h"
#include "host/stream.h"
#include "machine/pstate.h"

namespace {

std::string configured_folder;
const char* (*folder_source)() = nullptr;
std::string claimed_id;

bool program_runs()
{
    return pstate.shell_mode == 1 && pstate.program_running == 1;
}

int32_t hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}


}  // namespace

void set_cdata_folder(std::string_view folder)
{
    configured_folder = std::string(folder);
}

void set_cdata_folder_source(const char* (*source)())
{
    folder_source = source;
}

std::string get_cdata_folder()
{
    if (folder_source) {
        const char* f = folder_source();
        configured_folder = f ? f : "";
    }
    if (!configured_folder.empty() && quon_directory_exists(configured_folder.c_str())) {
        std::string f = configured_folder;
        if (f.back() != '/')
            f += '/';
        return f;
    }
    return quon_prefix_with_appdata_path("cdata/");
}

std::string cdata_filename(std::string_view id)
{
    return get_cdata_folder() + std::string(id) + ".m3d.txt";
}

bool is_legal_cdata_cart_label_char(int32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

const std::string& cdata_claimed_id()
{
    return claimed_id;
}

void clear_cdata_claim()
{
    claimed_id.clear();
}

bool cdata_access_allowed(std::string_view forum_id)
{
    return !claimed_id.empty() || (program_runs() && !forum_id.empty());
}

std::string format_cdata(const int32_t values[MIVO3_CDATA_VALUES])
{
    std::string out;
    out.reserve(520);
    char group[9];
    for (int32_t row = 0; row < 8; row++) {
        for (int32_t k = 0; k < 8; k++) {
            std::snprintf(group, sizeof group, "%08x", uint32_t(values[row * 8 + k]));
            out += group;
        }
        out += '\n';
    }
    return out;
}

void parse_cdata(std::string_view text, int32_t values[MIVO3_CDATA_VALUES])
{
    for (int32_t i = 0; i < MIVO3_CDATA_VALUES; i++)
        values[i] = 0;
    if (text.size() > size_t(MIVO3_CDATA_READ_MAX))
        text = text.substr(0, MIVO3_CDATA_READ_MAX);
    int32_t digits = 0;
    uint32_t acc = 0;
    for (char c : text) {
        int32_t v = hex_value(c);
        if (v < 0)
            continue;
        acc = (acc << 4) | uint32_t(v);
        digits++;
        if ((digits & 7) == 0) {
            values[digits / 8 - 1] = int32_t(acc);
            acc = 0;
            if (digits == MIVO3_CDATA_VALUES * 8)
                return;
        }
    }
    if ((digits & 7) != 0)
        values[digits / 8] = int32_t(acc);
}

int32_t load_cdata(const char* id)
{
    if (!id)
        return 3;
    if (!program_runs())
        return 1;
    if (!claimed_id.empty()) {
        mivo3_runtime_error("cartdata() can only be called once");
        return 2;
    }
    size_t len = std::strlen(id);
    if (len == 0 || len > size_t(MIVO3_CDATA_ID_MAX)) {
        mivo3_runtime_error("cart data id too long");
        return 2;
    }
    for (size_t i = 0; i < len; i++) {
        if (!is_legal_cdata_cart_label_char(uint8_t(id[i]))) {
            mivo3_runtime_error("cart data id: bad char");
            return 2;
        }
    }
    claimed_id = id;
    for (int32_t& v : pstate.cart_data_values)
        v = 0;

    std::FILE* f = std::fopen(cdata_filename(claimed_id).c_str(), "rb");
    if (!f)
        return 1;
    char buf[MIVO3_CDATA_READ_MAX];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    parse_cdata(std::string_view(buf, n), pstate.cart_data_values);
    return 0;
}

int32_t save_cdata()
{
    pstate.cart_data_dirty = 0;
    if (!program_runs() || claimed_id.empty() || claimed_id.size() > size_t(MIVO3_CDATA_ID_MAX))
        return 0;
    return quon_write_file_replacing(cdata_filename(claimed_id),
                                      format_cdata(pstate.cart_data_values));
}
