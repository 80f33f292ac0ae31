// Counting wrappers around the table of core GL entry points, for tests with
// a real context: while a gl_counter lives, every call through `gl` is logged
// (as gl_recorder logs it) and then forwarded to the real entry point. An
// entry point that was never loaded answers 0, so state code also runs
// without a context, seeing a fresh context's state.
#pragma once

#include <string>
#include <vector>

#include "support/gl_record.h"

namespace fly_test {

class gl_counter {
 public:
  gl_counter();
  ~gl_counter();
  gl_counter(const gl_counter&) = delete;
  gl_counter& operator=(const gl_counter&) = delete;

  int total() const;
  int count(const std::string& name) const;
  // Calls of name whose first argument is a0.
  int count(const std::string& name, double a0) const;
  const std::vector<gl_call>& calls() const;
  void clear();
  // "Enable(0xde1) ActiveTexture(0x84c1) ..." for failure messages.
  std::string text() const;
};

}  // namespace fly_test
