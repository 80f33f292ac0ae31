// The install run shared by the three disc flows (install, repair, scenery):
// one run screen design in three forms, the error question of a run, and
// the panels the flows' screens draw.
#pragma once

#include <string>

#include "Installer-f/wizard_screen.h"

#include "Installer-f/flow_parts.h"

// The last install error (its message cleared) in the abort question:
// 1 the first button, 0 the second, 3 the question closed.
int UTIL_cancel_install(const std::string& heading, const std::string& advice,
                        const std::string& button1, const std::string& note1,
                        const std::string& button2, const std::string& note2);

// Errors of the current run; the finish screens read it.
extern int num_install_errors;

// The folder the install run created, "" when none: a cancelled install
// deletes only that folder.
extern std::string install_made_dir;
