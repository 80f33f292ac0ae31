// The checksum step: fills sig_have and current of every wanted row from the
// installed files, by MD5 or (quick) by presence, on a pool of workers.
#pragma once

#include <string>
#include <vector>

#include "Thread/worker_threads.h"

// Checks rows [first, end). Everything the work needs is copied from the
// model when the task is made (on the main thread), and the results go back
// into the model when the main thread collects the task.
class checksum_task : public UTL_work_task {
 public:
  checksum_task(int first, int end, int quick);
  void do_it() override;
  int check_error(std::string& msg) override;
  // Main thread: writes the results into their rows of sim_info.
  void apply() const;

  int first;
  int end;
  int quick;

 private:
  struct item {
    int row;
    std::string path;  // the row's file-list path, to know the row again
    std::string full;  // the installed file
    std::string sig_want;
    std::string sig_have;
    int current;
    int not_ours;  // the file is another row's, or lies behind a link a row made
    int special;   // a pipe, device or socket stands at the path
  };
  std::vector<item> items;
};

// Tests: called on the worker before each row is checked.
extern void (*checksum_test_hook)(int row);

// null while no check runs.
extern UTL_worker_threads* checksum_workers;

// One step: 1 when the whole model is checked, else 0. progress gets the
// fraction of rows handed out.
int checksum_directory(int& next_row, int quick, float& progress);
// Waits for and collects every outstanding task, then ends the pool.
void checksum_directory_kill();
