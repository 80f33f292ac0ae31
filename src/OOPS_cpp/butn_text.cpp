// The one-line text field: focus, keys, mouse and drawing around the shared
// editor record, with the engine's measuring and drawing callbacks.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "OGL/colr.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/key_queue.h"
#include "OOPS_cpp/ogle_field.h"

namespace {
const unsigned char* ub(const char* p) { return reinterpret_cast<const unsigned char*>(p); }
}  // namespace

float OGLE_MeasureString(OGLE_Rec*, const char* begin, const char* end) {
  return OGL_measure_range(ub(begin), ub(end), font_regular);
}

int OGLE_FitStringFwd(OGLE_Rec*, const char* begin, const char* end, float width) {
  return static_cast<int>(OGL_fit_forward(ub(begin), ub(end), width, font_regular) - ub(begin));
}

int OGLE_FitStringRev(OGLE_Rec*, const char* begin, const char* end, float width) {
  return static_cast<int>(ub(end) - OGL_fit_reverse(ub(begin), ub(end), width, font_regular));
}

// The field has one line: the engine's position is not needed.
void OGLE_DrawString(OGLE_Rec*, const char* begin, const char* end, float, float) {
  OGL_string(48, OGLE_x - OGLE_dx, OGLE_y - OGLE_dy, std::string(begin, end), 9999,
             font_regular, 0);
}

void OGLE_DrawSelection(OGLE_Rec*, float rect[4]) {
  if (rect[2] != rect[0])
    OGL_fillrect(8, 1.0f, rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]);
  else
    OGL_line(48, colr.pulse, rect[0], rect[1], rect[0], rect[3]);
}

const OGLE_Callbacks OGLE_cbs = {
    OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo,
    OGLE_GetText,          OGLE_ReplaceTextFunc,  OGLE_GetLineHeight,    OGLE_MeasureString,
    OGLE_FitStringFwd,     OGLE_FitStringRev,     OGLE_DrawString,       OGLE_DrawSelection,
    OGLE_WordBreak,        OGLE_MBCS_Next,        OGLE_MBCS_NextPos,     OGLE_MBCS_PrevPos,
};

namespace {
OGLE_Rec* ogle = nullptr;
int focused_field_id = 0;
BTN_key_queue text_keys;  // shared by every text field
}  // namespace

int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label,
                    float width, int auto_focus) {
  const int id = static_cast<int>(y) + static_cast<int>(x) * 8192;
  if (!ogle) ogle = OGLE_Create(&OGLE_cbs, nullptr);

  const int clicked = mnw.open_menu == -1 && mnw.mouse_clicked && x <= mnw.mouse_x &&
                      mnw.mouse_x <= x + width && y <= mnw.mouse_y && mnw.mouse_y <= y + 8;
  const int take = clicked || (auto_focus && !BTN_focus_id() && !BTN_window_focus());
  BTN_key_queue& q = text_keys;
  const int focused = BTN_register_focus(id, q.chars, q.vkeys, q.modifiers, q.ids, &q.count,
                                         BTN_key_queue::capacity, 0x1F4, take);

  OGLE_edit = 0;
  if (focused) {
    OGLE_x = static_cast<int>(x);
    OGLE_y = static_cast<int>(y);
    OGLE_entry_dx = static_cast<int>(width);
    OGLE_input = text;
    if (id != focused_field_id) {
      OGLE_dx = OGLE_dy = 0;
      if (!clicked) OGLE_SetSelection(ogle, 0, static_cast<int>(text->size()));
    }
    focused_field_id = id;
    // The caller may have changed the text since the last frame: lines and
    // selection are laid out for this text before anything reads them.
    OGLE_Repaginate(ogle);
    int s, e;
    OGLE_GetSelection(ogle, &s, &e);
    const int len = static_cast<int>(text->size());
    e = std::clamp(e, 0, len);
    s = std::clamp(s, 0, e);
    OGLE_SetSelection(ogle, s, e);
    if (mnw.mouse_clicked)
      OGLE_Click(ogle, mnw.mouse_x, mnw.mouse_y, 0);
    else if (mnw.mouse_held)
      OGLE_Drag(ogle, mnw.mouse_x, mnw.mouse_y);
  }

  // Keys queued for this field reach the engine only while the engine is
  // bound to this field's string; otherwise they are dropped.
  const bool bound = focused && OGLE_input == text;
  BTN_drain_keys(&q, id, [&](int ch, int, int mods) {
    if (!bound) return;
    char bytes[4];
    const int n = OGLE_key_bytes(ch, bytes);
    if (n) OGLE_Key_MBCS(ogle, n, bytes, mods & 1);
  });

  std::string main, second, help;
  BTN_expand_label(label, &main, &second, &help);
  BTN_frame1(9, x + width / 2 - 2, y + 3, width + 10, 0);
  BTN_util_draw_label(x - 12, y, 0, main, 0);
  BTN_util_draw_label(x + width + 6, y, 2, second, 0);
  UI_item_add(main.empty() ? *text : main, x, y, x + width, y + 8, 1, focused);
  // The clip spans at least the font's whole line: accents on capitals rise
  // above y + 8 and descenders reach below y - 3 with the shipped faces.
  const OGL_font_info* f = OGL_font(font_regular);
  const float clip_lo = std::min(y - 3, std::floor(y - 1 - f->descender));
  const float clip_hi = std::max(y + 8, std::ceil(y - 1 + f->ascender));
  OGL_scissors(x - 1, clip_lo, width + 2, clip_hi - clip_lo);
  if (focused)
    OGLE_Draw(ogle, 1);
  else
    OGL_string(48, x, y, *text, 9999, font_regular, 0);
  OGL_scissors_end();

  if (OGLE_edit && static_cast<int>(text->size()) > max_len) {
    OGLE_cut_to(text, max_len);
    OGLE_Repaginate(ogle);
    int s, e;
    OGLE_GetSelection(ogle, &s, &e);
    const int len = static_cast<int>(text->size());
    e = std::min(e, len);
    OGLE_SetSelection(ogle, std::min(s, e), e);
  }
  return OGLE_edit;
}

namespace {
// The char-buffer widgets hand back at most 500 bytes.
bool fits_char_buffer(const std::string& s) {
  if (s.size() < 500) return true;
  __MACIBM_alert(0, "String too long!", s, "", "", t_exit, "hl_string", 130);
  return false;
}
}  // namespace

int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float width,
                    int flags) {
  std::string s(text);
  const int r = BTN_enterstring(x, y, &s, max_len, label, width, flags);
  if (!fits_char_buffer(s)) return r;
  memcpy(text, s.c_str(), s.size() + 1);
  return r;
}
