#include <climits>
#include <cstdlib>

#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "UTL/cmdline.h"
#include "UTL/exce.h"
#include "UTL/xer.h"
#include "support/test_util.h"

namespace {

std::string its(int v, int digits, int plus) {
  char buf[16];
  int_to_str(v, buf, digits, plus);
  return buf;
}

TEST(IntToStr, DigitsSignsAndPadding) {
  EXPECT_EQ(its(7, 3, 1), "+007");
  EXPECT_EQ(its(-45, 1, 0), "-45");
  EXPECT_EQ(its(0, 0, 1), "+0");
  EXPECT_EQ(its(0, 0, 0), "0");
  EXPECT_EQ(its(INT_MIN, 1, 0), "-2147483648");
  EXPECT_EQ(its(INT_MAX, 1, 1), "+2147483647");
  EXPECT_EQ(its(42, 12, 0), "0000000042");  // padding stops at ten digits
  EXPECT_EQ(its(1000000000, 1, 0), "1000000000");
}

TEST(Alert, InterceptRecordsWarnings) {
  fly_test::clear_alerts();
  __MACIBM_alert(0, "a", "b", "c", "d", t_alert, "file.cpp", 12);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "a");
  EXPECT_EQ(fly_test::alerts()[0].line, 12);
}

TEST(Alert, FatalUnwindsInTests) {
  EXPECT_FATAL_ALERT(__MACIBM_alert(0, "boom", "", "", "", t_exit, "f.cpp", 1), "boom");
}

// The real alert path, without the test's interception.
class AlertPath : public ::testing::Test {
 protected:
  void SetUp() override { g_alert_intercept = nullptr; }
};

TEST_F(AlertPath, WarningLogsLinesWithLocationAndReturns) {
  __MACIBM_alert(0, "one", "two", "three", "four", t_alert, "src/x.cpp", 77);
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("\none\ntwo\nthree\nfour\n(src/x.cpp line 77)\n"), std::string::npos) << log;
  EXPECT_NE(log.find("OK check MemoryLog.txt!"), std::string::npos);
}

TEST_F(AlertPath, LanguageAlertLogsNothing) {
  std::string before = fly_test::log_text();
  __MACIBM_alert(-1, "-", "-", "-", "-", t_language, "src/x.cpp", 1);
  EXPECT_EQ(fly_test::log_text(), before);
}

TEST_F(AlertPath, FatalExitsWithStatusOneAndLeavesCrawlAndLog) {
  EXPECT_EXIT(__MACIBM_alert(0, "fatal one", "", "", "", t_exit, "src/y.cpp", 5),
              ::testing::ExitedWithCode(1), "fatal one");
  std::string crawl = fly_test::read_file("stack_crawl.txt");
  EXPECT_NE(crawl.find(" 0) "), std::string::npos) << crawl;
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("fatal one\n\n\n\n(src/y.cpp line 5)\n"), std::string::npos) << log;
}

TEST_F(AlertPath, FpsTestFatalOnlyLogsAndExits) {
  const char* argv[] = {"prog", "--fps_test=100"};
  cmdline.init_unix(2, argv);
  EXPECT_EXIT(__MACIBM_alert(0, "l1", "l2", "l3", "l4", t_exit, "src/z.cpp", 9),
              ::testing::ExitedWithCode(1), "");
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("l1\nl2\nl3\nl4\n(src/z.cpp line 9)\n"), std::string::npos) << log;
  EXPECT_TRUE(fly_test::file_exists("stack_crawl.txt"));
}

void* worker_alert(void*) {
  __MACIBM_alert(0, "from worker", "w2", "", "", t_alert, "src/w.cpp", 3);
  return nullptr;
}

TEST(AlertThreads, WorkerAlertIsForwardedToTheMainThread) {
  THREAD_init();
  fly_test::clear_alerts();
  pthread_t t, j, i;
  UTL_thread_create(worker_alert, nullptr, &t, &j, &i);
  UTL_thread_join(&t, &j);
  EXPECT_TRUE(fly_test::alerts().empty());  // nothing shown on the worker
  THREAD_check_exception(1);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "from worker");
  THREAD_shutdown();
}

void* worker_fatal(void* p) {
  __MACIBM_alert(0, "worker fatal", "", "", "", t_exit, "src/w.cpp", 4);
  *static_cast<int*>(p) = 1;  // never reached: the thread ends in the alert
  return nullptr;
}

TEST(AlertThreads, FatalAlertEndsTheWorkerAndIsReportedFatalOnMain) {
  THREAD_init();
  int reached = 0;
  pthread_t t, j, i;
  UTL_thread_create(worker_fatal, &reached, &t, &j, &i);
  UTL_thread_join(&t, &j);
  EXPECT_EQ(reached, 0);
  EXPECT_FATAL_ALERT(THREAD_check_exception(0), "worker fatal");
  THREAD_shutdown();
}

}  // namespace
