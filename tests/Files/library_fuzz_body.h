// The scenery library reader over memory and its fuzz body, shared by the
// tests and the libFuzzer driver (tools/fuzz): nothing here needs the test
// framework.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files/io_locate.h"
#include "GenH/shell.h"
#include "OOPS_cpp/xmap.h"

namespace lib_test {

// A reader over exactly the bytes of text (nothing mapped past them).
struct mem_reader {
  explicit mem_reader(const std::string& text) : buf(text.begin(), text.end()), x("") {
    x.map_base = x.cursor = buf.empty() ? nullptr : buf.data();
    x.map_end = x.map_base ? x.map_base + buf.size() : nullptr;
  }
  std::vector<char> buf;
  xmap_class x;
};

// Reads body as the library of package 0 (one package, "Custom Scenery/P/");
// 1 when the reader went on to the end of it.
inline int read_as_library(const std::string& body) {
  DSF_ClearLibrary();
  scenery_packages = {"Custom Scenery/P/"};
  package_problems = {0};
  package_is_custom = {1};
  mem_reader r(body);
  DSF_ReadLibraryCommands(r.x, 0);
  return r.x.cursor == r.x.map_end;
}

// Draw i of the random table sits in the middle of its 1/10000 step.
inline void fix_randrat() {
  for (int i = 0; i < 10000; ++i) randrat[i] = static_cast<float>((i + 0.5) / 10000.0);
}

// A bitmap loader for REGION_BITMAP that fails, hands out the right size or
// any other, in turn.
inline int fuzz_loader(const std::string&, unsigned char*& px, int& w, int& h) {
  static uint64_t n = 0;
  ++n;
  if (n % 3 == 0) return 0;
  w = n % 2 ? 360 : static_cast<int>(n % 400);
  h = n % 2 ? 180 : static_cast<int>(n % 200);
  const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h);
  px = static_cast<unsigned char*>(malloc(bytes ? bytes : 1));
  for (size_t i = 0; i < bytes; ++i) px[i] = static_cast<unsigned char>((i * n) >> 3);
  return 1;
}

struct fuzz_result {
  int read_to_end;
  size_t most_listed;  // the longest answer of a multiple lookup
};

// Reads one input, then runs the four lookups for the first 16 virtual paths
// it registered, in cells (some off the globe) and with seeds drawn from next().
template <class Next>
fuzz_result fuzz_one(const std::string& body, Next&& next) {
  fuzz_result res{read_as_library(body), 0};
  size_t keys = 0;
  std::vector<std::string> out;
  for (const auto& [vpath, head] : dsf_library) {
    if (++keys > 16) break;
    const int lon = static_cast<int>(next() % 400) - 200, lat = static_cast<int>(next() % 200) - 100;
    std::string p = vpath;
    DSF_LookupLibraryResource(lon, lat, p, static_cast<int>(next()));
    p = vpath;
    DSF_LookupLibraryResourceAnywhere(p, static_cast<int>(next()));
    DSF_LookupLibraryResourceMultiple(lon, lat, vpath, out);
    res.most_listed = std::max(res.most_listed, out.size());
    DSF_LookupLibraryResourceAnywhereMultiple(vpath, out);
    res.most_listed = std::max(res.most_listed, out.size());
  }
  return res;
}

}  // namespace lib_test
