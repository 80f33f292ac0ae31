#include "OGL/colr.h"

#include <cmath>
#include <cstring>

#include "OGL/gl_calls.h"
#include "OGL/ren.h"

namespace {
struct slot_default {
  int slot;
  float r, g, b;
};
const slot_default k_defaults[] = {
    {0, 1, 1, 1},        {1, 1, 0.2f, 0.2f},      {2, 1, 1, 0.2f},        {3, 0.7f, 0.7f, 0.7f},
    {4, 0.8f, 0, 0},     {5, 1, 1, 0},            {6, 0.3f, 0.3f, 0.3f},  {7, 0.2f, 0, 0},
    {8, 1, 0.8f, 0.2f},  {9, 0.1f, 0.1f, 0.1f},   {10, 0, 0.8f, 0},       {13, 0, 0.4f, 0},
    {15, 0.4f, 0.4f, 1}, {17, 0, 0, 0.6f},        {18, 0.5f, 0.55f, 0.6f}, {19, 0.2f, 0.2f, 0.25f},
    {20, 0.9f, 0.9f, 0.9f}, {21, 0.8f, 0.1f, 0.1f}, {22, 0.9f, 0.9f, 1},   {23, 0.9f, 0.9f, 0.9f},
    {24, 0.1f, 0.1f, 0.1f}, {26, 0.9f, 0.9f, 0.9f}, {27, 1, 1, 0},        {29, 1, 1, 1},
    {30, 1, 1, 1},       {31, 1, 1, 1},           {32, 1, 1, 0},          {34, 1, 1, 1},
    {35, 1, 1, 1},       {36, 1, 1, 1},           {52, 1, 1, 1},          {53, 0.4f, 1, 0.4f},
    {54, 1, 0.4f, 0.4f}, {55, 1, 1, 0.6f},        {56, 0.7f, 0.7f, 1},    {57, 1, 0.5f, 0},
    {58, 0.8f, 0.8f, 0.8f}, {59, 0, 1, 0},        {60, 1, 0.2f, 0.2f},    {61, 1, 1, 0.2f},
    {62, 0.4f, 0.4f, 1}, {63, 0.5f, 0.3f, 0},     {64, 0.5f, 0.5f, 0.5f}, {65, 0, 0.6f, 0},
    {66, 0.6f, 0.2f, 0}, {67, 1, 1, 0},           {68, 0.2f, 0.2f, 0.8f}, {69, 1, 0.4f, 0},
    {70, 0.2f, 0.2f, 0.2f}, {71, 0, 0.2f, 0},     {72, 1, 0, 0},          {73, 0.6f, 0.6f, 0},
    {74, 0.15f, 0.15f, 0.6f}, {75, 0.49f, 0.43f, 0.24f}, {77, 0, 0.1f, 0}, {78, 1, 0.2f, 1},
    {79, 1, 0, 1},       {80, 0, 1, 1},           {81, 1, 1, 0},          {82, 0.44f, 0.53f, 0.54f},
    {89, 1, 0, 1},       {91, 1, 0, 1},           {92, 1, 1, 1},          {101, 0.5f, 0.5f, 0.4f},
    {102, 1, 0.3f, 0},   {103, 0.5f, 0.5f, 0.4f}, {104, 0.8f, 0.8f, 0.7f}, {105, 0, 0.6f, 0.2f},
    {106, 1, 1, 0.9f},
};

const float k_ramp5[6][3] = {{1, 0, 0},    {1, 0.32f, 0.08f}, {1, 1, 0},
                             {0, 1, 0},    {0, 0, 1},         {0.8f, 0, 0.8f}};
const float k_ramp7[7][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0.32f, 0.08f}, {1, 1, 0},
                             {0, 1, 0}, {0, 0, 1}, {0.8f, 0, 0.8f}};

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

colr_rgba finish(float r, float g, float b, float alpha) {
  if (ren.green_mode) {
    g = clampf(r + g + b, 0.01f, 1.0f);
    r = b = 0.0f;
  }
  float a = alpha * ren.global_alpha;
  return {r, g, b, a, a > 0.99f};
}

void send(const colr_rgba& c) {
  if (c.opaque) gl.Color3f(c.r, c.g, c.b);
  else gl.Color4f(c.r, c.g, c.b, c.a);
}
}  // namespace

colr_class::colr_class() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  gamma_1 = gamma_2 = 1.8;
  gamma_on = 0;
  // i / 255.0: an integer division would make every entry but the last 0.
  for (int i = 0; i < 256; ++i)
    gamma_ramp[i] = static_cast<unsigned char>(std::pow(i / 255.0, 1.0) * 255.0 + 0.5);
  for (float& l : lites) l = 1.0f;
  for (const slot_default& d : k_defaults) assign(d.slot, d.r, d.g, d.b);
}

void colr_class::set_lites_for_interface() {
  for (int i : {0, 2, 4})
    if (lites[i] <= 0.75f) lites[i] = 0.75f;
}

void colr_class::spectrum_init(int type) {
  if (type < 0 || type > 3) return;
  for (int i = 0; i < spectrum_count; ++i) {
    float v = i / 1000.0f;
    float* s = spectrum[i];
    s[0] = s[1] = s[2] = 0.0f;
    if (type >= 1) {
      s[type - 1] = v;
      continue;
    }
    int step = v < 0.2f ? 1 : v < 0.4f ? 2 : v < 0.6f ? 3 : v < 0.8f ? 4 : 5;
    float t = (v - 0.2f * (step - 1)) * 5.0f;
    for (int k = 0; k < 3; ++k)
      s[k] = k_ramp5[step - 1][k] + (k_ramp5[step][k] - k_ramp5[step - 1][k]) * t;
  }
}

colr_rgba OGL_colour_of(int slot, float alpha) {
  if (slot < 0 || slot >= colr_class::slot_count) slot = 0;
  float r = colr.rgb[slot][0], g = colr.rgb[slot][1], b = colr.rgb[slot][2];
  if (slot <= 48) {
    r *= colr.lites[0];
    g *= colr.lites[2];
    b *= colr.lites[4];
  }
  return finish(r, g, b, alpha);
}

void OGL_setcolor(int slot, float alpha) { send(OGL_colour_of(slot, alpha)); }

colr_rgba OGL_spectrum_of(float v) {
  v = clampf(v, 0.0f, 1.0f);
  int step = static_cast<int>(v * 6.0f) + 1;
  if (step > 6) step = 6;
  float t = (v - (step - 1) / 6.0f) * 6.0f;
  float c[3];
  for (int k = 0; k < 3; ++k)
    c[k] = k_ramp7[step - 1][k] + (k_ramp7[step][k] - k_ramp7[step - 1][k]) * t;
  return finish(c[0], c[1], c[2], 1.0f);
}

void OGL_spectrum_rgb(float v) { send(OGL_spectrum_of(v)); }
