#include "Installer-f/row_names.h"

#include <sys/stat.h>

#include <unordered_map>
#include <unordered_set>

#include "Files/paths.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/xer.h"

namespace {
std::unordered_map<std::string, size_t> g_all_names;  // -> a row that names the path
std::unordered_set<std::string> g_wanted_names;

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
  for (size_t r = 0; r < sim_info.size(); ++r) {
    const file_history_struct& row = sim_info[r];
    for (const file_version_struct& v : row) g_all_names.emplace(name_key(v.path), r);
    if (!row.empty() && row.back().sig_want != "GONE" && for_target(row.back()))
      g_wanted_names.insert(name_key(row.back().path));
  }
}

int gone_but_wanted(const file_version_struct& v) {
  return v.sig_want == "GONE" && g_wanted_names.count(name_key(v.path)) != 0;
}

namespace {
// The row whose link stands at a folder on the way to list_path's file, or -1.
long row_link_on_way(const std::string& list_path) {
  std::string rel = list_path;
  trim_dest_folder(rel);
  const std::string key = lower(rel);
  for (size_t s = rel.find('/'); s != std::string::npos; s = rel.find('/', s + 1)) {
    const auto it = g_all_names.find(key.substr(0, s));
    if (it == g_all_names.end()) continue;
    struct stat st;
    if (lstat(full_path(dest_dir_path + rel.substr(0, s)).c_str(), &st) == 0 &&
        S_ISLNK(st.st_mode))
      return static_cast<long>(it->second);
  }
  return -1;
}
}  // namespace

int passes_row_link(const std::string& list_path) { return row_link_on_way(list_path) >= 0; }

void delete_gone_row_links(const std::string& list_path, std::set<std::string>& folders) {
  for (long r; (r = row_link_on_way(list_path)) >= 0;) {
    file_version_struct& v = sim_info[static_cast<size_t>(r)].back();
    if (!v.to_delete || v.sig_want != "GONE") return;
    const std::string full = installed_path(v.path);
    const int err = delete_installed_file(v, full, folders);
    xer << "Deleting " << full << " first, a link its row removes: a file is unpacked behind it. "
        << "Result=" << err << ".\n";
    if (err) return;
  }
}
