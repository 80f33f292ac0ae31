// Resource names: "RESOURCE:" + a file name among the program's resources.
#pragma once

#include <string>

// 1 and the prefix removed when path begins with "RESOURCE:", else 0.
int UTL_path_is_resource(std::string& path);
// The full path of a resource file, "" when there is none.
std::string UTL_resource_get_file(const std::string& name);
