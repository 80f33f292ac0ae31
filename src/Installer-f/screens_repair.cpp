// The repair flow: pick an installed copy, check every file of it by MD5,
// confirm what is to be reinstalled, then the run screen's repair form.
#include "Installer-f/checksum_step.h"
#include "Installer-f/directory.h"
#include "Installer-f/flow_parts.h"
#include "Installer-f/frame_passes.h"
#include "Installer-f/install_step.h"
#include "Installer-f/screens.h"
#include "Installer-f/selection.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/wizard_rules.h"
#include "UTL/localize.h"


int copy_pick_screen(const copy_flow& flow, int first_frame, wizard_screen& s) {
  s.title = flow.pick_title;
  s.back_screen = dvd_start;
  s.next_screen = flow.scan;
  if (first_frame) {
    // Going back from the scan leaves its workers writing the file model.
    checksum_directory_kill();
    // Another flow may have left any folder here (the install flow leaves
    // the new copy's parent, say): only an installed copy may be scanned,
    // repaired or edited.
    clear_stale_dest_dir();
    step_names.clear();
    step_funcs.clear();
    for (const copy_flow_step& st : flow.steps()) {
      step_names.push_back(st.name);
      step_funcs.push_back(st.screen);
    }
  }
  if (all_skysuites.size() == 1) dest_dir_path = all_skysuites[0];
  UTIL_pick_install();
  if (dest_dir_path.empty()) s.next_screen = nullptr;
  if (all_skysuites.size() >= 2)
    s.text = UTL_translate_string(
        "You have more than one copy of Flyvane 9 installed on this computer.  ");
  s.text += flow.pick_sentence;
  return 0;
}

int copy_scan_screen(const copy_flow& flow, int& row, int first_frame, wizard_screen& s) {
  if (first_frame) {
    // A fresh pool and cursor: nothing of an earlier scan may land in rows
    // this one has already checked.
    checksum_directory_kill();
    row = 0;
    set_install_filter(flow.want_sim, flow.want_global);
  }
  s.title = flow.scan_title;
  s.text = UTL_string_sub(flow.scan_text, dest_dir_path);
  s.on_cancel = checksum_directory_kill;
  float fraction = 0;
  if (!UTIL_frame_passes(first_frame, 16000, 1000,
                         [&] { return checksum_directory(row, flow.quick, fraction) != 1; })) {
    s.back_screen = nullptr;
    s.next_screen = flow.after_scan;
    return 1;
  }
  s.progress_text = UTL_string_sub(UTL_translate_string("Scanning %1:number% of %2:total% files."),
                                   std::to_string(row), std::to_string(sim_info.size()));
  s.progress = fraction;
  s.back_screen = flow.pick;
  s.next_screen = nullptr;
  return 0;
}

namespace {
std::vector<copy_flow_step> repair_steps() {
  return {{UTL_translate_string("Welcome"), dvd_start},
          {UTL_translate_string("Select Flyvane"), dvd_pick_repair},
          {UTL_translate_string("Scan For Problems"), dvd_scan_repair},
          {UTL_translate_string("Confirm Repairs"), dvd_confirm_repair},
          {UTL_translate_string("Repair Flyvane"), dvd_install_repair},
          {UTL_translate_string("Finish"), dvd_done_repair}};
}

copy_flow repair_flow() {
  copy_flow f;
  f.pick_title = UTL_translate_string("Repair Flyvane 9");
  f.pick_sentence = UTL_translate_string("Please pick which copy of Flyvane 9 you would like to repair.");
  f.steps = repair_steps;
  f.pick = dvd_pick_repair, f.scan = dvd_scan_repair, f.after_scan = dvd_confirm_repair;
  f.want_sim = 1, f.want_global = 0, f.quick = 0;
  f.scan_title = UTL_translate_string("Scanning Flyvane for Problems");
  f.scan_text = UTL_translate_string(
      "I am scanning %1:folder% for missing or damaged files.\n\nNote: if you have updated this "
      "copy of Flyvane from the Internet, the repair operation will remove the updates.  Once "
      "the repair has finished, you should reapply the updates from the web.");
  return f;
}
}  // namespace

int dvd_pick_repair(int first_frame, wizard_screen& s) {
  return copy_pick_screen(repair_flow(), first_frame, s);
}

int dvd_scan_repair(int first_frame, wizard_screen& s) {
  static int ctr = 0;
  return copy_scan_screen(repair_flow(), ctr, first_frame, s);
}

int dvd_confirm_repair(int first_frame, wizard_screen& s) {
  static int num_file_install = 0;
  if (first_frame && repair_is_running) {
    // English: the prompt translates its texts as it draws them.
    const int answer = abort_alert(
        "Are you sure you want to stop the repair operation?  Flyvane may not be usable until "
        "repairs are complete.  You can run the repair operation on Flyvane again later to "
        "complete repairs.",
        "Stop", "the repair operation.", "Continue", "the repair operation.");
    if (answer == 0) {
      s.next_screen = dvd_install_repair;
      return 1;
    }
    install_files_kill();  // what is repaired already stays
    repair_is_running = 0;
  }
  if (first_frame) {
    recalc_disk_sizes();
    num_file_install = 0;
    for (size_t r = 0; r < sim_info.size(); ++r) {
      const int last = static_cast<int>(sim_info[r].size()) - 1;
      const file_version_struct& v = sim_info[r].back();
      // A file the release dropped is never current, but nothing installs it.
      if (!v.current && v.sig_want != "GONE" && want_this_f(static_cast<int>(r), last))
        ++num_file_install;
    }
  }
  s.title = UTL_translate_string("Confirm Repairs");
  s.text = UTL_string_sub(
      UTL_translate_plural(num_file_install,
                           "I need to install approximately %1:count% file to repair %2:path%.",
                           "I need to install approximately %1:count% files to repair %2:path%."),
      std::to_string(num_file_install), dest_dir_path);
  s.back_screen = dvd_pick_repair;
  s.next_screen = dvd_install_repair;
  if (!UTIL_disk_space(
          UTL_translate_string("You have enough free disk space to repair this copy of Flyvane."),
          UTL_translate_string(
              "You do not have enough free disk space to repair this copy of Flyvane.")))
    s.next_screen = nullptr;
  if (s.next_screen) s.text += UTL_translate_string("\n\nClick continue to begin repairing Flyvane.");
  return 0;
}

int dvd_install_repair(int first_frame, wizard_screen& s) {
  return UTIL_run_screen(run_form::repair, first_frame, s);
}
