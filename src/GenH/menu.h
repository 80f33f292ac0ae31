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

// ---- building menus. Index limits: menu 0..1519, item 0..299; a submenu
// hangs on the item named by its parent code, menu * 300 + item.

enum { menu_item_count = 300 };

void MACIBM_clear_menu(int index);   // title empty, parent -1, rectangle 0, no items
void MACIBM_clear_items(int index);  // every item removed
// parent_code 0: a title on the bar, placed after the previous one (index 0
// starts the bar again); otherwise a submenu over the item it hangs on.
void MACIBM_create_menu(int index, int parent_code, std::string title);
// Sets item `item` (growing the list with empty items) and lays the menu out.
void MACIBM_append_menu(int menu_index, int item, int value, std::string text);
// Removes one item; the later ones move up into its place.
void MACIBM_remove_menu_item(int menu_index, int item);
// Builds menus 0, 1, ... from base + "menus/" + language folder + name.
void MACIBM_read_menus(std::string base, std::string name);

// ---- drawing: the bar and the open menu, once a frame after the hover help.
void standard_gui();
extern float m_x1, m_y1, m_x2, m_y2;  // box of the open menu as last drawn
// The box standard_gui draws for a menu (0, 0, 0, 0 without items).
void MACIBM_menu_box(int index, float* x1, float* y1, float* x2, float* y2);
// The item of the open menu the mouse hovers over (-1 none): the last
// selectable one, its top row excluded.
int MACIBM_menu_hover();

// An item's key-shortcut label (none in this program) and whether it may be
// chosen (always).
void get_check_cmnd(int menu_index, int item, int* command, std::string* label);
int accept_item(int item);

// ---- the menus' part of the mouse handling (the frame's mouse-down and
// mouse-up hand over to these).
// The title that takes a click: a slot of 0..1518 with a title, on the bar or
// hanging on the open menu, whose rectangle holds the mouse; -1 none.
int MACIBM_menu_title_under_mouse();
// Mouse down in logical window mnw.window_type: opens or closes a title, or
// chooses an item of the open menu (then the widgets do not see the click),
// or closes the open menu and leaves the click to the widgets.
void MACIBM_menu_mouse_down();
// Mouse up: within a second of opening nothing; then over the open title it
// closes, over an item it chooses, elsewhere the menu stays open.
void MACIBM_menu_mouse_up();
// Chooses item `item` of the open menu: the popup hands its index to the
// drop-down list, any other menu its value to the application.
void MACIBM_menu_choose(int item);

// What the menus call of the widgets and the application; defaults stand in
// until those are wired in (the widgets' BTN_frame1, BTN_frame2 and
// BTN_util_element, the application's APP_handlemenu).
struct menu_hooks_class {
  void (*frame1)(int kind, float cx, float cy, float width, int colour);
  void (*frame2)(int kind, float x, float y, float width, float height, std::string title,
                 float alpha);
  void (*util_element)(float cx, float cy, float tex_x, float tex_y, float half_w, float half_h,
                       int colour);
  void (*handlemenu)(int value);
};
extern menu_hooks_class menu_hooks;
void MACIBM_reset_menu_hooks();
