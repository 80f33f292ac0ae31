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
#include <mutex>
#include <vector>

#include "Linux/lin_sys.h"
#include "UTL/xer.h"

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

// flock's errors that say the file system cannot lock at all (NFS without lock
// support, whose emulation wants a descriptor open for writing; some FUSE
// mounts), as against "held" or a folder that went.
bool cannot_lock(int err) { return err != EWOULDBLOCK && err != EINTR; }

enum class lock_result { locked, held, gone, unlockable };

// An exclusive lock on the folder p, on a descriptor that the programs started
// later do not inherit. *fd is that descriptor, also when the file system
// cannot lock (unlockable); *err the reason when not locked. gone (p was
// removed or replaced before the lock took: a sweep, or an installer that
// closed down) may be tried again.
lock_result lock_dir(const std::string& p, int* fd, int* err) {
  *fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (*fd < 0) {
    *err = errno;
    return lock_result::gone;
  }
  lock_result r = lock_result::locked;
  if (LIN_temp_lock_call(*fd, LOCK_EX | LOCK_NB) != 0) {
    *err = errno;
    r = *err == EWOULDBLOCK ? lock_result::held
        : cannot_lock(*err) ? lock_result::unlockable
                            : lock_result::gone;
  }
  struct stat a, b;
  if (r != lock_result::held && r != lock_result::gone &&
      !(fstat(*fd, &a) == 0 && lstat(p.c_str(), &b) == 0 && same_file(a, b))) {
    *err = ESTALE;
    r = lock_result::gone;
  }
  if (r == lock_result::held || r == lock_result::gone) {
    close(*fd);
    *fd = -1;
  }
  return r;
}

// What an installer puts in each folder of its own that it holds, so that
// the sweep never takes a folder of the same name that is not one.
const char k_mark_text[] = "A temporary folder of the Flyvane Installer\n";

void put_mark(int dir) {
  const int m = openat(dir, LIN_temp_mark_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0600);
  if (m < 0) return;
  if (write(m, k_mark_text, sizeof(k_mark_text) - 1) < 0) {
  }
  close(m);
}

bool has_mark(int dir) {
  const int m = openat(dir, LIN_temp_mark_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (m < 0) return false;
  char buf[sizeof(k_mark_text)];
  struct stat st;
  const bool ok = fstat(m, &st) == 0 && S_ISREG(st.st_mode) &&
                  read(m, buf, sizeof(buf)) == static_cast<ssize_t>(sizeof(k_mark_text) - 1) &&
                  memcmp(buf, k_mark_text, sizeof(k_mark_text) - 1) == 0;
  close(m);
  return ok;
}

// Removes what the folder open as dir holds, but for the entries spare,
// through descriptors only: a link put in meanwhile is removed, never followed.
// true when all of it went.
bool empty_at(int dir, const std::vector<std::string>& spare) {
  const int d = fcntl(dir, F_DUPFD_CLOEXEC, 0);
  DIR* list = d < 0 ? nullptr : fdopendir(d);
  if (!list) {
    if (d >= 0) close(d);
    return false;
  }
  rewinddir(list);
  std::vector<std::string> names;
  while (dirent* e = readdir(list)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    bool spared = false;
    for (const std::string& k : spare) spared = spared || k == e->d_name;
    if (!spared) names.push_back(e->d_name);
  }
  closedir(list);
  bool all = true;
  for (const std::string& n : names) {
    struct stat st;
    if (fstatat(dir, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      all = all && errno == ENOENT;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      const int sub = openat(dir, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        all = empty_at(sub, {}) && all;
        close(sub);
      }
      if (unlinkat(dir, n.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) all = false;
    } else if (unlinkat(dir, n.c_str(), 0) != 0 && errno != ENOENT) {
      all = false;
    }
  }
  return all;
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
// closed again on later starts; -1 when there is none. Where the file system
// cannot lock, the descriptor handed down, *locked 0.
int inherited_lock(const std::string& dir, int* locked) {
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
    const int r = LIN_temp_lock_call(static_cast<int>(fd), LOCK_EX | LOCK_NB);
    if (r == 0 || cannot_lock(errno)) {
      *locked = r == 0;
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

// Whether the folder open as fd is the one that path names now.
bool leads_to(const std::string& path, int fd) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && lstat(path.c_str(), &b) == 0 && same_file(a, b);
}

std::mutex g_temp_mtx;
lin_temp_claim g_temp;  // under g_temp_mtx; claimed at the first call
int g_taken = 0;        // under g_temp_mtx: the installer took g_temp
}  // namespace

int (*LIN_temp_lock_call)(int fd, int operation) = flock;
const char LIN_temp_mark_name[] = ".flyvane-temp";

std::string LIN_desktop_dir() { return usable_dir(LIN_xdg_user_dir("DESKTOP", "Desktop")); }

std::string LIN_prefs_dir() {
  const char* cfg = getenv("XDG_CONFIG_HOME");
  return usable_dir((cfg && *cfg) ? std::string(cfg) : LIN_home_dir() + "/.config");
}

lin_temp_claim LIN_claim_temp_dir(const std::string& base, const std::string& exe_dir) {
  const std::string fixed = base + "/" + fixed_leaf();
  lin_temp_claim c;
  c.claimed = 1;
  c.base = base;

  // The copy started from the disc stays in the folder it runs from.
  const std::string leaf = exe_dir.substr(exe_dir.find_last_of('/') + 1);
  const bool in_own = own_name(leaf, fixed_leaf());
  if (leaf == fixed_leaf() || in_own) {
    const std::string dir = base + "/" + leaf;
    struct stat a, b;
    if (stat(exe_dir.c_str(), &a) == 0 && lstat(dir.c_str(), &b) == 0 && same_file(a, b) &&
        refusal_of(dir).empty()) {
      c.fd = inherited_lock(dir, &c.locked);
      if (c.fd < 0 && in_own) {
        int err;
        c.locked = lock_dir(dir, &c.fd, &err) == lock_result::locked;
      }
      if (c.fd >= 0 && !c.locked && !in_own) {
        close(c.fd);  // the fixed folder is only ever worked in under a lock
        c.fd = -1;
      }
      if (c.fd >= 0) {
        c.dir = dir;
        c.own = in_own;
        if (in_own) {
          // The run from the disc refused the fixed folder; but for a hold,
          // the reason is still to be seen.
          std::string why = lstat(fixed.c_str(), &a) == 0 ? refusal_of(fixed) : "";
          if (why.empty())
            why = c.locked ? "is held by another installer" : "cannot be locked";
          c.refusal = fixed + " " + why;
        }
        return c;
      }
    }
  }

  std::string why;
  bool unlockable = false;
  for (int tries = 0; tries < 3; ++tries) {
    const bool made = mkdir(fixed.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) {
      why = std::string("cannot be made: ") + strerror(errno);
      break;
    }
    why = refusal_of(fixed);
    if (!why.empty()) break;
    int err;
    const lock_result r = lock_dir(fixed, &c.fd, &err);
    if (r == lock_result::locked) {
      c.dir = fixed;
      c.locked = 1;
      return c;
    }
    if (r == lock_result::held) {
      why = "is held by another installer";
      break;
    }
    why = std::string("cannot be locked: ") + strerror(err);
    if (r == lock_result::unlockable) {
      close(c.fd);
      c.fd = -1;
      unlockable = true;
      if (made) rmdir(fixed.c_str());  // nothing of this run's is left behind
      break;
    }
  }
  c.refusal = fixed + " " + why;

  // A folder of the run's own; mkdtemp never makes one name twice, so where
  // nothing can be locked it is still the run's alone.
  for (int tries = 0; tries < 3; ++tries) {
    std::string tmpl = fixed + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) break;
    int err;
    const lock_result r = lock_dir(buf.data(), &c.fd, &err);
    if (r == lock_result::locked || r == lock_result::unlockable) {
      c.dir = buf.data();
      c.own = 1;
      c.locked = r == lock_result::locked;
      // Unlocked, it bears no mark: a sweep must never take a running
      // installer's folder.
      if (c.locked)
        put_mark(c.fd);
      else if (!unlockable)
        c.refusal += std::string(", and no folder there can be locked: ") + strerror(err);
      return c;
    }
    // A sweep looking at it holds it for a moment; one that went is not ours
    // to remove.
    if (r == lock_result::held) rmdir(buf.data());
  }
  return c;
}

int LIN_sweep_temp_dirs(const std::string& base, const std::string& keep) {
  const int b = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (b < 0) return 0;
  std::vector<std::string> found;
  if (const int d = fcntl(b, F_DUPFD_CLOEXEC, 0); d >= 0) {
    if (DIR* list = fdopendir(d)) {
      while (dirent* e = readdir(list))
        if (own_name(e->d_name, fixed_leaf()) && base + "/" + e->d_name != keep)
          found.push_back(e->d_name);
      closedir(list);
    } else {
      close(d);
    }
  }
  int removed = 0;
  for (const std::string& n : found) {
    const int fd = openat(b, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;  // a link, a file, gone
    // Another user's, a running installer's, or not an installer's at all:
    // left. The mark goes last, so a sweep cut short leaves one to finish.
    struct stat st, now;
    if (fstat(fd, &st) == 0 && st.st_uid == getuid() &&
        LIN_temp_lock_call(fd, LOCK_EX | LOCK_NB) == 0 && has_mark(fd) &&
        empty_at(fd, {LIN_temp_mark_name}) && unlinkat(fd, LIN_temp_mark_name, 0) == 0 &&
        fstatat(b, n.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(st, now) &&
        unlinkat(b, n.c_str(), AT_REMOVEDIR) == 0)
      ++removed;
    close(fd);
  }
  close(b);
  return removed;
}

std::string LIN_run_temp_dir(lin_temp_claim& run, const std::string& base,
                             const std::string& exe_dir) {
  if (!run.claimed) run = LIN_claim_temp_dir(base, exe_dir);
  if (run.dir.empty()) return "";
  if (!leads_to(run.dir, run.fd)) {
    // Made again by name, it would be a folder that no lock holds and that
    // a second installer could take as well.
    lin_temp_claim next = LIN_claim_temp_dir(run.base, "");
    xer << "WARNING: The temporary folder " << run.dir << " was removed or replaced from outside: "
        << (next.dir.empty()      ? std::string("this run has none now")
            : next.dir == run.dir ? std::string("this run made it again and holds it")
                                  : "this run works in " + next.dir + "/")
        << (next.refusal.empty() ? "" : " (" + next.refusal + ")") << "\n";
    close(run.fd);
    run = next;
    if (run.dir.empty()) return "";
  }
  // A wider mode is narrowed again.
  return refusal_of(run.dir).empty() ? run.dir + "/" : "";
}

std::string LIN_private_temp_dir() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  std::string exe_dir;
  if (!g_temp.claimed) {
    const std::string exe = LIN_exe_path();
    const size_t slash = exe.find_last_of('/');
    if (slash != std::string::npos) exe_dir = exe.substr(0, slash);
  }
  return LIN_run_temp_dir(g_temp, temp_base(), exe_dir);
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
  std::string keep, base;
  {
    std::lock_guard<std::mutex> g(g_temp_mtx);
    keep = g_temp.dir;
    base = g_temp.claimed ? g_temp.base : temp_base();
  }
  return LIN_sweep_temp_dirs(base, keep);
}

void LIN_private_temp_take(const std::vector<std::string>& spare) {
  LIN_private_temp_dir();  // claimed, and followed when it went
  std::lock_guard<std::mutex> g(g_temp_mtx);
  if (g_temp.dir.empty()) return;
  g_taken = 1;
  g_temp.spare = spare;
  LIN_clear_temp_dir(g_temp);
}

int LIN_private_temp_taken() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  return g_taken;
}

void LIN_private_temp_close_down() {
  std::lock_guard<std::mutex> g(g_temp_mtx);
  if (g_taken) LIN_close_temp_dir(g_temp);
  g_taken = 0;
}

bool LIN_clear_temp_dir(const lin_temp_claim& run) {
  if (run.fd < 0) return false;
  std::vector<std::string> spare = run.spare;
  spare.push_back(LIN_temp_mark_name);
  return empty_at(run.fd, spare);
}

void LIN_close_temp_dir(lin_temp_claim& run) {
  if (run.fd < 0) return;
  // A folder of the run's own goes whole, the program's copy in it too.
  lin_temp_claim whole = run;
  if (run.own) whole.spare.clear();
  const bool all = LIN_clear_temp_dir(whole);
  if (!leads_to(run.dir, run.fd)) {
    // Whatever the name leads to now (a link to the user's files, a folder
    // made in its place) is not this run's to empty or remove.
    xer << "WARNING: The temporary folder " << run.dir
        << " was removed or replaced from outside: the close-down emptied only the folder this "
           "run holds and left what that name now leads to alone\n";
  } else if (all) {
    // The mark goes last, so that a close-down cut short leaves a folder the
    // sweep finishes; removed by name, a folder swapped in meanwhile is
    // never emptied, and a link or a full folder is not removed at all.
    unlinkat(run.fd, LIN_temp_mark_name, 0);
    // Not empty while the program's copy is in it.
    if (rmdir(run.dir.c_str()) != 0 && errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT) {
      const int err = errno;
      xer << "WARNING: The temporary folder " << run.dir << " could not be removed: "
          << strerror(err) << "\n";
    }
  }
  close(run.fd);
  run.fd = -1;
  run.dir.clear();
}
