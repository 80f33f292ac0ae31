// The wizard's globals that the installation engine reads (and, for the web
// download, writes). Folders end in "/".
#pragma once

#include <string>
#include <vector>

#include "Installer-f/wizard_screen.h"

extern std::string dest_dir_path;               // the copy being installed, repaired or updated
extern std::string dvd_path;                    // mount folder of the disc, "" when none is known
extern std::string install_name;                // the release, also its folder on disc and server
extern std::string temp_path;                   // the temporary folder for archives and lists
extern std::vector<std::string> all_skysuites;  // installed copies, from the registry
extern std::string crnt_file_path;              // the file being downloaded: its address
extern std::string crnt_file_name;              // and its name

// The current screen; only the wizard frame changes it. Its initial value is
// the start screen, so it is defined beside that screen.
extern wizard_screen_fn g_wizard;
extern std::vector<std::string> step_names;       // the flow's steps, shown left
extern std::vector<wizard_screen_fn> step_funcs;  // parallel to step_names
extern std::string no_install_name;               // "Not Yet Scanned": no disc read yet
extern std::string cmd_line_path;                 // "-path" of the command line
extern int want_file_disk;  // the row whose archive the install step waits for
extern int current_disk;    // the disc taken to be in the drive, from 0
extern int accept_eula;     // the licence box; the destination screen clears it
