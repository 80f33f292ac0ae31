// The clock and the mouse timing the system offers.
#pragma once

#include <cstdint>

// A monotonic microsecond counter (CLOCK_MONOTONIC); its zero is arbitrary.
uint64_t LIN_microseconds();
// The double-click interval in ticks of 1/60 s.
int LIN_double_click_ticks();
