#include "UTL/xer.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <iomanip>
#include <string_view>
#include <thread>

namespace {
// How long buffered lines may wait for more to join them in one write.
constexpr std::chrono::milliseconds k_write_delay{250};

bool has_warning(const char* data, size_t n) {
  const std::string_view s(data, n);
  return s.rfind("WARNING:", 0) == 0 || s.find("\nWARNING:") != std::string_view::npos;
}

// A partial line that leaves its thread gets its own line end, or the next
// line of another thread would continue it.
void end_line(std::string& rest) {
  if (!rest.empty() && rest.back() != '\n') rest += '\n';
}
}  // namespace

// Text pending on one thread. A last partial line is written when the thread
// ends, so it is not lost.
struct thread_log_buffer {
  std::ostringstream s;
  thread_log_buffer() { s << std::fixed; }
  ~thread_log_buffer() {
    std::string rest = s.str();
    if (rest.empty()) return;
    end_line(rest);
    std::lock_guard<std::mutex> g(xer.mtx_);
    xer.emit(rest.data(), rest.size());
  }
};

namespace {
thread_local thread_log_buffer tl_buf;
}

std::ostringstream& log_stream_class::buffer() { return tl_buf.s; }

bool log_stream_class::open(const std::string& path) {
  std::lock_guard<std::mutex> g(mtx_);
  if (file_) fclose(file_);
  file_ = fopen(path.c_str(), "w");
  failed_ = (file_ == nullptr);
  pending_ = false;
  snprintf(path_, sizeof(path_), "%s", path.c_str());
  if (file_) start_flusher();
  return !failed_;
}

// The thread that writes out pending text. It waits, costing nothing, while
// none is pending. A fork finds it stopped, so that it holds no lock the child
// inherits; the parent then gets a new one, and a child, which may only exec,
// starts none.
struct log_flusher {
  std::condition_variable wake;
  bool stop = false;  // under xer.mtx_
  std::thread thread;

  void run() {
    std::unique_lock<std::mutex> l(xer.mtx_);
    while (!stop) {
      wake.wait(l, [this] { return stop || xer.pending_; });
      if (stop) break;
      wake.wait_for(l, k_write_delay, [this] { return stop; });
      if (stop) break;
      if (xer.file_ && xer.pending_ && fflush(xer.file_) != 0) xer.failed_ = true;
      xer.pending_ = false;
    }
  }

  static void before_fork() { xer.stop_flusher(); }
  static void in_parent() {
    std::lock_guard<std::mutex> g(xer.mtx_);
    if (xer.file_) xer.start_flusher();
  }
  static void in_child() { xer.forked_child_ = true; }  // alone now: no lock to take
};

void log_stream_class::start_flusher() {
  if (flusher_ || forked_child_) return;
  static const bool at_fork =
      pthread_atfork(log_flusher::before_fork, log_flusher::in_parent, log_flusher::in_child) == 0;
  (void)at_fork;
  flusher_ = new log_flusher;
  flusher_->thread = std::thread([f = flusher_] { f->run(); });
}

void log_stream_class::stop_flusher() {
  log_flusher* f;
  {
    std::lock_guard<std::mutex> g(mtx_);
    f = flusher_;
    if (!f) return;
    flusher_ = nullptr;
    f->stop = true;
    f->wake.notify_one();
  }
  f->thread.join();
  delete f;
}

bool log_stream_class::is_open() const {
  std::lock_guard<std::mutex> g(mtx_);
  return file_ != nullptr;
}

std::string log_stream_class::path() const {
  std::lock_guard<std::mutex> g(mtx_);
  return path_;
}

void log_stream_class::emit(const char* data, size_t n) {
  if (!file_ || n == 0) return;
  if (fwrite(data, 1, n, file_) != n) failed_ = true;
  if (has_warning(data, n)) {
    if (fflush(file_) != 0) failed_ = true;
    pending_ = false;
  } else if (!pending_) {
    pending_ = true;  // the flusher is woken once per write, not per line
    if (flusher_) flusher_->wake.notify_one();
  }
}

void log_stream_class::after_write(std::ostringstream& b) {
  // Only whole lines leave the thread's buffer.
  std::string s = b.str();
  size_t last = s.rfind('\n');
  if (last == std::string::npos) return;
  {
    std::lock_guard<std::mutex> g(mtx_);
    emit(s.data(), last + 1);
  }
  b.str(s.substr(last + 1));
  b.seekp(0, std::ios_base::end);
}

void log_stream_class::flush() {
  after_write(buffer());
  std::lock_guard<std::mutex> g(mtx_);
  if (file_ && fflush(file_) != 0) failed_ = true;
  pending_ = false;
}

void log_stream_class::close() {
  std::ostringstream& b = buffer();
  std::string rest = b.str();
  b.str("");
  end_line(rest);
  std::lock_guard<std::mutex> g(mtx_);
  emit(rest.data(), rest.size());
  if (file_) {
    if (fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  }
  pending_ = false;
}

log_stream_class& log_stream_class::operator<<(std::ostream& (*manip)(std::ostream&)) {
  std::ostringstream& b = buffer();
  manip(b);
  after_write(b);
  using manip_t = std::ostream& (*)(std::ostream&);
  if (manip == static_cast<manip_t>(std::flush<char, std::char_traits<char>>) ||
      manip == static_cast<manip_t>(std::endl<char, std::char_traits<char>>)) {
    std::lock_guard<std::mutex> g(mtx_);
    if (file_) fflush(file_);
  }
  return *this;
}

log_stream_class& log_stream_class::operator<<(std::ios_base& (*manip)(std::ios_base&)) {
  manip(buffer());
  return *this;
}
