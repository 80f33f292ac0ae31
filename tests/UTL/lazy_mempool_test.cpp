#include "UTL/lazy_mempool.h"

#include <cstdint>
#include <cstring>

#include "support/test_util.h"

TEST(LazyMempool, StatisticCountsBlocksButNotOversizedChunks) {
  const float before = UTL_lazy_mempool::global_total;
  {
    UTL_lazy_mempool pool;
    for (int i = 0; i < 3; ++i) pool.alloc(20000);  // one block each
    pool.alloc(100000);                             // a chunk of its own
    EXPECT_EQ(UTL_lazy_mempool::global_total, before + 3 * 32768.0f);
  }
  EXPECT_EQ(UTL_lazy_mempool::global_total, before);
}

TEST(LazyMempool, AllocationsAreAlignedAndDisjoint) {
  UTL_lazy_mempool pool;
  std::vector<std::pair<unsigned char*, size_t>> got;
  for (int round = 0; round < 20; ++round)
    for (size_t n : {0, 1, 7, 33, 4096, 32752, 32753, 70000}) {
      auto* p = static_cast<unsigned char*>(pool.alloc(n));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
      memset(p, static_cast<int>(got.size() & 0xff), n);
      got.push_back({p, n});
    }
  for (size_t i = 0; i < got.size(); ++i)
    for (size_t k = 0; k < got[i].second; ++k)
      ASSERT_EQ(got[i].first[k], static_cast<unsigned char>(i & 0xff)) << i;
}
