// Making the folders an install needs and deleting the files it drops.
#pragma once

#include <set>
#include <string>
#include <vector>

struct file_version_struct;

// Drops everything up to and including the first "/" (the platform folder of
// a file-list path); a path without "/" stays as it is.
void trim_dest_folder(std::string& path);
// Where a file-list path lies in the install folder: dest_dir_path + the
// path less its platform folder.
std::string installed_path(const std::string& list_path);

// 0, or the error code of the first folder that could not be made (the user
// has been told).
int make_dirs();
void make_dir_error(std::string path, int code);
// Deletes every to_delete file, then the folders that became empty (never
// dest_dir_path itself, nor a folder that a file to install needs).
void delete_files();
// The files the last delete_files left in place though they were to go
// (not those a wanted row or a link keeps): a scenery run that removes
// tiles must not call itself a success over them.
extern std::vector<std::string> undeleted_files;

// Deletes the installed file `full` of row v; the folders above it, below
// dest_dir_path, join folders. The row counts as installed no more unless the
// file is still there, which the log warns of. delete_file's code.
int delete_installed_file(file_version_struct& v, const std::string& full,
                          std::set<std::string>& folders);
// 1 when the to_delete file full of row v must stay (logged): a wanted row
// names it ignoring case, or it lies behind a link that a row names.
int keep_despite_delete(const file_version_struct& v, const std::string& full);
// Makes every folder of the path folder (ending in "/") that is missing.
void make_folder_chain(const std::string& folder);
// Writes what the install folder's volume holds in memory to disk: a step
// reports done only once its files would survive a power loss.
void sync_install_folder();

// Deletes the folders that are empty, deepest first.
void remove_empty_folders(const std::set<std::string>& folders);
