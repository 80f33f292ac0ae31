#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "Files/md5.h"
#include "Thread/thread.h"
#include "engine_util.h"

using engine_test::sig;
using engine_test::version;
using fly_test::write_file;

namespace {
const std::string kEmpty = "d41d8cd98f00b204e9800998ecf8427e";

std::string md5_of(const std::string& data) {
  write_file("md5.tmp", data);
  std::string h;
  calc_file_md5("md5.tmp", h);
  unlink("md5.tmp");
  return h;
}

// Polls as the wizard does, a frame at a time; false when it never ends.
bool run_check(int quick, int* calls = nullptr) {
  int row = 0;
  float progress = -1;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int n = 1;; ++n) {
    if (checksum_directory(row, quick, progress)) {
      if (calls) *calls = n;
      return true;
    }
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Checksum : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_info.clear();
    set_install_filter(1, 1);
    stg.target_platform = 1;
    dest = fly_test::sandbox() + "work/dest/";
    mkdir(dest.c_str(), 0755);
    dest_dir_path = dest;
  }
  void TearDown() override { checksum_directory_kill(); }
  // A row for the file dest + name, optionally written with data.
  void add(const std::string& name, const std::string& want, const std::string* data = nullptr,
           int platform = 0) {
    if (data) write_file(dest + name, *data);
    sim_info.push_back({version("All/" + name, want, "stale", platform)});
    sim_info.back().back().current = 1;
  }
  const file_version_struct& last(size_t r) { return sim_info[r].back(); }
  std::string dest;
};
}  // namespace

TEST_F(Checksum, MissingInstallFolderMarksEverythingAbsent) {
  dest_dir_path = dest + "nothing/";
  add("a", sig('a'));
  add("b", "GONE");
  add("w", sig('a'), nullptr, 2);  // even rows the filter rejects
  int row = 0;
  float progress = -7;
  EXPECT_EQ(checksum_directory(row, 0, progress), 1);
  EXPECT_EQ(progress, -7);
  EXPECT_EQ(checksum_workers, nullptr);
  for (size_t r = 0; r < sim_info.size(); ++r) {
    EXPECT_EQ(last(r).sig_have, "NONE");
    EXPECT_EQ(last(r).current, 0);
  }
}

TEST_F(Checksum, Md5AndQuickModes) {
  const std::string body = "hello\n", empty, big(65536, 'z');
  add("same", md5_of(body), &body);
  add("changed", md5_of("other"), &body);
  add("empty", kEmpty, &empty);
  add("big", md5_of(big), &big);
  add("missing", md5_of(body));
  mkdir((dest + "folder").c_str(), 0755);
  add("folder", md5_of(body));  // a folder where the file belongs
  symlink("same", (dest + "link").c_str());
  add("link", md5_of("same"));  // a link hashes its text
  symlink("nowhere", (dest + "dangling").c_str());
  add("dangling", md5_of("nowhere"));
  add("gone", "GONE", &body);
  add("gone-absent", "GONE");
  add("windows", md5_of(body), &body, 2);  // left alone

  struct {
    const char* have_md5;  // per row: "w" wanted sum, "N" NONE, "k" kept, "c" computed
    int current[11];
  } modes[] = {
      {"wcwwNNwwcNk", {1, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}},  // MD5
      {"wwwwNNwwwNk", {1, 1, 1, 1, 0, 0, 1, 1, 1, 0, 1}},  // quick: presence only
  };
  for (int quick = 0; quick < 2; ++quick) {
    for (auto& row : sim_info) row.back().sig_have = "stale", row.back().current = 1;
    ASSERT_TRUE(run_check(quick));
    EXPECT_EQ(checksum_workers, nullptr);
    for (size_t r = 0; r < sim_info.size(); ++r) {
      const file_version_struct& v = last(r);
      switch (modes[quick].have_md5[r]) {
        case 'w':
          EXPECT_EQ(v.sig_have, v.sig_want) << quick << " " << v.path;
          break;
        case 'N':
          EXPECT_EQ(v.sig_have, "NONE") << quick << " " << v.path;
          break;
        case 'k':
          EXPECT_EQ(v.sig_have, "stale") << quick << " " << v.path;
          break;
        case 'c':
          EXPECT_EQ(v.sig_have, md5_of(body)) << quick << " " << v.path;
          break;
      }
      EXPECT_EQ(v.current, modes[quick].current[r]) << quick << " " << v.path;
    }
  }
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find(" Start of MD5 at "), std::string::npos);
  EXPECT_NE(log.find(" End of MD5 at "), std::string::npos);
}

TEST_F(Checksum, BatchesAndSlotLimit) {
  const int n = UTL_count_processors();
  const int rows = 45 * n;
  for (int i = 0; i < rows; ++i) add("f" + std::to_string(i), sig('a'));
  int row = 0;
  float progress = -1;
  EXPECT_EQ(checksum_directory(row, 1, progress), 0);
  EXPECT_EQ(row, 40 * n);  // 4 tasks per processor, 10 rows each
  EXPECT_FLOAT_EQ(progress, 40.0f / 45.0f);
  checksum_directory_kill();
  EXPECT_EQ(checksum_workers, nullptr);
  // The rows handed out were checked; the others were not reached.
  EXPECT_EQ(last(0).sig_have, "NONE");
  EXPECT_EQ(last(static_cast<size_t>(rows - 1)).sig_have, "stale");
  checksum_directory_kill();  // nothing running: nothing to do

  // Big files go one or a few to a task.
  sim_info.clear();
  for (int i = 0; i < 45 * n; ++i) {
    add("f" + std::to_string(i), sig('a'));
    sim_info.back().back().size_kb = i < 2 * n ? 6000 : 3000;
  }
  row = 0;
  EXPECT_EQ(checksum_directory(row, 1, progress), 0);
  EXPECT_EQ(row, 2 * n + 2 * (2 * n));  // the 6000 KB files alone, then the others in pairs
  checksum_directory_kill();

  sim_info.clear();
  row = 0;
  EXPECT_EQ(checksum_directory(row, 0, progress), 1);  // an empty model
  EXPECT_EQ(progress, 0);
}

TEST_F(Checksum, FolderVanishingMidCheckDrainsThePool) {
  const std::string data(4096, 'q');
  const std::string want = md5_of(data);
  for (int i = 0; i < 3000; ++i) add("f" + std::to_string(i), want, &data);
  int row = 0;
  float progress = 0;
  ASSERT_EQ(checksum_directory(row, 0, progress), 0);
  ASSERT_EQ(rename(dest.substr(0, dest.size() - 1).c_str(),
                   (dest.substr(0, dest.size() - 1) + "-moved").c_str()),
            0);
  EXPECT_EQ(checksum_directory(row, 0, progress), 1);
  EXPECT_EQ(checksum_workers, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (size_t r = 0; r < sim_info.size(); ++r) {
    ASSERT_EQ(last(r).sig_have, "NONE") << r;
    ASSERT_EQ(last(r).current, 0) << r;
  }
}

TEST_F(Checksum, TasksKeepWhatTheyWereGiven) {
  // The first row is a pipe: its task cannot finish until the test writes it,
  // so the globals surely change while that task is still out.
  add("pipe", kEmpty);
  ASSERT_EQ(mkfifo((dest + "pipe").c_str(), 0600), 0);
  const std::string data = "installed";
  for (int i = 0; i < 50; ++i) add("f" + std::to_string(i), md5_of(data), &data);
  int row = 0;
  float progress = 0;
  ASSERT_EQ(checksum_directory(row, 0, progress), 0);
  ASSERT_EQ(row, 51);
  // The wizard moves on while the tasks run; they check what they were given.
  const std::string other = fly_test::sandbox() + "work/other/";
  mkdir(other.c_str(), 0755);
  dest_dir_path = other;
  set_install_filter(0, 0);
  stg.target_platform = 2;
  const int w = open((dest + "pipe").c_str(), O_WRONLY);  // the task is reading: let it end
  ASSERT_GE(w, 0);
  close(w);
  while (!checksum_directory(row, 0, progress))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (size_t r = 0; r < sim_info.size(); ++r) EXPECT_EQ(last(r).current, 1) << r;
}
