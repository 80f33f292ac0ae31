#include "Installer-f/wizard_globals.h"

std::string dest_dir_path;
std::string dvd_path;
std::string install_name;
std::string temp_path;
std::vector<std::string> all_skysuites;
std::string crnt_file_path;
std::string crnt_file_name;
