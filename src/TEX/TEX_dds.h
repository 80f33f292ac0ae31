// DDS files (DXT1/3/5 and plain BGR/BGRA), DXT block flipping and gamma, and
// whole-image S3TC compression on libsquish.
#pragma once

#include "TEX/TEX_image.h"

class xmap_class;

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
