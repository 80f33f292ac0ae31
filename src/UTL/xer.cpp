#include "UTL/xer.h"

#include <chrono>
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
  // One flusher for the process's life: it waits, costing nothing, while no
  // text is pending, and a close or an exit never has to stop it.
  if (file_ && !wake_) {
    wake_ = new std::condition_variable;
    std::thread([this] { write_out_pending(); }).detach();
  }
  return !failed_;
}

void log_stream_class::write_out_pending() {
  std::unique_lock<std::mutex> l(mtx_);
  for (;;) {
    wake_->wait(l, [this] { return pending_; });
    wake_->wait_for(l, k_write_delay);
    if (file_ && pending_ && fflush(file_) != 0) failed_ = true;
    pending_ = false;
  }
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
    if (wake_) wake_->notify_one();
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
