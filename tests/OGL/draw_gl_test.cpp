// The 2D layer on a real context: what each primitive lights in the back
// buffer, text inside its measured box, the glyph cache uploading once,
// textured quads from the texture manager and the screenshot file.
#include <algorithm>
#include <cstdlib>

#include "GenH/mnw.h"
#include "GenH/shell.h"
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

TEST_F(DrawGl, AFilledRectangleLightsExactlyItsPixelsAndAnOutlineOnlyItsEdge) {
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
  for (int y = 15; y < 65; ++y)
    for (int x = 95; x < 135; ++x) {
      const bool inside = x >= 100 && x < 130 && y >= 20 && y < 60;
      const bool edge = inside && (x == 100 || x == 129 || y == 20 || y == 59);
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
  for (charset_t font : {font_regular, font_bold}) {
    SCOPED_TRACE(font);
    static const std::string text = "Flyvane Installer: gjpqy WAVE";
    static charset_t f;
    f = font;
    static region r;
    const float x = 40, y = 300;
    one_frame([&] { OGL_string(k_white, x, y, text, 9999, f, 0); },
              [] { r.read(0, 250, 400, 100); });
    const OGL_font_info* fi = OGL_font(font);
    const float w = OGL_measure_string(text, font);
    ASSERT_GT(w, 100);
    // The pen runs along y - 1; glyphs reach up to the ascender and down to
    // the descender, and across the measured advance (a pixel of coverage
    // either side for antialiasing).
    const float base = y - 1;
    const int x1 = int(x) - 1, x2 = int(std::ceil(x + w)) + 1;
    const int y1 = int(std::floor(base - fi->descender)) - 1;
    const int y2 = int(std::ceil(base + fi->ascender)) + 1;
    int inside = 0, outside = 0;
    for (int py = 250; py < 350; ++py)
      for (int px = 0; px < 400; ++px) {
        if (!r.lit(px, py)) continue;
        if (px >= x1 && px < x2 && py >= y1 && py < y2) {
          ++inside;
        } else {
          ++outside;
        }
      }
    EXPECT_GT(inside, 200);
    EXPECT_EQ(outside, 0) << "box " << x1 << ".." << x2 << " x " << y1 << ".." << y2;
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
  tman.TEX_init();
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
  tman.TEX_init();
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
      });
  ASSERT_TRUE(fly_test::file_exists("screenshot_0.png"));
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

  // The next one takes the next number.
  one_frame([] {}, [] { OGL_screenshot(1); });
  EXPECT_TRUE(fly_test::file_exists("screenshot_1.png"));
}
