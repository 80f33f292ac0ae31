// The focus ring, strips, panels, labels, buttons and check boxes against a
// recording GL table and a synthetic frame state.
#include "GenH/butn.h"

#include <algorithm>

#include "GenH/mnw.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_seams.h"
#include "OOPS_cpp/key_queue.h"
#include "UTL/localize.h"
#include "support/gl_harness.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

using fly_test::widget_frames;

int g_swaps = 0;
void count_swap() { ++g_swaps; }

struct box {
  float x1, y1, x2, y2;
};
// The bounds of everything drawn as quads since the last clear.
box quad_bounds(const fly_test::gl_recorder& rec) {
  box b{1e9f, 1e9f, -1e9f, -1e9f};
  for (const auto& p : rec.prims())
    for (auto [x, y] : p.v) {
      b.x1 = std::min(b.x1, x), b.y1 = std::min(b.y1, y);
      b.x2 = std::max(b.x2, x), b.y2 = std::max(b.y2, y);
    }
  return b;
}
// The widths of the quads of the first primitive, in drawing order.
std::vector<float> quad_widths(const fly_test::gl_recorder& rec) {
  std::vector<float> w;
  const auto prims = rec.prims();
  if (prims.empty()) return w;
  const auto& v = prims[0].v;
  for (size_t i = 0; i + 3 < v.size(); i += 4) w.push_back(v[i + 2].first - v[i].first);
  return w;
}

// A fake key-taking widget: a queue, registered each frame.
struct fake_widget {
  int id;
  int accept;
  BTN_key_queue q;
  int draw(int take = 0) {
    return BTN_register_focus(id, q.chars, q.vkeys, q.modifiers, q.ids, &q.count, q.capacity,
                              accept, take);
  }
};

}  // namespace

TEST(FocusRing, TabOrderWrapsBothWaysAndSkipsWhenRingEmpty) {
  widget_frames f;
  EXPECT_EQ(BTN_dispatch_to_focus(9, 9, 8), 0);  // empty ring: the keyboard layer handles Tab
  fake_widget a{11, 0x1F4}, b{22, 0x1F4}, c{33, 0x1F4};
  a.draw(), b.draw(), c.draw();
  EXPECT_EQ(BTN_dispatch_to_focus(9, 9, 8), 1);
  EXPECT_EQ(BTN_focus_id(), 11);
  EXPECT_EQ(BTN_dispatch_to_focus(9, 9, 8 | 1), 1);  // shift-Tab on the first: the last
  EXPECT_EQ(BTN_focus_id(), 33);
  EXPECT_EQ(BTN_dispatch_to_focus(9, 9, 8), 1);  // Tab on the last: the first
  EXPECT_EQ(BTN_focus_id(), 11);
  EXPECT_EQ(BTN_dispatch_to_focus(9, 9, 16), 0);  // a Tab key-up never moves the focus
  EXPECT_EQ(BTN_focus_id(), 11);
  EXPECT_EQ(BTN_dispatch_to_focus(13, 13, 8), 0);  // Return is the window's
  EXPECT_EQ(BTN_dispatch_to_focus(200, 0, 8), 1);  // 200 is "other printable"
  EXPECT_EQ(a.q.count, 1);
  mnw.window_type = 994;  // the alert takes its keys itself
  EXPECT_EQ(BTN_dispatch_to_focus('a', 'A', 8), 0);
}

TEST(FocusRing, WidgetNotDrawnLosesFocusAtNextKeyAndPressClearsFocus) {
  widget_frames f;
  fake_widget a{11, 0x1F4}, b{22, 0x1F4};
  a.draw(1), b.draw();
  EXPECT_EQ(BTN_focus_id(), 11);
  f.frame();
  b.draw();  // a is not drawn this frame
  EXPECT_EQ(BTN_dispatch_to_focus('x', 'X', 8), 0);
  EXPECT_EQ(BTN_focus_id(), 0);
  a.draw(1);
  f.click(500, 500);
  f.frame();  // the mouse-down clears it before anything is drawn
  EXPECT_EQ(BTN_focus_id(), 0);
  EXPECT_EQ(BTN_no_focus_yet(), 1);
  EXPECT_EQ(a.draw(), 0);
  EXPECT_EQ(b.draw(1), 1);  // the later taker wins
  EXPECT_EQ(BTN_key_class('+', 0), 0x80);
  EXPECT_EQ(BTN_key_class('7', 0), 0x40);
  EXPECT_EQ(BTN_key_class(1, 0), 0x200);
  EXPECT_EQ(BTN_key_class(0, 36), 0x10);
  EXPECT_EQ(BTN_key_class(0, 187), 0x2);
}

TEST(FocusRing, FullQueueDropsKeysInsteadOfWritingPastTheEnd) {
  widget_frames f;
  fake_widget a{11, 0x1F4};
  a.draw(1);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(BTN_dispatch_to_focus('a', 'A', 8), 1);
  EXPECT_EQ(a.q.count, 64);
}

TEST(Frames, StripWidthsCapsAndTiles) {
  widget_frames f;
  f.rec.clear();
  BTN_frame1(9, 100, 50, 41, 0);  // 41 -> 42, plus the field's 4
  box b = quad_bounds(f.rec);
  EXPECT_FLOAT_EQ(b.x1, 77);
  EXPECT_FLOAT_EQ(b.x2, 123);
  EXPECT_FLOAT_EQ(b.y1, 37);
  EXPECT_FLOAT_EQ(b.y2, 63);
  f.rec.clear();
  mnw.origin_x = 10, mnw.origin_y = 20;
  BTN_frame1(0, 100, 50, 200, 0);  // the menu bar sits 3 lower
  b = quad_bounds(f.rec);
  EXPECT_FLOAT_EQ(b.x1, 10);
  EXPECT_FLOAT_EQ(b.y1, 20 + 47 - 13);
  const auto w = quad_widths(f.rec);
  ASSERT_EQ(w.size(), 5u);  // cap, three tiles of 80 (the last cut to 20), cap
  EXPECT_FLOAT_EQ(w[0], 10);
  EXPECT_FLOAT_EQ(w[1], 80);
  EXPECT_FLOAT_EQ(w[3], 20);
  EXPECT_FLOAT_EQ(w[4], 10);
  f.rec.clear();
  mnw.origin_x = mnw.origin_y = 0;
  BTN_frame1(2, 0, 0, 20, 0);  // exactly two caps: no tile of zero width
  EXPECT_EQ(quad_widths(f.rec).size(), 2u);
  EXPECT_FATAL_ALERT(BTN_frame1(6, 0, 0, 10, 0), "Bad BTN_frame1 call!");
  EXPECT_EQ(fly_test::alerts().back().file, "butn");
  EXPECT_EQ(fly_test::alerts().back().line, 487);
  EXPECT_FATAL_ALERT(BTN_frame1(14, 0, 0, 10, 0), "Bad BTN_frame1 call!");
}

TEST(Frames, PanelsSubwinAndBadKinds) {
  widget_frames f;
  f.rec.clear();
  BTN_frame2(16, 10, 20, 300, 200, "", 1);
  const box b = quad_bounds(f.rec);
  EXPECT_FLOAT_EQ(b.x1, 1);
  EXPECT_FLOAT_EQ(b.x2, 319);
  EXPECT_FLOAT_EQ(b.y1, 6);
  EXPECT_FLOAT_EQ(b.y2, 224);
  float nx, ny;
  mnw.win_dx = 800, mnw.win_dy = 600;
  f.rec.clear();
  BTN_subwin(30, 16, -1, -1, -1, -1, "", &nx, &ny);
  const box s = quad_bounds(f.rec);
  EXPECT_FLOAT_EQ(s.x1, 10 - 9);
  EXPECT_FLOAT_EQ(s.x2, 790 + 9);
  EXPECT_FLOAT_EQ(s.y2, 600 - 28 - 30 + 4);
  EXPECT_FLOAT_EQ(nx, 800);
  EXPECT_FLOAT_EQ(ny, 600 - 28 - 30 + 10);
  EXPECT_FATAL_ALERT(BTN_frame2(13, 0, 0, 10, 10, "T", 1), "Bad BTN_frame2 call!");
  EXPECT_EQ(fly_test::alerts().back().s4, "T");
  EXPECT_EQ(fly_test::alerts().back().line, 552);
}

TEST(Frames, ZapBoxesHitAtTheirEdges) {
  widget_frames f;
  mnw.win_dx = 400, mnw.win_dy = 300;
  f.click(7, 295);
  f.frame();
  EXPECT_EQ(BTN_zap_boxes(0), 1);
  f.click(25, 281);
  f.frame();
  EXPECT_EQ(BTN_zap_boxes(0), 1);
  f.click(26, 290);
  f.frame();
  EXPECT_EQ(BTN_zap_boxes(0), 0);
  f.click(384 + 9, 290);
  f.frame();
  EXPECT_EQ(BTN_zap_boxes(1), 1);
}

TEST(Labels, SplitIntoMainSecondAndHelp) {
  std::string m, s, h;
  BTN_expand_label("x-resolution of movie|(pix) { The y-resolution is auto-set", &m, &s, &h);
  EXPECT_EQ(m, "x-resolution of movie");
  EXPECT_EQ(s, "(pix) ");
  EXPECT_EQ(h, "The y-resolution is auto-set");
  BTN_expand_label("|-I agree!", &m, &s, &h);
  EXPECT_EQ(m, "");
  EXPECT_EQ(s, "-I agree!");
  BTN_expand_label("plain", &m, &s, &h);
  EXPECT_EQ(m, "plain");
  EXPECT_EQ(s, "");
  EXPECT_EQ(h, "");
  BTN_expand_label("ends in {", &m, &s, &h);  // no help text past the end
  EXPECT_EQ(m, "ends in ");
  EXPECT_EQ(h, "");
  BTN_expand_label("main{ help a|b", &m, &s, &h);  // a "|" in the help splits nothing
  EXPECT_EQ(m, "main");
  EXPECT_EQ(s, "");
  EXPECT_EQ(h, "help a|b");
}

TEST(Labels, LongLabelsSplitNearTheMiddle) {
  widget_frames f;
  auto lines = [&](const std::string& text, int align) {
    f.rec.clear();
    BTN_util_draw_label(100, 50, align, text, 0);
    return f.rec.count("Begin");  // one batch of glyph quads per line drawn
  };
  EXPECT_EQ(lines("twelve chars", 0), 1);
  EXPECT_EQ(lines("aaaaa bbbbbbb ccccc", 0), 2);
  EXPECT_EQ(lines("aaaaa bbbbbbb ccccc", 1), 1);  // centred labels never split
  EXPECT_EQ(lines("-aaaaa bbbbbbb ccccc", 2), 1);
  EXPECT_EQ(lines("", 0), 0);
}

TEST(Buttons, ActionWidthHitBoxPressAndMenu) {
  widget_frames f;
  f.rec.clear();
  const float w = str_dx("Cancel") + 21;
  EXPECT_EQ(BTN_action(200, 100, 0, 0, 1, "Cancel{ help", "-"), 0);
  const ui_item* it = UI_item_find("Cancel");
  ASSERT_NE(it, nullptr);
  EXPECT_FLOAT_EQ(it->x2 - it->x1, w);  // the main text's width, not the raw label's
  EXPECT_FLOAT_EQ(it->y2 - it->y1, 20);

  const ogl_swap_fn saved_swap = OGL_swap_buffers;
  OGL_swap_buffers = count_swap;
  f.click(200 + w / 2, 110);  // the inclusive corner
  f.frame();
  f.rec.clear();
  EXPECT_EQ(BTN_action(200, 100, 0, 0, 1, "Cancel", "-"), 1);
  EXPECT_EQ(f.rec.prims().size(), 4u);  // face, label; then pressed face and label again
  EXPECT_EQ(g_swaps, 1);  // shown at once
  f.click(200, 111);
  f.frame();
  EXPECT_EQ(BTN_action(200, 100, 0, 0, 1, "Cancel", "-"), 0);
  f.click(200, 100);
  f.frame();
  f.rec.clear();
  EXPECT_EQ(BTN_action(200, 100, 0, 1, 1, "Cancel", "-"), 1);  // already pressed: no second face
  EXPECT_EQ(f.rec.prims().size(), 3u);
  EXPECT_EQ(g_swaps, 1);
  f.click(200, 100);
  f.frame();
  EXPECT_EQ(BTN_action(200, 100, 0, 0, 0, "Cancel", "-"), 1);  // style 0: no flash
  EXPECT_EQ(g_swaps, 1);
  OGL_swap_buffers = saved_swap;
  f.click(200, 100);
  f.frame();
  mnw.open_menu = 3;
  EXPECT_EQ(BTN_action(200, 100, 0, 0, 1, "Cancel", "-"), 0);
}

TEST(Buttons, CheckBoxRadioAndAdapters) {
  widget_frames f;
  int v = 0;
  f.click(108, 50);  // the box's right edge
  f.frame();
  EXPECT_EQ(BTN_bool(100, 50, &v, "Label|right", 0), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(UI_item_find("Label")->checked, 1);
  f.click(80, 50);  // on the label
  f.frame();
  EXPECT_EQ(BTN_bool(100, 50, &v, "Label|right", 0), 0);
  f.move(100, 50);
  f.frame();
  stls.help_text = "stale";
  BTN_bool(100, 50, &v, "Label", 0);
  EXPECT_EQ(stls.help_text, "");
  BTN_bool(100, 50, &v, "Label{ hover", 0);
  EXPECT_EQ(stls.help_text, "hover");

  int sel = 2;
  f.click(100, 50);
  f.frame();
  EXPECT_EQ(BTN_is_int(100, 50, &sel, 2, "two"), 1);  // a radio button cannot be switched off
  EXPECT_EQ(sel, 2);
  f.click(100, 50);
  f.frame();
  EXPECT_EQ(BTN_is_int(100, 50, &sel, 3, "three"), 1);
  EXPECT_EQ(sel, 3);

  bool b = true;
  f.click(100, 50);
  f.frame();
  BTN_xbol(100, 50, &b, "b");
  EXPECT_FALSE(b);
  f.click(100, 50);
  f.frame();
  BTN_xbol(100, 50, &b, "b");
  EXPECT_TRUE(b);

  std::vector<int> types{1, 3};
  std::vector<std::string> names{"a", "b"};
  EXPECT_EQ(BTN_type_from_vector(1, &types), 3);
  EXPECT_EQ(BTN_type_from_vector(2, &types), 0);  // out of range is checked
  EXPECT_EQ(BTN_name_from_vector(-1, &names), "");
  EXPECT_EQ(BTN_name_from_vector(0, &names), "a");
}

TEST(SmallWidgets, SliderTrackAndDial) {
  widget_frames f;
  f.rec.clear();
  BTN_frame0(6, 100, 50, 41);
  box b = quad_bounds(f.rec);
  EXPECT_FLOAT_EQ(b.y1, 25);
  EXPECT_FLOAT_EQ(b.y2, 75);
  EXPECT_FLOAT_EQ(b.x2 - b.x1, 20);
  f.rec.clear();
  BTN_frame0(6, 100, 50, 12);  // only the two caps
  EXPECT_EQ(f.rec.prims()[0].v.size(), 8u);
  EXPECT_FATAL_ALERT(BTN_frame0(6, 100.5f, 50, 41), "BTN_frame0 non-int x_center!");
  EXPECT_EQ(fly_test::alerts().back().line, 408);
  EXPECT_FATAL_ALERT(BTN_frame0(6, 100, 50.5f, 41), "BTN_frame0 non-int y_center!");
  EXPECT_FATAL_ALERT(BTN_frame0(5, 100, 50, 41), "Bad BTN_frame0 call!");

  float heading = 0;
  mnw.mouse_held = 1;
  f.move(320, 300);
  plot_dir(300, 300, &heading, 0);
  EXPECT_NEAR(heading, 90, 1e-3);
  f.move(300, 280);
  plot_dir(300, 300, &heading, 1);
  EXPECT_NEAR(heading, 180, 1e-3);
}

TEST(UiItems, WindowPixelsKeysAndFrameReset) {
  widget_frames f;
  mnw.origin_x = 100, mnw.origin_y = 50, mnw.scale = 2;
  mnw.window_type = 997;
  BTN_action(20, 30, 40, 0, 0, UI_tr("Continue"), "-");
  const ui_item* it = UI_item_find("Continue");
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(it->key, "Continue");
  EXPECT_FLOAT_EQ(it->x1, 200);  // (100 + 0) * 2
  EXPECT_FLOAT_EQ(it->y2, 180);  // (50 + 40) * 2
  EXPECT_EQ(it->window, 997);
  EXPECT_EQ(it->enabled, 1);
  f.frame();
  EXPECT_TRUE(UI_items().empty());
}

// A check box's "|second" label keeps its untranslated key in every language,
// so a script clicks it by the same name in all of them.
TEST(UiItems, ASecondTextKeepsItsKeyWhenTranslated) {
  fly_test::use_program_resources();
  UTL_translate_load(2);  // German
  widget_frames f;
  int on = 0;
  BTN_bool(250, 300, &on, UI_tr("|-I agree!"), 0);
  const ui_item* it = UI_item_find("-I agree!");
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(it->shown, "-Ich stimme zu!");
  UTL_translate_clear();
}
