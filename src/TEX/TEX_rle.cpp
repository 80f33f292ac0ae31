// Run-length packing of tiled 32-bit images and the window unpackers.
#include "TEX/TEX_rle.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint32_t load_px(const unsigned char* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
void store_px(unsigned char* p, uint32_t v) { memcpy(p, &v, 4); }

void code_tile(const unsigned char* row, int w, std::vector<int>& s) {
  auto px = [&](int i) { return load_px(row + size_t(i) * 4); };
  auto literal = [&](int a, int b) {
    if (b <= a) return;
    s.push_back(b - a);
    for (int i = a; i < b; ++i) s.push_back(static_cast<int>(px(i)));
  };
  int at = 0;
  while (at < w) {
    if (w - at < 3) {
      literal(at, w);
      break;
    }
    int r = at;
    while (r + 2 < w && !(px(r) == px(r + 1) && px(r) == px(r + 2))) ++r;
    if (r + 2 >= w) {
      literal(at, w);
      break;
    }
    literal(at, r);
    int e = r + 3;
    while (e < w && px(e) == px(r)) ++e;
    s.push_back(-(e - r));
    s.push_back(static_cast<int>(px(r)));
    at = e;
  }
}

// Walks a stream group by group, splitting groups where a window or row
// ends. Words at or past the end read as the end marker.
struct rle_reader {
  const int* base;
  size_t words;     // SIZE_MAX when the stream is trusted
  size_t i = 0;     // next word
  int64_t left = 0; // pixels left in the current group
  bool literal = false;
  uint32_t run = 0;
  bool done = false;  // the end word was met

  rle_reader(const int* s, const int* end)
      : base(s), words(end ? size_t(end - s) : SIZE_MAX) {}

  int word(size_t k) const { return k < words ? base[k] : 0; }

  bool load() {
    if (left > 0) return true;
    if (done) return false;
    const int n = word(i);
    if (n == 0) {
      done = true;  // not consumed
      return false;
    }
    if (n > 0) {
      literal = true;
      left = n;
      i += 1;
    } else {
      literal = false;
      left = -int64_t(n);
      run = static_cast<uint32_t>(word(i + 1));
      i += 2;
    }
    return true;
  }

  uint32_t next() {  // requires load()
    --left;
    if (!literal) return run;
    if (i >= words) {  // a literal group cut off by the end
      left = 0;
      done = true;
      return 0;
    }
    return static_cast<uint32_t>(base[i++]);
  }

  void skip(int64_t count) {
    while (count > 0 && load()) {
      const int64_t k = std::min(count, left);
      if (literal) i += size_t(k);
      left -= k;
      count -= k;
    }
  }

  // Leaves the pointer at the next group start (a split group is dropped).
  const int* position() const { return base + i + (literal && left > 0 ? size_t(left) : 0); }
};

uint32_t blend(uint32_t h, uint32_t g, int level) {
  const int ga = int(g >> 24), ha = int(h >> 24);
  const int m = level * (ga + 1) >> 8, o = 256 - m;
  uint32_t r = 0;
  for (int k = 0; k < 3; ++k) {
    const int hb = int(h >> (8 * k)) & 255, gb = int(g >> (8 * k)) & 255;
    r |= uint32_t((hb * o + gb * m) >> 8) << (8 * k);
  }
  return r | uint32_t(std::min(255, ha + ga)) << 24;
}

uint32_t apply_mix(uint32_t a, const int* f) {
  uint32_t r = 0;
  for (int k = 0; k < 4; ++k) r |= uint32_t((((a >> (8 * k)) & 255) * uint32_t(f[k])) >> 8) << (8 * k);
  return r;
}

struct mix_args {
  const int *b0, *b1, *b2, *b3, *bias;
};

int mix_row(rle_reader& img, rle_reader& mix, unsigned char* out, int width, const mix_args& a) {
  int x = 0;
  while (x < width) {
    if (!img.load()) {
      memset(out + size_t(x) * 4, 0, size_t(width - x) * 4);
      return 1;
    }
    const bool mixing = mix.load();
    int64_t k = std::min<int64_t>(width - x, img.left);
    if (mixing) k = std::min(k, mix.left);
    if (mixing && !mix.literal) {
      int f[4];
      unpack_and_mix(mix.run, a.b0, a.b1, a.b2, a.b3, a.bias, f);
      for (int64_t n = 0; n < k; ++n, ++x) {
        const uint32_t px = img.next();
        mix.next();
        store_px(out + size_t(x) * 4, px ? apply_mix(px, f) : 0);
      }
      continue;
    }
    for (int64_t n = 0; n < k; ++n, ++x) {
      const uint32_t px = img.next();
      if (!mixing) {
        store_px(out + size_t(x) * 4, px);
        continue;
      }
      const uint32_t w = mix.next();
      if (!px) {
        store_px(out + size_t(x) * 4, 0);
        continue;
      }
      int f[4];
      unpack_and_mix(w, a.b0, a.b1, a.b2, a.b3, a.bias, f);
      store_px(out + size_t(x) * 4, apply_mix(px, f));
    }
  }
  return 0;
}

}  // namespace

size_t TEX_pack_image_rle(const TEX_image_desc& desc, const unsigned char* pixels, int total_width,
                          int total_rows, int tile_width, int*& out) {
  std::vector<int> s;
  if (tile_width >= 1 && desc.width >= 0 && desc.height >= 0 && desc.pad >= 0) {
    const int tiles = total_width / tile_width;
    const size_t stride = size_t(desc.width) * 4 + desc.pad;
    for (int y = 0; y < desc.height; ++y) {
      const unsigned char* row = pixels + size_t(y) * stride;
      for (int j = 0; j < tiles; ++j) {
        const int64_t start = int64_t(j) * tile_width;
        const int w = int(std::clamp<int64_t>(desc.width - start, 0, tile_width));
        code_tile(row + size_t(start) * 4, w, s);
        if (tile_width - w > 0) {
          s.push_back(-(tile_width - w));
          s.push_back(0);
        }
      }
    }
    if (desc.height < total_rows) s.push_back(0);
  }
  out = static_cast<int*>(malloc(std::max<size_t>(1, s.size()) * sizeof(int)));
  if (!out) return 0;
  if (!s.empty()) memcpy(out, s.data(), s.size() * sizeof(int));
  return s.size();
}

void TEX_unpack_image_rle(const int* stream, int skip_before, int skip_after, int width, int rows,
                          unsigned char* out, const int* stream_end) {
  if (width <= 0 || rows <= 0) return;
  rle_reader r(stream, stream_end);
  r.skip(skip_before);
  for (int y = 0; y < rows; ++y) {
    unsigned char* o = out + size_t(y) * width * 4;
    int x = 0;
    while (x < width) {
      if (!r.load()) {
        memset(o + size_t(x) * 4, 0, size_t(width - x) * 4);
        break;
      }
      const int64_t k = std::min<int64_t>(width - x, r.left);
      for (int64_t n = 0; n < k; ++n, ++x) store_px(o + size_t(x) * 4, r.next());
    }
    r.skip(skip_after);
  }
}

void TEX_unpack_composite_rle(const int* stream, int skip_before, int skip_after, int width,
                              int rows, unsigned char* out, int level, const int* stream_end) {
  level = std::clamp(level, 0, 256);
  if (level == 0 || width <= 0 || rows <= 0) return;
  rle_reader r(stream, stream_end);
  r.skip(skip_before);
  for (int y = 0; y < rows && !r.done; ++y) {
    unsigned char* o = out + size_t(y) * width * 4;
    int x = 0;
    while (x < width && r.load()) {
      const int64_t k = std::min<int64_t>(width - x, r.left);
      if (!r.literal) {
        const uint32_t g = r.run;
        r.skip(k);
        if (g && (g >> 24))
          for (int64_t n = 0; n < k; ++n)
            store_px(o + size_t(x + n) * 4, blend(load_px(o + size_t(x + n) * 4), g, level));
        x += int(k);
        continue;
      }
      for (int64_t n = 0; n < k; ++n, ++x) {
        const uint32_t g = r.next();
        if (g >> 24) store_px(o + size_t(x) * 4, blend(load_px(o + size_t(x) * 4), g, level));
      }
    }
    r.skip(skip_after);
  }
}

void TEX_unpack_multi_mix_rle(const int* stream, const int* mix_stream, int skip_before,
                              int skip_after, int width, int rows, unsigned char* out,
                              const int* basis0, const int* basis1, const int* basis2,
                              const int* basis3, const int* bias, const int* stream_end,
                              const int* mix_end) {
  if (width <= 0 || rows <= 0) return;
  rle_reader img(stream, stream_end), mix(mix_stream, mix_end);
  img.skip(skip_before);
  mix.skip(skip_before);
  const mix_args a{basis0, basis1, basis2, basis3, bias};
  for (int y = 0; y < rows; ++y) {
    mix_row(img, mix, out + size_t(y) * width * 4, width, a);
    img.skip(skip_after);
    mix.skip(skip_after);
  }
}

int unpack_mix(const int*& stream, const int*& mix_stream, unsigned char* out, int width,
               const int* basis0, const int* basis1, const int* basis2, const int* basis3,
               const int* bias) {
  if (width <= 0) return 0;
  rle_reader img(stream, nullptr), mix(mix_stream, nullptr);
  const int end = mix_row(img, mix, out, width, mix_args{basis0, basis1, basis2, basis3, bias});
  stream = img.position();
  mix_stream = mix.position();
  return end;
}

void unpack_and_mix(uint32_t w, const int* basis0, const int* basis1, const int* basis2,
                    const int* basis3, const int* bias, int* out) {
  const int64_t w0 = w & 255, w1 = (w >> 8) & 255, w2 = (w >> 16) & 255, w3 = w >> 24;
  for (int k = 0; k < 4; ++k) {
    const int64_t f = int64_t(bias[k]) + ((w0 * basis0[k]) >> 8) + ((w1 * basis1[k]) >> 8) +
                      ((w2 * basis2[k]) >> 8) + ((w3 * basis3[k]) >> 8);
    out[k] = int(std::clamp<int64_t>(f, 0, 256));
  }
}

void TEX_pack_rgba(const unsigned char* plane0, const unsigned char* plane1,
                   const unsigned char* plane2, const unsigned char* plane3, int count,
                   unsigned char* out) {
  const unsigned char* planes[4] = {plane0, plane1, plane2, plane3};
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < 4; ++k) out[size_t(i) * 4 + k] = planes[k] ? planes[k][i] : 0;
}
