// The file chooser: its helpers, and its modal loop with a scripted user.
#include "OOPS_cpp/butn_opensave.h"

#include <algorithm>

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

using fly_test::widget_frames;

// A scripted step that clicks the item shown as text in the frame just drawn.
std::function<void(widget_frames&)> click_on(const std::string& text) {
  return [text](widget_frames& f) {
    const ui_item* it = UI_item_find(text);
    ASSERT_NE(it, nullptr) << text;
    f.click((it->x1 + it->x2) / 2, (it->y1 + it->y2) / 2);
  };
}
std::function<void(widget_frames&)> release() {
  return [](widget_frames& f) { f.release(); };
}
std::function<void(widget_frames&)> key(int ch, int vkey) {
  return [ch, vkey](widget_frames& f) { f.key(ch, vkey); };
}
void double_click(widget_frames& f, const std::string& text) {
  f.script.push_back(click_on(text));
  f.script.push_back(release());
  f.script.push_back(click_on(text));
  f.script.push_back(release());
}

void make_tree() {
  fly_test::write_file("file.txt", "x");
  fly_test::write_file("sub/inner.acf", "y");
  fly_test::write_file("sub/deeper/z.txt", "z");
}

}  // namespace

TEST(Chooser, StartFolderSaveNamesLevelsAndUp) {
  EXPECT_EQ(BTN_opensave_start_folder(9, "Output/situations/a.sit"), "Output/situations/");
  EXPECT_EQ(BTN_opensave_start_folder(9, "a.sit"), "");
  EXPECT_EQ(BTN_opensave_start_folder(9, ""), "Output/situations/");
  EXPECT_EQ(BTN_opensave_start_folder(0, "A/"), "A/");
  EXPECT_EQ(BTN_opensave_save_name(9, "flight.txt"), "flight.SIT");
  EXPECT_EQ(BTN_opensave_save_name(19, "abc"), "abc.TXT");
  EXPECT_EQ(BTN_opensave_save_name(0, "plan.fms"), "plan");

  opensave_levels lv = BTN_opensave_levels("A/B/");
  EXPECT_EQ(lv.entries, "Skysuite folder-A-B");
  EXPECT_EQ(lv.level, 2);
  EXPECT_EQ(lv.table.at(1), "A/");
  EXPECT_EQ(BTN_opensave_levels("").level, 0);
  lv = BTN_opensave_levels("my-dir/pipe|dir/");
  EXPECT_EQ(lv.entries, "Skysuite folder-my dir-pipe dir");  // neither "-" nor "|" splits
  std::string deep;
  for (int i = 0; i < 310; ++i) deep += "d/";
  lv = BTN_opensave_levels(deep);
  EXPECT_EQ(lv.table.size(), 300u);  // entries and table stop together at the limit
  EXPECT_EQ(std::count(lv.entries.begin(), lv.entries.end(), '-'), 299);
  widget_frames f;
  int sel = lv.level;
  BTN_textlist(150, 434, &sel, lv.entries, "");  // the drop-down takes it

  EXPECT_EQ(BTN_opensave_up("A/B/"), "A/");
  EXPECT_EQ(BTN_opensave_up("A/"), "");
  EXPECT_EQ(BTN_opensave_up(""), "");
}

TEST(Chooser, DoubleClickEntersAFolderAndOpensAFile) {
  make_tree();
  widget_frames f;
  double_click(f, "sub");
  double_click(f, "inner.acf");
  std::string path = "file.txt";
  EXPECT_EQ(BTN_opensave(998, 0, &path), 1);
  EXPECT_EQ(path, "sub/inner.acf");
  EXPECT_EQ(mnw.window_type, 0);
}

TEST(Chooser, EscapeRestoresTheWindowAndKeepsThePath) {
  make_tree();
  widget_frames f;
  mnw.window_type = 5;
  f.script.push_back(key(27, 27));
  std::string path = "file.txt";
  EXPECT_EQ(BTN_opensave(998, 3, &path), 0);
  EXPECT_EQ(path, "file.txt");
  EXPECT_EQ(mnw.window_type, 5);
  f.frame();
  mnw.window_type = 5;
  EXPECT_EQ(BTN_opensave(998, 0, &path), 0);  // closed by the user: nothing restored
  EXPECT_EQ(mnw.window_type, 0);
}

TEST(Chooser, BackspaceGoesUpUnlessTheNameFieldTakesIt) {
  make_tree();
  widget_frames f;
  f.script.push_back(key(8, 8));
  f.script.push_back([](widget_frames&) { EXPECT_NE(UI_item_find("deeper"), nullptr); });
  f.script.push_back(key(8, 8));
  f.script.push_back([](widget_frames&) { EXPECT_NE(UI_item_find("file.txt"), nullptr); });
  f.script.push_back(key(8, 8));  // at the application folder: nothing
  f.script.push_back([](widget_frames&) { EXPECT_NE(UI_item_find("file.txt"), nullptr); });
  f.script.push_back(key(27, 27));
  std::string path = "sub/deeper/";
  EXPECT_EQ(BTN_opensave(998, 0, &path), 0);
  EXPECT_GE(f.event_procs, 3);

  widget_frames g;  // Save: the file-name field has the focus and takes Backspace
  g.script.push_back([](widget_frames& w) { w.type("ab"); });
  g.script.push_back(key(8, 8));
  g.script.push_back(key(13, 13));
  path = "sub/x.txt";
  EXPECT_EQ(BTN_opensave(999, 19, &path), 1);
  EXPECT_EQ(path, "sub/a.TXT");
}

TEST(Chooser, SaveNeedsANameAndAddsTheExtension) {
  widget_frames f;
  f.script.push_back(key(13, 13));  // no name: nothing
  f.script.push_back([](widget_frames& w) { w.type("flight.txt"); });
  f.script.push_back(click_on("Save"));
  std::string path;
  EXPECT_EQ(BTN_opensave(999, 9, &path), 1);
  EXPECT_EQ(path, "Output/situations/flight.SIT");
  EXPECT_EQ(f.event_procs, 3);
}

TEST(Chooser, DropDownChoosesALevel) {
  make_tree();
  widget_frames f;
  f.script.push_back([](widget_frames&) {
    // What the menu layer does when the user picks entry 1 ("sub").
    popup_menu_select = 1;
    select_popup_code = static_cast<int>(434 * 1024 + 150);
  });
  f.script.push_back([](widget_frames&) { EXPECT_NE(UI_item_find("deeper"), nullptr); });
  f.script.push_back(key(27, 27));
  std::string path = "sub/deeper/z.txt";
  EXPECT_EQ(BTN_opensave(998, 0, &path), 0);
}

TEST(Chooser, BadArgumentsAndPreviewOfShortFiles) {
  widget_frames f;
  std::string p;
  EXPECT_FATAL_ALERT(BTN_opensave(997, 0, &p), "Bad open_save arg to BTN_opensave!");
  EXPECT_EQ(fly_test::alerts().back().line, 1720);
  EXPECT_FATAL_ALERT(BTN_opensave(998, 22, &p), "Bad file_type arg to BTN_opensave!");
  EXPECT_FATAL_ALERT(BTN_select_path_stl(0, 0, 1, 0, &p, 10, "", 100, 0),
                     "Bad open_save arg to BTN_select_file_stl!");
  EXPECT_EQ(fly_test::alerts().back().line, 774);
  char buf[500] = "";
  EXPECT_FATAL_ALERT(BTN_select_path_chr(0, 0, 998, -1, buf, 500, "", 100, 0),
                     "Bad file_type arg to BTN_select_file_chr!");
  // A vehicle file whose header is accepted but that ends right after it.
  fly_test::write_file("v.acf", std::string("i") + std::string("\x84\x03\x00\x00", 4) + "short");
  stand_io_dialog(998, 3, "v.acf");
  fly_test::write_file("p.fdr", "I\n1 version\nTITLE, x\n  comm,  the comment\n");
  stand_io_dialog(998, 8, "p.fdr");
  BTN_modal = {nullptr, nullptr};  // no shell: nothing to choose with
  p = "keep";
  EXPECT_EQ(BTN_opensave(998, 0, &p), 0);
  EXPECT_EQ(p, "keep");
}

TEST(Chooser, PathFieldShowsTheLastComponentAndLongResultsAreCut) {
  widget_frames f;
  std::string path = "Output/situations/a.SIT";
  BTN_select_path_stl(100, 100, 998, 9, &path, 40, "Situation", 200, 0);
  EXPECT_NE(UI_item_find("a.SIT"), nullptr);
  f.click(150, 102);
  f.frame();
  BTN_select_path_stl(100, 100, 998, 9, &path, 40, "Situation", 200, 0);
  f.type("b.SIT");
  f.frame();
  EXPECT_EQ(BTN_select_path_stl(100, 100, 998, 9, &path, 40, "Situation", 200, 0), 0);
  EXPECT_EQ(path, "a.SITb.SIT");  // the edited text replaces the whole path

  char small[8] = "\xC3\xA9\xC3\xA9\xC3\xA9";  // three 2-byte characters in 7 bytes
  f.frame();
  BTN_select_path_chr(100, 200, 998, 20, small, 6, "", 200, 0);
  EXPECT_STREQ(small, "\xC3\xA9\xC3\xA9");  // 5 bytes allowed: cut before the third character
}
