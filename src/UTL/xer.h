// The log stream: "Flyvane Installer Log.txt" behind the global `xer`.
//
// Any thread may write to it. Each thread formats into a buffer of its own and
// whole lines go to the file under one lock, so lines of two threads never mix.
// A line reaches the kernel within a quarter of a second even if nothing
// follows it, so a killed program loses none; a warning line at once.
// The file is written in append mode, whole lines per write, so a second
// installer that logs to the same file tears no line of the first's.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>

struct thread_log_buffer;
struct log_flusher;

class log_stream_class {
 public:
  constexpr log_stream_class() = default;
  log_stream_class(const log_stream_class&) = delete;
  log_stream_class& operator=(const log_stream_class&) = delete;

  // Opens the log file, emptied, unless a running installer still writes to
  // it: then this run's lines follow the others' after a line that says so.
  // A lock another program holds is waited for a second and a half at most;
  // its log is then added to, after a line that says so.
  // A failed open leaves the stream failed; writes are then dropped, as with a
  // failed ofstream.
  bool open(const std::string& path);
  // True when the last open found another installer writing to the file.
  bool shared() const;
  // The bytes from the start of the file an installer's lock on its log
  // covers: far beyond any log's end, and a span no other program locks.
  static constexpr off_t lock_span = 0x466c7976616e65;
  // Writes what the calling thread still holds, then closes the file.
  void close();
  bool is_open() const;
  bool fail() const { return failed_.load(); }

  // Sends the calling thread's complete lines and flushes the file.
  void flush();

  template <class T>
  log_stream_class& operator<<(const T& v) {
    std::ostringstream& b = buffer();
    b << v;
    after_write(b);
    return *this;
  }
  log_stream_class& operator<<(std::ostream& (*manip)(std::ostream&));
  log_stream_class& operator<<(std::ios_base& (*manip)(std::ios_base&));

  // The path the stream was last opened on ("" if never).
  std::string path() const;

 private:
  friend struct thread_log_buffer;
  friend struct log_flusher;
  static std::ostringstream& buffer();
  void after_write(std::ostringstream& b);
  void emit(const char* data, size_t n);  // under mtx_
  void write_out();                       // under mtx_
  void start_flusher() noexcept;          // under mtx_
  void stop_flusher();                    // not under mtx_

  mutable std::mutex mtx_;
  int fd_ = -1;
  // Under mtx_: whole lines not yet written. Made at the first open and never
  // freed, so that the stream stays trivially destructible and the threads
  // still logging while the program exits never meet a freed buffer.
  std::string* out_ = nullptr;
  bool shared_ = false;             // under mtx_
  log_flusher* flusher_ = nullptr;  // under mtx_
  // Set in a forked child, alone then; read by the fork handlers only.
  bool forked_child_ = false;
  std::atomic<bool> failed_{false};
  char path_[4096] = {};
};

extern log_stream_class xer;
