#include "UTL/xtim.h"

#include <cstring>

xtim_class::xtim_class() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  set_up = 1;
  rate1 = rate2 = 1.0f;
  frame_period = frame_period_copy = scaled_frame_period = 0.02f;
  period_ratio = 1.0f;
  time_of_day = time_of_day_copy = 43200.0f;
  period_limit = 1.0f / 19.0f;
  day_of_year = 90.0f;
}
