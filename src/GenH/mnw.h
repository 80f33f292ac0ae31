// The frame and window state record that the shell writes and the widgets,
// the clock and the engine's prompts read.
#pragma once

struct mnw_class {
  mnw_class();

  int alias_req;  // antialiasing level asked for, 0..4
  int alias_got;
  void* pixel_format;
  void* windows[2];
  void* contexts[2];
  int sec_mon_inuse;
  int second_window;
  int main_window_type;
  int window_type;  // current logical window: -1 before the first frame, 0 the application
  int mouse_window;
  int dialog_up;
  float origin_x, origin_y;  // lower-left corner of the current logical window, units
  float win_dx, win_dy;      // size of the current logical window, units
  int cursor_kind;
  int open_menu;
  int window_dx, window_dy;  // GL window size in pixels
  int window_depth;
  int set_res;
  int tex_res_level;
  int x_res, y_res, req_depth;
  float centre_x, centre_y;
  float layout_x, layout_y;
  int windowed;
  int use_vsync1, use_vsync2;
  float extent_x0, extent_y0, extent_x1, extent_y1;
  float scale2;
  float scale;  // pixels per unit
  float mouse_x, mouse_y;
  int mouse_clicked;
  int mouse_quick_release;
  int mouse_double_clicked;
  int mouse_released;
  int mouse_held;
  int mouse_repeat;
  int mouse_long_held;
  int wheel_total;
  int right_button;
  int key_hit;
  float move_time;
  float press_time;
  int key_down;
  int language;  // 0..5, -1 before start-up chose one
  int keylist_up;
  int prefs_found;
  int profiling;
  float window_off_x, window_off_y;  // horizontal and vertical window offsets, pixels
  // Drawing area of the 2D layer; a framebuffer saves these seven and draws
  // into its texture's size meanwhile.
  int draw_viewport[4];  // x, y, width, height
  int draw_dx, draw_dy;  // pixel width and height
  int draw_on_screen;    // 0 while drawing off-screen
};

extern mnw_class mnw;
