#include <atomic>
#include <stdexcept>
#include <vector>

#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "Thread/threadpool.h"
#include "Thread/worker_threads.h"
#include "support/test_util.h"

namespace {
struct queue {
  UTL_message_queue* q;
  queue() { UTL_message_queue_create(&q); }
  ~queue() { UTL_message_queue_destroy(q); }
  operator UTL_message_queue*() const { return q; }
  void* read() { return UTL_message_queue_read(q, -1); }
  void write() { UTL_message_queue_write(q, nullptr); }
};

struct work : UTL_work_task {
  queue* gate = nullptr;  // waited on first
  int fail = 0;           // 1 throws, 2 raises a fatal alert
  std::atomic<int> runs{0};
  void do_it() override {
    if (gate) gate->read();
    ++runs;
    if (fail == 1) throw std::runtime_error("task threw");
    if (fail == 2) __MACIBM_alert(0, "task alert", "", "", "", t_exit, "k.cpp", 5);
  }
  int check_error(std::string&) override { return 0; }
};

TEST(WorkerThreads, TasksComeBackToTheirOwner) {
  UTL_worker_threads pool(4, 1000);
  for (int i = 0; i < 100; ++i) pool.enqueue_task(new work);
  int back = 0;
  for (UTL_work_task* t; (t = pool.wait_retired_tasks()); ++back) {
    EXPECT_EQ(static_cast<work*>(t)->runs, 1);
    delete t;
  }
  EXPECT_EQ(back, 100);
  EXPECT_EQ(pool.count_total_tasks(), 0);
  UTL_worker_threads none(0, 5);
  work w;
  none.enqueue_task(&w);
  EXPECT_EQ(none.wait_retired_tasks(), nullptr);  // instead of waiting for ever
}

TEST(WorkerThreads, ShutdownWithTasksInFlightRunsThemFirst) {
  queue gate;
  std::vector<work> tasks(11);
  tasks[0].gate = &gate;
  {
    UTL_worker_threads pool(1, 100);
    for (work& w : tasks) pool.enqueue_task(&w);
    gate.write();
  }  // returns once the thread has ended
  for (work& w : tasks) EXPECT_EQ(w.runs, 1);
}

TEST(WorkerThreads, FailingTaskComesBackAndItsErrorIsReportedOnMain) {
  THREAD_init();
  UTL_worker_threads pool(1, 10);
  for (int fail : {1, 2}) {
    work bad, good;
    bad.fail = fail;
    pool.enqueue_task(&bad);
    pool.enqueue_task(&good);  // the same single thread must still run it
    EXPECT_EQ(pool.wait_retired_tasks(), &bad);
    EXPECT_EQ(pool.wait_retired_tasks(), &good);
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), fail == 1 ? "Caught an unhandled C++ exception"
                                                            : "task alert");
  }
  THREAD_shutdown();
}

struct pool_task : UTL_pool_task {
  int result = 0, throws = 0;
  queue *gate = nullptr, *started = nullptr, *done = nullptr;
  std::atomic<int>* destroyed = nullptr;
  ~pool_task() override {
    if (destroyed) ++*destroyed;
  }
  int do_it() override {
    if (started) started->write();
    if (gate) gate->read();
    if (throws) throw std::runtime_error("pool task threw");
    const int r = result;  // once done is told the owner may free this task
    if (done) done->write();
    return r;
  }
  const char* get_debug_name() override { return "test task"; }
};

TEST(SharedPool, DeletesOnlyTasksThatSaySo) {
  std::atomic<int> destroyed{0};
  pool_task keep;
  auto* drop = new pool_task;
  keep.destroyed = drop->destroyed = &destroyed;
  drop->result = 1;
  {
    UTL_threadpool pool(2);
    pool.queue_task(&keep, 0);
    pool.queue_task(drop, 0);
  }  // runs what was queued, then joins
  EXPECT_EQ(destroyed.load(), 1);
  UTL_threadpool none(0);  // the same rule for a task run by a helper
  none.queue_task(drop = new pool_task, 0);
  drop->result = 1;
  drop->destroyed = &destroyed;
  EXPECT_EQ(none.help_a_bit(), 1);
  EXPECT_EQ(destroyed.load(), 2);
  EXPECT_EQ(none.help_a_bit(), 0);
}

TEST(SharedPool, HelperNeverTakesBarrierOrSyncCopies) {
  THREAD_init();
  queue gate, started, done;
  pool_task blocker, marker;
  UTL_threadpool pool(1);
  blocker.gate = &gate;
  blocker.started = &started;
  marker.done = &done;
  // The one pool thread is busy, so the copies wait in the queue where the helper sees them.
  pool.queue_task(&blocker, 0);
  started.read();
  UTL_threadpool_barrier barrier(&pool, "b");
  barrier.halt_pool_start(0);
  EXPECT_EQ(pool.help_a_bit(), 0);  // taking the copy would park the main thread for good
  gate.write();
  barrier.halt_pool_finish();
  barrier.restart_pool();

  pool.queue_task(&blocker, 0);
  started.read();
  std::atomic<int> calls{0};
  UTL_threadpool_sync sync(&pool, "s");
  sync.queue_me([](void* c) { ++*static_cast<std::atomic<int>*>(c); }, &calls, 0, 0);
  EXPECT_EQ(pool.help_a_bit(), 0);
  EXPECT_EQ(calls.load(), 0);
  pool.queue_task(&marker, 0);
  gate.write();
  done.read();  // the pool thread ran the sync before the marker
  EXPECT_EQ(calls.load(), 1);
  THREAD_shutdown();
}

TEST(SharedPool, ThrowingTaskIsForwardedAndTheThreadGoesOn) {
  THREAD_init();
  queue done;
  pool_task bad, after;
  UTL_threadpool pool(1);
  bad.throws = 1;
  after.done = &done;
  pool.queue_task(&bad, 0);
  pool.queue_task(&after, 0);
  done.read();
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "Caught an unhandled C++ exception");
  THREAD_shutdown();
}
}  // namespace
