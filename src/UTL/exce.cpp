#include "UTL/exce.h"

#include "GenH/shell.h"
#include "Thread/thread_layer.h"
#include "UTL/xer.h"

exce_class::exce_class() : file("no exception"), line(0), severity(2) {}

exce_class::exce_class(std::string m1, std::string m2, std::string m3, std::string m4,
                       const char* f, int l, int sev)
    : msg1(std::move(m1)), msg2(std::move(m2)), msg3(std::move(m3)), msg4(std::move(m4)),
      file(f), line(l), severity(sev) {}

exce_class::~exce_class() = default;

namespace {
// A null text would put the calling thread's log buffer in a failed state.
const char* file_text(const char* f) { return f ? f : ""; }
}  // namespace

void exce_class::LogAndContinue() {
  xer << "Logging " << (severity != 0 ? "fatal" : "non-fatal")
      << " Exception thrown from file: " << file_text(file) << ", line " << line << ".\n";
  xer << msg1 << "\n" << msg2 << "\n" << msg3 << "\n" << msg4 << "\n";
  xer.flush();
}

void exce_class::Report() {
  if (!THREAD_is_inited() || THREAD_is_main_thread()) {
    __MACIBM_alert(0, msg1, msg2, msg3, msg4, severity, file, line);
    return;
  }
  // A worker never closes the program down itself: the main thread still uses
  // the queues and the log. It logs, asks the frame loop to end and hands the
  // error to the main thread, which reports it and closes down.
  xer << "EXCEPTION REPORTED FROM THREAD!!  File: " << file_text(file) << ", line " << line
      << ".\n";
  xer << msg1 << "\n" << msg2 << "\n" << msg3 << "\n" << msg4 << "\n";
  xer.flush();
  app_done = 1;
  THREAD_queue_exception(*this);
}
