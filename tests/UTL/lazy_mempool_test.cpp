#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "UTL/cmnd.h"
#include "UTL/lazy_mempool.h"
#include "support/test_util.h"

namespace {

TEST(LazyMempool, StatisticIsRegistered) {
  bool found = false;
  for (UTL_stat* s = UTL_stat::waiting_list(); s; s = s->next)
    if (std::string(s->name) == "memory/lazy_pools") {
      found = true;
      EXPECT_EQ(s->target, &UTL_lazy_mempool::global_total);
      EXPECT_EQ(s->type, stat_memory);
    }
  EXPECT_TRUE(found);
}

TEST(LazyMempool, GlobalTotalFollowsBlocks) {
  const float before = UTL_lazy_mempool::global_total;
  { UTL_lazy_mempool empty; }
  EXPECT_EQ(UTL_lazy_mempool::global_total, before);
  {
    UTL_lazy_mempool pool;
    for (int i = 0; i < 3; ++i) ASSERT_NE(pool.alloc(20000), nullptr);  // one block each
    EXPECT_EQ(UTL_lazy_mempool::global_total, before + 98304.0f);
    ASSERT_NE(pool.alloc(100000), nullptr);  // its own chunk, not a block
    EXPECT_EQ(UTL_lazy_mempool::global_total, before + 98304.0f);
  }
  EXPECT_EQ(UTL_lazy_mempool::global_total, before);
}

TEST(LazyMempool, TotalsAndDump) {
  UTL_lazy_mempool pool;
  pool.dump();
  EXPECT_NE(fly_test::log_text().find("Total memory allocated: 0\nTotal wasted memory: 0\n"
                                      "Total ready memory: 0\n"),
            std::string::npos);
  pool.alloc(10);
  pool.alloc(20);
  EXPECT_EQ(pool.total_allocated, 30);
  EXPECT_EQ(pool.total_wasted, 6 + 12);
  EXPECT_EQ(pool.total_ready, 32768 - 16 - 16 - 32);
  pool.alloc(32768 - 16 - 48 + 1);  // does not fit: a new block
  EXPECT_EQ(pool.total_wasted, 18 + (32768 - 64) + 15);
}

TEST(LazyMempool, AllocationsAreAlignedAndDisjoint) {
  UTL_lazy_mempool pool;
  std::vector<std::pair<unsigned char*, size_t>> got;
  size_t sizes[] = {0, 1, 7, 16, 33, 500, 4096, 32752, 32753, 70000};
  for (int round = 0; round < 20; ++round)
    for (size_t n : sizes) {
      auto* p = static_cast<unsigned char*>(pool.alloc(n));
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
      memset(p, static_cast<int>(got.size() & 0xff), n);
      got.push_back({p, n});
    }
  for (size_t i = 0; i < got.size(); ++i)
    for (size_t k = 0; k < got[i].second; ++k)
      ASSERT_EQ(got[i].first[k], static_cast<unsigned char>(i & 0xff)) << i;
}

}  // namespace
