#include "Installer-f/wizard_globals.h"

std::string dest_dir_path;  // dvd_path lives with the other global objects
std::string install_name;
std::string temp_path;
std::vector<std::string> all_skysuites;
std::string crnt_file_path;
std::string crnt_file_name;
