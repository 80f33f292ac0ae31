// What the start, repair and scenery-editing screens define and the install
// flow's screens name, for this test program only while the real ones are
// absent from the sources. Weak besides, so that a real one always wins.
// Delete once those screens have landed.
#include "Installer-f/run_screens.h"
#include "Installer-f/screens.h"

#define FLY_STAND_IN(name) \
  [[gnu::weak]] int name(int, wizard_screen&) { return 0; }

#if !__has_include("Installer-f/screens_start.cpp")
[[gnu::weak]] int dvd_install_is_running = 0;
[[gnu::weak]] int repair_is_running = 0;
[[gnu::weak]] int scenery_install_is_running = 0;
FLY_STAND_IN(dvd_start)
FLY_STAND_IN(dvd_do_run_sim)
#endif
#if !__has_include("Installer-f/wizard_frame.cpp")
FLY_STAND_IN(wizard_quit)
#endif
#if !__has_include("Installer-f/screens_repair.cpp")
FLY_STAND_IN(dvd_confirm_repair)
[[gnu::weak]] int dvd_install_repair(int first_frame, wizard_screen& s) {
  return UTIL_run_screen(run_form::repair, first_frame, s);
}
#endif
#if !__has_include("Installer-f/screens_scenery.cpp")
FLY_STAND_IN(dvd_edit_scenery)
[[gnu::weak]] int dvd_install_scenery(int first_frame, wizard_screen& s) {
  return UTIL_run_screen(run_form::scenery, first_frame, s);
}
#endif
#if !__has_include("Installer-f/screens_demo.cpp")
FLY_STAND_IN(demo_start)
FLY_STAND_IN(demo_get_updates)
#endif
