// The about box, the key-binding editor and the recorder's settings drawn
// for real, clicked through the frame state the widgets read.
#include "GenH/about.h"
#include "GenH/butn.h"
#include "GenH/keys.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "OOPS_cpp/qtim.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
// One frame of drawing; a click at (x, y) units when x >= 0.
template <class F>
void frame(F draw, float x = -1, float y = -1) {
  BTN_begin_focus_ring();
  mnw.mouse_clicked = x >= 0;
  if (x >= 0) {
    mnw.mouse_x = x;
    mnw.mouse_y = y;
  }
  draw();
  mnw.mouse_clicked = 0;
}
float centre_x(const ui_item* i) { return (i->x1 + i->x2) / 2 - mnw.origin_x; }
float centre_y(const ui_item* i) { return (i->y1 + i->y2) / 2 - mnw.origin_y; }
}  // namespace

TEST_F(GlWindow, AboutBoxOffersTheUpdateOnlyWhenThereIsAnInstallerAndClickStartsIt) {
  MACIBM_startwind(993, 0);
  about_state st;
  st.version_str_found = 1;
  st.version_str_net = "9.30";
  st.is_latest = 0;
  st.ins_state = 1;
  const auto draw = [&st] { MACIBM_about_frame(st); };
  frame(draw);
  const ui_item* update = UI_item_find("Update Flyvane!");
  ASSERT_TRUE(update);
  ASSERT_TRUE(UI_item_find("Visit www.tessaline-labs.example for news and updates!"));
  frame(draw, centre_x(update), centre_y(update));
  EXPECT_EQ(st.ins_state, 2);  // downloading
  st.ins_state = 4;
  st.err_msg = "Your version of Flyvane is up to date.";
  frame(draw);
  EXPECT_FALSE(UI_item_find("Update Flyvane!"));
  st.ins_state = 1;
  st.is_beta = 1;
  frame(draw);
  EXPECT_TRUE(UI_item_find(" Get New Beta! "));
}

TEST_F(GlWindow, KeyBindingPanelSelectsTakesKeysAndDeletesWithoutAdding) {
  MACIBM_startwind(0, 0);
  keys.bindings.clear();
  keys_wind_st = keys_wind_state();
  const auto draw = [] { keys.keys_wind(0); };
  frame(draw);
  const ui_item* add = UI_item_find("Add New Key Assignment");
  ASSERT_TRUE(add);
  const float ax = centre_x(add), ay = centre_y(add);
  frame(draw, ax, ay);
  frame(draw, ax, ay);
  ASSERT_EQ(keys.bindings.size(), 2u);
  EXPECT_FALSE(UI_item_find("Delete Selected Key Assignment"));

  frame(draw, 78, 689);  // the first row
  EXPECT_EQ(keys_wind_st.key_edit, 0);
  keys.last_key = 65;
  keys.last_modifiers = 1;
  mnw.key_hit = 1;
  frame(draw);
  mnw.key_hit = 0;
  EXPECT_EQ(keys.bindings[0].vkey, 65);
  EXPECT_EQ(keys.bindings[0].flags, 1);
  frame(draw);  // the row shows its new key from the next frame on
  bool shown = false;
  for (const ui_item& i : UI_items()) shown = shown || i.shown.find("SHIFT A") != std::string::npos;
  EXPECT_TRUE(shown);

  const ui_item* del = UI_item_find("Delete Selected Key Assignment");
  ASSERT_TRUE(del);
  frame(draw, centre_x(del), centre_y(del));
  EXPECT_EQ(keys.bindings.size(), 1u);  // deleted, and nothing added
  EXPECT_EQ(keys_wind_st.key_edit, -1);
  keys.bindings.clear();
}

TEST_F(GlWindow, RecorderSettingsPanelStopsARecordingAndDraws) {
  MACIBM_startwind(0, 0);
  const auto draw = [] { qtim.qtim_wind(); };
  frame(draw);
  EXPECT_EQ(qtim.state, 0);
  EXPECT_FALSE(UI_items().empty());  // its number fields
}
