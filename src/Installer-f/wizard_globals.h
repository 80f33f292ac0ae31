// The wizard's globals that the installation engine reads (and, for the web
// download, writes). Folders end in "/".
#pragma once

#include <string>
#include <vector>

extern std::string dest_dir_path;               // the copy being installed, repaired or updated
extern std::string dvd_path;                    // mount folder of the disc, "" when none is known
extern std::string install_name;                // the release, also its folder on disc and server
extern std::string temp_path;                   // the temporary folder for archives and lists
extern std::vector<std::string> all_skysuites;  // installed copies, from the registry
extern std::string crnt_file_path;              // the file being downloaded: its address
extern std::string crnt_file_name;              // and its name
