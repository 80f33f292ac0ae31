// The disc install step: every to_install file's archive is copied from the
// disc to the temporary folder on the copy pool (one thread, so the disc is
// read in order) and unpacked into the install folder on the unzip pool.
#pragma once

#include <string>

#include "Thread/worker_threads.h"

// One file; it runs twice: on the copy pool, then on the unzip pool. Paths
// are taken when it is made (main thread); its result goes into the model
// when the main thread collects it.
class dvd_unpack_task : public UTL_work_task {
 public:
  dvd_unpack_task(int row, const std::string& temp_folder);
  ~dvd_unpack_task() override;
  void do_it() override;
  int check_error(std::string& msg) override;
  // Main thread: marks the row installed when the unpack went well.
  void apply() const;
  // Once back from both pools: 1 when it was the copy from the disc that failed.
  int copy_failed() const { return copy_err; }

  int row;
  int copied;
  std::string src;  // the archive on the disc
  std::string tmp;  // its copy in the temporary folder
  std::string dst;  // the installed file
  std::string disc;  // dvd_path when made: the disc src lies on
  std::string err_msg;
  int err;

 private:
  int unpacked = 0;
  int copy_err = 0;
  std::string path;  // the row's file-list path, to know the row again
  std::string sig_want;
  int behind_row_link = 0;  // taken when made: see passes_row_link
};

// null while no install runs.
extern UTL_worker_threads* copy_pool;
extern UTL_worker_threads* unzip_pool;
extern int install_err_num;
extern std::string install_err_msg;

// One step. next_row is the caller's cursor (0 at the start), disk the disc
// in the drive. 0 busy, 1 all done (the pools are gone), 2 the next file lies
// on another disc (the pools are idle; next_row names it), 3 a task failed
// (see install_files_get_error).
// A disc that leaves the mounted volumes while its archives are copied is no
// error: the copies that failed for it are kept back and, once the pools are
// idle, 2 asks for that disc again (next_row names the first of them). The
// next calls copy them again before the cursor goes on from where it was.
int install_files(int& next_row, int disk);
// The last task error's code (its text in msg), then both are cleared.
int install_files_get_error(std::string& msg);
// Drops the work no thread has started, collects the rest and ends both
// pools; no archive copy stays in the temporary folder.
void install_files_kill();
// ".7z" for global scenery ("Global Scenery" in the path), else ".zip".
std::string suffix_for_file(int row);
