// Threads, recursive critical sections and the message queue: the lowest
// layer of the framework's threading. Any OS failure here is fatal.
#pragma once

#include <pthread.h>

#include <vector>

using UTL_thread_fn = void* (*)(void*);

pthread_t UTL_get_current_thread();
int UTL_count_processors();
void UTL_thread_create(UTL_thread_fn fn, void* arg, pthread_t* thread, pthread_t* join,
                       pthread_t* id);
int UTL_thread_join(pthread_t* thread, pthread_t* join);
// Ends the calling thread by unwinding to its root, so destructors run. Only
// for threads started with UTL_thread_create.
[[noreturn]] void UTL_thread_exit(void* result);
// Inside a catch handler: true when the exception being handled is the
// unwinding of UTL_thread_exit (a handler that catches everything must then
// rethrow, or the thread goes on).
bool UTL_caught_thread_exit();
// Threads started with UTL_thread_create never act on a cancel request (being
// torn out of a queue wait would leave its lock held): the request is only
// recorded. Returns pthread_cancel's result.
int UTL_thread_murder(pthread_t* thread);
void UTL_sleep(int ms);

void UTL_critical_section_create(pthread_mutex_t* m);
void UTL_critical_section_destroy(pthread_mutex_t* m);
void UTL_critical_section_lock(pthread_mutex_t* m);
void UTL_critical_section_unlock(pthread_mutex_t* m);

struct UTL_message_queue;
using UTL_queue_edit_fn = void (*)(std::vector<void*>& items, void* ref);

void UTL_message_queue_create(UTL_message_queue** out);
void UTL_message_queue_destroy(UTL_message_queue* q);
void UTL_message_queue_write(UTL_message_queue* q, void* item);
void UTL_message_queue_multi_write(UTL_message_queue* q, void** items, int n, int at_front);
void UTL_message_queue_edit(UTL_message_queue* q, UTL_queue_edit_fn fn, void* ref);
// ms: 0 polls, -1 waits without limit, > 0 waits up to ms milliseconds; any
// other negative value polls. Null on an empty poll or a time-out.
void* UTL_message_queue_read(UTL_message_queue* q, int ms);
