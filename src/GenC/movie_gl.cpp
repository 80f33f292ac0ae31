// The recorder's picture source: the window copied into the scratch texture
// (slot 429), drawn at movie size and read back (a movie of the window's own
// size is read straight from the window), through a pixel-pack buffer one
// frame late where the hardware has them.
#include "GenH/movie_gl.h"

#include <cstring>
#include <vector>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/qtim.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_scratch.h"
#include "UTL/localize.h"
#include "UTL/xtim.h"

namespace {
const int k_scratch = 2048;
const int k_slot = 429;
unsigned pbo_id = 0;
int pbo_bytes = 0;
int pbo_has_data = 0;
int pbo_bottom_up = 0;  // the buffer holds the window's rows as read, bottom first
int swapped_in_grab = 0;

bool pbo_path() {
  return glExt.pbo_avail && mnw.alias_got == 0 && glExt.glGenBuffersARB && glExt.glMapBufferARB;
}

void draw_indicator_and_swap() {
  qtim.draw_record_lgt();
  shell_hooks.swap();
}

void drop_pbo() {
  if (pbo_id && glExt.glDeleteBuffersARB) glExt.glDeleteBuffersARB(1, &pbo_id);
  pbo_id = 0;
  pbo_bytes = 0;
  pbo_has_data = 0;
}

// The scratch texture the window is copied into, RGB like the window.
void load_scratch() {
  scratch_dx = scratch_dy = k_scratch;
  tman.load_texture(tex_fail_fatal, k_slot, 0x81, tex_load_startup, "scratch_array-t_QT_movie");
  drop_pbo();
}

void unload_scratch() {
  tman.unload_texture(k_slot);
  drop_pbo();
}

void show() {
  if (!swapped_in_grab) draw_indicator_and_swap();
  swapped_in_grab = 0;
}

// The installer keeps no simulation time apart from the frame clock.
double frame_clock() { return xtim.real_elapsed; }

// Rows of dx * 4 bytes from src to dst in the other order.
void copy_rows_turned(unsigned char* dst, const unsigned char* src, int dx, int dy) {
  const size_t row = static_cast<size_t>(dx) * 4;
  for (int y = 0; y < dy; ++y) memcpy(dst + y * row, src + (dy - 1 - y) * row, row);
}

void turn_rows(unsigned char* px, int dx, int dy) {
  static std::vector<unsigned char> tmp;  // grows once: no allocation a frame
  const size_t row = static_cast<size_t>(dx) * 4;
  if (tmp.size() < row) tmp.resize(row);
  for (int y = 0; y < dy / 2; ++y) {
    unsigned char* a = px + y * row;
    unsigned char* b = px + (dy - 1 - y) * row;
    memcpy(tmp.data(), a, row);
    memcpy(a, b, row);
    memcpy(b, tmp.data(), row);
  }
}

// The movie-size quad of the scratch texture at the window's corner (0, 0),
// whatever logical window is open: that is where the pixels are read from.
// Upside down, so rows read bottom-up come out top row first.
void draw_scaled(int dx, int dy, int wdx, int wdy) {
  gl.Viewport(0, 0, mnw.window_dx, mnw.window_dy);
  gl.MatrixMode(GL_PROJECTION);
  gl.PushMatrix();
  gl.LoadIdentity();
  gl.Ortho(0, mnw.window_dx, 0, mnw.window_dy, -1, 1);
  gl.MatrixMode(GL_MODELVIEW);
  gl.PushMatrix();
  gl.LoadIdentity();
  OGL_setstate(1, 1, 3, 4, 9, 11);
  OGL_bind_tex_slot(k_slot, 0, 0);
  gl.Color4f(1, 1, 1, 1);
  const float s = static_cast<float>(wdx) / k_scratch, t = static_cast<float>(wdy) / k_scratch;
  gl.Begin(GL_QUADS);  // clockwise: the window culls the other side
  gl.TexCoord2f(0, t);
  gl.Vertex2f(0, 0);
  gl.TexCoord2f(0, 0);
  gl.Vertex2f(0, static_cast<float>(dy));
  gl.TexCoord2f(s, 0);
  gl.Vertex2f(static_cast<float>(dx), static_cast<float>(dy));
  gl.TexCoord2f(s, t);
  gl.Vertex2f(static_cast<float>(dx), 0);
  gl.End();
  gl.PopMatrix();
  gl.MatrixMode(GL_PROJECTION);
  gl.PopMatrix();
  gl.MatrixMode(GL_MODELVIEW);
}
}  // namespace

int MOV_gl_grab(void* bgra, int dx, int dy) {
  const size_t bytes = static_cast<size_t>(dx) * dy * 4;
  const bool use_pbo = pbo_path();
  unsigned char* out = static_cast<unsigned char*>(bgra);
  int filled = 0;
  if (use_pbo && static_cast<int>(bytes) != pbo_bytes) drop_pbo();
  if (use_pbo && !pbo_id) {
    glExt.glGenBuffersARB(1, &pbo_id);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
    glExt.glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, static_cast<GLsizeiptrARB>(bytes), nullptr,
                          GL_STREAM_READ_ARB);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    pbo_bytes = static_cast<int>(bytes);
  }
  if (use_pbo && pbo_has_data) {  // the previous frame
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
    if (const void* p = glExt.glMapBufferARB(GL_PIXEL_PACK_BUFFER_ARB, GL_READ_ONLY_ARB)) {
      if (pbo_bottom_up) copy_rows_turned(out, static_cast<const unsigned char*>(p), dx, dy);
      else memcpy(out, p, bytes);
      filled = 1;
    }
    glExt.glUnmapBufferARB(GL_PIXEL_PACK_BUFFER_ARB);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
  }

  const auto read = [&](bool bottom_up) {
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    if (use_pbo) {
      glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
      gl.ReadPixels(0, 0, dx, dy, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
      glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
      pbo_has_data = 1;
      pbo_bottom_up = bottom_up;
    } else {
      gl.ReadPixels(0, 0, dx, dy, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
      if (bottom_up) turn_rows(out, dx, dy);
      filled = 1;
    }
  };

  swapped_in_grab = 1;
  if (dx == mnw.window_dx && dy == mnw.window_dy) {
    // A movie of the window's own size is the window: read before the
    // indicator goes on, no copy and no quad.
    read(true);
    draw_indicator_and_swap();
    return filled;
  }
  // The window into the scratch texture, then the frame goes on screen with
  // the indicator, which so stays out of the movie.
  const int wdx = mnw.window_dx < k_scratch ? mnw.window_dx : k_scratch;
  const int wdy = mnw.window_dy < k_scratch ? mnw.window_dy : k_scratch;
  OGL_setstate(1, 1, 3, 4, 9, 11);
  OGL_bind_tex_slot(k_slot, 0, 0);
  gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, wdx, wdy);
  draw_indicator_and_swap();
  draw_scaled(dx, dy, wdx, wdy);
  read(false);
  shell_hooks.viewport_2d();  // back to the frame's projection
  return filled;
}

void MOV_install_hooks() {
  qtim_hooks.now = frame_clock;
  qtim_hooks.grab = MOV_gl_grab;
  qtim_hooks.show = show;
  qtim_hooks.load_scratch = load_scratch;
  qtim_hooks.unload_scratch = unload_scratch;
  shell_hooks.movie_takes_frame = [] { return qtim.mov_per_frame(); };
}

void qtim_class::draw_record_lgt() {
  OGL_string(60, 10, 10, UTL_translate_string("QuickTime Movie Recording..."), 0, font_regular, 0);
}

void qtim_class::qtim_wind() {
  BTN_fillwin(1, 24);
  float nx = 0, ny = 0;
  BTN_subwin(0, 18, -1, -1, -1, 296, "", &nx, &ny);
  if (state) mov_toggle(0);  // no recording while its settings change
  BTN_flt_range(150, 415, &frame_rate, 2, 0, 10, 99,
                UTL_translate_string("frame rate of movie|(frames per second)"));
  BTN_int_range(130, 365, &movie_dx, 4, 32, 2048,
                UTL_translate_string("x-resolution of movie|(pix) { The y-resolution is auto-set "
                                     "for you to scale perfectly based on the x-resolution you "
                                     "enter here."));
  const auto text = [](float y, const char* t) {
    OGL_string(50, 20, y, UTL_translate_string(t), 600, font_regular, 0);
  };
  if (qt_avail) {
    text(285, "QuickTime 6.00 or later IS installed on this machine! You are ready to make "
              "QuickTime movies from Flyvane to share with everyone!");
  } else {
    text(285, "QuickTime 6.00 or later IS NOT installed on this machine! You cannot make any "
              "movies until you install it! You can download QuickTime for free from:");
    OGL_string(50, 20, 255, "packages.debian.org: ffmpeg (libavformat, libavcodec)", 600,
               font_regular, 0);
    text(245, "QuickTime is available for free for Mac AND Windows. OF COURSE YOU HAVE TO INSTALL "
              "THE AUTHORING MODULE, NOT JUST VIEWING SOFTWARE, TO SAVE MOVIES.");
  }
  text(225, "When flying, hit CONTROL-SPACE to TOGGLE recording any time you like! A '.MOV' file "
            "will be created on your computer of what you just saw!");
  text(195, "Standard movie size is 320x240 pixels, at 15 fps to be a little jerky, 20 fps to be "
            "pretty smooth.");
  text(165, "WATCH OUT! YOU CAN GO THROUGH A LOT OF DISK SPACE FAST! Don't start recording a movie "
            "and then forget to stop it unless you want your hard drive to get filled up!");
  text(125, "Hit control-space as many times as you like with this filename... Flyvane will save "
            "the movies with 'take-1', 'take-2', etc. appended so you can easily do many takes!");
  text(85, "On a Macintosh you can then edit your movies (and add music) with iMovie, which comes "
           "free on all new Macs. Editing software is available for sale on Windows machines.");
}
