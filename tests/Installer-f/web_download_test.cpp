#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "web_util.h"

using fly_test::file_exists;
using fly_test::read_file;
using web_test::put;
using web_test::put_zip;

namespace {
class WebDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fly_test::sandbox() + "hosts/";
    temp_path = fly_test::sandbox() + "tmp/";
    dest_dir_path = fly_test::sandbox() + "copy/";
    LIN_make_dirs(temp_path);
    LIN_make_dirs(dest_dir_path);
    stg.server_count = 3;
    stg.server_choice = 0;
    for (int i = 0; i < 3; ++i) {
      server_name[i] = "s" + std::to_string(i) + ".test";
      server_path[i] = "/rel/";
    }
    server_rand = web_test::scripted_rand;
    web_test::rand_script().clear();
    stg.stream_count = 0;
    stg.log_actions = 1;
    sim_info.clear();
  }
  void TearDown() override { server_rand = rand; }

  // A row of the model; data goes onto the listed servers.
  void row(const std::string& path, int install, int del, const std::string& data = "",
           const std::vector<int>& on = {}) {
    sim_info.push_back({engine_test::version(path, web_test::md5_of_text(data), "NONE")});
    sim_info.back().back().to_install = install;
    sim_info.back().back().to_delete = del;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    for (int s : on) put_zip(root + server_name[s] + "/rel/" + path + ".zip", name, data);
  }
  void serve() {
    srv = std::make_unique<fly_test::script_server>(60, root);
    ASSERT_TRUE(srv->running());
    http.proxy_host = "127.0.0.1";
    http.proxy_port = srv->port();
  }
  int active() const {
    return static_cast<int>(std::count(next.stream_active, next.stream_active + 4, 1));
  }

  std::string root;
  std::unique_ptr<fly_test::script_server> srv;
};
}  // namespace

// Every file is fetched once; a failing row stays on its stream and moves
// through the servers; one that no server has is given up and reported.
TEST_F(WebDownload, RowsFromTheServersAndFailures) {
  row("All/a.txt", 1, 0, "a from s1", {1, 2});
  row("All/b.txt", 1, 0, "bee", {0, 1, 2});
  row("All/sub/deep/gone.txt", 0, 1);
  row("All/keep/old.txt", 0, 1);
  row("All/here.txt", 0, 0);
  sim_info.back().back().current = 1;
  row("All/missing.txt", 1, 0, "nowhere");
  row("All/Flyvane.app/Contents/MacOS/Flyvane", 1, 0, "#!", {0, 1, 2});
  put(dest_dir_path + "sub/deep/gone.txt", "x");
  put(dest_dir_path + "keep/old.txt", "x");
  put(dest_dir_path + "keep/mine.txt", "the user's");
  serve();
  ASSERT_EQ(make_dirs(), 0);  // as the wizard does first
  web_download_reset();

  EXPECT_EQ(web_test::run_grab_files(), 1);
  EXPECT_EQ(next.finished, 1);
  EXPECT_EQ(read_file(dest_dir_path + "a.txt"), "a from s1");
  EXPECT_EQ(read_file(dest_dir_path + "b.txt"), "bee");
  const std::string app = dest_dir_path + "Flyvane.app/Contents/MacOS/Flyvane";
  EXPECT_EQ(read_file(app), "#!");
  struct stat st;
  ASSERT_EQ(stat(app.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_FALSE(file_exists(dest_dir_path + "sub"));
  EXPECT_FALSE(file_exists(dest_dir_path + "keep/old.txt"));
  EXPECT_TRUE(file_exists(dest_dir_path + "keep/mine.txt"));
  EXPECT_FALSE(file_exists(dest_dir_path + "missing.txt"));
  for (int r : {0, 1, 6}) {
    EXPECT_EQ(sim_info[r].back().current, 1) << r;
    EXPECT_EQ(sim_info[r].back().sig_have, sim_info[r].back().sig_want) << r;
  }
  EXPECT_EQ(sim_info[2].back().sig_have, "NONE");
  EXPECT_EQ(sim_info[5].back().current, 0);
  EXPECT_EQ(sim_info[5].back().sig_have, "NONE");

  EXPECT_EQ(web_test::requests_for(*srv, "/rel/All/b.txt.zip"), 1);
  EXPECT_EQ(web_test::requests_for(*srv, "/Contents/MacOS/Flyvane.zip"), 1);
  EXPECT_EQ(web_test::requests_for(*srv, "/rel/All/a.txt.zip"), 2);
  EXPECT_EQ(web_test::requests_for(*srv, "/rel/All/missing.txt.zip"), 3);
  EXPECT_EQ(web_download_given_up(), std::vector<std::string>{"/rel/All/missing.txt.zip"});
  EXPECT_EQ(web_test::alerts_saying("The installer cannot download a file."), 1);
  EXPECT_EQ(stg.extract_failed, 1);  // the update is one with problems
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(file_exists(temp_path + std::to_string(i) + ".zip"));
  EXPECT_NE(fly_test::log_text().find("cleanup: DELETING  file " + dest_dir_path + "sub/"),
            std::string::npos);
}

TEST_F(WebDownload, StreamCountFollowsTheSettingAndTheRate) {
  struct Case {
    int stream_count;
    float done_kb;
    int most;
  } cases[] = {{1, 0, 1}, {7, 0, 4}, {0, 1000, 4}, {0, 0, 2}, {3, 0, 3}};
  for (const Case& c : cases) {
    SetUp();
    for (int i = 0; i < 40; ++i) row("All/f" + std::to_string(i), 0, 0);
    stg.stream_count = c.stream_count;
    web_download_reset();
    next.done_zip_kb = c.done_kb;
    int most = 0, r = 0, passes = 0;
    while (r == 0 && passes < 1000) {
      r = grab_files();
      ++passes;
      most = std::max(most, active());
    }
    EXPECT_EQ(r, 1) << c.stream_count;
    EXPECT_EQ(most, c.most) << c.stream_count << " " << c.done_kb;
    EXPECT_EQ(next.next_row, 40);
    EXPECT_EQ(stg.current_action, 3);
  }
  sim_info.clear();
  web_download_reset();
  EXPECT_EQ(grab_files(), 1);  // nothing to do: done at once
}

TEST_F(WebDownload, BadArchiveStopsAndNoServerNeverIndexes) {
  row("All/bad.txt", 1, 0);
  put(root + "s0.test/rel/All/bad.txt.zip", "PK\x03\x04 not an archive");
  row("All/next.txt", 1, 0, "n", {0});
  serve();
  web_download_reset();
  stg.stream_count = 1;
  EXPECT_EQ(web_test::run_grab_files(), 1);
  EXPECT_EQ(stg.extract_failed, 1);
  EXPECT_EQ(sim_info[0].back().current, 0);
  EXPECT_EQ(sim_info[0].back().sig_have, "NONE");
  EXPECT_EQ(web_test::alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_FALSE(file_exists(temp_path + "0.zip"));
  EXPECT_FALSE(file_exists(dest_dir_path + "bad.txt"));

  stg.extract_failed = 0;
  stg.server_count = 0;
  stg.server_choice = 0;
  web_download_reset();
  EXPECT_EQ(web_test::run_grab_files(), 1);
  EXPECT_EQ(web_download_given_up().size(), 2u);
  EXPECT_EQ(stg.extract_failed, 1);
}
