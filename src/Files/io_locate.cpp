#include "Files/io_locate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/xer.h"

const std::string cus_path = "Custom Scenery/";
const std::string glb_path = "Global Scenery/";
const std::string def_path = "Resources/default scenery/";
const std::string def_ovr_str = "-global overlays-";
const std::string def_ter_str = "-global terrain-";
const std::string obj_path = "Resources/objects/";

std::vector<std::string> scenery_packages;
std::vector<int> package_problems;
std::vector<int> package_is_custom;
std::map<std::string, lib_entry*> dsf_library;
std::map<std::string, lib_region*> dsf_regions;
dsf_bitmap_loader_fn DSF_bitmap_loader = nullptr;

// The unit name the reports give as their source.
#define DSF_SRC "Files/io_locate"
#define DSF_ERROR(file, ...) __DSF_NonFatalError(DSF_SRC, __LINE__, file, __VA_ARGS__)

namespace {
// What the map points into: everything of the last scan, freed by the next.
std::vector<std::unique_ptr<lib_entry>> g_entries;
std::vector<std::unique_ptr<lib_region>> g_regions;
// The regions of the scan before, while a new scan may reuse them: their
// pages are already the program's.
std::vector<std::unique_ptr<lib_region>> g_spare_regions;
// Entries whose copy cap was already logged.
std::set<const lib_entry*> g_cap_logged;
// The last entry in front of the backups of each list, by the address of the
// list's slot in dsf_library (map nodes stay put): registering need not walk
// lists that grow with every package.
std::unordered_map<lib_entry* const*, lib_entry*> g_last_plain;

// A library file can ask for any number of 64800-byte regions; the whole
// scan keeps to this many.
const size_t k_max_regions = 4096;
// A multiple lookup lists an entry at most this many times, whatever its
// weight (a weight can ask for 16.7 million copies).
const uint32_t k_max_copies = 1024;

char g_nonfatal_buf[4096];
char g_fatal_buf[4096];

void add_package(const std::string& path, int custom) {
  scenery_packages.push_back(path);
  package_problems.push_back(0);
  package_is_custom.push_back(custom);
}

void list_folders(const std::string& dir, std::vector<std::string>& names) {
  std::vector<int> types;
  opensave_getitems(dir, tFOL, names, types);
}

// Logs the report; the package the scenery file belongs to, or -1.
int log_report(const char* src_file, int src_line, const char* scenery_file, const char* msg) {
  xer << "***Error with scenery file \"" << scenery_file << "\" (" << src_file << ": " << src_line
      << ".)\n  " << msg << "\n";
  const size_t fl = strlen(scenery_file);
  for (size_t i = 0; i < scenery_packages.size(); ++i) {
    const std::string& p = scenery_packages[i];
    const size_t n = std::min(p.size(), fl);
    if (p.compare(0, n, scenery_file, n) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool applies(const lib_entry* e, int lon, int lat, bool anywhere) {
  if (anywhere || !e->region) return true;
  // A cell off the globe lies in no region.
  if (lon < -180 || lon > 179 || lat < -90 || lat > 89) return false;
  return e->region->grid[(lon + 180) * 180 + (lat + 90)] != 0;
}

uint32_t weight_of(const lib_entry* e) { return e->flags & lib_weight_mask; }

// The candidates of a virtual path in the cell, in list order.
void candidate_run(const std::string& vpath, int lon, int lat, bool anywhere,
                   std::vector<const lib_entry*>& run) {
  run.clear();
  const auto it = dsf_library.find(vpath);
  if (it == dsf_library.end()) return;
  for (const lib_entry* e = it->second; e; e = e->next) {
    if (!applies(e, lon, lat, anywhere)) continue;
    run.push_back(e);
    if (e->flags & lib_last) break;
    if ((e->flags & lib_package_end) && (!e->next || e->next->package != e->package)) break;
  }
}

std::string real_path(const lib_entry* e) {
  const bool known = e->package >= 0 && static_cast<size_t>(e->package) < scenery_packages.size();
  return (known ? scenery_packages[static_cast<size_t>(e->package)] : std::string()) + e->path;
}

bool lookup_one(int lon, int lat, bool anywhere, std::string& path, int seed) {
  std::vector<const lib_entry*> run;
  candidate_run(path, lon, lat, anywhere, run);
  uint64_t total = 0;
  for (const lib_entry* e : run) total += weight_of(e);
  if (total == 0) return false;
  const int draw = ((seed % 10000) + 10000) % 10000;
  uint64_t d = static_cast<uint64_t>(static_cast<double>(total) * randrat[draw]);
  const lib_entry* chosen = nullptr;
  for (const lib_entry* e : run) {
    if (weight_of(e) == 0) continue;
    chosen = e;  // the last weighted entry stands in should rounding overshoot
    if (weight_of(e) > d) break;
    d -= weight_of(e);
  }
  path = real_path(chosen);
  return true;
}

bool lookup_all(int lon, int lat, bool anywhere, const std::string& vpath,
                std::vector<std::string>& out) {
  out.clear();
  std::vector<const lib_entry*> run;
  candidate_run(vpath, lon, lat, anywhere, run);
  for (const lib_entry* e : run) {
    uint32_t copies = weight_of(e);
    if (copies > k_max_copies) {
      copies = k_max_copies;
      if (g_cap_logged.insert(e).second)
        xer << "WARNING: the library entry " << real_path(e) << " for " << vpath
            << " has a weight of " << weight_of(e) << "; it is listed only " << k_max_copies
            << " times.\n";
    }
    out.insert(out.end(), copies, real_path(e));
  }
  return !out.empty();
}

// name with its last four characters as .dds, .png and .bmp (unchanged when
// it is no longer than that).
std::vector<std::string> texture_variants(const std::string& name) {
  std::vector<std::string> v;
  for (const char* ext : {".dds", ".png", ".bmp"})
    v.push_back(name.size() > 4 ? name.substr(0, name.size() - 4) + ext : name);
  return v;
}

void add_each(std::vector<std::string>& c, const std::string& folder,
              const std::vector<std::string>& names) {
  for (const std::string& n : names) c.push_back(folder + n);
}

bool is_object(int kind) { return kind >= dsf_res_object_first && kind <= dsf_res_object_last; }

// The global folders every search ends with.
void global_candidates(int kind, const std::string& name, const std::vector<std::string>& vars,
                       std::vector<std::string>& c) {
  if (kind == dsf_res_plain) {
    c.push_back("Resources/" + name);
  } else if (kind == dsf_res_texture) {
    add_each(c, "Resources/bitmaps/terrain/", vars);
    add_each(c, "Resources/", vars);
  } else if (kind == dsf_res_terrain) {
    c.push_back("Resources/bitmaps/terrain/" + name);
    c.push_back("Resources/" + name);
  } else if (is_object(kind)) {
    c.push_back(obj_path + name);
    c.push_back("Resources/" + name);
  }
}

// The first existing candidate, or "".
std::string first_existing(const std::vector<std::string>& c) {
  for (const std::string& p : c)
    if (file_exists(p)) return p;
  return "";
}

// --- library commands ---

struct library_reader {
  xmap_class& x;
  int package;
  std::string folder;  // the package's
  std::string file;    // the library file, for the reports
  lib_region* current = nullptr;
  lib_region* defining = nullptr;

  void read_export(uint32_t flags, bool with_ratio) {
    uint32_t weight = 1;
    int ratio = 0;
    if (with_ratio) ratio = x.TXT_int_scan();
    std::string vpath, rpath;
    x.TXT_str_scan_space(&vpath);
    x.TXT_str_scan_eoln(&rpath);
    set_path_to_right_dirchars(vpath);
    set_path_to_right_dirchars(rpath);
    if (with_ratio) {
      if (static_cast<uint32_t>(ratio) > lib_weight_mask)
        DSF_ERROR(file.c_str(),
                  "Library error: you cannot have a ratio of more than 2^24 lib items for %s -> "
                  "%s.",
                  rpath.c_str(), vpath.c_str());
      weight = static_cast<uint32_t>(ratio) & lib_weight_mask;
    }
    DSF_RegisterEntry(vpath, new lib_entry{nullptr, current, package, weight | flags, rpath});
  }

  void read_region() {
    std::string name;
    x.TXT_str_scan_space(&name);
    const auto it = dsf_regions.find(name);
    if (it == dsf_regions.end())
      DSF_ERROR(file.c_str(), "REGION %s - region unknown.  Ingoring", name.c_str());
    else
      current = it->second;
  }

  void read_region_define() {
    std::string name;
    x.TXT_str_scan_space(&name);
    if (dsf_regions.count(name)) {
      DSF_ERROR(file.c_str(), "REGION_DEFINE %s - region already defined.  Ignoring.",
                name.c_str());
      defining = nullptr;
      return;
    }
    if (g_regions.size() >= k_max_regions) {
      DSF_ERROR(file.c_str(), "REGION_DEFINE %s - too many regions.  Ignoring.", name.c_str());
      defining = nullptr;
      return;
    }
    if (g_spare_regions.empty()) {
      g_regions.push_back(std::make_unique<lib_region>());
    } else {
      g_regions.push_back(std::move(g_spare_regions.back()));
      g_spare_regions.pop_back();
    }
    lib_region* r = g_regions.back().get();
    r->name = name;
    memset(r->grid, 0, sizeof(r->grid));
    dsf_regions[name] = r;
    defining = r;
  }

  void read_region_rect() {
    if (!defining) {
      // The numbers stay on the line; the loop skips them as an unknown line.
      DSF_ERROR(file.c_str(), "REGION_RECT command used but no region has been defined.");
      return;
    }
    // 64-bit: the numbers are any int the file spells.
    const long long w = x.TXT_int_scan() + 180LL, s = x.TXT_int_scan() + 90LL;
    const long long e = x.TXT_int_scan() + 180LL, n = x.TXT_int_scan() + 90LL;
    if (w < 0 || s < 0 || e > 359 || n > 179 || s > n || w > e) {
      DSF_ERROR(file.c_str(),
                "The boundaries to a REGION_RECT command are out of range: %lld,%lld->%lld,%lld",
                w, s, e, n);
      return;
    }
    for (long long lon = w; lon <= e; ++lon)
      memset(defining->grid + lon * 180 + s, 1, static_cast<size_t>(n - s + 1));
  }

  void read_region_bitmap() {
    std::string name;
    x.TXT_str_scan_space(&name);
    if (!defining) {
      DSF_ERROR(file.c_str(),
                "REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored.");
      return;
    }
    std::string path = name;
    set_path_to_right_dirchars(path);
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    const int ok = DSF_bitmap_loader && DSF_bitmap_loader(folder + path, pixels, width, height);
    if (!ok || !pixels) {
      free(pixels);
      DSF_ERROR(file.c_str(), "Unable to load bitmap file '%s' for REGION_BITMAP command - will skip.",
                name.c_str());
      return;
    }
    if (width != 360 || height != 180) {
      DSF_ERROR(file.c_str(),
                "REGION_BITMAP with bitmap %s has a size of %d, %d but need sa size of 360x180.",
                name.c_str(), width, height);
    } else {
      // Rows come bottom-up: row r is latitude r - 90, column c longitude c - 180.
      for (int r = 0; r < 180; ++r)
        for (int c = 0; c < 360; ++c) defining->grid[c * 180 + r] = pixels[r * 360 + c] != 0;
    }
    free(pixels);
  }

  void run() {
    dsf_regions.clear();
    while (x.cursor && x.cursor < x.map_end) {
      const char* before = x.cursor;
      if (x.TXT_str_scan_match("EXPORT", 0))
        read_export(lib_package_end, false);
      else if (x.TXT_str_scan_match("EXPORT_EXTEND", 0))
        read_export(0, false);
      else if (x.TXT_str_scan_match("EXPORT_EXCLUDE", 0))
        read_export(lib_last, false);
      else if (x.TXT_str_scan_match("EXPORT_BACKUP", 0))
        read_export(lib_backup, false);
      else if (x.TXT_str_scan_match("EXPORT_RATIO", 0))
        read_export(lib_package_end, true);
      else if (x.TXT_str_scan_match("REGION", 0))
        read_region();
      else if (x.TXT_str_scan_match("REGION_DEFINE", 0))
        read_region_define();
      else if (x.TXT_str_scan_match("REGION_RECT", 0))
        read_region_rect();
      else if (x.TXT_str_scan_match("REGION_BITMAP", 0))
        read_region_bitmap();
      else
        x.TXT_str_scan_eoln(nullptr);  // comments, blank lines, anything unknown
      if (x.cursor == before) ++x.cursor;  // every step moves on
    }
  }
};

// The library file of a package, read whole into buf: false when there is no
// plain file to read. Without blocking, as the mapped reader opens: a pipe
// there would block the scan. One read costs less than a mapping, whose
// unmapping flushes the address space from every core the program ran on.
bool read_library(const std::string& lib, std::vector<char>& buf) {
  int fd = open((app_path + lib).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && g_case_sensitive) fd = open(full_path(lib).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  size_t got = 0;
  if (ok) {
    buf.resize(static_cast<size_t>(st.st_size));
    while (got < buf.size()) {
      const ssize_t n = read(fd, buf.data() + got, buf.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    buf.resize(got);  // a file cut short while read
  }
  close(fd);
  return ok;
}
}  // namespace

void DSF_ClearLibrary() {
  dsf_library.clear();
  dsf_regions.clear();
  g_cap_logged.clear();
  g_last_plain.clear();
  g_entries.clear();
  g_regions.clear();
}

void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry) {
  g_entries.emplace_back(entry);
  const bool backup = entry->flags & lib_backup;
  lib_entry*& head = dsf_library[virtual_path];
  lib_entry*& last_plain = g_last_plain[&head];
  // Each list holds its plain entries in registration order, then the backups.
  if (!head || (head->flags & lib_backup)) {
    entry->next = head;
    head = entry;
    last_plain = backup ? nullptr : entry;
    return;
  }
  lib_entry* e = last_plain ? last_plain : head;
  while (e->next && !(e->next->flags & lib_backup)) e = e->next;
  entry->next = e->next;
  e->next = entry;
  last_plain = backup ? e : entry;
}

void DSF_ReadLibraryCommands(xmap_class& x, int package) {
  const bool known = package >= 0 && static_cast<size_t>(package) < scenery_packages.size();
  const std::string folder = known ? scenery_packages[static_cast<size_t>(package)] : "";
  library_reader r{x, package, folder, folder + "library.txt"};
  r.run();
}

void DSF_ScanSceneryFolder() {
  for (auto& r : g_regions) g_spare_regions.push_back(std::move(r));
  g_regions.clear();
  DSF_ClearLibrary();
  scenery_packages.clear();
  package_problems.clear();
  package_is_custom.clear();

  std::vector<std::string> names;
  bool overlays = false, terrain = false;
  list_folders(cus_path, names);
  for (const std::string& n : names) {
    if (n == def_ovr_str)
      overlays = true;
    else if (n == def_ter_str)
      terrain = true;
    else
      add_package(cus_path + n + "/", 1);
  }
  list_folders(glb_path, names);
  for (const std::string& n : names) add_package(glb_path + n + "/", 0);
  if (overlays) add_package(cus_path + def_ovr_str + "/", 1);
  if (terrain) add_package(cus_path + def_ter_str + "/", 1);
  list_folders(def_path, names);
  for (const std::string& n : names) add_package(def_path + n + "/", 0);

  xer << "I found the following scenery packages (prioritized in this order):\n";
  for (size_t i = 0; i < scenery_packages.size(); ++i) {
    char num[24];
    snprintf(num, sizeof(num), "%3zu", i);
    xer << num << " " << scenery_packages[i] << "\n";
  }
  xer << "\n";
  xer.flush();

  static const int k_versions[] = {800, 0};
  static const char k_empty = 0;
  std::vector<char> text;
  for (size_t i = 0; i < scenery_packages.size(); ++i) {
    const std::string lib = scenery_packages[i] + "library.txt";
    // A "\" in a folder name would be taken for a bad path by the reader.
    if (scenery_packages[i].find('\\') != std::string::npos) {
      xer << "WARNING: the scenery package " << scenery_packages[i]
          << " has a \\ in its name; its library is not read.\n";
      continue;
    }
    if (!read_library(lib, text)) continue;
    // The reader walks the bytes read as it walks a mapped file.
    xmap_class x("");
    x.path = lib;
    x.map_base = x.cursor = text.empty() ? &k_empty : text.data();
    x.map_end = x.map_base + text.size();
    if (!x.check_file(xmap_text, k_versions, "LIBRARY", nullptr)) {
      DSF_ERROR(lib.c_str(), "Incorrect version for scenery library file.  Will skip.");
      continue;
    }
    DSF_ReadLibraryCommands(x, static_cast<int>(i));
  }
  dsf_regions.clear();
  g_spare_regions.clear();
}

void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file,
                         const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vsnprintf(g_nonfatal_buf, sizeof(g_nonfatal_buf), format, ap);
  va_end(ap);
  const int pkg = log_report(src_file, src_line, scenery_file, g_nonfatal_buf);
  const std::string second = pkg < 0 ? std::string(scenery_file) : scenery_packages[pkg];
  if (pkg < 0 || !package_problems[pkg]) {
    if (pkg >= 0) package_problems[pkg] = 1;
    __MACIBM_alert(0, "Error loading the scenery package:", second,
                   "The scenery may not look correct.",
                   "Please see the log.txt file for detailed error information.", t_alert, DSF_SRC,
                   __LINE__);
  }
  xer.flush();
}

void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file,
                      const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vsnprintf(g_fatal_buf, sizeof(g_fatal_buf), format, ap);
  va_end(ap);
  const int pkg = log_report(src_file, src_line, scenery_file, g_fatal_buf);
  xer.flush();
  if (pkg < 0) {
    __MACIBM_alert(0, "Error loading the scenery package:", scenery_file,
                   "Flyvane cannot run with this corrupt file.",
                   "Please see the log.txt file for detailed error information.", t_exit, DSF_SRC,
                   __LINE__);
    return;
  }
  package_problems[pkg] = 1;
  __MACIBM_alert(0, "Error loading the scenery package:", scenery_packages[pkg],
                 package_is_custom[pkg] ? "Flyvane cannot run with this package installed - you "
                                          "may need to remove the custom  scenery package."
                                        : "Flyvane cannot run with this package installed - You "
                                          "may need to reinstall Flyvane.",
                 "Please see the log.txt file for detailed error information.", t_exit, DSF_SRC,
                 __LINE__);
}

// --- lookups ---

bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int seed) {
  return lookup_one(lon, lat, false, path, seed);
}

bool DSF_LookupLibraryResourceAnywhere(std::string& path, int seed) {
  return lookup_one(0, 0, true, path, seed);
}

bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path,
                                       std::vector<std::string>& out) {
  return lookup_all(lon, lat, false, path, out);
}

bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path,
                                               std::vector<std::string>& out) {
  return lookup_all(0, 0, true, path, out);
}

void DSF_LocateResourceNoLib(int kind, const std::string& name, const std::string& base,
                             bool log_failure, std::string& out) {
  std::vector<std::string> c;
  const std::vector<std::string> vars = texture_variants(name);
  if (kind == dsf_res_texture) {
    add_each(c, base, vars);
    add_each(c, base + "custom terrain textures/", vars);
    add_each(c, base + "custom object textures/", vars);
  } else {
    c.push_back(base + name);
    if (kind == dsf_res_terrain) c.push_back(base + "custom terrain textures/" + name);
    if (is_object(kind)) c.push_back(base + "custom objects/" + name);
  }
  global_candidates(kind, name, vars, c);
  out = first_existing(c);
  if (out.empty() && log_failure)
    for (const std::string& p : c) xer << "Failed to find resource '" << name << "' at '" << p << "'\n";
}

void DSF_LocateResourcePrimary(int lon, int lat, int kind, const std::string& name,
                               const std::string& base, bool log_failure, std::string& out,
                               int seed) {
  std::string p = name;
  if (DSF_LookupLibraryResource(lon, lat, p, seed)) {
    out = p;
    return;
  }
  DSF_LocateResourceNoLib(kind, name, base, log_failure, out);
}

void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int kind, const std::string& name,
                                       const std::string& base, bool log_failure,
                                       std::vector<std::string>& out) {
  DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
  std::string found;
  DSF_LocateResourceNoLib(kind, name, base, log_failure && out.empty(), found);
  if (!found.empty()) out.push_back(found);
}

std::string extract_package(const std::string& path) {
  for (const std::string* prefix : {&cus_path, &glb_path, &def_path}) {
    if (path.compare(0, prefix->size(), *prefix) != 0) continue;
    const size_t sep = path.find_first_of("\\/:", prefix->size());
    if (sep != std::string::npos) return path.substr(0, sep + 1);
  }
  return "";
}

void DSF_LocateResourceSecondary(int kind, int parent_kind, const std::string& parent,
                                 const std::string& name, bool log_failure, std::string& out) {
  std::vector<std::string> c;
  const std::vector<std::string> vars = texture_variants(name);
  const std::string pkg = extract_package(parent);
  if (!parent.empty()) {
    if (kind == dsf_res_texture)
      add_each(c, parent, vars);
    else
      c.push_back(parent + name);
  }
  if (!pkg.empty()) {
    if (kind == dsf_res_texture)
      add_each(c,
               pkg + (parent_kind == dsf_res_terrain ? "custom terrain textures/"
                                                     : "custom object textures/"),
               vars);
    else if (kind == dsf_res_terrain)
      c.push_back(pkg + "custom terrain textures/" + name);
    else if (is_object(kind))
      c.push_back(pkg + "custom objects/" + name);
  }
  global_candidates(kind, name, vars, c);
  out = first_existing(c);
  if (out.empty() && log_failure)
    for (const std::string& p : c)
      xer << "Failed to find resource '" << name << "' (parent = '" << parent << "' at '" << p
          << "'\n";
}

void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int kind, int parent_kind,
                                                    const std::string& parent,
                                                    const std::string& name, bool log_failure,
                                                    std::vector<std::string>& out) {
  DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
  std::string found;
  DSF_LocateResourceSecondary(kind, parent_kind, parent, name, log_failure && out.empty(), found);
  if (!found.empty()) out.push_back(found);
}
