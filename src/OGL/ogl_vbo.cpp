#include "OGL/ogl_vbo.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "GenH/shell.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "UTL/cmnd.h"
#include "UTL/localize.h"

float g_chunky_buffer_bytes = 0;
UTL_stat chunky_buffer_stat(&g_chunky_buffer_bytes, "memory/chunky_buffers", stat_memory);

namespace {
unsigned long s_bound_vbo = 0;
unsigned long s_bound_vbo_ind = 0;

void* checked_malloc(size_t n) {
  void* p = malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

int used_bytes(const OGL_chunk* c) { return chunk_data_bytes - c->free_bytes; }

void free_chunks(OGL_chunk* c) {
  while (c) {
    OGL_chunk* n = c->next;
    free(c);
    c = n;
  }
}
}  // namespace

OGL_chunk* OGL_new_chunk() {
  OGL_chunk* c = static_cast<OGL_chunk*>(checked_malloc(chunk_block_bytes));
  c->next = nullptr;
  c->free_bytes = chunk_data_bytes;
  return c;
}

OGL_chunkybuffer::OGL_chunkybuffer()
    : data(nullptr), vbo(0), first_region(nullptr), last_region(nullptr), size(0) {}

OGL_chunkybuffer::~OGL_chunkybuffer() {
  const bool finalized = vbo != 0 || data != nullptr;
  if (vbo) {
    // The mapped store belongs to GL: give it back rather than free it.
    if (data && glExt.glUnmapBufferARB) unmap();
    OGL_bind_vbo(0);
    OGL_bind_vbo_ind(0);
    glExt.glDeleteBuffersARB(1, &vbo);
  } else {
    free(data);
  }
  data = nullptr;
  for (OGL_subregion* r = first_region; r;) {
    OGL_subregion* n = r->next;
    free_chunks(r->first_chunk);
    free(r);
    r = n;
  }
  // Only finalized data was ever counted.
  if (finalized) g_chunky_buffer_bytes -= static_cast<float>(size);
}

OGL_subregion* OGL_chunkybuffer::new_subregion() {
  OGL_subregion* r = static_cast<OGL_subregion*>(checked_malloc(sizeof(OGL_subregion)));
  r->next = nullptr;
  try {
    r->first_chunk = r->cur_chunk = OGL_new_chunk();
  } catch (...) {
    free(r);
    throw;
  }
  r->write_ptr = OGL_chunk_data(r->cur_chunk);
  r->offset = 0;
  if (last_region) last_region->next = r;
  else first_region = r;
  last_region = r;
  return r;
}

void OGL_chunkybuffer::calc_offsets() {
  int total = 0;
  for (OGL_subregion* r = first_region; r; r = r->next) {
    r->offset = total;
    for (OGL_chunk* c = r->first_chunk; c; c = c->next) total += used_bytes(c);
  }
  size = total;
}

void OGL_chunkybuffer::finalize_vbo(int static_draw) {
  if (!glExt.vbo_avail) {
    finalize_mem();
    return;
  }
  calc_offsets();
  g_chunky_buffer_bytes += static_cast<float>(size);
  GLint saved = 0;
  gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &saved);
  glExt.glGenBuffersARB(1, &vbo);
  glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
  glExt.glBufferDataARB(GL_ARRAY_BUFFER_ARB, size, nullptr,
                        static_draw ? GL_STATIC_DRAW_ARB : GL_STREAM_DRAW_ARB);
  data = nullptr;
  GLintptrARB at = 0;
  for (OGL_subregion* r = first_region; r; r = r->next) {
    for (OGL_chunk* c = r->first_chunk; c;) {
      OGL_chunk* n = c->next;
      const int used = used_bytes(c);
      if (used > 0) glExt.glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, at, used, OGL_chunk_data(c));
      at += used;
      free(c);
      c = n;
    }
    r->first_chunk = r->cur_chunk = nullptr;
    r->write_ptr = nullptr;
  }
  glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, static_cast<GLuint>(saved));
}

void OGL_chunkybuffer::finalize_mem() {
  calc_offsets();
  g_chunky_buffer_bytes += static_cast<float>(size);
  unsigned char* block = static_cast<unsigned char*>(checked_malloc(static_cast<size_t>(size)));
  data = block;
  size_t at = 0;
  for (OGL_subregion* r = first_region; r; r = r->next) {
    for (OGL_chunk* c = r->first_chunk; c;) {
      OGL_chunk* n = c->next;
      const int used = used_bytes(c);
      if (used > 0) memcpy(block + at, OGL_chunk_data(c), static_cast<size_t>(used));
      at += static_cast<size_t>(used);
      free(c);
      c = n;
    }
    r->first_chunk = r->cur_chunk = nullptr;
    r->write_ptr = nullptr;
  }
}

void OGL_chunkybuffer::map() {
  // An empty store maps to null, which would read as out of memory.
  if (!vbo || size <= 0 || data) return;
  const unsigned long mine = vbo;
  OGL_bind_vbo(mine);
  data = glExt.glMapBufferARB(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB);
  OGL_bind_vbo(0);
  if (!data) {
    __MACIBM_alert(0, UTL_translate_string("Flyvane has run out of video card memory."),
                   UTL_translate_string("I was unable to shift the scenery."),
                   UTL_translate_string("Try running Flyvane with lower rendering settings."),
                   UTL_translate_string("If that does not help, please report this to Tessaline Labs!"),
                   t_exit, __FILE__, __LINE__);
  }
}

void OGL_chunkybuffer::unmap() {
  if (!vbo || !data) return;
  const unsigned long mine = vbo;
  OGL_bind_vbo(mine);
  glExt.glUnmapBufferARB(GL_ARRAY_BUFFER_ARB);
  OGL_bind_vbo(0);
  data = nullptr;
}

void do_OGL_chunkybuffer_destroy(OGL_chunkybuffer* b) { delete b; }

void OGL_bind_vbo(const unsigned long& vbo) {
  static UTL_stat binds("num_xdl_bind", stat_frame, 0);
  if (vbo == s_bound_vbo) return;
  binds.value += 1;
  glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, static_cast<GLuint>(vbo));
  s_bound_vbo = vbo;
}

void OGL_bind_vbo_ind(const unsigned long& vbo) {
  static UTL_stat binds("num_xdl_bind_ind", stat_frame, 0);
  if (vbo == s_bound_vbo_ind) return;
  binds.value += 1;
  glExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLuint>(vbo));
  s_bound_vbo_ind = vbo;
}

void OGL_bind_vbo_forget() { s_bound_vbo = s_bound_vbo_ind = 0; }
