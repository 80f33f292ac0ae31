#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "Thread/thread.h"
#include "support/test_util.h"

namespace {

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }
intptr_t V(void* p) { return reinterpret_cast<intptr_t>(p); }

struct queue_fixture : ::testing::Test {
  UTL_message_queue* q = nullptr;
  void SetUp() override { UTL_message_queue_create(&q); }
  void TearDown() override { UTL_message_queue_destroy(q); }
  std::vector<intptr_t> drain() {
    std::vector<intptr_t> out;
    while (void* p = UTL_message_queue_read(q, 0)) out.push_back(V(p));
    return out;
  }
};

using Queue = queue_fixture;

TEST_F(Queue, PollsInFifoOrder) {
  EXPECT_EQ(UTL_message_queue_read(q, 0), nullptr);
  for (intptr_t i = 1; i <= 5; ++i) UTL_message_queue_write(q, P(i));
  EXPECT_EQ(drain(), (std::vector<intptr_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(UTL_message_queue_read(q, 0), nullptr);
}

TEST_F(Queue, MultiWriteFrontBackAndEmpty) {
  struct row {
    int n, at_front;
    std::vector<intptr_t> want;
  } rows[] = {
      {3, 1, {1, 2, 3, 10, 11}},
      {3, 0, {10, 11, 1, 2, 3}},
      {0, 1, {10, 11}},
      {0, 0, {10, 11}},
  };
  for (const row& r : rows) {
    UTL_message_queue_write(q, P(10));
    UTL_message_queue_write(q, P(11));
    void* items[] = {P(1), P(2), P(3)};
    UTL_message_queue_multi_write(q, items, r.n, r.at_front);
    EXPECT_EQ(drain(), r.want) << "n=" << r.n << " at_front=" << r.at_front;
  }
}

TEST_F(Queue, NegativeWaitOtherThanMinusOnePolls) {
  // Would block for ever if -2 or -1000 were taken as "no limit".
  EXPECT_EQ(UTL_message_queue_read(q, -2), nullptr);
  EXPECT_EQ(UTL_message_queue_read(q, -1000), nullptr);
  UTL_message_queue_write(q, P(7));
  EXPECT_EQ(V(UTL_message_queue_read(q, -5)), 7);
}

TEST_F(Queue, TimedAndBlockingReadsWaitForAWrite) {
  EXPECT_EQ(UTL_message_queue_read(q, 20), nullptr);
  for (int ms : {30000, -1}) {
    std::atomic<intptr_t> got{0};
    std::thread r([&] { got = V(UTL_message_queue_read(q, ms)); });
    UTL_sleep(30);
    EXPECT_EQ(got.load(), 0);
    UTL_message_queue_write(q, P(9));
    r.join();
    EXPECT_EQ(got.load(), 9) << ms;
  }
}

void append_two(std::vector<void*>& v, void*) {
  v.push_back(P(21));
  v.push_back(P(22));
}

TEST_F(Queue, EditThatAddsItemsWakesWaitingReaders) {
  std::atomic<intptr_t> got[2] = {0, 0};
  std::vector<std::thread> readers;
  // A reader missed by the edit would time out after 20 s and read null.
  for (int i = 0; i < 2; ++i)
    readers.emplace_back([&, i] { got[i] = V(UTL_message_queue_read(q, 20000)); });
  UTL_sleep(50);  // let both park on the empty queue
  UTL_message_queue_edit(q, append_two, nullptr);
  for (auto& t : readers) t.join();
  EXPECT_EQ(got[0] + got[1], 21 + 22);
}

TEST_F(Queue, MultiWriteWakesAsManyReadersAsItHasItems) {
  std::atomic<int> woken{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i)
    readers.emplace_back([&] {
      if (UTL_message_queue_read(q, -1)) ++woken;
    });
  UTL_sleep(50);
  void* items[] = {P(1), P(2), P(3), P(4), P(5)};
  UTL_message_queue_multi_write(q, items, 5, 0);
  for (auto& t : readers) t.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_EQ(drain().size(), 2u);
}

TEST_F(Queue, ManyProducersAndConsumersDeliverEachItemOnceInOrder) {
  constexpr int k_prod = 4, k_cons = 4, k_each = 20000;
  std::vector<std::vector<intptr_t>> seen(k_cons);
  std::vector<std::thread> cons;
  for (int c = 0; c < k_cons; ++c)
    cons.emplace_back([&, c] {
      for (;;) {
        // Half the consumers use short timed reads, so time-outs race writes.
        void* p = UTL_message_queue_read(q, c % 2 ? 1 : -1);
        if (!p) continue;
        if (V(p) < 0) return;
        seen[c].push_back(V(p));
      }
    });
  std::vector<std::thread> prod;
  for (int p = 0; p < k_prod; ++p)
    prod.emplace_back([&, p] {
      for (int i = 0; i < k_each; ++i) {
        if (i % 3 == 0) {
          void* two[] = {P(p * 1000000 + i + 1), P(p * 1000000 + i + 2)};
          UTL_message_queue_multi_write(q, two, 2, 0);
          ++i;
        } else {
          UTL_message_queue_write(q, P(p * 1000000 + i + 1));
        }
      }
    });
  for (auto& t : prod) t.join();
  for (int c = 0; c < k_cons; ++c) UTL_message_queue_write(q, P(-1));
  for (auto& t : cons) t.join();

  std::vector<int> count(k_prod * 1000000 + k_each + 2, 0);
  size_t total = 0;
  for (auto& s : seen) {
    std::vector<intptr_t> last(k_prod, 0);
    for (intptr_t v : s) {
      ++count[static_cast<size_t>(v)];
      intptr_t p = v / 1000000;
      EXPECT_LT(last[p], v) << "a consumer saw one producer's items out of order";
      last[p] = v;
    }
    total += s.size();
  }
  EXPECT_EQ(total, static_cast<size_t>(k_prod * k_each));
  for (int p = 0; p < k_prod; ++p)
    for (int i = 1; i <= k_each; ++i) ASSERT_EQ(count[p * 1000000 + i], 1) << p << "/" << i;
}

TEST(CriticalSection, IsRecursive) {
  pthread_mutex_t m;
  UTL_critical_section_create(&m);
  UTL_critical_section_lock(&m);
  UTL_critical_section_lock(&m);
  auto other_gets_it = [&] {
    int rc = -1;
    std::thread t([&] {
      rc = pthread_mutex_trylock(&m);
      if (rc == 0) pthread_mutex_unlock(&m);
    });
    t.join();
    return rc == 0;
  };
  EXPECT_FALSE(other_gets_it());
  UTL_critical_section_unlock(&m);
  EXPECT_FALSE(other_gets_it());
  UTL_critical_section_unlock(&m);
  EXPECT_TRUE(other_gets_it());
  UTL_critical_section_destroy(&m);
}

TEST(CriticalSection, OsFailureIsFatalWithCallName) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the failure is provoked by a misuse that ThreadSanitizer reports";
#endif
  pthread_mutex_t m;
  UTL_critical_section_create(&m);
  fly_test::clear_alerts();
  // Unlocking a recursive mutex one does not hold fails with EPERM.
  EXPECT_FATAL_ALERT(UTL_critical_section_unlock(&m), "\"pthread_mutex_unlock\" OS error");
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "\"pthread_mutex_unlock\" OS error");
  EXPECT_EQ(fly_test::alerts()[0].s2, "err=1.000000");
  EXPECT_EQ(fly_test::alerts()[0].type, 2);
  UTL_critical_section_destroy(&m);
}

}  // namespace
