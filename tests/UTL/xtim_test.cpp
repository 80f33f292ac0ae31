// The clock's state lives in statics, so every case needs a process of its
// own (ctest runs them so).
#include "UTL/xtim.h"

#include <cmath>

#include "GenH/mnw.h"
#include "OGL/colr.h"
#include "support/test_util.h"

namespace {

uint64_t fake_us = 0;
uint64_t fake_clock() { return fake_us; }

struct Xtim : ::testing::Test {
  void SetUp() override {
    xtim_set_clock(fake_clock);
    fake_us = 5000000;
    xtim_class::microsecs();  // the zero of the program clock
    mnw.window_type = 0;
    mnw.sec_mon_inuse = 0;
  }
  void TearDown() override { xtim_set_clock(nullptr); }

  // One pass at t seconds after the first clock query of the test.
  void pass_at(double t) {
    fake_us = 5000000 + static_cast<uint64_t>(std::llround(t * 1e6));
    xtim.xtim_update();
  }
  // Passes from..to (inclusive) every step seconds.
  void passes(double from, double to, double step) {
    for (int i = 0; from + i * step <= to + 1e-9; ++i) pass_at(from + i * step);
  }
};

const float k_grow = std::pow(1.5f, 0.25f), k_shrink = std::pow(0.5f, 0.25f);

TEST_F(Xtim, PlainFramePeriodAdaptsEveryTenthPass) {
  xtim.rate2 = 2.0f;
  pass_at(0.0);  // the first pass adapts against an update time of zero
  const float p0 = 0.02f * k_shrink;
  EXPECT_NEAR(xtim.frame_period, p0, 1e-6);
  EXPECT_FLOAT_EQ(xtim.period_ratio, 0.5f);

  for (int i = 1; i <= 9; ++i) pass_at(0.1 * i);
  EXPECT_NEAR(xtim.frame_period, p0, 1e-6);  // no change between the tenth passes
  pass_at(1.0);
  EXPECT_FLOAT_EQ(xtim.period_ratio, 1.5f);
  EXPECT_NEAR(xtim.frame_period, p0 * k_grow, 1e-6);
  EXPECT_FLOAT_EQ(xtim.frame_period_copy, xtim.frame_period);
  EXPECT_FLOAT_EQ(xtim.scaled_frame_period, 2.0f * xtim.frame_period);
  EXPECT_NEAR(xtim.real_elapsed, 1.0f, 1e-6);

  // Fast passes shrink it by at most 0.5^0.25 each tenth pass.
  const float p1 = xtim.frame_period;
  for (int i = 1; i <= 10; ++i) pass_at(1.0 + 0.001 * i);
  EXPECT_FLOAT_EQ(xtim.period_ratio, 0.5f);
  EXPECT_NEAR(xtim.frame_period, p1 * k_shrink, 1e-6);

  // And never leaves its bounds.
  passes(1.02, 3.0, 0.0001);
  EXPECT_FLOAT_EQ(xtim.frame_period, 0.0010000999f);
  passes(4.0, 600.0, 1.0);
  EXPECT_FLOAT_EQ(xtim.frame_period, 0.05263158f);
}

TEST_F(Xtim, InterfaceWindowHasItsOwnEstimate) {
  mnw.window_type = 1;  // a logical window of the interface
  xtim.rate2 = 3.0f;
  pass_at(0.0);
  for (int i = 1; i <= 10; ++i) pass_at(0.1 * i);
  const float ui = 0.02f * k_shrink * k_grow;
  EXPECT_NEAR(xtim.frame_period, ui, 1e-6);
  EXPECT_FLOAT_EQ(xtim.scaled_frame_period, xtim.frame_period);  // rate 2 is not applied

  // The framework's own modal windows leave every period alone.
  mnw.window_type = 996;
  passes(1.001, 2.0, 0.001);
  EXPECT_NEAR(xtim.frame_period, ui, 1e-6);

  // The plain loop has kept its own estimate, untouched so far.
  mnw.window_type = 0;
  pass_at(2.0);
  EXPECT_NEAR(xtim.frame_period, 0.02f * k_shrink, 1e-6);  // first plain pass: ratio 0.5

  // A second monitor takes the plain path even with a window up.
  mnw.window_type = 1;
  mnw.sec_mon_inuse = 1;
  pass_at(2.01);
  EXPECT_FLOAT_EQ(xtim.scaled_frame_period, 3.0f * xtim.frame_period);
}

TEST_F(Xtim, OneShotFlags) {
  const float intervals[9] = {10, 5, 2, 1, 0.5f, 0.2f, 0.1f, 0.05f, 0.025f};
  int fired[9] = {}, prev[9] = {};
  bool twice_running = false;
  for (int i = 0; i * 0.007 <= 2.1; ++i) {
    pass_at(i * 0.007);
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(xtim.sim_flags[k], 0);  // sim time does not advance in the installer
      fired[k] += xtim.real_flags[k];
      twice_running = twice_running || (prev[k] && xtim.real_flags[k]);
      prev[k] = xtim.real_flags[k];
    }
  }
  EXPECT_FALSE(twice_running);
  const int want[9] = {0, 0, 1, 2, 4, 10, 20, 37, 75};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(fired[k], want[k]) << intervals[k];
}

TEST_F(Xtim, PressHoldAndClicks) {
  pass_at(0.0);
  // A press, a short release.
  mnw.mouse_clicked = 1;
  pass_at(1.0);
  mnw.mouse_clicked = 0;
  EXPECT_EQ(mnw.mouse_held, 1);
  EXPECT_FLOAT_EQ(mnw.press_time, 1.0f);
  EXPECT_EQ(mnw.mouse_double_clicked, 0);
  pass_at(1.1);
  EXPECT_EQ(mnw.mouse_repeat, 0);
  mnw.mouse_released = 1;
  pass_at(1.2);
  mnw.mouse_released = 0;
  EXPECT_EQ(mnw.mouse_quick_release, 1);
  EXPECT_EQ(mnw.mouse_held, 0);
  pass_at(1.25);
  EXPECT_EQ(mnw.mouse_quick_release, 0);

  // A second press within the double-click time of the first.
  mnw.mouse_clicked = 1;
  pass_at(1.4);
  mnw.mouse_clicked = 0;
  EXPECT_EQ(mnw.mouse_double_clicked, 1);
  pass_at(1.45);
  EXPECT_EQ(mnw.mouse_double_clicked, 0);
  mnw.mouse_released = 1;
  pass_at(1.8);  // held too long for a short click
  mnw.mouse_released = 0;
  EXPECT_EQ(mnw.mouse_quick_release, 0);

  // Too late for a double-click; then held past a quarter and past a second.
  mnw.mouse_clicked = 1;
  pass_at(2.0);
  mnw.mouse_clicked = 0;
  EXPECT_EQ(mnw.mouse_double_clicked, 0);
  pass_at(2.2);
  EXPECT_EQ(mnw.mouse_repeat, 0);
  pass_at(2.3);
  EXPECT_EQ(mnw.mouse_repeat, 1);
  EXPECT_EQ(mnw.mouse_long_held, 0);
  pass_at(3.1);
  EXPECT_EQ(mnw.mouse_repeat, 1);
  EXPECT_EQ(mnw.mouse_long_held, 1);
  mnw.mouse_released = 1;
  pass_at(3.2);
  mnw.mouse_released = 0;
  EXPECT_EQ(mnw.mouse_repeat, 0);
  EXPECT_EQ(mnw.mouse_held, 0);
  pass_at(3.3);
  EXPECT_EQ(mnw.mouse_long_held, 0);
}

TEST_F(Xtim, ActivityTime) {
  mnw.mouse_x = 100;
  mnw.mouse_y = 100;
  pass_at(0.0);
  pass_at(1.0);
  const float t0 = mnw.move_time;
  mnw.mouse_x += 0.4f;
  mnw.mouse_y -= 0.4f;
  pass_at(2.0);
  EXPECT_FLOAT_EQ(mnw.move_time, t0);
  mnw.mouse_y -= 0.6f;
  pass_at(3.0);
  EXPECT_FLOAT_EQ(mnw.move_time, 3.0f);
  mnw.mouse_clicked = 1;  // a press is activity too
  pass_at(4.0);
  EXPECT_FLOAT_EQ(mnw.move_time, 4.0f);
}

TEST_F(Xtim, ColourPulse) {
  const double t = M_PI / 40.0;  // sin(20 t) = 1
  for (double at : {t, 0.5}) {
    pass_at(at);
    const float now = static_cast<float>(std::llround(at * 1e6) / 1e6);
    const float p = 0.3f * std::sin(20.0f * now) + 0.7f;
    EXPECT_FLOAT_EQ(colr.pulse, p);
    const float want[6][3] = {{p, p, p},
                              {p, 0.5f * p, 0},
                              {p, 0.3f * p, 0.3f * p},
                              {0.3f * p, 0.3f * p, p},
                              {0.2f * p, 0.8f * p, 0.2f * p},
                              {0.7f * p, 0.7f * p, 0.2f * p}};
    for (int s = 0; s < 6; ++s)
      for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(colr.rgb[83 + s][c], want[s][c]) << s << c;
  }
  EXPECT_NEAR(colr.pulse, 0.3f * std::sin(10.0f) + 0.7f, 1e-5);
  EXPECT_EQ(colr.rgb[82][0], 0.0f);
  EXPECT_EQ(colr.rgb[89][0], 0.0f);
}

TEST_F(Xtim, MicrosecondsAndDeltas) {
  EXPECT_EQ(xtim_class::microsecs(), 0u);  // the first query is the zero
  fake_us += 1500;
  EXPECT_EQ(xtim_class::microsecs(), 1500u);
  uint64_t mark = 0;
  EXPECT_EQ(xtim_class::del_time(&mark), 1500);
  EXPECT_EQ(mark, 1500u);
  fake_us += 250;
  EXPECT_EQ(xtim_class::del_time(&mark), 250);
  EXPECT_EQ(xtim_class::del_time(nullptr), 1750);  // the shared checkpoint starts at zero
  fake_us += 10;
  EXPECT_EQ(xtim_class::del_time(nullptr), 10);
}

TEST_F(Xtim, ProfileChartLogsOnlyWhileProfiling) {
  fake_us += 1500;
  xtim.profile_chart("quiet", 1);
  EXPECT_EQ(fly_test::log_text().find("quiet"), std::string::npos);

  mnw.profiling = 1;
  mnw.window_type = 7;
  xtim.profile_chart("events", 0);
  fake_us += 2000;
  xtim.profile_chart("draw", 1);
  fake_us += 250000;
  xtim.profile_chart("draw", 1);
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("events=   150 | draw=   200 |    total: 0.000 sec for topwi=7\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("draw= 25000 |    total: 0.250 sec for topwi=7\n"), std::string::npos) << log;
}

TEST(XtimCalendar, MonthDayAndClockTime) {
  struct {
    float doy;
    int month, day;
  } days[] = {{0, 0, 1},  {30, 0, 31},      {31, 1, 1},   {58, 1, 28},  {59, 2, 1},
              {90, 3, 1}, {333.5f, 10, 30}, {334, 11, 1}, {364, 11, 31}};
  xtim_class x;
  for (const auto& d : days) {
    x.day_of_year = d.doy;
    int m = -1, dd = -1;
    x.current_month_day(&m, &dd);
    EXPECT_EQ(m, d.month) << d.doy;
    EXPECT_EQ(dd, d.day) << d.doy;
  }
  float h, m, s;
  xtim_class::xtim_hrs_min_sec(3725.5f, &h, &m, &s);
  EXPECT_EQ(h, 1.0f);
  EXPECT_EQ(m, 2.0f);
  EXPECT_EQ(s, 5.0f);
  xtim_class::xtim_hrs_min_sec(86399.0f, &h, &m, &s);
  EXPECT_EQ(h, 23.0f);
  EXPECT_EQ(m, 59.0f);
  EXPECT_EQ(s, 59.0f);
}

}  // namespace
