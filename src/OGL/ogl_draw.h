// The immediate-mode 2D drawing layer: window metrics and viewports, scissor
// boxes, lines, rectangles, circles and arcs, textured quads, strings and
// numbers, the end-of-frame swap, screenshots and the window background.
//
// Positions are interface units relative to the current logical window: every
// call adds its origin (mnw.origin_x, mnw.origin_y). Callers that place
// things on the centred 1024 by 768 layout add mnw.layout_x / layout_y
// themselves. Colours are slots of the colour table (OGL_setcolor). Every
// quad is sent clockwise in window coordinates (lower left, upper left, upper
// right, lower right), the front-face winding.
#pragma once

#include <pthread.h>

#include <string>
#include <vector>

#include "OGL/ogl_font.h"

// Window metrics: scale 1, extents 0, 0, width, height, layout origin
// (max(0, (width - 1024) / 2), 0 with no logical window; max(0, height -
// 768)), centre (width / 2, 384); with a logical window also the 2D viewport.
void OGL_pix_specs(int unused = 0);
// type 2: a 2D orthographic projection over the drawing area in units.
// type 3: glFrustum(left, right, bottom, top, near_z, far_z) over the
// viewport box (x1, y1)-(x2, y2) in units. Loads the projection and an
// identity model-view matrix. `spare` and aspect_fix are not read.
void OGL_viewport(int type, float x1 = 0, float y1 = 0, float x2 = 0, float y2 = 0,
                  float left = 0, float right = 0, float bottom = 0, float top = 0,
                  float near_z = 0, float far_z = 0, float spare = 0, int aspect_fix = 0);
void OGL_screensize(int type, float x1, float y1, float x2, float y2);
void OGL_scissors(float x, float y, float w, float h);
void OGL_scissors_end();
void OGL_glow_colors();
void OGL_nrml_colors();
void OGL_poly_offset(int n);
void OGL_setspec(float v);
void OGL_printer();
void GOL_set_back_tex_lighting();

void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2);
void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h);
// A 1-pixel outline just inside the rectangle OGL_fillrect would fill.
void OGL_framerect(int colour, float alpha, float x, float y, float w, float h);
void OGL_fillcircle(int colour, float x, float y, float r);
void OGL_framecircle(int colour, float x, float y, float r);
// Angles in degrees clockwise from straight up; a1 to a2 (at most one turn).
void OGL_arc(int colour, float x, float y, float r1, float r2, float a1, float a2);
void OGL_grayrect(float x1, float y1, float x2, float y2, float alpha);
// Corners in the order lower left, upper left, upper right, lower right.
// tex > 0 binds that texture slot on unit 0.
void OGL_2dquad(int tex, int colour, float alpha, float x1, float y1, float s1, float t1, float x2,
                float y2, float s2, float t2, float x3, float y3, float s3, float t3, float x4,
                float y4, float s4, float t4, int tex_units, int blend);
void OGL_2dquad_d(int tex, int colour, float alpha, float x1, float y1, float x2, float y2,
                  float s1, float t1, float s2, float t2, int tex_units, int blend);

// 3D helpers, in model coordinates. OGL_3dline has its own begin and end; the
// quads go inside the caller's glBegin(GL_QUADS).
void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2);
void OGL_3dquad(float nx, float ny, float nz, const float v[4][3]);
void OGL_3dquad_st(const float v[4][3], const float st[4][2]);
void OGL_cube(float x, float y, float z, float width, float height, float depth, float s1,
              float s2, float t1, float t2);
void OGL_disc(float x, float y, float z, float r);

float str_dx(const std::string& text);
// Draws text with its first line at (x, y - 1). Returns the y of the last line
// drawn in the caller's frame (y for a single line): put the next line 10
// units below it.
float OGL_string(int colour, float x, float y, const std::string& text, float wrap,
                 charset_t font, int align);
// One line over a grey box / in a framed box sized from its measure; the
// result as OGL_string's.
float OGL_gray_string(int colour, float x, float y, const std::string& text, charset_t font,
                      int align);
float OGL_boxed_string(int colour, float x, float y, const std::string& text, charset_t font,
                       int align);
// The fixed-cell glyph path: sets the text state, the font's texture and the
// colour, and gives the cell width (10 units), cell height, ascender and
// descender.
void OGL_strtex(charset_t font, int colour, float& cell_dx, float& cell_dy, float& ascender,
                float& descender);
// One glyph with its pen at (x, y) in window-relative units, the cell metrics
// as OGL_strtex gave them.
void OGL_char(int colour, float x, float y, float cell_dx, float cell_dy, float ascender,
              float descender, int ch, charset_t font);
// A number in a field of `digits` digit positions (at most 11) with
// `decimals` of them after the point; font 1 draws it in fixed cells.
void OGL_number(int colour, float x, float y, float value, int digits, int decimals,
                charset_t font);
// The text OGL_number draws for fonts other than 1.
std::string OGL_number_text(float value, int digits, int decimals);

void OGL_sbuff();
// Reads the window (at most 2048 by 2048, centred) as RGB; with save non-zero
// writes it as "screenshot_" + number + ".png" in the working folder, the
// number the first one not yet taken.
void OGL_screenshot(int save);

// The window's picture, kept while the program's own frames stop for a
// while (a system dialog is up) and drawn again, and shown, where the window
// lost it; rows bottom first, RGBA.
struct OGL_kept_picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
};
void OGL_put_back_picture(const OGL_kept_picture& p);

void OGL_plot_back_col();
void OGL_make_back_tex();
void OGL_plot_back_tex();

extern int back_colr;
extern int back_dx, back_dy;
extern pthread_mutex_t bt_cs;

// Background tiles: row r (0 at the bottom), column k in slot 447 + 4r + k.
enum { back_tex_first_slot = 447 };
