#include "Files/safe_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unordered_set>

#include "Files/errors.h"

namespace {
int err_or_eio() { return errno ? errno : EIO; }

// The components of rel, without empty and "." ones.
std::vector<std::string> components(const std::string& rel) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    if (end > start) {
      std::string c = rel.substr(start, end - start);
      if (c != ".") out.push_back(std::move(c));
    }
    start = end + 1;
  }
  return out;
}

std::string join(const std::vector<std::string>& comps, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += '/';
    s += comps[i];
  }
  return s;
}

std::string ascii_lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Unique within the process by the counter and between processes by the pid;
// a leftover of a crashed run is stepped over by O_EXCL.
std::string temp_name() {
  static std::atomic<unsigned long long> counter{0};
  char buf[64];
  snprintf(buf, sizeof(buf), ".fly-%lx-%llx.tmp", static_cast<unsigned long>(getpid()),
           counter.fetch_add(1, std::memory_order_relaxed));
  return buf;
}

int open_below(int dir, const std::string& name, bool make, int* out) {
  int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && make) {
    if (mkdirat(dir, name.c_str(), 0755) != 0 && errno != EEXIST) return err_or_eio();
    fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) {
    if (errno == ELOOP) return err_unsafe_path;
    if (errno == ENOTDIR) {
      struct stat st;
      if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return err_unsafe_path;
      errno = ENOTDIR;
    }
    return err_or_eio();
  }
  *out = fd;
  return 0;
}
}  // namespace

int same_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

int drop_other_spellings(out_folder& folder, const std::string& leaf) {
  int dir;
  std::string name;
  if (int e = folder.open_parent(leaf, false, &dir, &name)) return e;
  struct stat keep;
  const bool have = fstatat(dir, name.c_str(), &keep, AT_SYMLINK_NOFOLLOW) == 0;
  DIR* d = fdopendir(dir);
  if (!d) {
    const int e = err_or_eio();
    close(dir);
    return e;
  }
  rewinddir(d);  // the descriptor shares its offset with the folder's own
  std::vector<std::string> others;
  while (const dirent* e = readdir(d))
    if (e->d_name != name && same_ignoring_case(e->d_name, name)) others.push_back(e->d_name);
  int err = 0;
  for (const std::string& o : others) {
    struct stat st;
    if (fstatat(dirfd(d), o.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode))
      continue;
    if (have && st.st_dev == keep.st_dev && st.st_ino == keep.st_ino) continue;
    if (unlinkat(dirfd(d), o.c_str(), 0) != 0 && errno != ENOENT) err = err_or_eio();
  }
  closedir(d);
  return err;
}

int archive_name_is_safe(const std::string& name) {
  if (name.empty() || name[0] == '/') return 0;
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return 0;
  const std::vector<std::string> comps = components(name);
  if (comps.empty()) return 0;
  for (const std::string& c : comps)
    if (c == "..") return 0;
  return 1;
}

int check_archive_targets(const std::vector<archive_target>& targets, const std::string& base,
                          std::string* bad) {
  auto refuse = [&](const std::string& name) {
    if (bad) *bad = name;
    return static_cast<int>(err_unsafe_path);
  };
  std::unordered_set<std::string> links;
  for (const archive_target& t : targets) {
    if (!archive_name_is_safe(t.rel)) return refuse(t.rel);
    if (t.is_link) {
      const std::vector<std::string> c = components(t.rel);
      links.insert(ascii_lower(join(c, c.size())));
    }
  }
  std::string root = base.empty() ? std::string("./") : base;
  if (root.back() != '/') root += '/';
  std::unordered_set<std::string> on_disk_checked;
  for (const archive_target& t : targets) {
    const std::vector<std::string> c = components(t.rel);
    for (size_t n = 1; n < c.size(); ++n) {
      const std::string prefix = join(c, n);
      if (!links.empty() && links.count(ascii_lower(prefix))) return refuse(t.rel);
      if (!on_disk_checked.insert(prefix).second) continue;
      struct stat st;
      if (lstat((root + prefix).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return refuse(t.rel);
    }
  }
  return 0;
}

out_folder::out_folder(const std::string& full_path) : path_(full_path) {}

out_folder::~out_folder() {
  if (fd_ >= 0) close(fd_);
}

int out_folder::base_fd(int* fd) {
  if (fd_ < 0) {
    fd_ = open(path_.empty() ? "." : path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return err_or_eio();
  }
  *fd = fd_;
  return 0;
}

int out_folder::open_parent(const std::string& rel, bool make, int* fd, std::string* leaf) {
  const std::vector<std::string> comps = components(rel);
  if (comps.empty()) return EINVAL;
  int cur;
  if (int e = base_fd(&cur)) return e;
  int owned = -1;  // cur when it is not the base
  for (size_t i = 0; i + 1 < comps.size(); ++i) {
    int next;
    const int e = open_below(cur, comps[i], make, &next);
    if (owned >= 0) close(owned);
    if (e) return e;
    cur = owned = next;
  }
  if (owned < 0) {
    owned = fcntl(cur, F_DUPFD_CLOEXEC, 0);
    if (owned < 0) return err_or_eio();
  }
  *fd = owned;
  *leaf = comps.back();
  return 0;
}

int out_folder::make_dirs(const std::string& rel) {
  int dir;
  std::string leaf;
  if (int e = open_parent(rel, true, &dir, &leaf)) return e;
  int e = 0;
  if (mkdirat(dir, leaf.c_str(), 0755) != 0 && errno != EEXIST) e = err_or_eio();
  close(dir);
  return e;
}

void out_folder::check_content(const std::string& rel, content_check* check) {
  check_rel_ = rel;
  check_ = check;
  if (check_) check_->got.clear();
}

content_check* out_folder::check_for(const std::string& rel) const {
  return check_ && rel == check_rel_ ? check_ : nullptr;
}

namespace {
// The sum of what was unpacked goes to check->got; 0 when it is the one wanted.
int settle(content_check* check, MD5_CTX& md5) {
  MD5Final(&md5);
  check->got = md5_hex(md5);
  return check->got == check->want ? 0 : err_content_mismatch;
}
}  // namespace

out_file::~out_file() { discard(); }

void out_file::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  check_ = nullptr;
  if (!tmp_.empty() && dir_ >= 0) unlinkat(dir_, tmp_.c_str(), 0);
  tmp_.clear();
  if (dir_ >= 0) close(dir_);
  dir_ = -1;
}

int out_file::create(out_folder& folder, const std::string& rel, bool make_dirs) {
  discard();
  if (int e = folder.open_parent(rel, make_dirs, &dir_, &leaf_)) {
    dir_ = -1;
    return e;
  }
  for (int tries = 0; tries < 100; ++tries) {
    const std::string name = temp_name();
    fd_ = openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      tmp_ = name;
      check_ = folder.check_for(rel);
      if (check_) MD5Init(&md5_);
      return 0;
    }
    if (errno != EEXIST) break;
  }
  const int e = err_or_eio();
  discard();
  return e;
}

int out_file::write(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  if (check_) MD5UpdateWide(&md5_, p, n);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return err_or_eio();
    if (w == 0) return err_unzip_short_write;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

int out_file::set_mode(mode_t mode) { return fchmod(fd_, mode) == 0 ? 0 : err_or_eio(); }

int out_file::set_time(time_t when) {
  const struct timespec ts[2] = {{when, 0}, {when, 0}};
  return utimensat(dir_, tmp_.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : err_or_eio();
}

int out_file::commit() {
  int e = close(fd_) == 0 ? 0 : err_or_eio();
  fd_ = -1;
  if (!e && check_) e = settle(check_, md5_);
  if (!e && renameat(dir_, tmp_.c_str(), dir_, leaf_.c_str()) != 0) e = err_or_eio();
  if (!e) tmp_.clear();
  discard();
  return e;
}

int make_link_at(out_folder& folder, const std::string& rel, const std::string& text,
                 bool make_dirs) {
  if (content_check* check = folder.check_for(rel)) {
    MD5_CTX md5;
    MD5Init(&md5);
    MD5UpdateWide(&md5, text.data(), text.size());
    if (int e = settle(check, md5)) return e;
  }
  int dir;
  std::string leaf;
  if (int e = folder.open_parent(rel, make_dirs, &dir, &leaf)) return e;
  int e = EEXIST;
  for (int tries = 0; tries < 100 && e == EEXIST; ++tries) {
    const std::string tmp = temp_name();
    if (symlinkat(text.c_str(), dir, tmp.c_str()) != 0) {
      e = err_or_eio();
      continue;
    }
    e = renameat(dir, tmp.c_str(), dir, leaf.c_str()) == 0 ? 0 : err_or_eio();
    if (e) unlinkat(dir, tmp.c_str(), 0);
    break;
  }
  close(dir);
  return e;
}
