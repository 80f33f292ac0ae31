// Paths: app-relative text with "/" separators, folders ending in "/".
#pragma once

#include <string>

enum os_dir_type {
  os_dir_this_app = 0,    // the folder that holds the application
  os_dir_app_bundle = 1,  // the application itself
  os_dir_desktop = 2,
  os_dir_default_apps = 3,  // also the desktop
  os_dir_temp = 4,          // a private temporary folder
  os_dir_prefs = 5,
};

// path = app_path + path, then, on a case-sensitive volume, the letter case of
// missing components is repaired with findPath.
void set_path_to_full(std::string& path);
void set_path_to_full_wrap(std::string* path);
// The same as a value.
std::string full_path(std::string path);

// Repairs, in place, the case of components that do not exist as spelt by the
// first entry of their folder that matches ignoring case. Components that
// exist are kept; the first that neither exists nor matches ends the repair.
void findPath(char* path);
void findPath(std::string& path);

// For paths read from data files: text that is not UTF-8 is taken as Mac Roman
// and converted, then "\" and ":" become "/".
void set_path_to_right_dirchars(std::string& path);
// 1 when the bytes are valid UTF-8 (overlong forms accepted).
int is_valid_utf8(const std::string& s);
// Appends the UTF-8 form of one Mac Roman byte.
void mac_roman_to_utf8(unsigned char c, std::string& out);

// A system folder, ending in "/" (kind 1 is the program file itself); out is
// left unchanged when the folder cannot be found or made.
void get_OS_abs_path(os_dir_type kind, std::string& out);

// Stand-in for a file-system reference: a resolved absolute path.
struct FSRef {
  std::string path;
};
// Without name: ref is the existing path itself. With name: *name is the last
// component (a trailing "/" ignored) and ref its folder, which must exist; a
// path without "/" lies in the working folder. 0 or an errno.
int FilePathToFSRefAndName(const char* path, FSRef* ref, std::string* name);
// The reference's path, no trailing "/"; 0, or -1 with out unchanged.
int FSRefToFilePath(const FSRef* ref, std::string& out);
