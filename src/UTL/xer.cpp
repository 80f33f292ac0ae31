#include "UTL/xer.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <chrono>
#include <condition_variable>
#include <iomanip>
#include <new>
#include <string_view>
#include <thread>
#include <type_traits>

namespace {
// How long buffered lines may wait for more to join them in one write.
constexpr std::chrono::milliseconds k_write_delay{250};
// Pending text that goes out at once, as a full stdio buffer would.
constexpr size_t k_write_at = 16384;

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

// Threads may log while the program exits: nothing of the stream is torn down.
static_assert(std::is_trivially_destructible_v<log_stream_class>);

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

namespace {
// How long a start waits for a lock another program holds on the log.
constexpr std::chrono::milliseconds k_lock_wait{1500};

// A lock on the log's open file, held for the run: shared while this run
// writes, exclusive only for the moment of emptying it. It spans exactly
// log_stream_class::lock_span bytes, so a lock of that span is an
// installer's. 0: taken; EAGAIN: another process holds one; other: this file
// system cannot lock.
int lock_log(int fd, short type) {
  struct flock l = {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_len = log_stream_class::lock_span;
  return fcntl(fd, F_OFD_SETLK, &l) == 0 ? 0 : (errno == EACCES ? EAGAIN : errno);
}

// Who else held the log when this run took its lock.
enum class log_holder {
  nobody,     // this run took it whole: the file is emptied
  no_locks,   // the file system cannot lock: emptied, unlocked
  installer,  // another installer writes: this run shares its lock
  unnamed,    // a program that is no installer holds a lock this run shares
  unlocked,   // a program held it exclusively past the wait: no lock at all
};

// The lock someone else holds on fd's file (l_type F_UNLCK: none now).
struct flock other_lock(int fd) {
  struct flock q = {};
  q.l_type = F_WRLCK;
  q.l_whence = SEEK_SET;
  q.l_len = log_stream_class::lock_span;
  if (fcntl(fd, F_OFD_GETLK, &q) != 0) q.l_len = 0;  // unknown: no installer's
  return q;
}

// A program that locks the log for its own reasons locks all of it or a range
// of its own; the span an installer locks is never met by accident.
bool is_installers(const struct flock& l) {
  return l.l_type != F_UNLCK && l.l_start == 0 && l.l_len == log_stream_class::lock_span;
}

log_holder take_log_lock(int fd) {
  const auto until = std::chrono::steady_clock::now() + k_lock_wait;
  for (;;) {
    const int whole = lock_log(fd, F_WRLCK);
    if (whole == 0) return log_holder::nobody;
    if (whole != EAGAIN) return log_holder::no_locks;
    // Held for this run too, so that a third start leaves the file alone
    // after the first has ended.
    const int shared = lock_log(fd, F_RDLCK);
    if (shared == 0) {
      const struct flock other = other_lock(fd);
      // Let go meanwhile: take it whole.
      if (other.l_type == F_UNLCK && std::chrono::steady_clock::now() < until) continue;
      return is_installers(other) ? log_holder::installer : log_holder::unnamed;
    }
    if (shared != EAGAIN) return log_holder::unlocked;  // never empties a file held
    // Held exclusively: by an installer only for the moment it empties the
    // file, by another program perhaps for ever.
    if (std::chrono::steady_clock::now() >= until) return log_holder::unlocked;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
}  // namespace

bool log_stream_class::open(const std::string& path) {
  std::lock_guard<std::mutex> g(mtx_);
  if (fd_ >= 0) {
    write_out();
    ::close(fd_);
  }
  if (!out_) out_ = new std::string;
  out_->clear();
  shared_ = false;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);  // read: for a read lock
  failed_ = fd_ < 0;
  snprintf(path_, sizeof(path_), "%s", path.c_str());
  if (fd_ < 0) return false;
  const log_holder holder = take_log_lock(fd_);
  if (holder == log_holder::nobody || holder == log_holder::no_locks) {
    if (ftruncate(fd_, 0) != 0) failed_ = true;
    if (holder == log_holder::nobody) lock_log(fd_, F_RDLCK);  // a downgrade, with no moment unlocked
  }
  const std::string pid = std::to_string(getpid());
  if (holder == log_holder::installer) {
    shared_ = true;
    *out_ = "\n---- Another Flyvane Installer is writing to this log: process " + pid +
            " started, and its lines follow among the other's. ----\n\n";
  } else if (holder == log_holder::unnamed) {
    *out_ = "\n---- This log was locked by a process the installer cannot name: process " + pid +
            " started, and its lines follow. ----\n\n";
  } else if (holder == log_holder::unlocked) {
    *out_ = "\n---- This log was locked by a process the installer cannot name: process " + pid +
            " started after waiting for it, and its lines follow, written without the lock. "
            "----\n\n";
  }
  write_out();
  start_flusher();
  return !failed_;
}

bool log_stream_class::shared() const {
  std::lock_guard<std::mutex> g(mtx_);
  return shared_;
}

// The thread that writes out pending text. It waits, costing nothing, while
// none is pending. A fork finds it stopped and the log's lock taken, with all
// pending text written: the child gets a free lock and nothing to write twice.
// The parent then gets a new flusher, unless the process limit that may also
// have failed the fork keeps it from starting: a later write starts it again.
// A child, which may only exec, starts none, and its own forks leave the log
// alone.
struct log_flusher {
  std::condition_variable wake;
  bool stop = false;  // under xer.mtx_
  std::thread thread;

  void run() {
    std::unique_lock<std::mutex> l(xer.mtx_);
    while (!stop) {
      wake.wait(l, [this] { return stop || (xer.out_ && !xer.out_->empty()); });
      if (stop) break;
      wake.wait_for(l, k_write_delay, [this] { return stop; });
      if (stop) break;
      xer.write_out();
    }
  }

  static void before_fork() {
    if (xer.forked_child_) return;
    xer.stop_flusher();
    xer.mtx_.lock();
    xer.write_out();
  }
  static void in_parent() {
    if (xer.forked_child_) return;
    xer.start_flusher();
    xer.mtx_.unlock();
  }
  static void in_child() {
    if (xer.forked_child_) return;
    xer.forked_child_ = true;
    // The forking thread's partial line is the parent's to end.
    log_stream_class::buffer().str("");
    xer.mtx_.unlock();
  }
  // Text still pending at exit() goes out, as a stdio stream's would.
  static void at_exit() {
    std::lock_guard<std::mutex> g(xer.mtx_);
    xer.write_out();
  }
};

// Never throws: it runs in the fork handlers, where an exception would end
// the program. Without a flusher every line is written at once.
void log_stream_class::start_flusher() noexcept {
  if (flusher_ || forked_child_ || fd_ < 0) return;
  static const bool at_fork =
      pthread_atfork(log_flusher::before_fork, log_flusher::in_parent, log_flusher::in_child) == 0 &&
      atexit(log_flusher::at_exit) == 0;
  (void)at_fork;
  log_flusher* f = new (std::nothrow) log_flusher;
  if (!f) return;
  try {
    f->thread = std::thread([f] { f->run(); });
  } catch (...) {  // std::system_error at the process or thread limit
    delete f;
    return;
  }
  flusher_ = f;
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
  return fd_ >= 0;
}

std::string log_stream_class::path() const {
  std::lock_guard<std::mutex> g(mtx_);
  return path_;
}

void log_stream_class::emit(const char* data, size_t n) {
  if (fd_ < 0 || n == 0) return;
  const bool was_empty = out_->empty();
  out_->append(data, n);
  if (!flusher_ || has_warning(data, n) || out_->size() >= k_write_at) {
    write_out();
  } else if (was_empty && flusher_) {
    flusher_->wake.notify_one();  // once per write, not per line
  }
}

// One write() of whole lines: with O_APPEND it lands after another
// installer's lines, never across them.
void log_stream_class::write_out() {
  if (!out_) return;
  size_t at = 0;
  while (fd_ >= 0 && at < out_->size()) {
    const ssize_t w = ::write(fd_, out_->data() + at, out_->size() - at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      failed_ = true;
      break;
    }
    at += static_cast<size_t>(w);
  }
  out_->clear();
}

void log_stream_class::after_write(std::ostringstream& b) {
  // Only whole lines leave the thread's buffer.
  std::string s = b.str();
  size_t last = s.rfind('\n');
  if (last == std::string::npos) return;
  {
    std::lock_guard<std::mutex> g(mtx_);
    if (!flusher_) start_flusher();  // one the process limit kept from starting
    emit(s.data(), last + 1);
  }
  b.str(s.substr(last + 1));
  b.seekp(0, std::ios_base::end);
}

void log_stream_class::flush() {
  after_write(buffer());
  std::lock_guard<std::mutex> g(mtx_);
  write_out();
}

void log_stream_class::close() {
  std::ostringstream& b = buffer();
  std::string rest = b.str();
  b.str("");
  end_line(rest);
  std::lock_guard<std::mutex> g(mtx_);
  emit(rest.data(), rest.size());
  write_out();
  if (fd_ >= 0 && ::close(fd_) != 0) failed_ = true;
  fd_ = -1;
  shared_ = false;
}

log_stream_class& log_stream_class::operator<<(std::ostream& (*manip)(std::ostream&)) {
  std::ostringstream& b = buffer();
  manip(b);
  after_write(b);
  using manip_t = std::ostream& (*)(std::ostream&);
  if (manip == static_cast<manip_t>(std::flush<char, std::char_traits<char>>) ||
      manip == static_cast<manip_t>(std::endl<char, std::char_traits<char>>)) {
    std::lock_guard<std::mutex> g(mtx_);
    write_out();
  }
  return *this;
}

log_stream_class& log_stream_class::operator<<(std::ios_base& (*manip)(std::ios_base&)) {
  manip(buffer());
  return *this;
}
