// Reading uncompressed 24-bit Windows bitmaps.
#pragma once

#include "TEX/TEX_image.h"

class xmap_class;

// Decodes the bitmap mapped in file into the wanted format (GL_ALPHA, GL_RGB
// or GL_RGBA; magenta becomes transparent in RGBA). Returns 1 when decoded,
// 0 when nothing is mapped or the header is unusable (cut short, a size
// below 1 or above 2048, pixel data placed inside the header); a depth other
// than 24 bits or a compressed file is a fatal alert. pixels and capacity
// as for TEX_load_png.
int TEX_load_bmp(const std::string& path, xmap_class& file, unsigned char*& pixels,
                 unsigned long want_format, int pad_to_width, int pad_to_pow2,
                 TEX_image_desc& desc, size_t capacity = 0);
