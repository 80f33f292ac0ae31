#include "Installer-f/row_names.h"

#include <sys/stat.h>

#include <unordered_set>

#include "Files/paths.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"

namespace {
std::unordered_set<std::string> g_all_names, g_wanted_names;

bool for_target(const file_version_struct& v) {
  return v.platform == 0 || v.platform == stg.target_platform ||
         (v.platform == 6 && stg.target_platform == 3);
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
}  // namespace

std::string name_key(const std::string& list_path) {
  std::string p = list_path;
  trim_dest_folder(p);
  return lower(std::move(p));
}

void note_row_names() {
  g_all_names.clear();
  g_wanted_names.clear();
  for (const file_history_struct& row : sim_info) {
    for (const file_version_struct& v : row) g_all_names.insert(name_key(v.path));
    if (!row.empty() && row.back().sig_want != "GONE" && for_target(row.back()))
      g_wanted_names.insert(name_key(row.back().path));
  }
}

int gone_but_wanted(const file_version_struct& v) {
  return v.sig_want == "GONE" && g_wanted_names.count(name_key(v.path)) != 0;
}

int passes_row_link(const std::string& list_path) {
  std::string rel = list_path;
  trim_dest_folder(rel);
  const std::string key = lower(rel);
  for (size_t s = rel.find('/'); s != std::string::npos; s = rel.find('/', s + 1)) {
    if (!g_all_names.count(key.substr(0, s))) continue;
    struct stat st;
    if (lstat(full_path(dest_dir_path + rel.substr(0, s)).c_str(), &st) == 0 &&
        S_ISLNK(st.st_mode))
      return 1;
  }
  return 0;
}
