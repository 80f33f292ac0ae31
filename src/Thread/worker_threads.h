// Fixed worker pools: a set of plain threads that run task objects and hand
// every finished task back to the thread that owns the pool.
#pragma once

#include <pthread.h>

#include <atomic>
#include <string>
#include <vector>

#include "Thread/thread.h"

class UTL_work_task {
 public:
  virtual ~UTL_work_task() {}
  // Runs on a pool thread.
  virtual void do_it() = 0;
  // Asked by the owner once the task is back: 0 on success, else an error
  // code with msg filled.
  virtual int check_error(std::string& msg) = 0;
};

// Every member function is called by the one owning thread. An exception that
// escapes a task's do_it is forwarded to the main thread as a fatal error and
// the task still comes back to its owner.
class UTL_worker_threads {
 public:
  UTL_worker_threads(int thread_count, int max_tasks);
  // Runs what is still queued, then stops and joins every thread. Tasks not
  // collected by then are neither deleted nor reported.
  ~UTL_worker_threads();
  UTL_worker_threads(const UTL_worker_threads&) = delete;
  UTL_worker_threads& operator=(const UTL_worker_threads&) = delete;

  // Never blocks and does not test the slot limit (see has_free_slot).
  void enqueue_task(UTL_work_task* task);
  int has_free_slot() const { return total_tasks < max_tasks ? 1 : 0; }
  int count_total_tasks() const { return total_tasks; }
  // A finished task, or null when none has finished yet.
  UTL_work_task* check_retired_tasks();
  // Waits for the next finished task; null at once when none is outstanding
  // (or the pool has no threads, or they were stopped and nothing is left).
  UTL_work_task* wait_retired_tasks();
  // Hands every task that no thread has started yet back to the owner as
  // retired, without running it; the owner collects and deletes them as usual.
  void drop_waiting_tasks();

  // Close-down: stops the threads of every pool still alive once their
  // running tasks end, so that none of them writes to the log or the error
  // queues afterwards; tasks not yet started are dropped, not run. The pools
  // stay with their owners, who may still collect every task (run or not)
  // and delete it; a stopped pool runs nothing.
  static void stop_every_pool();

 private:
  static void* thread_proc(void* pool);
  void stop_threads();

  std::atomic<bool> stopped{false};
  bool claimed = false;  // being stopped by the close-down (registry lock)

  UTL_message_queue* in_queue;
  UTL_message_queue* out_queue;
  int max_tasks;
  int total_tasks;
  std::vector<pthread_t> threads;
  std::vector<pthread_t> thread_ids;
  std::vector<pthread_t> thread_joins;
};
