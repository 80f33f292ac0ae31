#include "OOPS_cpp/pref.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/mnw.h"
#include "Installer-f/stg.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/cmdline.h"

pref_class pref;

namespace {
const int k_pref_version = 92001;
const int k_pref_versions[] = {k_pref_version, 0};

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_eol(char c) { return c == '\r' || c == '\n' || c == 0; }

// atoi's reading (leading blanks, a sign, digits; no digits gives 0), held to
// the range of int instead of overflowing.
int to_int(const std::string& s) {
  long v = strtol(s.c_str(), nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

// The "--pref:" override, else the stored text.
bool lookup(const scan_class& f, const std::string& key, std::string* out) {
  const std::string opt = "--pref:" + key;
  if (cmdline.has_option(opt.c_str())) {
    *out = cmdline.get_option(opt.c_str());
    return true;
  }
  auto it = f.vals.find(key);
  if (it == f.vals.end()) return false;
  *out = it->second;
  return true;
}

// Text settings: an empty text is not written, and a value never carries a
// line break into the file (it would start a line of its own).
void text_io(scan_class& f, std::string* value, const std::string& key) {
  if (f.mode == 1) {
    std::string v;
    for (char c : *value)
      if (c != '\r' && c != '\n') v += c;
    if (!v.empty()) ouf << key << " " << v << "\n";
    return;
  }
  std::string v;
  if (lookup(f, key, &v)) *value = v;
}

// The files beside the program lie two folders deep, and the writer makes
// only the last one.
void make_parent_folders(const std::string& path) {
  if (path.empty() || path[0] == '/') return;
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash + 1);
    if (!dir_exists(folder)) make_folder(folder);
  }
}

void clamp(int& v, int lo, int hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
}
}  // namespace

scan_class::scan_class(const std::string& path, int m) : mode(m) {
  if (mode == 1) {
    ouf_open(path, xmap_text, k_pref_version, "no-copyright-string");
    return;
  }
  xmap_class f(path);
  if (!f.map_base || f.check_file(xmap_text, k_pref_versions, nullptr, nullptr) != k_pref_version)
    return;
  const char* p = f.cursor;
  const char* const end = f.map_end;
  while (p < end) {
    while (p < end && is_blank(*p)) ++p;
    const char* k = p;
    while (p < end && !is_blank(*p) && !is_eol(*p)) ++p;
    std::string key(k, static_cast<size_t>(p - k));
    while (p < end && is_blank(*p)) ++p;
    const char* v = p;
    while (p < end && !is_eol(*p)) ++p;
    if (!key.empty()) vals[key] = std::string(v, static_cast<size_t>(p - v));
    while (p < end && (is_eol(*p) || is_blank(*p))) ++p;
  }
}

scan_class::~scan_class() {
  if (mode == 1) ouf.close();  // a failed close leaves ouf failed
  vals.clear();
}

int scan_class::int_io(int* value, const std::string& key) {
  if (mode == 1) {
    char num[16];
    snprintf(num, sizeof(num), "%d", *value);
    ouf << key << " " << num << "\n";
    return 0;
  }
  std::string v;
  if (!lookup(*this, key, &v)) return 0;
  *value = to_int(v);
  return 1;
}

std::string pref_class::path_for(int type) {
  switch (type) {
    case pref_display:
      return "Output/preferences/Res Skysuite.prf";
    case pref_installer: {
      // Without a preferences folder the file lies in the program's own
      // preferences folder.
      std::string p = "Output/preferences/";
      get_OS_abs_path(os_dir_prefs, p);
      return p + "Flyvane Installer.prf";
    }
    case pref_calibration:
      return "Output/preferences/Cal Flyvane.prf";
  }
  return "";
}

void pref_class::IO_set(int type, int mode) {
  const std::string path = path_for(type);
  if (path.empty()) return;
  if (mode == 1) make_parent_folders(path);
  scan_class f(path, mode);

  if (type == pref_installer) {
    f.int_io(&stg.stream_count, "_stream_count");
    // The download scheduler runs 0 (automatic) to 4 streams; anything else
    // would end an update at once with nothing fetched.
    if (mode == 0) clamp(stg.stream_count, 0, 4);
    f.int_io(&stg.log_actions, "_log_actions");
    text_io(f, &http.proxy_host, "_proxy_host");
    text_io(f, &http.proxy_port_text, "_proxy_port");
    f.int_io(&http.proxy_port, "_proxy_port_int");
    f.int_io(&stg.get_beta, "_get_beta");
  } else if (type == pref_display) {
    static int x_res_req_PLN = 0, y_res_req_PLN = 0, x_res_req_WRL = 0, y_res_req_WRL = 0,
               x_res_req_ALL = 0, y_res_req_ALL = 0;
    if (mode == 1) {
      mnw.prefs_found = 1;
      x_res_req_ALL = mnw.x_res;
      y_res_req_ALL = mnw.y_res;
    }
    f.int_io(&x_res_req_PLN, "_x_res_req_PLN");
    f.int_io(&y_res_req_PLN, "_y_res_req_PLN");
    f.int_io(&x_res_req_WRL, "_x_res_req_WRL");
    f.int_io(&y_res_req_WRL, "_y_res_req_WRL");
    f.int_io(&x_res_req_ALL, "_x_res_req_ALL");
    f.int_io(&y_res_req_ALL, "_y_res_req_ALL");
    f.int_io(&mnw.req_depth, "_col_res_req");
    f.int_io(&mnw.use_vsync1, "_use_vsync1");
    f.int_io(&mnw.use_vsync2, "_use_vsync2");
    f.int_io(&mnw.set_res, "_set_res");
    f.int_io(&mnw.language, "_lang");
    f.int_io(&mnw.alias_req, "_alias_req");
    f.int_io(&mnw.keylist_up, "_keylist_up");
    f.int_io(&mnw.sec_mon_inuse, "_sec_mon_inuse");
    f.int_io(&mnw.prefs_found, "_prefs_found");
    if (mode == 0) {
      mnw.x_res = x_res_req_ALL;
      mnw.y_res = y_res_req_ALL;
      if (mnw.x_res < 600 || mnw.x_res > 9999) mnw.x_res = 1024;
      if (mnw.y_res < 600 || mnw.y_res > 9999) mnw.y_res = 768;
      // The language number indexes the language table.
      if (mnw.language < -1 || mnw.language > 5) mnw.language = -1;
    }
  }
}
