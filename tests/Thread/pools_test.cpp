#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

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
  void read() { UTL_message_queue_read(q, -1); }
  void write() { UTL_message_queue_write(q, nullptr); }
};

// A task's work: tell started, wait at gate, count the run, fail as asked (1 throws, 2 raises a
// fatal alert), tell done (after which its owner may free it).
struct probe {
  queue *started = nullptr, *gate = nullptr, *done = nullptr;
  int fail = 0;
  std::atomic<int> runs{0};
  void run() {
    if (started) started->write();
    if (gate) gate->read();
    ++runs;
    if (fail == 1) throw std::runtime_error("task threw");
    if (fail == 2) __MACIBM_alert(0, "task alert", "", "", "", t_exit, "k.cpp", 5);
    if (done) done->write();
  }
};
struct work : UTL_work_task, probe {
  void do_it() override { run(); }
  int check_error(std::string&) override { return 0; }
};
struct pool_task : UTL_pool_task, probe {
  static inline std::atomic<int> destroyed{0};
  int result = 0;
  ~pool_task() override { ++destroyed; }
  int do_it() override {
    const int r = result;  // read first: once done is told the task may be gone
    run();
    return r;
  }
  const char* get_debug_name() override { return "test task"; }
};

TEST(WorkerThreads, TasksComeBackToTheirOwnerAndShutdownRunsThoseInFlight) {
  queue gate;
  std::vector<work> tasks(100);
  tasks[60].gate = &gate;
  {
    UTL_worker_threads pool(4, 1000);
    for (work& w : tasks) pool.enqueue_task(&w);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(static_cast<work*>(pool.wait_retired_tasks())->runs, 1);
    gate.write();
  }  // returns once the threads have ended
  for (work& w : tasks) EXPECT_EQ(w.runs, 1);
}

TEST(Pools, FailingTaskIsForwardedToMainAndTheThreadGoesOn) {
  THREAD_init();
  queue done;
  UTL_worker_threads workers(1, 10);
  UTL_threadpool pool(1);
  for (int fail : {1, 2}) {
    const char* alert = fail == 1 ? "Caught an unhandled C++ exception" : "task alert";
    work bad, good;
    pool_task pool_bad, pool_good;
    bad.fail = pool_bad.fail = fail;
    pool_good.done = &done;
    workers.enqueue_task(&bad);
    workers.enqueue_task(&good);  // the same single thread must still run it
    EXPECT_EQ(workers.wait_retired_tasks(), &bad);
    EXPECT_EQ(workers.wait_retired_tasks(), &good);
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), alert);
    pool.queue_task(&pool_bad, 0);
    pool.queue_task(&pool_good, 0);
    done.read();
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), alert);
  }
  {  // a sync callback that throws still lets go of the threads it held
    UTL_threadpool three(3);
    (new UTL_threadpool_sync(&three, "s"))->queue_me([](void*) { throw 1; }, nullptr, 1, 0);
    UTL_threadpool_barrier barrier(&three, "b");  // parks every thread: held ones never come
    barrier.halt_pool_start(0);
    std::atomic<bool> held{true};
    std::thread dog([&] {  // fails the run instead of hanging it
      for (int t = 0; held && t < 2000; ++t) UTL_sleep(10);
      if (held) fprintf(stderr, "pool threads still held\n"), _exit(1);
    });
    barrier.halt_pool_finish();
    held = false;
    dog.join();
    barrier.restart_pool();
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), "Caught an unhandled unknown exception");
  }
  THREAD_shutdown();
}

TEST(SharedPool, DeletesOnlyTasksThatSaySo) {
  const int before = pool_task::destroyed;
  pool_task keep;
  for (int threads : {2, 0}) {  // without threads the caller runs them
    auto* drop = new pool_task;
    drop->result = 1;
    UTL_threadpool pool(threads);
    pool.queue_task(&keep, 0);
    pool.queue_task(drop, 0);
    EXPECT_TRUE(threads || pool.help_a_bit() + pool.help_a_bit() == 2);
  }  // a pool runs what was queued, then joins
  EXPECT_EQ(pool_task::destroyed - before, 2);
}

TEST(SharedPool, HelperNeverTakesBarrierOrSyncCopies) {
  THREAD_init();
  queue gate, started, done;
  pool_task blocker;
  blocker.gate = &gate;
  blocker.started = &started;
  UTL_threadpool pool(1);
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
  (new UTL_threadpool_sync(&pool, "s"))
      ->queue_me([](void* d) { static_cast<queue*>(d)->write(); }, &done, 1, 0);
  EXPECT_EQ(pool.help_a_bit(), 0);
  gate.write();
  done.read();  // run by the pool thread, which then deletes it
  THREAD_shutdown();
}
}  // namespace
