// Scroll bars, the horizontal slider and the digit-by-digit number fields.
#include <algorithm>
#include <climits>
#include <cmath>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/key_queue.h"
#include "UTL/xtim.h"

namespace {

int slider_grabbed[4];
int hot_digit = 0;
BTN_key_queue number_keys;  // shared by every number field

bool mouse_in(float x1, float y1, float x2, float y2) {
  return x1 <= mnw.mouse_x && mnw.mouse_x <= x2 && y1 <= mnw.mouse_y && mnw.mouse_y <= y2;
}

void quad410(float cx, float cy, float w, float h, float u1, float v1, float u2, float v2,
             int colour) {
  OGL_2dquad_d(410, colour, 1.0f, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2, u1 / 512,
               v1 / 512, u2 / 512, v2 / 512, 1, 5);
}

// 10^e as a double, for e in any range the fields use.
double pow10i(int e) { return std::pow(10.0, e); }

// Rounds v to a whole number of 64 bits; values beyond that range stop at it.
long long round64(double v) {
  const double lim = 9.0e18;
  return std::llround(std::clamp(v, -lim, lim));
}

int to_int(float v) {
  return static_cast<int>(std::clamp(static_cast<double>(v), static_cast<double>(INT_MIN),
                                     static_cast<double>(INT_MAX)));
}

}  // namespace

int& BTN_number_hot_digit() { return hot_digit; }

int BTN_vert_slider(int slot, float x, float y_bottom, float y_top, int min, int max,
                    int* value) {
  // The track's centre must be whole: a caller's half unit is rounded here.
  BTN_frame0(6, std::round(x), std::round((y_bottom + y_top) / 2), y_top - y_bottom);
  if (max <= min) return 0;
  if (slot < 0 || slot > 3) {
    __MACIBM_alert(0, "Too many sliders!", "", "", "", t_exit, "butn", 702);
    return 0;
  }
  const float lo_y = y_bottom + 9, hi_y = y_top - 10;
  const float ty = std::clamp((lo_y - hi_y) / static_cast<float>(max - min) *
                                      static_cast<float>(*value - min) + hi_y,
                              lo_y, hi_y);
  int& grabbed = slider_grabbed[slot];
  if (mnw.mouse_held && mouse_in(x - 11, ty - 11, x + 11, ty + 11)) grabbed = 1;
  if (!mnw.mouse_held) grabbed = 0;
  UI_item_add("slider", x - 11, y_bottom - 20, x + 11, y_top + 20, 1, grabbed);
  if (grabbed) {
    const float a = y_top - 11, b = y_bottom + 11;
    float f;
    if (a == b)
      f = (min + max) / 2.0f;
    else
      f = min + (max - min) * (mnw.mouse_y - a) / (b - a);
    f = std::clamp(f, static_cast<float>(min), static_cast<float>(max));
    *value = static_cast<int>(f);
  } else if ((mnw.mouse_clicked || (mnw.mouse_repeat && xtim.real_flags[5])) &&
             x - 11 <= mnw.mouse_x && mnw.mouse_x <= x + 11) {
    const float my = mnw.mouse_y;
    if (y_top <= my && my <= y_top + 20) *value -= 1;
    if (y_bottom - 20 <= my && my <= y_bottom) *value += 1;
    if (y_bottom <= my && my <= y_top) *value += my < ty ? 10 : -10;
  }
  *value = std::clamp(*value, min, max);
  const int colour = grabbed ? 50 : 0;
  quad410(x, y_top + 8, 18, 22, 83, 266, 101, 288, colour);
  quad410(x, ty, 18, 24, 83, 240, 101, 264, colour);
  quad410(x, y_bottom - 10, 18, 22, 83, 216, 101, 238, colour);
  return grabbed;
}

int BTN_horz_slider(float x, float y, float width, int fill_colour, float min, float max,
                    float* value, int active, std::string label, std::string caption) {
  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  if (min < max && max < min + 0.01f) max = min + 0.01f;
  if (min >= max && min < max + 0.01f) min = max + 0.01f;
  BTN_frame1(7, x + width / 2, y, width, 0);
  BTN_util_draw_label(x - 8, y, 0, left, 0);
  BTN_util_draw_label(x + width + 8, y, 2, right, 0);
  if (mouse_in(x, y - 7, x + width, y + 7)) stls.help_text = help;
  OGL_string(46, x + width / 2, y + 10, caption, 9999, font_regular, 1);
  const float f = max == min ? width / 2
                             : std::clamp(width / (max - min) * (*value - min), 0.0f,
                                          std::max(0.0f, width));
  const float lo = std::min(min, max), hi = std::max(min, max);
  int result = 0;
  UI_item_add(left.empty() ? caption : left, x, y - 7, x + width, y + 7, active != 0, 0);
  // A slider without width has no positions to take from the mouse.
  if (active && width > 0 && mnw.mouse_held &&
      mouse_in(x - 20, y - 20, x + width + 20, y + 20)) {
    *value = std::clamp(lo + (hi - lo) / width * (mnw.mouse_x - x), lo, hi);
    result = 1;
  }
  if (fill_colour != 12 && f > 0) {
    const float w = 2 * std::round(static_cast<float>(static_cast<int>(f)) / 2);
    BTN_frame1(8, x + w / 2, y + 4, w, fill_colour);
  }
  if (active) {
    const float k = std::clamp(x + width / (hi - lo) * (*value - lo), x, x + std::max(0.0f, width));
    quad410(k, y + 2, 20, 22, 262, 267, 282, 289, 0);
  }
  return result;
}

int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max,
                  std::string label) {
  if (digits < 1) digits = 1;
  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  const int id = static_cast<int>(y) + static_cast<int>(x) * 8192;
  const float right_x = x + 10 * digits;
  const bool over_digits = mouse_in(x, y - 2, right_x, y + 8);
  if (over_digits) stls.help_text = help;
  int take = 0;
  if (mnw.open_menu == -1 && over_digits && mnw.mouse_clicked) {
    hot_digit = static_cast<int>((mnw.mouse_x - 2 - x) / 10);
    take = 1;
  }
  BTN_key_queue& q = number_keys;
  const int focused = BTN_register_focus(id, q.chars, q.vkeys, q.modifiers, q.ids, &q.count,
                                         BTN_key_queue::capacity, 0xD0, take);
  if (focused) hot_digit = std::clamp(hot_digit, 0, digits - 1);

  const double scale = pow10i(decimals);
  auto weight = [&](int k) { return pow10i(digits - decimals - k - 1); };
  double v = *value;
  int result = 0;
  BTN_drain_keys(&q, id, [&](int ch, int vkey, int) {
    // Shared by every field: another field may have left it out of this one's range.
    hot_digit = std::clamp(hot_digit, 0, digits - 1);
    if (vkey == 37) {
      hot_digit = hot_digit - 1 < 0 ? digits - 1 : hot_digit - 1;
    } else if (vkey == 39) {
      hot_digit = hot_digit + 1 >= digits ? 0 : hot_digit + 1;
    } else if (vkey == 38 || vkey == 40) {
      v += (vkey == 38 ? 1 : -1) * weight(hot_digit);
      result = 1;
    } else if (ch >= '0' && ch <= '9') {
      // Digits are edited on the whole number of the last cell's units, so
      // that no binary fraction moves a neighbouring digit.
      const bool negative = v < 0;
      long long n = round64(std::fabs(v) * scale);
      const long long w = round64(pow10i(digits - hot_digit - 1));
      const long long old = (n / w) % 10;
      n += (ch - '0' - old) * w;
      v = static_cast<double>(n) / scale;
      if (negative) v = -v;
      result = 1;
      hot_digit = hot_digit + 1 >= digits ? 0 : hot_digit + 1;
    } else if (ch == '+' && min < 0) {
      v = std::fabs(v);
      result = 1;
    } else if (ch == '-' && max >= 0) {
      v = -std::fabs(v);
      result = 1;
    }
  });

  if (mnw.open_menu == -1 && !over_digits && mouse_in(x, y - 18, right_x, y + 24)) {
    const bool up = mnw.mouse_y > y + 3;
    mnw.cursor_kind = up ? 20 : 21;
    if (mnw.mouse_clicked) {
      for (int k = 0; k < std::min(digits, 10); ++k) {
        if (mnw.mouse_x < x + 10 * k || mnw.mouse_x > x + 10 * k + 10) continue;
        v += (up ? 1 : -1) * weight(k);
        result = 1;
      }
    }
  }
  v = std::max(v, static_cast<double>(min));
  v = std::min(v, static_cast<double>(max));
  v = static_cast<double>(round64(v * scale)) / scale;
  *value = static_cast<float>(v);

  UI_item_add(left.empty() ? right : left, x, y - 18, right_x, y + 24, 1, focused);
  BTN_frame1(9, x + 5 * digits - 1, y + 3, 10 * digits + 15, 0);
  for (int k = 0; k < digits; ++k) {
    const float cx = x + 10 * k + 6;
    OGL_2dquad_d(410, 0, 1.0f, cx - 7, y - 19, cx + 7, y - 1, 83 / 512.0f, 178 / 512.0f,
                 97 / 512.0f, 196 / 512.0f, 1, 5);
    OGL_2dquad_d(410, 0, 1.0f, cx - 7, y + 9, cx + 7, y + 27, 83 / 512.0f, 197 / 512.0f,
                 97 / 512.0f, 215 / 512.0f, 1, 5);
  }
  BTN_util_draw_label(x - 12, y, 0, left, 0);
  BTN_util_draw_label(right_x + 12, y, 2, right, 0);
  if (focused) OGL_fillrect(8, 1.0f, x + 2 + 10 * hot_digit, y - 2, 9, 11);
  OGL_number(48, x + 3, y, *value, digits, decimals, font_bold);
  return result;
}

namespace {
float flt_bound(int digits, int decimals) {
  digits = std::clamp(digits, 1, 10);
  return static_cast<float>((pow10i(digits) - 1) / pow10i(decimals));
}
}  // namespace

int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative,
            std::string label) {
  const float max = flt_bound(digits, decimals);
  return BTN_flt_range(x, y, value, digits, decimals, allow_negative ? -max : 0, max, label);
}

int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label) {
  float v = static_cast<float>(*value);
  const int r = BTN_flt(x, y, &v, digits, 0, allow_negative, label);
  *value = to_int(v);
  return r;
}

int BTN_int_range(float x, float y, int* value, int digits, float min, float max,
                  std::string label) {
  float v = static_cast<float>(*value);
  const int r = BTN_flt_range(x, y, &v, digits, 0, min, max, label);
  *value = to_int(v);
  return r;
}

int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min,
                  float max, std::string label) {
  float v = static_cast<float>(*value);
  const int r = BTN_flt_range(x, y, &v, digits, decimals, min, max, label);
  if (r) *value = v;
  return r;
}

int BTN_fltij(float i, float j, float* value, int digits, int decimals, int allow_negative,
              std::string label) {
  return BTN_flt(75 * i + 75 - 10 * digits, 50 * j + 25, value, digits, decimals,
                 allow_negative, label);
}

int BTN_flt_rangeij(float i, float j, float* value, int digits, int decimals, float min,
                    float max, std::string label) {
  return BTN_flt_range(75 * i + 75 - 10 * digits, 50 * j + 25, value, digits, decimals, min, max,
                       label);
}

void BTN_display_number(float x, float y, float value, int digits, int decimals,
                        std::string label) {
  std::string left, right, help;
  BTN_expand_label(label, &left, &right, &help);
  BTN_frame1(9, x + 5 * digits - 1, y + 3, 10 * digits + 15, 0);
  BTN_util_draw_label(x - 12, y, 0, left, 0);
  BTN_util_draw_label(x + 10 * digits + 12, y, 2, right, 0);
  OGL_number(48, x + 4, y, value, digits, decimals, font_bold);
}
