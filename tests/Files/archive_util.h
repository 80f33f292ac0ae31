// Helpers of the archive tests: fixtures are made on the spot by python3 and
// the archivers, and trees are compared by listing them.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/test_util.h"

namespace arch_test {

// Runs a python3 script; its exit status.
inline int py(const std::string& script) {
  // The system's interpreter starts much faster than a version-manager shim.
  static const std::string python =
      access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  fly_test::write_file("fixture.py", script);
  return fly_test::run(python + " fixture.py 2>&1");
}

inline std::string pattern(size_t n, unsigned seed) {
  std::string s(n, 0);
  uint32_t x = 2463534242u ^ seed;
  for (char& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

inline mode_t mode_of(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}
inline time_t mtime_of(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}
inline bool is_link(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
inline std::string link_text(const std::string& p) {
  char buf[4096];
  const ssize_t n = readlink(p.c_str(), buf, sizeof(buf));
  return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
}

// Every entry below dir (without it): "name" -> "f:<bytes>", "d", "l:<text>".
inline void tree_into(const std::string& dir, const std::string& rel,
                      std::map<std::string, std::string>& out) {
  DIR* d = opendir((dir + rel).c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string r = rel + n, p = dir + r;
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      out[r] = "l:" + link_text(p);
    } else if (S_ISDIR(st.st_mode)) {
      out[r] = "d";
      tree_into(dir, r + "/", out);
    } else {
      out[r] = "f:" + fly_test::read_file(p);
    }
  }
  closedir(d);
}
inline std::map<std::string, std::string> tree(const std::string& dir) {
  std::map<std::string, std::string> out;
  tree_into(dir.back() == '/' ? dir : dir + "/", "", out);
  return out;
}

// Python literal for bytes.
inline std::string py_bytes(const std::string& s) {
  std::string out = "b'";
  char buf[8];
  for (unsigned char c : s) {
    snprintf(buf, sizeof(buf), "\\x%02x", c);
    out += buf;
  }
  return out + "'";
}

}  // namespace arch_test
