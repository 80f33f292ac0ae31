#include "Linux/lin_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "Linux/lin_sys.h"

namespace {
std::string usable_dir(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || LIN_make_dirs(p) != 0) return "";
  return p == "/" ? p : p + "/";
}

// Why p cannot serve as a private folder; "" when it can. A wider mode is
// narrowed.
std::string refusal_of(const std::string& p) {
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return std::string("cannot be made: ") + strerror(errno);
  if (S_ISLNK(st.st_mode)) return "is a link";
  if (!S_ISDIR(st.st_mode)) return "is not a folder";
  if (st.st_uid != getuid()) return "is not ours";
  if ((st.st_mode & 077) != 0 && chmod(p.c_str(), 0700) != 0)
    return std::string("cannot be made private: ") + strerror(errno);
  return "";
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// An exclusive lock on the folder p, on a descriptor that the programs started
// later do not inherit. -1 with errno EWOULDBLOCK while another holds it; any
// other errno (p was removed or replaced before the lock took: a sweep, or an
// installer that closed down) may be tried again.
int lock_dir(const std::string& p) {
  const int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat a, b;
  int err = ESTALE;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    err = errno;
  else if (fstat(fd, &a) == 0 && lstat(p.c_str(), &b) == 0 && same_file(a, b))
    return fd;
  close(fd);
  errno = err;
  return -1;
}

// The names mkdtemp makes from the fixed one: fixed_leaf + "-XXXXXX".
bool own_name(const std::string& leaf, const std::string& fixed_leaf) {
  if (leaf.size() != fixed_leaf.size() + 7 || leaf.compare(0, fixed_leaf.size(), fixed_leaf) != 0 ||
      leaf[fixed_leaf.size()] != '-')
    return false;
  for (size_t i = fixed_leaf.size() + 1; i < leaf.size(); ++i)
    if (!isalnum(static_cast<unsigned char>(leaf[i]))) return false;
  return true;
}

// The descriptor with the lock on dir that the run from the disc handed down,
// closed again on later starts; -1 when there is none.
int inherited_lock(const std::string& dir) {
  struct stat want;
  if (lstat(dir.c_str(), &want) != 0 || !S_ISDIR(want.st_mode)) return -1;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  int found = -1;
  while (dirent* e = readdir(d)) {
    char* end;
    const long fd = strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end || fd == dirfd(d)) continue;
    struct stat st;
    if (fstat(static_cast<int>(fd), &st) != 0 || !same_file(st, want)) continue;
    // Taken again through the descriptor that holds it, the lock is ours.
    if (flock(static_cast<int>(fd), LOCK_EX | LOCK_NB) == 0) {
      fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
      found = static_cast<int>(fd);
      break;
    }
  }
  closedir(d);
  return found;
}

std::string temp_base() {
  const char* t = getenv("TMPDIR");
  std::string base = (t && *t) ? std::string(t) : std::string("/tmp");
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

std::string fixed_leaf() { return "flyvane-" + std::to_string(getuid()); }

std::mutex g_temp_mtx;
lin_temp_claim g_temp;  // under g_temp_mtx; taken at the first call that finds a folder
}  // namespace

std::string LIN_desktop_dir() { return usable_dir(LIN_xdg_user_dir("DESKTOP", "Desktop")); }

std::string LIN_prefs_dir() {
  const char* cfg = getenv("XDG_CONFIG_HOME");
  return usable_dir((cfg && *cfg) ? std::string(cfg) : LIN_home_dir() + "/.config");
}

lin_temp_claim LIN_claim_temp_dir(const std::string& base, const std::string& exe_dir) {
  const std::string fixed = base + "/" + fixed_leaf();
  lin_temp_claim c;

  // The copy started from the disc stays in the folder it runs from.
  const std::string leaf = exe_dir.substr(exe_dir.find_last_of('/') + 1);
  const bool in_own = own_name(leaf, fixed_leaf());
  if (leaf == fixed_leaf() || in_own) {
    const std::string dir = base + "/" + leaf;
    struct stat a, b;
    if (stat(exe_dir.c_str(), &a) == 0 && lstat(dir.c_str(), &b) == 0 && same_file(a, b) &&
        refusal_of(dir).empty()) {
      c.fd = inherited_lock(dir);
      if (c.fd < 0 && in_own) c.fd = lock_dir(dir);
      if (c.fd >= 0) {
        c.dir = dir;
        c.own = in_own;
        if (in_own) {
          // The run from the disc refused the fixed folder; but for a hold,
          // the reason is still to be seen.
          std::string why = lstat(fixed.c_str(), &a) == 0 ? refusal_of(fixed) : "";
          c.refusal = fixed + " " + (why.empty() ? "is held by another installer" : why);
        }
        return c;
      }
    }
  }

  std::string why;
  for (int tries = 0; tries < 3; ++tries) {
    if (mkdir(fixed.c_str(), 0700) != 0 && errno != EEXIST) {
      why = std::string("cannot be made: ") + strerror(errno);
      break;
    }
    why = refusal_of(fixed);
    if (!why.empty()) break;
    c.fd = lock_dir(fixed);
    if (c.fd >= 0) {
      c.dir = fixed;
      return c;
    }
    const int err = errno;
    why = err == EWOULDBLOCK ? "is held by another installer"
                             : std::string("cannot be locked: ") + strerror(err);
    if (err == EWOULDBLOCK) break;
  }
  c.refusal = fixed + " " + why;

  // A sweep may take a folder just made before this run locks it: then
  // another is made.
  for (int tries = 0; tries < 3; ++tries) {
    std::string tmpl = fixed + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) break;
    c.fd = lock_dir(buf.data());
    if (c.fd >= 0) {
      c.dir = buf.data();
      c.own = 1;
      return c;
    }
  }
  return c;
}

int LIN_sweep_temp_dirs(const std::string& base, const std::string& keep) {
  std::vector<std::string> found;
  if (DIR* d = opendir(base.c_str())) {
    while (dirent* e = readdir(d))
      if (own_name(e->d_name, fixed_leaf()) && base + "/" + e->d_name != keep)
        found.push_back(base + "/" + e->d_name);
    closedir(d);
  }
  int removed = 0;
  for (const std::string& p : found) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) continue;
    const int fd = lock_dir(p);
    if (fd < 0) continue;  // a running installer's
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
    close(fd);
    if (!ec) ++removed;
  }
  return removed;
}

std::string LIN_private_temp_dir() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  if (g_temp.dir.empty()) {
    const std::string exe = LIN_exe_path();
    const size_t slash = exe.find_last_of('/');
    g_temp = LIN_claim_temp_dir(temp_base(), slash == std::string::npos ? "" : exe.substr(0, slash));
    if (g_temp.dir.empty()) return "";
  }
  // The fixed folder is made again when someone removed it; a wider mode is
  // narrowed again.
  if (!g_temp.own) mkdir(g_temp.dir.c_str(), 0700);
  return refusal_of(g_temp.dir).empty() ? g_temp.dir + "/" : "";
}

int LIN_private_temp_is_own() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  return g_temp.own;
}

std::string LIN_private_temp_refusal() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  return g_temp.refusal;
}

void LIN_private_temp_hand_down(int on) {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  if (g_temp.fd >= 0) fcntl(g_temp.fd, F_SETFD, on ? 0 : FD_CLOEXEC);
}

int LIN_sweep_private_temp_dirs() {
  std::string keep;
  {
    std::lock_guard<std::mutex> g(g_temp_mtx);
    keep = g_temp.dir;
  }
  return LIN_sweep_temp_dirs(temp_base(), keep);
}
