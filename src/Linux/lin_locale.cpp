#include "Linux/lin_locale.h"

#include <cstdlib>

std::string LIN_locale_language(const std::string& name) {
  const std::string lang = name.substr(0, name.find_first_of("_.@"));
  if (lang == "C" || lang == "POSIX") return "";
  return lang;
}

std::vector<std::string> LIN_preferred_languages() {
  std::vector<std::string> out;
  auto add = [&out](const std::string& name) {
    std::string l = LIN_locale_language(name);
    if (!l.empty()) out.push_back(l);
  };
  if (const char* list = getenv("LANGUAGE")) {
    std::string s = list;
    size_t start = 0;
    while (start <= s.size()) {
      size_t end = s.find(':', start);
      if (end == std::string::npos) end = s.size();
      if (end > start) add(s.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(var);
    if (v && *v) {
      add(v);
      break;  // the first one set is the locale in force
    }
  }
  return out;
}
