// Shaders: variant ids, building programs from files on a real context,
// what the generated lines define, interactive reload and its failures.
#include <stdexcept>

#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_shader.h"
#include "UTL/cmdline.h"
#include "UTL/cmnd.h"
#include "GenH/shell.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {

const char* const k_dir = "Resources/shaders/";

void put(const std::string& file, const std::string& text) {
  fly_test::write_file(std::string(k_dir) + file, text);
}

// Checks the generated lines: the platform, GSHADER only ahead of the
// vertex stage, and the prefix. The colour comes from the vertex stage.
const char* const k_vertex =
    "#if !LIN || APL || IBM || LIMITED\n#error wrong platform lines\n#endif\n"
    "#if GSHADER != 0\n#error no vertex marker\n#endif\n"
    "void main() { gl_Position = gl_Vertex; gl_FrontColor = vec4(0.0, 1.0, 0.0, 1.0); }\n";
const char* const k_fragment =
    "#ifdef GSHADER\n#error the fragment stage has no stage marker\n#endif\n"
    "uniform float gain;\n"
    "void main() { gl_FragColor = gl_Color * gain; }\n";
const char* const k_fixed_fragment = "void main() { gl_FragColor = gl_Color; }\n";

// Draws a window-filling quad in red; whatever the program makes of it.
fly_test::rgba draw_quad() {
  gl.Disable(GL_CULL_FACE);
  gl.Disable(GL_BLEND);
  gl.MatrixMode(GL_PROJECTION);
  gl.LoadIdentity();
  gl.MatrixMode(GL_MODELVIEW);
  gl.LoadIdentity();
  gl.ClearColor(0, 0, 0, 1);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  gl.Color4f(1, 0, 0, 1);
  gl.Begin(GL_QUADS);
  gl.Vertex2f(-1, -1);
  gl.Vertex2f(1, -1);
  gl.Vertex2f(1, 1);
  gl.Vertex2f(-1, 1);
  gl.End();
  gl.Finish();
  return fly_test::pixel(20, 20);
}

void set_gain(OGL_shader& s, float g) {
  s.bind();
  glExt.glUniform1fARB(s.get_uniform_loc(0), g);
}

PFNGLUSEPROGRAMOBJECTARBPROC g_real_use = nullptr;
int g_use_calls = 0;
void APIENTRY counting_use(GLhandleARB p) {
  ++g_use_calls;
  g_real_use(p);
}

// An alert stand-in that mends the broken fragment file when it is shown.
int g_fix_alerts = 0;
int fix_on_alert(int, const std::string& s1, const std::string&, const std::string&,
                 const std::string& s4, int type, const char*, int) {
  ++g_fix_alerts;
  EXPECT_EQ(type, t_alert);
  EXPECT_EQ(s1, "There was a problem processing a GLSL pixel shader.");
  EXPECT_EQ(s4, "Resources/shaders/c.frag");
  put("c.frag", k_fixed_fragment);
  return 1;
}

}  // namespace

TEST(ShaderVariants, IdsAreMixedRadixAndBoundsChecked) {
  const char* const flags[] = {"A", "B", nullptr};
  const int ranges[] = {2, 3};
  OGL_shader_conditional c("v.vert", nullptr, "f.frag", nullptr, flags, ranges, nullptr);
  EXPECT_EQ(c.variant_count(), 6);
  const int v[] = {1, 2};
  EXPECT_EQ(c.id_from_flags(v), 5);
  int back[2] = {-1, -1};
  EXPECT_EQ(c.flags_from_id(5, back), 2);
  EXPECT_EQ(back[0], 1);
  EXPECT_EQ(back[1], 2);
  EXPECT_EQ(c.flags_from_id(3, back), 2);
  EXPECT_EQ(back[0], 1);
  EXPECT_EQ(back[1], 1);
  const int bad[] = {0, 3};
  EXPECT_THROW(c.id_from_flags(bad), std::out_of_range);
  EXPECT_THROW(c.flags_from_id(6, back), std::out_of_range);
  EXPECT_THROW(c.flags_from_id(-1, back), std::out_of_range);
  EXPECT_THROW(c.bind(6), std::out_of_range);
  EXPECT_THROW(c.get_uniform_loc(-1, 0), std::out_of_range);
  EXPECT_EQ(c.geometry_file, "");
  EXPECT_EQ(c.prefix, "");

  const char* const three[] = {"X", "Y", "Z", nullptr};
  OGL_shader_conditional two_each("v.vert", "", "f.frag", nullptr, three, nullptr, "#define Q 1\n");
  EXPECT_EQ(two_each.variant_count(), 8);
  EXPECT_EQ(two_each.flag_ranges, (std::vector<int>{2, 2, 2}));
  OGL_shader_conditional none("v.vert", nullptr, "f.frag", nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(none.variant_count(), 1);
  EXPECT_EQ(none.flags_from_id(0, back), 0);
}

TEST_F(GlWindow, TheVertexStageIsAttachedAndTheGeneratedLinesAreThere) {
  put("c.vert", k_vertex);
  put("c.frag", k_fragment);
  const char* const uniforms[] = {"gain", "not_there", nullptr};
  OGL_shader s("c.vert", nullptr, "c.frag", nullptr, uniforms);
  EXPECT_TRUE(fly_test::alerts().empty());
  EXPECT_EQ(s.prefix, "// no prefix\n");
  EXPECT_EQ(s.vertex_path, "Resources/shaders/c.vert");
  EXPECT_EQ(s.geometry_path, "");
  EXPECT_EQ(s.geometry_obj, 0u);
  EXPECT_GE(s.get_uniform_loc(0), 0);
  EXPECT_EQ(s.get_uniform_loc(1), -1);
  EXPECT_THROW(s.get_uniform_loc(2), std::out_of_range);
  EXPECT_EQ(OGL_shader::shaders.count(&s), 1u);

  set_gain(s, 1.0f);
  const fly_test::rgba p = draw_quad();
  // Fixed-function vertices would pass the red through.
  EXPECT_EQ(p.r, 0);
  EXPECT_EQ(p.g, 255);
  EXPECT_EQ(p.b, 0);
}

TEST_F(GlWindow, BindingIsCachedAndTheDestructorForgetsTheCurrentProgram) {
  put("c.vert", k_vertex);
  put("c.frag", k_fragment);
  g_real_use = glExt.glUseProgramObjectARB;
  glExt.glUseProgramObjectARB = counting_use;
  OGL_shader::unbind_shaders();
  EXPECT_EQ(g_use_calls, 0);
  {
    OGL_shader s(std::string("c.vert"), std::string(), std::string("c.frag"), "#define X 1\n",
                 {"gain"});
    EXPECT_EQ(s.prefix, "#define X 1\n");
    s.bind();
    s.bind();
    EXPECT_EQ(g_use_calls, 1);
    EXPECT_EQ(OGL_shader::current_shader, &s);
  }
  EXPECT_EQ(OGL_shader::current_shader, nullptr);
  EXPECT_EQ(g_use_calls, 2);  // back to fixed function before deleting
  EXPECT_TRUE(OGL_shader::shaders.empty());
  GLint prog = -1;
  gl.GetIntegerv(GL_CURRENT_PROGRAM, &prog);
  EXPECT_EQ(prog, 0);
  glExt.glUseProgramObjectARB = g_real_use;
}

TEST_F(GlWindow, VariantsCompileOnFirstBindWithTheirSwitchValues) {
  put("v.vert", "void main() { gl_Position = gl_Vertex; gl_FrontColor = gl_Color; }\n");
  put("v.frag",
      "void main() { gl_FragColor = vec4(float(A), float(B) / 2.0, float(BASE), 1.0); }\n");
  const char* const flags[] = {"A", "B", nullptr};
  const int ranges[] = {2, 3};
  OGL_shader_conditional c("v.vert", nullptr, "v.frag", nullptr, flags, ranges,
                           "#define BASE 0\n");
  EXPECT_TRUE(OGL_shader::shaders.empty());
  c.bind(5);
  ASSERT_NE(c.variants[5], nullptr);
  EXPECT_EQ(c.variants[5]->prefix, "#define BASE 0\n#define A 1\n#define B 2\n");
  EXPECT_EQ(OGL_shader::shaders.size(), 1u);
  fly_test::rgba p = draw_quad();
  EXPECT_EQ(p.r, 255);
  EXPECT_EQ(p.g, 255);
  EXPECT_EQ(p.b, 0);
  c.bind(2);  // A 0, B 1
  p = draw_quad();
  EXPECT_EQ(p.r, 0);
  EXPECT_NEAR(p.g, 128, 1);
  EXPECT_EQ(OGL_shader::shaders.size(), 2u);
}

TEST_F(GlWindow, InteractiveReloadWaitsForTheFixedFile) {
  put("c.vert", k_vertex);
  put("c.frag", k_fixed_fragment);
  OGL_shader s("c.vert", nullptr, "c.frag", nullptr, nullptr);
  const GLhandleARB old_fragment = s.fragment_obj;
  put("c.frag", "void main() { gl_FragColor = gl_Color }\n");  // the missing ';'
  fly_test::fail_after(60, "the interactive reload");
  g_alert_intercept = fix_on_alert;
  s.reload(1);
  EXPECT_EQ(g_fix_alerts, 1);
  EXPECT_NE(s.fragment_obj, old_fragment);
  s.bind();
  EXPECT_EQ(draw_quad().g, 255);
  const std::string log = fly_test::log_text();
  EXPECT_THAT(log, HasSubstr("=====Resources/shaders/c.frag=====\n   (prefix:\n"
                             "#define APL 0\n#define IBM 0\n#define LIN 1\n#define LIMITED 0\n"
                             "// no prefix\nend prefix)\n"));
}

TEST_F(GlWindow, InteractiveReloadStopsWhenNoAlertCanBeShown) {
  const char* argv[] = {"t", "--fps_test"};
  cmdline.init_unix(2, argv);
  put("c.vert", k_vertex);
  put("c.frag", k_fixed_fragment);
  OGL_shader s("c.vert", nullptr, "c.frag", nullptr, nullptr);
  put("c.frag", "void main() { gl_FragColor = gl_Color }\n");
  fly_test::fail_after(60, "the reload under --fps_test");
  s.reload(1);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].type, t_alert);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("stays broken"));
}

TEST_F(GlWindow, ABrokenProgramIsFatalWhenNotInteractive) {
  put("c.vert", k_vertex);
  put("c.frag", "this is no shader\n");
  EXPECT_FATAL_ALERT(OGL_shader("c.vert", nullptr, "c.frag", nullptr, nullptr),
                     "There was a problem processing a GLSL pixel shader.");
  EXPECT_TRUE(OGL_shader::shaders.empty());
}

TEST_F(GlWindow, AMissingShaderFileIsFatal) {
  put("c.vert", k_vertex);
  EXPECT_FATAL_ALERT(OGL_shader("c.vert", nullptr, "gone.frag", nullptr, nullptr),
                     "We were unable to load the shader file:");
  ASSERT_FALSE(fly_test::alerts().empty());
  EXPECT_EQ(fly_test::alerts().back().s2, "Resources/shaders/gone.frag");
  EXPECT_EQ(fly_test::alerts().back().s4,
            "Re-run the Flyvane installer/updater to correct this problem.");
  EXPECT_TRUE(OGL_shader::shaders.empty());
}

// Mesa offers no GL_EXT_geometry_shader4: such a program cannot be built.
TEST_F(GlWindow, AGeometryStageFailsWithoutTheExtension) {
  ASSERT_EQ(glExt.gshader_avail, 0);
  put("c.vert", k_vertex);
  put("c.geom", "void main() {}\n");
  put("c.frag", k_fixed_fragment);
  EXPECT_FATAL_ALERT(OGL_shader("c.vert", "c.geom", "c.frag", nullptr, nullptr),
                     "There was a problem processing a GLSL pixel shader.");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("=====Resources/shaders/c.geom=====\n"
                                              "   GL_EXT_geometry_shader4 is not available."));
}

TEST_F(GlWindow, TheRemoteCommandReloadsEveryProgram) {
  put("c.vert", k_vertex);
  put("c.frag", k_fixed_fragment);
  OGL_shader a("c.vert", nullptr, "c.frag", nullptr, nullptr);
  OGL_shader b("c.vert", nullptr, "c.frag", "#define Y 2\n", nullptr);
  const GLhandleARB a_vertex = a.vertex_obj, b_vertex = b.vertex_obj, a_program = a.program;
  int id = 0;
  for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next)
    if (std::string(c->name) == "Reload Pixel Shaders...") id = c->id;
  ASSERT_NE(id, 0);
  UTL_remote_cmd::invoke(nullptr, id);
  EXPECT_NE(a.vertex_obj, a_vertex);
  EXPECT_NE(b.vertex_obj, b_vertex);
  EXPECT_EQ(a.program, a_program);  // the program object stays
  EXPECT_TRUE(fly_test::alerts().empty());
}
