// The framework's string record: the translated title of the current logical
// window and the hover help that widgets write during a frame.
#pragma once

#include <string>

class stls_class {
 public:
  stls_class() = default;

  std::string s0;
  std::string s1, s2, s3;
  std::string window_title;  // drawn by the window frame
  std::string s5, s6;
  std::string help_text;  // hover help of the widget under the mouse, one frame
  std::string s8;
  int i0 = 0;
  std::string s9, s10, s11;
  int i1 = 0;
  std::string s12;
  int i2 = 0;
  std::string list[400];
};

extern stls_class stls;
