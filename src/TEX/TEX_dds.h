// DDS files (DXT1/3/5 and plain BGR/BGRA), DXT block flipping and gamma, and
// whole-image S3TC compression on libsquish.
#pragma once

#include <bit>
#include <cstdint>

#include "TEX/TEX_image.h"

class xmap_class;

// The layouts below are the file's bytes as they stand, little-endian; they
// are copied in and out whole, never cast over a buffer.
static_assert(std::endian::native == std::endian::little);

// The 124 bytes that follow a DDS file's magic "DDS ".
struct DDSURFACEDESC2 {
  uint32_t size;   // 124
  uint32_t flags;  // 0x20000: mipmap_count is given
  uint32_t height;
  uint32_t width;
  uint32_t pitch_or_linear_size;
  uint32_t depth;
  uint32_t mipmap_count;
  uint32_t reserved1[11];
  struct {
    uint32_t size;   // 32
    uint32_t flags;  // 0x4 FourCC, 0x40 RGB, 0x1 alpha pixels
    uint32_t fourcc;
    uint32_t rgb_bit_count;
    uint32_t r_mask, g_mask, b_mask, a_mask;
  } pixel_format;
  uint32_t caps1;  // 0x400000: a mip chain
  uint32_t caps2, caps3, caps4;
  uint32_t reserved2;
};
static_assert(sizeof(DDSURFACEDESC2) == 124);

// A DXT colour block: two 5:6:5 endpoints, then a byte of four 2-bit indices
// for each texel row, row 0 first. col0 <= col1 makes index 3 transparent.
struct DXTColBlock {
  uint16_t col0;
  uint16_t col1;
  uint8_t row[4];
};
static_assert(sizeof(DXTColBlock) == 8);

// A DXT5 alpha block: two endpoints, then sixteen 3-bit indices in two
// 24-bit groups of two 12-bit rows each, rows 0 and 1 first.
struct DXT5AlphaBlock {
  uint8_t alpha0;
  uint8_t alpha1;
  uint8_t row[6];
};
static_assert(sizeof(DXT5AlphaBlock) == 8);

// Describes the DDS mapped in file without copying: pixels points at byte
// 128 of the mapping (valid while it stays open). 1 when accepted; 0 for a
// file that is not a DDS, is shorter than its header or than the levels it
// announces, has a side of 0, or an unknown pixel format.
int TEX_load_dds(const std::string& path, xmap_class& file, unsigned char*& pixels,
                 TEX_image_desc& desc);

// Writes an RGBA (as DXT5) or RGB (as DXT1) buffer with its full box-filtered
// mip chain to app_path + path; true only when the whole file was written.
bool TEX_save_dds(const std::string& path, const unsigned char* pixels,
                  const TEX_image_desc& in_desc);

// Flip count consecutive blocks upside down in place. The DXT1 form returns
// found, or 1 when a block uses its transparent colour.
int nv_flip_blocks_dxtc1(unsigned char* blocks, int count, int found);
int nv_flip_blocks_dxtc3(unsigned char* blocks, int count, int ignored);
int nv_flip_blocks_dxtc5(unsigned char* blocks, int count, int ignored);
void nv_flip_dxt5_alpha(unsigned char* alpha_block);
// Maps the two endpoint colours of a DXT colour block through the gamma ramp,
// keeping the block's 3- or 4-colour mode.
void nv_gamma_correct(unsigned char* colour_block);

enum TEX_s3tc_quality { s3tc_fast = 0, s3tc_normal = 1, s3tc_best = 2 };

// One level: RGBA pixels (src size) to blocks of dst's DXT format, and back.
void TEX_encode_s3tc(const TEX_image_desc& src, const TEX_image_desc& dst,
                     const unsigned char* pixels, unsigned char* blocks, int quality);
void TEX_decode_s3tc(const TEX_image_desc& src, const TEX_image_desc& dst,
                     const unsigned char* blocks, unsigned char* pixels);
