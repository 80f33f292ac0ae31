// The menu bar drawn with OpenGL: the numbered menu slots and the popup slot
// of the drop-down lists, building menus by call or from menu files, drawing
// the bar and the open menu, and the menus' part of the mouse handling.
#include <algorithm>
#include <cstdint>

#include "GenH/menu.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/localize.h"
#include "UTL/str_to_int.h"
#include "UTL/xtim.h"

int popup_menu_select = 0, active_popup_code = 0, select_popup_code = 0;
float m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;

namespace {

const char* const k_src = "GenC/hl_mnw";  // the location fatal alerts name

// The stand-ins draw plain boxes and the icon straight from the interface
// texture, so that menus show before the widgets are wired in.
void plain_frame1(int, float cx, float cy, float width, int) {
  OGL_grayrect(cx - width / 2, cy - 9, cx + width / 2, cy + 9, 0.8f);
}
void plain_frame2(int, float x, float y, float width, float height, std::string, float alpha) {
  OGL_grayrect(x, y, x + width, y + height, 0.9f * alpha);
}
void plain_icon(float cx, float cy, float tx, float ty, float hw, float hh, int colour) {
  const float k = 1.0f / 512.0f;
  OGL_2dquad_d(410, colour, 1.0f, cx - hw, cy - hh, cx + hw, cy + hh, (tx - hw) * k, (ty - hh) * k,
               (tx + hw) * k, (ty + hh) * k, 1, 5);
}
void to_application(int value) { shell_hooks.app_handlemenu(value); }

bool in_box(float x1, float y1, float x2, float y2) {
  return x1 <= mnw.mouse_x && mnw.mouse_x <= x2 && y1 <= mnw.mouse_y && mnw.mouse_y <= y2;
}

bool selectable(const item_struct& it) {
  return !it.text.empty() && it.text[0] != '-' && it.text[0] != '=';
}

// The menu slot at index, or null when the list does not reach it.
menu_struct* slot(int index) {
  if (index < 0 || index >= static_cast<int>(menu.size())) return nullptr;
  return &menu[static_cast<size_t>(index)];
}

// Writers work on the full list even before start-up made it.
menu_struct& slot_for_write(int index) {
  if (menu.size() < static_cast<size_t>(menu_slot_count)) menu.resize(menu_slot_count);
  return menu[static_cast<size_t>(index)];
}

int16_t units(float v) { return static_cast<int16_t>(static_cast<int>(v)); }

// At most 40 bytes, cut before a code point that would not fit whole.
std::string cut_title(const std::string& title) {
  if (title.size() < 40) return title;
  size_t n = 40;
  while (n > 0 && (static_cast<unsigned char>(title[n]) & 0xC0) == 0x80) --n;
  return title.substr(0, n);
}

std::string label_of(int menu_index, int item) {
  int command = 0;
  std::string label;
  get_check_cmnd(menu_index, item, &command, &label);
  return label;
}

// The item of the open menu whose rectangle holds the mouse, edges included;
// -1 none.
int item_under_mouse() {
  const menu_struct* m = slot(mnw.open_menu);
  if (!m) return -1;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const item_struct& it = m->items[i];
    if (selectable(it) && in_box(it.x1, it.y1, it.x2, it.y2)) return static_cast<int>(i);
  }
  return -1;
}

void fatal(const std::string& s1, const std::string& s4, int line) {
  __MACIBM_alert(0, s1, "", "", s4, t_exit, k_src, line);
}

}  // namespace

menu_hooks_class menu_hooks = {plain_frame1, plain_frame2, plain_icon, to_application};

void MACIBM_reset_menu_hooks() { menu_hooks = {plain_frame1, plain_frame2, plain_icon, to_application}; }

void get_check_cmnd(int, int, int*, std::string* label) {
  if (label) label->clear();
}

int accept_item(int) { return 1; }

// ------------------------------------------------------------------ building

void MACIBM_clear_menus(int mode) {
  if (mode != 1) return;
  menu.assign(menu_slot_count, menu_struct());
}

void MACIBM_clear_menu(int index) {
  if (menu_struct* m = slot(index)) *m = menu_struct();
}

void MACIBM_clear_items(int index) {
  if (menu_struct* m = slot(index)) m->items.clear();
}

void MACIBM_create_menu(int index, int parent_code, std::string title) {
  static float x = 0;  // where the next bar title begins
  const char* const where = "Menu index out of range in create_menu!";
  if (index < 0 || index >= menu_slot_count) return fatal(where, title, 199);
  const int parent = parent_code / menu_item_count, parent_item = parent_code % menu_item_count;
  if (parent_code < 0 || parent >= menu_slot_count) return fatal(where, title, 199);
  menu_struct& m = slot_for_write(index);
  // A submenu hangs on an item that must exist already.
  if (parent_code != 0 && parent_item >= static_cast<int>(menu[parent].items.size()))
    return fatal(where, title, 199);

  m.title = cut_title(title);
  const float w = str_dx(m.title);
  if (parent_code != 0) {
    const item_struct& it = menu[parent].items[parent_item];
    m.parent = parent;
    m.x1 = it.x1;
    m.y1 = it.y1;
    m.x2 = it.x2;
    m.y2 = it.y2;
    return;
  }
  m.parent = -1;
  if (index == 0) x = 0;
  m.x1 = units(x);
  m.x2 = units(x + w + 30);
  m.y1 = static_cast<int16_t>(mnw.window_dy - 18);
  m.y2 = static_cast<int16_t>(mnw.window_dy);
  if (m.title != "Plugins") x = m.x2;  // the next title starts where "Plugins" does
}

void MACIBM_append_menu(int menu_index, int item, int value, std::string text) {
  if (menu_index < 0 || item < 0) return;
  if (menu_index >= menu_slot_count) return fatal("Menu index out of range in append_menu!", text, 239);
  if (item >= menu_item_count) return fatal("Item index out of range in append_menu!", text, 240);
  menu_struct& m = slot_for_write(menu_index);
  if (item >= static_cast<int>(m.items.size())) m.items.resize(static_cast<size_t>(item) + 1);
  item_struct& it = m.items[static_cast<size_t>(item)];
  it.text = text;
  it.value = value;

  const int row = (!text.empty() && text[0] == '-') ? 2 : 12;
  if (item > 0) {
    const item_struct& prev = m.items[static_cast<size_t>(item) - 1];
    it.y2 = prev.y1;
    it.y1 = static_cast<int16_t>(it.y2 - row);
    it.x1 = prev.x1;
    it.x2 = prev.x2;
  } else {
    if (m.parent == -1) {
      it.y2 = static_cast<int16_t>(m.y1 - 2);
      it.y1 = static_cast<int16_t>(it.y2 - row);
    } else {
      it.y1 = static_cast<int16_t>(m.y1 - 2);
      it.y2 = static_cast<int16_t>(m.y2 - 2);
    }
    it.x1 = m.x1;
    it.x2 = static_cast<int16_t>(it.x1 + 40);
  }

  float w = 40;
  for (int i = 0; i <= item; ++i) {
    const std::string label = label_of(menu_index, i);
    const float need = str_dx(m.items[static_cast<size_t>(i)].text) +
                       (label.empty() ? 0.0f : str_dx(label)) + 40;
    w = std::max(w, need);
  }
  for (int i = 0; i <= item; ++i) {
    m.items[static_cast<size_t>(i)].x1 = m.x1;
    m.items[static_cast<size_t>(i)].x2 = units(m.x1 + w);
  }
}

void MACIBM_remove_menu_item(int menu_index, int item) {
  if (menu_index < 0 || item < 0) return;
  if (menu_index >= menu_slot_count) return fatal("Menu index out of range in append_menu!", "", 283);
  if (item >= menu_item_count) return fatal("Item index out of range in append_menu!", "", 284);
  menu_struct* m = slot(menu_index);
  if (!m || item >= static_cast<int>(m->items.size())) return;  // nothing there to remove
  const item_struct gone = m->items[static_cast<size_t>(item)];
  const int dy = gone.y2 - gone.y1;
  m->items.erase(m->items.begin() + item);
  for (size_t i = static_cast<size_t>(item); i < m->items.size(); ++i) {
    m->items[i].y1 = static_cast<int16_t>(m->items[i].y1 + dy);
    m->items[i].y2 = static_cast<int16_t>(m->items[i].y2 + dy);
  }
}

namespace {
bool eol(char c) { return c == '\r' || c == '\n' || c == 0; }
bool space(char c) { return c == ' ' || c == '\t'; }

// One line from p (blanks and tabs before it skipped), then past every line
// end and blank after it, so blank lines never reach the parser.
std::string next_line(const char*& p, const char* end) {
  while (p < end && space(*p)) ++p;
  const char* b = p;
  while (p < end && !eol(*p)) ++p;
  std::string line(b, static_cast<size_t>(p - b));
  while (p < end && (eol(*p) || space(*p))) ++p;
  return line;
}

// "number blanks text": the number (-1 when it does not parse) and the text.
int split_line(const std::string& line, std::string* text) {
  size_t i = 0;
  while (i < line.size() && !space(line[i])) ++i;
  const int n = str_to_int(line.substr(0, i));
  while (i < line.size() && space(line[i])) ++i;
  *text = line.substr(i);
  return n;
}
}  // namespace

void MACIBM_read_menus(std::string base, std::string name) {
  MACIBM_clear_menus(2);
  // Before start-up chose a language the English menus stand in.
  const int lang = mnw.language >= 0 && mnw.language < lang_count ? mnw.language : 0;
  const std::string path = base + "menus/" + UTL_lang_get_folder(lang) + name;
  static const int k_versions[] = {1, 0};
  xmap_class f(path);
  if (!f.map_base || f.check_file(xmap_text, k_versions, nullptr, nullptr) != 1)
    return __MACIBM_alert(0, "Cannot open file!", path, "Trash this copy and re-install Flyvane.",
                          "", t_exit, k_src, 1152);

  const char* p = f.cursor;
  const char* const end = f.map_end;
  for (int index = 0;; ++index) {
    std::string title;
    const std::string header = next_line(p, end);
    if (header.empty()) break;
    const int code = split_line(header, &title);
    MACIBM_create_menu(index, code, title);
    // A file that ends inside an item list keeps what it defined.
    for (int item = 0; p < end; ++item) {
      const std::string line = next_line(p, end);
      if (line == "-") break;
      std::string text;
      const int value = split_line(line, &text);
      MACIBM_append_menu(index, item, value, text);
    }
  }
}

// ------------------------------------------------------------------ drawing

void MACIBM_menu_box(int index, float* x1, float* y1, float* x2, float* y2) {
  float bx1 = 9999, by1 = 9999, bx2 = 0, by2 = 0;
  bool any = false;
  if (const menu_struct* m = slot(index))
    for (const item_struct& it : m->items) {
      if (it.text.empty()) continue;
      any = true;
      if (it.x1 < bx1) bx1 = it.x1;
      if (it.x2 > bx2) bx2 = it.x2;
      if (it.y1 < by1) by1 = it.y1 - 2;
      if (it.y2 > by2) by2 = it.y2 + 2;
    }
  if (!any) bx1 = by1 = bx2 = by2 = 0;
  *x1 = bx1, *y1 = by1, *x2 = bx2, *y2 = by2;
}

int MACIBM_menu_hover() {
  const menu_struct* m = slot(mnw.open_menu);
  if (!m) return -1;
  int hover = -1;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const item_struct& it = m->items[i];
    if (selectable(it) && in_box(it.x1, it.y1, it.x2, it.y2 - 1)) hover = static_cast<int>(i);
  }
  return hover;
}

void standard_gui() {
  const int open = mnw.open_menu;
  const menu_struct* m = slot(open);
  if (!m) return;
  const bool popup = open == menu_popup_slot;
  const int titles = std::min(static_cast<int>(menu.size()), static_cast<int>(menu_popup_slot));

  if (!popup) {
    menu_hooks.frame1(0, mnw.window_dx * 0.5f, static_cast<float>(mnw.window_dy - 9),
                      static_cast<float>(mnw.window_dx), 0);
    for (int i = 0; i < titles; ++i) {
      const menu_struct& t = menu[static_cast<size_t>(i)];
      if (t.parent == -1 && !t.title.empty())
        OGL_string(41, t.x1 + 10, t.y1 + 6, t.title, 9999, font_regular, 0);
    }
  }

  MACIBM_menu_box(open, &m_x1, &m_y1, &m_x2, &m_y2);
  const int hover = MACIBM_menu_hover();
  // A menu without items has no box to draw: an empty panel would sit in
  // the window's corner.
  if (m_x2 > m_x1 || m_y2 > m_y1) menu_hooks.frame2(20, m_x1, m_y1, m_x2 - m_x1, m_y2 - m_y1, "", 1);
  if (!popup) OGL_fillrect(39, 0.25f, m->x1, m->y1, m->x2 - m->x1, m->y2 - m->y1);
  if (hover >= 0) {
    const item_struct& h = m->items[static_cast<size_t>(hover)];
    OGL_fillrect(39, 0.25f, h.x1, h.y1, h.x2 - h.x1, h.y2 - h.y1);
  }

  const item_struct* prev = nullptr;
  for (const item_struct& it : m->items) {
    if (it.text.empty()) continue;
    if (prev && it.x1 != prev->x1) {  // a new column
      OGL_line(38, 1, it.x1 - 1, m_y1 - 1, it.x1 - 1, m_y2);
      OGL_line(40, 1, it.x1, m_y2, it.x1, m_y1 - 1);
    }
    prev = &it;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    const item_struct& it = m->items[i];
    if (it.text.empty()) continue;
    if (it.text[0] == '-') {
      OGL_line(38, 1, it.x1, it.y1 + 1, it.x2 - 1, it.y1 + 1);
      OGL_line(40, 1, it.x1, it.y1, it.x2 - 1, it.y1);
      continue;
    }
    OGL_string(41, it.x1 + (popup ? 3 : 18), it.y1 + 3, it.text, 9999, font_regular, 0);
    UI_item_add(it.text, it.x1, it.y1, it.x2, it.y2, selectable(it), 0);
    const std::string label = label_of(open, static_cast<int>(i));
    if (!label.empty())
      OGL_string(41, it.x2 - 10, it.y1 + 3, "[" + label + "]", 9999, font_regular, 2);
  }

  for (const menu_struct& sub : menu)
    if (sub.parent == open && !sub.title.empty())
      menu_hooks.util_element(sub.x2 - 8, sub.y1 + 6, 167, 187, 9, 9, 0);
}

// ------------------------------------------------------------------ mouse

int MACIBM_menu_title_under_mouse() {
  const int titles = std::min(static_cast<int>(menu.size()), static_cast<int>(menu_popup_slot));
  for (int i = 0; i < titles; ++i) {
    const menu_struct& m = menu[static_cast<size_t>(i)];
    // An unused slot's rectangle 0, 0, 0, 0 would catch clicks in the corner.
    if (m.title.empty()) continue;
    if ((m.parent == -1 || m.parent == mnw.open_menu) && in_box(m.x1, m.y1, m.x2, m.y2)) return i;
  }
  return -1;
}

void MACIBM_menu_choose(int item) {
  const menu_struct* m = slot(mnw.open_menu);
  if (!m || item < 0 || item >= static_cast<int>(m->items.size())) return;
  if (mnw.open_menu == menu_popup_slot) {
    popup_menu_select = item;
    select_popup_code = active_popup_code;
    active_popup_code = 0;
    mnw.open_menu = -1;
    return;
  }
  const int value = m->items[static_cast<size_t>(item)].value;
  mnw.open_menu = -1;  // closed before the application acts on the choice
  menu_hooks.handlemenu(value);
}

namespace {
void choose_and_close(int item) {
  MACIBM_menu_choose(item);
  mnw.open_menu = -1;
  mnw.mouse_clicked = 0;
}
}  // namespace

void MACIBM_menu_mouse_down() {
  if (mnw.window_type == 0) {
    const int t = MACIBM_menu_title_under_mouse();
    if (t >= 0) {
      mnw.mouse_clicked = 0;
      mnw.open_menu = mnw.open_menu == t ? -1 : t;
      mnw.press_time = xtim.real_elapsed;
      return;
    }
  }
  if (mnw.open_menu == -1) return;
  const int item = item_under_mouse();
  if (item < 0) {
    // A popup dismissed without a choice: its list must not reopen it.
    if (mnw.open_menu == menu_popup_slot) active_popup_code = 0;
    mnw.open_menu = -1;  // the click stays for the widgets
    return;
  }
  choose_and_close(item);
}

void MACIBM_menu_mouse_up() {
  if (xtim.real_elapsed < mnw.press_time + 1.0f) return;  // a click leaves its menu open
  if (mnw.window_type == 0) {
    const int t = MACIBM_menu_title_under_mouse();
    if (t >= 0) {
      if (t == mnw.open_menu) mnw.open_menu = -1;
      return;
    }
  }
  if (mnw.open_menu == -1) return;
  const int item = item_under_mouse();
  if (item >= 0) choose_and_close(item);  // dragged to an item and let go
}
