#include "OOPS_cpp/http.h"

#include <sys/stat.h>

#include <chrono>
#include <random>
#include <thread>

#include "Files/md5.h"
#include "UTL/xtim.h"
#include "support/net_servers.h"
#include "support/test_util.h"

using namespace fly_test;

namespace {
const char* const kHost = "flyvane.test";

void use_proxy(int port) {
  http.proxy_host = "127.0.0.1";
  http.proxy_port = port;
}

struct proxied : script_server {
  proxied() {
    EXPECT_TRUE(running());
    use_proxy(port());
  }
};

// Polls as the frame loop would. The program clock stands still, so a 2 is a verdict, never the
// silence limit. *length gets the largest Content-Length seen.
int drive(int slot, const std::string& server, const std::string& path, const std::string& dest,
          int64_t* length = nullptr) {
  for (int i = 0; i < 300000; ++i, std::this_thread::sleep_for(std::chrono::microseconds(200))) {
    if (const int r = http.net_check(slot, server, path, dest)) return r;
    if (length && http.slots[slot]) *length = std::max(*length, http.slots[slot]->content_length);
  }
  return -1;
}

std::string md5_of(const std::string& path) {
  std::string hex;
  return calc_file_md5(path, hex) == 0 ? hex : "unreadable " + path;
}
}  // namespace

TEST(HttpProxy, Rules) {
  EXPECT_FALSE(UseProxy("a.example"));
  http.proxy_host = "proxy.local";
  EXPECT_FALSE(UseProxy("a.example"));  // a host without a port is no proxy
  http.proxy_port = 3128;
  gProxyExclude = {".inside.lan", "direct.example"};
  const struct { const char* host; bool proxied; } cases[] = {
      {"a.example", true}, {"files.inside.lan", false}, {"direct.example", false},
      {"inside.lan.example", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(UseProxy(c.host), c.proxied) << c.host;
    EXPECT_STREQ(ProxyHost(c.host), c.proxied ? "proxy.local" : c.host);
    EXPECT_EQ(ProxyPort(c.host, 80), c.proxied ? 3128 : 80);
  }
}

TEST(HttpClient, ProxyRequestIsByteExact) {
  proxied srv;
  ASSERT_EQ(drive(0, kHost, "/ok/5/a b.txt", "got.txt"), 1);
  EXPECT_EQ(srv.requests(), std::vector<std::string>{"GET http://flyvane.test/ok/5/a%20b.txt "
                                                     "HTTP/1.1\r\nConnection: close\r\n"
                                                     "Host: flyvane.test\r\n"
                                                     "User-agent: Installer-APL/1rc2\r\n\r\n"});
}

// Good shapes arrive to the byte (the size ends the path); bad ones fail at once, keep the older
// file of that name and leave no partial file.
TEST(HttpClient, EveryScriptedReply) {
  proxied srv;
  const struct { const char* path; int status; const char* log; } cases[] = {
      {"/ok/0", 0, ""}, {"/ok/200000", 0, ""}, {"/drip/20000", 0, ""}, {"/continue/300", 0, ""},
      {"/noreason/50", 0, ""}, {"/lower/70", 0, ""}, {"/extra/40", 0, ""},
      {"/short/1000", 200, "IsComplete =0"}, {"/reset/300000", 200, "IsComplete =0"},
      {"/nolength/100", 200, "IsComplete =0"}, {"/chunked/3000", 200, "coding chunked"},
      {"/status/404", 404, "Not Found (#404)"}, {"/status/500", 500, "Error (#500)"},
      {"/closeearly/x", -1, ""}, {"/lower/status", -1, ""}, {"/huge/x", 200, "IsComplete =0"},
      {"/endless/x", 200, "headers for keep.bin pass 65536 bytes"},
      {"/badlength/12abc", 200, "bad Content-Length"}, {"/badlength/-5", 200, "bad Content"},
      {"/badlength/+5", 200, "bad Content"}, {"/badlength/99999999999999999999", 200, "bad C"}};
  for (const auto& c : cases) {
    write_file("keep.bin", "OLD");
    const size_t before = log_text().size();
    int64_t seen = -1;
    const int r = drive(1, kHost, c.path, "keep.bin", &seen);
    const std::string log = log_text().substr(before), path = c.path;
    EXPECT_FALSE(file_exists("keep.bin.part")) << path;
    if (!c.status) {
      EXPECT_EQ(r, 1) << path << log;
      EXPECT_TRUE(read_file("keep.bin") == pattern_body(atoi(path.substr(path.rfind('/') + 1).c_str())));
      continue;
    }
    EXPECT_EQ(r, 2) << path;
    EXPECT_EQ(read_file("keep.bin"), "OLD") << path;
    EXPECT_NE(log.find("HTTP Error for keep.bin\n   server     =flyvane.test\n   file       =" + path +
                       "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" (#" + std::to_string(c.status) + ")"), std::string::npos) << log;
    EXPECT_NE(log.find(c.log), std::string::npos) << log;
    EXPECT_TRUE(path != "/huge/x" || seen == 5000000000) << seen;  // a 64-bit length
  }
}

TEST(HttpClient, NotFoundAlertOncePerServerAndPath) {
  proxied srv;
  for (const char* s : {kHost, kHost, "other.test"})
    EXPECT_EQ(drive(0, s, "/status/404", "a.bin"), 2);
  EXPECT_EQ(drive(0, kHost, "/status/500", "a.bin"), 2);
  ASSERT_EQ(alerts().size(), 2u);
  EXPECT_EQ(alerts()[0].s1, "File not found!");
  EXPECT_EQ(alerts()[0].s2 + " " + alerts()[1].s2, "flyvane.test/status/404 other.test/status/404");
}

TEST(HttpClient, SilenceFailsAfterThirtySeconds) {
  proxied srv;
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    ASSERT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
  xtim.real_elapsed += 29.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
  xtim.real_elapsed += 2.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 2);
  EXPECT_EQ(http.slots[3], nullptr);
}

TEST(HttpClient, BusySlotWithOtherArgumentsRestarts) {
  proxied srv;
  EXPECT_EQ(http.net_check(2, kHost, "/silent/x", "first.bin"), 0);
  EXPECT_EQ(drive(2, kHost, "/ok/10", "second.bin"), 1);
  EXPECT_EQ(read_file("second.bin"), pattern_body(10));
  EXPECT_NE(log_text().find("WARNING: download slot 2 was busy with flyvane.test/silent/x for "
                            "first.bin; restarting it for flyvane.test/ok/10 for second.bin."),
            std::string::npos);
}

TEST(HttpClient, RefusesUnsafeInput) {
  proxied srv;
  const struct { std::string server, path, dest; } cases[] = {
      {"flyvane.test\r\nX-Evil: 1", "/ok/5", "x"}, {kHost, "/ok/5 HTTP/1.1\r\nX-Evil: 1", "x"},
      {kHost, std::string("/ok\0x", 5), "x"},     {std::string("fly\0x", 5), "/ok/5", "x"},
      {"fly vane.test", "/ok/5", "x"},              {"", "/ok/5", "x"},
      {kHost, "/ok/5", "sub/../../x"},             {kHost, "/ok/5", "x\n"}};
  for (const auto& c : cases) EXPECT_EQ(http.net_check(0, c.server, c.path, c.dest), 2) << c.path;
  down_class d(kHost, 80, "/a", false, {{"Host", "h\r\nX: y"}}, nullptr, 0, "h.bin");
  EXPECT_EQ(d.socket, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(srv.requests().empty());
  // Names from a downloaded file list.
  for (const char* bad : {"/etc/passwd", "../x", "a/../../x", "a/..", "", "a\rb"})
    EXPECT_FALSE(http_name_is_safe(bad)) << bad;
  EXPECT_FALSE(http_name_is_safe(std::string("a\0b", 3)));
  EXPECT_TRUE(http_name_is_safe("a..b/..c"));
  EXPECT_FATAL_ALERT(http.net_check(6, kHost, "/a", "a"), "Too many download objects requested!");
}

// The good road against real servers, six slots at once, files checked by MD5.
void fetch_tree(int port, const std::string& root) {
  use_proxy(port);
  const std::string names[] = {"empty", "one", "edge", "big", "sub/deep", "sub/with space"};
  mkdir("out", 0755);
  mkdir("out/sub", 0755);
  int result[6] = {};
  for (int round = 0; round < 1000000 && std::count(result, result + 6, 0); ++round)
    for (int i = 0; i < 6; ++i)
      if (!result[i]) result[i] = http.net_check(i, kHost, "/" + names[i], "out/" + names[i]);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(result[i], 1) << names[i];
    EXPECT_EQ(md5_of("out/" + names[i]), md5_of(root + names[i])) << names[i];
  }
  EXPECT_EQ(drive(0, kHost, "/missing", "out/missing"), 2);
  EXPECT_FALSE(file_exists("out/missing"));
}

std::string make_tree() {
  const std::string root = sandbox() + "www/";
  mkdir(root.c_str(), 0755);
  mkdir((root + "sub").c_str(), 0755);
  std::mt19937 rng(1);
  const std::pair<const char*, size_t> files[] = {{"empty", 0},         {"one", 1},
                                                  {"edge", 65536},      {"big", 6 * 1024 * 1024 + 17},
                                                  {"sub/deep", 100000}, {"sub/with space", 777}};
  for (const auto& [name, size] : files) {
    std::string s(size, 0);
    for (char& ch : s) ch = static_cast<char>(rng());
    write_file(root + name, s);
  }
  return root;
}

TEST(HttpServers, Nginx) {
  const std::string root = make_tree();
  nginx_server srv(root, sandbox() + "nginx/");
  ASSERT_TRUE(srv.running()) << read_file(sandbox() + "nginx/error.log");
  fetch_tree(srv.port(), root);
}

TEST(HttpServers, PythonHttp10) {
  const std::string root = make_tree();
  http10_server srv(root);
  ASSERT_TRUE(srv.running());
  fetch_tree(srv.port(), root);
}
