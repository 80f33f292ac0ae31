#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>

#include "engine_util.h"

using namespace engine_test;

static std::string md5_of(const std::string& data) {
  return sh("printf %s " + q(data) + "|md5sum|cut -c1-32");
}

class Checksum : public ::testing::Test {
 protected:
  void SetUp() override { LIN_make_dirs(dest_dir_path = dest), stg.target_platform = 1; }
  void TearDown() override { checksum_directory_kill(); }
  // A row for dest + name, a file holding data unless that is null.
  void add(const std::string& name, const std::string& want, const char* data, int platform = 0) {
    if (data) write_file(dest + name, data);
    sim_info.push_back({version("All/" + name, want, "stale", platform)});
    sim_info.back().back().current = 1;
  }
  const std::string dest = fly_test::sandbox() + "work/dest/";
  int row = 0;
  float progress = 0;
};

TEST_F(Checksum, Md5AndQuickModes) {
  const std::string hello = md5_of("hello");
  add("same", hello, "hello");
  add("changed", md5_of("other"), "hello");
  add("empty", "d41d8cd98f00b204e9800998ecf8427e", "");
  sh("cd " + q(dest) + " && mkdir folder && ln -s same link && ln -s nowhere dangling");
  add("folder", hello, nullptr);         // a folder where the file belongs
  add("link", md5_of("same"), nullptr);  // a link hashes its text
  add("dangling", md5_of("nowhere"), nullptr);
  add("gone", "GONE", "hello");
  add("windows", hello, "hello", 2);  // left alone
  // Per row: w the wanted sum, N "NONE", k kept, h the sum of "hello"; then current.
  const char* modes[] = {"whwNwwhk 10101101", "wwwNwwwk 11101111"};
  for (int quick = 0; quick < 2; ++quick) {
    for (auto& h : sim_info) h.back().sig_have = "stale", h.back().current = 1;
    ASSERT_TRUE(check_all(quick));
    std::string got;
    for (const file_history_struct& h : sim_info) {
      const std::string& have = h.back().sig_have;
      got += have == h.back().sig_want ? 'w' : have == "NONE" ? 'N' : have == hello ? 'h' : 'k';
    }
    got += ' ';
    for (const file_history_struct& h : sim_info) got += static_cast<char>('0' + h.back().current);
    EXPECT_EQ(got, modes[quick]);
  }
}

TEST_F(Checksum, FolderVanishingMidCheckDrainsThePool) {
  const std::string data(4096, 'q'), want = md5_of(data);
  for (int i = 0; i < 3000; ++i) add("f" + std::to_string(i), want, data.c_str());
  ASSERT_EQ(checksum_directory(row, 0, progress), 0);
  ASSERT_EQ(rename(dest.c_str(), (fly_test::sandbox() + "moved").c_str()), 0);
  EXPECT_EQ(checksum_directory(row, 0, progress), 1);
  EXPECT_EQ(checksum_workers, nullptr);  // no task is left to write a row afterwards
  for (const file_history_struct& h : sim_info)
    ASSERT_EQ(h.back().sig_have + std::to_string(h.back().current), "NONE0") << h.back().path;
}

static std::atomic<int> g_hold_first{0};

TEST_F(Checksum, TasksKeepWhatTheyWereGiven) {
  // The first row's task waits: it is surely still out when the globals change.
  g_hold_first = 1;
  checksum_test_hook = [](int row) {
    while (row == 0 && g_hold_first) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  add("first", md5_of("installed"), "installed");
  const std::string sum = md5_of("installed");
  for (int i = 0; i < 50; ++i) add("f" + std::to_string(i), sum, "installed");
  ASSERT_EQ(checksum_directory(row, 0, progress), 0);
  ASSERT_EQ(row, 51);
  // The wizard moves on while the tasks run; they check what they were given.
  LIN_make_dirs(dest_dir_path = fly_test::sandbox() + "work/other/");
  set_install_filter(0, 0);
  stg.target_platform = 2;
  g_hold_first = 0;
  ASSERT_TRUE(frames_until([] {}, [&] { return checksum_directory(row, 0, progress) == 1; }));
  checksum_test_hook = nullptr;
  for (const file_history_struct& h : sim_info) EXPECT_EQ(h.back().current, 1) << h.back().path;
}

TEST_F(Checksum, APipeIsNoInstalledFile) {
  alarm(20);  // reading the pipe would wait for ever
  add("pipe", "d41d8cd98f00b204e9800998ecf8427e", nullptr);
  ASSERT_EQ(mkfifo((dest + "pipe").c_str(), 0600), 0);
  add("ok", md5_of("ok"), "ok");
  for (int quick : {0, 1}) {
    ASSERT_TRUE(check_all(quick));
    EXPECT_EQ(sim_info[0].back().sig_have + std::to_string(sim_info[0].back().current), "NONE0");
    EXPECT_EQ(sim_info[1].back().current, 1);
  }
  EXPECT_THAT(fly_test::log_text(), HasSubstr(dest + "pipe is a pipe or a device, no file"));
  alarm(0);
}

TEST_F(Checksum, ACurrentProgramGetsBackItsExecuteBit) {
  const std::string prog = "Flyvane.app/Contents/MacOS/Flyvane", other = "Resources/plain";
  add(prog, md5_of("elf"), "elf"), add(other, md5_of("txt"), "txt");
  chmod((dest + prog).c_str(), 0644), chmod((dest + other).c_str(), 0644);
  ASSERT_TRUE(check_all());
  struct stat st;
  ASSERT_EQ(stat((dest + prog).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  ASSERT_EQ(stat((dest + other).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}
