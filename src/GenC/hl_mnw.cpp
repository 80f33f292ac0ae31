// One frame of the program: events, worker failures, the clock, the
// application's frame, hover help, cursor, menus and the buffer swap; the
// mouse-down and mouse-up handling of dialog close boxes and menus.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/script.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_draw.h"
#include "OGL/ren.h"
#include "OGL/xcam.h"
#include "OOPS_cpp/tman.h"
#include "Thread/thread_layer.h"
#include "UTL/localize.h"
#include "UTL/xtim.h"

int escape_hit = 0, delete_hit = 0;
int g_window_focused = 0;
long MACIBM_frame_count = 0;
int MACIBM_skip_event_wait = 0;

namespace {
int scroll_remainder = 0;  // the handler's remainder: smooth-scroll quarter steps not yet a wheel step
int OS_mouse_showing = 1;
int mouse_was_plugin = 0;

// The pump's wait: what is left of the tick (1/60 s) since the last frame
// began, whole milliseconds rounded down. A frame that takes 10 ms to draw
// still comes 60 times a second instead of once per 10 ms plus a tick. Wall
// time, as the wait itself is: the program clock may be a test's.
using wall_clock = std::chrono::steady_clock;
int rest_of_tick_ms(wall_clock::time_point frame_began) {
  const auto left = frame_began + std::chrono::microseconds(1000000 / 60) - wall_clock::now();
  return left.count() <= 0
             ? 0
             : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
}

void no_op() {}
void no_op_int(int) {}
void zap_boxes(int hot) { BTN_zap_boxes(hot); }
void no_key(const LIN_event_record&) {}
void no_text(const char*) {}
int no_movie() { return 0; }
void quit_as_the_wizard_would() { app_done = 1; }
void default_app_update() { shell_hooks.plot_back_col(); }
void viewport_2d() { OGL_viewport(2); }

// The start-up panel: its frame, the maker's address, the progress trough
// and bar across the layout, and the message; shown at once. The frames are
// the interface image's, so they wait until it is loaded: a plain background
// until then, never the grey placeholder.
void default_show_init_panel(const std::string& msg, float progress) {
  const float x0 = mnw.layout_x;
  shell_hooks.plot_back_col();
  const bool art = tman.fetch_ref(410) != nullptr;
  if (art) BTN_frame2(18, x0 + 10, 31, 460, 200, "", 1);
  OGL_string(52, x0 + 22, 210, "www.tessaline-labs.example", 440, font_regular, 0);
  if (art) {
    const float p = std::clamp(progress, 0.02f, 1.0f);
    BTN_frame1(4, x0 + 512, 15, 1008, 0);
    BTN_frame1(5, x0 + 8 + p * 504, 15, p * 1008, 0);
  }
  OGL_string(64, x0 + 22, 60, msg, 440, font_regular, 0);
  shell_hooks.swap();
}

// The hover help: white text on the dark help panel, which keeps it legible
// over the light panels of every window.
void default_draw_help(const help_box& b, const std::string& text) {
  BTN_frame2(17, b.x - 10, b.y - 10, 420, b.h + 20, "", 1);
  OGL_string(52, b.x + 3, b.y + b.h - 10, text, 394, font_regular, 0);
}

// A cursor sprite out of the interface image (slot 410).
void default_draw_cursor(const cursor_sprite& c) {
  const float k = 1.0f / 512.0f;
  OGL_2dquad(410, 52, 1.0f, c.x1, c.y1, c.s0 * k, c.t0 * k, c.x1, c.y2, c.s0 * k, c.t1 * k, c.x2,
             c.y2, c.s1 * k, c.t1 * k, c.x2, c.y1, c.s1 * k, c.t0 * k, 1, 5);
}

bool in_rect(float x, float y, float x1, float y1, float x2, float y2) {
  return x1 <= x && x <= x2 && y1 <= y && y <= y2;
}
bool mouse_in(const menu_struct& m) {
  return in_rect(mnw.mouse_x, mnw.mouse_y, m.x1, m.y1, m.x2, m.y2);
}

bool closable(int type) {
  return type != 0 && type != 994 && type != 995 && type != 996 && type != 998 && type != 999;
}
}  // namespace

// ------------------------------------------------------------------ hooks

namespace {
// Set at compile time, so a hook is never null, even for static initialisers.
constexpr shell_hooks_class k_default_hooks = {
    default_app_update,  no_op_int,         quit_as_the_wizard_would, no_key,
    no_text,             no_op,             BTN_begin_focus_ring,     no_op,
    zap_boxes,           OGL_pix_specs,     viewport_2d,              OGL_sbuff,
    OGL_plot_back_col,   default_draw_help, default_draw_cursor,      default_show_init_panel,
    MACIBM_load_interface_textures, MACIBM_report_texture_failures, no_movie,    no_op,
    no_op,               no_op};
}  // namespace

shell_hooks_class shell_hooks = k_default_hooks;

void MACIBM_reset_hooks() { shell_hooks = k_default_hooks; }

// ------------------------------------------------------------------ frame

int MACIBM_load_mxy(void*, int x, int y) {
  // The pointer stands at the centre of its pixel, (x + 0.5, y + 0.5) from
  // the top left: an edge shared by two boxes drawn side by side then falls
  // between pixels, and each pixel hits the box it shows.
  mnw.mouse_x = (x + 0.5f) / mnw.scale;
  mnw.mouse_y = (mnw.window_dy - y - 0.5f) / mnw.scale;
  mnw.mouse_window = mnw.main_window_type;
  mnw.mouse_x -= mnw.origin_x;
  mnw.mouse_y -= mnw.origin_y;
  return 1;
}

void MACIBM_movemouse(int x, int y, int) {
  mnw.mouse_x = static_cast<float>(x + (mnw.sec_mon_inuse ? mnw.window_dx : 0));
  mnw.mouse_y = static_cast<float>(y);
  LIN_warp_mouse(x, mnw.window_dy - y);
}

void MACIBM_event_proc() {
  static int win_started = 0;
  xtim.profile_chart("init", 0);
  return_hit = escape_hit = delete_hit = 0;
  mnw.mouse_clicked = mnw.mouse_released = mnw.key_hit = 0;
  if (mnw.window_type == -1) mnw.window_type = 0;
  if (!win_started) {
    win_started = 1;
    MACIBM_startwind(mnw.window_type, 0);
  }
  xtim.profile_chart("startwin", 0);

  int h = 0, v = 0;
  LIN_mouse_position(&h, &v);
  MACIBM_load_mxy(mnw.windows[0], h, v);

  // Drain the queue; when it was empty, wait a little for the next event.
  LIN_event_record e;
  int got = 0;
  while (LIN_next_event(&e, 0)) {
    got = 1;
    APL_handlewin(&e);
  }
  static wall_clock::time_point frame_began;
  if (!got && !MACIBM_skip_event_wait) {
    // A picture that moves keeps to the tick, counted from the frame's start.
    int wait = MACIBM_event_wait_ms();
    if (wait == 16) wait = rest_of_tick_ms(frame_began);
    while (LIN_next_event(&e, wait)) {
      wait = 0;
      APL_handlewin(&e);
    }
  }
  frame_began = wall_clock::now();
  MACIBM_skip_event_wait = 0;
  shell_hooks.key_flush();
  xtim.profile_chart("event", 0);
  xtim.profile_chart("netlist", 0);

  if (mnw.window_type == 0) {
    THREAD_check_exception(1);
    if (mnw.window_type == 0) shell_hooks.texture_failures();
  }
  xtim.xtim_update();
  shell_hooks.run_repeat_keys();

  mnw.cursor_kind = 0;
  if (mnw.open_menu != -1) {
    const int n = menu.size() < menu_popup_slot ? static_cast<int>(menu.size()) : menu_popup_slot;
    for (int i = 0; i < n; ++i) {
      const menu_struct& m = menu[i];
      if (m.parent == -1 && !m.title.empty() && i != mnw.open_menu && mouse_in(m))
        MACIBM_handleclick(0);
    }
  }
  xtim.profile_chart("menu", 0);
  // A modal window drew before this frame: its items are what scripts see.
  UI_items_hold_for_scripts(mnw.dialog_up && (MACIBM_trace_on() || MACIBM_script_on()));
  shell_hooks.begin_focus_ring();

  if (!mnw.dialog_up) {
    shell_hooks.app_update();
    xtim.set_up = 0;
  }
  mouse_help_per_wind(mnw.window_type);
  shell_hooks.standard_gui();
  MACIBM_trace_frame();
  MACIBM_trace_items();   // FLY_TRACE
  MACIBM_script_frame();  // FLY_SCRIPT, before the swap for its screenshots

  OGL_frame_ends();
  if (!shell_hooks.movie_takes_frame()) shell_hooks.swap();
  xtim.profile_chart("sbuff", 0);
  ++MACIBM_frame_count;
  xtim.profile_chart("oglwork", 0);
  xtim.profile_chart("finish", 1);
}

// One tick; once the picture has stood still for half a second (no frame
// swapped) and no script drives the program, up to three ticks, but never
// past the moment the hover help or the idle cursor is due. An event ends
// the wait at once, so input is not slowed.
int MACIBM_event_wait_ms() {
  static long swapped = -1;
  static float still_since = 0;
  const float now = xtim.real_elapsed;
  if (OGL_frames_swapped() != swapped) {
    swapped = OGL_frames_swapped();
    still_since = now;
  }
  if (now - still_since < 0.5f || MACIBM_script_running()) return 16;
  float wait = 0.05f;
  for (const float due : {mnw.move_time + 1.0f, mnw.move_time + 10.0f})
    if (due > now) wait = std::min(wait, due - now);
  return std::max(1, static_cast<int>(std::ceil(wait * 1000.0f)));
}

void APL_handle_scroll(int delta) {
  const int s = scroll_remainder + delta;
  mnw.wheel_total += s / 4;
  scroll_remainder = s % 4;
}

int APL_scroll_remainder() { return scroll_remainder; }

void APL_handlewin(LIN_event_record* e) {
  // A key-down waits for the text input that may follow it; any other event
  // lets it go first, so the order of keys and clicks is kept.
  if (e->what != lin_text) shell_hooks.key_flush();
  switch (e->what) {
    case lin_key_down:
      shell_hooks.key_raw(*e);
      mnw.key_hit = 1;
      mnw.key_down = 1;
      break;
    case lin_key_up:
      shell_hooks.key_raw(*e);
      mnw.key_down = 0;
      break;
    case lin_auto_key:
      shell_hooks.key_raw(*e);
      mnw.key_hit = 1;
      break;
    case lin_mouse_down:
      // The click is hit-tested where it happened, even when the pointer
      // moved in the same frame.
      MACIBM_load_mxy(mnw.windows[0], e->h, e->v);
      mnw.right_button = e->button == 2 ? 1 : 0;
      mnw.mouse_clicked = 1;
      MACIBM_handleclick(0);
      break;
    case lin_mouse_up:
      MACIBM_load_mxy(mnw.windows[0], e->h, e->v);
      mnw.mouse_released = 1;
      MACIBM_handlerelease();
      break;
    case lin_motion:
      MACIBM_load_mxy(mnw.windows[0], e->h, e->v);
      break;
    case lin_update:
      OGL_frame_redraw();
      MACIBM_startwind(mnw.window_type, 0);
      break;
    case lin_expose:
      OGL_frame_redraw();
      break;
    case lin_activate:
      g_window_focused = (e->modifiers & lin_mod_active) ? 1 : 0;
      break;
    case lin_wheel:
      mnw.wheel_total += e->delta;
      break;
    case lin_scroll:
      APL_handle_scroll(e->delta);
      break;
    case lin_text:
      shell_hooks.text_input(e->text);
      break;
    case lin_close:
      shell_hooks.quit_request();
      break;
    default:
      break;
  }
}

void MACIBM_handleclick(int force_close) {
  const int type = mnw.window_type;
  if (closable(type)) {
    const bool in_y = mnw.win_dy - 20 <= mnw.mouse_y && mnw.mouse_y <= mnw.win_dy;
    const bool left = 0 <= mnw.mouse_x && mnw.mouse_x <= 25;
    const bool right = mnw.win_dx - 25 <= mnw.mouse_x && mnw.mouse_x <= mnw.win_dx;
    if (force_close || (in_y && (left || right))) {
      shell_hooks.zap_boxes(1);
      shell_hooks.swap();
      return_hit = 0;
      MACIBM_startwind(0, force_close);
      return;
    }
  }
  MACIBM_menu_mouse_down();
}

void MACIBM_handlerelease() { MACIBM_menu_mouse_up(); }

void MACIBM_report_texture_failures() {
  if (!tman.has_scene_load_fail() && !tman.has_plane_load_fail() && !tman.has_instl_load_fail())
    return;  // every frame: nothing allocated
  const std::string see_log =
      UTL_translate_string("Please see the log.txt file for a detailed list of missing files.");
  if (tman.has_scene_load_fail()) {
    __MACIBM_alert(0, UTL_translate_string("Some scenery textures could not be loaded."),
                   UTL_translate_string("This may be an installation problem or you may have a "
                                        "damaged add-on scenery package."),
                   see_log, "", t_alert, "GenC/hl_mnw", 1916);
    tman.mute_scene_load_fail();
  }
  if (mnw.window_type == 0 && tman.has_plane_load_fail()) {
    __MACIBM_alert(0,
                   UTL_translate_string("Some textures for the aircraft you selected could not "
                                        "be loaded."),
                   UTL_translate_string("This may be an installation problem or you may have a "
                                        "damaged add-on aircraft package."),
                   see_log, "", t_alert, "GenC/hl_mnw", 1917);
    tman.mute_plane_load_fail();
  }
  if (mnw.window_type == 0 && tman.has_instl_load_fail()) {
    __MACIBM_alert(0, UTL_translate_string("Some textures could not be loaded."),
                   UTL_translate_string("This may be an installation problem.  Run the "
                                        "installer/updater again to get these missing textures."),
                   see_log, "", t_alert, "GenC/hl_mnw", 1918);
    tman.mute_instl_load_fail();
  }
}

int has_shiftkey() { return (LIN_modifier_keys() & lin_mod_shift) ? 1 : 0; }
int has_shiftkey_wrap() { return has_shiftkey(); }
int has_optionkey() { return (LIN_modifier_keys() & lin_mod_option) ? 1 : 0; }
int has_controlkey() { return (LIN_modifier_keys() & (lin_mod_cmd | lin_mod_control)) ? 1 : 0; }
int has_capslock() { return (LIN_modifier_keys() & lin_mod_caps) ? 1 : 0; }

// -------------------------------------------------------- logical windows

namespace {
struct window_kind {
  int type;
  const char* title;
  float dx, dy;
};
const window_kind k_kinds[] = {
    {1, "EULA", 500, 300},
    {2, "Prefs", 700, 380},
    {992, "Livery", 561, 474},
    {993, "Version and Updates", 600, 300},
    {994, "BE ADVISED", 420, 250},
    {995, "SAY INTENTIONS", 300, 166},
    {996, "SAY INTENTIONS", 750, 146},
    {997, "SAY INTENTIONS", 700, 206},
    {998, "Open", 561, 474},
    {999, "Save", 330, 474},
};

float centred_origin(float pixels, float units) {
  const double o = std::round((pixels - mnw.scale * units) / 2.0);
  const float origin = static_cast<float>(static_cast<int>(o / mnw.scale));
  return origin < 0 ? 0 : origin;
}
}  // namespace

void MACIBM_startwind(int type, int) {
  shell_hooks.begin_focus_ring();
  plot_init_lights = 1;
  mouse_help_per_wind(type);
  shell_hooks.viewport_2d();

  mnw.dialog_up = 0;
  mnw.win_dx = static_cast<float>(mnw.window_dx);
  mnw.win_dy = static_cast<float>(mnw.window_dy);
  for (const window_kind& k : k_kinds)
    if (k.type == type) {
      stls.window_title = UTL_translate_string(k.title);
      mnw.win_dx = k.dx;
      mnw.win_dy = k.dy;
      mnw.dialog_up = 1;
    }
  BTN_unfocus_any();
  mnw.open_menu = -1;
  mnw.window_type = mnw.main_window_type = type;

  float W = static_cast<float>(mnw.window_dx);
  const float H = static_cast<float>(mnw.window_dy);
  if (2 * H < W && W < 3 * H) W /= 2;  // two screens side by side: centre on the left one
  mnw.origin_x = centred_origin(W, mnw.win_dx);
  mnw.origin_y = centred_origin(H, mnw.win_dy);

  mnw.mouse_held = mnw.mouse_clicked = mnw.wheel_total = 0;
  if (menu.size() > menu_popup_slot) {
    menu_struct& p = menu[menu_popup_slot];
    p.x1 = p.y1 = p.x2 = p.y2 = -1;
  }
}

int MACIBM_help_box(help_box* out) {
  if (stls.help_text.empty() || !(xtim.real_elapsed > mnw.move_time + 1.0f)) return 0;
  float h = static_cast<float>(static_cast<int>(stls.help_text.size() / 50) * 10 + 20);
  if (h < 60) h = 60;
  if (h > 300) h = 300;
  float x = mnw.mouse_x - 415;
  const float xlo = 10 - mnw.origin_x, xhi = mnw.window_dx - 10 - mnw.origin_x - 400;
  if (x < xlo) x = xlo;
  if (x > xhi) x = xhi;
  float y = mnw.mouse_y + 15;
  const float ylo = 10 - mnw.origin_y, yhi = mnw.window_dy - 20 - mnw.origin_y - h;
  if (y < ylo) y = ylo;
  if (y > yhi) y = yhi;
  *out = {x, y, h};
  return 1;
}

void MACIBM_cursor_sprite(int kind, cursor_sprite* out) {
  float s0 = 168, s1 = 198, t0 = 325, t1 = 355, dx = 0, dy = 0;
  const auto set = [&](float a, float b, float c, float d, float ex = 0, float ey = 0) {
    s0 = a, s1 = b, t0 = c, t1 = d, dx = ex, dy = ey;
  };
  const float held18 = mnw.mouse_held ? 360 : 328;
  switch (kind) {
    case 3: set(199, 261, 328, 357); break;
    case 4: set(199, 230, 328, 357, 6, 1); break;
    case 5: set(230, 261, 328, 357, -4, 1); break;
    case 6: set(199, 261, 291, 327); break;
    case 7: set(199, 230, 291, 327, 1, 1); break;
    case 8: set(230, 261, 291, 327, 0, 1); break;
    case 9: set(262, 326, 310, 357); break;
    case 10: set(262, 294, 310, 357, -3, 1); break;
    case 11: set(294, 326, 310, 357, 5, 1); break;
    case 12: set(487, 506, 309, 357); break;
    case 13: set(487, 506, 309, 333, 1, -5); break;
    case 14: set(487, 506, 333, 357, 1, 5); break;
    case 15: set(262, 326, 291, 309); break;
    case 16: set(262, 294, 291, 309); break;
    case 17: set(294, 326, 291, 309); break;
    case 18: set(held18, held18 + 30, 325, 355); break;
    case 19: set(held18, held18 + 30, 293, 323); break;
    case 21: set(168, 198, 293, 323); break;
    case 22: set(199, 239, 250, 290); break;
    case 23: set(456, 486, 325, 355); break;
    case 24: set(424, 454, 325, 355); break;
    default: break;  // 20 and above 24: the plain sprite
  }
  const float w = s1 - s0, h = t1 - t0;
  const float cx = mnw.mouse_x - dx, cy = mnw.mouse_y - dy;
  out->x1 = cx - std::floor(w / 2);
  out->y1 = cy - std::floor(h / 2);
  out->x2 = out->x1 + w;
  out->y2 = out->y1 + h;
  out->s0 = s0;
  out->s1 = s1;
  out->t0 = t0;
  out->t1 = t1;
}

void mouse_help_per_wind(int type) {
  help_box box;
  if (MACIBM_help_box(&box)) shell_hooks.draw_help(box, stls.help_text);
  stls.help_text.clear();
  xtim.profile_chart("help", 0);

  if (xtim.real_elapsed - mnw.move_time > 10.0f && mnw.window_type == 0) mnw.cursor_kind = 2;
  if (type >= 992 && type <= 999) mnw.cursor_kind = 0;
  const int show = mnw.cursor_kind > 1 ? 0 : 1;
  if (show != OS_mouse_showing) {
    LIN_show_cursor(show);
    OS_mouse_showing = show;
  }
  // A plug-in's cursor gives way to the arrow, which is the only system
  // cursor this window uses.
  mouse_was_plugin = mnw.cursor_kind == 1;
  if (mnw.cursor_kind >= 3) {
    cursor_sprite s;
    MACIBM_cursor_sprite(mnw.cursor_kind, &s);
    shell_hooks.draw_cursor(s);
  }
}

// ------------------------------------------------------------------ trace

namespace {
FILE* trace_file() {
  static FILE* f = nullptr;
  static int opened = 0;
  if (!opened) {
    opened = 1;
    const char* where = getenv("FLY_TRACE");
    if (where && *where) f = (where[0] == '-' && !where[1]) ? stderr : fopen(where, "a");
    if (f && f != stderr) setvbuf(f, nullptr, _IOLBF, 0);
  }
  return f;
}
}  // namespace

int MACIBM_trace_on() { return trace_file() != nullptr; }

void MACIBM_trace_line(const std::string& line) {
  if (FILE* f = trace_file()) {
    fprintf(f, "%s\n", line.c_str());
    fflush(f);
  }
}

void MACIBM_trace_frame() {
  static int last_type = -2, last_focus = -1;
  static std::string last_title;
  if (!MACIBM_trace_on()) return;
  if (mnw.window_type != last_type || stls.window_title != last_title) {
    last_type = mnw.window_type;
    last_title = stls.window_title;
    // The window's rectangle in window pixels from the top-left corner, as
    // xdotool aims.
    const int x = static_cast<int>(mnw.origin_x * mnw.scale);
    const int w = static_cast<int>(mnw.win_dx * mnw.scale);
    const int h = static_cast<int>(mnw.win_dy * mnw.scale);
    const int y = mnw.window_dy - static_cast<int>((mnw.origin_y + mnw.win_dy) * mnw.scale);
    char buf[96];
    snprintf(buf, sizeof(buf), "\" rect=%d,%d,%d,%d", x, y, w, h);
    MACIBM_trace_line("window " + std::to_string(last_type) + " title=\"" +
                      (mnw.dialog_up ? last_title : std::string()) + buf);
  }
  if (g_window_focused != last_focus) {
    last_focus = g_window_focused;
    MACIBM_trace_line("focus " + std::to_string(last_focus));
  }
}
