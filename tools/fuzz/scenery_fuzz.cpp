// libFuzzer driver of the scenery library reader: built by tools/fuzz/run.sh
// with clang. The input is the body of a library file; the lookups then run
// over what it registered, in cells and with seeds drawn from the input.
#include <cstdlib>

#include "Files/library_fuzz_body.h"

namespace {
int swallow_alerts(int, const std::string&, const std::string&, const std::string&,
                   const std::string&, int, const char*, int) {
  return 1;  // the reader only warns
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_alert_intercept = swallow_alerts;
  DSF_bitmap_loader = lib_test::fuzz_loader;
  lib_test::fix_randrat();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  uint64_t s = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < size && i < 16; ++i) s = (s ^ data[i]) * 0x100000001B3ull;
  const lib_test::fuzz_result r = lib_test::fuzz_one(body, [&s] {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  });
  if (!r.read_to_end || r.most_listed > 1024u * 64) abort();
  return 0;
}
