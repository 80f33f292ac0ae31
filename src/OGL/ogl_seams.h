// Where the drawing layer meets the texture manager, the image files and the
// window. Each meeting point is a function pointer that its owner installs;
// until then the defaults below stand in, so text and quads already draw.
// The texture layer installs its own (tman.TEX_init, TEX_install_seams):
// slots through the texture manager, images through its readers and the PNG
// writer. The swap stays the window layer's.
#pragma once

#include <string>

// Binds texture slot `slot` on texture unit `unit` with the manager's bind
// mode. Default: the slot's texture from the stand-in table below, or no
// texture at all.
using ogl_bind_slot_fn = void (*)(int slot, int unit, int mode);
extern ogl_bind_slot_fn OGL_bind_tex_slot;

// Loads dx by dy pixels of `channels` bytes each (rows from the first texture
// row up, no padding) into texture slot `slot`; `flags` are the manager's
// flags word and `name` its "scratch_array-..." name. 1 on success. Default:
// a plain GL texture per slot, replaced whole when the size changes and
// updated in place otherwise.
using ogl_load_slot_fn = int (*)(int slot, const unsigned char* pixels, int dx, int dy,
                                 int channels, unsigned flags, const char* name);
extern ogl_load_slot_fn OGL_load_tex_slot;

// What texture slot `slot` holds: 1 with its GL texture name and the stored
// texture's total size (tman: tex_loaded, get_known_obj's gl_name,
// tex_dx_tot and tex_dy_tot) when it is loaded, else 0. Default: the
// stand-in table.
using ogl_slot_info_fn = int (*)(int slot, unsigned* gl_name, int* dx, int* dy);
extern ogl_slot_info_fn OGL_tex_slot_info;

// Forgets the texture-binding cache (TEX_reset_bind) after GL's binding
// changed behind it. Default: nothing (the stand-in binds every time).
using ogl_reset_bind_fn = void (*)();
extern ogl_reset_bind_fn OGL_reset_tex_bind;

// Reads an image file as RGBA (4 bytes a pixel, bottom row first, at most
// max_side pixels on a side) into a malloc'd buffer the caller frees. 1 on
// success. No default: null until the image readers are wired in.
using ogl_load_rgba_fn = int (*)(const std::string& path, int max_side, unsigned char** pixels,
                                 int* dx, int* dy);
extern ogl_load_rgba_fn OGL_load_rgba_image;

// Writes dx by dy pixels of `channels` bytes (bottom row first) to `path` as
// PNG. 1 on success. Default: a binary PPM beside it (path with ".ppm" in
// place of ".png"), until the PNG writer is wired in.
using ogl_write_image_fn = int (*)(const std::string& path, const unsigned char* pixels, int dx,
                                   int dy, int channels);
extern ogl_write_image_fn OGL_write_png;

// Shows the back buffer of the current context; set by the window layer.
// Default: nothing.
using ogl_swap_fn = void (*)();
extern ogl_swap_fn OGL_swap_buffers;

// The stand-in texture table behind the default bind and load: the GL name
// of a slot loaded through it, 0 when none. Forgotten when a context is made
// anew (the names died with the old one).
unsigned OGL_default_tex_name(int slot);
void OGL_default_tex_forget();
