// Bounded mutation fuzzing of every reader on seeds the fixture writers make.
// FLY_FUZZ_SECONDS (default 2) sets the time a reader runs; FLY_FUZZ_SEED
// repeats a run. The libFuzzer driver in tools/fuzz runs the same bodies
// longer, guided by coverage.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "fixtures.h"
#include "fuzz_targets.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

double fuzz_seconds() {
  const char* s = getenv("FLY_FUZZ_SECONDS");
  return s && *s ? atof(s) : 2.0;
}

uint64_t fuzz_seed() {
  const char* s = getenv("FLY_FUZZ_SEED");
  return s && *s ? strtoull(s, nullptr, 10) : 20261209;
}

// Recomputes the CRC of every complete chunk, so mutations reach past
// libpng's checksum test into the decoder.
void fix_png_crcs(std::string& s) {
  size_t at = 8;
  while (at + 12 <= s.size()) {
    const uint32_t len = uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
                         uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
    if (len > s.size() - at - 12) break;
    const uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data() + at + 4), uInt(len + 4)));
    for (int i = 0; i < 4; ++i) s[at + 8 + len + i] = char(crc >> (24 - 8 * i));
    at += 12 + len;
  }
}

struct mutator {
  std::mt19937_64 g;
  explicit mutator(uint64_t seed) : g(seed) {}
  size_t below(size_t n) { return n ? size_t(g() % n) : 0; }

  std::string mutate(std::string s, const std::vector<std::string>& corpus) {
    static const uint32_t interesting[] = {0,          1,          2,          3,
                                           4,          7,          8,          16,
                                           24,         32,         40,         127,
                                           128,        255,        256,        2047,
                                           2048,       2049,       4096,       65535,
                                           0x10000,    0x7FFFFFFF, 0x80000000, 0xFFFFFFFE,
                                           0xFFFFFFFF};
    const int n = 1 + int(below(4));
    for (int k = 0; k < n; ++k) {
      if (s.empty()) s.push_back(char(g()));
      switch (below(8)) {
        case 0: s[below(s.size())] ^= char(1u << below(8)); break;
        case 1: s[below(s.size())] = char(g()); break;
        case 2: {  // an interesting 32-bit value, either byte order
          const uint32_t v = interesting[below(std::size(interesting))];
          const size_t at = below(s.size());
          const bool big = g() & 1;
          for (size_t i = 0; i < 4 && at + i < s.size(); ++i)
            s[at + i] = char(big ? v >> (24 - 8 * i) : v >> (8 * i));
          break;
        }
        case 3: s.resize(below(s.size() + 1)); break;
        case 4: {  // delete a range
          const size_t a = below(s.size()), len = 1 + below(std::min<size_t>(64, s.size() - a));
          s.erase(a, len);
          break;
        }
        case 5: {  // duplicate a range
          const size_t a = below(s.size()), len = 1 + below(std::min<size_t>(64, s.size() - a));
          s.insert(below(s.size() + 1), s.substr(a, len));
          break;
        }
        case 6: {  // splice with another input
          const std::string& o = corpus[below(corpus.size())];
          const size_t cut = below(std::min(s.size(), o.size()) + 1);
          s = s.substr(0, cut) + o.substr(std::min(cut, o.size()));
          break;
        }
        default: s[below(s.size())] = char(interesting[below(std::size(interesting))]); break;
      }
    }
    return s;
  }
};

// `refused` seeds are damaged inputs that once cost the reader dearly; they
// join the corpus once refused.
template <class Body>
void fuzz_loop(const char* name, std::vector<std::string> corpus, Body body, bool png,
               const std::vector<std::string>& refused = {}) {
  fly_test::expect_fatal fatal_ok;
  const uint64_t seed = fuzz_seed();
  mutator m(seed);
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(fuzz_seconds()));
  long execs = 0, accepted = 0;
  for (const auto& s : corpus) {  // every seed is valid
    EXPECT_EQ(body(reinterpret_cast<const uint8_t*>(s.data()), s.size(), uint8_t(0x0B)), 1);
    fly_test::clear_alerts();
  }
  for (const auto& s : refused) {
    EXPECT_EQ(body(reinterpret_cast<const uint8_t*>(s.data()), s.size(), uint8_t(0x0B)), 0);
    fly_test::clear_alerts();
  }
  corpus.insert(corpus.end(), refused.begin(), refused.end());
  const size_t seeds = corpus.size();
  if (const char* dir = getenv("FLY_FUZZ_SEED_DIR"))  // for tools/fuzz/run.sh
    for (size_t i = 0; i < corpus.size(); ++i)
      fly_test::write_file(std::string(dir) + "/" + name + "/" + std::to_string(i), corpus[i]);
  while (std::chrono::steady_clock::now() < end) {
    std::string in = m.mutate(corpus[m.below(corpus.size())], corpus);
    if (png && (m.g() & 3)) fix_png_crcs(in);
    const int r = body(reinterpret_cast<const uint8_t*>(in.data()), in.size(), uint8_t(m.g()));
    fly_test::clear_alerts();
    ++execs;
    if (r) {
      ++accepted;
      if (corpus.size() < 512 && (m.g() & 7) == 0) corpus.push_back(std::move(in));
    }
  }
  printf("fuzz %s: seed %llu, %ld runs in %.1f s, %ld accepted, corpus %zu (%zu seeds)\n", name,
         static_cast<unsigned long long>(seed), execs, fuzz_seconds(), accepted, corpus.size(),
         seeds);
  if (fuzz_seconds() > 0) {
    EXPECT_GT(execs, 0);
  }
}

std::vector<std::string> png_seeds() {
  std::vector<std::string> v = {png_rgba_pattern(16, 9), png_rgba_pattern(1, 1)};
  png_spec p;
  p.width = 3, p.height = 5, p.colour = 2, p.rows.assign(45, 'x');
  v.push_back(png_bytes(p));
  png_spec pal;
  pal.width = 4, pal.height = 2, pal.colour = 3, pal.depth = 2;
  pal.palette = std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12);
  pal.trns = std::string("\x80\x00", 2);
  pal.rows = std::string("\x1B\xE4", 2);
  v.push_back(png_bytes(pal));
  png_spec g16;
  g16.width = 3, g16.height = 2, g16.depth = 16, g16.colour = 0, g16.rows.assign(12, '\x55');
  g16.gama = 45455;
  v.push_back(png_bytes(g16));
  png_spec ga;
  ga.width = 2, ga.height = 2, ga.colour = 4, ga.rows = "abcdefgh";
  v.push_back(png_bytes(ga));
  return v;
}

std::vector<std::string> bmp_seeds() {
  std::vector<std::string> v;
  for (auto [w, h] : {std::pair{2, 2}, {3, 3}, {5, 4}, {1, 7}, {17, 2}}) {
    bmp_spec b;
    b.width = w, b.height = h;
    for (int i = 0; i < w * h * 3; ++i) b.bgr += char(i * 37);
    v.push_back(bmp_bytes(b));
  }
  return v;
}

std::vector<std::string> dds_seeds() {
  std::vector<std::string> v;
  for (const char* cc : {"DXT1", "DXT3", "DXT5"})
    for (auto [w, h] : {std::pair{8, 8}, {16, 4}, {4, 4}}) {
      dds_spec s;
      s.fourcc = cc, s.width = w, s.height = h;
      const uint32_t f = cc[3] == '1' ? GL_COMPRESSED_RGB_S3TC_DXT1_EXT
                         : cc[3] == '3' ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
                                        : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
      s.data = fly_test::pattern(size_t(TEX_bytes_needed_for_image({f, w, h, 0, 1})), uint32_t(w));
      v.push_back(dds_bytes(s));
    }
  dds_spec b;
  b.width = 4, b.height = 2, b.pf_flags = 0x41, b.bits = 32, b.data = fly_test::pattern(64, 3);
  v.push_back(dds_bytes(b));
  b.pf_flags = 0x40, b.bits = 24, b.flags = 0x1007, b.data = fly_test::pattern(24, 4);
  v.push_back(dds_bytes(b));
  return v;
}

std::vector<std::string> rle_seeds() {
  std::vector<std::string> v;
  std::mt19937 g(5);
  for (auto [w, h, X, T] : {std::array{10, 3, 16, 8}, {37, 5, 48, 8}, {4, 4, 4, 2}}) {
    std::vector<unsigned char> img(size_t(w) * h * 4);
    for (size_t i = 0; i < img.size(); i += 4) {
      const uint32_t px = g() % 3 ? 0xFF102030u : uint32_t(g());
      memcpy(&img[i], &px, 4);
    }
    int* s = nullptr;
    const size_t n = TEX_pack_image_rle({GL_RGBA, w, h, 0, 0}, img.data(), X, h + 2, T, s);
    std::string head(12, '\0');
    head[0] = char(T * 2 - 1), head[1] = char(h + 1), head[2] = char(16 + T), head[4] = char(16 + X - 2 * T);
    head[6] = char(200);
    v.push_back(head + std::string(reinterpret_cast<const char*>(s), n * 4));
    free(s);
  }
  return v;
}

}  // namespace

TEST(TexFuzz, PngReader) {
  const std::vector<std::string> refused = {
      png_cut_in_chunk("sPLT", 822000000, std::string("pal\0\x08", 5))};
  fuzz_loop("png", png_seeds(), tex_fuzz::fuzz_png, true, refused);
}
TEST(TexFuzz, BmpReader) { fuzz_loop("bmp", bmp_seeds(), tex_fuzz::fuzz_bmp, false); }
TEST(TexFuzz, DdsReader) { fuzz_loop("dds", dds_seeds(), tex_fuzz::fuzz_dds, false); }
TEST(TexFuzz, RleUnpack) { fuzz_loop("rle", rle_seeds(), tex_fuzz::fuzz_rle, false); }
