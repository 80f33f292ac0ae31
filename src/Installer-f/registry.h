// The install registry "flyvane_install.txt" in the preferences folder: one
// installed copy's folder per line.
#pragma once

#include <string>

// The registry's path, "" when the preferences folder cannot be found.
std::string registry_path();
// Refills all_skysuites with the registered folders that still exist.
void locate_all_flyvanes();
// Appends dest_dir_path unless a line already equals it.
void register_new_flyvane();
// 1 when dest_dir_path holds the folders that make an installed copy.
int path_is_to_a_sim();
// The simulator's program in the installed copy at folder (ending in "/") for
// stg.target_platform: "Flyvane.app" (a bundle), "Flyvane.exe" or "Flyvane-i686".
std::string installed_sim_app(const std::string& folder);
