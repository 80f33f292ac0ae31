// Helpers of the scenery-library tests: library files on disk, readers over
// memory, a fixed random table and a stand-in bitmap loader.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Files/io_locate.h"
#include "GenH/shell.h"
#include "OOPS_cpp/xmap.h"
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

// A reader over exactly the bytes of text (nothing mapped past them).
struct mem_reader {
  explicit mem_reader(const std::string& text) : buf(text.begin(), text.end()), x("") {
    x.map_base = x.cursor = buf.empty() ? nullptr : buf.data();
    x.map_end = x.map_base ? x.map_base + buf.size() : nullptr;
  }
  std::vector<char> buf;
  xmap_class x;
};

// Reads body as the library of package 0 (one package, "Custom Scenery/P/").
inline void read_as_library(const std::string& body) {
  DSF_ClearLibrary();
  scenery_packages = {"Custom Scenery/P/"};
  package_problems = {0};
  package_is_custom = {1};
  mem_reader r(body);
  DSF_ReadLibraryCommands(r.x, 0);
}

// Draw i of the random table sits in the middle of its 1/10000 step.
inline void fix_randrat() {
  for (int i = 0; i < 10000; ++i) randrat[i] = static_cast<float>((i + 0.5) / 10000.0);
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
