#include "OGL/ogl_seams.h"

#include <cstdio>
#include <map>

#include "OGL/gl_calls.h"

namespace {
struct stand_in_tex {
  GLuint name = 0;
  int dx = 0, dy = 0, channels = 0;
};
std::map<int, stand_in_tex> g_tex;  // main thread only

GLenum format_of(int channels) {
  switch (channels) {
    case 1: return GL_ALPHA;
    case 2: return GL_LUMINANCE_ALPHA;
    case 3: return GL_RGB;
    default: return GL_RGBA;
  }
}

void default_bind(int slot, int unit, int) {
  auto it = g_tex.find(slot);
  if (unit != 0) gl.ActiveTexture(GL_TEXTURE0 + unit);
  gl.BindTexture(GL_TEXTURE_2D, it == g_tex.end() ? 0 : it->second.name);
  if (unit != 0) gl.ActiveTexture(GL_TEXTURE0);
}

int default_load(int slot, const unsigned char* pixels, int dx, int dy, int channels, unsigned,
                 const char*) {
  if (!pixels || dx <= 0 || dy <= 0 || channels < 1 || channels > 4) return 0;
  stand_in_tex& t = g_tex[slot];
  if (!t.name) gl.GenTextures(1, &t.name);
  gl.BindTexture(GL_TEXTURE_2D, t.name);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const GLenum fmt = format_of(channels);
  if (t.dx == dx && t.dy == dy && t.channels == channels) {
    gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, dx, dy, fmt, GL_UNSIGNED_BYTE, pixels);
  } else {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(fmt), dx, dy, 0, fmt, GL_UNSIGNED_BYTE,
                  pixels);
    t.dx = dx;
    t.dy = dy;
    t.channels = channels;
  }
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return 1;
}

int default_write(const std::string& path, const unsigned char* pixels, int dx, int dy,
                  int channels) {
  if (!pixels || dx <= 0 || dy <= 0 || (channels != 3 && channels != 4)) return 0;
  std::string out = path;
  if (out.size() > 4 && out.compare(out.size() - 4, 4, ".png") == 0) out.replace(out.size() - 4, 4, ".ppm");
  else out += ".ppm";
  FILE* f = fopen(out.c_str(), "wb");
  if (!f) return 0;
  bool ok = fprintf(f, "P6\n%d %d\n255\n", dx, dy) > 0;
  // PPM runs top-down; our rows run bottom-up.
  for (int y = dy - 1; ok && y >= 0; --y) {
    const unsigned char* row = pixels + static_cast<size_t>(y) * dx * channels;
    for (int x = 0; ok && x < dx; ++x) ok = fwrite(row + x * channels, 1, 3, f) == 3;
  }
  ok = (fflush(f) == 0) && ok;
  ok = (fclose(f) == 0) && ok;
  if (!ok) remove(out.c_str());  // a partial file is no screenshot
  return ok ? 1 : 0;
}

void default_swap() {}

int default_slot_info(int slot, unsigned* gl_name, int* dx, int* dy) {
  auto it = g_tex.find(slot);
  if (it == g_tex.end() || !it->second.name) return 0;
  *gl_name = it->second.name;
  *dx = it->second.dx;
  *dy = it->second.dy;
  return 1;
}

void default_reset_bind() {}
}  // namespace

ogl_bind_slot_fn OGL_bind_tex_slot = default_bind;
ogl_load_slot_fn OGL_load_tex_slot = default_load;
ogl_load_rgba_fn OGL_load_rgba_image = nullptr;
ogl_write_image_fn OGL_write_png = default_write;
ogl_swap_fn OGL_swap_buffers = default_swap;
ogl_slot_info_fn OGL_tex_slot_info = default_slot_info;
ogl_reset_bind_fn OGL_reset_tex_bind = default_reset_bind;

unsigned OGL_default_tex_name(int slot) {
  auto it = g_tex.find(slot);
  return it == g_tex.end() ? 0 : it->second.name;
}

void OGL_default_tex_forget() { g_tex.clear(); }
