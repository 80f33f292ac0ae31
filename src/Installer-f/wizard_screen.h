// What a wizard screen shows: the record its callback fills afresh every
// frame. The frame draws it and moves by its targets.
#pragma once

#include <string>
#include <vector>

struct wizard_screen;
// first_frame is 1 on the first frame this screen is current; 1 back asks to
// go on to next_screen.
using wizard_screen_fn = int (*)(int first_frame, wizard_screen& screen);

struct wizard_screen {
  std::string title;
  std::string text;
  wizard_screen_fn back_screen = nullptr;  // null: Go Back disabled
  wizard_screen_fn next_screen = nullptr;  // null: Continue disabled
  float progress = -1;                     // below 0: no progress bar
  std::string progress_text;
  int show_servers = 0;
  std::vector<std::string> choices;            // top to bottom
  std::vector<wizard_screen_fn> choice_funcs;  // parallel to choices
  void (*on_cancel)() = nullptr;               // run by Quit before the program ends
};
