#include "Installer-f/registry.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/xer.h"

std::string registry_path() {
  std::string prefs;
  get_OS_abs_path(os_dir_prefs, prefs);
  return prefs.empty() ? prefs : prefs + "flyvane_install.txt";
}

namespace {
// The lines as the registry has always been read: at most 2047 bytes each,
// cut at the first CR or LF. *ends_open tells whether the file's last byte
// is no line end (an append must then start a line first).
std::vector<std::string> read_registry(const std::string& path, bool* ends_open) {
  std::vector<std::string> lines;
  if (ends_open) *ends_open = false;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return lines;
  char buf[2048];
  while (fgets(buf, sizeof(buf), f)) {
    const size_t n = strlen(buf);
    if (ends_open && n > 0) *ends_open = buf[n - 1] != '\n' && buf[n - 1] != '\r';
    buf[strcspn(buf, "\r\n")] = 0;
    lines.push_back(buf);
  }
  fclose(f);
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
