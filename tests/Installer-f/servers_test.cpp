#include "GenH/shell.h"
#include "engine_util.h"

using namespace engine_test;

const std::string H = "I\n820 version\nSERVERS\n\n";
static std::vector<std::string> opened;  // what new_installer sent to the browser
static std::string servers(int n, int first = 0) {
  std::string s;
  for (int i = first; i < first + n; ++i)
    s += "SERVER s" + std::to_string(i) + ".test\n/p" + std::to_string(i) + "/\nServer " +
         std::to_string(i) + "\n";
  return s;
}
static void fresh() {
  MACIBM_url_opener = [](const std::string& url) { opened.push_back(url); };
  server_rand = scripted_rand, stg.server_count = -1, install_name = "old", app_done = 0;
}

TEST(ServerList, KeywordsOrderCountsAndEnds) {
  const std::string junk = "final x\nFINALS x\nSERVERS a.test\nserver b.test\n/q/\nd\nFINAL f\r\r";
  const std::string bad =  // entries that are skipped
      "FINAL ../x\nSERVER a.test/\n/p/\nd\nSERVER b.test\np/\nd\nSERVER c.test\n/p/../\nd\n"
      "SERVER d e.test\n/p/\nd\n";
  const struct {
    int beta;
    std::string text;
    int result, count;
    const char *release, *path0;
  } cases[] = {
      {0, H + "BETA b\nFINAL f\n" + servers(2), 1, 2, "f", "/p0/f/"},
      {1, H + "FINAL f\n" + servers(1), 1, 1, "old", "/p0/old/"},
      {0, H + servers(1) + "FINAL f\n", 1, 1, "f", "/p0/old/"},
      {0, H + "FINAL f\n" + servers(11) + "FINAL g\n", 1, 10, "g", "/p0/f/"},
      {0, H + "INS_VERSION 20502 n x\nINS_VERSION\nFINAL f\n" + servers(1), 1, 1, "f", "/p0/f/"},
      {0, H + "FINAL f\n" + servers(1) + "ENDOFLIST\n" + servers(3, 1), 1, 1, "f", "/p0/f/"},
      {0, H + junk + "SERVER s0.test\r\n\r\n  /p0/\r\n\r\nServer 0\r", 1, 1, "f", "/p0/f/"},
      {0, H + bad + servers(1), 1, 1, "old", "/p0/old/"},
      {0, H + "FINAL f\nSERVER a.test/\n/p/\nd\n", 0, -1, "f", ""},
      {0, H + "INS_VERSION 20503 http://n/u.html x\n" + servers(1), -2, 0, "old", ""},
      {0, H + "INS_VERSION 30000 /etc/passwd x\n", -2, 0, "old", ""},
      {0, "I\n821 version\nSERVERS\n\n" + servers(1), -1, -1, "old", ""},
      {0, "I\n820 version\nSERVERSX\n\n" + servers(1), -1, -1, "old", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    fresh();
    stg.get_beta = c.beta;
    write_file("serverlist9.txt", c.text);
    EXPECT_EQ(read_server_list("serverlist9.txt") * 10 + stg.server_count, c.result * 10 + c.count);
    EXPECT_EQ(install_name, c.release);
    EXPECT_EQ(app_done.load(), int(c.result < 0));
    const int last = c.count - 1;
    if (last < 0) continue;
    EXPECT_EQ(server_path[0], c.path0);
    EXPECT_EQ(server_name[last] + server_desc[last],
              "s" + std::to_string(last) + ".testServer " + std::to_string(last));
  }
  EXPECT_EQ(opened,
            (std::vector<std::string>{"http://n/u.html", maker_demo_page, maker_demo_page}));

  // The picks with the largest random value: none past the last server.
  for (const auto& [k, picks] : {std::pair{0, 0}, {1, 0}, {2, 101}, {10, 907}}) {
    stg.server_count = k, rand_script = {2147483647, 2147483647};
    EXPECT_EQ(biased_server_pick() * 100 + uniform_server_pick(), picks) << k;
  }
}

// A server that hangs up, one whose archive holds no file list, one that works.
TEST(ServerList, DownloadDirectoryRoad) {
  const std::string root = fly_test::sandbox() + "hosts/";
  write_file(root + update_host + "/serverlist9.txt",
      H + "FINAL r\nSERVER down.test\n/u/\nD\nSERVER bad.test\n/u/\nB\nSERVER ok.test\n/u/\nG\n");
  write_file(root + "down.test/.drop", "");
  put_zip(root + "bad.test/u/r/directory.txt.zip", "readme.txt", "no list");
  put_zip(root + "ok.test/u/r/directory.txt.zip", "directory.txt",
          header() + "DIR All/\nFILE 0 0 1 1 1 GONE a.txt\n");
  fly_test::script_server srv(60, root);
  ASSERT_TRUE(fly_test::proxy_to(srv));
  temp_path = fly_test::sandbox() + "tmp/";
  write_file(temp_path + "directory.txt", "a stale list of an earlier road");
  fresh();
  rand_script = {0, 1, 0};  // down; uniform 1; past it, (1 + 1 + 0) % 3
  EXPECT_TRUE(frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
  EXPECT_EQ(stg.dir_state * 10 + stg.server_choice, 32);
  EXPECT_EQ(sim_info.size(), 1u);
  EXPECT_EQ(alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_FALSE(fly_test::file_exists(temp_path + "directory.txt.zip"));
}

// Through a proxy or a cache the lists come chunked; one cut before its last chunk is a failed
// download, never a list to unpack.
TEST(ServerList, ChunkedListsAndACutOne) {
  const std::string root = fly_test::sandbox() + "chunked-hosts/";
  write_file(root + update_host + "/serverlist9.txt",
             H + "FINAL r\nSERVER cut.test\n/u/\nC\nSERVER ok.test\n/u/\nG\n");
  const std::string list = header() + "DIR All/\nFILE 0 0 1 1 1 GONE a.txt\n";
  put_zip(root + "cut.test/u/r/directory.txt.zip", "directory.txt", list);
  put_zip(root + "ok.test/u/r/directory.txt.zip", "directory.txt", list);
  for (const std::string& host : {update_host, std::string("ok.test")})
    write_file(root + host + "/.chunked", "");
  write_file(root + "cut.test/.chunked", "cut");
  fly_test::script_server srv(60, root);
  ASSERT_TRUE(fly_test::proxy_to(srv));
  temp_path = fly_test::sandbox() + "tmp/";
  fresh();
  rand_script = {0, 1};  // cut.test, then the uniform pick's 1 % 2
  EXPECT_TRUE(frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
  EXPECT_EQ(stg.dir_state * 10 + stg.server_choice, 31);
  EXPECT_EQ(sim_info.size(), 1u);
  EXPECT_EQ(alerts_saying("The installer cannot extract a file."), 0);
  int cut_asked = 0;
  for (const std::string& r : srv.requests()) cut_asked += r.find("//cut.test/") != r.npos;
  EXPECT_EQ(cut_asked, 1);
}

// Polled as fast as a frame loop can, hosts that fail are asked again only
// after their pause (1 s, 2 s, 4 s...), and each failure is logged once.
TEST(ServerList, FailedHostsWaitBeforeTheyAreAskedAgain) {
  const std::string root = fly_test::sandbox() + "hosts/";
  write_file(root + update_host + "/.drop", "");
  write_file(root + "up2.test/serverlist9.txt",
             H + "FINAL r\nSERVER gone.test\n/u/\nG\nSERVER drop.test\n/u/\nD\n");
  write_file(root + "gone.test/u/.keep", "");  // answers 404
  write_file(root + "drop.test/.drop", "");
  fly_test::script_server srv(60, root);
  ASSERT_TRUE(fly_test::proxy_to(srv));
  temp_path = fly_test::sandbox() + "tmp/";
  fresh();
  const auto poll_for = [](double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end)
      UTL_download_directory(), std::this_thread::sleep_for(std::chrono::microseconds(300));
  };
  const size_t log_before = fly_test::log_text().size();
  poll_for(5);
  EXPECT_EQ(stg.server_count, -1);
  EXPECT_LE(srv.requests().size(), 4u);  // at 0, 1 and 3 s
  EXPECT_GE(srv.requests().size(), 2u);
  EXPECT_LT(fly_test::log_text().size() - log_before, 4000u);

  update_host = "up2.test";
  const size_t asked = srv.requests().size();
  poll_for(2.5);
  EXPECT_EQ(stg.server_count * 10 + stg.dir_state, 20);
  int lists = 0;
  for (const std::string& r : srv.requests()) lists += r.find("/u/r/directory.txt.zip") != r.npos;
  EXPECT_EQ(srv.requests().size() - asked, 1u + lists);
  EXPECT_GE(lists, 2);
  EXPECT_LE(lists, 4);  // each server at 0 and 1 s
  EXPECT_EQ(alerts_saying("File not found!"), 1);
}

// A path or release name with a control byte would reach the request line.
TEST(ServerList, ControlBytesMakeAnEntryUnusable) {
  for (const char* bad : {"/p\t0/", "/p\x01/", "/p\x7f/"}) {
    fresh();
    write_file("serverlist9.txt", H + "FINAL f\nSERVER a.test\n" + bad + "\nA\n" + servers(1));
    EXPECT_EQ(read_server_list("serverlist9.txt"), 1);
    EXPECT_EQ(stg.server_count * 100 + stg.server_choice, 100);
    EXPECT_EQ(server_name[0] + server_path[0], "s0.test/p0/f/");
  }
  EXPECT_THAT(fly_test::log_text(), HasSubstr("WARNING: skipping the update server \"a.test\" "
                                              "\"/p\t0/\" of the server list: a path with a "
                                              "control character in it."));
  fresh();
  write_file("serverlist9.txt", H + "FINAL f\tg\n" + servers(1));
  EXPECT_EQ(read_server_list("serverlist9.txt"), 1);
  EXPECT_EQ(server_path[0], "/p0/old/");
}
