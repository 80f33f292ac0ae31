#include "Installer-f/prompts.h"

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "OGL/ogl_draw.h"
#include "UTL/xer.h"

prompt_runner_fn installer_prompt_runner = prompt_headless_runner;

int prompt_headless_runner(const prompt_window& w) {
  xer << "WARNING: no window for prompt " << w.window << "; answered as closed:";
  for (const prompt_line& l : w.lines) xer << " \"" << l.text << "\"";
  xer << "\n";
  return 3;
}

int prompt_window_frame(const prompt_window& w) {
  OGL_plot_back_col();
  BTN_fillwin(1, 24);
  for (const prompt_line& l : w.lines)
    OGL_string(46, l.x, l.y, UI_tr(l.text), mnw.win_dx - l.wrap_margin, font_regular, 0);
  int answer = -1;
  for (const prompt_button& b : w.buttons)
    if (BTN_action(b.x, b.y, b.width, 0, 1, UI_tr(b.label), "-") && answer < 0)
      answer = b.result;
  return answer;
}

int prompt_window_runner(const prompt_window& w) {
  if (!BTN_modal.startwind || !BTN_modal.event_proc) return prompt_headless_runner(w);
  BTN_modal.startwind(w.window, 0);
  for (;;) {
    if (mnw.window_type != w.window || app_done) return 3;
    const int answer = prompt_window_frame(w);
    if (answer >= 0) {
      BTN_modal.startwind(0, 0);
      return answer;
    }
    BTN_modal.event_proc();
  }
}
