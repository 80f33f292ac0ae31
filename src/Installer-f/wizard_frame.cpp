// The wizard's frame: background, panels, step list, the current screen's
// record drawn and acted on, and the three navigation buttons.
#include "Installer-f/wizard_frame.h"

#include <cmath>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/script.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/screens.h"
#include "Installer-f/servers.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/wizard_rules.h"
#include "OGL/colr.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_font.h"

namespace {
// The words on the seven button images, in English: the keys scripts click.
const char* const k_image_keys[7] = {"Quit",        "Go Back", "Continue", "Select All",
                                     "Select None", "Cancel",  "Done"};

wizard_screen_fn last_screen = nullptr;
// The Quit button's action of the screen last drawn, for a close of the window.
void (*drawn_on_cancel)() = nullptr;
int close_requested = 0;

int language_index() { return mnw.language >= 0 && mnw.language <= 5 ? mnw.language : 0; }
}  // namespace

int interface_rect(float x, float y, int image, int align, int* width_out, int enabled,
                   int style) {
  float left, right;
  btn_cut_edges(image, language_index(), left, right);
  const wiz_rect r = interface_rect_box(x, y, image, align, language_index(), width_out);
  colr.assign(107, 1, 1, 1);
  const int inside = wiz_rect_holds(r, mnw.mouse_x, mnw.mouse_y);
  const button_look look = interface_rect_look(enabled, style, inside, mnw.mouse_held);
  const float w = r.x1 - r.x0;
  BTN_frame1(look.frame_kind, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2, w + 20, 107);
  OGL_2dquad(413, 107, look.alpha, r.x0, r.y0, left / 1024, look.t0, r.x0, r.y1, left / 1024,
             look.t1, r.x1, r.y1, right / 1024, look.t1, r.x1, r.y0, right / 1024, look.t0, 1, 5);
  const int img = image >= 0 && image <= 6 ? image : 0;
  UI_item_add(k_image_keys[img], r.x0, r.y0, r.x1, r.y1, enabled && style != 2, 0);
  return mnw.mouse_clicked && inside;
}

int wizard_quit(int, wizard_screen&) {
  app_done = 1;
  return 1;
}

void APP_handlemenu(int) {}
void function_key(int) {}

void wizard_reset_frame() { last_screen = nullptr; }

void wizard_close_request() {
  // app_done at once, so that a question or window that is up ends too.
  close_requested = 1;
  app_done = 1;
}

void wizard_finish_close() {
  if (!close_requested) return;
  close_requested = 0;
  void (*cancel)() = drawn_on_cancel;
  drawn_on_cancel = nullptr;
  if (cancel) cancel();
}

void wizard_progress_bar(float progress, float& bar_width) {
  const float f = progress * 0.96f + 0.04f;
  if (!(f >= 0.04f)) bar_width = 20.8f;  // NaN too
  else if (f > 1) bar_width = 520;
  else bar_width = 520 * f;
}

void APP_update() {
  // 1. the repeating background tile
  colr.assign(107, 1, 1, 1);
  const float W = static_cast<float>(mnw.window_dx), H = static_cast<float>(mnw.window_dy);
  OGL_2dquad(415, 107, 1, -mnw.origin_x, -mnw.origin_y + H, 0, H / 1024, -mnw.origin_x + W,
             -mnw.origin_y + H, W / 1024, H / 1024, -mnw.origin_x + W, -mnw.origin_y, W / 1024,
             0, -mnw.origin_x, -mnw.origin_y, 0, 0, 1, 4);

  // 2. the two panels
  BTN_frame2(23, 10, 50, 190, 453, "", 1);
  BTN_frame2(23, 210, 50, 580, 453, "", 1);

  // 3. the steps, against the screen as it stands before the callback
  const wizard_screen_fn current = g_wizard;
  for (size_t i = 0; i < step_names.size(); ++i) {
    const bool on = i < step_funcs.size() && step_funcs[i] == current && current;
    OGL_string(on ? 68 : 48, 30, 480 - 20.0f * i, step_names[i], 170,
               on ? font_bold : font_regular, 0);
  }

  // 4.
  if (!g_wizard) {
    app_done = 1;
    return;
  }

  // 5.
  wizard_screen screen;
  const int first = g_wizard != last_screen ? 1 : 0;
  last_screen = g_wizard;
  const int advance = g_wizard(first, screen);

  // 6.
  OGL_string(12, 500, 480, screen.title, 540, font_bold, 1);
  OGL_string(12, 230, 440, screen.text, 540, font_regular, 0);

  // 7.
  for (size_t j = 0; j < screen.choices.size(); ++j) {
    if (BTN_action(500, 350 - 25.0f * j, 250, 0, 1, screen.choices[j], "-") &&
        j < screen.choice_funcs.size())
      g_wizard = screen.choice_funcs[j];
  }

  // 8.
  if (screen.progress >= 0) {
    float w;
    wizard_progress_bar(screen.progress, w);
    BTN_frame1(4, 500 - mnw.origin_x, 155 - mnw.origin_y, 520, 107);
    BTN_frame1(5, 240 + w / 2 - mnw.origin_x, 155 - mnw.origin_y, w, 107);
    OGL_string(12, 242, 120, screen.progress_text, 520, font_regular, 0);
  }

  // 9.
  if (screen.show_servers && stg.server_count > 0) {
    const int n = stg.server_count < max_servers ? stg.server_count : max_servers;
    for (int k = 0; k < n; ++k) {
      const float y = 40.0f * n + 38 - 40.0f * k;
      BTN_is_int(30, y, &stg.server_choice, k, "");
      const std::string& d = server_desc[k];
      const size_t bar = d.rfind('|');
      OGL_string(48, 50, y, bar == std::string::npos ? std::string() : d.substr(bar + 1), 130,
                 font_regular, 0);
    }
  }

  // 10.
  const bool quits = screen.next_screen == wizard_quit;
  int width = 0;
  drawn_on_cancel = screen.on_cancel;
  if (!quits && interface_rect(30, 12, 0, 1, &width, 1, 0)) {
    drawn_on_cancel = nullptr;
    if (screen.on_cancel) screen.on_cancel();
    app_done = 1;
  }

  // 11.
  const int has_next = screen.next_screen != nullptr;
  if (interface_rect(770, 12, quits ? 0 : 2, -1, &width, has_next, has_next ? 0 : 2) &&
      has_next)
    g_wizard = screen.next_screen;

  // 12.
  const int has_back = screen.back_screen != nullptr;
  if (interface_rect(760 - width, 12, 1, -1, nullptr, has_back, has_back ? 0 : 2) && has_back)
    g_wizard = screen.back_screen;

  // 13.
  if (advance && screen.next_screen) g_wizard = screen.next_screen;
  // A new screen is shown at once, not after the rest of the tick.
  if (g_wizard != current) MACIBM_skip_event_wait = 1;

  wizard_trace(current, screen);
}

std::string wizard_screen_name(wizard_screen_fn fn) {
  static const struct {
    wizard_screen_fn fn;
    const char* name;
  } k_screens[] = {
    {dvd_start, "dvd_start"},
    {dvd_pick_run_sim, "dvd_pick_run_sim"},
    {dvd_do_run_sim, "dvd_do_run_sim"},
    {dvd_pick_install, "dvd_pick_install"},
    {see_eula, "see_eula"},
    {dvd_scenery_install, "dvd_scenery_install"},
    {dvd_run_install, "dvd_run_install"},
    {dvd_switch_disk_install, "dvd_switch_disk_install"},
    {dvd_verify_disk_install, "dvd_verify_disk_install"},
    {dvd_done_install, "dvd_done_install"},
    {dvd_pick_repair, "dvd_pick_repair"},
    {dvd_scan_repair, "dvd_scan_repair"},
    {dvd_confirm_repair, "dvd_confirm_repair"},
    {dvd_install_repair, "dvd_install_repair"},
    {dvd_switch_disk_repair, "dvd_switch_disk_repair"},
    {dvd_verify_disk_repair, "dvd_verify_disk_repair"},
    {dvd_done_repair, "dvd_done_repair"},
    {dvd_pick_scenery, "dvd_pick_scenery"},
    {dvd_scan_scenery, "dvd_scan_scenery"},
    {dvd_edit_scenery, "dvd_edit_scenery"},
    {dvd_install_scenery, "dvd_install_scenery"},
    {dvd_switch_disk_scenery, "dvd_switch_disk_scenery"},
    {dvd_verify_disk_scenery, "dvd_verify_disk_scenery"},
    {dvd_done_scenery, "dvd_done_scenery"},
    {net_start, "net_start"},
    {net_pick_dest, "net_pick_dest"},
    {net_get_updates, "net_get_updates"},
    {net_check_disk, "net_check_disk"},
    {net_run_patch, "net_run_patch"},
    {net_done, "net_done"},
    {demo_start, "demo_start"},
    {demo_pick_dest, "demo_pick_dest"},
    {demo_get_updates, "demo_get_updates"},
    {demo_run_patch, "demo_run_patch"},
    {demo_done, "demo_done"},
    {wizard_quit, "wizard_quit"}};
  if (!fn) return "";
  for (const auto& e : k_screens)
    if (e.fn == fn) return e.name;
  return "";
}

void wizard_trace(wizard_screen_fn shown, const wizard_screen& screen) {
  MACIBM_screen_state(wizard_screen_name(shown), {screen.title, screen.text});
}
