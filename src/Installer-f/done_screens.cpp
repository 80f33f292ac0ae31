// The finish screens of the three disc flows: the outcome by the run's error
// count, Go Back to the start, a quit button, and the simulator to start.
#include "Installer-f/folders.h"
#include "Installer-f/run_screens.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/localize.h"

int wizard_quit(int first_frame, wizard_screen& s);

namespace {
int finish(wizard_screen& s, const char* title, const std::string& text) {
  s.title = UTL_translate_string(title);
  s.text = text;
  s.back_screen = dvd_start;
  s.next_screen = wizard_quit;
  if (num_install_errors <= 0) {
    s.choices.push_back(UTL_translate_string("Run Flyvane Now"));
    s.choice_funcs.push_back(dvd_do_run_sim);
  }
  return 0;
}

// Where the files a removal left lie, short: the deepest folder that holds
// them all, the install folder at most.
std::string left_behind_place() {
  std::string place = undeleted_files.front();
  place.erase(place.find_last_of('/') + 1);
  for (const std::string& f : undeleted_files)
    while (place.size() > dest_dir_path.size() && f.compare(0, place.size(), place) != 0) {
      const size_t up =
          place.size() < 2 ? std::string::npos : place.find_last_of('/', place.size() - 2);
      place.erase(up == std::string::npos ? 0 : up + 1);
    }
  return place.size() > dest_dir_path.size() ? place : dest_dir_path;
}
}  // namespace

int dvd_done_install(int, wizard_screen& s) {
  const std::string text =
      num_install_errors <= 0
          ? UTL_translate_string("Installation was successful.")
          : UTL_translate_string(
                "There were errors during the install; your copy of Flyvane may not be "
                "usable.\n\nYou can click Go Back and use the repair and add-remove scenery "
                "functions to try to reinstall any missing or damaged files.");
  return finish(s, "Finished Installing Flyvane", text);
}

int dvd_done_repair(int, wizard_screen& s) {
  const std::string text =
      num_install_errors <= 0
          ? UTL_string_sub(UTL_translate_string("I have finished repairing %1:install path% - "
                                                "click Go Back to return to the main menu."),
                           dest_dir_path)
          : UTL_translate_string(
                "There were errors during the repair; your copy of Flyvane may not be "
                "usable.\n\nYou can click Go Back and use the repair and add-remove scenery "
                "functions to try to reinstall any missing or damaged files.");
  return finish(s, "Finished Repairing Flyvane.", text);
}

int dvd_done_scenery(int, wizard_screen& s) {
  const bool add = stg.files_to_install > 0, del = stg.files_to_delete > 0;
  const bool errors = num_install_errors > 0;
  const char* first;
  if (add && del)
    first = errors ? "There were errors while adding and removing your scenery."
                   : "I have successfully added and removed scenery to match your choices on the "
                     "map.";
  else if (add)
    first = errors ? "There were errors while installing your scenery."
                   : "I have successfully installed more scenery to match your choices on the "
                     "map.";
  else if (del)
    first = errors ? "There were errors while removing your scenery."
                   : "I have successfully removed scenery to match your choices on the map.";
  else
    first = errors ? "There were errors while updating your scenery."
                   : "I have successfully updated scenery to match your choices on the map.";
  // Files still there that were to go make no success.
  const bool left = !undeleted_files.empty();
  std::string text;
  if (errors || !left) text = UTL_translate_string(first);
  if (errors)
    text += UTL_translate_string(
        "  Your copy of Flyvane may not be usable.\n\nYou can click Go Back and use the repair "
        "and add-remove scenery functions to try to reinstall any missing or damaged files.");
  if (left) {
    if (!text.empty()) text += "\n\n";
    text += UTL_string_sub(
        UTL_translate_string(
            "Some scenery could not be removed; its files are still in %1:folder%."),
        left_behind_place());
  }
  return finish(s, "Finished With Add/Remove Scenery", text);
}
