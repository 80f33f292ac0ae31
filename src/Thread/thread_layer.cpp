#include "Thread/thread_layer.h"

#include <atomic>

#include "GenH/shell.h"
#include "UTL/exce.h"
#include "UTL/xer.h"

namespace {
std::atomic<int> threads_inited{0};
pthread_t main_thread;
UTL_message_queue* warn_exce = nullptr;
UTL_message_queue* quit_exce = nullptr;

void drain(UTL_message_queue* q) {
  while (void* p = UTL_message_queue_read(q, 0)) {
    auto* e = static_cast<exce_class*>(p);
    e->Report();
    delete e;
  }
}
}  // namespace

void THREAD_init() {
  main_thread = pthread_self();
  UTL_message_queue_create(&warn_exce);
  UTL_message_queue_create(&quit_exce);
  threads_inited = 1;
}

int THREAD_is_inited() { return threads_inited.load(); }

int THREAD_is_main_thread() {
  return threads_inited.load() && pthread_equal(pthread_self(), main_thread) ? 1 : 0;
}

void THREAD_queue_exception(const exce_class& e) {
  if (e.severity == 1)
    UTL_message_queue_write(warn_exce, new exce_class(e));
  else if (e.severity == 2)
    UTL_message_queue_write(quit_exce, new exce_class(e));
}

void THREAD_send_exception(const exce_class& e) {
  THREAD_queue_exception(e);
  if (e.severity == 2 && !THREAD_is_main_thread()) UTL_thread_exit(nullptr);
}

void THREAD_check_exception(int also_warnings) {
  if (!threads_inited) return;
  drain(quit_exce);
  if (also_warnings) drain(warn_exce);
}

void THREAD_shutdown() {
  if (!threads_inited) return;
  // Errors still queued are dropped with their queues.
  for (UTL_message_queue* q : {warn_exce, quit_exce}) {
    while (void* p = UTL_message_queue_read(q, 0)) delete static_cast<exce_class*>(p);
    UTL_message_queue_destroy(q);
  }
  warn_exce = quit_exce = nullptr;
  threads_inited = 0;
  xer << "Clean exit from threads.\n";
}
