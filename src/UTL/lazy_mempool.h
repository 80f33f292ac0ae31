// A grow-only arena: memory comes from 32,768-byte blocks of the system
// allocator, single allocations are never freed, and every block goes back
// when the pool is destroyed. For one thread at a time.
#pragma once

#include <cstddef>

class UTL_lazy_mempool {
 public:
  static constexpr int k_block_size = 32768;

  UTL_lazy_mempool();
  ~UTL_lazy_mempool();
  UTL_lazy_mempool(const UTL_lazy_mempool&) = delete;
  UTL_lazy_mempool& operator=(const UTL_lazy_mempool&) = delete;

  // bytes of memory aligned for any type, valid until the pool is destroyed;
  // null only when the system allocator fails. A request too big for a block
  // gets a chunk of its own, freed with the blocks.
  void* alloc(size_t bytes);
  // Writes the three totals to the log.
  void dump();

  int total_allocated;  // bytes handed out
  int total_wasted;     // alignment padding and block ends left unused
  void* blocks;         // newest block; each block's first word links the one before
  char* cursor;         // next free byte of the newest block
  int total_ready;      // bytes still free in the newest block
  void* big_chunks;     // chunks of oversized requests, linked the same way

  // Bytes held in blocks by all pools together ("memory/lazy_pools").
  static float global_total;
};
