#include "OOPS_cpp/http.h"

#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <thread>

#include "UTL/xtim.h"
#include "support/net_servers.h"
#include "support/test_util.h"

using namespace fly_test;

const char* const kHost = "flyvane.test";

// Polls as the frame loop would. The program clock stands still, so a 2 is a verdict, never the
// silence limit. *length gets the largest Content-Length seen.
static int drive(int slot, const std::string& server, const std::string& path,
                 const std::string& dest, int64_t* length = nullptr) {
  for (int i = 0; i < 300000; ++i, std::this_thread::sleep_for(std::chrono::microseconds(200))) {
    if (const int r = http.net_check(slot, server, path, dest)) return r;
    if (length && http.slots[slot]) *length = std::max(*length, http.slots[slot]->content_length);
  }
  return -1;
}

// Lookups of "held.test" wait while held (20 s at most), then give loopback.
static std::atomic<bool> lookup_held{false}, looked_up_on_caller{false};
const pthread_t caller = pthread_self();

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** res) {
  static const auto real = reinterpret_cast<decltype(&getaddrinfo)>(dlsym(RTLD_NEXT, __func__));
  if (node && std::string_view(node) == "held.test") {
    if (pthread_equal(pthread_self(), caller)) looked_up_on_caller = true;
    for (int i = 0; lookup_held && i < 2000; ++i) usleep(10000);
    node = "127.0.0.1";
  }
  return real(node, service, hints, res);
}

TEST(Http, ProxyRulesAndNameChecks) {
  http.proxy_host = "proxy.local";
  EXPECT_FALSE(UseProxy("a.example"));  // a host without a port is no proxy
  http.proxy_port = 3128;
  gProxyExclude = {".inside.lan", "direct.example"};
  for (auto [host, proxied] : {std::pair{"a.example", true}, {"files.inside.lan", false},
                               {"direct.example", false}, {"inside.lan.x", true}}) {
    EXPECT_EQ(UseProxy(host), proxied) << host;
    EXPECT_STREQ(ProxyHost(host), proxied ? "proxy.local" : host);
    EXPECT_EQ(ProxyPort(host, 80), proxied ? 3128 : 80);
  }
  for (const char* bad : {"/etc/passwd", "../x", "a/../../x", "a/..", "", "a\rb"})  // from lists
    EXPECT_FALSE(http_name_is_safe(bad)) << bad;
  EXPECT_FALSE(http_name_is_safe(std::string("a\0b", 3)));
  EXPECT_TRUE(http_name_is_safe("a..b/..c"));
  EXPECT_EQ(down_class(kHost, 80, "/", false, {{"Host", "h\r\nX: y"}}, nullptr, 0, "h").socket,
            nullptr);
  EXPECT_FATAL_ALERT(http.net_check(6, kHost, "/a", "a"), "Too many download objects requested!");
}

// Good shapes arrive to the byte (the size follows the kind); bad ones fail at once, keep the
// older file of that name and leave no partial file.
TEST(Http, EveryScriptedReply) {
  script_server srv;
  ASSERT_TRUE(proxy_to(srv));
  clear_alerts();
  const struct { const char* path; int status; const char* log; } cases[] = {
      {"/ok/5/a b.txt", 0, ""}, {"/ok/0", 0, ""}, {"/ok/200000", 0, ""}, {"/drip/20000", 0, ""},
      {"/continue/300", 0, ""}, {"/noreason/50", 0, ""}, {"/lower/70", 0, ""}, {"/extra/40", 0, ""},
      {"/short/1000", 200, "IsComplete =0"}, {"/reset/300000", 200, "IsComplete =0"},
      {"/nolength/100", 200, "IsComplete =0"}, {"/chunked/3000", 0, ""},
      {"/status/404", 404, "Not Found (#404)"}, {"/status/500", 500, "Error (#500)"},
      {"/closeearly/x", -1, ""}, {"/lower/status", -1, ""}, {"/huge/x", 200, "IsComplete =0"},
      {"/endless/x", 200, "headers for keep.bin pass 65536 bytes"},
      {"/badlength/12abc", 200, "bad Content-Length"}, {"/badlength/-5", 200, "bad Content"},
      {"/badlength/+5", 200, "bad Content"}, {"/badlength/99999999999999999999", 200, "bad C"},
      {"/lengths/40,40", 0, ""}, {"/lengths/10,1000", 200, "bad Content-Length: 10, 1000"}};
  for (const auto& c : cases) {
    write_file("keep.bin", "OLD");
    const size_t before = log_text().size();
    int64_t seen = -1;
    const int r = drive(1, kHost, c.path, "keep.bin", &seen);
    const std::string log = log_text().substr(before), path = c.path;
    EXPECT_EQ(r, c.status ? 2 : 1) << path << log;
    EXPECT_TRUE(read_file("keep.bin") ==
                (c.status ? "OLD" : pattern_body(atoi(strchr(c.path + 1, '/') + 1)))) << path;
    EXPECT_FALSE(file_exists("keep.bin.part")) << path;
    if (!c.status) continue;
    EXPECT_NE(log.find("HTTP Error for keep.bin\n   server     =flyvane.test\n   file       =" +
                       path + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(c.log), std::string::npos) << log;
    EXPECT_TRUE(path != "/huge/x" || seen == 5000000000) << seen;  // a 64-bit length
  }
  EXPECT_EQ(srv.requests().at(0), "GET http://flyvane.test/ok/5/a%20b.txt HTTP/1.1\r\n"
                                  "Connection: close\r\nHost: flyvane.test\r\n"
                                  "User-agent: Installer-APL/1rc2\r\n\r\n");
  // One "File not found!" per server and path.
  for (const char* s : {kHost, "other.test"}) drive(0, s, "/status/404", "a.bin");
  ASSERT_EQ(alerts().size(), 2u);
  EXPECT_EQ(alerts()[0].s1, "File not found!");
  EXPECT_EQ(alerts()[0].s2 + " " + alerts()[1].s2, "flyvane.test/status/404 other.test/status/404");
  // Unsafe input sends nothing.
  const size_t sent = srv.requests().size();
  const struct { std::string server, path, dest; } unsafe[] = {
      {"flyvane.test\r\nX-Evil: 1", "/ok/5", "x"}, {kHost, "/ok/5 HTTP/1.1\r\nX-Evil: 1", "x"},
      {kHost, std::string("/ok\0x", 5), "x"},     {std::string("fly\0x", 5), "/ok/5", "x"},
      {"fly vane.test", "/ok/5", "x"},              {"", "/ok/5", "x"},
      {kHost, "/ok/5", "sub/../../x"},             {kHost, "/ok/5", "x\n"}};
  for (const auto& c : unsafe) EXPECT_EQ(http.net_check(0, c.server, c.path, c.dest), 2) << c.path;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(srv.requests().size(), sent);
}

// Chunked bodies arrive decoded to the byte, however the chunks and the reads are cut. A bad,
// cut or otherwise coded one fails, keeps the older file and leaves no partial file.
TEST(Http, ChunkedBodies) {
  script_server srv;
  ASSERT_TRUE(proxy_to(srv));
  const struct { std::string path, body, log; } cases[] = {
      {"/chunked/300000", pattern_body(300000), ""},  // chunks of 1, 999, 70000 and 2 bytes
      {"/chunksplit/700", pattern_body(700), ""},     // every chunk line cut between reads
      {"/te/Chunked", pattern_body(100), ""},         // and a wrong Content-Length beside it
      {"/chunkraw/1\\r\\nA\\r\\n0\\r\\n\\r\\n", "A", ""},
      {R"(/chunkraw/5;name=value\r\nhello\r\n00A ; x="y;z"\r\n, world!!!\r\n0;last\r\n)"
       R"(X-Sum: 9\r\nX-More: 1\r\n\r\nNOT BODY)", "hello, world!!!", ""},
      {"/chunkraw/zz\\r\\n", "", "has a bad chunk line: \"zz\""},
      {"/chunkraw/ 5\\r\\nhello\\r\\n0\\r\\n\\r\\n", "", "bad chunk line: \" 5\""},
      {"/chunkraw/5x\\r\\nhello\\r\\n0\\r\\n\\r\\n", "", "bad chunk line: \"5x\""},
      {"/chunkraw/0x5\\r\\nhello\\r\\n0\\r\\n\\r\\n", "", "bad chunk line: \"0x5\""},
      {"/chunkraw/-5\\r\\nhello", "", "bad chunk line"},
      {"/chunkraw/\\r\\nhello", "", "bad chunk line: \"\""},
      {"/chunkraw/5\\r\\nhelloXX\\r\\n0\\r\\n\\r\\n", "", "a chunk longer than its size"},
      {"/chunkraw/5\\r\\nhello\\r0\\r\\n\\r\\n", "", "a chunk longer than its size"},
      {"/chunkraw/8000000000000000\\r\\n", "", "a chunk size that does not fit: \"8000"},
      {"/chunkraw/000fffffffffffffffff;x\\r\\n", "", "a chunk size that does not fit"},
      {"/chunkline/5000", "", "has a chunk line longer than 4096 bytes: \"5;xxx"},
      {"/chunktrailers/x", "", "the trailers of the reply for keep.bin pass 65536 bytes"},
      {"/chunkraw/5", "", "IsComplete =0"},  // the connection closes before the last chunk
      {"/chunkraw/5\\r\\nhel", "", "IsComplete =0"},
      {"/chunkraw/5\\r\\nhello\\r\\n", "", "IsComplete =0"},
      {"/chunkraw/7fffffffffffffff\\r\\nhello", "", "IsComplete =0"},
      {"/chunkraw/5\\r\\nhello\\r\\n0\\r\\nX-Sum: 9\\r\\n", "", "IsComplete =0"},
      {"/te/gzip", "", "uses the transfer coding gzip.\n"},
      {"/te/gzip, chunked", "", "uses the transfer coding gzip, chunked.\n"},
      {"/te/chunked|gzip", "", "uses the transfer coding chunked, gzip.\n"},
      {"/te/chunked|chunked", "", "uses the transfer coding chunked, chunked.\n"}};
  for (const auto& c : cases) {
    write_file("keep.bin", "OLD");
    const size_t before = log_text().size();
    int64_t seen = -1;
    const int r = drive(1, kHost, c.path, "keep.bin", &seen);
    const std::string log = log_text().substr(before);
    EXPECT_EQ(r, c.log.empty() ? 1 : 2) << c.path << log;
    EXPECT_TRUE(read_file("keep.bin") == (c.log.empty() ? c.body : "OLD")) << c.path;
    EXPECT_FALSE(file_exists("keep.bin.part")) << c.path;
    EXPECT_EQ(seen, -1) << c.path;  // the length is not known before the end
    if (c.log.empty()) continue;
    EXPECT_NE(log.find("HTTP Error for keep.bin\n"), std::string::npos) << log;
    EXPECT_NE(log.find(c.log), std::string::npos) << c.path << log;
  }
}

TEST(Http, ProxyByNameIsLookedUpOffTheCallersThread) {
  script_server srv;
  ASSERT_TRUE(srv.running());
  http.proxy_host = "held.test", http.proxy_port = srv.port();
  lookup_held = true;
  for (int i = 0; i < 20; ++i) ASSERT_EQ(http.net_check(4, kHost, "/ok/64", "named.bin"), 0);
  EXPECT_TRUE(http.slots[4]->LookingUp());
  lookup_held = false;
  EXPECT_EQ(drive(4, kHost, "/ok/64", "named.bin"), 1);
  EXPECT_EQ(read_file("named.bin"), pattern_body(64));
  EXPECT_FALSE(looked_up_on_caller);  // it would hold up the frame loop
}

TEST(Http, BusySlotRestartsAndSilenceFailsAfterThirtySeconds) {
  script_server srv;
  ASSERT_TRUE(proxy_to(srv));
  EXPECT_EQ(http.net_check(2, kHost, "/silent/x", "first.bin"), 0);
  EXPECT_EQ(drive(2, kHost, "/ok/10", "second.bin"), 1);
  EXPECT_EQ(read_file("second.bin"), pattern_body(10));
  EXPECT_NE(log_text().find("WARNING: download slot 2 was busy with flyvane.test/silent/x"),
            std::string::npos);
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    ASSERT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
  xtim.real_elapsed += 29.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 0);
  xtim.real_elapsed += 2.0f;
  EXPECT_EQ(http.net_check(3, kHost, "/silent/x", "s.bin"), 2);
}

// The good road against nginx and python's HTTP/1.0 server, six slots at once.
TEST(Http, NginxAndHttp10) {
  const std::string root = sandbox() + "www/";
  const std::string names[] = {"empty", "one", "edge", "big", "a/deep", "a/b c"};
  const size_t sizes[] = {0, 1, 65536, 6 * 1024 * 1024 + 17, 100000, 777};
  for (int i = 0; i < 6; ++i) write_file(root + names[i], pattern(sizes[i], i));
  nginx_server nginx(root, sandbox() + "nginx/");
  http10_server python(root);
  child_server* servers[] = {&nginx, &python};
  for (child_server* srv : servers) {
    ASSERT_TRUE(proxy_to(*srv));
    int result[6] = {};
    for (int round = 0; round < 1000000 && std::count(result, result + 6, 0); ++round)
      for (int i = 0; i < 6; ++i)
        if (!result[i]) result[i] = http.net_check(i, kHost, "/" + names[i], std::to_string(i));
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(result[i], 1) << names[i];
      EXPECT_TRUE(read_file(std::to_string(i)) == read_file(root + names[i])) << names[i];
    }
    EXPECT_EQ(drive(0, kHost, "/missing", "0"), 2);
  }
}

// nginx sends what passes through its includes chunked: a page made of two files and text.
TEST(Http, NginxChunked) {
  const std::string root = sandbox() + "www-ssi/";
  const std::string big = pattern(300000, 1), small = pattern(1, 2);
  write_file(root + "files/big", big);  // outside /ssi/: included as they are
  write_file(root + "files/small", small);
  write_file(root + "ssi/page", "head<!--# include virtual=\"/files/big\" -->mid"
                                "<!--# include virtual=\"/files/small\" -->");
  nginx_server nginx(root, sandbox() + "nginx-ssi/");
  ASSERT_TRUE(proxy_to(nginx));
  int64_t seen = -1;
  EXPECT_EQ(drive(0, kHost, "/ssi/page", "page", &seen), 1);
  EXPECT_TRUE(read_file("page") == "head" + big + "mid" + small);
  EXPECT_EQ(seen, -1);  // no Content-Length: the reply was chunked
}
