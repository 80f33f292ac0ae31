#include "OGL/gl_calls.h"

gl_call_table gl;

int OGL_load_core_calls(gl_getproc_fn getproc) {
  int missing = 0;
#define FLY_GL_LOAD_SLOT(ret, name, params)                                        \
  gl.name = reinterpret_cast<decltype(gl.name)>(getproc ? getproc("gl" #name) : nullptr); \
  if (!gl.name) ++missing;
  FLY_GL_CORE_CALLS(FLY_GL_LOAD_SLOT)
#undef FLY_GL_LOAD_SLOT
  return missing;
}
