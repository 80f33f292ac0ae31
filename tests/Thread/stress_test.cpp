// The pools and the thread layer under load and at close-down. Every test is
// bounded in time: a deadlock fails it instead of hanging the suite.
#include <atomic>
#include <random>
#include <thread>

#include "GenH/shell.h"
#include "Linux/lin_sys.h"
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

struct counters {
  std::atomic<int> queued{0}, ran{0}, freed{0};
};

// Runs once and lets the pool free it; may first wait at a gate, queue
// children on its pool, or make a call through the call layer.
struct counted_task : UTL_pool_task {
  counters* c;
  UTL_threadpool* pool = nullptr;
  int children = 0, depth = 0, call_back = 0;
  queue *started = nullptr, *gate = nullptr;
  explicit counted_task(counters* c_) : c(c_) { ++c->queued; }
  ~counted_task() override { ++c->freed; }
  int do_it() override {
    if (started) started->write();
    if (gate) gate->read();
    ++c->ran;
    for (int i = 0; depth > 0 && i < children; ++i) {
      auto* t = new counted_task(c);
      t->pool = pool;
      t->children = children;
      t->depth = depth - 1;
      pool->queue_task(t, i & 1);
    }
    if (call_back) {
      THREAD_call* call = THREAD_run_async([](void* p) { return p; }, this);
      EXPECT_EQ(THREAD_is_done(call, -1), 1);
      THREAD_cleanup(call);
    }
    return 1;
  }
  const char* get_debug_name() override { return "counted"; }
};

void count_up(void* n) { ++*static_cast<std::atomic<int>*>(n); }

TEST(SharedPoolStress, UrgentBarrierAndSyncWaitBehindAHalfGatheredSync) {
  fly_test::fail_after(15, "urgent coordination deadlocked");
  for (int urgent_sync : {0, 1}) {
    counters c;
    UTL_threadpool pool(2);
    queue started, gate;
    auto* blocker = new counted_task(&c);
    blocker->started = &started;
    blocker->gate = &gate;
    pool.queue_task(blocker, 0);
    started.read();  // one thread is busy
    std::atomic<int> first_done{0};
    UTL_threadpool_sync gathering(&pool, "gathering");
    gathering.queue_me(count_up, &first_done, 0, 0);
    while (gathering.arrivals() < 1) UTL_sleep(1);  // the other thread waits in it
    counters later;
    pool.queue_task(new counted_task(&later), 0);  // the urgent one still goes ahead of this
    if (!urgent_sync) {
      UTL_threadpool_barrier halt(&pool, "urgent barrier");
      halt.halt_pool_start(1);
      gate.write();
      halt.halt_pool_finish();  // both threads parked: the sync finished first
      EXPECT_EQ(first_done, 1);
      EXPECT_EQ(later.ran, 0);
      halt.restart_pool();
    } else {
      struct seen {
        queue done;
        counters* later;
        int later_ran = -1;
      } s{{}, &later};
      (new UTL_threadpool_sync(&pool, "urgent sync"))
          ->queue_me(
              [](void* p) {
                auto* s = static_cast<seen*>(p);
                s->later_ran = s->later->ran;
                s->done.write();
              },
              &s, 1, 1);
      gate.write();
      s.done.read();
      EXPECT_EQ(first_done, 1);
      EXPECT_EQ(s.later_ran, 0);
    }
  }
}

TEST(SharedPoolStress, RandomMixOfTasksSyncsAndBarriersAllFinish) {
  fly_test::fail_after(15, "pool deadlocked under random load");
  counters c;
  std::atomic<int> syncs_queued{0}, syncs_done{0}, halts{0};
  {
    UTL_threadpool pool(3);
    std::atomic<bool> stop{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p)
      producers.emplace_back([&, p] {
        std::mt19937 rnd(77 + p);
        while (!stop) {
          const unsigned r = rnd() % 16;
          if (r == 0) {
            ++syncs_queued;
            (new UTL_threadpool_sync(&pool, "s"))->queue_me(count_up, &syncs_done, 1, rnd() & 1);
          } else if (r == 1 && p == 0) {  // a halt blocks its caller: one producer does them
            UTL_threadpool_barrier halt(&pool, "b");
            halt.halt_pool_start(rnd() & 1);
            halt.halt_pool_finish();
            for (int i = 0; i < 3; ++i) halt.queue_task(new counted_task(&c));
            halt.restart_pool();
            ++halts;
          } else {
            pool.queue_task(new counted_task(&c), rnd() & 1);
          }
          if (rnd() % 8 == 0) std::this_thread::yield();
        }
      });
    UTL_sleep(700);
    stop = true;
    for (auto& t : producers) t.join();
  }
  EXPECT_GT(halts, 0);
  EXPECT_GT(syncs_queued, 0);
  EXPECT_EQ(syncs_done, syncs_queued);
  EXPECT_EQ(c.ran, c.queued);
  EXPECT_EQ(c.freed, c.queued);
}

TEST(SharedPoolStress, DeletingAPoolWhileTasksQueueTasksLosesNone) {
  fly_test::fail_after(15, "pool deletion hung");
  counters c;
  int expected = 0;
  for (int round = 0; round < 30; ++round) {
    const int threads = round % 5 == 4 ? 0 : 3;  // without threads the deleting thread runs them
    auto* pool = new UTL_threadpool(threads);
    pool->queue_task(nullptr, round & 1);  // not a stop item: every thread stays
    for (int s = 0; s < 4; ++s) {
      auto* seed = new counted_task(&c);
      seed->pool = pool;
      seed->children = 3;
      seed->depth = 4;
      pool->queue_task(seed, 0);
      expected += 1 + 3 + 9 + 27 + 81;
    }
    delete pool;  // at once: most of the tree is queued while the threads stop
    ASSERT_EQ(c.ran, expected) << "round " << round;
  }
  EXPECT_EQ(c.queued, expected);
  EXPECT_EQ(c.freed, expected);
}

TEST(ThreadLayerStress, ShutdownWhileCallsQueueTasksOnTheSharedPool) {
  fly_test::fail_after(15, "shutdown hung");
  THREAD_init();
  THREAD_make_workers();
  delete g_threadpool;  // the pool threaded OpenGL would give
  g_threadpool = new UTL_threadpool(3);
  counters c;
  struct spawn {
    counters* c;
    int n;
  } job{&c, 300};
  const int calls = 2 * LIN_processor_count();
  for (int i = 0; i < calls; ++i)
    THREAD_run_async(
        [](void* p) -> void* {
          auto* j = static_cast<spawn*>(p);
          for (int k = 0; k < j->n; ++k) {
            auto* t = new counted_task(j->c);
            t->call_back = k % 25 == 0;  // some call back into the layer as it stops
            g_threadpool->queue_task(t, k & 1);
          }
          return nullptr;
        },
        &job);
  THREAD_shutdown();
  EXPECT_EQ(g_threadpool, nullptr);
  EXPECT_EQ(c.queued, calls * job.n);
  EXPECT_EQ(c.ran, c.queued);
  EXPECT_EQ(c.freed, c.queued);
}

struct sleepy_work : UTL_work_task {
  int alert = 0;                       // 1: raises a warning
  std::atomic<bool>* gate = nullptr;   // held until it opens
  queue* started = nullptr;
  std::atomic<int> runs{0};
  void do_it() override {
    if (started) started->write();
    while (gate && !*gate) UTL_sleep(1);
    ++runs;
    if (alert) __MACIBM_alert(0, "late warning", "", "", "", t_alert, "w.cpp", 8);
  }
  int check_error(std::string&) override { return 0; }
};

TEST(ThreadLayerStress, ShutdownDropsWaitingPoolTasksAndReportsWhatRunningOnesRaised) {
  fly_test::fail_after(15, "shutdown hung");
  THREAD_init();
  THREAD_make_workers();
  std::vector<sleepy_work> tasks(20);
  std::atomic<bool> open{false};
  queue started;
  for (int i : {0, 1}) tasks[i].gate = &open, tasks[i].started = &started;
  tasks[0].alert = 1;
  fly_test::clear_alerts();
  auto* pool = new UTL_worker_threads(2, 100);
  for (auto& t : tasks) pool->enqueue_task(&t);
  started.read();
  started.read();  // both threads are busy: the other 18 wait in the queue
  std::thread opener([&] {
    UTL_sleep(300);
    open = true;
  });
  THREAD_shutdown();  // waits for the two running tasks only, then reports the warning
  opener.join();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "late warning");
  EXPECT_EQ(tasks[0].runs + tasks[1].runs, 2);
  for (size_t i = 2; i < tasks.size(); ++i) EXPECT_EQ(tasks[i].runs, 0) << i;
  // The owner still collects every task, run or not; the stopped pool never blocks it.
  int back = 0;
  while (pool->wait_retired_tasks()) ++back;
  EXPECT_EQ(back, 20);
  sleepy_work late;
  pool->enqueue_task(&late);
  EXPECT_EQ(pool->wait_retired_tasks(), nullptr);
  delete pool;
  EXPECT_EQ(late.runs, 0);
}

}  // namespace
