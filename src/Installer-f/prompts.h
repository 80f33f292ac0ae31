// The engine's modal prompts (the modified-file question and the two-button
// confirmation) as plain descriptions, and the one hook that shows them.
//
// The engine builds the window's texts and buttons; the runner shows them in
// the program's window and runs frames until the user answers. The widget
// toolkit installs the OpenGL runner; tests install a scripted one.
#pragma once

#include <string>
#include <vector>

enum { prompt_select_window = 996, prompt_abort_window = 997 };

struct prompt_line {
  std::string text;  // English; the runner translates it every frame
  float x, y;
  float wrap_margin;  // wrapped at the dialog width less this
};

struct prompt_button {
  std::string label;  // English; translated by the runner
  float x, y, width;  // centre and width
  int result;         // what a click on it answers
};

struct prompt_window {
  int window;  // logical window number
  std::vector<prompt_line> lines;
  std::vector<prompt_button> buttons;
};

// Opens the logical window, runs one frame per pass until a button is
// clicked and returns its result after going back to window 0; returns 3
// when the window cannot be opened or is closed otherwise.
using prompt_runner_fn = int (*)(const prompt_window& w);

// The runner in use. Without a window (headless) it is prompt_headless_runner.
extern prompt_runner_fn installer_prompt_runner;

// Logs the question and answers as a closed window (3): nothing is replaced,
// deleted or abandoned on a guess.
int prompt_headless_runner(const prompt_window& w);
