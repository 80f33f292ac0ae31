// Draws the interface art at build time: the widget atlas, the wizard's button
// images per language, the background tile, the back texture and the world
// map. Everything is drawn by code (signed-distance shapes, anti-aliased,
// composited over transparent canvases) and written with our own PNG writer;
// texts are rendered with FreeType from the DejaVu faces.
//
//   make_art --out=DIR --fonts=DIR --earth=FILE
//
// DIR receives interface.png, elements_<Language>.png, background.png,
// map.png and bitmaps/intro.png. Canvases hold the bottom row first, so every
// (u, v) below is a texel position as OpenGL addresses it (v up).
#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TEX/TEX_png.h"

namespace {

[[noreturn]] void die(const std::string& why) {
  fprintf(stderr, "make_art: %s\n", why.c_str());
  exit(1);
}

// ---------------------------------------------------------------- colours

struct rgba {
  float r, g, b, a;
};

rgba hex(unsigned v, float a = 1.0f) {
  return {((v >> 16) & 255) / 255.0f, ((v >> 8) & 255) / 255.0f, (v & 255) / 255.0f, a};
}
rgba with_alpha(rgba c, float a) { return {c.r, c.g, c.b, a}; }
rgba mix(rgba x, rgba y, float t) {
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
          x.a + (y.a - x.a) * t};
}

// The theme: light panels with dark text on a dark blue-grey ground, one
// blue accent. The wizard's own texts are black (slot 12) and its current
// step dark blue (slot 68), so its panels must be light.
namespace pal {
const rgba ground = hex(0x222A35);
const rgba ground_hi = hex(0x2B3542);
const rgba panel = hex(0xF4F6F9);
const rgba panel_lo = hex(0xE9EDF2);
const rgba body = hex(0xE6EAF0);
const rgba border = hex(0xAEB8C5);
const rgba border_dark = hex(0x7D8896);
const rgba title_top = hex(0x364352);
const rgba title_bottom = hex(0x27313E);
const rgba dark_panel = hex(0x2C3744);
const rgba dark_border = hex(0x4A5A6E);
const rgba accent = hex(0x2F7BE0);
const rgba accent_hi = hex(0x5A9BF0);
const rgba accent_dark = hex(0x1F5FB8);
const rgba accent_light = hex(0x9CCBFF);
const rgba text = hex(0x1E2631);
const rgba text_mid = hex(0x3B4757);
const rgba white = hex(0xFFFFFF);
const rgba shadow = hex(0x0B1018);
const rgba amber = hex(0xE8AE45);
const rgba amber_dark = hex(0xB9852A);
const rgba red = hex(0xE0524A);
}  // namespace pal

// The interface colours, sampled from the atlas at start-up (slot 42 is
// derived from 38 and 41). Slot, column, row, colour.
struct colour_pixel {
  int slot, u, v;
  unsigned rgb;
};
const colour_pixel k_colour_pixels[] = {
    {37, 319, 155, 0x222A35},  // window background
    {38, 319, 147, 0x9AA6B4},  // groove shadow lines
    {39, 319, 139, 0x2F7BE0},  // hover fill (drawn at 25%)
    {40, 319, 131, 0xFFFFFF},  // groove highlight lines
    {41, 319, 123, 0x1E2631},  // menu and list-field text
    {43, 319, 115, 0xF2F5F9},  // title-bar text
    {44, 319, 107, 0x1E2631},  // front tab text
    {45, 319, 99, 0x5A6675},   // back tab text
    {46, 319, 91, 0x222B36},   // labels and panel titles
    {47, 395, 115, 0x2F7BE0},  // accent
    {48, 319, 83, 0x3A4656},   // secondary text
    {49, 319, 75, 0x6B7786},   // muted text
    {50, 319, 67, 0x9CCBFF},   // text on the dark panels
};

// ---------------------------------------------------------------- canvas

struct canvas {
  int w, h;
  std::vector<float> px;  // premultiplied RGBA, bottom row first
  canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_ * 4, 0.0f) {}

  float* at(int x, int y) { return &px[(size_t(y) * w + x) * 4]; }
  void over(int x, int y, rgba c, float cov) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    const float a = std::clamp(c.a * cov, 0.0f, 1.0f);
    if (a <= 0) return;
    float* p = at(x, y);
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
  }
  void set(int x, int y, rgba c) {
    float* p = at(x, y);
    p[0] = c.r * c.a, p[1] = c.g * c.a, p[2] = c.b * c.a, p[3] = c.a;
  }
  rgba get(int x, int y) const {
    const float* p = &px[(size_t(y) * w + x) * 4];
    if (p[3] <= 0) return {0, 0, 0, 0};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
  }

  void save(const std::string& path) const {
    std::vector<unsigned char> out(size_t(w) * h * 4);
    for (size_t i = 0; i < size_t(w) * h; ++i) {
      const float a = px[i * 4 + 3];
      for (int k = 0; k < 3; ++k) {
        const float v = a > 0 ? px[i * 4 + k] / a : 0.0f;
        out[i * 4 + k] = static_cast<unsigned char>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
      }
      out[i * 4 + 3] = static_cast<unsigned char>(std::lround(std::clamp(a, 0.0f, 1.0f) * 255));
    }
    const TEX_image_desc d{GL_RGBA, w, h, 0, 0};
    if (!TEX_save_png(path, d, out.data())) die("cannot write " + path);
  }
};

// ---------------------------------------------------------------- shapes

using sdf_fn = std::function<float(float, float)>;
using paint_fn = std::function<rgba(float, float)>;

float smooth_cov(float d) { return std::clamp(0.5f - d, 0.0f, 1.0f); }

// Fills the shape (distance < 0 inside) over the box [x0, x1) x [y0, y1).
void fill(canvas& c, float x0, float y0, float x1, float y1, const sdf_fn& sdf,
          const paint_fn& paint) {
  const int ix0 = std::max(0, int(std::floor(x0)) - 1), iy0 = std::max(0, int(std::floor(y0)) - 1);
  const int ix1 = std::min(c.w, int(std::ceil(x1)) + 1), iy1 = std::min(c.h, int(std::ceil(y1)) + 1);
  for (int y = iy0; y < iy1; ++y)
    for (int x = ix0; x < ix1; ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      const float cov = smooth_cov(sdf(px, py));
      if (cov > 0) c.over(x, y, paint(px, py), cov);
    }
}

paint_fn solid(rgba col) {
  return [col](float, float) { return col; };
}
// Vertical gradient: bottom colour at y0, top colour at y1.
paint_fn vgrad(rgba bottom, rgba top, float y0, float y1) {
  return [=](float, float y) { return mix(bottom, top, std::clamp((y - y0) / (y1 - y0), 0.f, 1.f)); };
}

sdf_fn rrect_sdf(float x0, float y0, float x1, float y1, float r) {
  return [=](float x, float y) {
    const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const float hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
    const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - r;
  };
}
sdf_fn circle_sdf(float cx, float cy, float r) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}
float seg_dist(float x, float y, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float l2 = dx * dx + dy * dy;
  const float t = l2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / l2, 0.0f, 1.0f) : 0.0f;
  return std::hypot(x - ax - t * dx, y - ay - t * dy);
}
// A stroke of the given width along the polyline.
sdf_fn line_sdf(std::vector<float> pts, float width) {
  return [pts, width](float x, float y) {
    float d = 1e9f;
    for (size_t i = 0; i + 3 < pts.size(); i += 2)
      d = std::min(d, seg_dist(x, y, pts[i], pts[i + 1], pts[i + 2], pts[i + 3]));
    return d - width / 2;
  };
}
// A closed polygon (any winding), by even-odd inside test.
sdf_fn poly_sdf(std::vector<float> pts) {
  return [pts](float x, float y) {
    const size_t n = pts.size() / 2;
    float d = 1e9f;
    bool inside = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
      const float xi = pts[2 * i], yi = pts[2 * i + 1], xj = pts[2 * j], yj = pts[2 * j + 1];
      d = std::min(d, seg_dist(x, y, xi, yi, xj, yj));
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside ? -d : d;
  };
}
// The band of the given width just inside the shape's edge.
sdf_fn inner_ring(sdf_fn s, float width) {
  return [s, width](float x, float y) {
    const float d = s(x, y);
    return std::max(d, -d - width);
  };
}
sdf_fn sdf_union(sdf_fn a, sdf_fn b) {
  return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
sdf_fn sdf_minus(sdf_fn a, sdf_fn b) {
  return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

// A soft shadow of a rounded rectangle.
void soft_shadow(canvas& c, float x0, float y0, float x1, float y1, float r, float blur, float alpha) {
  auto s = rrect_sdf(x0, y0, x1, y1, r);
  const int ix0 = std::max(0, int(x0 - blur) - 1), iy0 = std::max(0, int(y0 - blur) - 1);
  const int ix1 = std::min(c.w, int(x1 + blur) + 2), iy1 = std::min(c.h, int(y1 + blur) + 2);
  for (int y = iy0; y < iy1; ++y)
    for (int x = ix0; x < ix1; ++x) {
      const float d = s(x + 0.5f, y + 0.5f);
      float t = std::clamp(1.0f - (d + 0.5f) / blur, 0.0f, 1.0f);
      t = t * t * (3 - 2 * t);
      c.over(x, y, pal::shadow, alpha * t);
    }
}

// A panel body: gradient fill with a one-texel border and a top highlight.
void panel_box(canvas& c, float x0, float y0, float x1, float y1, float r, rgba lo, rgba hi,
               rgba edge, float highlight = 0.6f) {
  fill(c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, r), vgrad(lo, hi, y0, y1));
  if (highlight > 0)
    fill(c, x0, y1 - 2.5f, x1, y1, inner_ring(rrect_sdf(x0 + 1, y0 + 1, x1 - 1, y1 - 1, r - 1), 1),
         [&](float, float y) { return with_alpha(pal::white, y > y1 - 2.5f ? highlight : 0.0f); });
  fill(c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, r), 1), solid(edge));
}

// ---------------------------------------------------------------- text

struct font {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  font(const std::string& path) {
    if (FT_Init_FreeType(&lib)) die("FreeType does not start");
    if (FT_New_Face(lib, path.c_str(), 0, &face)) die("cannot open the font " + path);
  }
  ~font() {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  font(const font&) = delete;
  font& operator=(const font&) = delete;
};

std::vector<unsigned> utf8_codes(const std::string& s) {
  std::vector<unsigned> out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int n = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    unsigned cp = n == 0 ? b : n == 1 ? b & 0x1F : n == 2 ? b & 0x0F : b & 0x07;
    if (i + n >= s.size()) die("bad UTF-8 in \"" + s + "\"");
    for (int k = 1; k <= n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += n + 1;
  }
  return out;
}

struct glyph_run {
  struct g {
    std::vector<unsigned char> bits;
    int w, rows, left, top;  // bitmap size, offset from the pen and the baseline
    float pen;
  };
  std::vector<g> glyphs;
  float ink_x0 = 1e9f, ink_x1 = -1e9f;
  float cap = 0;  // cap height in pixels
};

// Lays the text out at px pixels on a pen starting at 0.
glyph_run layout(font& f, const std::string& text, float px) {
  FT_Set_Char_Size(f.face, 0, FT_F26Dot6(std::lround(px * 64)), 72, 72);
  glyph_run run;
  if (!FT_Load_Char(f.face, 'H', FT_LOAD_DEFAULT))
    run.cap = f.face->glyph->metrics.height / 64.0f;
  float pen = 0;
  FT_UInt prev = 0;
  for (unsigned cp : utf8_codes(text)) {
    const FT_UInt gi = FT_Get_Char_Index(f.face, cp);
    if (!gi) die("the font has no glyph for U+" + std::to_string(cp) + " in \"" + text + "\"");
    if (prev && FT_HAS_KERNING(f.face)) {
      FT_Vector k;
      if (!FT_Get_Kerning(f.face, prev, gi, FT_KERNING_DEFAULT, &k)) pen += k.x / 64.0f;
    }
    if (FT_Load_Glyph(f.face, gi, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) die("glyph failed");
    const FT_GlyphSlot s = f.face->glyph;
    glyph_run::g g;
    g.w = int(s->bitmap.width);
    g.rows = int(s->bitmap.rows);
    g.left = s->bitmap_left;
    g.top = s->bitmap_top;
    g.pen = std::round(pen);
    g.bits.resize(size_t(g.w) * g.rows);
    for (int r = 0; r < g.rows; ++r)
      memcpy(&g.bits[size_t(r) * g.w], s->bitmap.buffer + r * s->bitmap.pitch, size_t(g.w));
    if (g.w > 0) {
      run.ink_x0 = std::min(run.ink_x0, g.pen + g.left);
      run.ink_x1 = std::max(run.ink_x1, g.pen + g.left + g.w);
    }
    run.glyphs.push_back(std::move(g));
    pen += s->advance.x / 64.0f;
    prev = gi;
  }
  if (run.ink_x1 < run.ink_x0) run.ink_x0 = run.ink_x1 = 0;
  return run;
}

// Draws the run with its pen origin at (x, baseline), v up.
void draw_run(canvas& c, const glyph_run& run, int x, int baseline, rgba col) {
  for (const auto& g : run.glyphs)
    for (int r = 0; r < g.rows; ++r)
      for (int k = 0; k < g.w; ++k) {
        const float cov = g.bits[size_t(r) * g.w + k] / 255.0f;
        if (cov > 0) c.over(x + int(g.pen) + g.left + k, baseline + g.top - 1 - r, col, cov);
      }
}

// A soft glow behind the run, inside the box [x0, x1) x [y0, y1): its
// coverage spread over a small disc.
void glow_run(canvas& c, const glyph_run& run, int x, int baseline, rgba col, int radius, int x0,
              int y0, int x1, int y1) {
  canvas mask(c.w, c.h);
  draw_run(mask, run, x, baseline, pal::white);
  for (int y = std::max(0, y0); y < std::min(c.h, y1); ++y)
    for (int xx = std::max(0, x0); xx < std::min(c.w, x1); ++xx) {
      float best = 0;
      for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
          const int sx = xx + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= c.w || sy >= c.h) continue;
          const float a = mask.at(sx, sy)[3];
          if (a <= 0) continue;
          const float fall = std::max(0.0f, 1.0f - std::hypot(float(dx), float(dy)) / (radius + 1));
          best = std::max(best, a * fall);
        }
      if (best > 0) c.over(xx, y, col, best);
    }
}

// ---------------------------------------------------------------- atlas bookkeeping

struct region {
  std::string name;
  int u0, v0, u1, v1;
};

// Every element claims its texels; two claims that overlap are a layout bug.
struct atlas {
  canvas c;
  std::vector<region> claims;
  atlas(int w, int h) : c(w, h) {}
  void claim(const std::string& name, int u0, int v0, int u1, int v1) {
    u1 = std::min(u1, c.w), v1 = std::min(v1, c.h);
    for (const auto& r : claims)
      if (u0 < r.u1 && r.u0 < u1 && v0 < r.v1 && r.v0 < v1)
        die("atlas: " + name + " overlaps " + r.name);
    claims.push_back({name, u0, v0, u1, v1});
  }
};

// ---------------------------------------------------------------- interface.png

// One-row strips of BTN_frame1: K x J texels at (col, row); caps G wide.
void strip_menu_bar(atlas& a) {
  const int u = 1, v = 487, k = 100;
  a.claim("menu bar", u, v, u + k, v + 26);
  // The strip is 26 rows high from row 487: its top row lies past the atlas
  // and wraps to row 0, which carries the same colour.
  fill(a.c, u, v, u + k, 512, rrect_sdf(u - 2, v, u + k + 2, 514, 0),
       vgrad(pal::panel_lo, pal::panel, v, 512));
  fill(a.c, u, v, u + k, v + 1, rrect_sdf(u - 2, v, u + k + 2, v + 1, 0), solid(pal::border));
}

void strip_title_bar(atlas& a) {
  const int u = 102, v = 487, k = 100;
  a.claim("title bar", u, v, u + k, v + 26);
  fill(a.c, u, v + 1, u + k, 512, rrect_sdf(u - 2, v + 1, u + k + 2, 514, 0),
       vgrad(hex(0xDCE2E9), hex(0xEEF1F5), v, 512));
  fill(a.c, u, v, u + k, v + 1, rrect_sdf(u - 2, v, u + k + 2, v + 1, 0), solid(pal::border));
  fill(a.c, u, 511, u + k, 512, rrect_sdf(u - 2, 511, u + k + 2, 512, 0), solid(pal::white));
}

void strip_button(atlas& a, int v, bool pressed) {
  const int u = 304;
  a.claim(pressed ? "button pressed" : "button", u, v, u + 52, v + 26);
  const float x0 = u + 1, x1 = u + 51, y0 = v + 3, y1 = v + 23;
  if (!pressed) soft_shadow(a.c, x0, y0 - 1, x1, y1 - 1, 6, 2.5f, 0.25f);
  if (pressed)
    panel_box(a.c, x0, y0, x1, y1, 6, hex(0xDCEAFB), hex(0xC6DBF6), pal::accent, 0.0f);
  else
    panel_box(a.c, x0, y0, x1, y1, 6, hex(0xE3E8EE), pal::white, hex(0x9AA6B4));
}

void strip_progress(atlas& a) {
  // Trough.
  {
    const int u = 112, v = 161;
    a.claim("progress trough", u, v, u + 28, v + 16);
    fill(a.c, u, v, u + 28, v + 16, rrect_sdf(u + 0.5f, v + 1, u + 27.5f, v + 15, 7),
         vgrad(hex(0xE9EDF2), hex(0xD3DAE3), v + 1, v + 15));
    fill(a.c, u, v, u + 28, v + 16, inner_ring(rrect_sdf(u + 0.5f, v + 1, u + 27.5f, v + 15, 7), 1),
         solid(pal::border));
  }
  // Fill: a little inside the trough so the trough's edge frames it.
  {
    const int u = 83, v = 161;
    a.claim("progress fill", u, v, u + 28, v + 16);
    const float x0 = u + 1.5f, x1 = u + 26.5f, y0 = v + 2, y1 = v + 14;
    fill(a.c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 6), vgrad(pal::accent_dark, pal::accent_hi, y0, y1));
    fill(a.c, x0, y0 + 6, x1, y1, rrect_sdf(x0 + 2, y0 + 7, x1 - 2, y1 - 1.5f, 3),
         solid(with_alpha(pal::white, 0.22f)));
  }
}

void strip_slider(atlas& a) {
  // Track: its groove sits 4 units above the strip's centre, where the fill
  // bar and the knob are drawn.
  {
    const int u = 240, v = 242;
    a.claim("slider track", u, v, u + 65, v + 24);
    const float y0 = v + 13, y1 = v + 19;
    fill(a.c, u, y0, u + 65, y1, rrect_sdf(u + 2, y0, u + 63, y1, 3), vgrad(hex(0xD9DFE7), hex(0xC4CCD6), y0, y1));
    fill(a.c, u, y0, u + 65, y1, inner_ring(rrect_sdf(u + 2, y0, u + 63, y1, 3), 1), solid(pal::border_dark));
  }
  // Fill bar (tinted by the caller's colour slot).
  {
    const int u = 289, v = 219;
    a.claim("slider fill", u, v, u + 16, v + 16);
    const float y0 = v + 5, y1 = v + 11;
    fill(a.c, u, y0, u + 16, y1, rrect_sdf(u + 1, y0, u + 15, y1, 3), vgrad(pal::accent, pal::accent_light, y0, y1));
  }
  // Knob: centred on the groove.
  {
    const int u = 262, v = 267;
    a.claim("slider knob", u, v, u + 20, v + 22);
    const float cx = u + 10, cy = v + 13;
    fill(a.c, u, v, u + 20, v + 22, circle_sdf(cx, cy - 1, 8), solid(with_alpha(pal::shadow, 0.25f)));
    fill(a.c, u, v, u + 20, v + 22, circle_sdf(cx, cy, 7.5f), vgrad(hex(0xE1E6EC), pal::white, cy - 7, cy + 7));
    fill(a.c, u, v, u + 20, v + 22, inner_ring(circle_sdf(cx, cy, 7.5f), 1), solid(pal::border_dark));
    fill(a.c, u, v, u + 20, v + 22, circle_sdf(cx, cy, 2.5f), solid(pal::accent));
  }
}

void strip_field(atlas& a) {
  const int u = 262, v = 133;
  a.claim("text field", u, v, u + 51, v + 26);
  const float x0 = u + 1, x1 = u + 50, y0 = v + 3, y1 = v + 23;
  fill(a.c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 4), solid(pal::white));
  fill(a.c, x0, y1 - 3, x1, y1, inner_ring(rrect_sdf(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 3), 1.5f),
       [&](float, float y) { return with_alpha(hex(0xC9D1DB), y > y1 - 3 ? 0.8f : 0.0f); });
  fill(a.c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, 4), 1), solid(hex(0x9AA6B4)));
}

void chevron_down(canvas& c, float cx, float cy, float s, rgba col) {
  fill(c, cx - s - 2, cy - s - 2, cx + s + 2, cy + s + 2,
       line_sdf({cx - s, cy + s / 2, cx, cy - s / 2, cx + s, cy + s / 2}, 1.8f), solid(col));
}

void strip_dropdown(atlas& a) {
  const int u = 357, v = 488;
  a.claim("drop-down field", u, v, u + 68, v + 24);
  const float x0 = u + 1, x1 = u + 67, y0 = v + 2, y1 = v + 22;
  soft_shadow(a.c, x0, y0 - 1, x1, y1 - 1, 5, 2, 0.2f);
  panel_box(a.c, x0, y0, x1, y1, 5, hex(0xECF0F4), pal::white, hex(0x9AA6B4));
  // The arrow in the right cap, behind a thin divider.
  fill(a.c, x1 - 22, y0 + 4, x1 - 21, y1 - 4, rrect_sdf(x1 - 22, y0 + 4, x1 - 21, y1 - 4, 0), solid(pal::border));
  chevron_down(a.c, x1 - 11, (y0 + y1) / 2, 4, pal::text_mid);
}

void tabs(atlas& a) {
  for (int front = 0; front < 2; ++front) {
    const int u = 204, v = front ? 486 : 459;
    a.claim(front ? "tab front" : "tab back", u, v, u + 98, v + 26);
    const float x0 = u + 1, x1 = u + 97, y0 = v, y1 = v + 24 + front * 1.5f;
    auto s = sdf_minus(rrect_sdf(x0, y0 - 8, x1, y1, 6), rrect_sdf(x0 - 5, y0 - 20, x1 + 5, y0, 0));
    fill(a.c, x0, y0, x1, y1, s,
         front ? vgrad(pal::panel, pal::white, y0, y1) : vgrad(hex(0xCBD2DB), hex(0xDCE2E9), y0, y1));
    fill(a.c, x0, y0, x1, y1, sdf_minus(inner_ring(rrect_sdf(x0, y0 - 8, x1, y1, 6), 1),
                                        rrect_sdf(x0 - 5, y0 - 20, x1 + 5, y0 + (front ? 0.0f : 1.0f), 0)),
         solid(front ? pal::border : pal::border_dark));
    if (front)  // the selected tab's accent line
      fill(a.c, x0 + 4, y1 - 3, x1 - 4, y1 - 1, rrect_sdf(x0 + 6, y1 - 3, x1 - 6, y1 - 1, 1), solid(pal::accent));
  }
}

// Nine-piece panels of BTN_frame2: S x S texels at (col, row).
void panel_window(atlas& a, int u, int v, bool title) {
  a.claim(title ? "window with title" : "window", u, v, u + 100, v + 100);
  const float x0 = u + 0.5f, x1 = u + 99.5f, y0 = v + 0.5f, y1 = v + 99.5f;
  // Panels repeat their middle rows and columns: flat bodies keep them seamless.
  fill(a.c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 8), solid(pal::body));
  if (title) {
    // Title band: the top 24 texels, where the title and the close boxes sit.
    const float tb = y1 - 24;
    fill(a.c, x0, tb, x1, y1, sdf_minus(rrect_sdf(x0, y0, x1, y1, 8), rrect_sdf(x0 - 5, y0 - 5, x1 + 5, tb, 0)),
         vgrad(pal::title_bottom, pal::title_top, tb, y1));
    fill(a.c, x0, tb - 1, x1, tb, rrect_sdf(x0, tb - 1, x1, tb, 0), solid(hex(0x1A212B)));
  }
  fill(a.c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, 8), 1), solid(hex(0x55616F)));
}

void panel_inner(atlas& a, int u, int v, const std::string& name, rgba lo, rgba hi, rgba edge,
                 float hl) {
  a.claim(name, u, v, u + 100, v + 100);
  // Four texels below the caller's rectangle (14 above the bottom): room for
  // what stands under a panel, such as the alert's button.
  const float x0 = u + 4, x1 = u + 96, y0 = v + 10, y1 = v + 98;
  soft_shadow(a.c, x0, y0 - 2, x1, y1 - 2, 7, 4, 0.22f);
  panel_box(a.c, x0, y0, x1, y1, 6, lo, hi, edge, hl);
}

void panel_list(atlas& a) {
  const int u = 1, v = 289, s = 68;
  a.claim("list panel", u, v, u + s, v + s);
  panel_box(a.c, u + 0.5f, v + 0.5f, u + s - 0.5f, v + s - 0.5f, 3, pal::white, pal::white, pal::border, 0.0f);
}

// Margins m at the sides, mb below and mt above the caller's rectangle; the
// rounded corners must stay inside the caps (bottom cap cap_b high), which
// are not stretched.
void panel_small(atlas& a, const std::string& name, int u, int v, int s, float m, float mb, float mt,
                 float cap_b) {
  a.claim(name, u, v, u + s, v + s);
  const float x0 = u + m - 1, x1 = u + s - m + 1, y1 = v + s - mt + 1;
  const float y0 = v + std::min(mb - 1, std::floor(cap_b) - 6);
  soft_shadow(a.c, x0, y0 - 3, x1, y1 - 2, 5, 5, 0.3f);
  panel_box(a.c, x0, y0, x1, y1, 5, hex(0xF8FAFB), hex(0xF8FAFB), pal::border, 0.0f);
}

// Marks and small glyphs.
void tick(canvas& c, float cx, float cy, rgba col, float w) {
  fill(c, cx - 6, cy - 6, cx + 6, cy + 6, line_sdf({cx - 3.8f, cy + 0.2f, cx - 1.2f, cy - 2.6f, cx + 3.8f, cy + 3.2f}, w),
       solid(col));
}
void cross(canvas& c, float cx, float cy, float s, rgba col, float w) {
  fill(c, cx - s - 2, cy - s - 2, cx + s + 2, cy + s + 2,
       sdf_union(line_sdf({cx - s, cy - s, cx + s, cy + s}, w), line_sdf({cx - s, cy + s, cx + s, cy - s}, w)),
       solid(col));
}

void check_and_radio(atlas& a) {
  // Check box: box at (139..157, 178..196), its ticked face above it.
  for (int marked = 0; marked < 2; ++marked) {
    const int u = 139, v = marked ? 197 : 178;
    a.claim(marked ? "check mark" : "check box", u, v, u + 18, v + 18);
    const float cx = u + 9, cy = v + 9, x0 = cx - 6.5f, x1 = cx + 6.5f, y0 = cy - 6.5f, y1 = cy + 6.5f;
    if (marked) {
      fill(a.c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 3), vgrad(pal::accent_dark, pal::accent_hi, y0, y1));
      fill(a.c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, 3), 1), solid(pal::accent_dark));
      tick(a.c, cx, cy, pal::white, 2.0f);
    } else {
      fill(a.c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 3), vgrad(hex(0xE6EAF0), pal::white, y0, y1));
      fill(a.c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, 3), 1), solid(pal::border_dark));
    }
  }
  // Radio button: circle at (83..101, 123..141), its selected face above it.
  for (int marked = 0; marked < 2; ++marked) {
    const int u = 83, v = marked ? 142 : 123;
    a.claim(marked ? "radio mark" : "radio box", u, v, u + 18, v + 18);
    const float cx = u + 9, cy = v + 9;
    if (marked) {
      fill(a.c, u, v, u + 18, v + 18, circle_sdf(cx, cy, 6.5f), vgrad(pal::accent_dark, pal::accent_hi, cy - 6, cy + 6));
      fill(a.c, u, v, u + 18, v + 18, circle_sdf(cx, cy, 2.6f), solid(pal::white));
    } else {
      fill(a.c, u, v, u + 18, v + 18, circle_sdf(cx, cy, 6.5f), vgrad(hex(0xE6EAF0), pal::white, cy - 6, cy + 6));
      fill(a.c, u, v, u + 18, v + 18, inner_ring(circle_sdf(cx, cy, 6.5f), 1), solid(pal::border_dark));
    }
  }
}

void close_boxes(atlas& a) {
  for (int hot = 0; hot < 2; ++hot) {
    const int u = 120, v = hot ? 197 : 178;
    a.claim(hot ? "close box hot" : "close box", u, v, u + 18, v + 18);
    const float cx = u + 9, cy = v + 9;
    fill(a.c, u, v, u + 18, v + 18, circle_sdf(cx, cy, 6.5f), solid(hot ? pal::red : hex(0x5A6878)));
    cross(a.c, cx, cy, 2.6f, hot ? pal::white : hex(0xD5DCE4), 1.6f);
  }
}

void triangle(canvas& c, std::vector<float> pts, rgba col) {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (size_t i = 0; i < pts.size(); i += 2) {
    x0 = std::min(x0, pts[i]), x1 = std::max(x1, pts[i]);
    y0 = std::min(y0, pts[i + 1]), y1 = std::max(y1, pts[i + 1]);
  }
  fill(c, x0, y0, x1, y1, poly_sdf(std::move(pts)), solid(col));
}

void menu_arrow(atlas& a) {
  const int u = 158, v = 178;
  a.claim("submenu arrow", u, v, u + 18, v + 18);
  triangle(a.c, {u + 6.5f, v + 4.5f, u + 12.5f, v + 9.0f, u + 6.5f, v + 13.5f}, pal::text_mid);
}

void number_arrows(atlas& a) {
  const int u = 83;
  a.claim("number arrow down", u, 178, u + 14, 196);
  a.claim("number arrow up", u, 197, u + 14, 215);
  // The down arrow hangs below its field, the up arrow stands above it.
  triangle(a.c, {u + 3.0f, 189.5f, u + 11.0f, 189.5f, u + 7.0f, 184.0f}, pal::text_mid);
  triangle(a.c, {u + 3.0f, 202.5f, u + 11.0f, 202.5f, u + 7.0f, 208.0f}, pal::text_mid);
}

void small_button(canvas& c, float x0, float y0, float x1, float y1) {
  panel_box(c, x0, y0, x1, y1, 4, hex(0xE3E8EE), pal::white, hex(0x9AA6B4));
}

void vertical_slider(atlas& a) {
  const int u = 83;
  a.claim("scroll arrow up", u, 266, u + 18, 288);
  a.claim("scroll thumb", u, 240, u + 18, 264);
  a.claim("scroll arrow down", u, 216, u + 18, 238);
  small_button(a.c, u + 1, 267, u + 17, 287);
  triangle(a.c, {u + 5.0f, 274.5f, u + 13.0f, 274.5f, u + 9.0f, 280.0f}, pal::text_mid);
  small_button(a.c, u + 1, 217, u + 17, 237);
  triangle(a.c, {u + 5.0f, 229.5f, u + 13.0f, 229.5f, u + 9.0f, 224.0f}, pal::text_mid);
  panel_box(a.c, u + 2, 241, u + 16, 263, 4, hex(0xDCE3EB), pal::white, pal::border_dark);
  for (int k = -1; k <= 1; ++k)
    fill(a.c, u + 5, 251.5f + 3 * k, u + 13, 253 + 3 * k, rrect_sdf(u + 6, 251.5f + 3 * k, u + 12, 252.5f + 3 * k, 0.5f),
         solid(pal::border_dark));
  // The track of BTN_frame0: caps at 248..258 and 278..288, the middle
  // 258..278 repeats.
  a.claim("scroll track", 102, 248, 122, 288);
  fill(a.c, 102, 248, 122, 288, rrect_sdf(107, 249, 117, 287, 5), solid(hex(0xD3DAE2)));
  fill(a.c, 102, 248, 122, 288, inner_ring(rrect_sdf(107, 249, 117, 287, 5), 1), solid(pal::border));
}

// Folder shape inside the box.
void folder_glyph(canvas& c, float x0, float y0, float x1, float y1) {
  const float w = x1 - x0, h = y1 - y0;
  auto back = sdf_union(rrect_sdf(x0, y0, x1, y1 - h * 0.12f, 1.2f),
                        rrect_sdf(x0, y1 - h * 0.3f, x0 + w * 0.45f, y1, 1.2f));
  fill(c, x0, y0, x1, y1, back, solid(pal::amber_dark));
  fill(c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1 - h * 0.3f, 1.2f), vgrad(pal::amber, hex(0xF5C86A), y0, y1));
}

void folder_button(atlas& a) {
  const int u = 208, v = 133;
  a.claim("folder button", u, v, u + 26, v + 26);
  small_button(a.c, u + 1, v + 1, u + 25, v + 25);
  folder_glyph(a.c, u + 6, v + 7, u + 20, v + 19);
}

void list_icons(atlas& a) {
  const int v0 = 82, v1 = 94;
  auto box = [&](const char* name, int u) {
    a.claim(name, u, v0, u + 12, v1);
    return float(u);
  };
  canvas& c = a.c;
  {  // 1 folder
    const float u = box("icon folder", 34);
    folder_glyph(c, u + 0.5f, v0 + 1.5f, u + 11.5f, v1 - 1.5f);
  }
  {  // 3 aircraft, seen from above
    const float u = box("icon aircraft", 48), cx = u + 6;
    auto s = sdf_union(rrect_sdf(cx - 1, v0 + 0.5f, cx + 1, v1 - 0.5f, 1),
                       sdf_union(poly_sdf({cx - 5.5f, v0 + 5.5f, cx + 5.5f, v0 + 5.5f, cx + 1, v0 + 8.5f, cx - 1, v0 + 8.5f}),
                                 poly_sdf({cx - 3, v0 + 1, cx + 3, v0 + 1, cx + 1, v0 + 2.8f, cx - 1, v0 + 2.8f})));
    fill(c, u, v0, u + 12, v1, s, solid(pal::accent));
  }
  {  // 4 airfoil profile
    const float u = box("icon airfoil", 62);
    fill(c, u, v0, u + 12, v1, [&](float x, float y) {
      const float t = std::clamp((x - u - 0.5f) / 11.0f, 0.0f, 1.0f);
      const float half = 2.6f * std::sqrt(t) * (1 - t) * 1.9f;
      const float mid = v0 + 6 + 1.2f * t * (1 - t) * 2;
      const float dx = std::max(u + 0.5f - x, x - u - 11.5f);
      return std::max(std::fabs(y - mid) - half, dx);
    }, solid(pal::text_mid));
  }
  {  // 5 weapon: a target
    const float u = box("icon weapon", 90), cx = u + 6, cy = v0 + 6;
    fill(c, u, v0, u + 12, v1, inner_ring(circle_sdf(cx, cy, 5.2f), 1.4f), solid(pal::red));
    fill(c, u, v0, u + 12, v1, circle_sdf(cx, cy, 1.8f), solid(pal::red));
  }
  {  // 7 object: a cube
    const float u = box("icon object", 146), cx = u + 6, cy = v0 + 6;
    triangle(c, {cx, cy, cx - 5, cy + 2.5f, cx, cy + 5, cx + 5, cy + 2.5f}, hex(0xB8C3D0));
    triangle(c, {cx, cy, cx - 5, cy + 2.5f, cx - 5, cy - 3, cx, cy - 5.5f}, hex(0x8794A4));
    triangle(c, {cx, cy, cx + 5, cy + 2.5f, cx + 5, cy - 3, cx, cy - 5.5f}, hex(0x667385));
  }
  {  // 9 situation: a pin
    const float u = box("icon situation", 104), cx = u + 6;
    fill(c, u, v0, u + 12, v1, sdf_union(circle_sdf(cx, v0 + 7.5f, 3.6f),
                                         poly_sdf({cx - 3.2f, v0 + 6.2f, cx + 3.2f, v0 + 6.2f, cx, v0 + 0.5f})),
         solid(hex(0x2E9E6A)));
    fill(c, u, v0, u + 12, v1, circle_sdf(cx, v0 + 7.5f, 1.4f), solid(pal::white));
  }
  {  // 10 movie: a film frame
    const float u = box("icon movie", 118);
    fill(c, u, v0, u + 12, v1, rrect_sdf(u + 0.5f, v0 + 1.5f, u + 11.5f, v1 - 1.5f, 1), solid(hex(0x4A5566)));
    for (int k = 0; k < 4; ++k) {
      const float x = u + 1.8f + k * 2.6f;
      fill(c, x, v0 + 2, x + 1.5f, v1 - 2, rrect_sdf(x, v0 + 2.2f, x + 1.4f, v0 + 3.2f, 0.2f), solid(pal::white));
      fill(c, x, v0 + 2, x + 1.5f, v1 - 2, rrect_sdf(x, v1 - 3.2f, x + 1.4f, v1 - 2.2f, 0.2f), solid(pal::white));
    }
    fill(c, u, v0, u + 12, v1, rrect_sdf(u + 2.5f, v0 + 4.2f, u + 9.5f, v1 - 4.2f, 0.5f), solid(pal::accent_light));
  }
  {  // 11 flight plan: a route through waypoints
    const float u = box("icon flight plan", 132);
    std::vector<float> route = {u + 1.5f, v0 + 2, u + 5, v0 + 8, u + 8, v0 + 4.5f, u + 10.5f, v0 + 10};
    fill(c, u, v0, u + 12, v1, line_sdf(route, 1.2f), solid(pal::accent));
    for (size_t i = 0; i < route.size(); i += 2)
      fill(c, u, v0, u + 12, v1, circle_sdf(route[i], route[i + 1], 1.6f), solid(pal::accent_dark));
  }
}

void direction_dial(atlas& a) {
  const int u = 178, v = 160;
  a.claim("dial", u, v, u + 56, v + 58);
  const float cx = u + 28, cy = v + 29;
  // A ring with ticks; the centre stays open so the needle drawn under it shows.
  fill(a.c, u, v, u + 56, v + 58, inner_ring(circle_sdf(cx, cy, 26), 5), vgrad(hex(0x9AA6B4), hex(0xE6EAF0), cy - 26, cy + 26));
  fill(a.c, u, v, u + 56, v + 58, inner_ring(circle_sdf(cx, cy, 26), 1), solid(pal::border_dark));
  for (int k = 0; k < 36; ++k) {
    const float ang = k * float(M_PI) / 18, len = k % 9 == 0 ? 5.0f : 2.5f;
    const float sx = std::sin(ang), cy_ = std::cos(ang);
    fill(a.c, u, v, u + 56, v + 58,
         line_sdf({cx + sx * 20.5f, cy + cy_ * 20.5f, cx + sx * (20.5f - len), cy + cy_ * (20.5f - len)}, 1.1f),
         solid(k % 9 == 0 ? pal::accent : pal::text_mid));
  }
  // Needles: two styles, each pointing up from its centre.
  for (int style = 0; style < 2; ++style) {
    const int nu = 156, nv = style ? 272 : 315;
    a.claim(style ? "needle" : "needle plain", nu, nv, nu + 10, nv + 42);
    const float ncx = nu + 5, ncy = nv + 21;
    triangle(a.c, {ncx - 3, ncy, ncx + 3, ncy, ncx, nv + 40.5f}, style ? pal::red : pal::accent);
    triangle(a.c, {ncx - 3, ncy, ncx + 3, ncy, ncx, nv + 1.5f}, hex(0x8A96A6));
    fill(a.c, nu, nv, nu + 10, nv + 42, circle_sdf(ncx, ncy, 2.2f), solid(pal::text));
  }
}

// Cursor sprites, drawn white-tinted over anything: a white body with a dark
// outline. The outline comes first, the body over it.
void sprite(canvas& c, float x0, float y0, float x1, float y1, const sdf_fn& s, rgba body) {
  fill(c, x0, y0, x1, y1, [&](float x, float y) { return s(x, y) - 1.4f; }, solid(with_alpha(pal::shadow, 0.85f)));
  fill(c, x0, y0, x1, y1, s, solid(body));
}

// An arrow from (x0, y) pointing to x1 (either way), head length hl.
sdf_fn h_arrow(float x0, float x1, float y, float shaft, float head, float hl) {
  const float dir = x1 > x0 ? 1.0f : -1.0f;
  const float hb = x1 - dir * hl;
  auto sh = rrect_sdf(std::min(x0, hb), y - shaft / 2, std::max(x0, hb), y + shaft / 2, 0.5f);
  return sdf_union(sh, poly_sdf({hb, y - head / 2, x1, y, hb, y + head / 2}));
}
sdf_fn v_arrow(float y0, float y1, float x, float shaft, float head, float hl) {
  const float dir = y1 > y0 ? 1.0f : -1.0f;
  const float hb = y1 - dir * hl;
  auto sh = rrect_sdf(x - shaft / 2, std::min(y0, hb), x + shaft / 2, std::max(y0, hb), 0.5f);
  return sdf_union(sh, poly_sdf({x - head / 2, hb, x, y1, x + head / 2, hb}));
}

// A curved arrow about (cx, cy): radius r from angle a0 to a1 (radians, ccw
// from +x), the head at a1.
sdf_fn arc_arrow(float cx, float cy, float r, float a0, float a1, float w, float head) {
  std::vector<float> pts;
  const int n = 24;
  for (int i = 0; i <= n; ++i) {
    const float t = a0 + (a1 - a0) * (i * 0.9f / n);
    pts.push_back(cx + r * std::cos(t));
    pts.push_back(cy + r * std::sin(t));
  }
  const float ex = cx + r * std::cos(a1), ey = cy + r * std::sin(a1);
  const float dir = a1 > a0 ? 1.0f : -1.0f;
  const float tx = -std::sin(a1) * dir, ty = std::cos(a1) * dir;  // tangent
  const float nx = std::cos(a1), ny = std::sin(a1);
  const float bx = ex - tx * head, by = ey - ty * head;
  return sdf_union(line_sdf(pts, w), poly_sdf({bx + nx * head * 0.6f, by + ny * head * 0.6f, ex + tx * 1.5f,
                                                ey + ty * 1.5f, bx - nx * head * 0.6f, by - ny * head * 0.6f}));
}

void cursors(atlas& a) {
  canvas& c = a.c;
  const rgba W = pal::white;
  // 3: left-right arrows, each half standing alone (4 left, 5 right).
  a.claim("cursor 3", 199, 328, 261, 357);
  sprite(c, 199, 328, 230, 357, h_arrow(229, 202, 342.5f, 4, 12, 8), W);
  sprite(c, 230, 328, 261, 357, h_arrow(231, 258, 342.5f, 4, 12, 8), W);
  // 6: turning arrows (7 left, 8 right).
  a.claim("cursor 6", 199, 291, 261, 327);
  sprite(c, 199, 291, 230, 327, arc_arrow(229, 300, 22, float(M_PI) * 0.52f, float(M_PI) * 0.92f, 3.5f, 7), W);
  sprite(c, 230, 291, 261, 327, arc_arrow(231, 300, 22, float(M_PI) * 0.48f, float(M_PI) * 0.08f, 3.5f, 7), W);
  // 9: broad arrow heads (10 left, 11 right).
  a.claim("cursor 9", 262, 310, 326, 357);
  sprite(c, 262, 310, 294, 357, h_arrow(291, 266, 333.5f, 9, 30, 14), W);
  sprite(c, 294, 310, 326, 357, h_arrow(297, 322, 333.5f, 9, 30, 14), W);
  // 12: up-down arrows (13 down in the lower half, 14 up in the upper).
  a.claim("cursor 12", 487, 309, 506, 357);
  sprite(c, 487, 309, 506, 333, v_arrow(332, 312, 496.5f, 4, 12, 8), W);
  sprite(c, 487, 333, 506, 357, v_arrow(334, 354, 496.5f, 4, 12, 8), W);
  // 15: thin left-right arrows (16 left, 17 right).
  a.claim("cursor 15", 262, 291, 326, 309);
  sprite(c, 262, 291, 294, 309, h_arrow(293, 266, 300, 2.5f, 9, 7), W);
  sprite(c, 294, 291, 326, 309, h_arrow(295, 322, 300, 2.5f, 9, 7), W);
  // 18: move (four ways); 19: turn a knob. Each with a held look to the right.
  for (int held = 0; held < 2; ++held) {
    const float u = held ? 360 : 328;
    a.claim(held ? "cursor 18 held" : "cursor 18", int(u), 325, int(u) + 30, 355);
    a.claim(held ? "cursor 19 held" : "cursor 19", int(u), 293, int(u) + 30, 323);
    const float cx = u + 15, cy = 340;
    auto move = sdf_union(sdf_union(h_arrow(cx, u + 3, cy, 3, 9, 6), h_arrow(cx, u + 27, cy, 3, 9, 6)),
                          sdf_union(v_arrow(cy, 352, cx, 3, 9, 6), v_arrow(cy, 328, cx, 3, 9, 6)));
    sprite(c, u, 325, u + 30, 355, move, held ? pal::accent_light : W);
    auto knob = sdf_union(arc_arrow(cx, 308, 9, float(M_PI) * 1.25f, float(M_PI) * -0.1f, 3, 6),
                          circle_sdf(cx, 308, held ? 3.5f : 2.5f));
    sprite(c, u, 293, u + 30, 323, knob, held ? pal::accent_light : W);
  }
  // 20 up, 21 down.
  a.claim("cursor 20", 168, 325, 198, 355);
  sprite(c, 168, 325, 198, 355, v_arrow(329, 352, 183, 5, 16, 10), W);
  a.claim("cursor 21", 168, 293, 198, 323);
  sprite(c, 168, 293, 198, 323, v_arrow(320, 296, 183, 5, 16, 10), W);
  // 22: cross-hair.
  a.claim("cursor 22", 199, 250, 239, 290);
  {
    const float cx = 219, cy = 270;
    auto s = sdf_union(inner_ring(circle_sdf(cx, cy, 11), 2),
                       sdf_union(line_sdf({cx - 17, cy, cx - 5, cy}, 2), line_sdf({cx + 5, cy, cx + 17, cy}, 2)));
    s = sdf_union(s, sdf_union(line_sdf({cx, cy - 17, cx, cy - 5}, 2), line_sdf({cx, cy + 5, cx, cy + 17}, 2)));
    sprite(c, 199, 250, 239, 290, s, W);
  }
  // 23 zoom in, 24 zoom out.
  for (int in = 0; in < 2; ++in) {
    const float u = in ? 456 : 424;
    a.claim(in ? "cursor 23" : "cursor 24", int(u), 325, int(u) + 30, 355);
    const float cx = u + 12, cy = 343;
    auto s = sdf_union(inner_ring(circle_sdf(cx, cy, 8.5f), 2.5f), line_sdf({cx + 6, cy - 6, u + 26, 329}, 4));
    s = sdf_union(s, line_sdf({cx - 4, cy, cx + 4, cy}, 2));
    if (in) s = sdf_union(s, line_sdf({cx, cy - 4, cx, cy + 4}, 2));
    sprite(c, u, 325, u + 30, 355, s, W);
  }
}

void colour_swatches(atlas& a) {
  a.claim("colour column", 316, 64, 323, 159);
  a.claim("colour 47", 392, 112, 399, 119);
  for (const auto& p : k_colour_pixels)
    for (int y = p.v - 3; y <= p.v + 3; ++y)
      for (int x = p.u - 3; x <= p.u + 3; ++x) a.c.set(x, y, hex(p.rgb));
}

void make_interface(const std::string& out) {
  atlas a(512, 512);
  strip_menu_bar(a);
  strip_title_bar(a);
  strip_button(a, 486, false);
  strip_button(a, 459, true);
  strip_progress(a);
  strip_slider(a);
  strip_field(a);
  strip_dropdown(a);
  tabs(a);
  panel_window(a, 1, 358, true);
  panel_window(a, 102, 358, false);
  panel_inner(a, 203, 358, "inner panel", pal::panel, pal::panel, pal::border, 0.8f);
  panel_inner(a, 304, 358, "help box", with_alpha(pal::dark_panel, 0.97f), with_alpha(pal::dark_panel, 0.97f),
              pal::dark_border, 0.0f);
  panel_inner(a, 405, 358, "dark panel", pal::dark_panel, pal::dark_panel, pal::dark_border, 0.0f);
  panel_list(a);
  // Menu drop-down: margins 8 at the sides, 13 below, 2 above.
  panel_small(a, "menu panel", 70, 315, 42, 8, 13, 2, 26);
  panel_small(a, "small panel 21", 113, 315, 42, 8, 13, 2, 12.6f);
  panel_small(a, "small panel 22", 440, 12, 44, 6, 9, 4, 13.2f);
  check_and_radio(a);
  close_boxes(a);
  menu_arrow(a);
  number_arrows(a);
  vertical_slider(a);
  folder_button(a);
  list_icons(a);
  direction_dial(a);
  cursors(a);
  colour_swatches(a);
  // Row 0 under the two top strips stands in for their row 512.
  for (int x = 1; x < 202; ++x) a.c.set(x, 0, a.c.get(x, 511));
  a.c.save(out + "interface.png");
}

// ---------------------------------------------------------------- elements_<Language>.png

struct language {
  const char* name;
  int cuts[8];
  const char* words[7];  // quit, go back, continue, select all, select none, cancel, done
};

const language k_languages[] = {
    {"English", {0, 56, 145, 246, 357, 489, 605, 691},
     {"Quit", "Go Back", "Continue", "Select All", "Select None", "Cancel", "Done"}},
    {"French", {0, 91, 172, 284, 477, 695, 874, 958},
     {"Quitter", "Retour", "Continuer", "Tout sélectionner", "Tout désélectionner", "Annuler", "Terminé"}},
    {"German", {0, 96, 181, 256, 422, 611, 762, 859},
     {"Beenden", "Zurück", "Weiter", "Alle auswählen", "Keine auswählen", "Abbrechen", "Fertig"}},
    {"Russian", {0, 75, 144, 211, 346, 422, 501, 616},
     {"Выход", "Назад", "Далее", "Выбрать все", "Снять все", "Отмена", "Готово"}},
    {"Italian", {0, 54, 212, 312, 480, 673, 840, 921},
     {"Esci", "Indietro", "Continua", "Seleziona tutto", "Deseleziona tutto", "Annulla", "Fine"}},
    {"Spanish", {0, 60, 156, 269, 421, 606, 789, 892},
     {"Salir", "Atrás", "Continuar", "Seleccionar todo", "Deseleccionar todo", "Cancelar", "Listo"}},
};

// The three looks of every image, 22 rows each: hovered, pressed, normal.
enum { look_hover, look_pressed, look_normal };
const int k_look_row[3] = {0, 23, 46};

void button_face(canvas& c, int u, int kind) {
  const float x0 = u + 0.5f, x1 = u + 47.5f, y0 = 97 + 2.5f, y1 = 97 + 28.5f;
  soft_shadow(c, x0, y0 - 1.5f, x1, y1 - 1, 8, 2, 0.35f);
  if (kind == 11)
    panel_box(c, x0, y0, x1, y1, 8, hex(0x1E5AB0), hex(0x3D84E4), hex(0x1A4F9C), 0.35f);
  else if (kind == 12)
    panel_box(c, x0, y0, x1, y1, 8, hex(0x2A70D2), hex(0x1C56A8), hex(0x184D99), 0.0f);
  else
    panel_box(c, x0, y0, x1, y1, 8, hex(0x9FA9B5), hex(0xBAC3CE), hex(0x8E99A6), 0.25f);
}

void make_elements(const std::string& out, font& bold, const language& lang, std::string& report) {
  canvas c(1024, 128);
  for (int i = 0; i < 7; ++i) {
    const int left = lang.cuts[i], right = lang.cuts[i + 1];
    const float room = float(right - left) - 8;  // 4 texels clear on each side
    float size = 13.0f;
    glyph_run run = layout(bold, lang.words[i], size);
    while (run.ink_x1 - run.ink_x0 > room && size > 10.0f) {
      size -= 0.5f;
      run = layout(bold, lang.words[i], size);
    }
    if (run.ink_x1 - run.ink_x0 > room)
      die(std::string("\"") + lang.words[i] + "\" does not fit its button in " + lang.name);
    const int x = int(std::lround(left + (right - left) / 2.0f - (run.ink_x0 + run.ink_x1) / 2));
    const int base_off = int(std::lround(11 - run.cap / 2));
    for (int look = 0; look < 3; ++look) {
      const int base = k_look_row[look] + base_off;
      canvas img(c.w, c.h);
      if (look == look_hover) {
        glow_run(img, run, x, base, with_alpha(pal::white, 0.5f), 2, left, k_look_row[look], right,
                 k_look_row[look] + 22);
        draw_run(img, run, x, base, pal::white);
      } else if (look == look_pressed) {
        draw_run(img, run, x, base - 1, hex(0xD8E6F8));
      } else {
        draw_run(img, run, x, base, hex(0xF2F6FB));
      }
      // Keep each look inside its own image rectangle, two texels clear of
      // the cut's edges.
      for (int y = k_look_row[look]; y < k_look_row[look] + 22; ++y)
        for (int xx = left + 2; xx < right - 2; ++xx) {
          const rgba p = img.get(xx, y);
          if (p.a > 0) c.over(xx, y, {p.r, p.g, p.b, 1.0f}, p.a);
        }
    }
    char line[200];
    snprintf(line, sizeof(line), "  %-8s %d %-22s %4.1f px, %3.0f of %3d texels\n", lang.name, i,
             lang.words[i], size, run.ink_x1 - run.ink_x0, right - left);
    report += line;
  }
  button_face(c, 926, 11);
  button_face(c, 975, 12);
  button_face(c, 877, 13);
  // The wizard's step and content panels.
  {
    const float x0 = 982.5f, x1 = 1023.5f, y0 = 2.5f, y1 = 43.5f;
    fill(c, x0, y0, x1, y1, rrect_sdf(x0, y0, x1, y1, 8), solid(hex(0xF5F7FA)));
    fill(c, x0, y0, x1, y1, inner_ring(rrect_sdf(x0, y0, x1, y1, 8), 1), solid(hex(0x9AA6B4)));
  }
  c.save(out + "elements_" + lang.name + ".png");
}

// ---------------------------------------------------------------- backgrounds

const float k_two_pi = 6.283185307f;

// A smooth height field that repeats every 1024 texels both ways.
struct terrain {
  struct wave {
    int kx, ky;
    float amp, phase;
  };
  std::vector<wave> waves;
  terrain() {
    unsigned s = 12345;
    auto rnd = [&] { return (s = s * 1103515245u + 12345u) / 4294967296.0f; };
    const int ks[][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {2, 1}, {1, 2}, {2, -1}, {3, 1},
                         {1, -3}, {3, 2}, {2, 3}, {4, 1}, {1, 4}, {5, -2}, {3, -4}, {6, 1}};
    for (auto& k : ks) {
      const float mag = std::hypot(float(k[0]), float(k[1]));
      waves.push_back({k[0], k[1], 1.0f / std::pow(mag, 1.3f), rnd() * k_two_pi});
    }
  }
  // Height and gradient at (x, y).
  void at(float x, float y, float& h, float& gx, float& gy) const {
    h = gx = gy = 0;
    for (const auto& w : waves) {
      const float f = k_two_pi / 1024.0f;
      const float t = f * (w.kx * x + w.ky * y) + w.phase;
      h += w.amp * std::sin(t);
      gx += w.amp * std::cos(t) * f * w.kx;
      gy += w.amp * std::cos(t) * f * w.ky;
    }
  }
};

// Contour lines of the terrain over the ground colour; the lines every
// fifth level are stronger.
void contours(canvas& c, const terrain& t, float levels, float x_off, float y_off, float alpha) {
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      float h, gx, gy;
      t.at(x + 0.5f + x_off, y + 0.5f + y_off, h, gx, gy);
      const float f = (h + 8) * levels;
      const float fr = f - std::floor(f + 0.5f);
      const float g = std::hypot(gx, gy) * levels;
      const float d = std::fabs(fr) / std::max(g, 1e-4f);
      const bool major = (int(std::floor(f + 0.5f)) % 5) == 0;
      const float cov = std::clamp((major ? 1.1f : 0.75f) - d, 0.0f, 1.0f);
      if (cov > 0) c.over(x, y, hex(0x3D4E62), cov * alpha * (major ? 1.0f : 0.55f));
    }
}

void make_background(const std::string& out) {
  canvas c(1024, 1024);
  terrain t;
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) {
      float h, gx, gy;
      t.at(x + 0.5f, y + 0.5f, h, gx, gy);
      // Light from the upper left shades the slopes a little.
      const float shade = std::clamp(0.5f + (gy - gx) * 40.0f, 0.0f, 1.0f);
      c.set(x, y, mix(pal::ground, pal::ground_hi, 0.25f + 0.5f * shade));
    }
  contours(c, t, 6.0f, 0, 0, 0.55f);
  c.save(out + "background.png");
}

void make_intro(const std::string& out, font& bold, font& regular) {
  canvas c(1024, 768);
  terrain t;
  for (int y = 0; y < 768; ++y)
    for (int x = 0; x < 1024; ++x) {
      const float dx = (x - 512) / 620.0f, dy = (y - 420) / 520.0f;
      const float glow = std::clamp(1.0f - (dx * dx + dy * dy), 0.0f, 1.0f);
      c.set(x, y, mix(hex(0x161C25), hex(0x2E3A49), glow));
    }
  contours(c, t, 5.0f, 300, 200, 0.45f);
  // A climbing flight path under the name, with waypoints.
  std::vector<float> path;
  for (int i = 0; i <= 64; ++i) {
    const float s = i / 64.0f;
    path.push_back(140 + 744 * s);
    path.push_back(100 + 190 * std::pow(s, 1.6f));
  }
  for (size_t i = 0; i + 3 < path.size(); i += 4) {  // dashed
    fill(c, std::min(path[i], path[i + 2]) - 3, std::min(path[i + 1], path[i + 3]) - 3,
         std::max(path[i], path[i + 2]) + 3, std::max(path[i + 1], path[i + 3]) + 3,
         line_sdf({path[i], path[i + 1], path[i + 2], path[i + 3]}, 2.2f), solid(with_alpha(pal::accent_light, 0.7f)));
  }
  for (int i : {0, 20, 44}) {
    fill(c, path[2 * i] - 8, path[2 * i + 1] - 8, path[2 * i] + 8, path[2 * i + 1] + 8,
         inner_ring(circle_sdf(path[2 * i], path[2 * i + 1], 6), 2), solid(pal::accent_light));
  }
  // The aircraft at the path's end, heading along it.
  {
    const float ex = path[128], ey = path[129], px = path[126], py = path[127];
    const float ang = std::atan2(ey - py, ex - px);
    const float ca = std::cos(ang), sa = std::sin(ang);
    auto rot = [&](std::vector<float> p) {
      for (size_t i = 0; i < p.size(); i += 2) {
        const float x = p[i], y = p[i + 1];
        p[i] = ex + 18 + x * ca - y * sa;
        p[i + 1] = ey + x * sa + y * ca;
      }
      return p;
    };
    // Seen from above: fuselage, swept wings, tailplane.
    auto plane = poly_sdf(rot({-24, -3, 16, -3.2f, 22, -2, 25, 0, 22, 2, 16, 3.2f, -24, 3}));
    plane = sdf_union(plane, poly_sdf(rot({6, 2, -4, 26, -10, 26, -6, 2})));
    plane = sdf_union(plane, poly_sdf(rot({6, -2, -4, -26, -10, -26, -6, -2})));
    plane = sdf_union(plane, poly_sdf(rot({-16, 2, -23, 10, -27, 10, -24, 2})));
    plane = sdf_union(plane, poly_sdf(rot({-16, -2, -23, -10, -27, -10, -24, -2})));
    fill(c, ex - 30, ey - 50, ex + 60, ey + 50, plane, solid(pal::white));
  }
  glyph_run title = layout(bold, "Flyvane", 96);
  const int tx = int(512 - (title.ink_x0 + title.ink_x1) / 2);
  draw_run(c, title, tx + 3, 392 - 4, with_alpha(pal::shadow, 0.5f));
  draw_run(c, title, tx, 392, hex(0xF2F6FB));
  glyph_run sub = layout(regular, "Installer", 34);
  draw_run(c, sub, int(512 - (sub.ink_x0 + sub.ink_x1) / 2), 330, pal::accent_light);
  c.save(out + "bitmaps/intro.png");
}

// ---------------------------------------------------------------- map.png

struct jpeg_err {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void on_jpeg_error(j_common_ptr info) { longjmp(reinterpret_cast<jpeg_err*>(info->err)->jump, 1); }

// The picture as RGB rows, top row first.
std::vector<unsigned char> read_jpeg(const std::string& path, int& w, int& h) {
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) die("cannot open " + path);
  jpeg_decompress_struct info;
  jpeg_err err;
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = on_jpeg_error;
  std::vector<unsigned char> rgb;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    fclose(fp);
    die("cannot decode " + path);
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, fp);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  w = int(info.output_width), h = int(info.output_height);
  rgb.resize(size_t(w) * h * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &rgb[size_t(info.output_scanline) * w * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  fclose(fp);
  return rgb;
}

void make_map(const std::string& out, const std::string& earth_path) {
  int ew = 0, eh = 0;
  std::vector<unsigned char> earth = read_jpeg(earth_path, ew, eh);
  if (ew != 2 * eh) die("the earth picture is not equirectangular (width twice its height)");
  const int mw = 504, mh = 252, cell = 14;
  // Box-filtered down to the map: each map texel averages its footprint.
  std::vector<rgba> base(size_t(mw) * mh);
  const float fx = float(ew) / mw, fy = float(eh) / mh;
  for (int v = 0; v < mh; ++v)
    for (int u = 0; u < mw; ++u) {
      const int top = mh - 1 - v;  // canvases keep the south at row 0
      const int x0 = int(u * fx), x1 = std::max(x0 + 1, int((u + 1) * fx));
      const int y0 = int(top * fy), y1 = std::max(y0 + 1, int((top + 1) * fy));
      float r = 0, g = 0, b = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          const unsigned char* p = &earth[(size_t(y) * ew + x) * 3];
          r += p[0], g += p[1], b += p[2];
        }
      const float n = float((x1 - x0) * (y1 - y0)) * 255.0f;
      base[size_t(v) * mw + u] = {r / n, g / n, b / n, 1};
    }
  canvas c(512, 1024);
  for (int v = 0; v < mh; ++v)
    for (int u = 0; u < mw; ++u) {
      const rgba e = base[size_t(v) * mw + u];
      const float grey = 0.3f * e.r + 0.59f * e.g + 0.11f * e.b;
      const int cu = u % cell, cv = v % cell;
      // Plain: what cannot be installed, dimmed and cooled.
      rgba plain = mix(e, {grey, grey, grey, 1}, 0.45f);
      plain = mix(plain, pal::ground, 0.45f);
      c.set(u, v, plain);
      // Available: the full picture in a faint grid.
      rgba avail = e;
      if (cu == 0 || cv == 0) avail = mix(avail, pal::white, 0.22f);
      c.set(u, 252 + v, avail);
      // Selected: washed with the accent, framed inside each tile.
      rgba sel = mix(e, pal::accent_hi, 0.5f);
      sel = mix(sel, pal::white, 0.12f);
      if (cu == 0 || cv == 0 || cu == cell - 1 || cv == cell - 1) sel = mix(sel, pal::white, 0.65f);
      c.set(u, 504 + v, sel);
    }
  c.save(out + "map.png");
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, fonts, earth;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto val = [&](const char* key, std::string& dst) {
      const size_t n = strlen(key);
      if (a.compare(0, n, key) != 0) return false;
      dst = a.substr(n);
      return true;
    };
    if (!val("--out=", out) && !val("--fonts=", fonts) && !val("--earth=", earth))
      die("unknown argument " + a + "\nusage: make_art --out=DIR --fonts=DIR --earth=FILE");
  }
  if (out.empty() || fonts.empty() || earth.empty())
    die("usage: make_art --out=DIR --fonts=DIR --earth=FILE");
  if (out.back() != '/') out += '/';
  if (fonts.back() != '/') fonts += '/';
  std::error_code ec;
  std::filesystem::create_directories(out + "bitmaps", ec);
  if (ec) die("cannot make " + out + "bitmaps: " + ec.message());

  font bold(fonts + "DejaVuSans-Bold.ttf");
  font regular(fonts + "DejaVuSans.ttf");
  make_interface(out);
  std::string report;
  for (const auto& lang : k_languages) make_elements(out, bold, lang, report);
  make_background(out);
  make_intro(out, bold, regular);
  make_map(out, earth);
  if (getenv("MAKE_ART_VERBOSE")) fputs(report.c_str(), stdout);
  return 0;
}
