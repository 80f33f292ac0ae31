// The 2D layer on a real context: what each primitive lights in the back
// buffer, text inside its measured box, the glyph cache uploading once,
// textured quads from the texture manager and the screenshot file.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_font.h"
#include "OOPS_cpp/tman.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_png.h"
#include "TEX/fixtures.h"
#include "support/gl_count.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {

constexpr int k_white = 0;   // colour slot 0 is (1, 1, 1)
constexpr int k_black = 12;  // a slot left (0, 0, 0)

// One frame: the window black, then draw(), then check() on the back buffer
// before the swap.
void one_frame(std::function<void()> draw, std::function<void()> check = nullptr) {
  static std::function<void()> d, c;
  d = std::move(draw);
  c = std::move(check);
  fly_test::set_frame([] {
    OGL_fillrect(k_black, 1.0f, -mnw.origin_x, -mnw.origin_y, float(mnw.window_dx),
                 float(mnw.window_dy));
    d();
    if (c) c();
  });
  fly_test::run_frames(1);
  fly_test::set_frame(nullptr);
}

// Lit pixels (any channel above 16) of a read-back region, as a w by h mask.
struct region {
  int x, y, w, h;
  std::vector<uint8_t> px;
  void read(int x0, int y0, int w0, int h0) {
    x = x0, y = y0, w = w0, h = h0;
    px = fly_test::read_back(x, y, w, h);
  }
  const uint8_t* at(int wx, int wy) const { return &px[(size_t(wy - y) * w + (wx - x)) * 4]; }
  bool lit(int wx, int wy) const {
    const uint8_t* p = at(wx, wy);
    return p[0] > 16 || p[1] > 16 || p[2] > 16;
  }
};

struct DrawGl : GlWindow {
  void SetUp() override {
    GlWindow::SetUp();
    ASSERT_EQ(mnw.origin_x, 0);
    ASSERT_EQ(mnw.origin_y, 0);
  }
};

}  // namespace

TEST_F(DrawGl, AFilledRectangleLightsExactlyItsPixelsAndAnOutlineEnclosesThem) {
  static region fill, frame;
  one_frame(
      [] {
        OGL_fillrect(k_white, 1.0f, 10, 20, 30, 40);
        OGL_framerect(k_white, 1.0f, 100, 20, 30, 40);
      },
      [] {
        fill.read(5, 15, 40, 50);
        frame.read(95, 15, 40, 50);
      });
  for (int y = 15; y < 65; ++y)
    for (int x = 5; x < 45; ++x) {
      const bool inside = x >= 10 && x < 40 && y >= 20 && y < 60;
      ASSERT_EQ(fill.lit(x, y), inside) << "fill pixel " << x << "," << y;
      if (inside) {
        ASSERT_EQ(fill.at(x, y)[0], 255) << x << "," << y;
      }
    }
  // The outline runs just outside the far edges of the same filled box.
  for (int y = 15; y < 65; ++y)
    for (int x = 95; x < 135; ++x) {
      const bool inside = x >= 100 && x <= 130 && y >= 20 && y <= 60;
      const bool edge = inside && (x == 100 || x == 130 || y == 20 || y == 60);
      ASSERT_EQ(frame.lit(x, y), edge) << "outline pixel " << x << "," << y;
    }
  EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawGl, AScissorBoxClipsEveryPrimitiveUntilItEnds) {
  static region r;
  one_frame(
      [] {
        OGL_scissors(50, 60, 20, 10);
        OGL_fillrect(k_white, 1.0f, 0, 0, 200, 200);
        OGL_scissors_end();
        OGL_fillrect(k_white, 1.0f, 150, 150, 5, 5);  // after the end: not clipped
      },
      [] { r.read(0, 0, 200, 200); });
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      const bool in_box = x >= 50 && x < 70 && y >= 60 && y < 70;
      const bool late = x >= 150 && x < 155 && y >= 150 && y < 155;
      ASSERT_EQ(r.lit(x, y), in_box || late) << x << "," << y;
    }
}

TEST_F(DrawGl, WhiteTextLightsPixelsOnlyInsideItsMeasuredBox) {
  for (charset_t font : {font_regular, font_bold})
    for (int align : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "font " << font << " align " << align);
      static const std::string text = "Flyvane Installer: gjpqy WAVE";
      static charset_t f;
      static int a;
      f = font;
      a = align;
      static region r;
      const float x = 200, y = 300;
      one_frame([&] { OGL_string(k_white, x, y, text, 9999, f, a); },
                [] { r.read(0, 250, 400, 100); });
      const OGL_font_info* fi = OGL_font(font);
      const float w = OGL_measure_string(text, font);
      ASSERT_GT(w, 100);
      // The pen runs along y - 1 from the aligned start; glyphs reach up to
      // the ascender, down to the descender and across the measured advance
      // (a pixel of coverage either side for antialiasing).
      const float left = align == 0 ? x : align == 1 ? x - w / 2 : x - w;
      const float base = y - 1;
      const int x1 = int(std::floor(left)) - 1, x2 = int(std::ceil(left + w)) + 1;
      const int y1 = int(std::floor(base - fi->descender)) - 1;
      const int y2 = int(std::ceil(base + fi->ascender)) + 1;
      int inside = 0, outside = 0, first_x = 400, last_x = -1;
      for (int py = 250; py < 350; ++py)
        for (int px = 0; px < 400; ++px) {
          if (!r.lit(px, py)) continue;
          first_x = std::min(first_x, px), last_x = std::max(last_x, px);
          if (px >= x1 && px < x2 && py >= y1 && py < y2) {
            ++inside;
          } else {
            ++outside;
          }
        }
      EXPECT_GT(inside, 200);
      EXPECT_EQ(outside, 0) << "box " << x1 << ".." << x2 << " x " << y1 << ".." << y2;
      // The ink fills the box across: it starts and ends within a few pixels
      // of the measured ends ("F" and "E" have no side bearing to speak of).
      EXPECT_LE(first_x - x1, 4);
      EXPECT_LE(x2 - last_x, 5);
      // The descenders of "gjpqy" go below the baseline, the capitals above it.
      bool below = false, high = false;
      for (int px = x1; px < x2; ++px) {
        for (int py = y1; py < int(base) - 1; ++py) below |= r.lit(px, py);
        for (int py = int(base + fi->ascender * 0.6f); py < y2; ++py) high |= r.lit(px, py);
      }
      EXPECT_TRUE(below);
      EXPECT_TRUE(high);
    }
}

TEST_F(DrawGl, ASecondIdenticalFrameUploadsNoGlyphs) {
  const auto draw = [] {
    OGL_string(k_white, 20, 200, "Choose what to install", 9999, font_regular, 0);
    OGL_string(k_white, 20, 180, "Disk space: 1,234 MB", 9999, font_bold, 0);
  };
  {
    fly_test::gl_counter count;
    one_frame(draw);
    EXPECT_GT(count.count("TexImage2D") + count.count("TexSubImage2D"), 0);
  }
  fly_test::gl_counter count;
  one_frame(draw);
  EXPECT_EQ(count.count("TexImage2D") + count.count("TexSubImage2D"), 0) << count.text();
  EXPECT_GT(count.count("Begin"), 0);
}

TEST_F(DrawGl, ATexturedQuadShowsTheSlotsPixelsRightWayUp) {
  // 64 by 32, opaque: red counts columns, green counts rows from the top.
  tex_fix::png_spec p;
  p.width = 64;
  p.height = 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) p.rows += std::string{char(x * 4), char(y * 8), char(90), char(255)};
  fly_test::write_file("q.png", tex_fix::png_bytes(p));
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 120, 0x10092, tex_load_now, "q.png"), 120);
  static region r;
  one_frame(
      [] {
        // Texels 1:1 at (200, 100); t runs from the bottom row up.
        OGL_2dquad_d(120, k_white, 1.0f, 200, 100, 264, 132, 0, 0, 1, 1, 1, 4);
      },
      [] { r.read(200, 100, 64, 32); });
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* q = r.at(200 + x, 100 + y);
      ASSERT_EQ((std::vector<int>{q[0], q[1], q[2]}), (std::vector<int>{x * 4, (31 - y) * 8, 90}))
          << "window pixel " << x << "," << y;
    }
  EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawGl, AScreenshotIsAPngOfTheWindowWithTheFramesPixels) {
  static std::vector<uint8_t> frame;
  one_frame(
      [] {
        OGL_fillrect(1, 1.0f, 0, 0, 333, 17);
        OGL_fillrect(10, 1.0f, mnw.window_dx - 40, mnw.window_dy - 30, 40, 30);
        OGL_string(k_white, 300, 300, "Screenshot", 9999, font_bold, 0);
      },
      [] {
        frame = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy);
        OGL_screenshot(1);
        fly_test::screenshot("harness.png");
      });
  ASSERT_TRUE(fly_test::file_exists("screenshot_0.png"));
  // The harness's own screenshot is the same PNG, RGBA.
  {
    xmap_class h("harness.png");
    unsigned char* hp = nullptr;
    TEX_image_desc hd{};
    ASSERT_EQ(TEX_load_png("harness.png", h, hp, GL_RGBA, 0, 0, 0, hd), 1);
    ASSERT_EQ(size_t(hd.width) * hd.height * 4, frame.size());
    EXPECT_EQ(memcmp(hp, frame.data(), frame.size()), 0);
    free(hp);
  }
  xmap_class file("screenshot_0.png");
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  ASSERT_EQ(TEX_load_png("screenshot_0.png", file, px, GL_RGBA, 0, 0, 0, d), 1);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(d.width, mnw.window_dx);
  EXPECT_EQ(d.height, mnw.window_dy);
  ASSERT_EQ(size_t(d.width) * d.height * 4, frame.size());
  // Both bottom row first: the same pixels, the red strip at the bottom left.
  size_t differ = 0;
  for (size_t i = 0; i < frame.size(); i += 4)
    for (int k = 0; k < 3; ++k) differ += px[i + k] != frame[i + k];
  EXPECT_EQ(differ, 0u);
  EXPECT_EQ(px[0], 255);
  EXPECT_LT(px[1], 100);
  free(px);

  // The next one takes the next number. An odd width (rows that are no
  // multiple of 4 bytes in RGB) reads tight rows: the same pixels again.
  static int full_dx;
  full_dx = mnw.window_dx;
  one_frame(
      [] {
        OGL_fillrect(1, 1.0f, 0, 0, 333, 17);
        OGL_fillrect(10, 1.0f, 200, 300, 3, 250);
      },
      [] {
        mnw.window_dx = full_dx - 3;
        frame = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy);
        OGL_screenshot(1);
        mnw.window_dx = full_dx;
      });
  ASSERT_TRUE(fly_test::file_exists("screenshot_1.png"));
  xmap_class odd("screenshot_1.png");
  px = nullptr;
  ASSERT_EQ(TEX_load_png("screenshot_1.png", odd, px, GL_RGBA, 0, 0, 0, d), 1);
  EXPECT_EQ(d.width, full_dx - 3);
  ASSERT_EQ(size_t(d.width) * d.height * 4, frame.size());
  differ = 0;
  for (size_t i = 0; i < frame.size(); i += 4)
    for (int k = 0; k < 3; ++k) differ += px[i + k] != frame[i + k];
  EXPECT_EQ(differ, 0u);
  free(px);
}

TEST_F(DrawGl, TextThatGrowsTheGlyphCacheDrawsAsItDoesOnceCached) {
  // Enough distinct glyphs in both fonts to grow the cache bitmap several
  // times inside one frame; the first frame must already show them right.
  static std::string lines[8];
  std::string all;
  for (unsigned c = 0x21; c < 0x7f; ++c) all += char(c);
  const auto utf8 = [](unsigned c) {
    std::string s;
    if (c < 0x800) {
      s += char(0xC0 | (c >> 6));
    } else {
      s += char(0xE0 | (c >> 12));
      s += char(0x80 | ((c >> 6) & 0x3F));
    }
    s += char(0x80 | (c & 0x3F));
    return s;
  };
  for (unsigned c = 0xC0; c < 0x180; ++c) all += utf8(c);
  for (unsigned c = 0x391; c < 0x3CA; ++c) all += utf8(c);
  for (unsigned c = 0x410; c < 0x450; ++c) all += utf8(c);
  for (int i = 0; i < 8; ++i) lines[i] = all;
  static std::vector<uint8_t> first, second;
  const auto draw = [] {
    for (int i = 0; i < 8; ++i)
      OGL_string(k_white, 10, 580 - 70.0f * i, lines[i], 780, i % 2 ? font_bold : font_regular, 0);
  };
  const int rows_before = OGL_font(font_regular)->rows_used;
  one_frame(draw, [] { first = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy); });
  EXPECT_GT(OGL_font(font_regular)->rows_used, std::max(rows_before, 16));
  fly_test::gl_counter count;
  one_frame(draw, [] { second = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy); });
  EXPECT_EQ(count.count("TexImage2D") + count.count("TexSubImage2D"), 0);
  ASSERT_EQ(first.size(), second.size());
  size_t lit = 0, differ = 0;
  for (size_t i = 0; i < first.size(); i += 4) {
    lit += first[i] > 16;
    differ += first[i] != second[i];
  }
  EXPECT_GT(lit, 5000u);
  EXPECT_EQ(differ, 0u);
}

TEST_F(DrawGl, ALogicalWindowMovesPrimitivesScissorsAndTextAlike) {
  MACIBM_startwind(997, 0);  // a 700 by 206 dialog, centred
  ASSERT_GT(mnw.origin_x, 0);
  ASSERT_GT(mnw.origin_y, 0);
  static region r;
  static int ox, oy;
  ox = int(mnw.origin_x), oy = int(mnw.origin_y);
  // Dialogs draw before the frame that swaps, as their modal loops do.
  OGL_fillrect(k_black, 1.0f, -mnw.origin_x, -mnw.origin_y, float(mnw.window_dx),
               float(mnw.window_dy));
  OGL_fillrect(k_white, 1.0f, 10, 20, 5, 6);
  OGL_scissors(100, 0, 10, 10);
  OGL_fillrect(k_white, 1.0f, 0, 0, 300, 300);
  OGL_scissors_end();
  OGL_string(1, 200, 100, "Offset", 9999, font_bold, 0);
  r.read(0, 0, mnw.window_dx, mnw.window_dy);
  fly_test::run_frames(1);
  int lit_fill = 0, lit_scissor = 0, stray = 0, text = 0;
  const float w = OGL_measure_string("Offset", font_bold);
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x) {
      if (!r.lit(x, y)) continue;
      const int ux = x - ox, uy = y - oy;
      if (ux >= 10 && ux < 15 && uy >= 20 && uy < 26) {
        ++lit_fill;
      } else if (ux >= 100 && ux < 110 && uy >= 0 && uy < 10) {
        ++lit_scissor;
      } else if (ux >= 199 && ux <= 201 + w && uy >= 90 && uy < 112) {
        ++text;
        // Slot 1 is (1, 0.2, 0.2): red text, never white.
        EXPECT_LE(r.at(x, y)[1], r.at(x, y)[0] / 4 + 2) << x << "," << y;
      } else {
        ++stray;
      }
    }
  EXPECT_EQ(lit_fill, 30);
  EXPECT_EQ(lit_scissor, 100);
  EXPECT_GT(text, 40);
  EXPECT_EQ(stray, 0);
}

TEST_F(DrawGl, NarrowedRussianTextStaysInsideItsMeasuredBox) {
  mnw.language = 3;  // Cyrillic is drawn 0.9 wide
  OGL_font_reset(font_both);
  ASSERT_FLOAT_EQ(OGL_font(font_regular)->scale_x, 0.9f);
  static const std::string text =
      "\xD0\xA3\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBA\xD0\xB0 "
      "\xD0\x96\xD0\xA9\xD0\xA8 \xD0\xB4\xD1\x84\xD1\x83 WAVE";  // "Установка ЖЩШ дфу WAVE"
  static region r;
  for (charset_t font : {font_regular, font_bold}) {
    SCOPED_TRACE(font);
    static charset_t f;
    f = font;
    one_frame([] { OGL_string(k_white, 100, 300, text, 9999, f, 0); },
              [] { r.read(0, 250, 400, 100); });
    const float w = OGL_measure_string(text, font);
    const OGL_font_info* fi = OGL_font(font);
    int first_x = 400, last_x = -1, outside = 0;
    for (int py = 250; py < 350; ++py)
      for (int px = 0; px < 400; ++px) {
        if (!r.lit(px, py)) continue;
        first_x = std::min(first_x, px), last_x = std::max(last_x, px);
        outside += py < std::floor(299 - fi->descender) - 1 || py >= std::ceil(299 + fi->ascender) + 1;
      }
    EXPECT_EQ(outside, 0);
    EXPECT_GE(first_x, 99);
    EXPECT_LE(last_x, int(std::ceil(100 + w)));
    EXPECT_GE(last_x, int(100 + w) - 5) << "the ink spans the measure";
  }
  mnw.language = 0;
  OGL_font_reset(font_both);
}
