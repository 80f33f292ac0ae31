#include "OGL/ogl_fbo.h"

#include <string>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "TEX/TEX_scratch.h"
#include "UTL/cmnd.h"
#include "UTL/xer.h"

float g_fbo_flushes = 0;
UTL_stat fbo_flush_stat(&g_fbo_flushes, "fbo/flush_per_frame", stat_frame);

namespace {
// Bytes a pixel of the target takes, from its colour code.
int channels_of(int flags) {
  switch (flags & 7) {
    case 1:
    case 4: return 3;
    case 3:
    case 6: return 1;
    default: return 4;
  }
}

void log_sizes(int r, int g, int b, int a, int d, int s) {
  xer << " (r " << r << " g " << g << " b " << b << " a " << a << " depth " << d << " stencil "
      << s << ")\n";
}
}  // namespace

OGL_framebuffer::OGL_framebuffer(int slot, int flags_of_tex, int flags, int w, int h,
                                 unsigned long depth, unsigned long stencil, const char* label)
    : fbo(0),
      depth_rb(static_cast<unsigned>(depth)),
      stencil_rb(static_cast<unsigned>(stencil)),
      prev_fbo(0),
      to_fbo(0),
      tex_slot(slot),
      tex_flags(flags_of_tex),
      want_width(w),
      want_height(h),
      width(w),
      height(h),
      texture_ready(false),
      three_targets((flags & fbo_three_targets) != 0),
      name(label ? label : ""),
      saved_area{0, 0, 0, 0, 0, 0, 0} {
  if (!glExt.framebuf_avail || !glExt.glGenFramebuffersEXT) return;
  glExt.glGenFramebuffersEXT(1, &fbo);
  if ((flags & fbo_depth) && !depth_rb) {
    glExt.glGenRenderbuffersEXT(1, &depth_rb);
    own_depth_ = true;
  }
  if ((flags & fbo_stencil) && !stencil_rb) {
    glExt.glGenRenderbuffersEXT(1, &stencil_rb);
    own_stencil_ = true;
  }
}

OGL_framebuffer::~OGL_framebuffer() {
  if (!glExt.glDeleteFramebuffersEXT) return;
  if (fbo) glExt.glDeleteFramebuffersEXT(1, &fbo);
  // Shared render buffers belong to whoever made them.
  if (own_depth_ && depth_rb) glExt.glDeleteRenderbuffersEXT(1, &depth_rb);
  if (own_stencil_ && stencil_rb) glExt.glDeleteRenderbuffersEXT(1, &stencil_rb);
}

bool OGL_framebuffer::fbo_path() const { return glExt.framebuf_avail && to_fbo && fbo; }

bool OGL_framebuffer::slot_holds(int slot, unsigned* gl_name) const {
  unsigned n = 0;
  int dx = 0, dy = 0;
  if (!OGL_tex_slot_info(slot, &n, &dx, &dy)) return false;
  if (gl_name) *gl_name = n;
  return dx == width && dy == height;
}

void OGL_framebuffer::load_target(const char* what, int flags) {
  scratch_dx = width;
  scratch_dy = height;
  const int n = three_targets && fbo_path() ? 3 : 1;
  for (int i = 0; i < n; ++i)
    OGL_load_tex_slot(tex_slot + i, scratch_array, width, height, channels_of(tex_flags),
                      static_cast<unsigned>(flags), what);
}

void OGL_framebuffer::begin_render(int to) {
  to_fbo = to;
  width = want_width;
  height = want_height;
  gl.GetIntegerv(GL_VIEWPORT, saved_viewport_);

  if (fbo_path()) {
    GLint prev = 0;
    gl.GetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &prev);
    prev_fbo = prev;
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    if (!(texture_ready && slot_holds(tex_slot, nullptr))) {
      texture_ready = true;
      load_target("scratch_array-fbo", tex_flags | 0x10880);
      unsigned tex[3] = {0, 0, 0};
      for (int i = 0; i < (three_targets ? 3 : 1); ++i) {
        int dx = 0, dy = 0;
        OGL_tex_slot_info(tex_slot + i, &tex[i], &dx, &dy);
      }
      if ((tex_flags & 7) == 6) {
        gl.DrawBuffer(GL_NONE);
        gl.ReadBuffer(GL_NONE);
        glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                        GL_TEXTURE_2D, tex[0], 0);
      } else {
        for (int i = 0; i < (three_targets ? 3 : 1); ++i)
          glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + i,
                                          GL_TEXTURE_2D, tex[i], 0);
        if (depth_rb) {
          glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth_rb);
          glExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width,
                                         height);
          glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                             GL_RENDERBUFFER_EXT, depth_rb);
        }
      }
      if (stencil_rb) {
        glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, stencil_rb);
        glExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH24_STENCIL8_EXT, width,
                                       height);
        glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT,
                                           GL_RENDERBUFFER_EXT, stencil_rb);
        glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                           GL_RENDERBUFFER_EXT, stencil_rb);
      }
      if (three_targets && glExt.glDrawBuffersARB) {
        const GLenum bufs[3] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT,
                                GL_COLOR_ATTACHMENT2_EXT};
        glExt.glDrawBuffersARB(3, bufs);
      }
      const GLenum status = glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
      if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        OGL_dump_fbo(name);
        __MACIBM_alert(0, "ERROR: incomplete framebuffer.", OGL_get_token_name(status), "", "",
                       t_exit, __FILE__, __LINE__);
      }
    }
  } else {
    // The back buffer bounds the render; a window of no pixels still
    // renders one.
    while (mnw.window_dx < width && width > 1) width /= 2;
    while (mnw.window_dy < height && height > 1) height /= 2;
    if (!slot_holds(tex_slot, nullptr)) load_target("scratch_array-mTexID", tex_flags | 0x10080);
  }

  saved_area[0] = mnw.draw_viewport[0];
  saved_area[1] = mnw.draw_viewport[1];
  saved_area[2] = mnw.draw_viewport[2];
  saved_area[3] = mnw.draw_viewport[3];
  saved_area[4] = mnw.draw_dx;
  saved_area[5] = mnw.draw_dy;
  saved_area[6] = mnw.draw_on_screen;
  mnw.draw_viewport[0] = mnw.draw_viewport[1] = 0;
  mnw.draw_viewport[2] = width;
  mnw.draw_viewport[3] = height;
  mnw.draw_dx = width;
  mnw.draw_dy = height;
  mnw.draw_on_screen = 0;
  gl.Viewport(0, 0, width, height);
  OGL_reset_tex_bind();
}

void OGL_framebuffer::end_render() {
  g_fbo_flushes += 1;
  mnw.draw_viewport[0] = saved_area[0];
  mnw.draw_viewport[1] = saved_area[1];
  mnw.draw_viewport[2] = saved_area[2];
  mnw.draw_viewport[3] = saved_area[3];
  mnw.draw_dx = saved_area[4];
  mnw.draw_dy = saved_area[5];
  mnw.draw_on_screen = saved_area[6];
  if (fbo_path()) {
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(prev_fbo));
    if (tex_flags & 8) {
      OGL_setstate(1, 1, 3, 5, 9, 11);
      OGL_bind_tex_slot(tex_slot, 0, 0);
      glExt.glGenerateMipmapEXT(GL_TEXTURE_2D);
    }
  } else {
    OGL_setstate(1, 1, 3, 5, 9, 11);
    OGL_bind_tex_slot(tex_slot, 0, 0);
    gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
  }
  gl.Viewport(saved_viewport_[0], saved_viewport_[1], saved_viewport_[2], saved_viewport_[3]);
}

void OGL_dump_fbo(const char* name) {
  GLint id = 0;
  gl.GetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &id);
  if (!id || !glExt.glIsFramebufferEXT(static_cast<GLuint>(id))) {
    xer << "FBO " << name << " ID: " << id << " is not a real FBO object.\n";
    xer.flush();
    return;
  }
  xer << "Info for FBO: " << id << " (" << name << ")\n";
  static const struct {
    GLenum att;
    const char* label;
  } k_atts[] = {{GL_COLOR_ATTACHMENT0_EXT, "GL_COLOR_ATTACHMENT0_EXT"},
                {GL_COLOR_ATTACHMENT1_EXT, "GL_COLOR_ATTACHMENT1_EXT"},
                {GL_COLOR_ATTACHMENT2_EXT, "GL_COLOR_ATTACHMENT2_EXT"},
                {GL_COLOR_ATTACHMENT3_EXT, "GL_COLOR_ATTACHMENT3_EXT"},
                {GL_COLOR_ATTACHMENT4_EXT, "GL_COLOR_ATTACHMENT4_EXT"},
                {GL_STENCIL_ATTACHMENT_EXT, "GL_STENCIL_ATTACHMENT_EXT"},
                {GL_DEPTH_ATTACHMENT_EXT, "GL_DEPTH_ATTACHMENT_EXT"}};
  for (const auto& a : k_atts) {
    GLint type = GL_NONE, obj = 0;
    glExt.glGetFramebufferAttachmentParameterivEXT(
        GL_FRAMEBUFFER_EXT, a.att, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT, &type);
    if (type != GL_NONE)
      glExt.glGetFramebufferAttachmentParameterivEXT(
          GL_FRAMEBUFFER_EXT, a.att, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &obj);
    if (type == GL_RENDERBUFFER_EXT) {
      xer << "   Attachment " << a.label << ": GL_RENDERBUFFER " << obj << "\n";
      if (glExt.glIsRenderbufferEXT(static_cast<GLuint>(obj))) {
        GLint saved = 0;
        gl.GetIntegerv(GL_RENDERBUFFER_BINDING_EXT, &saved);
        glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, static_cast<GLuint>(obj));
        GLint v[9] = {};
        static const GLenum k_q[9] = {
            GL_RENDERBUFFER_WIDTH_EXT,      GL_RENDERBUFFER_HEIGHT_EXT,
            GL_RENDERBUFFER_INTERNAL_FORMAT_EXT, GL_RENDERBUFFER_RED_SIZE_EXT,
            GL_RENDERBUFFER_GREEN_SIZE_EXT, GL_RENDERBUFFER_BLUE_SIZE_EXT,
            GL_RENDERBUFFER_ALPHA_SIZE_EXT, GL_RENDERBUFFER_DEPTH_SIZE_EXT,
            GL_RENDERBUFFER_STENCIL_SIZE_EXT};
        for (int i = 0; i < 9; ++i) glExt.glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, k_q[i], &v[i]);
        glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, static_cast<GLuint>(saved));
        xer << "       " << v[0] << " x " << v[1]
            << " format = " << OGL_get_token_name(static_cast<unsigned long>(v[2]));
        log_sizes(v[3], v[4], v[5], v[6], v[7], v[8]);
      } else {
        xer << "       WARNING: this is not a valid Render Buffer!\n";
      }
    } else if (type == GL_TEXTURE) {
      xer << "   Attachment " << a.label << ": GL_TEXTURE " << obj << "\n";
      if (gl.IsTexture(static_cast<GLuint>(obj))) {
        GLint level = 0;
        glExt.glGetFramebufferAttachmentParameterivEXT(
            GL_FRAMEBUFFER_EXT, a.att, GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_LEVEL_EXT, &level);
        GLint saved = 0;
        gl.GetIntegerv(GL_TEXTURE_BINDING_2D, &saved);
        gl.BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(obj));
        GLint v[9] = {};
        static const GLenum k_q[9] = {GL_TEXTURE_WIDTH,      GL_TEXTURE_HEIGHT,
                                      GL_TEXTURE_INTERNAL_FORMAT, GL_TEXTURE_RED_SIZE,
                                      GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE,
                                      GL_TEXTURE_ALPHA_SIZE, GL_TEXTURE_DEPTH_SIZE_ARB,
                                      GL_TEXTURE_STENCIL_SIZE_EXT};
        for (int i = 0; i < 9; ++i) gl.GetTexLevelParameteriv(GL_TEXTURE_2D, level, k_q[i], &v[i]);
        gl.BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(saved));
        xer << "       Mip level " << level << ": " << v[0] << " x " << v[1]
            << " format = " << OGL_get_token_name(static_cast<unsigned long>(v[2]));
        log_sizes(v[3], v[4], v[5], v[6], v[7], v[8]);
      } else {
        xer << "       WARNING: this is nota valid texture!\n";
      }
    } else {
      xer << "   Attachment " << a.label << ": 0\n";
    }
  }
  xer.flush();
}
