// Every screen of the wizard: a plain function that fills the frame's record
// (see wizard_screen.h). Only the wizard frame changes the current screen.
#pragma once

#include "Installer-f/wizard_screen.h"

// Start screen and running the simulator.
int dvd_start(int first_frame, wizard_screen& s);
int dvd_pick_run_sim(int first_frame, wizard_screen& s);
int dvd_do_run_sim(int first_frame, wizard_screen& s);

// Installing from the discs.
int dvd_pick_install(int first_frame, wizard_screen& s);
int see_eula(int first_frame, wizard_screen& s);
int dvd_scenery_install(int first_frame, wizard_screen& s);
int dvd_run_install(int first_frame, wizard_screen& s);
int dvd_switch_disk_install(int first_frame, wizard_screen& s);
int dvd_verify_disk_install(int first_frame, wizard_screen& s);
int dvd_done_install(int first_frame, wizard_screen& s);

// Repairing an installed copy.
int dvd_pick_repair(int first_frame, wizard_screen& s);
int dvd_scan_repair(int first_frame, wizard_screen& s);
int dvd_confirm_repair(int first_frame, wizard_screen& s);
int dvd_install_repair(int first_frame, wizard_screen& s);
int dvd_switch_disk_repair(int first_frame, wizard_screen& s);
int dvd_verify_disk_repair(int first_frame, wizard_screen& s);
int dvd_done_repair(int first_frame, wizard_screen& s);

// Adding and removing scenery.
int dvd_pick_scenery(int first_frame, wizard_screen& s);
int dvd_scan_scenery(int first_frame, wizard_screen& s);
int dvd_edit_scenery(int first_frame, wizard_screen& s);
int dvd_install_scenery(int first_frame, wizard_screen& s);
int dvd_switch_disk_scenery(int first_frame, wizard_screen& s);
int dvd_verify_disk_scenery(int first_frame, wizard_screen& s);
int dvd_done_scenery(int first_frame, wizard_screen& s);

// Updating from the web.
int net_start(int first_frame, wizard_screen& s);
int net_pick_dest(int first_frame, wizard_screen& s);
int net_get_updates(int first_frame, wizard_screen& s);
int net_check_disk(int first_frame, wizard_screen& s);
int net_run_patch(int first_frame, wizard_screen& s);
int net_done(int first_frame, wizard_screen& s);

// Installing the web demo.
int demo_start(int first_frame, wizard_screen& s);
int demo_pick_dest(int first_frame, wizard_screen& s);
int demo_get_updates(int first_frame, wizard_screen& s);
int demo_run_patch(int first_frame, wizard_screen& s);
int demo_done(int first_frame, wizard_screen& s);

// Running flags, one per flow: set while that flow's install runs, so Go Back
// asks first and stops it.
extern int dvd_install_is_running;
extern int repair_is_running;
extern int scenery_install_is_running;
extern int demo_install_is_running;

// The current screen; only the wizard frame changes it.
extern wizard_screen_fn g_wizard;
