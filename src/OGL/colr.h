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

  // Gamma of the image readers: the PNG reader takes 1 / gamma_1 as the gamma
  // of a file without gAMA and gamma_2 as the screen's; the BMP reader and the
  // DXT block routines map colours through gamma_ramp while gamma_on is set.
  double gamma_1 = 1.8;
  double gamma_2 = 1.8;
  int gamma_on = 0;  // 1 when gamma_2 is not 1.8
  unsigned char gamma_ramp[256] = {
#define FLY_RAMP4(i) (i), (i) + 1, (i) + 2, (i) + 3
#define FLY_RAMP16(i) FLY_RAMP4(i), FLY_RAMP4((i) + 4), FLY_RAMP4((i) + 8), FLY_RAMP4((i) + 12)
#define FLY_RAMP64(i) FLY_RAMP16(i), FLY_RAMP16((i) + 16), FLY_RAMP16((i) + 32), FLY_RAMP16((i) + 48)
      FLY_RAMP64(0), FLY_RAMP64(64), FLY_RAMP64(128), FLY_RAMP64(192)
#undef FLY_RAMP64
#undef FLY_RAMP16
#undef FLY_RAMP4
  };  // the identity as built
};

extern colr_class colr;
