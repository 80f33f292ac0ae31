// The program's window and its OpenGL context, the screen mode, the worker
// contexts, the start-up panel and the language set-up.
#include <cstdio>
#include <cstring>

#include "GenH/glctx_seam.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_font.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "OGL/ogl_vbo.h"
#include "OGL/ren.h"
#include "TEX/TEX_bind.h"
#include "UTL/cmdline.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

int g_mon_x_res_now = 0, g_mon_y_res_now = 0;
int is_demo = 0;
int plot_init_lights = 0;

namespace {
// Stand for the chosen pixel format and the two contexts in mnw: the window
// layer keeps the real ones.
int k_pixel_format_token = 1;
int k_context_token[2] = {1, 2};

int sres_orig = -1;
int hres_orig = 0, vres_orig = 0, cres_orig = 0;

// The fixed defaults every drawing call relies on; the state cache reads its
// first values from here, so no OGL_setstate may come before them.
void set_fixed_defaults() {
  const GLfloat none[4] = {0, 0, 0, 0};
  gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl.AlphaFunc(GL_GREATER, 0.0f);
  gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.DepthFunc(GL_LEQUAL);
  gl.Fogi(GL_FOG_MODE, GL_LINEAR);
  gl.Hint(GL_FOG_HINT, GL_FASTEST);
  gl.FrontFace(GL_CW);
  gl.Enable(GL_CULL_FACE);
  gl.CullFace(GL_BACK);
  gl.ShadeModel(GL_SMOOTH);
  gl.Enable(GL_DITHER);
  gl.Disable(GL_COLOR_LOGIC_OP);
  gl.Disable(GL_STENCIL_TEST);
  gl.Disable(GL_TEXTURE_1D);
  gl.Disable(GL_NORMALIZE);
  gl.Disable(GL_SCISSOR_TEST);
  gl.ColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  gl.Enable(GL_COLOR_MATERIAL);
  if (mnw.alias_got > 0) gl.Enable(GL_MULTISAMPLE);
  else gl.Disable(GL_MULTISAMPLE);  // on by default in GL
  gl.DepthMask(GL_FALSE);
  OGL_setstate_forget();
  OGL_bind_vbo_forget();  // the buffer names died with the old context
}

bool software_renderer(const char* r) {
  return r && (strstr(r, "llvmpipe") || strstr(r, "softpipe") || strstr(r, "Software Rasterizer") ||
               strstr(r, "swrast"));
}
}  // namespace

void MACIBM_setres(int enter) {
  // Leaving a screen mode never entered (the release tool's close-down) has
  // nothing to restore and must not reach for a display.
  if (!enter && sres_orig < 0) return;
  mnw.window_dx = mnw.x_res;
  mnw.window_dy = mnw.y_res;
  mnw.window_depth = mnw.req_depth;
  int w = 0, h = 0, depth = 0;
  LIN_screen_info(&w, &h, &depth);
  g_mon_x_res_now = w;
  g_mon_y_res_now = h;
  if (mnw.windowed) {
    mnw.x_res = mnw.window_dx = w - 40;
    mnw.y_res = mnw.window_dy = h - 60;
  }
  if (sres_orig < 0) {
    hres_orig = w;
    vres_orig = h;
    cres_orig = depth;
  }
  const int change = (w < 1024 || h < 768) ? 1 : mnw.set_res;
  if (sres_orig < 0) sres_orig = change;
  // The X server gives every window the screen's own depth, so there is no
  // colour depth to switch to here or to restore at close-down.
  (void)enter;
}

int MACIBM_make_context(int index) {
  if (index != 0) return 0;  // one window: the second-monitor mode is not built
  const int fits = mnw.window_dx + 20 < g_mon_x_res_now && mnw.window_dy + 20 < g_mon_y_res_now;
  const int left = 0;

  // Multisampled formats first when asked for, then the plain one.
  static const struct {
    int level, samples;
  } k_tries[] = {{4, 16}, {3, 8}, {2, 4}, {1, 2}, {0, 0}};
  const char* error = "";
  int opened = 0;
  for (const auto& t : k_tries) {
    if (t.level > 0 && !(mnw.alias_req > t.level - 1)) continue;
    if (LIN_window_open(left, fits ? 40 : 0, mnw.window_dx, mnw.window_dy, fits ? 0 : 1, t.samples,
                        &error)) {
      mnw.alias_got = t.level;
      opened = 1;
      break;
    }
  }
  if (!opened) {
    xer << "The window or its OpenGL context could not be made: " << error << "\n";
    xer.flush();
    return 0;
  }
  LIN_on_display_lost(MACIBM_finishup_without_display);
  mnw.pixel_format = &k_pixel_format_token;
  mnw.windows[0] = &k_context_token[0];

  LIN_pixel_format l;
  LIN_pixel_format_of(&l);
  xer << "AGL_RGBA         : " << l.rgba << "\n";
  xer << "AGL_DOUBLEBUFFER : " << l.double_buffer << "\n";
  xer << "AGL_RED_SIZE     : " << l.red << "\n";
  xer << "AGL_GREEN_SIZE   : " << l.green << "\n";
  xer << "AGL_BLUE_SIZE    : " << l.blue << "\n";
  xer << "AGL_ALPHA_SIZE   : " << l.alpha << "\n";
  xer << "AGL_DEPTH_SIZE   : " << l.depth << "\n";
  xer.flush();

  mnw.contexts[0] = &k_context_token[0];
  OGL_swap_buffers = LIN_swap_buffers;
  const int missing = OGL_load_core_calls(LIN_gl_proc_address);
  if (missing) xer << "WARNING: " << missing << " core OpenGL functions are missing.\n";
  int drawable_w = 0, drawable_h = 0;
  LIN_window_size(&drawable_w, &drawable_h);
  OGL_frame_hold_install(drawable_w, drawable_h, LIN_window_picture);
  if (!gl.Clear || !gl.Enable || !gl.GetString) return 0;
  // Texture names of an earlier context died with it.
  OGL_default_tex_forget();
  TEX_reset_bind();
  OGL_font_reset(font_both);
  gl.Clear(GL_COLOR_BUFFER_BIT);

  const int err = glExt.init_entry_points();
  if (err != 0) {
    char num[64];
    snprintf(num, sizeof(num), "Error=%f", static_cast<double>(err));
    __MACIBM_alert(0, "Could not open OpenGL framework", "", num, "", t_exit, "GenC/hl_init", 769);
  }
  if (cmdline.has_option("--use_threaded_ogl"))
    xer << "Enabling threaded OGL - got " << -1 << "\n";  // the driver offers no such switch

  const int interval = mnw.use_vsync2 ? 2 : mnw.use_vsync1 ? 1 : 0;
  if (!LIN_set_swap_interval(interval))
    xer << "WARNING: I could not set vertical sync to " << interval
        << "; the driver returned error " << LIN_last_error() << ".\n";

  // A software renderer is slow but draws correctly: warn, never refuse.
  const char* renderer = reinterpret_cast<const char*>(gl.GetString(GL_RENDERER));
  if (!l.accelerated || software_renderer(renderer))
    xer << "WARNING: OpenGL is drawn by a software renderer ("
        << (renderer ? renderer : "unknown") << "); frames will be slow.\n";
  set_fixed_defaults();
  mnw.draw_on_screen = 1;
  xer.flush();
  return 1;
}

void MACIBM_nuke_context(int index) {
  if (index != 0) return;
  LIN_window_close();
  mnw.windows[0] = nullptr;
  mnw.contexts[0] = nullptr;
}

MACIBM_gl_context MACIBM_make_context_loader() {
  if (!mnw.pixel_format) return nullptr;
  void* ctx = LIN_context_create_shared();
  if (!ctx) xer << "We could not create a context for our worker threads.\n";
  return ctx;
}

int MACIBM_set_context_loader(MACIBM_gl_context ctx) { return LIN_context_make_current(ctx); }

void MACIBM_show_init(const std::string& msg, float* progress) {
  static int counter_now = 0;
  if (!plot_init_lights) return;
  float p = progress ? *progress : counter_now++ / 100.0f;
  if (p < 0.02f) p = 0.02f;
  if (p > 1.0f) p = 1.0f;
  shell_hooks.show_init_panel(msg, p);
}

void MACIBM_setupforlang() {
  if (mnw.language == 0) UTL_translate_clear();
  else UTL_translate_load(mnw.language);
}
