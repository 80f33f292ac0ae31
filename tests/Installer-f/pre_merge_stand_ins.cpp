// Test-only stand-ins for wizard globals and formatting helpers that are
// written beside the web flows, each compiled only while its real one is
// absent from the sources (the function is weak besides). Delete this file
// once they have landed.
#include <climits>
#include <cmath>
#include <string>

#include "Installer-f/web_flow.h"
#include "UTL/localize.h"

namespace pre_merge_stand_ins {
[[maybe_unused]] int saturate(double v) {
  if (std::isnan(v) || v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
}  // namespace pre_merge_stand_ins

#if !__has_include("Installer-f/wizard_screen.h")
std::string cmd_line_path;
int accept_eula = 0;
#endif

#if !__has_include("Installer-f/formats.h")
[[gnu::weak]] std::string time_str(float s) {
  using pre_merge_stand_ins::saturate;
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
[[gnu::weak]] std::string rate_str(float r) {
  const int n = pre_merge_stand_ins::saturate(r);
  return UTL_string_sub(
      UTL_translate_plural(n, "%1:rate% kilobyte/second", "%1:rate% kilobytes/second"),
      std::to_string(n));
}
#endif

[[gnu::weak]] bool UTIL_install_name_ok(const std::string& n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
         n.find('\0') == std::string::npos;
}
