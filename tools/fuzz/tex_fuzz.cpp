// libFuzzer driver of the image readers: built by tools/fuzz/run.sh with
// clang, one binary per reader (FLY_FUZZ_TARGET = png, bmp, dds or rle).
// The first input byte chooses the reader's options, the rest is the file.
#include <stdexcept>

#include "GenH/shell.h"
#include "TEX/fuzz_targets.h"

namespace {
struct fatal_stop {};

int stop_on_fatal(int, const std::string&, const std::string&, const std::string&,
                  const std::string&, int type, const char*, int) {
  if (type == t_exit) throw fatal_stop{};
  return 1;  // warnings are swallowed
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_alert_intercept = stop_on_fatal;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  tex_fuzz::FLY_FUZZ_BODY(data + 1, size - 1, data[0]);
  return 0;
}
