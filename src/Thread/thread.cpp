#include "Thread/thread.h"

#include <time.h>
#include <unistd.h>

#include <cxxabi.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <list>
#include <string>

#include "GenH/shell.h"
#include "Linux/lin_sys.h"
#include "UTL/xer.h"

namespace {

void os_fatal(const char* call, int err, int line) {
  char buf[64];
  snprintf(buf, sizeof(buf), "err=%f", static_cast<double>(err));
  __MACIBM_alert(0, std::string("\"") + call + "\" OS error", buf, "", "", t_exit, __FILE__, line);
}

#define OS_CHECK(call_text, expr)                                     \
  do {                                                                \
    int os_check_rc = (expr);                                         \
    if (os_check_rc != 0) os_fatal(call_text, os_check_rc, __LINE__); \
  } while (0)

// Thrown by UTL_thread_exit and caught at the thread's root. Not derived from
// std::exception, so handlers for ordinary errors let it pass.
struct thread_exit_unwind {
  void* result;
};

struct thread_start {
  UTL_thread_fn fn;
  void* arg;
};

// Last resort for threads whose function lets an exception escape: the error
// goes the way of every worker alert instead of ending the process unlogged.
void report_escaped(const char* what) {
  __MACIBM_alert(0,
                 what ? "Caught an unhandled C++ exception"
                      : "Caught an unhandled unknown exception",
                 what ? what : "", "", "", t_exit, __FILE__, __LINE__);
}

void* thread_root(void* p) {
  // A cancelled thread would be torn out of a queue wait with the queue's lock
  // held; framework threads only end by returning or by UTL_thread_exit.
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  thread_start start = *static_cast<thread_start*>(p);
  delete static_cast<thread_start*>(p);
  try {
    try {
      return start.fn(start.arg);
    } catch (thread_exit_unwind&) {
      throw;
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (const std::exception& e) {
      report_escaped(e.what());
    } catch (...) {
      report_escaped(nullptr);
    }
  } catch (thread_exit_unwind& e) {
    return e.result;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    // The alert itself failed (no thread layer and an alert hook that throws).
  }
  return nullptr;
}

}  // namespace

pthread_t UTL_get_current_thread() { return pthread_self(); }

int UTL_count_processors() { return LIN_processor_count(); }

void UTL_thread_create(UTL_thread_fn fn, void* arg, pthread_t* thread, pthread_t* join,
                       pthread_t* id) {
  auto* start = new thread_start{fn, arg};
  int rc = pthread_create(thread, nullptr, thread_root, start);
  if (rc != 0) {
    delete start;
    os_fatal("pthread_create", rc, __LINE__);
    return;
  }
  if (join) *join = *thread;
  if (id) *id = *thread;
}

int UTL_thread_join(pthread_t* thread, pthread_t*) {
  void* result = nullptr;
  int rc = pthread_join(*thread, &result);
  if (rc != 0) {
    xer << "Warning: wait on thread cleanup failed with error " << rc << "\n";
    return 0;
  }
  return static_cast<int>(reinterpret_cast<intptr_t>(result));
}

void UTL_thread_exit(void* result) { throw thread_exit_unwind{result}; }

bool UTL_caught_thread_exit() {
  try {
    throw;
  } catch (thread_exit_unwind&) {
    return true;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return false;
  }
}

int UTL_thread_murder(pthread_t* thread) { return pthread_cancel(*thread); }

void UTL_sleep(int ms) {
  if (ms <= 0) return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void UTL_critical_section_create(pthread_mutex_t* m) {
  pthread_mutexattr_t attr;
  OS_CHECK("::pthread_mutexattr_init", pthread_mutexattr_init(&attr));
  OS_CHECK("::pthread_mutexattr_settype",
           pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE));
  OS_CHECK("::pthread_mutex_init", pthread_mutex_init(m, &attr));
  OS_CHECK("::pthread_mutexattr_destroy", pthread_mutexattr_destroy(&attr));
}

void UTL_critical_section_destroy(pthread_mutex_t* m) {
  OS_CHECK("::pthread_mutex_destroy", pthread_mutex_destroy(m));
}

void UTL_critical_section_lock(pthread_mutex_t* m) {
  OS_CHECK("pthread_mutex_lock", pthread_mutex_lock(m));
}

void UTL_critical_section_unlock(pthread_mutex_t* m) {
  OS_CHECK("pthread_mutex_unlock", pthread_mutex_unlock(m));
}

struct UTL_message_queue {
  pthread_mutex_t lock;
  pthread_cond_t cond;
  std::list<void*> items;
  int waiting = 0;
};

namespace {
void queue_lock(UTL_message_queue* q) {
  OS_CHECK("pthread_mutex_lock", pthread_mutex_lock(&q->lock));
}
void queue_unlock(UTL_message_queue* q) {
  OS_CHECK("pthread_mutex_unlock", pthread_mutex_unlock(&q->lock));
}
// Returns the first failure; the caller reports it once the lock is released,
// so a worker ending in the alert leaves the queue usable.
int queue_signal(UTL_message_queue* q, int times) {
  for (int i = 0; i < times; ++i) {
    int rc = pthread_cond_signal(&q->cond);
    if (rc != 0) return rc;
  }
  return 0;
}
}  // namespace

void UTL_message_queue_create(UTL_message_queue** out) {
  auto* q = new UTL_message_queue;
  *out = q;
  OS_CHECK("::pthread_mutex_init", pthread_mutex_init(&q->lock, nullptr));
  // Timed reads measure against the monotonic clock: a change of the wall
  // clock must not stretch or cut a wait.
  pthread_condattr_t attr;
  OS_CHECK("::pthread_condattr_init", pthread_condattr_init(&attr));
  OS_CHECK("::pthread_condattr_setclock", pthread_condattr_setclock(&attr, CLOCK_MONOTONIC));
  OS_CHECK("::pthread_cond_init", pthread_cond_init(&q->cond, &attr));
  OS_CHECK("::pthread_condattr_destroy", pthread_condattr_destroy(&attr));
}

void UTL_message_queue_destroy(UTL_message_queue* q) {
  if (!q) return;
  OS_CHECK("::pthread_mutex_destroy", pthread_mutex_destroy(&q->lock));
  OS_CHECK("::pthread_cond_desroy", pthread_cond_destroy(&q->cond));
  delete q;
}

void UTL_message_queue_write(UTL_message_queue* q, void* item) {
  queue_lock(q);
  int rc = q->waiting > 0 ? queue_signal(q, 1) : 0;
  q->items.push_back(item);
  queue_unlock(q);
  if (rc != 0) os_fatal("pthread_cond_signal", rc, __LINE__);
}

void UTL_message_queue_multi_write(UTL_message_queue* q, void** items, int n, int at_front) {
  if (n <= 0) return;
  queue_lock(q);
  int rc = q->waiting > 0 ? queue_signal(q, n < q->waiting ? n : q->waiting) : 0;
  auto pos = at_front ? q->items.begin() : q->items.end();
  for (int i = 0; i < n; ++i) q->items.insert(pos, items[i]);
  queue_unlock(q);
  if (rc != 0) os_fatal("pthread_cond_signal", rc, __LINE__);
}

void UTL_message_queue_edit(UTL_message_queue* q, UTL_queue_edit_fn fn, void* ref) {
  queue_lock(q);
  std::vector<void*> v(q->items.begin(), q->items.end());
  try {
    fn(v, ref);
  } catch (...) {
    queue_unlock(q);  // the queue stays as it was
    throw;
  }
  q->items.assign(v.begin(), v.end());
  // Readers parked on an empty queue must see items an edit added: one signal
  // per item, never more than there are readers, as for a write.
  int rc = 0;
  if (q->waiting > 0 && !q->items.empty()) {
    int n = static_cast<int>(q->items.size() < static_cast<size_t>(q->waiting) ? q->items.size()
                                                                                : q->waiting);
    rc = queue_signal(q, n);
  }
  queue_unlock(q);
  if (rc != 0) os_fatal("pthread_cond_signal", rc, __LINE__);
}

namespace {
void* queue_take_front(UTL_message_queue* q) {
  --q->waiting;
  void* item = q->items.front();
  q->items.pop_front();
  queue_unlock(q);
  return item;
}
}  // namespace

void* UTL_message_queue_read(UTL_message_queue* q, int ms) {
  if (ms < -1) ms = 0;
  timespec deadline{};
  if (ms > 0) {
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec > 999999999L) {
      deadline.tv_nsec -= 1000000000L;
      deadline.tv_sec += 1;
    }
  }
  queue_lock(q);
  if (ms == 0 && q->items.empty()) {
    queue_unlock(q);
    return nullptr;
  }
  ++q->waiting;
  for (;;) {
    if (!q->items.empty()) return queue_take_front(q);
    int rc = (ms == -1) ? pthread_cond_wait(&q->cond, &q->lock)
                        : pthread_cond_timedwait(&q->cond, &q->lock, &deadline);
    if (rc == ETIMEDOUT) {
      // A timed-out wait may have used up a signal meant for another reader:
      // take the item that signal announced rather than strand it.
      if (!q->items.empty()) return queue_take_front(q);
      --q->waiting;
      queue_unlock(q);
      return nullptr;
    }
    if (rc != 0) {
      --q->waiting;
      queue_unlock(q);
      os_fatal("pthread_cond_timedwait", rc, __LINE__);
      return nullptr;
    }
  }
}
