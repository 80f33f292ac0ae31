// The shared thread pool: framework threads that share one queue of task
// objects; a task says when it finishes whether the pool deletes it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <vector>

#include "Thread/thread.h"

class UTL_pool_task {
 public:
  virtual ~UTL_pool_task() {}
  // Runs on a pool thread; non-zero: the pool deletes the task right after,
  // 0: the task stays alive and belongs to whoever queued it.
  virtual int do_it() = 0;
  virtual const char* get_debug_name() = 0;
};

class UTL_threadpool {
 public:
  explicit UTL_threadpool(int thread_count);
  // Runs the tasks queued so far, then stops and joins every thread. Tasks
  // that running tasks queued meanwhile (and whatever a pool without threads
  // holds) then run on the deleting thread; barrier and sync copies, which
  // cannot gather any more, are left to their owners.
  ~UTL_threadpool();
  UTL_threadpool(const UTL_threadpool&) = delete;
  UTL_threadpool& operator=(const UTL_threadpool&) = delete;

  // urgent: ahead of every waiting task, except that an urgent barrier or
  // sync waits behind the copies of one that threads are already gathering
  // in (overtaking them would leave each holding some threads for good).
  // Never blocks; a null task is ignored (it is the threads' stop item).
  void queue_task(UTL_pool_task* task, int urgent);
  // n copies of the same pointer in one step, so up to n threads run it.
  void queue_task_multi(UTL_pool_task* task, int n, int urgent);
  int get_num_threads() const { return static_cast<int>(threads.size()); }
  // Runs one queued task on the calling thread: 1 when an item was taken, 0
  // when there was none. Barrier and sync copies are left for the pool's own
  // threads: they would park the helper, which is not one of those the
  // coordination counts.
  int help_a_bit();

 private:
  static void* thread_proc(void* pool);

  std::vector<pthread_t> threads;
  std::vector<pthread_t> thread_ids;
  std::vector<pthread_t> thread_joins;
  UTL_message_queue* queue;
};

// Parks every pool thread so that only the tasks given to the barrier run:
// halt_pool_start, halt_pool_finish, any number of queue_task, restart_pool.
class UTL_threadpool_barrier : public UTL_pool_task {
  friend struct coordination_copies;

 public:
  UTL_threadpool_barrier(UTL_threadpool* pool, const char* debug_name);
  ~UTL_threadpool_barrier() override;

  void halt_pool_start(int urgent);
  // Returns once every pool thread is parked and no ordinary task runs.
  void halt_pool_finish();
  void queue_task(UTL_pool_task* task);
  // Returns once every thread has left the barrier.
  void restart_pool();

  int do_it() override;
  const char* get_debug_name() override { return debug_name; }

 private:
  UTL_message_queue* work_queue;
  UTL_message_queue* ack_queue;
  UTL_threadpool* pool;
  const char* debug_name;
};

// Makes all pool threads meet; the last to arrive runs the callback while the
// others are held, and the last to leave lets the pool delete the object when
// asked to.
class UTL_threadpool_sync : public UTL_pool_task {
  friend struct coordination_copies;

 public:
  using callback_fn = void (*)(void*);
  UTL_threadpool_sync(UTL_threadpool* pool, const char* debug_name);
  ~UTL_threadpool_sync() override;

  void queue_me(callback_fn callback, void* ref, int delete_when_done, int urgent);

  int do_it() override;
  const char* get_debug_name() override { return debug_name; }

  // Threads inside do_it (they arrive, then leave).
  int arrivals() const { return arrived.load(); }

 private:
  UTL_message_queue* queue;
  UTL_threadpool* pool;
  callback_fn callback;
  void* ref;
  std::atomic<int> arrived;
  int expected;
  int delete_when_done;
  const char* debug_name;
};
