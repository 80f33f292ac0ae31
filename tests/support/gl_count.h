// Counting and recording wrappers around the table of core GL entry points.
// While a gl_counter lives, every call through `gl` is counted and logged
// with its first two numeric arguments, then forwarded to the real entry
// point; an entry point that was never loaded answers 0 (so state code runs
// without a context, seeing a fresh context's state).
#pragma once

#include <string>
#include <vector>

namespace fly_test {

struct gl_call {
  std::string name;  // without the "gl" prefix, e.g. "Enable"
  long long a0, a1;  // first two numeric arguments (0 when none)
};

class gl_counter {
 public:
  gl_counter();
  ~gl_counter();
  gl_counter(const gl_counter&) = delete;
  gl_counter& operator=(const gl_counter&) = delete;

  int total() const;
  int count(const std::string& name) const;
  // Calls of name whose first argument is a0.
  int count(const std::string& name, long long a0) const;
  const std::vector<gl_call>& calls() const;
  void clear();
  // "Enable(0xde1) ActiveTexture(0x84c1) ..." for failure messages.
  std::string text() const;
};

}  // namespace fly_test
