#include "support/prompt_clicks.h"

#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "support/widget_frame.h"

namespace fly_test {

int answer_in_window(const prompt_window& w, int answer, int* frames) {
  widget_frames f;
  std::string label;
  for (const prompt_button& b : w.buttons)
    if (b.result == answer) label = b.label;
  // One frame looking at the window, then the click on what it showed.
  f.script.push_back([](widget_frames&) {});
  f.script.push_back([label](widget_frames& fr) {
    const ui_item* it = label.empty() ? nullptr : UI_item_find(label);
    if (!it) {
      mnw.window_type = 0;  // closed
      return;
    }
    fr.click((it->x1 + it->x2) / 2 / mnw.scale - mnw.origin_x,
             (it->y1 + it->y2) / 2 / mnw.scale - mnw.origin_y);
  });
  const int r = prompt_window_runner(w);
  if (frames) *frames = f.event_procs;
  return r;
}

}  // namespace fly_test
