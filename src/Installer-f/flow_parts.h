// The parts of the wizard that several flows' screens draw or hand over to,
// and the two screens the repair and scenery-editing flows share in all but
// their texts and targets.
#pragma once

#include <string>
#include <vector>

#include "Installer-f/wizard_screen.h"

// The copy picker, drawn below the screen's text: the installed copies as
// radio buttons and "Find It"; sets dest_dir_path to the copy picked.
void UTIL_pick_install();
// The licence text and its "I agree!" box; Continue goes to next only while
// accept_eula is set. Shared by the disc install and the web demo.
int licence_screen(wizard_screen& s, wizard_screen_fn back, wizard_screen_fn next);
// The world map of scenery tiles: toggles stg's selection on clicks and drags
// and recomputes the totals when it changed.
void UTIL_world_map();
// The disk-space panel for dest_dir_path's volume and stg.total_size_kb (both
// texts translated): 1 when there is room or the volume cannot be read.
int UTIL_disk_space(const std::string& enough_text, const std::string& short_text);

// The run screen in the form of one flow: starts a run unless that flow's
// running flag is set (checking that the first archive to install is in the
// drive, else going to the flow's verify screen), then polls the install
// step every frame (UTIL_frame_passes).
enum class run_form { install, repair, scenery };
int UTIL_run_screen(run_form form, int first_frame, wizard_screen& s);

// A copy-picking flow: its steps (names translated) and the texts and
// targets in which its pick and scan screens differ.
struct copy_flow_step {
  std::string name;
  wizard_screen_fn screen;
};
struct copy_flow {
  std::string pick_title;     // translated
  std::string pick_sentence;  // after the more-than-one sentence, translated
  std::vector<copy_flow_step> (*steps)();  // the step list, built on the pick's first frame
  wizard_screen_fn pick, scan, after_scan;
  int want_sim, want_global, quick;  // the scan's filter and mode
  std::string scan_title;            // translated
  std::string scan_text;             // translated, %1 the copy's folder
};
// The pick screen: on its first frame it stops a scan left running and
// forgets a destination that is no installed copy, then installs steps.
int copy_pick_screen(const copy_flow& flow, int first_frame, wizard_screen& s);
// The scan screen: a fresh scan from row 0 on each entry; advances to
// after_scan once every row is checked. row is the flow's own cursor.
int copy_scan_screen(const copy_flow& flow, int& row, int first_frame, wizard_screen& s);
