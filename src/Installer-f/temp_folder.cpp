#include "Installer-f/temp_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "Files/file_ops.h"

namespace {
std::string claimed;           // the folder, ending in "/"; "" until claimed
std::vector<std::string> keep;  // names in it that belong to the running program
}  // namespace

int temp_folder_claim(const std::string& temp, const std::string& app) {
  if (!claimed.empty()) return 1;
  if (temp.empty() || temp.back() != '/') return 0;
  // A lock on the folder itself, held by the open descriptor until the
  // process ends; not inherited by the programs it starts.
  const int fd = open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return 0;
  }
  claimed = temp;
  keep.clear();
  if (app.size() > temp.size() && app.compare(0, temp.size(), temp) == 0) {
    keep.push_back(app.substr(temp.size(), app.find('/', temp.size()) - temp.size()));
    keep.push_back("Resources");
  }
  temp_folder_clear();
  return 1;
}

void temp_folder_clear() {
  if (claimed.empty()) return;
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
