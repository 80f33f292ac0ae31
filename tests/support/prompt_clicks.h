// Answers an engine prompt through the prompt window: the window runner
// draws it frame by frame while a scripted user clicks the button that gives
// the wanted answer (or closes the window when no button gives it).
#pragma once

#include "Installer-f/prompts.h"

namespace fly_test {

// Runs prompt_window_runner on w; the user answers `answer`. *frames gets the
// number of frames the window ran, when given.
int answer_in_window(const prompt_window& w, int answer, int* frames = nullptr);

}  // namespace fly_test
