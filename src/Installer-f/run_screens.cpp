#include "Installer-f/run_screens.h"

#include <algorithm>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Installer-f/discs.h"
#include "Installer-f/folders.h"
#include "Installer-f/frame_passes.h"
#include "Installer-f/install_step.h"
#include "Installer-f/registry.h"
#include "Installer-f/screens.h"
#include "Installer-f/selection.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/localize.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

int num_install_errors = 0;
std::string install_made_dir;

namespace {
// What one flow's run screen does differently.
struct run_flow {
  int* running;                       // the flow's running flag
  int register_copy;                  // records dest_dir_path in the registry at the start
  wizard_screen_fn on_choose_cancel;  // choose_files cancelled
  wizard_screen_fn on_dirs_failed;    // make_dirs failed
  wizard_screen_fn back_busy;         // Go Back while the run is busy
  wizard_screen_fn done;              // the run is complete
  wizard_screen_fn verify;            // the next file is on another disc
  wizard_screen_fn on_stop;           // the error question's first button
  int stop_kills;                     // that button stops the run here (else on_stop asks)
  const char* title;
  const char* busy_text;      // %1 is dest_dir_path
  const char* progress_text;  // %1 is the file's path
  const char* finishing_text;
  const char* error_heading;
  const char* error_advice;
  const char* button1;
  const char* note1;
};

const run_flow install_run_flow = {
    &dvd_install_is_running, 1, dvd_scenery_install, dvd_pick_install, dvd_scenery_install,
    dvd_done_install, dvd_verify_disk_install, dvd_scenery_install, 0,
    "Installing Flyvane", "I am installing Flyvane in %1:file path%.", "Installing: %1:file%",
    "Finishing up...", "An error occurred during installation:",
    "You can continue with the installation and attempt to repair the damaged files later, or "
    "you can cancel the installation.",
    "Cancel", "the install."};
const run_flow repair_run_flow = {
    &repair_is_running, 0, dvd_confirm_repair, dvd_confirm_repair, dvd_confirm_repair,
    dvd_done_repair, dvd_verify_disk_repair, dvd_done_repair, 1,
    "Repairing Flyvane", "I am repairing %1:file path%.", "Repairing: %1:file path%",
    "Finishing up...", "An error occurred during the repair:",
    "Flyvane may not be usable until you are able to repair the sim without errors.", "Stop",
    "the repair."};
const run_flow scenery_run_flow = {
    &scenery_install_is_running, 0, dvd_edit_scenery, dvd_edit_scenery, dvd_edit_scenery,
    dvd_done_scenery, dvd_verify_disk_scenery, dvd_done_scenery, 1,
    "Installing New Scenery", "I am installing new scenery for %1:install path%,",
    "Installing: %1:file%", "Finishing Up...", "An error occurred during scenery installation:",
    "You can continue with the installation and attempt to reinstall the damaged files later, or "
    "you can stop the installation",
    "Stop", "the scenery install."};

// The row cursor of each flow's run: kept while a run is suspended on a swap.
int run_cursor[3];

}  // namespace

int UTIL_cancel_install(const std::string& heading, const std::string& advice,
                        const std::string& button1, const std::string& note1,
                        const std::string& button2, const std::string& note2) {
  std::string msg;
  const int code = install_files_get_error(msg);
  return abort_alert(
      heading + "\n\n" + msg + " (" + UTL_translate_string(error_str(code)) + ")" + "\n\n" + advice,
      button1, note1, button2, note2);
}

int UTIL_run_screen(run_form form, int, wizard_screen& s) {
  const run_flow& flow = form == run_form::repair    ? repair_run_flow
                         : form == run_form::scenery ? scenery_run_flow
                                                     : install_run_flow;
  int& f = run_cursor[static_cast<int>(form)];
  const bool first = !*flow.running;
  if (first) {
    f = 0;
    xer << "Starting install at " << xtim.real_elapsed << "\n";
    if (!choose_files()) {
      s.next_screen = flow.on_choose_cancel;
      return 1;
    }
    // A folder that was there before the run is never the run's to delete.
    const bool fresh = !dir_exists(dest_dir_path);
    if (make_dirs()) {
      s.next_screen = flow.on_dirs_failed;
      return 1;
    }
    if (flow.register_copy) {
      register_new_flyvane();
      install_made_dir = fresh ? dest_dir_path : std::string();
    }
    delete_files();
    *flow.running = 1;
    num_install_errors = 0;
    reset_refusal_notes();
    // The disc the start screen took may be any disc of the set: the first
    // archive to install must be on it before the first install_files.
    if (!UTIL_run_disk_ready()) {
      s.next_screen = flow.verify;
      return 1;
    }
  }

  s.title = UTL_translate_string(flow.title);
  s.on_cancel = install_files_kill;
  int status = 0;
  // While files install, the drawing takes about a sixteenth of the time:
  // every tick where a frame is cheap, fewer frames where it is not (a
  // software renderer), so that it does not hold up the install's threads.
  static uint64_t passes_ended = 0;
  const uint64_t drawn = first || !passes_ended ? 0 : xtim_class::microsecs() - passes_ended;
  const uint64_t cap = std::clamp<uint64_t>(drawn * 16, 16000, 100000);
  UTIL_frame_passes(first, cap, 1000,
                    [&] { return (status = install_files(f, current_disk)) == 0; });
  passes_ended = xtim_class::microsecs();
  const int rows = static_cast<int>(sim_info.size());
  if (status != 3) {
    // Also on the frame that leaves for the finish or swap screen, which is
    // drawn too: it shows where the run stands, not an empty panel.
    s.text = UTL_string_sub(UTL_translate_string(flow.busy_text), dest_dir_path);
    if (f < 0) {
      s.progress = 0;
    } else if (f < rows) {
      const file_version_struct& v = sim_info[static_cast<size_t>(f)].back();
      s.progress = v.progress_start;
      s.progress_text = UTL_string_sub(UTL_translate_string(flow.progress_text), v.path);
    } else {
      s.progress = 1;
      s.progress_text = UTL_translate_string(flow.finishing_text);
    }
  }
  switch (status) {
    case 0:
      s.back_screen = flow.back_busy;
      s.next_screen = nullptr;
      return 0;
    case 1:
      s.back_screen = nullptr;
      s.next_screen = flow.done;
      *flow.running = 0;
      return 1;
    case 2:
      want_file_disk = f;
      s.next_screen = flow.verify;
      return 1;
    case 3: {
      ++num_install_errors;
      // The question's window translates its buttons and notes itself; the
      // message is made here, so its parts are translated here.
      const int r = UTIL_cancel_install(UTL_translate_string(flow.error_heading),
                                        UTL_translate_string(flow.error_advice), flow.button1,
                                        flow.note1, "Continue", flow.note1);
      if (r == 0) return 0;
      if (flow.stop_kills) {
        install_files_kill();
        *flow.running = 0;
      }
      s.next_screen = flow.on_stop;
      return 1;
    }
    default:
      return 0;
  }
}

int dvd_run_install(int first_frame, wizard_screen& s) {
  return UTIL_run_screen(run_form::install, first_frame, s);
}
