// Helpers of the Files tests: archives are made on the spot, trees compared by listing them.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "Files/zip.h"
#include "support/test_util.h"

namespace arch_test {
using fly_test::pattern, fly_test::read_file, fly_test::write_file;

// Runs a Python script that must succeed.
inline void py(const std::string& script) {
  write_file("fixture.py", script);
  std::string out;  // /usr/bin: faster than a version-manager shim
  EXPECT_EQ(fly_test::run("/usr/bin/python3 fixture.py 2>&1", &out), 0) << script << out;
}

inline mode_t mode_of(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Every entry below a folder: "name" -> "f:<bytes>", "d" or "l:<link text>".
using entries = std::map<std::string, std::string>;
inline entries tree(const std::string& dir) {
  namespace fs = std::filesystem;
  const std::string base = dir.back() == '/' ? dir : dir + "/";
  entries out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string p = it->path().string();
    out[p.substr(base.size())] = it->is_symlink()     ? "l:" + fs::read_symlink(p).string()
                                 : it->is_directory() ? "d"
                                                      : "f:" + read_file(p);
  }
  return out;
}

inline bool no_temporaries(const std::string& dir) {
  for (const auto& [name, what] : tree(dir))
    if (name.find(".fly-") != std::string::npos) return false;
  return true;
}

// An AppleDouble file as file_to_zip lays it out: header, Finder info, fork.
inline std::string apple_double(const std::string& fork) {
  std::string s(reinterpret_cast<const char*>(kMagicCrap), sizeof(kMagicCrap));
  for (int shift : {24, 16, 8, 0}) s += static_cast<char>(fork.size() >> shift);
  return s + std::string("TEXTttxt\x01", 9) + std::string(23, 0) + fork;
}

inline std::string py_bytes(const std::string& s) {
  std::string out = "b'";
  char buf[8];
  for (unsigned char c : s) snprintf(buf, sizeof(buf), "\\x%02x", c), out += buf;
  return out + "'";
}

}  // namespace arch_test
