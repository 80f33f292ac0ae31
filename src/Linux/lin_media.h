// Mounts, block devices and disc eject: what the installer needs to find the
// volume that holds a path and to give a disc back to the user.
#pragma once

#include <string>
#include <vector>

// One line of /proc/self/mountinfo, octal escapes decoded.
struct LIN_mount {
  int id = 0;
  int parent = 0;
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;         // the mounted folder inside its file system
  std::string mount_point;  // absolute, no trailing "/" (except "/" itself)
  std::string options;
  std::string fstype;
  std::string source;  // "/dev/sr0", "tmpfs", "server:/share", ...
  std::string super_options;
};

// Where the mount table and sysfs are read; tests point them at fakes.
extern std::string LIN_mountinfo_path;  // "/proc/self/mountinfo"
extern std::string LIN_sysfs_root;      // "/sys"

// Malformed lines are skipped.
std::vector<LIN_mount> LIN_parse_mountinfo(const std::string& text);
// Reads LIN_mountinfo_path; 0 or an errno.
int LIN_read_mountinfo(std::vector<LIN_mount>& out);
// The mount that holds abs_path (absolute, symbolic links resolved): the
// deepest mount point that is a whole-component prefix, the later line when
// two stack on one folder. Null when none does.
const LIN_mount* LIN_mount_of(const std::vector<LIN_mount>& table, const std::string& abs_path);
const LIN_mount* LIN_mount_by_id(const std::vector<LIN_mount>& table, int id);

enum LIN_media_kind {
  lin_media_unknown = 0,    // no block device (network, tmpfs, fuse, ...)
  lin_media_fixed = 1,      // a disk that stays in the machine
  lin_media_removable = 2,  // a drive whose medium comes out (USB stick, card)
  lin_media_optical = 3,    // CD, DVD, BD
  lin_media_loop = 4,       // a mounted image file
};
// Classifies a block device by its numbers, from LIN_sysfs_root.
LIN_media_kind LIN_block_media(unsigned major, unsigned minor);

// How an eject acts on the system; tests record the calls instead.
struct LIN_eject_ops {
  int (*unmount)(const LIN_mount& m);       // 0 or an errno
  int (*eject)(const std::string& device);  // 0 or an errno
};
extern const LIN_eject_ops LIN_system_eject_ops;
extern LIN_eject_ops LIN_eject_ops_in_use;

// Unmounts m and opens its drive. Only removable media are touched (an image
// is only unmounted): a fixed disk gives ENODEV and stays mounted. Every step
// and its result go to the log. 0 or the errno of the failing step.
int LIN_eject_mount(const LIN_mount& m);

// Runs a program (searched in PATH, no shell) with output captured; gives
// its exit status, 127 when it cannot be started, 128 + signal when killed.
// Past timeout_ms it is killed.
int LIN_run_tool(const std::vector<std::string>& argv, int timeout_ms, std::string* output);
