// Drop-down lists with the popup hand-over, the scrolling list with
// type-ahead, the character grid and the tabs.
#include <vector>

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

using fly_test::widget_frames;

// What the menu layer does when the user picks item i of the open popup.
void menu_layer_picks(int i) {
  popup_menu_select = i;
  select_popup_code = active_popup_code;
  active_popup_code = 0;
  mnw.open_menu = -1;
}

std::vector<std::string> g_rows;
std::string row_text(int r, void*) { return g_rows.at(static_cast<size_t>(r)); }

int list(int* centre, int* selected, int first, int last) {
  return BTN_list_and_search(0, 10, 180, 0, 0, centre, selected, first, last, nullptr, "",
                             row_text, nullptr, nullptr, nullptr, nullptr, nullptr);
}

int rows_drawn() {
  int n = 0;
  for (const ui_item& it : UI_items()) n += it.x1 == 10 && it.x2 == 300;
  return n;
}

}  // namespace

TEST(TextList, EntriesSelectionClampAndOverflow) {
  widget_frames f;
  int sel = 7;
  BTN_textlist(200, 200, &sel, "one-two-three", "");
  EXPECT_EQ(sel, 2);
  sel = -1;
  BTN_textlist(200, 200, &sel, "-a-b", "");
  EXPECT_EQ(sel, 0);
  EXPECT_NE(UI_item_find(""), nullptr);  // entry 0 is empty
  std::string many(299, '-');
  BTN_textlist(200, 200, &sel, many, "");  // 300 entries are fine
  EXPECT_FATAL_ALERT(BTN_textlist(200, 200, &sel, many + "-", "lbl"), "BTN_text_list overflow!");
  EXPECT_EQ(fly_test::alerts().back().s4, "lbl");
  EXPECT_EQ(fly_test::alerts().back().line, 937);
  EXPECT_FATAL_ALERT(BTN_textlist(200, 200, &sel, "a|b", ""), "Found | char in text string!");
  EXPECT_EQ(fly_test::alerts().back().line, 933);
}

TEST(TextList, GermanFieldIsNarrower) {
  widget_frames f;
  mnw.language = 2;
  int sel = 0;
  const std::string e = "a rather wide entry";
  const float w = static_cast<float>(static_cast<int>(str_dx(e)));
  BTN_textlist(200, 200, &sel, e, "");
  const ui_item* it = UI_item_find(e);
  ASSERT_NE(it, nullptr);
  EXPECT_FLOAT_EQ(it->x2 - it->x1, w * 0.9f + 30);
}

TEST(TextList, PopupHandOverThroughSlot1519) {
  widget_frames f;
  int sel = 1;
  f.click(210, 203);
  f.frame();
  EXPECT_EQ(BTN_textlist(200, 200, &sel, "a-b-c", ""), 0);
  const int code = static_cast<int>(200 * 1024 + 200);
  EXPECT_EQ(active_popup_code, code);
  EXPECT_EQ(mnw.open_menu, menu_popup_slot);
  ASSERT_EQ(menu[menu_popup_slot].items.size(), 3u);
  EXPECT_EQ(menu[menu_popup_slot].items[1].text, "b");
  EXPECT_EQ(menu[menu_popup_slot].items[1].y1, 197);  // the chosen entry lies on the field
  EXPECT_EQ(menu[menu_popup_slot].items[0].y1, 209);

  // A popup that does not fit creeps, without moving the caller's selection.
  int low = 0;
  f.release();
  f.frame();
  mnw.open_menu = -1;
  active_popup_code = static_cast<int>(5 * 1024 + 200);
  for (int i = 0; i < 5; ++i) {
    f.frame();
    BTN_textlist(200, 5, &low, "a-b-c-d", "");
  }
  EXPECT_EQ(low, 0);
  EXPECT_GE(menu[menu_popup_slot].items.back().y1, 0);

  menu_layer_picks(3);
  f.frame();
  EXPECT_EQ(BTN_textlist(200, 5, &low, "a-b-c-d", ""), 1);
  EXPECT_EQ(low, 3);
  EXPECT_EQ(select_popup_code, 0);
  active_popup_code = code;
  menu_layer_picks(40);  // out of range: clamped
  f.frame();
  EXPECT_EQ(BTN_textlist(200, 200, &sel, "a-b-c", ""), 1);
  EXPECT_EQ(sel, 2);
}

TEST(TextList, AClickOutsideThePopupClosesItAndChangesNothing) {
  widget_frames f;
  int sel = 1;
  f.click(210, 203);
  f.frame();
  BTN_textlist(200, 200, &sel, "a-b-c", "");
  ASSERT_EQ(mnw.open_menu, menu_popup_slot);
  f.release();
  f.frame();
  BTN_textlist(200, 200, &sel, "a-b-c", "");
  f.click(500, 500);
  f.frame();
  MACIBM_menu_mouse_down();  // the frame loop's handling of the click
  EXPECT_EQ(BTN_textlist(200, 200, &sel, "a-b-c", ""), 0);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(active_popup_code, 0);
  EXPECT_EQ(sel, 1);
}

TEST(ScrollList, RowsClicksAndDoubleClick) {
  widget_frames f;
  g_rows.clear();
  for (int i = 0; i < 50; ++i) g_rows.push_back("row " + std::to_string(i));
  int centre = 25, selected = 25;
  list(&centre, &selected, 0, 49);
  EXPECT_EQ(rows_drawn(), 21);
  f.click(100, 185);  // 5 above the centre line: the row above
  f.frame();
  EXPECT_EQ(list(&centre, &selected, 0, 49), 0);
  EXPECT_EQ(selected, 24);
  f.release();
  f.frame();
  f.click(100, 185);
  f.frame(0.1f);
  EXPECT_EQ(list(&centre, &selected, 0, 49), 1);  // the second click of a double-click
  mnw.wheel_total = 3;
  f.move(100, 180);
  f.frame();
  list(&centre, &selected, 0, 49);
  EXPECT_EQ(centre, 22);
  EXPECT_EQ(mnw.wheel_total, 0);
  EXPECT_EQ(list(&centre, &selected, 5, 4), 0);  // empty: nothing drawn
}

TEST(ScrollList, ArrowKeysAndTypeAheadWithTheClock) {
  widget_frames f;
  g_rows = {"alpha", "Beta", "bravo", "BRick", "charlie", "delta"};
  int centre = 0, selected = 0;
  f.click(100, 180);
  f.frame();
  list(&centre, &selected, 0, 5);
  f.key(31, 40);
  f.key(31, 40);
  f.frame();
  list(&centre, &selected, 0, 5);
  EXPECT_EQ(selected, 2);
  f.key(30, 38);
  f.frame();
  list(&centre, &selected, 0, 5);
  EXPECT_EQ(selected, 1);
  f.type("b");
  f.frame(0.3f);
  list(&centre, &selected, 0, 5);
  f.type("R");
  f.frame(0.3f);
  list(&centre, &selected, 0, 5);
  EXPECT_EQ(selected, 2);  // "br" in any case: bravo
  f.type("i");
  f.frame(0.3f);
  list(&centre, &selected, 0, 5);
  EXPECT_EQ(selected, 3);
  f.advance(1.5f);
  f.type("d");
  f.frame();
  list(&centre, &selected, 0, 5);
  EXPECT_EQ(selected, 5);  // a new search for "d" alone
}

TEST(CharGrid, ArrowsTypingAndClicks) {
  widget_frames f;
  char cells[3] = {'A', '-', 'x'};
  BTN_chars(100, 100, cells, 0, "");  // no cells: nothing happens
  f.click(101, 103);  // focus on cell 0
  f.frame();
  BTN_chars(100, 100, cells, 3, "");
  f.key(30, 38);
  f.frame();
  BTN_chars(100, 100, cells, 3, "");
  EXPECT_EQ(cells[0], '9');
  f.key(29, 39);
  f.key(31, 40);
  f.frame();
  BTN_chars(100, 100, cells, 3, "");
  EXPECT_EQ(cells[1], ' ');
  f.type("q");
  f.frame();
  BTN_chars(100, 100, cells, 3, "");
  EXPECT_EQ(cells[1], 'Q');
  f.click(125, 120);  // above cell 2: one back in the alphabet
  f.frame();
  BTN_chars(100, 100, cells, 3, "");
  EXPECT_EQ(cells[2], 'W');
}

TEST(Tabs, HitBoxIsLopsided) {
  widget_frames f;
  int cur = 0;
  const float cx = 88 * 1 + 53, cy = 768 - 38;
  f.click(cx - 50, cy);
  f.frame();
  EXPECT_EQ(BTN_tab(1, 0, &cur, 4, "tab"), 1);
  EXPECT_EQ(cur, 4);
  f.click(cx + 41, cy);
  f.frame();
  EXPECT_EQ(BTN_tab(1, 0, &cur, 5, "tab"), 0);
  EXPECT_EQ(cur, 4);
}
