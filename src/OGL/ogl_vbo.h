// Vertex data whose final size is open until the end: written into fixed
// 1,024-byte chunks grouped into sub-regions, then moved in one pass into a
// vertex buffer object (or one block of main memory when the driver has
// none). Sub-region offsets are known only after the move. Main thread only.
#pragma once

#include <cstddef>

// A chunk is one malloc block: this header, then chunk_data_bytes of data.
// Its used bytes are the first chunk_data_bytes - free_bytes.
struct OGL_chunk {
  OGL_chunk* next;
  int free_bytes;  // chunk_data_bytes when empty
};
constexpr int chunk_data_bytes = 1024;
constexpr size_t chunk_block_bytes = sizeof(OGL_chunk) + chunk_data_bytes;

inline unsigned char* OGL_chunk_data(OGL_chunk* c) {
  return reinterpret_cast<unsigned char*>(c) + sizeof(OGL_chunk);
}

// Allocated with malloc, owned by its buffer. The writer appends at
// write_ptr, lowers cur_chunk->free_bytes and chains a fresh chunk (from
// OGL_new_chunk) when the current one is full.
struct OGL_subregion {
  OGL_subregion* next;
  OGL_chunk* first_chunk;
  OGL_chunk* cur_chunk;       // the chunk being written
  unsigned char* write_ptr;   // next free byte in cur_chunk
  int offset;                 // byte offset of this data in the final buffer
};

// An empty chunk (free_bytes 1024, no next).
OGL_chunk* OGL_new_chunk();

class OGL_chunkybuffer {
 public:
  OGL_chunkybuffer();
  ~OGL_chunkybuffer();
  OGL_chunkybuffer(const OGL_chunkybuffer&) = delete;
  OGL_chunkybuffer& operator=(const OGL_chunkybuffer&) = delete;

  // A sub-region with one empty chunk, appended to the list.
  OGL_subregion* new_subregion();
  // Each sub-region's offset is the used bytes of all before it; size the total.
  void calc_offsets();
  // Exactly one of these, once: moves every chunk into a new buffer object
  // (GL_STATIC_DRAW or GL_STREAM_DRAW) or into one malloc block. Without
  // buffer objects finalize_vbo moves into memory.
  void finalize_vbo(int static_draw);
  void finalize_mem();

  // Rewriting a buffer object's data: data points at the mapped store
  // between map and unmap. A failed map is fatal; an empty buffer has
  // nothing to map and stays unmapped.
  void map();
  void unmap();
  bool is_mapped() const { return vbo != 0 && data != nullptr; }

  void* data;    // the memory block, or the mapped store; null otherwise
  unsigned vbo;  // the buffer object after finalize_vbo, else 0
  OGL_subregion* first_region;
  OGL_subregion* last_region;
  int size;  // total bytes, from calc_offsets
};

// Destroys a buffer made with new.
void do_OGL_chunkybuffer_destroy(OGL_chunkybuffer* b);

// Bind the array (element-array) buffer through a one-entry cache: only a
// change reaches GL, counted in "num_xdl_bind" ("num_xdl_bind_ind").
void OGL_bind_vbo(const unsigned long& vbo);
void OGL_bind_vbo_ind(const unsigned long& vbo);
// Forgets both caches (a context made anew has buffer 0 bound).
void OGL_bind_vbo_forget();

// Bytes of finalized data of all live buffers ("memory/chunky_buffers").
extern float g_chunky_buffer_bytes;
