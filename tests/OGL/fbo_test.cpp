// Rendering into textures: the framebuffer-object path and the copy path on
// a real context, the drawing area and viewport around a render, depth-only
// and incomplete targets, and a window of no pixels.
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_fbo.h"
#include "OGL/ogl_seams.h"
#include "UTL/cmdline.h"
#include "support/gl_count.h"
#include "support/gl_harness.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

const int k_slot = 520;
const int k_rgba = 2;  // colour code of an RGBA target

// Counts the texture loads the framebuffer asks for.
ogl_load_slot_fn g_real_load = nullptr;
int g_loads = 0;
std::string g_load_name;
unsigned g_load_flags = 0;
int counting_load(int slot, const unsigned char* px, int dx, int dy, int ch, unsigned flags,
                  const char* name) {
  ++g_loads;
  g_load_name = name;
  g_load_flags = flags;
  return g_real_load(slot, px, dx, dy, ch, flags, name);
}
struct LoadCounter {
  LoadCounter() {
    g_real_load = OGL_load_tex_slot;
    OGL_load_tex_slot = counting_load;
    g_loads = 0;
  }
  ~LoadCounter() { OGL_load_tex_slot = g_real_load; }
};

// An alpha texture per slot, whatever the flags ask for: one that cannot be a
// depth attachment.
std::map<int, std::pair<GLuint, std::pair<int, int>>> g_alpha;
int alpha_load(int slot, const unsigned char*, int dx, int dy, int, unsigned, const char*) {
  GLuint& n = g_alpha[slot].first;
  if (!n) gl.GenTextures(1, &n);
  gl.BindTexture(GL_TEXTURE_2D, n);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl.TexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, dx, dy, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
  g_alpha[slot].second = {dx, dy};
  return 1;
}
int alpha_info(int slot, unsigned* name, int* dx, int* dy) {
  auto it = g_alpha.find(slot);
  if (it == g_alpha.end()) return 0;
  *name = it->second.first;
  *dx = it->second.second.first;
  *dy = it->second.second.second;
  return 1;
}

void fill(float r, float g, float b) {
  gl.Disable(GL_SCISSOR_TEST);
  gl.ClearColor(r, g, b, 1);
  gl.Clear(GL_COLOR_BUFFER_BIT);
}

// The slot's texture as RGBA bytes; its size in *dx, *dy.
std::vector<uint8_t> texture_of(int slot, int* dx, int* dy) {
  unsigned name = 0;
  if (!OGL_tex_slot_info(slot, &name, dx, dy)) return {};
  std::vector<uint8_t> px(static_cast<size_t>(*dx) * *dy * 4);
  gl.BindTexture(GL_TEXTURE_2D, name);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.GetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}

bool all_pixels(const std::vector<uint8_t>& px, int r, int g, int b) {
  for (size_t i = 0; i + 3 < px.size(); i += 4)
    if (px[i] != r || px[i + 1] != g || px[i + 2] != b) return false;
  return !px.empty();
}

std::vector<int> gl_viewport() {
  GLint v[4] = {};
  gl.GetIntegerv(GL_VIEWPORT, v);
  return {v[0], v[1], v[2], v[3]};
}

std::vector<int> drawing_area() {
  return {mnw.draw_viewport[0], mnw.draw_viewport[1], mnw.draw_viewport[2],
          mnw.draw_viewport[3], mnw.draw_dx,          mnw.draw_dy,
          mnw.draw_on_screen};
}

// A 1024 x 768 window, as the copy path's case needs; options first.
class CopyPathWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* argv[] = {"t", "--no_fbos"};
    cmdline.init_unix(2, argv);
    fly_test::gl_use_test_display();
    fly_test::use_program_resources();
    LIN_set_screen_override(1280, 1024);
    mnw.x_res = 1024;
    mnw.y_res = 768;
    mnw.req_depth = 32;
    mnw.tex_res_level = 5;
    MACIBM_setres(1);
    ASSERT_TRUE(MACIBM_make_context(0)) << "no GL context";
    MACIBM_init_drawing();
  }
  void TearDown() override { MACIBM_nuke_context(0); }
};

}  // namespace

TEST_F(GlWindow, FboRendersIntoTheTextureAndReusesIt) {
  ASSERT_TRUE(glExt.framebuf_avail);
  OGL_framebuffer fb(k_slot, k_rgba, fbo_depth, 256, 256, 0, 0, "test target");
  ASSERT_NE(fb.fbo, 0u);
  ASSERT_NE(fb.depth_rb, 0u);
  const std::vector<int> area = drawing_area(), view = gl_viewport();
  const float flushes = g_fbo_flushes;
  LoadCounter loads;

  fb.begin_render(1);
  EXPECT_EQ(g_loads, 1);
  EXPECT_EQ(g_load_name, "scratch_array-fbo");
  EXPECT_EQ(g_load_flags, static_cast<unsigned>(k_rgba | 0x10880));
  EXPECT_EQ(drawing_area(), (std::vector<int>{0, 0, 256, 256, 256, 256, 0}));
  EXPECT_EQ(gl_viewport(), (std::vector<int>{0, 0, 256, 256}));
  fill(0, 1, 0);
  fb.end_render();
  EXPECT_EQ(g_fbo_flushes, flushes + 1);
  EXPECT_EQ(drawing_area(), area);
  EXPECT_EQ(gl_viewport(), view);
  GLint bound = -1;
  gl.GetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
  EXPECT_EQ(bound, 0);
  int dx = 0, dy = 0;
  std::vector<uint8_t> px = texture_of(k_slot, &dx, &dy);
  EXPECT_EQ(dx, 256);
  EXPECT_EQ(dy, 256);
  EXPECT_TRUE(all_pixels(px, 0, 255, 0));

  // Same size again: no texture load at all.
  fly_test::gl_counter calls;
  fb.begin_render(1);
  fill(0, 0, 1);
  fb.end_render();
  EXPECT_EQ(g_loads, 1);
  EXPECT_EQ(calls.count("TexImage2D"), 0);
  EXPECT_EQ(g_fbo_flushes, flushes + 2);
  EXPECT_TRUE(all_pixels(texture_of(k_slot, &dx, &dy), 0, 0, 255));

  fb.set_render_size(128, 64);
  fb.begin_render(1);
  fb.end_render();
  EXPECT_EQ(g_loads, 2);
  texture_of(k_slot, &dx, &dy);
  EXPECT_EQ(dx, 128);
  EXPECT_EQ(dy, 64);
}

TEST_F(GlWindow, TheDestructorDeletesWhatTheFramebufferMade) {
  GLuint shared = 0;
  glExt.glGenRenderbuffersEXT(1, &shared);
  glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, shared);
  GLuint fbo = 0, own = 0;
  {
    OGL_framebuffer fb(k_slot, k_rgba, fbo_depth | fbo_stencil, 64, 64, 0, shared, "del");
    EXPECT_EQ(fb.stencil_rb, shared);
    fb.begin_render(1);
    fb.end_render();
    fbo = fb.fbo;
    own = fb.depth_rb;
    EXPECT_TRUE(glExt.glIsFramebufferEXT(fbo));
    EXPECT_TRUE(glExt.glIsRenderbufferEXT(own));
  }
  EXPECT_FALSE(glExt.glIsFramebufferEXT(fbo));
  EXPECT_FALSE(glExt.glIsRenderbufferEXT(own));
  EXPECT_TRUE(glExt.glIsRenderbufferEXT(shared));  // not ours to delete
}

TEST_F(GlWindow, ADepthOnlyTargetDrawsToNoColourBuffer) {
  OGL_framebuffer fb(k_slot, 6, 0, 128, 128, 0, 0, "shadow");
  fb.begin_render(1);
  GLint draw = -1;
  gl.GetIntegerv(GL_DRAW_BUFFER, &draw);
  EXPECT_EQ(draw, GL_NONE);
  EXPECT_EQ(glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), GL_FRAMEBUFFER_COMPLETE_EXT);
  fb.end_render();
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST_F(GlWindow, AnIncompleteFramebufferIsDumpedAndFatal) {
  OGL_load_tex_slot = alpha_load;
  OGL_tex_slot_info = alpha_info;
  OGL_framebuffer fb(k_slot, 6, 0, 64, 64, 0, 0, "broken one");
  EXPECT_FATAL_ALERT(fb.begin_render(1), "ERROR: incomplete framebuffer.");
  EXPECT_THAT(fly_test::alerts().back().s2, HasSubstr("GL_FRAMEBUFFER_INCOMPLETE"));
  const std::string log = fly_test::log_text();
  EXPECT_THAT(log, HasSubstr("Info for FBO: " + std::to_string(fb.fbo) + " (broken one)\n"));
  EXPECT_THAT(log, HasSubstr("   Attachment GL_COLOR_ATTACHMENT0_EXT: 0\n"));
  EXPECT_THAT(log, HasSubstr("   Attachment GL_DEPTH_ATTACHMENT_EXT: GL_TEXTURE "));
  EXPECT_THAT(log, HasSubstr("       Mip level 0: 64 x 64 format = "));
  glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  OGL_dump_fbo("none");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("FBO none ID: 0 is not a real FBO object.\n"));
}

TEST_F(CopyPathWindow, ALargeRequestShrinksToTheWindowAndIsCopied) {
  ASSERT_EQ(glExt.framebuf_avail, 0);
  ASSERT_EQ(mnw.window_dx, 1024);
  ASSERT_EQ(mnw.window_dy, 768);
  OGL_framebuffer fb(k_slot, k_rgba, fbo_depth, 2048, 2048, 0, 0, "copy");
  EXPECT_EQ(fb.fbo, 0u);
  LoadCounter loads;
  const std::vector<int> view = gl_viewport();
  fb.begin_render(1);
  EXPECT_EQ(fb.width, 1024);
  EXPECT_EQ(fb.height, 512);
  EXPECT_EQ(g_load_name, "scratch_array-mTexID");
  EXPECT_EQ(g_load_flags, static_cast<unsigned>(k_rgba | 0x10080));
  EXPECT_EQ(gl_viewport(), (std::vector<int>{0, 0, 1024, 512}));
  fill(1, 0, 0);
  fb.end_render();
  EXPECT_EQ(gl_viewport(), view);
  int dx = 0, dy = 0;
  std::vector<uint8_t> px = texture_of(k_slot, &dx, &dy);
  EXPECT_EQ(dx, 1024);
  EXPECT_EQ(dy, 512);
  EXPECT_TRUE(all_pixels(px, 255, 0, 0));

  fb.begin_render(1);  // unchanged size: nothing loaded
  fb.end_render();
  EXPECT_EQ(g_loads, 1);
}

TEST(Framebuffer, AWindowOfNoPixelsStillRendersOne) {
  fly_test::gl_recorder rec;
  glExt.framebuf_avail = 0;
  const int dx = mnw.window_dx, dy = mnw.window_dy;
  mnw.window_dx = 0;
  mnw.window_dy = 0;
  OGL_framebuffer fb(k_slot, k_rgba, 0, 256, 256, 0, 0, "tiny");
  fb.begin_render(0);
  EXPECT_EQ(fb.width, 1);
  EXPECT_EQ(fb.height, 1);
  EXPECT_EQ(mnw.draw_dx, 1);
  fb.end_render();
  ASSERT_EQ(rec.count("CopyTexSubImage2D"), 1);
  EXPECT_EQ(rec.named("CopyTexSubImage2D")[0].args[6], 1);
  EXPECT_EQ(rec.named("CopyTexSubImage2D")[0].args[7], 1);
  mnw.window_dx = dx;
  mnw.window_dy = dy;
}

TEST_F(GlWindow, ThreeTargetsFillTogetherAndMipmapsFollowTheRender) {
  OGL_framebuffer fb(k_slot, k_rgba | 8, fbo_three_targets, 64, 64, 0, 0, "three");
  EXPECT_TRUE(fb.three_targets);
  LoadCounter loads;
  fb.begin_render(1);
  EXPECT_EQ(g_loads, 3);
  GLint draw1 = 0;
  gl.GetIntegerv(GL_DRAW_BUFFER1_ARB, &draw1);
  EXPECT_EQ(draw1, GL_COLOR_ATTACHMENT1_EXT);
  fill(1, 1, 0);
  fb.end_render();
  int dx = 0, dy = 0;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(all_pixels(texture_of(k_slot + i, &dx, &dy), 255, 255, 0)) << i;
  // Level 1 exists and holds the render: the mipmaps were made after it.
  unsigned name = 0;
  ASSERT_TRUE(OGL_tex_slot_info(k_slot, &name, &dx, &dy));
  gl.BindTexture(GL_TEXTURE_2D, name);
  GLint w1 = 0;
  gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &w1);
  ASSERT_EQ(w1, 32);
  std::vector<uint8_t> level1(32 * 32 * 4);
  gl.GetTexImage(GL_TEXTURE_2D, 1, GL_RGBA, GL_UNSIGNED_BYTE, level1.data());
  EXPECT_TRUE(all_pixels(level1, 255, 255, 0));
}
