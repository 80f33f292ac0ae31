#include "Installer-f/formats.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "GenH/shell.h"
#include "UTL/localize.h"

int saturating_int(double value) {
  // A NaN is an unknown time (nothing measured yet): the longest one.
  if (std::isnan(value) || value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

std::string time_str(float seconds) {
  int n;
  const char *one, *many;
  if (seconds < 120.0f) {
    n = saturating_int(seconds);
    one = "%1:seconds% second", many = "%1:seconds% seconds";
  } else if (seconds < 7200.0f) {
    n = saturating_int(seconds / 60.0f);
    one = "%1:minutes% minute", many = "%1:minutes% minutes";
  } else {  // also NaN, which compares false above
    n = saturating_int(seconds / 3600.0f);
    one = "%1:hours% hour", many = "%1:hours% hours";
  }
  return UTL_string_sub(UTL_translate_plural(n, one, many), int_str(n));
}

std::string rate_str(float kb_per_second) {
  const int n = saturating_int(kb_per_second);
  return UTL_string_sub(
      UTL_translate_plural(n, "%1:rate% kilobyte/second", "%1:rate% kilobytes/second"), int_str(n));
}

void flt_to_str(float value, std::string* out, int width, int decimals) {
  static std::string lft_str, rgt_str;
  if (decimals < 0) decimals = 0;
  if (decimals > 9) decimals = 9;  // 10^decimals must fit an int
  int s = 1;
  for (int i = 0; i < decimals; ++i) s *= 10;
  // The rounded value, clamped so that its whole part fits an int.
  // The product in float, as lroundf would round it, halves away from zero.
  const float product = static_cast<float>(s) * value;
  const double scaled = std::round(static_cast<double>(product));
  const double limit = static_cast<double>(INT_MAX) * s;
  const long long h = std::isnan(scaled) ? 0
                      : scaled > limit   ? static_cast<long long>(limit)
                      : scaled < -limit  ? -static_cast<long long>(limit)
                                         : static_cast<long long>(scaled);
  const long long whole = h / s, frac = h % s;

  char buf[16];
  int_to_str(static_cast<int>(whole < 0 ? -whole : whole), buf, width - decimals, 0);
  lft_str = buf;
  for (size_t i = 0; i + 1 < lft_str.size() && lft_str[i] == '0'; ++i) lft_str[i] = ' ';
  int_to_str(static_cast<int>(frac < 0 ? -frac : frac), buf, decimals, 0);
  rgt_str = buf;

  std::string r = value < 0 ? "-" + lft_str : lft_str;
  if (decimals != 0) r += "." + rgt_str;
  *out = r;
}

std::string size_string(float kilobytes) {
  if (kilobytes > 1024000.0f) return flt_str("%.1f GB", kilobytes / 1048576.0f);
  if (kilobytes > 1024.0f) return flt_str("%.0f MB", kilobytes / 1024.0f);
  return flt_str("%.0f KB", kilobytes);
}

std::string int_str(int value) {
  char buf[16];
  snprintf(buf, sizeof(buf), "%d", value);
  return buf;
}

std::string flt_str(const char* format, float value) {
  char buf[256];
  snprintf(buf, sizeof(buf), format, static_cast<double>(value));
  return buf;
}

void get_file_with_path(std::string& out, const std::string& path) {
  if (path.empty()) {
    out.clear();
    return;
  }
  size_t i = path.size() - 1;
  if (path.size() >= 3 && path.back() == '/') --i;  // the slash stays in the result
  for (;; --i) {
    if (path[i] == '/') {
      out = path.substr(i + 1);
      return;
    }
    if (i == 0) break;
  }
  out = path;
}
