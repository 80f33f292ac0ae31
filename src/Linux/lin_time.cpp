#include "Linux/lin_time.h"

#include <ctime>

uint64_t LIN_microseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// Desktops keep their own setting where we cannot read it; half a second is
// the common default.
int LIN_double_click_ticks() { return 30; }
