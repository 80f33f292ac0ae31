#include <climits>
#include <cstdlib>
#include <thread>

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

const char k_dump_msg[] =
    "OK check MemoryLog.txt! I just sent him a dump from This is the dump_mem_stats call from the "
    "following code: if(type==t_exit || type == t_alert || recursive_error)\n";

int count_of(const std::string& s, const std::string& what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST_F(AlertPath, FatalExitsWithStatusOneAndLeavesCrawlAndLog) {
  fly_test::write_file("stack_crawl.txt", "an earlier crawl\n");
  EXPECT_EXIT(__MACIBM_alert(0, "fatal one", "", "", "", t_exit, "src/y.cpp", 5),
              ::testing::ExitedWithCode(1), "fatal one");
  EXPECT_EXIT(__MACIBM_alert(0, "fatal two", "", "", "", t_exit, "src/y.cpp", 6),
              ::testing::ExitedWithCode(1), "fatal two");
  // Appended, one block per fatal alert, starting in the alert itself.
  std::string crawl = fly_test::read_file("stack_crawl.txt");
  EXPECT_EQ(crawl.rfind("an earlier crawl\n  0) __MACIBM_alert(", 0), 0u) << crawl;
  EXPECT_EQ(count_of(crawl, "  0) __MACIBM_alert("), 2) << crawl;
  EXPECT_NE(crawl.find("(alert.cpp:"), std::string::npos) << crawl;
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find(std::string(k_dump_msg) + "\nfatal one\n\n\n\n(src/y.cpp line 5)\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\nfatal two\n\n\n\n(src/y.cpp line 6)\n"), std::string::npos) << log;
  EXPECT_NE(fly_test::read_file("MemoryLog.txt").find("dump_mem_stats: This is the dump_mem_stats"),
            std::string::npos);
}

TEST_F(AlertPath, BeforeTheWindowTheSystemAlertShowsTheLines) {
  testing::internal::CaptureStderr();
  __MACIBM_alert(0, "s one", "s two", "s three", "s four", t_alert, "src/x.cpp", 8);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "s one\ns two\ns three\ns four\n");
  EXPECT_FALSE(fly_test::file_exists("stack_crawl.txt"));  // only fatal alerts crawl
}

struct window_call {
  int calls = 0;
  int type = -1;
  std::string s1, location;
};
window_call g_window;

void record_window(int, const std::string& s1, const std::string&, const std::string&,
                   const std::string&, int type, const std::string& location) {
  ++g_window.calls;
  g_window.type = type;
  g_window.s1 = s1;
  g_window.location = location;
}

TEST_F(AlertPath, AlertWindowGetsTheLinesButNotAnEmptyMessage) {
  ogl_inited = 1;
  MACIBM_alert_window = record_window;
  __MACIBM_alert(0, "shown", "", "", "", t_alert, "src/x.cpp", 21);
  EXPECT_EQ(g_window.calls, 1);
  EXPECT_EQ(g_window.s1, "shown");
  EXPECT_EQ(g_window.location, "(src/x.cpp line 21)");
  // Nothing to show, but the report and the log lines are still written.
  __MACIBM_alert(0, "", "", "", "", t_alert, "src/x.cpp", 22);
  EXPECT_EQ(g_window.calls, 1);
  std::string log = fly_test::log_text();
  EXPECT_EQ(count_of(log, k_dump_msg), 2);
  EXPECT_NE(log.find("\n\n\n\n\n(src/x.cpp line 22)\n"), std::string::npos) << log;
  // A second alert after the first returned is no recursive error.
  __MACIBM_alert(0, "again", "", "", "", t_alert, "src/x.cpp", 23);
  EXPECT_EQ(g_window.calls, 2);
  MACIBM_alert_window = nullptr;
  ogl_inited = 0;
}

void alert_inside_window(int, const std::string&, const std::string&, const std::string&,
                         const std::string&, int, const std::string&) {
  __MACIBM_alert(0, "inner", "i2", "", "", t_alert, "src/inner.cpp", 2);
}

TEST_F(AlertPath, AlertRaisedInsideAnAlertEndsTheProgram) {
  EXPECT_EXIT(
      {
        ogl_inited = 1;
        MACIBM_alert_window = alert_inside_window;
        __MACIBM_alert(0, "outer", "", "", "", t_alert, "src/outer.cpp", 1);
      },
      ::testing::ExitedWithCode(1), "inner\ni2\n");
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("\ninner\ni2\n\n\n(src/inner.cpp line 2)\n"), std::string::npos) << log;
}

TEST_F(AlertPath, FpsTestFatalOnlyLogsAndExits) {
  const char* argv[] = {"prog", "--fps_test=100"};
  cmdline.init_unix(2, argv);
  EXPECT_EXIT(__MACIBM_alert(0, "l1", "l2", "l3", "l4", t_exit, "src/z.cpp", 9),
              ::testing::ExitedWithCode(1), "");
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("l1\nl2\nl3\nl4\n(src/z.cpp line 9)\n"), std::string::npos) << log;
  EXPECT_NE(fly_test::read_file("stack_crawl.txt").find("  0) __MACIBM_alert("), std::string::npos);
  // No alert shown, no memory report, and no close-down.
  EXPECT_EQ(log.find("OK check MemoryLog.txt!"), std::string::npos) << log;
  EXPECT_FALSE(fly_test::file_exists("MemoryLog.txt"));
}

TEST_F(AlertPath, FpsTestWarningOnlyLogsAndReturns) {
  const char* argv[] = {"prog", "--fps_test"};
  cmdline.init_unix(2, argv);
  ogl_inited = 1;
  MACIBM_alert_window = record_window;
  testing::internal::CaptureStderr();
  __MACIBM_alert(0, "w1", "w2", "w3", "w4", t_alert, "src/z.cpp", 10);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(g_window.calls, 0);
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("w1\nw2\nw3\nw4\n(src/z.cpp line 10)\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("OK check MemoryLog.txt!"), std::string::npos) << log;
  MACIBM_alert_window = nullptr;
  ogl_inited = 0;
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

TEST(Exce, DefaultReportsAsFatalFromNoException) {
  exce_class e;
  EXPECT_FATAL_ALERT(e.Report(), "");
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  const fly_test::alert_record& r = fly_test::alerts()[0];
  EXPECT_EQ(r.type, t_exit);
  EXPECT_EQ(r.file, "no exception");
  EXPECT_EQ(r.line, 0);
  EXPECT_EQ(r.s1 + r.s2 + r.s3 + r.s4, "");
}

TEST(Exce, LogAndContinueWordingAndCopies) {
  static const char k_file[] = "src/e.cpp";
  exce_class warn("a", "b", "c", "d", k_file, 12, 1);
  exce_class copy(warn);
  exce_class assigned;
  assigned = warn;
  EXPECT_EQ(copy.file, k_file);  // the same text, not a copy of it
  EXPECT_EQ(assigned.file, k_file);
  EXPECT_EQ(assigned.msg4, "d");
  warn.LogAndContinue();
  exce_class quiet("q", "", "", "", k_file, 13, 0);
  quiet.LogAndContinue();
  quiet.MakeFatal();
  EXPECT_EQ(quiet.severity, 2);
  exce_class nameless("n", "", "", "", nullptr, 14, 1);
  nameless.LogAndContinue();
  xer << "still logging\n";
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("Logging fatal Exception thrown from file: src/e.cpp, line 12.\na\nb\nc\nd\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Logging non-fatal Exception thrown from file: src/e.cpp, line 13.\nq\n"),
            std::string::npos);
  EXPECT_NE(log.find("file: , line 14.\nn\n\n\n\nstill logging\n"), std::string::npos) << log;
}

TEST(Exce, ReportBeforeTheThreadLayerAlwaysAlerts) {
  fly_test::clear_alerts();
  std::thread t([] { exce_class("early", "", "", "", "src/e.cpp", 1, 1).Report(); });
  t.join();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "early");
  EXPECT_EQ(app_done, 0);
}

void* worker_report(void* p) {
  static_cast<exce_class*>(p)->Report();
  return nullptr;
}

TEST(Exce, ReportOnAWorkerLogsQuitsAndForwards) {
  THREAD_init();
  fly_test::clear_alerts();
  exce_class warn("worker says", "two", "", "", "src/r.cpp", 8, 1);
  exce_class fatal("worker dies", "", "", "", "src/r.cpp", 9, 2);
  for (exce_class* e : {&warn, &fatal}) {
    pthread_t t, j, i;
    UTL_thread_create(worker_report, e, &t, &j, &i);
    UTL_thread_join(&t, &j);  // the worker returns from Report either way
  }
  EXPECT_TRUE(fly_test::alerts().empty());
  EXPECT_EQ(app_done, 1);
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("EXCEPTION REPORTED FROM THREAD!!  File: src/r.cpp, line 8.\nworker says\ntwo"
                     "\n\n\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("EXCEPTION REPORTED FROM THREAD!!  File: src/r.cpp, line 9.\n"),
            std::string::npos);
  // The main thread reports them: the fatal one first.
  EXPECT_FATAL_ALERT(THREAD_check_exception(1), "worker dies");
  THREAD_check_exception(1);
  ASSERT_EQ(fly_test::alerts().size(), 2u);
  EXPECT_EQ(fly_test::alerts()[1].s1, "worker says");
  EXPECT_EQ(fly_test::alerts()[1].type, t_alert);
  THREAD_shutdown();
  app_done = 0;
}

}  // namespace
