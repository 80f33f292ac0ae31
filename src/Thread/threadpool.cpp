#include "Thread/threadpool.h"

#include <cstdint>
#include <unordered_map>
#include <utility>

#include "Thread/thread_layer.h"

namespace {

// Queue item that wakes a thread and carries no task.
void* const k_wake = reinterpret_cast<void*>(intptr_t{1});

// A task that throws is forwarded to the main thread as a fatal error; whether
// the pool or its owner should free it is then unknown, so it is left alone.
// A fatal alert inside do_it ends the task, not the thread running it.
void run_pool_task(UTL_pool_task* task) {
  int finished = 0;
  if (THREAD_run_forwarding([&] { finished = task->do_it(); }) && finished) delete task;
}

bool is_coordination(UTL_pool_task* task) {
  return dynamic_cast<UTL_threadpool_barrier*>(task) || dynamic_cast<UTL_threadpool_sync*>(task);
}

void read_acks(UTL_message_queue* q, int n) {
  for (int i = 0; i < n; ++i) UTL_message_queue_read(q, -1);
}

}  // namespace

// How many copies of a barrier or sync make it whole: the threads it gathers.
struct coordination_copies {
  static int of(UTL_pool_task* task) {
    if (auto* b = dynamic_cast<UTL_threadpool_barrier*>(task)) return b->pool->get_num_threads();
    if (auto* s = dynamic_cast<UTL_threadpool_sync*>(task)) return s->expected;
    return 0;
  }
};

namespace {

struct urgent_copies {
  UTL_pool_task* task;
  int n;
};

// Runs under the queue's lock, where every read also happens, so the copies
// still queued tell exactly whether threads have begun to gather in a
// barrier or sync: fewer than make it whole. The urgent copies go right
// behind the last copy of every such one, else at the front.
void insert_urgent_coordination(std::vector<void*>& items, void* ref) {
  const auto* u = static_cast<urgent_copies*>(ref);
  std::unordered_map<void*, std::pair<int, size_t>> queued;  // copies, last index
  for (size_t i = 0; i < items.size(); ++i) {
    if (reinterpret_cast<uintptr_t>(items[i]) <= 1) continue;  // stop and wake-up items
    if (!is_coordination(static_cast<UTL_pool_task*>(items[i]))) continue;
    auto& q = queued[items[i]];
    ++q.first;
    q.second = i;
  }
  size_t at = 0;
  for (const auto& [item, q] : queued)
    if (q.first < coordination_copies::of(static_cast<UTL_pool_task*>(item)) && q.second + 1 > at)
      at = q.second + 1;
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), static_cast<size_t>(u->n),
               u->task);
}

}  // namespace

UTL_threadpool::UTL_threadpool(int thread_count) : queue(nullptr) {
  UTL_message_queue_create(&queue);
  if (thread_count < 0) thread_count = 0;
  threads.resize(static_cast<size_t>(thread_count));
  thread_ids.resize(threads.size());
  thread_joins.resize(threads.size());
  for (size_t i = 0; i < threads.size(); ++i)
    THREAD_create(thread_proc, this, &threads[i], &thread_joins[i], &thread_ids[i], 1);
}

UTL_threadpool::~UTL_threadpool() {
  for (size_t i = 0; i < threads.size(); ++i) UTL_message_queue_write(queue, nullptr);
  for (size_t i = 0; i < threads.size(); ++i) UTL_thread_join(&threads[i], &thread_joins[i]);
  // Tasks queued behind the stop items by tasks still running would never
  // run and, when the pool owns them, never be freed: run them here, with
  // whatever they queue in turn.
  while (void* item = UTL_message_queue_read(queue, 0)) {
    if (item == k_wake) continue;
    auto* task = static_cast<UTL_pool_task*>(item);
    if (!is_coordination(task)) run_pool_task(task);
  }
  UTL_message_queue_destroy(queue);
}

void* UTL_threadpool::thread_proc(void* p) {
  auto* pool = static_cast<UTL_threadpool*>(p);
  for (;;) {
    void* item = UTL_message_queue_read(pool->queue, -1);
    if (item == k_wake) continue;
    if (!item) return nullptr;
    run_pool_task(static_cast<UTL_pool_task*>(item));
  }
}

void UTL_threadpool::queue_task(UTL_pool_task* task, int urgent) {
  if (!task) return;
  if (urgent) {
    queue_task_multi(task, 1, 1);
  } else {
    UTL_message_queue_write(queue, task);
  }
}

void UTL_threadpool::queue_task_multi(UTL_pool_task* task, int n, int urgent) {
  if (n <= 0 || !task) return;
  if (urgent && is_coordination(task)) {
    urgent_copies u{task, n};
    UTL_message_queue_edit(queue, insert_urgent_coordination, &u);
    return;
  }
  std::vector<void*> items(static_cast<size_t>(n), task);
  UTL_message_queue_multi_write(queue, items.data(), n, urgent);
}

int UTL_threadpool::help_a_bit() {
  void* item = UTL_message_queue_read(queue, 0);
  if (!item) return 0;
  if (item == k_wake) return 1;
  auto* task = static_cast<UTL_pool_task*>(item);
  if (is_coordination(task)) {
    // Back where it was, for a pool thread; nothing was run here.
    UTL_message_queue_multi_write(queue, &item, 1, 1);
    return 0;
  }
  run_pool_task(task);
  return 1;
}

UTL_threadpool_barrier::UTL_threadpool_barrier(UTL_threadpool* pool_, const char* name)
    : work_queue(nullptr), ack_queue(nullptr), pool(pool_), debug_name(name) {
  UTL_message_queue_create(&work_queue);
  UTL_message_queue_create(&ack_queue);
}

UTL_threadpool_barrier::~UTL_threadpool_barrier() {
  UTL_message_queue_destroy(work_queue);
  UTL_message_queue_destroy(ack_queue);
}

void UTL_threadpool_barrier::halt_pool_start(int urgent) {
  pool->queue_task_multi(this, pool->get_num_threads(), urgent);
}

void UTL_threadpool_barrier::halt_pool_finish() { read_acks(ack_queue, pool->get_num_threads()); }

void UTL_threadpool_barrier::queue_task(UTL_pool_task* task) {
  UTL_message_queue_write(work_queue, task);
}

void UTL_threadpool_barrier::restart_pool() {
  int n = pool->get_num_threads();
  if (n <= 0) return;
  std::vector<void*> stops(static_cast<size_t>(n), nullptr);
  UTL_message_queue_multi_write(work_queue, stops.data(), n, 0);
  read_acks(ack_queue, n);
}

int UTL_threadpool_barrier::do_it() {
  UTL_message_queue_write(ack_queue, nullptr);  // parked
  for (;;) {
    void* item = UTL_message_queue_read(work_queue, -1);
    if (item == k_wake) continue;
    if (!item) break;
    run_pool_task(static_cast<UTL_pool_task*>(item));
  }
  UTL_message_queue_write(ack_queue, nullptr);  // left
  return 0;
}

UTL_threadpool_sync::UTL_threadpool_sync(UTL_threadpool* pool_, const char* name)
    : queue(nullptr), pool(pool_), callback(nullptr), ref(nullptr), arrived(0), expected(0),
      delete_when_done(0), debug_name(name) {
  UTL_message_queue_create(&queue);
}

UTL_threadpool_sync::~UTL_threadpool_sync() { UTL_message_queue_destroy(queue); }

void UTL_threadpool_sync::queue_me(callback_fn cb, void* r, int del, int urgent) {
  delete_when_done = del;
  callback = cb;
  ref = r;
  arrived = 0;
  expected = pool->get_num_threads();
  pool->queue_task_multi(this, expected, urgent);
}

int UTL_threadpool_sync::do_it() {
  const int n = expected;
  const int del = delete_when_done;
  if (arrived.fetch_add(1) + 1 == n) {
    // The others are held until the release below, whatever the callback does.
    if (callback) THREAD_run_forwarding([&] { callback(ref); });
    if (n > 1) {
      std::vector<void*> release(static_cast<size_t>(n - 1), nullptr);
      UTL_message_queue_multi_write(queue, release.data(), n - 1, 0);
    }
  } else {
    UTL_message_queue_read(queue, -1);
  }
  return (arrived.fetch_add(-1) == 1 && del) ? 1 : 0;
}
