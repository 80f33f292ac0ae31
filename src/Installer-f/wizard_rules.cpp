#include "Installer-f/wizard_rules.h"

#include <algorithm>

#include "Files/file_ops.h"
#include "Installer-f/formats.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/localize.h"

int install_folder_name_ok(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return 0;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

int install_dest_from_choice(const std::string& parent, const std::string& name,
                             std::string& dest) {
  // A name such as "x/.." would make the destination the parent itself, which
  // a cancelled install then deletes.
  if (!install_folder_name_ok(name)) {
    dest = parent;
    return 0;
  }
  dest = parent + name + "/";
  return 1;
}

void clear_stale_dest_dir() {
  if (std::find(all_skysuites.begin(), all_skysuites.end(), dest_dir_path) == all_skysuites.end())
    dest_dir_path.clear();
}

const float btn_cuts[8][6] = {
    {0, 0, 0, 0, 0, 0},
    {56, 91, 96, 75, 54, 60},
    {145, 172, 181, 144, 212, 156},
    {246, 284, 256, 211, 312, 269},
    {357, 477, 422, 346, 480, 421},
    {489, 695, 611, 422, 673, 606},
    {605, 874, 762, 501, 840, 789},
    {691, 958, 859, 616, 921, 892},
};

void btn_cut_edges(int image, int language, float& left, float& right) {
  if (image < 0 || image > 6) image = 0;
  if (language < 0 || language > 5) language = 0;  // -1 before a language is chosen
  left = btn_cuts[image][language];
  right = btn_cuts[image + 1][language];
}

wiz_rect interface_rect_box(float x, float y, int image, int align, int language, int* width_out) {
  float left, right;
  btn_cut_edges(image, language, left, right);
  const float w = right - left;
  if (width_out) *width_out = static_cast<int>(w + 20);
  const float x0 = align == 1 ? x : align == 0 ? x - w / 2 : x - w;
  return {x0, y, x0 + w, y + 22};
}

int wiz_rect_holds(const wiz_rect& r, float x, float y) {
  return x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
}

button_look interface_rect_look(int enabled, int style, int mouse_inside, int held) {
  const float alpha = style == 2 ? 0.5f : 1.0f;
  if (!enabled || !mouse_inside) return {style == 2 ? 13 : 11, 0.359375f, 0.53125f, alpha};
  if (held) return {12, 0.1796875f, 0.3515625f, alpha};
  return {11, 0.0f, 0.171875f, alpha};
}

int disk_space_report(unsigned long long total_bytes, unsigned long long free_bytes,
                      float needed_kb, const std::string& enough_text,
                      const std::string& short_text, std::string& text) {
  const float total = static_cast<float>(total_bytes / 1000),
              free_kb = static_cast<float>(free_bytes / 1000);
  const std::string& message = free_kb < needed_kb ? short_text : enough_text;
  text = UTL_string_sub(UTL_translate_string("Disk size: %1:total disk space%\nFree disk space: "
                                             "%2:free disk space%\nDisk space needed to install: "
                                             "%3:required disk space%\n\n%4:status message%"),
                        size_string(total), size_string(free_kb), size_string(needed_kb), message);
  return free_kb > needed_kb ? 1 : 0;
}

int disk_space_panel(const std::string& enough_text, const std::string& short_text,
                     std::string& text, int& draw) {
  unsigned long long total = 0, free_bytes = 0;
  text.clear();
  draw = 0;
  if (get_free_space(dest_dir_path, &total, &free_bytes) != 0) return 1;
  draw = 1;
  return disk_space_report(total, free_bytes, stg.total_size_kb, enough_text, short_text, text);
}
