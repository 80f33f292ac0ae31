// Making the folders an install needs and deleting the files it drops.
#pragma once

#include <string>

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
// dest_dir_path itself).
void delete_files();
