// Texts the wizard makes from numbers: remaining time, transfer rate, a
// fixed-width decimal, a data size, and the last component of a path.
#pragma once

#include <string>

// "%1:seconds% second(s)" below 120 s, minutes below 7200 s, else hours
// (also for NaN); translated with the language's plural rule. A value too
// large for an int shows the largest int.
std::string time_str(float seconds);
std::string rate_str(float kb_per_second);
// A decimal of width digits left of the point plus decimals, blanks in place
// of leading zeros ("-" before the blanks). Not reentrant: both parts live in
// function statics. A negative decimals counts as 0.
void flt_to_str(float value, std::string* out, int width, int decimals);
// "%.1f GB" above 1024000 KB, "%.0f MB" above 1024 KB, else "%.0f KB".
std::string size_string(float kilobytes);
std::string int_str(int value);
std::string flt_str(const char* format, float value);
// The last component of path; a trailing "/" of a path of 3 or more
// characters stays with it ("a/b/c/" gives "c/").
void get_file_with_path(std::string& out, const std::string& path);

// value truncated toward zero, clamped to the int range; NaN gives INT_MAX.
int saturating_int(double value);
