// Shared parts of the benchmarks: shell commands, a scratch folder removed at
// the end, the master-folder corpus, timing, and child processes measured for
// time and peak memory.
#pragma once

#include <arpa/inet.h>
#include <ftw.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace bench {

inline bool exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

// s as one word of a shell command.
inline std::string q(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; the benchmark ends when it fails.
inline void run_shell(const std::string& cmd) {
  if (system(cmd.c_str()) != 0) {
    fprintf(stderr, "command failed: %s\n", cmd.c_str());
    exit(1);
  }
}

// What a shell command prints, without its last line ends.
inline std::string shell_out(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// $TMPDIR, or /tmp without one.
inline std::string tmp_root() {
  const char* t = getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

// A fresh folder under root, removed with everything in it when it goes or
// when the program exits early, unless keep is set (FLY_BENCH_KEEP keeps it
// too).
class scratch {
 public:
  explicit scratch(const char* tag, bool keep = false, const std::string& root = "/tmp") {
    std::string t = root + "/flyvane-" + tag + "-XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) {
      perror("mkdtemp");
      exit(1);
    }
    path_ = std::string(buf.data()) + "/";
    if (!keep) current() = path_;
    std::atexit(remove_current);
  }
  ~scratch() { remove_current(); }
  scratch(const scratch&) = delete;
  scratch& operator=(const scratch&) = delete;
  // Ends in "/".
  const std::string& path() const { return path_; }

 private:
  static std::string& current() {
    static std::string p;
    return p;
  }
  static void remove_current() {
    if (current().empty() || getenv("FLY_BENCH_KEEP")) return;
    if (system(("rm -rf " + q(current())).c_str()) != 0) perror("rm");
    current().clear();
  }
  std::string path_;
};

inline std::string corpus_script() {
  if (const char* e = getenv("FLY_MAKE_CORPUS")) return e;
  for (const std::string& c : {std::string(FLY_SOURCE_DIR) + "/../shared/bench/make-corpus.py",
                               std::string(FLY_SOURCE_DIR) + "/../../shared/bench/make-corpus.py",
                               std::string("/work/shared/bench/make-corpus.py")})
    if (exists(c)) return c;
  fprintf(stderr, "make-corpus.py not found (set FLY_MAKE_CORPUS)\n");
  exit(1);
}

// Makes the master folder at dir (no trailing "/").
inline void make_corpus(double scale, const std::string& dir) {
  const std::string script = corpus_script();
  printf("making the corpus (scale %g) in %s\n", scale, dir.c_str());
  fflush(stdout);
  run_shell("python3 " + q(script) + " --scale " + std::to_string(scale) + " " + q(dir) +
            " > /dev/null");
}

struct corpus_item {
  std::string rel;  // below the corpus folder
  bool link;
  uint64_t size;
};

// Regular files and links below dir (no trailing "/"), sorted.
inline std::vector<corpus_item> list_corpus(const std::string& dir) {
  static std::vector<corpus_item>* out;
  static size_t skip;
  std::vector<corpus_item> items;
  out = &items;
  skip = dir.size() + 1;
  nftw(
      dir.c_str(),
      [](const char* p, const struct stat* st, int flag, struct FTW*) {
        if (flag == FTW_F || flag == FTW_SL)
          out->push_back({std::string(p).substr(skip), S_ISLNK(st->st_mode),
                          static_cast<uint64_t>(st->st_size)});
        return 0;
      },
      32, FTW_PHYS);
  std::sort(items.begin(), items.end(),
            [](const corpus_item& a, const corpus_item& b) { return a.rel < b.rel; });
  return items;
}

// The folder part of a relative path, with its "/" ("" for none).
inline std::string folder_of(const std::string& rel) {
  const size_t s = rel.find_last_of('/');
  return s == std::string::npos ? "" : rel.substr(0, s + 1);
}

// The items, each ended by a NUL byte, for xargs -0.
inline void write_nul_list(const std::string& path, const std::vector<std::string>& items) {
  std::ofstream out(path, std::ios::binary);
  for (const std::string& i : items) out << i << '\0';
}

inline double seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The best of runs timings; prepare runs untimed before each.
inline double best_of(int runs, const std::function<void()>& prepare,
                      const std::function<void()>& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    prepare();
    best = std::min(best, seconds(fn));
  }
  return best;
}

inline double best_of(int runs, const std::function<void()>& fn) {
  return best_of(runs, [] {}, fn);
}

// Runs job(i) for i in [0, n) on the given number of plain threads.
inline void parallel(int threads, size_t n, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      for (size_t i; (i = next.fetch_add(1)) < n;) job(i);
    });
  for (auto& th : pool) th.join();
}

struct child_result {
  double secs = 0;
  long max_rss_kb = 0;
  int status = -1;
};

// Runs fn in a child process (its result is the exit status): wall time and
// the child's peak resident memory.
inline child_result in_child(const std::function<int()>& fn) {
  child_result r;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(fn());
  struct rusage ru = {};
  int st = 0;
  wait4(pid, &st, 0, &ru);
  r.secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.max_rss_kb = ru.ru_maxrss;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// The same for a program with its arguments.
inline child_result exec_child(const std::vector<std::string>& argv) {
  return in_child([&] {
    std::vector<char*> a;
    for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    execvp(a[0], a.data());
    return 127;
  });
}

// A free TCP port on the loopback address, and whether something listens there.
inline int free_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

inline bool accepts(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
  close(s);
  return ok;
}

inline pid_t& nginx_pid() {
  static pid_t p = 0;
  return p;
}
inline pid_t& nginx_owner() {
  static pid_t p = 0;
  return p;
}

inline void stop_nginx() {
  pid_t& p = nginx_pid();
  if (p <= 0 || getpid() != nginx_owner()) return;  // a forked child's exit leaves it be
  kill(p, SIGTERM);
  while (waitpid(p, nullptr, 0) < 0 && errno == EINTR) {
  }
  p = 0;
}

// nginx in the foreground on dir's nginx.conf, listening on port. It goes
// however the benchmark ends: stopped at exit, before the scratch folder goes,
// and told by the kernel when the benchmark dies of a signal. False when it
// did not come up (it is then stopped).
inline bool start_nginx(const std::string& dir, int port) {
  const std::string conf = dir + "nginx.conf", err = dir + "error.log";
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);  // the benchmark died before the line above
    execl("/usr/sbin/nginx", "nginx", "-p", dir.c_str(), "-e", err.c_str(), "-c", conf.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return false;
  nginx_pid() = pid;
  nginx_owner() = parent;
  static const bool at_exit = std::atexit(stop_nginx) == 0;
  (void)at_exit;
  for (int i = 0; i < 1000 && !accepts(port); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (accepts(port)) return true;
  stop_nginx();
  return false;
}

// The build folder of a benchmark, which runs from its bench/ folder.
inline std::string build_dir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string p(buf, n > 0 ? static_cast<size_t>(n) : 0);
  for (int i = 0; i < 2; ++i) p = p.substr(0, p.rfind('/'));
  return p;
}

inline double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Lines of the file at path that hold text.
inline size_t count_lines(const std::string& path, const std::string& text) {
  std::ifstream in(path);
  size_t n = 0;
  for (std::string l; std::getline(in, l);) n += l.find(text) != std::string::npos;
  return n;
}

// The built installer under its own Xvfb (xvfb-run -a) in a fresh sandbox at
// root (ending in "/"): a HOME, the simulated drive holding disc, script as
// FLY_SCRIPT and env set on top (an empty value unsets). It runs in its own
// process group; the result is its pid, and *forked_at when it was started.
inline pid_t start_installer(const std::string& root, const std::string& script,
                             const std::string& disc,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             double* forked_at = nullptr) {
  const std::string home = root + "home/";
  run_shell("rm -rf " + q(root) + " && mkdir -p " + q(home + "Desktop") + " " +
            q(home + ".config") + " " + q(root + "tmp") + " " + q(root + "vol") + " && ln -s " +
            q(disc) + " " + q(root + "vol/BENCH_1"));
  std::ofstream(root + "script.txt") << script;
  fflush(stdout);  // or the child writes the lines buffered so far again
  if (forked_at) *forked_at = now_s();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (chdir(root.c_str()) != 0) _exit(126);
    if (!freopen((root + "output.txt").c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0)
      _exit(126);
    setenv("HOME", home.c_str(), 1);
    setenv("LANGUAGE", "en", 1);  // a fresh HOME would ask for a language
    setenv("XDG_CONFIG_HOME", (home + ".config").c_str(), 1);
    setenv("TMPDIR", (root + "tmp").c_str(), 1);
    setenv("FLY_MOUNTED_VOLUMES", (root + "vol").c_str(), 1);
    setenv("FLY_SCRIPT", (root + "script.txt").c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    for (const auto& [name, value] : env) {
      if (value.empty()) unsetenv(name.c_str());
      else setenv(name.c_str(), value.c_str(), 1);
    }
    const std::string prog = build_dir() + "/app/flyvane_installer";
    execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -nolisten tcp",
           prog.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Without a display, runs this benchmark again under its own Xvfb, so that
// its window is a real X window: on SDL's offscreen driver a swap presents
// nothing, and a frame's drawing is then finished wherever the next wait
// falls. Returns only when there is a display, or no xvfb-run to make one.
inline void rerun_under_xvfb(char** argv) {
  if ((getenv("DISPLAY") && *getenv("DISPLAY")) || getenv("FLY_BENCH_UNDER_XVFB")) return;
  if (system("command -v xvfb-run > /dev/null 2>&1") != 0) return;
  setenv("FLY_BENCH_UNDER_XVFB", "1", 1);
  std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                             const_cast<char*>("-s"),
                             const_cast<char*>("-screen 0 1024x768x24 -nolisten tcp")};
  for (char** a = argv; *a; ++a) args.push_back(*a);
  args.push_back(nullptr);
  fflush(stdout);
  execvp("xvfb-run", args.data());
}

// A FLY_SCRIPT from the first wizard screen to the scenery map.
inline const char* const k_script_to_map =
    "wait Welcome to the Flyvane 9 Installer 60\n"
    "click Continue\n"
    "wait dvd_pick_install 30\n"
    "sleep 0.3\n"
    "click Continue\n"
    "wait see_eula 30\n"
    "click -I agree!\n"
    "sleep 0.3\n"
    "click Continue\n"
    "wait dvd_scenery_install 30\n"
    "sleep 0.5\n";

}  // namespace bench
