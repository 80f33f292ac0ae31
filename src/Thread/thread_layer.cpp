#include "Thread/thread_layer.h"

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "GenH/glctx_seam.h"
#include "GenH/shell.h"
#include "Thread/threadpool.h"
#include "Thread/worker_threads.h"
#include "UTL/exce.h"
#include "UTL/xer.h"

// One asynchronous call; records are recycled through free_calls.
struct THREAD_call {
  THREAD_call* next = nullptr;
  UTL_message_queue* reply = nullptr;
  pthread_mutex_t lock;
  UTL_thread_fn fn = nullptr;
  void* arg = nullptr;
  int result = 0;
  int done = 0;
  int cookie = 0;
};

UTL_threadpool* g_threadpool = nullptr;

namespace {

// The error texts name the layer's source as it has always been reported.
const char* const k_layer_file = "Thread/hl_thread";

std::atomic<int> threads_inited{0};
pthread_t main_thread;
UTL_message_queue* warn_exce = nullptr;
UTL_message_queue* quit_exce = nullptr;
UTL_message_queue* call_queue = nullptr;
THREAD_call* free_calls = nullptr;
pthread_mutex_t free_calls_lock;
int next_cookie = 0;
std::vector<pthread_t> worker_threads, worker_threads_join, worker_threads_id;
// Set once the close-down stops the call-queue workers: calls from then on
// run on their caller. Read and set under calls_gate, which also covers the
// write to call_queue, so no call lands there after the workers are gone.
std::mutex calls_gate;
bool calls_inline = false;

void* const k_stop_worker = reinterpret_cast<void*>(intptr_t{-1});

// Reports what is queued now; an error that reporting queues again waits for
// the next call instead of being reported in a loop.
void drain(UTL_message_queue* q) {
  std::vector<std::unique_ptr<exce_class>> taken;
  while (void* p = UTL_message_queue_read(q, 0)) taken.emplace_back(static_cast<exce_class*>(p));
  for (auto& e : taken) e->Report();
}

struct launch_record {
  UTL_thread_fn fn;
  void* arg;
  UTL_message_queue* started;
  int want_gl;
  MACIBM_gl_context gl_context;
};

void* THREAD_launch(void* p) {
  auto* rec = static_cast<launch_record*>(p);
  if (rec->want_gl && !MACIBM_set_context_loader(rec->gl_context)) rec->want_gl = 0;
  UTL_thread_fn fn = rec->fn;
  void* arg = rec->arg;
  UTL_message_queue_write(rec->started, nullptr);  // rec may vanish from here on

  try {
    return fn(arg);
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    if (UTL_caught_thread_exit()) throw;  // on to the thread's root with its result
    THREAD_forward_current_exception();
  }
  return nullptr;
}

// A call that throws (or raises a fatal alert) is forwarded as fatal and
// still replied to, so its caller is not left waiting and a worker stays for
// the calls behind it.
void run_call(THREAD_call* call) {
  int result = 0;
  THREAD_run_forwarding(
      [&] { result = static_cast<int>(reinterpret_cast<intptr_t>(call->fn(call->arg))); });
  UTL_critical_section_lock(&call->lock);
  call->result = result;
  UTL_critical_section_unlock(&call->lock);
  UTL_message_queue_write(call->reply, reinterpret_cast<void*>(intptr_t{call->cookie}));
}

// Call-queue worker.
void* xtaskproc(void*) {
  for (;;) {
    void* item = UTL_message_queue_read(call_queue, -1);
    if (item == k_stop_worker) return nullptr;
    run_call(static_cast<THREAD_call*>(item));
  }
}

void free_call(THREAD_call* c) {
  UTL_message_queue_destroy(c->reply);
  UTL_critical_section_destroy(&c->lock);
  delete c;
}

}  // namespace

void THREAD_init() {
  // POSIX threads need no start-up of their own: nothing to check here.
  main_thread = pthread_self();
  // The error queues are made once and kept for the process's life: a thread
  // the close-down did not know of may still be writing to them.
  for (UTL_message_queue** q : {&warn_exce, &quit_exce}) {
    if (!*q) UTL_message_queue_create(q);
    while (void* p = UTL_message_queue_read(*q, 0)) delete static_cast<exce_class*>(p);
  }
  UTL_critical_section_create(&free_calls_lock);
  UTL_message_queue_create(&call_queue);
  next_cookie = 0;
  {
    std::lock_guard<std::mutex> g(calls_gate);
    calls_inline = false;
  }
  threads_inited = 1;
}

int THREAD_is_inited() { return threads_inited.load(); }

int THREAD_is_main_thread() {
  return threads_inited.load() && pthread_equal(pthread_self(), main_thread) ? 1 : 0;
}

void THREAD_make_workers() {
  int n = UTL_count_processors();
  xer << "CPU count        : " << n << "\n";
  for (int i = 0; i < n; ++i) {
    pthread_t t, j, id;
    THREAD_create(xtaskproc, nullptr, &t, &j, &id, 1);
    worker_threads.push_back(t);
    worker_threads_join.push_back(j);
    worker_threads_id.push_back(id);
  }
  // Starting the workers may have switched threaded OpenGL off.
  g_threadpool = new UTL_threadpool(glctx_seam.threaded_avail ? std::max(n - 1, 1) : 0);
}

void THREAD_create(UTL_thread_fn fn, void* arg, pthread_t* thread, pthread_t* join,
                   pthread_t* id, int want_gl) {
  int use_gl = glctx_seam.threaded_avail ? want_gl : 0;
  MACIBM_gl_context ctx = nullptr;
  if (use_gl) {
    ctx = MACIBM_make_context_loader();
    if (!ctx) {
      use_gl = 0;
      glctx_seam.threaded_ogl_failed();
    }
  }
  launch_record rec{fn, arg, nullptr, use_gl, ctx};
  UTL_message_queue_create(&rec.started);
  UTL_thread_create(THREAD_launch, &rec, thread, join, id);
  UTL_message_queue_read(rec.started, -1);
  UTL_message_queue_destroy(rec.started);
  if (use_gl && !rec.want_gl) glctx_seam.threaded_ogl_failed();
}

void THREAD_queue_exception(const exce_class& e) {
  if (e.severity != 1 && e.severity != 2) return;
  if (!threads_inited) {
    // Nobody would read the queues: keep the error in the log at least.
    xer << "EXCEPTION REPORTED FROM THREAD!!  File: " << e.file << ", line " << e.line << ".\n";
    xer << e.msg1 << "\n" << e.msg2 << "\n" << e.msg3 << "\n" << e.msg4 << "\n";
    xer.flush();
    return;
  }
  UTL_message_queue_write(e.severity == 1 ? warn_exce : quit_exce, new exce_class(e));
}

void THREAD_send_exception(const exce_class& e) {
  THREAD_queue_exception(e);
  if (e.severity == 2 && !THREAD_is_main_thread()) UTL_thread_exit(nullptr);
}

void THREAD_forward_current_exception() {
  try {
    throw;
  } catch (exce_class& e) {
    exce_class copy(e);
    copy.MakeFatal();
    THREAD_queue_exception(copy);
  } catch (const std::exception& e) {
    THREAD_queue_exception(exce_class("Caught an unhandled C++ exception", e.what(), "", "",
                                      k_layer_file, 365, t_exit));
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    if (UTL_caught_thread_exit()) return;
    THREAD_queue_exception(exce_class("Caught an unhandled unknown exception", "", "", "",
                                      k_layer_file, 367, t_exit));
  }
}

void THREAD_check_exception(int also_warnings) {
  if (!THREAD_is_main_thread()) return;
  drain(quit_exce);
  if (also_warnings) drain(warn_exce);
}

int THREAD_next_cookie(int cookie) {
  // Unsigned arithmetic: the step past the largest int wraps to the most
  // negative one instead of overflowing.
  int next = static_cast<int>(static_cast<unsigned int>(cookie) + 4u);
  return next == 0 ? 4 : next;
}

THREAD_call* THREAD_run_async(UTL_thread_fn fn, void* arg) {
  UTL_critical_section_lock(&free_calls_lock);
  next_cookie = THREAD_next_cookie(next_cookie);
  int cookie = next_cookie;
  THREAD_call* call = free_calls;
  if (call) free_calls = call->next;
  UTL_critical_section_unlock(&free_calls_lock);

  if (!call) {
    call = new THREAD_call;
    UTL_message_queue_create(&call->reply);
    UTL_critical_section_create(&call->lock);
  }
  call->next = nullptr;
  call->fn = fn;
  call->arg = arg;
  UTL_critical_section_lock(&call->lock);
  call->result = 0;
  call->done = 0;
  UTL_critical_section_unlock(&call->lock);
  call->cookie = cookie;
  {
    std::lock_guard<std::mutex> g(calls_gate);
    if (!calls_inline) {
      UTL_message_queue_write(call_queue, call);
      return call;
    }
  }
  run_call(call);
  return call;
}

int THREAD_is_done(THREAD_call* call, int ms) {
  THREAD_check_exception(0);
  void* token = UTL_message_queue_read(call->reply, ms);
  THREAD_check_exception(0);
  if (!token) return 0;
  UTL_critical_section_lock(&call->lock);
  call->done = 1;
  UTL_critical_section_unlock(&call->lock);
  return 1;
}

int THREAD_cleanup(THREAD_call* call) {
  THREAD_check_exception(0);
  UTL_critical_section_lock(&call->lock);
  if (!call->done) {
    UTL_critical_section_unlock(&call->lock);
    __MACIBM_alert(0, "Thread cleanup called on not-done call.", "", "", "", t_exit, __FILE__,
                   __LINE__);
    return 0;
  }
  int result = call->result;
  UTL_critical_section_unlock(&call->lock);
  UTL_critical_section_lock(&free_calls_lock);
  call->next = free_calls;
  free_calls = call;
  UTL_critical_section_unlock(&free_calls_lock);
  return result;
}

void THREAD_shutdown() {
  if (!threads_inited) return;
  // The callers of the shared pool stop before it goes: asynchronous calls
  // and fixed-pool tasks may queue on it. Calls made after the workers left
  // (by those tasks or by pool tasks) run on their caller.
  {
    std::lock_guard<std::mutex> g(calls_gate);
    calls_inline = true;
  }
  for (size_t i = 0; i < worker_threads.size(); ++i)
    UTL_message_queue_write(call_queue, k_stop_worker);
  for (size_t i = 0; i < worker_threads.size(); ++i)
    UTL_thread_join(&worker_threads[i], &worker_threads_join[i]);
  worker_threads.clear();
  worker_threads_join.clear();
  worker_threads_id.clear();
  // Calls queued behind the stop items would never be answered.
  while (void* item = UTL_message_queue_read(call_queue, 0))
    if (item != k_stop_worker) run_call(static_cast<THREAD_call*>(item));

  UTL_worker_threads::stop_every_pool();
  delete g_threadpool;
  g_threadpool = nullptr;

  UTL_critical_section_destroy(&free_calls_lock);
  UTL_message_queue_destroy(call_queue);
  call_queue = nullptr;
  while (THREAD_call* c = free_calls) {
    free_calls = c->next;
    free_call(c);
  }
  threads_inited = 0;
  xer << "Clean exit from threads.\n";
  // What the stopping threads raised is reported now, fatal first, as a
  // frame would have: a fatal error still ends the program with its alert.
  drain(quit_exce);
  drain(warn_exce);
}
