#include "UTL/lazy_mempool.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "UTL/cmnd.h"
#include "UTL/xer.h"

float UTL_lazy_mempool::global_total = 0.0f;

namespace {

UTL_stat lazy_pools_stat(&UTL_lazy_mempool::global_total, "memory/lazy_pools", stat_memory);

constexpr size_t k_align = alignof(std::max_align_t);
// The link word, padded so that what follows is aligned.
constexpr size_t k_header = (sizeof(void*) + k_align - 1) / k_align * k_align;
constexpr size_t k_block = UTL_lazy_mempool::k_block_size;

// Pools on different threads share the total: change it atomically.
void add_global(float delta) { std::atomic_ref<float>(UTL_lazy_mempool::global_total) += delta; }

// The totals are ints; a long-lived pool must not overflow them.
void add_total(int& total, size_t n) {
  long long v = static_cast<long long>(total) + static_cast<long long>(n);
  total = static_cast<int>(std::min<long long>(v, INT_MAX));
}

void* take_chunk(void*& chain, size_t bytes) {
  void* p = malloc(bytes);
  if (!p) return nullptr;
  *static_cast<void**>(p) = chain;
  chain = p;
  return p;
}

}  // namespace

UTL_lazy_mempool::UTL_lazy_mempool()
    : total_allocated(0), total_wasted(0), blocks(nullptr), cursor(nullptr), total_ready(0),
      big_chunks(nullptr) {}

UTL_lazy_mempool::~UTL_lazy_mempool() {
  while (blocks) {
    void* prev = *static_cast<void**>(blocks);
    free(blocks);
    add_global(-static_cast<float>(k_block));
    blocks = prev;
  }
  while (big_chunks) {
    void* prev = *static_cast<void**>(big_chunks);
    free(big_chunks);
    big_chunks = prev;
  }
}

void* UTL_lazy_mempool::alloc(size_t bytes) {
  if (bytes == 0) bytes = 1;  // every call gets memory of its own
  if (bytes > k_block - k_header) {
    if (bytes > SIZE_MAX - k_header) return nullptr;
    char* chunk = static_cast<char*>(take_chunk(big_chunks, k_header + bytes));
    if (!chunk) return nullptr;
    add_total(total_allocated, bytes);
    return chunk + k_header;
  }
  const size_t padded = (bytes + k_align - 1) / k_align * k_align;
  if (!blocks || static_cast<size_t>(total_ready) < padded) {
    char* block = static_cast<char*>(take_chunk(blocks, k_block));
    if (!block) return nullptr;
    add_global(static_cast<float>(k_block));
    add_total(total_wasted, static_cast<size_t>(total_ready));  // the old block's end
    cursor = block + k_header;
    total_ready = static_cast<int>(k_block - k_header);
  }
  char* p = cursor;
  cursor += padded;
  total_ready -= static_cast<int>(padded);
  add_total(total_allocated, bytes);
  add_total(total_wasted, padded - bytes);
  return p;
}

void UTL_lazy_mempool::dump() {
  xer << "Total memory allocated: " << total_allocated << "\n";
  xer << "Total wasted memory: " << total_wasted << "\n";
  xer << "Total ready memory: " << total_ready << "\n";
}
