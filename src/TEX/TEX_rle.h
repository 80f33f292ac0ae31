// Run-length packing of 32-bit images cut into vertical tiles. A stream is
// groups of signed 32-bit words: n > 0 then n literal pixels, n < 0 then one
// pixel repeated -n times, 0 = every later pixel is transparent. Every row
// covers whole tiles and no group crosses a tile edge, so a tile-aligned
// window is reached by skipping groups.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TEX/TEX_image.h"

// Packs the 4-byte-a-pixel image into rows of total_width / tile_width tiles
// (tiles beyond the image's right edge are runs of 0); a 0 word follows when
// height < total_rows. out receives a malloc'ed stream (free it); the result
// is its length in words.
size_t TEX_pack_image_rle(const TEX_image_desc& desc, const unsigned char* pixels,
                          int total_width, int total_rows, int tile_width, int*& out);

// The readers below take the stream's end (null = trust the stream); a word
// past it reads as the end marker. Groups are split where the window or the
// row ends, so nothing is written outside the rows x width output.

// rows rows of width pixels into out, packed tightly.
void TEX_unpack_image_rle(const int* stream, int skip_before, int skip_after, int width, int rows,
                          unsigned char* out, const int* stream_end = nullptr);
// Blends the window over out at level 0..256 (256 = full strength).
void TEX_unpack_composite_rle(const int* stream, int skip_before, int skip_after, int width,
                              int rows, unsigned char* out, int level,
                              const int* stream_end = nullptr);
// Unpacks the window, each pixel's bytes scaled by factors computed from the
// mixing stream's word (see unpack_and_mix).
void TEX_unpack_multi_mix_rle(const int* stream, const int* mix_stream, int skip_before,
                              int skip_after, int width, int rows, unsigned char* out,
                              const int* basis0, const int* basis1, const int* basis2,
                              const int* basis3, const int* bias, const int* stream_end = nullptr,
                              const int* mix_end = nullptr);
// One row of the above, both streams at group starts; 1 when the image
// stream's end word was met.
int unpack_mix(const int*& stream, const int*& mix_stream, unsigned char* out, int width,
               const int* basis0, const int* basis1, const int* basis2, const int* basis3,
               const int* bias);
// F[k] = bias[k] + sum over the mixing word's bytes w_i of (w_i x basis_i[k]) >> 8,
// clamped to 0..256.
void unpack_and_mix(uint32_t mix, const int* basis0, const int* basis1, const int* basis2,
                    const int* basis3, const int* bias, int* out);
// count pixels whose byte k comes from plane k (0 when the plane is null).
void TEX_pack_rgba(const unsigned char* plane0, const unsigned char* plane1,
                   const unsigned char* plane2, const unsigned char* plane3, int count,
                   unsigned char* out);
