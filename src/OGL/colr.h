// The interface colour table: drawing names its colour by slot number.
#pragma once

class colr_class {
 public:
  enum { slot_count = 109 };

  // Slots 83..88 pulse; the clock rewrites them every frame.
  void assign(int slot, float r, float g, float b) {
    rgb[slot][0] = r;
    rgb[slot][1] = g;
    rgb[slot][2] = b;
  }

  float rgb[slot_count][3] = {};
  float pulse = 0.0f;  // the pulse level, 0.4..1.0 once the clock runs
};

extern colr_class colr;
