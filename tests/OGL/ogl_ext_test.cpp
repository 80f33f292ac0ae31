#include <cstring>
#include <map>
#include <string>

#include "OGL/ogl_ext.h"
#include "OGL/ren.h"
#include "UTL/cmdline.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
// A driver made of strings and numbers.
struct fake_driver {
  std::string vendor = "Fake", renderer = "Fake Renderer", version = "1.0", extensions;
  std::map<unsigned, int> ints;
  std::map<unsigned, float> floats;
  std::map<std::string, int> missing;  // entry points that are not there
  int fprog_native = 500, vprog_native = 500;
};
fake_driver* g_fake = nullptr;

const char* fake_string(unsigned name) {
  switch (name) {
    case GL_VENDOR: return g_fake->vendor.c_str();
    case GL_RENDERER: return g_fake->renderer.c_str();
    case GL_VERSION: return g_fake->version.c_str();
    case GL_EXTENSIONS: return g_fake->extensions.c_str();
    case GL_SHADING_LANGUAGE_VERSION_ARB: return "1.20";
  }
  return nullptr;
}
void fake_int(unsigned p, int* out) {
  auto it = g_fake->ints.find(p);
  if (it != g_fake->ints.end()) *out = it->second;
}
void fake_float(unsigned p, float* out) {
  auto it = g_fake->floats.find(p);
  if (it != g_fake->floats.end()) out[0] = out[p == GL_POINT_SIZE_RANGE ? 1 : 0] = it->second;
}
void APIENTRY fake_program_iv(GLenum target, GLenum pname, GLint* out) {
  // Only the implementation maxima answer; a per-program query reads 0.
  const bool max = pname == GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB ||
                   pname == GL_MAX_PROGRAM_NATIVE_ALU_INSTRUCTIONS_ARB ||
                   pname == GL_MAX_PROGRAM_NATIVE_TEX_INSTRUCTIONS_ARB ||
                   pname == GL_MAX_PROGRAM_NATIVE_TEX_INDIRECTIONS_ARB;
  *out = !max ? 0 : target == GL_FRAGMENT_PROGRAM_ARB ? g_fake->fprog_native : g_fake->vprog_native;
}
void APIENTRY any_proc() {}
void* fake_proc(const char* name) {
  if (g_fake->missing.count(name)) return nullptr;
  if (strcmp(name, "glGetProgramivARB") == 0) return reinterpret_cast<void*>(fake_program_iv);
  return reinterpret_cast<void*>(any_proc);
}

struct Detect : ::testing::Test {
  fake_driver d;
  void SetUp() override {
    g_fake = &d;
    OGL_query = {fake_string, fake_int, fake_float, fake_proc, [](int*) { return -1; }};
    glExt = OGL_extensions();
  }
  void TearDown() override { OGL_query_reset(); }
  void args(std::initializer_list<const char*> a) {
    std::vector<const char*> v = {"prog"};
    v.insert(v.end(), a);
    cmdline.clear();
    cmdline.init_unix(static_cast<int>(v.size()), v.data());
  }
  void run() {
    glExt = OGL_extensions();
    glExt.init_extensions();
  }
};
}  // namespace

TEST(Version, Parsing) {
  EXPECT_EQ(OGL_parse_version("2.1.2"), 210);
  EXPECT_EQ(OGL_parse_version("1.10"), 200);  // minor ten counts as 100 more
  EXPECT_EQ(OGL_parse_version("4.5 (Compatibility Profile) Mesa 22.3.6"), 450);
  EXPECT_EQ(OGL_parse_version("1.5.8"), 150);
  EXPECT_EQ(OGL_parse_version("2.0x"), 200);  // "%d.%d" reads 2 and 0
  EXPECT_EQ(OGL_parse_version("1.4"), 140);
  EXPECT_EQ(OGL_parse_version("garbage"), 100);
  EXPECT_EQ(OGL_parse_version(""), 100);
  EXPECT_EQ(OGL_parse_version(nullptr), 100);
}

TEST_F(Detect, CoreVersionAndExtensionStrings) {
  d.version = "1.5.8";
  d.extensions = "GL_ARB_pixel_buffer_object_x GL_EXT_texture_filter_anisotropic";
  run();
  EXPECT_EQ(glExt.version, 150);
  EXPECT_EQ(glExt.vbo_avail, 1);
  EXPECT_EQ(glExt.occlude_avail, 1);
  EXPECT_EQ(glExt.pbo_avail, 1);  // a plain substring search finds the longer name
  EXPECT_EQ(glExt.aniso_avail, 1);
  EXPECT_EQ(glExt.glsl_avail, 0);

  d.version = "garbage";
  d.extensions = "GL_ARB_multitexture GL_EXT_blend_func_separate";
  run();
  EXPECT_EQ(glExt.version, 100);
  EXPECT_EQ(glExt.multitex_avail, 1);
  EXPECT_EQ(glExt.vbo_avail, 0);
  EXPECT_EQ(glExt.sblend_avail, 0);  // needs both separate-blend extensions
  d.extensions += " GL_EXT_blend_equation_separate";
  run();
  EXPECT_EQ(glExt.sblend_avail, 1);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST_F(Detect, MissingEntryPointSwitchesItsFamilyOff) {
  d.version = "2.1";
  d.missing["glGenQueriesARB"] = 1;
  run();
  EXPECT_EQ(glExt.occlude_avail, 0);
  EXPECT_EQ(glExt.glDeleteQueriesARB != nullptr, true);  // the rest of the family still loads
  EXPECT_EQ(glExt.vbo_avail, 1);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("WARNING: extension missing proc glGenQueriesARB.  This is a problem "
                        "with your video driver.\n"));

  // The separate-blend calls are looked up one by one, the second after a miss of the first.
  d.missing["glBlendEquationSeparateEXT"] = 1;
  d.missing["glBlendFuncSeparateEXT"] = 1;
  run();
  EXPECT_EQ(glExt.sblend_avail, 0);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("missing proc glBlendEquationSeparateEXT."));
  EXPECT_THAT(fly_test::log_text(), HasSubstr("missing proc glBlendFuncSeparateEXT."));
}

TEST_F(Detect, ProgramLimitsAreTheImplementationMaxima) {
  d.version = "2.1";
  d.extensions = "GL_ARB_vertex_program GL_ARB_fragment_program";
  run();
  EXPECT_EQ(glExt.fprog_avail, 1);  // no program is bound, yet programs stay on
  EXPECT_EQ(glExt.vprog_avail, 1);
  EXPECT_EQ(glExt.first_gen_shaders, 0);
  d.fprog_native = 64;
  run();
  EXPECT_EQ(glExt.first_gen_shaders, 1);
  d.fprog_native = 0;
  d.vprog_native = 0;
  run();
  EXPECT_EQ(glExt.fprog_avail, 0);
  EXPECT_EQ(glExt.vprog_avail, 0);
  args({"--use_fprogs", "--use_vprogs"});
  run();
  EXPECT_EQ(glExt.fprog_avail, 1);
  EXPECT_EQ(glExt.vprog_avail, 1);
}

TEST_F(Detect, SwitchesAndThreadedAlwaysOff) {
  d.version = "2.1";
  args({"--no_vbos"});
  run();
  EXPECT_EQ(glExt.vbo_avail, 0);
  EXPECT_EQ(glExt.pbo_avail, 0);
  EXPECT_NE(glExt.glBindBufferARB, nullptr);  // switched off after loading
  args({"--no_pbos", "--no_glsl", "--no_fbos", "--no_aniso_filtering"});
  d.extensions = "GL_EXT_framebuffer_object GL_EXT_texture_filter_anisotropic";
  d.floats[GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT] = 16;
  run();
  EXPECT_EQ(glExt.vbo_avail, 1);
  EXPECT_EQ(glExt.pbo_avail, 0);
  EXPECT_EQ(glExt.glsl_avail, 0);
  EXPECT_EQ(glExt.framebuf_avail, 0);
  EXPECT_EQ(glExt.aniso_avail, 0);
  EXPECT_EQ(ren.max_aniso, 1.0f);
  EXPECT_EQ(glExt.threaded_avail, 0);
  args({});
  run();
  EXPECT_EQ(glExt.threaded_avail, 0);  // whatever the switches
}

TEST_F(Detect, TextureUnitsWithGlslAndRendererRules) {
  d.version = "2.0";
  d.ints[GL_MAX_TEXTURE_UNITS_ARB] = 4;
  d.ints[GL_MAX_TEXTURE_IMAGE_UNITS_ARB] = 16;
  d.extensions = "GL_ARB_fragment_program GL_ARB_vertex_program";
  run();
  EXPECT_EQ(glExt.glsl_avail, 1);
  EXPECT_EQ(ren.tex_units, 16);
  EXPECT_EQ(ren.tex_image_units, 16);

  d.renderer = "Intel GMA 950 OpenGL Engine";
  run();
  EXPECT_EQ(glExt.glsl_avail, 0);
  EXPECT_EQ(ren.tex_units, 4);
  args({"--use_glsl"});
  run();
  EXPECT_EQ(glExt.glsl_avail, 1);

  args({});
  d.renderer = "x";
  d.vendor = "NVIDIA Corporation";
  run();
  EXPECT_EQ(glExt.first_gen_shaders, 1);  // no GL_NV_fragment_program2
  d.ints.erase(GL_MAX_TEXTURE_UNITS_ARB);
  d.extensions.clear();
  run();
  EXPECT_EQ(ren.tex_units, 1);  // never below one
}

TEST_F(Detect, SystemVersionRulesAndTheirOverrides) {
  static int os = 0x1048;
  OGL_query.os_version = [](int* v) { *v = os; return 0; };
  d.version = "2.1";
  d.renderer = "NVIDIA GeForce 7300 GT OpenGL Engine";
  run();
  EXPECT_EQ(glExt.occlude_avail, 0);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("Disabling occlusion queries on OS X 10.4 for nVidia 7300 GT on 10.4.8.\n"));
  os = 0x1049;
  run();
  EXPECT_EQ(glExt.occlude_avail, 1);
  os = 0x1048;
  args({"--use_pixel_counters"});
  run();
  EXPECT_EQ(glExt.occlude_avail, 1);

  args({});
  d.renderer = "ATI Radeon HD 2600 PRO OpenGL Engine";
  run();
  EXPECT_EQ(glExt.sprites_avail, 0);
  d.renderer = "ATI Radeon HD 2600 PRO OpenGL Engine 2";  // the whole string must match
  run();
  EXPECT_EQ(glExt.sprites_avail, 1);
  OGL_query.os_version = [](int*) { return -1; };  // no system version: the rule is skipped
  d.renderer = "ATI Radeon HD 2600 PRO OpenGL Engine";
  run();
  EXPECT_EQ(glExt.sprites_avail, 1);
}

TEST_F(Detect, RefusalAndSoftwareRenderer) {
  d.version = "1.0";
  EXPECT_FATAL_ALERT(run(), "Your graphics hardware cannot support Flyvane.");
  args({"--force_run"});
  fly_test::clear_alerts();
  run();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].type, 1);
  EXPECT_EQ(fly_test::alerts()[0].s2, "Your system does not meet Flyvane's hardware requirements.");

  args({});
  d.version = "2.1";
  d.renderer = "Generic Software";  // only the whole word counts
  fly_test::clear_alerts();
  run();
  EXPECT_TRUE(fly_test::alerts().empty());
  d.renderer = "Generic";
  run();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].type, 1);
}

TEST_F(Detect, ExactLogBlock) {
  d.version = "2.1.2";
  d.vendor = "V";
  d.renderer = "R";
  d.extensions = "GL_ARB_vertex_program GL_ARB_fragment_program";
  d.ints[GL_MAX_TEXTURE_UNITS_ARB] = 4;
  d.ints[GL_MAX_TEXTURE_SIZE] = 2048;
  d.ints[GL_MAX_VERTEX_ATTRIBS_ARB] = 16;
  d.ints[GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB] = 64;
  d.floats[GL_POINT_SIZE_RANGE] = 63;
  run();
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("OpenGL Vendor    : V\n"
                        "OpenGL Render    : R\n"
                        "OpenGL Version   : 2.1.2 (210)\n"
                        "OpenGL Extensions: GL_ARB_vertex_program GL_ARB_fragment_program\n"
                        "use_vsync1       : 0\n"
                        "use_vsync2       : 0\n"
                        "tex_clamp_avail  : 1\n"
                        "add_env_avail    : 1\n"
                        "combine_avail    : 1\n"
                        "dis_fog_avail    : 0\n"
                        "tex_comp_avail   : 1\n"
                        "vbo_avail        : 1\n"
                        "pbo_avail        : 1\n"
                        "vprog_avail      : 1 (500)\n"
                        "fprog_avail      : 1 (500/500/500/500)\n"
                        "automini_avail   : 1\n"
                        "aniso_avail      : 0\n"
                        "fsaa_avail       : 1\n"
                        "sprites_avail    : 1\n"
                        "depth_tex_avail  : 1\n"
                        "occlude_avail    : 1\n"
                        "shad_objs_avail  : 1\n"
                        "vshader_avail    : 1 (16/0/0/0/0/64)\n"
                        "fshader_avail    : 1 (64)\n"
                        "gshader_avail    : 0\n"
                        "buniform_avail   : 0\n"
                        "glsl_avail       : 1 (1.20)\n"
                        "framebuf_avail   : 0\n"
                        "sblend_avail     : 1\n"
                        "tex_float_avail  : 0\n"
                        "packed_stencil   : 0\n"
                        "threaded_avail   : 0\n"
                        "first-gen shaders: 0\n"
                        "max tex units    : 4 (4/4)\n"
                        "max iso filtering: 1.000000\n"
                        "max texture size : 2048\n"
                        "max point size   : 63.000000\n"));
}

TEST(ThreadedOgl, FailureWarnsOnce) {
  glExt = OGL_extensions();
  EXPECT_EQ(glExt.threaded_avail, 1);
  glExt.threaded_ogl_failed();
  glExt.threaded_ogl_failed();
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "There was a problem setting up OpenGL.");
  EXPECT_EQ(glExt.threaded_avail, 0);
}

TEST(TokenName, NamedAndHex) {
  EXPECT_EQ(OGL_get_token_name(GL_RGBA8), "GL_RGBA8");
  EXPECT_EQ(OGL_get_token_name(0x8814), "GL_RGBA32F_ARB");
  EXPECT_EQ(OGL_get_token_name(GL_FRAMEBUFFER_UNSUPPORTED_EXT), "GL_FRAMEBUFFER_UNSUPPORTED_EXT");
  EXPECT_EQ(OGL_get_token_name(GL_DEPTH24_STENCIL8_EXT), "GL_DEPTH24_STENCIL8_EXT");
  EXPECT_EQ(OGL_get_token_name(0x1234), "0x00001234");
}

// What Mesa's llvmpipe gives on the real context.
TEST_F(GlWindow, LlvmpipeFlags) {
  EXPECT_THAT(std::string(ren.gl_renderer), HasSubstr("llvmpipe"));
  EXPECT_GE(glExt.version, 450);
  for (int f : {glExt.multitex_avail, glExt.tex_clamp_avail, glExt.combine_avail,
                glExt.tex_comp_avail, glExt.vbo_avail, glExt.pbo_avail, glExt.vprog_avail,
                glExt.fprog_avail, glExt.automini_avail, glExt.aniso_avail, glExt.sprites_avail,
                glExt.occlude_avail, glExt.shad_objs_avail, glExt.vshader_avail,
                glExt.fshader_avail, glExt.glsl_avail, glExt.framebuf_avail, glExt.sblend_avail,
                glExt.draw_buffers_avail, glExt.packed_stencil, glExt.tex_float_avail})
    EXPECT_EQ(f, 1);
  EXPECT_EQ(glExt.gshader_avail, 0);
  EXPECT_EQ(glExt.buniform_avail, 0);
  EXPECT_EQ(glExt.threaded_avail, 0);
  EXPECT_EQ(glExt.first_gen_shaders, 0);
  EXPECT_GT(glExt.fprog_native[0], 99);
  for (int i = 0; i < OGL_extensions::entry_point_count; ++i)
    if (i < 123 || i > 126) {  // the geometry-shader and bindable-uniform families are off
      EXPECT_NE(glExt.slot[i], nullptr) << i;
    }
  EXPECT_GE(ren.tex_units, 8);
  EXPECT_GE(glExt.max_tex_size, 2048);
  EXPECT_THAT(fly_test::log_text(), ::testing::Not(HasSubstr("missing proc")));
}
