#include "Installer-f/make_installer.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/launch.h"
#include "Files/md5.h"
#include "Files/paths.h"
#include "Files/zip.h"
#include "GenH/shell.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/xmap.h"
#include "Thread/worker_threads.h"
#include "UTL/xer.h"

int build_type = 0;
std::string src_fold = "/VOLUMES/-FLYVANE9-/-build-rsrc-/Skysuite Reference/";
std::string dst_fold_base = "/VOLUMES/-FLYVANE9-/-upload-/";
std::string old_dir_path = "/VOLUMES/-FLYVANE9-/-build-rsrc-/directory920rc4.txt";
std::string sim_name = "-";
std::string dst_folder;
double dvd_split_kb = 7670000.0;
int build_release_number = 92102;
int build_threads = 0;
int found_apl_app = 0, found_ibm_app = 0, found_lin_app = 0;

build_progress_fn build_progress = build_progress_headless;
volatile std::sig_atomic_t build_quit_requested = 0;

namespace {
const char* const ALL_str = "All";
const char* const APL_str = "Macintosh";
const char* const WIN_str = "Windows";
const char* const LIN_str = "Linux";

struct no_case_compare_string {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

// The folders and files of the master the scan knows, rebuilt whenever
// src_fold changes.
struct build_paths {
  std::string for_src;
  std::string str_all_fold, str_apl_fold, str_win_fold, str_LIN_fold;
  std::string str_ins_fold, str_wpn_fold, str_afl_fold, str_acf_fold, str_pfc_fold, str_res_fold,
      str_out_fold, str_cus_fold, str_glo_fold, str_plug, str_redt, str_orbt, str_erth1, str_erth2,
      str_add1, str_add2, str_com_file;
  std::string str_apl_app, str_ibm_app, str_lin_app;
};

const build_paths& paths() {
  static build_paths p;
  if (p.str_all_fold.empty() || p.for_src != src_fold) {
    p.for_src = src_fold;
    p.str_all_fold = src_fold + ALL_str + "/";
    p.str_apl_fold = src_fold + APL_str + "/";
    p.str_win_fold = src_fold + WIN_str + "/";
    p.str_LIN_fold = src_fold + LIN_str + "/";
    const std::string& a = p.str_all_fold;
    p.str_ins_fold = a + "Instructions/";
    p.str_wpn_fold = a + "Weapons/";
    p.str_afl_fold = a + "Airfoils/";
    p.str_acf_fold = a + "Aircraft/";
    p.str_pfc_fold = a + "install_pfc Aircraft/";
    p.str_res_fold = a + "Resources/";
    p.str_out_fold = a + "Output/";
    p.str_cus_fold = a + "Custom Scenery/";
    p.str_glo_fold = a + "Global Scenery/";
    p.str_plug = a + "Resources/plugins/";
    p.str_redt = a + "Resources/default scenery/900 red terrain/";
    p.str_orbt = a + "Resources/bitmaps/Earth Orbit Textures/";
    p.str_erth1 = a + "Global Scenery/-global overlays-";
    p.str_erth2 = a + "Global Scenery/-global terrain-";
    p.str_add1 = a + "Custom Scenery/Flyvane World Edition 1/";
    p.str_add2 = a + "Custom Scenery/Flyvane World Edition 2/";
    p.str_com_file = a + "Resources/customer data/customer.dat";
    p.str_apl_app = p.str_apl_fold + "Flyvane.app/";
    p.str_ibm_app = p.str_win_fold + "Flyvane.exe";
    p.str_lin_app = p.str_LIN_fold + "Flyvane-i686";
  }
  return p;
}

// Working state of one build, reset by sub_install.
std::vector<std::string> comp_files;
std::set<std::string> comp_paths;
std::map<std::string, int, no_case_compare_string> sim_info_index;
std::string prev_dir;
int dvd_now;
double zip_size_dvd;  // KB on the current disc
double zip_size_ins;  // millions of KB in all
int num_files_rec, num_files_use, num_files_com;
int reg;
int dvd_files;      // archives on the current disc
int dvd_last_used;  // the last disc that holds an archive
std::set<std::string> made_folders;
// Every folder of the master the scan met (with its "/"), and whether it met
// the customer's data file.
std::set<std::string> met_folders;
bool found_com_file;
// Installed paths (less the platform folder, lower case) written as files,
// with a bit per platform, so that no GONE row deletes what is installed.
std::map<std::string, unsigned> new_paths;

// The headless progress line: is one open (drawn with "\r") on stdout?
bool g_line_open = false;
void end_progress_line() {
  if (g_line_open) fputc('\n', stdout);
  g_line_open = false;
}

void stop_packing();

[[noreturn]] void fatal(const std::string& s1, const std::string& s2 = "",
                        const std::string& s3 = "", const std::string& s4 = "",
                        int line = __builtin_LINE()) {
  end_progress_line();
  stop_packing();  // no worker may still write while the program ends
  __MACIBM_alert(0, s1, s2, s3, s4, t_exit, __FILE__, line);
  MACIBM_exit_now(1);  // the alert never returns from a fatal type
}

std::string fmt_f(const char* f, double v) {
  char buf[64];
  snprintf(buf, sizeof(buf), f, v);
  return buf;
}

std::string num(int v) {
  char buf[16];
  int_to_str(v, buf, 1, 0);
  return buf;
}

bool contains(const std::string& s, const char* t) { return s.find(t) != std::string::npos; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Bytes of a file, or of a link's text (a link is released as a link).
int64_t entry_size(const std::string& path) {
  struct stat st;
  if (lstat(full_path(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

// The folder that holds path and every folder above it; the archives of a
// later disc, and folders that hold only folders, exist nowhere else.
void make_folder_tree(const std::string& folder) {
  if (made_folders.count(folder)) return;
  for (size_t s = folder.find('/', 1); s != std::string::npos; s = folder.find('/', s + 1)) {
    const std::string f = folder.substr(0, s + 1);
    if (made_folders.insert(f).second && !dir_exists(f)) make_folder(f);
  }
  made_folders.insert(folder);
}

std::string installed_key(const std::string& rel) {
  std::string k = rel;
  trim_dest_folder(k);
  for (char& c : k) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return k;
}

std::string name_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void write_file_line(int platform, int version, int64_t zip_kb, int64_t size_kb,
                     const std::string& sig, const std::string& name, const char* where) {
  if (name.empty()) fatal("0-size filename!", "Now how am I supposed to deal with this?", where);
  ouf << "FILE 0 " << platform << " " << version << " " << zip_kb << " " << size_kb << " " << sig
      << " " << name << "\n";
}

void write_dir_line(const std::string& dir_text) {
  if (dir_text == prev_dir) return;
  prev_dir = dir_text;
  ouf << "\nDIR " << dir_text << "\n";
}

void show_progress(const std::string& line, float fraction) {
  if (build_progress(line, fraction))
    fatal("The release build was stopped with the Q key.", "Output already written stays on disk.",
          dst_fold_base);
}

int platform_of(const std::string& rel) {
  const std::string first = rel.substr(0, rel.find('/'));
  int platform;
  if (first == ALL_str)
    platform = 0;
  else if (first == APL_str)
    platform = 1;
  else if (first == WIN_str)
    platform = 2;
  else if (first == LIN_str)
    platform = 3;
  else
    fatal("I can not tell what type of file this is!", "It is not in a platform folder:", rel);
  static const struct {
    const char* part;
    int platform;
  } k_plugins[] = {
      {"All/Resources/plugins/ZKLM.shlb", 1},
      {"All/Resources/plugins/ZKWidgets.shlb", 1},
      {"All/Resources/plugins/ZKLM.framework/ZKLM", 1},
      {"All/Resources/plugins/ZKWidgets.framework/ZKWidgets", 1},
      {"All/Resources/plugins/ZKLM.dll", 2},
      {"All/Resources/plugins/ZKWidgets.dll", 2},
      {"All/Resources/plugins/ZKLM.so", 6},
      {"All/Resources/plugins/ZKWidgets.so", 6},
      {"All/Resources/plugins/ZKPluginManager/mac.xpl", 1},
      {"All/Resources/plugins/ZKPluginManager/win.xpl", 2},
      {"All/Resources/plugins/ZKPluginManager/lin.xpl", 6},
  };
  for (const auto& r : k_plugins)
    if (contains(rel, r.part)) platform = r.platform;
  return platform;
}
}  // namespace

int build_progress_headless(const std::string& line, float /*fraction*/) {
  static const bool tty = isatty(STDOUT_FILENO);
  static std::chrono::steady_clock::time_point last{};
  const auto now = std::chrono::steady_clock::now();
  if (now - last >= std::chrono::milliseconds(tty ? 200 : 1000)) {
    last = now;
    if (tty) {
      printf("\r%s\x1b[K", line.c_str());
      g_line_open = true;
    } else {
      printf("%s\n", line.c_str());
    }
    fflush(stdout);
  }
  return build_quit_requested != 0;
}

void chop_platform(std::string& path, int platform) {
  const size_t slash = path.find('/');
  if (slash == std::string::npos) fatal("Could not find the dir char!", path);
  static const char* const k_tags[] = {"ALL_os", "APL_os", "IBM_os", "LIN_os"};
  path = (platform >= 0 && platform <= 3 ? k_tags[platform] : "") + path.substr(slash);
}

int is_good_file(std::string path, int flag, int check_map) {
  const build_paths& p = paths();
  if (check_map && !flag && !is_sim_link(path, nullptr)) {
    xmap_class x(path);
    if (!x.map_base) return 0;
  }
  // The names are looked for below the master folder only: the master's own
  // location must not decide what is released.
  const std::string below =
      path.compare(0, src_fold.size(), src_fold) == 0 ? path.substr(src_fold.size() - 1) : path;
  static const char* const k_parts[] = {".7z",      "Thumbs.db",           "work.",
                                        "._",       ".DS_Store",           ".sandboxinfo",
                                        ".xSYM",    "serverlist.txt",      "Flyvane Pilot.txt",
                                        ".dsf.txt", "/Output/preferences/"};
  for (const char* s : k_parts)
    if (contains(below, s)) return 0;
  if (contains(path, p.str_pfc_fold.c_str())) return 0;
  for (const char* s : {".ovw", ".ac", ".prf", ".fms", ".sit", ".mov", ".bak"})
    if (path.ends_with(s)) return 0;

  const bool erth = contains(path, p.str_erth1.c_str()) || contains(path, p.str_erth2.c_str());
  const bool add1 = contains(path, p.str_add1.c_str()), add2 = contains(path, p.str_add2.c_str());
  switch (build_type) {
    case 0:
      return !contains(path, p.str_redt.c_str()) && !contains(path, p.str_orbt.c_str()) && !erth &&
             !add1 && !add2;
    case 1:
      return erth || (!add1 && !add2);
    case 2:
      return add1;
    case 3:
      return add2;
    default:
      fatal("I can not tell what type of install this is!", fmt_f("build_type %f", build_type));
  }
}

void set_dest_dvd(int n) {
  if (build_type != 0) dst_folder = dst_fold_base + "disk_" + std::to_string(n) + "/";
}

void pref_level(const std::string& dir) {
  const build_paths& p = paths();
  std::vector<std::string> names;
  std::vector<int> types;
  opensave_getitems(dir, 0, names, types);
  const bool at_all = dir == p.str_all_fold;
  if (at_all) {
    for (size_t n = 0; n < names.size(); ++n) {
      if (names[n] != "Global Scenery") continue;
      names.push_back(names[n]);
      types.push_back(types[n]);
      names.erase(names.begin() + static_cast<long>(n));
      types.erase(types.begin() + static_cast<long>(n));
      break;
    }
  }
  for (size_t n = 0; n < names.size(); ++n) {
    const std::string& name = names[n];
    // The listing types folders by their suffix too ("x.obj/"): a real
    // folder is scanned whatever its name.
    struct stat st;
    const bool folder = lstat(full_path(dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (types[n] == tFOL && !folder)
      fatal(
          "rel_assert Error! Possibly an out of range vector! Attach the debugger and see who "
          "called this!",
          "dir_file_types[n] == tFOL", "Please report this to Tessaline Labs.", dir + name);
    const std::string path = dir + name + (folder ? "/" : "");
    // A line end in a name would split its line of the directory file.
    static const struct {
      char c;
      const char* shown;
    } k_bad[] = {{':', "':'"}, {'\\', "'\\'"}, {'\n', "a line feed"}, {'\r', "a carriage return"}};
    for (const auto& b : k_bad)
      if (path.find(b.c) != std::string::npos)
        fatal("I found an illegal character in a path: " + std::string(b.shown),
              "Only '/' may separate folders, and names must fit on one line.", path);
    if (path == p.str_com_file) found_com_file = true;
    if (path == p.str_apl_app) found_apl_app = 1;
    if (path == p.str_ibm_app) found_ibm_app = 1;
    if (path == p.str_lin_app) found_lin_app = 1;

    if (folder) {
      met_folders.insert(path);
      if (at_all) {
        static const char* const k_known[] = {
            "Aircraft/",  "Airfoils/", "Instructions/",   "Output/",        "install_pfc Aircraft/",
            "Resources/", "Weapons/",  "Custom Scenery/", "Global Scenery/"};
        bool known = false;
        for (const char* k : k_known) known = known || name + "/" == k;
        if (!known)
          fatal("I found an unknown folder inside the 'All' folder!",
                "Only the simulator's own folders belong there.", path);
      }
      pref_level(path);
      continue;
    }

    if (at_all)
      fatal("I FOUND A FILE INSIDE THE 'ALL' FOLDER! WE SHOULD ONLY HAVE FOLDERS THERE!", path);
    if (name.ends_with(".cpp")) fatal("found a .cpp file!", path);
    if (name.ends_with(".CPP")) fatal("found a .CPP file!", path);
    if (contains(name, "copy") && !contains(path, "bitmaps/interface/copy.png"))
      __MACIBM_alert(0, "found a copy file!", path, "", "", t_alert, __FILE__, __LINE__);
    // The directory file reader trims blanks before a name.
    if (is_blank(name.back()))
      fatal("I found a file name that ends in a blank!", "Names may not end in a blank.", path);
    if (is_blank(name.front()))
      fatal("I found a file name that begins with a blank!", "Names may not begin with a blank.",
            path);

    ++num_files_rec;
    if (is_good_file(path, 0, 1)) {
      if (contains(path, "/All/Output/preferences/"))
        fatal("I found a preferences file in the Output folder!", "Preferences are never released.",
              path);
      ++num_files_use;
      comp_files.push_back(path);
      const std::string rel = path.substr(src_fold.size());
      comp_paths.insert(dst_folder + sim_name + "/" + rel.substr(0, rel.find_last_of('/') + 1));
    }
    show_progress("reg: " + num(reg) + ": total files recursed: " + num(num_files_rec) +
                      ". will compress: " + num(num_files_use) + ".",
                  -1);
  }
}

namespace {
// One file of the master on its way into the release: packed on a worker (or
// on the calling thread), then committed by the main thread in scan order.
struct packed_file {
  std::string path;     // full source path
  std::string rel;      // less src_fold
  std::string staging;  // the zip is made here and moved into place when committed
  bool wants_7z = false, has_7z = false;
  int laa_err = 0, zip_err = 0, md5_err = 0;
  int64_t src_bytes = -1;
  std::string md5;
};

// The installer's disc road asks for a 7z archive exactly for the global
// scenery; the web road always asks for a zip.
bool road_wants_7z(const std::string& rel) {
  return build_type != 0 && contains(rel, "Global Scenery");
}

// Everything about one file that costs time; reports through f, never alerts.
void pack(packed_file& f) {
  const build_paths& p = paths();
  if (f.path.compare(0, p.str_win_fold.size(), p.str_win_fold) == 0 && contains(f.path, ".exe")) {
    f.laa_err = make_file_large_address_aware(f.path);
    if (f.laa_err) return;
  }
  f.wants_7z = road_wants_7z(f.rel);
  if (f.wants_7z) {
    f.has_7z = file_exists(f.path + ".7z");
    if (!f.has_7z) return;
  } else {
    f.zip_err = file_to_zip(f.path, f.staging);
    if (f.zip_err) return;
  }
  f.src_bytes = entry_size(f.path);
  f.md5_err = calc_file_md5(f.path, f.md5);
}

// Puts the archive in place and writes the file's lines, the disc split and
// the progress line, with every check of a failure in the same order as
// packing met it.
void commit_file(packed_file& f) {
  const std::string& path = f.path;
  const std::string& rel = f.rel;
  const std::string name = name_of(rel);
  const std::string dir_text = rel.substr(0, rel.size() - name.size());
  if (f.laa_err)
    fatal("Oops! We could not make a windows exe file large-address-aware!",
          fmt_f("error# %f", f.laa_err), error_str(f.laa_err), path);

  const std::string base = dst_folder + sim_name + "/" + rel;
  if (f.wants_7z && !f.has_7z)
    fatal("I found no pre-packed 7z archive for a file of the global scenery!",
          "The installer reads the global scenery of a disc from 7z archives:", path + ".7z",
          "is missing.");
  const std::string archive = base + (f.wants_7z ? ".7z" : ".zip");
  if (f.zip_err) fatal("I could not zip a file!", error_str(f.zip_err), path, archive);
  make_folder_tree(archive.substr(0, archive.find_last_of('/') + 1));
  const std::string to = full_path(archive);
  if (f.wants_7z) {
    const std::string from = full_path(path + ".7z");
    unlink(to.c_str());  // a rebuild into the same disc folders replaces the old link
    if (link(from.c_str(), to.c_str()) != 0)
      fatal("ERROR: could not make hard link!", strerror(errno), path + ".7z", archive);
  } else if (rename(full_path(f.staging).c_str(), to.c_str()) != 0) {
    fatal("I could not zip a file!", strerror(errno), path, archive);
  }

  const int64_t zip_bytes = APL_file_size64(archive);
  if (zip_bytes < 0) fatal("ERROR: could not get file size!", archive);
  if (f.src_bytes < 0) fatal("ERROR: could not get src file size!", path);
  const int64_t zip_kb = zip_bytes / 1000, size_kb = f.src_bytes / 1000;
  zip_size_dvd += static_cast<double>(zip_kb);
  zip_size_ins += static_cast<double>(zip_kb) * 0.000001;
  if (f.md5_err) fatal("ERROR: could not get the MD5 sum of a file!", error_str(f.md5_err), path);
  const std::string& md5 = f.md5;

  write_dir_line(dir_text);
  const int platform = platform_of(rel);

  std::string key = rel;
  chop_platform(key, platform);
  const auto it = sim_info_index.find(key);
  if (it != sim_info_index.end()) {
    file_history_struct& row = sim_info[static_cast<size_t>(it->second)];
    row.front().to_install = 0;
    // The history is written in today's spelling: after a rename in letter
    // case alone the old lines must stay in this file's row.
    for (const file_version_struct& v : row) {
      if (v.sig_want == md5 || v.sig_want == "GONE") continue;
      write_file_line(platform, v.version, static_cast<int64_t>(v.zip_kb),
                      static_cast<int64_t>(v.size_kb), v.sig_want, name,
                      "This is in the OLD file list.");
    }
  }
  write_file_line(platform, build_release_number, zip_kb, size_kb, md5, name,
                  "This is in the NEW file loop");
  new_paths[installed_key(rel)] |= 1u << platform;
  ++num_files_com;
  ++dvd_files;
  dvd_last_used = dvd_now;

  if (zip_size_dvd > dvd_split_kb) {
    end_progress_line();
    printf("Going to next disk - last file on disk %d was %s\n", dvd_now, rel.c_str());
    fflush(stdout);
    ++dvd_now;
    zip_size_dvd = 0;
    dvd_files = 0;
    ouf << "DISK " << dvd_now << "\n";
    if (build_type != 0) set_dest_dvd(dvd_now);
  }

  show_progress("reg: " + num(reg) + ": total files to compress: " + num(num_files_use) +
                    ". now doing: " + rel,
                num_files_use ? static_cast<float>(num_files_com) / num_files_use : 1.0f);
}

// The folder the zips are made in before they take their place; it holds
// nothing once a build ends, however it ends. Its files are spread over
// sub-folders: workers creating files in one folder wait for each other.
std::string staging_folder() { return dst_fold_base + ".packing/"; }
constexpr size_t k_staging_folders = 64;

packed_file packed_for(const std::string& path, size_t n) {
  packed_file f;
  f.path = path;
  f.rel = path.substr(src_fold.size());
  f.staging = staging_folder() + std::to_string(n % k_staging_folders) + "/" + std::to_string(n) +
              ".zip";
  return f;
}

class pack_task : public UTL_work_task {
 public:
  pack_task(packed_file* f, size_t n) : file(f), index(n) {}
  void do_it() override { pack(*file); }
  int check_error(std::string&) override { return 0; }
  packed_file* file;
  size_t index;
};

// The workers of one build. The files are handed out biggest first, so that
// no large file is left to pack alone at the end; they are committed in scan
// order all the same. Destroying it waits for the packing under way and
// empties the staging folder.
class packer {
 public:
  packer(std::vector<packed_file>& files, int threads)
      : files_(files),
        done_(files.size(), false),
        pool_(std::make_unique<UTL_worker_threads>(threads, threads * 2)) {
    std::vector<int64_t> cost(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      const int64_t bytes = std::max<int64_t>(entry_size(files[i].path), 0);
      // A pre-packed 7z is only hashed, at several times the speed of deflate.
      cost[i] = road_wants_7z(files[i].rel) ? bytes / 8 : bytes;
      order_.push_back(i);
    }
    std::stable_sort(order_.begin(), order_.end(),
                     [&](size_t a, size_t b) { return cost[a] > cost[b]; });
  }
  ~packer() {
    pool_.reset();  // runs what is queued and joins: no task is left running
    tasks_.clear();
    recursive_delete_folder(staging_folder());
  }

  // Waits until file k is packed, keeping the workers busy; the progress
  // line (and with it the Q key) is polled meanwhile.
  void wait_for(size_t k) {
    auto last_poll = std::chrono::steady_clock::now();
    while (!done_[k]) {
      while (queued_ < order_.size() && pool_->has_free_slot()) {
        const size_t n = order_[queued_++];
        tasks_.push_back(std::make_unique<pack_task>(&files_[n], n));
        pool_->enqueue_task(tasks_.back().get());
      }
      if (UTL_work_task* t = pool_->check_retired_tasks()) {
        done_[static_cast<pack_task*>(t)->index] = true;
        ++packed_;
        continue;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now - last_poll > std::chrono::milliseconds(100)) {
        last_poll = now;
        show_progress("reg: " + num(reg) + ": total files to compress: " + num(num_files_use) +
                          ". packed: " + num(packed_) + ".",
                      static_cast<float>(packed_) / static_cast<float>(files_.size()));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  std::vector<packed_file>& files_;
  std::vector<bool> done_;
  std::vector<size_t> order_;  // the order files are handed out in
  size_t queued_ = 0;
  int packed_ = 0;
  std::vector<std::unique_ptr<pack_task>> tasks_;  // outlive the pool that runs them
  std::unique_ptr<UTL_worker_threads> pool_;
};

std::unique_ptr<packer> g_packer;

void stop_packing() {
  g_packer.reset();
  recursive_delete_folder(staging_folder());
}

// Packs every file of comp_files on the workers and commits them in order.
void pack_and_commit_all() {
  const int threads = build_threads > 0 ? build_threads : std::max(1, LIN_processor_count());
  recursive_delete_folder(staging_folder());  // left by a build that was killed
  const int err = make_folder(staging_folder());
  if (err) fatal("I could not make a folder to pack in!", staging_folder(), error_str(err));
  for (size_t i = 0; i < k_staging_folders; ++i) make_folder(staging_folder() + std::to_string(i) + "/");
  std::vector<packed_file> files;
  files.reserve(comp_files.size());
  for (const std::string& f : comp_files) files.push_back(packed_for(f, files.size()));
  if (threads > 1) g_packer = std::make_unique<packer>(files, threads);
  for (size_t k = 0; k < files.size(); ++k) {
    if (g_packer)
      g_packer->wait_for(k);
    else
      pack(files[k]);
    commit_file(files[k]);
  }
  stop_packing();
}

// Two files that install to one path once letter case is ignored, for one
// target platform, or a file that is also a folder of another: the installer
// would refuse the list, or install one file over the other.
void check_installed_paths() {
  struct seen {
    const std::string* path;
    int platform;
  };
  std::map<std::string, std::vector<seen>> files;
  for (const std::string& path : comp_files) {
    const std::string rel = path.substr(src_fold.size());
    const int platform = platform_of(rel);
    std::vector<seen>& same = files[installed_key(rel)];
    for (const seen& s : same)
      if (platforms_meet(s.platform, platform))
        fatal("Two files of the master would install to the same file!", *s.path, path,
              "Names may differ only in letter case where they install for different platforms.");
    same.push_back({&path, platform});
  }
  for (const auto& [key, list] : files) {
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      const auto folder = files.find(key.substr(0, slash));
      if (folder == files.end()) continue;
      for (const seen& a : folder->second)
        for (const seen& b : list)
          if (platforms_meet(a.platform, b.platform))
            fatal("A file of the master would install where another one needs a folder!", *a.path,
                  *b.path, "Names are compared without letter case.");
    }
  }
}
}  // namespace

void comp_file(std::string path) {
  packed_file f = packed_for(path, 0);
  make_folder(staging_folder());
  make_folder(staging_folder() + "0/");
  pack(f);
  commit_file(f);
  stop_packing();
}

void sub_install() {
  const build_paths& p = paths();
  dst_folder = dst_fold_base;
  set_dest_dvd(0);
  const std::string target = dst_folder + sim_name + "/";
  const std::string dir_file = target + "directory.txt";

  zip_size_ins = zip_size_dvd = 0;
  dvd_now = dvd_files = dvd_last_used = 0;
  num_files_rec = num_files_use = num_files_com = 0;
  prev_dir = "---";
  comp_paths.clear();
  comp_files.clear();
  sim_info.clear();
  sim_info_index.clear();
  made_folders.clear();
  new_paths.clear();
  met_folders.clear();
  found_com_file = false;
  found_apl_app = found_ibm_app = found_lin_app = 0;

  if (build_type == 0 && old_dir_path.empty()) {
    // The first web release: nothing came before it, so no file has a history.
    xer << "No previous directory file: release " << sim_name << " is a first web release.\n";
  } else if (build_type == 0) {
    if (read_directory(old_dir_path, "Scanning old directory text file to get change log!") != 3)
      fatal("I could not read the old directory!",
            "This means that this installer will not delete old files (needed even for the "
            "Flyvane / USA scenery install).",
            "It also means I will forget to fix this, and release without an old directory, and "
            "think that older versions of stuff is all user-modified cause I don't recognize it!",
            "So fix this.");
  } else {
    old_dir_path.clear();
  }

  for (size_t i = 0; i < sim_info.size(); ++i) {
    file_history_struct& row = sim_info[i];
    std::string key = row.front().path;
    chop_platform(key, row.front().platform);
    if (!sim_info_index.emplace(key, static_cast<int>(i)).second)
      fatal("WARNING: you appear to have a file TWICE in an old directory file.", row.front().path);
    row.front().to_install = 1;  // not yet met in the new master
    for (const file_version_struct& v : row)
      if (v.version == build_release_number)
        fatal("This release number is already used in the old directory!",
              fmt_f("version_number %f", build_release_number), "in file ", v.path);
  }

  // The base folder's parents may be missing on a fresh volume.
  make_folder_tree(dst_folder.substr(0, dst_folder.find_last_of('/', dst_folder.size() - 2) + 1));
  made_folders.clear();
  const int dst_err = make_folder(dst_folder), target_err = make_folder(target);
  if (build_type == 0 && dst_err)
    fatal("Could not make the dst_folder!", dst_folder,
          "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!", error_str(dst_err));
  if (build_type == 0 && target_err)
    fatal("Could not make the target_folder!", target,
          "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!", error_str(target_err));

  if (!ouf_open(dir_file, xmap_text, 900, "no-copyright-string"))
    fatal("I could not write the directory file!", dir_file);
  ouf << "INSTALLER\n\n";
  xer << "Building release " << sim_name << " (type " << build_type << ") from " << src_fold
      << " into " << dst_fold_base << "\n";

  pref_level(src_fold);

  const struct {
    const char* text;
    const std::string* folder;
    bool needed;
  } k_checks[] = {
      {"!found_all_fold", &p.str_all_fold, true},
      {"!found_apl_fold", &p.str_apl_fold, true},
      {"!found_win_fold", &p.str_win_fold, true},
      {"!found_X86_fold", &p.str_LIN_fold, true},
      {"!found_ins_fold", &p.str_ins_fold, true},
      {"!found_wpn_fold", &p.str_wpn_fold, true},
      {"!found_afl_fold", &p.str_afl_fold, true},
      {"!found_acf_fold", &p.str_acf_fold, true},
      {"!found_res_fold", &p.str_res_fold, true},
      {"!found_out_fold", &p.str_out_fold, true},
      {"!found_cus_fold", &p.str_cus_fold, true},
      {"!found_glo_fold", &p.str_glo_fold, build_type == 1},
      {"!found_plug", &p.str_plug, true},
      {"!found_redt", &p.str_redt, build_type == 1},
      {"!found_orbt", &p.str_orbt, build_type == 1},
  };
  for (const auto& c : k_checks)
    if (c.needed && !met_folders.count(*c.folder))
      fatal(c.text, "A folder the release needs is missing from the master:", *c.folder);
  if (found_com_file)
    fatal("found_com_file", "A customer's data file must never be released:", p.str_com_file);

  check_installed_paths();
  set_dest_dvd(dvd_now);
  for (const std::string& f : comp_paths) make_folder_tree(f);
  pack_and_commit_all();

  for (const file_history_struct& row : sim_info) {
    if (row.empty() || !row.front().to_install) continue;
    const std::string& path = row.front().path;
    if (!is_good_file(src_fold + path, 0, 0)) continue;
    // A file that only changed its platform folder is still installed.
    const auto w = new_paths.find(installed_key(path));
    if (w != new_paths.end()) {
      bool meets = false;
      for (int pl = 0; pl <= 6; ++pl)
        meets = meets || ((w->second >> pl & 1u) && platforms_meet(pl, row.back().platform));
      if (meets) continue;
    }
    const std::string name = name_of(path);
    write_dir_line(path.substr(0, path.size() - name.size()));
    for (const file_version_struct& v : row)
      write_file_line(v.platform, v.version, static_cast<int64_t>(v.zip_kb),
                      static_cast<int64_t>(v.size_kb), v.sig_want, name_of(v.path),
                      "This is in the OLD file list.");
    if (row.back().sig_want != "GONE")
      write_file_line(row.back().platform, build_release_number, 0, 0, "GONE", name,
                      "This is in the GONE file loop");
  }

  ouf.close();
  if (ouf.fail()) fatal("I could not write the directory file!", dir_file);
  end_progress_line();

  // Every disc carries the version file, so any of them identifies the set.
  for (int d = 0; d <= (build_type == 0 ? 0 : dvd_last_used); ++d) {
    set_dest_dvd(d);
    const std::string version_file = dst_folder + "dvd_version.txt";
    if (!ouf_open(version_file, xmap_text, 900, "no-copyright-string"))
      fatal("I could not write the disc version file!", version_file);
    ouf << "DVD\n\nVERSION " << sim_name << "\n";
    ouf.close();
    if (ouf.fail()) fatal("I could not write the disc version file!", version_file);
  }
  set_dest_dvd(0);

  const int zip_err = file_to_zip(dir_file, dir_file + ".zip");
  if (zip_err) fatal("zip!=0", dir_file, dir_file + ".zip", error_str(zip_err));
  const int del_err = delete_file(dir_file);
  if (del_err) fatal("del!=0", dir_file, error_str(del_err));

  xer << "Release " << sim_name << " built: " << num_files_com << " files, "
      << fmt_f("%.3f", zip_size_ins) << " million KB of archives on " << dvd_last_used + 1
      << (build_type == 0 ? " folder" : " disc(s)") << ".\n";
}

void build_install() {
  reg = 0;
  if (sim_name == "-") sim_name = "Flyvane 9.21rc2";
  sub_install();
  __MACIBM_alert(0, "OK compression is done. Checklist if doing net:",
                 "Copy the version string and version number into the server list in the "
                 "internet folder, and send it to the web host.",
                 "Upload the -NET uploads- folder stuff.",
                 "Extract directory.txt.zip to the next previous directory file for use next time.",
                 t_alert, __FILE__, __LINE__);
}
