// The installation discs: finding the mounted disc, reading its version file
// and file list, asking for another disc and checking that the disc in the
// drive holds the archive the install step waits for. Main thread only.
#pragma once

#include <string>
#include <vector>

// Mount folders (ending in "/") of the mounted volumes whose root holds
// "dvd_version.txt", in the system's order.
std::vector<std::string> installation_discs();
// An identity of the installation disc mounted at folder (its version
// file's device and inode), "" when no installation disc is mounted there:
// a disc taken out, or swapped for another, no longer gives the same one.
std::string mounted_disc_id(const std::string& folder);
// The disc to take: the first whose version file is accepted and whose
// release folder holds the file list, else the first whose version file is
// accepted, else the first installation disc at all, else "".
std::string find_installation_disc();
// Reads a disc version file: 1 when its header is that of a disc (text,
// version 900, "DVD"); each "VERSION" line then sets *name (the last wins,
// no line leaves it alone). 0 for a missing or foreign file.
int read_dvd_version(const std::string& file, std::string* name);
// The archive of row's current version, relative to the disc's root.
std::string disc_archive_name(int row);
// Ejects the volume that holds path: the simulated drive's entry, or the
// system's disc. 0 or an errno.
int eject_disc(const std::string& path);

// Once per frame on the start screen: finds the disc while none is known
// (or, until the file list is read, when the known one has left), reads its
// version file until it names a release, then once unpacks and reads its
// file list (stg.dir_state 2 or 3). A disc without the file list (a later
// disc of the set) is forgotten again: dvd_path stays "".
void UTIL_scan_dvd();
// With eject set, ejects the disc at dvd_path and forgets it; returns the
// disc number of row want_file_disk (0 for a row outside the model).
int UTIL_switch_disk(int eject);
// 1 when a mounted disc holds row want_file_disk's archive: dvd_path is then
// that disc and current_disk its number. Else 0, with dvd_path the mounted
// installation disc (a wrong one, for the swap screen to eject) or "".
int UTIL_verify_disk();
// The run screen's check when a run starts, before its first install_files:
// 1 when nothing is to be installed or dvd_path holds the first archive to
// install (current_disk is then set to its disc); else 0, with
// want_file_disk set to that row, and the run goes to its verify screen.
int UTIL_run_disk_ready();
