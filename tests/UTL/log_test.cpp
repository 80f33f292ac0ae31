#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Files/launch.h"
#include "Linux/lin_url.h"
#include "Linux/lin_zenity.h"
#include "Thread/thread.h"
#include "UTL/xer.h"
#include "support/test_util.h"

// Threads that come and go, some leaving a partial line behind, while the log
// is closed and opened again: every line in every file is one thread's whole
// line.
TEST(Log, LinesOfManyThreadsStayWholeThroughPartialEndsAndReopening) {
#ifdef FLY_SANITIZED_BUILD
  // 1,500 threads under a sanitizer on a loaded machine have taken 22 s.
  fly_test::fail_after(90, "log stress hung");
#else
  fly_test::fail_after(20, "log stress hung");
#endif
  const std::string first = xer.path();
  std::atomic<bool> done{false};
  std::thread spawner([&done] {
    std::atomic<int> running{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < 1500; ++id) {
      while (running >= 16) std::this_thread::yield();
      ++running;
      threads.emplace_back([id, &running] {
        const std::string letters(static_cast<size_t>(10 + id % 7),
                                  static_cast<char>('a' + id % 26));
        for (int k = 0; k < 40; ++k) xer << "w" << id << " " << k << " " << letters << " end\n";
        if (id % 3 == 0) xer << "w" << id << " partial";
        if (id % 3 == 1) xer << "w" << id << " partial\n" << "w" << id << " part";
        --running;
      });
    }
    for (auto& t : threads) t.join();
    done = true;
  });
  std::vector<std::string> files;
  for (int round = 0; !done; ++round) {
    xer << "main partial " << round;  // the closing thread's own partial line
    xer.close();
    files.push_back(fly_test::sandbox() + "log" + std::to_string(round) + ".txt");
    ASSERT_TRUE(xer.open(files.back()));
    UTL_sleep(1);
  }
  spawner.join();
  xer.close();

  const std::regex whole("w(\\d+) \\d+ ([a-z]+) end|w\\d+ part(ial)?|main partial \\d+");
  size_t lines = 0;
  for (const std::string& f : files) {
    const std::string text = fly_test::read_file(f);
    ASSERT_TRUE(text.empty() || text.back() == '\n') << f;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1, ++lines) {
      const std::string line = text.substr(at, end - at);
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, whole)) << f << ": " << line;
      if (!m[1].matched) continue;
      const int id = std::stoi(m[1]);
      EXPECT_EQ(m[2].str(), std::string(static_cast<size_t>(10 + id % 7),
                                        static_cast<char>('a' + id % 26)))
          << line;
    }
  }
  EXPECT_GT(lines, 1000u);
  xer.open(first);
}

// A line is handed to the kernel within a second though nothing follows it, a
// warning line at once: a program killed after either has lost neither.
TEST(Log, LinesReachTheFileWithinASecondAndWarningsAtOnce) {
  fly_test::fail_after(10, "log write-out hung");
  const std::string path = xer.path();
  const auto in_file = [&path](const std::string& s) {
    return fly_test::read_file(path).find(s) != std::string::npos;
  };
  std::thread([] { xer << "a worker's line, then silence\n"; }).join();
  const auto written = std::chrono::steady_clock::now();
  while (!in_file("a worker's line, then silence\n") &&
         std::chrono::steady_clock::now() - written < std::chrono::seconds(1))
    UTL_sleep(10);
  EXPECT_TRUE(in_file("a worker's line, then silence\n"));

  xer << "WARNING: " << 3 << " things went wrong\n";
  EXPECT_TRUE(in_file("WARNING: 3 things went wrong\n"));
}

// A web link forks twice while other threads log: neither fork may find the
// log's lock taken, and a line pending at a fork is written once, though the
// child ends through the log's close or exit().
TEST(Log, ForksWhileThreadsLogNeitherHangNorWriteALineTwice) {
  fly_test::fail_after(60, "a fork hung on the log's lock");
  // No browser to find: each grandchild's exec fails at once.
  const std::string no_path = fly_test::sandbox() + "no-programs";
  fly_test::sh("mkdir -p '" + no_path + "'");
  const std::string old_path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", no_path.c_str(), 1);
  const std::string first = xer.path();
  const std::string path = fly_test::sandbox() + "fork_log.txt";
  ASSERT_TRUE(xer.open(path));
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t, &done] {
      for (int k = 0; !done; ++k) {
        xer << "writer " << t << " line " << k << "\n";
        if (k % 16 == 15) UTL_sleep(1);
      }
    });
  for (int i = 0; i < 200; ++i) LIN_open_url("http://127.0.0.1:9/");
  done = true;
  for (auto& w : writers) w.join();
  setenv("PATH", old_path.c_str(), 1);

  // A grandchild just started may still share the first file: another one.
  const std::string pending_path = fly_test::sandbox() + "fork_pending_log.txt";
  for (int way = 0; way < 2; ++way) {
    ASSERT_TRUE(xer.open(pending_path));
    xer << "pending at the fork\n";  // held for the flusher's quarter second
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      xer << "the child's own line\n";
      if (way == 0) {
        xer.close();
        _exit(0);
      }
      exit(0);
    }
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    xer.close();
    const std::string text = fly_test::read_file(pending_path);
    EXPECT_EQ(text, "pending at the fork\nthe child's own line\n") << "way " << way;
  }
  xer.open(first);
}

// A log another installer still writes to is not emptied: this run's lines
// follow, after a line that says so, and neither run's lines are torn. A
// log nobody holds is rewritten.
TEST(Log, ALogAnotherInstallerHoldsIsAddedToNotEmptied) {
  const std::string first = xer.path();
  const std::string path = fly_test::sandbox() + "shared_log.txt";
  fly_test::write_file(path, "an old run's line\n");
  ASSERT_TRUE(xer.open(path));
  EXPECT_FALSE(xer.shared());
  xer << "the first installer's header\n";
  xer.flush();
  EXPECT_EQ(fly_test::read_file(path), "the first installer's header\n");

  // The other installer: its open file and its lock, as its own open left them.
  const int other = open(path.c_str(), O_RDWR | O_APPEND);
  ASSERT_GE(other, 0);
  struct flock l = {};
  l.l_type = F_RDLCK;
  l.l_len = log_stream_class::lock_span;
  ASSERT_EQ(fcntl(other, F_OFD_SETLK, &l), 0);
  ASSERT_TRUE(xer.open(path));
  EXPECT_TRUE(xer.shared());
  xer << "the second installer's header\n";
  xer.flush();
  ASSERT_EQ(write(other, "the first installer's next line\n", 32), 32);
  close(other);  // the first has ended: the second still holds the file
  const int third = open(path.c_str(), O_RDWR);
  l.l_type = F_WRLCK;
  l.l_len = 0;  // any lock of the file's
  EXPECT_NE(fcntl(third, F_OFD_SETLK, &l), 0);
  close(third);
  xer << "the second installer's next line\n";
  xer.close();
  const std::string text = fly_test::read_file(path);
  EXPECT_THAT(text, testing::MatchesRegex(
                        "the first installer's header\n\n---- Another Flyvane Installer is "
                        "writing to this log: process [0-9]+ started, and its lines follow "
                        "among the other's. ----\n\nthe second installer's header\nthe first "
                        "installer's next line\nthe second installer's next line\n"));

  ASSERT_TRUE(xer.open(path));  // nobody holds it now
  EXPECT_FALSE(xer.shared());
  xer.close();
  EXPECT_EQ(fly_test::read_file(path), "");
  xer.open(first);
}

namespace {
// A program that is no installer holding a lock on the whole file: another
// process, with an open file of its own. It holds the lock for hold_ms, or
// until it is ended (hold_ms < 0).
struct lock_holder {
  pid_t pid = -1;
  lock_holder(const std::string& path, short type, int cmd, int hold_ms) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(ready[0]);
      const int fd = ::open(path.c_str(), O_RDWR | O_APPEND);
      struct flock l = {};
      l.l_type = type;
      l.l_whence = SEEK_SET;
      if (fd < 0 || fcntl(fd, cmd, &l) != 0) _exit(1);
      (void)!write(ready[1], "k", 1);
      if (hold_ms < 0) {
        for (;;) pause();
      }
      const timespec t = {hold_ms / 1000, (hold_ms % 1000) * 1000000L};
      nanosleep(&t, nullptr);
      _exit(0);
    }
    close(ready[1]);
    char c = 0;
    if (pid < 0 || read(ready[0], &c, 1) != 1) end();
    close(ready[0]);
  }
  bool holds() const { return pid > 0; }
  void end() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
  }
  ~lock_holder() { end(); }
};

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}
}  // namespace

// A program that is no installer holds the log: the start waits for it a
// bounded time, never for ever, and the log it then adds to says that a
// process it cannot name held it, never that an installer does. One that
// lets go within the wait leaves a log to be emptied as usual.
TEST(Log, ALockAProgramHoldsIsWaitedForBoundedlyAndNamesNoInstaller) {
  fly_test::fail_after(60, "the log's open waited for a lock for ever");
  const std::string first = xer.path();
  const std::string path = fly_test::sandbox() + "locked_log.txt";
  const std::string unnamed = "\n---- This log was locked by a process the installer cannot name: "
                              "process " + std::to_string(getpid());

  // A write lock held past the wait: the run writes without the lock.
  fly_test::write_file(path, "the program's line\n");
  {
    lock_holder other(path, F_WRLCK, F_SETLK, -1);
    ASSERT_TRUE(other.holds());
    const auto t = std::chrono::steady_clock::now();
    ASSERT_TRUE(xer.open(path));
    const double waited = seconds_since(t);
    EXPECT_GE(waited, 1.0);
    EXPECT_LT(waited, 3.0);
    EXPECT_FALSE(xer.shared());
    xer << "the installer's header\n";
    xer.flush();
    EXPECT_EQ(fly_test::read_file(path),
              "the program's line\n" + unnamed +
                  " started after waiting for it, and its lines follow, written without the "
                  "lock. ----\n\nthe installer's header\n");
    xer.close();
  }

  // A shared lock: no wait, and the file is added to.
  fly_test::write_file(path, "the program's line\n");
  {
    lock_holder other(path, F_RDLCK, F_OFD_SETLK, -1);
    ASSERT_TRUE(other.holds());
    const auto t = std::chrono::steady_clock::now();
    ASSERT_TRUE(xer.open(path));
    EXPECT_LT(seconds_since(t), 0.5);
    EXPECT_FALSE(xer.shared());
    xer << "the installer's header\n";
    xer.close();
    EXPECT_EQ(fly_test::read_file(path), "the program's line\n" + unnamed +
                                             " started, and its lines follow. ----\n\n"
                                             "the installer's header\n");
  }

  // A write lock let go within the wait: the log is this run's alone.
  fly_test::write_file(path, "the program's line\n");
  {
    lock_holder other(path, F_WRLCK, F_SETLK, 300);
    ASSERT_TRUE(other.holds());
    ASSERT_TRUE(xer.open(path));
    EXPECT_FALSE(xer.shared());
    xer << "the installer's header\n";
    xer.close();
    EXPECT_EQ(fly_test::read_file(path), "the installer's header\n");
  }
  xer.open(first);
}

namespace {
size_t thread_count() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}
}  // namespace

// At the user's process limit a fork fails, and so does the log's new
// flusher thread after it: the installer goes on, every line reaching the
// file at once, the callers see the fork's failure, and the flusher comes
// back with the first line written once threads can start again. Run in a
// fresh process of this program (a forked one starts no flusher), as a user
// the limit binds: root's child takes nobody's identity.
TEST(Log, AForkAtTheProcessLimitNeitherAbortsNorLosesALine) {
  if (const char* log = getenv("FLY_LOG_AT_LIMIT")) {
    ASSERT_TRUE(xer.open(log));
    if (getuid() == 0) {
      ASSERT_EQ(setgroups(0, nullptr), 0);
      ASSERT_EQ(setgid(65534), 0);
      ASSERT_EQ(setuid(65534), 0);
    }
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NPROC, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NPROC, &none), 0);
    const size_t threads = thread_count();
    LIN_open_url("http://127.0.0.1:9/");
    ASSERT_EQ(thread_count(), threads - 1) << "the limit did not bind";
    std::string out;
    int start_errno = 0;
    EXPECT_EQ(LIN_run_capture({"true"}, &out, &start_errno, nullptr, nullptr), -1);
    EXPECT_EQ(start_errno, EAGAIN);
    EXPECT_EQ(launch_app("/bin/true", "", 0), EAGAIN);
    xer << "a line at the limit\n";
    EXPECT_NE(fly_test::read_file(log).find("a line at the limit\n"), std::string::npos);
    EXPECT_EQ(thread_count(), threads - 1);

    ASSERT_EQ(setrlimit(RLIMIT_NPROC, &old), 0);
    xer << "the limit lifted\n";
    EXPECT_EQ(thread_count(), threads);
    xer.close();
    return;
  }

  const std::string log = fly_test::sandbox() + "limit_log.txt";
  const std::string out = fly_test::sandbox() + "limit_child.txt";
  const std::string filter = "--gtest_filter=Log.AForkAtTheProcessLimitNeitherAbortsNorLosesALine";
  if (getuid() == 0) chmod(fly_test::sandbox().c_str(), 0755);  // nobody reads the log there
  // All the child needs is made before the fork.
  std::vector<std::string> env_text = {"FLY_LOG_AT_LIMIT=" + log,
                                       "FLY_TEST_TMP=" + fly_test::sandbox()};
  for (char** e = environ; *e; ++e) env_text.push_back(*e);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(out_fd, 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_fd, 1);
    dup2(out_fd, 2);
    execle("/proc/self/exe", "test_UTL", filter.c_str(), static_cast<char*>(nullptr), env.data());
    _exit(127);
  }
  close(out_fd);
  ASSERT_GE(pid, 0);
  int st = 0;
  pid_t got = 0;
  for (int i = 0; i < 600 && (got = waitpid(pid, &st, WNOHANG)) == 0; ++i) UTL_sleep(100);
  if (got != pid) {
    kill(pid, SIGKILL);
    waitpid(pid, &st, 0);
    FAIL() << "the child hung\n" << fly_test::read_file(out);
  }
  ASSERT_TRUE(WIFEXITED(st)) << "signal " << WTERMSIG(st) << "\n" << fly_test::read_file(out);
  EXPECT_EQ(WEXITSTATUS(st), 0) << fly_test::read_file(out);
  const std::string text = fly_test::read_file(log);
  EXPECT_NE(text.find("WARNING: could not start the web browser for http://127.0.0.1:9/"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("WARNING: could not fork to launch /bin/true"), std::string::npos) << text;
  EXPECT_NE(text.find("a line at the limit\nthe limit lifted\n"), std::string::npos) << text;
}
