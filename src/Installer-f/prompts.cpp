#include "Installer-f/prompts.h"

#include "UTL/xer.h"

prompt_runner_fn installer_prompt_runner = prompt_headless_runner;

int prompt_headless_runner(const prompt_window& w) {
  xer << "WARNING: no window for prompt " << w.window << "; answered as closed:";
  for (const prompt_line& l : w.lines) xer << " \"" << l.text << "\"";
  xer << "\n";
  return 3;
}
