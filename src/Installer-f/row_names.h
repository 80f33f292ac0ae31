// The engine's decisions by name (which rows are one file, what may be
// deleted, what a sum belongs to, what may be followed) are taken as the
// files are found on a case-sensitive volume: without letter case.
#pragma once

#include <set>
#include <string>

struct file_version_struct;

// A file-list path as a key: the installed path (less the platform folder),
// ASCII letters in lower case.
std::string name_key(const std::string& list_path);

// Takes note of sim_info: every path that any version of any row names, and
// the paths of the wanted files (last version not GONE, for the target
// platform). Main thread; again whenever sim_info or the target changed.
void note_row_names();
// 1 when v removes a file (GONE) that a wanted row names ignoring case: the
// file is that row's, never this row's to delete or to sum.
int gone_but_wanted(const file_version_struct& v);
// 1 when a folder on the way from dest_dir_path to the installed file of
// list_path is a link at a path that a row names: the installer put it
// there from an archive, it may point anywhere, and nothing is written,
// deleted or changed through it. A link the user made is followed.
int passes_row_link(const std::string& list_path);
// The web road, where deletions and downloads interleave: such links on the
// way whose own rows delete them anyway (GONE, to_delete) go now, before a
// file is unpacked behind them; their folders join folders.
void delete_gone_row_links(const std::string& list_path, std::set<std::string>& folders);
