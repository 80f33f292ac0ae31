#include "Linux/lin_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "Linux/lin_sys.h"

namespace {
std::string usable_dir(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || LIN_make_dirs(p) != 0) return "";
  return p == "/" ? p : p + "/";
}

// A folder we made ourselves or may trust: a real folder owned by us. A wider
// mode is narrowed; anything else is refused.
bool private_dir_ok(const std::string& p) {
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 077) != 0 && chmod(p.c_str(), 0700) != 0) return false;
  return true;
}

std::mutex g_temp_mtx;
std::string g_temp_fallback;  // made once when the fixed name is taken by someone else
}  // namespace

std::string LIN_desktop_dir() { return usable_dir(LIN_xdg_user_dir("DESKTOP", "Desktop")); }

std::string LIN_prefs_dir() {
  const char* cfg = getenv("XDG_CONFIG_HOME");
  return usable_dir((cfg && *cfg) ? std::string(cfg) : LIN_home_dir() + "/.config");
}

std::string LIN_private_temp_dir() {
  const char* t = getenv("TMPDIR");
  std::string base = (t && *t) ? std::string(t) : std::string("/tmp");
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string name = base + "/flyvane-" + std::to_string(getuid());

  if (mkdir(name.c_str(), 0700) == 0 || errno == EEXIST) {
    if (private_dir_ok(name)) return name + "/";
  }
  std::lock_guard<std::mutex> g(g_temp_mtx);
  if (!g_temp_fallback.empty() && private_dir_ok(g_temp_fallback)) return g_temp_fallback + "/";
  std::string tmpl = name + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) return "";
  g_temp_fallback = buf.data();
  return g_temp_fallback + "/";
}
