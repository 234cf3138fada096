// The key configuration screen: steps through the 13 keyboard controls (p1
// left, right, up, down, O, X; p2 the same; pause), storing the first key
// pressed for each into the button layer's key_bindings. Delete or Backspace
// gives a control back its default keys; Escape cancels.
#pragma once
#include <cstdint>

#include "runtime/buttons.h"

struct quon_bitmap;

struct keyconfig_state {
    int32_t open;             // the screen is showing
    int32_t current;          // control being chosen, 0..12; 13 once all are chosen
    int32_t waiting_release;  // a key is still held from the last choice
    int32_t saved[MIVO3_KEY_BINDINGS];  // bindings as they were on opening
};
extern keyconfig_state keyconfig;

// Copies the bindings aside, selects the first control, shows the screen
// (pstate.overlay 1) and blocks the buttons held now.
void keyconfig_open();
// Hides the screen. Closing before every control was chosen restores the
// bindings copied on opening.
void keyconfig_close();
// One frame of choosing; Escape cancels (or, after the last control, closes).
// After the last control the bindings are kept in the console settings and
// the host key queue is drained.
void keyconfig_update();
// Draws the screen into an 8-bit 128x128 target with the console font.
void keyconfig_draw(quon_bitmap* target);

// Label of a control, padded to 11 characters ("p1 left    ").
const char* keyconfig_label(int control);
// "%s : %s" line text of a control: its label and the bound key's name, or
// the default keys' names, lower-cased.
void keyconfig_line(int control, char* out, int size);
