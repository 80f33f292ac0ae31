#include <random>

#include "TEX/TEX_rle.h"
#include "support/test_util.h"

namespace {

struct packed {
  int* s = nullptr;
  size_t n = 0;
  ~packed() { free(s); }
  std::vector<int> words() const { return {s, s + n}; }
};

// An image of 32-bit pixels given as words, one row per vector.
std::vector<unsigned char> image(const std::vector<std::vector<uint32_t>>& rows, int pad_words = 0) {
  std::vector<unsigned char> b;
  for (const auto& r : rows) {
    for (uint32_t v : r)
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<unsigned char>(v >> (8 * k)));
    b.resize(b.size() + size_t(pad_words) * 4, 0xEE);
  }
  return b;
}

void pack(packed& p, const std::vector<unsigned char>& img, int w, int h, int X, int R, int T,
          int pad_words = 0) {
  free(p.s);
  p.n = TEX_pack_image_rle(TEX_image_desc{GL_RGBA, w, h, pad_words * 4, 0}, img.data(), X, R, T, p.s);
}

uint32_t px(const std::vector<unsigned char>& b, size_t i) {
  uint32_t v;
  memcpy(&v, &b[i * 4], 4);
  return v;
}

}  // namespace

TEST(RlePack, GroupsRunsAndTileEdges) {
  const uint32_t A = 0xFF0000AA, B = 0xFF00BB00, D = 0x80DD0000;
  packed p;
  pack(p, image({{A, A, B, B, B, B, D, D}}), 8, 1, 8, 1, 8);
  EXPECT_EQ(p.words(), (std::vector<int>{2, int(A), int(A), -4, int(B), 2, int(D), int(D)}));
  pack(p, image({{A, A}}), 2, 1, 2, 1, 2);
  EXPECT_EQ(p.words(), (std::vector<int>{2, int(A), int(A)}));
  // A run that ends the tile leaves nothing behind it: no 0 head mid-stream.
  pack(p, image({{A, B, B, B}}), 4, 1, 4, 1, 4);
  EXPECT_EQ(p.words(), (std::vector<int>{1, int(A), -3, int(B)}));
  // Ten pixels, X = 16, T = 8: the second tile is 2 pixels then -6, 0.
  std::vector<uint32_t> row(10);
  for (int i = 0; i < 10; ++i) row[size_t(i)] = uint32_t(i + 1);
  pack(p, image({row}), 10, 1, 16, 1, 8);
  const std::vector<int> w = p.words();
  ASSERT_EQ(w.size(), 9u + 5);
  EXPECT_EQ(w[0], 8);
  EXPECT_EQ(std::vector<int>(w.begin() + 9, w.end()), (std::vector<int>{2, 9, 10, -6, 0}));
  // Fewer rows than R: one 0 word ends the stream.
  pack(p, image({{A}, {A}, {A}, {A}}), 1, 4, 1, 8, 1);
  EXPECT_EQ(p.words(), (std::vector<int>{1, int(A), 1, int(A), 1, int(A), 1, int(A), 0}));
  std::vector<unsigned char> out(8 * 4, 0xEE);
  TEX_unpack_image_rle(p.s, 0, 0, 1, 8, out.data(), p.s + p.n);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(px(out, size_t(i)), i < 4 ? A : 0u);
  // Row pad is skipped; a tile wholly beyond the image is one run of 0.
  pack(p, image({{A, B}, {B, A}}, 3), 2, 2, 4, 2, 2, 3);
  EXPECT_EQ(p.words(), (std::vector<int>{2, int(A), int(B), -2, 0, 2, int(B), int(A), -2, 0}));
  // Bad tile width: an empty stream.
  pack(p, image({{A}}), 1, 1, 4, 1, 0);
  EXPECT_EQ(p.n, 0u);
}

TEST(RleUnpack, RoundTripOverEveryTileAlignedWindow) {
  std::mt19937 g(99);
  const int W = 37, H = 11, X = 48, T = 8, R = 14;
  std::vector<uint32_t> pic(size_t(W) * H);
  for (auto& v : pic) {  // long runs, short runs, singles, zeros
    const int k = int(g() % 6);
    v = k == 0 ? 0u : k < 3 ? 0xFF112233u : uint32_t(g());
  }
  std::vector<std::vector<uint32_t>> rows(H);
  for (int y = 0; y < H; ++y) rows[size_t(y)].assign(pic.begin() + y * W, pic.begin() + (y + 1) * W);
  packed p;
  pack(p, image(rows), W, H, X, R, T);
  const int tiles = X / T;
  for (int t0 = 0; t0 < tiles; ++t0)
    for (int t1 = t0; t1 < tiles; ++t1) {
      // skip_before once, then skip_after = X - width between rows.
      const int before = t0 * T, width = (t1 - t0 + 1) * T, after = X - width;
      std::vector<unsigned char> out(size_t(width) * R * 4 + 64, 0xEE);
      TEX_unpack_image_rle(p.s, before, after, width, R, out.data(), p.s + p.n);
      for (int y = 0; y < R; ++y)
        for (int x = 0; x < width; ++x) {
          const int sx = before + x;
          const uint32_t want = y < H && sx < W ? pic[size_t(y) * W + sx] : 0u;
          ASSERT_EQ(px(out, size_t(y) * width + x), want) << t0 << ".." << t1 << " " << x << "," << y;
        }
      for (size_t i = size_t(width) * R * 4; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE);
      // The composite at full level over black gives the opaque pixels.
      std::vector<unsigned char> dst(size_t(width) * R * 4, 0);
      TEX_unpack_composite_rle(p.s, before, after, width, R, dst.data(), 256, p.s + p.n);
      for (int y = 0; y < std::min(R, H); ++y)
        for (int x = 0; x < width; ++x) {
          const int sx = before + x;
          const uint32_t src = sx < W ? pic[size_t(y) * W + sx] : 0u;
          if ((src >> 24) == 0xFF) {
            ASSERT_EQ(px(dst, size_t(y) * width + x), src);
          }
        }
    }
}

TEST(RleUnpack, WindowsOffTileEdgesAndHostileStreamsStayInside) {
  const uint32_t A = 0xFF0000AA;
  // One long run over a narrow window is split, not written whole.
  const int run[] = {-100, int(A)};
  std::vector<unsigned char> out(3 * 2 * 4 + 32, 0xEE);
  TEX_unpack_image_rle(run, 5, 0, 3, 2, out.data(), run + 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(px(out, size_t(i)), A);
  for (size_t i = 24; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
  // A literal head that claims more words than the stream holds.
  const int lying[] = {1000, 1, 2};
  std::vector<unsigned char> o2(4 * 4, 0xEE);
  TEX_unpack_image_rle(lying, 0, 0, 4, 1, o2.data(), lying + 3);
  EXPECT_EQ(px(o2, 0), 1u);
  EXPECT_EQ(px(o2, 1), 2u);
  EXPECT_EQ(px(o2, 2), 0u);
  EXPECT_EQ(px(o2, 3), 0u);
  // The most negative head and a missing run pixel.
  const int extreme[] = {INT32_MIN};
  TEX_unpack_image_rle(extreme, 3, 7, 4, 1, o2.data(), extreme + 1);
  EXPECT_EQ(px(o2, 0), 0u);
  TEX_unpack_composite_rle(extreme, 0, 0, 4, 1, o2.data(), 128, extreme + 1);
  // Zero, negative and huge windows do nothing harmful.
  TEX_unpack_image_rle(run, -5, -5, 0, 3, o2.data(), run + 2);
  TEX_unpack_image_rle(run, 0, 0, 4, 0, o2.data(), run + 2);
  TEX_unpack_image_rle(run, INT32_MAX, INT32_MAX, 4, 1, o2.data(), run + 2);
  EXPECT_EQ(px(o2, 0), 0u);
}

TEST(RleComposite, BlendLevelsAndTransparency) {
  const uint32_t G = 0xFF204060, H = 0x10808080;
  const int s[] = {2, int(G), int(0x00FFFFFF), -2, int(G), -1, 0};
  std::vector<unsigned char> dst(5 * 4);
  for (int i = 0; i < 5; ++i) memcpy(&dst[size_t(i) * 4], &H, 4);
  TEX_unpack_composite_rle(s, 0, 0, 5, 1, dst.data(), 256);
  EXPECT_EQ(px(dst, 0), 0xFF204060u);  // opaque at 256: colour exact, alpha clamped
  EXPECT_EQ(px(dst, 1), H);            // alpha 0 literal: unchanged
  EXPECT_EQ(px(dst, 2), 0xFF204060u);
  EXPECT_EQ(px(dst, 4), H);            // a run of 0 leaves it
  // Half level: m = 128 x 256 >> 8 = 128.
  for (int i = 0; i < 5; ++i) memcpy(&dst[size_t(i) * 4], &H, 4);
  TEX_unpack_composite_rle(s, 0, 0, 5, 1, dst.data(), 128);
  EXPECT_EQ(px(dst, 0), 0xFF506070u);
  // Level 0 and a stream that ends while skipping change nothing.
  const auto keep = dst;
  TEX_unpack_composite_rle(s, 0, 0, 5, 1, dst.data(), 0);
  const int ends[] = {1, int(G), 0};
  TEX_unpack_composite_rle(ends, 2, 0, 5, 1, dst.data(), 256);
  EXPECT_EQ(dst, keep);
}

TEST(RleMix, FactorsAndTwoStreamsInStep) {
  const int zero[4] = {0, 0, 0, 0}, bias[4] = {-5, 100, 300, 256};
  int f[4];
  unpack_and_mix(0, zero, zero, zero, zero, bias, f);
  EXPECT_EQ(std::vector<int>(f, f + 4), (std::vector<int>{0, 100, 256, 256}));
  const int b0[4] = {256, 0, 0, 0}, b1[4] = {0, 256, 0, 0}, b2[4] = {0, 0, 256, 0},
            b3[4] = {0, 0, 0, -256}, nobias[4] = {0, 0, 0, 256};
  unpack_and_mix(0x40302010, b0, b1, b2, b3, nobias, f);
  EXPECT_EQ(std::vector<int>(f, f + 4), (std::vector<int>{0x10, 0x20, 0x30, 256 - 0x40}));

  // Image: run of 4 of P then a run of 2 zeros; mixing: literal 1 then run 5.
  const uint32_t P = 0x80808080;
  const int img[] = {-4, int(P), -2, 0};
  const int mix[] = {1, int(0x00000080), -5, int(0x00008000)};
  std::vector<unsigned char> out(6 * 4, 0xEE);
  TEX_unpack_multi_mix_rle(img, mix, 0, 0, 6, 1, out.data(), b0, b1, b2, b3, zero, img + 4,
                           mix + 4);
  // Factors (0x80, 0, 0, 0) for the first pixel, (0, 0x80, 0, 0) after.
  EXPECT_EQ(px(out, 0), 0x00000040u);
  EXPECT_EQ(px(out, 1), 0x00004000u);
  EXPECT_EQ(px(out, 3), 0x00004000u);
  EXPECT_EQ(px(out, 4), 0u);
  // Mixing stream at its end word: pixels copied unchanged; image end: 0.
  const int mix_end[] = {0};
  const int img2[] = {1, int(P), 0};
  const int* a = img2;
  const int* m = mix_end;
  EXPECT_EQ(unpack_mix(a, m, out.data(), 3, b0, b1, b2, b3, zero), 1);
  EXPECT_EQ(px(out, 0), P);
  EXPECT_EQ(px(out, 1), 0u);
  EXPECT_EQ(px(out, 2), 0u);

  const unsigned char p0[2] = {1, 2}, p2[2] = {5, 6};
  unsigned char rgba[8];
  TEX_pack_rgba(p0, nullptr, p2, p0, 2, rgba);
  EXPECT_EQ(std::vector<unsigned char>(rgba, rgba + 8),
            (std::vector<unsigned char>{1, 0, 5, 1, 2, 0, 6, 2}));
}
