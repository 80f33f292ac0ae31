// What the user can click in this frame: every clickable widget records one
// item while it draws, so that the shell's trace and scripted input can name
// and find it. Emptied at each frame start by BTN_begin_focus_ring.
#pragma once

#include <string>
#include <vector>

struct ui_item {
  std::string key;    // the untranslated label when known (see UI_tr), else the shown text
  std::string shown;  // the text on screen
  // Hit box in window pixels, y up from the window's lower-left corner.
  float x1, y1, x2, y2;
  int enabled;
  int checked;  // check boxes and radio buttons; 0 for the rest
  int window;   // the logical window it was drawn in
};

void UI_items_new_frame();
// Records an item with a hit box given in units of the current logical window.
void UI_item_add(const std::string& shown, float x1, float y1, float x2, float y2, int enabled,
                 int checked);
const std::vector<ui_item>& UI_items();
// The first item of this frame whose key or shown text is text, or null.
const ui_item* UI_item_find(const std::string& text);

// What the shell's trace and script hooks look at: the frame's own items, or,
// while a modal window runs the frames itself (it draws before each frame,
// and the frame's start empties the list), what it drew before this frame.
void UI_items_hold_for_scripts(int hold);
const std::vector<ui_item>& UI_items_seen();
const ui_item* UI_item_seen(const std::string& text);

// Translates key and remembers, for this frame, which key a shown text came
// from, so that items drawn with it carry the key.
std::string UI_tr(const std::string& key);
