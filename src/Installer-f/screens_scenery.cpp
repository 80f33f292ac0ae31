// The scenery-editing flow: pick an installed copy, find which tiles it
// has, edit the selection on the world map, then the run screen's scenery
// form installs the new tiles and deletes the deselected ones.
#include "Installer-f/flow_parts.h"
#include "Installer-f/install_step.h"
#include "Installer-f/screens.h"
#include "Installer-f/selection.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/localize.h"


namespace {
std::vector<copy_flow_step> scenery_steps() {
  return {{UTL_translate_string("Welcome"), dvd_start},
          {UTL_translate_string("Select Flyvane"), dvd_pick_scenery},
          {UTL_translate_string("Scan Existing Scenery"), dvd_scan_scenery},
          {UTL_translate_string("Select New Scenery"), dvd_edit_scenery},
          {UTL_translate_string("Install Scenery"), dvd_install_scenery},
          {UTL_translate_string("Finish"), dvd_done_scenery}};
}

copy_flow scenery_flow() {
  copy_flow f;
  f.pick_title = UTL_translate_string("Select Flyvane 9 to Add or Remove Scenery");
  f.pick_sentence =
      UTL_translate_string("Please pick which copy of Flyvane 9 you would like to add scenery to.");
  f.steps = scenery_steps;
  f.pick = dvd_pick_scenery, f.scan = dvd_scan_scenery, f.after_scan = dvd_edit_scenery;
  f.want_sim = 0, f.want_global = 1, f.quick = 1;  // a tile that is there counts as installed
  f.scan_title = UTL_translate_string("Scanning Flyvane 9 for Installed Scenery");
  f.scan_text = UTL_translate_string(
      "I am scanning %1:install folder% to see what scenery you already have installed.\n\n"
      "Note: I am only checking for the scenery already installed from your DVDs.  This scan "
      "will not show any custom scenery downloaded from the internet.");
  return f;
}
}  // namespace

int dvd_pick_scenery(int first_frame, wizard_screen& s) {
  return copy_pick_screen(scenery_flow(), first_frame, s);
}

int dvd_scan_scenery(int first_frame, wizard_screen& s) {
  static int ctr = 0;
  return copy_scan_screen(scenery_flow(), ctr, first_frame, s);
}

int dvd_edit_scenery(int first_frame, wizard_screen& s) {
  if (first_frame && scenery_install_is_running) {
    // English: the prompt translates its texts as it draws them.
    const int answer = abort_alert(
        "Are you sure you want to stop scenery installation?  You can add or remove more "
        "scenery later.",
        "Stop", "the scenery install.", "Continue", "the scenery install.");
    if (answer == 0) {
      s.next_screen = dvd_install_scenery;
      return 1;
    }
    install_files_kill();  // what is installed already stays
    scenery_install_is_running = 0;
  }
  if (first_frame) {
    // Start again from what the copy has: edits of an earlier visit go.
    scenery_from_install();
    recalc_disk_sizes();
  }
  UTIL_world_map();
  s.text = UTL_translate_string(
      "Click on the world map to select what scenery you would like to install.  Scenery that "
      "you deselect will be removed; scenery that you select will be installed.  If you fly "
      "into an area with no scenery installed, you will see only ocean.");
  s.title = UTL_translate_string("Select Scenery");
  s.back_screen = dvd_pick_scenery;
  s.next_screen = dvd_install_scenery;
  if (!UTIL_disk_space(
          UTL_translate_string("You have enough free disk space to install this scenery."),
          UTL_translate_string("You do not have enough free disk space to install this scenery.")))
    s.next_screen = nullptr;
  return 0;
}

int dvd_install_scenery(int first_frame, wizard_screen& s) {
  return UTIL_run_screen(run_form::scenery, first_frame, s);
}
