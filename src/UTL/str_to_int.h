// The decimal text parser shared by every unit that reads small numbers.
#pragma once

#include <string>

// The value of a plain signed decimal text ("+5", "-7", "007"), or -1 when the
// text is empty, holds anything but one optional leading sign and digits, or
// has no digit or more than nine characters after its sign. Nine digits always
// fit an int, so nothing can overflow. Callers read -1 as no number.
inline int str_to_int(const std::string& text) {
  if (text.empty()) return -1;
  size_t i = 0;
  int sign = 1;
  if (text[0] == '+' || text[0] == '-') {
    sign = text[0] == '-' ? -1 : 1;
    i = 1;
  }
  const size_t digits = text.size() - i;
  if (digits == 0 || digits > 9) return -1;
  int value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return -1;  // also a sign past the first character
    value = value * 10 + (c - '0');
  }
  return sign * value;
}
