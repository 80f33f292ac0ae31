// Texture objects loaded through the manager against the recording GL table:
// sizes, formats, the upload path and the failure rules.
#include "GenH/mnw.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_caps.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_scratch.h"
#include "fixtures.h"
#include "support/gl_record.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

struct upload {
  std::string how;  // "TexImage2D", "TexSubImage2D" or "Compressed"
  int level, internal, width, height;
  unsigned format;
  std::string bytes;  // level 0 of uncompressed uploads, every level of compressed ones
};
std::vector<upload> g_uploads;

size_t plain_bytes(unsigned format, int w, int h) {
  const size_t bpp = format == GL_RGBA || format == GL_BGRA ? 4 : format == GL_RGB || format == GL_BGR ? 3 : 1;
  return bpp * size_t(w) * size_t(h);
}

void APIENTRY tex_image(GLenum, GLint level, GLint internal, GLsizei w, GLsizei h, GLint, GLenum format,
                        GLenum, const void* px) {
  const char* p = static_cast<const char*>(px);
  g_uploads.push_back({"TexImage2D", level, internal, w, h, format,
                       level == 0 ? std::string(p, plain_bytes(format, w, h)) : std::string()});
}
void APIENTRY tex_sub_image(GLenum, GLint level, GLint, GLint, GLsizei w, GLsizei h, GLenum format,
                            GLenum, const void* px) {
  const char* p = static_cast<const char*>(px);
  g_uploads.push_back({"TexSubImage2D", level, 0, w, h, format,
                       level == 0 ? std::string(p, plain_bytes(format, w, h)) : std::string()});
}
void APIENTRY compressed(GLenum, GLint level, GLenum format, GLsizei w, GLsizei h, GLint, GLsizei n,
                         const void* px) {
  g_uploads.push_back({"Compressed", level, int(format), w, h, format,
                       std::string(static_cast<const char*>(px), size_t(n))});
}

class TexObjTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gl.TexImage2D = tex_image;
    gl.TexSubImage2D = tex_sub_image;
    g_uploads.clear();
    TEX_caps = TEX_caps_class{};
    TEX_reset_bind();
    mnw.tex_res_level = 5;
  }
  fly_test::gl_recorder rec;

  static int count_in_log(const std::string& what) {
    const std::string log = fly_test::log_text();
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  }
};

// An 8 x 8 DXT1 chain: 2 x 2 blocks, then one block for each of 4 x 4, 2 x 2
// and 1 x 1. With transparent set, the first block runs in 3-colour mode and
// uses its transparent index in its top texel row.
std::string dxt1_chain(bool transparent) {
  dds_spec s;
  s.width = s.height = 8;
  const std::string opaque("\x20\x00\x10\x00\x00\x00\x00\x00", 8);
  s.data = (transparent ? std::string("\x10\x00\x20\x00\x03\x00\x00\x00", 8) : opaque);
  for (int i = 0; i < 6; ++i) s.data += opaque;
  return dds_bytes(s);
}

}  // namespace

TEST_F(TexObjTest, A300By200PngIsStoredAt512By256WithRowZeroAtTheBottom) {
  fly_test::write_file("pics/t.png", png_rgba_pattern(300, 200));
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10082, tex_load_now, "pics/t.png"), 100);
  EXPECT_EQ(tman.tex_dx_vis(100), 300);
  EXPECT_EQ(tman.tex_dy_vis(100), 200);
  EXPECT_EQ(tman.tex_dx_tot(100), 512);
  EXPECT_EQ(tman.tex_dy_tot(100), 256);
  EXPECT_EQ(tman.tex_vram(100), 512 * 256 * 4);
  EXPECT_EQ(tman.tex_mode(100), GL_RGBA);
  EXPECT_EQ(tman.has_alpha(100), 1);
  EXPECT_EQ(count_in_log("has a size that is not a power of 2"), 1);
  EXPECT_EQ(count_in_log("WARNING: texture pics/t.png has a size that is not a power of 2; it may "
                         "not render correctly.\n"),
            1);

  ASSERT_EQ(g_uploads.size(), 1u);
  const upload& u = g_uploads[0];
  EXPECT_EQ(u.how, "TexImage2D");
  EXPECT_EQ(u.internal, GL_RGBA);
  EXPECT_EQ(u.width, 512);
  EXPECT_EQ(u.height, 256);
  // Row 0 is the picture's bottom row (y = 199 from the top).
  const auto px = [&](int x, int row) { return u.bytes.substr((size_t(row) * 512 + x) * 4, 4); };
  EXPECT_EQ(px(0, 0), std::string("\x00\xc7\xc7\xff", 4));
  EXPECT_EQ(px(10, 0), std::string("\x0a\xc7", 2) + char(10 ^ 199) + char(245));
  EXPECT_EQ(px(3, 199), std::string("\x03\x00\x03", 3) + char(252));
  EXPECT_EQ(px(300, 0)[3], 0);  // the power-of-two margin is transparent
  EXPECT_EQ(px(0, 200)[3], 0);

  // Sampling: linear, repeating; one texture name, bound on unit 0.
  EXPECT_EQ(rec.count("GenTextures"), 1);
  auto params = rec.named("TexParameteri");
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[0].args, (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}));
  EXPECT_EQ(params[2].args, (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}));
  EXPECT_EQ(rec.count("Flush"), 1);
}

TEST_F(TexObjTest, ResolutionLevelHalvesUnlessAFlagSaysOtherwise) {
  mnw.tex_res_level = 4;
  fly_test::write_file("p.png", png_rgba_pattern(256, 256));
  tman.load_texture(tex_fail_fatal, 100, 0x82, tex_load_now, "p.png");
  EXPECT_EQ(tman.tex_dx_vis(100), 128);
  EXPECT_EQ(tman.tex_dx_tot(100), 128);
  ASSERT_EQ(g_uploads.size(), 1u);
  EXPECT_EQ(g_uploads[0].width, 128);
  // Texel (0, 0) is the mean of the picture's bottom-left 2 x 2 block.
  EXPECT_EQ(static_cast<unsigned char>(g_uploads[0].bytes[1]), (255 + 254 + 255 + 254) / 4);
  tman.load_texture(tex_fail_fatal, 101, 0x4082, tex_load_now, "p.png");
  EXPECT_EQ(tman.tex_dx_tot(101), 256);

  // At 1/32 a 3 x 3 picture keeps one texel (ratio 1/3); its 4 x 4 store is
  // box-filtered by 2, never by 3.
  mnw.tex_res_level = 0;
  png_spec p;
  p.width = p.height = 3;
  p.rows = std::string(36, '\x60');
  fly_test::write_file("tiny.png", png_bytes(p));
  g_uploads.clear();
  tman.load_texture(tex_fail_fatal, 102, 0x2082, tex_load_now, "tiny.png");
  EXPECT_EQ(tman.tex_dx_vis(102), 1);
  ASSERT_EQ(g_uploads.size(), 1u);
  EXPECT_EQ(g_uploads[0].width, 2);
  EXPECT_EQ(g_uploads[0].bytes.substr(0, 4), std::string(4, '\x60'));
}

TEST_F(TexObjTest, AFailedLoadIsATwoByTwoErrorObjectThatBindsThePlaceholder) {
  tman.TEX_init();
  // The placeholder: 2 x 2 grey RGB under the fixed name 950, never generated.
  EXPECT_EQ(rec.count("GenTextures"), 0);
  ASSERT_EQ(g_uploads.size(), 1u);
  EXPECT_EQ(g_uploads[0].bytes, std::string(12, char(0x82)));
  EXPECT_EQ(g_uploads[0].format, GL_RGB);
  ASSERT_NE(tman.placeholder, nullptr);
  EXPECT_EQ(tman.placeholder->gl_name.load(), 950u);

  rec.clear();
  const std::string before = fly_test::log_text();
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 100, 0x81, tex_load_now, "missing.png"), 0);
  EXPECT_EQ(fly_test::log_text(), before);  // mode 0 logs nothing
  EXPECT_TRUE(tman.tex_exists(100));
  EXPECT_EQ(tman.tex_err(100), 1);
  EXPECT_EQ(tman.tex_loaded(100), 1);
  EXPECT_EQ(tman.tex_dx_tot(100), 2);
  EXPECT_EQ(tman.tex_vram(100), 0);
  EXPECT_EQ(tman.tex_mode(100), GL_RGB);
  EXPECT_TRUE(rec.calls().empty());
  TEX_reset_bind();  // the placeholder's own load left 950 bound
  tman.bind_ref(100, 0, 0);
  ASSERT_EQ(rec.named("BindTexture").size(), 1u);
  EXPECT_EQ(rec.named("BindTexture")[0].args[1], 950);

  // Installer failures are counted and logged, until muted.
  EXPECT_EQ(tman.load_texture(tex_fail_instl, 101, 0x81, tex_load_now, "gone.png"), 0);
  EXPECT_EQ(count_in_log("WARNING: we are missing the texture: gone.png.\n"), 1);
  EXPECT_EQ(tman.has_instl_load_fail(), 1);
  tman.mute_instl_load_fail();
  tman.load_texture(tex_fail_instl, 102, 0x81, tex_load_now, "gone2.png");
  EXPECT_EQ(tman.instl_fails.load(), 2);
  EXPECT_EQ(tman.has_instl_load_fail(), 0);

  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_fatal, 103, 0x81, tex_load_now, "RESOURCE:x.png"),
                     "Trying to load a texture that you do not have!");
  // A DDS without its mip chain fails like a missing file.
  dds_spec flat;
  flat.caps = 0x1000;
  flat.data.assign(8, '\0');
  fly_test::write_file("flat.dds", dds_bytes(flat));
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 104, 0x81, tex_load_now, "flat.tga"), 0);
  EXPECT_EQ(tman.tex_err(104), 1);
}

TEST_F(TexObjTest, ADxt1ChainWithATransparentBlockIsStoredAsDxt1WithAlpha) {
  static std::vector<upload>* sink = &g_uploads;
  (void)sink;
  TEX_caps.tex_comp_avail = 1;
  TEX_caps.glCompressedTexImage2DARB = compressed;
  fly_test::write_file("c.dds", dxt1_chain(true));
  fly_test::write_file("o.dds", dxt1_chain(false));
  // The .tga name is served by the .dds beside it.
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x10081, tex_load_now, "c.tga"), 100);
  ASSERT_EQ(g_uploads.size(), 4u);
  for (int l = 0; l < 4; ++l) {
    EXPECT_EQ(g_uploads[l].how, "Compressed");
    EXPECT_EQ(g_uploads[l].level, l);
    EXPECT_EQ(g_uploads[l].format, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
    EXPECT_EQ(g_uploads[l].width, 8 >> l);
    EXPECT_EQ(g_uploads[l].bytes.size(), l == 0 ? 32u : 8u);
  }
  // Turned upside down: the first block now starts the second block row,
  // its texel rows reversed.
  EXPECT_EQ(g_uploads[0].bytes.substr(16, 8), std::string("\x10\x00\x20\x00\x00\x00\x00\x03", 8));
  EXPECT_EQ(tman.tex_mode(100), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
  EXPECT_EQ(tman.has_alpha(100), 1);
  EXPECT_EQ(tman.tex_vram(100), 56);

  g_uploads.clear();
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 101, 0x10081, tex_load_now, "o.dds"), 101);
  EXPECT_EQ(g_uploads[0].format, GL_COMPRESSED_RGB_S3TC_DXT1_EXT);
  EXPECT_EQ(tman.has_alpha(101), 0);

  // Without compressed uploads the file cannot be used: a failure, not a
  // call through a null entry point.
  TEX_caps = TEX_caps_class{};
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 102, 0x10081, tex_load_now, "c.dds"), 0);
  EXPECT_EQ(tman.tex_err(102), 1);
}

TEST_F(TexObjTest, AReloadOfTheSameSizeUpdatesInPlaceOnlyOverEarlierStorage) {
  png_spec p;
  p.width = p.height = 2;
  p.colour = 2;
  p.rows = std::string(12, '\x40');
  // First a failed load: the object is 2 x 2 RGB, but GL holds nothing.
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 100, 0x10081, tex_load_now, "a.png"), 0);
  fly_test::write_file("a.png", png_bytes(p));
  ASSERT_EQ(tman.load_texture(tex_fail_silent, 100, 0x10081, tex_load_now, "a.png"), 100);
  ASSERT_EQ(g_uploads.size(), 1u);
  EXPECT_EQ(g_uploads[0].how, "TexImage2D");
  const unsigned name = tman.fetch_ref(100)->gl_name.load();
  EXPECT_NE(name, 0u);

  // Now a real same-size reload: the pixels of the same texture are replaced.
  p.rows = std::string(12, '\x41');
  fly_test::write_file("b.png", png_bytes(p));
  ASSERT_EQ(tman.load_texture(tex_fail_silent, 100, 0x10081, tex_load_now, "b.png"), 100);
  ASSERT_EQ(g_uploads.size(), 2u);
  EXPECT_EQ(g_uploads[1].how, "TexSubImage2D");
  EXPECT_EQ(g_uploads[1].bytes, std::string(12, '\x41'));
  EXPECT_EQ(tman.fetch_ref(100)->gl_name.load(), name);
  EXPECT_EQ(rec.count("GenTextures"), 1);
}

TEST_F(TexObjTest, TheScaleRuleHonoursFlagsLimitsAndGuardsItsDivision) {
  int vx, vy, tx, ty;
  mnw.tex_res_level = 3;  // 1/4
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0, 256, 1, 64, &vx, &vy, &tx, &ty, 2), 0.25f);
  EXPECT_EQ(vx, 64);
  EXPECT_EQ(vy, 16);
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0x8000, 256, 1, 64, &vx, &vy, &tx, &ty, 2), 0.125f);
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0x4000, 256, 1, 64, &vx, &vy, &tx, &ty, 2), 0.5f);
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0, 256, 1, 64, &vx, &vy, &tx, &ty, 1), 1.0f);
  // Never below one texel; the caller's ratio caps it.
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0, 2, 1, 2, &vx, &vy, &tx, &ty, 2), 0.5f);
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0x10000, 256, 0.5f, 64, &vx, &vy, &tx, &ty, 2), 0.5f);
  // Totals: powers of two, or the visible size with 0x1000.
  TEX_get_scale("s", 0x10000, 300, 1, 5, &vx, &vy, &tx, &ty, 2);
  EXPECT_EQ(tx, 512);
  EXPECT_EQ(ty, 8);
  TEX_get_scale("s", 0x11000, 300, 1, 5, &vx, &vy, &tx, &ty, 2);
  EXPECT_EQ(tx, 300);

  // The GL maximum halves the ratio; a maximum of 0 (not known) or below
  // leaves it alone instead of halving for ever.
  mnw.tex_res_level = 5;
  TEX_caps.max_tex_size = 128;
  EXPECT_FLOAT_EQ(TEX_get_scale("s", 0, 512, 1, 64, &vx, &vy, &tx, &ty, 2), 0.25f);
  for (int max : {0, -1}) {
    TEX_caps.max_tex_size = max;
    EXPECT_FLOAT_EQ(TEX_get_scale("s", 0, 512, 1, 64, &vx, &vy, &tx, &ty, 2), 1.0f);
    EXPECT_EQ(vx, 512);
  }

  // A side of 0 is refused before 1 / width is taken; 4096 even when it would
  // be scaled down.
  EXPECT_FATAL_ALERT(TEX_get_scale("zero", 0, 0, 1, 64, &vx, &vy, &tx, &ty, 2),
                     "Trying to create a texture either less than 1 or greater than 2048!");
  EXPECT_EQ(fly_test::alerts().back().s2, "zero");
  EXPECT_EQ(fly_test::alerts().back().s4, "0");
  mnw.tex_res_level = 2;
  EXPECT_FATAL_ALERT(TEX_get_scale("big", 0, 4096, 1, 64, &vx, &vy, &tx, &ty, 2),
                     "Trying to create a texture either less than 1 or greater than 2048!");
}

TEST_F(TexObjTest, ADdsChainBoundForTheScratchStoreIsCheckedBeforeTheCopy) {
  // 2048 x 2048 BGRA with its chain: about 22 MiB, more than the 16 MiB store.
  dds_spec s;
  s.width = s.height = 2048;
  s.pf_flags = 0x41;
  s.bits = 32;
  s.fourcc = "";
  TEX_image_desc d{GL_BGRA, 2048, 2048, 0, 1};
  s.data.assign(size_t(TEX_bytes_needed_for_image(d)), '\x7f');
  fly_test::write_file("huge.dds", dds_bytes(s));
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_fatal, 100, 0x30087, tex_load_now, "huge.dds"),
                     "Trying to create a texture either less than 1 or greater than 2048!");
  EXPECT_TRUE(g_uploads.empty());
  // Halved, the rest of the chain fits. (A re-pointed slot keeps its flags:
  // a fresh one.)
  ASSERT_EQ(tman.load_texture(tex_fail_fatal, 101, 0x28087, tex_load_now, "huge.dds"), 101);
  EXPECT_EQ(tman.tex_dx_tot(101), 1024);
  ASSERT_EQ(g_uploads.size(), 11u);  // 1024 down to 1
  EXPECT_EQ(g_uploads[0].internal, GL_RGBA);
  EXPECT_EQ(g_uploads[0].format, GL_BGRA);
}

TEST_F(TexObjTest, MisuseIsFatal) {
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_silent, 100, 0x40000, tex_load_now, "x.png"),
                     "Trying to bind an invalid filter type!");
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_silent, 101, 0x80, tex_load_now, "x.png"),
                     "BAD color enum for tman");
  fly_test::write_file("odd.dds", [] {
    dds_spec s;
    s.width = 12;
    s.height = 4;
    s.data.assign(3 * 8 + 2 * 8 + 8 + 8, '\0');
    return dds_bytes(s);
  }());
  TEX_caps.tex_comp_avail = 1;
  TEX_caps.glCompressedTexImage2DARB = compressed;
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_silent, 102, 0x81, tex_load_now, "odd.dds"),
                     "Error: the texture");
}
