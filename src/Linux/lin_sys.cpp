#include "Linux/lin_sys.h"

#include <pwd.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <SDL2/SDL_messagebox.h>

#include "Linux/lin_mem.h"
#include "Linux/lin_window.h"

std::string LIN_exe_path() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

int LIN_processor_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

int LIN_probe_case_sensitive(const std::string& path) {
  // Flip the case of the last letter of the last component: if the flipped
  // name reaches the same file, the volume folds case.
  size_t slash = path.find_last_of('/');
  size_t start = (slash == std::string::npos) ? 0 : slash + 1;
  std::string flipped = path;
  size_t i = flipped.size();
  while (i > start && !isalpha(static_cast<unsigned char>(flipped[i - 1]))) --i;
  if (i == start) return -1;
  char& c = flipped[i - 1];
  c = islower(static_cast<unsigned char>(c)) ? static_cast<char>(toupper(c))
                                              : static_cast<char>(tolower(c));
  struct stat a, b;
  if (lstat(path.c_str(), &a) != 0) return -1;
  if (lstat(flipped.c_str(), &b) != 0) return 1;
  return (a.st_dev == b.st_dev && a.st_ino == b.st_ino) ? 0 : 1;
}

std::string LIN_home_dir() {
  const char* h = getenv("HOME");
  if (h && *h) return h;
  if (struct passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

std::string LIN_xdg_user_dir(const char* kind, const char* fallback_name) {
  const std::string home = LIN_home_dir();
  const char* cfg = getenv("XDG_CONFIG_HOME");
  std::string file = (cfg && *cfg) ? std::string(cfg) : home + "/.config";
  file += "/user-dirs.dirs";
  std::ifstream in(file);
  const std::string key = std::string("XDG_") + kind + "_DIR=";
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string v = line.substr(key.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
    if (!v.empty() && v[0] == '/') {
      while (v.size() > 1 && v.back() == '/') v.pop_back();
      return v;
    }
  }
  return home + "/" + fallback_name;
}

void LIN_system_alert(const std::string& s1, const std::string& s2, const std::string& s3,
                      const std::string& s4) {
  fprintf(stderr, "%s\n%s\n%s\n%s\n", s1.c_str(), s2.c_str(), s3.c_str(), s4.c_str());
  fflush(stderr);
}

int LIN_message_box(const std::string& main_text, const std::string& secondary) {
  const char* off = getenv("FLY_NO_ALERT_BOX");
  if ((off && *off) || LIN_display_lost()) return 0;
  const std::string text = secondary.empty() ? main_text : main_text + "\n\n" + secondary;
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Flyvane Installer", text.c_str(),
                                  nullptr) == 0
             ? 1
             : 0;
}

std::string LIN_os_release() {
  struct utsname u;
  if (uname(&u) != 0) return "?";
  return std::string(u.sysname) + " " + u.release;
}

namespace {
std::string cpuinfo_field(const char* name) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  const size_t n = strlen(name);
  while (std::getline(in, line)) {
    if (line.compare(0, n, name) != 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t b = line.find_first_not_of(" \t", colon + 1);
    return b == std::string::npos ? "" : line.substr(b);
  }
  return "";
}
}  // namespace

std::string LIN_cpu_name() {
  std::string s = cpuinfo_field("model name");
  return s.empty() ? "unknown" : s;
}

std::string LIN_cpu_mhz() {
  std::string s = cpuinfo_field("cpu MHz");
  char* end = nullptr;
  double mhz = strtod(s.c_str(), &end);
  // Out-of-range doubles do not convert to long.
  if (end == s.c_str() || !(mhz >= 0.0 && mhz < 1e9)) return "?";
  return std::to_string(static_cast<long>(mhz));
}

std::string LIN_ram_mb() {
  const uint64_t bytes = LIN_proc_field_bytes(LIN_read_text("/proc/meminfo"), "MemTotal");
  return bytes ? std::to_string(bytes >> 20) : "?";
}

std::string LIN_read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int LIN_make_dirs(const std::string& path) {
  std::string cur;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    cur = path.substr(0, j);
    if (!cur.empty()) {
      struct stat st;
      if (stat(cur.c_str(), &st) != 0) {
        if (mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return errno;
      } else if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
      }
    }
    i = j + 1;
  }
  return 0;
}
