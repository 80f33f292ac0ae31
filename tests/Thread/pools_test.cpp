#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "Thread/threadpool.h"
#include "Thread/worker_threads.h"
#include "support/test_util.h"

namespace {

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

// A one-way gate: every thread that waits passes once it is opened.
struct gate {
  UTL_message_queue* q;
  int waiters;
  explicit gate(int n) : waiters(n) { UTL_message_queue_create(&q); }
  ~gate() { UTL_message_queue_destroy(q); }
  void wait() { UTL_message_queue_read(q, -1); }
  void open() {
    for (int i = 0; i < waiters; ++i) UTL_message_queue_write(q, P(1));
  }
};

// ---- fixed worker pools ----

struct work : UTL_work_task {
  gate* g = nullptr;
  int fail = 0;  // 1 throws, 2 raises a fatal alert
  std::atomic<int>* ran = nullptr;
  int runs = 0;
  pthread_t ran_on{};
  void do_it() override {
    if (g) g->wait();
    ran_on = pthread_self();
    ++runs;
    if (ran) ++*ran;
    if (fail == 1) throw std::runtime_error("task threw");
    if (fail == 2) __MACIBM_alert(0, "task alert", "", "", "", t_exit, "k.cpp", 5);
  }
  int check_error(std::string& msg) override {
    msg = "none";
    return 0;
  }
};

TEST(WorkerThreads, TasksComeBackToTheirOwner) {
  UTL_worker_threads pool(4, 1000);
  std::vector<work*> mine;
  for (int i = 0; i < 100; ++i) {
    mine.push_back(new work);
    pool.enqueue_task(mine.back());
  }
  EXPECT_EQ(pool.count_total_tasks(), 100);
  int back = 0;
  while (UTL_work_task* t = pool.wait_retired_tasks()) {
    auto* w = static_cast<work*>(t);
    EXPECT_EQ(w->runs, 1);
    EXPECT_FALSE(pthread_equal(w->ran_on, pthread_self()));
    std::string msg;
    EXPECT_EQ(w->check_error(msg), 0);
    delete w;
    ++back;
  }
  EXPECT_EQ(back, 100);
  EXPECT_EQ(pool.count_total_tasks(), 0);
  EXPECT_EQ(pool.wait_retired_tasks(), nullptr);  // nothing outstanding: no wait
}

TEST(WorkerThreads, SlotLimitAndPollingWhileTasksRun) {
  gate g(30);
  UTL_worker_threads pool(2, 30);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(pool.has_free_slot(), 1) << i;
    auto* w = new work;
    w->g = &g;
    pool.enqueue_task(w);
  }
  EXPECT_EQ(pool.has_free_slot(), 0);
  EXPECT_EQ(pool.check_retired_tasks(), nullptr);
  EXPECT_EQ(pool.count_total_tasks(), 30);
  g.open();
  UTL_work_task* t;
  while (!(t = pool.check_retired_tasks())) UTL_sleep(1);
  EXPECT_EQ(pool.has_free_slot(), 1);
  EXPECT_EQ(pool.count_total_tasks(), 29);
  delete t;
  while ((t = pool.wait_retired_tasks())) delete t;
}

TEST(WorkerThreads, DestroyRunsQueuedTasksFirst) {
  gate g(1);
  std::atomic<int> ran{0};
  std::vector<work*> mine;
  {
    UTL_worker_threads pool(1, 100);
    for (int i = 0; i < 11; ++i) {
      mine.push_back(new work);
      mine.back()->ran = &ran;
      if (i == 0) mine.back()->g = &g;
      pool.enqueue_task(mine.back());
    }
    g.open();
  }  // returns only after the thread has ended
  EXPECT_EQ(ran.load(), 11);
  for (work* w : mine) delete w;
}

TEST(WorkerThreads, PoolWithoutThreadsNeverRetires) {
  UTL_worker_threads pool(0, 5);
  work w;
  pool.enqueue_task(&w);
  pool.enqueue_task(nullptr);  // not a task: ignored
  EXPECT_EQ(pool.count_total_tasks(), 1);
  EXPECT_EQ(pool.check_retired_tasks(), nullptr);
  EXPECT_EQ(pool.wait_retired_tasks(), nullptr);  // would otherwise wait for ever
  EXPECT_EQ(w.runs, 0);
}

TEST(WorkerThreads, FailingTaskComesBackAndItsErrorIsReportedOnMain) {
  THREAD_init();
  UTL_worker_threads pool(1, 10);
  for (int fail : {1, 2}) {
    auto* bad = new work;
    bad->fail = fail;
    auto* good = new work;
    pool.enqueue_task(bad);
    pool.enqueue_task(good);  // the same single thread must still run it
    EXPECT_EQ(pool.wait_retired_tasks(), bad);
    EXPECT_EQ(pool.wait_retired_tasks(), good);
    EXPECT_EQ(good->runs, 1);
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), fail == 1 ? "Caught an unhandled C++ exception"
                                                            : "task alert");
    delete bad;
    delete good;
  }
  THREAD_shutdown();
}

// ---- shared thread pool ----

struct pool_task : UTL_pool_task {
  int result = 0;
  gate* g = nullptr;
  UTL_message_queue* done = nullptr;  // receives tag after the work
  std::atomic<int>* destroyed = nullptr;
  intptr_t tag = 1;
  int throws = 0;
  UTL_message_queue* started = nullptr;  // told before the gate
  std::atomic<int> runs{0};
  ~pool_task() override {
    if (destroyed) ++*destroyed;
  }
  int do_it() override {
    if (started) UTL_message_queue_write(started, nullptr);
    if (g) g->wait();
    ++runs;
    if (throws) throw std::runtime_error("pool task threw");
    // Once done is told the owner may free this task: touch nothing after.
    const int r = result;
    if (done) UTL_message_queue_write(done, P(tag));
    return r;
  }
  const char* get_debug_name() override { return "test task"; }
};

struct shared_pool : ::testing::Test {
  UTL_message_queue* done = nullptr;
  void SetUp() override { UTL_message_queue_create(&done); }
  void TearDown() override { UTL_message_queue_destroy(done); }
  intptr_t next_done() { return reinterpret_cast<intptr_t>(UTL_message_queue_read(done, -1)); }
};

using SharedPool = shared_pool;

TEST_F(SharedPool, DeletesOnlyTasksThatSaySo) {
  std::atomic<int> destroyed{0};
  auto* keep = new pool_task;
  keep->done = done;
  keep->tag = 1;
  keep->destroyed = &destroyed;
  auto* drop = new pool_task;
  drop->result = 1;
  drop->destroyed = &destroyed;
  {
    UTL_threadpool pool(2);
    pool.queue_task(keep, 0);
    pool.queue_task(drop, 0);
    EXPECT_EQ(next_done(), 1);
  }  // joined: every do_it has returned and the pool has done its deleting
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(keep->runs.load(), 1);
  delete keep;
}

TEST_F(SharedPool, UrgentTaskOvertakesWaitingTasks) {
  gate g(1);
  UTL_threadpool pool(1);
  pool_task blocker, t1, t2, t3;
  blocker.g = &g;
  blocker.started = done;
  for (auto [t, tag] : {std::pair{&t1, 1}, {&t2, 2}, {&t3, 3}}) {
    t->done = done;
    t->tag = tag;
  }
  pool.queue_task(&blocker, 0);
  next_done();  // the thread is busy: the rest wait in the queue
  pool.queue_task(&t1, 0);
  pool.queue_task(&t2, 0);
  pool.queue_task(&t3, 1);
  g.open();
  EXPECT_EQ(next_done(), 3);
  EXPECT_EQ(next_done(), 1);
  EXPECT_EQ(next_done(), 2);
}

TEST_F(SharedPool, HelpABitRunsTasksOnTheCaller) {
  UTL_threadpool pool(0);
  EXPECT_EQ(pool.get_num_threads(), 0);
  EXPECT_EQ(pool.help_a_bit(), 0);
  pool.queue_task(reinterpret_cast<UTL_pool_task*>(1), 0);  // the wake-up item
  EXPECT_EQ(pool.help_a_bit(), 1);
  EXPECT_EQ(pool.help_a_bit(), 0);
  std::atomic<int> destroyed{0};
  auto* t = new pool_task;
  t->result = 1;
  t->destroyed = &destroyed;
  pool.queue_task(t, 0);
  EXPECT_EQ(pool.help_a_bit(), 1);
  EXPECT_EQ(destroyed.load(), 1);
}

struct sync_probe {
  std::atomic<int> calls{0};
  std::atomic<int> arrivals_seen{0};
  UTL_threadpool_sync* sync = nullptr;
  pthread_t caller{};
};

void sync_callback(void* p) {
  auto* s = static_cast<sync_probe*>(p);
  ++s->calls;
  s->arrivals_seen = s->sync->arrivals();
  s->caller = pthread_self();
}

struct counted_sync : UTL_threadpool_sync {
  UTL_message_queue* gone;
  counted_sync(UTL_threadpool* p, UTL_message_queue* g) : UTL_threadpool_sync(p, "sync"), gone(g) {}
  ~counted_sync() override { UTL_message_queue_write(gone, P(99)); }
};

TEST_F(SharedPool, SyncRunsCallbackOnceWhileAllAreHeldAndIsDeletedOnce) {
  UTL_threadpool pool(3);
  sync_probe probe;
  auto* s = new counted_sync(&pool, done);
  probe.sync = s;
  s->queue_me(sync_callback, &probe, 1, 0);
  EXPECT_EQ(next_done(), 99);  // deleted by the last thread to leave
  EXPECT_EQ(probe.calls.load(), 1);
  EXPECT_EQ(probe.arrivals_seen.load(), 3);
  EXPECT_FALSE(pthread_equal(probe.caller, pthread_self()));
  EXPECT_EQ(UTL_message_queue_read(done, 20), nullptr);  // and only once
}

TEST_F(SharedPool, BarrierLetsOnlyItsOwnTasksRun) {
  UTL_threadpool pool(3);
  UTL_threadpool_barrier barrier(&pool, "barrier");
  barrier.halt_pool_start(0);
  barrier.halt_pool_finish();
  pool_task ordinary, chosen;
  ordinary.done = done;
  ordinary.tag = 1;
  chosen.done = done;
  chosen.tag = 2;
  pool.queue_task(&ordinary, 0);
  barrier.queue_task(&chosen);
  EXPECT_EQ(next_done(), 2);
  EXPECT_EQ(ordinary.runs.load(), 0);  // every thread is parked
  barrier.restart_pool();
  EXPECT_EQ(next_done(), 1);
}

TEST_F(SharedPool, CoordinationOnAPoolWithoutThreadsReturnsAtOnce) {
  UTL_threadpool pool(0);
  UTL_threadpool_barrier barrier(&pool, "b");
  barrier.halt_pool_start(1);
  barrier.halt_pool_finish();
  barrier.restart_pool();
  sync_probe probe;
  UTL_threadpool_sync sync(&pool, "s");
  probe.sync = &sync;
  sync.queue_me(sync_callback, &probe, 0, 0);
  EXPECT_EQ(pool.help_a_bit(), 0);  // nothing was queued
  EXPECT_EQ(probe.calls.load(), 0);
}

TEST_F(SharedPool, HelperNeverTakesBarrierOrSyncCopies) {
  THREAD_init();  // the main thread helps
  gate g(1);
  UTL_threadpool pool(1);
  UTL_message_queue* started;
  UTL_message_queue_create(&started);
  pool_task blocker;
  blocker.g = &g;
  blocker.started = started;

  // The pool's one thread is busy, so the copies stay queued for the helper.
  pool.queue_task(&blocker, 0);
  UTL_message_queue_read(started, -1);
  UTL_threadpool_barrier barrier(&pool, "b");
  barrier.halt_pool_start(0);
  EXPECT_EQ(pool.help_a_bit(), 0);  // would park the main thread for good
  g.open();
  barrier.halt_pool_finish();
  barrier.restart_pool();

  gate g2(1);
  blocker.g = &g2;
  pool.queue_task(&blocker, 0);
  UTL_message_queue_read(started, -1);
  sync_probe probe;
  UTL_threadpool_sync sync(&pool, "s");
  probe.sync = &sync;
  sync.queue_me(sync_callback, &probe, 0, 0);
  EXPECT_EQ(pool.help_a_bit(), 0);
  EXPECT_EQ(probe.calls.load(), 0);
  pool_task marker;
  marker.done = done;
  pool.queue_task(&marker, 0);
  g2.open();
  next_done();  // the sync ran on the pool thread before the marker
  EXPECT_EQ(probe.calls.load(), 1);
  EXPECT_FALSE(pthread_equal(probe.caller, pthread_self()));
  UTL_message_queue_destroy(started);
  THREAD_shutdown();
}

TEST_F(SharedPool, ThrowingTaskIsForwardedAndTheThreadGoesOn) {
  THREAD_init();
  pool_task bad, after;
  UTL_threadpool pool(1);
  bad.throws = 1;
  after.done = done;
  pool.queue_task(&bad, 0);
  pool.queue_task(&after, 0);
  next_done();
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "Caught an unhandled C++ exception");
  THREAD_shutdown();
}

}  // namespace
