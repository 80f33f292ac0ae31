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

struct Queue : ::testing::Test {
  UTL_message_queue* q = nullptr;
  void SetUp() override { UTL_message_queue_create(&q); }
  void TearDown() override { UTL_message_queue_destroy(q); }
  std::vector<intptr_t> drain() {
    std::vector<intptr_t> out;
    while (void* p = UTL_message_queue_read(q, 0)) out.push_back(V(p));
    return out;
  }
};

TEST_F(Queue, FifoMultiWriteAndPolling) {
  for (int at_front : {1, 0}) {
    UTL_message_queue_write(q, P(10));
    UTL_message_queue_write(q, P(11));
    void* items[] = {P(1), P(2)};
    UTL_message_queue_multi_write(q, items, 2, at_front);
    UTL_message_queue_multi_write(q, items, 0, at_front);
    EXPECT_EQ(drain(), (at_front ? std::vector<intptr_t>{1, 2, 10, 11}
                                 : std::vector<intptr_t>{10, 11, 1, 2}));
  }
  // Any negative wait but -1 polls: taken as "no limit" these would block for ever.
  EXPECT_EQ(UTL_message_queue_read(q, -2), nullptr);
  EXPECT_EQ(UTL_message_queue_read(q, -1000), nullptr);
  EXPECT_EQ(UTL_message_queue_read(q, 20), nullptr);
}

TEST_F(Queue, TimedAndBlockingReadsWaitForAWrite) {
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

TEST_F(Queue, EditAndMultiWriteWakeWaitingReaders) {
  // A reader the edit fails to wake times out after 20 s and reads null.
  std::atomic<intptr_t> got[2] = {0, 0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i)
    readers.emplace_back([&, i] { got[i] = V(UTL_message_queue_read(q, 20000)); });
  UTL_sleep(50);
  UTL_message_queue_edit(q, [](std::vector<void*>& v, void*) { v.insert(v.end(), {P(21), P(22)}); },
                         nullptr);
  for (auto& t : readers) t.join();
  EXPECT_EQ(got[0] + got[1], 21 + 22);

  std::atomic<int> woken{0};
  readers.clear();
  for (int i = 0; i < 3; ++i) readers.emplace_back([&] { woken += !!UTL_message_queue_read(q, -1); });
  UTL_sleep(50);
  void* items[] = {P(1), P(2), P(3), P(4), P(5)};
  UTL_message_queue_multi_write(q, items, 5, 0);
  for (auto& t : readers) t.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_EQ(drain().size(), 2u);
}

TEST_F(Queue, ManyProducersAndConsumersDeliverEachItemOnceInOrder) {
  constexpr int k_prod = 4, k_cons = 4, k_each = 20000, k_base = 1000000;
  std::vector<std::vector<intptr_t>> seen(k_cons);
  std::vector<std::thread> threads;
  for (int c = 0; c < k_cons; ++c)
    threads.emplace_back([&, c] {
      // Half the consumers read with short time-outs that race the writes.
      for (void* p; (p = UTL_message_queue_read(q, c % 2 ? 1 : -1)) != P(-1);)
        if (p) seen[c].push_back(V(p));
    });
  for (int p = 0; p < k_prod; ++p)
    threads.emplace_back([&, p] {
      for (int i = 1; i <= k_each; i += 3) {
        void* two[] = {P(p * k_base + i), P(p * k_base + i + 1)};
        UTL_message_queue_multi_write(q, two, 2, 0);
        if (i + 2 <= k_each) UTL_message_queue_write(q, P(p * k_base + i + 2));
      }
    });
  for (int i = k_cons; i < k_cons + k_prod; ++i) threads[i].join();
  for (int c = 0; c < k_cons; ++c) UTL_message_queue_write(q, P(-1));
  for (int c = 0; c < k_cons; ++c) threads[c].join();
  std::vector<int> count(k_prod * k_base, 0);
  for (auto& s : seen) {
    std::vector<intptr_t> last(k_prod, 0);
    for (intptr_t v : s) {
      ++count[v];
      EXPECT_LT(last[v / k_base], v) << "one producer's items out of order";
      last[v / k_base] = v;
    }
  }
  for (int p = 0; p < k_prod; ++p)
    for (int i = 1; i <= k_each; ++i) ASSERT_EQ(count[p * k_base + i], 1) << p << "/" << i;
}

TEST(CriticalSection, IsRecursiveAndOsFailureIsFatal) {
  pthread_mutex_t m;
  UTL_critical_section_create(&m);
  UTL_critical_section_lock(&m);
  UTL_critical_section_lock(&m);
  auto other_gets_it = [&] {
    int rc = -1;
    std::thread([&] { if ((rc = pthread_mutex_trylock(&m)) == 0) pthread_mutex_unlock(&m); }).join();
    return rc == 0;
  };
  EXPECT_FALSE(other_gets_it());
  UTL_critical_section_unlock(&m);
  EXPECT_FALSE(other_gets_it());
  UTL_critical_section_unlock(&m);
  EXPECT_TRUE(other_gets_it());
#if !defined(__SANITIZE_THREAD__)  // the misuse that provokes the failure is a TSan report
  // Unlocking a recursive mutex one does not hold fails with EPERM.
  EXPECT_FATAL_ALERT(UTL_critical_section_unlock(&m), "\"pthread_mutex_unlock\" OS error");
  EXPECT_EQ(fly_test::alerts().back().s2, "err=1.000000");
#endif
  UTL_critical_section_destroy(&m);
}
}  // namespace
