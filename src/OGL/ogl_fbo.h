// Rendering into a texture slot of the texture manager. With framebuffer
// objects it draws straight into the texture (optional depth and packed
// depth-stencil render buffers, up to three colour targets); without them it
// draws into the window's back buffer at a size that fits the window and
// copies the result into the texture afterwards. Main thread only.
//
// The viewport: begin_render sets the GL viewport to (0, 0, width, height)
// and the window record's drawing area to the target's size, so the 2D
// layer draws in target pixels; the projection is the caller's to set (as
// OGL_viewport(2) does from the drawing area). end_render puts the drawing
// area and the GL viewport back as begin_render found them; the matrices the
// caller loaded stay loaded.
#pragma once

// Construction flags.
enum { fbo_depth = 1, fbo_stencil = 2, fbo_three_targets = 4 };

class OGL_framebuffer {
 public:
  // tex_flags are the target's texture flags: (flags & 7) == 6 a depth-only
  // target, 8 mipmaps made after each render. depth_rb and stencil_rb name
  // render buffers to share (0: make our own when flags ask for them).
  OGL_framebuffer(int tex_slot, int tex_flags, int flags, int width, int height,
                  unsigned long depth_rb, unsigned long stencil_rb, const char* name);
  // Deletes the framebuffer object and the render buffers it made itself.
  ~OGL_framebuffer();
  OGL_framebuffer(const OGL_framebuffer&) = delete;
  OGL_framebuffer& operator=(const OGL_framebuffer&) = delete;

  void set_render_size(int w, int h) {
    want_width = w;
    want_height = h;
  }
  // Renders do not nest: begin, draw, end.
  void begin_render(int to_fbo);
  void end_render();

  unsigned fbo;
  unsigned depth_rb;
  unsigned stencil_rb;
  int prev_fbo;
  int to_fbo;
  int tex_slot;
  int tex_flags;
  int want_width, want_height;
  int width, height;  // of the current render
  bool texture_ready;
  bool three_targets;
  const char* name;
  int saved_area[7];  // mnw's drawing area: viewport x, y, w, h, pixel w, h, on-screen

 private:
  bool fbo_path() const;
  bool slot_holds(int slot, unsigned* gl_name) const;
  void load_target(const char* what, int flags);
  bool own_depth_ = false, own_stencil_ = false;
  int saved_viewport_[4] = {0, 0, 0, 0};
};

// Writes what the bound framebuffer holds to the log (its attachments, their
// sizes and formats), naming it `name`.
void OGL_dump_fbo(const char* name);

extern float g_fbo_flushes;  // "fbo/flush_per_frame"
