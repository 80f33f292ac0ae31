// The alert's own window (994) and the save-changes question (995), drawn
// with the widgets and run through the shell's frames.
#include <vector>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_ext.h"
#include "UTL/localize.h"

namespace {
// Whatever the interrupted code left half done (an open Begin, a bound
// program or framebuffer, a scissor) must not spoil the alert's drawing.
void recover_gl_state() {
  if (gl.End) gl.End();
  if (gl.GetError)
    for (int i = 0; i < 30; ++i) gl.GetError();
  OGL_nrml_colors();
  if (glExt.glsl_avail && glExt.glUseProgramObjectARB) glExt.glUseProgramObjectARB(0);
  if (glExt.framebuf_avail && glExt.glBindFramebufferEXT)
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  if (gl.BlendFunc) gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (gl.Disable) gl.Disable(GL_SCISSOR_TEST);
}
}  // namespace

void MACIBM_alert_gl_window(int ret_window, const std::string& s1, const std::string& s2,
                            const std::string& s3, const std::string& s4, int type,
                            const std::string& location) {
  recover_gl_state();
  const float saved_x = mnw.mouse_x, saved_y = mnw.mouse_y;
  MACIBM_startwind(994, 0);
  // A Return of the frame that raised the alert must not acknowledge it
  // before it was ever shown.
  return_hit = 0;

  // A quit request (the window's close button, the session ending) also
  // ends the alert: the user could not leave the program otherwise.
  while (mnw.window_type == 994 && !app_done) {
    OGL_plot_back_col();
    BTN_fillwin(1, 24);
    float next_x = 0, next_y = 0;
    BTN_subwin(0, 16, -1, 35, -1, -1, "", &next_x, &next_y);
    const float cx = mnw.win_dx / 2, wrap = mnw.win_dx * 0.9f;
    std::string label;
    if (type == t_language) {
      std::vector<int> langs;
      UTL_lang_get_languages(langs);
      float y = 180;
      for (int l : langs) {
        BTN_is_int(cx - 25, y, &mnw.language, l, UTL_lang_get_button(l));
        y -= 20;
      }
      stls.window_title = "Language/";
      label = "Accept";
    } else {
      const std::string* lines[] = {&s1, &s2, &s3, &s4};
      for (int i = 0; i < 4; ++i) {
        const float y = 205.0f - 40.0f * i;
        OGL_string(46, cx, y, *lines[i], wrap, font_regular, 1);
        // Not clickable, but named, so the trace and scripted runs see the message.
        if (!lines[i]->empty())
          UI_item_add(*lines[i], cx - wrap / 2, y - 10, cx + wrap / 2, y + 4, 0, 0);
      }
      if (type == t_exit) OGL_string(46, cx, 45, location, wrap, font_regular, 1);
      label = UTL_translate_string("Understood");
    }
    const int pressed = BTN_action(cx, 18, 0, 0, 0, label, "-") || return_hit;
    if (pressed) {
      return_hit = 0;
      if (type == t_exit) break;
      MACIBM_startwind(ret_window, 0);
      mnw.mouse_x = saved_x;
      mnw.mouse_y = saved_y;
      if (mnw.window_type == 994) MACIBM_event_proc();
    } else if (mnw.window_type == 994) {
      MACIBM_event_proc();
    }
  }
  if (mnw.window_type == 994 && type != t_exit) {
    MACIBM_startwind(ret_window, 0);
    mnw.mouse_x = saved_x;
    mnw.mouse_y = saved_y;
  }
}

int MACIBM_nuke_alert(std::string name, int allow_cancel) {
  MACIBM_startwind(995, 0);
  if (mnw.window_type != 995) return 3;
  for (;;) {
    OGL_plot_back_col();
    BTN_fillwin(1, 24);
    OGL_string(46, 20, mnw.win_dy - 40,
               UTL_translate_string("Save changes to ") + name + " " +
                   UTL_translate_string("first?"),
               mnw.win_dx - 40, font_regular, 0);
    const std::string save = UTL_translate_string("Save");
    const std::string dont = UTL_translate_string("Don't Save");
    const std::string cancel = UTL_translate_string("Cancel");
    int answer = 0;
    if (BTN_action(str_dx(save) / 2 + 20, 60, 0, 0, 0, save, "-")) answer = 1;
    if (BTN_action(str_dx(dont) / 2 + 20, 25, 0, 0, 0, dont, "-")) answer = 2;
    if (allow_cancel && BTN_action(mnw.win_dx - str_dx(cancel) / 2 - 20, 25, 0, 0, 0, cancel, "-"))
      answer = 3;
    if (answer) {
      MACIBM_startwind(0, 0);
      return answer;
    }
    MACIBM_event_proc();
    if (mnw.window_type != 995) return 3;
    if (app_done) {  // a quit request closes the question
      MACIBM_startwind(0, 0);
      return 3;
    }
  }
}
