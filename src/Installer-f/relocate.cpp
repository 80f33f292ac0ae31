#include "Installer-f/relocate.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/launch.h"
#include "Files/paths.h"
#include "Installer-f/discs.h"
#include "Installer-f/formats.h"
#include "Installer-f/wizard_globals.h"
#include "Linux/lin_paths.h"
#include "UTL/xer.h"

relocate_launch_fn relocate_launcher = launch_app;
std::string relocate_warning;

namespace {
bool begins_with(const std::string& s, const std::string& p) {
  return !p.empty() && s.compare(0, p.size(), p) == 0;
}

// The disc may be reached through a link (the simulated drive) while the
// program's own path is resolved.
bool is_on(const std::string& app, const std::string& disc) {
  if (begins_with(app, disc)) return true;
  char real[PATH_MAX];
  if (!realpath(disc.c_str(), real)) return false;
  std::string r = real;
  if (r.back() != '/') r += "/";
  return begins_with(app, r);
}

int remove_if_there(const std::string& path) {
  return entry_exists(path) ? recursive_delete_folder(path) : 0;
}

void warn(const std::string& what, int err) {
  relocate_warning = "WARNING: " + what + ": " + error_str(err) +
                     ". The installer runs from the disc, which then cannot be swapped.\n";
  fputs(relocate_warning.c_str(), stderr);
  xer << relocate_warning;
}
}  // namespace

int relocate_off_disc() {
  std::string temp, app;
  get_OS_abs_path(os_dir_temp, temp);
  get_OS_abs_path(os_dir_app_bundle, app);
  return relocate_from(app, temp);
}

int relocate_from(const std::string& app, const std::string& temp) {
  relocate_warning.clear();
  dvd_path = find_installation_disc();
  if (dvd_path.empty() || app.empty() || !is_on(app, dvd_path)) return 0;
  if (temp.empty()) {
    warn("there is no temporary folder to copy the installer to", ENOENT);
    return 0;
  }

  std::string name;
  get_file_with_path(name, app);
  const std::string from_res = app.substr(0, app.size() - name.size()) + "Resources/";
  const std::string copy = temp + name, copy_res = temp + "Resources/";
  // An earlier run's copy may be stale or cut short: never start it.
  int err = remove_if_there(copy);
  if (!err) err = remove_if_there(copy_res);
  if (err) {
    warn("could not delete the earlier copy of the installer in " + temp, err);
    return 0;
  }
  err = copy_file(app, copy);
  if (!err && dir_exists(from_res)) err = copy_file_recursive(from_res, copy_res);
  if (err) {
    remove_if_there(copy);
    remove_if_there(copy_res);
    warn("could not copy the installer to " + temp, err);
    return 0;
  }
  // The copy goes on holding the folder, with no moment in which another
  // installer could take it.
  LIN_private_temp_hand_down(1);
  err = relocate_launcher(copy, "", 0);
  LIN_private_temp_hand_down(0);
  if (!err) return 1;
  remove_if_there(copy);
  remove_if_there(copy_res);
  warn("could not start the installer's copy " + copy, err);
  return 0;
}
