// The fresh install's destination, licence and scenery screens, and the
// picker of installed copies the other flows draw.
#include <algorithm>
#include <thread>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/butn.h"
#include "GenH/file_dialogs.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "Installer-f/checksum_step.h"
#include "Installer-f/install_step.h"
#include "Installer-f/licence.h"
#include "Installer-f/registry.h"
#include "Installer-f/run_screens.h"
#include "Installer-f/screens.h"
#include "Installer-f/selection.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/wizard_rules.h"
#include "OGL/ogl_draw.h"
#include "UTL/localize.h"

namespace {
// The destination choice, kept for the whole run.
std::string parent_dir, install_folder, desktop_f;

void set_install_steps() {
  step_names.clear();
  step_funcs.clear();
  const std::pair<const char*, wizard_screen_fn> steps[] = {
      {"Welcome", dvd_start},           {"Pick Destination", dvd_pick_install},
      {"License", see_eula},            {"Select Scenery", dvd_scenery_install},
      {"Install", dvd_run_install},     {"Finish", dvd_done_install}};
  for (const auto& [name, fn] : steps) {
    step_names.push_back(UTL_translate_string(name));
    step_funcs.push_back(fn);
  }
}

// Checks the whole model against dest_dir_path before anything is measured.
void check_dest_now() {
  int row = 0;
  float progress = 0;
  while (!checksum_directory(row, 0, progress)) std::this_thread::yield();
}

std::string with_slash(const std::string& folder) {
  return folder == "/" || (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
}
}  // namespace

int dvd_pick_install(int first_frame, wizard_screen& s) {
  int changed = 0;
  if (first_frame) {
    get_OS_abs_path(os_dir_desktop, desktop_f);
    accept_eula = 0;
    set_install_steps();
    changed = 1;
  }
  if (parent_dir.empty()) {
    get_OS_abs_path(os_dir_default_apps, parent_dir);
    install_folder = install_name;
    changed = 1;
  }
  s.title = UTL_string_sub(UTL_translate_string("Pick Install Destination for %1:install%."),
                           install_name);
  s.back_screen = dvd_start;
  s.next_screen = see_eula;

  const std::string change = UI_tr("Change Destination");
  const int button_w = static_cast<int>(str_dx(change) + 21);
  if (BTN_action(290, 203, static_cast<float>(button_w), 0, 1, change, "-")) {
    std::string picked;
    if (GetFilePathFromUser(2, UTL_translate_string("Pick a folder to install Flyvane 9 into."),
                            UTL_translate_string("Select"), 0, parent_dir, picked)) {
      parent_dir = with_slash(picked);
      changed = 1;
    }
  }
  const std::string name_label = UTL_translate_string("Install Name:");
  const float field_x =
      static_cast<float>(static_cast<int>(290 + button_w / 2.0f + 20 + str_dx(name_label)));
  if (BTN_enterstring(field_x, 200, &install_folder, 256, "-" + name_label, 760 - field_x, 0))
    changed = 1;

  // Only one folder name: "x/.." would put the copy in the parent, and a
  // cancelled install would then delete the parent.
  if (!install_dest_from_choice(parent_dir, install_folder, dest_dir_path)) {
    s.next_screen = nullptr;
    s.text = UTL_translate_string("Please pick a name for your Flyvane 9 installation...");
    return 0;
  }
  if (dir_exists(dest_dir_path)) {
    s.next_screen = nullptr;
    s.text = UTL_string_sub(
        UTL_translate_string("The folder '%1:install name%' already exists inside the folder "
                             "'%2:parent folder%'.\n\nPlease change the install name or "
                             "destination."),
        install_folder, parent_dir);
    return 0;
  }
  s.text = UTL_string_sub(UTL_translate_string("I will create the folder '%1:install name%' "
                                               "inside the folder '%2:parent folder%'."),
                          install_folder, parent_dir);
  if (parent_dir == desktop_f)
    s.text += UTL_string_sub(
        UTL_translate_string("\n\n(The folder %1:install name% will appear on your desktop.)"),
        install_folder);
  if (changed) {
    check_dest_now();
    set_install_filter(1, 1);
    scenery_take_none();
    recalc_disk_sizes();
  }
  UTIL_disk_space(
      UTL_translate_string("You have enough free disk space to install Flyvane 9 at this "
                           "location."),
      UTL_translate_string("You do not have enough free disk space to install Flyvane 9 at this "
                           "location.  You can install to a different location, or save disk "
                           "space by installing only some of the global scenery."));
  return 0;
}

int licence_screen(wizard_screen& s, wizard_screen_fn back, wizard_screen_fn next) {
  s.title = UTL_translate_string("End User License Agreement");
  s.text.clear();
  for (int i = 0; i < kLicenceParagraphCount; ++i) {
    if (i) s.text += "\n\n";  // a blank line between paragraphs, as on the other screens
    s.text += UTL_translate_string(kLicenceParagraphs[i]);
  }
  s.back_screen = back;
  // Clear of the text: five paragraphs of two lines and the blank lines
  // between them end at y 310.
  BTN_bool(250, 270, &accept_eula, UI_tr("|-I agree!"), 0);
  s.next_screen = accept_eula ? next : nullptr;
  return 0;
}

int see_eula(int, wizard_screen& s) {
  return licence_screen(s, dvd_pick_install, dvd_scenery_install);
}

int dvd_scenery_install(int first_frame, wizard_screen& s) {
  if (first_frame && dvd_install_is_running) {
    const int r = abort_alert(
        "Are you sure you want to cancel the installation?  This will delete the partially "
        "installed copy of Flyvane 9.",
        "Cancel", "the installation and delete partial installation.", "Continue",
        "the installation process.");
    if (r == 0) {
      s.next_screen = dvd_run_install;
      return 1;
    }
    if (app_done) {
      // The window closed while the question was up: the program ends as
      // Quit on the running install ends it, with the copy kept.
      s.on_cancel = install_files_kill;
      return 0;
    }
    install_files_kill();
    // Only the folder this install made, and only while it is still the
    // destination.
    if (!install_made_dir.empty() && install_made_dir == dest_dir_path)
      recursive_delete_folder(dest_dir_path);
    install_made_dir.clear();
    dvd_install_is_running = 0;
  }
  if (first_frame) {
    check_dest_now();
    recalc_disk_sizes();
  }
  UTIL_world_map();
  s.title = UTL_translate_string("Select Scenery");
  s.text = UTL_translate_string(
      "Please pick the scenery you would like to install now.  You can use this installer to add "
      "more scenery or remove scenery later.  If you fly into an area with no scenery installed, "
      "you will see only ocean.\n\nClick on the world map to pick select regions to install.");
  s.back_screen = see_eula;
  s.next_screen = dvd_run_install;
  if (!UTIL_disk_space(
          UTL_translate_string("You have enough free disk space to install Flyvane 9 with the "
                               "selected scenery."),
          UTL_translate_string("You do not have enough free disk space to install Flyvane 9 "
                               "with the selected scenery; change the install location to "
                               "another hard driver or select less scenery.")))
    s.next_screen = nullptr;
  return 0;
}

void UTIL_pick_install() {
  if (all_skysuites.size() == 1 && dest_dir_path.empty()) dest_dir_path = all_skysuites[0];
  const int n = static_cast<int>(all_skysuites.size());
  for (int i = 0; i < n; ++i) {
    const std::string copy = all_skysuites[static_cast<size_t>(i)];
    int ticked = dest_dir_path == copy ? 1 : 0;
    if (BTN_bool(250, 400 - 25.0f * i, &ticked, "|-" + copy, 1)) dest_dir_path = copy;
  }
  const std::string missing =
      UTL_translate_string("Is the copy of Flyvane 9 you're looking for missing from this list?");
  OGL_string(48, 230, 400 - 25.0f * n, missing, 400, font_regular, 0);
  const float w = str_dx(missing);
  if (!BTN_action(w > 400 ? 685 : 285 + w, 403 - 25.0f * n, 100, 0, 1, UI_tr("Find It"), "-"))
    return;

  const std::string before = dest_dir_path;
  std::string picked;
  if (!GetFilePathFromUser(2, UTL_translate_string("Please select your Flyvane 9 folder."),
                           UTL_translate_string("Select"), 0, dest_dir_path, picked))
    return;
  picked = with_slash(picked);
  dest_dir_path = picked;
  // A folder inside a copy (its Resources, say) stands for the copy.
  for (;;) {
    if (path_is_to_a_sim()) {
      register_new_flyvane();
      locate_all_flyvanes();
      return;
    }
    std::string up;
    get_path_with_path(up, dest_dir_path);
    if (up.empty() || up == dest_dir_path) {
      __MACIBM_alert(0, UTL_translate_string("You selected the folder path:"), picked,
                     UTL_translate_string("But it does not appear to be an installed copy of "
                                          "Flyvane 9."),
                     UTL_translate_string("Please be sure to select the folder that contains "
                                          "the Flyvane application."),
                     t_alert, __FILE__, __LINE__);
      dest_dir_path = before;
      return;
    }
    dest_dir_path = up;
  }
}
