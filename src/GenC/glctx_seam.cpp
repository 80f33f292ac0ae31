// Headless: there is no main context to share, so workers get none.
#include "GenH/glctx_seam.h"

glctx_seam_class glctx_seam;

// The user is warned here once capability detection and translations exist.
void glctx_seam_class::threaded_ogl_failed() { threaded_avail = 0; }

MACIBM_gl_context MACIBM_make_context_loader() { return nullptr; }

int MACIBM_set_context_loader(MACIBM_gl_context ctx) { return ctx ? 1 : 0; }
