// The disc-swap screens of the three flows: a verify screen that checks the
// drive without asking, and a switch screen that ejects and asks for a disc.
#include "Installer-f/discs.h"
#include "Installer-f/screens.h"
#include "UTL/localize.h"

namespace {
int verify_screen(wizard_screen& s, const char* title, wizard_screen_fn run,
                  wizard_screen_fn ask) {
  s.title = UTL_translate_string(title);
  s.next_screen = UTIL_verify_disk() ? run : ask;
  return 1;
}

int switch_screen(int first_frame, wizard_screen& s, const char* title, wizard_screen_fn back,
                  wizard_screen_fn verify) {
  // Ejects on the first frame only: each return here from verify ejects again.
  const int n = UTIL_switch_disk(first_frame);
  s.title = UTL_translate_string(title);
  s.text = UTL_string_sub(
      UTL_translate_string("Please insert DVD number %1:disk number% and click continue."),
      std::to_string(n + 1));
  s.back_screen = back;
  s.next_screen = verify;
  return 0;
}
}  // namespace

int dvd_verify_disk_install(int, wizard_screen& s) {
  return verify_screen(s, "Installing Flyvane - Checking DVD...", dvd_run_install,
                       dvd_switch_disk_install);
}
int dvd_switch_disk_install(int first_frame, wizard_screen& s) {
  return switch_screen(first_frame, s, "Installing Flyvane - Please Change DVDs",
                       dvd_scenery_install, dvd_verify_disk_install);
}
int dvd_verify_disk_repair(int, wizard_screen& s) {
  return verify_screen(s, "Repairing Flyvane - Checking DVD", dvd_install_repair,
                       dvd_switch_disk_repair);
}
int dvd_switch_disk_repair(int first_frame, wizard_screen& s) {
  return switch_screen(first_frame, s, "Repairing Flyvane - Please Change DVDs",
                       dvd_confirm_repair, dvd_verify_disk_repair);
}
int dvd_verify_disk_scenery(int, wizard_screen& s) {
  return verify_screen(s, "Installing Scenery - Verifying DVD", dvd_install_scenery,
                       dvd_switch_disk_scenery);
}
int dvd_switch_disk_scenery(int first_frame, wizard_screen& s) {
  return switch_screen(first_frame, s, "Installing Scenery - Please change DVDs",
                       dvd_edit_scenery, dvd_verify_disk_scenery);
}
