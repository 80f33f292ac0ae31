// The recorder's picture source: the window's rows the movie samples, read
// back through a pixel-pack buffer one frame late where the hardware has
// them, and brought to the movie's size on the CPU (nearest pixel, as the
// encoder's own conversion samples). A copy into the scratch texture and a
// quad drawn at movie size cost several times the read under a software
// renderer.
#include "GenH/movie_gl.h"

#include <cstdint>
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
int pbo_dx = 0, pbo_dy = 0;      // the window's size when the buffer was filled
int pbo_mdx = 0, pbo_mdy = 0;    // the movie size it was made for
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

// The scratch texture the recorder holds while it records, RGB like the window.
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

// The window row (counted from the bottom, as GL counts) that movie row y
// (counted from the top) samples: the one under its centre.
int window_row(int y, int dy, int wdy) {
  return wdy - 1 - static_cast<int>((2 * static_cast<long>(y) + 1) * wdy / (2 * dy));
}

// Reads what the movie samples of the window to dst (an offset into the
// bound pack buffer on that path): the whole window bottom up when the
// movie has its height, else only the rows it samples, top down. A software
// renderer copies every pixel it reads, so a small movie reads a third.
void read_window(uintptr_t dst, int dy, int wdx, int wdy) {
  if (dy == wdy) {
    gl.ReadPixels(0, 0, wdx, wdy, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  reinterpret_cast<void*>(dst));
    return;
  }
  const size_t row_bytes = static_cast<size_t>(wdx) * 4;
  for (int y = 0; y < dy; ++y)
    gl.ReadPixels(0, window_row(y, dy, wdy), wdx, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  reinterpret_cast<void*>(dst + y * row_bytes));
}

// The movie picture (dx by dy, top row first) from what read_window read
// of a window sdx by sdy: each movie pixel takes the window pixel under its
// centre.
void to_movie(unsigned char* dst, int dx, int dy, const unsigned char* src, int sdx, int sdy) {
  const size_t src_row = static_cast<size_t>(sdx) * 4;
  const bool bottom_up = dy == sdy;
  if (dx == sdx && bottom_up) {
    for (int y = 0; y < dy; ++y) memcpy(dst + y * src_row, src + (dy - 1 - y) * src_row, src_row);
    return;
  }
  static std::vector<int> column;  // grows once: no allocation a frame
  if (column.size() < static_cast<size_t>(dx)) column.resize(dx);
  for (int x = 0; x < dx; ++x)
    column[x] = static_cast<int>((2 * static_cast<long>(x) + 1) * sdx / (2 * dx)) * 4;
  uint32_t* out = reinterpret_cast<uint32_t*>(dst);
  for (int y = 0; y < dy; ++y) {
    const unsigned char* row = src + (bottom_up ? dy - 1 - y : y) * src_row;
    for (int x = 0; x < dx; ++x) memcpy(out++, row + column[x], 4);
  }
}
}  // namespace

int MOV_gl_grab(void* bgra, int dx, int dy) {
  const int wdx = mnw.window_dx, wdy = mnw.window_dy;
  const size_t bytes = static_cast<size_t>(wdx) * dy * 4;  // the rows read_window reads
  const bool use_pbo = pbo_path();
  unsigned char* out = static_cast<unsigned char*>(bgra);
  int filled = 0;
  if (use_pbo && (static_cast<int>(bytes) != pbo_bytes || dx != pbo_mdx || dy != pbo_mdy))
    drop_pbo();
  if (use_pbo && !pbo_id) {
    glExt.glGenBuffersARB(1, &pbo_id);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
    glExt.glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, static_cast<GLsizeiptrARB>(bytes), nullptr,
                          GL_STREAM_READ_ARB);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    pbo_bytes = static_cast<int>(bytes);
    pbo_mdx = dx, pbo_mdy = dy;
  }
  if (use_pbo && pbo_has_data) {  // the previous frame
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
    if (const void* p = glExt.glMapBufferARB(GL_PIXEL_PACK_BUFFER_ARB, GL_READ_ONLY_ARB)) {
      to_movie(out, dx, dy, static_cast<const unsigned char*>(p), pbo_dx, pbo_dy);
      filled = 1;
    }
    glExt.glUnmapBufferARB(GL_PIXEL_PACK_BUFFER_ARB);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
  }

  // Read before the indicator goes on, so that it stays out of the movie.
  gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
  if (use_pbo) {
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
    read_window(0, dy, wdx, wdy);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    pbo_has_data = 1;
    pbo_dx = wdx, pbo_dy = wdy;
  } else {
    static std::vector<unsigned char> window;  // grows once: no allocation a frame
    if (window.size() < bytes) window.resize(bytes);
    read_window(reinterpret_cast<uintptr_t>(window.data()), dy, wdx, wdy);
    to_movie(out, dx, dy, window.data(), wdx, wdy);
    filled = 1;
  }
  swapped_in_grab = 1;
  draw_indicator_and_swap();
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
