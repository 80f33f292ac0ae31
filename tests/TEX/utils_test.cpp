#include <squish.h>

#include <random>

#include "OGL/colr.h"
#include "TEX/TEX_dds.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_scratch.h"
#include "support/test_util.h"

namespace {

TEX_image_desc D(uint32_t f, int w, int h, int pad = 0, int mip = 0) { return {f, w, h, pad, mip}; }

std::vector<unsigned char> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(g());
  return v;
}

}  // namespace

TEST(TexBytes, TableOfFormatsAndChains) {
  const struct { TEX_image_desc d; int64_t bytes; } cases[] = {
      {D(GL_RGBA, 1, 1, 0, 1), 4},
      {D(GL_RGBA, 4, 1, 0, 1), 16 + 8 + 4},
      {D(GL_RGB, 3, 2, 1), 2 * 10},
      {D(GL_BGR, 3, 2, 1), 2 * 10},
      {D(GL_BGRA, 2, 2, 3), 2 * 11},
      {D(GL_ALPHA, 5, 3, 2), 3 * 7},
      {D(GL_ALPHA, 4, 4, 1, 1), 4 * 5 + 2 * 3 + 1 * 2},  // pad stays on every level
      {D(GL_DEPTH_COMPONENT, 2, 3, 99), 24},              // pad ignored
      {D(GL_DEPTH_COMPONENT24, 2, 2), 16},
      {D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 5, 5), 32},
      {D(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 5, 5, 0, 1), 32 + 8 + 8},
      {D(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 8, 8), 64},
      {D(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 8, 8, 0, 1), 64 + 16 + 16 + 16},
      {D(GL_LUMINANCE, 4, 4), 0},
      {D(GL_RGBA, 0, 4), 0},
      // 64-bit: a hostile header cannot wrap the sum.
      {D(GL_RGBA, 1 << 20, 1 << 20), int64_t(1) << 42},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TEX_bytes_needed_for_image(c.d), c.bytes) << std::hex << c.d.format << std::dec
                                                       << " " << c.d.width << "x" << c.d.height;
  for (int w : {1, 3, 4, 17, 64})
    for (int h : {1, 2, 5, 64}) {
      EXPECT_EQ(TEX_bytes_needed_for_image(D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, w, h)),
                squish::GetStorageRequirements(w, h, squish::kDxt1));
      EXPECT_EQ(TEX_bytes_needed_for_image(D(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, w, h)),
                squish::GetStorageRequirements(w, h, squish::kDxt5));
    }
}

TEST(TexDownscale, BoxFilterShiftsAndStrides) {
  // 4 x 3 RGB by 2 x 2: 2 x 1; the third row is never read.
  std::vector<unsigned char> p(4 * 3 * 3);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>(i * 7);
  const std::vector<unsigned char> orig = p;
  TEX_image_desc d = D(GL_RGB, 4, 3);
  TEX_downscale(d, p.data(), 2, 2);
  EXPECT_EQ(d.width, 2);
  EXPECT_EQ(d.height, 1);
  for (int x = 0; x < 2; ++x)
    for (int c = 0; c < 3; ++c) {
      const auto at = [&](int xx, int yy) { return orig[size_t(yy) * 12 + size_t(xx) * 3 + c]; };
      EXPECT_EQ(p[size_t(x) * 3 + c],
                (at(2 * x, 0) + at(2 * x + 1, 0) + at(2 * x, 1) + at(2 * x + 1, 1)) >> 2);
    }

  // BGRA is 4 bytes a pixel and BGR 3: each channel stays in its place.
  for (uint32_t f : {uint32_t(GL_BGRA), uint32_t(GL_BGR), uint32_t(GL_RGBA)}) {
    const int b = f == GL_BGR ? 3 : 4;
    std::vector<unsigned char> q(size_t(4) * 4 * b);
    for (size_t i = 0; i < q.size(); ++i) q[i] = static_cast<unsigned char>(10 * (i % b) + 1);
    TEX_image_desc e = D(f, 4, 4);
    TEX_downscale(e, q.data(), 4, 4);
    ASSERT_EQ(e.width, 1);
    for (int c = 0; c < b; ++c) EXPECT_EQ(q[c], 10 * c + 1) << std::hex << f;
  }

  // Padded rows: the source is read with its stride, the output keeps pad.
  std::vector<unsigned char> r = {1, 3, 9, 9, 5, 7, 9, 9, 2, 2, 9, 9, 4, 4, 9, 9};
  TEX_image_desc a = D(GL_ALPHA, 2, 4, 2);
  TEX_downscale(a, r.data(), 2, 1);
  EXPECT_EQ(a.width, 1);
  EXPECT_EQ(a.height, 4);
  EXPECT_EQ(a.pad, 2);
  EXPECT_EQ(r[0], 2);   // (1 + 3) >> 1
  EXPECT_EQ(r[3], 6);   // row 1 at stride 1 + 2
  EXPECT_EQ(r[6], 2);
  EXPECT_EQ(r[9], 4);

  // Factors of 1, below 1 or beyond the image change nothing.
  const std::vector<unsigned char> keep = r;
  for (auto [fx, fy] : {std::pair{1, 1}, {0, 2}, {-2, 1}, {2, 1}, {1, 5}}) {
    TEX_image_desc same = a;
    TEX_downscale(same, r.data(), fx, fy);
    EXPECT_EQ(same.width, a.width);
    EXPECT_EQ(same.height, a.height);
    EXPECT_EQ(r, keep);
  }
}

TEST(TexFlip, PlainRowsMoveWithTheirPad) {
  std::vector<unsigned char> p = {1, 2, 3, 0xAA, 4, 5, 6, 0xBB, 7, 8, 9, 0xCC};
  TEX_flip_y(D(GL_RGB, 1, 3, 1), p.data());
  EXPECT_EQ(p, (std::vector<unsigned char>{7, 8, 9, 0xCC, 4, 5, 6, 0xBB, 1, 2, 3, 0xAA}));
  // With mipmaps each level turns on its own: 2 x 2 then 1 x 1.
  std::vector<unsigned char> m = {1, 2, 3, 4, 9};
  TEX_flip_y(D(GL_ALPHA, 2, 2, 0, 1), m.data());
  EXPECT_EQ(m, (std::vector<unsigned char>{3, 4, 1, 2, 9}));
}

TEST(TexFlip, DxtFlipTwiceIsIdentityAndRowsExchange) {
  colr.gamma_on = 0;
  for (uint32_t f : {uint32_t(GL_COMPRESSED_RGB_S3TC_DXT1_EXT),
                     uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT),
                     uint32_t(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT)}) {
    const TEX_image_desc d = D(f, 16, 32, 0, 1);
    auto p = random_bytes(size_t(TEX_bytes_needed_for_image(d)), f);
    const auto orig = p;
    TEX_flip_y(d, p.data());
    EXPECT_NE(p, orig);
    TEX_flip_y(d, p.data());
    EXPECT_EQ(p, orig) << std::hex << f;
  }
  // 8 x 12 DXT1: block rows 0 and 2 flip and trade places; row 1 stays.
  const TEX_image_desc d = D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 8, 12);
  auto p = random_bytes(48, 7);
  for (size_t b = 0; b < 6; ++b) {  // 4-colour blocks: no transparent texel
    p[b * 8] = 0xFF;
    p[b * 8 + 1] = 0xFF;
    p[b * 8 + 2] = 0;
    p[b * 8 + 3] = 0;
  }
  const auto orig = p;
  EXPECT_EQ(TEX_flip_y(d, p.data()), 0);
  for (int b = 0; b < 2; ++b) {
    const unsigned char* src = orig.data() + 32 + b * 8;  // old row 2 -> row 0
    const unsigned char* dst = p.data() + b * 8;
    EXPECT_TRUE(std::equal(src, src + 4, dst));
    EXPECT_EQ(dst[4], src[7]);
    EXPECT_EQ(dst[5], src[6]);
    EXPECT_EQ(dst[6], src[5]);
    EXPECT_EQ(dst[7], src[4]);
  }
  EXPECT_TRUE(std::equal(orig.begin() + 16, orig.begin() + 32, p.begin() + 16));
  // With mipmaps, the 4 x 6 level (one block row) and below stay as they are.
  const TEX_image_desc dm = D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 8, 12, 0, 1);
  auto q = random_bytes(size_t(TEX_bytes_needed_for_image(dm)), 9);
  const auto qo = q;
  TEX_flip_y(dm, q.data());
  EXPECT_TRUE(std::equal(qo.begin() + 48, qo.end(), q.begin() + 48));
}

TEST(TexFlip, TransparentDxt1TexelAndIllegalFormat) {
  colr.gamma_on = 0;
  // Block row 0 and 1 of an 4 x 8 image; colour 0 == colour 1 with index 3.
  unsigned char b[16] = {0x10, 0x00, 0x10, 0x00, 0xC0, 0, 0, 0, 0x20, 0, 0x10, 0, 0xC0, 0, 0, 0};
  EXPECT_EQ(TEX_flip_y(D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 4, 8), b), 1);
  unsigned char c[16] = {0x20, 0x00, 0x10, 0x00, 0xC0, 0, 0, 0, 0x20, 0, 0x10, 0, 0xC0, 0, 0, 0};
  EXPECT_EQ(TEX_flip_y(D(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 4, 8), c), 0);
  unsigned char z[16] = {};
  EXPECT_FATAL_ALERT(TEX_flip_y(D(GL_DEPTH_COMPONENT, 2, 2), z), "Illegal format!");
}

// The plain reading of the rule: every transparent pixel, every window.
static void naive_clean_edge(int w, int h, unsigned char* p) {
  const std::vector<unsigned char> src(p, p + size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* q = p + (size_t(y) * w + x) * 4;
      if (q[3]) continue;
      unsigned n = 0, s[3] = {0, 0, 0};
      for (int yy = std::max(0, y - 2); yy <= std::min(h - 1, y + 2); ++yy)
        for (int xx = std::max(0, x - 2); xx <= std::min(w - 1, x + 2); ++xx) {
          const unsigned char* r = src.data() + (size_t(yy) * w + xx) * 4;
          if (!r[3]) continue;
          ++n;
          for (int c = 0; c < 3; ++c) s[c] += r[c];
        }
      if (n)
        for (int c = 0; c < 3; ++c) q[c] = static_cast<unsigned char>(s[c] / n);
    }
}

TEST(TexCleanEdge, MatchesNaiveReferenceOnRandomImages) {
  std::mt19937 g(1234);
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {7, 9}, {64, 33}, {1100, 5}, {517, 40}}) {
    std::vector<unsigned char> p(size_t(w) * h * 4);
    for (size_t i = 0; i < p.size(); i += 4) {
      for (int c = 0; c < 3; ++c) p[i + c] = static_cast<unsigned char>(g());
      p[i + 3] = g() % 4 == 0 ? static_cast<unsigned char>(1 + g() % 255) : 0;
    }
    auto ref = p;
    naive_clean_edge(w, h, ref.data());
    TEX_clean_edge(D(GL_RGBA, w, h), p.data());
    EXPECT_EQ(p, ref) << w << "x" << h;
  }
  // Fully transparent: nothing changes; far from any opaque pixel: kept.
  std::vector<unsigned char> t(10 * 10 * 4, 0x33);
  for (size_t i = 3; i < t.size(); i += 4) t[i] = 0;
  const auto keep = t;
  TEX_clean_edge(D(GL_RGBA, 10, 10), t.data());
  EXPECT_EQ(t, keep);
  t[3] = 255;  // opaque (0, 0)
  t[0] = 90;
  TEX_clean_edge(D(GL_RGBA, 10, 10), t.data());
  EXPECT_EQ(t[(2 * 10 + 2) * 4], 90);
  EXPECT_EQ(t[(3 * 10 + 0) * 4], 0x33);
  EXPECT_EQ(t[(0 * 10 + 3) * 4], 0x33);
}

TEST(TexCleanEdge, PaddedRowsAndOtherFormats) {
  // 2 x 1 RGBA with 4 pad bytes a row, 2 rows: pad is never touched.
  std::vector<unsigned char> p = {50, 60, 70, 255, 1, 1, 1, 0, 9, 9, 9, 9,
                                  1,  1,  1,  0,   1, 1, 1, 0, 8, 8, 8, 8};
  TEX_clean_edge(D(GL_RGBA, 2, 2, 4), p.data());
  EXPECT_EQ(p, (std::vector<unsigned char>{50, 60, 70, 255, 50, 60, 70, 0, 9, 9, 9, 9,
                                           50, 60, 70, 0,   50, 60, 70, 0, 8, 8, 8, 8}));
  std::vector<unsigned char> q = {1, 2, 3, 0, 4, 5, 6};
  const auto keep = q;
  TEX_clean_edge(D(GL_RGB, 2, 1), q.data());
  EXPECT_EQ(q, keep);
}

TEST(TexPixelOps, ZapChromaAnd565Steps) {
  std::vector<unsigned char> p = {10, 20, 30, 0, 10, 20, 30, 1, 100, 100, 100, 255};
  TEX_zap_alpha(D(GL_RGBA, 3, 1), p.data());
  EXPECT_EQ(p, (std::vector<unsigned char>{0, 0, 0, 0, 10, 20, 30, 1, 100, 100, 100, 255}));
  const unsigned char key[3] = {98, 101, 100};
  TEX_chroma_key(D(GL_RGBA, 3, 1), p.data(), key, 4);
  EXPECT_EQ(p[11], 0);   // distance 3 < 4
  EXPECT_EQ(p[7], 1);
  TEX_chroma_key(D(GL_RGBA, 3, 1), p.data(), key, 3);

  uint16_t c = 0x0001;  // blue 1
  EXPECT_EQ(DecColor565(c), 1);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(DecColor565(c), 0);
  c = 0x0800;  // red 1, green and blue 0
  EXPECT_EQ(DecColor565(c), 1);
  EXPECT_EQ(c, 0);
  c = 0xFFFF;
  EXPECT_EQ(IncColor565(c), 0);
  EXPECT_EQ(c, 0xFFFF);
  c = 0x07E0 | 0x001E;  // green full, blue 30
  EXPECT_EQ(IncColor565(c), 1);
  EXPECT_EQ(c, 0x07FF);
  EXPECT_EQ(IncColor565(c), 1);
  EXPECT_EQ(c, 0x0FFF);
}

TEST(TexCopy, CopiesRowsAndClipsAtEveryEdge) {
  const std::vector<unsigned char> src = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2 RGB
  for (auto [x, y] : {std::pair{0, 0}, {2, 1}, {-1, 0}, {0, -1}, {3, 3}, {-5, 0}, {100, -100},
                      {INT32_MAX, INT32_MAX}, {INT32_MIN, 0}}) {
    std::vector<unsigned char> dst(3 * 3 * 3 + 3 * 2, 0xEE);  // 3 x 3 RGB, pad 2
    TEX_copy(D(GL_RGB, 2, 2), D(GL_RGB, 3, 3, 2), src.data(), dst.data(), x, y);
    for (int dy = 0; dy < 3; ++dy)
      for (int dx = 0; dx < 3; ++dx) {
        const int64_t sx = int64_t(dx) - x, sy = int64_t(dy) - y;
        const bool in = sx >= 0 && sx < 2 && sy >= 0 && sy < 2;
        for (int c = 0; c < 3; ++c)
          EXPECT_EQ(dst[size_t(dy) * 11 + dx * 3 + c], in ? src[sy * 6 + sx * 3 + c] : 0xEE)
              << x << "," << y;
      }
    for (int dy = 0; dy < 3; ++dy) EXPECT_EQ(dst[dy * 11 + 9], 0xEE);  // pad untouched
  }
}

TEST(TexComposite, SamplingWeightsAndClipping) {
  // 2 x 1 opaque RGB source over a 4 x 1 RGBA destination, rectangle 0..4.
  const std::vector<unsigned char> src = {100, 0, 0, 200, 0, 0};
  std::vector<unsigned char> dst(16, 0);
  TEX_composite(D(GL_RGB, 2, 1), D(GL_RGBA, 4, 1), src.data(), dst.data(), 0, 0, 4, 1);
  // sx = x / 2: 0, 0.5, 1, 1.5; sy = 0. Column 2 outside the source.
  EXPECT_EQ(dst[0], 100);
  EXPECT_EQ(dst[4], 150);
  EXPECT_EQ(dst[8], 200);
  EXPECT_EQ(dst[12], 100);  // half of 200, half the destination's 0
  EXPECT_EQ(dst[3], 255);
  EXPECT_EQ(dst[15], 127);

  // x1 == x2 samples the source's middle column everywhere.
  const std::vector<unsigned char> s3 = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0};  // 4 x 1
  std::vector<unsigned char> d3(9, 0);
  TEX_composite(D(GL_RGB, 4, 1), D(GL_RGB, 3, 1), s3.data(), d3.data(), 1, 0, 1, 1);
  EXPECT_EQ(d3[3], 0);  // columns floor(1)..ceil(1): none
  TEX_composite(D(GL_RGB, 4, 1), D(GL_RGB, 3, 1), s3.data(), d3.data(), 0, 0, 0, 1);
  TEX_composite(D(GL_RGB, 4, 1), D(GL_RGB, 3, 1), s3.data(), d3.data(), 0.5f, 0, 0.5f, 1);
  EXPECT_EQ(d3[0], 30);  // column 0 samples sx = 2

  // Rectangles far outside, huge or not finite write nothing out of bounds.
  std::vector<unsigned char> guard(4 * 4 * 4, 7);
  for (auto r : std::vector<std::array<float, 4>>{{-1e30f, -1e30f, 1e30f, 1e30f},
                                                  {1e9f, 1e9f, 2e9f, 2e9f},
                                                  {-5, -5, -1, -1},
                                                  {0, 0, 1e-30f, 4},
                                                  {NAN, 0, 4, 4},
                                                  {0, 0, INFINITY, 4}})
    TEX_composite(D(GL_RGB, 2, 1), D(GL_RGBA, 4, 4), src.data(), guard.data(), r[0], r[1], r[2],
                  r[3]);
}
