#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "GenH/glctx_seam.h"
#include "GenH/shell.h"
#include "Linux/lin_sys.h"
#include "Thread/thread_layer.h"
#include "Thread/threadpool.h"
#include "UTL/exce.h"
#include "support/test_util.h"

namespace {

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

void start_and_join(UTL_thread_fn fn, void* arg, int launcher) {
  pthread_t t, j, i;
  if (launcher)
    THREAD_create(fn, arg, &t, &j, &i, 0);
  else
    UTL_thread_create(fn, arg, &t, &j, &i);
  UTL_thread_join(&t, &j);
}

struct flag_on_destroy {
  std::atomic<int>* flag;
  ~flag_on_destroy() { *flag = 1; }
};

void* exits_through_handlers(void* p) {
  flag_on_destroy guard{static_cast<std::atomic<int>*>(p)};
  try {
    UTL_thread_exit(P(7));
  } catch (const std::exception&) {
    return P(1);  // must not see the exit
  }
}

TEST(Threads, ExitUnwindsRunningDestructorsAndGivesTheResult) {
  std::atomic<int> destroyed{0};
  pthread_t t, j, i;
  UTL_thread_create(exits_through_handlers, &destroyed, &t, &j, &i);
  EXPECT_TRUE(pthread_equal(t, j) && pthread_equal(t, i));
  EXPECT_EQ(UTL_thread_join(&t, &j), 7);
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Threads, CancelRequestDoesNotTearAThreadOutOfAQueueWait) {
  UTL_message_queue* q;
  UTL_message_queue_create(&q);
  pthread_t t, j, i;
  auto reader = [](void* a) {
    return UTL_message_queue_read(static_cast<UTL_message_queue*>(a), -1);
  };
  UTL_thread_create(reader, q, &t, &j, &i);
  UTL_sleep(20);
  UTL_thread_murder(&t);
  UTL_message_queue_write(q, P(5));
  EXPECT_EQ(UTL_thread_join(&t, &j), 5);
  UTL_message_queue_destroy(q);
}

TEST(ThreadLayer, MainThreadIsKnownOnlyAfterInit) {
  EXPECT_EQ(THREAD_is_main_thread(), 0);
  EXPECT_EQ(THREAD_is_inited(), 0);
  THREAD_init();
  EXPECT_EQ(THREAD_is_inited(), 1);
  EXPECT_EQ(THREAD_is_main_thread(), 1);
  int other = -1;
  std::thread([&] { other = THREAD_is_main_thread(); }).join();
  EXPECT_EQ(other, 0);
  THREAD_shutdown();
  EXPECT_EQ(THREAD_is_inited(), 0);
  EXPECT_NE(fly_test::log_text().find("Clean exit from threads.\n"), std::string::npos);
}

void* sends(void* p) {
  int* state = static_cast<int*>(p);
  THREAD_send_exception(exce_class("sev", std::to_string(state[0]), "", "", "w.cpp", 1, state[0]));
  state[1] = 1;  // reached unless the send ended the thread
  return nullptr;
}

TEST(ThreadLayer, SendFromWorkerBySeverity) {
  THREAD_init();
  struct row {
    int severity, goes_on, reported_type;
  } rows[] = {{1, 1, 1}, {2, 0, 2}, {0, 1, -1}, {3, 1, -1}};
  for (const row& r : rows) {
    int state[2] = {r.severity, 0};
    start_and_join(sends, state, 0);
    EXPECT_EQ(state[1], r.goes_on) << "severity " << r.severity;
    fly_test::clear_alerts();
    if (r.reported_type == 2) {
      EXPECT_FATAL_ALERT(THREAD_check_exception(0), "sev");
    } else {
      THREAD_check_exception(1);
      if (r.reported_type < 0) EXPECT_TRUE(fly_test::alerts().empty()) << r.severity;
      else ASSERT_EQ(fly_test::alerts().size(), 1u);
    }
  }
  THREAD_shutdown();
}

TEST(ThreadLayer, FatalSentOnMainReturnsAndIsReportedNextPoll) {
  THREAD_init();
  THREAD_send_exception(exce_class("main fatal", "", "", "", "m.cpp", 2, 2));
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "main fatal");
  THREAD_shutdown();
}

void* throws_exce(void*) { throw exce_class("task failed", "two", "", "", "t.cpp", 40, 1); }
void* throws_std(void*) { throw std::runtime_error("boom"); }
void* throws_int(void*) { throw 5; }
void* alerts_fatal(void*) {
  __MACIBM_alert(0, "alerted", "", "", "", t_exit, "a.cpp", 9);
  return nullptr;
}

TEST(ThreadLayer, LauncherForwardsWhateverEscapesAsFatal) {
  THREAD_init();
  struct row {
    UTL_thread_fn fn;
    int launcher;
    const char *s1, *s2, *file;
    int line;
  } rows[] = {
      {throws_exce, 1, "task failed", "two", "t.cpp", 40},
      {throws_std, 1, "Caught an unhandled C++ exception", "boom", "Thread/hl_thread", 365},
      {throws_int, 1, "Caught an unhandled unknown exception", "", "Thread/hl_thread", 367},
      {alerts_fatal, 1, "alerted", "", "a.cpp", 9},
      // A plain thread has no launcher: its root still reports what escapes.
      {throws_std, 0, "Caught an unhandled C++ exception", "boom", nullptr, 0},
  };
  for (const row& r : rows) {
    start_and_join(r.fn, nullptr, r.launcher);
    fly_test::clear_alerts();
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), r.s1);
    ASSERT_EQ(fly_test::alerts().size(), 1u);
    EXPECT_EQ(fly_test::alerts()[0].s2, r.s2);
    if (!r.file) continue;
    EXPECT_EQ(fly_test::alerts()[0].file, r.file);
    EXPECT_EQ(fly_test::alerts()[0].line, r.line);
  }
  THREAD_shutdown();
}

void* worker_polls(void*) {
  THREAD_queue_exception(exce_class("left for main", "", "", "", "p.cpp", 3, 2));
  THREAD_check_exception(1);  // off the main thread: must neither spin nor report
  return nullptr;
}

TEST(ThreadLayer, WorkerPollLeavesErrorsForTheMainThread) {
  THREAD_init();
  fly_test::clear_alerts();
  start_and_join(worker_polls, nullptr, 0);
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "left for main");
  THREAD_shutdown();
}

TEST(ThreadLayer, CookiesStepByFourWrapAndSkipZero) {
  struct row {
    int from, to;
  } rows[] = {{0, 4}, {4, 8}, {-8, -4}, {-4, 4}, {2147483644, INT_MIN}, {INT_MIN, INT_MIN + 4}};
  for (const row& r : rows) EXPECT_EQ(THREAD_next_cookie(r.from), r.to) << r.from;
}

TEST(ThreadLayer, MakeWorkersWithoutThreadedOpenGl) {
  struct row {
    int threaded;
  } rows[] = {{0}, {1}};  // 1: the headless seam gives no context and switches it off
  for (const row& r : rows) {
    THREAD_init();
    glctx_seam.threaded_avail = r.threaded;
    THREAD_make_workers();
    EXPECT_EQ(glctx_seam.threaded_avail, 0);
    ASSERT_NE(g_threadpool, nullptr);
    EXPECT_EQ(g_threadpool->get_num_threads(), 0);
    std::string want = "CPU count        : " + std::to_string(LIN_processor_count()) + "\n";
    EXPECT_NE(fly_test::log_text().find(want), std::string::npos);
    THREAD_shutdown();
    EXPECT_EQ(g_threadpool, nullptr);
  }
}

UTL_message_queue* g_gate = nullptr;
void* waits_at_gate(void* arg) {
  UTL_message_queue_read(g_gate, -1);
  return arg;
}

TEST(ThreadLayer, AsyncCallsRunReplyOnceAndRecycle) {
  THREAD_init();
  THREAD_make_workers();
  UTL_message_queue_create(&g_gate);

  THREAD_call* c = THREAD_run_async(waits_at_gate, P(42));
  EXPECT_EQ(THREAD_is_done(c, 0), 0);
  EXPECT_EQ(THREAD_is_done(c, -3), 0);  // any negative but -1 polls
  EXPECT_FATAL_ALERT(THREAD_cleanup(c), "Thread cleanup called on not-done call.");
  UTL_message_queue_write(g_gate, nullptr);
  EXPECT_EQ(THREAD_is_done(c, -1), 1);
  EXPECT_EQ(THREAD_is_done(c, 0), 0);  // the reply was consumed
  EXPECT_EQ(THREAD_cleanup(c), 42);

  THREAD_call* again = THREAD_run_async(waits_at_gate, P(-6));
  EXPECT_EQ(again, c);  // the record is reused
  UTL_message_queue_write(g_gate, nullptr);
  EXPECT_EQ(THREAD_is_done(again, 30000), 1);
  EXPECT_EQ(THREAD_cleanup(again), -6);

  UTL_message_queue_destroy(g_gate);
  THREAD_shutdown();
}

TEST(ThreadLayer, FailingCallStillRepliesAndTheErrorReachesTheCaller) {
  THREAD_init();
  THREAD_make_workers();
  for (UTL_thread_fn fn : {throws_std, alerts_fatal, throws_int}) {
    THREAD_call* c = THREAD_run_async(fn, nullptr);
    // The worker forwards the error before it replies, so the wait that sees
    // the reply reports the error at once.
    fly_test::clear_alerts();
    EXPECT_FATAL_ALERT(THREAD_is_done(c, -1), "");
    EXPECT_EQ(fly_test::alerts().size(), 1u);
  }
  // Every worker still serves calls.
  std::vector<THREAD_call*> calls;
  for (int i = 0; i < 3 * LIN_processor_count(); ++i)
    calls.push_back(THREAD_run_async([](void* a) { return a; }, P(i + 1)));
  for (size_t i = 0; i < calls.size(); ++i) {
    ASSERT_EQ(THREAD_is_done(calls[i], -1), 1);
    EXPECT_EQ(THREAD_cleanup(calls[i]), static_cast<int>(i + 1));
  }
  THREAD_shutdown();
}

}  // namespace
