// The wizard's decisions that need no drawing: the install folder's name,
// the destination a copy-picking screen may keep, the button image cuts and
// rectangles, and the disk-space panel's text and verdict.
#pragma once

#include <string>

// 1 for a name that is one path component: not empty, no "/" (nor NUL), not
// "." or "..". The destination screen takes nothing else, also not as the
// default name a disc's VERSION line gives.
int install_folder_name_ok(const std::string& name);
// The destination for parent (ending in "/") and the typed name: 1 with
// dest = parent + name + "/" for a good name, else 0 with dest = parent.
int install_dest_from_choice(const std::string& parent, const std::string& name, std::string& dest);
// First frame of a copy-picking screen: dest_dir_path is kept only when it
// is one of all_skysuites (another flow may have left any folder there).
void clear_stale_dest_dir();

// Left edges of the seven button images (row r) and the right edge of the
// last (row 7), per language (column), in pixels of the 1024-wide texture.
extern const float btn_cuts[8][6];
// Edges of image 0..6 for a language 0..5; an image or language outside
// them counts as 0 (English, the quit image).
void btn_cut_edges(int image, int language, float& left, float& right);

struct wiz_rect {
  float x0, y0, x1, y1;
};
// Where interface_rect draws image with its bottom edge at y: align 1 left
// edge at x, 0 centred, -1 right edge at x; 22 units high. *width_out (when
// given) is the button's full width, (int)(image width + 20).
wiz_rect interface_rect_box(float x, float y, int image, int align, int language, int* width_out);
// Edges included.
int wiz_rect_holds(const wiz_rect& r, float x, float y);
// How interface_rect draws a button: the frame kind, the rows of the button
// texture (bottom, top, as fractions) and the image's alpha. Hovered needs
// enabled and the mouse inside; held is the mouse button.
struct button_look {
  int frame_kind;
  float t0, t1;
  float alpha;
};
button_look interface_rect_look(int enabled, int style, int mouse_inside, int held);

// The disk-space panel for a volume of total and free bytes and the KB the
// choice needs: the text to draw, and 1 when free > needed (KB of 1000
// bytes, shown with 1024 KB per MB).
int disk_space_report(unsigned long long total_bytes, unsigned long long free_bytes,
                      float needed_kb, const std::string& enough_text,
                      const std::string& short_text, std::string& text);
// The same for the volume of dest_dir_path and stg.total_size_kb. When the
// volume cannot be read: 1 with draw = 0 (nothing to show).
int disk_space_panel(const std::string& enough_text, const std::string& short_text,
                     std::string& text, int& draw);
