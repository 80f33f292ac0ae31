#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Linux/lin_url.h"
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
  ASSERT_EQ(fcntl(other, F_OFD_SETLK, &l), 0);
  ASSERT_TRUE(xer.open(path));
  EXPECT_TRUE(xer.shared());
  xer << "the second installer's header\n";
  xer.flush();
  ASSERT_EQ(write(other, "the first installer's next line\n", 32), 32);
  close(other);  // the first has ended: the second still holds the file
  const int third = open(path.c_str(), O_RDWR);
  l.l_type = F_WRLCK;
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
