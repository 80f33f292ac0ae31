#include "Files/launch.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "Linux/lin_media.h"
#include "Linux/lin_sys.h"
#include "UTL/resource.h"
#include "UTL/xer.h"

namespace {

// The five predefined XML entities and numeric references.
std::string xml_unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const size_t semi = s.find(';', i);
    if (semi == std::string::npos) {
      out += s[i];
      continue;
    }
    const std::string ent = s.substr(i + 1, semi - i - 1);
    unsigned long cp = 0;
    if (ent == "amp")
      cp = '&';
    else if (ent == "lt")
      cp = '<';
    else if (ent == "gt")
      cp = '>';
    else if (ent == "quot")
      cp = '"';
    else if (ent == "apos")
      cp = '\'';
    else if (ent.size() > 1 && ent[0] == '#')
      cp = ent[1] == 'x' ? strtoul(ent.c_str() + 2, nullptr, 16)
                         : strtoul(ent.c_str() + 1, nullptr, 10);
    if (cp == 0 || cp > 0x10FFFF) {
      out += s[i];
      continue;
    }
    UTL_append_utf8(static_cast<uint32_t>(cp), out);
    i = semi;
  }
  return out;
}

// CFBundleExecutable of an XML property list; "" when it has none.
std::string plist_executable(const std::string& plist) {
  const std::string key = "<key>CFBundleExecutable</key>";
  const size_t k = plist.find(key);
  if (k == std::string::npos) return "";
  size_t p = plist.find_first_not_of(" \t\r\n", k + key.size());
  if (p == std::string::npos || plist.compare(p, 8, "<string>") != 0) return "";
  p += 8;
  const size_t e = plist.find("</string>", p);
  if (e == std::string::npos) return "";
  return xml_unescape(plist.substr(p, e - p));
}

int read_fully(int fd, unsigned char* buf, size_t n, off_t at) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, buf + got, n - got, at + static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (r == 0) return EIO;  // short read
    got += static_cast<size_t>(r);
  }
  return 0;
}

int write_fully(int fd, const unsigned char* buf, size_t n, off_t at) {
  size_t put = 0;
  while (put < n) {
    const ssize_t w = pwrite(fd, buf + put, n - put, at + static_cast<off_t>(put));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;  // short write
    put += static_cast<size_t>(w);
  }
  return 0;
}

int set_large_address_bit(int fd) {
  unsigned char dos[64];
  if (int e = read_fully(fd, dos, sizeof(dos), 0)) return e;
  if (dos[0] != 'M' || dos[1] != 'Z') return err_no_mz;
  const uint32_t pe_at = static_cast<uint32_t>(dos[60]) | static_cast<uint32_t>(dos[61]) << 8 |
                         static_cast<uint32_t>(dos[62]) << 16 |
                         static_cast<uint32_t>(dos[63]) << 24;
  unsigned char pe[24];  // signature and COFF file header
  if (int e = read_fully(fd, pe, sizeof(pe), pe_at)) return e;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return err_no_pe;
  // IMAGE_FILE_LARGE_ADDRESS_AWARE, low byte of Characteristics. A file that
  // has it already is left untouched, so a rebuild keeps its time and archive.
  if (pe[22] & 0x20) return 0;
  pe[22] |= 0x20;
  return write_fully(fd, pe, sizeof(pe), pe_at);
}

}  // namespace

std::string APL_bundle_executable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path;
  // A bundle without a property list still has its program in Contents/MacOS/.
  const std::string plist = path + "/Contents/Info.plist", macos = path + "/Contents/MacOS";
  const bool has_plist = stat(plist.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (!has_plist && (stat(macos.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) return path;
  std::string exe = has_plist ? plist_executable(LIN_read_text(plist)) : "";
  if (exe.empty()) {
    exe = path.substr(path.find_last_of('/') + 1);
    const size_t dot = exe.find_last_of('.');
    if (dot != std::string::npos && dot > 0) exe.erase(dot);
  }
  return path + "/Contents/MacOS/" + exe;
}

int launch_app(const std::string& app, const std::string& arg, int finish_first) {
  std::string path = app;
  if (!path.empty() && path.back() == '/') path.pop_back();
  set_path_to_full(path);
  path = APL_bundle_executable(path);

  xer << "Launching: " << path << " with " << arg << "\n";
  xer.flush();

  // Everything the child needs is made before the fork: a child of a threaded
  // process may only make async-signal-safe calls.
  std::string flag = "-path", value = arg;
  std::vector<char*> argv{path.data()};
  if (!arg.empty()) {
    argv.push_back(flag.data());
    argv.push_back(value.data());
  }
  argv.push_back(nullptr);

  // The write end closes on a successful exec; a failed exec sends its errno.
  int status_pipe[2];
  if (pipe2(status_pipe, O_CLOEXEC) != 0) return errno;
  const pid_t pid = fork();
  if (pid < 0) {
    const int err = errno;
    close(status_pipe[0]);
    close(status_pipe[1]);
    xer << "WARNING: could not fork to launch " << path << ": " << error_str(err) << "\n";
    return err;
  }
  if (pid == 0) {
    close(status_pipe[0]);
    // The new program starts with the signal state of a fresh process.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);
    execv(argv[0], argv.data());
    const int err = errno;
    ssize_t unused = write(status_pipe[1], &err, sizeof(err));
    (void)unused;
    // _exit: the copied stdio and log buffers belong to the parent.
    _exit(err);
  }

  close(status_pipe[1]);
  int child_err = 0;
  ssize_t n;
  do {
    n = read(status_pipe[0], &child_err, sizeof(child_err));
  } while (n < 0 && errno == EINTR);
  const int read_err = errno;
  close(status_pipe[0]);
  if (n != 0) {
    if (n != static_cast<ssize_t>(sizeof(child_err)) || child_err == 0)
      child_err = n < 0 ? read_err : EIO;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    xer << "WARNING: could not launch " << path << ": " << error_str(child_err) << " (" << child_err
        << ")\n";
    xer.flush();
    return child_err;
  }

  if (finish_first) MACIBM_finishup(1);
  MACIBM_exit_now(1);
}

OSStatus eject_dvd(const std::string& path) {
  std::string p = path;
  set_path_to_full(p);
  char real[PATH_MAX];
  if (p.empty() || !realpath(p.c_str(), real)) {
    const int err = p.empty() ? ENOENT : errno;
    xer << "WARNING: cannot eject " << path << ": " << error_str(err) << "\n";
    return err;
  }
  std::vector<LIN_mount> table;
  if (const int err = LIN_read_mountinfo(table)) {
    xer << "WARNING: cannot eject " << path
        << ": the mount table cannot be read: " << error_str(err) << "\n";
    return err;
  }
  const LIN_mount* m = LIN_mount_of(table, real);
  if (!m) {
    xer << "WARNING: cannot eject " << path << ": no mount holds " << real << "\n";
    return ENOENT;
  }
  return LIN_eject_mount(*m);
}

int APL_is_dvd_disk(short volume) {
  std::vector<LIN_mount> table;
  if (const int err = LIN_read_mountinfo(table)) {
    printf("Could not read the mount table (error %d)\n", err);
    return 0;
  }
  const LIN_mount* m = LIN_mount_by_id(table, volume);
  if (!m) {
    printf("No mounted volume has id %d\n", volume);
    return 0;
  }
  return LIN_block_media(m->major, m->minor) == lin_media_optical ? 1 : 0;
}

std::string APL_framework_library(const std::string& name) {
  std::string n = name;
  if (!n.empty() && n.back() == '/') n.pop_back();
  if (n == "OpenGL.framework") return "libGL.so.1";
  const std::string ext = ".framework";
  if (n.size() > ext.size() && n.ends_with(ext) && n.find('/') == std::string::npos)
    return "lib" + n.substr(0, n.size() - ext.size()) + ".so";
  return n;
}

OSStatus load_bundle_by_filename(const char* name, int alert_on_failure, CFBundleRef* out) {
  const std::string shown = name ? name : "";
  const auto fail = [&](OSStatus code, const char* line, int src_line) {
    if (alert_on_failure) __MACIBM_alert(0, line, "", "", shown, t_exit, __FILE__, src_line);
    return code;
  };
  if (!name || !is_valid_utf8(name)) return fail(-50, "Could not make strsing.", __LINE__);
  const std::string lib = APL_framework_library(name);
  if (lib.empty()) return fail(-43, "Could not find bundle in frameworks folder", __LINE__);
  struct stat st;
  if (lib.find('/') != std::string::npos && stat(lib.c_str(), &st) != 0)
    return fail(-54, "Could not create bundle for location", __LINE__);

  dlerror();
  void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    const std::string text = why ? why : "";
    xer << "Could not load " << lib << ": " << text << "\n";
    if (text.find("No such file or directory") != std::string::npos)
      return fail(-54, "Could not create bundle for location", __LINE__);
    return fail(-37, "Could not load code for framework", __LINE__);
  }
  if (out)
    *out = handle;
  else
    dlclose(handle);
  return 0;
}

int make_file_large_address_aware(const std::string& exe) {
  std::string p = exe;
  set_path_to_full(p);
  const int fd = open(p.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = set_large_address_bit(fd);
  if (close(fd) != 0 && !err) err = errno;
  return err;
}
