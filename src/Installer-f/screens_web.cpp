// The web update flow's screens: the pages of web_flow drawn into the
// wizard's record, with the copy picker and the disk-space panel.
#include "Installer-f/web_screens.h"

#include "GenH/file_dialogs.h"
#include "Files/launch.h"
#include "GenH/butn.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
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

namespace {
// The parent folder of a folder path ("/a/b/" gives "/a/"); "" for "/".
std::string parent_folder(std::string p) {
  if (!p.empty() && p.back() == '/') p.pop_back();
  const size_t s = p.rfind('/');
  return s == std::string::npos ? std::string() : p.substr(0, s + 1);
}

// "Find It": the picked folder, or the nearest folder above it, that is an
// installed copy joins the registry; otherwise the choice stays as it was.
void find_installed_copy() {
  const std::string kept = dest_dir_path;
  std::string path = dest_dir_path;
  if (!GetFilePathFromUser(2, UI_tr("Please select your Flyvane 9 folder."), UI_tr("Select"), 0,
                           dest_dir_path, path))
    return;
  if (path != "/" && (path.empty() || path.back() != '/')) path += '/';
  const std::string picked = path;
  dest_dir_path = path;
  for (;;) {
    if (path_is_to_a_sim()) {
      register_new_flyvane();
      locate_all_flyvanes();
      return;
    }
    const std::string up = parent_folder(dest_dir_path);
    if (up.empty() || up == dest_dir_path) {
      __MACIBM_alert(0, UI_tr("You selected the folder path:"), picked,
                     UI_tr("But it does not appear to be an installed copy of Flyvane 9."),
                     UI_tr("Please be sure to select the folder that contains the Flyvane "
                           "application."),
                     t_alert, __FILE__, __LINE__);
      dest_dir_path = kept;
      return;
    }
    dest_dir_path = up;
  }
}
}  // namespace

void web_pick_install() {
  if (all_skysuites.size() == 1 && dest_dir_path.empty()) dest_dir_path = all_skysuites[0];
  const int n = static_cast<int>(all_skysuites.size());
  for (int i = 0; i < n; ++i) {
    const std::string copy = all_skysuites[i];
    int on = dest_dir_path == copy;
    if (BTN_bool(250, 400 - 25.0f * i, &on, "|-" + copy, 1)) dest_dir_path = copy;
  }
  const std::string q = UI_tr("Is the copy of Flyvane 9 you're looking for missing from this list?");
  OGL_string(48, 230, 400 - 25.0f * n, q, 400, font_regular, 0);
  const float tw = str_dx(q);
  const float x = tw > 400 ? 685 : 285 + tw;
  if (BTN_action(x, 403 - 25.0f * n, 100, 0, 1, UI_tr("Find It"), "-")) find_installed_copy();
}

int web_disk_space(const std::string& enough_text, const std::string& short_text) {
  std::string text;
  int draw = 0;
  const int ok = disk_space_panel(enough_text, short_text, text, draw);
  if (draw) OGL_string(48, 220, 108, text, 560, font_regular, 0);
  return ok;
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
  web_pick_install();
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
  const int r = net_check_disk_page(first_frame, p, web_disk_space);
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
