#include "OGL/ogl_ext.h"

#include <cstdio>
#include <cstring>

#include "Files/launch.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "Linux/lin_window.h"
#include "OGL/gl_frame.h"
#include "OGL/ren.h"
#include "UTL/cmdline.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

OGL_extensions glExt;
void* gBundleRefOpenGL = nullptr;

namespace {
const char* real_get_string(unsigned name) {
  if (!gl.GetString) return nullptr;
  return reinterpret_cast<const char*>(gl.GetString(name));
}
void real_get_integer(unsigned pname, int* out) {
  if (gl.GetIntegerv) gl.GetIntegerv(pname, out);
}
void real_get_float(unsigned pname, float* out) {
  if (gl.GetFloatv) gl.GetFloatv(pname, out);
}
int no_gestalt(int*) { return -1; }  // no 'sysv' here: the rules that need it are skipped

enum family {
  vbo, vprog, occlude, shad_objs, vshader, gshader, buniform, framebuf, tex_comp, sblend,
  draw_buffers
};
// An extension call reaches the driver at once, so it first submits the
// calls the frame layer holds: a compressed upload, a buffer map or a bound
// program must not overtake the bind or the drawing before it.
template <typename Tag, typename F>
struct live_first;
template <typename Tag, typename R, typename... A>
struct live_first<Tag, R(APIENTRY*)(A...)> {
  static inline R(APIENTRY* to_driver)(A...) = nullptr;
  static R APIENTRY call(A... a) {
    OGL_frame_live();
    return to_driver(a...);
  }
  static void* wrap(void* driver) {
    to_driver = reinterpret_cast<R(APIENTRY*)(A...)>(driver);
    return reinterpret_cast<void*>(&call);
  }
};
#define FLY_GL_EXT_TAG(fam, name, type) struct tag_##name;
FLY_GL_EXT_CALLS(FLY_GL_EXT_TAG)
#undef FLY_GL_EXT_TAG

struct entry {
  family fam;
  const char* name;
  void* (*wrap)(void* driver);
};
const entry k_entries[OGL_extensions::entry_point_count] = {
#define FLY_GL_EXT_ENTRY(fam, name, type) {fam, #name, &live_first<tag_##name, type>::wrap},
    FLY_GL_EXT_CALLS(FLY_GL_EXT_ENTRY)
#undef FLY_GL_EXT_ENTRY
};

int has(const char* exts, const char* what) { return exts && strstr(exts, what) ? 1 : 0; }
int opt(const char* o) { return cmdline.has_option(o); }
std::string tr(const char* s) { return UTL_translate_string(s); }

int* flag_of(OGL_extensions& e, family f) {
  switch (f) {
    case vbo: return &e.vbo_avail;
    case vprog: return &e.vprog_avail;
    case occlude: return &e.occlude_avail;
    case shad_objs: return &e.shad_objs_avail;
    case vshader: return &e.vshader_avail;
    case gshader: return &e.gshader_avail;
    case buniform: return &e.buniform_avail;
    case framebuf: return &e.framebuf_avail;
    case tex_comp: return &e.tex_comp_avail;
    case sblend: return &e.sblend_avail;
    case draw_buffers: return &e.draw_buffers_avail;
  }
  return nullptr;
}

// Looks up one slot; a miss is logged and switches its family off.
void load_slot(OGL_extensions& e, int i) {
  void* driver = OGL_query.get_proc(k_entries[i].name);
  e.slot[i] = driver ? k_entries[i].wrap(driver) : nullptr;
  if (!e.slot[i]) {
    xer << "WARNING: extension missing proc " << k_entries[i].name
        << ".  This is a problem with your video driver.\n";
    *flag_of(e, k_entries[i].fam) = 0;
  }
}

void load_family(OGL_extensions& e, family f) {
  if (!*flag_of(e, f)) return;
  for (int i = 0; i < OGL_extensions::entry_point_count; ++i)
    if (k_entries[i].fam == f) load_slot(e, i);
}

void label(const char* l) {
  std::string s = l;
  if (s.size() < 17) s.append(17 - s.size(), ' ');
  xer << s << ": ";
}
}  // namespace

OGL_driver_query OGL_query = {real_get_string, real_get_integer, real_get_float, aglGetProcAddress,
                              no_gestalt};

void OGL_query_reset() {
  OGL_query = {real_get_string, real_get_integer, real_get_float, aglGetProcAddress, no_gestalt};
}

void* aglGetProcAddress(const char* name) { return LIN_gl_proc_address(name); }

OGL_extensions::OGL_extensions() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  threaded_avail = 1;
}

int OGL_extensions::init_entry_points() {
  if (gBundleRefOpenGL) return 0;
  return load_bundle_by_filename("OpenGL.framework", 0, &gBundleRefOpenGL);
}

int OGL_parse_version(const char* v) {
  if (!v) return 100;
  int major = 0, minor = 0;
  if (sscanf(v, "%d.%d", &major, &minor) == 2) return major * 100 + minor * 10;
  static const struct {
    const char* prefix;
    int version;
  } k[] = {{"1.1", 110}, {"1.2", 120}, {"1.3", 130}, {"1.4", 140},
           {"1.5", 150}, {"2.0", 200}, {"2.1", 210}};
  for (const auto& p : k)
    if (strncmp(v, p.prefix, 3) == 0) return p.version;
  return 100;
}

void OGL_extensions::init_extensions() {
  OGL_extensions& e = *this;
  // 1. The driver's strings.
  ren.gl_vendor = OGL_query.get_string(GL_VENDOR);
  ren.gl_renderer = OGL_query.get_string(GL_RENDERER);
  ren.gl_version = OGL_query.get_string(GL_VERSION);
  ren.gl_extensions = OGL_query.get_string(GL_EXTENSIONS);
  const char* x = ren.gl_extensions;
  const char* renderer = ren.gl_renderer ? ren.gl_renderer : "";
  const char* vendor = ren.gl_vendor ? ren.gl_vendor : "";

  // 2, 3. Version and flags: core from a version on, else by extension.
  const int v = version = OGL_parse_version(ren.gl_version);
  const auto core = [v](int at) { return at > 0 && v >= at; };
  multitex_avail = core(130) || has(x, "GL_ARB_multitexture");
  tex_clamp_avail =
      core(120) || has(x, "GL_EXT_texture_edge_clamp") || has(x, "GL_SGIS_texture_edge_clamp");
  add_env_avail = core(130) || has(x, "GL_ARB_texture_env_add") || has(x, "GL_EXT_texture_env_add");
  combine_avail =
      core(130) || has(x, "GL_ARB_texture_env_combine") || has(x, "GL_EXT_texture_env_combine");
  dis_fog_avail = has(x, "GL_NV_fog_distance");
  tex_comp_avail = core(130) || has(x, "GL_ARB_texture_compression");
  vbo_avail = core(150) || has(x, "GL_ARB_vertex_buffer_object");
  pbo_avail = core(210) || has(x, "GL_ARB_pixel_buffer_object");
  vprog_avail = has(x, "GL_ARB_vertex_program");
  fprog_avail = has(x, "GL_ARB_fragment_program");
  automini_avail = core(140) || has(x, "GL_SGIS_generate_mipmap");
  aniso_avail = has(x, "GL_EXT_texture_filter_anisotropic");
  fsaa_avail = core(130) || has(x, "GL_ARB_multisample");
  sprites_avail = core(200) || has(x, "GL_ARB_point_sprite");
  depth_tex_avail = core(140) || has(x, "GL_ARB_depth_texture");
  occlude_avail = core(150) || has(x, "GL_ARB_occlusion_query");
  shad_objs_avail = core(200) || has(x, "GL_ARB_shader_objects");
  vshader_avail = core(200) || has(x, "GL_ARB_vertex_shader");
  fshader_avail = core(200) || has(x, "GL_ARB_fragment_shader");
  gshader_avail = has(x, "GL_EXT_geometry_shader4");
  buniform_avail = has(x, "GL_EXT_bindable_uniform");
  glsl_avail = core(200) || has(x, "GL_ARB_shading_language_100");
  framebuf_avail = core(300) || has(x, "GL_EXT_framebuffer_object");
  sblend_avail =
      core(200) || (has(x, "GL_EXT_blend_func_separate") && has(x, "GL_EXT_blend_equation_separate"));
  draw_buffers_avail = core(200) || has(x, "GL_ARB_draw_buffers");
  packed_stencil = core(300) || has(x, "GL_EXT_packed_depth_stencil");
  tex_float_avail = core(300) || has(x, "GL_ARB_texture_float");

  // 4. Renderer rules.
  int os = 0;
  const int have_os = OGL_query.os_version(&os) == 0;
  if (!opt("--use_pixel_counters") && have_os) {
    if (occlude_avail && os < 0x1040 && strstr(renderer, "NVIDIA NV34MAP OpenGL Engine")) {
      occlude_avail = 0;
      xer << "Disabling occlusion queries on OS X 10.3 for nVidia.\n";
    }
    if (occlude_avail && os <= 0x1048 && strstr(renderer, "NVIDIA GeForce 7300 GT OpenGL Engine")) {
      occlude_avail = 0;
      xer << "Disabling occlusion queries on OS X 10.4 for nVidia 7300 GT on 10.4.8.\n";
    }
  }
  if (!opt("--use_glsl") && glsl_avail && strstr(renderer, "Intel GMA 950 OpenGL Engine")) {
    glsl_avail = 0;
    xer << "Disabling GLSL for GMA 950.\n";
  }
  if (!opt("--use_sprites") && have_os && sprites_avail && os <= 0x1052 &&
      (strcmp(renderer, "ATI Radeon HD 2600 PRO OpenGL Engine") == 0 ||
       strcmp(renderer, "ATI Radeon HD 2400 XT OpenGL Engine") == 0)) {
    sprites_avail = 0;
    xer << "Disabling point sprites for Radeon HD on OS X.\n";
  }
  if (glsl_avail && strstr(vendor, "NVIDIA") && !has(x, "GL_NV_fragment_program2"))
    first_gen_shaders = 1;

  // 5. Entry points, family by family; a miss switches its family off.
  load_family(e, vbo);
  if (pbo_avail && !vbo_avail) {
    pbo_avail = 0;
    xer << "Disabling PBOs because VBOs are not available.  This probably means that VBOs are "
           "disabled for compatibility reasons.\n";
  }
  load_family(e, vprog);
  load_family(e, occlude);
  load_family(e, shad_objs);
  load_family(e, gshader);
  load_family(e, buniform);
  load_family(e, vshader);
  load_family(e, framebuf);
  load_family(e, tex_comp);
  // A miss of the first separate-blend call still looks up (and reports) the other.
  const int sblend_wanted = sblend_avail;
  if (sblend_wanted) load_slot(e, 152);  // glBlendEquationSeparateEXT
  if (draw_buffers_avail) load_slot(e, 153);
  if (sblend_wanted) load_slot(e, 151);  // glBlendFuncSeparateEXT

  // 6. Dependencies.
  if (!vprog_avail) fprog_avail = 0;
  if (!shad_objs_avail) fshader_avail = vshader_avail = gshader_avail = 0;
  if (!(vshader_avail && fshader_avail)) glsl_avail = 0;

  // 7. Program limits: the implementation's native maxima. The per-program
  // counts would read 0 with no program bound and switch programs off.
  memset(fprog_native, 0, sizeof(fprog_native));
  vprog_native_instr = 0;
  if (fprog_avail && glGetProgramivARB) {
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB,
                      &fprog_native[0]);
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_ALU_INSTRUCTIONS_ARB,
                      &fprog_native[1]);
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INSTRUCTIONS_ARB,
                      &fprog_native[2]);
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INDIRECTIONS_ARB,
                      &fprog_native[3]);
    if (fprog_native[0] == 0 && !opt("--use_fprogs")) fprog_avail = 0;
    if (fprog_native[0] <= 99) first_gen_shaders = 1;
  }
  if (vprog_avail && glGetProgramivARB) {
    glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB,
                      &vprog_native_instr);
    if (vprog_native_instr == 0 && !opt("--use_vprogs")) vprog_avail = 0;
  }

  // 8. Shader limits, for the log.
  memset(shader_limits, 0, sizeof(shader_limits));
  if (vshader_avail) {
    OGL_query.get_integer(GL_MAX_VERTEX_ATTRIBS_ARB, &shader_limits[0]);
    OGL_query.get_integer(GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB, &shader_limits[1]);
    OGL_query.get_integer(GL_MAX_VARYING_FLOATS_ARB, &shader_limits[2]);
    OGL_query.get_integer(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB, &shader_limits[3]);
    OGL_query.get_integer(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB, &shader_limits[4]);
  }
  if (fshader_avail) OGL_query.get_integer(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB, &shader_limits[5]);
  std::string glsl_text = "n/a";
  if (glsl_avail) {
    const char* s = OGL_query.get_string(GL_SHADING_LANGUAGE_VERSION_ARB);
    glsl_text = s ? s : "<null string>";
  }

  // 9. Texture units and limits.
  ren.max_aniso = 1.0f;
  int units = 0;
  OGL_query.get_integer(GL_MAX_TEXTURE_UNITS_ARB, &units);
  ren.tex_units = units;
  ren.tex_image_units = units;
  ren.tex_coord_units = units;
  if (fprog_avail) OGL_query.get_integer(GL_MAX_TEXTURE_IMAGE_UNITS_ARB, &ren.tex_image_units);
  if (vprog_avail) OGL_query.get_integer(GL_MAX_TEXTURE_COORDS_ARB, &ren.tex_coord_units);
  if (aniso_avail) OGL_query.get_float(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &ren.max_aniso);
  max_tex_size = 0;
  OGL_query.get_integer(GL_MAX_TEXTURE_SIZE, &max_tex_size);
  point_size_range[0] = point_size_range[1] = 0.0f;
  OGL_query.get_float(GL_POINT_SIZE_RANGE, point_size_range);
  if (ren.tex_units == 0) ren.tex_units = 1;

  // 10. Switches, after the entry points: a switched-off family keeps them.
  if (opt("--no_vbos")) vbo_avail = pbo_avail = 0;
  if (opt("--no_pbos")) pbo_avail = 0;
  if (opt("--no_sprites")) sprites_avail = 0;
  if (opt("--no_pixel_counters")) occlude_avail = 0;
  if (opt("--no_aniso_filtering")) {
    aniso_avail = 0;
    ren.max_aniso = 1.0f;
  }
  if (opt("--no_hw_mipmap")) automini_avail = 0;
  if (opt("--no_vshaders")) vprog_avail = 0;
  if (opt("--no_fshaders")) fprog_avail = 0;
  if (opt("--no_glsl")) glsl_avail = 0;
  if (opt("--no_fbos")) framebuf_avail = 0;
  if (opt("--no_threaded_ogl")) threaded_avail = 0;
  if (opt("--no_sblend")) sblend_avail = 0;
  threaded_avail = 0;  // workers never get shared contexts from here on

  // 11. The log block.
  label("OpenGL Vendor");
  xer << (ren.gl_vendor ? ren.gl_vendor : "") << "\n";
  label("OpenGL Render");
  xer << renderer << "\n";
  label("OpenGL Version");
  xer << (ren.gl_version ? ren.gl_version : "") << " (" << v << ")\n";
  label("OpenGL Extensions");
  xer << (x ? x : "") << "\n";
  label("use_vsync1");
  xer << mnw.use_vsync1 << "\n";
  label("use_vsync2");
  xer << mnw.use_vsync2 << "\n";
  const struct {
    const char* name;
    int value;
  } flags1[] = {{"tex_clamp_avail", tex_clamp_avail}, {"add_env_avail", add_env_avail},
                {"combine_avail", combine_avail},     {"dis_fog_avail", dis_fog_avail},
                {"tex_comp_avail", tex_comp_avail},   {"vbo_avail", vbo_avail},
                {"pbo_avail", pbo_avail}};
  for (const auto& f : flags1) {
    label(f.name);
    xer << f.value << "\n";
  }
  label("vprog_avail");
  xer << vprog_avail << " (" << vprog_native_instr << ")\n";
  label("fprog_avail");
  xer << fprog_avail << " (" << fprog_native[0] << "/" << fprog_native[1] << "/" << fprog_native[2]
      << "/" << fprog_native[3] << ")\n";
  const struct {
    const char* name;
    int value;
  } flags2[] = {{"automini_avail", automini_avail}, {"aniso_avail", aniso_avail},
                {"fsaa_avail", fsaa_avail},         {"sprites_avail", sprites_avail},
                {"depth_tex_avail", depth_tex_avail}, {"occlude_avail", occlude_avail},
                {"shad_objs_avail", shad_objs_avail}};
  for (const auto& f : flags2) {
    label(f.name);
    xer << f.value << "\n";
  }
  label("vshader_avail");
  xer << vshader_avail << " (" << shader_limits[0] << "/" << shader_limits[1] << "/"
      << shader_limits[2] << "/" << shader_limits[3] << "/" << shader_limits[4] << "/"
      << shader_limits[5] << ")\n";
  label("fshader_avail");
  xer << fshader_avail << " (" << shader_limits[5] << ")\n";
  label("gshader_avail");
  xer << gshader_avail << "\n";
  label("buniform_avail");
  xer << buniform_avail << "\n";
  label("glsl_avail");
  xer << glsl_avail << " (" << glsl_text << ")\n";
  const struct {
    const char* name;
    int value;
  } flags3[] = {{"framebuf_avail", framebuf_avail},   {"sblend_avail", sblend_avail},
                {"tex_float_avail", tex_float_avail}, {"packed_stencil", packed_stencil},
                {"threaded_avail", threaded_avail},   {"first-gen shaders", first_gen_shaders}};
  for (const auto& f : flags3) {
    label(f.name);
    xer << f.value << "\n";
  }
  label("max tex units");
  xer << ren.tex_units << " (" << ren.tex_image_units << "/" << ren.tex_coord_units << ")\n";
  label("max iso filtering");
  xer << ren.max_aniso << "\n";
  label("max texture size");
  xer << max_tex_size << "\n";
  label("max point size");
  xer << point_size_range[1] << "\n";

  // 12. GLSL reaches the image units through every unit.
  if (glsl_avail && ren.tex_image_units > ren.tex_units) ren.tex_units = ren.tex_image_units;

  // 13. Hardware refusal.
  if (v < 110 && !multitex_avail) {
    const std::string first = tr(
        "Your graphics hardware cannot support Flyvane. Flyvane requires a graphics card with 16 "
        "MB of VRAM and multitexturing.");
    if (!opt("--force_run"))
      __MACIBM_alert(0, first, tr("First, try updating your graphics drivers."),
                     tr("If this does not help, check your graphics card specifications."),
                     tr("For tech support, email support@tessaline-labs.example"), t_exit,
                     __FILE__, __LINE__);
    else
      __MACIBM_alert(0, first, tr("Your system does not meet Flyvane's hardware requirements."),
                     tr("You have used the force-run command inline option to run Flyvane "
                        "anyway, but it may crash."),
                     tr("Go to www.tessaline-labs.example for system requirements and tech "
                        "support information."),
                     t_alert, __FILE__, __LINE__);
  }

  // 14. A generic software renderer only warns.
  if (strcmp(renderer, "GENERIC") == 0 || strcmp(renderer, "Generic") == 0 ||
      strcmp(renderer, "generic") == 0 || strcmp(renderer, "Mesa GLX Indirect") == 0) {
    __MACIBM_alert(
        0,
        tr("I can not find a 3-D accelerator card that can handle OpenGL that has correctly "
           "installed drivers."),
        tr("I will still let you run the simulator, but the frame rate will NOT allow for a good "
           "simulation."),
        tr("To fly realistically, use the edition of Flyvane for computers without 3-D "
           "acceleration, or get a 3-D accelerator card that can handle OpenGL."),
        tr("See www.tessaline-labs.example for a list of the currently compatible 3-D video "
           "cards."),
        t_alert, __FILE__, __LINE__);
  }
  xer.flush();
}

void OGL_extensions::threaded_ogl_failed() {
  if (!threaded_avail) return;
  threaded_avail = 0;
  __MACIBM_alert(0, tr("There was a problem setting up OpenGL."),
                 tr("You can still fly, but you may experience pauses during flight while scenery "
                    "loads."),
                 "", tr("(Please send your log.txt file to Tessaline Labs for debugging purposes.)"),
                 t_alert, __FILE__, __LINE__);
}

std::string OGL_get_token_name(unsigned long token) {
#define FLY_TOKEN(t) \
  case t:            \
    return #t;
  switch (token) {
    FLY_TOKEN(GL_RGBA32F_ARB)
    FLY_TOKEN(GL_RGB32F_ARB)
    FLY_TOKEN(GL_ALPHA32F_ARB)
    FLY_TOKEN(GL_INTENSITY32F_ARB)
    FLY_TOKEN(GL_LUMINANCE32F_ARB)
    FLY_TOKEN(GL_LUMINANCE_ALPHA32F_ARB)
    FLY_TOKEN(GL_RGBA16F_ARB)
    FLY_TOKEN(GL_RGB16F_ARB)
    FLY_TOKEN(GL_ALPHA16F_ARB)
    FLY_TOKEN(GL_INTENSITY16F_ARB)
    FLY_TOKEN(GL_LUMINANCE16F_ARB)
    FLY_TOKEN(GL_LUMINANCE_ALPHA16F_ARB)
    FLY_TOKEN(GL_ALPHA4)
    FLY_TOKEN(GL_ALPHA8)
    FLY_TOKEN(GL_ALPHA12)
    FLY_TOKEN(GL_ALPHA16)
    FLY_TOKEN(GL_LUMINANCE4)
    FLY_TOKEN(GL_LUMINANCE8)
    FLY_TOKEN(GL_LUMINANCE12)
    FLY_TOKEN(GL_LUMINANCE16)
    FLY_TOKEN(GL_LUMINANCE4_ALPHA4)
    FLY_TOKEN(GL_LUMINANCE6_ALPHA2)
    FLY_TOKEN(GL_LUMINANCE8_ALPHA8)
    FLY_TOKEN(GL_LUMINANCE12_ALPHA4)
    FLY_TOKEN(GL_LUMINANCE12_ALPHA12)
    FLY_TOKEN(GL_LUMINANCE16_ALPHA16)
    FLY_TOKEN(GL_INTENSITY)
    FLY_TOKEN(GL_INTENSITY4)
    FLY_TOKEN(GL_INTENSITY8)
    FLY_TOKEN(GL_INTENSITY12)
    FLY_TOKEN(GL_INTENSITY16)
    FLY_TOKEN(GL_R3_G3_B2)
    FLY_TOKEN(GL_RGB4)
    FLY_TOKEN(GL_RGB5)
    FLY_TOKEN(GL_RGB8)
    FLY_TOKEN(GL_RGB10)
    FLY_TOKEN(GL_RGB12)
    FLY_TOKEN(GL_RGB16)
    FLY_TOKEN(GL_RGBA2)
    FLY_TOKEN(GL_RGBA4)
    FLY_TOKEN(GL_RGB5_A1)
    FLY_TOKEN(GL_RGBA8)
    FLY_TOKEN(GL_RGB10_A2)
    FLY_TOKEN(GL_RGBA12)
    FLY_TOKEN(GL_RGBA16)
    FLY_TOKEN(GL_DEPTH24_STENCIL8_EXT)
    FLY_TOKEN(GL_DEPTH_COMPONENT16_ARB)
    FLY_TOKEN(GL_DEPTH_COMPONENT24_ARB)
    FLY_TOKEN(GL_DEPTH_COMPONENT32_ARB)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT)
    FLY_TOKEN(GL_FRAMEBUFFER_UNSUPPORTED_EXT)
    default:
      break;
  }
#undef FLY_TOKEN
  char buf[16];
  snprintf(buf, sizeof(buf), "0x%08lx", token);
  return buf;
}
