// The clock keeps its state in statics: each case needs its own process (ctest runs them so).
#include "UTL/xtim.h"

#include <cmath>

#include "GenH/mnw.h"
#include "support/test_util.h"

static uint64_t fake_us = 0;
static uint64_t fake_clock() { return fake_us; }

struct Xtim : ::testing::Test {
  void SetUp() override {
    xtim_set_clock(fake_clock);
    fake_us = 5000000;
    xtim_class::microsecs();  // the zero of the program clock
    mnw.window_type = 0;
  }
  void pass_at(double t) {
    fake_us = 5000000 + static_cast<uint64_t>(std::llround(t * 1e6));
    xtim.xtim_update();
  }
  void passes(double from, double to, double step) {
    for (int i = 0; from + i * step <= to + 1e-9; ++i) pass_at(from + i * step);
  }
};

const float k_grow = std::pow(1.5f, 0.25f), k_shrink = std::pow(0.5f, 0.25f);

TEST_F(Xtim, FramePeriodAdaptsEveryTenthPassWithinBounds) {
  xtim.rate2 = 2.0f;
  passes(0.0, 0.9, 0.1);  // the first pass adapts against an update time of zero, once
  const float p0 = 0.02f * k_shrink;
  EXPECT_NEAR(xtim.frame_period, p0, 1e-6);
  pass_at(1.0);
  EXPECT_FLOAT_EQ(xtim.period_ratio, 1.5f);  // slow passes grow it by at most 1.5^0.25
  EXPECT_NEAR(xtim.frame_period, p0 * k_grow, 1e-6);
  EXPECT_FLOAT_EQ(xtim.scaled_frame_period, 2.0f * xtim.frame_period);
  passes(1.001, 3.0, 0.0001);
  EXPECT_FLOAT_EQ(xtim.frame_period, 0.0010000999f);
  passes(4.0, 600.0, 1.0);
  EXPECT_FLOAT_EQ(xtim.frame_period, 0.05263158f);
}

TEST_F(Xtim, InterfaceWindowKeepsItsOwnEstimate) {
  mnw.window_type = 1;
  xtim.rate2 = 3.0f;
  passes(0.0, 1.0, 0.1);
  const float ui = 0.02f * k_shrink * k_grow;
  EXPECT_NEAR(xtim.frame_period, ui, 1e-6);
  EXPECT_FLOAT_EQ(xtim.scaled_frame_period, xtim.frame_period);  // rate 2 is not applied
  mnw.window_type = 996;  // the framework's own windows leave every estimate alone
  passes(1.001, 2.0, 0.001);
  EXPECT_NEAR(xtim.frame_period, ui, 1e-6);
  mnw.window_type = 0;
  pass_at(2.0);
  EXPECT_NEAR(xtim.frame_period, 0.02f * k_shrink, 1e-6);  // the plain loop's first pass
}

TEST_F(Xtim, OneShotFlagsFireOncePerInterval) {
  int fired[9] = {}, prev[9] = {};
  for (int i = 0; i * 0.007 <= 2.1; ++i) {
    pass_at(i * 0.007);
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(xtim.sim_flags[k], 0);  // sim time does not advance in the installer
      EXPECT_FALSE(prev[k] && xtim.real_flags[k]) << k;
      fired[k] += prev[k] = xtim.real_flags[k];
    }
  }
  const int want[9] = {0, 0, 1, 2, 4, 10, 20, 37, 75};  // 10 s down to 0.025 s
  for (int k = 0; k < 9; ++k) EXPECT_EQ(fired[k], want[k]) << k;
}

TEST_F(Xtim, PressHoldAndClicks) {
  // Held past 0.25 s repeats, past 1 s is long; a press within 0.5 s of the last is double.
  struct { double t; int click, release, held, repeat, long_held, dbl, quick; } rows[] = {
      {0.0, 0, 0, 0, 0, 0, 0, 0},  {1.0, 1, 0, 1, 0, 0, 0, 0},  {1.1, 0, 0, 1, 0, 0, 0, 0},
      {1.2, 0, 1, 0, 0, 0, 0, 1},  {1.25, 0, 0, 0, 0, 0, 0, 0}, {1.4, 1, 0, 1, 0, 0, 1, 0},
      {1.45, 0, 0, 1, 0, 0, 0, 0}, {1.8, 0, 1, 0, 0, 0, 0, 0},  {2.0, 1, 0, 1, 0, 0, 0, 0},
      {2.2, 0, 0, 1, 0, 0, 0, 0},  {2.3, 0, 0, 1, 1, 0, 0, 0},  {3.1, 0, 0, 1, 1, 1, 0, 0},
      {3.2, 0, 1, 0, 0, 1, 0, 0},  {3.3, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& r : rows) {
    mnw.mouse_clicked = r.click;
    mnw.mouse_released = r.release;
    pass_at(r.t);
    EXPECT_EQ((std::vector<int>{mnw.mouse_held, mnw.mouse_repeat, mnw.mouse_long_held,
                                mnw.mouse_double_clicked, mnw.mouse_quick_release}),
              (std::vector<int>{r.held, r.repeat, r.long_held, r.dbl, r.quick}))
        << r.t;
  }
}

