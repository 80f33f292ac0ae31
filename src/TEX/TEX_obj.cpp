#include "TEX/TEX_obj.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/file_ops.h"
#include "GenH/shell.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/tman.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_bmp.h"
#include "TEX/TEX_caps.h"
#include "TEX/TEX_dds.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_png.h"
#include "TEX/TEX_scratch.h"
#include "Thread/thread_layer.h"
#include "UTL/xer.h"

std::atomic<int> TEX_obj::total_texes_ctr{0};
std::atomic<int> TEX_obj::loaded_texes_ctr{0};

namespace {

bool on_main_thread() { return !THREAD_is_inited() || THREAD_is_main_thread(); }

bool is_pow2(int v) { return v > 0 && (v & (v - 1)) == 0; }

bool is_dxt(uint32_t f) {
  return f == GL_COMPRESSED_RGB_S3TC_DXT1_EXT || f == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ||
         f == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT || f == GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
}

std::string num_text(double v) {
  char buf[64];
  snprintf(buf, sizeof(buf), "%1.0f", v);
  return buf;
}

// A pixel buffer the load allocated (or a reader allocated for it).
struct owned_pixels {
  unsigned char* p = nullptr;
  ~owned_pixels() { free(p); }
};

GLint internal_format(uint32_t format, int flags) {
  GLint f = static_cast<GLint>(format);
  if (format == GL_BGRA) f = GL_RGBA;
  if (format == GL_BGR) f = GL_RGB;
  if (flags & 0x400) {
    if (f == GL_RGB) f = GL_RGB16F_ARB;
    else if (f == GL_RGBA) f = GL_RGBA16F_ARB;
    else if (f == GL_ALPHA) f = GL_ALPHA16F_ARB;
  }
  if (format == GL_DEPTH_COMPONENT) f = GL_DEPTH_COMPONENT24;
  if (flags & 0x800) {
    if (f == GL_RGB) f = GL_RGB8;
    else if (f == GL_RGBA) f = GL_RGBA8;
  }
  return f;
}

}  // namespace

float TEX_get_scale(const std::string& name, int flags, int width, float max_ratio, int height,
                    int* dx_vis, int* dy_vis, int* dx_tot, int* dy_tot, int mode) {
  // Before the ratio is bounded by 1 / width: a side of 0 would make it
  // infinite.
  check_dxy(width, name);
  check_dxy(height, name);
  float r = tman_class::scale_rat();
  if (flags & 0x4000) r = std::clamp(2 * r, 0.0f, 1.0f);
  if (flags & 0x8000) r = std::clamp(r / 2, 0.0f, 1.0f);
  if (flags & 0x10000) r = 1;
  if (mode == 1) r = 1;
  if (r < 1.0f / width) r = 1.0f / width;
  if (r < 1.0f / height) r = 1.0f / height;
  // A maximum below 1 means none is known; halving against it would never end.
  const int max_size = TEX_caps.max_tex_size;
  if (max_size >= 1)
    while (r * width > max_size || r * height > max_size) r /= 2;
  if (max_ratio <= r) r = max_ratio;
  *dx_vis = static_cast<int>(r * width);
  *dy_vis = static_cast<int>(r * height);
  if (flags & 0x1000) {
    *dx_tot = *dx_vis;
    *dy_tot = *dy_vis;
  } else {
    *dx_tot = TEX_next_pow2(*dx_vis);
    *dy_tot = TEX_next_pow2(*dy_vis);
  }
  check_dxy(*dx_vis, name);
  check_dxy(*dy_vis, name);
  check_dxy(*dx_tot, name);
  check_dxy(*dy_tot, name);
  return r;
}

TEX_obj::TEX_obj(int name, const std::string& p, int f, tex_fail_mode fail)
    : path(p), gl_name(static_cast<unsigned>(name)), gl_format(GL_RGBA), flags(f), fail_mode(fail) {
  ++total_texes_ctr;
}

TEX_obj::~TEX_obj() {
  --total_texes_ctr;
  if (loaded.load()) --loaded_texes_ctr;
  delete evaluator.exchange(nullptr);
  const GLuint name = gl_name.load();
  if (name != 0 && name != 950) {
    gl.DeleteTextures(1, &name);
    // The name may be handed out again: the bind cache must not trust it.
    if (on_main_thread()) TEX_reset_bind();
  }
}

void TEX_obj::bind(int unit, int env_mode) {
  if (loaded.load() && vram > 0) TEX_bind_ref(static_cast<int>(gl_name.load()), unit, env_mode);
  else TEX_bind_ref(950, unit, env_mode);
}

void TEX_obj::retain() {
  if (++ref_count <= 0)
    __MACIBM_alert(0, "Ref count never went positive", "", path, "", t_exit, __FILE__, __LINE__);
}

int TEX_obj::release() {
  const int n = --ref_count;
  if (n < 0)
    __MACIBM_alert(0, "Ref count went negative", "", path, "", t_exit, __FILE__, __LINE__);
  return n;
}

void TEX_obj::change_path(const std::string& new_path, tex_fail_mode fail) {
  path = new_path;
  fail_mode = fail;
}

void TEX_obj::queue_load(UTL_threadpool* pool) {
  int expected = 0;
  if (!queued.compare_exchange_strong(expected, 1)) return;
  ++ref_count;
  pool->queue_task(this, 0);
}

int TEX_obj::do_it() {
  load();
  queued.store(0);
  --ref_count;
  return 0;  // the manager owns the object
}

void TEX_obj::replace_evaluator(TEX_evaluator* ev) {
  if (ev) ev->owner = this;
  delete evaluator.exchange(ev);
}

void TEX_obj::mark_loaded() {
  ++uploads;
  int expected = 0;
  if (loaded.compare_exchange_strong(expected, 1)) ++loaded_texes_ctr;
}

int TEX_obj::fail() {
  dx_vis = dy_vis = dx_tot = dy_tot = 2;
  vram = 0;
  gl_format = GL_RGB;
  mark_loaded();
  switch (fail_mode) {
    case tex_fail_silent: return 0;
    case tex_fail_scene: tman.got_scene_load_fail(); break;
    case tex_fail_plane: tman.got_plane_load_fail(); break;
    case tex_fail_instl: tman.got_instl_load_fail(); break;
    case tex_fail_fatal:
      __MACIBM_alert(0, "Trying to load a texture that you do not have!",
                     "This smacks of a mis-installed copy of Flyvane!",
                     "Please get a new download from the Flyvane web site. The missing file is:",
                     path, t_exit, __FILE__, __LINE__);
      break;
    default: break;
  }
  xer << "WARNING: we are missing the texture: " << path << ".\n";
  return 0;
}

int TEX_obj::load() {
  if (flags < 0 || flags > 0x3FFFF)
    __MACIBM_alert(0, "Trying to bind an invalid filter type!", path, "value:", num_text(flags),
                   t_exit, __FILE__, __LINE__);
  uint32_t want = 0;
  int auto_alpha = 0;
  switch (flags & 7) {
    case 1: want = GL_RGB; break;
    case 2: want = GL_RGBA; break;
    case 3: want = GL_ALPHA; break;
    case 4: want = GL_RGB, auto_alpha = 1; break;
    case 5: want = GL_RGBA, auto_alpha = 1; break;
    case 6: want = GL_DEPTH_COMPONENT; break;
    case 7: want = GL_BGRA; break;
    default:
      __MACIBM_alert(0, "BAD color enum for tman - see tman.h for valid colors!  We cannot pass 0.",
                     "", "", "", t_exit, __FILE__, __LINE__);
      return 0;
  }

  TEX_image_desc img{want, 0, 0, 0, 0};
  unsigned char* px = nullptr;
  owned_pixels owned;
  bool from_file = false;
  int dummy_x = 0, dummy_y = 0;

  if (path.size() >= 13 && path.compare(0, 13, "scratch_array") == 0) {
    check_dxy(scratch_dx, path);
    check_dxy(scratch_dy, path);
    int tx = 0, ty = 0;
    TEX_get_scale(path, flags, scratch_dx, 1.0f, scratch_dy, &dx_vis, &dy_vis, &tx, &ty, 1);
    img.width = tx;
    img.height = ty;
    px = scratch_array;
  } else if (path.empty()) {
    return fail();
  } else {
    from_file = true;
    unsigned char* decode = (flags & 0x20000) ? scratch_array : nullptr;
    std::string work = path;
    float ratio = 1.0f;
    if (TEX_evaluator* ev = evaluator.load()) ev->evaluate(work, &ratio);
    std::string base = work;
    if (base.size() > 4 && base[base.size() - 4] == '.') base.resize(base.size() - 4);
    for (const char* ext : {".dds", ".png", ".bmp"})
      if (file_exists(base + ext)) {
        work = base + ext;
        break;
      }
    xmap_class file(work);
    if (!file.map_base || file.map_end - file.map_base < 8) return fail();
    const unsigned char* head = reinterpret_cast<const unsigned char*>(file.map_base);

    bool decoded = false, is_dds = false;
    if (memcmp(head, "DDS ", 4) == 0) {
      unsigned char* in_map = nullptr;
      TEX_image_desc d{};
      // A DDS without its mip chain is not used.
      if (TEX_load_dds(work, file, in_map, d) && d.has_mipmaps) {
        decoded = is_dds = true;
        img = d;
        px = in_map;
      }
    }
    if (!decoded && head[0] == 'B' && head[1] == 'M') {
      px = decode;
      decoded = TEX_load_bmp(work, file, px, want, 0, 1, img) != 0;
    } else if (!decoded && png_sig_cmp(head, 0, 8) == 0) {
      px = decode;
      decoded = TEX_load_png(work, file, px, want, 0, 1, auto_alpha, img) != 0;
    }
    if (px && px != decode && !is_dds) owned.p = px;
    if (!decoded) return fail();

    const float r = TEX_get_scale(path, flags, img.width, ratio, img.height, &dx_vis, &dy_vis,
                                  &dummy_x, &dummy_y, 2);
    float f = 1.0f / r;

    if (is_dds) {
      if (!is_pow2(img.width) || !is_pow2(img.height))
        __MACIBM_alert(0, "Error: the texture", path, "is DDS but its size is not power of 2.", "",
                       t_exit, __FILE__, __LINE__);
      // Skip the largest levels; the last (1 x 1) one always stays.
      const unsigned char* src = px;
      while (f > 1 && (img.width > 1 || img.height > 1)) {
        TEX_image_desc top = img;
        top.has_mipmaps = 0;
        src += TEX_bytes_needed_for_image(top);
        img.width = std::max(1, img.width / 2);
        img.height = std::max(1, img.height / 2);
        f /= 2;
      }
      const int64_t need = TEX_bytes_needed_for_image(img);
      unsigned char* dst = decode;
      if (dst) {
        // The chain of a large BGRA picture is more than the scratch store holds.
        TEX_check_fits(dst, img.width, img.height, static_cast<uint64_t>(need), scratch_array_bytes,
                       path);
      } else {
        dst = owned.p = static_cast<unsigned char*>(malloc(static_cast<size_t>(need)));
        if (!dst) return fail();
      }
      memcpy(dst, src, static_cast<size_t>(need));
      if (TEX_flip_y(img, dst) && img.format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT)
        img.format = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
      px = dst;
    } else {
      if ((!is_pow2(img.width) || !is_pow2(img.height)) && !(flags & 0x3000))
        xer << "WARNING: texture " << path
            << " has a size that is not a power of 2; it may not render correctly.\n";
      img.width = TEX_next_pow2(img.width);
      img.height = TEX_next_pow2(img.height);
      img.pad = 0;
      if (f != 1) {
        // The box filter takes powers of two; a ratio of 1 / width on an odd
        // width (1/3) would otherwise sum 9 texels and divide by 16.
        int k = 1;
        while (k * 2 <= static_cast<int>(f)) k *= 2;
        TEX_downscale(img, px, std::min(k, img.width), std::min(k, img.height));
      }
    }
  }

  const bool has_chain = img.has_mipmaps != 0;
  if (from_file && img.format == GL_RGBA && !has_chain) TEX_clean_edge(img, px);

  // Upload.
  const bool compressed = is_dxt(img.format);
  if (compressed && !(TEX_caps.tex_comp_avail && TEX_caps.glCompressedTexImage2DARB))
    return fail();  // nothing could take the blocks
  const GLint internal = internal_format(img.format, flags);
  const bool hw_mips = (flags & 0x8) && TEX_caps.automini_avail && !compressed && !(flags & 0x800);
  const bool main = on_main_thread();
  // In place only over storage an earlier load made: after a failed load
  // the 2 x 2 sizes describe no GL texture.
  const bool same_size = loaded.load() && main && vram > 0 && img.format == gl_format &&
                         img.width == dx_tot && img.height == dy_tot && (!(flags & 0x8) || hw_mips);
  const bool sw_chain = (flags & 0x8) && !hw_mips && !has_chain;

  dx_tot = img.width;
  dy_tot = img.height;
  gl_format = img.format;
  vram = static_cast<int>(TEX_bytes_needed_for_image(img));
  if (!(flags & 0x1000) && (!is_pow2(dx_tot) || !is_pow2(dy_tot)))
    __MACIBM_alert(0, "load_tex: Trying to read a texture that is not a power of 2!", path, "", "",
                   t_exit, __FILE__, __LINE__);
  check_dxy(dx_tot, path);
  check_dxy(dy_tot, path);

  GLuint fresh = 0;
  if (main) {
    if (gl_name.load() == 0) {
      GLuint n = 0;
      gl.GenTextures(1, &n);
      gl_name.store(n);
    }
    const int saved_units = num_units;
    const bool enable = num_units == 0;
    num_units = 1;
    if (enable) gl.Enable(GL_TEXTURE_2D);
    TEX_bind_for_upload(static_cast<int>(gl_name.load()));
    if (enable) gl.Disable(GL_TEXTURE_2D);
    num_units = saved_units;
  } else {
    GLuint n = 0;
    gl.GenTextures(1, &n);
    if (gl_name.load() == 0) gl_name.store(n);
    else fresh = n;  // published once the upload is done
    gl.BindTexture(GL_TEXTURE_2D, n);
  }

  // Rows of every width, down to the 1 x 1 level, are packed tight.
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  TEX_image_desc lv = img;
  lv.has_mipmaps = 0;
  const unsigned char* data = px;
  for (GLint level = 0;; ++level) {
    const int64_t bytes = TEX_bytes_needed_for_image(lv);
    if (hw_mips) gl.TexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, 1);
    if (compressed)
      TEX_caps.glCompressedTexImage2DARB(GL_TEXTURE_2D, level, lv.format, lv.width, lv.height, 0,
                                         static_cast<GLsizei>(bytes), data);
    else if (same_size)
      gl.TexSubImage2D(GL_TEXTURE_2D, level, 0, 0, lv.width, lv.height, lv.format,
                       GL_UNSIGNED_BYTE, data);
    else
      gl.TexImage2D(GL_TEXTURE_2D, level, internal, lv.width, lv.height, 0, lv.format,
                    GL_UNSIGNED_BYTE, data);
    if (lv.width == 1 && lv.height == 1) break;
    if (has_chain) {
      data += bytes;
      lv.width = std::max(1, lv.width / 2);
      lv.height = std::max(1, lv.height / 2);
    } else if (sw_chain) {
      TEX_downscale(lv, const_cast<unsigned char*>(data), lv.width >= 2 ? 2 : 1,
                    lv.height >= 2 ? 2 : 1);
    } else {
      break;
    }
  }

  if (compressed) {
    GLint is_comp = 0, size = 0;
    gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_ARB, &is_comp);
    if (is_comp) {
      gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
      if (size > 0) vram = static_cast<int>(size * ((flags & 0x8) ? 1.33 : 1.0));
    }
  }

  const GLint clamp = TEX_caps.tex_clamp_avail ? GL_CLAMP_TO_EDGE : GL_CLAMP;
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & 0x300) ? clamp : GL_REPEAT);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & 0x100) ? clamp : GL_REPEAT);
  if (TEX_caps.aniso_avail) gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
  if (flags & 0x10) {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  } else {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                     (flags & 0x8) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }
  if (img.format == GL_DEPTH_COMPONENT) {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
  }
  if (main) gl.Flush();
  else gl.BindTexture(GL_TEXTURE_2D, 0);

  if (fresh) {
    const GLuint old = gl_name.exchange(fresh);
    gl.DeleteTextures(1, &old);
    if (main) TEX_reset_bind();
  }
  mark_loaded();
  return 1;
}
