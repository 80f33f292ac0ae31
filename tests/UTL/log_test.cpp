#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Thread/thread.h"
#include "UTL/xer.h"
#include "support/test_util.h"

// Threads that come and go, some leaving a partial line behind, while the log
// is closed and opened again: every line in every file is one thread's whole
// line.
TEST(Log, LinesOfManyThreadsStayWholeThroughPartialEndsAndReopening) {
  fly_test::fail_after(20, "log stress hung");
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
