// DDS reading and writing, DXT block flips and gamma, S3TC through libsquish.
#include "TEX/TEX_dds.h"

#include <squish.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OOPS_cpp/xmap.h"

namespace {

template <typename T>
T load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}
template <typename T>
void store(unsigned char* p, const T& v) {
  memcpy(p, &v, sizeof v);
}

constexpr uint32_t fourcc(const char* s) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// Sides beyond this cannot come with their data in any file we map, and
// keep every size computation far from overflow.
constexpr uint32_t k_max_side = 1u << 20;

void flip_colour_indices(DXTColBlock& b) {
  std::swap(b.row[0], b.row[3]);
  std::swap(b.row[1], b.row[2]);
}

int has_transparent_texel(const DXTColBlock& b) {
  if (b.col1 < b.col0) return 0;  // 4-colour mode
  for (const uint8_t r : b.row)
    for (int s = 0; s < 8; s += 2)
      if (((r >> s) & 3) == 3) return 1;
  return 0;
}

// The colour part of a DXT3 or DXT5 block, as that of DXT1 without its
// transparency.
void flip_colour_part(unsigned char* c) {
  DXTColBlock b = load<DXTColBlock>(c);
  flip_colour_indices(b);
  store(c, b);
  if (colr.gamma_on) nv_gamma_correct(c);
}

uint16_t gamma_565(uint16_t c) {
  const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
  const int r8 = colr.gamma_ramp[(r << 3) | (r >> 2)];
  const int g8 = colr.gamma_ramp[(g << 2) | (g >> 4)];
  const int b8 = colr.gamma_ramp[(b << 3) | (b >> 2)];
  return static_cast<uint16_t>(((r8 >> 3) << 11) | ((g8 >> 2) << 5) | (b8 >> 3));
}

}  // namespace

int TEX_load_dds(const std::string&, xmap_class& file, unsigned char*& pixels,
                 TEX_image_desc& desc) {
  if (!file.map_base || file.map_end - file.map_base < 128) return 0;
  const unsigned char* h = reinterpret_cast<const unsigned char*>(file.map_base);
  if (memcmp(h, "DDS ", 4) != 0) return 0;
  const DDSURFACEDESC2 hd = load<DDSURFACEDESC2>(h + 4);
  desc.format = 0;
  const uint32_t pf_flags = hd.pixel_format.flags;
  if (pf_flags & 0x4) {
    const uint32_t cc = hd.pixel_format.fourcc;
    if (cc == fourcc("DXT1"))
      desc.format = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
    else if (cc == fourcc("DXT3"))
      desc.format = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    else if (cc == fourcc("DXT5"))
      desc.format = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    else
      return 0;
  }
  if (pf_flags & 0x40) {
    // The data is read as 4 bytes a pixel with alpha, 3 without: a bit count
    // that says otherwise would misplace every row.
    const uint32_t bits = hd.pixel_format.rgb_bit_count;
    const bool alpha = pf_flags & 0x1;
    if (bits != (alpha ? 32u : 24u)) return 0;
    desc.format = alpha ? GL_BGRA : GL_BGR;
  }
  if (!desc.format) return 0;
  const uint32_t height = hd.height, width = hd.width;
  if (width == 0 || height == 0 || width > k_max_side || height > k_max_side) return 0;
  desc.width = static_cast<int>(width);
  desc.height = static_cast<int>(height);
  desc.pad = 0;
  desc.has_mipmaps = (hd.flags & 0x20000) && (hd.caps1 & 0x400000) ? 1 : 0;
  const int64_t need = TEX_bytes_needed_for_image(desc);
  if (need <= 0 || need > file.map_end - file.map_base - 128) return 0;
  pixels = const_cast<unsigned char*>(h + 128);
  return 1;
}

void nv_flip_dxt5_alpha(unsigned char* a) {
  DXT5AlphaBlock b = load<DXT5AlphaBlock>(a);
  const uint8_t* r = b.row;
  const uint32_t g0 = uint32_t(r[0]) | uint32_t(r[1]) << 8 | uint32_t(r[2]) << 16;
  const uint32_t g1 = uint32_t(r[3]) | uint32_t(r[4]) << 8 | uint32_t(r[5]) << 16;
  const auto swap_rows = [](uint32_t g) { return ((g & 0xFFF) << 12) | ((g >> 12) & 0xFFF); };
  const uint32_t n0 = swap_rows(g1), n1 = swap_rows(g0);
  for (int i = 0; i < 3; ++i) {
    b.row[i] = static_cast<uint8_t>(n0 >> (8 * i));
    b.row[3 + i] = static_cast<uint8_t>(n1 >> (8 * i));
  }
  store(a, b);
}

void nv_gamma_correct(unsigned char* c) {
  DXTColBlock b = load<DXTColBlock>(c);
  const bool four = b.col1 < b.col0;
  const uint16_t g0 = gamma_565(b.col0), g1 = gamma_565(b.col1);
  if ((g1 < g0) == four) {
    b.col0 = g0;
    b.col1 = g1;
    store(c, b);
    return;
  }
  if (g0 != g1) {
    b.col0 = g1;
    b.col1 = g0;
  } else {
    uint16_t up = g0;
    if (IncColor565(up)) {
      b.col0 = up;
      b.col1 = g0;
    } else {
      b.col0 = g0;
      b.col1 = static_cast<uint16_t>(g0 - (1 << 5));
    }
  }
  // Exchanged endpoints: 0 <-> 1 always, 2 <-> 3 in 4-colour mode.
  for (uint8_t& r : b.row) {
    uint8_t out = 0;
    for (int s = 0; s < 8; s += 2) {
      int idx = (r >> s) & 3;
      if (idx < 2 || four) idx ^= 1;
      out = static_cast<uint8_t>(out | idx << s);
    }
    r = out;
  }
  store(c, b);
}

int nv_flip_blocks_dxtc1(unsigned char* p, int count, int found) {
  for (int i = 0; i < count; ++i, p += sizeof(DXTColBlock)) {
    DXTColBlock b = load<DXTColBlock>(p);
    flip_colour_indices(b);
    if (!found && has_transparent_texel(b)) found = 1;
    store(p, b);
    if (colr.gamma_on) nv_gamma_correct(p);
  }
  return found;
}

int nv_flip_blocks_dxtc3(unsigned char* b, int count, int) {
  for (int i = 0; i < count; ++i, b += 16) {
    for (int k = 0; k < 2; ++k) {  // four 16-bit rows of 4-bit alphas
      std::swap(b[2 * k], b[6 - 2 * k]);
      std::swap(b[2 * k + 1], b[7 - 2 * k]);
    }
    flip_colour_part(b + 8);
  }
  return 0;
}

int nv_flip_blocks_dxtc5(unsigned char* b, int count, int) {
  for (int i = 0; i < count; ++i, b += 16) {
    nv_flip_dxt5_alpha(b);
    flip_colour_part(b + sizeof(DXT5AlphaBlock));
  }
  return 0;
}

static int squish_kind(uint32_t format) {
  switch (format) {
    case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: return squish::kDxt1;
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: return squish::kDxt3;
    default: return squish::kDxt5;
  }
}

void TEX_encode_s3tc(const TEX_image_desc& src, const TEX_image_desc& dst,
                     const unsigned char* pixels, unsigned char* blocks, int quality) {
  const int fit = quality == s3tc_fast   ? squish::kColourRangeFit
                  : quality == s3tc_best ? squish::kColourIterativeClusterFit
                                         : squish::kColourClusterFit;
  squish::CompressImage(pixels, src.width, src.height, blocks, fit | squish_kind(dst.format));
}

void TEX_decode_s3tc(const TEX_image_desc& src, const TEX_image_desc&, const unsigned char* blocks,
                     unsigned char* pixels) {
  squish::DecompressImage(pixels, src.width, src.height, blocks, squish_kind(src.format));
}

bool TEX_save_dds(const std::string& path, const unsigned char* pixels,
                  const TEX_image_desc& in_desc) {
  if (!(in_desc.format == GL_RGBA || in_desc.format == GL_RGB)) {
    __MACIBM_alert(0,
                   "rel_assert Error! Possibly an out of range vector! Attach the debugger and see "
                   "who called this!",
                   "in_desc.format == GL_RGBA || in_desc.format == GL_RGB", "TEX_save_dds",
                   "Please report this to Tessaline Labs.", t_exit, __FILE__, __LINE__);
    return false;
  }
  const int W = in_desc.width, H = in_desc.height;
  if (W < 1 || H < 1 || uint64_t(W) * H > (uint64_t(1) << 26) || in_desc.pad < 0 || !pixels)
    return false;
  const std::string name = app_path + path;
  FILE* fp = fopen(name.c_str(), "wb");
  if (!fp) return false;
  const bool rgba = in_desc.format == GL_RGBA;
  const int flags = rgba ? squish::kDxt5 : squish::kDxt1;
  std::vector<unsigned char> work(size_t(W) * H * 4);
  std::vector<unsigned char> blocks(size_t(squish::GetStorageRequirements(W, H, flags)));

  int levels = 1;
  for (int w = W, h = H; w > 1 || h > 1; ++levels) {
    if (w > 1) w /= 2;
    if (h > 1) h /= 2;
  }
  // Input rows come bottom first; DDS stores the top row first.
  const int bpp = rgba ? 4 : 3;
  const size_t in_stride = size_t(bpp) * W + in_desc.pad;
  for (int r = 0; r < H; ++r) {
    const unsigned char* s = pixels + size_t(r) * in_stride;
    unsigned char* d = work.data() + size_t(H - 1 - r) * W * 4;
    for (int x = 0; x < W; ++x, s += bpp, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = rgba ? s[3] : 255;
    }
  }

  DDSURFACEDESC2 hd{};
  hd.size = sizeof(hd);
  hd.flags = 0xA1007;  // caps, height, width, pixel format, mipmap count, linear size
  hd.height = uint32_t(H);
  hd.width = uint32_t(W);
  hd.pitch_or_linear_size = uint32_t(blocks.size());
  hd.mipmap_count = uint32_t(levels);
  hd.pixel_format.size = sizeof(hd.pixel_format);
  hd.pixel_format.flags = 0x4;
  hd.pixel_format.fourcc = fourcc(rgba ? "DXT5" : "DXT1");
  hd.caps1 = 0x401008;  // complex, texture, mipmap
  unsigned char hdr[128];
  memcpy(hdr, "DDS ", 4);
  store(hdr + 4, hd);
  bool ok = fwrite(hdr, 1, sizeof(hdr), fp) == sizeof(hdr);

  for (int w = W, h = H; ok;) {
    squish::CompressImage(work.data(), w, h, blocks.data(),
                          flags | squish::kColourIterativeClusterFit);
    const size_t n = size_t(squish::GetStorageRequirements(w, h, flags));
    ok = fwrite(blocks.data(), 1, n, fp) == n;
    if (w == 1 && h == 1) break;
    // Box filter to the next level, packed from the start of the work image.
    // An odd last column or row is dropped.
    const int nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
    const int sx = w > 1 ? 2 : 1, sy = h > 1 ? 2 : 1;
    const int shift = (sx - 1) + (sy - 1);
    for (int y = 0; y < nh; ++y)
      for (int x = 0; x < nw; ++x)
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int j = 0; j < sy; ++j)
            for (int i = 0; i < sx; ++i)
              sum += work[(size_t(y * sy + j) * w + size_t(x * sx + i)) * 4 + c];
          work[(size_t(y) * nw + x) * 4 + c] = static_cast<unsigned char>(sum >> shift);
        }
    w = nw;
    h = nh;
  }
  if (fflush(fp) != 0 || ferror(fp)) ok = false;
  if (fclose(fp) != 0) ok = false;
  if (!ok) {
    struct stat st;
    if (lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(name.c_str());
  }
  return ok;
}
