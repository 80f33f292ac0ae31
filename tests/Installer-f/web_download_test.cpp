#include "Linux/lin_time.h"
#include "UTL/xtim.h"
#include "engine_util.h"

using namespace engine_test;

// The pauses between tries pass twenty times faster.
static uint64_t fast_clock() { return LIN_microseconds() * 20; }

static std::string root() { return fly_test::sandbox() + "hosts/"; }
// Servers s0..s2 hold the release under /rel/.
static void setup() {
  LIN_make_dirs(temp_path = fly_test::sandbox() + "tmp/");
  dest_dir_path = fly_test::sandbox() + "copy/";
  stg.server_count = 3, stg.server_choice = 0, stg.extract_failed = 0, server_rand = scripted_rand;
  for (int i = 0; i < 3; ++i)
    server_name[i] = "s" + std::to_string(i) + ".test", server_path[i] = "/rel/";
  sim_info.clear();
}
static std::string md5_of(const std::string& data) {
  write_file(fly_test::sandbox() + "sum.in", data);
  return md5sum_of(fly_test::sandbox() + "sum.in");
}
// A row for All/name to install (or to skip), its archive on the servers listed.
static void row(const std::string& name, int install, const std::string& data = "",
                const std::vector<int>& on = {}) {
  sim_info.push_back({version("All/" + name, data.empty() ? sig('a') : md5_of(data), "NONE")});
  sim_info.back().back().to_install = install;
  for (int s : on) put_zip(root() + server_name[s] + "/rel/All/" + name + ".zip", name, data);
}
static int run() {
  int r = 0;
  frames_until([&] { r = grab_files(); }, [&] { return r != 0; });
  return r;
}

// Each file is fetched once; a failing row stays on its stream, is asked again
// after a pause a few times, then tries the next server, and is given up after
// the last; a bad archive stops the run.
TEST(WebDownload, RowsFailuresAndServers) {
  xtim_set_clock(fast_clock);
  setup();
  row("a.txt", 1, "from s1", {1, 2});
  row("b.txt", 1, "bee", {0, 1, 2});
  row("missing.txt", 1);
  row("bad.txt", 1);
  for (int s = 0; s < 3; ++s)
    write_file(root() + server_name[s] + "/rel/All/bad.txt.zip", "PK\x03\x04 no archive");
  fly_test::script_server srv(60, root());
  ASSERT_TRUE(fly_test::proxy_to(srv));
  ASSERT_EQ(make_dirs(), 0);
  web_download_reset();
  stg.stream_count = 1;  // two streams start, one goes on: bad.txt comes last
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(stg.extract_failed, 1);
  EXPECT_EQ(alerts_saying("The installer cannot extract a file."), 1);
  EXPECT_EQ(run() + next.finished, 2);

  EXPECT_EQ(read_file(dest_dir_path + "a.txt") + read_file(dest_dir_path + "b.txt"), "from s1bee");
  for (int r = 0; r < 4; ++r)  // missing.txt and bad.txt are not installed
    EXPECT_EQ(sim_info[r].back().sig_have + std::to_string(sim_info[r].back().current),
              r >= 2 ? "NONE0" : sim_info[r].back().sig_want + "1");
  const auto asked = [&](const std::string& file) {
    return std::stoi(sh("cat " + q(srv.record_dir()) + "req-* | grep -cF /All/" + file + ".txt.zip"));
  };
  // a: four tries on s0, then s1; missing: a few tries on each server.
  EXPECT_EQ(asked("a") * 100 + asked("b") * 10 + asked("bad"), 511);
  EXPECT_GE(asked("missing"), 6);
  EXPECT_LE(asked("missing"), 12);
  EXPECT_EQ(web_download_given_up(), std::vector<std::string>{"/rel/All/missing.txt.zip"});
  EXPECT_EQ(alerts_saying("The installer cannot download a file."), 1);
  EXPECT_EQ(sh("ls -A " + q(temp_path)), "");
}

// A server that sends a valid archive of the right name with other content
// (a stale mirror): the installed file stays whole and the file is fetched
// from another server, or given up when none has it right.
TEST(WebDownload, WrongContentIsAFailedDownloadOfThatFile) {
  xtim_set_clock(fast_clock);
  setup();
  row("a.txt", 1, "new a");
  row("b.txt", 1, "new b");
  put_zip(root() + "s0.test/rel/All/a.txt.zip", "a.txt", "stale a");
  put_zip(root() + "s1.test/rel/All/a.txt.zip", "a.txt", "new a");
  for (int s = 0; s < 3; ++s)
    put_zip(root() + server_name[s] + "/rel/All/b.txt.zip", "b.txt", "stale b");
  write_file(dest_dir_path + "a.txt", "old a");
  write_file(dest_dir_path + "b.txt", "old b");
  fly_test::script_server srv(60, root());
  ASSERT_TRUE(fly_test::proxy_to(srv));
  web_download_reset();
  stg.stream_count = 1;
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(read_file(dest_dir_path + "a.txt") + read_file(dest_dir_path + "b.txt"), "new aold b");
  EXPECT_EQ(sim_info[0].back().current * 10 + sim_info[1].back().current, 10);
  EXPECT_EQ(sim_info[1].back().sig_have, "NONE");
  EXPECT_EQ(web_download_given_up(), std::vector<std::string>{"/rel/All/b.txt.zip"});
  EXPECT_EQ(stg.extract_failed, 1);
  EXPECT_EQ(alerts_saying("The installer cannot download a file."), 1);
  EXPECT_EQ(alerts_saying("The installer cannot extract a file."), 0);
  const std::string log = fly_test::log_text();
  for (int s = 0; s < 3; ++s)
    EXPECT_THAT(log, HasSubstr("WARNING: " + server_name[s] + " sent /rel/All/b.txt.zip for " +
                               dest_dir_path + "b.txt with the MD5 " + md5_of("stale b") +
                               " where the file list has " + md5_of("new b")));
  EXPECT_EQ(sh("ls -A " + q(dest_dir_path)), "a.txt\nb.txt");  // no temporary left
  EXPECT_EQ(sh("ls -A " + q(temp_path)), "");
}

TEST(WebDownload, StreamCountsAndNoServer) {
  // The stream setting (0: adaptive), the KB done in the first second, the most streams seen.
  const std::tuple<int, float, int> cases[] = {
      {1, 0, 1}, {7, 0, 4}, {0, 1000, 4}, {0, 0, 2}, {3, 0, 3}};
  for (const auto& [setting, rate, most_streams] : cases) {
    setup();
    for (int i = 0; i < 40; ++i) row("f" + std::to_string(i), 0);
    stg.stream_count = setting;
    web_download_reset();
    next.done_zip_kb = rate;  // the clock stands still
    int most = 0, r = 0;
    for (int pass = 0; r == 0 && pass < 1000; ++pass) {
      r = grab_files();
      most =
          std::max(most, int(std::count(next.stream_active, next.stream_active + web_streams, 1)));
    }
    EXPECT_EQ(r * 100 + next.next_row, 140);
    EXPECT_EQ(most, most_streams) << setting << " " << rate;
  }
  setup();
  row("a.txt", 1);
  stg.server_count = 0;
  web_download_reset();
  EXPECT_EQ(run(), 1);  // given up without a server to index
  EXPECT_EQ(web_download_given_up().size(), 1u);
  EXPECT_EQ(stg.extract_failed, 1);  // the finish screen must not report success
}

// The only server stops after a few files of twenty; back two seconds later
// it lets the update finish, and with no server back the rest is given up
// with one alert.
static void server_dies_mid_update(bool comes_back) {
  if (!comes_back) xtim_set_clock(fast_clock);
  setup();
  stg.server_count = 1;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    row(name, 1, "file " + name, {0});
  }
  auto srv = std::make_unique<fly_test::script_server>(60, root());
  ASSERT_TRUE(fly_test::proxy_to(*srv));
  const int port = srv->port();
  ASSERT_EQ(make_dirs(), 0);
  web_download_reset();
  stg.stream_count = 4;
  const auto installed = [] {
    return std::count_if(sim_info.begin(), sim_info.end(), [](auto& h) { return h.back().current; });
  };
  std::chrono::steady_clock::time_point stopped{};
  bool killed = false;
  int r = 0;
  ASSERT_TRUE(frames_until(
      [&] {
        if (!killed && installed() >= 3)
          srv.reset(), killed = true, stopped = std::chrono::steady_clock::now();
        if (!srv && comes_back && std::chrono::steady_clock::now() - stopped > std::chrono::seconds(2)) {
          srv = std::make_unique<fly_test::script_server>(60, root(), port);
          ASSERT_TRUE(srv->running());
        }
        r = grab_files();
      },
      [&] { return r != 0; }));
  const int got = installed();
  EXPECT_EQ(got == 20, comes_back) << got;
  EXPECT_EQ(got + web_download_given_up().size(), 20u);
  EXPECT_EQ(stg.extract_failed, !comes_back);
  EXPECT_EQ(alerts_saying("The installer cannot download a file."), !comes_back);
  EXPECT_EQ(fly_test::alerts().size(), size_t(!comes_back));
  EXPECT_EQ(sh("ls -A " + q(temp_path)), "");
  EXPECT_EQ(read_file(dest_dir_path + "f19.txt"), comes_back ? "file f19.txt" : "");
}
TEST(WebDownload, ServerBackWithinSecondsFinishesTheUpdate) { server_dies_mid_update(true); }
TEST(WebDownload, ServerThatStaysDownGivesOneAlert) { server_dies_mid_update(false); }
