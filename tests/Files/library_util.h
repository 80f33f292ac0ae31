// Helpers of the scenery-library tests: library files on disk and a stand-in
// bitmap loader; readers over memory and a fixed random table come with the
// fuzz body.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Files/library_fuzz_body.h"
#include "support/test_util.h"

namespace lib_test {

inline const std::string k_header = "I\n800 version\nLIBRARY\n\n";

// Writes folder + "library.txt" with the header and body.
inline void write_library(const std::string& folder, const std::string& body,
                          const std::string& header = k_header) {
  fly_test::write_file(folder + "library.txt", header + body);
}

inline void make_folder_tree(const std::vector<std::string>& folders) {
  for (const std::string& f : folders) fly_test::write_file(f + ".keep", "");
}

// The stand-in image loader: the image it hands out and the paths asked for.
struct fake_bitmap {
  static inline int width = 360, height = 180, ok = 1;
  static inline std::vector<unsigned char> pixels;
  static inline std::vector<std::string> asked;
  static int load(const std::string& path, unsigned char*& out, int& w, int& h) {
    asked.push_back(path);
    if (!ok) return 0;
    out = static_cast<unsigned char*>(malloc(pixels.size() ? pixels.size() : 1));
    if (!pixels.empty()) memcpy(out, pixels.data(), pixels.size());
    w = width;
    h = height;
    return 1;
  }
};

}  // namespace lib_test
