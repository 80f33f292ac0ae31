#include "Files/tiles.h"

#include <cstdint>

namespace {
// Sign, then the magnitude in exactly `digits` places; a place that would
// need more than one digit shows "0".
void put(std::string& s, int64_t v, int digits) {
  s += v >= 0 ? '+' : '-';
  const int64_t mag = v >= 0 ? v : -v;
  int64_t scale = 1;
  for (int i = 1; i < digits; ++i) scale *= 10;
  for (int i = 0; i < digits; ++i, scale /= 10) {
    const int64_t d = (i == 0) ? mag / scale : (mag / scale) % 10;
    s += static_cast<char>(d > 9 ? '0' : '0' + d);
  }
}
}  // namespace

void return_latlon_str_dsf(int lat, int lon, std::string* out) {
  const int64_t lat10 = (static_cast<int64_t>(lat) + 90) / 10 * 10 - 90;
  const int64_t lon10 = (static_cast<int64_t>(lon) + 180) / 10 * 10 - 180;
  std::string s;
  s.reserve(19);
  put(s, lat10, 2);
  put(s, lon10, 3);
  s += '/';
  put(s, lat, 2);
  put(s, lon, 3);
  s += ".dsf";
  *out = s;
}
