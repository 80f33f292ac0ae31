// Choosing what to install, keep or delete, the scenery tile selection and
// the size totals the wizard shows.
#pragma once

#include <string>

#include "Installer-f/directory.h"

// The install filter: simulator files, global-scenery tiles, or both.
extern int g_want_sim;
extern int g_want_global;
void set_install_filter(int want_sim, int want_global);

// The filter and the platform test on one version, with the settings passed
// in (for work that must not read the globals while the main thread runs).
int filter_wants(const file_version_struct& v, int want_sim, int want_global, int target_platform);
// The same with the current filter and stg.target_platform.
int want_this_f(int row, int version);

void scenery_take_none();
void scenery_take_all();
void scenery_from_install();
// 1 when v is a global tile the user has selected.
int scenery_selected(const file_version_struct& v);

void recalc_disk_sizes();

// Sets to_install, to_delete and progress_start of every row's last version;
// asks about installed files that match no known version. 0 when the user
// cancels (the rows decided so far keep their decision), else 1.
int choose_files();

// Answers: 1 replace (or delete) this file, 2 keep it, 4 replace (or delete)
// every modified file in its folder, 5 keep them all, 3 cancel the whole
// installation (also when the window closes).
int select_alert(std::string path, int is_delete);
// 1 first button, 0 second, 3 window closed.
int abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                std::string text2);

// out = path up to and including its last "/" (a single trailing "/" of a
// path longer than two characters is ignored); "" when there is none.
void get_path_with_path(std::string& out, const std::string& path);
