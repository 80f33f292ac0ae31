// Chunked vertex buffers: offsets, the two finalizers, mapping and the bind
// caches, on plain memory and on a real context.
#include <algorithm>
#include <cstring>

#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_vbo.h"
#include "UTL/cmnd.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {

// What a writer does: append at write_ptr, chaining chunks as they fill.
void append(OGL_subregion* r, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (r->cur_chunk->free_bytes == 0) {
      OGL_chunk* c = OGL_new_chunk();
      r->cur_chunk->next = c;
      r->cur_chunk = c;
      r->write_ptr = OGL_chunk_data(c);
    }
    const size_t k = std::min(bytes.size() - at, static_cast<size_t>(r->cur_chunk->free_bytes));
    memcpy(r->write_ptr, bytes.data() + at, k);
    r->write_ptr += k;
    r->cur_chunk->free_bytes -= static_cast<int>(k);
    at += k;
  }
}

// Three sub-regions of 100, 2,000 and 24 bytes; what they hold, in order.
std::string fill_three(OGL_chunkybuffer& b) {
  const std::string a = fly_test::pattern(100, 1), m = fly_test::pattern(2000, 2),
                    z = fly_test::pattern(24, 3);
  append(b.new_subregion(), a);
  append(b.new_subregion(), m);
  append(b.new_subregion(), z);
  return a + m + z;
}

float stat_value(const char* name) {
  for (UTL_stat* s = UTL_stat::waiting_list(); s; s = s->next)
    if (std::string(s->name) == name) return *s->target;
  for (UTL_stat* s : UTL_stat::registered(stat_frame))
    if (std::string(s->name) == name) return *s->target;
  return -1;
}

PFNGLBINDBUFFERARBPROC g_real_bind = nullptr;
int g_bind_calls = 0;
void APIENTRY counting_bind(GLenum target, GLuint buffer) {
  ++g_bind_calls;
  g_real_bind(target, buffer);
}

struct BindCounter {
  BindCounter() {
    g_real_bind = glExt.glBindBufferARB;
    glExt.glBindBufferARB = counting_bind;
    g_bind_calls = 0;
  }
  ~BindCounter() { glExt.glBindBufferARB = g_real_bind; }
};

GLint array_binding() {
  GLint b = -1;
  gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &b);
  return b;
}

}  // namespace

TEST(ChunkyBuffer, ChunksHoldAHeaderAndAFullKilobyte) {
  EXPECT_EQ(chunk_block_bytes, sizeof(OGL_chunk) + 1024);
  OGL_chunkybuffer b;
  OGL_subregion* r = b.new_subregion();
  EXPECT_EQ(r->first_chunk, r->cur_chunk);
  EXPECT_EQ(r->write_ptr, OGL_chunk_data(r->first_chunk));
  EXPECT_EQ(r->cur_chunk->free_bytes, 1024);
  // Exactly one chunk's worth stays in one chunk (ASan sees any overrun).
  append(r, fly_test::pattern(1024, 9));
  EXPECT_EQ(r->first_chunk->next, nullptr);
  EXPECT_EQ(r->cur_chunk->free_bytes, 0);
}

TEST(ChunkyBuffer, OffsetsFollowTheUsedBytesOfEarlierRegions) {
  OGL_chunkybuffer b;
  fill_three(b);
  b.calc_offsets();
  EXPECT_EQ(b.first_region->offset, 0);
  EXPECT_EQ(b.first_region->next->offset, 100);
  EXPECT_EQ(b.last_region->offset, 2100);
  EXPECT_EQ(b.size, 2124);

  OGL_chunkybuffer empty;
  empty.new_subregion();
  empty.finalize_mem();
  EXPECT_EQ(empty.size, 0);
}

TEST(ChunkyBuffer, MemoryFinalizeCopiesInOrderAndCountsItsBytes) {
  const float before = g_chunky_buffer_bytes;
  {
    OGL_chunkybuffer b;
    const std::string want = fill_three(b);
    b.finalize_mem();
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(b.data), b.size), want);
    EXPECT_EQ(b.first_region->first_chunk, nullptr);
    EXPECT_EQ(b.last_region->offset, 2100);
    EXPECT_FALSE(b.is_mapped());
    b.map();  // no buffer object: nothing happens
    EXPECT_FALSE(b.is_mapped());
    EXPECT_EQ(g_chunky_buffer_bytes, before + 2124);
  }
  EXPECT_EQ(g_chunky_buffer_bytes, before);
  // A buffer that never finalized counted nothing and takes nothing away.
  {
    OGL_chunkybuffer b;
    fill_three(b);
    b.calc_offsets();
  }
  EXPECT_EQ(g_chunky_buffer_bytes, before);
}

TEST(ChunkyBuffer, WithoutBufferObjectsTheVboFinalizeLandsInMemory) {
  glExt.vbo_avail = 0;
  OGL_chunkybuffer* b = new OGL_chunkybuffer;
  const std::string want = fill_three(*b);
  b->finalize_vbo(1);
  EXPECT_EQ(b->vbo, 0u);
  ASSERT_NE(b->data, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(b->data), b->size), want);
  do_OGL_chunkybuffer_destroy(b);
}

TEST_F(GlWindow, VboFinalizeUploadsEveryChunkAndRestoresTheBinding) {
  ASSERT_TRUE(glExt.vbo_avail);
  GLuint other = 0;
  glExt.glGenBuffersARB(1, &other);
  glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, other);
  const float before = g_chunky_buffer_bytes;
  {
    OGL_chunkybuffer b;
    const std::string want = fill_three(b);
    b.finalize_vbo(1);
    ASSERT_NE(b.vbo, 0u);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(array_binding(), static_cast<GLint>(other));
    EXPECT_EQ(g_chunky_buffer_bytes, before + 2124);
    std::string got(2124, '\0');
    glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, b.vbo);
    glExt.glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, 2124, got.data());
    glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    EXPECT_EQ(got, want);
    EXPECT_EQ(b.last_region->offset, 2100);
  }
  EXPECT_EQ(g_chunky_buffer_bytes, before);
}

TEST_F(GlWindow, MapWriteUnmapReadsBackAndTheCacheStaysTrue) {
  OGL_chunkybuffer b;
  fill_three(b);
  b.finalize_vbo(0);
  const unsigned long mine = b.vbo;
  OGL_bind_vbo(mine);
  BindCounter counter;
  b.map();
  ASSERT_TRUE(b.is_mapped());
  const std::string fresh = fly_test::pattern(2124, 77);
  memcpy(b.data, fresh.data(), fresh.size());
  b.unmap();
  EXPECT_FALSE(b.is_mapped());
  EXPECT_EQ(array_binding(), 0);
  // The cache knows map and unmap left buffer 0 bound: binding ours again
  // reaches GL.
  g_bind_calls = 0;
  OGL_bind_vbo(mine);
  EXPECT_EQ(g_bind_calls, 1);
  EXPECT_EQ(array_binding(), static_cast<GLint>(mine));
  std::string got(2124, '\0');
  glExt.glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, 2124, got.data());
  EXPECT_EQ(got, fresh);
}

TEST_F(GlWindow, BindingTwiceMakesOneCallAndCountsOne) {
  OGL_chunkybuffer a, b;
  fill_three(a);
  fill_three(b);
  a.finalize_vbo(1);
  b.finalize_vbo(1);
  BindCounter counter;
  const unsigned long va = a.vbo, vb = b.vbo;
  OGL_bind_vbo(va);
  const float binds = stat_value("num_xdl_bind");
  OGL_bind_vbo(va);
  EXPECT_EQ(g_bind_calls, 1);
  EXPECT_EQ(stat_value("num_xdl_bind"), binds);
  OGL_bind_vbo(vb);
  EXPECT_EQ(g_bind_calls, 2);
  EXPECT_EQ(stat_value("num_xdl_bind"), binds + 1);
  OGL_bind_vbo_ind(va);
  OGL_bind_vbo_ind(va);
  EXPECT_EQ(g_bind_calls, 3);
  GLint ind = 0;
  gl.GetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING_ARB, &ind);
  EXPECT_EQ(ind, static_cast<GLint>(va));
  EXPECT_EQ(stat_value("num_xdl_bind_ind"), 1);
}

TEST_F(GlWindow, EmptyAndStillMappedBuffersAreSafe) {
  {
    // An empty store has nothing to map: no "out of video card memory".
    OGL_chunkybuffer b;
    b.new_subregion();
    b.finalize_vbo(1);
    EXPECT_EQ(b.size, 0);
    b.map();
    EXPECT_FALSE(b.is_mapped());
    b.unmap();
  }
  EXPECT_TRUE(fly_test::alerts().empty());

  GLuint name = 0;
  {
    OGL_chunkybuffer b;
    fill_three(b);
    b.finalize_vbo(1);
    name = b.vbo;
    const unsigned long v = b.vbo;
    OGL_bind_vbo(v);
    OGL_bind_vbo_ind(v);
    b.map();
    ASSERT_TRUE(b.is_mapped());
  }  // destroyed mapped: unmapped, never freed
  EXPECT_FALSE(glExt.glIsBufferARB(name));
  EXPECT_EQ(array_binding(), 0);
  GLint ind = -1;
  gl.GetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING_ARB, &ind);
  EXPECT_EQ(ind, 0);
}
