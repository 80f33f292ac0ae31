#include "Linux/lin_media.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "UTL/xer.h"

extern char** environ;

std::string LIN_mountinfo_path = "/proc/self/mountinfo";
std::string LIN_sysfs_root = "/sys";

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
std::string unescape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool parse_uint(const std::string& s, unsigned& v) {
  if (s.empty() || s.size() > 9) return false;
  unsigned r = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    r = r * 10 + static_cast<unsigned>(c - '0');
  }
  v = r;
  return true;
}

bool parse_line(const std::string& line, LIN_mount& m) {
  std::vector<std::string> f;
  std::istringstream in(line);
  std::string w;
  while (in >> w) f.push_back(w);
  // id parent maj:min root mount-point options [optional...] - type source super
  size_t dash = 6;
  while (dash < f.size() && f[dash] != "-") ++dash;
  if (dash + 3 > f.size()) return false;  // the source may be missing on odd file systems
  unsigned id, parent, major, minor;
  const size_t colon = f[2].find(':');
  if (colon == std::string::npos || !parse_uint(f[0], id) || !parse_uint(f[1], parent) ||
      !parse_uint(f[2].substr(0, colon), major) || !parse_uint(f[2].substr(colon + 1), minor))
    return false;
  m.id = static_cast<int>(id);
  m.parent = static_cast<int>(parent);
  m.major = major;
  m.minor = minor;
  m.root = unescape(f[3]);
  m.mount_point = unescape(f[4]);
  m.options = f[5];
  m.fstype = unescape(f[dash + 1]);
  m.source = unescape(f[dash + 2]);
  m.super_options = dash + 3 < f.size() ? f[dash + 3] : "";
  while (m.mount_point.size() > 1 && m.mount_point.back() == '/') m.mount_point.pop_back();
  return !m.mount_point.empty() && m.mount_point[0] == '/';
}

bool path_is_under(const std::string& path, const std::string& mp) {
  if (mp == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, mp.size(), mp) != 0) return false;
  return path.size() == mp.size() || path[mp.size()] == '/';
}

std::string first_line(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.pop_back();
  return s;
}

bool exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

std::string describe(int err) {
  return err ? "error " + std::to_string(err) + " (" + strerror(err) + ")" : std::string("done");
}

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void log_tool(const std::vector<std::string>& argv, int status, const std::string& output) {
  std::string cmd;
  for (const std::string& a : argv) cmd += (cmd.empty() ? "" : " ") + a;
  xer << "  " << cmd << ": exit status " << status << "\n";
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) xer << "    " << line << "\n";
}

int run_logged(const std::vector<std::string>& argv) {
  std::string out;
  const int st = LIN_run_tool(argv, 30000, &out);
  log_tool(argv, st, out);
  return st;
}

int system_unmount(const LIN_mount& m) {
  if (geteuid() == 0) return umount2(m.mount_point.c_str(), 0) == 0 ? 0 : errno;
  // A desktop user unmounts through udisks; a "user" line of fstab through umount.
  if (m.source.compare(0, 5, "/dev/") == 0 &&
      run_logged({"udisksctl", "unmount", "--no-user-interaction", "-b", m.source}) == 0)
    return 0;
  if (run_logged({"umount", m.mount_point}) == 0) return 0;
  return EBUSY;
}

int system_eject(const std::string& device) {
  int err = 0;
  const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    err = errno;
  } else {
    if (ioctl(fd, CDROMEJECT, 0) != 0) err = errno;
    close(fd);
    if (!err) return 0;
  }
  xer << "  CDROMEJECT on " << device << ": " << describe(err) << "\n";
  if (run_logged({"eject", device}) == 0) return 0;
  return err;
}

}  // namespace

const LIN_eject_ops LIN_system_eject_ops = {system_unmount, system_eject};
LIN_eject_ops LIN_eject_ops_in_use = LIN_system_eject_ops;

std::vector<LIN_mount> LIN_parse_mountinfo(const std::string& text) {
  std::vector<LIN_mount> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    LIN_mount m;
    if (parse_line(line, m)) out.push_back(std::move(m));
  }
  return out;
}

int LIN_read_mountinfo(std::vector<LIN_mount>& out) {
  std::ifstream in(LIN_mountinfo_path, std::ios::binary);
  if (!in) return errno ? errno : ENOENT;
  std::ostringstream s;
  s << in.rdbuf();
  out = LIN_parse_mountinfo(s.str());
  return 0;
}

const LIN_mount* LIN_mount_of(const std::vector<LIN_mount>& table, const std::string& abs_path) {
  const LIN_mount* best = nullptr;
  for (const LIN_mount& m : table) {
    if (!path_is_under(abs_path, m.mount_point)) continue;
    if (!best || m.mount_point.size() >= best->mount_point.size()) best = &m;
  }
  return best;
}

const LIN_mount* LIN_mount_by_id(const std::vector<LIN_mount>& table, int id) {
  for (const LIN_mount& m : table)
    if (m.id == id) return &m;
  return nullptr;
}

LIN_media_kind LIN_block_media(unsigned major, unsigned minor) {
  if (major == 0) return lin_media_unknown;  // anonymous: tmpfs, network, fuse, subvolumes
  if (major == 7) return lin_media_loop;
  if (major == 11) return lin_media_optical;  // SCSI CD-ROM (sr)
  const std::string link =
      LIN_sysfs_root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  char buf[PATH_MAX];
  if (!realpath(link.c_str(), buf)) return lin_media_unknown;
  std::string disk = buf;
  // A partition's drive facts live on the disk above it.
  if (exists(disk + "/partition")) disk = disk.substr(0, disk.find_last_of('/'));
  if (exists(disk + "/loop")) return lin_media_loop;
  if (first_line(disk + "/device/type") == "5") return lin_media_optical;  // SCSI type ROM
  if (first_line(disk + "/removable") == "1") return lin_media_removable;
  return lin_media_fixed;
}

int LIN_eject_mount(const LIN_mount& m) {
  const LIN_media_kind kind = LIN_block_media(m.major, m.minor);
  xer << "Ejecting " << m.mount_point << " (" << m.source << ", " << m.fstype << ", device "
      << m.major << ":" << m.minor << ")\n";
  if (kind == lin_media_unknown || kind == lin_media_fixed) {
    // Never unmount a fixed disk that merely holds a disc's copy.
    xer << "WARNING: " << m.mount_point << " is not on removable media; it stays mounted.\n";
    return ENODEV;
  }
  int err = LIN_eject_ops_in_use.unmount(m);
  xer << "  unmount " << m.mount_point << ": " << describe(err) << "\n";
  if (err) {
    xer << "WARNING: the disc could not be unmounted, so it was not ejected.\n";
    return err;
  }
  if (kind == lin_media_loop || m.source.compare(0, 5, "/dev/") != 0) return 0;
  err = LIN_eject_ops_in_use.eject(m.source);
  xer << "  eject " << m.source << ": " << describe(err) << "\n";
  if (err) xer << "WARNING: the drive did not open; the disc is unmounted.\n";
  return err;
}

int LIN_run_tool(const std::vector<std::string>& argv, int timeout_ms, std::string* output) {
  if (output) output->clear();
  if (argv.empty()) return 127;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pfd[2];
  if (pipe2(pfd, O_CLOEXEC) != 0) return 127;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, pfd[1], 1);
  posix_spawn_file_actions_adddup2(&fa, pfd[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, dflt;
  sigemptyset(&none);
  sigemptyset(&dflt);
  sigaddset(&dflt, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &dflt);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  close(pfd[1]);
  if (rc != 0) {
    close(pfd[0]);
    if (output) *output = std::string("cannot start ") + argv[0] + ": " + strerror(rc);
    return 127;
  }

  const int64_t deadline = now_ms() + timeout_ms;
  bool killed = false;
  char buf[4096];
  for (;;) {
    const int64_t left = deadline - now_ms();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd p{pfd[0], POLLIN, 0};
    const int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;  // timeout is caught at the top
    const ssize_t r = read(pfd[0], buf, sizeof(buf));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    if (output && output->size() < 65536) output->append(buf, static_cast<size_t>(r));
  }
  close(pfd[0]);

  // The output closed; the program may still be on its way out.
  int status = 0;
  for (;;) {
    const pid_t w = waitpid(pid, &status, killed ? 0 : WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) return 127;
    if (w == 0) {
      if (now_ms() >= deadline) {
        kill(pid, SIGKILL);
        killed = true;
      } else {
        usleep(10000);
      }
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 127;
}
