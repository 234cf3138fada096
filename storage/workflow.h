// The cart load/save workflow: owns the current cart (the record carts are
// loaded into and saved from, mivo3_current_cart), its file name and the hash
// recorded at its last load or save. It tries the file formats in turn,
// applies compatibility changes to carts of old versions, keeps backups,
// notices files changed by other programs, keeps `cstore` writes of carts in
// a sandbox folder named by the cart hash, and holds the table of carts the
// player carries inside itself.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/cart.h"

enum : int32_t {
    MIVO3_HASH_TEXT = 41,            // 40 hex digits and a NUL
    MIVO3_EMBEDDED_MAX = 64,
    MIVO3_CSTORE_FILES_MAX = 256,    // distinct files cstore may write in one run
    MIVO3_CSTORE_NAME_MAX = 512,     // names this long or longer are refused
    MIVO3_BACKUP_MAX_BYTES = 1 << 20,
    MIVO3_PARTIAL_ACCESS_FRAMES = 30,
};

// Loads path as a cart picture, then as a text cart, trying in turn: the
// path; with ".m3" inserted (before ".png", else appended) when it has none;
// that name + ".png"; the path + ".png". The first that loads becomes
// current. 0 on success, 1 when none loads (the current cart is unchanged).
int32_t load_working_cart(const char* path);
// Saves the current cart to path (".m3" inserted as above); a picture when
// the name contains ".png", else a text cart. Prints the size warnings and
// failures. 0 on success, 1 on failure.
int32_t save_working_cart(const char* path);
// Makes cart current under path (null or "": its sandboxed cstore name):
// frees the previous one, applies legacy changes, syncs the shared sprite and
// map half, splits and merges the code tabs, records the hash and brings
// back data stored by cstore in earlier runs. A null cart is ignored.
void prepare_loaded_cart(mivo3_cart* cart, const char* path);
// A new record from a cart picture or a text cart at path, or null.
mivo3_cart* load_mivo3_cart_any_format(const char* path);
// Map rows 32..63 and the lower half of the sprite sheet are one memory:
// copies whichever of the two the cart wrote (the map when any of its cells
// there is set) over the other.
void sync_shared_data(mivo3_cart* cart);
// Writes "backup/<name.ext>" in the data folder: a byte copy of the file at
// path (at most 1 MiB) with copy_file, else the current cart. Returns 0.
int32_t save_backup(const char* path, int32_t copy_file);

// SHA-1 of the cart's 32 KiB block as 40 lower-case hex digits. Code that
// does not fit is represented by the SHA-1 text of the code.
void hash_cart(const mivo3_cart* cart, char out[MIVO3_HASH_TEXT]);
// Compatibility changes for carts of format version 10 and below (music
// channel order, noise volume, effect 1 at volume 0, the 0.1.1 table
// functions). Sets legacy_applied first.
void apply_legacy_changes(mivo3_cart* cart);
// The table functions of format 0.1.1, put before the code of the one early
// cart that needs them, and the statement that identifies that cart.
extern const char* const mivo3_legacy_011_prelude;
extern const char* const mivo3_legacy_011_marker;

// Copies size ROM bytes at src of another cart file to machine memory at
// dest. 0, or 1 when the file cannot be read as a cart (or, for a ".bin"
// name, as 0x4300 raw ROM bytes).
int32_t reload_cart_partial(const char* path, int32_t dest, int32_t src, int32_t size);
// Copies size bytes of machine memory at src into ROM at dest of the cart
// file at path (started blank when missing), and of the current cart too when
// also_current is set, then saves the file in its format. 0; 2 when saving
// failed; 3 when 256 other files were already written this run.
int32_t cstore_cart_partial(const char* path, int32_t dest, int32_t src, int32_t size,
                            int32_t also_current);
// The last file a partial reload or store touched and frames left to show it.
const std::string& last_partial_access_filename();
int32_t partial_access_counter();

// The file forms of the language's reload and cstore (what a name refers to
// is decided here, so carts reach only the "cstore/" folder and their own
// sandboxed files). Return the byte count on success, 0 on failure.
int32_t mivo3_reload_from_file(int32_t dst, int32_t src, int32_t len, const char* filename);
// A null filename stores into the current cart's own sandboxed file.
int32_t mivo3_cstore_to_file(int32_t dst, int32_t src, int32_t len, const char* filename);

void do_quick_save();  // saves the current file with its messages
void do_quick_load();  // takes the current file back when another program changed it

// False for a name that could climb out of the folder it is put in: a ".."
// component or a backslash (and a NUL byte, which would cut it short).
bool name_stays_inside(std::string_view name);
// True when the label is missing or every pixel has the same value.
bool label_is_blank(const quon_bitmap* label);

// path with ".m3" inserted before a ".png" ending, or appended, unless it
// already contains ".m3".
std::string inject_m3_extention(std::string_view path);
// 1 when the current file's cart differs from both the current cart and the
// cart as last loaded or saved.
int32_t detect_external_changes();
int32_t detect_unsaved_changes();        // 0: nothing is ever unsaved here
int32_t unsaved_changes_confirmation();  // 0

// Data folder "cstore/" + prefix + name.
std::string mivo3_prefix_with_cstore_path(std::string_view name, std::string_view prefix);
// Data folder "cstore/__" + name + ".m3", in a buffer reused by the next call.
const char* get_sandboxed_cstore_filename(const char* name);

// Registers an embedded cart under name (at most 64) and writes it as a text
// cart onto the in-memory disk so it loads like a file.
void mount_embedded_cart(const mivo3_cart* cart, const char* name);
const char* get_embedded_cart_filename_for_hash(const char* hash);  // null when absent
// The hash of the embedded cart called name; with loose also under the name
// with ".m3" inserted and with ".png" appended to that. Null when absent.
const char* get_embedded_cart_hash_for_filename(const char* name, int32_t loose);
void clear_embedded_carts();
int32_t embedded_cart_count();

const char* current_cart_filename();  // "" when none
const char* saved_cart_hash();        // "" before the first load
// Forgets the current cart (freeing it), its names, the embedded table and
// the written-files list.
void reset_workflow();

// Connects storage to the layers above at start-up: the include loader's
// cart reading, root folder, current file and console output; the language's
// reload/cstore file forms; the console output of the storage formats; the
// cart-data folder from the configuration.
void storage_install_hooks();
