// The menu bar without a window: building menus by call and from menu files,
// the index limits, the drawing of the bar, the open menu and the popup
// against a recording GL table, and the menus' mouse handling on a scripted
// clock.
#include <functional>

#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "OGL/ogl_draw.h"
#include "UTL/resource.h"
#include "UTL/xtim.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

using fly_test::alert_record;

struct frame_call {
  int kind;
  float x, y, w, h;
};
struct icon_call {
  float cx, cy, tx, ty, hw, hh;
};
std::vector<frame_call> g_frame1, g_frame2;
std::vector<icon_call> g_icons;
std::vector<int> g_chosen;

uint64_t g_now_us = 0;
uint64_t fake_clock() { return g_now_us; }

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/");
    mnw.window_type = 0;
    mnw.window_dx = 800;
    mnw.window_dy = 600;
    mnw.origin_x = mnw.origin_y = 0;
    mnw.open_menu = -1;
    mnw.language = 0;
    MACIBM_clear_menus(1);
    g_frame1.clear(), g_frame2.clear(), g_icons.clear(), g_chosen.clear();
    menu_hooks.frame1 = [](int kind, float cx, float cy, float w, int) {
      g_frame1.push_back({kind, cx, cy, w, 0});
    };
    menu_hooks.frame2 = [](int kind, float x, float y, float w, float h, std::string, float) {
      g_frame2.push_back({kind, x, y, w, h});
    };
    menu_hooks.util_element = [](float cx, float cy, float tx, float ty, float hw, float hh, int) {
      g_icons.push_back({cx, cy, tx, ty, hw, hh});
    };
    menu_hooks.handlemenu = [](int value) { g_chosen.push_back(value); };
  }
  void TearDown() override {
    MACIBM_reset_menu_hooks();
    UTL_set_resource_folder("");
    xtim_set_clock(nullptr);
  }

  static int w(const std::string& text) { return static_cast<int>(str_dx(text)); }
  static const item_struct& item(int m, int i) { return menu[m].items[i]; }
  static void mouse_at(float x, float y) { mnw.mouse_x = x, mnw.mouse_y = y; }
  // The filled quads drawn in a colour: lower-left and upper-right corners.
  std::vector<std::array<float, 4>> fills() const {
    std::vector<std::array<float, 4>> out;
    for (const auto& p : rec.prims())
      if (p.mode == GL_QUADS && p.v.size() == 4)
        out.push_back({p.v[0].first, p.v[0].second, p.v[2].first, p.v[2].second});
    return out;
  }
  std::vector<std::array<float, 4>> lines() const {
    std::vector<std::array<float, 4>> out;
    for (const auto& p : rec.prims())
      if (p.mode == GL_LINES) out.push_back({p.v[0].first, p.v[0].second, p.v[1].first, p.v[1].second});
    return out;
  }

  fly_test::gl_recorder rec;
};

// The fatal alert stmt raises, caught so that the test goes on.
alert_record fatal_of(const std::function<void()>& stmt) {
  fly_test::expect_fatal scope;
  try {
    stmt();
  } catch (const fly_test::fatal_alert& fa) {
    return fa.rec;
  }
  ADD_FAILURE() << "no fatal alert";
  return {};
}

TEST_F(Menus, TitlesAreCutToFortyBytesOnACodePointAndLaidAlongTheBar) {
  const std::string long_title(45, 'T');
  MACIBM_create_menu(0, 0, long_title);
  EXPECT_EQ(menu[0].title, std::string(40, 'T'));
  MACIBM_create_menu(1, 0, std::string(40, 'F'));
  EXPECT_EQ(menu[1].title.size(), 40u);
  // "é" would straddle the cut at byte 40: the title ends before it.
  MACIBM_create_menu(2, 0, std::string(39, 'a') + "\xC3\xA9" + "zz");
  EXPECT_EQ(menu[2].title, std::string(39, 'a'));
  // A three-byte character at bytes 38..40 goes whole too.
  MACIBM_create_menu(3, 0, std::string(38, 'b') + "\xE2\x82\xAC");
  EXPECT_EQ(menu[3].title, std::string(38, 'b'));

  MACIBM_create_menu(0, 0, "File");
  MACIBM_create_menu(1, 0, "Edit");
  EXPECT_EQ(menu[0].parent, -1);
  EXPECT_EQ(menu[0].x1, 0);
  EXPECT_EQ(menu[0].x2, static_cast<int>(str_dx("File") + 30));
  EXPECT_EQ(menu[0].y1, 582);
  EXPECT_EQ(menu[0].y2, 600);
  EXPECT_EQ(menu[1].x1, menu[0].x2);
  EXPECT_EQ(menu[1].x2, static_cast<int>(menu[0].x2 + str_dx("Edit") + 30));
}

TEST_F(Menus, ATitleAfterPluginsBeginsWherePluginsBegins) {
  MACIBM_create_menu(0, 0, "File");
  MACIBM_create_menu(1, 0, "Plugins");
  MACIBM_create_menu(2, 0, "Help");
  EXPECT_EQ(menu[1].x1, menu[0].x2);
  EXPECT_EQ(menu[2].x1, menu[1].x1);
  MACIBM_create_menu(0, 0, "Again");  // index 0 starts the bar anew
  EXPECT_EQ(menu[0].x1, 0);
}

TEST_F(Menus, RowsAreTwelveHighSeparatorsTwoAndAllShareTheWidestWidth) {
  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 0, 10, "Open");
  MACIBM_append_menu(0, 1, 11, "-");
  MACIBM_append_menu(0, 2, 12, "A much longer item text");
  EXPECT_EQ(item(0, 0).y2, 580);
  EXPECT_EQ(item(0, 0).y1, 568);
  EXPECT_EQ(item(0, 1).y2, 568);
  EXPECT_EQ(item(0, 1).y1, 566);
  EXPECT_EQ(item(0, 2).y2, 566);
  EXPECT_EQ(item(0, 2).y1, 554);
  const int wide = static_cast<int>(str_dx("A much longer item text") + 40);
  EXPECT_GT(wide, 100);  // the fonts are measured, not stood in for
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(item(0, i).x1, 0);
    EXPECT_EQ(item(0, i).x2, wide);
  }
  EXPECT_EQ(item(0, 2).value, 12);
  // Short texts keep the least width of 40.
  MACIBM_create_menu(1, 0, "X");
  MACIBM_append_menu(1, 0, 1, "");
  EXPECT_EQ(item(1, 0).x2 - item(1, 0).x1, 40);
}

TEST_F(Menus, ASubmenuHangsOnItsItemAndItsFirstRowIsThatRowTwoLower) {
  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 0, 1, "Open");
  MACIBM_append_menu(0, 1, 2, "Recent");
  MACIBM_create_menu(4, 0 * 300 + 1, "Recent");
  EXPECT_EQ(menu[4].parent, 0);
  EXPECT_EQ(menu[4].x1, item(0, 1).x1);
  EXPECT_EQ(menu[4].y1, item(0, 1).y1);
  EXPECT_EQ(menu[4].x2, item(0, 1).x2);
  EXPECT_EQ(menu[4].y2, item(0, 1).y2);
  MACIBM_append_menu(4, 0, 7, "one.txt");
  EXPECT_EQ(item(4, 0).y1, menu[4].y1 - 2);
  EXPECT_EQ(item(4, 0).y2, menu[4].y2 - 2);
  MACIBM_append_menu(4, 1, 8, "two.txt");
  EXPECT_EQ(item(4, 1).y2, item(4, 0).y1);
}

TEST_F(Menus, RemovingAnItemMovesTheLaterOnesUpByItsHeight) {
  MACIBM_create_menu(0, 0, "File");
  for (int i = 0; i < 4; ++i) MACIBM_append_menu(0, i, i, i == 2 ? "-" : "Item " + std::to_string(i));
  const std::vector<item_struct> before = menu[0].items;
  MACIBM_remove_menu_item(0, 0);
  ASSERT_EQ(menu[0].items.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(item(0, i).text, before[i + 1].text);
    EXPECT_EQ(item(0, i).y1, before[i + 1].y1 + 12);
    EXPECT_EQ(item(0, i).y2, before[i + 1].y2 + 12);
  }
  MACIBM_remove_menu_item(0, 1);  // the separator: 2 units
  EXPECT_EQ(item(0, 1).y2, before[3].y2 + 14);
  // Past the end, negative indexes and unused slots change nothing.
  const std::vector<item_struct> now = menu[0].items;
  MACIBM_remove_menu_item(0, 2);
  MACIBM_remove_menu_item(0, 299);
  MACIBM_remove_menu_item(0, -1);
  MACIBM_remove_menu_item(-3, 0);
  MACIBM_remove_menu_item(7, 0);
  ASSERT_EQ(menu[0].items.size(), now.size());
  EXPECT_EQ(item(0, 1).y1, now[1].y1);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST_F(Menus, IndexLimitsAreFatalAlertsAndNegativeIndexesDoNothing) {
  alert_record a = fatal_of([] { MACIBM_create_menu(1520, 0, "Title"); });
  EXPECT_EQ(a.s1, "Menu index out of range in create_menu!");
  EXPECT_EQ(a.s4, "Title");
  EXPECT_EQ(a.file, "GenC/hl_mnw");
  EXPECT_EQ(a.line, 199);
  EXPECT_EQ(fatal_of([] { MACIBM_create_menu(-1, 0, "T"); }).line, 199);
  // A parent code naming a menu past the last slot, a negative one (what an
  // unreadable number gives) or an item its menu lacks.
  EXPECT_EQ(fatal_of([] { MACIBM_create_menu(3, 1520 * 300, "T"); }).s1,
            "Menu index out of range in create_menu!");
  EXPECT_EQ(fatal_of([] { MACIBM_create_menu(3, -1, "T"); }).line, 199);
  MACIBM_append_menu(2, 0, 0, "only item");
  EXPECT_EQ(fatal_of([] { MACIBM_create_menu(3, 2 * 300 + 1, "T"); }).line, 199);
  MACIBM_create_menu(3, 2 * 300 + 0, "T");  // the item that exists is fine
  EXPECT_EQ(menu[3].parent, 2);

  a = fatal_of([] { MACIBM_append_menu(1520, 0, 0, "text"); });
  EXPECT_EQ(a.s1, "Menu index out of range in append_menu!");
  EXPECT_EQ(a.s2 + a.s3, "");
  EXPECT_EQ(a.s4, "text");
  EXPECT_EQ(a.line, 239);
  a = fatal_of([] { MACIBM_append_menu(0, 300, 0, "text"); });
  EXPECT_EQ(a.s1, "Item index out of range in append_menu!");
  EXPECT_EQ(a.line, 240);
  a = fatal_of([] { MACIBM_remove_menu_item(1520, 0); });
  EXPECT_EQ(a.s1, "Menu index out of range in append_menu!");
  EXPECT_EQ(a.s2 + a.s3 + a.s4, "");
  EXPECT_EQ(a.line, 283);
  EXPECT_EQ(fatal_of([] { MACIBM_remove_menu_item(0, 300); }).line, 284);

  fly_test::clear_alerts();
  MACIBM_append_menu(-1, 0, 0, "x");
  MACIBM_append_menu(0, -1, 0, "x");
  MACIBM_clear_menu(-1);
  MACIBM_clear_menu(5000);
  MACIBM_clear_items(-7);
  MACIBM_clear_items(1520);
  EXPECT_TRUE(fly_test::alerts().empty());
  EXPECT_TRUE(menu[0].items.empty());
  EXPECT_EQ(menu.size(), 1520u);
}

TEST_F(Menus, ClearingRestoresEmptySlots) {
  MACIBM_create_menu(5, 0, "Five");
  MACIBM_append_menu(5, 3, 1, "x");
  MACIBM_clear_items(5);
  EXPECT_TRUE(menu[5].items.empty());
  EXPECT_EQ(menu[5].title, "Five");
  MACIBM_clear_menu(5);
  EXPECT_EQ(menu[5].title, "");
  EXPECT_EQ(menu[5].parent, -1);
  EXPECT_EQ(menu[5].x2, 0);
  MACIBM_create_menu(6, 0, "Six");
  MACIBM_clear_menus(2);  // any mode but 1 does nothing
  EXPECT_EQ(menu[6].title, "Six");
  MACIBM_clear_menus(1);
  EXPECT_EQ(menu.size(), 1520u);
  EXPECT_EQ(menu[6].title, "");
}

// Everything a test can compare of the menus.
std::string dump_menus() {
  std::string s;
  for (size_t i = 0; i < menu.size(); ++i) {
    const menu_struct& m = menu[i];
    if (m.title.empty() && m.items.empty()) continue;
    s += std::to_string(i) + ":" + m.title + "/" + std::to_string(m.parent) + " " +
         std::to_string(m.x1) + "," + std::to_string(m.y1) + "," + std::to_string(m.x2) + "," +
         std::to_string(m.y2) + "\n";
    for (const item_struct& it : m.items)
      s += "  " + std::to_string(it.value) + " [" + it.text + "] " + std::to_string(it.x1) + "," +
           std::to_string(it.y1) + "," + std::to_string(it.x2) + "," + std::to_string(it.y2) + "\n";
  }
  return s;
}

TEST_F(Menus, MenuFilesReadTheSameWithOrWithoutBlankLines) {
  const std::string tight =
      "I\n1 version\n"
      "0 File\n100 Open\n101 -\n102 Quit\n-\n"
      "0 Plugins\n200 Manage\n-\n"
      "1 Recent\n300 one.txt\n-\n";
  const std::string loose =
      "I\r\n1 version\r\n\r\n"
      "  0 File\r\n\t100 Open\r\n101 -\r\n\r\n   \r\n102 Quit\r\n-\r\n\n\n"
      "0 Plugins\n200 Manage\n-\n  \t \n"
      "1 Recent\n300 one.txt\n-\n\n\n";
  fly_test::write_file("data/menus/English/tight.txt", tight);
  fly_test::write_file("data/menus/English/loose.txt", loose);
  MACIBM_read_menus("data/", "tight.txt");
  const std::string a = dump_menus();
  MACIBM_clear_menus(1);
  MACIBM_read_menus("data/", "loose.txt");
  EXPECT_EQ(dump_menus(), a);

  EXPECT_EQ(menu[0].title, "File");
  ASSERT_EQ(menu[0].items.size(), 3u);
  EXPECT_EQ(item(0, 1).text, "-");
  EXPECT_EQ(item(0, 2).value, 102);
  EXPECT_EQ(menu[1].title, "Plugins");
  EXPECT_EQ(menu[2].parent, 0);  // code 1: menu 0, item 1
  EXPECT_EQ(menu[2].y1, item(0, 1).y1);
  EXPECT_EQ(item(2, 0).text, "one.txt");
  EXPECT_EQ(menu[3].title, "");
}

TEST_F(Menus, MenuFilesComeFromTheLanguageFolderAndAMissingOneIsFatal) {
  fly_test::write_file("menus/French/m.txt", "I\n1 version\n0 Fichier\n1 Ouvrir\n-\n");
  fly_test::write_file("menus/English/m.txt", "I\n1 version\n0 File\n1 Open\n");
  mnw.language = 1;
  MACIBM_read_menus("", "m.txt");
  EXPECT_EQ(menu[0].title, "Fichier");
  // Before a language is chosen the English file stands in; a file that ends
  // inside an item list keeps what it read.
  mnw.language = -1;
  MACIBM_read_menus("", "m.txt");
  EXPECT_EQ(menu[0].title, "File");
  EXPECT_EQ(item(0, 0).text, "Open");

  mnw.language = 2;
  alert_record a = fatal_of([] { MACIBM_read_menus("", "m.txt"); });
  EXPECT_EQ(a.s1, "Cannot open file!");
  EXPECT_EQ(a.s2, "menus/German/m.txt");
  EXPECT_EQ(a.s3, "Trash this copy and re-install Flyvane.");
  EXPECT_EQ(a.s4, "");
  EXPECT_EQ(a.line, 1152);
  fly_test::write_file("menus/German/m.txt", "I\n2 version\n0 Datei\n-\n");
  EXPECT_EQ(fatal_of([] { MACIBM_read_menus("", "m.txt"); }).s1, "Cannot open file!");
}

// The popup as a drop-down list lays it out: three rows of 12 over x 100..160.
void make_popup(const std::vector<std::string>& texts) {
  menu_struct& m = menu[menu_popup_slot];
  m.parent = -1;
  m.x1 = 100, m.x2 = 160, m.y1 = 200, m.y2 = 200 + 12 * static_cast<int>(texts.size());
  m.items.assign(texts.size(), item_struct());
  for (size_t i = 0; i < texts.size(); ++i) {
    item_struct& it = m.items[i];
    it.text = texts[i];
    it.x1 = 100, it.x2 = 160;
    it.y2 = static_cast<int16_t>(236 - 12 * i);
    it.y1 = static_cast<int16_t>(it.y2 - 12);
  }
  mnw.open_menu = menu_popup_slot;
}

TEST_F(Menus, ThePopupsBoxAndHoveredRowFollowItsItems) {
  make_popup({"alpha", "=header", "gamma"});
  mouse_at(130, 230);  // inside "alpha", rows 224..236
  EXPECT_EQ(MACIBM_menu_hover(), 0);
  mouse_at(130, 213);  // the "=" row is drawn but never hovered
  EXPECT_EQ(MACIBM_menu_hover(), -1);
  mouse_at(130, 211.5f);  // a row's top unit is not hovered...
  EXPECT_EQ(MACIBM_menu_hover(), -1);
  mouse_at(130, 211);  // ...one unit below its top is
  EXPECT_EQ(MACIBM_menu_hover(), 2);
  mouse_at(161, 205);
  EXPECT_EQ(MACIBM_menu_hover(), -1);

  mouse_at(100, 200);  // the lower-left corner of "gamma"
  rec.clear();
  standard_gui();
  EXPECT_EQ(m_x1, 100);
  EXPECT_EQ(m_x2, 160);
  EXPECT_EQ(m_y1, 198);
  EXPECT_EQ(m_y2, 238);
  ASSERT_EQ(g_frame2.size(), 1u);
  EXPECT_EQ(g_frame2[0].kind, 20);
  EXPECT_EQ(g_frame2[0].x, 100);
  EXPECT_EQ(g_frame2[0].y, 198);
  EXPECT_EQ(g_frame2[0].w, 60);
  EXPECT_EQ(g_frame2[0].h, 40);
  EXPECT_TRUE(g_frame1.empty());  // no bar behind a popup
  // The one plain fill is the hovered row (the popup has no title box);
  // the rest are glyphs.
  const auto f = fills();
  int rows = 0;
  for (const auto& q : f)
    if (q[0] == 100 && q[1] == 200 && q[2] == 160 && q[3] == 212) ++rows;
  EXPECT_EQ(rows, 1);

  // A popup with nothing to show draws no panel.
  g_frame2.clear();
  make_popup({""});
  standard_gui();
  EXPECT_EQ(m_x1 + m_y1 + m_x2 + m_y2, 0);
  EXPECT_TRUE(g_frame2.empty());
}

TEST_F(Menus, TheBarItsOpenMenuSeparatorsAndSubmenuMarksAreDrawn) {
  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 0, 1, "Open");
  MACIBM_append_menu(0, 1, 2, "-");
  MACIBM_append_menu(0, 2, 3, "Recent");
  MACIBM_create_menu(1, 0, "Edit");
  MACIBM_create_menu(2, 2, "Recent");
  menu[3].parent = 0;  // hangs on menu 0 but has no title: an unused slot
  rec.clear();
  standard_gui();  // nothing open, nothing drawn
  EXPECT_TRUE(rec.calls().empty());
  EXPECT_TRUE(g_frame1.empty());

  mnw.open_menu = 0;
  mouse_at(-50, -50);
  standard_gui();
  ASSERT_EQ(g_frame1.size(), 1u);
  EXPECT_EQ(g_frame1[0].kind, 0);
  EXPECT_EQ(g_frame1[0].x, 400);
  EXPECT_EQ(g_frame1[0].y, 591);
  EXPECT_EQ(g_frame1[0].w, 800);
  ASSERT_EQ(g_frame2.size(), 1u);
  EXPECT_EQ(g_frame2[0].y, item(0, 2).y1 - 2);
  // The open title's box, lit; offsets of the GL lines are half a pixel.
  const item_struct& sep = item(0, 1);
  const auto f = fills();
  EXPECT_NE(std::find(f.begin(), f.end(), std::array<float, 4>{0, 582, float(menu[0].x2), 600}),
            f.end());
  const auto l = lines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], (std::array<float, 4>{sep.x1 + .5f, sep.y1 + 1.5f, sep.x2 - .5f, sep.y1 + 1.5f}));
  EXPECT_EQ(l[1], (std::array<float, 4>{sep.x1 + .5f, sep.y1 + .5f, sep.x2 - .5f, sep.y1 + .5f}));
  ASSERT_EQ(g_icons.size(), 1u);
  EXPECT_EQ(g_icons[0].cx, menu[2].x2 - 8);
  EXPECT_EQ(g_icons[0].cy, menu[2].y1 + 6);
  EXPECT_EQ(g_icons[0].tx, 167);
  EXPECT_EQ(g_icons[0].ty, 187);
  EXPECT_EQ(g_icons[0].hw, 9);
}

TEST_F(Menus, OnlyTheFilledItemOfASparseMenuIsDrawnAndChosen) {
  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 5, 55, "Fifth");
  ASSERT_EQ(menu[0].items.size(), 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(item(0, i).text, "");
  mnw.open_menu = 0;
  float x1, y1, x2, y2;
  MACIBM_menu_box(0, &x1, &y1, &x2, &y2);
  EXPECT_EQ(y1, item(0, 5).y1 - 2);
  // The empty items are neither hovered nor chosen.
  mouse_at(item(0, 5).x1 + 5, item(0, 5).y1 + 5);
  EXPECT_EQ(MACIBM_menu_hover(), 5);
  mnw.mouse_clicked = 1;
  MACIBM_menu_mouse_down();
  EXPECT_EQ(g_chosen, std::vector<int>{55});
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 0);
}

TEST_F(Menus, ClicksOpenAndCloseTitlesChooseItemsAndSkipUnusedSlots) {
  mnw.mouse_clicked = 1;
  mouse_at(0, 0);  // the corner every unused slot's rectangle covers
  MACIBM_menu_mouse_down();
  EXPECT_EQ(MACIBM_menu_title_under_mouse(), -1);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 1);

  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 0, 41, "Open");
  mouse_at(5, 590);
  MACIBM_menu_mouse_down();
  EXPECT_EQ(mnw.open_menu, 0);
  EXPECT_EQ(mnw.mouse_clicked, 0);
  mnw.mouse_clicked = 1;
  MACIBM_menu_mouse_down();  // the open title again closes it
  EXPECT_EQ(mnw.open_menu, -1);

  MACIBM_menu_mouse_down();
  mnw.mouse_clicked = 1;
  mouse_at(400, 300);  // outside: closes, and the widgets get the click
  MACIBM_menu_mouse_down();
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 1);
  EXPECT_TRUE(g_chosen.empty());

  // Titles take clicks only in the application window; the popup works in
  // any window and hands its choice to the drop-down list.
  mnw.window_type = 998;
  mouse_at(5, 590);
  MACIBM_menu_mouse_down();
  EXPECT_EQ(mnw.open_menu, -1);
  make_popup({"a", "b", "c"});
  active_popup_code = 4242;
  mouse_at(120, 215);
  MACIBM_menu_mouse_down();
  EXPECT_EQ(popup_menu_select, 1);
  EXPECT_EQ(select_popup_code, 4242);
  EXPECT_EQ(active_popup_code, 0);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_TRUE(g_chosen.empty());
}

TEST_F(Menus, AReleaseChoosesOnlyMoreThanASecondAfterTheMenuOpened) {
  xtim_set_clock(fake_clock);
  g_now_us = 10'000'000;
  xtim_class::microsecs();
  xtim.xtim_update();  // the clock starts at 0 s

  MACIBM_create_menu(0, 0, "File");
  MACIBM_append_menu(0, 0, 7, "Open");
  mouse_at(5, 590);
  mnw.mouse_clicked = 1;
  MACIBM_menu_mouse_down();
  ASSERT_EQ(mnw.open_menu, 0);
  mnw.mouse_clicked = 0;

  mouse_at(10, 574);  // dragged onto "Open"
  g_now_us += 900'000;
  xtim.xtim_update();
  MACIBM_menu_mouse_up();
  EXPECT_EQ(mnw.open_menu, 0);  // a click: the menu stays open
  EXPECT_TRUE(g_chosen.empty());

  g_now_us += 200'000;
  xtim.xtim_update();
  MACIBM_menu_mouse_up();
  EXPECT_EQ(g_chosen, std::vector<int>{7});
  EXPECT_EQ(mnw.open_menu, -1);

  // Held over its own title and let go, the menu closes; elsewhere it stays.
  mouse_at(5, 590);
  mnw.mouse_clicked = 1;
  MACIBM_menu_mouse_down();
  mnw.mouse_clicked = 0;
  g_now_us += 1'500'000;
  xtim.xtim_update();
  mouse_at(300, 300);
  MACIBM_menu_mouse_up();
  EXPECT_EQ(mnw.open_menu, 0);
  mouse_at(5, 590);
  MACIBM_menu_mouse_up();
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(g_chosen.size(), 1u);
}

}  // namespace
