// Process and volume operations around the installation disc: starting another
// application, ejecting the disc, recognising optical media, loading a system
// library's code, and the large-address flag of Windows executables.
#pragma once

#include <cstdint>
#include <string>

using OSStatus = int32_t;
// A loaded library: the handle dlopen gave. Symbols come from dlsym; the owner
// releases it with dlclose.
using CFBundleRef = void*;

// Starts app with the arguments ("-path", arg), or none when arg is empty. A
// bundle folder (one holding "Contents/Info.plist" or "Contents/MacOS/") runs
// its executable in "Contents/MacOS/"; any other path runs as it is. Once the
// program runs, the installer closes down (the full close-down when
// finish_first is set) and exits with status 1. Returns only on failure: the
// errno of fork or exec.
int launch_app(const std::string& app, const std::string& arg, int finish_first);
// The executable of the bundle folder at path (full, without trailing "/"):
// in "Contents/MacOS/", the name its Info.plist gives as CFBundleExecutable,
// else (no list, or no such key) the folder's name less its extension. A path
// that is no bundle comes back as it is.
std::string APL_bundle_executable(const std::string& path);

// Unmounts the removable volume that holds path (any path on it) and opens
// its drive. 0, or the errno of finding the path, reading the mount table or
// the eject; ENODEV for a volume on a fixed disk, which stays mounted.
OSStatus eject_dvd(const std::string& path);
// 1 when the mount with this id (the first field of /proc/self/mountinfo) is
// on a CD or DVD drive, else 0.
int APL_is_dvd_disk(short volume);

// Loads a system library by framework name ("OpenGL.framework" is libGL.so.1)
// or by library name. 0 with *out set (released when out is null); else -50
// (name not UTF-8), -43 (empty name), -54 (no such library) or -37 (it does
// not load), each a fatal alert with alert_on_failure.
OSStatus load_bundle_by_filename(const char* name, int alert_on_failure, CFBundleRef* out);
// The file name dlopen is given for name.
std::string APL_framework_library(const std::string& name);

// Sets the large-address-aware bit in a PE file's COFF header. 0, an errno,
// 5 for a short read or write, 20013 without "MZ", 20014 without "PE\0\0".
int make_file_large_address_aware(const std::string& exe);
