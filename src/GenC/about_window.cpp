// The about box's window (993): product, credits, the version check's
// outcome and the update buttons, over about_per_frame's work.
#include "GenH/about.h"
#include "GenH/butn.h"
#include "GenH/ui_items.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "OGL/ogl_draw.h"
#include "UTL/localize.h"

namespace {
const char* const k_site = "http://www.tessaline-labs.example/";
const char* const k_credits_top[] = {"Tessaline Labs", "www.tessaline-labs.example"};
const char* const k_credits_rest[] = {
    "Installer, framework and interface by the Tessaline Labs team.",
    "Fonts: DejaVu. Images: libpng. Archives: minizip and the LZMA SDK."};

// One line at x 20 below y; where the next line goes.
float line(int colour, float y, const std::string& text) {
  return OGL_string(colour, 20, y - 10, text, mnw.win_dx - 40, font_regular, 0) - 10;
}
}  // namespace

void MACIBM_about_frame(about_state& st) {
  OGL_plot_back_col();
  BTN_fillwin(1, 24);
  float nx = 0, ny = 0;
  BTN_subwin(0, 18, -1, 35, -1, -1, "", &nx, &ny);
  float y = mnw.win_dy - 35;
  y = line(52, y, about_product_line(is_demo));
  for (const char* c : k_credits_top) y = line(52, y, c);
  y -= 10;
  y = line(50, y, about_version_line(st));
  for (const char* c : k_credits_rest) y = line(50, y, c);

  if (BTN_action(191, 17, 0, 0, 0,
                 UI_tr("Visit www.tessaline-labs.example for news and updates!"), "-"))
    go_to_URL(k_site);
  if (st.ins_state == 1 &&
      BTN_action(492, 17, 0, 0, 0, UI_tr(st.is_beta ? " Get New Beta! " : "Update Flyvane!"),
                 "-"))
    about_get_new(st);
  const std::string status = about_status_text(st);
  if (!status.empty())
    OGL_string(61, 20, y - 40, status, mnw.win_dx - 40, font_regular, 0);
}

void MACIBM_about() {
  MACIBM_startwind(993, 0);
  if (mnw.window_type != 993) return;
  while (mnw.window_type == 993 && !app_done) {
    about_per_frame(about_box);
    MACIBM_about_frame(about_box);
    MACIBM_event_proc();
  }
}
