#include <climits>
#include <stdexcept>
#include <thread>

#include "GenH/shell.h"
#include "Linux/lin_sys.h"
#include "Thread/thread_layer.h"
#include "UTL/exce.h"
#include "support/test_util.h"

static void* throws_exce(void*) { throw exce_class("task failed", "two", "", "", "t.cpp", 40, 1); }
static void* throws_std(void*) { throw std::runtime_error("boom"); }
static void* throws_int(void*) { throw 5; }
static void* alerts_fatal(void*) {
  __MACIBM_alert(0, "alerted", "", "", "", t_exit, "a.cpp", 9);
  return nullptr;
}
// state[0]: the severity to send; state[1] |= 1 once the send returns, |= 2 when unwound.
static void* sends(void* p) {
  struct guard { int* s; ~guard() { s[1] |= 2; } } g{static_cast<int*>(p)};
  THREAD_send_exception(exce_class("sent", "", "", "", "w.cpp", 1, g.s[0]));
  g.s[1] |= 1;
  return nullptr;
}

static void start_and_join(UTL_thread_fn fn, void* arg, int launcher) {
  pthread_t t, j, i;
  if (launcher) THREAD_create(fn, arg, &t, &j, &i, 0);
  else UTL_thread_create(fn, arg, &t, &j, &i);
  UTL_thread_join(&t, &j);
}

TEST(ThreadLayer, WhatAThreadRaisesIsReportedOnTheMainThreadsNextPoll) {
  THREAD_init();
  for (int sev : {1, 2}) {  // a fatal send ends the worker by unwinding; a warning goes on
    int state[2] = {sev, 0};
    start_and_join(sends, state, 0);
    EXPECT_EQ(state[1], sev == 1 ? 3 : 2);
    fly_test::clear_alerts();
    if (sev == 2) EXPECT_FATAL_ALERT(THREAD_check_exception(0), "sent");
    THREAD_check_exception(1);
    EXPECT_EQ(fly_test::alerts().size(), 1u);
  }
  const struct { UTL_thread_fn fn; int launcher; const char *s1, *s2; } rows[] = {
      {throws_exce, 1, "task failed", "two"},
      {throws_std, 1, "Caught an unhandled C++ exception", "boom"},
      {throws_int, 1, "Caught an unhandled unknown exception", ""},
      {alerts_fatal, 1, "alerted", ""},
      {throws_std, 0, "Caught an unhandled C++ exception", "boom"}};  // no launcher
  for (const auto& r : rows) {
    start_and_join(r.fn, nullptr, r.launcher);
    fly_test::clear_alerts();
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), r.s1);
    EXPECT_EQ(fly_test::alerts().at(0).s2, r.s2);
  }
  THREAD_shutdown();
}

TEST(ThreadLayer, CookiesStepByFourWrapAndSkipZero) {
  const int rows[][2] = {{0, 4}, {-8, -4}, {-4, 4}, {2147483644, INT_MIN}, {INT_MIN, INT_MIN + 4}};
  for (const auto& r : rows) EXPECT_EQ(THREAD_next_cookie(r[0]), r[1]) << r[0];
}

TEST(ThreadLayer, CallsReplyOnceEvenWhenTheyFail) {
  THREAD_init();
  THREAD_make_workers();
  UTL_message_queue* gate;
  UTL_message_queue_create(&gate);
  auto read = [](void* q) {
    return UTL_message_queue_read(static_cast<UTL_message_queue*>(q), -1);
  };
  THREAD_call* c = THREAD_run_async(read, gate);
  EXPECT_EQ(THREAD_is_done(c, -3), 0);  // any negative but -1 polls
  UTL_message_queue_write(gate, reinterpret_cast<void*>(42));
  EXPECT_EQ(THREAD_is_done(c, -1), 1);
  EXPECT_EQ(THREAD_cleanup(c), 42);
  // A failing call forwards its error, then replies: the wait that sees the reply reports it.
  // More failures than workers: a worker that ended would leave the last call waiting for ever.
  const UTL_thread_fn failing[] = {throws_std, alerts_fatal, throws_int};
  for (int i = 0; i < 2 * LIN_processor_count() + 1; ++i)
    EXPECT_FATAL_ALERT(THREAD_is_done(THREAD_run_async(failing[i % 3], nullptr), -1), "");
  c = THREAD_run_async(read, gate);
  UTL_message_queue_write(gate, reinterpret_cast<void*>(7));
  EXPECT_EQ(THREAD_is_done(c, -1), 1);
  EXPECT_EQ(THREAD_cleanup(c), 7);
  // Off the main thread the failure is only queued, so the reply is seen: its result is 0, not
  // the 7 left in the recycled call.
  int failed = -1;
  std::thread([&] {
    THREAD_call* f = THREAD_run_async(throws_std, nullptr);
    if (THREAD_is_done(f, -1)) failed = THREAD_cleanup(f);
  }).join();
  EXPECT_EQ(failed, 0);
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "Caught an unhandled C++ exception");
  UTL_message_queue_destroy(gate);
  THREAD_shutdown();
}
