// The web update flow's screens: the pages of web_flow drawn into the
// wizard's record, with the copy picker and the disk-space panel.
#include "Installer-f/web_screens.h"

#include "GenH/file_dialogs.h"
#include "Files/launch.h"
#include "GenH/butn.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "Installer-f/flow_parts.h"
#include "Installer-f/registry.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/wizard_rules.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_font.h"
#include "UTL/xer.h"

// The wizard frame ends the program through this screen.
int wizard_quit(int first_frame, wizard_screen& screen);

wizard_screen_fn web_screen_for(web_target t) {
  switch (t) {
    case web_target::none:
    case web_target::dvd_start:
      return nullptr;
    case web_target::net_start: return net_start;
    case web_target::net_pick_dest: return net_pick_dest;
    case web_target::net_get_updates: return net_get_updates;
    case web_target::net_check_disk: return net_check_disk;
    case web_target::net_run_patch: return net_run_patch;
    case web_target::net_done: return net_done;
    case web_target::demo_start: return demo_start;
    case web_target::see_eula: return demo_see_eula;
    case web_target::demo_get_updates: return demo_get_updates;
    case web_target::demo_pick_dest: return demo_pick_dest;
    case web_target::demo_run_patch: return demo_run_patch;
    case web_target::demo_done: return demo_done;
    case web_target::wizard_quit: return wizard_quit;
    case web_target::run_sim: return dvd_do_run_sim;
  }
  return nullptr;
}

void web_page_to_screen(const web_page& p, wizard_screen& s) {
  s.title = p.title;
  s.text = p.text;
  s.progress_text = p.progress_text;
  s.progress = p.progress;
  s.back_screen = web_screen_for(p.back);
  s.next_screen = web_screen_for(p.next);
  s.show_servers = p.show_servers;
  s.choices = p.choices;
  s.choice_funcs.clear();
  for (web_target t : p.choice_targets) s.choice_funcs.push_back(web_screen_for(t));
  s.on_cancel = p.on_cancel;
}

void web_install_steps(const std::vector<web_step>& steps) {
  step_names.clear();
  step_funcs.clear();
  for (const web_step& st : steps) {
    step_names.push_back(st.name);
    step_funcs.push_back(web_screen_for(st.screen));
  }
}

// ---- The screens

int net_start(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = net_start_page(first_frame, p);
  if (first_frame) web_install_steps(net_step_list());
  web_page_to_screen(p, s);
  BTN_bool(250, 400, &stg.get_beta,
           UI_tr("|Check for new betas as well as updates. Leave this off unless you want to "
                 "participate in the Flyvane beta program!"),
           0);
  return r;
}

int net_pick_dest(int first_frame, wizard_screen& s) {
  web_page p;
  // The picker runs first: the page decides Continue from its choice.
  UTIL_pick_install();
  const int r = net_pick_dest_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}

int net_get_updates(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = net_get_updates_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}

int net_check_disk(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = net_check_disk_page(first_frame, p, UTIL_disk_space);
  web_page_to_screen(p, s);
  return r;
}

int net_run_patch(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = net_run_patch_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}

int net_done(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = net_done_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}
