#include "Installer-f/temp_folder.h"

#include <vector>

#include "Linux/lin_paths.h"

void temp_folder_claim(const std::string& temp, const std::string& app) {
  if (LIN_private_temp_taken() || temp.empty() || temp.back() != '/') return;
  std::vector<std::string> spare;
  if (app.size() > temp.size() && app.compare(0, temp.size(), temp) == 0) {
    spare.push_back(app.substr(temp.size(), app.find('/', temp.size()) - temp.size()));
    spare.push_back("Resources");
  }
  LIN_private_temp_take(spare);
  LIN_sweep_private_temp_dirs();
}

void temp_folder_follow(std::string& temp) {
  if (!LIN_private_temp_taken()) return;
  const std::string now = LIN_private_temp_dir();
  if (!now.empty()) temp = now;
}

void temp_folder_close_down() { LIN_private_temp_close_down(); }
