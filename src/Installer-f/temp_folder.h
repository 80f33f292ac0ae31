// The installer's own temporary folder (temp_path): the disc archives it
// copies, the file list it unpacks, the server list. What a run put there goes
// when it closes down; what a run that crashed left goes at the next start.
#pragma once

#include <string>

// Takes temp, the run's folder (os_dir_temp), for this run: removes what an
// earlier run left in it and the folders of crashed runs that no installer
// holds. The running program's own files stay: a copy moved off the disc runs
// from that folder.
void temp_folder_claim(const std::string& temp, const std::string& app);
// The folder itself is owned by the Linux layer (LIN_private_temp_dir); these
// ask it. Called each frame: when the run's folder was removed or replaced from
// outside, it is made again under the run's lock or the run moves to one of
// its own, and temp (temp_path) names that.
void temp_folder_follow(std::string& temp);
// The close-down: empties the folder but for the running program's files and
// removes it once it is empty; a folder of the run's own goes whole, the
// running program's copy with it. It works through the folder the run holds,
// never through its name: a name swapped meanwhile for a link or another
// folder is left alone.
void temp_folder_close_down();
