#include "Installer-f/folders.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <vector>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "Installer-f/directory.h"
#include "Installer-f/row_names.h"
#include "Installer-f/selection.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

void trim_dest_folder(std::string& path) {
  const size_t slash = path.find('/');
  if (slash != std::string::npos) path.erase(0, slash + 1);
}

std::string installed_path(const std::string& list_path) {
  std::string p = list_path;
  trim_dest_folder(p);
  return dest_dir_path + p;
}

void make_dir_error(std::string path, int code) {
  __MACIBM_alert(0,
                 UTL_translate_string("I am unable to install or update Flyvane. An error occurred "
                                      "while creating new folders. Make sure you are installing "
                                      "to a directory that you have access to!"),
                 UTL_translate_string("Error: ") + UTL_translate_string(error_str(code)),
                 UTL_translate_string("Install Location: ") + dest_dir_path,
                 UTL_translate_string("Install Path:") + path, t_alert, __FILE__, __LINE__);
}

namespace {
// A folder that exists is made, whatever mkdir said about it (some systems
// answer EACCES or EROFS for an existing ancestor). Anything else in the way
// is no folder.
int make_one(const std::string& path) {
  const int code = make_folder(path);
  if (code == 0 || dir_exists(path)) return 0;
  return show_make_dir_err(code) ? code : ENOTDIR;
}

// The folders below dest_dir_path (no "/" at either end) that the files to
// install need; a folder sorts before its subfolders.
std::set<std::string> install_folders() {
  std::set<std::string> folders;
  for (size_t r = 0; r < sim_info.size(); ++r) {
    const file_version_struct& v = sim_info[r].back();
    if (!v.to_install ||
        !want_this_f(static_cast<int>(r), static_cast<int>(sim_info[r].size()) - 1))
      continue;
    std::string p = v.path;
    trim_dest_folder(p);
    for (size_t s = p.find_last_of('/'); s != std::string::npos; s = p.find_last_of('/')) {
      p.erase(s);
      if (!p.empty()) folders.insert(p);
    }
  }
  return folders;
}
}  // namespace

void make_folder_chain(const std::string& folder) {
  for (size_t i = folder.find('/', 1); i != std::string::npos; i = folder.find('/', i + 1))
    if (folder[i - 1] != '/') make_one(folder.substr(0, i));
}

void sync_install_folder() {
  const int fd = open(full_path(dest_dir_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || syncfs(fd) != 0)
    xer << "WARNING: could not write the install folder " << dest_dir_path << " to disk, errno="
        << errno << ".\n";
  if (fd >= 0) close(fd);
}

int make_dirs() {
  note_row_names();
  if (dest_dir_path.empty()) {
    make_dir_error("", ENOENT);
    return ENOENT;
  }
  // The install folder and its ancestors; the root itself is never made.
  const std::string d = dest_dir_path.substr(0, dest_dir_path.size() - 1);
  for (size_t i = d.find('/', 1); i != std::string::npos; i = d.find('/', i + 1)) {
    if (i == 0 || d[i - 1] == '/') continue;
    const std::string p = d.substr(0, i);
    if (const int e = make_one(p)) {
      make_dir_error(p, e);
      return e;
    }
  }
  if (!d.empty()) {
    if (const int e = make_one(d)) {
      make_dir_error(d, e);
      return e;
    }
  }

  for (const std::string& f : install_folders()) {
    const std::string p = dest_dir_path + f;
    // Made later by the unpacking, once delete_files removed the link.
    if (passes_row_link("-/" + f + "/-")) continue;
    if (const int e = make_one(p)) {
      make_dir_error(p, e);
      return e;
    }
  }

  for (const char* f : {"Output", "Output/FMS plans", "Output/logbooks", "Output/movies",
                        "Output/situations", "Resources", "Output/preferences"}) {
    const std::string p = dest_dir_path + f;
    if (const int e = make_one(p)) make_dir_error(p, e);
  }

  for (const char* fw :
       {"Resources/plugins/ZKLM.framework/", "Resources/plugins/ZKWidgets.framework/"}) {
    const std::string F = dest_dir_path + fw;
    if (!is_sim_link(F + "Versions/" + "Current", nullptr))
      rename_file(F + "Versions/", "Current", "_Current");
    if (!is_sim_link(F + "Resources", nullptr)) rename_file(F, "Resources", "_Resources");
  }
  return 0;
}

int delete_installed_file(file_version_struct& v, const std::string& full,
                          std::set<std::string>& folders) {
  const int err = delete_file(full);
  std::string f = full;
  for (;;) {
    std::string up;
    get_path_with_path(up, f);
    if (up.size() <= dest_dir_path.size()) break;
    folders.insert(up);
    f = up;
  }
  // A file that is still there is still installed.
  if (err == 0 || !entry_exists(full)) {
    v.current = 0;
    v.sig_have = "NONE";
  } else {
    xer << "WARNING: could not delete " << full << ": " << error_str(err) << ".\n";
  }
  return err;
}

void remove_empty_folders(const std::set<std::string>& folders) {
  std::vector<std::string> names;
  std::vector<int> types;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    if (opensave_getitems(*it, 0, names, types) != 0) continue;
    const int err = delete_file(*it);
    if (stg.log_actions)
      xer << "cleanup: DELETING  file " << *it << ", with result=" << err << ".\n";
    // A folder that holds hidden names is in use, not a failed deletion.
    if (err && err != ENOTEMPTY && err != EEXIST)
      xer << "WARNING: could not delete the emptied folder " << *it << ": " << error_str(err)
          << ".\n";
  }
}

int keep_despite_delete(const file_version_struct& v, const std::string& full) {
  if (gone_but_wanted(v)) {
    xer << "Not deleting " << full << ": another row of the file list wants it.\n";
    return 1;
  }
  if (passes_row_link(v.path)) {
    xer << "WARNING: not deleting " << full << ": a folder on its way is a link that the file "
        << "list names.\n";
    return 1;
  }
  return 0;
}

std::vector<std::string> undeleted_files;

void delete_files() {
  note_row_names();
  undeleted_files.clear();
  std::set<std::string> folders;
  for (file_history_struct& row : sim_info) {
    file_version_struct& v = row.back();
    if (!v.to_delete) continue;
    stg.current_action = 0;
    const std::string full = installed_path(v.path);
    if (keep_despite_delete(v, full)) continue;
    const int err = delete_installed_file(v, full, folders);
    if (stg.log_actions) xer << "DELETING  file " << full << ", with result=" << err << ".\n";
    if (err && entry_exists(full)) undeleted_files.push_back(full);
  }
  // Emptied now, but the unpacking that follows writes into them.
  for (const std::string& f : install_folders()) folders.erase(dest_dir_path + f + "/");
  remove_empty_folders(folders);
}
