// Errors raised around the last frame: whatever a thread raises until the
// close-down has stopped it is reported, and a fatal one ends the program
// with status 1. Each run is a child process with the frame loop main runs.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "GenH/glctx_seam.h"
#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "Thread/threadpool.h"
#include "Thread/worker_threads.h"
#include "UTL/debug.h"
#include "UTL/xer.h"
#include "support/test_util.h"

namespace {

enum raiser { async_call = 1, fixed_pool = 2, shared_pool = 4 };

struct late_alert {
  int delay_us;
  int type;
  int after_quit = 0;  // counts the delay from the end of the frame loop
};

void* raise_late(void* p) {
  const auto* a = static_cast<late_alert*>(p);
  while (a->after_quit && !app_done) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::microseconds(a->delay_us));
  __MACIBM_alert(0, a->type == t_exit ? "late fatal" : "late warning", "raised after",
                 std::to_string(a->delay_us), "", a->type, "late.cpp", 21);
  return nullptr;
}
std::atomic<bool> work_started{false};
struct late_work : UTL_work_task {
  late_alert a;
  explicit late_work(late_alert a_) : a(a_) {}
  void do_it() override {
    work_started = true;
    raise_late(&a);
  }
  int check_error(std::string&) override { return 0; }
};
struct late_pool_task : UTL_pool_task {
  late_alert a;
  explicit late_pool_task(late_alert a_) : a(a_) {}
  int do_it() override {
    raise_late(&a);
    return 1;
  }
  const char* get_debug_name() override { return "late"; }
};

// Starts the raisers, runs frames for 1 ms, then closes down as main does.
// A hang is for ever; the bound leaves a loaded machine room for a fatal
// alert's own work (under ThreadSanitizer its memory report alone takes a
// second or more), which stands between its standard error and its log lines.
[[noreturn]] void last_frames(int raisers, late_alert a, const std::string& log) {
  fly_test::fail_after(60, "close-down hung");
  g_alert_intercept = nullptr;  // the real alert and close-down
  xer.open(log);
  glctx_seam.threaded_avail = 0;  // as start-up's capability detection leaves it
  THREAD_init();
  THREAD_make_workers();
  if (raisers & shared_pool) {
    delete g_threadpool;  // the pool threaded OpenGL would give
    g_threadpool = new UTL_threadpool(2);
    g_threadpool->queue_task(new late_pool_task(a), 0);
  }
  if (raisers & async_call) THREAD_run_async(raise_late, &a);
  if (raisers & fixed_pool) {
    (new UTL_worker_threads(1, 4))->enqueue_task(new late_work(a));
    // The close-down drops a task no thread has started.
    while (!work_started) std::this_thread::yield();
  }
  const auto start = std::chrono::steady_clock::now();
  while (!app_done) {
    THREAD_check_exception(1);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1)) app_done = 1;
  }
  MACIBM_finishup(1);
  _exit(0);  // main returns 0
}

size_t crawls() {
  const std::string text = fly_test::read_file("stack_crawl.txt");
  size_t n = 0;
  for (size_t at = 0; (at = text.find("\n  0) ", at)) != std::string::npos; ++at) ++n;
  return n + (text.rfind("  0) ", 0) == 0);
}

// Sweeps the alert from before the last frame (at about 1 ms) to well into
// the close-down.
void sweep_fatal(int r) {
  // A fatal alert's stack crawl first reads the debug information of the
  // program and its libraries, seconds of work: read once here, every child
  // inherits it.
  symbol_info primed;
  UTL_get_debug_symbol(reinterpret_cast<void*>(&crawls), &primed);
  for (int delay = 0; delay <= 3000; delay += 300) {
    const std::string log = fly_test::sandbox() + "run" + std::to_string(delay) + ".txt";
    const size_t before = crawls();
    EXPECT_EXIT(last_frames(r, {delay, t_exit}, log), ::testing::ExitedWithCode(1), "late fatal")
        << delay << " us";
    EXPECT_THAT(fly_test::read_file(log),
                HasSubstr("\nlate fatal\nraised after\n" + std::to_string(delay) +
                          "\n\n(late.cpp line 21)\n"))
        << delay << " us";
    EXPECT_EQ(crawls(), before + 1) << delay << " us";
  }
}

TEST(CloseDown, FatalAlertOfAnAsyncCallAroundTheLastFrameEndsWithStatusOne) {
  sweep_fatal(async_call);
}
TEST(CloseDown, FatalAlertOfAFixedPoolTaskAroundTheLastFrameEndsWithStatusOne) {
  sweep_fatal(fixed_pool);
}
TEST(CloseDown, FatalAlertOfASharedPoolTaskAroundTheLastFrameEndsWithStatusOne) {
  sweep_fatal(shared_pool);
}

TEST(CloseDown, WarningsRaisedWhileClosingDownAreLoggedAndTheProgramEndsNormally) {
  const std::string log = fly_test::sandbox() + "warned.txt";
  const size_t before = crawls();
  EXPECT_EXIT(last_frames(async_call | fixed_pool | shared_pool, {1000, t_alert, 1}, log),
              ::testing::ExitedWithCode(0), "late warning");
  const std::string text = fly_test::read_file(log);
  size_t n = 0;
  for (size_t at = 0; (at = text.find("\nlate warning\nraised after\n1000\n", at)) !=
                      std::string::npos;
       ++at)
    ++n;
  EXPECT_EQ(n, 3u) << text;
  EXPECT_LT(text.find("Clean exit from threads.\n"), text.find("late warning"));
  EXPECT_EQ(crawls(), before);
}

}  // namespace
