// The render-state record: what the driver offers and the drawing rules every
// call shares (green mode, global alpha). Filled by capability detection.
#pragma once

#include <string>
#include <vector>

struct ren_class {
  int green_mode = 0;        // draw every colour as shades of green
  float global_alpha = 1.0f; // multiplied into every alpha; starts opaque
  float max_aniso = 1.0f;    // 1.0 when anisotropic filtering is not used
  int tex_units = 1;         // fixed-function texture units, never below 1
  int tex_image_units = 0;
  int tex_coord_units = 0;
  const char* gl_vendor = nullptr;  // the driver's strings, not copied
  const char* gl_renderer = nullptr;
  const char* gl_version = nullptr;
  const char* gl_extensions = nullptr;
  std::vector<int> list_a, list_b;  // two lists no user of this program fills
};

extern ren_class ren;
