// The menu slots the shell hit-tests: bar titles, submenus and the popup of
// the drop-down lists (slot 1519). Drawing and building menus belong to the
// menu bar; start-up only makes the empty slots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct item_struct {
  std::string text;  // empty: no item; "-": separator; "=": drawn, not selectable
  int value = 0;     // handed to the application's menu hook
  int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct menu_struct {
  std::string title;  // empty: an unused slot, never hit-tested
  int parent = -1;    // -1 a bar title, else the menu it hangs on
  int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<item_struct> items;
};

enum { menu_slot_count = 1520, menu_popup_slot = 1519 };

extern std::vector<menu_struct> menu;
extern int popup_menu_select, active_popup_code, select_popup_code;

// Mode 1: exactly 1520 cleared slots; any other mode does nothing.
void MACIBM_clear_menus(int mode);
