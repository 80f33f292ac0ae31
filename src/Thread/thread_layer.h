// The thread layer: the main thread's identity, forwarding of errors from
// other threads to the main thread, and the call-queue workers.
#pragma once

#include <pthread.h>

#include "Thread/thread.h"

class exce_class;
struct THREAD_call;

void THREAD_init();
int THREAD_is_inited();
int THREAD_is_main_thread();
void THREAD_make_workers();
void THREAD_create(UTL_thread_fn fn, void* arg, pthread_t* thread, pthread_t* join,
                   pthread_t* id, int want_gl);
// Severity 1 is queued for the main thread; severity 2 is queued and, off the
// main thread, ends the calling thread; other severities are dropped.
void THREAD_send_exception(const exce_class& e);
// Queues like THREAD_send_exception but never ends the calling thread.
void THREAD_queue_exception(const exce_class& e);
void THREAD_check_exception(int also_warnings);
THREAD_call* THREAD_run_async(UTL_thread_fn fn, void* arg);
int THREAD_is_done(THREAD_call* call, int ms);
int THREAD_cleanup(THREAD_call* call);
void THREAD_shutdown();
