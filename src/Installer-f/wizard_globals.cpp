#include "Installer-f/wizard_globals.h"

std::string dest_dir_path;  // dvd_path lives with the other global objects
std::string install_name;
std::string temp_path;
std::vector<std::string> all_skysuites;
std::string crnt_file_path;
std::string crnt_file_name;
std::vector<std::string> step_names;
std::vector<wizard_screen_fn> step_funcs;
std::string no_install_name = "Not Yet Scanned";
std::string cmd_line_path;
int want_file_disk = 0;
int current_disk = 0;
int accept_eula = 0;
