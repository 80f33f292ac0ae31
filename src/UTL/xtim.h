// The program's clock: real time since start-up, the adaptive frame period,
// one-shot interval flags and the mouse timing of the frame state.
#pragma once

#include <cstdint>
#include <string>

// The source of the program clock: a monotonic microsecond counter with an
// arbitrary zero. Tests install their own before the first query.
using xtim_clock_fn = uint64_t (*)();
void xtim_set_clock(xtim_clock_fn fn);  // null restores the system clock

class xtim_class {
 public:
  xtim_class();

  // Once per pass of the event loop, main thread: elapsed time, the frame
  // period estimate, the one-shot flags, the mouse timing of mnw and the
  // pulsing colours.
  void xtim_update();

  // Microseconds since the first clock query of the run.
  static uint64_t microsecs();
  // Microseconds since *last (since the shared checkpoint when last is null),
  // and that checkpoint moves to now.
  static int del_time(uint64_t* last);
  // Logs the time since the previous checkpoint while profiling is on.
  void profile_chart(const std::string& name, int end_of_frame);

  // Month (0 = January) and day (from 1) of day_of_year, which lies in 0..364.
  void current_month_day(int* month, int* day) const;
  static void xtim_hrs_min_sec(float t, float* hours, float* minutes, float* secs);

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
