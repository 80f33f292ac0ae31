// The installer's own temporary folder (temp_path): the disc archives it
// copies, the file list it unpacks, the server list. What a run put there goes
// when it closes down; what a run that crashed left goes at the next start.
#pragma once

#include <string>

// Claims temp for this run and removes what an earlier run left there, unless
// another installer holds it (its files are in use then). The running
// program's own files stay: a copy moved off the disc runs from that folder.
// 1 when claimed; the claim lasts until the process ends.
int temp_folder_claim(const std::string& temp, const std::string& app);
// Empties the claimed folder but for the running program's files.
void temp_folder_clear();
