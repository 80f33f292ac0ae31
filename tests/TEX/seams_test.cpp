// The texture layer wired into the drawing layer and the scenery scanner at
// TEX_init: font and background slots, image reading and writing, and the
// REGION_BITMAP masks.
#include <cstdlib>

#include "Files/io_locate.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_seams.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_caps.h"
#include "TEX/TEX_scratch.h"
#include "UTL/resource.h"
#include "fixtures.h"
#include "support/gl_record.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

class SeamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TEX_caps = TEX_caps_class{};
    mnw.tex_res_level = 5;
    tman.TEX_init();
    rec.clear();
  }
  int uploads() { return rec.count("TexImage2D") + rec.count("TexSubImage2D"); }
  fly_test::gl_recorder rec;
};

}  // namespace

TEST_F(SeamsTest, StartUpPointsEverySeamAtTheTextureLayer) {
  EXPECT_NE(OGL_load_rgba_image, nullptr);
  EXPECT_NE(DSF_bitmap_loader, nullptr);
  ASSERT_NE(tman.placeholder, nullptr);
  EXPECT_EQ(tman.placeholder, tman.fetch_ref(950));
}

TEST_F(SeamsTest, FontAndBackgroundSlotsLoadThroughTheManager) {
  std::vector<unsigned char> glyphs(1024 * 4, 0);
  glyphs[5] = 200;
  ASSERT_EQ(OGL_load_tex_slot(411, glyphs.data(), 1024, 4, 1, 0x10083, "scratch_array-fonts"), 1);
  auto ti = rec.named("TexImage2D");
  ASSERT_EQ(ti.size(), 1u);
  EXPECT_EQ(std::vector<double>(ti[0].args.begin(), ti[0].args.begin() + 8),
            (std::vector<double>{GL_TEXTURE_2D, 0, GL_ALPHA, 1024, 4, 0, GL_ALPHA, GL_UNSIGNED_BYTE}));
  EXPECT_EQ(scratch_array[5], 200);
  EXPECT_EQ(tman.get_path(411), "scratch_array-fonts");
  // The cache grew a glyph but not its size: the same texture, in place.
  glyphs[6] = 100;
  ASSERT_EQ(OGL_load_tex_slot(411, glyphs.data(), 1024, 4, 1, 0x10083, "scratch_array-fonts"), 1);
  EXPECT_EQ(rec.count("TexSubImage2D"), 1);
  EXPECT_EQ(rec.count("GenTextures"), 1);

  // Binding: once, then the cache answers (the upload left it bound: forget).
  rec.clear();
  TEX_reset_bind();
  OGL_bind_tex_slot(411, 0, 0);
  OGL_bind_tex_slot(411, 0, 0);
  EXPECT_EQ(rec.count("BindTexture"), 1);
  // A slot the drawing layer has not filled yet binds the placeholder.
  OGL_bind_tex_slot(412, 0, 0);
  EXPECT_EQ(rec.named("BindTexture").back().args[1], 950);

  // A picture stored at its own size (0x1000) is padded nowhere.
  std::vector<unsigned char> tile(256 * 192 * 4, 9);
  rec.clear();
  ASSERT_EQ(OGL_load_tex_slot(447, tile.data(), 256, 192, 4, 0x11182, "scratch_array-any"), 1);
  EXPECT_EQ(tman.tex_dx_tot(447), 256);
  EXPECT_EQ(tman.tex_dy_tot(447), 192);
  // A picture smaller than its power-of-two store is laid out in its rows.
  std::vector<unsigned char> odd(3 * 2 * 4, 7);
  ASSERT_EQ(OGL_load_tex_slot(448, odd.data(), 3, 2, 4, 0x10182, "scratch_array-odd"), 1);
  EXPECT_EQ(tman.tex_dx_tot(448), 4);
  EXPECT_EQ(tman.tex_dx_vis(448), 3);
  EXPECT_EQ(scratch_array[4 * 4 + 11], 7);  // row 1, pixel 2
  EXPECT_EQ(scratch_array[4 * 4 + 12], 0);  // row 1, margin

  // Pixels that do not match the colour code, or no pixels, are refused.
  EXPECT_EQ(OGL_load_tex_slot(449, tile.data(), 256, 192, 3, 0x11182, "scratch_array-any"), 0);
  EXPECT_EQ(OGL_load_tex_slot(449, nullptr, 256, 192, 4, 0x11182, "scratch_array-any"), 0);
  EXPECT_EQ(OGL_load_tex_slot(449, tile.data(), 4096, 1, 4, 0x11182, "scratch_array-any"), 0);
  EXPECT_FALSE(tman.tex_exists(449));
}

TEST_F(SeamsTest, ASecondIdenticalFrameOfTextUploadsAndBindsNothing) {
  UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/");
  MACIBM_fill_tables();
  mnw.window_type = 0;
  mnw.window_dx = 1024;
  mnw.window_dy = 768;
  OGL_string(0, 10, 10, "Install Flyvane", 9999, font_regular, 0);
  EXPECT_EQ(uploads(), 1);
  EXPECT_TRUE(tman.tex_loaded(411));
  EXPECT_EQ(tman.tex_mode(411), GL_ALPHA);
  rec.clear();
  OGL_string(0, 10, 10, "Install Flyvane", 9999, font_regular, 0);
  EXPECT_EQ(uploads(), 0);
  EXPECT_EQ(rec.count("BindTexture"), 0);
  // Only blank glyphs: nothing to upload, and the bind does not fail.
  OGL_string(0, 10, 10, "   ", 9999, font_bold, 0);
  EXPECT_EQ(uploads(), 0);
  UTL_set_resource_folder("");
}

TEST_F(SeamsTest, ImagesAreWrittenAsPngAndReadBackBottomRowFirst) {
  const unsigned char px[3 * 2 * 4] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 128,
                                       10, 11, 12, 255, 13, 14, 15, 0, 16, 17, 18, 255};
  ASSERT_EQ(OGL_write_png("shot.png", px, 3, 2, 4), 1);
  EXPECT_EQ(fly_test::read_file("shot.png").substr(1, 3), "PNG");
  unsigned char* back = nullptr;
  int dx = 0, dy = 0;
  ASSERT_EQ(OGL_load_rgba_image("shot.png", 2048, &back, &dx, &dy), 1);
  EXPECT_EQ(dx, 3);
  EXPECT_EQ(dy, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 24),
            std::string(reinterpret_cast<const char*>(px), 24));
  free(back);
  // Larger than the caller allows, or not an image: refused.
  EXPECT_EQ(OGL_load_rgba_image("shot.png", 2, &back, &dx, &dy), 0);
  fly_test::write_file("junk.png", "not an image at all");
  EXPECT_EQ(OGL_load_rgba_image("junk.png", 2048, &back, &dx, &dy), 0);
  // RGB from the scratch image, as the screenshot leaves it.
  for (int i = 0; i < 6; ++i) scratch_array[i] = static_cast<unsigned char>(50 + i);
  ASSERT_EQ(OGL_write_png("rgb.png", scratch_array, 1, 2, 3), 1);
  ASSERT_EQ(OGL_load_rgba_image("rgb.png", 2048, &back, &dx, &dy), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 8), std::string("\x32\x33\x34\xff\x35\x36\x37\xff", 8));
  free(back);
  EXPECT_EQ(OGL_write_png("bad.png", px, 3, 2, 2), 0);
}

TEST_F(SeamsTest, RegionBitmapsAreReadAsAlphaMasks) {
  bmp_spec b;
  b.width = 360;
  b.height = 180;
  for (int r = 0; r < 180; ++r)
    for (int c = 0; c < 360; ++c) {
      const char v = static_cast<char>(c < 3 ? r : 0);
      b.bgr += std::string(3, v);
    }
  fly_test::write_file("Custom Scenery/pkg/mask.bmp", bmp_bytes(b));
  unsigned char* px = nullptr;
  int w = 0, h = 0;
  // Named with another suffix, as library files do: the .bmp beside it serves.
  ASSERT_EQ(DSF_bitmap_loader("Custom Scenery/pkg/mask.png", px, w, h), 1);
  EXPECT_EQ(w, 360);
  EXPECT_EQ(h, 180);
  // Rows bottom-up, one byte a pixel, no padding.
  EXPECT_EQ(px[0], 0);
  EXPECT_EQ(px[360 * 7 + 1], 7);
  EXPECT_EQ(px[360 * 179 + 2], 179);
  EXPECT_EQ(px[360 * 179 + 3], 0);
  free(px);
  px = reinterpret_cast<unsigned char*>(1);  // whatever the caller had
  EXPECT_EQ(DSF_bitmap_loader("Custom Scenery/pkg/none.png", px, w, h), 0);
  EXPECT_EQ(px, nullptr);
}
