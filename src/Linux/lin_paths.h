// The user's folders that the installer writes to, each ending in "/" and
// created when missing; "" when a folder cannot be had.
#pragma once

#include <string>
#include <vector>

// The XDG desktop folder (fallback $HOME/Desktop).
std::string LIN_desktop_dir();
// ${XDG_CONFIG_HOME:-$HOME/.config}/
std::string LIN_prefs_dir();
// The run's temporary folder: one of this user's alone under ${TMPDIR:-/tmp}
// (mode 0700, owned by the user, not a symbolic link, since the installer
// writes fixed names there), claimed once per run and locked by this process,
// so that no other installer works or sweeps in it. That is "flyvane-<uid>"
// when it is usable and free, else a folder of the run's own,
// "flyvane-<uid>-XXXXXX", which is also what a file system that cannot lock
// gives (unlocked, unique by its making). A copy started from the disc keeps
// the folder it runs from, whose lock it inherits. A folder removed or
// replaced from outside is made again under a new lock, or the run moves to
// one of its own (and logs it); "" when none could be had.
std::string LIN_private_temp_dir();
// 1 when the run's folder is of its own making: it goes whole at the end.
int LIN_private_temp_is_own();
// For the log: which fixed folder was refused and why; "" when none was.
std::string LIN_private_temp_refusal();
// 1: the next program started inherits the folder's lock (the copy started
// from the disc); 0: it does not, as normally.
void LIN_private_temp_hand_down(int on);
// Removes this user's folders of a run's own under ${TMPDIR:-/tmp} that bear
// an installer's mark and that no running installer holds: what crashed runs
// left. The number removed.
int LIN_sweep_private_temp_dirs();
// The installer takes the run's folder: spare names the entries in it that
// belong to the running program (its copy started from the disc); the rest,
// what an earlier run left, goes now, through the descriptor that holds the
// lock. Only a folder taken is cleared at the close-down.
void LIN_private_temp_take(const std::vector<std::string>& spare);
int LIN_private_temp_taken();
// The close-down of the folder taken (LIN_close_temp_dir); nothing when none
// was.
void LIN_private_temp_close_down();

// The file that marks a folder of a run's own, kept there while the run holds
// it; the installer's clearing of its folder spares it.
extern const char LIN_temp_mark_name[];
// The lock call on temporary folders, flock; tests stand in a file system
// that cannot lock.
extern int (*LIN_temp_lock_call)(int fd, int operation);

// What LIN_private_temp_dir does at its first call, for the folder base (no
// trailing "/") and a program whose folder is exe_dir.
struct lin_temp_claim {
  std::string dir;  // no trailing "/"; "" when none could be had
  int fd = -1;      // open on dir; holds the lock when locked
  int own = 0;
  int locked = 0;
  std::string refusal;  // the fixed folder and why it was refused
  int claimed = 0;      // the claim was made: it is not made again
  std::string base;
  // Entries that the clearing spares: the running program's copy. A folder
  // moved to has none.
  std::vector<std::string> spare;
};
lin_temp_claim LIN_claim_temp_dir(const std::string& base, const std::string& exe_dir);
// LIN_private_temp_dir for the run whose claim is run: claimed at the first
// call, followed when its folder went.
std::string LIN_run_temp_dir(lin_temp_claim& run, const std::string& base,
                             const std::string& exe_dir);
// The sweep of LIN_sweep_private_temp_dirs in base, sparing the folder keep.
int LIN_sweep_temp_dirs(const std::string& base, const std::string& keep);
// Empties run's folder through its descriptor, never by its name, but for the
// mark and run.spare. true when all of it went.
bool LIN_clear_temp_dir(const lin_temp_claim& run);
// The close-down of run: its folder emptied through the descriptor (a folder
// of the run's own, its program's copy with it), then removed by its name only
// while that name still leads to the folder the run holds; a name that leads
// elsewhere is left alone, with a WARNING. The descriptor is closed.
void LIN_close_temp_dir(lin_temp_claim& run);
