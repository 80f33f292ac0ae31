// Test-only stand-ins for wizard globals and formatting helpers that are
// being written beside the web flows. DELETE THIS FILE once those land: the
// test program then fails to link with duplicate symbols until it is gone.
#include <climits>
#include <cmath>
#include <string>

#include "Installer-f/web_flow.h"
#include "UTL/localize.h"

namespace pre_merge_stand_ins {
int saturate(double v) {
  if (std::isnan(v) || v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
std::string time_str(float s) {
  const char *one, *many;
  int n;
  if (s < 120) {
    n = saturate(s), one = "%1:seconds% second", many = "%1:seconds% seconds";
  } else if (s < 7200) {
    n = saturate(s / 60), one = "%1:minutes% minute", many = "%1:minutes% minutes";
  } else {
    n = saturate(s / 3600), one = "%1:hours% hour", many = "%1:hours% hours";
  }
  return UTL_string_sub(UTL_translate_plural(n, one, many), std::to_string(n));
}
std::string rate_str(float r) {
  const int n = saturate(r);
  return UTL_string_sub(
      UTL_translate_plural(n, "%1:rate% kilobyte/second", "%1:rate% kilobytes/second"),
      std::to_string(n));
}
bool install_name_ok(const std::string& n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
         n.find('\0') == std::string::npos;
}
}  // namespace pre_merge_stand_ins

std::string cmd_line_path;
int accept_eula = 0;
std::string time_str(float s) { return pre_merge_stand_ins::time_str(s); }
std::string rate_str(float r) { return pre_merge_stand_ins::rate_str(r); }
bool UTIL_install_name_ok(const std::string& n) { return pre_merge_stand_ins::install_name_ok(n); }
