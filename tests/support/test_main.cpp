#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "GenH/shell.h"
#include "UTL/xer.h"
#include "support/test_util.h"

namespace fly_test {
namespace {
std::string g_sandbox;
std::vector<alert_record> g_alerts;
int g_expect_fatal = 0;

int record_alert(int window, const std::string& s1, const std::string& s2, const std::string& s3,
                 const std::string& s4, int type, const char* file, int line) {
  g_alerts.push_back({window, s1, s2, s3, s4, type, file ? file : "", line});
  if (type != t_exit) return 1;
  if (!g_expect_fatal)
    ADD_FAILURE() << "unexpected fatal alert: " << s1 << " | " << s2 << " ("
                  << g_alerts.back().file << ":" << line << ")";
  throw fatal_alert{g_alerts.back()};
}

void make_sandbox() {
  const char* base = getenv("FLY_TEST_TMP");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/flytest-XXXXXX";
  if (!mkdtemp(tmpl.data())) perror("mkdtemp"), exit(2);
  g_sandbox = tmpl + "/";
  for (const char* d : {"home", "home/.config", "home/.cache", "tmp", "work"})
    mkdir((g_sandbox + d).c_str(), std::string(d) == "tmp" ? 0700 : 0755);
  setenv("HOME", (g_sandbox + "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_sandbox + "home/.config").c_str(), 1);
  // Mesa finds its shader cache through the password file, not HOME.
  setenv("XDG_CACHE_HOME", (g_sandbox + "home/.cache").c_str(), 1);
  setenv("TMPDIR", (g_sandbox + "tmp").c_str(), 1);
  // The system alert box would wait for a user under a display.
  setenv("FLY_NO_ALERT_BOX", "1", 1);
  // A known language: the program's first start would otherwise ask for one
  // and wait. Tests of the language choice set their own.
  setenv("LANGUAGE", "en", 1);
#if defined(__SANITIZE_THREAD__)
  // llvmpipe's own threads synchronise in code TSan does not see: without
  // them every race report is one of ours.
  setenv("LP_NUM_THREADS", "0", 1);
  // So do the shader cache's writer threads, which a cache as new as the
  // sandbox keeps busy.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
#endif
  if (chdir((g_sandbox + "work").c_str()) != 0) exit(2);
}
}  // namespace

const std::string& sandbox() { return g_sandbox; }
std::vector<alert_record>& alerts() { return g_alerts; }
void clear_alerts() { g_alerts.clear(); }
expect_fatal::expect_fatal() { ++g_expect_fatal; }
expect_fatal::~expect_fatal() { --g_expect_fatal; }

std::string read_file(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& data) {
  std::error_code ec;
  if (path.find('/') != std::string::npos)
    std::filesystem::create_directories(path.substr(0, path.rfind('/')), ec);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

int run(const std::string& cmd, std::string* out) {
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;) text.append(buf, n);
  const int st = pclose(p);
  if (out) *out = text;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string sh(const std::string& cmd) {
  std::string out;
  EXPECT_EQ(run(cmd, &out), 0) << cmd << "\n" << out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string md5sum_of(const std::string& path) {
  return sh("f='" + path +
            "'; { [ -L \"$f\" ] && readlink -n \"$f\" || cat \"$f\"; } | md5sum | cut -c1-32");
}

std::string pattern(size_t n, uint32_t seed) {
  std::string s(n, 0);
  for (char& c : s) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

std::string log_text() {
  xer.flush();
  return read_file(xer.path());
}

namespace {
const char* g_timeout_what = "";
void on_timeout(int) {
  const char head[] = "\ntimed out: ";
  if (write(2, head, sizeof(head) - 1) < 0 ||
      write(2, g_timeout_what, strlen(g_timeout_what)) < 0 || write(2, "\n", 1) < 0) {
  }
  _exit(1);
}
}  // namespace

void fail_after(int seconds, const char* what) {
  g_timeout_what = what;
  signal(SIGALRM, on_timeout);
  alarm(static_cast<unsigned>(seconds));
}

}  // namespace fly_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  fly_test::make_sandbox();
  // The software GL driver renders on the calling thread: its own rasterizer
  // threads synchronise in ways ThreadSanitizer cannot see, and every texture
  // upload would then read as a race inside the driver. Programs the tests
  // start inherit it.
  setenv("LP_NUM_THREADS", "0", 0);
  xer.open(fly_test::sandbox() + "test_log.txt");
  g_alert_intercept = fly_test::record_alert;
  const int rc = RUN_ALL_TESTS();
  xer.close();
  std::error_code ec;
  if (!getenv("FLY_KEEP_SANDBOX")) std::filesystem::remove_all(fly_test::sandbox(), ec);
  return rc;
}
