#include "OGL/ogl_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "Files/file_ops.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "OGL/ren.h"
#include "OGL/xcam.h"
#include "Thread/thread.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

int back_colr = 0;
int back_dx = 0, back_dy = 0;
pthread_mutex_t bt_cs;

namespace {
const int k_gray_slot = 6;      // the grey behind OGL_gray_string, lit like slots 0..48
const float k_cell_dx = 10.0f;  // the fixed digit cell of the interface
const int k_max_digits = 11;
const int k_max_shot_side = 2048;
const unsigned k_back_flags = 0x192;  // RGBA, nearest, clamped
const char* const k_back_name = "scratch_array-t_tex_back (tile)";

float ox() { return mnw.origin_x; }
float oy() { return mnw.origin_y; }

// Whole degrees 0..359 for the sine and cosine tables, whatever the angle.
int table_degree(double a) {
  double d = std::fmod(a, 360.0);
  if (d < 0) d += 360.0;
  int i = static_cast<int>(std::lround(d));
  return i >= 360 ? i - 360 : i;
}

double pow10i(int n) {
  double p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// Decimal digit `place` (0 the units) of a non-negative value, without going
// through int: an 11-digit field exceeds its range.
int digit_at(double rounded, int place) {
  return static_cast<int>(std::fmod(std::floor(rounded / pow10i(place)), 10.0));
}

void bt_ensure() {
  static std::once_flag once;
  std::call_once(once, [] { UTL_critical_section_create(&bt_cs); });
}

struct bt_hold {
  bt_hold() {
    bt_ensure();
    UTL_critical_section_lock(&bt_cs);
  }
  ~bt_hold() { UTL_critical_section_unlock(&bt_cs); }
};

struct number_parts {
  double v, scaled, rounded;
  int digits, decimals, n;
  bool minus;
};

number_parts split_number(float value, int digits, int decimals) {
  number_parts p;
  if (!std::isfinite(value)) value = 0;
  p.decimals = decimals < 0 ? 0 : decimals;
  p.digits = std::clamp(digits, 0, k_max_digits);
  p.v = std::fabs(static_cast<double>(value));
  p.scaled = p.v * pow10i(p.decimals);
  p.rounded = p.scaled + 0.5;
  p.n = p.digits - p.decimals;
  p.minus = value < 0 && p.scaled > 0.1;
  return p;
}
}  // namespace

// ---------------------------------------------------------------------------
// Metrics, viewports and GL switches

void OGL_pix_specs(int) {
  const int w = mnw.window_dx, h = mnw.window_dy;
  mnw.scale = 1.0f;
  mnw.extent_x0 = mnw.extent_y0 = 0;
  mnw.extent_x1 = static_cast<float>(w);
  mnw.extent_y1 = static_cast<float>(h);
  // Whole pixels, so text on the layout stays sharp.
  mnw.layout_x = mnw.window_type == -1 ? 0.0f : static_cast<float>(std::max(0, (w - 1024) / 2));
  mnw.layout_y = static_cast<float>(std::max(0, h - 768));
  mnw.centre_x = w / 2.0f;
  mnw.centre_y = 384.0f;
  mnw.draw_dx = w;
  mnw.draw_dy = h;
  mnw.draw_on_screen = 1;
  if (mnw.window_type != -1) OGL_viewport(2);
}

void OGL_screensize(int type, float x1, float y1, float x2, float y2) {
  int v[4];
  if (type == 2) {
    v[0] = v[1] = 0;
    v[2] = mnw.draw_dx > 0 ? mnw.draw_dx : mnw.window_dx;
    v[3] = mnw.draw_dy > 0 ? mnw.draw_dy : mnw.window_dy;
  } else {
    const float s = type == 3 ? mnw.scale : 1.0f;
    v[0] = static_cast<int>(std::lround(x1 * s));
    v[1] = static_cast<int>(std::lround(y1 * s));
    v[2] = static_cast<int>(std::lround((x2 - x1) * s));
    v[3] = static_cast<int>(std::lround((y2 - y1) * s));
  }
  gl.Viewport(v[0], v[1], v[2], v[3]);
  std::copy(v, v + 4, mnw.draw_viewport);
}

void OGL_viewport(int type, float x1, float y1, float x2, float y2, float left, float right,
                  float bottom, float top, float near_z, float far_z, float, int) {
  OGL_screensize(type, x1, y1, x2, y2);
  // Through the camera, so projecting points back (mtr_to_pix) sees the
  // matrices that were loaded.
  if (type == 2) {
    const float s = mnw.scale > 0 ? mnw.scale : 1.0f;
    xcam.SetupOrtho(0, mnw.draw_viewport[2] / s, 0, mnw.draw_viewport[3] / s, -1, 1);
  } else if (type == 3) {
    xcam.SetupFrustum(left, right, bottom, top, near_z, far_z);
  } else {
    setIdentityMatrix(xcam.proj);
  }
  xcam.Identity();
  gl.MatrixMode(GL_PROJECTION);
  gl.LoadMatrixd(xcam.proj);
  gl.MatrixMode(GL_MODELVIEW);
  gl.LoadMatrixd(xcam.modelview);
  xcam.matrices_dirty = false;
}

void OGL_scissors(float x, float y, float w, float h) {
  const float s = mnw.scale;
  gl.Enable(GL_SCISSOR_TEST);
  gl.Scissor(static_cast<GLint>(std::lround((x + ox()) * s)),
             static_cast<GLint>(std::lround((y + oy()) * s)),
             static_cast<GLsizei>(std::lround(std::max(0.0f, w) * s)),
             static_cast<GLsizei>(std::lround(std::max(0.0f, h) * s)));
}

void OGL_scissors_end() { gl.Disable(GL_SCISSOR_TEST); }
void OGL_glow_colors() { gl.BlendFunc(GL_SRC_ALPHA, GL_ONE); }
void OGL_nrml_colors() { gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }

void OGL_poly_offset(int n) {
  if (n == 0) {
    gl.Disable(GL_POLYGON_OFFSET_FILL);
    return;
  }
  gl.Enable(GL_POLYGON_OFFSET_FILL);
  gl.PolygonOffset(n * -10.0f, -1.0f);
}

void OGL_setspec(float v) {
  const GLfloat spec[4] = {v, v, v, 1.0f};
  const GLfloat shine = 128.0f;
  gl.Lightfv(GL_LIGHT0, GL_SPECULAR, spec);
  gl.Materialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
  gl.Materialfv(GL_FRONT_AND_BACK, GL_SHININESS, &shine);
}

void OGL_printer() {}
void GOL_set_back_tex_lighting() {}

// ---------------------------------------------------------------------------
// Primitives

void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2) {
  OGL_setstate(1, 0, 3, 5, 9, 11);
  OGL_setcolor(colour, alpha);
  gl.Begin(GL_LINES);
  gl.Vertex2f(x1 + ox() + 0.5f, y1 + oy() + 0.5f);
  gl.Vertex2f(x2 + ox() + 0.5f, y2 + oy() + 0.5f);
  gl.End();
}

void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h) {
  // A negative size would turn the quad's back to the viewer.
  if (w < 0) x += w, w = -w;
  if (h < 0) y += h, h = -h;
  OGL_setstate(1, 0, 3, 5, 9, 11);
  OGL_setcolor(colour, alpha);
  const float l = x + ox(), b = y + oy();
  gl.Begin(GL_QUADS);
  gl.Vertex2f(l, b);
  gl.Vertex2f(l, b + h);
  gl.Vertex2f(l + w, b + h);
  gl.Vertex2f(l + w, b);
  gl.End();
}

void OGL_framerect(int colour, float alpha, float x, float y, float w, float h) {
  if (w < 0) x += w, w = -w;
  if (h < 0) y += h, h = -h;
  OGL_setstate(1, 0, 3, 5, 9, 11);
  OGL_setcolor(colour, alpha);
  // Corners on pixel centres: the outline encloses the filled rectangle.
  const float l = x + ox() + 0.5f, b = y + oy() + 0.5f;
  const float r = x + ox() + w + 0.5f, t = y + oy() + h + 0.5f;
  gl.Begin(GL_LINE_LOOP);
  gl.Vertex2f(l, b);
  gl.Vertex2f(l, t);
  gl.Vertex2f(r, t);
  gl.Vertex2f(r, b);
  gl.End();
}

void OGL_fillcircle(int colour, float x, float y, float r) {
  if (!(r >= 0)) return;
  r = std::min(r, 1.0e5f);  // a row per unit: bounded work
  const int rows = static_cast<int>(std::floor(2.0f * r));
  for (int k = 0; k <= rows; ++k) {
    const float e = -r + k;
    const float half = std::sqrt(std::max(0.0f, r * r - e * e));
    OGL_line(colour, 1.0f, x - half, y + e, x + half, y + e);
  }
}

void OGL_framecircle(int colour, float x, float y, float r) {
  OGL_setstate(1, 0, 3, 4, 9, 11);
  OGL_setcolor(colour, 1.0f);
  gl.Begin(GL_LINE_STRIP);
  for (int a = 0; a <= 360; a += 5)
    gl.Vertex2f(x + ox() + r * lookup_sin[a] + 0.5f, y + oy() + r * lookup_cos[a] + 0.5f);
  gl.End();
}

void OGL_arc(int colour, float x, float y, float r1, float r2, float a1, float a2) {
  if (!std::isfinite(a1) || !std::isfinite(a2) || a2 < a1) return;
  if (a2 - a1 > 360.0f) a2 = a1 + 360.0f;
  const float lo = std::min(r1, r2), hi = std::max(r1, r2);
  OGL_setstate(1, 0, 3, 5, 9, 11);
  OGL_setcolor(colour, 1.0f);
  const float cx = x + ox(), cy = y + oy();
  auto pair = [&](double a) {
    const int d = table_degree(a);
    gl.Vertex2f(cx + lo * lookup_sin[d], cy + lo * lookup_cos[d]);
    gl.Vertex2f(cx + hi * lookup_sin[d], cy + hi * lookup_cos[d]);
  };
  gl.Begin(GL_QUAD_STRIP);
  const int steps = static_cast<int>(std::floor(a2 - a1));
  for (int k = 0; k <= steps; ++k) pair(static_cast<double>(a1) + k);
  if (a1 + steps < a2) pair(a2);
  gl.End();
}

void OGL_grayrect(float x1, float y1, float x2, float y2, float alpha) {
  OGL_fillrect(k_gray_slot, alpha, std::min(x1, x2), std::min(y1, y2), std::fabs(x2 - x1),
               std::fabs(y2 - y1));
}

void OGL_2dquad(int tex, int colour, float alpha, float x1, float y1, float s1, float t1, float x2,
                float y2, float s2, float t2, float x3, float y3, float s3, float t3, float x4,
                float y4, float s4, float t4, int tex_units, int blend) {
  OGL_setstate(1, tex_units, 3, blend, 9, 11);
  if (tex > 0) OGL_bind_tex_slot(tex, 0, tex == 438 ? 17 : 0);
  OGL_setcolor(colour, alpha);
  const float dx = ox(), dy = oy();
  gl.Begin(GL_QUADS);
  gl.TexCoord2f(s1, t1);
  gl.Vertex2f(x1 + dx, y1 + dy);
  gl.TexCoord2f(s2, t2);
  gl.Vertex2f(x2 + dx, y2 + dy);
  gl.TexCoord2f(s3, t3);
  gl.Vertex2f(x3 + dx, y3 + dy);
  gl.TexCoord2f(s4, t4);
  gl.Vertex2f(x4 + dx, y4 + dy);
  gl.End();
}

void OGL_2dquad_d(int tex, int colour, float alpha, float x1, float y1, float x2, float y2,
                  float s1, float t1, float s2, float t2, int tex_units, int blend) {
  OGL_2dquad(tex, colour, alpha, x1, y1, s1, t1, x1, y2, s1, t2, x2, y2, s2, t2, x2, y1, s2, t1,
             tex_units, blend);
}

void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2) {
  gl.Begin(GL_LINES);
  gl.Vertex3f(x1, y1, z1);
  gl.Vertex3f(x2, y2, z2);
  gl.End();
}

void OGL_3dquad(float nx, float ny, float nz, const float v[4][3]) {
  gl.Normal3f(nx, ny, nz);
  for (int i = 0; i < 4; ++i) gl.Vertex3fv(v[i]);
}

void OGL_3dquad_st(const float v[4][3], const float st[4][2]) {
  for (int i = 0; i < 4; ++i) {
    gl.TexCoord2fv(st[i]);
    gl.Vertex3fv(v[i]);
  }
}

void OGL_cube(float x, float y, float z, float width, float height, float depth, float s1,
              float s2, float t1, float t2) {
  const float w = width / 2, d = depth / 2, h = height;
  gl.PushMatrix();
  gl.Translatef(x, y, z);
  struct side {
    float nx, nz, s, px, pz;
  };
  const side sides[5] = {{0, -1, s1, -w, -d}, {0, -1, s2, w, -d}, {1, 0, s1, w, d},
                         {0, 1, s2, -w, d},   {-1, 0, s1, -w, -d}};
  gl.Begin(GL_QUAD_STRIP);
  for (const side& e : sides) {
    gl.Normal3f(e.nx, 0, e.nz);
    gl.TexCoord2f(e.s, t2);
    gl.Vertex3f(e.px, h, e.pz);
    gl.TexCoord2f(e.s, t1);
    gl.Vertex3f(e.px, 0, e.pz);
  }
  gl.End();
  gl.Begin(GL_QUADS);
  gl.Normal3f(0, 1, 0);
  gl.TexCoord2f(s1, t2);
  gl.Vertex3f(-w, h, -d);
  gl.TexCoord2f(s2, t2);
  gl.Vertex3f(w, h, -d);
  gl.TexCoord2f(s2, t2);
  gl.Vertex3f(w, h, d);
  gl.TexCoord2f(s1, t2);
  gl.Vertex3f(-w, h, d);
  gl.Normal3f(0, -1, 0);
  gl.TexCoord2f(s1, t1);
  gl.Vertex3f(-w, 0, d);
  gl.TexCoord2f(s2, t1);
  gl.Vertex3f(w, 0, d);
  gl.TexCoord2f(s2, t1);
  gl.Vertex3f(w, 0, -d);
  gl.TexCoord2f(s1, t1);
  gl.Vertex3f(-w, 0, -d);
  gl.End();
  gl.PopMatrix();
}

void OGL_disc(float x, float y, float z, float r) {
  const float m = static_cast<float>(static_cast<double>(r) * 0.38);
  gl.PushMatrix();
  gl.Translatef(x, y, z);
  auto ring = [](float pos, float q, int a) { gl.Vertex3f(pos, q * lookup_cos[a], -q * lookup_sin[a]); };
  gl.Normal3f(-1, 0, 0);
  gl.Begin(GL_TRIANGLE_FAN);
  gl.Vertex3f(-r, 0, 0);
  for (int a = 360; a >= 0; a -= 30) ring(-r, m, a);
  gl.End();
  gl.Normal3f(1, 0, 0);
  gl.Begin(GL_TRIANGLE_FAN);
  gl.Vertex3f(r, 0, 0);
  for (int a = 0; a <= 360; a += 30) ring(r, m, a);
  gl.End();
  // (radius, position) of the rings each strip joins: bevel, rim, bevel.
  const float strips[3][4] = {{m, -r, r, -m}, {r, -m, r, m}, {r, m, m, r}};
  for (const auto& s : strips) {
    gl.Begin(GL_QUAD_STRIP);
    for (int a = 360; a >= 0; a -= 30) {
      ring(s[1], s[0], a);
      ring(s[3], s[2], a);
    }
    gl.End();
  }
  gl.PopMatrix();
}

// ---------------------------------------------------------------------------
// Strings and numbers

float str_dx(const std::string& text) { return OGL_measure_string(text, font_regular); }

float OGL_string(int colour, float x, float y, const std::string& text, float wrap,
                 charset_t font, int align) {
  return OGL_font_string(colour, x, y - 1, text, wrap, font, align, 0) + 1;
}

namespace {
float box_left(float x, float w, int align) { return align == 1 ? x - w / 2 : align == 2 ? x - w : x; }
}  // namespace

float OGL_gray_string(int colour, float x, float y, const std::string& text, charset_t font,
                      int align) {
  const float w = OGL_measure_string(text, font);
  const float l = box_left(x, w, align);
  OGL_grayrect(l - 3, y - 5, l + w + 3, y + 9, 0.75f);
  return OGL_string(colour, x, y, text, 9999, font, align);
}

float OGL_boxed_string(int colour, float x, float y, const std::string& text, charset_t font,
                       int align) {
  const float w = OGL_measure_string(text, font);
  const float l = box_left(x, w, align);
  OGL_framerect(colour, 1.0f, l - 4, y - 6, w + 8, 16);
  return OGL_string(colour, x, y, text, 9999, font, align);
}

void OGL_strtex(charset_t font, int colour, float& cell_dx, float& cell_dy, float& ascender,
                float& descender) {
  OGL_font_info* f = OGL_font(font);  // any charset but 0 and 1 is a fatal alert
  f->sync_tex();
  OGL_setstate(1, 1, 3, 5, 9, 11);
  OGL_bind_tex_slot(f->tex_slot, 0, 0);
  OGL_setcolor(colour, 1.0f);
  cell_dx = k_cell_dx;
  cell_dy = f->line_height;
  ascender = f->ascender;
  descender = f->descender;
}

void OGL_char(int colour, float x, float y, float, float, float, float, int ch, charset_t font) {
  OGL_font_info* f = OGL_font(font);
  f->require_char(static_cast<unsigned>(ch));
  float cdx, cdy, asc, desc;
  OGL_strtex(font, colour, cdx, cdy, asc, desc);
  gl.Begin(GL_QUADS);
  f->draw_char(static_cast<unsigned>(ch), x + ox(), y + oy());
  gl.End();
}

std::string OGL_number_text(float value, int digits, int decimals) {
  const number_parts p = split_number(value, digits, decimals);
  std::string s = p.minus ? "-" : "";
  // Counted on the rounded value: 99999.6 needs six places, not five.
  int int_digits = 1;
  while (int_digits < 10 && std::floor(p.rounded) >= pow10i(int_digits)) ++int_digits;
  if (p.digits < std::max(int_digits, p.decimals + 1)) {
    double w = p.v;
    int e = 2;
    while (w >= 999) {
      w /= 10;
      ++e;
    }
    const int m = static_cast<int>(std::lround(w));
    s += static_cast<char>('0' + m / 100 % 10);
    s += '.';
    s += static_cast<char>('0' + m / 10 % 10);
    s += static_cast<char>('0' + m % 10);
    s += 'x';
    s += std::to_string(e);
    return s;
  }
  for (int i = p.digits - 1; i >= 0; --i) {
    if (i == p.decimals - 1 && p.n >= 1) s += '.';
    const int pos = i - p.decimals + 1;  // 1 = units
    if ((pos == 3 && p.n > 3) || (pos == 6 && p.n > 6) || (pos == 9 && p.n > 9)) s += ',';
    s += static_cast<char>('0' + digit_at(p.rounded, i));
  }
  return s;
}

void OGL_number(int colour, float x, float y, float value, int digits, int decimals,
                charset_t font) {
  if (font != font_bold) {
    OGL_font_string(colour, x, y - 1, OGL_number_text(value, digits, decimals), 9999, font, 0, 0);
    return;
  }
  const number_parts p = split_number(value, digits, decimals);
  OGL_font_info* f = OGL_font(font);
  struct cell {
    unsigned code;
    float pos;  // in cells from the one left of x
    bool separator;
  };
  std::vector<cell> cells;
  if (p.minus) cells.push_back({'-', 0, false});
  if (p.decimals > 0) cells.push_back({'.', p.n + 0.5f, true});
  for (int c : {3, 6, 9})
    if (p.n > c) cells.push_back({',', p.n - c + 0.5f, true});
  for (int k = 0; k < p.digits; ++k)
    cells.push_back({static_cast<unsigned>('0' + digit_at(p.rounded, p.digits - 1 - k)),
                     static_cast<float>(k + 1), false});
  for (const cell& c : cells) f->require_char(c.code);
  const float digit_adv = f->require_char('0');
  float cdx, cdy, asc, desc;
  OGL_strtex(font, colour, cdx, cdy, asc, desc);
  const float px = std::round(x + ox()) - cdx, py = std::round(y + oy()) - 2;
  gl.Begin(GL_QUADS);
  for (const cell& c : cells) {
    float pen = px + c.pos * cdx;
    // Digits sit at the left of their cells; a separator is centred in the
    // gap between the digit before it and the one after.
    if (c.separator) {
      const float gap_mid = px + (c.pos - 0.5f) * cdx + (digit_adv + cdx) / 2;
      pen = gap_mid - f->require_char(c.code) / 2;
    }
    f->draw_char(c.code, pen, py);
  }
  gl.End();
}

// ---------------------------------------------------------------------------
// Frames, screenshots and the background

void OGL_sbuff() {
  const float g = ren.green_mode ? 0.0f : 1.0f;
  const float a = ren.global_alpha;
  if (a > 0.99f) gl.Color3f(g, 1.0f, g);
  else gl.Color4f(g, 1.0f, g, a);
  xtim.profile_chart("sb1", 0);
  if (OGL_frame_present()) OGL_swap_buffers();
  xtim.profile_chart("sb2", 1);
}

void OGL_screenshot(int save) {
  static int shot = -1;
  const int w = std::clamp(mnw.window_dx, 0, k_max_shot_side);
  const int h = std::clamp(mnw.window_dy, 0, k_max_shot_side);
  if (w == 0 || h == 0) return;
  std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
  // Rows of an odd width are not 4-byte multiples: pack them tight.
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.ReadPixels((mnw.window_dx - w) / 2, (mnw.window_dy - h) / 2, w, h, GL_RGB, GL_UNSIGNED_BYTE,
                pixels.data());
  gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
  if (!save) return;
  // Numbers already on disk (from an earlier run) are skipped, not overwritten.
  std::string name;
  do {
    name = "screenshot_" + std::to_string(++shot) + ".png";
  } while (file_exists(name) || file_exists(name.substr(0, name.size() - 4) + ".ppm"));
  if (!OGL_write_png(name, pixels.data(), w, h, 3))
    xer << "WARNING: could not write the screenshot " << name << "\n";
}

void OGL_put_back_picture(const OGL_kept_picture& p) {
  if (p.rgba.size() != static_cast<size_t>(p.width) * p.height * 4 || p.rgba.empty()) return;
  // Drawn at once, in the middle of the frame the dialog interrupted.
  OGL_frame_live();
  OGL_setstate(1, 0, 3, 4, 9, 11);  // the pixels as they are
  const bool scissor = gl.IsEnabled(GL_SCISSOR_TEST);
  if (scissor) gl.Disable(GL_SCISSOR_TEST);
  GLint viewport[4];
  gl.GetIntegerv(GL_VIEWPORT, viewport);
  gl.Viewport(0, 0, p.width, p.height);
  gl.MatrixMode(GL_PROJECTION);
  gl.PushMatrix();
  gl.LoadIdentity();
  gl.MatrixMode(GL_MODELVIEW);
  gl.PushMatrix();
  gl.LoadIdentity();
  gl.RasterPos2i(-1, -1);
  gl.DrawPixels(p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
  OGL_swap_buffers();
  // The interrupted frame goes on over the same picture.
  gl.DrawPixels(p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
  gl.MatrixMode(GL_PROJECTION);
  gl.PopMatrix();
  gl.MatrixMode(GL_MODELVIEW);
  gl.PopMatrix();
  gl.Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  if (scissor) gl.Enable(GL_SCISSOR_TEST);
}

void OGL_plot_back_col() {
  OGL_fillrect(37, 1.0f, -ox(), -oy(), static_cast<float>(mnw.window_dx),
               static_cast<float>(mnw.window_dy));
}

void OGL_make_back_tex() {
  bt_hold hold;
  back_colr = 0;
  const std::string path = "Resources/bitmaps/intro.png";
  unsigned char* px = nullptr;
  int dx = 0, dy = 0;
  if (!file_exists(path) ||
      (OGL_load_rgba_image && !OGL_load_rgba_image(path, 2048, &px, &dx, &dy))) {
    free(px);
    __MACIBM_alert(0, "Trying to load a texture that you do not have!",
                   "This smacks of a mis-installed copy of Flyvane!",
                   "Please get a new download from the Flyvane web site. The missing file is:",
                   path, t_exit, __FILE__, __LINE__);
    return;
  }
  if (!OGL_load_rgba_image) {
    xer << "WARNING: no image reader for " << path << "; the background stays plain.\n";
    back_dx = back_dy = 0;
    return;
  }
  back_dx = dx;
  back_dy = dy;
  const int tw = dx / 4, th = dy / 4;
  if (tw > 0 && th > 0) {
    // Each tile fills a power-of-two texture: texel t takes the picture pixel
    // under its centre, so that drawn at the picture's size with nearest
    // sampling every window pixel shows its own picture pixel again.
    const int sw = static_cast<int>(std::bit_ceil(static_cast<unsigned>(tw)));
    const int sh = static_cast<int>(std::bit_ceil(static_cast<unsigned>(th)));
    std::vector<int> col(static_cast<size_t>(sw));
    for (int t = 0; t < sw; ++t) col[static_cast<size_t>(t)] = (2 * t + 1) * tw / (2 * sw);
    std::vector<unsigned char> tile(static_cast<size_t>(sw) * sh * 4);
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 4; ++k) {
        unsigned char* d = tile.data();
        for (int row = 0; row < sh; ++row) {
          const unsigned char* src =
              px + (static_cast<size_t>(r * th + (2 * row + 1) * th / (2 * sh)) * dx +
                    static_cast<size_t>(k) * tw) * 4;
          for (int t = 0; t < sw; ++t, d += 4) memcpy(d, src + col[static_cast<size_t>(t)] * 4, 4);
        }
        OGL_load_tex_slot(back_tex_first_slot + 4 * r + k, tile.data(), sw, sh, 4, k_back_flags,
                          k_back_name);
      }
  }
  free(px);
}

void OGL_plot_back_tex() {
  bt_hold hold;
  const float win_w = static_cast<float>(mnw.window_dx), win_h = static_cast<float>(mnw.window_dy);
  float x1, x2, y1, y2;
  if (mnw.window_type != -1) {
    x1 = mnw.layout_x;
    x2 = x1 + back_dx;
    y1 = 0;
    y2 = static_cast<float>(back_dy);
  } else {
    x2 = std::min(win_w, static_cast<float>(back_dx));
    x1 = x2 - back_dx;
    const float e = std::clamp(back_dy - win_h, 0.0f, 512.0f);
    y2 = win_h + e;
    y1 = y2 - back_dy;
    if (back_dx < mnw.window_dx || back_dy < mnw.window_dy) OGL_plot_back_col();
  }
  OGL_setstate(1, 1, 3, ren.global_alpha > 0.99f ? 6 : 5, 9, 11);
  OGL_setcolor(back_colr, 1.0f);
  const float dx = (x2 - x1) / 4, dy = (y2 - y1) / 4;
  const float xlo = std::min(x1, x2), xhi = std::max(x1, x2);
  const float ylo = std::min(y1, y2), yhi = std::max(y1, y2);
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) {
      const float l = std::clamp(x1 + k * dx, xlo, xhi), rt = std::clamp(x1 + (k + 1) * dx, xlo, xhi);
      const float b = std::clamp(y1 + r * dy, ylo, yhi), t = std::clamp(y1 + (r + 1) * dy, ylo, yhi);
      if (!(rt > 0 && l < win_w && t > 0 && b < win_h)) continue;
      OGL_bind_tex_slot(back_tex_first_slot + 4 * r + k, 0, 0);
      gl.Begin(GL_QUADS);
      gl.TexCoord2f(0, 0);
      gl.Vertex2f(l, b);
      gl.TexCoord2f(0, 1);
      gl.Vertex2f(l, t);
      gl.TexCoord2f(1, 1);
      gl.Vertex2f(rt, t);
      gl.TexCoord2f(1, 0);
      gl.Vertex2f(rt, b);
      gl.End();
    }
}
