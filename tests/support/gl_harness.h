// The OpenGL test harness every interface test uses: the program's own
// window and context (made by the shell's start-up code, so tests see the
// program's GL state, with the texture manager started as start-up starts
// it), frames run through the real frame loop, scripted
// input through the real event translation, and the back buffer read before
// the swap. The window goes through SDL's offscreen driver (EGL on Mesa's
// llvmpipe), so no display server is needed; a missing context fails the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fly_test {

// Picks SDL's offscreen video driver; FLY_TEST_VIDEO names another one
// (x11 under xvfb-run, say).
void gl_use_test_display();

// "RESOURCE:" names reach the program's own resources (fonts, images).
void use_program_resources();

// Opens the program window on a pretend screen of screen_w x screen_h the way
// start-up does (screen mode defaults, MACIBM_setres, MACIBM_make_context,
// MACIBM_init_drawing). False, with a test failure, when there is none.
bool gl_open_window(int screen_w = 1024, int screen_h = 768);

// A test with the window open; any failure to get a context fails it.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual int screen_width() const { return 1024; }
  virtual int screen_height() const { return 768; }
};

// The test's frame: what APP_update does in each frame the test runs.
void set_frame(std::function<void()> fn);
// Runs n frames of the program (MACIBM_event_proc).
void run_frames(int n);

// RGBA pixels of the back buffer (rows bottom-up), read before the swap.
std::vector<uint8_t> read_back(int x, int y, int w, int h);
struct rgba {
  int r, g, b, a;
};
rgba pixel(int x, int y);  // window pixels, origin at the lower left
// Writes the back buffer: as a PNG when path ends in ".png", else as a raw
// RGBA dump with a one-line text header ("RGBA w h\n").
bool screenshot(const std::string& path);

// Scripted input: real events of the queue, handled by the next frame. The
// pointer is given in window pixels from the top-left corner.
void script_move(int x, int y);
void script_click(int x, int y, int button = 1);  // move, down, up
void script_down(int button = 1);
void script_up(int button = 1);
void script_wheel(float steps);
void script_key(int keycode, int mods = 0);  // down and up
void script_text(const std::string& utf8);
void script_close();

}  // namespace fly_test

// The fixture name tests write: TEST_F(GlWindow, ...).
using GlWindow = fly_test::GlTest;
