#include "support/gl_harness.h"

#include <cstdio>
#include <cstdlib>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_window.h"
#include "OGL/gl_calls.h"
#include "TEX/TEX_png.h"
#include "UTL/resource.h"

namespace fly_test {
namespace {
std::function<void()> g_frame;
void frame_hook() {
  if (g_frame) g_frame();
}
}  // namespace

void gl_use_test_display() {
  const char* video = getenv("FLY_TEST_VIDEO");
  // Offscreen even with a display: no window flashes up, and no window
  // manager moves the window away from where the tests expect it.
  setenv("SDL_VIDEODRIVER", video && *video ? video : "offscreen", 1);
}

void use_program_resources() { UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/"); }

bool gl_open_window(int screen_w, int screen_h) {
  gl_use_test_display();
  use_program_resources();
  LIN_set_screen_override(screen_w, screen_h);
  mnw.x_res = 800;
  mnw.y_res = 600;
  mnw.req_depth = 32;
  mnw.tex_res_level = 5;
  MACIBM_setres(1);
  if (!MACIBM_make_context(0)) {
    ADD_FAILURE() << "no OpenGL window or context: the GL tests need one (SDL_VIDEODRIVER="
                  << (getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "") << ")";
    return false;
  }
  MACIBM_init_drawing();
  shell_hooks.app_update = frame_hook;
  return true;
}

void GlTest::SetUp() {
  ASSERT_TRUE(gl_open_window(screen_width(), screen_height())) << "no GL context";
}

void GlTest::TearDown() {
  g_frame = nullptr;
  MACIBM_nuke_context(0);
}

void set_frame(std::function<void()> fn) { g_frame = std::move(fn); }

void run_frames(int n) {
  for (int i = 0; i < n; ++i) MACIBM_event_proc();
}

std::vector<uint8_t> read_back(int x, int y, int w, int h) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  if (!gl.ReadPixels) {
    ADD_FAILURE() << "no GL context to read";
    return px;
  }
  gl.ReadBuffer(GL_BACK);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.ReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}

rgba pixel(int x, int y) {
  std::vector<uint8_t> p = read_back(x, y, 1, 1);
  return {p[0], p[1], p[2], p[3]};
}

bool screenshot(const std::string& path) {
  std::vector<uint8_t> px = read_back(0, 0, mnw.window_dx, mnw.window_dy);
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) {
    // The texture layer's writer takes rows bottom first, as GL reads them.
    const TEX_image_desc d{GL_RGBA, mnw.window_dx, mnw.window_dy, 0, 0};
    const std::string keep = app_path;
    app_path.clear();  // path is the caller's, not the program folder's
    const bool ok = TEX_save_png(path, d, px.data());
    app_path = keep;
    return ok;
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  fprintf(f, "RGBA %d %d\n", mnw.window_dx, mnw.window_dy);
  const bool ok = fwrite(px.data(), 1, px.size(), f) == px.size();
  return fclose(f) == 0 && ok;
}

void script_move(int x, int y) { LIN_script_move(x, y); }
void script_down(int button) { LIN_script_button(1, button); }
void script_up(int button) { LIN_script_button(0, button); }
void script_click(int x, int y, int button) {
  script_move(x, y);
  script_down(button);
  script_up(button);
}
void script_wheel(float steps) { LIN_script_wheel(steps); }
void script_key(int keycode, int mods) {
  LIN_script_key(1, keycode, mods, 0);
  LIN_script_key(0, keycode, mods, 0);
}
void script_text(const std::string& utf8) { LIN_script_text(utf8.c_str()); }
void script_close() { LIN_script_close(); }

}  // namespace fly_test
