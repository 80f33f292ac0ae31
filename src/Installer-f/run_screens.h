// The install run shared by the three disc flows (install, repair, scenery):
// one run screen design in three forms, the error question of a run, and
// the panels the flows' screens draw.
#pragma once

#include <string>

#include "Installer-f/wizard_screen.h"

#if __has_include("Installer-f/flow_parts.h")
#include "Installer-f/flow_parts.h"
#else
// The copy picker, drawn below the screen's text: the installed copies as
// radio buttons and "Find It"; sets dest_dir_path to the copy picked.
void UTIL_pick_install();
// The world map of scenery tiles: toggles stg's selection on clicks and drags
// and recomputes the totals when it changed.
void UTIL_world_map();
// The disk-space panel for dest_dir_path's volume and stg.total_size_kb (both
// texts translated): 1 when there is room or the volume cannot be read.
int UTIL_disk_space(const std::string& enough_text, const std::string& short_text);

// The run screen in the form of one flow: starts a run unless that flow's
// running flag is set (checking that the first archive to install is in the
// drive, else going to the flow's verify screen), then polls the install
// step once per frame.
enum class run_form { install, repair, scenery };
int UTIL_run_screen(run_form form, int first_frame, wizard_screen& s);
#endif

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
