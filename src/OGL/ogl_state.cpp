#include "OGL/ogl_state.h"

#include "OGL/gl_calls.h"
#include "OGL/ren.h"

int num_units = 1;

namespace {
struct state_cache {
  bool seeded = false;
  int o_fog, o_tex, o_lit, o_alB, o_alT, o_deR, o_deW;
};
state_cache cache;  // main thread only

void seed() {
  cache.o_fog = gl.IsEnabled(GL_FOG) ? 0 : 1;
  cache.o_tex = gl.IsEnabled(GL_TEXTURE_2D) ? num_units : 0;
  cache.o_lit = gl.IsEnabled(GL_LIGHTING) ? 2 : 3;
  cache.o_alB = gl.IsEnabled(GL_BLEND) ? 1 : 0;
  cache.o_alT = gl.IsEnabled(GL_ALPHA_TEST) ? 1 : 0;
  cache.o_deR = gl.IsEnabled(GL_DEPTH_TEST) ? 8 : 9;
  cache.o_deW = 11;  // depth writes are switched off when the context is made
  cache.seeded = true;
}
}  // namespace

void OGL_setstate_forget() { cache.seeded = false; }

void OGL_setstate(int fog, int tex_units, int lit, int blend, int depth_read, int depth_write) {
  if (!cache.seeded) seed();
  state_cache& c = cache;

  if (fog != c.o_fog) {
    if (fog == 0) gl.Enable(GL_FOG);
    else gl.Disable(GL_FOG);
    c.o_fog = fog;
  }

  // Compared after clamping: asking again for more units than there are is
  // the same state and sends nothing.
  int n = tex_units < 0 ? 0 : tex_units;
  const int avail = ren.tex_units < 1 ? 1 : ren.tex_units;
  if (n > avail) n = avail;
  if (n > 8) n = 8;
  if (n != c.o_tex) {
    if (tex_units < 1) gl.Disable(GL_TEXTURE_2D);
    else gl.Enable(GL_TEXTURE_2D);
    num_units = n;
    if (n > 1 || c.o_tex > 1) {
      for (int i = 0; i < 8; ++i)
        if (c.o_tex <= i && i < n) {
          gl.ActiveTexture(GL_TEXTURE0 + i);
          gl.Enable(GL_TEXTURE_2D);
        }
      for (int i = 0; i < 8; ++i)
        if (n <= i && i < c.o_tex) {
          gl.ActiveTexture(GL_TEXTURE0 + i);
          gl.Disable(GL_TEXTURE_2D);
        }
      gl.ActiveTexture(GL_TEXTURE0);
    }
    c.o_tex = n;
  }

  if (lit != c.o_lit) {
    if (lit == 2) {
      gl.Enable(GL_LIGHTING);
      gl.Enable(GL_LIGHT0);
    } else {
      gl.Disable(GL_LIGHTING);
      gl.Disable(GL_LIGHT0);
    }
    c.o_lit = lit;
  }

  int want_blend = (blend == 5 || blend == 7) ? 1 : 0;
  int want_test = (blend == 6 || blend == 7) ? 1 : 0;
  if (want_blend != c.o_alB) {
    if (want_blend) gl.Enable(GL_BLEND);
    else gl.Disable(GL_BLEND);
  }
  if (want_test != c.o_alT) {
    if (want_test) gl.Enable(GL_ALPHA_TEST);
    else gl.Disable(GL_ALPHA_TEST);
  }
  c.o_alB = want_blend;
  c.o_alT = want_test;

  if (depth_read != c.o_deR) {
    if (depth_read == 8) gl.Enable(GL_DEPTH_TEST);
    else gl.Disable(GL_DEPTH_TEST);
    c.o_deR = depth_read;
  }

  if (depth_write != c.o_deW) {
    gl.DepthMask(depth_write == 10 ? GL_TRUE : GL_FALSE);
    c.o_deW = depth_write;
  }
}
