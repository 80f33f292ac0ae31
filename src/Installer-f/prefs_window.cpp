// The installer preferences window: platform, action log, download streams
// and proxy, kept in stg and the HTTP front end and written at close-down.
#include <algorithm>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/stg.h"
#include "Installer-f/web_screens.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/http.h"
#include "UTL/xer.h"

namespace {
const int k_prefs_window = 2;
}

void prefs_window_frame() {
  OGL_plot_back_col();
  BTN_fillwin(1, 24);
  float nx = 0, ny = 0, nx2 = 0, ny2 = 0;
  BTN_subwin(0, 16, -1, -1, -1, 70, UI_tr("Proxy (if you are behind a firewall with a Proxy)"),
             &nx, &ny);
  BTN_subwin(0, 16, -1, ny, -1, -1, UI_tr("General Preferences"), &nx2, &ny2);

  int entry = prefs_platform_entry();
  BTN_textlist(250, 300, &entry, UI_tr("Macintosh-Windows-Linux"),
               UI_tr("Operating System to download Flyvane for:|(Install and copy the entire "
                     "Flyvane folder to another computer if you like)"));
  BTN_bool(40, 250, &stg.log_actions,
           UI_tr("|Log installer actions. Turn this on to output the installer file downloads "
                 "and stuff to the file log.txt."),
           0);
  int ticked = prefs_streams_ticked();
  BTN_bool(40, 200, &ticked,
           UI_tr("|Manually set the number of download streams. Typically leave this OFF, and "
                 "the installer will find the best number of streams for you."),
           0);
  if (ticked) {
    // A box just ticked shows 1, not the automatic 0.
    stg.stream_count = std::clamp(stg.stream_count, 1, 4);
    BTN_int_range(400, 150, &stg.stream_count, 1, 1, 4, "");
  }
  BTN_enterstring(85, 40, &http.proxy_host, 65, UI_tr("-proxy host"), 455, 1);
  BTN_enterstring(85, 20, &http.proxy_port_text, 65, UI_tr("-proxy port"), 455, 1);
  prefs_after_widgets(entry, ticked);
}

namespace {
void (*g_menus)() = nullptr;  // the frame's own menu drawing while the window is up

// The window's widgets inside the shell's frame, after its events and its
// focus ring and before the menus: the frame's trace and scripted input see
// them like any window's, and the menus stay on top.
void prefs_then_menus() {
  if (mnw.window_type == k_prefs_window) prefs_window_frame();
  if (g_menus) g_menus();
}
}  // namespace

void handle_prefs() {
  if (!BTN_modal.startwind || !BTN_modal.event_proc) {
    xer << "WARNING: no window for the preferences.\n";
    return;
  }
  BTN_modal.startwind(k_prefs_window, 0);
  if (BTN_modal.event_proc == MACIBM_event_proc && shell_hooks.standard_gui) {
    g_menus = shell_hooks.standard_gui;
    shell_hooks.standard_gui = prefs_then_menus;
    while (mnw.window_type == k_prefs_window && !app_done) MACIBM_event_proc();
    shell_hooks.standard_gui = g_menus;
    g_menus = nullptr;
    return;
  }
  while (mnw.window_type == k_prefs_window && !app_done) {
    prefs_window_frame();
    BTN_modal.event_proc();
  }
}
