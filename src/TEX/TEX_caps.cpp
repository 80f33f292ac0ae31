#include "TEX/TEX_caps.h"

#include "OGL/ogl_ext.h"

TEX_caps_class TEX_caps;

void TEX_caps_load() {
  TEX_caps.tex_clamp_avail = glExt.tex_clamp_avail;
  TEX_caps.combine_avail = glExt.combine_avail;
  TEX_caps.automini_avail = glExt.automini_avail;
  TEX_caps.aniso_avail = glExt.aniso_avail;
  TEX_caps.tex_comp_avail = glExt.tex_comp_avail;
  TEX_caps.max_tex_size = glExt.max_tex_size;
  TEX_caps.glCompressedTexImage2DARB =
      glExt.tex_comp_avail ? glExt.glCompressedTexImage2DARB : nullptr;
}
