// The mounted volumes an installation disc may be on: the system's mounts,
// or, when FLY_MOUNTED_VOLUMES names a folder, that folder's entries (links
// to disc folders), a drive that tests and the demo load and eject by hand.
#pragma once

#include <string>
#include <vector>

#include "Linux/lin_media.h"

// The environment variable naming the simulated drive's folder.
extern const char* const LIN_volumes_env;

// 1 for mounts never searched for a disc: kernel and control file systems,
// automount points (looking would mount them) and network shares (looking
// may hang on a lost server).
int LIN_mount_is_skipped(const LIN_mount& m);
// Mount folders (ending in "/") of the table's searchable mounts, in order.
std::vector<std::string> LIN_volume_folders(const std::vector<LIN_mount>& table);

// The simulated drive's folder ending in "/", "" when the variable is unset.
std::string LIN_simulated_drive();
// The folders (ending in "/") of the mounted volumes: the simulated drive's
// entries in name order (names beginning with "." are out, as are entries
// that are no folder), else the searchable mounts of /proc/self/mountinfo.
std::vector<std::string> LIN_mounted_volumes();
// 1 when path lies on an entry of the simulated drive.
int LIN_is_simulated_volume(const std::string& path);
// Takes the entry holding path out of the simulated drive: a link is
// removed, a real folder is hidden (renamed to "." + its name), never
// deleted. Logged. 0 or an errno.
int LIN_eject_simulated_volume(const std::string& path);
