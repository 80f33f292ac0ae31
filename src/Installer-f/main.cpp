// The installer's entry point.
#include <cstdlib>

#include "GenH/shell.h"
#include "GenH/window.h"
#include "OOPS_cpp/pref.h"

int main(int argc, char** argv) {
  MACIBM_init(argc, const_cast<const char* const*>(argv));
  pref.IO_set(11, 0);  // read before the close-down writes them back
  // Scripted runs (tests, benchmarks) may stop after a number of frames.
  const char* limit = getenv("FLY_QUIT_AFTER_FRAMES");
  const long frames = limit ? atol(limit) : 0;
  while (!app_done) {
    MACIBM_event_proc();
    if (frames > 0 && MACIBM_frame_count >= frames) shell_hooks.quit_request();
  }
  MACIBM_finishup(1);
  return 0;
}
