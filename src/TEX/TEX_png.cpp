// PNG reading and writing on libpng 1.6.
//
// libpng reports errors through my_error, which must not return: it shows the
// alert and longjmps to the recovery point. So no C++ object with a
// destructor lives in a frame between setjmp and png_longjmp, and no
// exception ever leaves a callback: the setjmp halves are plain functions that
// return a status, and every alert that may end the program (and in tests
// throw) is raised only after libpng's structures are gone.
#include "TEX/TEX_png.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "GenH/shell.h"
#include "OGL/colr.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_scratch.h"
#include "UTL/xer.h"

namespace {

// Larger sides are refused by libpng before anything is allocated.
constexpr png_uint_32 k_max_side = 16384;

struct png_ctx {
  const std::string* path;
  xmap_class* file;
};

void show_png_error(const png_ctx* ctx, const char* message) noexcept {
  try {
    __MACIBM_alert(0, "PNG error!", message ? message : "", ctx ? *ctx->path : std::string(), "",
                   t_alert, __FILE__, __LINE__);
  } catch (...) {
  }
}

void my_error(png_structp png, png_const_charp message) {
  show_png_error(static_cast<const png_ctx*>(png_get_error_ptr(png)), message);
  png_longjmp(png, 1);
}

void my_warning(png_structp png, png_const_charp message) {
  try {
    const png_ctx* ctx = static_cast<const png_ctx*>(png_get_error_ptr(png));
    xer << "PNG warning! " << (message ? message : "") << ", " << (ctx ? *ctx->path : "") << "\n";
  } catch (...) {
  }
}

png_voidp my_malloc(png_structp, png_alloc_size_t size) { return malloc(size); }
void my_free(png_structp, png_voidp p) { free(p); }

void my_readbuf(png_structp png, png_bytep dst, png_size_t len) {
  xmap_class* f = static_cast<png_ctx*>(png_get_io_ptr(png))->file;
  if (len > size_t(f->map_end - f->cursor)) png_error(png, "PNG Read Error, overran end of buffer!");
  memcpy(dst, f->cursor, len);
  f->cursor += len;
}

enum read_status { read_ok, read_unwound, read_too_big, read_no_memory, read_bad_format };

struct read_job {
  // in
  unsigned long want_format;
  int pad_to_width, pad_to_pow2, auto_alpha;
  size_t capacity;  // of a caller's buffer
  // out
  unsigned char* pixels;
  int allocated;
  TEX_image_desc desc;
  uint64_t needed;
  png_bytep* rows;
};

// Everything between setjmp and the end of the decode. Plain data only.
read_status decode(png_structp png, png_infop info, read_job* job) {
  if (setjmp(png_jmpbuf(png))) return read_unwound;
  png_set_user_limits(png, k_max_side, k_max_side);
  // libpng allocates and clears a text or suggested-palette chunk's declared
  // size before reading it (a size over its limit only warns), so a damaged
  // file of a few bytes could take 2 GB, and a colour profile up to 8 MB.
  // Only the chunks that shape the pixels are read; the rest are skipped.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static const png_byte k_used[] = "gAMA\0cHRM\0sRGB\0sBIT";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, k_used, 4);
  png_read_info(png, info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, type = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &type, nullptr, nullptr, nullptr);
  job->desc.format = static_cast<uint32_t>(job->want_format);
  job->desc.width = static_cast<int>(w);
  job->desc.height = static_cast<int>(h);
  job->desc.pad = 0;
  job->desc.has_mipmaps = 0;
  png_set_interlace_handling(png);

  double file_gamma = 0;
  if (!png_get_gAMA(png, info, &file_gamma)) file_gamma = 1.0 / colr.gamma_1;
  png_set_gamma(png, colr.gamma_2, file_gamma);

  const int trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if ((type == PNG_COLOR_TYPE_PALETTE && depth <= 8) || (type == PNG_COLOR_TYPE_GRAY && depth < 8) ||
      trns)
    png_set_expand(png);
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  const int has_alpha = (type & PNG_COLOR_MASK_ALPHA) || trns;
  uint32_t fmt = job->desc.format;
  if (job->auto_alpha) {
    if (has_alpha && fmt == GL_RGB) fmt = GL_RGBA;
    if (!has_alpha && fmt == GL_RGBA) fmt = GL_RGB;
    job->desc.format = fmt;
  }
  int bpp = 0;
  switch (fmt) {
    case GL_RGB: bpp = 3; break;
    case GL_RGBA: bpp = 4; break;
    case GL_ALPHA: bpp = 1; break;
    default: return read_bad_format;
  }
  if (!has_alpha && fmt == GL_RGBA) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  if (has_alpha && fmt != GL_RGBA) png_set_strip_alpha(png);
  if (fmt == GL_ALPHA && (type & PNG_COLOR_MASK_COLOR))
    png_set_rgb_to_gray(png, PNG_ERROR_ACTION_NONE, -1, -1);
  if (fmt != GL_ALPHA && !(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);

  const int width = job->desc.width, height = job->desc.height;
  int64_t pad = 0;
  if (job->pad_to_pow2)
    pad = int64_t(bpp) * (TEX_next_pow2(width) - width);
  else if (job->pad_to_width)
    pad = int64_t(bpp) * (int64_t(job->pad_to_width) - width);
  if (pad < 0 || pad > (int64_t(1) << 20)) png_error(png, "Row padding narrower than the image");
  job->desc.pad = static_cast<int>(pad);

  png_read_update_info(png, info);
  // The transformations must give exactly the row we lay out; anything else
  // would write past the rows.
  if (png_get_rowbytes(png, info) != size_t(bpp) * width)
    png_error(png, "Unexpected row layout after transformations");

  const uint64_t out_rows = job->pad_to_pow2 ? uint64_t(TEX_next_pow2(height)) : uint64_t(height);
  const uint64_t stride = uint64_t(bpp) * width + job->desc.pad;
  job->needed = stride * out_rows;
  if (job->pixels) {
    if (!TEX_fits(job->pixels, width, height, job->needed, job->capacity)) return read_too_big;
    if (job->pad_to_pow2 && (job->desc.pad > 0 || out_rows > uint64_t(height)))
      memset(job->pixels, 0, job->needed);
  } else {
    job->pixels = static_cast<unsigned char*>(calloc(job->needed, 1));
    if (!job->pixels) return read_no_memory;
    job->allocated = 1;
  }
  job->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
  if (!job->rows) return read_no_memory;
  for (int k = 0; k < height; ++k) job->rows[k] = job->pixels + (height - 1 - k) * stride;
  png_read_image(png, job->rows);
  return read_ok;
}

}  // namespace

int TEX_load_png(const std::string& path, xmap_class& file, unsigned char*& pixels,
                 unsigned long want_format, int pad_to_width, int pad_to_pow2, int auto_alpha,
                 TEX_image_desc& desc, size_t capacity) {
  png_ctx ctx{&path, &file};
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &ctx, my_error, my_warning,
                                             &ctx, my_malloc, my_free);
  if (!png) __MACIBM_alert(0, "PING-FILE ERROR!", "!png_ptr", path, "", t_exit, __FILE__, __LINE__);
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    __MACIBM_alert(0, "PING-FILE ERROR!", "!info_ptr", path, "", t_exit, __FILE__, __LINE__);
    return 0;
  }
  if (!file.cursor || !file.map_end || file.map_end - file.cursor < 8) {
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  if (png_sig_cmp(reinterpret_cast<png_const_bytep>(file.cursor), 0, 8)) {
    png_destroy_read_struct(&png, &info, nullptr);
    __MACIBM_alert(0, "PING-FILE ERROR!", "is_png=!png_sig_cmp(png_io_buf,0,8)", path, "", t_exit,
                   __FILE__, __LINE__);
    return 0;
  }
  png_init_io(png, nullptr);
  png_set_read_fn(png, &ctx, my_readbuf);
  png_set_sig_bytes(png, 8);
  file.cursor += 8;

  read_job job{};
  job.want_format = want_format;
  job.pad_to_width = pad_to_width;
  job.pad_to_pow2 = pad_to_pow2;
  job.auto_alpha = auto_alpha;
  job.pixels = pixels;
  job.capacity = TEX_capacity_of(pixels, capacity);
  const read_status st = decode(png, info, &job);
  png_destroy_read_struct(&png, &info, nullptr);
  free(job.rows);
  if (st != read_ok && job.allocated) free(job.pixels);
  switch (st) {
    case read_ok:
      pixels = job.pixels;
      desc = job.desc;
      return 1;
    case read_too_big:
      TEX_check_fits(pixels, job.desc.width, job.desc.height, job.needed, job.capacity, path);
      return 0;
    case read_bad_format:
      __MACIBM_alert(0, "Illegal bits per pixel", "", "", "", t_exit, __FILE__, __LINE__);
      return 0;
    case read_no_memory:
      __MACIBM_alert(0, "PING-FILE ERROR!", "out of memory", path, "", t_exit, __FILE__, __LINE__);
      return 0;
    case read_unwound:
      __MACIBM_alert(0, "PING-FILE ERROR!", "setjmp(png_ptr->jmpbuf", path, "", t_exit, __FILE__,
                     __LINE__);
      return 0;
  }
  return 0;
}

namespace {

struct write_job {
  FILE* fp;
  const TEX_image_desc* desc;
  const unsigned char* pixels;
  int bpp;
  png_bytep* rows;
};

// 1 when libpng took every row; 0 when it unwound.
int encode(png_structp png, png_infop info, write_job* job) {
  if (setjmp(png_jmpbuf(png))) return 0;
  png_init_io(png, job->fp);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  png_set_compression_level(png, 9);
  png_set_compression_mem_level(png, 8);
  png_set_compression_strategy(png, 0);
  png_set_compression_window_bits(png, 15);
  png_set_compression_method(png, 8);
  png_set_compression_buffer_size(png, 8192);
  png_set_gAMA(png, info, 0.5555555555555556);
  const int type = job->bpp == 4 ? PNG_COLOR_TYPE_RGB_ALPHA
                   : job->bpp == 3 ? PNG_COLOR_TYPE_RGB
                                   : PNG_COLOR_TYPE_GRAY;
  const TEX_image_desc& d = *job->desc;
  png_set_IHDR(png, info, png_uint_32(d.width), png_uint_32(d.height), 8, type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = size_t(job->bpp) * d.width + d.pad;
  for (int i = 0; i < d.height; ++i)
    job->rows[d.height - 1 - i] = const_cast<png_bytep>(job->pixels + size_t(i) * stride);
  png_write_image(png, job->rows);
  png_write_end(png, info);
  return 1;
}

// A failed write leaves no partial file behind; only a regular file that we
// created is removed (never a device such as /dev/full).
void remove_partial(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(name.c_str());
}

}  // namespace

bool TEX_save_png(const std::string& path, const TEX_image_desc& desc, const unsigned char* pixels) {
  int bpp = 0;
  switch (desc.format) {
    case GL_RGB: bpp = 3; break;
    case GL_RGBA: bpp = 4; break;
    case GL_ALPHA: bpp = 1; break;
    default:
      __MACIBM_alert(0, "Illegal pixel format for png-write.", path, "", "", t_exit, __FILE__,
                     __LINE__);
      return false;
  }
  if (desc.width < 1 || desc.height < 1 || desc.pad < 0 || !pixels) return false;
  const std::string name = app_path + path;
  FILE* fp = fopen(name.c_str(), "wb");
  if (!fp) return false;
  png_ctx ctx{&path, nullptr};
  write_job job{fp, &desc, pixels, bpp,
                static_cast<png_bytep*>(malloc(sizeof(png_bytep) * desc.height))};
  png_structp png = job.rows ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, my_error,
                                                       my_warning)
                             : nullptr;
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  int ok = png && info && encode(png, info, &job);
  if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  free(job.rows);
  if (fflush(fp) != 0 || ferror(fp)) ok = 0;
  if (fclose(fp) != 0) ok = 0;
  if (!ok) remove_partial(name);
  return ok != 0;
}

int write_png_to_disk(const std::string& path, int width, int height, int channels) {
  const TEX_image_desc d{channels == 4 ? uint32_t(GL_RGBA) : uint32_t(GL_RGB), width, height, 0, 0};
  if (uint64_t(width) * height * (channels == 4 ? 4 : 3) > scratch_array_bytes) return 0;
  return TEX_save_png(path, d, scratch_array);
}
