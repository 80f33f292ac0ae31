// Moving the installer off the installation disc before the shell starts,
// so that the disc can be ejected and swapped later. main calls
// relocate_off_disc first; on Linux the program and the "Resources" folder
// beside it stand in for the application bundle.
#pragma once

#include <string>

// How the copy is started; launch_app, which returns only when the start
// failed (its errno). Tests put a recorder here that returns 0.
using relocate_launch_fn = int (*)(const std::string& app, const std::string& arg,
                                   int finish_first);
extern relocate_launch_fn relocate_launcher;

// Sets dvd_path to the mounted installation disc (or ""). When the program
// runs from that disc: deletes an earlier copy in the temporary folder,
// copies the program and its Resources folder there and starts the copy
// (the real launcher then ends this process). Returns 1 when the copy was
// started, 0 when the program carries on where it is: not on the disc, or
// the copy or its start failed (the copy is removed again and a warning is
// kept in relocate_warning for the log, which is not open yet).
int relocate_off_disc();
// The same for the program at app (a full path) and the temporary folder
// temp (ending in "/"), which relocate_off_disc takes from the system.
int relocate_from(const std::string& app, const std::string& temp);
extern std::string relocate_warning;
