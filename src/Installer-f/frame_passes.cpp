#include "Installer-f/frame_passes.h"

#include <chrono>
#include <thread>

#include "GenH/window.h"
#include "UTL/xtim.h"

bool UTIL_frame_passes(bool first, uint64_t cap_us, uint64_t gap_us,
                       const std::function<bool()>& step) {
  const uint64_t t0 = xtim_class::microsecs();
  // The passes stand in for the pump's wait: with no pump since the last
  // busy frame (the flag still up) there is no wait to stand in for.
  const uint64_t budget = first || MACIBM_skip_event_wait ? 0 : cap_us;
  bool busy;
  while ((busy = step()) && xtim_class::microsecs() + gap_us < t0 + budget) {
    if (gap_us)
      std::this_thread::sleep_for(std::chrono::microseconds(gap_us));
    else
      std::this_thread::yield();
  }
  if (busy) MACIBM_skip_event_wait = 1;
  return busy;
}
