// The shell's window and frame: the OpenGL context, the frame loop and its
// events, the logical windows inside the program's window, the hover help
// and the cursor, and the hooks through which the frame reaches the parts
// of the program that draw and take input (widgets, menus, keys, wizard).
#pragma once

#include <string>

#include "Linux/lin_window.h"

// ---- start-up and context
int MACIBM_make_context(int index);  // 1 on success
void MACIBM_setres(int enter);
void MACIBM_nuke_context(int index);
void MACIBM_show_init(const std::string& msg, float* progress);
void MACIBM_setupforlang();

// The interface colours 37..50 from the decoded interface image (512 RGBA
// pixels a row, first row first).
void MACIBM_sample_interface_colours(const unsigned char* rgba);
// Start-up's interface textures (map, background, interface image) and the
// interface colours sampled from the interface image.
void MACIBM_load_interface_textures();
// The frame's texture-failure reports: each kind once, as an alert.
void MACIBM_report_texture_failures();

extern int g_mon_x_res_now, g_mon_y_res_now;  // screen size, pixels
extern int is_demo;
extern int plot_init_lights;  // start-up drawing is on
extern int escape_hit, delete_hit;

// ---- the frame
void MACIBM_event_proc();
void APL_handlewin(LIN_event_record* event);
// Smooth scrolling in quarter steps; whole steps go to wheel_total.
void APL_handle_scroll(int delta);
int APL_scroll_remainder();  // quarter steps not yet a wheel step
extern long MACIBM_frame_count;
// Set by a frame whose own work (a running install) takes the place of the
// event pump's one-tick wait: the next pump only drains. Cleared by the pump.
extern int MACIBM_skip_event_wait;
// Milliseconds the next pump waits for an event when the queue is empty.
int MACIBM_event_wait_ms();
void MACIBM_handleclick(int force_close);
void MACIBM_handlerelease();
int MACIBM_load_mxy(void* window, int x, int y);
void MACIBM_movemouse(int x, int y, int window);
int has_shiftkey();
int has_shiftkey_wrap();
int has_optionkey();
int has_controlkey();
int has_capslock();

// ---- logical windows
void MACIBM_startwind(int type, int unused);
void mouse_help_per_wind(int type);

// Where the hover-help box of a frame goes (before drawing); 0 when none is due.
struct help_box {
  float x, y, h;
};
int MACIBM_help_box(help_box* out);

// The cursor sprite of a kind (3..24): its rectangle in units and its texture
// rectangle in 512ths of the interface image.
struct cursor_sprite {
  float x1, y1, x2, y2;
  float s0, s1, t0, t1;
};
void MACIBM_cursor_sprite(int kind, cursor_sprite* out);

// ---- trace for end-to-end tests (FLY_TRACE=- for standard error, or a file)
int MACIBM_trace_on();
void MACIBM_trace_line(const std::string& line);
void MACIBM_trace_frame();  // a line when the logical window, title or focus changed
extern int g_window_focused;

// ---- what the frame calls of other parts of the program. The defaults are
// the drawing layer's calls where it has them (OGL_pix_specs, OGL_viewport(2),
// OGL_sbuff, OGL_plot_back_col, OGL_string, OGL_2dquad) and otherwise keep
// the shell usable alone; the owning part (wizard, widgets, menus, keys,
// textures) installs its own at start-up.
struct shell_hooks_class {
  void (*app_update)();                     // the application's frame
  void (*app_handlemenu)(int value);        // a chosen menu item
  void (*quit_request)();                   // the window's close button
  void (*key_raw)(const LIN_event_record&); // key down, up and auto-key
  void (*text_input)(const char* utf8);     // typed text
  void (*run_repeat_keys)();
  void (*begin_focus_ring)();
  void (*standard_gui)();                   // menu bar and open menu
  void (*zap_boxes)(int);                   // pressed close boxes, one frame
  void (*pix_specs)(int);                   // 2D metrics of the window
  void (*viewport_2d)();                    // 2D projection over the window
  void (*swap)();                           // shows the frame
  void (*plot_back_col)();                  // fills the window with slot 37
  void (*draw_help)(const help_box& box, const std::string& text);
  void (*draw_cursor)(const cursor_sprite& sprite);
  void (*show_init_panel)(const std::string& msg, float progress);
  void (*interface_textures)();             // textures and colours of start-up
  void (*texture_failures)();               // the frame's texture-failure alerts
  int (*movie_takes_frame)();               // the recorder swaps itself
  void (*key_flush)();                      // a held key-down goes out before the next event
  void (*closing_down)();                   // the close-down, once the threads have stopped
  void (*end_work)();                       // the screen's own end of its work, after a close
};
extern shell_hooks_class shell_hooks;
void MACIBM_reset_hooks();  // back to the defaults
