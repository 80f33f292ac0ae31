#include "OOPS_cpp/qtim.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "Linux/lin_movie.h"
#include "Thread/thread_layer.h"
#include "UTL/localize.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

namespace {
double program_clock() { return static_cast<double>(xtim.real_elapsed); }

// Queue items other than buffers: a wake-up for the thread, its answer, and
// the thread's last word.
char k_wake, k_ack, k_gone;

UTL_message_queue* q_to_thread = nullptr;
UTL_message_queue* q_from_thread = nullptr;
pthread_t qt_thread, qt_thread_id, qt_thread_join;
int qt_thread_made = 0;
std::atomic<int> control_value{1};  // 0: the thread ends at its next wake-up
std::atomic<int> thread_gone{0};    // the thread has ended, answered or not

LIN_movie* g_movie = nullptr;  // owned by the thread between start and the stop's wake-up
int movie_take = 0;            // the last take number tried

constexpr int k_max_window = 2048;

// A fatal alert ends the thread wherever it is, by unwinding through here:
// whoever waits for an answer learns that none will come.
struct mark_gone {
  ~mark_gone() {
    thread_gone = 1;
    UTL_message_queue_write(q_from_thread, &k_gone);
  }
};

void* QT_Thread(void*) {
  mark_gone on_exit;
  // Woken by each captured frame, the encoder would otherwise preempt the
  // drawing thread before its frame ends. A batch thread waits its turn yet
  // keeps its full share of the processor, so no movie frame is dropped.
  sched_param batch{};
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
  for (;;) {
    void* item = UTL_message_queue_read(q_to_thread, -1);
    if (item == &k_wake) {
      // Read before answering: once answered, the main thread may already be
      // asking this thread to end with the next wake-up.
      const int keep_running = control_value.load();
      UTL_message_queue_write(q_from_thread, &k_ack);
      if (!keep_running) break;
      continue;
    }
    if (!item) continue;
    qtim_frame_buffer* b = static_cast<qtim_frame_buffer*>(item);
    if (g_movie) {
      const int err = LIN_movie_add_frame(g_movie, b->pixels, qtim_sample_units(b->duration));
      if (err != 0)
        mov_alert("Could not CompressSequenceFrame.", LIN_movie_error_text(err),
                  "(CompressSequenceBegin failed.)", err);
    }
    UTL_message_queue_write(q_from_thread, b);
  }
  return nullptr;
}

// Takes back what the thread returned until its answer to a wake-up, or
// until it is gone: one that died of a fatal error never answers (the error
// itself waits in the main thread's queue).
void collect_until_ack() {
  for (;;) {
    void* item = UTL_message_queue_read(q_from_thread, 100);
    if (item == &k_ack || item == &k_gone) return;
    if (item) {
      qtim.usable_buffers.push_back(static_cast<qtim_frame_buffer*>(item));
      ++qtim.frames_finished;
    } else if (thread_gone.load()) {
      return;  // its last word was taken by a frame
    }
  }
}

bool file_opens(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  fclose(f);
  return true;
}
}  // namespace

qtim_hooks_class qtim_hooks = {program_clock, nullptr, nullptr, nullptr, nullptr};
qtim_class qtim;

qtim_class::qtim_class()
    : qt_avail(LIN_movie_available()),
      state(0),
      movie_dx(320),
      movie_dy(0),
      frame_rate(20.0f),
      frames_finished(0),
      frames_sent(0),
      start_mov_time(0),
      prev_frame_time(0) {}

qtim_class::~qtim_class() {
  if (qt_thread_made) stop_thread();
  for (qtim_frame_buffer* b : usable_buffers) {
    free(b->pixels);
    delete b;
  }
  usable_buffers.clear();
}

int qtim_frame_due(double now, double* prev_frame_time, float frame_rate, float* duration) {
  if (frame_rate <= 0.0f) return 0;
  const double period = 1.0 / static_cast<double>(frame_rate);
  const double elapsed = now - *prev_frame_time;
  const double slack = 1e-6;  // times that add up in steps of a period land on it
  if (elapsed + slack < period) return 0;
  const double advance = (elapsed + slack < 2.0 * period) ? period : elapsed;
  *prev_frame_time += advance;
  *duration = static_cast<float>(advance);
  return 1;
}

int qtim_sample_units(float duration) {
  const long u = std::lround(static_cast<double>(duration) * 600.0);
  return static_cast<int>(u < 1 ? 1 : (u > 60 ? 60 : u));
}

std::string qtim_take_name(int take) {
  return "Flyvane movie take-" + std::to_string(take) + ".mov";
}

void mov_alert(const std::string& line1, const std::string& line2, const char* line3, int code) {
  char num[16];
  int_to_str(code, num, 1, 1);
  __MACIBM_alert(0, line1, line2, line3 ? line3 : "", num, t_exit, __FILE__, __LINE__);
  // Off the main thread the alert only queues the error; this thread ends here.
  THREAD_check_exception(1);
  MACIBM_exit_now(1);
}

void qtim_class::mov_toggle(int mode) {
  if (!qt_avail) return;
  if (state == 0) {
    if (mode != 1 && mode != 2) return;
    state = mode;
    if (qtim_hooks.load_scratch) qtim_hooks.load_scratch();
    if (!mov_startrecord()) {  // a refused start must not leave a recording that never stops
      state = 0;
      if (qtim_hooks.unload_scratch) qtim_hooks.unload_scratch();
    }
    return;
  }
  // The first frames of a recording ignore a stop; without a file there are
  // no frames to wait for.
  if (state == 2 || frames_finished > 2) {
    mov_stoprecord();
    if (qtim_hooks.unload_scratch) qtim_hooks.unload_scratch();
  }
}

int qtim_class::mov_per_frame() {
  if (state == 1) return mov_add_frame(nullptr);
  if (state == 2) mov_toggle(0);
  return 0;
}

int qtim_class::mov_add_frame(const void* pixels) {
  if (state != 1 || !qt_thread_made) return 0;
  const double now = qtim_hooks.now ? qtim_hooks.now() : program_clock();
  if (now == prev_frame_time) return 0;

  while (void* item = UTL_message_queue_read(q_from_thread, 0)) {
    if (item == &k_ack || item == &k_gone) continue;
    usable_buffers.push_back(static_cast<qtim_frame_buffer*>(item));
    ++frames_finished;
  }

  double due_at = prev_frame_time;
  float duration = 0.0f;
  if (!usable_buffers.empty() && qtim_frame_due(now, &due_at, frame_rate, &duration)) {
    qtim_frame_buffer* b = usable_buffers.front();
    int filled = 0;
    if (pixels) {
      memcpy(b->pixels, pixels, static_cast<size_t>(b->size));
      filled = 1;
    } else if (qtim_hooks.grab) {
      filled = qtim_hooks.grab(b->pixels, movie_dx, movie_dy);
    }
    if (filled) {
      prev_frame_time = due_at;
      b->duration = duration;
      usable_buffers.pop_front();
      UTL_message_queue_write(q_to_thread, b);
      ++frames_sent;
    }
  }
  if (!qtim_hooks.show) return 0;
  qtim_hooks.show();
  return 1;
}

int mov_startrecord() {
  qtim_class& q = qtim;
  if (!qt_thread_made) {
    UTL_message_queue_create(&q_to_thread);
    UTL_message_queue_create(&q_from_thread);
    control_value = 1;
    thread_gone = 0;
    THREAD_create(QT_Thread, nullptr, &qt_thread, &qt_thread_join, &qt_thread_id, 0);
    qt_thread_made = 1;
  }
  // Checked before anything the running recording uses is touched.
  if (g_movie) {
    __MACIBM_alert(0, "Trying to create a movie but one already exists", "", "", "", t_alert,
                   __FILE__, __LINE__);
    return 0;
  }
  if (mnw.window_dx > k_max_window || mnw.window_dy > k_max_window) {
    __MACIBM_alert(0, UTL_translate_string("Oops!"),
                   UTL_translate_string("You can NOT record movies in Flyvane at any Flyvane "
                                        "resolution higher that 2048 x 2048!"),
                   UTL_translate_string("This limit is to keep the VRAM requirements of Flyvane "
                                        "down."),
                   "", t_alert, __FILE__, __LINE__);
    return 0;
  }
  if (mnw.window_dx <= 0 || mnw.window_dy <= 0) {
    xer << "WARNING: no movie without a window.\n";
    return 0;
  }
  // The panel's limits, so that frames come due and a stop can be honoured.
  if (!(q.frame_rate >= 10.0f)) q.frame_rate = 10.0f;
  if (q.frame_rate > 99.0f) q.frame_rate = 99.0f;
  if (q.movie_dx < 32) q.movie_dx = 32;
  if (q.movie_dx > k_max_window) q.movie_dx = k_max_window;
  q.movie_dy = mnw.window_dy * q.movie_dx / mnw.window_dx;
  if (q.movie_dy < 1) q.movie_dy = 1;

  if (q.state == 1) {
    std::string name, path;
    do {
      name = qtim_take_name(++movie_take);
      path = app_path + name;
    } while (file_opens(path));
    if (path.size() > 499)
      __MACIBM_alert(0, "String too long!", path, "", "", t_exit, __FILE__, __LINE__);
    int err = 0;
    g_movie = LIN_movie_create(path, q.movie_dx, q.movie_dy, &err);
    if (!g_movie)
      mov_alert("Could not CreateMovieFile to file: " + name, path, "(CreateMovieFile failed)", err);
  }
  q.frames_finished = 0;
  q.frames_sent = 0;
  q.start_mov_time = q.prev_frame_time = qtim_hooks.now ? qtim_hooks.now() : program_clock();

  const int size = q.movie_dx * q.movie_dy * 4;
  while (q.usable_buffers.size() < 3) q.usable_buffers.push_back(new qtim_frame_buffer{0.0f, nullptr, 0});
  for (qtim_frame_buffer* b : q.usable_buffers) {
    if (b->size == size && b->pixels) continue;
    free(b->pixels);
    b->pixels = calloc(static_cast<size_t>(size), 1);
    if (!b->pixels) mov_alert("Could not allocate the movie frames.", "", "", size);
    b->size = size;
  }
  return 1;
}

void mov_stoprecord() {
  qtim_class& q = qtim;
  if (qt_thread_made) {
    control_value = 1;
    UTL_message_queue_write(q_to_thread, &k_wake);
    collect_until_ack();  // every frame queued so far is in the movie
  }
  const int was = q.state;
  q.state = 0;
  if (was != 1) return;
  if (!g_movie) {
    __MACIBM_alert(0, "Cannot finish record of a movie that was not started!", "", "", "",
                   t_alert, __FILE__, __LINE__);
    return;
  }
  LIN_movie* m = g_movie;
  g_movie = nullptr;
  const int err = LIN_movie_close(m);
  // A thread that died of its encoder's error has reported it already.
  if (err != 0 && !thread_gone.load())
    mov_alert("Could not AddMovieResource.", LIN_movie_error_text(err), "(AddMovieResource failed.)",
              err);
}

void qtim_class::stop_thread() {
  if (state) {
    mov_stoprecord();
    if (qtim_hooks.unload_scratch) qtim_hooks.unload_scratch();
  }
  if (!qt_thread_made) return;
  control_value = 0;
  UTL_message_queue_write(q_to_thread, &k_wake);
  collect_until_ack();
  UTL_thread_join(&qt_thread, &qt_thread_join);
  UTL_message_queue_destroy(q_to_thread);
  UTL_message_queue_destroy(q_from_thread);
  q_to_thread = q_from_thread = nullptr;
  qt_thread_made = 0;
}
