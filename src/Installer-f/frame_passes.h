// Passes of a busy screen's polled step within one frame.
#pragma once

#include <cstdint>
#include <functional>

// The engine's polled steps (the disc install, the scan, the file-list road,
// the downloads) move their work on only inside a call, so one call per frame
// of a slow renderer (llvmpipe: ~28 ms a frame) leaves them idle most of the
// time. The passes take the place of the event pump's one-tick wait: `step`
// (true while it wants another pass) is called again, gap_us apart, for
// cap_us, and while it is still busy the next pump does not wait. A run's
// first frame makes one pass, and so does a frame with no pump since the
// last busy one (no wait to take the place of: screens driven by tests).
// True while the step is still busy.
bool UTIL_frame_passes(bool first, uint64_t cap_us, uint64_t gap_us,
                       const std::function<bool()>& step);
