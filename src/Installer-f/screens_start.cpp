// The start screen, and starting an installed copy of the simulator.
#include <unistd.h>

#include <cerrno>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/launch.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "Installer-f/discs.h"
#include "Installer-f/flow_parts.h"
#include "Installer-f/registry.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/wizard_rules.h"
#include "UTL/localize.h"

wizard_screen_fn g_wizard = dvd_start;
int dvd_install_is_running = 0;
int repair_is_running = 0;
int scenery_install_is_running = 0;

namespace {
void add_choice(wizard_screen& s, const char* key, wizard_screen_fn target) {
  s.choices.push_back(UI_tr(key));
  s.choice_funcs.push_back(target);
}
}  // namespace

int dvd_start(int first_frame, wizard_screen& s) {
  if (first_frame) {
    locate_all_flyvanes();
    step_names.clear();
    step_funcs.clear();
    const struct {
      const char* name;
      wizard_screen_fn fn;
    } steps[] = {{"Welcome", dvd_start},
                 {"Pick Destination", dvd_pick_install},
                 {"License", see_eula},
                 {"Select Scenery", dvd_scenery_install},
                 {"Install", dvd_run_install},
                 {"Finish", dvd_done_install}};
    for (const auto& st : steps) {
      step_names.push_back(UTL_translate_string(st.name));
      step_funcs.push_back(st.fn);
    }
  }
  s.title = UTL_translate_string("Flyvane 9 Installer");
  s.back_screen = nullptr;
  s.next_screen = nullptr;
  UTIL_scan_dvd();

  if (dvd_path.empty()) {
    s.text = UTL_translate_string("Please insert Flyvane 9 DVD number one to begin.");
  } else if (install_name == no_install_name || stg.dir_state == 2) {
    s.text = UTL_translate_string("This DVD does not appear to be an Flyvane 9 DVD.");
  } else if (stg.dir_state == 3 && all_skysuites.empty()) {
    if (stg.disc_has_sim) {
      s.text = UTL_string_sub(
          UTL_translate_string("Welcome to the Flyvane 9 Installer.  I will guide you through "
                               "the process of installing %1:install name%."),
          install_name);
      s.next_screen = dvd_pick_install;
    } else {
      s.text = UTL_string_sub(
          UTL_translate_string("This DVD (%1:dvd name%) contains global scenery.  You must "
                               "install the sim before you install the global scenery."),
          install_name);
    }
  } else if (stg.dir_state == 3) {
    s.text = UTL_translate_string(
        "You already have Flyvane 9 installed on this computer.  What would you like to do?");
    add_choice(s, "Run Flyvane Now", dvd_pick_run_sim);
    if (stg.disc_has_scenery) add_choice(s, "Add Or Remove Scenery", dvd_pick_scenery);
    if (stg.disc_has_sim) {
      add_choice(s, "Repair Flyvane", dvd_pick_repair);
      add_choice(s, "Install A Second Copy of Flyvane", dvd_pick_install);
    }
  }
  return 0;
}

int dvd_pick_run_sim(int first_frame, wizard_screen& s) {
  s.title = UTL_translate_string("Run Flyvane");
  s.back_screen = dvd_start;
  s.next_screen = dvd_do_run_sim;
  // Another flow may have left any folder here: only an installed copy runs.
  if (first_frame) clear_stale_dest_dir();
  if (all_skysuites.size() == 1) {
    dest_dir_path = all_skysuites[0];
    return 1;
  }
  UTIL_pick_install();
  if (dest_dir_path.empty()) s.next_screen = nullptr;
  if (all_skysuites.size() > 1)
    s.text = UTL_translate_string(
        "You have more than one copy of Flyvane 9 installed on this computer.  ");
  s.text += UTL_translate_string("Please pick which copy of Flyvane 9 you would like to run.");
  return 0;
}

namespace {
// The simulator that would not start, shown until the user goes back.
std::string run_failure;
}  // namespace

int dvd_do_run_sim(int first_frame, wizard_screen& s) {
  if (first_frame) run_failure.clear();
  if (run_failure.empty()) {
    const std::string app = installed_sim_app(dest_dir_path);
    const std::string exe = APL_bundle_executable(app);
    // A simulator that is missing or cannot run must not end the installer
    // as if it had started.
    int err = 0;
    if (dest_dir_path.empty() || !file_exists(exe)) err = ENOENT;
    else if (access(exe.c_str(), X_OK) != 0) err = errno;
    else err = launch_app(app, "", 1);  // returns only when the start failed
    if (err == EAGAIN || err == ENOMEM) return 0;  // the fork: try again next frame
    run_failure = exe;
    __MACIBM_alert(0, UTL_translate_string("Flyvane 9 could not be started."),
                   UTL_string_sub(UTL_translate_string("Program: %1:file%"), exe),
                   UTL_string_sub(UTL_translate_string("Error: %1:message%."), error_str(err)),
                   "", t_alert, __FILE__, __LINE__);
  }
  s.title = UTL_translate_string("Run Flyvane");
  s.text = UTL_translate_string("Flyvane 9 could not be started.") + "\n\n" +
           UTL_string_sub(UTL_translate_string("Program: %1:file%"), run_failure);
  s.back_screen = dvd_start;
  return 0;
}
