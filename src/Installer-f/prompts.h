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

// The prompt in the program's window, drawn with the widgets: opens the
// logical window, runs the shell's frames through BTN_modal and answers 3
// when the window goes away (or the program is quitting). Without the
// shell's frame loop it answers as prompt_headless_runner does.
int prompt_window_runner(const prompt_window& w);
// One frame of the prompt: draws it and hit-tests this frame's mouse; the
// clicked button's result, or -1 when none was clicked.
int prompt_window_frame(const prompt_window& w);
