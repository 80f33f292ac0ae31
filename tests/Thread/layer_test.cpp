#include <climits>
#include <stdexcept>

#include "GenH/shell.h"
#include "Linux/lin_sys.h"
#include "Thread/thread_layer.h"
#include "UTL/exce.h"
#include "support/test_util.h"

namespace {
void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

void start_and_join(UTL_thread_fn fn, void* arg, int launcher) {
  pthread_t t, j, i;
  if (launcher) THREAD_create(fn, arg, &t, &j, &i, 0);
  else UTL_thread_create(fn, arg, &t, &j, &i);
  UTL_thread_join(&t, &j);
}

void* throws_exce(void*) { throw exce_class("task failed", "two", "", "", "t.cpp", 40, 1); }
void* throws_std(void*) { throw std::runtime_error("boom"); }
void* throws_int(void*) { throw 5; }
void* alerts_fatal(void*) {
  __MACIBM_alert(0, "alerted", "", "", "", t_exit, "a.cpp", 9);
  return nullptr;
}
// state[0]: severity sent; state[1] |= 1 when the send returns, |= 2 when unwound.
void* sends(void* p) {
  struct guard { int* s; ~guard() { s[1] |= 2; } } g{static_cast<int*>(p)};
  THREAD_send_exception(exce_class("sent", "", "", "", "w.cpp", 1, g.s[0]));
  g.s[1] |= 1;
  return nullptr;
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
      {throws_std, 0, "Caught an unhandled C++ exception", "boom"},  // no launcher
  };
  for (const auto& r : rows) {
    start_and_join(r.fn, nullptr, r.launcher);
    fly_test::clear_alerts();
    EXPECT_FATAL_ALERT(THREAD_check_exception(0), r.s1);
    ASSERT_EQ(fly_test::alerts().size(), 1u);
    EXPECT_EQ(fly_test::alerts()[0].s2, r.s2);
  }
  THREAD_shutdown();
}

TEST(ThreadLayer, CookiesStepByFourWrapAndSkipZero) {
  const int rows[][2] = {{0, 4}, {-8, -4}, {-4, 4}, {2147483644, INT_MIN}, {INT_MIN, INT_MIN + 4}};
  for (const auto& r : rows) EXPECT_EQ(THREAD_next_cookie(r[0]), r[1]) << r[0];
}

UTL_message_queue* g_gate = nullptr;
void* waits_at_gate(void* arg) {
  UTL_message_queue_read(g_gate, -1);
  return arg;
}

TEST(ThreadLayer, CallsReplyOnceEvenWhenTheyFail) {
  THREAD_init();
  THREAD_make_workers();
  UTL_message_queue_create(&g_gate);
  THREAD_call* c = THREAD_run_async(waits_at_gate, P(42));
  EXPECT_EQ(THREAD_is_done(c, -3), 0);  // any negative but -1 polls
  EXPECT_FATAL_ALERT(THREAD_cleanup(c), "Thread cleanup called on not-done call.");
  UTL_message_queue_write(g_gate, nullptr);
  EXPECT_EQ(THREAD_is_done(c, -1), 1);
  EXPECT_EQ(THREAD_is_done(c, 0), 0);  // the reply was taken
  EXPECT_EQ(THREAD_cleanup(c), 42);
  // A failing call forwards its error, then replies; the wait that sees the reply reports it.
  for (UTL_thread_fn fn : {throws_std, alerts_fatal, throws_int})
    EXPECT_FATAL_ALERT(THREAD_is_done(THREAD_run_async(fn, nullptr), -1), "");
  std::vector<THREAD_call*> calls;  // and every worker still serves
  for (int i = 0; i < 3 * LIN_processor_count(); ++i)
    calls.push_back(THREAD_run_async([](void* a) { return a; }, P(i + 1)));
  for (size_t i = 0; i < calls.size(); ++i) {
    ASSERT_EQ(THREAD_is_done(calls[i], -1), 1);
    EXPECT_EQ(THREAD_cleanup(calls[i]), static_cast<int>(i + 1));
  }
  UTL_message_queue_destroy(g_gate);
  THREAD_shutdown();
}
}  // namespace
