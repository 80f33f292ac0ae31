// Uncompressed 24-bit Windows bitmaps into the bottom-row-first layout.
#include "TEX/TEX_bmp.h"

#include <cstdlib>
#include <cstring>

#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_scratch.h"
#include "UTL/xer.h"

namespace {

// A little-endian field read only when all its bytes lie in the mapping;
// otherwise it counts as 0.
uint32_t field(const unsigned char* base, uint64_t size, uint64_t off, int bytes) {
  if (off + bytes > size) return 0;
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | base[off + i];
  return v;
}

int refuse(const std::string& path, const char* why) {
  xer << "WARNING: the bitmap " << path << " " << why << ".\n";
  return 0;
}

}  // namespace

int TEX_load_bmp(const std::string& path, xmap_class& file, unsigned char*& pixels,
                 unsigned long want_format, int pad_to_width, int pad_to_pow2,
                 TEX_image_desc& desc, size_t capacity) {
  if (!file.map_base || file.map_end <= file.map_base) return 0;
  int bpp = 0;
  switch (want_format) {
    case GL_RGB: bpp = 3; break;
    case GL_RGBA: bpp = 4; break;
    case GL_ALPHA: bpp = 1; break;
    default:
      __MACIBM_alert(0, "Illegal desired format for bmp.", path, "", "", t_exit, __FILE__,
                     __LINE__);
      return 0;
  }
  file.swap_bytes = 0;
  const unsigned char* base = reinterpret_cast<const unsigned char*>(file.map_base);
  const uint64_t size = uint64_t(file.map_end - file.map_base);
  if (size < 54) return refuse(path, "has a header that is cut short");
  const uint64_t data_off = field(base, size, 10, 4);
  const uint32_t info_size = field(base, size, 14, 4);
  const int32_t width = static_cast<int32_t>(field(base, size, 18, 4));
  const int32_t height = static_cast<int32_t>(field(base, size, 22, 4));
  const uint32_t bits = field(base, size, 28, 2);
  const uint32_t compression = field(base, size, 30, 4);
  file.cursor = file.map_base + 54;
  if (info_size < 40) return refuse(path, "has an information header shorter than 40 bytes");
  if (bits != 24)
    __MACIBM_alert(0, "Wrong bitmap color depth for texture!", "We need 24-bit color.", "", path,
                   t_exit, __FILE__, __LINE__);
  if (compression != 0)
    __MACIBM_alert(0, "Bitmap is compressed!", "", "", path, t_exit, __FILE__, __LINE__);
  if (width < 1 || height < 1 || width > 2048 || height > 2048)
    return refuse(path, "has a width or height below 1 or above 2048");
  if (data_off < 14 + uint64_t(info_size))
    return refuse(path, "places its pixels inside its header");

  desc.width = width;
  desc.height = height;
  desc.has_mipmaps = 0;
  desc.format = static_cast<uint32_t>(want_format);
  int64_t pad = 0;
  if (pad_to_pow2)
    pad = int64_t(TEX_next_pow2(width) - width) * bpp;
  else if (pad_to_width)
    pad = (int64_t(pad_to_width) - width) * bpp;
  if (pad < 0 || pad > (int64_t(1) << 20))
    return refuse(path, "is wider than the row it is to be padded to");
  desc.pad = static_cast<int>(pad);
  const uint64_t rows = pad_to_pow2 ? uint64_t(TEX_next_pow2(height)) : uint64_t(height);
  const uint64_t stride = uint64_t(bpp) * width + desc.pad;
  const uint64_t needed = stride * rows;
  if (pixels) {
    TEX_check_fits(pixels, width, height, needed, TEX_capacity_of(pixels, capacity), path);
    if (pad_to_pow2 && (desc.pad >= 1 || rows > uint64_t(height))) memset(pixels, 0, needed);
  } else {
    pixels = static_cast<unsigned char*>(calloc(needed, 1));
    if (!pixels) {
      __MACIBM_alert(0, "Out of memory for a bitmap!", path, "", "", t_exit, __FILE__, __LINE__);
      return 0;
    }
  }

  const uint64_t src_stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
  const int gamma = colr.gamma_on;
  for (int i = 0; i < height; ++i) {
    const uint64_t row_off = data_off + uint64_t(i) * src_stride;
    if (row_off >= size) break;  // the rest of the data is missing
    unsigned char* out = pixels + uint64_t(i) * stride;
    for (int x = 0; x < width; ++x, out += bpp) {
      const uint64_t off = row_off + uint64_t(x) * 3;
      if (off + 2 >= size) break;  // a missing pixel keeps the buffer's contents
      const unsigned char B = base[off], G = base[off + 1], R = base[off + 2];
      if (bpp == 1) {
        out[0] = static_cast<unsigned char>((B + G + R) / 3);
        continue;
      }
      out[0] = gamma ? colr.gamma_ramp[R] : R;
      out[1] = gamma ? colr.gamma_ramp[G] : G;
      out[2] = gamma ? colr.gamma_ramp[B] : B;
      if (bpp == 4) {
        if (B == 255 && G == 0 && R == 255)
          out[0] = out[1] = out[2] = out[3] = 0;
        else
          out[3] = 255;
      }
    }
  }
  return 1;
}
