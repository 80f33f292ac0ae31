// The texture manager on a real context: what the driver holds after a load
// and what a textured quad draws.
#include "GenH/window.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_caps.h"
#include "fixtures.h"
#include "support/gl_count.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

// The harness starts the texture manager as start-up does.
using TexGl = GlWindow;

// Level 0 of the slot's texture as the driver returns it, RGBA.
std::vector<uint8_t> texels(int slot, int* w, int* h) {
  gl.BindTexture(GL_TEXTURE_2D, tman.fetch_ref(slot)->gl_name.load());
  gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, w);
  gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, h);
  std::vector<uint8_t> px(size_t(*w) * *h * 4);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.GetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  TEX_reset_bind();  // bound behind the cache's back
  return px;
}

// The slot's texture over (0, 0)-(w, h) in window pixels, texels 1:1.
void draw_slot(int slot, float w, float h) {
  OGL_setstate(1, 1, 3, 4, 9, 11);
  tman.bind_ref(slot, 0, 0);
  gl.Color4f(1, 1, 1, 1);
  gl.Begin(GL_QUADS);
  gl.TexCoord2f(0, 0);
  gl.Vertex2f(0, 0);
  gl.TexCoord2f(0, 1);
  gl.Vertex2f(0, h);
  gl.TexCoord2f(1, 1);
  gl.Vertex2f(w, h);
  gl.TexCoord2f(1, 0);
  gl.Vertex2f(w, 0);
  gl.End();
}

}  // namespace

TEST_F(TexGl, A300By200PngIsStored512By256AndDrawsRowZeroAtTheBottom) {
  fly_test::write_file("t.png", png_rgba_pattern(300, 200));
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10092, tex_load_now, "t.png"), 100);
  int w = 0, h = 0;
  const std::vector<uint8_t> t = texels(100, &w, &h);
  EXPECT_EQ(w, 512);
  EXPECT_EQ(h, 256);
  EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 4), (std::vector<int>{0, 199, 199, 255}));

  static fly_test::rgba low, high, grey;
  fly_test::set_frame([] {
    shell_hooks.plot_back_col();
    draw_slot(100, 512, 256);
    low = fly_test::pixel(10, 0);
    high = fly_test::pixel(10, 150);
    // A failed load draws the grey placeholder.
    tman.load_texture(tex_fail_silent, 101, 0x10081, tex_load_now, "missing.png");
    gl.PushMatrix();
    gl.Translatef(600, 0, 0);
    draw_slot(101, 50, 50);
    gl.PopMatrix();
    grey = fly_test::pixel(620, 20);
  });
  fly_test::run_frames(1);
  EXPECT_EQ((std::vector<int>{low.r, low.g, low.b}), (std::vector<int>{10, 199, 10 ^ 199}));
  EXPECT_EQ((std::vector<int>{high.r, high.g, high.b}), (std::vector<int>{10, 49, 10 ^ 49}));
  EXPECT_EQ((std::vector<int>{grey.r, grey.g, grey.b}), (std::vector<int>{130, 130, 130}));
}

TEST_F(TexGl, ADxt1ChainWithATransparentBlockReachesTheDriverWithAlpha) {
  ASSERT_TRUE(glExt.tex_comp_avail) << "the test driver offers compressed textures";
  ASSERT_NE(TEX_caps.glCompressedTexImage2DARB, nullptr);
  dds_spec s;
  s.width = s.height = 8;
  const std::string opaque("\x20\x00\x10\x00\x00\x00\x00\x00", 8);
  s.data = std::string("\x10\x00\x20\x00\x03\x00\x00\x00", 8);
  for (int i = 0; i < 6; ++i) s.data += opaque;
  fly_test::write_file("c.dds", dds_bytes(s));
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10089, tex_load_now, "c.dds"), 100);
  EXPECT_EQ(tman.tex_mode(100), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
  gl.BindTexture(GL_TEXTURE_2D, tman.fetch_ref(100)->gl_name.load());
  GLint internal = 0, compressed = 0;
  gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
  gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &compressed);
  EXPECT_EQ(internal, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
  EXPECT_EQ(compressed, 1);
  EXPECT_EQ(tman.tex_vram(100), static_cast<int>(32 * 1.33));  // level 0 as GL reports it
  int w = 0, h = 0;
  const std::vector<uint8_t> t = texels(100, &w, &h);
  ASSERT_EQ(w, 8);
  // The file's top-left texel is transparent: after the flip it is the
  // first texel of the top row.
  EXPECT_EQ(t[(7 * 8 + 0) * 4 + 3], 0);
  EXPECT_EQ(t[(7 * 8 + 1) * 4 + 3], 255);
  EXPECT_EQ(t[3], 255);
}

// Between held frames a bind waits for the swap, while the compressed
// upload goes through the extension table straight to the driver: it must
// still land in the texture being reloaded, not the one bound last.
TEST_F(TexGl, ACompressedReloadBetweenHeldFramesLandsInItsOwnTexture) {
  ASSERT_TRUE(glExt.tex_comp_avail) << "the test driver offers compressed textures";
  const auto solid = [](const char* rgb565) {  // an 8 x 8 chain of one colour
    dds_spec s;
    s.width = s.height = 8;
    for (int i = 0; i < 7; ++i) s.data += std::string(rgb565, 2) + std::string(rgb565, 2) +
                                          std::string(4, '\0');
    return dds_bytes(s);
  };
  fly_test::write_file("a.dds", solid("\x00\xF8"));  // red
  fly_test::write_file("b.dds", solid("\xE0\x07"));  // green
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10089, tex_load_now, "a.dds"), 100);
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 101, 0x10089, tex_load_now, "b.dds"), 101);
  fly_test::set_frame([] {
    shell_hooks.plot_back_col();
    draw_slot(101, 64, 64);
  });
  fly_test::run_frames(3);
  const long held = OGL_frames_held();
  fly_test::run_frames(2);
  ASSERT_EQ(OGL_frames_held(), held + 2);

  fly_test::write_file("a.dds", solid("\x1F\x00"));  // blue
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10089, tex_load_now, "a.dds"), 100);
  int w = 0, h = 0;
  const std::vector<uint8_t> a = texels(100, &w, &h), b = texels(101, &w, &h);
  EXPECT_EQ(std::vector<int>(a.begin(), a.begin() + 4), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(std::vector<int>(b.begin(), b.begin() + 4), (std::vector<int>{0, 255, 0, 255}));
}

TEST_F(TexGl, ARepeatedBindMakesNoGlCallAndAReloadKeepsTheNameEvenUnderKillTex) {
  png_spec p;
  p.width = p.height = 4;
  p.colour = 2;
  p.rows = std::string(48, '\x10');
  fly_test::write_file("a.png", png_bytes(p));
  p.rows = std::string(48, '\x70');
  fly_test::write_file("b.png", png_bytes(p));
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10081, tex_load_now, "a.png"), 100);
  const unsigned name = tman.fetch_ref(100)->gl_name.load();
  TEX_reset_bind();
  {
    fly_test::gl_counter count;
    tman.bind_ref(100, 0, 0);
    const int first = count.total();
    EXPECT_EQ(count.count("BindTexture"), 1);
    tman.bind_ref(100, 0, 0);
    tman.bind_ref(100, 0, 0);
    EXPECT_EQ(count.total(), first) << count.text();

    ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10081, tex_load_now, "b.png"), 100);
    EXPECT_EQ(count.count("TexSubImage2D"), 1);
    EXPECT_EQ(count.count("TexImage2D"), 0);
    EXPECT_EQ(count.count("GenTextures"), 0);
  }
  EXPECT_EQ(tman.fetch_ref(100)->gl_name.load(), name);
  int w = 0, h = 0;
  const std::vector<uint8_t> t = texels(100, &w, &h);
  EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 4), (std::vector<int>{0x70, 0x70, 0x70, 255}));
  EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));

  // The diagnostic switch swaps what draws, not what loads: the reload goes
  // into its own texture and the placeholder stays grey.
  gKillTex.value = 1;
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10081, tex_load_now, "a.png"), 100);
  gKillTex.value = 0;
  const std::vector<uint8_t> again = texels(100, &w, &h);
  EXPECT_EQ(std::vector<int>(again.begin(), again.begin() + 4),
            (std::vector<int>{0x10, 0x10, 0x10, 255}));
  const std::vector<uint8_t> grey = texels(tman_class::placeholder_slot, &w, &h);
  EXPECT_EQ(w * 10 + h, 22);
  for (size_t i = 0; i < grey.size(); ++i) EXPECT_EQ(grey[i], i % 4 == 3 ? 255 : 130) << i;
  EXPECT_EQ(gl.GetError(), GLenum(GL_NO_ERROR));
}
