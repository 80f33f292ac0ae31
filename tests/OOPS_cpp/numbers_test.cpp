// Scroll bars, the horizontal slider and the number fields against a
// recording GL table and a synthetic frame state.
#include <cmath>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "UTL/xtim.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

using fly_test::widget_frames;

// The centre y of primitive i drawn since the last clear.
float centre_y(const fly_test::gl_recorder& rec, size_t i) {
  const auto p = rec.prims();
  float s = 0;
  for (auto [x, y] : p.at(i).v) s += y;
  return s / static_cast<float>(p.at(i).v.size());
}

// Focuses the number field at (x, y) on cell k by a click on its digits.
void focus_cell(widget_frames& f, float x, float y, float* v, int digits, int decimals, float min,
                float max, int k) {
  f.click(x + 2 + 10 * k + 1, y + 3);
  f.frame();
  BTN_flt_range(x, y, v, digits, decimals, min, max, "");
  f.release();
  f.frame();
  BTN_flt_range(x, y, v, digits, decimals, min, max, "");
}

float typed(widget_frames& f, float* v, int ch, int vkey = 0, float min = -999.99f,
            float max = 999.99f) {
  f.key(ch, vkey);
  f.frame();
  BTN_flt_range(100, 100, v, 5, 2, min, max, "");
  return *v;
}

}  // namespace

TEST(VertSlider, ThumbEndsArrowsTrackAndRepeat) {
  widget_frames f;
  int v = 0;
  f.rec.clear();
  BTN_vert_slider(0, 300, 100, 300, 0, 100, &v);
  EXPECT_FLOAT_EQ(centre_y(f.rec, 2), 290);  // min at the top
  v = 100;
  f.rec.clear();
  BTN_vert_slider(0, 300, 100, 300, 0, 100, &v);
  EXPECT_FLOAT_EQ(centre_y(f.rec, 2), 109);  // max at the bottom

  v = 50;  // thumb at 199.5
  f.click(300, 150);
  f.frame();
  BTN_vert_slider(0, 300, 100, 300, 0, 100, &v);
  EXPECT_EQ(v, 60);  // paging below the thumb
  f.release();
  f.frame();
  f.click(311, 310);  // the top arrow at its edge
  f.frame();
  BTN_vert_slider(0, 300, 100, 300, 0, 100, &v);
  EXPECT_EQ(v, 59);
  // Held on the bottom arrow: repeats once mouse_repeat is set, on the 0.2 s flag.
  f.move(300, 90);
  int steps = 0;
  for (int i = 0; i < 50; ++i) {  // one second at 50 frames a second
    f.frame(0.02f);
    const int before = v;
    BTN_vert_slider(0, 300, 100, 300, 0, 100, &v);
    steps += v - before;
  }
  EXPECT_GE(steps, 3);
  EXPECT_LE(steps, 5);
}

TEST(VertSlider, GrabDragEmptyRangeAndBadSlots) {
  widget_frames f;
  int v = 0;
  f.click(300, 290);  // on the thumb
  f.frame();
  EXPECT_EQ(BTN_vert_slider(1, 300, 100, 300, 0, 100, &v), 1);
  f.move(300, 111);
  f.frame();
  BTN_vert_slider(1, 300, 100, 300, 0, 100, &v);
  EXPECT_EQ(v, 100);
  f.release();
  f.frame();
  EXPECT_EQ(BTN_vert_slider(1, 300, 100, 300, 0, 100, &v), 0);
  v = 7;
  EXPECT_EQ(BTN_vert_slider(1, 300, 100, 300, 5, 5, &v), 0);
  EXPECT_EQ(v, 7);
  BTN_vert_slider(2, 300.5f, 100, 301, 0, 10, &v);  // half-unit centres are rounded, not fatal
  EXPECT_FATAL_ALERT(BTN_vert_slider(4, 300, 100, 300, 0, 10, &v), "Too many sliders!");
  EXPECT_EQ(fly_test::alerts().back().line, 702);
  EXPECT_FATAL_ALERT(BTN_vert_slider(-1, 300, 100, 300, 0, 10, &v), "Too many sliders!");
}

TEST(HorzSlider, NarrowRangeWidensAndZeroWidthIsSafe) {
  widget_frames f;
  float v = 5;
  mnw.mouse_held = 1;
  f.move(300, 100);
  EXPECT_EQ(BTN_horz_slider(100, 100, 200, 0, 5, 5, &v, 1, "a|b", "cap"), 1);
  EXPECT_FLOAT_EQ(v, 5.01f);
  f.move(150, 100);
  EXPECT_EQ(BTN_horz_slider(100, 100, 200, 0, 0, 10, &v, 1, "", ""), 1);
  EXPECT_FLOAT_EQ(v, 2.5f);
  EXPECT_EQ(BTN_horz_slider(100, 100, 0, 0, 0, 10, &v, 1, "", ""), 0);
  EXPECT_FLOAT_EQ(v, 2.5f);
  EXPECT_EQ(BTN_horz_slider(100, 100, 200, 0, 0, 10, &v, 0, "", ""), 0);
}

TEST(NumberField, TypedDigitsReplaceTheirCellExactly) {
  widget_frames f;
  float v = 123.45f;
  focus_cell(f, 100, 100, &v, 5, 2, -999.99f, 999.99f, 0);
  EXPECT_EQ(BTN_number_hot_digit(), 0);
  EXPECT_FLOAT_EQ(typed(f, &v, '9'), 923.45f);
  EXPECT_EQ(BTN_number_hot_digit(), 1);
  v = 123.45f;
  BTN_number_hot_digit() = 4;
  EXPECT_FLOAT_EQ(typed(f, &v, '9'), 123.49f);  // not 123.48 from a binary fraction
  EXPECT_EQ(BTN_number_hot_digit(), 0);         // wrapped after the last cell
  BTN_number_hot_digit() = 4;
  EXPECT_FLOAT_EQ(typed(f, &v, 30, 38), 123.5f);  // up arrow on the last cell: + 0.01
  BTN_number_hot_digit() = 0;
  typed(f, &v, 28, 37);
  EXPECT_EQ(BTN_number_hot_digit(), 4);
  v = -12.5f;
  BTN_number_hot_digit() = 2;
  EXPECT_FLOAT_EQ(typed(f, &v, '7'), -17.5f);  // the sign is kept
  EXPECT_FLOAT_EQ(typed(f, &v, '+'), 17.5f);
}

TEST(NumberField, SignKeysAndClampInAPositiveRange) {
  widget_frames f;
  float v = 0;
  focus_cell(f, 100, 100, &v, 5, 2, 0, 100, 0);
  EXPECT_FLOAT_EQ(typed(f, &v, '-', 0, 0, 100), 0);
  v = 50;
  EXPECT_FLOAT_EQ(typed(f, &v, '+', 0, 0, 100), 50);
  EXPECT_FLOAT_EQ(typed(f, &v, '-', 0, 0, 100), 0);  // negated, then clamped back to min
}

TEST(NumberField, ArrowClicksOnBoundariesAndBeyondTheTenthCell) {
  widget_frames f;
  float v = 0;
  f.click(110, 110);  // on the boundary of cells 0 and 1, above: both go up
  f.frame();
  EXPECT_EQ(BTN_flt_range(100, 100, &v, 5, 2, 0, 999.99f, ""), 1);
  EXPECT_FLOAT_EQ(v, 110);
  f.click(125, 90);  // below cell 2
  f.frame();
  BTN_flt_range(100, 100, &v, 5, 2, 0, 999.99f, "");
  EXPECT_FLOAT_EQ(v, 109);
  EXPECT_EQ(mnw.cursor_kind, 21);
  float w = 0;
  f.click(100 + 10 * 11 + 5, 110);  // cell 11 of 12
  f.frame();
  EXPECT_EQ(BTN_flt_range(100, 100, &w, 12, 0, 0, 1e12f, ""), 0);
  EXPECT_FLOAT_EQ(w, 0);
}

TEST(NumberField, ThinFormsStoreBackAsTheyShould) {
  widget_frames f;
  double d = 1.0 / 3.0;
  BTN_dob_range(100, 100, &d, 5, 2, 0, 100, "");
  EXPECT_EQ(d, 1.0 / 3.0);  // untouched without a change
  int i = 42;
  BTN_int(100, 200, &i, 3, 0, "");
  EXPECT_EQ(i, 42);
  int big = 2000000000;
  BTN_int(100, 300, &big, 10, 1, "");  // far above 2^31 after scaling: no undefined rounding
  EXPECT_EQ(big, 2000000000);
  float huge = 9.9e9f;
  BTN_flt(100, 400, &huge, 10, 3, 1, "");
  EXPECT_FLOAT_EQ(huge, 9999999.999f);
  BTN_number_hot_digit() = 99;  // left by a wider field
  float g = 1;
  focus_cell(f, 300, 100, &g, 2, 0, 0, 99, 0);
  BTN_number_hot_digit() = 99;
  f.key('5');
  f.frame();
  BTN_flt_range(300, 100, &g, 2, 0, 0, 99, "");
  EXPECT_FLOAT_EQ(g, 5);  // clamped to the last cell (the units) before use
}

TEST(SmallWidgets, LatLonSplitsDegreesAndMinutes) {
  widget_frames f;
  float x = 100, y = 300, lon = -122.5f, lat = -0.5f;
  EXPECT_EQ(enter_lat_lon(&x, &y, &lon, &lat), 0);
  EXPECT_FLOAT_EQ(y, 200);
  EXPECT_FLOAT_EQ(lon, -122.5f);
  EXPECT_FLOAT_EQ(lat, -0.5f);
}
