#include "Installer-f/registry.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/xer.h"

std::string registry_path() {
  std::string prefs;
  get_OS_abs_path(os_dir_prefs, prefs);
  return prefs.empty() ? prefs : prefs + "flyvane_install.txt";
}

namespace {
// The lines, each cut at its first CR or LF and kept whole however long: a
// long folder cut short would never equal itself and be appended again on
// every registration. *ends_open tells whether the file's last byte is no
// line end (an append must then start a line first).
std::vector<std::string> read_registry(const std::string& path, bool* ends_open) {
  std::vector<std::string> lines;
  if (ends_open) *ends_open = false;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return lines;
  std::string text;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof(buf), f)) > 0;) text.append(buf, n);
  fclose(f);
  if (ends_open && !text.empty()) *ends_open = text.back() != '\n' && text.back() != '\r';
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    lines.push_back(line.substr(0, line.find('\r')));
    at = end + 1;
  }
  return lines;
}
}  // namespace

void locate_all_flyvanes() {
  all_skysuites.clear();
  const std::string reg = registry_path();
  if (reg.empty()) {
    xer << "WARNING: registration of this skysuite folder failed!\n";
    return;
  }
  for (const std::string& line : read_registry(reg, nullptr))
    if (dir_exists(line)) all_skysuites.push_back(line);
}

void register_new_flyvane() {
  const std::string reg = registry_path();
  if (reg.empty()) {
    xer << "WARNING: registration of this skysuite folder failed!\n";
    return;
  }
  // One folder a line: a line break in it would register its parent folder,
  // which is no copy.
  if (dest_dir_path.find_first_of("\r\n") != std::string::npos) {
    xer << "WARNING: not registering a folder whose name holds a line break: " << dest_dir_path
        << "\n";
    return;
  }
  bool ends_open = false;
  for (const std::string& line : read_registry(reg, &ends_open))
    if (line == dest_dir_path) return;
  FILE* f = fopen(reg.c_str(), "ab");
  if (!f) {
    xer << "WARNING: could not append registration file: " << reg << "\n";
    return;
  }
  // A last line without its line end would glue the two folders together.
  const std::string text = (ends_open ? "\n" : "") + dest_dir_path + "\n";
  const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  if (fclose(f) != 0 || !ok) xer << "WARNING: could not append registration file: " << reg << "\n";
}

int path_is_to_a_sim() {
  if (dest_dir_path.empty()) return 0;
  std::vector<std::string> names;
  std::vector<int> types;
  const std::string dir = dest_dir_path.back() == '/' ? dest_dir_path : dest_dir_path + "/";
  opensave_getitems(dir, 0, names, types);
  bool found[4] = {};
  static const char* const k_needed[4] = {"Airfoils", "Instructions", "Output", "Resources"};
  for (size_t i = 0; i < names.size(); ++i) {
    if (types[i] != 1) continue;
    for (int k = 0; k < 4; ++k)
      found[k] = found[k] || names[i].find(k_needed[k]) != std::string::npos;
  }
  return found[0] && found[1] && found[2] && found[3];
}

std::string installed_sim_app(const std::string& folder) {
  if (stg.target_platform == 2) return folder + "Flyvane.exe";
  if (stg.target_platform == 3) return folder + "Flyvane-i686";
  return folder + "Flyvane" + ".app";
}
