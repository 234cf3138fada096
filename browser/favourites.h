// The cart browser's lists and its favourites store ("favourites.txt" in the
// per-user data folder), the favourite toggle and query, and the keys that
// still work while the kiosk overlay is open. Only the favourites list holds
// anything the rest of the program uses; it is also always the current list.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/bitmap.h"

enum : int32_t {
    TROVEA_TEXT_SIZE = 128,
    // Item kinds.
    TROVEA_KIND_CART = 1,
    TROVEA_KIND_FOLDER = 2,
    TROVEA_KIND_REFRESH = 3,
    TROVEA_KIND_MORE = 5,
    TROVEA_KIND_SEARCH = 6,
    // Icons (console glyphs) of read items.
    TROVEA_ICON_ONLINE = 176,
    TROVEA_ICON_LOCAL = 177,
    TROVEA_ICON_PICTURE = 180,
    // The lists, in this order.
    TROVEA_LIST_LOCAL = 0,
    TROVEA_LIST_FAV = 1,
    TROVEA_LIST_NEW = 2,
    TROVEA_LIST_TOP = 3,
    TROVEA_LIST_WIP = 4,
    TROVEA_LIST_COLLAB = 5,
    TROVEA_LIST_JAM = 6,
    TROVEA_LIST_SEARCH = 7,
    TROVEA_LIST_COUNT = 8,
    // Items a list holds at most: far more than anyone keeps, and it keeps
    // the duplicate search and a hostile favourites.txt cheap.
    TROVEA_LIST_MAX = 4096,
    // Bytes of favourites.txt read at most; the rest of a larger file is ignored.
    TROVEA_READ_MAX = 1 << 20,
    TROVEA_PAGE = 6,  // items Page Up / Page Down move
};

struct trovea_item {
    int32_t icon = 0;                    // glyph shown before the title
    char title[TROVEA_TEXT_SIZE] = {};
    char author[TROVEA_TEXT_SIZE] = {};
    char path[TROVEA_TEXT_SIZE] = {};    // local cart, relative to the carts root
    char lid[TROVEA_TEXT_SIZE] = {};     // forum id of the cart
    char mid[TROVEA_TEXT_SIZE] = {};     // forum post id
    int32_t catsub = 0;                  // forum category
    quon_bitmap* label = nullptr;        // owned 128x128 8-bit label, or null
    int32_t kind = 0;                    // TROVEA_KIND_...
    int32_t favourite = 0;               // 1 when the item is among the favourites
};

// The list owns the labels of its items: whoever removes an item frees it.
struct trovea_list {
    const char* title = "";
    const char* key = "";                // names the list's files
    std::vector<trovea_item> items;
    int32_t selection = 0;
};

struct trovea_state {
    trovea_list lists[TROVEA_LIST_COUNT];
    int32_t current = TROVEA_LIST_FAV;   // index of the current list
    int32_t exit_prompt = 0;             // the kiosk overlay asks whether to quit
};
extern trovea_state trovea;

// Frees every label and empties every list; the current list is the
// favourites, the exit prompt off. Tests call it, and the shell at exit.
void reset_trovea();
// At start-up: fresh lists, then favourites.txt read into the favourites.
void trovea_init();
// When the kiosk overlay opens: the local list rebuilt from the carts root and
// current folder (a ".." entry inside a subfolder, then folders, then carts,
// each by title), and the current list's selection clamped.
void trovea_enter();
// Does nothing: the browser draws no animation in this program.
void reset_trovea_animation();

trovea_list& trovea_favourites();  // the favourites list
trovea_list& trovea_current();     // the current list

// Appends the items of favourites-format text (lines "|lid |mid |catsub
// |author |path |title") as carts, each cleaned; lines not starting with '|'
// and items that duplicate one already in the list are dropped. Returns the
// number of items added.
int32_t populate_trovea_list_from_text(trovea_list* list, std::string_view text);
// The same from the first TROVEA_READ_MAX bytes of a file; a missing file adds nothing.
int32_t populate_trovea_list_from_text_file(trovea_list* list, const char* path);
// Cleans a read item: trailing spaces off lid, mid and path, a lid or mid "0"
// emptied, the author lower-case a-z/0-9 with '_' for the rest and at most 16
// characters, the title lower-case printable ASCII with '|' as '_'; sets the icon.
void sanitise_trovea_item(trovea_item* item);

// 1 when a favourite has the same non-empty lid, or has neither lid nor mid
// and the same non-empty path.
int32_t is_favourite(const char* lid, const char* path);
// Adds the current list's selected cart to the favourites, or removes it when
// it is one; clamps the selection, re-marks every list and saves.
void trovea_toggle_favourite();
// Reads favourites.txt again, appending entries not yet in the favourites.
void reload_favourites();
// Rewrites favourites.txt from the favourites (carts only), never leaving a
// half-written file. 0 on success, 1 when it could not be written.
int32_t save_trovea_favourites();

// One typed character from the host key queue while the overlay is open.
// Keys without a character arrive as the queue's -1 entry: Page Up, Page
// Down, Home, End and Delete are then read from the key states (pressed in this update).
void trovea_keypress(int32_t c);
