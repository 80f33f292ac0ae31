#include "Thread/worker_threads.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "Thread/thread_layer.h"

namespace {
// Every pool alive, so that the close-down can stop their threads.
std::mutex registry_lock;
std::condition_variable registry_stopped;  // a claimed pool's threads have ended
std::vector<UTL_worker_threads*>& registry() {
  static auto* pools = new std::vector<UTL_worker_threads*>;  // outlives static destructors
  return *pools;
}
}  // namespace

UTL_worker_threads::UTL_worker_threads(int thread_count, int max_tasks_)
    : in_queue(nullptr), out_queue(nullptr), max_tasks(max_tasks_), total_tasks(0) {
  UTL_message_queue_create(&in_queue);
  UTL_message_queue_create(&out_queue);
  if (thread_count < 0) thread_count = 0;
  threads.resize(static_cast<size_t>(thread_count));
  thread_ids.resize(threads.size());
  thread_joins.resize(threads.size());
  for (size_t i = 0; i < threads.size(); ++i)
    UTL_thread_create(thread_proc, this, &threads[i], &thread_joins[i], &thread_ids[i]);
  std::lock_guard<std::mutex> g(registry_lock);
  registry().push_back(this);
}

UTL_worker_threads::~UTL_worker_threads() {
  {
    std::unique_lock<std::mutex> g(registry_lock);
    auto& pools = registry();
    pools.erase(std::remove(pools.begin(), pools.end(), this), pools.end());
    // The close-down may be stopping this pool on another thread right now.
    registry_stopped.wait(g, [this] { return !claimed || stopped.load(); });
  }
  if (!stopped) stop_threads();
  UTL_message_queue_destroy(in_queue);
  UTL_message_queue_destroy(out_queue);
}

void UTL_worker_threads::stop_threads() {
  for (size_t i = 0; i < threads.size(); ++i) UTL_message_queue_write(in_queue, nullptr);
  for (size_t i = 0; i < threads.size(); ++i) UTL_thread_join(&threads[i], &thread_joins[i]);
  stopped = true;
}

void UTL_worker_threads::stop_every_pool() {
  // Not under the registry lock while joining: a task may make or delete a
  // pool of its own. Pools made meanwhile are caught by the next round.
  for (;;) {
    std::vector<UTL_worker_threads*> todo;
    {
      std::lock_guard<std::mutex> g(registry_lock);
      for (UTL_worker_threads* p : registry())
        if (!p->claimed && !p->stopped) {
          p->claimed = true;
          todo.push_back(p);
        }
    }
    if (todo.empty()) return;
    for (UTL_worker_threads* p : todo) {
      // Closing down must not wait for work nobody will collect.
      p->drop_waiting_tasks();
      p->stop_threads();
      std::lock_guard<std::mutex> g(registry_lock);
      registry_stopped.notify_all();
    }
  }
}

void* UTL_worker_threads::thread_proc(void* p) {
  auto* pool = static_cast<UTL_worker_threads*>(p);
  while (void* item = UTL_message_queue_read(pool->in_queue, -1)) {
    auto* task = static_cast<UTL_work_task*>(item);
    // A failing task must still come back, or its owner waits for it for ever;
    // a fatal alert inside do_it ends the task, not the pool's thread.
    THREAD_run_forwarding([&] { task->do_it(); });
    UTL_message_queue_write(pool->out_queue, task);
  }
  return nullptr;
}

void UTL_worker_threads::enqueue_task(UTL_work_task* task) {
  // A null item is the threads' stop signal: it would end a thread and never
  // come back.
  if (!task) return;
  ++total_tasks;
  UTL_message_queue_write(in_queue, task);
}

UTL_work_task* UTL_worker_threads::check_retired_tasks() {
  auto* task = static_cast<UTL_work_task*>(UTL_message_queue_read(out_queue, 0));
  if (task) --total_tasks;
  return task;
}

void UTL_worker_threads::drop_waiting_tasks() {
  // Only before the stop items go in: a null item read here would be lost.
  if (stopped) return;
  while (void* item = UTL_message_queue_read(in_queue, 0)) UTL_message_queue_write(out_queue, item);
}

UTL_work_task* UTL_worker_threads::wait_retired_tasks() {
  // Without threads nothing more comes back: waiting would never end.
  if (total_tasks <= 0 || threads.empty()) return nullptr;
  auto* task = static_cast<UTL_work_task*>(UTL_message_queue_read(out_queue, stopped ? 0 : -1));
  if (task) --total_tasks;
  return task;
}
