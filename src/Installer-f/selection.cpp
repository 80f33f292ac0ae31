#include "Installer-f/selection.h"

#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Installer-f/folders.h"
#include "Installer-f/row_names.h"
#include "Installer-f/prompts.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/xer.h"

int g_want_sim = 1;
int g_want_global = 1;

void set_install_filter(int want_sim, int want_global) {
  g_want_sim = want_sim;
  g_want_global = want_global;
}

int filter_wants(const file_version_struct& v, int want_sim, int want_global, int target_platform) {
  if (v.is_global ? !want_global : !want_sim) return 0;
  return v.platform == 0 || v.platform == target_platform ||
         (v.platform == 6 && target_platform == 3);
}

int want_this_f(int row, int version) {
  return filter_wants(sim_info[static_cast<size_t>(row)][static_cast<size_t>(version)], g_want_sim,
                      g_want_global, stg.target_platform);
}

void scenery_take_none() { memset(stg.scenery_selection, 0, sizeof(stg.scenery_selection)); }

void scenery_take_all() {
  memcpy(stg.scenery_selection, stg.scenery_available, sizeof(stg.scenery_selection));
}

void scenery_from_install() {
  scenery_take_none();
  for (const file_history_struct& row : sim_info) {
    const int idx = scenery_index(row.back());
    if (idx >= 0 && row.back().sig_have != "NONE") stg.scenery_selection[idx] = 1;
  }
}

int scenery_selected(const file_version_struct& v) {
  const int idx = scenery_index(v);
  return idx >= 0 && stg.scenery_selection[idx] == 1;
}

void recalc_disk_sizes() {
  stg.total_zip_kb = 0;
  stg.total_size_kb = 0;
  stg.files_to_install = 0;
  stg.files_to_delete = 0;
  for (size_t r = 0; r < sim_info.size(); ++r) {
    const int last = static_cast<int>(sim_info[r].size()) - 1;
    const file_version_struct& v = sim_info[r].back();
    if (!want_this_f(static_cast<int>(r), last)) continue;
    const bool gone = v.sig_want == "GONE";
    const bool selected = scenery_selected(v);
    if (!gone && !v.current && (!v.is_global || selected)) {
      stg.total_zip_kb += v.zip_kb;
      stg.total_size_kb += v.size_kb;
      ++stg.files_to_install;
    }
    if (gone && v.current) ++stg.files_to_delete;
    if (v.is_global && !selected && v.current) ++stg.files_to_delete;
  }
}

void get_path_with_path(std::string& out, const std::string& path) {
  std::string p = path;
  if (p.size() > 2 && p.back() == '/') p.pop_back();
  const size_t slash = p.find_last_of('/');
  out = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

namespace {
bool listed(const std::vector<std::string>& folders, const std::string& f) {
  for (const std::string& x : folders)
    if (x == f) return true;
  return false;
}
}  // namespace

int choose_files() {
  std::vector<std::string> replace_folders, keep_folders;
  std::vector<std::string> full(sim_info.size());
  std::vector<char> keeps_file(sim_info.size(), 0);  // the row wants its file there afterwards
  std::unordered_multimap<std::string, size_t> same_name;  // made when first needed
  for (size_t r = 0; r < sim_info.size(); ++r) {
    file_history_struct& row = sim_info[r];
    file_version_struct& v = row.back();
    v.to_install = 0;
    v.to_delete = 0;
    if (!want_this_f(static_cast<int>(r), static_cast<int>(row.size()) - 1)) continue;
    full[r] = installed_path(v.path);
    bool gone = v.sig_want == "GONE";
    const bool present = v.sig_have != "NONE";
    bool match = present && v.sig_have == v.sig_want;
    if (v.is_global && !scenery_selected(v)) {
      gone = true;  // the tile is to be removed
      match = false;
    }
    keeps_file[r] = !gone;
    int act = (match || (gone && !present)) ? 0 : 1;
    if (present && !match) {
      bool known = false;
      for (const file_version_struct& old : row) known = known || old.sig_want == v.sig_have;
      // The file found may be the one another row names otherwise (a file
      // renamed in letter case only): its sums are known too.
      if (!known) {
        if (same_name.empty())
          for (size_t k = 0; k < sim_info.size(); ++k)
            same_name.emplace(name_key(sim_info[k].back().path), k);
        const auto [a, b] = same_name.equal_range(name_key(v.path));
        for (auto it = a; it != b && !known; ++it)
          for (const file_version_struct& old : sim_info[it->second])
            known = known || old.sig_want == v.sig_have;
      }
      if (!known) {
        // Changed by the user: never overwritten or deleted without asking.
        std::string folder;
        get_path_with_path(folder, full[r]);
        if (listed(replace_folders, folder)) {
          act = 1;
        } else if (listed(keep_folders, folder)) {
          act = 0;
        } else {
          xer << "File: " << full[r] << "  sig_want=" << v.sig_want << "  sig_have=" << v.sig_have
              << "\n";
          switch (select_alert(full[r], gone)) {
            case 1:
              act = 1;
              break;
            case 2:
              act = 0;
              break;
            case 4:
              replace_folders.push_back(folder);
              act = 1;
              break;
            case 5:
              keep_folders.push_back(folder);
              act = 0;
              break;
            default:
              return 0;
          }
        }
      }
    }
    v.to_install = act && !gone;
    v.to_delete = act && gone;
  }

  // Two rows can name one installed file (a file that moved between platform
  // folders, or was renamed in letter case only, as the volume finds files
  // without case): the one that wants it wins, whether it installs the file
  // or finds it current, or a wanted file would be deleted.
  std::unordered_set<std::string> wanted;
  for (size_t r = 0; r < sim_info.size(); ++r)
    if (keeps_file[r]) wanted.insert(name_key(sim_info[r].back().path));
  for (size_t r = 0; r < sim_info.size(); ++r) {
    file_version_struct& v = sim_info[r].back();
    if (v.to_delete && wanted.count(name_key(v.path))) {
      xer << "Keeping " << full[r] << ": another row of the file list wants it.\n";
      v.to_delete = 0;
    }
  }

  double total = 0;
  for (const file_history_struct& row : sim_info)
    if (row.back().to_install) total += row.back().size_kb;
  double done = 0;
  for (file_history_struct& row : sim_info) {
    file_version_struct& v = row.back();
    v.progress_start = total > 0 ? static_cast<float>(done / total) : 0.5f;
    if (v.to_install) done += v.size_kb;
  }
  return 1;
}

int select_alert(std::string path, int is_delete) {
  prompt_window w;
  w.window = prompt_select_window;
  w.lines = {{is_delete ? "I am about to DELETE:" : "I am about to install:", 20, 100, 40},
             {path, 20, 90, 40},
             {is_delete ? "because we no longer use this file, but it appears you have modified "
                          "it. What to do?"
                        : "but it appears you have modified this file. What to do?",
              20, 80, 40}};
  w.buttons = {
      {is_delete ? "DELETE THE OLD FILE" : "OVERWRITE THE OLD FILE", 108, 53, 185, 1},
      {"KEEP THE OLD FILE", 108, 28, 185, 2},
      {is_delete ? "DELETE EVERY OLD FILE IN THIS DIRECTORY"
                 : "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY",
       345, 53, 285, 4},
      {"KEEP EVERY OLD FILE IN THIS DIRECTORY", 345, 28, 285, 5},
      {"CANCEL THE WHOLE INSTALLATION!", 621, 28, 225, 3},
  };
  const int answer = installer_prompt_runner(w);
  return (answer >= 1 && answer <= 5) ? answer : 3;
}

int abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                std::string text2) {
  prompt_window w;
  w.window = prompt_abort_window;
  w.lines = {{message, 20, 160, 40}, {text1, 150, 53, 210}, {text2, 150, 28, 210}};
  w.buttons = {{label1, 96, 56, 100, 1}, {label2, 96, 31, 100, 0}};
  const int answer = installer_prompt_runner(w);
  return (answer == 0 || answer == 1) ? answer : 3;
}
