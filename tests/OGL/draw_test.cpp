// The 2D layer against a recording GL table: what each primitive sends, the
// window offset, the text uploads, numbers, screenshots and the background.
#include <cmath>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OGL/ogl_draw.h"
#include "OGL/xcam.h"
#include "OGL/ogl_seams.h"
#include "OGL/ren.h"
#include "UTL/resource.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

using fly_test::gl_recorder;
using fly_test::signed_area2;

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/");
    MACIBM_fill_tables();
    mnw.window_type = 0;
    mnw.window_dx = 1024;
    mnw.window_dy = 768;
    mnw.origin_x = mnw.origin_y = 0;
  }
  void TearDown() override { UTL_set_resource_folder(""); }

  int uploads() const { return rec.count("TexImage2D") + rec.count("TexSubImage2D"); }
  // Every quad of every Begin(GL_QUADS), four vertices each.
  std::vector<std::vector<std::pair<float, float>>> quads() const {
    std::vector<std::vector<std::pair<float, float>>> out;
    for (const auto& p : rec.prims())
      if (p.mode == GL_QUADS)
        for (size_t i = 0; i + 3 < p.v.size(); i += 4) out.push_back({p.v.begin() + i, p.v.begin() + i + 4});
    return out;
  }
  gl_recorder rec;
};

TEST_F(DrawTest, WindowMetricsFollowTheWindowSize) {
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  OGL_pix_specs();
  EXPECT_EQ(mnw.layout_x, 0);
  EXPECT_EQ(mnw.layout_y, 0);
  EXPECT_EQ(mnw.centre_x, 400);
  EXPECT_EQ(mnw.centre_y, 384);

  rec.clear();
  mnw.window_dx = 1280;
  mnw.window_dy = 1024;
  OGL_pix_specs(0);
  EXPECT_EQ(mnw.layout_x, 128);
  EXPECT_EQ(mnw.layout_y, 256);
  EXPECT_EQ(mnw.extent_x1, 1280);
  EXPECT_EQ(mnw.extent_y1, 1024);
  ASSERT_EQ(rec.count("Viewport"), 1);
  EXPECT_EQ(rec.named("Viewport")[0].args, (std::vector<double>{0, 0, 1280, 1024}));
  ASSERT_EQ(rec.count("LoadMatrixd"), 2);  // the camera's projection and model view
  double ortho[16];
  buildOrthoMatrix(ortho, 0, 1280, 0, 1024, -1, 1);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(xcam.proj[i], ortho[i]) << i;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(xcam.modelview[i], gIdentity[i]) << i;

  // No logical window yet: no layout offset across, and no viewport.
  rec.clear();
  mnw.window_type = -1;
  OGL_pix_specs(0);
  EXPECT_EQ(mnw.layout_x, 0);
  EXPECT_EQ(mnw.layout_y, 256);
  EXPECT_EQ(rec.count("Viewport"), 0);
}

TEST_F(DrawTest, AFilledRectangleIsOneClockwiseQuadAtTheWindowOrigin) {
  mnw.origin_x = 100;
  mnw.origin_y = 50;
  OGL_fillrect(0, 1.0f, 10, 20, 30, 40);
  auto q = quads();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], (std::vector<std::pair<float, float>>{{110, 70}, {110, 110}, {140, 110}, {140, 70}}));
  EXPECT_LT(signed_area2(q[0]), 0);  // clockwise: the front face
  EXPECT_EQ(rec.count("Color3f"), 1);  // opaque

  rec.clear();
  OGL_fillrect(0, 0.5f, 40, 60, -30, -40);  // the same box from its other corner
  q = quads();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], (std::vector<std::pair<float, float>>{{110, 70}, {110, 110}, {140, 110}, {140, 70}}));
  ASSERT_EQ(rec.count("Color4f"), 1);
  EXPECT_DOUBLE_EQ(rec.named("Color4f")[0].args[3], 0.5);

  rec.clear();
  OGL_framerect(0, 1.0f, 10, 20, 30, 40);
  auto prims = rec.prims();
  ASSERT_EQ(prims.size(), 1u);
  EXPECT_EQ(prims[0].mode, GL_LINE_LOOP);
  EXPECT_EQ(prims[0].v, (std::vector<std::pair<float, float>>{
                            {110.5f, 70.5f}, {110.5f, 110.5f}, {140.5f, 110.5f}, {140.5f, 70.5f}}));
}

TEST_F(DrawTest, ScissorBoxesAddTheOriginAndNeverGoNegative) {
  mnw.origin_x = 12;
  mnw.origin_y = 8;
  OGL_scissors(10, 20, -5, 30);
  ASSERT_EQ(rec.count("Scissor"), 1);
  EXPECT_EQ(rec.named("Scissor")[0].args, (std::vector<double>{22, 28, 0, 30}));
  EXPECT_EQ(rec.named("Enable")[0].args[0], GL_SCISSOR_TEST);
  OGL_scissors_end();
  EXPECT_EQ(rec.named("Disable").back().args[0], GL_SCISSOR_TEST);
}

TEST_F(DrawTest, LinesCirclesAndArcsStayFiniteAndBounded) {
  OGL_line(0, 1, 0, 0, 10, 0);
  EXPECT_EQ(rec.prims()[0].v, (std::vector<std::pair<float, float>>{{0.5f, 0.5f}, {10.5f, 0.5f}}));

  rec.clear();
  OGL_fillcircle(0, 50, 50, 2.5f);
  auto prims = rec.prims();
  EXPECT_EQ(prims.size(), 6u);  // rows -2.5 .. 2.5
  for (const auto& p : prims)
    for (const auto& v : p.v) EXPECT_TRUE(std::isfinite(v.first) && std::isfinite(v.second));
  EXPECT_FLOAT_EQ(prims[0].v[0].first, prims[0].v[1].first);  // the rim rows are points

  // Angles a turn or more away read the same table entries.
  rec.clear();
  OGL_arc(0, 0, 0, 10, 20, 5, 15);
  const auto near_arc = rec.prims();
  rec.clear();
  OGL_arc(0, 0, 0, 10, 20, 725, 735);
  EXPECT_EQ(rec.prims()[0].v, near_arc[0].v);
  rec.clear();
  OGL_arc(0, 0, 0, 10, 20, -355, -345);
  EXPECT_EQ(rec.prims()[0].v, near_arc[0].v);
  ASSERT_EQ(near_arc[0].v.size(), 22u);  // 11 angles, inner and outer
  // Each quad of the strip runs clockwise.
  const auto& v = near_arc[0].v;
  EXPECT_LT(signed_area2({v[0], v[1], v[3], v[2]}), 0);

  // A sweep of many turns is drawn as one turn.
  rec.clear();
  OGL_arc(0, 0, 0, 10, 20, 0, 1.0e9f);
  EXPECT_EQ(rec.prims()[0].v.size(), 2u * 361);
}

TEST_F(DrawTest, CubeAndDiscAreClosedShapesInTheirOwnFrame) {
  auto vertices = [&](int mode) {
    std::vector<std::vector<double>> out;
    bool in = false;
    int cur = -1;
    for (const auto& c : rec.calls()) {
      if (c.name == "Begin") in = true, cur = static_cast<int>(c.args[0]);
      else if (c.name == "End") in = false;
      else if (in && cur == mode && c.name == "Vertex3f") out.push_back(c.args);
    }
    return out;
  };
  OGL_cube(1, 2, 3, 4, 5, 6, 0.1f, 0.9f, 0.2f, 0.8f);
  EXPECT_EQ(rec.count("PushMatrix"), 1);
  EXPECT_EQ(rec.count("PopMatrix"), 1);
  EXPECT_EQ(rec.named("Translatef")[0].args, (std::vector<double>{1, 2, 3}));
  auto sides = vertices(GL_QUAD_STRIP);
  ASSERT_EQ(sides.size(), 10u);
  EXPECT_EQ(sides[0], (std::vector<double>{-2, 5, -3}));  // top first...
  EXPECT_EQ(sides[1], (std::vector<double>{-2, 0, -3}));  // ...then bottom
  EXPECT_EQ(sides[8], sides[0]);                          // the strip closes
  auto caps = vertices(GL_QUADS);
  ASSERT_EQ(caps.size(), 8u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(caps[i][1], 5);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(caps[i][1], 0);
  EXPECT_EQ(rec.named("TexCoord2f")[0].args[1], static_cast<double>(0.8f));

  rec.clear();
  OGL_disc(0, 0, 0, 10);
  auto fans = vertices(GL_TRIANGLE_FAN);
  ASSERT_EQ(fans.size(), 28u);  // two centres and two rings of 13
  EXPECT_EQ(fans[0], (std::vector<double>{-10, 0, 0}));
  EXPECT_EQ(fans[14], (std::vector<double>{10, 0, 0}));
  const double m = static_cast<float>(10 * 0.38);
  EXPECT_NEAR(fans[1][1], m, 1e-6);  // a = 360: cos 1
  auto strips = vertices(GL_QUAD_STRIP);
  ASSERT_EQ(strips.size(), 3u * 26);
  EXPECT_NEAR(strips[0][0], -10, 1e-6);   // bevel from the back face...
  EXPECT_NEAR(strips[1][0], -m, 1e-6);    // ...to the rim
  EXPECT_NEAR(strips[1][1], 10, 1e-5);
}

TEST_F(DrawTest, TexturedQuadsBindThroughTheTextureSeam) {
  static std::vector<std::vector<int>> binds;
  binds.clear();
  const ogl_bind_slot_fn saved = OGL_bind_tex_slot;
  OGL_bind_tex_slot = [](int slot, int unit, int mode) { binds.push_back({slot, unit, mode}); };
  mnw.origin_x = 5;
  OGL_2dquad_d(438, 0, 1, 0, 0, 10, 20, 0, 0, 1, 1, 1, 5);
  OGL_2dquad_d(410, 0, 1, 0, 0, 10, 20, 0, 0, 1, 1, 1, 5);
  OGL_2dquad_d(0, 0, 1, 0, 0, 10, 20, 0, 0, 1, 1, 1, 5);
  OGL_bind_tex_slot = saved;
  EXPECT_EQ(binds, (std::vector<std::vector<int>>{{438, 0, 17}, {410, 0, 0}}));
  auto q = quads();
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[0], (std::vector<std::pair<float, float>>{{5, 0}, {5, 20}, {15, 20}, {15, 0}}));
  auto tc = rec.named("TexCoord2f");
  EXPECT_EQ(tc[1].args, (std::vector<double>{0, 1}));
  EXPECT_EQ(tc[2].args, (std::vector<double>{1, 1}));
}

TEST_F(DrawTest, TextUploadsOnlyWhenANewGlyphAppears) {
  OGL_string(0, 10, 10, "Install Flyvane", 9999, font_regular, 0);
  EXPECT_EQ(uploads(), 1);
  EXPECT_EQ(OGL_default_tex_name(411), 1u);

  rec.clear();  // the next frame, the same text
  OGL_string(0, 10, 10, "Install Flyvane", 9999, font_regular, 0);
  EXPECT_EQ(uploads(), 0);
  EXPECT_EQ(quads().size(), 14u);  // one per non-blank glyph

  rec.clear();
  OGL_string(0, 10, 10, "Quit", 9999, font_regular, 0);  // Q and u are new
  EXPECT_EQ(uploads(), 1);
  // The bold font has a texture of its own.
  rec.clear();
  OGL_string(0, 10, 10, "Quit", 9999, font_bold, 0);
  EXPECT_EQ(uploads(), 1);
  EXPECT_EQ(OGL_default_tex_name(412), 2u);
}

TEST_F(DrawTest, TextQuadsLieInsideTheMeasuredBoxAndFollowTheAlignment) {
  mnw.origin_x = 30;
  mnw.origin_y = 40;
  const std::string text = "Hello, World";
  const float w = str_dx(text);
  OGL_font_info* f = OGL_font(font_regular);
  for (int align : {0, 1, 2}) {
    rec.clear();
    OGL_string(0, 200, 100, text, 9999, font_regular, align);
    const float left = 230 - (align == 1 ? w / 2 : align == 2 ? w : 0);
    for (const auto& q : quads()) {
      EXPECT_LT(signed_area2(q), 0);
      for (const auto& v : q) {
        EXPECT_GE(v.first, left - 1) << align;
        EXPECT_LE(v.first, left + w + 1) << align;
        EXPECT_GE(v.second, 139 - f->descender - 1);
        EXPECT_LE(v.second, 139 + f->ascender + 1);
      }
    }
  }
}

TEST_F(DrawTest, StringsReturnTheYOfTheirLastLine) {
  EXPECT_EQ(OGL_string(0, 0, 100, "one line", 9999, font_regular, 0), 100);
  EXPECT_EQ(OGL_string(0, 0, 100, "two\nlines", 9999, font_regular, 0), 90);
  EXPECT_EQ(OGL_string(0, 0, 100, "", 9999, font_regular, 0), 100);
  EXPECT_EQ(OGL_font_string(0, 0, 100, "a\nb\nc", 9999, font_regular, 0, 0), 80);
  // The second line is drawn 10 units lower.
  rec.clear();
  OGL_string(0, 0, 100, "I\nI", 9999, font_regular, 0);
  auto q = quads();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_FLOAT_EQ(q[0][0].second - q[1][0].second, 10);
  // A fixed advance spaces every code point alike.
  rec.clear();
  OGL_font_string(0, 0, 0, "iW", 9999, font_regular, 0, 12);
  q = quads();
  ASSERT_EQ(q.size(), 2u);
  const OGL_char_info* i = OGL_font(font_regular)->find('i');
  const OGL_char_info* W = OGL_font(font_regular)->find('W');
  EXPECT_FLOAT_EQ(q[1][0].first - W->bearing_x - (q[0][0].first - i->bearing_x), 12);
}

TEST_F(DrawTest, NumberTextsPadSeparateAndOverflow) {
  EXPECT_EQ(OGL_number_text(42, 5, 0), "00,042");
  EXPECT_EQ(OGL_number_text(123456, 4, 0), "1.23x5");
  EXPECT_EQ(OGL_number_text(123.45f, 6, 2), "0,123.45");
  EXPECT_EQ(OGL_number_text(7, 3, 0), "007");
  EXPECT_EQ(OGL_number_text(-0.04f, 3, 1), "-00.0");  // 0.4 tenths: still a minus
  EXPECT_EQ(OGL_number_text(-0.001f, 3, 1), "00.0");
  EXPECT_EQ(OGL_number_text(0.5f, 2, 2), "0.01x2");
  // Rounding up to a longer number is an overflow, not a wrapped-around zero.
  EXPECT_EQ(OGL_number_text(99999.6f, 5, 0), "1.00x5");
  // Eleven digits pass through no int.
  EXPECT_EQ(OGL_number_text(99999997952.0f, 11, 0), "99,999,997,952");
  EXPECT_EQ(OGL_number_text(NAN, 3, 0), "000");
}

TEST_F(DrawTest, BoldNumbersSitInFixedTenUnitCells) {
  mnw.origin_x = 0.4f;
  OGL_number(0, 100, 50, -42, 3, 0, font_bold);
  OGL_font_info* f = OGL_font(font_bold);
  auto q = quads();
  ASSERT_EQ(q.size(), 4u);  // "-", "0", "4", "2"
  const unsigned codes[] = {'-', '0', '4', '2'};
  for (int k = 0; k < 4; ++k) {
    const OGL_char_info* ci = f->find(codes[k]);
    // Pens at 90, 100, 110, 120 (x plus the origin, rounded, one cell left).
    EXPECT_FLOAT_EQ(q[k][0].first - ci->bearing_x, 90.0f + 10 * k);
    EXPECT_FLOAT_EQ(q[k][0].second - ci->bearing_y, 48.0f);
  }
  // A separator falls between the digits around it.
  rec.clear();
  OGL_number(0, 100, 50, 1234.5f, 6, 1, font_bold);
  q = quads();
  ASSERT_EQ(q.size(), 8u);  // ".", ",", then six digits
  const float dot_mid = (q[0][0].first + q[0][2].first) / 2;
  const float comma_mid = (q[1][0].first + q[1][2].first) / 2;
  EXPECT_GT(dot_mid, q[6][2].first - 1);  // after the units digit...
  EXPECT_LT(dot_mid, q[7][0].first + 1);  // ...before the tenths
  EXPECT_GT(comma_mid, q[2][2].first - 1);
  EXPECT_LT(comma_mid, q[4][0].first + 1);
}

TEST_F(DrawTest, TheFrameEndsInWhiteAndASwap) {
  static int swaps;
  swaps = 0;
  const ogl_swap_fn saved = OGL_swap_buffers;
  OGL_swap_buffers = [] { ++swaps; };
  OGL_sbuff();
  EXPECT_EQ(swaps, 1);
  EXPECT_EQ(rec.named("Color3f")[0].args, (std::vector<double>{1, 1, 1}));
  ren.green_mode = 1;
  ren.global_alpha = 0.5f;
  OGL_sbuff();
  EXPECT_EQ(rec.named("Color4f")[0].args, (std::vector<double>{0, 1, 0, 0.5}));
  OGL_swap_buffers = saved;
}

TEST_F(DrawTest, ScreenshotsPackTightClampCentredAndNeverOverwrite) {
  static std::vector<std::string> written;
  static std::vector<int> sizes;
  written.clear();
  const ogl_write_image_fn saved = OGL_write_png;
  OGL_write_png = [](const std::string& path, const unsigned char*, int dx, int dy, int ch) {
    written.push_back(path);
    sizes = {dx, dy, ch};
    return 1;
  };
  mnw.window_dx = 3001;
  mnw.window_dy = 5;
  fly_test::write_file("screenshot_0.png", "an earlier run's");
  OGL_screenshot(1);
  OGL_screenshot(1);
  OGL_screenshot(0);
  OGL_write_png = saved;

  // The pack alignment goes to 1 before every read of the window.
  const auto& c = rec.calls();
  int reads = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i].name != "ReadPixels") continue;
    ++reads;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(c[i - 1].name, "PixelStorei");
    EXPECT_EQ(c[i - 1].args, (std::vector<double>{GL_PACK_ALIGNMENT, 1}));
    EXPECT_EQ(std::vector<double>(c[i].args.begin(), c[i].args.begin() + 4),
              (std::vector<double>{476, 0, 2048, 5}));
  }
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(written, (std::vector<std::string>{"screenshot_1.png", "screenshot_2.png"}));
  EXPECT_EQ(sizes, (std::vector<int>{2048, 5, 3}));
  EXPECT_EQ(fly_test::read_file("screenshot_0.png"), "an earlier run's");
}

TEST_F(DrawTest, TheDefaultScreenshotWriterLeavesAPixmap) {
  const unsigned char px[2 * 2 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_EQ(OGL_write_png("shot.png", px, 2, 2, 3), 1);
  // Top row first in the file: our second row.
  EXPECT_EQ(fly_test::read_file("shot.ppm"),
            std::string("P6\n2 2\n255\n") + std::string("\x07\x08\x09\x0a\x0b\x0c\x01\x02\x03\x04\x05\x06", 12));
}

TEST_F(DrawTest, TheSpectrumScaleSurvivesAnEmptyRange) {
  colr.spectrum_init(0);
  colr.spectrum_plotscale(10, 20, 5, 5, 1);
  EXPECT_EQ(colr.scale_range, 0);
  std::vector<double> first(colr.spectrum[0], colr.spectrum[0] + 3);
  int points = 0;
  for (const auto& p : rec.prims())
    if (p.mode == GL_POINTS) points += static_cast<int>(p.v.size());
  EXPECT_EQ(points, 250);
  // Every point takes the first entry (no NaN turned into an index).
  int coloured = 0;
  bool in_points = false;
  for (const auto& c : rec.calls()) {
    if (c.name == "PointSize") in_points = c.args[0] == 4;
    if (in_points && c.name == "Color3f") {
      EXPECT_EQ(c.args, first);
      ++coloured;
    }
  }
  EXPECT_EQ(coloured, 250);
  EXPECT_EQ(rec.named("PointSize").back().args[0], 1);

  // An ordinary range runs from the first entry to the last.
  rec.clear();
  colr.spectrum_plotscale(10, 20, 0, 100, 0);
  auto cols = rec.named("Color3f");
  ASSERT_GE(cols.size(), 250u);
  // The top point stands for 99.7: an entry just below the last.
  const auto& last = cols.back().args;
  bool found = false;
  for (int i = 990; i < 1000; ++i)
    found |= std::fabs(last[0] - colr.spectrum[i][0]) < 1e-6 && std::fabs(last[2] - colr.spectrum[i][2]) < 1e-6;
  EXPECT_TRUE(found);
  EXPECT_NEAR(cols[cols.size() - 250].args[0], colr.spectrum[0][0], 1e-6);
}

TEST_F(DrawTest, TheBackgroundIsCutIntoSixteenTilesAndPlacedInTheWindow) {
  static std::vector<std::vector<int>> loads;
  loads.clear();
  const auto saved_load = OGL_load_tex_slot;
  const auto saved_img = OGL_load_rgba_image;
  static std::vector<unsigned char> tile_0;
  OGL_load_tex_slot = [](int slot, const unsigned char* px, int dx, int dy, int ch,
                         unsigned flags, const char* name) {
    loads.push_back({slot, dx, dy, ch, px[0], static_cast<int>(flags)});
    EXPECT_STREQ(name, "scratch_array-t_tex_back (tile)");
    if (slot == 447) tile_0.assign(px, px + static_cast<size_t>(dx) * dy * ch);
    return 1;
  };
  OGL_load_rgba_image = [](const std::string&, int, unsigned char** px, int* dx, int* dy) {
    *dx = 1024;
    *dy = 768;
    *px = static_cast<unsigned char*>(malloc(1024 * 768 * 4));
    // Each pixel's red byte names its tile: 4 * row + column; green holds
    // the row within the tile.
    for (int y = 0; y < 768; ++y)
      for (int x = 0; x < 1024; ++x) {
        (*px)[(y * 1024 + x) * 4] = static_cast<unsigned char>(4 * (y / 192) + x / 256);
        (*px)[(y * 1024 + x) * 4 + 1] = static_cast<unsigned char>(y % 192);
      }
    return 1;
  };
  EXPECT_FATAL_ALERT(OGL_make_back_tex(), "Trying to load a texture that you do not have!");
  fly_test::write_file("Resources/bitmaps/intro.png", "stands for the picture");
  OGL_make_back_tex();
  OGL_load_tex_slot = saved_load;
  OGL_load_rgba_image = saved_img;
  // Stored at powers of two, nearest and clamped: 192 rows stretch to 256,
  // each texel row taking the picture row under its centre.
  ASSERT_EQ(loads.size(), 16u);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(loads[i], (std::vector<int>{447 + i, 256, 256, 4, i, 0x192}));
  for (int t : {0, 1, 2, 128, 255})
    EXPECT_EQ(tile_0[static_cast<size_t>(t) * 256 * 4 + 1], (2 * t + 1) * 192 / 512) << t;
  EXPECT_EQ(back_dx, 1024);
  EXPECT_EQ(back_dy, 768);

  // No logical window, 800 by 600: the picture ends at the right edge and
  // rises 168 above the top.
  mnw.window_type = -1;
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  rec.clear();
  OGL_plot_back_tex();
  auto q = quads();
  EXPECT_EQ(q.size(), 16u);
  for (const auto& quad : q) EXPECT_LT(signed_area2(quad), 0);
  EXPECT_EQ(q[0][0], (std::make_pair(-224.0f, 0.0f)));
  EXPECT_EQ(q[15][2], (std::make_pair(800.0f, 768.0f)));
  // 400 by 300: only the two right columns of the two lowest rows show.
  mnw.window_dx = 400;
  mnw.window_dy = 300;
  rec.clear();
  OGL_plot_back_tex();
  q = quads();
  ASSERT_EQ(q.size(), 4u);
  EXPECT_EQ(q[0][0], (std::make_pair(-112.0f, 0.0f)));
  // Larger than the picture: the window is first filled with the background colour.
  mnw.window_dx = 1600;
  mnw.window_dy = 1200;
  mnw.origin_x = 20;
  rec.clear();
  OGL_plot_back_tex();
  q = quads();
  ASSERT_EQ(q.size(), 17u);
  EXPECT_EQ(q[0], (std::vector<std::pair<float, float>>{{0, 0}, {0, 1200}, {1600, 1200}, {1600, 0}}));
  EXPECT_EQ(q[1][0], (std::make_pair(0.0f, 432.0f)));
  // With a logical window the picture starts at the layout origin.
  mnw.window_type = 0;
  mnw.layout_x = 288;
  rec.clear();
  OGL_plot_back_tex();
  q = quads();
  ASSERT_EQ(q.size(), 16u);
  EXPECT_EQ(q[0][0], (std::make_pair(288.0f, 0.0f)));
}

}  // namespace
