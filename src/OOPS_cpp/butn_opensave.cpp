// The framework's own Open and Save dialog, its preview, and the path fields
// that open it.
#include "OOPS_cpp/butn_opensave.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "Files/file_ops.h"
#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/tman.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/localize.h"

namespace {

struct file_type_info {
  const char* extension;
  const char* start;
};
const file_type_info k_types[22] = {
    {"", ""},         {"", ""},        {".BMP", ""},  {".ACF", ""},
    {".AFL", ""},     {".WPN", ""},    {".WAV", ""},  {".OBJ", ""},
    {"", ""},         {".SIT", "Output/situations/"}, {".SMO", "Output/movies/"},
    {".FMS", "Output/FMS plans/"},     {"", ""},      {".TRA", "Roadmile Output/tracks/"},
    {".CAR", "Roadmile Output/cars/"}, {".SPA", "Output/spa/"},
    {".REG", "Output/reg/"},           {"", ""},      {".HGT", ""},
    {".TXT", ""},     {"", "sim/"},    {"", "sim/"},
};

bool bad_open_save(int v) { return v != 998 && v != 999; }
bool bad_file_type(int v) { return v < 0 || v > 21; }

void fatal(const char* msg, const char* file, int line) {
  __MACIBM_alert(0, msg, "", "", "", t_exit, file, line);
}

// The folder part of a path: up to and including its last "/" that is not
// its final character ("" when there is none).
std::string folder_part(const std::string& path) {
  if (path.size() < 2) return path == "/" ? path : std::string();
  const size_t p = path.rfind('/', path.size() - 2);
  if (p == std::string::npos) return path.back() == '/' ? path : std::string();
  return path.substr(0, p + 1);
}

// The last component: the text after its last "/" that is not its final
// character; the whole path when there is none.
std::string last_component(const std::string& path) {
  if (path.empty()) return path;
  const size_t p = path.size() < 2 ? std::string::npos : path.rfind('/', path.size() - 2);
  return p == std::string::npos ? path : path.substr(p + 1);
}

bool is_cont(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Cuts s to at most n bytes without splitting a character.
void cut_chars(std::string* s, size_t n) {
  if (s->size() <= n) return;
  while (n > 0 && is_cont((*s)[n])) --n;
  s->resize(n);
}

void list_folder(opensave_state* s) {
  opensave_getitems(s->folder, s->file_type, s->names, s->types);
}

}  // namespace

const char* BTN_opensave_extension(int file_type) {
  return bad_file_type(file_type) ? "" : k_types[file_type].extension;
}

std::string BTN_opensave_start_folder(int file_type, const std::string& path) {
  if (path.empty()) return bad_file_type(file_type) ? "" : k_types[file_type].start;
  if (path.find('/') == std::string::npos) return "";
  const size_t p = path.size() < 2 ? std::string::npos : path.rfind('/', path.size() - 2);
  if (p == std::string::npos) return path;  // its only "/" is its last character
  return path.substr(0, p + 1);
}

std::string BTN_opensave_save_name(int file_type, const std::string& text) {
  std::string name = text;
  if (name.size() > 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
  return name + BTN_opensave_extension(file_type);
}

opensave_levels BTN_opensave_levels(const std::string& folder) {
  opensave_levels out;
  out.entries = "Skysuite folder-";
  out.table.push_back("");
  int k = 0;
  for (size_t i = 0; i + 1 < folder.size(); ++i) {
    if (i != 0 && folder[i - 1] != '/') continue;
    if (k >= 299) break;  // the drop-down holds 300 entries
    const size_t slash = folder.find('/', i);
    std::string comp = folder.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
    // "-" separates the drop-down's entries and "|" is not allowed in them.
    std::replace(comp.begin(), comp.end(), '-', ' ');
    std::replace(comp.begin(), comp.end(), '|', ' ');
    ++k;
    out.shown.push_back(comp);
    out.entries += comp + "-";
    out.table.push_back(slash == std::string::npos ? folder : folder.substr(0, slash + 1));
  }
  out.entries.pop_back();
  out.level = 0;
  for (int j = 0; j < static_cast<int>(out.table.size()); ++j)
    if (out.table[static_cast<size_t>(j)] == folder) out.level = j;
  return out;
}

std::string BTN_opensave_up(const std::string& folder) {
  if (folder.empty()) return folder;
  return folder_part(folder) == folder ? std::string() : folder_part(folder);
}

// ------------------------------------------------------------ the preview

namespace {
std::string old_path;
char top_of_veh[2092];
int has_tex = 0;
std::string comment;
const int veh_versions[] = {700, 740, 8000, 810, 830, 840, 860, 900, 901, 902, 920, 0};

void load_vehicle_header(const std::string& selection) {
  memset(top_of_veh, 0, sizeof top_of_veh);
  xmap_class m(selection);
  if (m.map_base && m.check_file(xmap_binary, veh_versions, nullptr, nullptr)) {
    const long avail = std::max(0L, static_cast<long>(m.map_end - m.cursor));
    memcpy(top_of_veh, m.cursor, static_cast<size_t>(std::min(avail, 2092L)));
  }
  std::string icon = selection;
  if (icon.size() >= 4 && icon[icon.size() - 4] == '.') icon.resize(icon.size() - 4);
  icon += "_icon.png";
  has_tex = tman.load_texture(tex_fail_silent, 427, 0x10181, tex_load_startup, icon) != 0;
}

std::string field(int offset, int len) {
  return std::string(top_of_veh + offset, strnlen(top_of_veh + offset, static_cast<size_t>(len)));
}

void load_comment(const std::string& selection) {
  comment.clear();
  xmap_class m(selection);
  const int versions[] = {1, 0};
  if (!m.map_base || !m.check_file(xmap_text, versions, nullptr, nullptr)) return;
  const char* p = m.cursor;
  const char* end = m.map_end;
  auto eol = [](char c) { return c == '\n' || c == '\r'; };
  while (p < end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const char* k = p;
    while (p < end && *p != ',' && !eol(*p)) ++p;
    const std::string key(k, p);
    if (p < end && *p == ',') ++p;
    if (strcasecmp(key.c_str(), "COMM") == 0) {
      while (p < end && (*p == ' ' || *p == '\t')) ++p;
      const char* c = p;
      while (p < end && !eol(*p)) ++p;
      comment.assign(c, p);
      return;
    }
    while (p < end && !eol(*p)) ++p;
    while (p < end && eol(*p)) ++p;
  }
}
}  // namespace

void stand_io_dialog(int open_save, int file_type, std::string selection) {
  OGL_plot_back_col();
  BTN_fillwin(1, 24);
  BTN_frame2(18, 10, 300, io_dx, 120, "", 1);
  if (open_save == 999) return;
  if (file_type == 3 || file_type == 8 || file_type == 20) {
    BTN_frame2(18, 331, 70, 220, 220, "", 1);
    BTN_frame2(18, 331, 300, 220, 120, "", 1);
  }
  if (file_type == 3 &&
      (selection.find(".acf") != std::string::npos || selection.find(".ACF") != std::string::npos)) {
    if (selection != old_path) load_vehicle_header(selection);
    float y = OGL_string(50, 341, 405, field(1552, 500), 200, font_regular, 0);
    y = OGL_string(50, 341, y - 10, field(1052, 500), 200, font_regular, 0);
    y = OGL_string(50, 341, y - 10, field(2052, 40), 200, font_regular, 0);
    OGL_string(50, 341, y - 10, field(1012, 40), 200, font_regular, 0);
    if (has_tex)  // the icon's own part of its power-of-two texture
      OGL_2dquad_d(427, 52, 1.0f, 341, 80, 541, 280, 0, 0,
                   tman.tex_dx_vis(427) / tman.tex_dx_tot(427),
                   tman.tex_dy_vis(427) / tman.tex_dy_tot(427), 1, 4);
  }
  if (file_type == 8 && selection.find(".fdr") != std::string::npos) {
    if (selection != old_path) load_comment(selection);
    if (!comment.empty()) OGL_string(50, 341, 270, comment, 200, font_regular, 0);
  }
  old_path = selection;
}

// ------------------------------------------------------------ the chooser

void BTN_opensave_begin(opensave_state* s, int open_save, int file_type, const std::string& path) {
  s->open_save = open_save;
  s->file_type = file_type;
  s->return_to = mnw.window_type;
  s->folder = BTN_opensave_start_folder(file_type, path);
  list_folder(s);
  s->centre = s->selected = static_cast<int>(s->names.size()) / 2;
  s->file_name.clear();
}

namespace {
int level = 0;  // the drop-down's selection, kept between choosers

int leave(opensave_state* s, int result) {
  if (BTN_modal.startwind) BTN_modal.startwind(s->return_to, 0);
  return result;
}
}  // namespace

int BTN_opensave_pass(opensave_state* s, std::string* path) {
  if (mnw.window_type != s->open_save) return 0;
  const bool save = s->open_save == 999;
  int n = static_cast<int>(s->names.size());
  const int sel = std::clamp(s->selected, 0, std::max(0, n - 1));
  stand_io_dialog(s->open_save, s->file_type, n ? s->folder + s->names[static_cast<size_t>(sel)] : "-");
  list_folder(s);
  n = static_cast<int>(s->names.size());
  const int dbl = BTN_list_and_search(0, 10, 180, 0, 0, &s->centre, &s->selected, 0, n - 1,
                                      save ? &s->file_name : nullptr, "File:",
                                      BTN_name_from_vector, &s->names, nullptr, nullptr,
                                      BTN_type_from_vector, &s->types);
  const opensave_levels lv = BTN_opensave_levels(s->folder);
  for (size_t k = 1; k <= lv.shown.size(); ++k)
    OGL_string(50, 20 + 10.0f * k, 415 - 10.0f * k, lv.shown[k - 1], 9999, font_regular, 0);
  level = lv.level;

  int save_hit = 0, open_hit = 0;
  if (save) save_hit = BTN_action(282, 18, 0, 0, 1, UI_tr("Save"), "-");
  if (!save) open_hit = BTN_action(280, 18, 0, 0, 1, UI_tr("Open"), "-");
  const int cancel = BTN_action(33, 18, 0, 0, 1, UI_tr("Cancel"), "-");
  if (cancel || escape_hit) return leave(s, 0);

  if (BTN_textlist(150, 434, &level, lv.entries, "")) {
    s->folder = lv.table[static_cast<size_t>(std::clamp(level, 0, static_cast<int>(lv.table.size()) - 1))];
    return -1;
  }
  if (save && (save_hit || return_hit) && !s->file_name.empty()) {
    *path = s->folder + BTN_opensave_save_name(s->file_type, s->file_name);
    return leave(s, 1);
  }
  if ((dbl || (!save && return_hit) || open_hit) && s->selected >= 0 && s->selected < n) {
    const std::string name = s->names[static_cast<size_t>(s->selected)];
    if (s->types[static_cast<size_t>(s->selected)] == 1) {
      s->folder += name + "/";
      list_folder(s);
      s->selected = static_cast<int>(s->names.size()) / 2;
    } else if (!save) {
      *path = s->folder + name;
      return leave(s, 1);
    }
  }
  if (delete_hit && !s->folder.empty()) {
    s->folder = BTN_opensave_up(s->folder);
    list_folder(s);
    s->selected = static_cast<int>(s->names.size()) / 2;
  }
  return -1;
}

int BTN_opensave(int open_save, int file_type, std::string* path) {
  if (bad_open_save(open_save)) fatal("Bad open_save arg to BTN_opensave!", "butn", 1720);
  if (bad_file_type(file_type)) fatal("Bad file_type arg to BTN_opensave!", "butn", 1721);
  // Without the shell's window there is nothing to choose with.
  if (!BTN_modal.startwind || !BTN_modal.event_proc) return 0;
  opensave_state s;
  BTN_opensave_begin(&s, open_save, file_type, *path);
  BTN_modal.startwind(open_save, 0);
  std::string chosen;
  for (;;) {
    const int r = BTN_opensave_pass(&s, &chosen);
    if (r == 1) *path = chosen;
    if (r >= 0) return r;
    BTN_modal.event_proc();
  }
}

// ------------------------------------------------------------ path fields

int BTN_select_path_stl(float x, float y, int open_save, int file_type, std::string* path,
                        int max_len, std::string label, float width, int flags) {
  if (bad_open_save(open_save)) fatal("Bad open_save arg to BTN_select_file_stl!", "butn", 774);
  if (bad_file_type(file_type)) fatal("Bad file_type arg to BTN_select_file_stl!", "butn", 775);
  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  BTN_util_draw_label(x - 32, y, 0, left, 0);
  BTN_util_draw_label(x + width + 6, y, 2, right, 0);
  OGL_2dquad_d(410, 0, 1.0f, x - 30, y - 10, x - 4, y + 16, 208 / 512.0f, 133 / 512.0f,
               234 / 512.0f, 159 / 512.0f, 1, 5);
  std::string shown = file_type == 20 || file_type == 21 ? *path : last_component(*path);
  if (BTN_enterstring(x, y, &shown, max_len, "", width, flags)) *path = shown;
  UI_item_add(left.empty() ? "folder" : left, x - 28, y - 8, x - 6, y + 12, 1, 0);
  int result = 0;
  if (x - 28 <= mnw.mouse_x && mnw.mouse_x <= x - 6 && y - 8 <= mnw.mouse_y &&
      mnw.mouse_y <= y + 12) {
    stls.help_text = help;
    if (mnw.mouse_clicked) {
      BTN_opensave(open_save, file_type, path);
      result = 1;
    }
  }
  return result;
}

namespace {
// What a char form hands back: at most size - 1 bytes, and never 500 or more
// (the buffers hold 500), cut where a character starts.
bool hand_back(std::string* s, int size) {
  cut_chars(s, static_cast<size_t>(std::max(0, size - 1)));
  if (s->size() < 500) return true;
  __MACIBM_alert(0, "String too long!", *s, "", "", t_exit, "hl_string", 130);
  return false;
}
}  // namespace

int BTN_select_path_chr(float x, float y, int open_save, int file_type, char* path,
                        int path_size, std::string label, float width, int flags) {
  if (bad_open_save(open_save)) fatal("Bad open_save arg to BTN_select_file_chr!", "butn", 806);
  if (bad_file_type(file_type)) fatal("Bad file_type arg to BTN_select_file_chr!", "butn", 807);
  std::string s(path);
  const int r = BTN_select_path_stl(x, y, open_save, file_type, &s, path_size, label, width, flags);
  if (hand_back(&s, path_size)) memcpy(path, s.c_str(), s.size() + 1);
  return r;
}

int BTN_select_file_chr(float x, float y, int open_save, int file_type, char* name,
                        std::string* folder_path, int max_len, std::string label, float width) {
  if (bad_open_save(open_save)) fatal("Bad open_save arg to BTN_select_file_chr!", "butn", 821);
  if (bad_file_type(file_type)) fatal("Bad file_type arg to BTN_select_file_chr!", "butn", 822);
  std::string edited = folder_part(*folder_path) + name;
  const int r = BTN_select_path_stl(x, y, open_save, file_type, &edited, max_len, label, width, 1);
  if (r == 1) {
    *folder_path = edited;
    std::string n = last_component(edited);
    if (hand_back(&n, max_len)) memcpy(name, n.c_str(), n.size() + 1);
  }
  return r;
}
