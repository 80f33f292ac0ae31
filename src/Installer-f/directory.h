// The release file list ("directory.txt") and the file model built from it.
#pragma once

#include <set>
#include <string>
#include <vector>

// One version of one installable file, with the installer's state for it.
struct file_version_struct {
  int platform;  // 0 all, 1 Macintosh, 2 Windows, 3 Linux, 6 Linux-only in the all tree
  int version;   // release number
  float zip_kb;
  float size_kb;
  std::string sig_want;  // 32 lower-case hex digits, or "GONE"
  std::string sig_have;  // installed MD5, "NONE" when absent or unchecked
  std::string path;      // DIR prefix + name; the first component is the platform folder
  int disk;
  int current;  // sig_have == sig_want
  int is_global;
  int lat_band;  // 0..17
  int lon_band;  // 0..35
  int to_install;
  int to_delete;
  float progress_start;  // fraction of the install done when this file starts
};

// All versions of one path in file order; the last one is acted upon.
using file_history_struct = std::vector<file_version_struct>;

// The file model, one row per file of the list. Only the main thread changes
// it; the engine's pool tasks hand their results back to the main thread.
extern std::vector<file_history_struct> sim_info;

// Folders (ending in "/") that held files the web update deleted.
extern std::set<std::string> deleted_files;

// 3 when read, 2 when the file is not a directory file or holds a row that
// could reach outside the install folder (the model is then empty).
// status_text is not used.
int read_directory(const std::string& path, std::string status_text);

int is_global_scenery_f(const char* path);
// Bands of the tile named by the path's last component; 1 when both are in
// range (they are stored either way).
int find_sector(int* lon_band, int* lat_band, std::string path);

// 1 when one target platform can want files of both platforms.
int platforms_meet(int a, int b);

// Index into the scenery grids of stg, or -1 for a row that is no global tile.
int scenery_index(const file_version_struct& v);

// 1 for a path the installer may write: relative, no empty, "." or ".."
// component, and a non-empty name once the platform folder is trimmed.
int directory_path_is_safe(const std::string& path);
// 1 for 32 lower-case hex digits or "GONE".
int directory_sig_is_valid(const std::string& sig);
