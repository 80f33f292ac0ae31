#include "Linux/lin_discs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "UTL/xer.h"

const char* const LIN_volumes_env = "FLY_MOUNTED_VOLUMES";

namespace {
bool starts_with(const std::string& s, const char* p) { return s.compare(0, strlen(p), p) == 0; }

std::string with_slash(std::string p) {
  if (p.empty() || p.back() != '/') p += "/";
  return p;
}
}  // namespace

int LIN_mount_is_skipped(const LIN_mount& m) {
  static const char* const k_kinds[] = {
      // kernel and control file systems
      "proc", "sysfs", "cgroup", "cgroup2", "devpts", "securityfs", "debugfs", "tracefs", "pstore",
      "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl", "binfmt_misc", "efivarfs", "selinuxfs",
      "rpc_pipefs", "nsfs", "autofs",
      // network shares
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "glusterfs", "9p", "davfs",
      "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "fuse.s3fs", "fuse.curlftpfs", "lustre",
      "gfs2", "ocfs2", "coda", "fuse.gvfsd-fuse", "fuse.portal"};
  for (const char* k : k_kinds)
    if (m.fstype == k) return 1;
  // A file system in user space over the network names its server.
  if (starts_with(m.fstype, "fuse.") &&
      (starts_with(m.source, "//") || m.source.find('@') != std::string::npos ||
       m.source.find(":/") != std::string::npos))
    return 1;
  return 0;
}

std::vector<std::string> LIN_volume_folders(const std::vector<LIN_mount>& table) {
  std::vector<std::string> out;
  for (const LIN_mount& m : table)
    if (!LIN_mount_is_skipped(m)) out.push_back(with_slash(m.mount_point));
  return out;
}

std::string LIN_simulated_drive() {
  const char* d = getenv(LIN_volumes_env);
  return d && *d ? with_slash(d) : std::string();
}

std::vector<std::string> LIN_mounted_volumes() {
  const std::string drive = LIN_simulated_drive();
  if (drive.empty()) {
    std::vector<LIN_mount> table;
    if (LIN_read_mountinfo(table) != 0) return {};
    return LIN_volume_folders(table);
  }
  std::vector<std::string> names;
  if (DIR* d = opendir(drive.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> out;
  struct stat st;
  for (const std::string& n : names)
    if (stat((drive + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) out.push_back(drive + n + "/");
  return out;
}

namespace {
// The drive's entry that holds path, "" when path is not on the drive.
std::string simulated_entry(const std::string& path) {
  const std::string drive = LIN_simulated_drive();
  if (drive.empty() || path.size() <= drive.size() || path.compare(0, drive.size(), drive) != 0)
    return "";
  const std::string rest = path.substr(drive.size());
  const std::string name = rest.substr(0, rest.find('/'));
  if (name.empty() || name == "." || name == "..") return "";
  return name;
}
}  // namespace

int LIN_is_simulated_volume(const std::string& path) { return !simulated_entry(path).empty(); }

int LIN_eject_simulated_volume(const std::string& path) {
  const std::string name = simulated_entry(path);
  if (name.empty()) return ENOENT;
  const std::string drive = LIN_simulated_drive(), entry = drive + name;
  struct stat st;
  int err = 0;
  if (lstat(entry.c_str(), &st) != 0)
    err = errno;
  else if (S_ISLNK(st.st_mode))
    err = unlink(entry.c_str()) == 0 ? 0 : errno;
  else  // a real folder holds data: it only leaves the drive's listing
    err = rename(entry.c_str(), (drive + "." + name).c_str()) == 0 ? 0 : errno;
  if (err)
    xer << "WARNING: could not eject the simulated disc " << entry << ": " << strerror(err) << "\n";
  else
    xer << "Ejected the simulated disc " << entry << "\n";
  return err;
}
