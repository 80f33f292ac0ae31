#include "Installer-f/discs.h"

#include <sys/stat.h>

#include <algorithm>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/launch.h"
#include "Files/zip.h"
#include "GenH/shell.h"
#include "Installer-f/utils.h"
#include "Linux/lin_discs.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/localize.h"

namespace {
const char* const k_version_file = "dvd_version.txt";

bool row_ok(int row) { return row >= 0 && row < static_cast<int>(sim_info.size()); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_eol(char c) { return c == '\r' || c == '\n' || c == 0; }
}  // namespace

std::vector<std::string> installation_discs() {
  std::vector<std::string> out;
  for (const std::string& v : LIN_mounted_volumes())
    if (file_exists(v + k_version_file)) out.push_back(v);
  return out;
}

std::string mounted_disc_id(const std::string& folder) {
  if (folder.empty()) return "";
  const std::vector<std::string> discs = installation_discs();
  if (std::find(discs.begin(), discs.end(), folder) == discs.end()) return "";
  struct stat st;
  if (stat((folder + k_version_file).c_str(), &st) != 0) return "";
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string find_installation_disc() {
  const std::vector<std::string> discs = installation_discs();
  std::string accepted;
  for (const std::string& d : discs) {
    std::string name = no_install_name;
    if (!read_dvd_version(d + k_version_file, &name)) continue;
    // With two drives, the disc to begin with is the one with the file list.
    if (name != no_install_name && file_exists(d + name + "/directory.txt.zip")) return d;
    if (accepted.empty()) accepted = d;
  }
  if (!accepted.empty()) return accepted;
  return discs.empty() ? std::string() : discs.front();
}

int read_dvd_version(const std::string& file, std::string* name) {
  xmap_class x(file);
  static const int k_versions[] = {900, 0};
  if (!x.map_base || !x.check_file(xmap_text, k_versions, "DVD", nullptr)) return 0;
  const char* p = x.cursor;
  const char* const end = x.map_end;
  while (p < end) {
    while (p < end && is_blank(*p)) ++p;
    const char* line_end = p;
    while (line_end < end && !is_eol(*line_end)) ++line_end;
    const size_t n = static_cast<size_t>(line_end - p);
    if (n >= 7 && std::string(p, 7) == "VERSION" && (n == 7 || is_blank(p[7]))) {
      const char* v = p + 7;
      while (v < line_end && is_blank(*v)) ++v;
      if (name) *name = std::string(v, line_end);
    }
    p = line_end < end ? line_end + 1 : end;
  }
  return 1;
}

std::string disc_archive_name(int row) {
  if (!row_ok(row)) return "";
  return install_name + "/" + sim_info[static_cast<size_t>(row)].back().path + suffix_for_file(row);
}

int eject_disc(const std::string& path) {
  if (LIN_is_simulated_volume(path)) return LIN_eject_simulated_volume(path);
  return eject_dvd(path);
}

void UTIL_scan_dvd() {
  // Until its file list is read the scan follows the drive: a disc taken out
  // may be followed by ours on another mount folder.
  if (!dvd_path.empty() && stg.dir_state == 0 && !file_exists(dvd_path + k_version_file))
    dvd_path.clear();
  if (dvd_path.empty()) dvd_path = find_installation_disc();

  if (!dvd_path.empty() && install_name == no_install_name) {
    std::string name = install_name;
    if (read_dvd_version(dvd_path + k_version_file, &name)) {
      stg.server_count = 0;
      install_name = name;
    }
  }
  if (install_name == no_install_name || stg.dir_state != 0) return;

  const std::string zip = dvd_path + install_name + "/directory.txt.zip";
  // Only the first disc of a set holds the file list; any other is no disc
  // to begin with, and the start screen asks for disc one while it is in.
  if (!file_exists(zip)) {
    dvd_path.clear();
    return;
  }
  const int err = zip_to_file(zip, temp_path, nullptr, 0);
  if (err)
    __MACIBM_alert(0, UTL_translate_string("DVD scan: The installer cannot extract a file."),
                   UTL_string_sub(UTL_translate_string("Error: %1:message%."),
                                  UTL_translate_string(error_str(err))),
                   UTL_string_sub(UTL_translate_string("Compressed File: %1:file%."), zip),
                   UTL_string_sub(UTL_translate_string("Destination Path: %1:file%."), temp_path),
                   t_exit, __FILE__, __LINE__);
  stg.dir_state = read_directory(temp_path + "directory.txt", "");
}

int UTIL_switch_disk(int eject) {
  if (eject && !dvd_path.empty()) {
    eject_disc(dvd_path);
    dvd_path.clear();
  }
  return row_ok(want_file_disk) ? sim_info[static_cast<size_t>(want_file_disk)].back().disk : 0;
}

int UTIL_verify_disk() {
  if (!row_ok(want_file_disk)) return 0;
  const std::string archive = disc_archive_name(want_file_disk);
  const std::vector<std::string> discs = installation_discs();
  std::string holder;
  for (const std::string& d : discs)
    if (file_exists(d + archive)) {
      holder = d;
      break;
    }
  if (!holder.empty())
    dvd_path = holder;
  else if (dvd_path.empty() || !file_exists(dvd_path + archive))
    dvd_path = discs.empty() ? std::string() : discs.front();
  // An empty dvd_path would make the archive's name a path in the working folder.
  if (dvd_path.empty() || !file_exists(dvd_path + archive)) return 0;
  current_disk = sim_info[static_cast<size_t>(want_file_disk)].back().disk;
  return 1;
}

int UTIL_run_disk_ready() {
  int row = 0;
  const int rows = static_cast<int>(sim_info.size());
  while (row < rows && !sim_info[static_cast<size_t>(row)].back().to_install) ++row;
  if (row >= rows) return 1;
  want_file_disk = row;
  if (dvd_path.empty() || !file_exists(dvd_path + disc_archive_name(row))) return 0;
  current_disk = sim_info[static_cast<size_t>(row)].back().disk;
  return 1;
}
