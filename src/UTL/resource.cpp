#include "UTL/resource.h"

#include <sys/stat.h>

#include "Linux/lin_sys.h"

int UTL_path_is_resource(std::string& path) {
  if (path.compare(0, 9, "RESOURCE:") != 0) return 0;
  path.erase(0, 9);
  return 1;
}

std::string UTL_resource_get_file(const std::string& name) {
  // The resources lie in "Resources/" beside the executable.
  std::string exe = LIN_exe_path();
  const size_t slash = exe.find_last_of('/');
  if (name.empty() || slash == std::string::npos) return "";
  const std::string p = exe.substr(0, slash + 1) + "Resources/" + name;
  struct stat st;
  return (stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ? p : "";
}
