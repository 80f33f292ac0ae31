// The image descriptor and the in-place pixel utilities every image routine
// shares. Uncompressed buffers hold the bottom row first (the OpenGL origin);
// mip levels follow each other without gaps, each keeping the first level's
// pad. Buffers belong to the caller: nothing here allocates.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct TEX_image_desc {
  uint32_t format;  // GL pixel format of the buffer
  int width;        // pixels per row of the first level
  int height;       // rows of the first level
  int pad;          // bytes after each row; 0 for compressed formats
  int has_mipmaps;  // the buffer holds every level down to 1 x 1
};

// Bytes of the image, its mip chain included when has_mipmaps is set; 0 for
// an unknown format or a size below 1. 64-bit: a hostile header cannot wrap.
int64_t TEX_bytes_needed_for_image(const TEX_image_desc& desc);

// Box-filter reduction in place by fx x fy (powers of two that fit the
// image); width and height shrink, pad and format stay. Factors below 1 or
// beyond the image leave it unchanged.
void TEX_downscale(TEX_image_desc& desc, unsigned char* pixels, int fx, int fy);

// Turns the image (every level) upside down in place; non-zero when a DXT1
// block uses its transparent colour. An unknown format is a fatal alert.
int TEX_flip_y(const TEX_image_desc& desc, unsigned char* pixels);

// Gives each transparent RGBA pixel the mean colour of the opaque pixels of
// its 5 x 5 neighbourhood, so filtering does not bleed a foreign colour in at
// the edges. Rows of 4 x width + pad bytes; other formats are left alone.
void TEX_clean_edge(const TEX_image_desc& desc, unsigned char* pixels);

// Transparent RGBA pixels become black.
void TEX_zap_alpha(const TEX_image_desc& desc, unsigned char* pixels);
// RGBA pixels whose colour lies within tolerance (summed channel distance)
// of key become transparent.
void TEX_chroma_key(const TEX_image_desc& desc, unsigned char* pixels, const unsigned char* key,
                    int tolerance);

// Copies the source into the destination with its bottom-left pixel at
// (x, y); what falls outside the destination is clipped.
void TEX_copy(const TEX_image_desc& src, const TEX_image_desc& dst, const unsigned char* src_pixels,
              unsigned char* dst_pixels, int x, int y);
// Draws the whole source into the destination rectangle (x1, y1)-(x2, y2)
// with bilinear sampling, clipped to the destination.
void TEX_composite(const TEX_image_desc& src, const TEX_image_desc& dst,
                   const unsigned char* src_pixels, unsigned char* dst_pixels, float x1, float y1,
                   float x2, float y2);

// One step of a 5:6:5 colour down (green, else blue, else red) or up; 1 when
// the colour changed, 0 when no step exists.
int DecColor565(uint16_t& c);
int IncColor565(uint16_t& c);

// Loads a BMP or PNG by its first bytes. pixels null: the reader allocates
// (free it with free); otherwise it writes at most capacity bytes (0 means
// the whole scratch store for scratch_array). Non-zero on success; 0 for a
// missing file, one shorter than 8 bytes, or neither BMP nor PNG.
int TEX_load_any(const std::string& path, unsigned char*& pixels, unsigned long want_format,
                 int pad_to_width, int auto_alpha, TEX_image_desc& out, size_t capacity = 0);
// TEX_load_any on the path with ".png", then with ".bmp", in place of a
// three-letter suffix.
int TEX_load_any_ext(const std::string& path, unsigned char*& pixels, unsigned long want_format,
                     int pad_to_width, int auto_alpha, TEX_image_desc& out, size_t capacity = 0);
