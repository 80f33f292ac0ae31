// What the texture layer needs of the capability record: a few flags and the
// compressed upload entry point. Everything starts as "not available"; start-up
// copies the detected values in once capability detection has run, so the
// texture code never reads the record itself.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

struct TEX_caps_class {
  int tex_clamp_avail = 0;  // GL_CLAMP_TO_EDGE
  int combine_avail = 0;    // the GL_COMBINE texture environment
  int automini_avail = 0;   // GL_GENERATE_MIPMAP_SGIS
  int aniso_avail = 0;      // GL_TEXTURE_MAX_ANISOTROPY_EXT
  int tex_comp_avail = 0;   // compressed (DXT) uploads
  int max_tex_size = 0;     // GL_MAX_TEXTURE_SIZE; below 1: not known, no limit applied
  PFNGLCOMPRESSEDTEXIMAGE2DARBPROC glCompressedTexImage2DARB = nullptr;
};

extern TEX_caps_class TEX_caps;
