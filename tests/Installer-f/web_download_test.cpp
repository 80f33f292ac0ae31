#include <gtest/gtest.h>
#include <sys/stat.h>

#include "web_util.h"

namespace {
std::string root() { return fly_test::sandbox() + "hosts/"; }
// Servers s0..s2 hold the release under /rel/.
void setup() {
  temp_path = fly_test::sandbox() + "tmp/";
  dest_dir_path = fly_test::sandbox() + "copy/";
  LIN_make_dirs(temp_path);
  stg.server_count = 3;
  stg.server_choice = 0;
  for (int i = 0; i < 3; ++i) server_name[i] = "s" + std::to_string(i) + ".test";
  for (std::string& p : server_path) p = "/rel/";
  server_rand = web_test::scripted_rand;
  sim_info.clear();
  stg.extract_failed = 0;
  fly_test::clear_alerts();
}
// A row to install (or to skip), its archive on the servers listed.
void row(const std::string& path, int install, const std::string& data = "",
         const std::vector<int>& on = {}) {
  sim_info.push_back({engine_test::version(path, engine_test::sig('a'), "NONE")});
  sim_info.back().back().to_install = install;
  for (int s : on)
    web_test::put_zip(root() + server_name[s] + "/rel/" + path + ".zip",
                      path.substr(path.rfind('/') + 1), data);
}
int run() {
  int r = 0;
  web_test::frames_until([&] { r = grab_files(); }, [&] { return r != 0; });
  return r;
}
}  // namespace

// Each file is fetched once; a failing row stays on its stream and moves
// through the servers; one that no server has is given up and reported; a
// bad archive stops the run and leaves its row not installed.
TEST(WebDownload, RowsFailuresAndServers) {
  setup();
  row("All/a.txt", 1, "from s1", {1, 2});
  row("All/b.txt", 1, "bee", {0, 1, 2});
  row("All/missing.txt", 1);
  row("All/F.app/Contents/MacOS/F", 1, "#!", {0, 1, 2});
  row("All/bad.txt", 1);
  for (int s = 0; s < 3; ++s)
    web_test::put(root() + server_name[s] + "/rel/All/bad.txt.zip", "PK\x03\x04 no archive");
  fly_test::script_server srv(60, root());
  ASSERT_TRUE(srv.running());
  http.proxy_host = "127.0.0.1";
  http.proxy_port = srv.port();
  ASSERT_EQ(make_dirs(), 0);
  web_download_reset();
  stg.stream_count = 1;  // two streams start, one goes on: bad.txt comes last
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(stg.extract_failed, 1);
  EXPECT_EQ(web_test::alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_EQ(run() + next.finished, 2);

  EXPECT_EQ(
      fly_test::read_file(dest_dir_path + "a.txt") + fly_test::read_file(dest_dir_path + "b.txt"),
      "from s1bee");
  struct stat st;
  EXPECT_EQ(stat((dest_dir_path + "F.app/Contents/MacOS/F").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  for (int r = 0; r < 5; ++r) {
    const int got = r != 2 && r != 4;
    EXPECT_EQ(sim_info[r].back().current, got) << r;
    EXPECT_EQ(sim_info[r].back().sig_have, got ? engine_test::sig('a') : "NONE") << r;
  }
  const std::string asked = web_test::requests(srv);
  for (const auto& [file, n] : std::vector<std::pair<std::string, int>>{
           {"a.txt", 2}, {"b.txt", 1}, {"missing.txt", 3}, {"MacOS/F", 1}, {"bad.txt", 1}})
    EXPECT_EQ(web_test::count(asked, file + ".zip HTTP/1.1"), n) << file;
  EXPECT_EQ(web_download_given_up(), std::vector<std::string>{"/rel/All/missing.txt.zip"});
  EXPECT_EQ(web_test::alerts_saying("The installer cannot download a file."), 1);
  for (int i = 0; i < 4; ++i)
    EXPECT_FALSE(fly_test::file_exists(temp_path + std::to_string(i) + ".zip"));
}

TEST(WebDownload, StreamCountsAndNoServer) {
  const struct {
    int setting;
    float rate;
    int most;
  } cases[] = {{1, 0, 1}, {7, 0, 4}, {0, 1000, 4}, {0, 0, 2}, {3, 0, 3}};
  for (const auto& c : cases) {
    setup();
    for (int i = 0; i < 40; ++i) row("All/f" + std::to_string(i), 0);
    stg.stream_count = c.setting;
    web_download_reset();
    next.done_zip_kb = c.rate;  // the clock stands still: KB in the first second
    int most = 0, r = 0;
    for (int pass = 0; r == 0 && pass < 1000; ++pass) {
      r = grab_files();
      int n = 0;
      for (int a : next.stream_active) n += a;
      most = std::max(most, n);
    }
    EXPECT_EQ(r * 100 + next.next_row, 140);
    EXPECT_EQ(most, c.most) << c.setting << " " << c.rate;
  }
  setup();
  row("All/a.txt", 1);
  stg.server_count = 0;
  web_download_reset();
  EXPECT_EQ(run(), 1);  // given up without a server to index
  EXPECT_EQ(web_download_given_up().size(), 1u);
  sim_info.clear();
  web_download_reset();
  EXPECT_EQ(grab_files(), 1);
}
