// Worker-thread OpenGL contexts, as far as the thread layer needs them: the
// threading flag and its switch-off live in the capability record.
#pragma once

#include "OGL/ogl_ext.h"

using MACIBM_gl_context = void*;

inline OGL_extensions& glctx_seam = glExt;

// A context sharing the main context's objects, for a worker; null when none.
MACIBM_gl_context MACIBM_make_context_loader();
// Makes ctx current on the calling thread; 1 on success, 0 on failure.
int MACIBM_set_context_loader(MACIBM_gl_context ctx);
