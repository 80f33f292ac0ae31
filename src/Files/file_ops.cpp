#include "Files/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "Files/errors.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "UTL/cmnd.h"
#include "UTL/xer.h"

namespace {
std::string drop_slash(std::string p) {
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

int err_or_eio() { return errno ? errno : EIO; }

std::atomic<bool> g_mode_refusal_told{false}, g_time_refusal_told{false};

bool is_refusal(int err) {
  return err == EPERM || err == EACCES || err == ENOSYS || err == EOPNOTSUPP;
}

// Writes all n bytes, resuming after short writes and interruptions.
int write_all(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return w == 0 ? EIO : err_or_eio();
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

int copy_fds(int in, int out) {
  constexpr size_t k_chunk = 65536;
  std::unique_ptr<unsigned char[]> buf(new unsigned char[k_chunk]);
  for (;;) {
    ssize_t r = read(in, buf.get(), k_chunk);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return err_or_eio();
    if (r == 0) return 0;
    if (int e = write_all(out, buf.get(), static_cast<size_t>(r))) return e;
  }
}

// Copies up to size bytes of in to out inside the kernel, with no pass
// through user memory (a clone where the file system shares blocks), then
// reads on to the end: what the kernel could not copy between these two
// files, or what grew since.
int copy_regular(int in, int out, off_t size) {
  for (off_t done = 0; done < size;) {
    const ssize_t r = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - done), 0);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
      break;
    if (r < 0) return err_or_eio();
    if (r == 0) break;  // shorter than its size (a /proc file reads as 0 bytes)
    done += r;
  }
  return copy_fds(in, out);
}

int read_link(const std::string& full_path, std::string* text) {
  std::vector<char> buf(512);
  for (;;) {
    ssize_t n = readlink(full_path.c_str(), buf.data(), buf.size());
    if (n < 0) return err_or_eio();
    if (static_cast<size_t>(n) < buf.size()) {
      if (text) text->assign(buf.data(), static_cast<size_t>(n));
      return 0;
    }
    buf.resize(buf.size() * 2);
  }
}

// Names compare as signed bytes (bytes of 128 and up sort before ASCII), a
// prefix first.
bool name_less(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const signed char x = static_cast<signed char>(a[i]), y = static_cast<signed char>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

// Every entry of a folder but "." and "..", dot names included, sorted.
int list_all(const std::string& full_dir, std::vector<std::string>& out) {
  out.clear();
  DIR* d = opendir(full_dir.c_str());
  if (!d) return err_or_eio();
  errno = 0;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
  }
  closedir(d);
  std::sort(out.begin(), out.end(), name_less);
  return 0;
}

int copy_full(const std::string& src, const std::string& dst) {
  // A pipe as the source would wait for a writer for ever.
  int in = open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return err_or_eio();
  struct stat ss;
  if (fstat(in, &ss) != 0) {
    const int e = err_or_eio();
    close(in);
    return e;
  }
  if (S_ISDIR(ss.st_mode)) {
    close(in);
    return EISDIR;
  }
  if (S_ISFIFO(ss.st_mode) || S_ISSOCK(ss.st_mode)) {
    close(in);
    return EINVAL;
  }
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);  // a device reads as it always did
  // Not truncated on open: dst may be src under another name.
  int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (out < 0) {
    int e = err_or_eio();
    close(in);
    return e;
  }
  fcntl(out, F_SETFL, fcntl(out, F_GETFL) & ~O_NONBLOCK);
  struct stat ds;
  int e = 0;
  bool regular = false;  // devices such as /dev/full are written, never truncated or chmod-ed
  if (fstat(out, &ds) != 0) {
    e = err_or_eio();
  } else if (ds.st_dev == ss.st_dev && ds.st_ino == ss.st_ino) {
    e = EINVAL;
  } else {
    regular = S_ISREG(ds.st_mode);
    // Only a file that holds something is cut: ext4 flushes a file cut to
    // nothing when it is closed, and a temporary copy deleted a moment later
    // would be written to the disk for nothing.
    if (regular && ds.st_size > 0 && ftruncate(out, 0) != 0) e = err_or_eio();
  }
  if (!e) e = regular && S_ISREG(ss.st_mode) ? copy_regular(in, out, ss.st_size) : copy_fds(in, out);
  if (regular && fchmod(out, ss.st_mode & 0777) != 0) mode_refused(dst, err_or_eio());
  close(in);
  if (close(out) != 0 && !e) e = err_or_eio();
  return e;
}

int copy_link(const std::string& src, const std::string& dst) {
  std::string text;
  if (int e = read_link(src, &text)) return e;
  struct stat st;
  if (lstat(dst.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && unlink(dst.c_str()) != 0)
    return err_or_eio();
  if (symlink(text.c_str(), dst.c_str()) != 0) return err_or_eio();
  return 0;
}

int copy_tree(const std::string& src, const std::string& dst) {
  struct stat st;
  if (lstat(src.c_str(), &st) != 0) return err_or_eio();
  if (S_ISLNK(st.st_mode)) return copy_link(src, dst);
  if (!S_ISDIR(st.st_mode)) {
    if (!S_ISREG(st.st_mode)) {
      // A pipe or a device would block or never end; trees hold none of them.
      xer << "WARNING: copy skipped the special file " << src << "\n";
      return 0;
    }
    return copy_full(src, dst);
  }
  if (mkdir(dst.c_str(), 0755) != 0 && errno != EEXIST) {
    // The copies below report what went wrong.
  }
  std::vector<std::string> names;
  if (int e = list_all(src, names)) return e;
  for (const std::string& n : names)
    if (int e = copy_tree(src + "/" + n, dst + "/" + n)) return e;
  return 0;
}

int delete_tree(const std::string& dir) {  // dir ends in "/"
  std::vector<std::string> names;
  if (list_all(dir, names) != 0) {
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  for (const std::string& n : names) {
    const std::string p = dir + n;
    struct stat st;
    int e = 0;
    if (lstat(p.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile
      e = err_or_eio();
      APL_RECORD_FAILURE();
    } else if (S_ISDIR(st.st_mode)) {
      e = delete_tree(p + "/");
    } else if (unlink(p.c_str()) != 0) {
      e = err_or_eio();
      APL_RECORD_FAILURE();
    }
    if (e) return e;
  }
  if (rmdir(dir.c_str()) != 0) {
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  return 0;
}
}  // namespace

int copy_file(const std::string& src, const std::string& dst) {
  return copy_full(full_path(src), full_path(dst));
}

int rename_file(const std::string& dir, const std::string& from, const std::string& to) {
  if (rename(full_path(dir + from).c_str(), full_path(dir + to).c_str()) != 0) {
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  return 0;
}

int delete_file(const std::string& path) {
  if (path.empty()) return ENOENT;
  const std::string f = full_path(path);
  const int r = (path.back() == '/') ? rmdir(f.c_str()) : unlink(f.c_str());
  if (r != 0) {
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  return 0;
}

int make_folder(const std::string& path) {
  if (mkdir(full_path(drop_slash(path)).c_str(), 0755) != 0) {
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  return 0;
}

int dir_exists(const std::string& path) {
  struct stat st;
  return stat(full_path(drop_slash(path)).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int file_exists(const std::string& path) {
  struct stat st;
  return stat(full_path(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int entry_exists(const std::string& path) {
  struct stat st;
  return lstat(full_path(path).c_str(), &st) == 0;
}

int64_t APL_file_size64(const std::string& path) {
  struct stat st;
  if (stat(full_path(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int APL_file_size(const std::string& path) {
  const int64_t s = APL_file_size64(path);
  return s < 0 ? -1 : static_cast<int>(static_cast<uint32_t>(s));
}

int make_file_executable(const std::string& path) {
  const std::string f = full_path(path);
  struct stat st;
  // A link has no mode of its own here: chmod would change what it points to,
  // which an archive may have aimed outside the install.
  if (lstat(f.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return 0;
  if (chmod(f.c_str(), 0755) == 0) return 0;
  const int e = err_or_eio();
  mode_refused(f, e);
  return e;
}

int mode_refused(const std::string& path, int err) {
  if (!is_refusal(err)) return 0;
  if (!g_mode_refusal_told.exchange(true))
    xer << "WARNING: the destination keeps no file modes: setting the mode of " << path
        << " gave \"" << error_str(err) << "\". Files are installed there without them.\n";
  return 1;
}

int time_refused(const std::string& path, int err) {
  if (!is_refusal(err)) return 0;
  if (!g_time_refusal_told.exchange(true))
    xer << "WARNING: the destination keeps no file times: setting the time of " << path
        << " gave \"" << error_str(err) << "\". Files are installed there with the time they "
        << "were written.\n";
  return 1;
}

void reset_refusal_notes() {
  g_mode_refusal_told = false;
  g_time_refusal_told = false;
}

int is_sim_link(const std::string& path, std::string* target) {
  const std::string f = full_path(path);
  struct stat st;
  if (lstat(f.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
  std::string text;
  if (read_link(f, &text) != 0) return 0;
  if (target) *target = text;
  return 1;
}

int get_free_space(const std::string& path, unsigned long long* total,
                   unsigned long long* free_bytes) {
  std::string f = drop_slash(full_path(path));
  const size_t slash = f.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : f.substr(0, slash);
  struct statvfs v;
  if (statvfs(folder.c_str(), &v) != 0) return err_or_eio();
  if (total) *total = static_cast<unsigned long long>(v.f_blocks) * v.f_frsize;
  if (free_bytes) *free_bytes = static_cast<unsigned long long>(v.f_bavail) * v.f_frsize;
  return 0;
}

int file_type_by_suffix(const std::string& name, int type) {
  static const struct {
    const char* suffix;
    int type;
  } k_suffixes[] = {
      {".AFL", 4},  {".WPN", 5},  {".ACF", 3},  {".OBJ", 7},  {".SIT", 9},  {".SMO", 10},
      {".TXT", 19}, {".FMS", 11}, {".TRA", 13}, {".CAR", 14}, {".SPA", 15}, {".REG", 16},
      {".WAV", 6},  {".BMP", 2},  {".PNG", 2},  {".FDR", 8},  {".DSF", 17}, {".HGT", 18},
  };
  if (name.size() < 4) return type;
  char s[5];
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>(toupper(static_cast<unsigned char>(name[name.size() - 4 + i])));
  s[4] = 0;
  for (const auto& r : k_suffixes)
    if (strcmp(s, r.suffix) == 0) return r.type;
  return type;
}

int opensave_takeit(const std::string& dir, const std::string& name, int mode, int& type) {
  type = file_type_by_suffix(name, type);
  if (mode == 12) {
    const std::string p = dir + name;
    if (p.size() >= 32 && strncasecmp(p.c_str(), "Resources/bitmaps/cockpit/-panel", 32) == 0)
      return 0;
    if (p.size() >= 6) {
      const char* tail = p.c_str() + p.size() - 6;
      for (const char* t : {"-1.", "-2.", "-3.", "-4."})
        if (strncasecmp(tail, t, 3) == 0) return 0;
    }
  }
  if (name.empty() || name[0] == '.') return 0;
  return type == 1 || type == mode || mode == 0 || (mode == 12 && type == 2);
}

int opensave_getitems(const std::string& dir, int mode, std::vector<std::string>& names,
                      std::vector<int>& types) {
  names.clear();
  types.clear();
  if (mode == 20 || mode == 21) {
    if (mode == 21) cmnd.get_cmds_in_path(dir, names);
    for (std::string& n : names) {
      if (!n.empty() && n.back() == '/') {
        n.pop_back();
        types.push_back(1);
      } else {
        types.push_back(mode);
      }
    }
    return static_cast<int>(names.size());
  }
  const std::string f = full_path(dir);
  if (f.size() > 1 && f.back() != '/')
    __MACIBM_alert(0, "Working path does not appear to be a directory!",
                   "This is not consistent with my labelling practices!",
                   "I need to end all paths with the directory indicator!", f, 2, __FILE__,
                   __LINE__);
  DIR* d = opendir(f.empty() ? "." : f.c_str());
  if (!d) return 0;
  std::vector<std::pair<std::string, int>> items;
  while (dirent* e = readdir(d)) {
    int type;
    if (e->d_type == DT_DIR) {
      type = 1;
    } else if (e->d_type == DT_UNKNOWN) {
      struct stat st;
      type = (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode));
    } else {
      type = 0;  // a link to a folder is no folder here
    }
    std::string name = e->d_name;
    if (opensave_takeit(dir, name, mode, type)) items.emplace_back(std::move(name), type);
  }
  closedir(d);
  std::sort(items.begin(), items.end(),
            [](const auto& a, const auto& b) { return name_less(a.first, b.first); });
  for (auto& it : items) {
    names.push_back(std::move(it.first));
    types.push_back(it.second);
  }
  return static_cast<int>(names.size());
}

int copy_file_recursive(const std::string& src, const std::string& dst) {
  return copy_tree(full_path(drop_slash(src)), full_path(drop_slash(dst)));
}

int recursive_delete_folder(const std::string& path) {
  if (path.empty()) return ENOENT;
  std::string f = drop_slash(full_path(path));
  if (f == "/") return EINVAL;
  struct stat st;
  if (lstat(f.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    // A link given as the folder goes itself; what it points to stays.
    if (unlink(f.c_str()) == 0) return 0;
    APL_RECORD_FAILURE();
    return err_or_eio();
  }
  return delete_tree(f + "/");
}
