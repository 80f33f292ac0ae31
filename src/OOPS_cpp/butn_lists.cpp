// The drop-down list, the scrolling list with type-ahead, the character grid
// and the tabs.
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/key_queue.h"
#include "UTL/xtim.h"

float io_dx = 290.0f;
float io_dy = 220.0f;

namespace {

bool mouse_in(float x1, float y1, float x2, float y2) {
  return x1 <= mnw.mouse_x && mnw.mouse_x <= x2 && y1 <= mnw.mouse_y && mnw.mouse_y <= y2;
}

float language_scale(int language) {
  switch (language) {
    case 1: case 4: case 5: return 0.95f;  // French, Italian, Spanish
    case 2: case 3: return 0.9f;           // German, Russian
    default: return 1.0f;
  }
}

// Where the open popup stands relative to the caller's selection: the popup
// creeps a row a frame until it fits the window, without touching the
// caller's value while no entry has been chosen.
int popup_shift = 0;
int popup_shift_code = 0;

}  // namespace

int BTN_textlist(float x, float y, int* selection, std::string entries, std::string label) {
  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  std::vector<std::string> list(1);
  for (char c : entries) {
    if (c == '|') {
      __MACIBM_alert(0, "Found | char in text string!", entries, "", label, t_exit, "butn", 933);
      return 0;
    }
    if (c == '-')
      list.emplace_back();
    else
      list.back() += c;
    if (list.size() > 300) {
      __MACIBM_alert(0, "BTN_text_list overflow!", entries, "", label, t_exit, "butn", 937);
      return 0;
    }
  }
  const int n = static_cast<int>(list.size()) - 1;
  *selection = *selection < 0 ? 0 : std::min(*selection, n);

  float w = 20;
  for (const std::string& e : list) w = std::max(w, static_cast<float>(static_cast<int>(str_dx(e))));
  const float h = std::max(w * language_scale(mnw.language), 20.0f);
  BTN_frame1(10, x + 10, y + 5, h + 28, 0);
  BTN_util_draw_label(x - h / 2 - 5, y, 0, left, 0);
  BTN_util_draw_label(x + h / 2 + 25, y, 2, right, 0);

  const int code = static_cast<int>(y * 1024 + x);
  const float bx1 = x + 10 - (h / 2 + 15), bx2 = x + 10 + (h / 2 + 15);
  UI_item_add(list[static_cast<size_t>(*selection)], bx1, y - 2, bx2, y + 8, 1, 0);
  if (mnw.mouse_clicked && code != active_popup_code && mouse_in(bx1, y - 2, bx2, y + 8))
    active_popup_code = code;

  int result = 0;
  if (code == select_popup_code) {
    *selection = std::clamp(popup_menu_select, 0, n);
    result = 1;
    select_popup_code = 0;
  }
  if (code == active_popup_code) {
    if (popup_shift_code != code) popup_shift = 0, popup_shift_code = code;
    const int place = *selection + popup_shift;
    if (menu.size() < static_cast<size_t>(menu_slot_count)) menu.resize(menu_slot_count);
    menu_struct& m = menu[menu_popup_slot];
    mnw.open_menu = menu_popup_slot;
    m.parent = -1;
    m.x1 = static_cast<int16_t>(static_cast<int>(x - w / 2) - 2);
    m.x2 = static_cast<int16_t>(static_cast<int>(x + w / 2) + 4);
    m.y1 = static_cast<int16_t>(static_cast<int>(y - 12.0f * (n - place)));
    m.y2 = static_cast<int16_t>(m.y1 + 12 * n + 12);
    m.items.assign(static_cast<size_t>(n + 1), item_struct());
    int lowest = 384, highest = 384;
    for (int i = 0; i <= n; ++i) {
      item_struct& it = m.items[static_cast<size_t>(i)];
      it.text = list[static_cast<size_t>(i)];
      it.x1 = m.x1;
      it.x2 = m.x2;
      it.y1 = static_cast<int16_t>(static_cast<int>(y - 3 - 12.0f * (i - place)));
      it.y2 = static_cast<int16_t>(static_cast<int>(y + 9 - 12.0f * (i - place)));
      lowest = std::min(lowest, static_cast<int>(it.y1));
      highest = std::max(highest, static_cast<int>(it.y2));
    }
    if (lowest < 0) popup_shift += 1;
    if (highest > mnw.window_dy) popup_shift -= 1;
  } else {
    if (popup_shift_code == code) popup_shift = 0, popup_shift_code = 0;
    OGL_string(41, x, y, list[static_cast<size_t>(*selection)], 9999, font_regular, 1);
    // The help zone keeps the unscaled width.
    if (mouse_in(x + 10 - (w / 2 + 15), y - 2, x + 10 + (w / 2 + 15), y + 8)) stls.help_text = help;
  }
  return result;
}

// ------------------------------------------------------------------ lists

namespace {
std::string type_ahead;
float last_type_ahead = -1.0f;
int current_list_id = 0;
BTN_key_queue list_keys;

struct icon_u {
  int code;
  float u1, u2;
};
const icon_u k_icons[] = {{1, 34, 46},   {3, 48, 60},    {4, 62, 74},    {5, 90, 102},
                          {7, 146, 158}, {9, 104, 116}, {10, 118, 130}, {11, 132, 144}};
}  // namespace

int BTN_list_and_search(int slider_slot, float x, float y, float width, float height,
                        int* centre_row, int* selected_row, int first, int last,
                        std::string* search_text, const std::string& search_label,
                        std::string (*row_text)(int row, void* ref), void* text_ref,
                        std::string (*row_text2)(int row, void* ref), void* text2_ref,
                        int (*row_icon)(int row, void* ref), void* icon_ref) {
  x = std::round(x);
  y = std::round(y);
  const float W = width > 0 ? width : io_dx;
  const float H = height > 0 ? height : io_dy;
  const float half = height > 0 ? H / 2 : 110.0f;
  const int J = static_cast<int>(H / 20) - 1;
  const int id = static_cast<int>(x) * 8192 + static_cast<int>(y);
  const bool over = mouse_in(x, y - half, x + W, y + half);
  const int take = mnw.open_menu == -1 && mnw.mouse_clicked && over;
  const int focused = BTN_register_focus(id, list_keys.chars, list_keys.vkeys,
                                         list_keys.modifiers, list_keys.ids, &list_keys.count,
                                         BTN_key_queue::capacity, 0x1F0, take);
  if (focused && id != current_list_id) {
    type_ahead.clear();
    current_list_id = id;
  }
  auto reveal = [&](int r) {
    if (r > *centre_row + J) *centre_row = r - J;
    if (r < *centre_row - J) *centre_row = r + J;
  };
  BTN_drain_keys(&list_keys, id, [&](int ch, int vkey, int) {
    if (vkey == 40) {
      *selected_row += 1;
      if (*selected_row > *centre_row + J) *centre_row = *selected_row - J;
    } else if (vkey == 38) {
      *selected_row -= 1;
      if (*selected_row < *centre_row - J) *centre_row = *selected_row + J;
    } else if (ch >= 32 && ch <= 126) {
      const float now = xtim.real_elapsed;
      if (now - last_type_ahead > 1.0f) type_ahead.clear();
      type_ahead += static_cast<char>(ch);
      last_type_ahead = now;
      if (last >= first && row_text) {
        for (int r = first; r <= last; ++r) {
          if (strncasecmp(row_text(r, text_ref).c_str(), type_ahead.c_str(), type_ahead.size()))
            continue;
          *selected_row = r;
          reveal(r);
          break;
        }
      }
    }
  });

  if (search_text) BTN_enterstring(x + 35, y - 131, search_text, 36, search_label, 252, 1);
  if (last < first) return 0;

  BTN_frame2(19, x, y - half, W, H, "", 1);
  if (first < last)
    BTN_vert_slider(slider_slot, x + W + 16, y - half, y + half, first, last, centre_row);
  if (over) {
    *centre_row -= mnw.wheel_total;
    mnw.wheel_total = 0;
  }
  *centre_row = std::clamp(*centre_row, first, last);
  int result = 0;
  if (mnw.mouse_clicked && over) {
    *selected_row = *centre_row - static_cast<int>(std::round((mnw.mouse_y - y) / 10));
    result = mnw.mouse_double_clicked ? 1 : 0;
  }
  *selected_row = std::clamp(*selected_row, first, last);

  for (int i = -J; i <= J; ++i) {
    const int r = *centre_row + i;
    if (r < first || r > last) continue;
    const float ry = y - 10.0f * i;
    const std::string text = row_text ? row_text(r, text_ref) : std::string();
    OGL_string(48, x + 20, ry - 3, text, 9999, font_regular, 0);
    if (row_text2) OGL_string(48, x + 242, ry - 3, row_text2(r, text2_ref), 9999, font_regular, 0);
    if (row_icon) {
      const int code = row_icon(r, icon_ref);
      for (const icon_u& ic : k_icons) {
        if (ic.code != code) continue;
        OGL_2dquad_d(410, 0, 1.0f, x + 4, ry - 6, x + 16, ry + 6, ic.u1 / 512, 82 / 512.0f,
                     ic.u2 / 512, 94 / 512.0f, 1, 5);
      }
    }
    if (r == *selected_row) OGL_fillrect(12, 0.25f, x + 18, ry - 5, W - 22, 10);
    UI_item_add(text, x, ry - 5, x + W, ry + 5, 1, r == *selected_row);
  }
  if (focused) OGL_framerect(48, 1.0f, x, y - half, W, H);
  return result;
}

// ---------------------------------------------------------- character grid

namespace {
int chars_hot_digit = 0;
BTN_key_queue chars_keys;
const char k_alphabet[] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-";

int alphabet_pos(char c) {
  if (c == ' ') return 0;
  if (c == '-') return 37;
  if (c >= '1' && c <= '9') return 2 + (c - '1');
  if (c >= 'A' && c <= 'Z') return 11 + (c - 'A');
  if (c >= 'a' && c <= 'z') return 11 + (c - 'a');
  return 1;
}
char alphabet_step(char c, int by) { return k_alphabet[(alphabet_pos(c) + by + 38) % 38]; }
}  // namespace

void BTN_chars(float x, float y, char* cells, int count, std::string label) {
  if (count < 1) return;
  const int id = static_cast<int>(x) * 8192 + static_cast<int>(y);
  int take = 0;
  if (mnw.open_menu == -1 && mnw.mouse_clicked && mouse_in(x, y - 2, x + 10 * count, y + 8)) {
    chars_hot_digit = static_cast<int>((mnw.mouse_x - x) / 10);
    take = 1;
  }
  const int focused = BTN_register_focus(id, chars_keys.chars, chars_keys.vkeys,
                                         chars_keys.modifiers, chars_keys.ids, &chars_keys.count,
                                         BTN_key_queue::capacity, 0x1F0, take);
  auto clamp_hot = [&] { chars_hot_digit = std::clamp(chars_hot_digit, 0, count - 1); };
  if (focused) clamp_hot();
  BTN_drain_keys(&chars_keys, id, [&](int ch, int vkey, int) {
    clamp_hot();
    char& cell = cells[chars_hot_digit];
    if (vkey == 37) {
      chars_hot_digit = chars_hot_digit == 0 ? count - 1 : chars_hot_digit - 1;
    } else if (vkey == 39) {
      chars_hot_digit = chars_hot_digit + 1 >= count ? 0 : chars_hot_digit + 1;
    } else if (vkey == 38) {
      cell = alphabet_step(cell, -1);
    } else if (vkey == 40) {
      cell = alphabet_step(cell, 1);
    } else if ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
               ch == ' ' || ch == '-') {
      cell = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
      chars_hot_digit = chars_hot_digit + 1 >= count ? 0 : chars_hot_digit + 1;
    }
  });

  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  BTN_frame1(9, x + 5 * count + 1, y + 3, 10 * count + 11, 0);
  for (int k = 0; k < count; ++k) {
    const float cx = x + 10 * k + 6;
    OGL_2dquad_d(410, 0, 1.0f, cx - 7, y - 19, cx + 7, y - 1, 83 / 512.0f, 178 / 512.0f,
                 97 / 512.0f, 196 / 512.0f, 1, 5);
    OGL_2dquad_d(410, 0, 1.0f, cx - 7, y + 9, cx + 7, y + 27, 83 / 512.0f, 197 / 512.0f,
                 97 / 512.0f, 215 / 512.0f, 1, 5);
  }
  BTN_util_draw_label(x - 6, y, 0, left, 0);
  if (focused) {
    clamp_hot();
    OGL_fillrect(8, 1.0f, x + 2 + 10 * chars_hot_digit, y - 2, 9, 11);
  }
  UI_item_add(left, x, y - 18, x + 10 * count, y + 24, 1, focused);
  for (int k = 0; k < count; ++k) {
    const float cx = x + 10 * k;
    OGL_string(48, cx + 2, y, std::string(1, cells[k]), 9999, font_regular, 0);
    if (mouse_in(cx, y - 2, cx + 10, y + 8)) stls.help_text = help;
    if (mnw.mouse_clicked && !take && mouse_in(cx, y - 18, cx + 10, y + 24)) {
      const bool up = mnw.mouse_y > y + 3;
      mnw.cursor_kind = up ? 20 : 21;
      cells[k] = alphabet_step(cells[k], up ? -1 : 1);
    }
  }
}

int BTN_tab(int column, int row, int* current, int my_value, std::string label) {
  const float cx = 88.0f * column + 53, cy = mnw.win_dy - 38 - 32.0f * row;
  int result = 0;
  if (mnw.mouse_clicked && mouse_in(cx - 50, cy - 13, cx + 40, cy + 13)) {
    *current = my_value;
    result = 1;
  }
  const bool front = my_value == *current;
  OGL_2dquad_d(410, 0, 1.0f, cx - 49, cy - 13, cx + 49, cy + 13, 204 / 512.0f,
               (front ? 486 : 459) / 512.0f, 302 / 512.0f, (front ? 512 : 485) / 512.0f, 1, 5);
  OGL_string(front ? 44 : 45, cx - 40, cy - 4, label, 9999, font_regular, 0);
  UI_item_add(label, cx - 50, cy - 13, cx + 40, cy + 13, 1, front);
  return result;
}
