// The file chooser's parts, each usable alone: where it starts, how a saved
// name is made, the folder levels of the drop-down, one level up, and one
// pass of its modal loop.
#pragma once

#include <string>
#include <vector>

// The folder a chooser for file_type starts in for the given path.
std::string BTN_opensave_start_folder(int file_type, const std::string& path);
// The file name a Save stores for the typed text: a four-character
// extension dropped, the type's own added.
std::string BTN_opensave_save_name(int file_type, const std::string& text);
// The extension the type adds on saving ("" for none).
const char* BTN_opensave_extension(int file_type);

struct opensave_levels {
  std::string entries;             // the drop-down's entries, "-" between them
  std::vector<std::string> table;  // [0] "" and [k] the folder cut after its k-th component
  std::vector<std::string> shown;  // the components as shown (k = 1..)
  int level;                       // the entry equal to the folder
};
opensave_levels BTN_opensave_levels(const std::string& folder);
// The folder without its last component ("" stays "").
std::string BTN_opensave_up(const std::string& folder);

// One chooser, between its passes.
struct opensave_state {
  int open_save = 998;
  int file_type = 0;
  int return_to = 0;  // the logical window to go back to
  std::string folder;
  std::vector<std::string> names;
  std::vector<int> types;
  int centre = 0, selected = 0;
  std::string file_name;  // Save only
};
void BTN_opensave_begin(opensave_state* s, int open_save, int file_type, const std::string& path);
// One pass: draws the chooser and acts on this frame's input. -1 to go on,
// 0 cancelled (or another window took over), 1 chosen with *path set.
int BTN_opensave_pass(opensave_state* s, std::string* path);
