#include <gtest/gtest.h>

#include "GenH/shell.h"
#include "web_util.h"

using fly_test::log_text;
using web_test::put;
using web_test::rand_script;

namespace {
const std::string kHead = "I\n820 version\nSERVERS\n\n";

std::vector<std::string>& opened_urls() {
  static std::vector<std::string> u;
  return u;
}
void record_url(const std::string& url) { opened_urls().push_back(url); }

std::string servers(int n, int first = 0) {
  std::string s;
  for (int i = first; i < first + n; ++i)
    s += "SERVER s" + std::to_string(i) + ".test\n/p" + std::to_string(i) + "/\nServer " +
         std::to_string(i) + "\n";
  return s;
}

class ServerList : public ::testing::Test {
 protected:
  void SetUp() override {
    MACIBM_url_opener = record_url;
    server_rand = web_test::scripted_rand;
    rand_script().clear();
    stg.server_count = -1;
    stg.get_beta = 0;
    install_name = "old";
    app_done = 0;
  }
  void TearDown() override {
    app_done = 0;
    server_rand = rand;
  }
  int read(const std::string& body, const std::string& head = kHead) {
    put("serverlist9.txt", head + body);
    return read_server_list("serverlist9.txt");
  }
};
}  // namespace

TEST_F(ServerList, KeywordsOrderAndCount) {
  struct Case {
    const char* what;
    int beta;
    std::string body;
    int result, count;
    std::string release, path0, last_desc;
  } cases[] = {
      {"final", 0, "BETA b1\nFINAL f1\n" + servers(2), 1, 2, "f1", "/p0/f1/", "Server 1"},
      {"beta", 1, "FINAL f1\n\tBETA  b 1 \n" + servers(2), 1, 2, "b 1 ", "/p0/b 1 /", "Server 1"},
      {"neither kind", 1, "FINAL f1\n" + servers(1), 1, 1, "old", "/p0/old/", "Server 0"},
      {"server before release", 0, servers(1) + "FINAL f1\n", 1, 1, "f1", "/p0/old/",
       "Server 0"},
      {"ten", 0, "FINAL f\n" + servers(10), 1, 10, "f", "/p0/f/", "Server 9"},
      {"eleventh dropped, later lines read", 0, "FINAL f\n" + servers(11) + "FINAL g\n", 1, 10,
       "g", "/p0/f/", "Server 9"},
      {"at the limit", 0, "INS_VERSION 20502 http://new.example/ x\nFINAL f\n" + servers(1), 1,
       1, "f", "/p0/f/", "Server 0"},
      {"bare INS_VERSION", 0, "INS_VERSION\nFINAL f\n" + servers(1), 1, 1, "f", "/p0/f/",
       "Server 0"},
      {"end of list", 0, "FINAL f\n" + servers(2) + "ENDOFLIST\n" + servers(3, 2), 1, 2, "f",
       "/p0/f/", "Server 1"},
      {"not keywords", 0,
       "final x\nFINALS x\nSERVERS a.test\nserver b.test\n/q/\nd\nFINAL f\n" + servers(1), 1, 1,
       "f", "/p0/f/", "Server 0"},
      {"blank lines and CR", 0, "FINAL f\r\rSERVER s0.test\r\n\r\n  /p0/\r\n\r\nServer 0\r", 1,
       1, "f", "/p0/f/", "Server 0"},
      {"bad entries skipped", 0,
       "FINAL f\nSERVER a.test/\n/p/\nd\nSERVER b.test\np/\nd\nSERVER c.test\n/p/../\nd\n"
       "SERVER d e.test\n/p/\nd\n" +
           servers(1),
       1, 1, "f", "/p0/f/", "Server 0"},
      {"no server", 0, "FINAL f\n", 0, -1, "f", "", ""},
      {"only bad servers", 0, "FINAL f\nSERVER a.test/\n/p/\nd\n", 0, -1, "f", "", ""},
      {"unsafe release", 0, "FINAL ../x\n" + servers(1), 1, 1, "old", "/p0/old/", "Server 0"},
  };
  for (const Case& c : cases) {
    SetUp();
    stg.get_beta = c.beta;
    EXPECT_EQ(read(c.body), c.result) << c.what;
    EXPECT_EQ(stg.server_count, c.count) << c.what;
    EXPECT_EQ(install_name, c.release) << c.what;
    if (c.count > 0) {
      EXPECT_EQ(server_name[0], "s0.test") << c.what;
      EXPECT_EQ(server_path[0], c.path0) << c.what;
      EXPECT_EQ(server_desc[c.count - 1], c.last_desc) << c.what;
      EXPECT_EQ(stg.server_choice, 0) << c.what;  // the random source gave 0
    }
    EXPECT_EQ(app_done, 0) << c.what;
  }
  EXPECT_NE(log_text().find("WARNING: skipping the update server \"a.test/\""), std::string::npos);
  EXPECT_NE(log_text().find("\"b.test\" \"p/\""), std::string::npos);
  EXPECT_NE(log_text().find("names no usable server"), std::string::npos);
  EXPECT_TRUE(opened_urls().empty());
}

TEST_F(ServerList, NewInstallerAndNewFormatEndTheProgram) {
  EXPECT_EQ(read("INS_VERSION 20503 http://new.example/up.html x\nFINAL f\n" + servers(2)),
            server_list_new_installer);
  EXPECT_EQ(app_done, 1);
  EXPECT_EQ(stg.server_count, 0);  // the servers after it are not read
  ASSERT_EQ(opened_urls().size(), 1u);
  EXPECT_EQ(opened_urls()[0], "http://new.example/up.html");
  EXPECT_EQ(web_test::alerts_saying(
                "There is a newer version of the Flyvane web updater available."),
            1);

  // An address that is no web page is not opened; the program still ends.
  SetUp();
  opened_urls().clear();
  EXPECT_EQ(read("INS_VERSION 30000 /etc/passwd x\n"), server_list_new_installer);
  EXPECT_EQ(app_done, 1);
  EXPECT_TRUE(opened_urls().empty());

  for (const std::string& head :
       {std::string("I\n821 version\nSERVERS\n\n"), std::string("I\n820 version\nSERVERSX\n\n"),
        std::string("")}) {
    SetUp();
    opened_urls().clear();
    fly_test::clear_alerts();
    EXPECT_EQ(read(servers(1), head), server_list_new_format) << head;
    EXPECT_EQ(stg.server_count, -1);
    EXPECT_EQ(stg.new_format_seen, 2);
    EXPECT_EQ(app_done, 1);
    ASSERT_EQ(fly_test::alerts().size(), 1u);
    EXPECT_EQ(fly_test::alerts()[0].s4, "serverlist9.txt");
    EXPECT_EQ(opened_urls(), std::vector<std::string>{maker_demo_page});
  }
}

TEST_F(ServerList, Picks) {
  struct Case {
    int k, r, biased, uniform;
  } cases[] = {
      {10, 0, 0, 0},        {10, 2147483647, 9, 7}, {10, 1 << 30, 3, 4}, {2, 1 << 30, 0, 0},
      {2, 1717986918, 1, 0}, {1, 2147483647, 0, 0}, {0, 2147483647, 0, 0}, {3, 7, 0, 1},
  };
  for (const Case& c : cases) {
    stg.server_count = c.k;
    rand_script() = {c.r, c.r};
    EXPECT_EQ(biased_server_pick(), c.biased) << c.k << " " << c.r;
    EXPECT_EQ(uniform_server_pick(), c.uniform) << c.k << " " << c.r;
  }
}

// The road against the scripted server: the list, a server that hangs up, a
// server whose archive holds no file list, and the one that works.
TEST_F(ServerList, DownloadDirectoryRoad) {
  const std::string root = fly_test::sandbox() + "hosts/";
  put(root + update_host + "/serverlist9.txt",
      kHead + "FINAL rel\n" +
          "SERVER down.test\n/u/\nDown\nSERVER broken.test\n/u/\nBroken\n"
          "SERVER good.test\n/u/\nGood\nENDOFLIST\n");
  put(root + "down.test/.drop", "");
  web_test::put_zip(root + "broken.test/u/rel/directory.txt.zip", "readme.txt", "no list");
  const std::string list = engine_test::header() + "DIR All/\nFILE 0 0 92102 1 1 " +
                           engine_test::sig('a') + " a.txt\n";
  web_test::put_zip(root + "good.test/u/rel/directory.txt.zip", "directory.txt", list);

  fly_test::script_server srv(60, root);
  ASSERT_TRUE(srv.running());
  http.proxy_host = "127.0.0.1";
  http.proxy_port = srv.port();
  temp_path = fly_test::sandbox() + "tmp/";
  LIN_make_dirs(temp_path);
  put(temp_path + "directory.txt", "a stale list from an earlier road");
  stg.dir_state = 0;
  // down first; the uniform pick gives 1 (broken); after the failed unpack
  // another server: (1 + 1 + 0 % 2) % 3 = 2 (good).
  rand_script() = {0, 1, 0};

  EXPECT_TRUE(web_test::frames_until(UTL_download_directory, [] { return stg.dir_state >= 2; }));
  EXPECT_EQ(stg.dir_state, 3);
  EXPECT_EQ(stg.server_count, 3);
  EXPECT_EQ(stg.server_choice, 2);
  ASSERT_EQ(sim_info.size(), 1u);
  EXPECT_EQ(sim_info[0].back().path, "All/a.txt");
  EXPECT_EQ(web_test::alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_FALSE(fly_test::file_exists(temp_path + "directory.txt.zip"));
  EXPECT_EQ(web_test::requests_for(srv, "/u/rel/directory.txt.zip"), 3);

  // A list with no usable server is fetched again.
  put(root + update_host + "/serverlist9.txt", kHead + "FINAL rel\nSERVER bad.test/\n/u/\nx\n");
  stg.server_count = -1;
  const int before = web_test::requests_for(srv, "/serverlist9.txt");
  EXPECT_TRUE(web_test::frames_until(UTL_download_directory, [&] {
    return web_test::requests_for(srv, "/serverlist9.txt") >= before + 2;
  }));
  EXPECT_EQ(stg.server_count, -1);
}
