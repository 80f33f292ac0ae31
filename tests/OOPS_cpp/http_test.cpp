#include "OOPS_cpp/http.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "Files/md5.h"
#include "GenH/shell.h"
#include "Sockets/PCSBSocket.h"
#include "UTL/xtim.h"
#include "support/net_servers.h"
#include "support/test_util.h"

using fly_test::file_exists;
using fly_test::pattern_body;
using fly_test::read_file;
using fly_test::write_file;

namespace {
const char* const kHost = "flyvane.test";

void use_proxy(int port) {
  http.proxy_host = "127.0.0.1";
  http.proxy_port = port;
}

// Polls net_check as a frame loop would, bounded by wall time for safety.
// The program clock never moves here, so a 2 can only come from a verdict.
int drive(int slot, const std::string& server, const std::string& path, const std::string& dest,
          int64_t* max_length = nullptr) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    const int r = http.net_check(slot, server, path, dest);
    if (r) return r;
    if (max_length && http.slots[slot] && http.slots[slot]->content_length > *max_length)
      *max_length = http.slots[slot]->content_length;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return -1;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

std::string md5_of(const std::string& path) {
  std::string hex;
  return calc_file_md5(path, hex) == 0 ? hex : "unreadable:" + path;
}

void make_random_file(const std::string& path, size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, 0);
  for (char& c : s) c = static_cast<char>(rng());
  write_file(path, s);
}
}  // namespace

TEST(HttpProxy, Rules) {
  EXPECT_FALSE(UseProxy("a.example"));  // no proxy set
  EXPECT_STREQ(ProxyHost("a.example"), "a.example");
  EXPECT_EQ(ProxyPort("a.example", 80), 80);
  http.proxy_host = "proxy.local";
  EXPECT_FALSE(UseProxy("a.example"));  // a host alone is not enough
  http.proxy_port = 3128;
  EXPECT_TRUE(UseProxy("a.example"));
  EXPECT_STREQ(ProxyHost("a.example"), "proxy.local");
  EXPECT_EQ(ProxyPort("a.example", 80), 3128);
  gProxyExclude = {".inside.lan", "direct.example"};
  EXPECT_FALSE(UseProxy("files.inside.lan"));
  EXPECT_FALSE(UseProxy("direct.example"));
  EXPECT_TRUE(UseProxy("inside.lan.example"));
  EXPECT_STREQ(ProxyHost("files.inside.lan"), "files.inside.lan");
  EXPECT_EQ(ProxyPort("files.inside.lan", 80), 80);
  http.proxy_host.clear();
  EXPECT_FALSE(UseProxy("a.example"));
}

TEST(HttpNames, SafeRelativeNames) {
  struct {
    const char* name;
    bool ok;
  } cases[] = {
      {"Resources/a.txt", true}, {"a..b/c", true}, {"..a", true},
      {"/etc/passwd", false},    {"../x", false},  {"a/../../x", false},
      {"a/..", false},           {"..", false},    {"", false},
      {"a\nb", false},           {"a\rb", false},
  };
  for (const auto& c : cases) EXPECT_EQ(http_name_is_safe(c.name), c.ok) << c.name;
  EXPECT_FALSE(http_name_is_safe(std::string("a\0b", 3)));
}

TEST(HttpClient, ProxyRequestIsByteExact) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  ASSERT_EQ(drive(0, kHost, "/ok/5/a b.txt", "got.txt"), 1);
  EXPECT_EQ(read_file("got.txt"), pattern_body(5));
  const auto reqs = srv.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0],
            "GET http://flyvane.test/ok/5/a%20b.txt HTTP/1.1\r\n"
            "Connection: close\r\n"
            "Host: flyvane.test\r\n"
            "User-agent: Installer-APL/1rc2\r\n"
            "\r\n");
  EXPECT_FALSE(file_exists("got.txt.part"));
}

TEST(HttpClient, DirectRequestAndPostBody) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  const std::map<std::string, std::string> hdrs = {{"Host", "127.0.0.1"}, {"X-Two", "2"}};
  down_class d("127.0.0.1", static_cast<unsigned short>(srv.port()), "/ok/3", true, hdrs, "k=v&w",
               5, "post.txt");
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!d.IsDone() && std::chrono::steady_clock::now() < end) d.DoProcessing();
  EXPECT_TRUE(d.IsComplete());
  EXPECT_FALSE(d.IsErr());
  EXPECT_EQ(d.status_code, 200);
  EXPECT_EQ(d.reason, "OK");
  EXPECT_EQ(d.Commit(), 0);
  EXPECT_EQ(read_file("post.txt"), pattern_body(3));
  const auto reqs = srv.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].substr(0, reqs[0].find("\r\n\r\n") + 4),
            "POST /ok/3 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Two: 2\r\nContent-Length: 5\r\n\r\n");
}

// Replies the client must take, each checked to the byte.
TEST(HttpClient, GoodRepliesOfEveryShape) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  struct {
    const char* path;
    size_t size;
  } cases[] = {
      {"/ok/0", 0},           {"/ok/1", 1},           {"/ok/200000", 200000},
      {"/drip/20000", 20000}, {"/continue/300", 300}, {"/noreason/50", 50},
      {"/lower/70", 70},      {"/extra/40", 40},  // bytes past the length are not written
  };
  int slot = 0;
  for (const auto& c : cases) {
    const std::string dest = "good" + std::to_string(slot) + ".bin";
    EXPECT_EQ(drive(slot % 6, kHost, c.path, dest), 1) << c.path;
    const std::string got = read_file(dest);
    EXPECT_EQ(got.size(), c.size) << c.path;
    EXPECT_TRUE(got == pattern_body(c.size)) << c.path;
    EXPECT_FALSE(file_exists(dest + ".part")) << c.path;
    ++slot;
  }
  EXPECT_EQ(count(fly_test::log_text(), "HTTP Error for"), 0);
}

// Replies that must fail at once (the clock never moves), leaving an older
// file of the same name untouched and no partial file behind.
TEST(HttpClient, BadRepliesFailAtOnceAndKeepTheOldFile) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  struct {
    const char* path;
    int status;
    int complete;
  } cases[] = {
      {"/short/1000", 200, 0},      {"/nolength/100", 200, 0},
      {"/chunked/3000", 200, 0},    {"/status/404", 404, 1},
      {"/status/500", 500, 1},      {"/reset/300000", 200, 0},
      {"/closeearly/x", -1, 0},     {"/endless/x", 200, 0},
      {"/badlength/12abc", 200, 0}, {"/badlength/-5", 200, 0},
      {"/badlength/+5", 200, 0},    {"/badlength/99999999999999999999", 200, 0},
      {"/lower/status", -1, 0},  // "http/1.1" is no status line
  };
  for (const auto& c : cases) {
    write_file("keep.bin", "GOOD OLD FILE");
    const std::string before = fly_test::log_text();
    EXPECT_EQ(drive(1, kHost, c.path, "keep.bin"), 2) << c.path;
    EXPECT_EQ(read_file("keep.bin"), "GOOD OLD FILE") << c.path;
    EXPECT_FALSE(file_exists("keep.bin.part")) << c.path;
    const std::string log = fly_test::log_text().substr(before.size());
    EXPECT_NE(log.find("HTTP Error for keep.bin\n   server     =flyvane.test\n   file       =" +
                       std::string(c.path) + "\n"),
              std::string::npos)
        << c.path << "\n"
        << log;
    EXPECT_NE(log.find("(#" + std::to_string(c.status) + ")"), std::string::npos) << c.path << log;
    if (c.complete == 0) {
      EXPECT_NE(log.find("IsComplete =0"), std::string::npos) << c.path;
    }
  }
  EXPECT_NE(fly_test::log_text().find("WARNING: the reply headers for keep.bin pass 65536 bytes."),
            std::string::npos);
}

TEST(HttpClient, LengthIsSixtyFourBit) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  int64_t seen = -1;
  EXPECT_EQ(drive(0, kHost, "/huge/x", "huge.bin", &seen), 2);
  EXPECT_EQ(seen, 5000000000LL);
  EXPECT_FALSE(file_exists("huge.bin"));
  EXPECT_FALSE(file_exists("huge.bin.part"));
}

TEST(HttpClient, NotFoundAlertOncePerServerAndPath) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  fly_test::clear_alerts();
  EXPECT_EQ(drive(0, kHost, "/status/404", "a.bin"), 2);
  EXPECT_EQ(drive(0, kHost, "/status/404", "a.bin"), 2);
  EXPECT_EQ(drive(0, "other.test", "/status/404", "a.bin"), 2);
  EXPECT_EQ(drive(0, kHost, "/status/404/b", "a.bin"), 2);
  EXPECT_EQ(drive(0, kHost, "/status/500", "a.bin"), 2);  // no alert for other failures
  const auto& al = fly_test::alerts();
  ASSERT_EQ(al.size(), 3u);
  for (const auto& a : al) {
    EXPECT_EQ(a.s1, "File not found!");
    EXPECT_EQ(a.type, t_alert);
  }
  EXPECT_EQ(al[0].s2, "flyvane.test/status/404");
  EXPECT_EQ(al[1].s2, "other.test/status/404");
  EXPECT_EQ(al[2].s2, "flyvane.test/status/404/b");
  EXPECT_EQ(count(fly_test::log_text(), "HTTP Error for a.bin"), 5);
  EXPECT_NE(fly_test::log_text().find("   response   =Not Found (#404)\n\n"), std::string::npos);
}

TEST(HttpClient, SilenceFailsAfterThirtySecondsWithoutLog) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  xtim.real_elapsed += 29.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
  xtim.real_elapsed += 2.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 2);
  EXPECT_EQ(http.slots[3], nullptr);
  EXPECT_EQ(count(fly_test::log_text(), "HTTP Error for"), 0);
  EXPECT_FALSE(file_exists("s.bin.part"));
}

TEST(HttpClient, BusySlotWithOtherArgumentsRestarts) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  EXPECT_EQ(http.net_check(2, kHost, "/silent/x", "first.bin"), 0);
  EXPECT_EQ(drive(2, kHost, "/ok/10", "second.bin"), 1);
  EXPECT_EQ(read_file("second.bin"), pattern_body(10));
  EXPECT_FALSE(file_exists("first.bin"));
  EXPECT_NE(fly_test::log_text().find("WARNING: download slot 2 was busy with "
                                      "flyvane.test/silent/x for first.bin; restarting it for "
                                      "flyvane.test/ok/10 for second.bin."),
            std::string::npos);
}

TEST(HttpClient, RefusesUnsafeInput) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  struct {
    std::string server, path, dest;
  } cases[] = {
      {"flyvane.test\r\nX-Evil: 1", "/ok/5", "x.bin"},
      {"flyvane.test", "/ok/5 HTTP/1.1\r\nX-Evil: 1", "x.bin"},
      {"flyvane.test", std::string("/ok/5\0x", 7), "x.bin"},
      {std::string("flyvane.test\0x", 14), "/ok/5", "x.bin"},
      {"fly vane.test", "/ok/5", "x.bin"},
      {"", "/ok/5", "x.bin"},
      {"flyvane.test", "/ok/5", "../x.bin"},
      {"flyvane.test", "/ok/5", "sub/../../x.bin"},
      {"flyvane.test", "/ok/5", "x\n.bin"},
  };
  for (const auto& c : cases) EXPECT_EQ(http.net_check(0, c.server, c.path, c.dest), 2) << c.path;
  EXPECT_EQ(http.slots[0], nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(srv.requests().empty());  // nothing went out
  EXPECT_EQ(count(fly_test::log_text(), "WARNING: net_check refused"), 9);
}

TEST(HttpClient, RequestWithLineBreakInHeaderIsRefused) {
  down_class d("flyvane.test", 80, "/a", false, {{"Host", "h\r\nX: y"}}, nullptr, 0, "h.bin");
  EXPECT_EQ(d.error, 20008);
  EXPECT_EQ(d.socket, nullptr);
  EXPECT_TRUE(d.request.empty());
}

TEST(HttpClient, ConventionsAreFatal) {
  EXPECT_FATAL_ALERT(http.net_check(6, kHost, "/a", "a"), "Too many download objects requested!");
  EXPECT_FATAL_ALERT(http.net_check(-1, kHost, "/a", "a"), "Too many download objects requested!");
  EXPECT_FATAL_ALERT(http.net_check(0, "flyvane.test/", "/a", "a"),
                     "net_check error! You have a dirchar at the end of the server name!");
  EXPECT_FATAL_ALERT(http.net_check(0, kHost, "a", "a"),
                     "net_check error! You do not have a dirchar at the beginning");
}

TEST(HttpClient, UnknownServerAndRefusedConnection) {
  // An empty name never reaches the name service and is not found.
  down_class d("", 80, "/a", false, {}, nullptr, 0, "n.bin");
  for (int i = 0; i < 5000 && d.LookingUp(); ++i) {
    d.DoProcessing();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(d.error, 20011);
  EXPECT_EQ(d.GetOSErr(), 20011);
  EXPECT_EQ(d.GetState(), http_no_socket);
  EXPECT_NE(fly_test::log_text().find("Translated server  to IP addy: 0.0.0.0 and port = 80\n"),
            std::string::npos);

  use_proxy(fly_test::free_loopback_port());  // nothing listens there
  EXPECT_EQ(drive(0, kHost, "/ok/1", "r.bin"), 2);
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("   IsDone     =1\n"), std::string::npos) << log;
  EXPECT_NE(log.find("   GetStat    =3\n"), std::string::npos) << log;
  EXPECT_NE(log.find("   response   = (#-1)\n"), std::string::npos) << log;
}

TEST(HttpClient, ProxyByNameUsesTheLookupThread) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  http.proxy_host = "localhost";
  http.proxy_port = srv.port();
  EXPECT_EQ(drive(4, kHost, "/ok/1234", "named.bin"), 1);
  EXPECT_EQ(read_file("named.bin"), pattern_body(1234));
}

TEST(HttpClient, DestinationThatCannotBeWritten) {
  fly_test::script_server srv;
  ASSERT_TRUE(srv.running());
  use_proxy(srv.port());
  EXPECT_EQ(drive(0, kHost, "/ok/10", "no/such/folder/x.bin"), 2);
  EXPECT_NE(fly_test::log_text().find("   GetOSErr   =2\n"), std::string::npos);
}

// The good road against real servers, files checked by MD5, six slots at once.
void fetch_tree_and_compare(int port, const std::string& root) {
  use_proxy(port);
  const std::vector<std::string> names = {"empty.bin", "one.bin",      "edge.bin",
                                          "big.bin",   "sub/deep.bin", "sub/with space.bin"};
  mkdir("out", 0755);
  mkdir("out/sub", 0755);
  std::vector<int> result(names.size(), 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool busy = true;
  while (busy && std::chrono::steady_clock::now() < end) {
    busy = false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (result[i]) continue;
      result[i] = http.net_check(static_cast<int>(i), kHost, "/" + names[i], "out/" + names[i]);
      busy = busy || result[i] == 0;
    }
  }
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(result[i], 1) << names[i];
    EXPECT_EQ(md5_of("out/" + names[i]), md5_of(root + names[i])) << names[i];
  }
  fly_test::clear_alerts();
  EXPECT_EQ(drive(0, kHost, "/missing.bin", "out/missing.bin"), 2);
  EXPECT_FALSE(file_exists("out/missing.bin"));
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s2, "flyvane.test/missing.bin");
}

void make_tree(const std::string& root) {
  mkdir(root.c_str(), 0755);
  mkdir((root + "sub").c_str(), 0755);
  write_file(root + "empty.bin", "");
  write_file(root + "one.bin", "1");
  make_random_file(root + "edge.bin", 65536, 1);
  make_random_file(root + "big.bin", 6 * 1024 * 1024 + 17, 2);
  make_random_file(root + "sub/deep.bin", 100000, 3);
  make_random_file(root + "sub/with space.bin", 777, 4);
}

TEST(HttpServers, Nginx) {
  const std::string root = fly_test::sandbox() + "www/";
  make_tree(root);
  fly_test::nginx_server srv(root, fly_test::sandbox() + "nginx/");
  ASSERT_TRUE(srv.running()) << read_file(fly_test::sandbox() + "nginx/error.log");
  fetch_tree_and_compare(srv.port(), root);
}

TEST(HttpServers, PythonHttp10) {
  const std::string root = fly_test::sandbox() + "www/";
  make_tree(root);
  fly_test::http10_server srv(root);
  ASSERT_TRUE(srv.running());
  fetch_tree_and_compare(srv.port(), root);
}
