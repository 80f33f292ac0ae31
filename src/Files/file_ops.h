// File and folder operations on app-relative paths ("/" separators, folders
// ending in "/"). Results are 0 or an error code (Files/errors.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// File types of the listing. Modes 12, 20 and 21 are listing modes only.
enum {
  tFIL = 0,  // a file of no known type
  tFOL = 1,  // a folder
  tBMP = 2,  // .bmp and .png
  tACF = 3,
  tAFL = 4,
  tWPN = 5,
  tWAV = 6,
  tOBJ = 7,
  tFDR = 8,
  tSIT = 9,
  tSMO = 10,
  tFMS = 11,
  tPANEL = 12,  // mode: bitmaps outside the cockpit panel sets
  tTRA = 13,
  tCAR = 14,
  tSPA = 15,
  tREG = 16,
  tDSF = 17,
  tHGT = 18,
  tTXT = 19,
  tNONE = 20,  // mode: list nothing
  tCMND = 21,  // mode: the command registry's paths
};

// Copies the bytes of src into dst (created or truncated) and gives dst the
// permission bits of src. A copy onto the file itself is refused (EINVAL) and
// leaves it intact.
int copy_file(const std::string& src, const std::string& dst);
int rename_file(const std::string& dir, const std::string& from, const std::string& to);
// "x/" removes the empty folder x, anything else unlinks; "" gives ENOENT.
int delete_file(const std::string& path);
int make_folder(const std::string& path);
int dir_exists(const std::string& path);
int file_exists(const std::string& path);
// 1 when anything is at path, a link counting itself (never followed).
int entry_exists(const std::string& path);
// Size in bytes, -1 for a missing path or a folder. The int form keeps the low
// 32 bits for its old callers; sizes and totals use the 64-bit form.
int APL_file_size(const std::string& path);
int64_t APL_file_size64(const std::string& path);
// Mode 0755 for a file; a symbolic link is left alone (0), never followed.
// A refusal (see mode_refused) is logged once; the errno is returned all the same.
int make_file_executable(const std::string& path);

// A destination that keeps no file modes or times (FAT and exFAT answer
// EPERM, FUSE drivers ENOSYS) still takes whole files. 1 when err, from
// setting the mode (or the times) of path, is such a refusal: the caller
// keeps its file, and the first refusal since reset_refusal_notes is logged
// as a warning. 0 for any other code, which is the failure it says.
int mode_refused(const std::string& path, int err);
int time_refused(const std::string& path, int err);
// Called as an install starts: its first refusal is logged again.
void reset_refusal_notes();
// 1 when path itself is a symbolic link; *target gets its whole text.
int is_sim_link(const std::string& path, std::string* target);
// Total and free bytes of the volume of path's folder (path itself need not
// exist); 0 or an errno.
int get_free_space(const std::string& path, unsigned long long* total,
                   unsigned long long* free_bytes);

// Lists a folder (ending in "/") in a mode (a file type, 0 for everything);
// returns the number of names. Names beginning with "." are left out.
int opensave_getitems(const std::string& dir, int mode, std::vector<std::string>& names,
                      std::vector<int>& types);
// The listing's filter; may change type by the name's suffix.
int opensave_takeit(const std::string& dir, const std::string& name, int mode, int& type);
// The type the suffix of name gives, or type when it has none of the table's.
int file_type_by_suffix(const std::string& name, int type);

// Copies a file, a link (as a link) or a folder tree with every entry in it.
int copy_file_recursive(const std::string& src, const std::string& dst);
// Deletes a folder (given with its "/") and every entry in it, links
// included but never followed.
int recursive_delete_folder(const std::string& path);
