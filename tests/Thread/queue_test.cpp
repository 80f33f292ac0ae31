#include <pthread.h>

#include <thread>

#include "Thread/thread.h"
#include "support/test_util.h"

static void* P(intptr_t v) { return reinterpret_cast<void*>(v); }
static intptr_t V(void* p) { return reinterpret_cast<intptr_t>(p); }

struct Queue : ::testing::Test {
  UTL_message_queue* q;
  Queue() { UTL_message_queue_create(&q); }
  ~Queue() override { UTL_message_queue_destroy(q); }
  std::vector<intptr_t> drain() {
    std::vector<intptr_t> out;
    while (void* p = UTL_message_queue_read(q, 0)) out.push_back(V(p));
    return out;
  }
  // Starts n readers, lets them park on the empty queue, runs write; what they read.
  template <class F>
  std::vector<intptr_t> wake(int n, int ms, F write) {
    std::vector<std::atomic<intptr_t>> got(n);
    std::atomic<int> parked{n};
    std::vector<std::thread> readers;
    for (int i = 0; i < n; ++i)
      readers.emplace_back([&, i] { got[i] = V(UTL_message_queue_read(q, ms)), --parked; });
    UTL_sleep(50);
    for (auto& g : got) EXPECT_EQ(g.load(), 0);
    write();
    for (int t = 0; parked && t < 2000; ++t) UTL_sleep(10);
    if (parked) {  // a missed signal: fail, then free the readers so the test ends
      ADD_FAILURE() << parked << " reader(s) never woken";
      std::vector<void*> spare(n, P(-1));
      UTL_message_queue_multi_write(q, spare.data(), n, 0);
    }
    for (auto& t : readers) t.join();
    return {got.begin(), got.end()};
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
  for (int ms : {-2, -1000, 20}) EXPECT_EQ(UTL_message_queue_read(q, ms), nullptr) << ms;
}

TEST_F(Queue, TimedBlockingReadsAndEditsWakeForNewItems) {
  // A reader that is not woken times out after 20 s and reads null.
  for (int ms : {20000, -1})
    EXPECT_EQ(wake(1, ms, [&] { UTL_message_queue_write(q, P(9)); })[0], 9) << ms;
  const auto got = wake(2, -1, [&] {
    UTL_message_queue_edit(q, [](std::vector<void*>& v, void*) { v.insert(v.end(), {P(1), P(2)}); },
                           nullptr);
  });
  EXPECT_EQ(got[0] + got[1], 3);
  void* items[] = {P(1), P(2), P(3), P(4), P(5)};
  wake(3, -1, [&] { UTL_message_queue_multi_write(q, items, 5, 0); });
  EXPECT_EQ(drain().size(), 2u);
}

TEST_F(Queue, ManyProducersAndConsumersDeliverEachItemOnceInOrder) {
  constexpr intptr_t k_each = 20000, k_base = 1000000;
  std::vector<intptr_t> seen[4];
  std::vector<std::thread> threads;
  for (int c = 0; c < 4; ++c)  // half of them with short time-outs that race the writes
    threads.emplace_back([&, c] {
      for (void* p; (p = UTL_message_queue_read(q, c % 2 ? 1 : -1)) != P(-1);)
        if (p) seen[c].push_back(V(p));
    });
  for (intptr_t p = 1; p <= 4; ++p)
    threads.emplace_back([&, p] {
      for (intptr_t i = p * k_base; i < p * k_base + k_each; i += 2) {
        void* two[] = {P(i), P(i + 1)};
        if (i % 4) UTL_message_queue_multi_write(q, two, 2, 0);
        else UTL_message_queue_write(q, two[0]), UTL_message_queue_write(q, two[1]);
      }
    });
  for (int i = 4; i < 8; ++i) threads[i].join();
  for (int c = 0; c < 4; ++c) UTL_message_queue_write(q, P(-1));
  for (int c = 0; c < 4; ++c) threads[c].join();
  std::vector<int> count(5 * k_base, 0);
  for (auto& s : seen) {
    intptr_t last[5] = {};
    for (intptr_t v : s) {
      ++count[v];
      EXPECT_LT(std::exchange(last[v / k_base], v), v) << "one producer's items out of order";
    }
  }
  EXPECT_EQ(std::count(count.begin(), count.end(), 1), 4 * k_each);
}

TEST(CriticalSection, IsRecursiveAndOsFailureIsFatal) {
  pthread_mutex_t m;
  UTL_critical_section_create(&m);
  UTL_critical_section_lock(&m);
  UTL_critical_section_lock(&m);  // would deadlock if not recursive
  UTL_critical_section_unlock(&m);
  int rc = 0;
  std::thread([&] { rc = pthread_mutex_trylock(&m); }).join();
  EXPECT_EQ(rc, EBUSY);
  UTL_critical_section_unlock(&m);
#if !defined(__SANITIZE_THREAD__)  // the misuse that makes the call fail is a TSan report
  // Unlocking a recursive mutex one does not hold fails with EPERM.
  EXPECT_FATAL_ALERT(UTL_critical_section_unlock(&m), "\"pthread_mutex_unlock\" OS error");
  EXPECT_EQ(fly_test::alerts().back().s2, "err=1.000000");
#endif
  UTL_critical_section_destroy(&m);
}
