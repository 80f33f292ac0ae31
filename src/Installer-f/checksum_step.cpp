#include "Installer-f/checksum_step.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "Files/file_ops.h"
#include "Files/md5.h"
#include "Files/paths.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Installer-f/row_names.h"
#include "Installer-f/selection.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

UTL_worker_threads* checksum_workers = nullptr;
void (*checksum_test_hook)(int row) = nullptr;

namespace {
// A file under "Contents/MacOS/" is a program: a repair that finds it
// current gives back an execute bit it lost.
void keep_executable(const std::string& full) {
  if (full.find("Contents/MacOS/") == std::string::npos) return;
  struct stat st;
  if (lstat(full_path(full).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (st.st_mode & 0111) != 0111)
    make_file_executable(full);
}

// The file found for full (its name repaired ignoring case) takes the
// spelling its row gives it.
void take_row_spelling(const std::string& full) {
  const std::string found = full_path(full);
  const size_t a = found.find_last_of('/'), b = full.find_last_of('/');
  const std::string found_leaf = a == std::string::npos ? found : found.substr(a + 1);
  const std::string leaf = b == std::string::npos ? full : full.substr(b + 1);
  if (found_leaf == leaf) return;
  const std::string to = found.substr(0, a == std::string::npos ? 0 : a + 1) + leaf;
  struct stat st;
  if (lstat(to.c_str(), &st) != 0) rename(found.c_str(), to.c_str());
}
}  // namespace

checksum_task::checksum_task(int first_, int end_, int quick_)
    : first(first_), end(end_), quick(quick_) {
  for (int r = first; r < end && r < static_cast<int>(sim_info.size()); ++r) {
    const file_version_struct& v = sim_info[static_cast<size_t>(r)].back();
    // Rows the filter rejects keep their values: they are not taken at all.
    if (!filter_wants(v, g_want_sim, g_want_global, stg.target_platform)) continue;
    items.push_back({r, v.path, installed_path(v.path), v.sig_want, "NONE", 0,
                     gone_but_wanted(v) || passes_row_link(v.path), 0});
  }
}

void checksum_task::do_it() {
  for (item& it : items) {
    if (checksum_test_hook) checksum_test_hook(it.row);
    it.sig_have = "NONE";
    struct stat st;
    const bool found = !it.not_ours && lstat(full_path(it.full).c_str(), &st) == 0;
    // What is neither a file nor a link has no sum, and reading a pipe would
    // wait for ever.
    it.special = found && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode);
    if (!found || it.special || S_ISDIR(st.st_mode)) {
      // absent
    } else if (!quick) {
      calc_file_md5(it.full, it.sig_have);  // unreadable: stays "NONE"
    } else {
      it.sig_have = it.sig_want;  // an installed link is present even when it dangles
    }
    it.current = it.sig_want == it.sig_have;
    if (it.current && it.sig_want != "GONE") {
      take_row_spelling(it.full);
      keep_executable(it.full);
    }
  }
}

int checksum_task::check_error(std::string& msg) {
  msg.clear();
  return 0;
}

void checksum_task::apply() const {
  for (const item& it : items) {
    if (it.row >= static_cast<int>(sim_info.size())) continue;
    file_version_struct& v = sim_info[static_cast<size_t>(it.row)].back();
    if (v.path != it.path || v.sig_want != it.sig_want) continue;  // the model was replaced
    v.sig_have = it.sig_have;
    v.current = it.current;
    if (it.special)
      xer << "WARNING: " << it.full << " is a pipe or a device, no file: it counts as not "
          << "installed.\n";
  }
}

namespace {
constexpr float k_task_kb = 8192;  // the unpacked size one task takes at most, past its first row

double clock_seconds() { return static_cast<double>(xtim_class::microsecs()) / 1000000.0; }

void collect_all(bool apply) {
  if (!checksum_workers) return;
  while (UTL_work_task* t = checksum_workers->wait_retired_tasks()) {
    auto* c = static_cast<checksum_task*>(t);
    if (apply) c->apply();
    delete c;
  }
  delete checksum_workers;
  checksum_workers = nullptr;
}
}  // namespace

int checksum_directory(int& next_row, int quick, float& progress) {
  const int rows = static_cast<int>(sim_info.size());
  if (!dir_exists(dest_dir_path)) {
    // Tasks still running would write their rows after ours.
    collect_all(false);
    for (file_history_struct& row : sim_info) {
      file_version_struct& v = row.back();
      v.sig_have = "NONE";
      v.current = v.sig_want == v.sig_have;
    }
    return 1;
  }
  if (!checksum_workers) {
    const int n = UTL_count_processors();
    checksum_workers = new UTL_worker_threads(n, 4 * n);
    note_row_names();
    xer << " Start of MD5 at " << clock_seconds() << "\n";
  }
  if (next_row < 0) next_row = 0;
  while (next_row < rows && checksum_workers->has_free_slot()) {
    // Up to 10 rows, fewer when they are big: big files lie side by side in
    // the list (scenery), and one task holding them all would leave the
    // other threads idle.
    int k = 1;
    float kb = sim_info[static_cast<size_t>(next_row)].back().size_kb;
    while (k < 10 && next_row + k < rows) {
      kb += sim_info[static_cast<size_t>(next_row + k)].back().size_kb;
      if (kb > k_task_kb) break;
      ++k;
    }
    checksum_workers->enqueue_task(new checksum_task(next_row, next_row + k, quick));
    next_row += k;
  }
  while (UTL_work_task* t = checksum_workers->check_retired_tasks()) {
    auto* c = static_cast<checksum_task*>(t);
    c->apply();
    delete c;
  }
  progress = rows ? static_cast<float>(std::min(next_row, rows)) / static_cast<float>(rows) : 0.0f;
  if (next_row >= rows && checksum_workers->count_total_tasks() == 0) {
    delete checksum_workers;
    checksum_workers = nullptr;
    xer << " End of MD5 at " << clock_seconds() << "\n";
    return 1;
  }
  return 0;
}

void checksum_directory_kill() { collect_all(true); }
