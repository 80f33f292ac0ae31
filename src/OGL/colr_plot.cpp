// The plotted colour scale: kept apart from the table itself because it
// draws with the text layer.
#include <algorithm>

#include "GenH/mnw.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_state.h"

namespace {
// Spectrum entry of (value - lo) / range, clamped to 0..999; an empty or
// non-finite range gives the first entry instead of converting NaN to int.
int spectrum_index(float value, float lo, float range) {
  const double f = (static_cast<double>(value) - lo) / range * 1000.0;
  if (!(f >= 0.0)) return 0;  // NaN (hi == lo) and negatives
  return f >= 999.0 ? 999 : static_cast<int>(f);
}
}  // namespace

void colr_class::spectrum_plotscale(float x, float y, float lo, float hi, int decimals) {
  scale_max = hi;
  scale_min = lo;
  scale_range = hi - lo;
  OGL_number(0, x + 4, y + 996, hi, 5, decimals, font_regular);
  OGL_number(0, x + 4, y - 4, lo, 5, decimals, font_regular);
  OGL_setstate(1, 0, 3, 5, 9, 11);
  gl.PointSize(4);
  const float vmin = std::min(lo, hi), vmax = std::max(lo, hi);
  const float px = x + mnw.origin_x, py = y + mnw.origin_y;
  gl.Begin(GL_POINTS);
  for (int k = 0; k <= 992; k += 8)
    for (int off : {k, k + 4}) {
      const float value = std::clamp(lo + (hi - lo) / 999.0f * off, vmin, vmax);
      const float* c = spectrum[spectrum_index(value, lo, scale_range)];
      gl.Color3f(c[0], c[1], c[2]);
      gl.Vertex2f(px, py + off);
    }
  gl.End();
  gl.PointSize(1);
}
