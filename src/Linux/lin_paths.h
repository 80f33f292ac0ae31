// The user's folders that the installer writes to, each ending in "/" and
// created when missing; "" when a folder cannot be had.
#pragma once

#include <string>

// The XDG desktop folder (fallback $HOME/Desktop).
std::string LIN_desktop_dir();
// ${XDG_CONFIG_HOME:-$HOME/.config}/
std::string LIN_prefs_dir();
// The run's temporary folder: one of this user's alone under ${TMPDIR:-/tmp}
// (mode 0700, owned by the user, not a symbolic link, since the installer
// writes fixed names there), the same for the whole run and locked by this
// process, so that no other installer works or sweeps in it. That is
// "flyvane-<uid>" when it is usable and free, else a folder of the run's own,
// "flyvane-<uid>-XXXXXX". A copy started from the disc keeps the folder it
// runs from, whose lock it inherits.
std::string LIN_private_temp_dir();
// 1 when the run's folder is of its own making: it goes whole at the end.
int LIN_private_temp_is_own();
// For the log: which fixed folder was refused and why; "" when none was.
std::string LIN_private_temp_refusal();
// 1: the next program started inherits the folder's lock (the copy started
// from the disc); 0: it does not, as normally.
void LIN_private_temp_hand_down(int on);
// Removes this user's own-made folders under ${TMPDIR:-/tmp} that no running
// installer holds: what crashed runs left. The number removed.
int LIN_sweep_private_temp_dirs();

// What LIN_private_temp_dir does at its first call, for the folder base (no
// trailing "/") and a program whose folder is exe_dir. fd holds the lock.
struct lin_temp_claim {
  std::string dir;  // no trailing "/"; "" when none could be had
  int fd = -1;
  int own = 0;
  std::string refusal;  // the fixed folder and why it was refused
};
lin_temp_claim LIN_claim_temp_dir(const std::string& base, const std::string& exe_dir);
// The sweep of LIN_sweep_private_temp_dirs in base, sparing the folder keep.
int LIN_sweep_temp_dirs(const std::string& base, const std::string& keep);
