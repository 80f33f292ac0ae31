// The font cache, UTF-8 decoding, measuring, fitting and line layout with the
// shipped fonts; no GL context (uploads go to a recording table).
#include <cmath>
#include <memory>

#include "GenH/mnw.h"
#include "OGL/ogl_font.h"
#include "OGL/ogl_seams.h"
#include "UTL/resource.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override { UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/"); }
  void TearDown() override { UTL_set_resource_folder(""); }

  static const unsigned char* b(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
  }
  static std::vector<std::string> lines_of(const std::string& text, float wrap,
                                           charset_t font = font_regular) {
    std::vector<OGL_text_line> lines;
    OGL_layout_lines(text, wrap, font, 0, lines);
    std::vector<std::string> out;
    for (const auto& l : lines)
      out.emplace_back(reinterpret_cast<const char*>(l.begin), l.end - l.begin);
    return out;
  }
  fly_test::gl_recorder rec;
};

TEST_F(FontTest, FacesLoadWithTheirMetricsAndGlyphsAreCachedOnce) {
  OGL_font_info* f = OGL_font(font_regular);
  EXPECT_EQ(f->tex_slot, 411);
  EXPECT_EQ(OGL_font(font_bold)->tex_slot, 412);
  EXPECT_GT(f->ascender, 8.0f);
  EXPECT_LT(f->ascender, 12.0f);
  EXPECT_GT(f->descender, 1.0f);
  EXPECT_GT(f->line_height, f->ascender);

  const float a = OGL_measure_char('A', font_regular);
  EXPECT_GT(a, 5.0f);
  EXPECT_EQ(f->glyphs.size(), 1u);
  EXPECT_FLOAT_EQ(OGL_measure_string("AA", font_regular), 2 * a);
  EXPECT_EQ(f->glyphs.size(), 1u);  // a hit renders nothing new
  EXPECT_GT(OGL_measure_string("Install", font_bold), OGL_measure_string("Install", font_regular));

  // A tab advances nothing and is never cached.
  EXPECT_EQ(OGL_measure_char(9, font_regular), 0.0f);
  EXPECT_EQ(f->find(9), nullptr);
  EXPECT_FLOAT_EQ(OGL_measure_string("A\tA", font_regular), 2 * a);
  const std::string one = "A";
  EXPECT_EQ(OGL_measure_range(b(one), b(one), font_regular), 0.0f);

  // The bitmap is a power of two high and the statistic counts its bytes.
  EXPECT_GT(f->rows_used, 0);
  EXPECT_EQ(f->rows_used & (f->rows_used - 1), 0);
  EXPECT_EQ(g_font_tex_mem, static_cast<float>((f->rows_used + OGL_font(font_bold)->rows_used) *
                                               OGL_font_info::bitmap_dx));
}

TEST_F(FontTest, Utf8DecodingStaysInsideTheTextAndReplacesMalformedBytes) {
  struct sample {
    std::string bytes;
    std::vector<unsigned> codes;
  };
  const sample samples[] = {
      {"a\xC3\xA9", {'a', 0xE9}},
      {"\xE2\x82\xAC!", {0x20AC, '!'}},
      {"\xF0\x9F\x98\x80", {0x1F600}},
      {"\x80z", {0xFFFD, 'z'}},              // stray continuation
      {"\xE2\x82", {0xFFFD, 0xFFFD}},        // cut by the end
      {"\xC3(", {0xFFFD, '('}},              // lead without its continuation
      {"\xF8\x88", {0xFFFD, 0xFFFD}},        // no such lead
      {"\xF4\x90\x80\x80", {0xFFFD}},        // beyond U+10FFFF
  };
  for (const sample& s : samples) {
    // Exactly the text's bytes on the heap, so a read past the end is caught.
    std::unique_ptr<unsigned char[]> buf(new unsigned char[s.bytes.size()]);
    memcpy(buf.get(), s.bytes.data(), s.bytes.size());
    const unsigned char* p = buf.get();
    const unsigned char* end = p + s.bytes.size();
    std::vector<unsigned> got;
    while (p < end) {
      unsigned c;
      p = OGL_utf8_next(p, end, &c);
      got.push_back(c);
    }
    EXPECT_EQ(p, end);
    EXPECT_EQ(got, s.codes) << s.bytes;
    OGL_measure_range(buf.get(), end, font_regular);  // and measuring stays inside too
  }
}

TEST_F(FontTest, FittingCountsWholeCodePointsFromEitherEnd) {
  const std::string s = "ab\xC3\xA9" "cd";
  const unsigned char *begin = b(s), *end = begin + s.size();
  const float w_ab = OGL_measure_string("ab", font_regular);
  const float w_all = OGL_measure_string(s, font_regular);

  EXPECT_EQ(OGL_fit_forward(begin, end, 0, font_regular), begin);
  EXPECT_EQ(OGL_fit_forward(begin, end, w_all, font_regular), end);
  EXPECT_EQ(OGL_fit_forward(begin, end, w_ab + 0.01f, font_regular), begin + 2);
  // One unit short of "abé": é (two bytes) does not fit, so the answer is its start.
  const float w_abe = OGL_measure_string("ab\xC3\xA9", font_regular);
  EXPECT_EQ(OGL_fit_forward(begin, end, w_abe - 0.01f, font_regular), begin + 2);
  EXPECT_EQ(OGL_fit_forward(begin, end, w_abe, font_regular), begin + 4);

  const float w_cd = OGL_measure_string("cd", font_regular);
  EXPECT_EQ(OGL_fit_reverse(begin, end, 0, font_regular), end);
  EXPECT_EQ(OGL_fit_reverse(begin, end, w_cd + 0.01f, font_regular), begin + 4);
  EXPECT_EQ(OGL_fit_reverse(begin, end, w_all, font_regular), begin);
  const float w_ecd = OGL_measure_string("\xC3\xA9" "cd", font_regular);
  EXPECT_EQ(OGL_fit_reverse(begin, end, w_ecd, font_regular), begin + 2);
  EXPECT_EQ(OGL_fit_reverse(begin, begin, 100, font_regular), begin);
}

TEST_F(FontTest, LinesBreakAtLineEndsAndAtTheLastBlankThatFits) {
  const float w = OGL_measure_string("aaa bbb", font_regular);
  EXPECT_EQ(lines_of("aaa bbb ccc", w + 0.5f), (std::vector<std::string>{"aaa bbb", "ccc"}));
  EXPECT_EQ(lines_of("aaa bbb ccc", 9999), (std::vector<std::string>{"aaa bbb ccc"}));
  EXPECT_EQ(lines_of("aaa bbb ccc", 0), (std::vector<std::string>{"aaa bbb ccc"}));
  EXPECT_EQ(lines_of("a\nb\rc", 9999), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(lines_of("a\r\nb", 9999), (std::vector<std::string>{"a", "", "b"}));  // two line ends
  EXPECT_EQ(lines_of("a\n", 9999), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(lines_of("", 9999), (std::vector<std::string>{}));

  // The width of a wrapped line leaves out the blank it broke at.
  std::vector<OGL_text_line> lines;
  OGL_layout_lines("aaa bbb ccc", w + 0.5f, font_regular, 0, lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_FLOAT_EQ(lines[0].width, w);
}

TEST_F(FontTest, AWordWiderThanTheWrapStillMovesOnEveryLine) {
  const float w3 = OGL_measure_string("WWW", font_regular);
  EXPECT_EQ(lines_of("WWWWWWWWWW", w3 + 0.1f),
            (std::vector<std::string>{"WWW", "WWW", "WWW", "W"}));
  // Narrower than one glyph: one code point a line, never an endless loop.
  EXPECT_EQ(lines_of("W\xC3\xA9W", 1), (std::vector<std::string>{"W", "\xC3\xA9", "W"}));
  // Every line fits, or holds the one code point that could not.
  std::vector<OGL_text_line> lines;
  OGL_layout_lines("  WWWW W  WWWWWWW", w3 + 0.1f, font_regular, 0, lines);
  for (const auto& l : lines) {
    unsigned c;
    EXPECT_TRUE(l.width <= w3 + 0.1f || OGL_utf8_next(l.begin, l.end, &c) == l.end);
  }
}

TEST_F(FontTest, ShelvesFillLeftToRightAndTheBitmapGrowsByPowersOfTwo) {
  OGL_font_info* f = OGL_font(font_regular);
  OGL_measure_string("Ab", font_regular);
  const OGL_char_info A = *f->find('A'), bb = *f->find('b');
  EXPECT_EQ(A.x0, 1);  // one blank texel before and above every glyph
  EXPECT_EQ(A.top, 1);
  EXPECT_EQ(bb.x0, A.x1 + 1);
  EXPECT_EQ(bb.top, A.top);

  // A glyph that would cross the right edge opens a new shelf below.
  f->x_cursor = 1020;
  const int old_top = f->shelf_top, old_dy = f->shelf_dy;
  OGL_measure_char('W', font_regular);
  const OGL_char_info W = *f->find('W');
  EXPECT_EQ(W.x0, 1);
  EXPECT_EQ(W.top, old_top + old_dy + 1);
  EXPECT_GE(f->rows_used, W.bottom);
  EXPECT_EQ(f->rows_used & (f->rows_used - 1), 0);

  // Rows are kept: the first glyph's pixels survived the growth.
  int lit = 0;
  for (int r = A.top; r < A.bottom; ++r)
    for (int c = A.x0; c < A.x1; ++c) lit += f->bitmap[r * OGL_font_info::bitmap_dx + c] > 0;
  EXPECT_GT(lit, 5);
}

TEST_F(FontTest, EveryCachedGlyphHasBlankTexelsAroundIt) {
  // Filtered sampling reads half a texel past a glyph's rectangle: the
  // column before and after it and the rows above and below it stay blank.
  OGL_font_info* f = OGL_font(font_bold);
  std::string text;
  for (int rep = 0; rep < 3; ++rep)
    for (unsigned c = 0x21; c < 0x7f; ++c) text += char(c);
  for (unsigned c = 0xC0; c < 0x100; ++c) text += std::string{char(0xC3), char(0x80 | (c & 0x3F))};
  OGL_measure_string(text, font_bold);
  const auto at = [f](int r, int c) -> int {
    if (r < 0 || c < 0 || r >= f->rows_used || c >= OGL_font_info::bitmap_dx) return 0;
    return f->bitmap[size_t(r) * OGL_font_info::bitmap_dx + c];
  };
  int checked = 0;
  for (const auto& [code, g] : f->glyphs) {
    if (g.error || g.x1 <= g.x0) continue;
    ++checked;
    for (int r = g.top - 1; r <= g.bottom; ++r) {
      EXPECT_EQ(at(r, g.x0 - 1), 0) << "left of U+" << std::hex << code;
      EXPECT_EQ(at(r, g.x1), 0) << "right of U+" << std::hex << code;
    }
    for (int c = g.x0; c < g.x1; ++c) {
      EXPECT_EQ(at(g.top - 1, c), 0) << "above U+" << std::hex << code;
      EXPECT_EQ(at(g.bottom, c), 0) << "below U+" << std::hex << code;
    }
  }
  EXPECT_GT(checked, 150);
}

TEST_F(FontTest, AFullCacheRefusesNewGlyphsInsteadOfOverrunning) {
  OGL_font_info* f = OGL_font(font_regular);
  OGL_measure_char('A', font_regular);
  f->shelf_top = OGL_font_info::max_rows - 2;  // as if the bitmap were nearly full
  EXPECT_EQ(OGL_measure_char('W', font_regular), 0.0f);
  ASSERT_NE(f->find('W'), nullptr);
  EXPECT_EQ(f->find('W')->error, 1);
  EXPECT_LE(f->rows_used, OGL_font_info::max_rows);
  // Blank glyphs need no room and keep their advance.
  EXPECT_GT(OGL_measure_char(' ', font_regular), 0.0f);
}

TEST_F(FontTest, AGlyphWiderThanTheBitmapIsRefused) {
  OGL_font_info huge(900);
  huge.clear("RESOURCE:DejaVuSans.ttf", 1500);
  EXPECT_EQ(huge.require_char('W'), 0.0f);
  EXPECT_EQ(huge.find('W')->error, 1);
  EXPECT_EQ(huge.rows_used, 0);
  EXPECT_EQ(huge.dirty, 0);
  // A tall but narrow one still fits.
  EXPECT_GT(huge.require_char('l'), 0.0f);
  EXPECT_EQ(huge.rows_used, OGL_font_info::max_rows);

  // At the largest size the cache still takes it, the glyph and its blank
  // columns on both sides lie inside the row.
  float fits = 100, refused = 1500;
  while (refused - fits > 1.0f / 64) {
    const float mid = (fits + refused) / 2;
    huge.clear("RESOURCE:DejaVuSans.ttf", mid);
    (huge.require_char('W') > 0 ? fits : refused) = mid;
  }
  huge.clear("RESOURCE:DejaVuSans.ttf", fits);
  ASSERT_GT(huge.require_char('W'), 0.0f);
  const OGL_char_info* w = huge.find('W');
  EXPECT_LE(w->x1 + 1, OGL_font_info::bitmap_dx);
  EXPECT_GE(w->x1 - w->x0, OGL_font_info::bitmap_dx - 4);  // the edge was found
}

TEST_F(FontTest, ResetForgetsEveryGlyphAndTheShelves) {
  OGL_font_info* f = OGL_font(font_regular);
  OGL_measure_string("Hello, world", font_regular);
  ASSERT_GT(f->rows_used, 0);
  OGL_font_reset(font_both);
  EXPECT_TRUE(f->glyphs.empty());
  EXPECT_EQ(f->rows_used, 0);
  EXPECT_EQ(f->x_cursor, 0);
  EXPECT_EQ(f->shelf_top, 0);
  EXPECT_EQ(f->shelf_dy, 0);
  EXPECT_EQ(g_font_tex_mem, 0.0f);
  // And it draws again afterwards, from the top left of a fresh bitmap.
  OGL_measure_char('H', font_regular);
  EXPECT_EQ(f->find('H')->x0, 1);
  EXPECT_EQ(f->find('H')->top, 1);
}

TEST_F(FontTest, OnlyBlankGlyphsMakeNoUploadAndNoQuads) {
  OGL_font_info* f = OGL_font(font_regular);
  rec.clear();
  OGL_font_string(0, 10, 10, "   ", 9999, font_regular, 0, 0);
  EXPECT_EQ(f->rows_used, 0);
  EXPECT_EQ(rec.count("TexImage2D") + rec.count("TexSubImage2D"), 0);
  EXPECT_EQ(rec.count("Vertex2f"), 0);
  f->sync_tex();
  EXPECT_EQ(rec.count("TexImage2D"), 0);
}

TEST_F(FontTest, RussianTextRunsNineTenthsAsWide) {
  OGL_font_info plain(900), narrow(901);
  plain.clear("RESOURCE:DejaVuSans.ttf", 10.5f);
  mnw.language = 3;
  narrow.clear("RESOURCE:DejaVuSans.ttf", 10.5f);
  const unsigned zhe = 0x416;
  EXPECT_NEAR(narrow.require_char(zhe), 0.9f * plain.require_char(zhe), 0.01f);
  EXPECT_LE(narrow.find(zhe)->x1 - narrow.find(zhe)->x0, plain.find(zhe)->x1 - plain.find(zhe)->x0);
}

TEST_F(FontTest, UnreadableFontsAreFatal) {
  OGL_font_info f(900);
  EXPECT_FATAL_ALERT(f.clear("RESOURCE:NoSuchFont.ttf", 10.5f), "unable to make font from file");
  EXPECT_EQ(fly_test::alerts().back().s3, "(We could not open the file and read its contents.)");
  fly_test::write_file("junk.ttf", "this is no font at all");
  EXPECT_FATAL_ALERT(f.clear("junk.ttf", 10.5f), "unable to make font from file");
  EXPECT_EQ(fly_test::alerts().back().s3, "(Free-type could not process the .ttf file.)");
  EXPECT_FATAL_ALERT(OGL_measure_string("x", static_cast<charset_t>(2)), "String proc with bad charset!");
}

TEST_F(FontTest, AFontFileOutsideTheResourcesIsReadFromItsMapping) {
  fly_test::write_file("copy.ttf", fly_test::read_file(std::string(FLY_APP_DIR) +
                                                       "/Resources/DejaVuSansBold.ttf"));
  OGL_font_info f(900);
  f.clear("copy.ttf", 10.5f);
  const float mine = f.require_char('M');
  EXPECT_FLOAT_EQ(mine, OGL_measure_char('M', font_bold));
  f.clear("copy.ttf", 10.5f);  // the old face goes before its mapping
  EXPECT_GT(f.require_char('M'), 0.0f);
}

}  // namespace
