// The interface colour table: drawing names its colour by slot number, and
// every primitive turns a slot into a GL colour with one rule (OGL_setcolor).
#pragma once

class colr_class {
 public:
  enum { slot_count = 109, spectrum_count = 1000 };

  colr_class();

  // Slots 83..88 pulse; the clock rewrites them every frame.
  void assign(int slot, float r, float g, float b) {
    rgb[slot][0] = r;
    rgb[slot][1] = g;
    rgb[slot][2] = b;
  }
  // Raises the interface light levels (red, green, blue) to at least 0.75.
  void set_lites_for_interface();
  // 0: five-step ramp red..purple; 1, 2, 3: red, green or blue ramp; any
  // other type leaves the spectrum as it is.
  void spectrum_init(int type);
  // A 1000-unit colour bar at (x, y) with its end values drawn beside it.
  void spectrum_plotscale(float x, float y, float lo, float hi, int decimals);

  // Gamma of the image readers: the PNG reader takes 1 / gamma_1 as the gamma
  // of a file without gAMA and gamma_2 as the screen's; the BMP reader and the
  // DXT block routines map colours through gamma_ramp while gamma_on is set.
  double gamma_1, gamma_2;
  int gamma_on;  // 1 when gamma_2 is not 1.8
  unsigned char gamma_ramp[256];
  float rgb[slot_count][3];
  float lites[6];  // 0, 2, 4 scale red, green, blue of slots 0..48
  float pulse;     // the pulse level, 0.4..1.0 once the clock runs
  float scale_min, scale_max, scale_range;
  float spectrum[spectrum_count][3];
};

extern colr_class colr;

// The colour rule: the slot's triple (lit for slots 0..48), green mode, and
// alpha times the global alpha; above 0.99 the colour is set opaque. The
// results are what goes to GL, returned for tests.
struct colr_rgba {
  float r, g, b, a;
  bool opaque;
};
colr_rgba OGL_colour_of(int slot, float alpha);
void OGL_setcolor(int slot, float alpha);

// Sets the GL colour from the seven-colour ramp black..purple at v (clamped
// to 0..1), with the global alpha and green mode.
void OGL_spectrum_rgb(float v);
colr_rgba OGL_spectrum_of(float v);
