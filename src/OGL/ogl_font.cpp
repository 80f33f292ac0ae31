#include "OGL/ogl_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/cmnd.h"
#include "UTL/resource.h"

float g_font_tex_mem = 0;
UTL_stat font_tex_mem_stat(&g_font_tex_mem, "font/tex_mem", stat_memory);

namespace {
FT_Library sLibrary = nullptr;
OGL_font_info* sFont[2] = {nullptr, nullptr};
const char* const fnames[2] = {"RESOURCE:DejaVuSans.ttf", "RESOURCE:DejaVuSansBold.ttf"};
const float fsizes[2] = {10.5f, 10.5f};
const int k_first_slot = 411;
const int k_line_step = 10;
const unsigned k_replacement = 0xFFFD;

// Coverage v becomes (int)(pow(v / 255, 0.6) * 255): thin strokes read
// heavier on screen.
struct coverage_ramp {
  unsigned char v[256];
  coverage_ramp() {
    for (int i = 0; i < 256; ++i) v[i] = static_cast<unsigned char>(std::pow(i / 255.0, 0.6) * 255.0);
  }
};
const coverage_ramp k_ramp;

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void font_alert(const std::string& s1, const std::string& s2, const std::string& s3) {
  __MACIBM_alert(0, s1, s2, s3, "", t_exit, __FILE__, __LINE__);
}

charset_t checked(charset_t font) {
  if (font != font_regular && font != font_bold)
    __MACIBM_alert(0, "String proc with bad charset!", "", "", "", t_exit, __FILE__, __LINE__);
  return font;
}

float pen_step(OGL_font_info* f, unsigned code, int fixed_advance) {
  const float adv = f->require_char(code);
  return fixed_advance ? static_cast<float>(fixed_advance) : adv;
}
}  // namespace

// ---------------------------------------------------------------------------
// The glyph cache

OGL_font_info::OGL_font_info(int slot) : tex_slot(slot) { glyphs.reserve(100); }

OGL_font_info::~OGL_font_info() {
  free_bitmap();
  if (face) FT_Done_Face(face);  // before the file it reads goes away
  face = nullptr;
  file.reset();
}

void OGL_font_info::free_bitmap() {
  if (bitmap) {
    g_font_tex_mem -= static_cast<float>(rows_used) * bitmap_dx;
    free(bitmap);
  }
  bitmap = nullptr;
  rows_used = 0;
}

void OGL_font_info::clear(const std::string& path, float size) {
  if (!sLibrary && FT_Init_FreeType(&sLibrary) != 0) {
    sLibrary = nullptr;
    font_alert("Unable to initialize freetype.", "", "");
    return;
  }
  free_bitmap();
  glyphs.clear();
  x_cursor = shelf_top = shelf_dy = 0;
  dirty = 0;
  if (face) FT_Done_Face(face);  // the face reads the mapped file: done first
  face = nullptr;
  file.reset();

  std::string name = path;
  FT_Error err;
  if (UTL_path_is_resource(name)) {
    const std::string full = UTL_resource_get_file(name);
    if (full.empty()) {
      font_alert("Error: unable to make font from file", path,
                 "(We could not open the file and read its contents.)");
      return;
    }
    err = FT_New_Face(sLibrary, full.c_str(), 0, &face);
  } else {
    file = std::make_unique<xmap_class>(path);
    if (!file->map_base) {
      file.reset();
      font_alert("Error: unable to make font from file", path,
                 "(We could not open the file and read its contents.)");
      return;
    }
    err = FT_New_Memory_Face(sLibrary, reinterpret_cast<const FT_Byte*>(file->map_base),
                             static_cast<FT_Long>(file->map_end - file->map_base), 0, &face);
  }
  if (err) {
    face = nullptr;
    file.reset();
    font_alert("Error: unable to make font from file", path,
               "(Free-type could not process the .ttf file.)");
    return;
  }
  if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size * 64), 72, 72) != 0) {
    font_alert("Error: unable to set char size for font", path, "");
    return;
  }
  scale_x = mnw.language == 3 ? 0.9f : 1.0f;  // Cyrillic runs wide
  FT_Matrix m = {static_cast<FT_Fixed>(scale_x * 0x10000), 0, 0, 0x10000};
  FT_Set_Transform(face, &m, nullptr);
  const float per_unit = face->units_per_EM ? size / face->units_per_EM : 0.0f;
  ascender = face->ascender * per_unit;
  descender = -face->descender * per_unit;
  line_height = face->height * per_unit;
}

const OGL_char_info* OGL_font_info::find(unsigned code) const {
  auto it = glyphs.find(code);
  return it == glyphs.end() ? nullptr : &it->second;
}

bool OGL_font_info::grow_to(int rows) {
  int want = 1;
  while (want < rows) want <<= 1;
  if (want > max_rows) return false;
  const size_t old_bytes = static_cast<size_t>(rows_used) * bitmap_dx;
  const size_t new_bytes = static_cast<size_t>(want) * bitmap_dx;
  auto* grown = static_cast<unsigned char*>(realloc(bitmap, new_bytes));
  if (!grown) return false;
  memset(grown + old_bytes, 0, new_bytes - old_bytes);
  bitmap = grown;
  g_font_tex_mem += static_cast<float>(new_bytes - old_bytes);
  rows_used = want;
  return true;
}

float OGL_font_info::require_char(unsigned code) {
  if (code == 9) return 0;
  auto it = glyphs.find(code);
  if (it != glyphs.end()) return it->second.advance;

  OGL_char_info ci;
  ci.code = code;
  ci.error = 1;  // until it is in the cache
  if (!face || FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) {
    glyphs.emplace(code, ci);
    return 0;
  }
  const FT_GlyphSlot g = face->glyph;
  const FT_Bitmap& bm = g->bitmap;
  const int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
  const bool gray = bm.pixel_mode == FT_PIXEL_MODE_GRAY, mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  if ((w > 0 && h > 0 && !gray && !mono) || w + 2 > bitmap_dx) {  // with its blank columns
    glyphs.emplace(code, ci);  // a form we cannot cache
    return 0;
  }
  ci.bearing_x = scale_x * g->metrics.horiBearingX / 64.0f;
  ci.bearing_y = (g->metrics.horiBearingY - g->metrics.height) / 64.0f;
  ci.advance = scale_x * g->metrics.horiAdvance / 64.0f;

  if (w > 0 && h > 0) {
    // Shelf packing: a glyph that would cross the right edge opens a new
    // shelf. Each glyph keeps one blank texel before it, above it and after
    // it: filtered text (centred at half pixels, scaled or narrowed) samples
    // those, never a neighbouring glyph.
    int x = x_cursor, top = shelf_top, dy = shelf_dy;
    if (x + 1 + w + 1 > bitmap_dx) {
      x = 0;
      top += dy;
      dy = 0;
    }
    if (h + 1 > dy) dy = h + 1;
    if (top + dy > rows_used && !grow_to(top + dy)) {
      ci.advance = 0;
      glyphs.emplace(code, ci);  // the cache is full: drawn as nothing
      return 0;
    }
    x_cursor = x + 1 + w;
    shelf_top = top;
    shelf_dy = dy;
    ++x, ++top;  // past the blank column and row
    // The top row comes first whichever way FreeType's rows flow.
    const unsigned char* row = bm.buffer;
    if (bm.pitch < 0) row -= static_cast<ptrdiff_t>(bm.pitch) * (h - 1);
    for (int r = 0; r < h; ++r, row += bm.pitch) {
      unsigned char* dst = bitmap + static_cast<size_t>(top + r) * bitmap_dx + x;
      for (int c = 0; c < w; ++c) {
        const unsigned v = gray ? row[c] : ((row[c >> 3] >> (7 - (c & 7))) & 1) * 255u;
        dst[c] = k_ramp.v[v];
      }
    }
    ci.x0 = x;
    ci.x1 = x + w;
    ci.top = top;
    ci.bottom = top + h;
    dirty = 1;
  }
  ci.error = 0;
  glyphs.emplace(code, ci);
  return ci.advance;
}

float OGL_font_info::draw_char(unsigned code, float x, float y) {
  const OGL_char_info* ci = find(code);
  if (!ci || ci->error) return 0;
  if (ci->x1 > ci->x0 && ci->bottom > ci->top && rows_used > 0) {
    const float s0 = static_cast<float>(ci->x0) / bitmap_dx;
    const float s1 = static_cast<float>(ci->x1) / bitmap_dx;
    const float t_top = static_cast<float>(ci->top) / rows_used;
    const float t_bot = static_cast<float>(ci->bottom) / rows_used;
    const float left = x + ci->bearing_x, right = left + (ci->x1 - ci->x0);
    const float low = y + ci->bearing_y, high = low + (ci->bottom - ci->top);
    // Clockwise in window coordinates, as every front face.
    gl.TexCoord2f(s0, t_bot);
    gl.Vertex2f(left, low);
    gl.TexCoord2f(s0, t_top);
    gl.Vertex2f(left, high);
    gl.TexCoord2f(s1, t_top);
    gl.Vertex2f(right, high);
    gl.TexCoord2f(s1, t_bot);
    gl.Vertex2f(right, low);
  }
  return ci->advance;
}

void OGL_font_info::sync_tex() {
  if (!dirty) return;
  dirty = 0;
  if (!bitmap || rows_used <= 0) return;  // only blank glyphs so far
  OGL_load_tex_slot(tex_slot, bitmap, bitmap_dx, rows_used, 1, 0x10083, "scratch_array-fonts");
}

// ---------------------------------------------------------------------------
// Fonts

OGL_font_info* OGL_font(charset_t font) {
  const int i = checked(font);
  if (!sFont[i]) {
    sFont[i] = new OGL_font_info(k_first_slot + i);
    OGL_font_reset(font);
  }
  return sFont[i];
}

void OGL_font_reset(charset_t font) {
  for (int i = 0; i < 2; ++i)
    if ((font == font_both || font == i) && sFont[i]) sFont[i]->clear(fnames[i], fsizes[i]);
}

// ---------------------------------------------------------------------------
// UTF-8, measuring and fitting

const unsigned char* OGL_utf8_next(const unsigned char* p, const unsigned char* end,
                                   unsigned* code) {
  const unsigned char lead = *p;
  if (lead < 0x80) {
    *code = lead;
    return p + 1;
  }
  int n;
  unsigned c;
  if (lead >= 0xF0 && lead <= 0xF7) n = 4, c = lead & 0x07;
  else if (lead >= 0xE0) n = 3, c = lead & 0x0F;
  else n = 2, c = lead & 0x1F;
  if (lead >= 0xF8 || !(lead & 0x40) || end - p < n) {  // stray, or cut by the end
    *code = k_replacement;
    return p + 1;
  }
  for (int k = 1; k < n; ++k) {
    if (!is_continuation(p[k])) {
      *code = k_replacement;
      return p + 1;
    }
    c = (c << 6) | (p[k] & 0x3F);
  }
  *code = c > 0x10FFFF ? k_replacement : c;
  return p + n;
}

float OGL_measure_range(const unsigned char* begin, const unsigned char* end, charset_t font) {
  OGL_font_info* f = OGL_font(font);
  float w = 0;
  unsigned code;
  for (const unsigned char* p = begin; p && p < end;) {
    p = OGL_utf8_next(p, end, &code);
    w += f->require_char(code);
  }
  return w;
}

float OGL_measure_string(const std::string& text, charset_t font) {
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  return OGL_measure_range(b, b + text.size(), font);
}

float OGL_measure_char(unsigned code, charset_t font) { return OGL_font(font)->require_char(code); }

const unsigned char* OGL_fit_forward(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t font) {
  OGL_font_info* f = OGL_font(font);
  float w = 0;
  unsigned code;
  for (const unsigned char* p = begin; p < end;) {
    const unsigned char* next = OGL_utf8_next(p, end, &code);
    w += f->require_char(code);
    if (w > width) return p;
    p = next;
  }
  return end;
}

const unsigned char* OGL_fit_reverse(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t font) {
  OGL_font_info* f = OGL_font(font);
  // Code point starts found forward, so both walks agree on malformed bytes.
  std::vector<const unsigned char*> starts;
  std::vector<unsigned> codes;
  unsigned code;
  for (const unsigned char* p = begin; p < end;) {
    starts.push_back(p);
    p = OGL_utf8_next(p, end, &code);
    codes.push_back(code);
  }
  float w = 0;
  for (size_t i = starts.size(); i-- > 0;) {
    w += f->require_char(codes[i]);
    if (w > width) return i + 1 < starts.size() ? starts[i + 1] : end;
  }
  return begin;
}

// ---------------------------------------------------------------------------
// Strings

void OGL_layout_lines(const std::string& text, float wrap, charset_t font, int fixed_advance,
                      std::vector<OGL_text_line>& out) {
  out.clear();
  OGL_font_info* f = OGL_font(font);
  const bool wrapping = wrap > 0 && wrap < 9999;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  while (p < end) {
    OGL_text_line line{p, p, 0};
    const unsigned char* blank = nullptr;  // last blank of this line
    float blank_w = 0;
    const unsigned char* next_line = end;
    unsigned code;
    const unsigned char* q = p;
    while (q < end) {
      if (*q == '\r' || *q == '\n') {
        line.end = q;
        next_line = q + 1;  // CR LF is two line ends
        break;
      }
      const unsigned char* after = OGL_utf8_next(q, end, &code);
      const float step = pen_step(f, code, fixed_advance);
      if (wrapping && line.width + step > wrap && q > p) {
        if (code == ' ') {  // the blank that overflows is the break
          line.end = q;
          next_line = after;
        } else if (blank) {  // break at the last blank; it is not drawn
          line.end = blank;
          line.width = blank_w;
          next_line = blank + 1;
        } else {  // one word wider than the line: break inside it
          line.end = q;
          next_line = q;
        }
        break;
      }
      if (code == ' ' && q > p) {  // a blank opening the line is no break
        blank = q;
        blank_w = line.width;
      }
      line.width += step;
      q = after;
      line.end = q;
    }
    out.push_back(line);
    // A line break at the very end still opens an empty last line.
    if (next_line == end && line.end < end && (end[-1] == '\n' || end[-1] == '\r'))
      out.push_back({end, end, 0});
    p = next_line;
  }
}

float OGL_font_string(int colour, float x, float y, const std::string& text, float wrap,
                      charset_t font, int align, int fixed_advance) {
  OGL_font_info* f = OGL_font(font);
  std::vector<OGL_text_line> lines;
  OGL_layout_lines(text, wrap, font, fixed_advance, lines);
  float line_y = y;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) line_y -= k_line_step;
    const OGL_text_line& ln = lines[i];
    if (ln.begin == ln.end) continue;
    f->sync_tex();  // the glyphs of this line are cached by now
    float pen = x;
    if (align == 1) pen -= ln.width * 0.5f;
    else if (align == 2) pen -= ln.width;
    // Whole pixels: the glyphs' own metrics are whole, so they stay sharp.
    pen = std::round(pen + mnw.origin_x);
    const float base = std::round(line_y + mnw.origin_y);
    OGL_setstate(1, 1, 3, 5, 9, 11);
    OGL_bind_tex_slot(f->tex_slot, 0, 0);
    OGL_setcolor(colour, 1.0f);
    gl.Begin(GL_QUADS);
    unsigned code;
    for (const unsigned char* p = ln.begin; p < ln.end;) {
      p = OGL_utf8_next(p, ln.end, &code);
      const float adv = f->draw_char(code, pen, base);
      pen += fixed_advance ? static_cast<float>(fixed_advance) : adv;
    }
    gl.End();
  }
  return line_y;
}
