// The key-binding editor panel: the bindings list on the left, the
// instruction and buttons in the middle column, the command browser right.
#include <string>
#include <vector>

#include "GenH/butn.h"
#include "GenH/keys.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "UTL/cmnd.h"
#include "UTL/localize.h"

namespace {
std::string upto_last_slash(const std::string& p) {
  const size_t s = p.find_last_of('/');
  return s == std::string::npos ? std::string() : p.substr(0, s + 1);
}
std::string command_path(int id) {
  return (id >= 0 && id < cmnd.count()) ? cmnd.path(id) : std::string();
}
}  // namespace

void keys_class::keys_wind(int compact) {
  keys_wind_state& st = keys_wind_st;
  static std::string chosen_group;  // a group picked in the left column
  static int group_for = -2;        // the selection the pick belongs to

  const float list_w = compact ? 365.0f : 345.0f;
  float nx = 0, ny = 0;
  BTN_subwin(34, 19, 10, 10, list_w, -1, "", &nx, &ny);
  const float col_x = 10 + list_w + 10 + 20;
  BTN_subwin(34, 16, col_x, 10, 184, 125, "", &nx, &ny);
  BTN_subwin(34, 18, col_x, 145, 184, 100, "", &nx, &ny);
  BTN_subwin(34, 16, col_x, 255, 184, -1, "", &nx, &ny);
  const float right_x = col_x + 184 + 10;
  BTN_subwin(34, 16, right_x, 10, -1, -1, "", &nx, &ny);

  const float mid = col_x + 92;
  OGL_string(46, mid, 115,
             UTL_translate_string("Select the key you'd like to program from the list on the left "
                                  "of this screen and hit any key you like! Then select the group "
                                  "above and the item at right to assign some funtion to that "
                                  "keypress!"),
             164, font_regular, 1);
  if (BTN_action(mid, 25, 0, 0, 0, UI_tr("Add New Key Assignment"), "-")) keys_wind_add(st);
  // Above the add button, not on it: one click must not do both.
  if (st.key_edit >= 0 &&
      BTN_action(mid, 55, 0, 0, 0, UI_tr("Delete Selected Key Assignment"), "-"))
    keys_wind_delete(st);

  const int n = static_cast<int>(bindings.size());
  int top = n - keys_wind_rows;
  if (top < 0) top = 0;
  BTN_vert_slider(0, 10 + list_w - 15, 30, 686, 0, top, &st.k_cen);
  if (st.k_cen > top) st.k_cen = top;
  if (st.k_cen < 0) st.k_cen = 0;
  for (int i = 0; i < keys_wind_rows && st.k_cen + i < n; ++i) {
    const int row = st.k_cen + i;
    const key_binding& b = bindings[static_cast<size_t>(row)];
    if (BTN_action(78, 689.0f - 20 * i, 120, row == st.key_edit, 0, keys_wind_row_label(b), "-"))
      keys_wind_click_row(st, row);
    OGL_string(48, 140, 685.0f - 20 * i, keys_wind_row_command(b), 0, font_regular, 0);
  }
  if (st.key_edit >= 0 && mnw.key_hit) keys_wind_take_key(st);

  if (compact || st.key_edit < 0 || st.key_edit >= static_cast<int>(bindings.size())) return;
  key_binding& sel = bindings[static_cast<size_t>(st.key_edit)];
  const std::string path = command_path(sel.command);
  if (sel.command >= 0 && sel.command < cmnd.count()) {
    OGL_string(50, col_x + 10, 225, path, 174, font_regular, 0);
    OGL_string(50, col_x + 10, 195, cmnd.description(sel.command), 174, font_regular, 0);
  }
  if (group_for != st.key_edit) {
    group_for = st.key_edit;
    chosen_group.clear();
  }
  const std::string group = chosen_group.empty() ? upto_last_slash(path) : chosen_group;
  const std::string parent =
      group.size() > 1 ? upto_last_slash(group.substr(0, group.size() - 1)) : std::string();

  std::vector<std::string> entries;
  cmnd.get_cmds_in_path(parent, entries);
  float y = 685;
  for (const std::string& e : entries) {
    int ticked = (parent + e == group) ? 1 : 0;
    if (BTN_bool(col_x + 18, y, &ticked, "|" + e, 0)) chosen_group = parent + e;
    y -= 15;
  }

  std::string custom = path;
  if (BTN_select_path_stl(590, 730, 998, 21, &custom, 40, "|-custom cmnds from plugins", 280, 0)) {
    const int id = cmnd.get_cmnd_by_name(custom);
    if (id >= 0) sel.command = id;
  }

  cmnd.get_cmds_in_path(group, entries);
  float x = right_x + 18;
  y = 685;
  for (const std::string& e : entries) {
    int ticked = (group + e == path) ? 1 : 0;
    if (BTN_bool(x, y, &ticked, "|-" + e, 0)) {
      const int id = cmnd.get_cmnd_by_name(group + e);
      if (id >= 0) sel.command = id;
    }
    y -= 15;
    if (y < 20) {
      y = 685;
      x += 200;
    }
  }
}
