// The command line as a table from option name to value.
#pragma once

#include <map>
#include <string>

class UTL_cmdline {
 public:
  void init_unix(int argc, const char* const* argv);
  void init_win(const char* line);
  // Handles --cmnds, --version and -h/--help, which end the program.
  void init_common();

  int has_option(const char* key) const;
  std::string get_option(const char* key) const;

  // Forgets every option (tests start each case from an empty table).
  void clear() { table_.clear(); }

 private:
  void store(const std::string& item);
  void store(const std::string& key, const std::string& value);
  std::map<std::string, std::string> table_;
};

extern UTL_cmdline cmdline;

// The usage text printed by -h and --help.
extern const char* const UTL_usage_text;
