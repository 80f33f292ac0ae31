#include "OGL/colr.h"
#include "TEX/TEX_bmp.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_scratch.h"
#include "fixtures.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

struct loaded {
  int ok = 0;
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  ~loaded() { free(px); }
  std::vector<unsigned char> bytes(size_t n) const { return {px, px + n}; }
};

void load(loaded& out, const std::string& bytes, unsigned long fmt, int pow2) {
  mem_file f(bytes);
  out.ok = TEX_load_bmp("t.bmp", f.map, out.px, fmt, 0, pow2, out.d);
}

bmp_spec two_by_two() {
  bmp_spec b;
  b.width = b.height = 2;
  // bottom row: white, magenta; top row: red (B G R = 0 0 255), (1 2 3)
  b.bgr = std::string("\xFF\xFF\xFF\xFF\x00\xFF\x00\x00\xFF\x01\x02\x03", 12);
  return b;
}

}  // namespace

TEST(BmpRead, RgbaAlphaAndMagenta) {
  loaded r;
  load(r, bmp_bytes(two_by_two()), GL_RGBA, 0);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.d.width, 2);
  EXPECT_EQ(r.d.height, 2);
  EXPECT_EQ(r.d.pad, 0);
  EXPECT_EQ(r.bytes(16), (std::vector<unsigned char>{255, 255, 255, 255, 0, 0, 0, 0,  //
                                                     255, 0, 0, 255, 3, 2, 1, 255}));
  loaded a;
  load(a, bmp_bytes(two_by_two()), GL_ALPHA, 0);
  ASSERT_EQ(a.ok, 1);
  EXPECT_EQ(a.bytes(4), (std::vector<unsigned char>{255, 170, 85, 2}));
  // Gamma applies to the colour, not to the magenta test.
  colr.gamma_on = 1;
  for (int i = 0; i < 256; ++i) colr.gamma_ramp[i] = static_cast<unsigned char>(255 - i);
  loaded g;
  load(g, bmp_bytes(two_by_two()), GL_RGB, 0);
  EXPECT_EQ(g.bytes(12), (std::vector<unsigned char>{0, 0, 0, 0, 255, 0, 0, 255, 255, 252, 253,
                                                     254}));
  loaded gm;
  load(gm, bmp_bytes(two_by_two()), GL_RGBA, 0);
  EXPECT_EQ(gm.bytes(8), (std::vector<unsigned char>{0, 0, 0, 255, 0, 0, 0, 0}));
  colr = colr_class();
}

TEST(BmpRead, PowerOfTwoPaddingAndShortData) {
  fly_test::clear_alerts();
  bmp_spec b;
  b.width = b.height = 3;
  for (int i = 0; i < 27; ++i) b.bgr += char(10 + i);
  loaded r;
  load(r, bmp_bytes(b), GL_RGB, 1);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.d.pad, 3);
  for (int row = 0; row < 4; ++row)
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 3; ++c) {
        const int want = row < 3 && x < 3 ? 10 + row * 9 + x * 3 + (2 - c) : 0;
        EXPECT_EQ(r.px[row * 12 + x * 3 + c], want);
      }
  // Data cut after one and a half rows: the rest stays zero, no message.
  std::string cut = bmp_bytes(b);
  cut.resize(54 + 12 + 5);
  loaded s;
  load(s, cut, GL_RGB, 1);
  ASSERT_EQ(s.ok, 1);
  EXPECT_EQ(s.px[12 + 0], 10 + 9 + 2);  // row 1, pixel 0 complete
  EXPECT_EQ(s.px[12 + 3], 0);           // pixel 1 of row 1 is cut
  EXPECT_EQ(s.px[24], 0);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST(BmpRead, WrongDepthOrCompressionEndsTheProgram) {
  bmp_spec b = two_by_two();
  b.bits = 8;
  loaded r;
  EXPECT_FATAL_ALERT(load(r, bmp_bytes(b), GL_RGB, 0), "Wrong bitmap color depth for texture!");
  b.bits = 32;
  EXPECT_FATAL_ALERT(load(r, bmp_bytes(b), GL_RGB, 0), "Wrong bitmap color depth for texture!");
  b.bits = 24;
  b.compression = 1;
  EXPECT_FATAL_ALERT(load(r, bmp_bytes(b), GL_RGB, 0), "Bitmap is compressed!");
  EXPECT_FATAL_ALERT(load(r, bmp_bytes(two_by_two()), GL_BGRA, 0), "Illegal desired format");
}

TEST(BmpRead, HostileHeadersAreRefused) {
  const std::string good = bmp_bytes(two_by_two());
  auto with = [&](size_t off, uint32_t v) {
    std::string s = good;
    for (int i = 0; i < 4; ++i) s[off + i] = char(v >> (8 * i));
    return s;
  };
  const std::string cases[] = {
      good.substr(0, 30),               // cut inside the information header
      good.substr(0, 53),
      with(14, 12),                     // short (core) information header
      with(18, 0), with(22, 0),         // zero sizes
      with(22, uint32_t(-2)),           // top-down
      with(18, 2049), with(22, 100000), with(18, 0x7FFFFFFF),
      with(10, 20),                     // pixels inside the header
  };
  for (const auto& c : cases) {
    loaded r;
    load(r, c, GL_RGBA, 1);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.px, nullptr);
  }
  // An offset past the end, even one that wraps when added: a blank image.
  for (uint32_t off : {1000u, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
    loaded r;
    load(r, with(10, off), GL_RGBA, 1);
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(r.bytes(16), std::vector<unsigned char>(16, 0));
  }
  // Empty mapping: 0.
  loaded e;
  load(e, "", GL_RGBA, 0);
  EXPECT_EQ(e.ok, 0);
}

TEST(BmpRead, GivenBufferMustHoldTheImage) {
  std::vector<unsigned char> small(8, 0xEE);
  unsigned char* p = small.data();
  TEX_image_desc d{};
  mem_file f(bmp_bytes(two_by_two()));
  EXPECT_FATAL_ALERT(TEX_load_bmp("t.bmp", f.map, p, GL_RGBA, 0, 0, d, 8),
                     "Trying to create a texture either less than 1 or greater than 2048!");
  EXPECT_EQ(small, std::vector<unsigned char>(8, 0xEE));
  unsigned char* s = scratch_array;
  EXPECT_EQ(TEX_load_bmp("t.bmp", f.map, s, GL_RGBA, 0, 1, d), 1);
  EXPECT_EQ(scratch_array[3], 255);
}

TEST(BmpRead, LoadAnyChoosesByContentAndExtension) {
  fly_test::write_file("pic.bmp", bmp_bytes(two_by_two()));
  fly_test::write_file("short.png", "1234567");
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  EXPECT_EQ(TEX_load_any("pic.bmp", px, GL_RGB, 0, 0, d), 1);
  EXPECT_EQ(d.width, 2);
  free(px);
  px = nullptr;
  EXPECT_EQ(TEX_load_any("short.png", px, GL_RGB, 0, 0, d), 0);
  EXPECT_EQ(TEX_load_any("missing.png", px, GL_RGB, 0, 0, d), 0);
  fly_test::write_file("other.txt", "not an image at all");
  EXPECT_EQ(TEX_load_any("other.txt", px, GL_RGB, 0, 0, d), 0);
  // ".tga" is replaced: pic.png is missing, pic.bmp loads.
  EXPECT_EQ(TEX_load_any_ext("pic.tga", px, GL_RGB, 0, 0, d), 1);
  free(px);
  px = nullptr;
  // No three-letter suffix: ".png" then ".bmp" are appended to the whole name.
  EXPECT_EQ(TEX_load_any_ext("pic", px, GL_RGB, 0, 0, d), 1);
  free(px);
  px = nullptr;
  EXPECT_EQ(TEX_load_any_ext("nothing.bmp", px, GL_RGB, 0, 0, d), 0);
  EXPECT_EQ(px, nullptr);
}
