// The recorder's read-back of the window: movie size, top row first, BGRA,
// through the pixel-pack buffer one frame late or straight, in a dialog too;
// and a recording through the real frame loop.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "GenH/mnw.h"
#include "GenH/movie_gl.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/qtim.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
// Window pixels as drawing units.
void pixel_projection() {
  gl.Viewport(0, 0, 800, 600);
  gl.MatrixMode(GL_PROJECTION);
  gl.LoadIdentity();
  gl.Ortho(0, 800, 0, 600, -1, 1);
  gl.MatrixMode(GL_MODELVIEW);
  gl.LoadIdentity();
}

// Bottom half red on the left, blue on the right; the top quarter green.
void scene() {
  pixel_projection();
  OGL_setstate(1, 0, 3, 4, 9, 11);
  const auto rect = [](float x1, float y1, float x2, float y2, float r, float g, float b) {
    gl.Color3f(r, g, b);
    gl.Begin(GL_QUADS);
    gl.Vertex2f(x1, y1);  // clockwise
    gl.Vertex2f(x1, y2);
    gl.Vertex2f(x2, y2);
    gl.Vertex2f(x2, y1);
    gl.End();
  };
  rect(0, 0, 400, 450, 1, 0, 0);
  rect(400, 0, 800, 450, 0, 0, 1);
  rect(0, 450, 800, 600, 0, 1, 0);
}

struct bgra {
  int b, g, r;
};
bgra at(const std::vector<unsigned char>& px, int dx, int x, int row_from_top) {
  const unsigned char* p = &px[(static_cast<size_t>(row_from_top) * dx + x) * 4];
  return {p[0], p[1], p[2]};
}

struct MovieGl : fly_test::GlTest {
  int found_type = 0, found_main = 0;
  void SetUp() override {
    fly_test::GlTest::SetUp();
    found_type = mnw.window_type;
    found_main = mnw.main_window_type;
  }
  // A dialog left open would keep the next case's frames from the application.
  void TearDown() override {
    if (mnw.window_type != found_type) {
      MACIBM_startwind(std::max(found_type, 0), 0);
      mnw.window_type = found_type;
      mnw.main_window_type = found_main;
    }
    MACIBM_reset_hooks();
    qtim_hooks = {nullptr, nullptr, nullptr, nullptr, nullptr};
    fly_test::GlTest::TearDown();
  }
  // Grabs dx by dy pixels in each of frames frames of the scene.
  std::vector<int> grab_frames(int frames, std::vector<unsigned char>& px, int dx = 400,
                               int dy = 300) {
    static std::vector<int> filled;
    static std::vector<unsigned char>* out;
    static int w, h;
    filled.clear();
    out = &px;
    w = dx, h = dy;
    px.assign(size_t(dx) * dy * 4u, 0);
    fly_test::set_frame([] {
      scene();
      filled.push_back(MOV_gl_grab(out->data(), w, h));
    });
    fly_test::run_frames(frames);
    return filled;
  }
  static void expect_scene(const std::vector<unsigned char>& px, int dx = 400, int dy = 300) {
    const bgra top = at(px, dx, 10, 10), bl = at(px, dx, 10, dy - 10),
               br = at(px, dx, dx - 10, dy - 10);
    EXPECT_EQ(top.g, 255);
    EXPECT_EQ(top.r, 0);
    EXPECT_EQ(bl.r, 255);
    EXPECT_EQ(bl.b, 0);
    EXPECT_EQ(br.b, 255);
    EXPECT_EQ(br.r, 0);
  }
};
}  // namespace

TEST_F(MovieGl, ReadsTheWindowAtMovieSizeTopRowFirstStraightOrOneFrameLate) {
  MOV_install_hooks();
  qtim_hooks.load_scratch();
  glExt.pbo_avail = 0;
  std::vector<unsigned char> px;
  EXPECT_EQ(grab_frames(1, px), std::vector<int>({1}));
  {
    SCOPED_TRACE("straight");
    expect_scene(px);
  }
  EXPECT_EQ(grab_frames(1, px, 800, 600), std::vector<int>({1}));
  {
    SCOPED_TRACE("straight at the window's size");
    expect_scene(px, 800, 600);
  }

  if (!glExt.glGenBuffersARB) GTEST_SKIP() << "no pixel-pack buffers";
  glExt.pbo_avail = 1;
  qtim_hooks.load_scratch();  // a new recording starts without a frame in the buffer
  EXPECT_EQ(grab_frames(3, px), std::vector<int>({0, 1, 1}));
  {
    SCOPED_TRACE("pixel-pack buffer");
    expect_scene(px);
  }
  EXPECT_EQ(grab_frames(3, px, 800, 600), std::vector<int>({0, 1, 1}));
  {
    SCOPED_TRACE("pixel-pack buffer at the window's size");
    expect_scene(px, 800, 600);
  }

  // A framework window open: the picture still comes from the window's corner.
  // (A dialog's frames skip the application's drawing: grab by hand.)
  MACIBM_startwind(994, 0);
  ASSERT_GT(mnw.origin_x, 0);
  std::fill(px.begin(), px.end(), 0);
  for (int i = 0; i < 2; ++i) {
    scene();
    MOV_gl_grab(px.data(), 400, 300);
  }
  {
    SCOPED_TRACE("in a dialog");
    expect_scene(px);
  }
  qtim_hooks.unload_scratch();
}

// Neighbouring window pixels differ by tens in every channel, so a movie
// pixel that took one of them instead of mixing them shows.
int pattern(int x, int y, int channel) {
  switch (channel) {
    case 0: return (x * 37 + y * 11) & 255;
    case 1: return (x * 13 + y * 53) & 255;
    default: return ((x ^ y) * 5) & 255;
  }
}

void pattern_scene() {
  static std::vector<unsigned char> px;
  if (px.empty()) {
    px.resize(800u * 600u * 4u);
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x) {
        unsigned char* p = &px[(static_cast<size_t>(y) * 800 + x) * 4];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>(pattern(x, y, c));
        p[3] = 255;
      }
  }
  pixel_projection();
  OGL_setstate(0, 0, 0, 0, 0, 0);
  gl.RasterPos2i(0, 0);
  gl.DrawPixels(800, 600, GL_BGRA, GL_UNSIGNED_BYTE, px.data());
}

// What a linear-filtered texture of the window gives at the centre of movie
// pixel i of n over s window pixels: the first neighbour and the second's
// weight.
void linear_tap(int i, int n, int s, int* first, double* w) {
  const double at = (i + 0.5) * s / n - 0.5;
  *first = static_cast<int>(std::floor(at));
  *w = at - *first;
  if (at < 0) *first = 0, *w = 0;
  if (*first >= s - 1) *first = s - 1, *w = 0;
}

TEST_F(MovieGl, EveryMoviePixelMixesTheWindowPixelsAroundItsCentreAsALinearFilter) {
  MOV_install_hooks();
  const bool have_pbo = glExt.pbo_avail && glExt.glGenBuffersARB;
  for (int pbo = 0; pbo <= (have_pbo ? 1 : 0); ++pbo)
    // Larger than the window, the edge pixels are held out to the movie's edge.
    for (const auto& size :
         {std::pair<int, int>{320, 240}, {800, 600}, {333, 250}, {1000, 750}}) {
      const int dx = size.first, dy = size.second;
      SCOPED_TRACE(testing::Message() << dx << " by " << dy << (pbo ? ", pack buffer" : ""));
      glExt.pbo_avail = pbo;
      qtim_hooks.load_scratch();
      std::vector<unsigned char> px(static_cast<size_t>(dx) * dy * 4);
      for (int i = 0; i < 2; ++i) {
        pattern_scene();
        MOV_gl_grab(px.data(), dx, dy);
      }
      int wrong = 0;
      for (int y = 0; y < dy; ++y)
        for (int x = 0; x < dx; ++x) {
          int x0, k0;  // k: window rows from the top
          double wx, wy;
          linear_tap(x, dx, 800, &x0, &wx);
          linear_tap(y, dy, 600, &k0, &wy);
          const int x1 = wx > 0 ? x0 + 1 : x0, k1 = wy > 0 ? k0 + 1 : k0;
          for (int c = 0; c < 3; ++c) {
            const auto at = [c](int wx_, int k) { return pattern(wx_, 599 - k, c); };
            const double want = (at(x0, k0) * (1 - wx) + at(x1, k0) * wx) * (1 - wy) +
                                (at(x0, k1) * (1 - wx) + at(x1, k1) * wx) * wy;
            const int got = px[(static_cast<size_t>(y) * dx + x) * 4 + c];
            // Weights in 256ths, rounded twice.
            if (std::abs(got - want) > 3 && ++wrong <= 3)
              ADD_FAILURE() << "movie (" << x << ", " << y << ") channel " << c << ": " << got
                            << ", not " << want;
          }
        }
      EXPECT_EQ(wrong, 0);
      qtim_hooks.unload_scratch();
    }
}

TEST_F(MovieGl, ARecordingThroughTheFrameLoopWritesTheMovie) {
  MOV_install_hooks();
  static double now = 0;
  qtim_hooks.now = [] { return now; };
  fly_test::set_frame([] {
    scene();
    now += 1.0 / 40;
  });
  qtim.movie_dx = 320;
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.state, 1);
  fly_test::run_frames(41);  // 20 frames of a second at 20 per second
  for (int i = 0; i < 200 && qtim.state; ++i) {
    qtim.mov_toggle(0);
    fly_test::run_frames(1);
  }
  ASSERT_EQ(qtim.state, 0);
  qtim.stop_thread();
  // The take numbers go on across the cases of a process.
  int take = 1;
  while (fly_test::file_exists(qtim_take_name(take + 1))) ++take;
  const std::string movie = "'" + qtim_take_name(take) + "'";
  const std::string info =
      fly_test::sh("ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height "
                   "-of csv=p=0 " + movie);
  EXPECT_EQ(info, "mjpeg,320,240");
  const int frames = atoi(fly_test::sh("ffprobe -v error -count_packets -show_entries "
                                       "stream=nb_read_packets -of csv=p=0 " + movie).c_str());
  EXPECT_GE(frames, 20);
  fly_test::sh("ffmpeg -v error -y -i " + movie +
               " -frames:v 1 -f rawvideo -pix_fmt rgb24 frame.rgb");
  const std::string rgb = fly_test::read_file("frame.rgb");
  ASSERT_EQ(rgb.size(), 320u * 240 * 3);
  const auto px = [&rgb](int x, int y) { return static_cast<unsigned char>(rgb[(y * 320 + x) * 3 + 1]); };
  EXPECT_GT(px(20, 10), 200);  // green at the top
  EXPECT_LT(px(20, 230), 60);
}
