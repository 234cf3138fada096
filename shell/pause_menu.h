// The pause menu: an overlay over the frozen picture offering "continue",
// the cart's own items, "reset cart", the way back along the run chain,
// "quit" and, for carts started from the command line, "shutdown".
#pragma once
#include <cstdint>

struct quon_bitmap;

constexpr int32_t MIVO3_PAUSE_LABEL_SIZE = 68;  // zero-filled field, 16 characters used
constexpr int32_t MIVO3_PAUSE_LABEL_MAX = 16;
constexpr int32_t MIVO3_PAUSE_MENU_MAX = 16;

enum : int32_t {
    MIVO3_PAUSE_CONTINUE = 0,
    MIVO3_PAUSE_RESET = 1,
    MIVO3_PAUSE_BACK = 5,
    MIVO3_PAUSE_QUIT = 6,
    MIVO3_PAUSE_CUSTOM = 256,  // + slot 1..5
};

struct paused_menu_entry {
    char label[MIVO3_PAUSE_LABEL_SIZE];
    int32_t action;
};
static_assert(sizeof(paused_menu_entry) == 72);

extern paused_menu_entry paused_menu_item[MIVO3_PAUSE_MENU_MAX];

// The cart's own items (slots 1..5) set through menuitem(): a label of at
// most 16 characters, empty when unset, and whether it was chosen.
void set_pause_menu_custom_item(int32_t slot, const char* label);  // null clears
const char* pause_menu_custom_label(int32_t slot);                 // "" for other slots
// True once after the slot was chosen in the menu; clears the flag.
int32_t take_pause_menu_item_selected(int32_t slot);
// Clears the five labels and their flags (a cart starts).
void clear_pause_menu_custom_items();

// Appends an entry, its label cut to 16 characters; ignored when full.
void add_paused_menu_item(const char* label, int32_t action);
// Fills the entries: continue, custom items, reset cart, back, quit, shutdown.
void build_paused_menu();
// When the pause button was pressed, a program runs and the menu is closed:
// eats the press if the cart set the pause-suppression byte (clearing it),
// else opens the menu. Either way buttons are blocked until released.
// Returns true when the press was handled.
bool update_paused_menu();
// Cursor movement and activation, once per paused frame.
void process_paused_keypresses();
// Closes the menu and blocks buttons until released (Escape).
void close_paused_menu();
// The menu over the picture on an 8-bit bitmap (the host back page).
void draw_paused_menu(quon_bitmap* bmp);
