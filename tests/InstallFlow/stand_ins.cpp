// Screens of the other flows that the install flow's screens name as
// targets, for this test program only while their real ones are absent from
// the sources. Weak besides, so that a real one always wins. Delete once the
// start, repair and scenery-editing screens have landed.
#include "Installer-f/screens.h"

#define FLY_STAND_IN(name) \
  [[gnu::weak]] int name(int, wizard_screen&) { return 0; }

#if !__has_include("Installer-f/screens_start.cpp")
FLY_STAND_IN(dvd_start)
FLY_STAND_IN(dvd_do_run_sim)
#endif
#if !__has_include("Installer-f/wizard_frame.cpp")
FLY_STAND_IN(wizard_quit)
#endif
FLY_STAND_IN(dvd_confirm_repair)
FLY_STAND_IN(dvd_edit_scenery)
FLY_STAND_IN(dvd_install_repair)
FLY_STAND_IN(dvd_install_scenery)
