#include "OGL/colr.h"
#include "OGL/ren.h"
#include "support/gl_count.h"
#include "support/test_util.h"

struct ColourRule : ::testing::Test {
  void SetUp() override {
    ren.green_mode = 0;
    ren.global_alpha = 1.0f;
    colr = colr_class();
  }
};

TEST_F(ColourRule, LightLevelsScaleSlotsUpTo48Only) {
  colr.assign(48, 1, 1, 1);
  colr.assign(49, 1, 1, 1);
  colr.lites[0] = 0.5f;
  colr.lites[2] = 0.25f;
  colr.lites[4] = 0.75f;
  colr.lites[1] = colr.lites[3] = colr.lites[5] = 0.0f;  // never read
  colr_rgba c = OGL_colour_of(48, 1);
  EXPECT_FLOAT_EQ(c.r, 0.5f);
  EXPECT_FLOAT_EQ(c.g, 0.25f);
  EXPECT_FLOAT_EQ(c.b, 0.75f);
  c = OGL_colour_of(49, 1);
  EXPECT_FLOAT_EQ(c.r, 1);
  EXPECT_FLOAT_EQ(c.g, 1);
  EXPECT_FLOAT_EQ(c.b, 1);
  colr.set_lites_for_interface();
  EXPECT_FLOAT_EQ(colr.lites[0], 0.75f);
  EXPECT_FLOAT_EQ(colr.lites[2], 0.75f);
  EXPECT_FLOAT_EQ(colr.lites[4], 0.75f);
}

TEST_F(ColourRule, GreenModeAndOpacity) {
  ren.green_mode = 1;
  colr_rgba c = OGL_colour_of(0, 1);  // white
  EXPECT_EQ(c.r, 0);
  EXPECT_EQ(c.g, 1);
  EXPECT_EQ(c.b, 0);
  c = OGL_colour_of(12, 1);  // black
  EXPECT_FLOAT_EQ(c.g, 0.01f);
  ren.green_mode = 0;

  ren.global_alpha = 0.995f;
  EXPECT_TRUE(OGL_colour_of(0, 1).opaque);
  ren.global_alpha = 0.99f;
  c = OGL_colour_of(0, 1);
  EXPECT_FALSE(c.opaque);
  EXPECT_FLOAT_EQ(c.a, 0.99f);

  // What reaches GL: three components when opaque, four otherwise.
  fly_test::gl_counter calls;
  ren.global_alpha = 1;
  OGL_setcolor(3, 1);
  OGL_setcolor(3, 0.5f);
  EXPECT_EQ(calls.count("Color3f"), 1);
  EXPECT_EQ(calls.count("Color4f"), 1);
}

TEST_F(ColourRule, DefaultsRampAndSpectrum) {
  EXPECT_EQ(ren_class().global_alpha, 1.0f);  // a zero alpha would draw nothing
  EXPECT_FLOAT_EQ(colr.rgb[75][0], 0.49f);
  EXPECT_FLOAT_EQ(colr.rgb[106][2], 0.9f);
  EXPECT_EQ(colr.rgb[11][0] + colr.rgb[11][1] + colr.rgb[11][2], 0.0f);
  EXPECT_EQ(colr.gamma_on, 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(colr.gamma_ramp[i], i);

  colr.spectrum_init(0);
  EXPECT_FLOAT_EQ(colr.spectrum[0][0], 1);
  EXPECT_NEAR(colr.spectrum[100][1], 0.16f, 1e-5);  // halfway red to orange
  EXPECT_NEAR(colr.spectrum[999][0], 0.796f, 1e-5);
  float before[3] = {colr.spectrum[500][0], colr.spectrum[500][1], colr.spectrum[500][2]};
  colr.spectrum_init(4);
  EXPECT_EQ(colr.spectrum[500][0], before[0]);
  EXPECT_EQ(colr.spectrum[500][1], before[1]);
  EXPECT_EQ(colr.spectrum[500][2], before[2]);
  colr.spectrum_init(2);
  EXPECT_NEAR(colr.spectrum[250][1], 0.25f, 1e-6);
  EXPECT_EQ(colr.spectrum[250][0], 0.0f);

  colr_rgba s = OGL_spectrum_of(-1);
  EXPECT_EQ(s.r + s.g + s.b, 0.0f);
  s = OGL_spectrum_of(2);
  EXPECT_FLOAT_EQ(s.r, 0.8f);
  EXPECT_FLOAT_EQ(s.b, 0.8f);
  s = OGL_spectrum_of(0.5f);  // the boundary yellow
  EXPECT_FLOAT_EQ(s.r, 1);
  EXPECT_FLOAT_EQ(s.g, 1);
  ren.green_mode = 1;
  s = OGL_spectrum_of(0);
  EXPECT_FLOAT_EQ(s.g, 0.01f);
}
