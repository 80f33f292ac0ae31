// What the texture layer needs of the capability record: a few flags and the
// compressed upload entry point. Everything starts as "not available";
// tman.TEX_init copies the detected values in (capability detection has run
// by then), so the texture code never reads the record itself and tests set
// exactly the capabilities they need.
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

// Copies the capability record's values (after glExt.init_extensions).
void TEX_caps_load();
