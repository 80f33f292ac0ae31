#include "Installer-f/directory.h"

#include <strings.h>

#include <cstring>
#include <unordered_map>

#include "GenH/shell.h"
#include "Installer-f/folders.h"
#include "Installer-f/row_names.h"
#include "Installer-f/stg.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/str_to_int.h"
#include "UTL/xer.h"

std::vector<file_history_struct> sim_info;
std::set<std::string> deleted_files;

int directory_sig_is_valid(const std::string& sig) {
  if (sig == "GONE") return 1;
  if (sig.size() != 32) return 0;
  for (char c : sig)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
  return 1;
}

int directory_path_is_safe(const std::string& path) {
  if (path.empty() || path[0] == '/') return 0;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return 0;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return 1;  // non-empty components: the name left after trimming is never empty
}

int is_global_scenery_f(const char* path) {
  static const char* const k_markers[] = {"Global Scenery/", "/-global overlays-/",
                                          "/-global terrain-/", "/default scenery/DSF 820"};
  bool marked = false;
  for (const char* m : k_markers) marked = marked || strstr(path, m) != nullptr;
  if (!marked) return 0;
  const size_t n = strlen(path);
  return n > 4 && strcasecmp(path + n - 4, ".dsf") == 0;
}

int find_sector(int* lon_band, int* lat_band, std::string path) {
  if (path.size() > 2 && path.back() == '/') path.pop_back();
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A name shorter than a tile name reads as no number rather than throwing.
  const std::string lat_text = name.substr(0, 3);
  const std::string lon_text = name.size() > 3 ? name.substr(3, 4) : std::string();
  *lat_band = (str_to_int(lat_text) + 90) / 10;
  *lon_band = (str_to_int(lon_text) + 180) / 10;
  return *lat_band >= 0 && *lat_band < stg_lat_bands && *lon_band >= 0 && *lon_band < stg_lon_bands;
}

int scenery_index(const file_version_struct& v) {
  if (!v.is_global || v.lat_band < 0 || v.lat_band >= stg_lat_bands || v.lon_band < 0 ||
      v.lon_band >= stg_lon_bands)
    return -1;
  return v.lat_band + stg_lat_bands * v.lon_band;
}

int platforms_meet(int a, int b) {
  return a == b || a == 0 || b == 0 || (a == 3 && b == 6) || (a == 6 && b == 3);
}

namespace {
// The whole list is refused: a list that could write or delete outside the
// install folder, or put a stray word into a temporary file name, is no list.
// The log names the line, so a damaged disc can be told from a wrong one.
int refuse(const std::string& path, int line, const std::string& why, const std::string& what) {
  xer << "WARNING: the directory file " << path << " is refused: line " << line << ": " << why
      << " \"" << what << "\"\n";
  sim_info.clear();
  return 2;
}

// Counts the lines (ended by LF, CR or CR LF) from *from up to at, on from line *line.
void count_lines(const char*& from, const char* at, int* line) {
  for (; from < at; ++from)
    if (*from == '\n' || (*from == '\r' && (from + 1 >= at || from[1] != '\n'))) ++*line;
}
}  // namespace

int read_directory(const std::string& path, std::string /*status_text*/) {
  deleted_files.clear();
  stg.total_zip_kb = 0;
  stg.total_size_kb = 0;
  stg.files_to_install = 0;
  stg.files_to_delete = 0;
  sim_info.clear();

  xmap_class x(path);
  if (!x.map_base)
    __MACIBM_alert(0, "I tried to read a directory file that does not exist!", "The file is:", path,
                   "", t_exit, __FILE__, __LINE__);
  static const int k_versions[] = {840, 900, 0};
  if (!x.check_file(xmap_text, k_versions, "INSTALLER", nullptr)) {
    xer << "WARNING: the directory file " << path
        << " is refused: lines 1-3 are not the header of an installer file list of version 840 "
           "or 900\n";
    return 2;
  }

  std::string prefix, prev_path, sig, name;
  int disk = 0;
  bool have_prev = false;
  const char* counted = x.map_base;
  int line = 1;
  std::vector<int> row_lines;  // per row of sim_info: the line of its last version
  while (x.cursor < x.map_end) {
    count_lines(counted, x.cursor, &line);
    if (x.TXT_str_scan_match("DIR", 0)) {
      x.TXT_str_scan_eoln(&prefix);
    } else if (x.TXT_str_scan_match("DISK", 0)) {
      disk = x.TXT_int_scan();
      x.TXT_str_scan_eoln(nullptr);
    } else if (x.TXT_str_scan_match("FILE", 0)) {
      file_version_struct v{};
      x.TXT_int_scan();
      v.platform = x.TXT_int_scan();
      if (v.platform < 0) v.platform = 0;
      if (v.platform > 6) v.platform = 6;
      v.version = x.TXT_int_scan();
      v.zip_kb = static_cast<float>(x.TXT_int_scan());
      v.size_kb = static_cast<float>(x.TXT_int_scan());
      x.TXT_str_scan_space(&sig);
      x.TXT_str_scan_eoln(&name);
      v.sig_want = sig;
      v.sig_have = "NONE";
      v.disk = disk;
      v.path = prefix + name;
      v.is_global = is_global_scenery_f(v.path.c_str());
      if (v.is_global && !find_sector(&v.lon_band, &v.lat_band, v.path)) v.is_global = 0;

      if (!v.path.empty() && v.path.back() == '/')
        __MACIBM_alert(0, "I am reading the directory text file and found a path that has no file!",
                       "This is impossible to download or delete!", "It is:", v.path, t_exit,
                       __FILE__, __LINE__);
      if (!directory_path_is_safe(v.path)) return refuse(path, line, "unsafe path", v.path);
      if (!directory_sig_is_valid(v.sig_want))
        return refuse(path, line, "bad MD5 word", v.sig_want);

      if (!have_prev || v.path != prev_path) sim_info.emplace_back(), row_lines.push_back(line);
      have_prev = true;
      prev_path = v.path;
      row_lines.back() = line;
      sim_info.back().push_back(std::move(v));
    } else {
      x.TXT_str_scan_eoln(nullptr);
    }
  }

  // A file that another row treats as a folder could be a link installed by
  // one archive that the next one writes or deletes through; two wanted rows
  // of one file would unpack onto it at once and ask about it on every
  // repair. Paths compare as the files are found: without letter case.
  // Every platform counts: rows of several platform folders can name one path.
  std::unordered_map<std::string, unsigned> files;  // installed path -> bit per platform
  for (size_t r = 0; r < sim_info.size(); ++r) {
    const file_version_struct& v = sim_info[r].back();
    if (v.sig_want == "GONE") continue;
    unsigned& bits = files[name_key(v.path)];
    for (int pf = 0; pf <= 6; ++pf)
      if ((bits >> pf & 1u) && platforms_meet(pf, v.platform))
        return refuse(path, row_lines[r], "two rows name one file", v.path);
    bits |= 1u << v.platform;
  }
  for (size_t r = 0; r < sim_info.size(); ++r) {
    const file_history_struct& row = sim_info[r];
    std::string p = name_key(row.back().path);
    for (size_t s = p.find_last_of('/'); s != std::string::npos; s = p.find_last_of('/')) {
      p.erase(s);
      const auto it = files.find(p);
      if (it == files.end()) continue;
      for (int pf = 0; pf <= 6; ++pf)
        if ((it->second >> pf & 1u) && platforms_meet(pf, row.back().platform))
          return refuse(path, row_lines[r], "a file is also a folder of", row.back().path);
    }
  }

  memset(stg.scenery_available, 0, sizeof(stg.scenery_available));
  int scenery_rows = 0, sim_rows = 0;
  for (const file_history_struct& row : sim_info) {
    const int idx = scenery_index(row.back());
    if (idx >= 0) {
      ++scenery_rows;
      stg.scenery_available[idx] = 1;
    } else {
      ++sim_rows;
    }
  }
  stg.disc_has_scenery = scenery_rows > 0;
  stg.disc_has_sim = sim_rows > 0;
  return 3;
}
