// The program's clock: real time since start-up, the adaptive frame period,
// one-shot interval flags and the mouse timing of the frame state.
#pragma once

#include <cstdint>
#include <string>

class xtim_class {
 public:
  xtim_class();

  int set_up;
  float unused0[3];
  float rate1, rate2;
  float frame_period;         // seconds per frame, adaptive
  float frame_period_copy;
  float scaled_frame_period;  // frame period times rate 2
  float period_ratio;
  float unused1;
  float real_elapsed;         // seconds since the first clock query
  float sim_elapsed;
  float unused2[2];
  float time_of_day, time_of_day_copy;
  float unused3;
  float period_limit;
  float unused4[2];
  float day_of_year;  // 0-based
  int unused5[4];
  int sim_flags[9];   // one-shot flags for 10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.025 s
  int real_flags[9];
};

extern xtim_class xtim;
