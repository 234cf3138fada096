// Persistent cart data: the 64 values a cart keeps between runs under an id
// it claims with cartdata(). The values live in pstate.cart_data_values
// (machine memory 0x5e00..0x5eff); this module claims ids, reads and writes
// the "<folder><id>.m3d.txt" file and decides when to save.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

enum : int32_t {
    MIVO3_CDATA_VALUES = 64,
    MIVO3_CDATA_ID_MAX = 64,          // longest id
    MIVO3_CDATA_READ_MAX = 1024,      // bytes of a file that are looked at
};

// The folder files go to, ending with '/'. set_cdata_folder takes the
// configured folder; it is used when it names an existing folder, otherwise
// (and before any call) "cdata/" in the per-user data folder.
void set_cdata_folder(std::string_view folder);
// Or, read at every use: a function giving the configured folder.
void set_cdata_folder_source(const char* (*source)());
std::string get_cdata_folder();
std::string cdata_filename(std::string_view id);  // folder + id + ".m3d.txt"

// Claims id and reads its file into the values (all 0 first). 0 when existing
// data was loaded; 1 when no program runs or the file is missing (the slot is
// claimed and usable); 2 after a runtime fault (second claim, id empty or too
// long, bad character); 3 for a null id.
int32_t load_cdata(const char* id);
// Clears the dirty flag; while a program runs with a claimed id, writes the
// file. The new contents go to a temporary file that replaces the old one
// only once completely written, so a failed write keeps the previous data.
// 0 on success or when there is nothing to save, 1 when writing failed.
int32_t save_cdata();

bool is_legal_cdata_cart_label_char(int32_t c);  // a-z, 0-9, '_' and '-'

// The claimed id ("" when none); a cart start clears it.
const std::string& cdata_claimed_id();
void clear_cdata_claim();
// dget/dset may run: an id is claimed, or a program runs and has a forum id
// (the running cart's, kept by the run loop; "" when none).
bool cdata_access_allowed(std::string_view forum_id);

// The file text for 64 values: 8 lines of 8 "%08x" values, 520 bytes.
std::string format_cdata(const int32_t values[MIVO3_CDATA_VALUES]);
// Lenient reading: non-hex characters are skipped, the first 512 hex digits
// give 64 groups of 8; values without digits are 0, a group cut short takes
// the digits it has.
void parse_cdata(std::string_view text, int32_t values[MIVO3_CDATA_VALUES]);

