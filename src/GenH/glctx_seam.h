// Worker-thread OpenGL contexts, as far as the thread layer needs them. Until
// capability detection exists, threaded OpenGL stays off and no worker gets a
// context; this is the one place that changes when it arrives.
#pragma once

using MACIBM_gl_context = void*;

// Stands for the threading flag of the capability record and its switch-off.
struct glctx_seam_class {
  int threaded_avail = 0;  // worker threads may own shared GL contexts
  void threaded_ogl_failed();
};
extern glctx_seam_class glctx_seam;

// A context sharing the main context's objects, for a worker; null when none.
MACIBM_gl_context MACIBM_make_context_loader();
// Makes ctx current on the calling thread; 1 on success, 0 on failure.
int MACIBM_set_context_loader(MACIBM_gl_context ctx);
