// The recorder's picture source: the window's rows the movie's filter
// reads, read back through a pixel-pack buffer one frame late where the
// hardware has them, and brought to the movie's size on the CPU with the
// linear filter the scratch texture draws with. A copy into the scratch
// texture and a quad drawn at movie size cost several times the read under
// a software renderer.
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

typedef uint16_t u16x8 __attribute__((vector_size(16)));
typedef uint16_t u16x4 __attribute__((vector_size(8)));
typedef uint8_t u8x8 __attribute__((vector_size(8)));
typedef uint8_t u8x4 __attribute__((vector_size(4)));

// How a movie of dx by dy samples a window of sdx by sdy, as a quad drawn
// at movie size from a linear-filtered texture of the window would: each
// movie pixel mixes the four window pixels around its centre, weighted in
// 256ths. Window rows no movie pixel weighs are not read.
struct sampling {
  int dx = -1, dy = -1, sdx = -1, sdy = -1;
  std::vector<int> pair;     // per movie column: byte offset of the left one of two window pixels
  std::vector<u16x8> wx;     // their weights, four times each
  std::vector<int> row0, row1, wy;  // per movie row: rows of the read buffer, weight of row1
  std::vector<int> run_first, run_last;  // window rows (from the top) read in one piece each
  std::vector<int> slot;                 // per window row: its row in the read buffer
  std::vector<char> needed;
  int rows = 0;                          // rows read
};

// The first of the two window pixels around the centre of movie pixel i
// (of n over s) and the second one's weight; at the window's edge both are
// the edge pixel.
void tap(int i, int n, int s, int* first, int* w) {
  const long long at = (2LL * i + 1) * s * 128 / n - 128;  // 256ths of a pixel
  *first = at < 0 ? 0 : static_cast<int>(at >> 8);
  *w = at < 0 ? 0 : static_cast<int>(at & 255);
  if (*first >= s - 1) *first = s - 1, *w = 0;
}

// No allocation a frame: the vectors only grow when the sizes change.
const sampling& sampling_for(int dx, int dy, int sdx, int sdy) {
  static sampling p;
  if (p.dx == dx && p.dy == dy && p.sdx == sdx && p.sdy == sdy) return p;
  p.dx = dx, p.dy = dy, p.sdx = sdx, p.sdy = sdy;
  p.pair.resize(dx), p.wx.resize(dx);
  for (int x = 0; x < dx; ++x) {
    int c, w;
    tap(x, dx, sdx, &c, &w);
    // The last column is the right one of its pair, so that no pair reaches
    // past the row (a row is padded for a window one pixel wide).
    if (c > 0 && c == sdx - 1) --c, w = 256;
    const uint16_t v = static_cast<uint16_t>(256 - w), u = static_cast<uint16_t>(w);
    p.pair[x] = c * 4;
    p.wx[x] = u16x8{v, v, v, v, u, u, u, u};
  }
  p.row0.resize(dy), p.row1.resize(dy), p.wy.resize(dy);
  p.needed.assign(sdy, 0);
  for (int y = 0; y < dy; ++y) {
    tap(y, dy, sdy, &p.row0[y], &p.wy[y]);
    p.row1[y] = p.wy[y] ? p.row0[y] + 1 : p.row0[y];
    p.needed[p.row0[y]] = p.needed[p.row1[y]] = 1;
  }
  // Each piece is read bottom up, as GL reads.
  p.run_first.clear(), p.run_last.clear();
  p.slot.resize(sdy);
  p.rows = 0;
  for (int k = 0; k < sdy;) {
    if (!p.needed[k]) {
      ++k;
      continue;
    }
    int last = k;
    while (last + 1 < sdy && p.needed[last + 1]) ++last;
    p.run_first.push_back(k), p.run_last.push_back(last);
    for (int r = k; r <= last; ++r) p.slot[r] = p.rows + last - r;
    p.rows += last - k + 1;
    k = last + 1;
  }
  for (int y = 0; y < dy; ++y) p.row0[y] = p.slot[p.row0[y]], p.row1[y] = p.slot[p.row1[y]];
  return p;
}

// Reads the window rows the movie weighs to dst (an offset into the bound
// pack buffer on that path). A software renderer copies every pixel it
// reads, so a small movie reads less of the window.
void read_window(uintptr_t dst, int dx, int dy, int wdx, int wdy) {
  const sampling& p = sampling_for(dx, dy, wdx, wdy);
  const size_t row_bytes = static_cast<size_t>(wdx) * 4;
  size_t at = 0;
  for (size_t i = 0; i < p.run_first.size(); ++i) {
    const int n = p.run_last[i] - p.run_first[i] + 1;
    gl.ReadPixels(0, wdy - 1 - p.run_last[i], wdx, n, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  reinterpret_cast<void*>(dst + at * row_bytes));
    at += n;
  }
}

// out = a and b mixed, b weighing w 256ths, n bytes.
void mix_rows(unsigned char* out, const unsigned char* a, const unsigned char* b, int n,
              uint16_t w) {
  const uint16_t v = static_cast<uint16_t>(256 - w);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    u8x8 x, y;
    memcpy(&x, a + i, 8);
    memcpy(&y, b + i, 8);
    const u16x8 m = (__builtin_convertvector(x, u16x8) * v + __builtin_convertvector(y, u16x8) * w +
                     128) >> 8;
    const u8x8 o = __builtin_convertvector(m, u8x8);
    memcpy(out + i, &o, 8);
  }
  for (; i < n; ++i) out[i] = static_cast<unsigned char>((a[i] * v + b[i] * w + 128) >> 8);
}

// The movie picture (dx by dy, top row first) from what read_window read
// of a window sdx by sdy: each movie row from its two window rows mixed,
// then each pixel from its two pixels of that.
void to_movie(unsigned char* dst, int dx, int dy, const unsigned char* src, int sdx, int sdy) {
  const size_t src_row = static_cast<size_t>(sdx) * 4;
  if (dx == sdx && dy == sdy) {  // every weight 0: the window as it is, flipped
    for (int y = 0; y < dy; ++y) memcpy(dst + y * src_row, src + (dy - 1 - y) * src_row, src_row);
    return;
  }
  const sampling& p = sampling_for(dx, dy, sdx, sdy);
  static std::vector<unsigned char> mixed;  // grows once: no allocation a frame
  if (mixed.size() < src_row + 4) mixed.resize(src_row + 4);
  const int* pair = p.pair.data();
  const u16x8* wx = p.wx.data();
  for (int y = 0; y < dy; ++y) {
    const unsigned char* row = src + p.row0[y] * src_row;
    if (p.wy[y] || sdx < 2) {
      mix_rows(mixed.data(), row, src + p.row1[y] * src_row, static_cast<int>(src_row),
               static_cast<uint16_t>(p.wy[y]));
      row = mixed.data();
    }
    unsigned char* out = dst + static_cast<size_t>(y) * dx * 4;
    for (int x = 0; x < dx; ++x) {
      u8x8 two;
      memcpy(&two, row + pair[x], 8);
      const u16x8 m = __builtin_convertvector(two, u16x8) * wx[x];
      u16x4 left, right;
      memcpy(&left, &m, 8);
      memcpy(&right, reinterpret_cast<const char*>(&m) + 8, 8);
      const u8x4 o = __builtin_convertvector((left + right + 128) >> 8, u8x4);
      memcpy(out + x * 4, &o, 4);
    }
  }
}
}  // namespace

int MOV_gl_grab(void* bgra, int dx, int dy) {
  const int wdx = mnw.window_dx, wdy = mnw.window_dy;
  const size_t bytes =
      static_cast<size_t>(wdx) * sampling_for(dx, dy, wdx, wdy).rows * 4;  // what read_window reads
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
    read_window(0, dx, dy, wdx, wdy);
    glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    pbo_has_data = 1;
    pbo_dx = wdx, pbo_dy = wdy;
  } else {
    static std::vector<unsigned char> window;  // grows once: no allocation a frame
    if (window.size() < bytes) window.resize(bytes);
    read_window(reinterpret_cast<uintptr_t>(window.data()), dx, dy, wdx, wdy);
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
