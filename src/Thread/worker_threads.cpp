#include "Thread/worker_threads.h"

#include "Thread/thread_layer.h"

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
}

UTL_worker_threads::~UTL_worker_threads() {
  for (size_t i = 0; i < threads.size(); ++i) UTL_message_queue_write(in_queue, nullptr);
  for (size_t i = 0; i < threads.size(); ++i) UTL_thread_join(&threads[i], &thread_joins[i]);
  UTL_message_queue_destroy(in_queue);
  UTL_message_queue_destroy(out_queue);
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

UTL_work_task* UTL_worker_threads::wait_retired_tasks() {
  // Without threads nothing ever comes back: waiting would never end.
  if (total_tasks <= 0 || threads.empty()) return nullptr;
  auto* task = static_cast<UTL_work_task*>(UTL_message_queue_read(out_queue, -1));
  --total_tasks;
  return task;
}
