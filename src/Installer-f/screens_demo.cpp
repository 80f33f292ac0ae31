// The web demo flow's screens: the pages of web_flow drawn into the
// wizard's record, with the licence, the destination's widgets and the
// disk-space panel.
#include "GenH/file_dialogs.h"
#include "GenH/butn.h"
#include "GenH/ui_items.h"
#include "Installer-f/flow_parts.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/web_screens.h"
#include "Installer-f/wizard_globals.h"
#include "OGL/ogl_draw.h"

int demo_start(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = demo_start_page(first_frame, p);
  if (first_frame) web_install_steps(demo_step_list());
  web_page_to_screen(p, s);
  BTN_bool(250, 270, &stg.get_beta,
           UI_tr("|Get the new beta as a demo if available. Leave this off unless you want to "
                 "participate in the Flyvane beta program!"),
           0);
  return r;
}

int demo_see_eula(int, wizard_screen& s) {
  return licence_screen(s, demo_start, demo_get_updates);
}

int demo_get_updates(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = demo_get_updates_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}

int demo_pick_dest(int first_frame, wizard_screen& s) {
  int changed = 0;
  if (demo_pick_dest_begin(first_frame, changed)) {
    s.next_screen = demo_run_patch;  // back to the running install
    return 1;
  }
  const std::string change = UI_tr("Change Destination");
  const int w = static_cast<int>(str_dx(change) + 21);
  const std::string name_label = UI_tr("Install Name:");
  const int lw = static_cast<int>(str_dx(name_label));
  if (BTN_action(290, 203, w, 0, 1, change, "-")) {
    std::string folder = demo_dest.parent_dir;
    if (GetFilePathFromUser(2, UI_tr("Pick a folder to install the Flyvane 9 demo into."),
                            UI_tr("Select"), 0, demo_dest.parent_dir, folder))
      demo_parent_picked(folder, changed);
  }
  const int x = static_cast<int>(w * 0.5f + 300 + 10 + lw);
  if (BTN_enterstring(x, 200, &demo_dest.install_folder, 256, "-" + name_label, 760 - x, 0))
    changed = 1;
  web_page p;
  const int r = demo_pick_dest_page(changed, p, UTIL_disk_space);
  web_page_to_screen(p, s);
  return r;
}

int demo_run_patch(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = demo_run_patch_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}

int demo_done(int first_frame, wizard_screen& s) {
  web_page p;
  const int r = demo_done_page(first_frame, p);
  web_page_to_screen(p, s);
  return r;
}
