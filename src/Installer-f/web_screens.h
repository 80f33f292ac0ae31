// The web flows' screens as the wizard frame runs them, beside what
// screens.h declares: the licence screen as the demo flow shows it, the
// widgets the web pages need, and the installer's preferences window.
#pragma once

#include <string>

#include "Installer-f/web_flow.h"
#include "Installer-f/wizard_screen.h"

// The licence screen of the web demo flow: back to demo_start, on to
// demo_get_updates while the agreement box is ticked.
int demo_see_eula(int first_frame, wizard_screen& s);

// The screen function of a web page's target; null for none (and for
// dvd_start, which no web screen leads to).
wizard_screen_fn web_screen_for(web_target t);
// Copies a filled page into the frame's record, its targets mapped.
void web_page_to_screen(const web_page& p, wizard_screen& s);
// Replaces the wizard's step list by a flow's.
void web_install_steps(const std::vector<web_step>& steps);

// The installer preferences window (logical window 2): runs its frames
// until the shell switches to another logical window.
void handle_prefs();
// One pass of its widgets, without the shell's frame.
void prefs_window_frame();
