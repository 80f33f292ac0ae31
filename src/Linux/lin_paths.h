// The user's folders that the installer writes to, each ending in "/" and
// created when missing; "" when a folder cannot be had.
#pragma once

#include <string>

// The XDG desktop folder (fallback $HOME/Desktop).
std::string LIN_desktop_dir();
// ${XDG_CONFIG_HOME:-$HOME/.config}/
std::string LIN_prefs_dir();
// A folder of this user's alone under ${TMPDIR:-/tmp}: mode 0700, owned by the
// user and not a symbolic link, since the installer writes fixed names there.
std::string LIN_private_temp_dir();
