// The image descriptor's sizes and the in-place pixel utilities.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "GenH/shell.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_bmp.h"
#include "TEX/TEX_dds.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_png.h"

static int64_t level_bytes(uint32_t format, int64_t w, int64_t h, int64_t pad) {
  switch (format) {
    case GL_DEPTH_COMPONENT:
    case GL_DEPTH_COMPONENT24: return w * h * 4;
    case GL_ALPHA: return h * (w + pad);
    case GL_RGB:
    case GL_BGR: return h * (3 * w + pad);
    case GL_RGBA:
    case GL_BGRA: return h * (4 * w + pad);
    // squish::GetStorageRequirements, in 64 bits: 8 or 16 bytes a started block.
    case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: return ((w + 3) / 4) * ((h + 3) / 4) * 8;
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return ((w + 3) / 4) * ((h + 3) / 4) * 16;
    default: return -1;
  }
}

int64_t TEX_bytes_needed_for_image(const TEX_image_desc& desc) {
  int64_t w = desc.width, h = desc.height, sum = 0;
  if (w < 1 || h < 1) return 0;
  for (;;) {
    const int64_t n = level_bytes(desc.format, w, h, desc.pad);
    if (n < 0) return 0;
    sum += n;
    if (!desc.has_mipmaps || (w == 1 && h == 1)) return sum;
    if (w >= 2) w /= 2;
    if (h >= 2) h /= 2;
  }
}

static int bytes_per_pixel(uint32_t format) {
  switch (format) {
    case GL_RGBA:
    case GL_BGRA:
    case GL_DEPTH_COMPONENT:
    case GL_DEPTH_COMPONENT24: return 4;
    case GL_RGB:
    case GL_BGR: return 3;
    default: return 1;
  }
}

static int ceil_log2(int v) {
  int s = 0;
  while ((int64_t(1) << s) < v) ++s;
  return s;
}

void TEX_downscale(TEX_image_desc& desc, unsigned char* pixels, int fx, int fy) {
  if (fx < 1 || fy < 1 || fx > desc.width || fy > desc.height || desc.pad < 0) return;
  if (fx == 1 && fy == 1) return;
  const int bpp = bytes_per_pixel(desc.format);
  const int nw = desc.width / fx, nh = desc.height / fy;
  const size_t src_stride = size_t(desc.width) * bpp + desc.pad;
  const size_t dst_stride = size_t(nw) * bpp + desc.pad;
  const int shift = ceil_log2(fx) + ceil_log2(fy);
  for (int y = 0; y < nh; ++y) {
    const unsigned char* src = pixels + size_t(y) * fy * src_stride;
    unsigned char* dst = pixels + size_t(y) * dst_stride;
    for (int x = 0; x < nw; ++x) {
      for (int c = 0; c < bpp; ++c) {
        uint64_t sum = 0;
        for (int j = 0; j < fy; ++j) {
          const unsigned char* p = src + size_t(j) * src_stride + size_t(x) * fx * bpp + c;
          for (int i = 0; i < fx; ++i) sum += p[size_t(i) * bpp];
        }
        dst[size_t(x) * bpp + c] = static_cast<unsigned char>(sum >> shift);
      }
    }
    // The output row's pad bytes stay as they were; in place they are the
    // source's own bytes, which later rows no longer read.
  }
  desc.width = nw;
  desc.height = nh;
}

static void swap_bytes(unsigned char* a, unsigned char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) std::swap(a[i], b[i]);
}

int TEX_flip_y(const TEX_image_desc& in, unsigned char* pixels) {
  TEX_image_desc d = in;
  d.has_mipmaps = 0;
  int found = 0;
  switch (d.format) {
    case GL_ALPHA:
    case GL_RGB:
    case GL_RGBA:
    case GL_BGR:
    case GL_BGRA:
    case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: break;
    default: __MACIBM_alert(0, "Illegal format!", "", "", "", t_exit, __FILE__, __LINE__); return 0;
  }
  if (d.width < 1 || d.height < 1) return 0;
  for (;;) {
    const int64_t size = TEX_bytes_needed_for_image(d);
    if (d.format == GL_ALPHA || d.format == GL_RGB || d.format == GL_RGBA || d.format == GL_BGR ||
        d.format == GL_BGRA) {
      const size_t row = size_t(size / d.height);
      for (int j = 0; j < d.height / 2; ++j)
        swap_bytes(pixels + size_t(j) * row, pixels + size_t(d.height - 1 - j) * row, row);
    } else {
      const int per_row = d.width / 4, rows = d.height / 4;
      const bool dxt1 = d.format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT ||
                        d.format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
      const size_t block = dxt1 ? 8 : 16;
      const size_t row_bytes = size_t(per_row) * block;
      for (int k = 0; k < rows / 2; ++k) {
        unsigned char* a = pixels + size_t(k) * row_bytes;
        unsigned char* b = pixels + size_t(rows - 1 - k) * row_bytes;
        if (dxt1) {
          found |= nv_flip_blocks_dxtc1(a, per_row, found);
          found |= nv_flip_blocks_dxtc1(b, per_row, found);
        } else if (d.format == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT) {
          nv_flip_blocks_dxtc3(a, per_row, 0);
          nv_flip_blocks_dxtc3(b, per_row, 0);
        } else {
          nv_flip_blocks_dxtc5(a, per_row, 0);
          nv_flip_blocks_dxtc5(b, per_row, 0);
        }
        swap_bytes(a, b, row_bytes);
      }
    }
    if (!in.has_mipmaps || (d.width == 1 && d.height == 1)) break;
    pixels += size;
    if (d.width >= 2) d.width /= 2;
    if (d.height >= 2) d.height /= 2;
  }
  return found;
}

// The 5 x 5 means come from column sums over the five rows around the
// current one, updated by one row in and one out per row, and a sliding
// window over those: O(1) a pixel. Only opaque pixels contribute and they are
// never changed, so the order of the scan does not matter.
void TEX_clean_edge(const TEX_image_desc& desc, unsigned char* pixels) {
  if (desc.format != GL_RGBA || desc.width < 1 || desc.height < 1 || desc.pad < 0) return;
  const int w = desc.width, h = desc.height;
  const size_t stride = size_t(w) * 4 + desc.pad;
  constexpr int strip = 512;
  uint32_t col[strip + 4][4];
  auto add_row = [&](int y, int cx0, int n, int sign) {
    const unsigned char* p = pixels + size_t(y) * stride + size_t(cx0) * 4;
    for (int c = 0; c < n; ++c, p += 4) {
      if (!p[3]) continue;
      col[c][0] += sign;
      col[c][1] += sign * p[0];
      col[c][2] += sign * p[1];
      col[c][3] += sign * p[2];
    }
  };
  for (int x0 = 0; x0 < w; x0 += strip) {
    const int x1 = std::min(w, x0 + strip);
    const int cx0 = std::max(0, x0 - 2), cx1 = std::min(w, x1 + 2), n = cx1 - cx0;
    memset(col, 0, sizeof(col));
    for (int y = 0; y <= 2 && y < h; ++y) add_row(y, cx0, n, 1);
    for (int y = 0; y < h; ++y) {
      uint32_t win[4] = {0, 0, 0, 0};
      for (int c = std::max(cx0, x0 - 2); c < std::min(cx1, x0 + 3); ++c)
        for (int k = 0; k < 4; ++k) win[k] += col[c - cx0][k];
      unsigned char* p = pixels + size_t(y) * stride + size_t(x0) * 4;
      for (int x = x0; x < x1; ++x, p += 4) {
        if (!p[3] && win[0]) {
          p[0] = static_cast<unsigned char>(win[1] / win[0]);
          p[1] = static_cast<unsigned char>(win[2] / win[0]);
          p[2] = static_cast<unsigned char>(win[3] / win[0]);
        }
        if (x + 3 < cx1)
          for (int k = 0; k < 4; ++k) win[k] += col[x + 3 - cx0][k];
        if (x - 2 >= cx0)
          for (int k = 0; k < 4; ++k) win[k] -= col[x - 2 - cx0][k];
      }
      if (y - 2 >= 0) add_row(y - 2, cx0, n, -1);
      if (y + 3 < h) add_row(y + 3, cx0, n, 1);
    }
  }
}

void TEX_zap_alpha(const TEX_image_desc& desc, unsigned char* pixels) {
  if (desc.width < 1 || desc.height < 1 || desc.pad < 0) return;
  const size_t stride = size_t(desc.width) * 4 + desc.pad;
  for (int y = 0; y < desc.height; ++y) {
    unsigned char* p = pixels + size_t(y) * stride;
    for (int x = 0; x < desc.width; ++x, p += 4)
      if (!p[3]) p[0] = p[1] = p[2] = 0;
  }
}

void TEX_chroma_key(const TEX_image_desc& desc, unsigned char* pixels, const unsigned char* key,
                    int tolerance) {
  if (desc.width < 1 || desc.height < 1 || desc.pad < 0) return;
  const size_t stride = size_t(desc.width) * 4 + desc.pad;
  for (int y = 0; y < desc.height; ++y) {
    unsigned char* p = pixels + size_t(y) * stride;
    for (int x = 0; x < desc.width; ++x, p += 4)
      if (abs(p[0] - key[0]) + abs(p[1] - key[1]) + abs(p[2] - key[2]) < tolerance) p[3] = 0;
  }
}

void TEX_copy(const TEX_image_desc& src, const TEX_image_desc& dst, const unsigned char* src_pixels,
              unsigned char* dst_pixels, int x, int y) {
  if (src.width < 1 || src.height < 1 || dst.width < 1 || dst.height < 1 || src.pad < 0 ||
      dst.pad < 0)
    return;
  const int b = src.format == GL_RGBA ? 4 : 3;
  const size_t ss = size_t(src.width) * b + src.pad, ds = size_t(dst.width) * b + dst.pad;
  const int64_t c0 = std::max<int64_t>(0, -int64_t(x));
  const int64_t c1 = std::min<int64_t>(src.width, int64_t(dst.width) - x);
  if (c0 >= c1) return;
  for (int r = 0; r < src.height; ++r) {
    const int64_t dy = int64_t(y) + r;
    if (dy < 0 || dy >= dst.height) continue;
    memcpy(dst_pixels + size_t(dy) * ds + size_t(x + c0) * b, src_pixels + size_t(r) * ss + c0 * b,
           size_t(c1 - c0) * b);
  }
}

void TEX_composite(const TEX_image_desc& src, const TEX_image_desc& dst,
                   const unsigned char* src_pixels, unsigned char* dst_pixels, float x1, float y1,
                   float x2, float y2) {
  if (src.width < 1 || src.height < 1 || dst.width < 1 || dst.height < 1 || src.pad < 0 ||
      dst.pad < 0)
    return;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const bool sa = src.format == GL_RGBA, da = dst.format == GL_RGBA;
  const int bs = sa ? 4 : 3, bd = da ? 4 : 3;
  const size_t ss = size_t(src.width) * bs + src.pad, ds = size_t(dst.width) * bd + dst.pad;
  const int cx0 = int(std::max(0.0, std::floor(double(x1))));
  const int cx1 = int(std::min(std::ceil(double(x2)), double(dst.width)));
  const int cy0 = int(std::max(0.0, std::floor(double(y1))));
  const int cy1 = int(std::min(std::ceil(double(y2)), double(dst.height)));
  for (int y = cy0; y < cy1; ++y) {
    double sy = y1 == y2 ? src.height / 2.0 : src.height / (double(y2) - y1) * (y - double(y1));
    sy = std::clamp(sy, -2.0, src.height + 2.0);
    const int j = int(std::floor(sy));
    const double fy = sy - j;
    for (int x = cx0; x < cx1; ++x) {
      double sx = x1 == x2 ? src.width / 2.0 : src.width / (double(x2) - x1) * (x - double(x1));
      sx = std::clamp(sx, -2.0, src.width + 2.0);
      const int i = int(std::floor(sx));
      const double fx = sx - i;
      double wgt[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      const int si[4] = {i, i + 1, i, i + 1}, sj[4] = {j, j, j + 1, j + 1};
      const unsigned char* sp[4] = {};
      for (int k = 0; k < 4; ++k) {
        if (si[k] < 0 || si[k] >= src.width || sj[k] < 0 || sj[k] >= src.height) wgt[k] = 0;
        if (wgt[k] != 0) sp[k] = src_pixels + size_t(sj[k]) * ss + size_t(si[k]) * bs;
      }
      unsigned char* dp = dst_pixels + size_t(y) * ds + size_t(x) * bd;
      if (sa) {
        if (da) {
          double a = dp[3];
          for (int k = 0; k < 4; ++k)
            if (wgt[k] != 0) a += wgt[k] * sp[k][3];
          dp[3] = static_cast<unsigned char>(std::clamp(int(a), 0, 255));
        }
        for (int k = 0; k < 4; ++k)
          if (wgt[k] != 0) wgt[k] *= sp[k][3] / 255.0;
      } else if (da) {
        const double a = dp[3] + 255.0 * (wgt[0] + wgt[1] + wgt[2] + wgt[3]);
        dp[3] = static_cast<unsigned char>(std::clamp(int(a), 0, 255));
      }
      const double rest = 1.0 - (wgt[0] + wgt[1] + wgt[2] + wgt[3]);
      for (int c = 0; c < 3; ++c) {
        double v = dp[c] * rest;
        for (int k = 0; k < 4; ++k)
          if (wgt[k] != 0) v += wgt[k] * sp[k][c];
        dp[c] = static_cast<unsigned char>(std::clamp(int(v), 0, 255));
      }
    }
  }
}

int DecColor565(uint16_t& c) {
  int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
  if (g > 0) --g;
  else if (b > 0) --b;
  else if (r > 0) --r;
  else return 0;
  c = static_cast<uint16_t>((r << 11) | (g << 5) | b);
  return 1;
}

int IncColor565(uint16_t& c) {
  int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
  if (g < 63) ++g;
  else if (b < 31) ++b;
  else if (r < 31) ++r;
  else return 0;
  c = static_cast<uint16_t>((r << 11) | (g << 5) | b);
  return 1;
}

int TEX_load_any(const std::string& path, unsigned char*& pixels, unsigned long want_format,
                 int pad_to_width, int auto_alpha, TEX_image_desc& out, size_t capacity) {
  xmap_class file(path);
  if (!file.map_base || file.map_end - file.map_base < 8) return 0;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(file.map_base);
  if (b[0] == 'B' && b[1] == 'M') {
    const int r = TEX_load_bmp(path, file, pixels, want_format, pad_to_width, 0, out, capacity);
    if (r) return r;
  }
  if (png_sig_cmp(b, 0, 8) == 0)
    return TEX_load_png(path, file, pixels, want_format, pad_to_width, 0, auto_alpha, out,
                        capacity);
  return 0;
}

int TEX_load_any_ext(const std::string& path, unsigned char*& pixels, unsigned long want_format,
                     int pad_to_width, int auto_alpha, TEX_image_desc& out, size_t capacity) {
  std::string base = path;
  if (base.size() > 4 && base[base.size() - 4] == '.') base.resize(base.size() - 4);
  if (int r = TEX_load_any(base + ".png", pixels, want_format, pad_to_width, auto_alpha, out,
                           capacity))
    return r;
  return TEX_load_any(base + ".bmp", pixels, want_format, pad_to_width, auto_alpha, out, capacity);
}
