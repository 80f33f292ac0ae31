// The install run shared by the three disc flows (install, repair, scenery):
// one run screen design driven by a table of what differs per flow, the
// error question of a run, and the panels the flows' screens draw.
#pragma once

#include <string>

#include "Installer-f/wizard_screen.h"

// What one flow's run screen does differently.
struct run_flow {
  int* running;                     // the flow's running flag
  int register_copy;                // records dest_dir_path in the registry at the start
  wizard_screen_fn on_choose_cancel;  // choose_files cancelled
  wizard_screen_fn on_dirs_failed;    // make_dirs failed
  wizard_screen_fn back_busy;         // Go Back while the run is busy
  wizard_screen_fn done;              // the run is complete
  wizard_screen_fn verify;            // the next file is on another disc
  wizard_screen_fn on_stop;           // the error question's first button
  int stop_kills;                   // that button stops the run here (else on_stop asks)
  const char* title;
  const char* busy_text;      // %1 is dest_dir_path
  const char* progress_text;  // %1 is the file's path
  const char* finishing_text;
  const char* error_heading;
  const char* error_advice;
  const char* button1;
  const char* note1;
};
extern const run_flow install_run_flow;
extern const run_flow repair_run_flow;
extern const run_flow scenery_run_flow;

// One frame of a flow's run screen: starts the run while its flag is 0,
// then polls install_files and acts on its status.
int UTIL_run_screen(int first_frame, wizard_screen& s, const run_flow& flow);

// The last install error (its message cleared) in the abort question:
// 1 the first button, 0 the second, 3 the question closed.
int UTIL_cancel_install(const std::string& heading, const std::string& advice,
                        const std::string& button1, const std::string& note1,
                        const std::string& button2, const std::string& note2);

// Errors of the current run; the finish screens read it.
extern int num_install_errors;

// The folder the install run created, "" when none: a cancelled install
// deletes only that folder.
extern std::string install_made_dir;

// The picker of installed copies: sets dest_dir_path to the copy ticked.
void UTIL_pick_install();
// The world map of scenery tiles over stg's selection.
void UTIL_world_map();
// The disk-space panel for dest_dir_path: 1 when there is room (or the
// volume cannot be read).
int UTIL_disk_space(const std::string& enough_text, const std::string& short_text);
