#include "Installer-f/temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "Files/file_ops.h"
#include "Linux/lin_paths.h"

namespace {
std::string claimed;           // the folder, ending in "/"; "" until claimed
std::vector<std::string> keep;  // names in it that belong to the running program, and the mark

void clear_claimed() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(claimed, ec))
    names.push_back(e.path().filename().string());
  for (const std::string& n : names) {
    bool mine = false;
    for (const std::string& k : keep) mine = mine || n == k;
    if (!mine) recursive_delete_folder(claimed + n);
  }
}
}  // namespace

void temp_folder_claim(const std::string& temp, const std::string& app) {
  if (!claimed.empty() || temp.empty() || temp.back() != '/') return;
  claimed = temp;
  keep.assign(1, LIN_temp_mark_name);
  if (app.size() > temp.size() && app.compare(0, temp.size(), temp) == 0) {
    keep.push_back(app.substr(temp.size(), app.find('/', temp.size()) - temp.size()));
    keep.push_back("Resources");
  }
  clear_claimed();
  LIN_sweep_private_temp_dirs();
}

void temp_folder_follow(std::string& temp) {
  if (claimed.empty()) return;
  const std::string now = LIN_private_temp_dir();
  if (now.empty() || now == claimed) return;
  temp = claimed = now;
  keep.assign(1, LIN_temp_mark_name);  // the program's copy stays where it was
}

void temp_folder_close_down() {
  if (claimed.empty()) return;
  if (LIN_private_temp_is_own()) {
    recursive_delete_folder(claimed);
  } else {
    clear_claimed();
    rmdir(claimed.c_str());  // fails while the program's copy is in it
  }
}
