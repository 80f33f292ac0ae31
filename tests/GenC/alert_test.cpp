#include <atomic>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "UTL/cmdline.h"
#include "UTL/exce.h"
#include "UTL/xer.h"
#include "support/test_util.h"

TEST(IntToStr, ExtremesAndPadding) {
  char buf[16];
  int_to_str(INT_MIN, buf, 1, 0);
  EXPECT_STREQ(buf, "-2147483648");
  int_to_str(42, buf, 12, 1);
  EXPECT_STREQ(buf, "+0000000042");  // padding stops at ten digits
}

// The real alert path, without the test's interception.
struct AlertPath : ::testing::Test {
  void SetUp() override { g_alert_intercept = nullptr; }
};

TEST_F(AlertPath, WarningReturnsFatalExitsWithOneAppendingCrawlAndLog) {
  testing::internal::CaptureStderr();
  __MACIBM_alert(0, "one", "two", "three", "four", t_alert, "src/x.cpp", 77);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "one\ntwo\nthree\nfour\n");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("\none\ntwo\nthree\nfour\n(src/x.cpp line 77)\n"));
  EXPECT_FALSE(fly_test::file_exists("stack_crawl.txt"));  // only a fatal alert crawls
  fly_test::write_file("stack_crawl.txt", "an earlier crawl\n");
  EXPECT_EXIT(__MACIBM_alert(0, "fatal one", "", "", "", t_exit, "src/y.cpp", 5),
              ::testing::ExitedWithCode(1), "fatal one");
  const std::string crawl = fly_test::read_file("stack_crawl.txt");
  EXPECT_EQ(crawl.rfind("an earlier crawl\n  0) __MACIBM_alert(", 0), 0u) << crawl;
  EXPECT_NE(crawl.find("(alert.cpp:"), std::string::npos);  // source lines are known
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("if(type==t_exit || type == t_alert || recursive_error)\n"
                        "\nfatal one\n\n\n\n(src/y.cpp line 5)\n"));
}

static void alert_inside_window(int, const std::string&, const std::string&, const std::string&,
                                const std::string&, int, const std::string&) {
  __MACIBM_alert(0, "inner", "i2", "", "", t_alert, "src/inner.cpp", 2);
}

TEST_F(AlertPath, AlertRaisedInsideAnAlertEndsTheProgram) {
  ogl_inited = 1;
  MACIBM_alert_window = alert_inside_window;
  EXPECT_EXIT(__MACIBM_alert(0, "outer", "", "", "", t_alert, "src/outer.cpp", 1),
              ::testing::ExitedWithCode(1), "inner\ni2\n");
}

// Before the thread layer is up every thread shows its own alerts: two at the
// same time are not one inside the other.
TEST_F(AlertPath, AlertsOfSeveralThreadsBeforeTheLayerIsUpAreShownOneAfterTheOther) {
  fly_test::fail_after(90, "alerts of several threads hung");  // slow under TSan on a loaded machine
  static std::atomic<int> showing{0}, overlaps{0};
  MACIBM_system_alert = [](const std::string&, const std::string&, const std::string&,
                           const std::string&) {
    if (showing++) ++overlaps;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    --showing;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([t] {
      for (int k = 0; k < 10; ++k)
        __MACIBM_alert(0, "thread " + std::to_string(t), "", "", "", t_alert, "src/m.cpp", k);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlaps, 0);
  const std::string log = fly_test::log_text();
  for (int t = 0; t < 6; ++t)
    for (int k = 0; k < 10; ++k)
      EXPECT_THAT(log, HasSubstr("\nthread " + std::to_string(t) + "\n\n\n\n(src/m.cpp line " +
                                 std::to_string(k) + ")\n"));
}

TEST_F(AlertPath, FpsTestOnlyLogsThenReturnsOrExits) {
  const char* argv[] = {"prog", "--fps_test=100"};
  cmdline.init_unix(2, argv);
  testing::internal::CaptureStderr();
  __MACIBM_alert(0, "w1", "w2", "w3", "w4", t_alert, "src/z.cpp", 10);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // nothing shown
  EXPECT_EXIT(__MACIBM_alert(0, "l1", "l2", "l3", "l4", t_exit, "src/z.cpp", 9),
              ::testing::ExitedWithCode(1), "");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("w1\nw2\nw3\nw4\n(src/z.cpp line 10)\nl1\nl2\nl3\n"
                                              "l4\n(src/z.cpp line 9)\n"));
  EXPECT_TRUE(fly_test::file_exists("stack_crawl.txt"));
  EXPECT_FALSE(fly_test::file_exists("MemoryLog.txt"));  // no report, no close-down
}

static void* worker_alert(void* p) {
  const int type = *static_cast<int*>(p);
  __MACIBM_alert(0, type == t_exit ? "worker fatal" : "from worker", "", "", "", type, "w.cpp", 3);
  *static_cast<int*>(p) = -1;  // a fatal alert ends the thread first
  return nullptr;
}
static void* worker_report(void* p) {
  static_cast<exce_class*>(p)->Report();
  static_cast<exce_class*>(p)->line = -1;  // the worker goes on after Report
  return nullptr;
}
static void run_worker(void* (*fn)(void*), void* arg) {
  pthread_t t, j, i;
  UTL_thread_create(fn, arg, &t, &j, &i);
  UTL_thread_join(&t, &j);
}

TEST(AlertThreads, WorkerAlertsAreForwardedAndReportedOnMain) {
  THREAD_init();
  int warn = t_alert, fatal = t_exit;
  run_worker(worker_alert, &warn);
  run_worker(worker_alert, &fatal);
  EXPECT_EQ(warn, -1);
  EXPECT_EQ(fatal, t_exit);
  EXPECT_TRUE(fly_test::alerts().empty());  // nothing shown on a worker
  EXPECT_FATAL_ALERT(THREAD_check_exception(1), "worker fatal");
  THREAD_check_exception(1);
  ASSERT_EQ(fly_test::alerts().size(), 2u);
  EXPECT_EQ(fly_test::alerts()[1].s1, "from worker");
  THREAD_shutdown();
}

TEST(Exce, FatalReportOnAWorkerLogsQuitsAndForwards) {
  THREAD_init();
  exce_class fatal("worker dies", "two", "", "", "src/r.cpp", 9, 2);
  run_worker(worker_report, &fatal);
  EXPECT_EQ(fatal.line, -1);
  EXPECT_TRUE(fly_test::alerts().empty());
  EXPECT_EQ(app_done, 1);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("EXCEPTION REPORTED FROM THREAD!!  File: src/r.cpp, "
                                              "line 9.\nworker dies\ntwo\n"));
  EXPECT_FATAL_ALERT(THREAD_check_exception(1), "worker dies");
  THREAD_shutdown();
}

TEST(Exce, ReportBeforeTheThreadLayerAlertsAndNamelessFileLogs) {
  std::thread([] { exce_class("early", "", "", "", "src/e.cpp", 1, 1).Report(); }).join();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(app_done, 0);
  exce_class("n", "", "", "", nullptr, 14, 1).LogAndContinue();
  xer << "still logging\n";
  EXPECT_THAT(fly_test::log_text(), HasSubstr("fatal Exception thrown from file: , line 14.\n"
                                              "n\n\n\n\nstill logging\n"));
}

