#include "OOPS_cpp/ogle.h"

#include <array>
#include <memory>

#include "OOPS_cpp/ogle_field.h"
#include "support/test_util.h"

using ::testing::ElementsAre;

namespace {

using rect_t = std::array<float, 4>;

bool is_cont(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters (not bytes) of [b, e).
int chars_in(const char* b, const char* e) {
  int n = 0;
  for (; b < e; ++b) n += !is_cont(*b);
  return n;
}

// A host over a std::string: every character advances `adv`, lines are `lh`
// high. Each replace moves the text to a fresh buffer, so a stale pointer
// held across it is a use after free under ASan.
class host : public OGLE {
 public:
  std::string text;
  float adv = 6, lh = 10;
  rect_t vis = {0, 0, 60, 30};  // ten characters, three lines
  float wrap = 60;
  float sx = 0, sy = 0;
  float height = -1;
  int scrolls = 0;
  std::vector<rect_t> rects;
  std::vector<std::pair<std::string, std::array<float, 2>>> drawn;

  explicit host(std::string t = "") : text(std::move(t)) {}
  OGLE_Rec* r() { return rec; }
  std::vector<int>& lines() { return rec->line_starts; }
  std::pair<int, int> sel() { return {rec->sel_start, rec->sel_end}; }
  void caret(int p) { SetSelection(p, p); }

  void GetVisibleBounds(float out[4]) override { std::copy(vis.begin(), vis.end(), out); }
  void GetLogicalBounds(float out[4]) override {
    out[0] = vis[0] - sx;
    out[1] = vis[1] - sy;
    out[2] = vis[0] - sx + wrap;
    out[3] = vis[3] - sy;
  }
  void SetLogicalHeight(float h) override { height = h; }
  void ScrollTo(float offset[2]) override {
    sx = offset[0];
    sy = offset[1];
    ++scrolls;
  }
  void GetText(const char** b, const char** e) override {
    *b = text.data();
    *e = text.data() + text.size();
  }
  void ReplaceText(int start, int end, const char* b, const char* e) override {
    std::string fresh = text.substr(0, start) + std::string(b, e) + text.substr(end);
    fresh.reserve(fresh.size() + 64);
    text.swap(fresh);
  }
  float GetLineHeight() override { return lh; }
  float MeasureString(const char* b, const char* e) override { return adv * chars_in(b, e); }
  int FitStringFwd(const char* b, const char* e, float width) override {
    const char* p = b;
    for (float w = adv; p < e && w <= width; w += adv) p = OGLE_utf8_next(b, e, p);
    return static_cast<int>(p - b);
  }
  int FitStringRev(const char* b, const char* e, float width) override {
    const int n = std::min(chars_in(b, e), static_cast<int>(width / adv));
    const char* p = e;
    for (int i = 0; i < n; ++i) {
      --p;
      while (p > b && is_cont(*p)) --p;
    }
    return static_cast<int>(e - p);
  }
  void DrawString(const char* b, const char* e, float x, float y) override {
    drawn.push_back({std::string(b, e), {x, y}});
  }
  void DrawSelection(float rect[4]) override { rects.push_back({rect[0], rect[1], rect[2], rect[3]}); }
  const char* WordBreak(const char* b, const char* e) override { return OGLE_utf8_word_break(b, e); }
  const char* MBCS_Next(const char* p) override {
    return OGLE_utf8_next(text.data(), text.data() + text.size(), p);
  }
  int MBCS_NextPos(int o) override {
    return OGLE_utf8_next_pos(text.data(), static_cast<int>(text.size()), o);
  }
  int MBCS_PrevPos(int o) override {
    return OGLE_utf8_prev_pos(text.data(), static_cast<int>(text.size()), o);
  }
};

std::vector<int> layout(const std::string& text, float wrap = 60) {
  host h(text);
  h.wrap = wrap;
  h.Repaginate();
  return h.lines();
}

void type(host& h, const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    h.Key_MBCS(n, s.data() + i, 0);
    i += n;
  }
}

}  // namespace

TEST(OgleLayout, LinesBreaksAndHeight) {
  {
    host h;
    h.Repaginate();
    EXPECT_THAT(h.lines(), ElementsAre(0));
    EXPECT_EQ(h.height, 10);
  }
  EXPECT_THAT(layout("abc\ndef"), ElementsAre(0, 4));
  EXPECT_THAT(layout("abc\n"), ElementsAre(0));  // no empty last line from a fresh layout
  EXPECT_THAT(layout("ab\r\ncd"), ElementsAre(0, 3, 4));  // CR LF: an empty line between
  EXPECT_THAT(layout("aaa bbb ccc", 36), ElementsAre(0, 4, 8));  // trailing blanks stay
  EXPECT_THAT(layout("aaa   \t   bbb", 42), ElementsAre(0, 10));
  EXPECT_THAT(layout("abcdef", 10), ElementsAre(0, 1, 2, 3, 4, 5));
  EXPECT_THAT(layout("ab abcdefghijkl", 42), ElementsAre(0, 3, 4, 5, 6, 7, 8));  // one a line until the rest fits
  EXPECT_THAT(layout("aa\vbb\fcc", 18), ElementsAre(0, 3, 6));  // VT and FF are blanks
  // Bytes of 0x80 and up are never blanks, whatever the locale says.
  EXPECT_THAT(layout("a\xC2\xA0" "b c", 24), ElementsAre(0, 5));
  EXPECT_THAT(layout("a\xC2\x85" "b c", 24), ElementsAre(0, 5));

  // The empty last line of an earlier layout survives the deletion of what
  // followed the final break.
  host h("abc\nd");
  h.Repaginate();
  h.caret(5);
  h.Key(8, 0);
  EXPECT_EQ(h.text, "abc\n");
  EXPECT_THAT(h.lines(), ElementsAre(0, 4));
  EXPECT_EQ(h.height, 20);
  h.Key(8, 0);
  EXPECT_THAT(h.lines(), ElementsAre(0));
}

TEST(OgleLayout, NarrowLinesKeepCharactersWhole) {
  // "é" is two bytes; a line narrower than one character still takes it whole.
  EXPECT_THAT(layout("\xC3\xA9\xC3\xA9", 3), ElementsAre(0, 2));
  EXPECT_THAT(layout("a\xE2\x82\xAC" "b\xF0\x9F\x98\x80", 5), ElementsAre(0, 1, 4, 5));
  host h("\xC3\xA9\xC3\xA9");
  h.wrap = 3;
  h.caret(4);
  type(h, "\xC3\xA9");
  EXPECT_EQ(h.text, "\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_THAT(h.lines(), ElementsAre(0, 2, 4));
  // Every line start is a character start, so the caret never lands inside one.
  for (int i = 0; i < 6; ++i) {
    h.Key(28, 0);
    EXPECT_EQ(h.sel().first % 2, 0);
  }
}

TEST(OgleKeys, TypingAndBackspaceTakeWholeCharacters) {
  host h;
  type(h, "ab\xC3\xA9");
  EXPECT_EQ(h.text, "ab\xC3\xA9");
  EXPECT_EQ(h.sel(), std::make_pair(4, 4));
  h.Key(8, 0);  // both bytes of "é", caret at its start
  EXPECT_EQ(h.text, "ab");
  EXPECT_EQ(h.sel(), std::make_pair(2, 2));
  type(h, "\xE2\x82\xAC" "c");
  h.Key(28, 0);
  h.Key(28, 0);  // over the three bytes of the euro sign
  EXPECT_EQ(h.sel(), std::make_pair(2, 2));
  h.Key(29, 0);
  EXPECT_EQ(h.sel(), std::make_pair(5, 5));
  h.caret(0);
  h.Key(8, 0);  // nothing before the text start
  h.Key(28, 0);
  EXPECT_EQ(h.text, "ab\xE2\x82\xAC" "c");
  EXPECT_EQ(h.sel(), std::make_pair(0, 0));
  h.caret(6);
  h.Key(29, 0);
  EXPECT_EQ(h.sel(), std::make_pair(6, 6));

  // A selection is replaced, or deleted by Backspace.
  h.SetSelection(1, 5);
  h.Key('X', 0);
  EXPECT_EQ(h.text, "aXc");
  EXPECT_EQ(h.sel(), std::make_pair(2, 2));
  h.SetSelection(0, 2);
  type(h, "\xC3\xA9");
  EXPECT_EQ(h.text, "\xC3\xA9" "c");
  EXPECT_EQ(h.sel(), std::make_pair(2, 2));
  h.SetSelection(2, 0);
  h.Key(8, 0);
  EXPECT_EQ(h.text, "c");
  EXPECT_EQ(h.sel(), std::make_pair(0, 0));
  EXPECT_EQ(h.r()->active_end, 1);
}

TEST(OgleSelection, ExtendCollapseAndClamp) {
  host h("abcdefgh");
  h.caret(5);
  h.Key(28, 1);  // the moving end goes left past the anchor: sel_start moves
  EXPECT_EQ(h.sel(), std::make_pair(4, 5));
  EXPECT_EQ(h.r()->active_end, 0);
  h.Key(28, 1);
  EXPECT_EQ(h.sel(), std::make_pair(3, 5));
  h.Key(29, 1);
  h.Key(29, 1);
  EXPECT_EQ(h.sel(), std::make_pair(5, 5));
  h.Key(29, 1);
  EXPECT_EQ(h.sel(), std::make_pair(5, 6));
  h.Key(28, 0);  // collapses to the start
  EXPECT_EQ(h.sel(), std::make_pair(5, 5));
  h.SetSelection(2, 6);
  h.Key(29, 0);
  EXPECT_EQ(h.sel(), std::make_pair(6, 6));

  const int active = h.r()->active_end;
  h.SetSelection(9, -3);  // swapped, then clamped into the text
  EXPECT_EQ(h.sel(), std::make_pair(0, 8));
  EXPECT_EQ(h.r()->active_end, 1 - active);
  h.SetSelection(20, 30);
  EXPECT_EQ(h.sel(), std::make_pair(8, 8));
  int s = -1, e = -1;
  h.GetSelection(&s, nullptr);
  h.GetSelection(nullptr, &e);
  EXPECT_EQ(s + e, 16);

  // The host shortens its text: the next key clamps first.
  h.text = "ab";
  h.Repaginate();
  h.Key('c', 0);
  EXPECT_EQ(h.text, "abc");
}

TEST(OgleVertical, MovesKeepTheColumn) {
  host h("abcdefghi\nxy\nabcdefghi");
  h.caret(7);
  h.Key(31, 0);
  EXPECT_EQ(h.sel().first, 12);  // end of "xy", not past its line break
  h.Key(31, 0);
  EXPECT_EQ(h.sel().first, 20);
  h.Key(30, 0);
  h.Key(30, 0);
  EXPECT_EQ(h.sel().first, 7);
  h.Key(30, 0);
  EXPECT_EQ(h.sel().first, 0);
  h.caret(20);
  h.Key(31, 0);
  EXPECT_EQ(h.sel().first, 22);

  // Any other key forgets the column.
  h.caret(7);
  h.Key(31, 0);
  h.Key(28, 0);
  h.Key(31, 0);
  EXPECT_EQ(h.sel().first, 14);

  // Extending moves the moving end; without extend a selection collapses.
  h.Click(18, 25, 0);  // caret at 3, column forgotten
  h.Key(31, 1);
  EXPECT_EQ(h.sel(), std::make_pair(3, 12));
  h.Key(31, 1);
  EXPECT_EQ(h.sel(), std::make_pair(3, 16));
  h.Key(30, 0);
  EXPECT_EQ(h.sel(), std::make_pair(3, 3));
  h.SetSelection(3, 16);
  h.Key(31, 0);
  EXPECT_EQ(h.sel(), std::make_pair(16, 16));
}

TEST(OgleMouse, ClicksAndDrags) {
  host h("abcdefghi\nxy\nabcdefghi");  // lines from y = 30 down, 10 high
  h.Click(-50, 15, 0);  // left of line 1: its start
  EXPECT_EQ(h.sel(), std::make_pair(10, 10));
  h.Click(14, 25, 0);  // over the right half of "c": before it
  EXPECT_EQ(h.sel(), std::make_pair(2, 2));
  h.Click(59, 15, 0);  // right of "xy": before its line break
  EXPECT_EQ(h.sel(), std::make_pair(12, 12));
  h.Click(5, -40, 0);  // below the last line
  EXPECT_EQ(h.sel(), std::make_pair(22, 22));
  h.Click(5, 400, 0);
  EXPECT_EQ(h.sel(), std::make_pair(0, 0));

  h.Click(30, 25, 0);
  h.Click(30, 5, 1);  // extend after: sel_end moves
  EXPECT_EQ(h.sel(), std::make_pair(5, 18));
  EXPECT_EQ(h.r()->active_end, 1);
  h.Click(6, 25, 1);  // extend before the selection: sel_start moves
  EXPECT_EQ(h.sel(), std::make_pair(1, 18));
  EXPECT_EQ(h.r()->active_end, 0);
  h.Drag(59, 5);  // the moving end dragged past the anchor: ends swap
  EXPECT_EQ(h.sel(), std::make_pair(18, 22));
  EXPECT_EQ(h.r()->active_end, 1);
  h.Drag(0, 25);
  EXPECT_EQ(h.sel(), std::make_pair(0, 18));
  EXPECT_EQ(h.r()->active_end, 0);
}

TEST(OgleReveal, ScrollsTheMovingEndIntoView) {
  host h("l0\nl1\nl2\nl3\nl4\nl5");  // three of six lines visible
  h.caret(0);
  h.RevealSelection();
  EXPECT_EQ(h.scrolls, 0);  // already in view: no call
  h.Key(31, 0);
  h.Key(31, 0);
  EXPECT_EQ(h.scrolls, 0);
  h.Key(31, 0);  // line 3 lies just below the view: its bottom comes to the view's bottom
  EXPECT_EQ(h.scrolls, 1);
  EXPECT_EQ(h.sy, -10);
  h.Key(31, 0);
  h.Key(31, 0);
  EXPECT_EQ(h.sy, -30);
  h.Key(30, 0);
  h.Key(30, 0);  // line 3, still in view
  EXPECT_EQ(h.sy, -30);
  h.Key(30, 0);  // line 2 just above: its top comes to the view's top
  EXPECT_EQ(h.sy, -20);
  h.Key(30, 0);
  EXPECT_EQ(h.sy, -10);
  h.Key(30, 0);
  EXPECT_EQ(h.sy, 0);
  EXPECT_EQ(h.scrolls, 6);

  // Horizontally, on a line wider than the view.
  host w("0123456789abcdefghij");
  w.wrap = 1000;
  w.caret(10);
  w.RevealSelection();
  EXPECT_EQ(w.scrolls, 0);
  w.Key(29, 0);  // x = 66 > 60
  EXPECT_EQ(w.sx, 6);
  w.caret(20);
  w.RevealSelection();
  EXPECT_EQ(w.sx, 60);
  w.Click(-100, 25, 0);
  EXPECT_EQ(w.sel().first, 0);
  EXPECT_EQ(w.sx, 0);
}

TEST(OgleDraw, VisibleLinesSelectionAndCaret) {
  host h("aaa\nbbbb\ncc\ndd\nee");
  h.sy = -10;  // lines 1 to 3 in view
  h.SetSelection(6, 11);  // "bb\ncc"
  h.Draw(1);
  ASSERT_EQ(h.drawn.size(), 3u);
  EXPECT_EQ(h.drawn[0].first, "bbbb\n");
  EXPECT_EQ(h.drawn[0].second, (std::array<float, 2>{0, 20}));
  EXPECT_EQ(h.drawn[2].first, "dd\n");
  EXPECT_EQ(h.drawn[2].second, (std::array<float, 2>{0, 0}));
  // The selection runs on past line 1, then ends inside line 2; no caret.
  EXPECT_THAT(h.rects, ElementsAre(rect_t{12, 20, 60, 30}, rect_t{0, 10, 12, 20}));

  h.rects.clear();
  h.caret(18);  // the end of the text, on the last line, out of view
  h.sy = -10;
  h.Draw(1);
  EXPECT_TRUE(h.rects.empty());
  h.sy = -20;
  h.Draw(1);
  EXPECT_THAT(h.rects, ElementsAre(rect_t{12, 0, 12, 10}));
  h.rects.clear();
  h.Draw(0);
  EXPECT_TRUE(h.rects.empty());

  // A caret at a line's start is drawn on that line, not the one before.
  h.sy = 0;
  h.caret(4);
  h.Draw(1);
  EXPECT_THAT(h.rects, ElementsAre(rect_t{0, 10, 0, 20}));
}

TEST(OgleFaults, NoLayoutYetStaleLayoutAndMovedText) {
  // Every operation that looks lines up lays out first.
  for (int op = 0; op < 5; ++op) {
    host h("abc\ndef");
    ASSERT_TRUE(h.lines().empty());
    if (op == 0) h.Key(30, 0);
    if (op == 1) h.Key(31, 1);
    if (op == 2) h.Draw(1);
    if (op == 3) h.Click(3, 5, 0);
    if (op == 4) h.RevealSelection();
    EXPECT_THAT(h.lines(), ElementsAre(0, 4)) << op;
  }
  host e;
  e.Key(31, 0);
  e.Draw(1);
  EXPECT_THAT(e.rects, ElementsAre(rect_t{0, 20, 0, 30}));

  // The host cuts its text behind the engine: nothing reads past its end.
  host s(std::string(40, 'x') + "\n" + std::string(40, 'y'));
  s.wrap = 1000;
  s.Repaginate();
  s.SetSelection(30, 70);
  s.text = s.text.substr(0, 5);
  s.Draw(1);
  ASSERT_EQ(s.drawn.size(), 2u);
  EXPECT_EQ(s.drawn[0].first, "xxxxx");
  EXPECT_EQ(s.drawn[1].first, "");
  s.Click(100, 5, 0);
  EXPECT_EQ(s.sel().first, 5);

  // Long texts through replaces that move the buffer every time.
  host m(std::string(100, 'a'));
  m.caret(50);
  for (int i = 0; i < 20; ++i) type(m, "\xC3\xA9 word ");
  for (int i = 0; i < 30; ++i) m.Key(8, 0);
  m.SetSelection(10, 90);
  type(m, "\xE2\x82\xAC");
  m.Draw(1);
  EXPECT_EQ(m.text.size(), 100 + 20 * 8 - 34 - 80 + 3u);  // 30 characters are 34 bytes
}

TEST(OgleReplace, SelectionFollowsTheText) {
  host h("abcdefgh");
  const std::string xyz = "XYZ";
  auto replace = [&](int sel_s, int sel_e, int s, int e, const std::string& with) {
    h.text = "abcdefgh";
    h.SetSelection(sel_s, sel_e);
    h.DoReplaceText(s, e, with.data(), with.data() + with.size());
    return h.sel();
  };
  EXPECT_EQ(replace(6, 7, 2, 4, xyz), std::make_pair(7, 8));  // after: shifts
  EXPECT_EQ(replace(1, 2, 2, 4, xyz), std::make_pair(1, 2));  // before: stays
  EXPECT_EQ(replace(3, 3, 2, 4, ""), std::make_pair(2, 2));  // inside: to the new end
  EXPECT_EQ(replace(3, 7, 2, 4, xyz), std::make_pair(5, 8));
  EXPECT_EQ(replace(1, 3, 2, 4, xyz), std::make_pair(1, 5));
  EXPECT_EQ(replace(2, 2, 2, 2, xyz), std::make_pair(5, 5));  // an insertion at the caret
  EXPECT_EQ(h.text, "abXYZcdefgh");
  EXPECT_EQ(replace(0, 8, 6, 99, ""), std::make_pair(0, 6));  // the range is bounded
  EXPECT_EQ(h.text, "abcdef");
  // A caret inside a replaced character never ends inside the new one.
  h.text = "ab\xE2\x82\xAC";
  h.caret(4);
  h.DoReplaceText(2, 5, "\xC3\xA9", "\xC3\xA9" + 2);
  EXPECT_EQ(h.sel(), std::make_pair(4, 4));
  EXPECT_THAT(h.lines(), ElementsAre(0));
}

TEST(OgleClassForm, RecordBelongsToTheObject) {
  auto h = std::make_unique<host>("abc");
  EXPECT_EQ(OGLE_GetRef(h->r()), h.get());
  EXPECT_EQ(h->r()->active_end, 1);
  EXPECT_EQ(h->r()->desired_x, -1.0f);
  std::unique_ptr<OGLE> base(h.release());
  base->Repaginate();
  base.reset();  // the record goes with the object (ASan checks the leak)
  OGLE_Destroy(nullptr);
}

TEST(OgleField, Utf8StepsStayInsideTheText) {
  // Exact heap buffers: a read one byte outside is an ASan error.
  auto buf = [](const std::string& s) {
    auto p = std::make_unique<char[]>(s.size());
    std::copy(s.begin(), s.end(), p.get());
    return p;
  };
  const std::string s = "\xA9\xA9x\xC3\xA9\xC3";  // stray continuation bytes, a cut-off "é"
  auto p = buf(s);
  const char* b = p.get();
  const char* e = b + s.size();
  EXPECT_EQ(OGLE_utf8_next(b, e, b), b + 2);
  EXPECT_EQ(OGLE_utf8_next(b, e, b + 1), b + 2);
  EXPECT_EQ(OGLE_utf8_next(b, e, b + 2), b + 3);
  EXPECT_EQ(OGLE_utf8_next(b, e, b + 4), b + 5);
  EXPECT_EQ(OGLE_utf8_next(b, e, b + 5), e);
  EXPECT_EQ(OGLE_utf8_next(b, e, e), e);
  const int n = static_cast<int>(s.size());
  EXPECT_EQ(OGLE_utf8_next_pos(b, n, 3), 5);
  EXPECT_EQ(OGLE_utf8_next_pos(b, n, 4), 5);
  EXPECT_EQ(OGLE_utf8_next_pos(b, n, 6), 7);
  EXPECT_EQ(OGLE_utf8_next_pos(b, n, -4), 0);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 0), -1);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 1), 0);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 5), 3);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 4), 2);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 6), 5);
  EXPECT_EQ(OGLE_utf8_prev_pos(b, n, 60), 5);
  auto w = buf(" \t ab\xC2\xA0" "c d");
  EXPECT_EQ(OGLE_utf8_word_break(w.get(), w.get() + 10), w.get() + 8);
  EXPECT_EQ(OGLE_utf8_word_break(w.get(), w.get() + 2), w.get() + 2);

  // The field's callback bounds itself by the string it edits.
  std::string text = "\xC3\xA9";
  OGLE_input = &text;
  EXPECT_EQ(OGLE_MBCS_Next(nullptr, text.data() + 1), text.data() + 2);
  EXPECT_EQ(OGLE_MBCS_Next(nullptr, text.data() + 2), text.data() + 2);
  EXPECT_EQ(OGLE_MBCS_PrevPos(nullptr, 2), 0);
  OGLE_input = nullptr;
}

TEST(OgleField, KeyBytesAndCuts) {
  char out[4];
  const struct { int code; std::string bytes; } cases[] = {
      {'a', "a"}, {233, "\xC3\xA9"}, {0x20AC, "\xE2\x82\xAC"}, {0x1F600, "\xF0\x9F\x98\x80"},
      {8, "\x08"}, {28, "\x1C"}, {31, "\x1F"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0, ""}, {1, ""}, {4, ""}, {11, ""}, {13, ""}, {27, ""}, {127, ""},
      {0xD800, ""}, {0xDFFF, ""}, {0x110000, ""}, {-5, ""}};
  for (const auto& c : cases) {
    const int n = OGLE_key_bytes(c.code, out);
    EXPECT_EQ(std::string(out, n), c.bytes) << c.code;
  }
  for (const auto& [max, want] : std::vector<std::pair<int, std::string>>{
           {3, "ab"}, {4, "ab\xC3\xA9"}, {5, "ab\xC3\xA9" "c"}, {2, "ab"}, {0, ""}, {-1, ""}}) {
    std::string t = "ab\xC3\xA9" "c";
    OGLE_cut_to(&t, max);
    EXPECT_EQ(t, want) << max;
  }
}

TEST(OgleField, OneLineHowEverLongAndTheCaretStaysInView) {
  // The field's own callbacks, with a fixed advance standing in for the font.
  OGLE_Callbacks cbs = {
      OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo,
      OGLE_GetText, OGLE_ReplaceTextFunc, OGLE_GetLineHeight,
      [](OGLE_Rec*, const char* b, const char* e) { return 6.0f * chars_in(b, e); },
      [](OGLE_Rec*, const char* b, const char* e, float w) {
        const char* p = b;
        for (float x = 6; p < e && x <= w; x += 6) p = OGLE_utf8_next(b, e, p);
        return static_cast<int>(p - b);
      },
      [](OGLE_Rec*, const char*, const char*, float) { return 0; },
      [](OGLE_Rec*, const char*, const char*, float, float) {}, [](OGLE_Rec*, float*) {},
      OGLE_WordBreak, OGLE_MBCS_Next, OGLE_MBCS_NextPos, OGLE_MBCS_PrevPos};
  std::string text;
  OGLE_input = &text;
  OGLE_x = 100;
  OGLE_y = 50;
  OGLE_entry_dx = 60;
  OGLE_dx = OGLE_dy = 0;
  OGLE_edit = 0;
  OGLE_Rec* rec = OGLE_Create(&cbs, nullptr);
  for (int i = 0; i < 300; ++i) OGLE_Key(rec, i % 7 ? 'w' : ' ', 0);
  EXPECT_EQ(OGLE_edit, 1);
  EXPECT_THAT(rec->line_starts, ElementsAre(0));
  EXPECT_EQ(OGLE_dx, 300 * 6 - 60);
  EXPECT_EQ(OGLE_dy, 0);
  OGLE_Click(rec, 100, 55, 0);  // the visible left edge
  EXPECT_EQ(rec->sel_start, 290);
  OGLE_Key(rec, 8, 0);
  EXPECT_EQ(text.size(), 299u);
  OGLE_Destroy(rec);
  OGLE_input = nullptr;
}
