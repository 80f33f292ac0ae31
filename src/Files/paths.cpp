#include "Files/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "GenH/shell.h"
#include "Linux/lin_paths.h"
#include "UTL/resource.h"

void set_path_to_full(std::string& path) {
  path = app_path + path;
  if (g_case_sensitive && !path.empty()) findPath(path);
}

void set_path_to_full_wrap(std::string* path) { set_path_to_full(*path); }

std::string full_path(std::string path) {
  set_path_to_full(path);
  return path;
}

namespace {
bool exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

bool is_link_in(const std::string& folder, const dirent* e) {
  if (e->d_type != DT_UNKNOWN) return e->d_type == DT_LNK;
  struct stat st;
  return lstat((folder + "/" + e->d_name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Spells path[start, end) as the first entry of its folder that matches it
// ignoring case; false when the folder cannot be read or holds no match.
// Links are passed over: a repair of the letter case must never change where
// a path leads, and a link spelt otherwise is not the one the path names (an
// archive may have left it there, aimed outside).
bool repair_component(std::string& path, size_t start, size_t end) {
  const std::string folder = start == 0 ? std::string(".") : path.substr(0, start);
  DIR* d = opendir(folder.c_str());
  if (!d) return false;
  const size_t len = end - start;
  bool found = false;
  while (dirent* e = readdir(d)) {
    if (strlen(e->d_name) == len && strncasecmp(e->d_name, path.data() + start, len) == 0 &&
        !is_link_in(folder, e)) {
      path.replace(start, len, e->d_name, len);
      found = true;
      break;
    }
  }
  closedir(d);
  return found;
}
}  // namespace

void findPath(std::string& path) {
  if (path.empty() || exists(path)) return;
  size_t start = (path[0] == '/') ? 1 : 0;
  // Mostly only the last name is missing (a file about to be made). A folder
  // that is there as spelt is there all the way down, so only the last name
  // is looked for then: one look instead of one for every folder on the way.
  const size_t cut = path.back() == '/' ? std::string::npos : path.rfind('/');
  if (cut != std::string::npos && cut > start && exists(path.substr(0, cut))) start = cut + 1;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start && !exists(path.substr(0, end))) {
      if (!repair_component(path, start, end)) return;
    }
    start = end + 1;
  }
}

void findPath(char* path) {
  // Only the case changes, never the length, so the text fits where it was.
  std::string p(path);
  findPath(p);
  memcpy(path, p.data(), p.size());
}

int is_valid_utf8(const std::string& s) {
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t more;
    if (c < 0x80)
      more = 0;
    else if ((c & 0xE0) == 0xC0)
      more = 1;
    else if ((c & 0xF0) == 0xE0)
      more = 2;
    else if ((c & 0xF8) == 0xF0)
      more = 3;
    else
      return 0;
    if (n - i - 1 < more) return 0;
    for (size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    i += more + 1;
  }
  return 1;
}

namespace {
// Unicode of Mac Roman 0x80..0xFF.
const unsigned short k_mac_roman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};
}  // namespace

void mac_roman_to_utf8(unsigned char c, std::string& out) {
  UTL_append_utf8(c < 0x80 ? c : k_mac_roman[c - 0x80], out);
}

void set_path_to_right_dirchars(std::string& path) {
  if (!is_valid_utf8(path)) {
    std::string u;
    u.reserve(path.size() * 2);
    for (char c : path) mac_roman_to_utf8(static_cast<unsigned char>(c), u);
    path.swap(u);
  }
  for (char& c : path)
    if (c == '\\' || c == ':') c = '/';
}

void get_OS_abs_path(os_dir_type kind, std::string& out) {
  // System folders are taken as the system spells them: ":" and "\" are
  // ordinary name characters here.
  std::string p;
  switch (kind) {
    case os_dir_this_app:
    case os_dir_app_bundle:
      MACIBM_set_app_path(&p, kind == os_dir_app_bundle);
      break;
    case os_dir_desktop:
    case os_dir_default_apps:
      p = LIN_desktop_dir();
      break;
    case os_dir_temp:
      p = LIN_private_temp_dir();
      break;
    case os_dir_prefs:
      p = LIN_prefs_dir();
      break;
  }
  if (!p.empty()) out = p;
}

int FilePathToFSRefAndName(const char* path, FSRef* ref, std::string* name) {
  if (!path || !ref) return EINVAL;
  std::string target = path;
  if (name) {
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    const size_t slash = target.find_last_of('/');
    *name = (slash == std::string::npos) ? target : target.substr(slash + 1);
    target = (slash == std::string::npos) ? std::string(".")
             : slash == 0                 ? std::string("/")
                                          : target.substr(0, slash);
  }
  char buf[PATH_MAX];
  if (!realpath(target.c_str(), buf)) return errno;
  ref->path = buf;
  return 0;
}

int FSRefToFilePath(const FSRef* ref, std::string& out) {
  if (!ref || ref->path.empty()) return -1;
  struct stat st;
  if (stat(ref->path.c_str(), &st) != 0) return -1;
  out = ref->path;
  return 0;
}
