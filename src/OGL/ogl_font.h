// The interface fonts: two TrueType faces rendered by FreeType glyph by glyph
// into one 8-bit cache bitmap per font, uploaded as a texture only when a new
// glyph was added; on top of it string drawing, measuring and fitting.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class xmap_class;
struct FT_FaceRec_;

// 0 the regular font, 1 the bold one; 2 (both) only for OGL_font_reset.
enum charset_t : int { font_regular = 0, font_bold = 1, font_both = 2 };

struct OGL_char_info {
  unsigned code = 0;
  int x0 = 0, top = 0;     // first bitmap column and row
  int x1 = 0, bottom = 0;  // x0 + width, top + rows
  float bearing_x = 0;     // pixels from the pen to the left edge
  float bearing_y = 0;     // pixels from the baseline to the bottom edge
  float advance = 0;
  int error = 0;  // not drawable: draws nothing and advances 0
};

class OGL_font_info {
 public:
  static constexpr int bitmap_dx = 1024;
  // Rows the cache may grow to: far inside the shared scratch image and the
  // smallest texture size the program runs on.
  static constexpr int max_rows = 2048;

  explicit OGL_font_info(int slot);
  ~OGL_font_info();
  OGL_font_info(const OGL_font_info&) = delete;
  OGL_font_info& operator=(const OGL_font_info&) = delete;

  // (Re)loads the font from path (a resource name or a file) at size points,
  // 72 dpi; forgets every cached glyph.
  void clear(const std::string& path, float size);
  // The glyph's advance, rendered and cached when new; a tab is 0 and never
  // cached.
  float require_char(unsigned code);
  // One textured quad for a cached glyph with its pen at (x, y), inside the
  // caller's glBegin(GL_QUADS); nothing for a blank or failed glyph. The
  // advance.
  float draw_char(unsigned code, float x, float y);
  // Uploads the bitmap when a glyph was added since the last upload.
  void sync_tex();

  const OGL_char_info* find(unsigned code) const;

  int tex_slot;
  int rows_used = 0;  // bitmap height, a power of two (0 while empty)
  int x_cursor = 0;
  int shelf_top = 0;
  int shelf_dy = 0;
  float ascender = 0, descender = 0, line_height = 0;
  std::unordered_map<unsigned, OGL_char_info> glyphs;
  unsigned char* bitmap = nullptr;  // bitmap_dx bytes a row, malloc'd
  FT_FaceRec_* face = nullptr;
  std::unique_ptr<xmap_class> file;
  int dirty = 0;
  float scale_x = 1.0f;  // 0.9 for Russian

 private:
  void free_bitmap();
  bool grow_to(int rows);
};

// Bytes of cache bitmap allocated, the memory statistic "font/tex_mem".
extern float g_font_tex_mem;

// The font of a charset, created and loaded on first use.
OGL_font_info* OGL_font(charset_t font);
// Reloads one font (or both with font_both) if it exists, e.g. when the
// language changes.
void OGL_font_reset(charset_t font);

// Draws UTF-8 text with its first line's pen at (x, y), relative to the
// current logical window. Lines end at CR, LF or CR LF; with 0 < wrap < 9999 a
// line also ends at the last blank that fits (a word wider than wrap breaks
// where it stops fitting); each further line is 10 units lower. align 0
// starts at x, 1 centres on x, 2 ends at x. A non-zero fixed_advance moves
// the pen by that much per code point.
// Returns the y of the last line drawn, in the caller's frame (y itself for
// one line or empty text): the next line of text goes 10 units below it.
float OGL_font_string(int colour, float x, float y, const std::string& text, float wrap,
                      charset_t font, int align, int fixed_advance);

float OGL_measure_string(const std::string& text, charset_t font);
float OGL_measure_range(const unsigned char* begin, const unsigned char* end, charset_t font);
float OGL_measure_char(unsigned code, charset_t font);
// The first code point from begin that no longer fits in width; end when all
// fit.
const unsigned char* OGL_fit_forward(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t font);
// The start of the longest tail of [begin, end) that fits in width.
const unsigned char* OGL_fit_reverse(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t font);

// Decodes one code point at p, never reading at or past end (p < end). A
// malformed or cut sequence gives U+FFFD and consumes its lead byte only.
const unsigned char* OGL_utf8_next(const unsigned char* p, const unsigned char* end,
                                   unsigned* code);

// One laid-out line of OGL_font_string, for tests and measuring callers:
// bytes [begin, end) are drawn, width is their pen travel.
struct OGL_text_line {
  const unsigned char* begin;
  const unsigned char* end;
  float width;
};
// Splits text into the lines OGL_font_string draws (rendering new glyphs).
void OGL_layout_lines(const std::string& text, float wrap, charset_t font, int fixed_advance,
                      std::vector<OGL_text_line>& out);
