#include "UTL/xtim.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "Linux/lin_time.h"
#include "OGL/colr.h"
#include "UTL/xer.h"

namespace {
std::atomic<xtim_clock_fn> clock_fn{LIN_microseconds};

const float k_intervals[9] = {10.0f, 5.0f, 2.0f, 1.0f, 0.5f, 0.2f, 0.1f, 0.05f, 0.025f};
const float k_period_min = 0.0010000999f;
const float k_period_max = 0.05263158f;
const int days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

uint64_t raw_clock() { return clock_fn.load()(); }

// The zero of the program clock: the first query of the run.
uint64_t init_call() {
  static const uint64_t zero = raw_clock();
  return zero;
}

uint64_t old = 0;        // checkpoint shared by del_time(nullptr) and profile_chart
float last_time = 0.0f;  // end of the previous profiled frame
bool last_time_set = false;

// Adapts a period estimate to the time ten passes took.
void adapt_period(float now, float& last_update, float& period, float& ratio_out) {
  float ratio = (now - last_update) * 0.1f / period;
  if (ratio < 0.5f) ratio = 0.5f;
  if (ratio > 1.5f) ratio = 1.5f;
  ratio_out = ratio;
  period *= std::pow(ratio, 0.25f);
  if (period < k_period_min) period = k_period_min;
  if (period > k_period_max) period = k_period_max;
  last_update = now;
}
}  // namespace

void xtim_set_clock(xtim_clock_fn fn) { clock_fn = fn ? fn : LIN_microseconds; }

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

uint64_t xtim_class::microsecs() {
  const uint64_t zero = init_call();
  return raw_clock() - zero;
}

int xtim_class::del_time(uint64_t* last) {
  const uint64_t now = microsecs();
  uint64_t& mark = last ? *last : old;
  const int d = static_cast<int>(static_cast<uint32_t>(now - mark));
  mark = now;
  return d;
}

void xtim_class::profile_chart(const std::string& name, int end_of_frame) {
  if (!mnw.profiling) return;
  const uint64_t now = microsecs();
  char num[64];
  snprintf(num, sizeof(num), "%6.0f", static_cast<double>(now - old) * 0.1);
  xer << name << "=" << num << " | ";
  old = now;
  if (end_of_frame) {
    const float t = static_cast<float>(static_cast<double>(now) / 1000000.0);
    if (!last_time_set) {
      last_time = t;
      last_time_set = true;
    }
    snprintf(num, sizeof(num), "%5.3f", static_cast<double>(t - last_time));
    xer << "   total: " << num << " sec for topwi=" << mnw.window_type << "\n";
    last_time = t;
  }
}

void xtim_class::xtim_update() {
  static float start_time = -1.0f;
  static float dbl_click_time = -1.0f;
  static float ui_last = 0.0f, fm_last = 0.0f;
  static int ui_calls = 0, fm_calls = 0;
  static float ui_period = 0.02f, fm_period = 0.02f;
  static float prev_mouse_x = 999.0f, prev_mouse_y = 999.0f;
  static float fired[18] = {};

  const uint64_t now_us = microsecs();
  const float now = static_cast<float>(static_cast<double>(now_us) / 1000000.0);
  if (start_time < 0.0f) start_time = now;
  real_elapsed = now - start_time;

  const int top = mnw.window_type;
  if (top != 0 && mnw.sec_mon_inuse == 0) {
    fm_last = now;
    if (top < 994 || top > 999) {
      if (ui_calls++ % 10 == 0) adapt_period(now, ui_last, ui_period, period_ratio);
      frame_period = frame_period_copy = scaled_frame_period = ui_period;
    } else {
      ui_last = now;  // the framework's own windows leave the estimate alone
    }
  } else {
    if (fm_calls++ % 10 == 0) adapt_period(now, fm_last, fm_period, period_ratio);
    frame_period = frame_period_copy = fm_period;
    scaled_frame_period = fm_period * rate2;
    ui_last = now;
  }

  for (int k = 0; k < 18; ++k) {
    const float clock = (k < 9) ? sim_elapsed : real_elapsed;
    int& flag = (k < 9) ? sim_flags[k] : real_flags[k - 9];
    flag = 0;
    if (std::fabs(clock - fired[k]) > k_intervals[k % 9]) {
      flag = 1;
      fired[k] = clock;
    }
  }

  if (dbl_click_time < 0.0f) dbl_click_time = static_cast<float>(LIN_double_click_ticks()) / 60.0f;

  const float t = real_elapsed;
  mnw.mouse_repeat = mnw.mouse_held && t > mnw.press_time + 0.25f;
  mnw.mouse_long_held = mnw.mouse_held && t > mnw.press_time + 1.0f;
  mnw.mouse_double_clicked = mnw.mouse_clicked && t < mnw.press_time + dbl_click_time;
  mnw.mouse_quick_release = mnw.mouse_released && t < mnw.press_time + 0.25f;
  if (mnw.mouse_clicked) {
    mnw.mouse_held = 1;
    mnw.move_time = t;
    mnw.press_time = t;
    BTN_unfocus_any();
  }
  if (mnw.mouse_released) {
    mnw.mouse_held = 0;
    mnw.mouse_repeat = 0;
  }

  if (std::fabs(mnw.mouse_x - prev_mouse_x) > 0.5f || std::fabs(mnw.mouse_y - prev_mouse_y) > 0.5f)
    mnw.move_time = t;
  prev_mouse_x = mnw.mouse_x;
  prev_mouse_y = mnw.mouse_y;

  const float p = 0.3f * std::sin(20.0f * now) + 0.7f;
  colr.assign(83, p, p, p);
  colr.assign(84, p, 0.5f * p, 0.0f);
  colr.assign(85, p, 0.3f * p, 0.3f * p);
  colr.assign(86, 0.3f * p, 0.3f * p, p);
  colr.assign(87, 0.2f * p, 0.8f * p, 0.2f * p);
  colr.assign(88, 0.7f * p, 0.7f * p, 0.2f * p);
  // The caret, the one reader of the pulse level, blinks between full and
  // dim every half second: following p it would change every frame, and a
  // still screen with a focused field would never be held back. Each change
  // redraws the whole window.
  colr.pulse = (now_us / 500000) % 2 ? 0.4f : 1.0f;
}

void xtim_class::current_month_day(int* month, int* day) const {
  if (day_of_year < 31.0f) {
    *month = 0;
    *day = static_cast<int>(day_of_year) + 1;
    return;
  }
  int m = 0, total = 0;
  while (m < 11 && total + days_in_month[m] <= day_of_year) total += days_in_month[m++];
  *month = m;
  *day = static_cast<int>(day_of_year - static_cast<float>(total)) + 1;
}

void xtim_class::xtim_hrs_min_sec(float t, float* hours, float* minutes, float* secs) {
  *hours = static_cast<float>(static_cast<int>(t / 3600.0f));
  *minutes = static_cast<float>(static_cast<int>(t / 60.0f) - static_cast<int>(*hours * 60.0f));
  *secs = static_cast<float>(static_cast<int>(t) - static_cast<int>(*hours * 3600.0f) -
                             static_cast<int>(*minutes * 60.0f));
}
