#include <gtest/gtest.h>

#include "GenH/shell.h"
#include "web_util.h"

using web_test::put;

namespace {
const std::string H = "I\n820 version\nSERVERS\n\n";
std::vector<std::string> opened;
void record_url(const std::string& url) { opened.push_back(url); }
std::string servers(int n, int first = 0) {
  std::string s;
  for (int i = first; i < first + n; ++i)
    s += "SERVER s" + std::to_string(i) + ".test\n/p" + std::to_string(i) + "/\nServer " +
         std::to_string(i) + "\n";
  return s;
}
void fresh() {
  MACIBM_url_opener = record_url;
  server_rand = web_test::scripted_rand;
  stg.server_count = -1;
  install_name = "old";
  app_done = 0;
}
}  // namespace

TEST(ServerList, KeywordsOrderCountsAndEnds) {
  const struct {
    int beta;
    std::string text;
    int result, count;
    const char *release, *path0;
  } cases[] = {
      {0, H + "BETA b\nFINAL f\n" + servers(2), 1, 2, "f", "/p0/f/"},
      {1, H + "FINAL f\n\tBETA  b 1 \n" + servers(2), 1, 2, "b 1 ", "/p0/b 1 /"},
      {1, H + "FINAL f\n" + servers(1), 1, 1, "old", "/p0/old/"},
      {0, H + servers(1) + "FINAL f\n", 1, 1, "f", "/p0/old/"},
      {0, H + "FINAL f\n" + servers(10), 1, 10, "f", "/p0/f/"},
      {0, H + "FINAL f\n" + servers(11) + "FINAL g\n", 1, 10, "g", "/p0/f/"},
      {0, H + "INS_VERSION 20502 http://n.example/ x\nINS_VERSION\nFINAL f\n" + servers(1), 1, 1,
       "f", "/p0/f/"},
      {0, H + "FINAL f\n" + servers(1) + "ENDOFLIST\n" + servers(3, 1), 1, 1, "f", "/p0/f/"},
      {0,
       H + "final x\nFINALS x\nSERVERS a.test\nserver b.test\n/q/\nd\n"
           "FINAL f\r\rSERVER s0.test\r\n\r\n  /p0/\r\n\r\nServer 0\r",
       1, 1, "f", "/p0/f/"},
      {0,
       H +
           "FINAL ../x\nSERVER a.test/\n/p/\nd\nSERVER b.test\np/\nd\nSERVER c.test\n/p/../\nd\n"
           "SERVER d e.test\n/p/\nd\n" +
           servers(1),
       1, 1, "old", "/p0/old/"},
      {0, H + "FINAL f\nSERVER a.test/\n/p/\nd\n", 0, -1, "f", ""},
      {0, H + "INS_VERSION 20503 http://n.example/u.html x\n" + servers(1), -2, 0, "old", ""},
      {0, H + "INS_VERSION 30000 /etc/passwd x\n", -2, 0, "old", ""},
      {0, "I\n821 version\nSERVERS\n\n" + servers(1), -1, -1, "old", ""},
      {0, "I\n820 version\nSERVERSX\n\n" + servers(1), -1, -1, "old", ""},
  };
  for (const auto& c : cases) {
    fresh();
    stg.get_beta = c.beta;
    put("serverlist9.txt", c.text);
    EXPECT_EQ(read_server_list("serverlist9.txt"), c.result) << c.text;
    EXPECT_EQ(stg.server_count, c.count) << c.text;
    EXPECT_EQ(install_name, c.release) << c.text;
    EXPECT_EQ(app_done.load(), int(c.result < 0)) << c.text;
    const int last = c.count - 1;
    if (last < 0) continue;
    EXPECT_EQ(server_path[0], c.path0) << c.text;
    EXPECT_EQ(server_name[last] + server_desc[last],
              "s" + std::to_string(last) + ".testServer " + std::to_string(last))
        << c.text;
  }
  EXPECT_EQ(opened, (std::vector<std::string>{"http://n.example/u.html", maker_demo_page,
                                              maker_demo_page}));
  EXPECT_EQ(fly_test::alerts().back().s4, "serverlist9.txt");
  EXPECT_NE(fly_test::log_text().find("server \"b.test\" \"p/\""), std::string::npos);

  const struct {
    int k, r, biased, uniform;
  } picks[] = {{10, 0, 0, 0},        {10, 2147483647, 9, 7}, {10, 1 << 30, 3, 4},
               {2, 1 << 30, 0, 0},   {2, 1717986918, 1, 0},  {1, 2147483647, 0, 0},
               {0, 2147483647, 0, 0}};
  for (const auto& c : picks) {
    stg.server_count = c.k;
    web_test::rand_script = {c.r, c.r};
    EXPECT_EQ(biased_server_pick() * 100 + uniform_server_pick(), c.biased * 100 + c.uniform)
        << c.k << " " << c.r;
  }
}

// A server that hangs up, one whose archive holds no file list, one that works.
TEST(ServerList, DownloadDirectoryRoad) {
  const std::string root = fly_test::sandbox() + "hosts/";
  put(root + update_host + "/serverlist9.txt",
      H + "FINAL r\nSERVER down.test\n/u/\nD\nSERVER bad.test\n/u/\nB\nSERVER ok.test\n/u/\nG\n");
  put(root + "down.test/.drop", "");
  web_test::put_zip(root + "bad.test/u/r/directory.txt.zip", "readme.txt", "no list");
  web_test::put_zip(root + "ok.test/u/r/directory.txt.zip", "directory.txt",
                    engine_test::header() + "DIR All/\nFILE 0 0 1 1 1 GONE a.txt\n");
  fly_test::script_server srv(60, root);
  ASSERT_TRUE(srv.running());
  http.proxy_host = "127.0.0.1";
  http.proxy_port = srv.port();
  temp_path = fly_test::sandbox() + "tmp/";
  put(temp_path + "directory.txt", "a stale list of an earlier road");
  fresh();
  web_test::rand_script = {0, 1, 0};  // down; uniform 1; past it, (1 + 1 + 0) % 3
  EXPECT_TRUE(web_test::frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
  EXPECT_EQ(stg.dir_state * 10 + stg.server_choice, 32);
  EXPECT_EQ(sim_info.size(), 1u);
  EXPECT_EQ(web_test::alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_FALSE(fly_test::file_exists(temp_path + "directory.txt.zip"));
}
