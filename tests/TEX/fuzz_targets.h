// One fuzz body per reader, shared by the bounded mutation loop of the test
// suite and the libFuzzer driver (tools/fuzz). Each takes arbitrary bytes;
// a reader may refuse them or end in a fatal alert (which the caller's alert
// hook turns into an exception), but must never touch memory outside the
// input and its own buffers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_bmp.h"
#include "TEX/TEX_dds.h"
#include "TEX/TEX_png.h"
#include "TEX/TEX_rle.h"
#include "TEX/TEX_scratch.h"

namespace tex_fuzz {

// The input in a buffer of exactly its size, seen as a mapped file.
struct exact_map {
  char* buf;
  xmap_class map{""};
  exact_map(const uint8_t* data, size_t size) {
    buf = static_cast<char*>(malloc(size ? size : 1));
    if (size) memcpy(buf, data, size);
    map.map_base = map.cursor = buf;
    map.map_end = buf + size;
  }
  ~exact_map() {
    map.map_base = map.cursor = map.map_end = nullptr;
    free(buf);
  }
};

inline unsigned long want_of(uint8_t b) {
  static const unsigned long f[3] = {GL_RGB, GL_RGBA, GL_ALPHA};
  return f[b % 3];
}

// Reads every byte the descriptor says the buffer holds: a sanitizer sees a
// buffer that is shorter than the reader claims.
inline unsigned touch(const unsigned char* p, const TEX_image_desc& d, int pow2) {
  TEX_image_desc t = d;
  if (pow2) t.height = TEX_next_pow2(d.height);
  const int64_t n = TEX_bytes_needed_for_image(t);
  unsigned s = 0;
  for (int64_t i = 0; i < n; i += 61) s += p[i];
  if (n > 0) s += p[n - 1];
  return s;
}

// Returns 1 when the reader accepted the input.
template <class Call>
int guarded(Call call) {
  try {
    return call();
  } catch (...) {  // a fatal alert, unwound by the hook
    return 0;
  }
}

inline int fuzz_png(const uint8_t* data, size_t size, uint8_t mode) {
  return guarded([&] {
    exact_map f(data, size);
    unsigned char* px = (mode & 0x10) ? scratch_array : nullptr;
    TEX_image_desc d{};
    const int pow2 = (mode >> 3) & 1;
    const int r = TEX_load_png("fuzz.png", f.map, px, want_of(mode), 0, pow2, (mode >> 2) & 1, d);
    if (r) touch(px, d, pow2);
    if (px != scratch_array) free(px);
    return r;
  });
}

inline int fuzz_bmp(const uint8_t* data, size_t size, uint8_t mode) {
  return guarded([&] {
    exact_map f(data, size);
    unsigned char* px = (mode & 0x10) ? scratch_array : nullptr;
    TEX_image_desc d{};
    const int pow2 = (mode >> 3) & 1;
    const int r = TEX_load_bmp("fuzz.bmp", f.map, px, want_of(mode), 0, pow2, d);
    if (r) touch(px, d, pow2);
    if (px != scratch_array) free(px);
    return r;
  });
}

inline int fuzz_dds(const uint8_t* data, size_t size, uint8_t) {
  return guarded([&] {
    exact_map f(data, size);
    unsigned char* px = nullptr;
    TEX_image_desc d{};
    const int r = TEX_load_dds("fuzz.dds", f.map, px, d);
    if (!r) return 0;
    // As the texture loader does: copy the chain out and turn it over.
    const int64_t n = TEX_bytes_needed_for_image(d);
    if (n > (int64_t(1) << 26)) return r;
    unsigned char* copy = static_cast<unsigned char*>(malloc(size_t(n)));
    memcpy(copy, px, size_t(n));
    TEX_flip_y(d, copy);
    free(copy);
    return r;
  });
}

// The first 12 bytes choose the window; the rest is the stream.
inline int fuzz_rle(const uint8_t* data, size_t size, uint8_t) {
  if (size < 12) return 0;
  const int width = 1 + data[0] % 64, rows = 1 + data[1] % 16;
  const int before = (data[2] | data[3] << 8) - 16, after = (data[4] | data[5] << 8) - 16;
  const int level = data[6] | (data[7] & 1) << 8;
  const size_t words = (size - 12) / 4;
  int* s = static_cast<int*>(malloc((words ? words : 1) * sizeof(int)));
  if (words) memcpy(s, data + 12, words * 4);
  int* m = static_cast<int*>(malloc((words ? words : 1) * sizeof(int)));
  for (size_t i = 0; i < words; ++i) m[i] = s[words - 1 - i];
  unsigned char* out = static_cast<unsigned char*>(malloc(size_t(width) * rows * 4));
  TEX_unpack_image_rle(s, before, after, width, rows, out, s + words);
  TEX_unpack_composite_rle(s, before, after, width, rows, out, level, s + words);
  const int basis[4] = {256, -256, 77, 300}, bias[4] = {10, -20, 30, 0};
  TEX_unpack_multi_mix_rle(s, m, before, after, width, rows, out, basis, basis, basis, basis, bias,
                           s + words, m + words);
  free(out);
  free(m);
  free(s);
  return 1;
}

}  // namespace tex_fuzz
