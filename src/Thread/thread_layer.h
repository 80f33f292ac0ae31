// The thread layer: the main thread's identity, the launcher of framework
// threads, forwarding of errors from other threads to the main thread, the
// call-queue workers and the shared thread pool.
#pragma once

#include <cxxabi.h>
#include <pthread.h>

#include "Thread/thread.h"

class exce_class;
class UTL_threadpool;
struct THREAD_call;

// The shared pool; null before THREAD_make_workers and after THREAD_shutdown.
extern UTL_threadpool* g_threadpool;

void THREAD_init();
int THREAD_is_inited();
int THREAD_is_main_thread();
void THREAD_make_workers();
// Starts fn on arg through the launcher, which forwards whatever escapes fn to
// the main thread as a fatal error. Returns once the thread runs.
void THREAD_create(UTL_thread_fn fn, void* arg, pthread_t* thread, pthread_t* join,
                   pthread_t* id, int want_gl);
// Severity 1 is queued for the main thread; severity 2 is queued and, off the
// main thread, ends the calling thread; other severities are dropped.
void THREAD_send_exception(const exce_class& e);
// Queues like THREAD_send_exception but never ends the calling thread.
void THREAD_queue_exception(const exce_class& e);
// Inside a catch handler: turns the exception being handled into a fatal error
// for the main thread, as the launcher does, without ending the calling
// thread. The unwinding of UTL_thread_exit was forwarded already and is left
// alone.
void THREAD_forward_current_exception();
// Runs fn; whatever escapes it (but a thread's cancellation) is forwarded as
// above and the calling thread goes on. false when something escaped.
template <class Fn>
bool THREAD_run_forwarding(Fn&& fn) {
  try {
    fn();
    return true;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    THREAD_forward_current_exception();
    return false;
  }
}
// Reports and deletes forwarded errors; only the main thread reports, so on
// any other thread this leaves them queued.
void THREAD_check_exception(int also_warnings);
THREAD_call* THREAD_run_async(UTL_thread_fn fn, void* arg);
int THREAD_is_done(THREAD_call* call, int ms);
int THREAD_cleanup(THREAD_call* call);
// Stops the call-queue workers, then the threads of the fixed pools, then the
// shared pool, whose callers all go first. What those threads raised until
// they stopped is then reported as a frame would, fatal first: a fatal error
// still ends the program with its alert and status 1.
void THREAD_shutdown();

// The reply token after cookie: 4 further on, through the negative numbers
// after the largest, and never 0.
int THREAD_next_cookie(int cookie);
