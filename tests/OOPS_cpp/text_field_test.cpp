// The text field against a recording GL table and a synthetic frame state:
// focus, clicks, typing, the length cut and the key queue's faults.
#include <string>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/ogle_field.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

using fly_test::widget_frames;

int field(std::string* s, int max_len = 40, float x = 100, float y = 100, int auto_focus = 0) {
  return BTN_enterstring(x, y, s, max_len, "Name", 200, auto_focus);
}

// Focuses the field at (100, 100) by Tab; it is then drawn once.
void tab_in(widget_frames& f, std::string* s) {
  field(s);
  f.key(9);
  f.frame();
  field(s);
  ASSERT_NE(BTN_focus_id(), 0);
}

}  // namespace

TEST(TextField, TabSelectsAllClickPlacesTheCaret) {
  widget_frames f;
  std::string s = "abcd";
  tab_in(f, &s);
  f.type("x");
  f.frame();
  EXPECT_EQ(field(&s), 1);
  EXPECT_EQ(s, "x");  // the whole text was selected

  std::string t = "abcd";
  f.frame();
  BTN_enterstring(100, 300, &t, 40, "Other", 200, 0);
  f.click(100 + str_dx("ab") + 0.5f, 102);
  f.frame();
  BTN_enterstring(100, 300, &t, 40, "Other", 200, 0);  // not under the click
  EXPECT_EQ(BTN_focus_id(), 0);
  f.click(100 + str_dx("ab") + 0.5f, 302);
  f.frame();
  BTN_enterstring(100, 300, &t, 40, "Other", 200, 0);
  f.type("X");
  f.frame();
  BTN_enterstring(100, 300, &t, 40, "Other", 200, 0);
  EXPECT_EQ(t, "abXcd");
}

TEST(TextField, HitBoxIsEightUnitsHigh) {
  widget_frames f;
  std::string s = "abc";
  f.click(150, 109);
  f.frame();
  field(&s);
  EXPECT_EQ(BTN_focus_id(), 0);
  f.click(150, 108);
  f.frame();
  field(&s);
  EXPECT_EQ(BTN_focus_id(), 100 + 100 * 8192);
}

TEST(TextField, TwoByteCharacterInsertedAndRemovedWhole) {
  widget_frames f;
  std::string s;
  tab_in(f, &s);
  f.key(233, 0);
  f.frame();
  field(&s);
  EXPECT_EQ(s, "\xC3\xA9");
  f.key(8, 8);
  f.frame();
  field(&s);
  EXPECT_EQ(s, "");
}

TEST(TextField, ControlKeysInsertNothingAndWindowKeysPassThrough) {
  widget_frames f;
  std::string s = "ab";
  tab_in(f, &s);
  f.key(29, 39);  // right arrow: the selection collapses to the end
  f.key(1, 36);   // Home as the layer types it
  f.key(4, 35);   // End
  f.key(11, 33);  // Page Up
  f.key(127, 46); // forward Delete
  f.key(0xD800, 0);
  f.frame();
  field(&s);
  EXPECT_EQ(s, "ab");
  f.key(13, 13);
  f.key(27, 27);
  f.frame();
  field(&s);
  EXPECT_EQ(return_hit, 1);
  EXPECT_EQ(escape_hit, 1);
  EXPECT_EQ(s, "ab");
}

TEST(TextField, LengthCutKeepsTheFirstBytesAndWholeCharacters) {
  widget_frames f;
  std::string s = "abcde";
  tab_in(f, &s);
  f.key(29, 39);
  f.frame();
  field(&s, 5);
  f.type("f");
  f.frame();
  EXPECT_EQ(field(&s, 5), 1);
  EXPECT_EQ(s, "abcde");
  for (int i = 0; i < 3; ++i) f.key(28, 37);  // left three times: between b and c
  f.type("X");
  f.frame();
  field(&s, 5);
  EXPECT_EQ(s, "abXcd");
  s = "abc\xC3\xA9";  // 5 bytes; the caret goes to the end and one more byte does not fit
  f.frame();
  field(&s, 5);
  f.key(29, 39);
  f.key(29, 39);
  f.frame();
  field(&s, 5);
  f.key(0xE9, 0);
  f.frame();
  field(&s, 6);
  EXPECT_EQ(s, "abc\xC3\xA9");  // a 2-byte character does not fit in one byte: cut whole
}

TEST(TextField, OneKeyAFrameForAHundredFramesAllArrive) {
  widget_frames f;
  std::string s;
  tab_in(f, &s);
  std::string want;
  for (int i = 0; i < 100; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    want += c;
    f.type(std::string(1, c));
    f.frame(0.5f);  // a slow frame rate
    field(&s, 200);
  }
  EXPECT_EQ(s, want);
}

TEST(TextField, TwoFieldsInOneBatchGetTheirOwnKeys) {
  widget_frames f;
  std::string a, b;
  BTN_enterstring(100, 100, &a, 40, "A", 200, 0);
  BTN_enterstring(100, 200, &b, 40, "B", 200, 0);
  f.key(9);
  f.type("one");
  f.key(9);
  f.type("two");
  f.frame();
  BTN_enterstring(100, 100, &a, 40, "A", 200, 0);
  BTN_enterstring(100, 200, &b, 40, "B", 200, 0);
  // The keys for the first field arrived while it had the focus; it lost it
  // within the batch, so they are dropped rather than typed into the other.
  EXPECT_EQ(b, "two");
  EXPECT_EQ(a, "");
}

TEST(TextField, CallerShrinksTheStringWhileFocused) {
  widget_frames f;
  std::string s = "a long text of some length";
  tab_in(f, &s);
  f.key(29, 39);  // caret at the end
  f.frame();
  field(&s);
  s = "ab";  // the caller replaces the text behind the field's back
  f.frame();
  field(&s);
  f.type("c");
  f.frame();
  field(&s);
  EXPECT_EQ(s, "abc");
}

TEST(TextField, FieldMovedIsANewFieldAndGetsNoStaleKeys) {
  widget_frames f;
  std::string s = "abc";
  tab_in(f, &s);
  f.type("Z");
  f.frame();
  field(&s, 40, 100, 150);  // drawn elsewhere: another field, no focus, no keys
  EXPECT_EQ(s, "abc");
  f.frame();
  field(&s);
  EXPECT_EQ(s, "abc");
  f.key(9);
  f.frame();
  field(&s);
  f.type("q");
  f.frame();
  field(&s);
  EXPECT_EQ(s, "q");  // tabbed in again: the whole text selected again
}

TEST(TextField, AutoFocusAndCharForm) {
  widget_frames f;
  char buf[500] = "xy";
  BTN_enterstring(100, 100, buf, 40, "C", 200, 1);
  EXPECT_NE(BTN_focus_id(), 0);
  f.type("k");
  f.frame();
  EXPECT_EQ(BTN_enterstring(100, 100, buf, 40, "C", 200, 1), 1);
  EXPECT_STREQ(buf, "k");
}
