// PNG reading into the bottom-row-first layout, and PNG writing, on libpng.
#pragma once

#include "TEX/TEX_image.h"

class xmap_class;

// Decodes the PNG at the mapped file's cursor. Returns 1 when decoded, 0 when
// the file has no cursor or fewer than 8 bytes. pixels null: a zero-filled
// buffer is allocated (free it with free); otherwise at most capacity bytes
// are written (0 = the scratch store for scratch_array) and an image that
// does not fit is a fatal alert before a pixel is written. A corrupt file
// shows "PNG error!" and ends the program.
int TEX_load_png(const std::string& path, xmap_class& file, unsigned char*& pixels,
                 unsigned long want_format, int pad_to_width, int pad_to_pow2, int auto_alpha,
                 TEX_image_desc& desc, size_t capacity = 0);

// Writes app_path + path; true only when the whole file reached the disk. A
// failed write removes the partial file.
bool TEX_save_png(const std::string& path, const TEX_image_desc& desc, const unsigned char* pixels);

// Saves the start of scratch_array: RGBA when channels is 4, else RGB.
int write_png_to_disk(const std::string& path, int width, int height, int channels);
