// Where the texture layer plugs into the drawing layer and the scenery
// scanner, which exist before it and reach it only through these pointers.
#include <cstdlib>
#include <cstring>

#include "Files/io_locate.h"
#include "OGL/ogl_seams.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_obj.h"
#include "TEX/TEX_png.h"
#include "TEX/TEX_scratch.h"

namespace {

void bind_slot(int slot, int unit, int mode) {
  // The drawing layer binds its own slots before anything is in them (a
  // font with only blank glyphs so far): the placeholder stands in, as for
  // any texture not loaded.
  if (tman.fetch_ref(slot)) tman.bind_ref(slot, unit, mode);
  else TEX_bind_ref(tman_class::placeholder_slot, unit, mode);
}

int bytes_for_colour_code(unsigned flags) {
  switch (flags & 7) {
    case 1:
    case 4: return 3;
    case 2:
    case 5:
    case 7: return 4;
    case 3:
    case 6: return 1;
    default: return 0;
  }
}

// Lays the picture out in the scratch image at the size the manager stores
// (powers of two unless flag 0x1000) and loads it from there.
int load_slot(int slot, const unsigned char* pixels, int dx, int dy, int channels, unsigned flags,
              const char* name) {
  if (!pixels || !name || dx < 1 || dy < 1 || dx > 2048 || dy > 2048) return 0;
  if (channels != bytes_for_colour_code(flags)) return 0;
  const int tx = (flags & 0x1000) ? dx : TEX_next_pow2(dx);
  const int ty = (flags & 0x1000) ? dy : TEX_next_pow2(dy);
  const size_t row = size_t(dx) * channels, stride = size_t(tx) * channels;
  if (stride * ty > scratch_array_bytes) return 0;
  if (pixels != scratch_array || stride != row) {
    // Bottom row first in both; moving rows upwards never overwrites a row
    // still to be read when the source is the scratch image itself.
    for (int y = dy - 1; y >= 0; --y) {
      memmove(scratch_array + y * stride, pixels + y * row, row);
      memset(scratch_array + y * stride + row, 0, stride - row);
    }
  }
  memset(scratch_array + dy * stride, 0, (ty - dy) * stride);
  scratch_dx = dx;
  scratch_dy = dy;
  return tman.load_texture(tex_fail_fatal, slot, static_cast<int>(flags), tex_load_startup, name) !=
         0;
}

int load_rgba(const std::string& path, int max_side, unsigned char** pixels, int* dx, int* dy) {
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  if (!TEX_load_any(path, px, GL_RGBA, 0, 0, d) || !px) return 0;
  if (d.format != GL_RGBA || d.pad != 0 || d.width > max_side || d.height > max_side) {
    free(px);
    return 0;
  }
  *pixels = px;
  *dx = d.width;
  *dy = d.height;
  return 1;
}

int write_png(const std::string& path, const unsigned char* pixels, int dx, int dy,
              int channels) {
  if (!pixels || dx < 1 || dy < 1 || (channels != 3 && channels != 4)) return 0;
  if (pixels == scratch_array) return write_png_to_disk(path, dx, dy, channels);
  const TEX_image_desc d{channels == 4 ? uint32_t(GL_RGBA) : uint32_t(GL_RGB), dx, dy, 0, 0};
  return TEX_save_png(path, d, pixels) ? 1 : 0;
}

// REGION_BITMAP's 360 x 180 masks: 8-bit alpha, rows bottom-up, no padding.
int dsf_bitmap(const std::string& path, unsigned char*& pixels, int& width, int& height) {
  TEX_image_desc d{};
  pixels = nullptr;
  if (!TEX_load_any_ext(path, pixels, 6406, 0, 0, d)) {
    free(pixels);
    pixels = nullptr;
    return 0;
  }
  width = d.width;
  height = d.height;
  return 1;
}

int slot_info(int slot, unsigned* gl_name, int* dx, int* dy) {
  if (!tman.tex_loaded(slot)) return 0;
  TEX_obj* o = tman.get_known_obj(slot);
  if (!o) return 0;
  if (gl_name) *gl_name = o->gl_name.load();
  if (dx) *dx = static_cast<int>(tman.tex_dx_tot(slot));
  if (dy) *dy = static_cast<int>(tman.tex_dy_tot(slot));
  return 1;
}

}  // namespace

void TEX_install_seams() {
  OGL_tex_slot_info = slot_info;
  OGL_reset_tex_bind = TEX_reset_bind;
  OGL_bind_tex_slot = bind_slot;
  OGL_load_tex_slot = load_slot;
  OGL_load_rgba_image = load_rgba;
  OGL_write_png = write_png;
  DSF_bitmap_loader = dsf_bitmap;
}
