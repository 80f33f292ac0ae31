// The one alert call of the program, the close-down and int_to_str.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "GenH/file_dialogs.h"
#include "GenH/keys.h"
#include "OOPS_cpp/qtim.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_sys.h"
#include "Linux/lin_window.h"
#include "OOPS_cpp/pref.h"
#include "Thread/thread_layer.h"
#include "UTL/cmdline.h"
#include "UTL/debug.h"
#include "UTL/exce.h"
#include "UTL/memory.h"
#include "UTL/xer.h"

namespace {
void stderr_system_alert(const std::string& s1, const std::string& s2, const std::string& s3,
                         const std::string& s4) {
  LIN_system_alert(s1, s2, s3, s4);
  // The box's texts are length-prefixed: at most 255 bytes each.
  LIN_message_box(cut_utf8(s1 + " " + s2, 255), cut_utf8(s3 + " " + s4, 255));
}
}  // namespace

alert_window_fn MACIBM_alert_window = nullptr;
system_alert_fn MACIBM_system_alert = stderr_system_alert;
alert_intercept_fn g_alert_intercept = nullptr;

void __MACIBM_alert(int ret_window, std::string s1, std::string s2, std::string s3,
                    std::string s4, int type, const char* src_file, int src_line) {
  // Before the thread layer is up (and after it is down) every thread takes
  // the path below: alerts of two threads are shown one after the other, and
  // only an alert raised inside one on the same thread counts as recursive.
  static std::recursive_mutex alert_lock;
  static int in_alert = 0;  // under alert_lock

  // Worker threads never draw: the main thread reports for them.
  if (THREAD_is_inited() && !THREAD_is_main_thread()) {
    THREAD_send_exception(exce_class(s1, s2, s3, s4, src_file, src_line, type));
    return;
  }
  if (g_alert_intercept &&
      g_alert_intercept(ret_window, s1, s2, s3, s4, type, src_file, src_line))
    return;
  std::unique_lock<std::recursive_mutex> one_at_a_time(alert_lock);

  char num[16];
  int_to_str(src_line, num, 1, 0);
  const std::string location = std::string("(") + (src_file ? src_file : "") + " line " + num + ")";

  if (type == t_exit) {
    if (FILE* f = fopen("stack_crawl.txt", "a")) {
      UTL_dump_stack(f, nullptr, nullptr);
      fclose(f);
    }
  }

  if (cmdline.has_option("--fps_test")) {
    xer << s1 << "\n" << s2 << "\n" << s3 << "\n" << s4 << "\n" << location << "\n";
    xer.flush();
    if (type == t_exit) MACIBM_exit_now(1);
    return;
  }

  const int recursive_error = in_alert;
  in_alert = 1;

  if (recursive_error || !ogl_inited || !MACIBM_alert_window) {
    MACIBM_system_alert(s1, s2, s3, s4);
  } else if (!(s1.empty() && s2.empty() && s3.empty() && s4.empty())) {
    MACIBM_alert_window(ret_window, s1, s2, s3, s4, type, location);
  }

  if (type == t_exit || type == t_alert || recursive_error) {
    char msg[] =
        "This is the dump_mem_stats call from the following code: if(type==t_exit || type == "
        "t_alert || recursive_error)";
    dump_mem_stats(msg);
    xer << "\n" << s1 << "\n" << s2 << "\n" << s3 << "\n" << s4 << "\n" << location << "\n";
    xer.flush();
  }

  if (type == t_exit || recursive_error) {
    MACIBM_finishup(0);
    app_done = 1;
    MACIBM_exit_now(1);
  }
  in_alert = 0;
}

void MACIBM_finishup(int full) {
  if (full) {
    if (!cmdline.has_option("--fps_test")) {
      pref.IO_set(11, 1);
      keys.keys_io(1);
    }
    THREAD_shutdown();
  }
  shell_hooks.closing_down();
  // The recorder's thread finishes its movie before the context goes.
  qtim.stop_thread();
  MACIBM_setres(0);
  MACIBM_nuke_context(0);
  LIN_flush_events();
  xer.close();
}

void MACIBM_finishup_without_display() {
  xer << "WARNING: the connection to the display broke; closing down without it.\n";
  MACIBM_alert_window = nullptr;  // an alert from here on goes to the log and standard error
  // What a window close does: the screen ends its work, as Quit would.
  shell_hooks.quit_request();
  shell_hooks.end_work();
  app_done = 1;
  MACIBM_finishup(1);
  MACIBM_exit_now(1);
}

void IBM_turnoff() {}

void MACIBM_exit_now(int status) {
  xer.close();
  fflush(stdout);
  fflush(stderr);
  _exit(status);
}

void int_to_str(int value, char* buf, int min_digits, int force_plus) {
  char* p = buf;
  unsigned int mag;
  if (value < 0) {
    *p++ = '-';
    mag = 0u - static_cast<unsigned int>(value);  // safe for the most negative int
  } else {
    if (force_plus) *p++ = '+';
    mag = static_cast<unsigned int>(value);
  }
  unsigned int pos = 1000000000u;
  for (int exp = 9; exp >= 1; --exp, pos /= 10) {
    if (mag >= pos || min_digits > exp) *p++ = static_cast<char>('0' + (mag / pos) % 10);
  }
  *p++ = static_cast<char>('0' + mag % 10);
  *p = 0;
}
