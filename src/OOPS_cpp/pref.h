// The preferences files: one setting a line after the common data-file
// header. Any stored value can be overridden for one run with
// "--pref:" + key + "=" + value on the command line.
#pragma once

#include <map>
#include <string>

// Type 11, the installer's own file in the user's preferences folder.
enum { pref_display = 10, pref_installer = 11, pref_calibration = 12 };

// One preferences file, open for reading (every line in vals) or for writing
// (through ouf, open from construction to destruction).
class scan_class {
 public:
  scan_class(const std::string& path, int mode);  // mode 0 read, 1 write
  ~scan_class();
  scan_class(const scan_class&) = delete;
  scan_class& operator=(const scan_class&) = delete;

  // Write mode: writes the line and returns 0. Read mode: takes the value
  // from the command line, else from the file, and returns 1; returns 0 and
  // leaves *value alone when neither has the key.
  int int_io(int* value, const std::string& key);

  int mode;
  std::map<std::string, std::string> vals;  // key to value text, read mode only
};

class pref_class {
 public:
  // Reads (mode 0) or writes (mode 1) every setting of the file of a type.
  void IO_set(int type, int mode);
  int IO_sta(int, int, std::string) { return 0; }

  // The file of a type.
  static std::string path_for(int type);
};

extern pref_class pref;
