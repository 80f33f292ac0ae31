// The window layer: the one program window with its OpenGL context, the
// event queue, the pointer, the modifier keys, the cursor and the screen.
// Everything the shell needs of SDL goes through here; no other folder
// includes SDL.
#pragma once

#include <cstdint>
#include <vector>

// Event kinds of the local event record. 1..8 keep the classic numbering the
// shell dispatches on; the rest are this layer's own.
enum {
  lin_null_event = 0,
  lin_mouse_down = 1,
  lin_mouse_up = 2,
  lin_key_down = 3,
  lin_key_up = 4,
  lin_auto_key = 5,
  lin_update = 6,     // the window was shown
  lin_activate = 8,   // focus came (modifiers carry lin_mod_active) or went
  lin_wheel = 10,     // whole wheel steps in delta, up positive
  lin_scroll = 11,    // smooth scrolling, delta in quarter steps
  lin_text = 20,      // typed text (UTF-8) in text
  lin_close = 21,     // the window manager's close button, SIGINT, SIGTERM or SIGHUP
  lin_motion = 22,    // the pointer moved (its position is in h, v)
  lin_expose = 23,    // the window's picture was lost and must be drawn again
};

// Modifier bits, as the key handling of the shell expects them.
enum {
  lin_mod_active = 0x0001,
  lin_mod_cmd = 0x0100,
  lin_mod_shift = 0x0200,
  lin_mod_caps = 0x0400,
  lin_mod_option = 0x0800,
  lin_mod_control = 0x1000,
};

struct LIN_event_record {
  int what;
  uint32_t message;  // keys: character code in the low byte, the scancode above it
  int h, v;          // pointer in window pixels, from the top-left corner
  int modifiers;
  int button;        // 1 left, 2 right, 3 middle
  int delta;         // wheel steps (lin_wheel) or quarter steps (lin_scroll)
  char text[32];     // lin_text: NUL-terminated UTF-8
};

// Screen size and depth in pixels and bits. A test may pretend another screen.
void LIN_screen_info(int* width, int* height, int* depth);
void LIN_set_screen_override(int width, int height);  // 0, 0 restores the real one

struct LIN_pixel_format {
  int rgba, double_buffer, red, green, blue, alpha, depth, accelerated;
};

// Creates the window at (x, y) of the screen, width by height pixels,
// borderless when asked, with a legacy OpenGL context (no version request,
// double buffer, depth 32, else 24, else 16; multisampled when samples > 0)
// made current. 1 on success; on failure *error says why.
int LIN_window_open(int x, int y, int width, int height, int borderless, int samples,
                    const char** error);
void LIN_window_close();
int LIN_window_is_open();
// When the connection to the display breaks, close_down runs (on the main
// thread, inside the X call that met it; no call of this layer may reach the
// display any more) and the process then ends with status 1.
void LIN_on_display_lost(void (*close_down)());
int LIN_display_lost();  // 1 once the connection broke
void LIN_window_position(int* x, int* y);
void LIN_window_size(int* width, int* height);
int LIN_window_borderless();
void LIN_window_title(const char* title);
void LIN_pixel_format_of(LIN_pixel_format* out);

// A second context sharing the window context's objects, for a worker
// thread; null when it cannot be made. Make it current on the worker with
// LIN_context_make_current. Must be called on the main thread.
void* LIN_context_create_shared();
int LIN_context_make_current(void* ctx);
void LIN_context_destroy(void* ctx);

void LIN_swap_buffers();
// The window's picture as its display server holds it (what the user sees
// of it), RGBA with the bottom row first, as OpenGL draws pixels; 0 when the
// display cannot say (no window, not X11).
int LIN_window_picture(std::vector<unsigned char>* rgba, int* width, int* height);
// 0 none, 1 every frame, 2 every other frame; 1 when the driver took it.
int LIN_set_swap_interval(int interval);
void* LIN_gl_proc_address(const char* name);
// What the window layer's last failed call said.
const char* LIN_last_error();

// Next event into *e: 1 when one was there, else 0. With wait_ms > 0 it
// waits at most that long for one.
int LIN_next_event(LIN_event_record* e, int wait_ms);
// Drops the key presses, typed text and mouse moves, presses and wheel turns
// queued for the window; releases and a window close stay.
void LIN_flush_input();
// Drops every event still queued.
void LIN_flush_events();
// While another program's window has the user (a system dialog) and no
// frames run: drops the input as LIN_flush_input does and takes the window's
// exposes and close requests (its close button, SIGINT, SIGTERM, SIGHUP) out
// of the queue; which of them came, as lin_away_* bits.
enum { lin_away_expose = 1, lin_away_close = 2 };
int LIN_events_while_away();
// The pointer as the translated events left it, window pixels from the top-left.
void LIN_mouse_position(int* h, int* v);
// Modifier bits as the translated key events left them.
int LIN_modifier_keys();
// Shows or hides the system cursor over the window.
void LIN_show_cursor(int show);
int LIN_cursor_shown();
// Moves the pointer inside the window and remembers the position.
void LIN_warp_mouse(int h, int v);

// Scripted input for tests: each becomes a real event of the queue and takes
// the same translation path as the user's.
void LIN_script_move(int h, int v);
void LIN_script_button(int down, int button);  // at the last scripted/known position
void LIN_script_wheel(float steps);            // whole steps are a wheel, fractions smooth
void LIN_script_key(int down, int keycode, int mods, int repeat);  // keycode as SDL names it
void LIN_script_text(const char* utf8);
void LIN_script_close();
