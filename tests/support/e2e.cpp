#include "support/e2e.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TEX/TEX_image.h"
#include "OGL/gl_calls.h"
#include "support/test_util.h"

namespace fly_test {
namespace fs = std::filesystem;

namespace {
double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string program_path() { return std::string(FLY_APP_DIR) + "/flyvane_installer"; }

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// In a child: killed when the test process ends, however it ends.
void end_with_parent(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);  // it ended before the request was in
}

// Starts Xvfb on a free display; its number comes back through -displayfd.
bool start_xvfb(pid_t* pid, std::string* display) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t parent = getpid();
  const pid_t p = fork();
  if (p < 0) return false;
  if (p == 0) {
    close(fds[0]);
    setpgid(0, 0);
    end_with_parent(parent);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 1), dup2(devnull, 2);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  pollfd pf{fds[0], POLLIN, 0};
  const double end = now_s() + 20;
  while (now_s() < end && number.find('\n') == std::string::npos) {
    if (poll(&pf, 1, 200) <= 0) continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof(buf));
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    kill(-p, SIGKILL);
    waitpid(p, nullptr, 0);
    return false;
  }
  *pid = p;
  *display = ":" + number;
  return true;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  const double end = now_s() + 5;
  while (now_s() < end) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// The program or anything it started (a relocated copy, the simulator): its
// process group.
bool alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || kill(-pid, 0) == 0); }
}  // namespace

bool e2e_available(std::string* why) {
#ifdef FLY_SANITIZED_BUILD
  *why = "end-to-end runs only in the normal build";
  return false;
#endif
  if (getenv("FLY_SKIP_E2E")) {
    *why = "FLY_SKIP_E2E is set";
    return false;
  }
  if (run("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
    *why = "Xvfb or xdotool is missing (tools/install-deps.sh)";
    return false;
  }
  if (!file_exists(program_path())) {
    *why = "the installer is not built: " + program_path();
    return false;
  }
  return true;
}

const std::vector<std::string>& e2e_demo_discs() {
  static std::vector<std::string> discs;
  if (discs.empty()) {
    const std::string out = sandbox() + "demo";
    const std::string cmd = "python3 " + std::string(FLY_SOURCE_DIR) +
                            "/tools/make_demo_discs.py --make-release=" FLY_BUILD_DIR
                            "/tools/make_release --out=" + out + " >/dev/null";
    if (run(cmd) != 0) {
      ADD_FAILURE() << "the demo discs were not made: " << cmd;
      return discs;
    }
    for (int d = 0; fs::is_directory(out + "/discs/disk_" + std::to_string(d)); ++d)
      discs.push_back(out + "/discs/disk_" + std::to_string(d) + "/");
  }
  return discs;
}

std::string e2e_demo_master() { return sandbox() + "demo/master/"; }

std::string e2e_padded_disc(const std::string& folder, int extra) {
  e2e_demo_discs();
  const std::string base = sandbox() + folder + "/", master = base + "master/";
  std::filesystem::remove_all(base);
  std::filesystem::create_directories(base);
  std::filesystem::copy(e2e_demo_master(), master, std::filesystem::copy_options::recursive);
  for (int i = 0; i < extra; ++i)
    write_file(master + "All/Resources/" + folder + "/file " + std::to_string(i) + ".bin",
               pattern(65536, static_cast<uint32_t>(i)));
  const std::string cmd = "cd '" + base + "' && " FLY_BUILD_DIR
                          "/tools/make_release --type=disc --master='" + master + "' --out='" +
                          base + "discs' --name='Flyvane 9 Demo' >/dev/null";
  if (run(cmd) != 0) {
    ADD_FAILURE() << "the release was not made: " << cmd;
    return "";
  }
  return base + "discs/disk_0/";
}

const char* const e2e_script_to_map =
    "wait Welcome to the Flyvane 9 Installer 60\n"
    "click Continue\n"
    "wait I will create the folder 30\n"
    "click Continue\n"
    "wait see_eula 30\n"
    "click -I agree!\n"
    "sleep 0.3\n"
    "click Continue\n"
    "wait dvd_scenery_install 30\n"
    "sleep 0.5\n";

e2e_env::e2e_env() {
  static int count = 0;
  root = sandbox() + "e2e" + std::to_string(++count) + "/";
  home = root + "home/";
  desktop = home + "Desktop/";
  volumes = root + "volumes/";
  tmp = root + "tmp/";
  for (const std::string& d : {desktop, home + ".config/", home + ".local/share/",
                               home + ".cache/", volumes, tmp})
    fs::create_directories(d);
  fs::permissions(tmp, fs::perms::owner_all);
  program = program_path();
}

void e2e_env::insert(const std::string& disc, const std::string& name) {
  std::string d = disc;
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  const std::string n = name.empty() ? fs::path(d).filename().string() : name;
  std::error_code ec;
  fs::create_directory_symlink(d, volumes + n, ec);
  if (ec) ADD_FAILURE() << "cannot insert " << disc << ": " << ec.message();
}

void e2e_env::eject_all() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(volumes, ec)) fs::remove(e.path(), ec);
}

std::string e2e_env::log() const { return read_file(desktop + "Flyvane Installer Log.txt"); }

bool e2e_result::saw_screen(const std::string& name) const {
  for (const std::string& l : trace)
    if (l.rfind("screen " + name + " ", 0) == 0) return true;
  return false;
}

bool e2e_result::saw_line(const std::string& text) const {
  for (const std::string& l : trace)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

namespace {
// key="..." shown="..." rect=x,y,w,h enabled=e of an item line.
bool parse_item(const std::string& l, const std::string& key, int* x, int* y, int* w, int* h,
                int* enabled) {
  if (l.rfind("item ", 0) != 0) return false;
  if (l.find("key=\"" + key + "\"") == std::string::npos &&
      l.find("shown=\"" + key + "\"") == std::string::npos)
    return false;
  const size_t r = l.find(" rect=");
  int e = 0;
  if (r == std::string::npos ||
      sscanf(l.c_str() + r, " rect=%d,%d,%d,%d enabled=%d", x, y, w, h, &e) != 5)
    return false;
  if (enabled) *enabled = e;
  return true;
}
}  // namespace

bool e2e_result::item(const std::string& key, int* x, int* y, int* w, int* h,
                      int* enabled) const {
  for (const std::string& l : trace)
    if (parse_item(l, key, x, y, w, h, enabled)) return true;
  return false;
}

e2e_process::e2e_process(e2e_process&& o) noexcept
    : pid(o.pid), xvfb(o.xvfb), reaped(o.reaped), display(std::move(o.display)),
      trace_path(std::move(o.trace_path)), stderr_path(std::move(o.stderr_path)),
      deadline(o.deadline), window(std::move(o.window)) {
  o.pid = o.xvfb = -1;
}

e2e_process::~e2e_process() {
  if (pid > 0) {
    if (!reaped || kill(-pid, 0) == 0) kill(-pid, SIGKILL);
    if (!reaped) waitpid(pid, nullptr, 0);
  }
  stop(xvfb);
}

e2e_process e2e_start(e2e_env& env, const std::string& script) {
  e2e_process p;
  static int runs = 0;
  const std::string tag = std::to_string(++runs);
  p.trace_path = env.root + "trace" + tag + ".txt";
  p.stderr_path = env.root + "stderr" + tag + ".txt";
  std::string script_path;
  if (!script.empty()) {
    script_path = env.root + "script" + tag + ".txt";
    write_file(script_path, script);
  }
  if (!start_xvfb(&p.xvfb, &p.display)) {
    ADD_FAILURE() << "Xvfb did not start";
    return p;
  }
  p.deadline = now_s() + env.timeout_s;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return p;
  }
  if (pid == 0) {
    setpgid(0, 0);
    end_with_parent(parent);
    if (chdir(env.root.c_str()) != 0) _exit(126);
    const int err = open(p.stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0), dup2(devnull, 1), dup2(err, 2);
    setenv("DISPLAY", p.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    setenv("HOME", env.home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (env.home + ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (env.home + ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (env.home + ".cache").c_str(), 1);
    // A session's runtime folder, private as the desktop makes it (the
    // libraries warn without one).
    const std::string runtime = env.root + "runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("TMPDIR", env.tmp.c_str(), 1);
    setenv("FLY_MOUNTED_VOLUMES", env.volumes.c_str(), 1);
    setenv("FLY_TRACE", p.trace_path.c_str(), 1);
    if (!script_path.empty()) setenv("FLY_SCRIPT", script_path.c_str(), 1);
    else unsetenv("FLY_SCRIPT");
    for (const auto& [k, v] : env.extra_env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(env.program.data());
    for (std::string& a : env.args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(env.program.c_str(), argv.data());
    _exit(127);
  }
  p.pid = pid;
  return p;
}

std::vector<std::string> e2e_trace(const e2e_process& p) {
  return split_lines(read_file(p.trace_path));
}

bool e2e_wait_line(const e2e_process& p, const std::string& text, int seconds, size_t from) {
  const double end = now_s() + seconds;
  do {
    const std::vector<std::string> lines = e2e_trace(p);
    for (size_t i = from; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return true;
    if (!alive(p.pid)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (now_s() < end);
  return false;
}

bool e2e_wait_item(const e2e_process& p, const std::string& key, int seconds, int* x, int* y,
                   int* w, int* h) {
  const double end = now_s() + seconds;
  do {
    const std::vector<std::string> lines = e2e_trace(p);
    // The latest complete block: from its "screen" line to its "end".
    size_t last_end = lines.size(), start = 0;
    for (size_t i = lines.size(); i-- > 0;)
      if (lines[i] == "end") {
        last_end = i;
        break;
      }
    for (size_t i = last_end; i-- > 0;)
      if (lines[i].rfind("screen ", 0) == 0) {
        start = i;
        break;
      }
    if (last_end < lines.size())
      for (size_t i = start; i < last_end; ++i) {
        int e = 0;
        if (parse_item(lines[i], key, x, y, w, h, &e) && e) return true;
      }
    if (!alive(p.pid)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (now_s() < end);
  return false;
}

std::string e2e_window(const e2e_process& p) {
  if (!p.window.empty()) return p.window;
  std::string win;
  if (run("DISPLAY=" + p.display + " timeout 20 xdotool search --sync --onlyvisible --pid " +
              std::to_string(p.pid) + " 2>/dev/null | head -1",
          &win) != 0)
    return "";
  while (!win.empty() && (win.back() == '\n' || win.back() == ' ')) win.pop_back();
  return p.window = win;
}

bool e2e_xclick(const e2e_process& p, int x, int y) {
  // A real X button press and release at the window-relative position.
  const std::string win = e2e_window(p);
  return !win.empty() &&
         run("DISPLAY=" + p.display + " timeout 20 xdotool mousemove --window " + win + " " +
             std::to_string(x) + " " + std::to_string(y) + " sleep 0.1 click 1") == 0;
}

namespace {
// The system's Python when there is one: a version manager's shim takes
// seconds to start.
const std::string& python() {
  static const std::string path =
      file_exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  return path;
}
}  // namespace

bool e2e_wm_close(const e2e_process& p) {
  const std::string win = e2e_window(p);
  return !win.empty() && run("DISPLAY=" + p.display + " timeout 20 " + python() +
                             " " FLY_SOURCE_DIR "/tests/support/wm_close.py " + win) == 0;
}

e2e_result e2e_finish(e2e_env& env, e2e_process& p) {
  e2e_result r;
  if (p.pid > 0) {
    int status = 0;
    for (;;) {
      const pid_t w = waitpid(p.pid, &status, WNOHANG);
      if (w == p.pid) {
        r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        p.reaped = true;
        break;
      }
      if (now_s() > p.deadline) {
        r.timed_out = true;
        kill(-p.pid, SIGKILL);
        waitpid(p.pid, nullptr, 0);
        p.reaped = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // What it started (a relocated copy, the simulator) runs on in its group.
    while (kill(-p.pid, 0) == 0 && now_s() < p.deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (kill(-p.pid, 0) == 0) {
      r.timed_out = true;
      kill(-p.pid, SIGKILL);
    }
  }
  stop(p.xvfb);
  p.xvfb = -1;
  r.trace = e2e_trace(p);
  r.log = env.log();
  r.stderr_text = read_file(p.stderr_path);
  for (const std::string& l : r.trace)
    if (l.rfind("screenshot ", 0) == 0) {
      std::string path = l.substr(11);
      if (path.empty() || path[0] != '/') path = env.root + path;
      r.screenshots.push_back(path);
    }
  return r;
}

e2e_result e2e_run(e2e_env& env, const std::string& script, const std::string&) {
  e2e_process p = e2e_start(env, script);
  return e2e_finish(env, p);
}

void e2e_image::at(int x, int y, int* r, int* g, int* b) const {
  const size_t i = (static_cast<size_t>(y) * width + x) * 4;
  *r = rgba[i], *g = rgba[i + 1], *b = rgba[i + 2];
}

int e2e_image::colours(int limit) const {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    const uint32_t c = rgba[i] | rgba[i + 1] << 8 | rgba[i + 2] << 16;
    bool found = false;
    for (uint32_t s : seen)
      if (s == c) {
        found = true;
        break;
      }
    if (!found) {
      seen.push_back(c);
      if (static_cast<int>(seen.size()) >= limit) break;
    }
  }
  return static_cast<int>(seen.size());
}

e2e_image e2e_read_png(const std::string& path) {
  e2e_image img;
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  if (!TEX_load_any(path, px, GL_RGBA, 0, 0, d) || !px) return img;
  img.width = d.width;
  img.height = d.height;
  img.rgba.resize(static_cast<size_t>(d.width) * d.height * 4);
  // The loader gives the bottom row first; the image is read top first.
  for (int row = 0; row < d.height; ++row)
    memcpy(img.rgba.data() + static_cast<size_t>(row) * d.width * 4,
           px + static_cast<size_t>(d.height - 1 - row) * d.width * 4,
           static_cast<size_t>(d.width) * 4);
  free(px);
  return img;
}

e2e_image e2e_snap_window(const e2e_process& p) {
  e2e_image img;
  const std::string win = e2e_window(p);
  static int snaps = 0;
  const std::string out = sandbox() + "snap" + std::to_string(++snaps) + ".ppm";
  if (win.empty() || run("DISPLAY=" + p.display + " timeout 20 " + python() +
                             " " FLY_SOURCE_DIR "/tests/support/x_snap.py " + win + " " + out) != 0)
    return img;
  const std::string ppm = read_file(out);
  int w = 0, h = 0, n = 0;
  if (sscanf(ppm.c_str(), "P6 %d %d 255%n", &w, &h, &n) != 2 || n <= 0 ||
      ppm.size() != static_cast<size_t>(n) + 1 + static_cast<size_t>(w) * h * 3)
    return img;
  img.width = w;
  img.height = h;
  img.rgba.resize(static_cast<size_t>(w) * h * 4, 255);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
    memcpy(&img.rgba[i * 4], ppm.data() + n + 1 + i * 3, 3);
  return img;
}

std::vector<e2e_listed> e2e_disc_file_list(const std::string& disc1) {
  std::string release;
  for (const auto& e : fs::directory_iterator(disc1))
    if (e.is_directory()) release = e.path().string();
  const std::string text = sh("unzip -p '" + release + "/directory.txt.zip'");
  std::vector<e2e_listed> out;
  std::istringstream in(text);
  std::string line, dir;
  int disk = 0;
  while (std::getline(in, line)) {
    if (line.rfind("DISK ", 0) == 0) disk = std::stoi(line.substr(5));
    if (line.rfind("DIR ", 0) == 0) dir = line.substr(4);
    if (line.rfind("FILE ", 0) != 0) continue;
    std::istringstream f(line);
    std::string kw, zero, platform, version, zip_kb, size_kb, md5;
    f >> kw >> zero >> platform >> version >> zip_kb >> size_kb >> md5;
    std::string file;
    std::getline(f, file);
    file = file.substr(1);
    if (platform != "0" && platform != "3" && platform != "6") continue;
    if (md5 == "GONE") continue;
    const std::string path = dir + file;
    const bool global = path.find("Global Scenery") != std::string::npos;
    out.push_back({path.substr(path.find('/') + 1), md5, global, disk,
                   path + (global ? ".7z" : ".zip")});
  }
  return out;
}

void e2e_expect_wizard_shot(const std::string& png) {
  e2e_expect_wizard_picture(e2e_read_png(png), png);
}

void e2e_expect_wizard_picture(const e2e_image& img, const std::string& what) {
  ASSERT_TRUE(img.ok()) << what;
  EXPECT_EQ(img.width, 800);
  EXPECT_EQ(img.height, 600);
  EXPECT_GT(img.colours(), 16) << what;
  int r, g, b;
  img.at(4, 4, &r, &g, &b);
  const int back = r + g + b;
  img.at(105, 400, &r, &g, &b);  // the step panel
  EXPECT_GT(r + g + b, back + 150) << what;
}

bool e2e_click_question(const e2e_process& p, int window, int dx, int dy) {
  const std::string head = "window " + std::to_string(window) + " ";
  if (!e2e_wait_line(p, head, 60)) return false;
  std::string line;
  for (const std::string& l : e2e_trace(p))
    if (l.rfind(head, 0) == 0) line = l;
  int rx, ry, rw, rh;
  const size_t at = line.rfind("rect=");
  if (at == std::string::npos ||
      std::sscanf(line.c_str() + at, "rect=%d,%d,%d,%d", &rx, &ry, &rw, &rh) != 4)
    return false;
  for (int tries = 0; tries < 5; ++tries) {
    const size_t mark = e2e_trace(p).size();
    if (!e2e_xclick(p, rx + dx, ry + rh - dy)) return false;
    if (e2e_wait_line(p, "window 0 ", 5, mark)) return true;
  }
  return false;
}

}  // namespace fly_test
