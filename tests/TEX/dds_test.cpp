#include <squish.h>

#include <random>

#include "OGL/colr.h"
#include "TEX/TEX_dds.h"
#include "fixtures.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

int load(const std::string& bytes, TEX_image_desc& d, int64_t* offset = nullptr) {
  mem_file f(bytes);
  unsigned char* px = nullptr;
  const int r = TEX_load_dds("t.dds", f.map, px, d);
  if (r && offset) *offset = reinterpret_cast<char*>(px) - f.buf;
  return r;
}

dds_spec chain(const char* cc, int w, int h) {
  dds_spec s;
  s.fourcc = cc;
  s.width = w;
  s.height = h;
  TEX_image_desc d{std::string(cc) == "DXT1" ? uint32_t(GL_COMPRESSED_RGB_S3TC_DXT1_EXT)
                                             : uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT),
                   w, h, 0, 1};
  s.data.assign(size_t(TEX_bytes_needed_for_image(d)), '\x11');
  return s;
}

}  // namespace

TEST(DdsRead, FormatsAndMipmapFlags) {
  TEX_image_desc d{};
  int64_t off = 0;
  ASSERT_EQ(load(dds_bytes(chain("DXT1", 8, 4)), d, &off), 1);
  EXPECT_EQ(d.format, uint32_t(GL_COMPRESSED_RGB_S3TC_DXT1_EXT));
  EXPECT_EQ(d.width, 8);
  EXPECT_EQ(d.height, 4);
  EXPECT_EQ(d.has_mipmaps, 1);
  EXPECT_EQ(off, 128);
  dds_spec s = chain("DXT5", 4, 4);
  ASSERT_EQ(load(dds_bytes(s), d), 1);
  EXPECT_EQ(d.format, uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT));
  s.fourcc = "DXT3";
  ASSERT_EQ(load(dds_bytes(s), d), 1);
  EXPECT_EQ(d.format, uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT));
  s.fourcc = "DXT2";
  EXPECT_EQ(load(dds_bytes(s), d), 0);
  // Mipmap count flag without the caps bit: no chain.
  s = chain("DXT1", 4, 4);
  s.caps = 0x1000;
  ASSERT_EQ(load(dds_bytes(s), d), 1);
  EXPECT_EQ(d.has_mipmaps, 0);
  // FourCC and RGB without alpha: plain BGR, 24 bits a pixel.
  dds_spec b;
  b.width = 2, b.height = 2, b.pf_flags = 0x4 | 0x40, b.bits = 24, b.flags = 0x1007;
  b.data.assign(12, 'x');
  ASSERT_EQ(load(dds_bytes(b), d), 1);
  EXPECT_EQ(d.format, uint32_t(GL_BGR));
  b.pf_flags = 0x40 | 0x1, b.bits = 32;
  b.data.assign(16, 'x');
  ASSERT_EQ(load(dds_bytes(b), d), 1);
  EXPECT_EQ(d.format, uint32_t(GL_BGRA));
  b.pf_flags = 0;
  EXPECT_EQ(load(dds_bytes(b), d), 0);
}

TEST(DdsRead, ShortOrLyingFilesAreRefused) {
  TEX_image_desc d{};
  const std::string good = dds_bytes(chain("DXT5", 16, 16));
  EXPECT_EQ(load(good, d), 1);
  EXPECT_EQ(load(good.substr(0, good.size() - 1), d), 0);  // chain one byte short
  EXPECT_EQ(load(good.substr(0, 127), d), 0);              // header cut
  EXPECT_EQ(load(good.substr(0, 4), d), 0);
  EXPECT_EQ(load("", d), 0);
  dds_spec s = chain("DXT1", 4, 4);
  s.width = 0;
  EXPECT_EQ(load(dds_bytes(s), d), 0);
  s.width = 4, s.height = 0;
  EXPECT_EQ(load(dds_bytes(s), d), 0);
  s.height = int(0x80000000u);  // a side beyond int
  EXPECT_EQ(load(dds_bytes(s), d), 0);
  s.width = s.height = 65536;  // plausible, but the file holds one block
  EXPECT_EQ(load(dds_bytes(s), d), 0);
  // Bit counts that do not match the bytes a pixel are refused.
  dds_spec b;
  b.width = b.height = 2, b.flags = 0x1007, b.data.assign(16, 'x');
  for (auto [flags, bits] : {std::pair{0x40u, 32u}, {0x41u, 24u}, {0x40u, 16u}, {0x41u, 0u}}) {
    b.pf_flags = flags, b.bits = bits;
    EXPECT_EQ(load(dds_bytes(b), d), 0) << flags << " " << bits;
  }
}

TEST(DdsBlocks, TransparentTexelAndDxt5AlphaRows) {
  colr.gamma_on = 0;
  unsigned char eq[8] = {0x34, 0x12, 0x34, 0x12, 0xC0, 0, 0, 0};
  EXPECT_EQ(nv_flip_blocks_dxtc1(eq, 1, 0), 1);
  unsigned char four[8] = {0x35, 0x12, 0x34, 0x12, 0xC0, 0, 0, 0};
  EXPECT_EQ(nv_flip_blocks_dxtc1(four, 1, 0), 0);
  EXPECT_EQ(four[7], 0xC0);  // index bytes reversed
  EXPECT_EQ(nv_flip_blocks_dxtc1(four, 1, 1), 1);  // found passes through

  // Rows 0..3 of 3-bit indices with values r: row r holds four times r.
  unsigned char a[8] = {7, 3};
  uint64_t bits = 0;
  for (int r = 0; r < 4; ++r)
    for (int t = 0; t < 4; ++t) bits |= uint64_t(r) << (12 * r + 3 * t);
  for (int i = 0; i < 6; ++i) a[2 + i] = static_cast<unsigned char>(bits >> (8 * i));
  nv_flip_dxt5_alpha(a);
  uint64_t out = 0;
  for (int i = 0; i < 6; ++i) out |= uint64_t(a[2 + i]) << (8 * i);
  for (int r = 0; r < 4; ++r)
    for (int t = 0; t < 4; ++t) EXPECT_EQ((out >> (12 * r + 3 * t)) & 7, uint64_t(3 - r));
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[1], 3);

  unsigned char d3[16] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 9, 10, 11, 12};
  nv_flip_blocks_dxtc3(d3, 1, 0);
  EXPECT_EQ(std::vector<unsigned char>(d3, d3 + 16),
            (std::vector<unsigned char>{7, 8, 5, 6, 3, 4, 1, 2, 0, 0, 0, 0, 12, 11, 10, 9}));
}

TEST(DdsBlocks, GammaKeepsTheBlockMode) {
  colr.gamma_on = 1;
  // A ramp that raises every value: with 4-colour c0 > c1 and both mapped to
  // white, the endpoints must stay different and ordered.
  for (int i = 0; i < 256; ++i) colr.gamma_ramp[i] = 255;
  unsigned char b[8] = {0x02, 0x00, 0x01, 0x00, 0x1B, 0xE4, 0x00, 0xFF};
  nv_gamma_correct(b);
  const uint16_t c0 = uint16_t(b[0] | b[1] << 8), c1 = uint16_t(b[2] | b[3] << 8);
  EXPECT_EQ(c0, 0xFFFF);
  EXPECT_EQ(c1, 0xFFDF);
  EXPECT_EQ(b[4], 0x1B ^ 0x55);  // every index traded 0<->1, 2<->3
  // Identity ramp: unchanged.
  for (int i = 0; i < 256; ++i) colr.gamma_ramp[i] = static_cast<unsigned char>(i);
  unsigned char k[8] = {0x10, 0x84, 0x08, 0x21, 1, 2, 3, 4};
  const std::vector<unsigned char> keep(k, k + 8);
  nv_gamma_correct(k);
  EXPECT_EQ(std::vector<unsigned char>(k, k + 8), keep);
  // An inverting ramp reverses the order: a 3-colour block swaps its
  // endpoints back and trades indices 0 and 1 only.
  for (int i = 0; i < 256; ++i) colr.gamma_ramp[i] = static_cast<unsigned char>(255 - i);
  unsigned char t[8] = {0x00, 0x00, 0xFF, 0xFF, 0xE4, 0, 0, 0};  // c0 < c1: 3-colour
  nv_gamma_correct(t);
  EXPECT_LE(uint16_t(t[0] | t[1] << 8), uint16_t(t[2] | t[3] << 8));
  EXPECT_EQ(t[4], 0xE1);  // 3 2 1 0 -> 3 2 0 1
  colr = colr_class();
}

TEST(DdsSquish, EncodeDecodeEveryQualityAndFormat) {
  const int w = 16, h = 8;
  std::vector<unsigned char> px(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &px[(size_t(y) * w + x) * 4];
      p[0] = static_cast<unsigned char>(x * 16);
      p[1] = static_cast<unsigned char>(y * 32);
      p[2] = 128;
      p[3] = static_cast<unsigned char>((x + y) * 10);
    }
  const TEX_image_desc src{GL_RGBA, w, h, 0, 0};
  for (uint32_t f : {uint32_t(GL_COMPRESSED_RGB_S3TC_DXT1_EXT),
                     uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT),
                     uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT),
                     uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT)})
    for (int q : {s3tc_fast, s3tc_normal, s3tc_best}) {
      const TEX_image_desc dst{f, w, h, 0, 0};
      const size_t n = size_t(TEX_bytes_needed_for_image(dst));
      const bool dxt1 = f == GL_COMPRESSED_RGB_S3TC_DXT1_EXT || f == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
      ASSERT_EQ(n, size_t(w / 4) * (h / 4) * (dxt1 ? 8 : 16));
      // The blocks are written exactly to their size: a guard after them stays.
      std::vector<unsigned char> blocks(n + 64, 0xA5);
      TEX_encode_s3tc(src, dst, px.data(), blocks.data(), q);
      EXPECT_EQ(std::vector<unsigned char>(blocks.begin() + n, blocks.end()),
                std::vector<unsigned char>(64, 0xA5));
      // DXT3 and DXT5 use all 16 bytes a block: the second half is colour.
      if (!dxt1) {
        int nonzero = 0;
        for (size_t b = 8; b < n; b += 16) nonzero += blocks[b] | blocks[b + 1];
        EXPECT_GT(nonzero, 0);
      }
      std::vector<unsigned char> back(px.size(), 0);
      TEX_decode_s3tc(dst, src, blocks.data(), back.data());
      int worst = 0;
      for (size_t i = 0; i < px.size(); ++i) {
        // DXT1 keeps 1-bit alpha: texels below half alpha become transparent black.
        if (dxt1 && (i % 4 == 3 || px[i - i % 4 + 3] < 128)) continue;
        worst = std::max(worst, std::abs(int(back[i]) - int(px[i])));
      }
      EXPECT_LT(worst, 64) << std::hex << f << " q" << q;
      // Compared with squish called by hand with named flags.
      const int kind = dxt1 ? squish::kDxt1 : f == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT ? squish::kDxt3
                                                                                   : squish::kDxt5;
      const int fit = q == 0 ? squish::kColourRangeFit
                      : q == 2 ? squish::kColourIterativeClusterFit
                               : squish::kColourClusterFit;
      std::vector<unsigned char> ref(n);
      squish::CompressImage(px.data(), w, h, ref.data(), kind | fit);
      EXPECT_TRUE(std::equal(ref.begin(), ref.end(), blocks.begin()));
    }
}

TEST(DdsWrite, EightByEightRgbaMakesAFullDxt5Chain) {
  std::vector<unsigned char> px(8 * 8 * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i);
  ASSERT_TRUE(TEX_save_dds("out.dds", px.data(), TEX_image_desc{GL_RGBA, 8, 8, 0, 0}));
  const std::string f = fly_test::read_file("out.dds");
  ASSERT_EQ(f.size(), 128u + 64 + 16 + 16 + 16);
  EXPECT_EQ(f.substr(0, 4), "DDS ");
  EXPECT_EQ(f.substr(84, 4), "DXT5");
  auto at = [&](size_t o) { return uint32_t(uint8_t(f[o])) | uint32_t(uint8_t(f[o + 1])) << 8 |
                                   uint32_t(uint8_t(f[o + 2])) << 16 | uint32_t(uint8_t(f[o + 3])) << 24; };
  EXPECT_EQ(at(4), 124u);
  EXPECT_EQ(at(8), 0xA1007u);
  EXPECT_EQ(at(20), 64u);
  EXPECT_EQ(at(28), 4u);
  EXPECT_EQ(at(76), 32u);
  EXPECT_EQ(at(108), 0x401008u);
  // It reads back as a DXT5 chain, and its top level decodes to the input
  // turned top row first.
  TEX_image_desc d{};
  ASSERT_EQ(load(f, d), 1);
  EXPECT_EQ(d.has_mipmaps, 1);
  std::vector<unsigned char> back(px.size());
  squish::DecompressImage(back.data(), 8, 8, f.data() + 128, squish::kDxt5);
  int worst = 0;
  for (int y = 0; y < 8; ++y)
    for (int i = 0; i < 32; ++i)
      worst = std::max(worst, std::abs(int(back[y * 32 + i]) - int(px[(7 - y) * 32 + i])));
  EXPECT_LT(worst, 40);

  // RGB gives DXT1, odd sizes a chain down to 1 x 1.
  std::vector<unsigned char> rgb(5 * 3 * 3, 200);
  ASSERT_TRUE(TEX_save_dds("odd.dds", rgb.data(), TEX_image_desc{GL_RGB, 5, 3, 0, 0}));
  const std::string g = fly_test::read_file("odd.dds");
  EXPECT_EQ(g.substr(84, 4), "DXT1");
  EXPECT_EQ(g.size(), 128u + 16 + 8 + 8);  // 5x3, 2x1, 1x1
  EXPECT_EQ(load(g, d), 1);

  EXPECT_FALSE(TEX_save_dds("no/folder/x.dds", px.data(), TEX_image_desc{GL_RGBA, 8, 8, 0, 0}));
  if (fly_test::file_exists("/dev/full")) {
    std::vector<unsigned char> big(256 * 256 * 4, 1);
    EXPECT_FALSE(TEX_save_dds("/dev/full", big.data(), TEX_image_desc{GL_RGBA, 256, 256, 0, 0}));
    EXPECT_TRUE(fly_test::file_exists("/dev/full"));
  }
  EXPECT_FATAL_ALERT(TEX_save_dds("x.dds", px.data(), TEX_image_desc{GL_BGRA, 8, 8, 0, 0}),
                     "rel_assert Error!");
}
