#include "Installer-f/install_step.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <vector>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/p7z.h"
#include "Files/zip.h"
#include "Installer-f/directory.h"
#include "Installer-f/discs.h"
#include "Installer-f/folders.h"
#include "Installer-f/row_names.h"
#include "Installer-f/selection.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "Thread/thread.h"
#include "UTL/xer.h"

UTL_worker_threads* copy_pool = nullptr;
UTL_worker_threads* unzip_pool = nullptr;
int install_err_num = 0;
std::string install_err_msg;

std::string suffix_for_file(int row) {
  return sim_info[static_cast<size_t>(row)].back().path.find("Global Scenery") != std::string::npos
             ? ".7z"
             : ".zip";
}

dvd_unpack_task::dvd_unpack_task(int row_, const std::string& temp_folder)
    : row(row_), copied(0), err(0) {
  const file_version_struct& v = sim_info[static_cast<size_t>(row)].back();
  const std::string suffix = suffix_for_file(row);
  src = dvd_path + install_name + "/" + v.path + suffix;
  tmp = temp_folder + v.sig_want + "_" + std::to_string(row) + suffix;
  dst = installed_path(v.path);
  disc = dvd_path;
  path = v.path;
  sig_want = v.sig_want;
  behind_row_link = passes_row_link(v.path);
}

dvd_unpack_task::~dvd_unpack_task() {
  // A copy left by a failed unpack or an abandoned install is of no more use.
  if (copied && !unpacked) delete_file(tmp);
  if (stg.log_actions) {
    xer << "EXPANDING file " << dst << ", with result=" << err << ".";
    if (err) xer << " " << err_msg;
    xer << "\n";
  }
}

void dvd_unpack_task::do_it() {
  if (!copied) {
    copied = 1;
    // A copy kept by an earlier failed run may be read-only (modes come from the disc).
    delete_file(tmp);
    err = copy_file(src, tmp);
    if (err) {
      copy_err = 1;
      err_msg = "I was unable to copy the file " + src + " from the DVD to the hard drive.";
      delete_file(tmp);  // a copy cut short is no copy
    }
    return;
  }
  if (err) return;
  std::string folder;
  get_path_with_path(folder, dst);
  if (behind_row_link) {
    xer << "WARNING: not installing " << dst << ": a folder on its way is a link that the "
        << "file list names.\n";
    err = err_unsafe_path;
  } else {
    // A folder left out by make_dirs (it lay behind a link that delete_files removed since).
    if (!dir_exists(folder)) make_folder_chain(folder);
    err = tmp.ends_with(".7z") ? p7z_install_file(tmp, dst) : zip_install_file(tmp, dst);
  }
  // An archive that holds some other name has not installed dst.
  if (err == 0 && !entry_exists(dst)) err = ENOENT;
  if (err) {
    err_msg = "I was unable to unzip the file " + tmp + " to the folder " + folder +
              ".  (Original file was: " + src + ")";
    return;
  }
  if (dst.find("Contents/MacOS/") != std::string::npos) make_file_executable(dst);
  delete_file(tmp);
  unpacked = 1;
}

int dvd_unpack_task::check_error(std::string& msg) {
  msg = err_msg;
  return err;
}

void dvd_unpack_task::apply() const {
  if (!unpacked || row >= static_cast<int>(sim_info.size())) return;
  file_version_struct& v = sim_info[static_cast<size_t>(row)].back();
  if (v.path != path || v.sig_want != sig_want) return;  // the model was replaced
  v.sig_have = v.sig_want;
  v.current = 1;
}

namespace {
bool idle() { return copy_pool->count_total_tasks() == 0 && unzip_pool->count_total_tasks() == 0; }

// The disc the copies read, and what it leaves to do when it is taken out
// in the middle of them.
struct disc_watch {
  std::string path, id;   // the disc and its identity when its copies began ("" none)
  std::vector<int> lost;  // rows whose copy failed since it left
  std::deque<int> again;  // rows to copy again, in order, once it is back
  int resume_row = -1;    // the cursor to go on from after them, -1 none
  bool asked = false;     // 2 was returned: a disc was asked for
};
disc_watch watch;

void end_pools() {
  delete copy_pool;
  delete unzip_pool;
  copy_pool = unzip_pool = nullptr;
  watch = disc_watch();
}

// Whether the task's copy failed because its disc left. Once one did, every
// copy failure until the disc is asked for again counts so: a copy that fails
// again with the disc back in is reported then.
bool lost_with_disc(const dvd_unpack_task& t) {
  if (!t.copy_failed()) return false;
  if (!watch.lost.empty()) return true;
  return !watch.id.empty() && t.disc == watch.path && mounted_disc_id(t.disc) != watch.id;
}
}  // namespace

int install_files(int& next_row, int disk) {
  if (!copy_pool) {
    copy_pool = new UTL_worker_threads(1, 30);
    note_row_names();
    watch = disc_watch();
  }
  if (!unzip_pool) unzip_pool = new UTL_worker_threads(UTL_count_processors(), 30);
  const int rows = static_cast<int>(sim_info.size());
  auto last = [](int r) -> const file_version_struct& {
    return sim_info[static_cast<size_t>(r)].back();
  };
  if (next_row < 0) next_row = 0;
  // Taken when the copies begin, and again after every ask for a disc: the
  // one put in then is the one the next copies read.
  if (watch.asked || watch.path != dvd_path) {
    watch.asked = false;
    watch.path = dvd_path;
    watch.id = mounted_disc_id(dvd_path);
  }
  // Nothing more is read from a disc that left until it has been asked for.
  if (watch.lost.empty()) {
    while (!watch.again.empty() && copy_pool->has_free_slot()) {
      const int r = watch.again.front();
      if (r < rows && last(r).disk != disk) break;
      watch.again.pop_front();
      if (r >= rows) continue;
      copy_pool->enqueue_task(new dvd_unpack_task(r, temp_path));
      next_row = r;
    }
    if (watch.again.empty() && watch.resume_row >= 0) {
      next_row = watch.resume_row;
      watch.resume_row = -1;
    }
  }
  if (watch.lost.empty() && watch.again.empty()) {
    while (next_row < rows && !last(next_row).to_install) ++next_row;
    while (next_row < rows && copy_pool->has_free_slot()) {
      if (last(next_row).disk != disk) break;
      if (last(next_row).to_install)
        copy_pool->enqueue_task(new dvd_unpack_task(next_row, temp_path));
      ++next_row;
    }
  }
  while (unzip_pool->has_free_slot()) {
    UTL_work_task* t = copy_pool->check_retired_tasks();
    if (!t) break;
    unzip_pool->enqueue_task(t);
  }
  while (UTL_work_task* t = unzip_pool->check_retired_tasks()) {
    auto* task = static_cast<dvd_unpack_task*>(t);
    task->apply();
    if (lost_with_disc(*task)) {
      if (watch.lost.empty())
        xer << "WARNING: the disc " << task->disc << " left while " << task->src
            << " was copied; its copies wait until it is back.\n";
      watch.lost.push_back(task->row);
      delete task;
      continue;
    }
    install_err_num = task->check_error(install_err_msg);
    delete task;
    if (install_err_num) return 3;
  }
  if (idle() && !watch.lost.empty()) {
    if (watch.resume_row < 0) watch.resume_row = next_row;
    watch.again.insert(watch.again.end(), watch.lost.begin(), watch.lost.end());
    std::sort(watch.again.begin(), watch.again.end());
    watch.again.erase(std::unique(watch.again.begin(), watch.again.end()), watch.again.end());
    xer << "Asking for the disc again: " << watch.lost.size() << " file(s) to copy again.\n";
    watch.lost.clear();
  }
  if (idle() && !watch.again.empty()) {
    next_row = watch.again.front();  // its disc is the one to ask for
    watch.asked = true;
    return 2;
  }
  if (next_row >= rows && idle()) {
    end_pools();
    sync_install_folder();  // done means on disk
    return 1;
  }
  if (next_row < rows && idle() && last(next_row).to_install && last(next_row).disk != disk) {
    watch.asked = true;
    return 2;
  }
  return 0;
}

int install_files_get_error(std::string& msg) {
  msg = install_err_msg;
  const int e = install_err_num;
  install_err_msg.clear();
  install_err_num = 0;
  return e;
}

void install_files_kill() {
  if (!copy_pool) return;
  // Work not started is dropped: quitting must not wait for more copies from
  // the disc. A task deleted with its copy made and not unpacked deletes it.
  copy_pool->drop_waiting_tasks();
  unzip_pool->drop_waiting_tasks();
  for (UTL_worker_threads* pool : {copy_pool, unzip_pool})
    while (UTL_work_task* t = pool->wait_retired_tasks()) {
      auto* task = static_cast<dvd_unpack_task*>(t);
      task->apply();
      delete task;
    }
  end_pools();
}
