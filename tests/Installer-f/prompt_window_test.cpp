// The engine's two prompts in their windows: every button gives its answer,
// closing gives 3, and the window goes back to window 0 after an answer.
#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "GenH/shell.h"
#include "Installer-f/selection.h"
#include "support/prompt_clicks.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

namespace {

// The prompt select_alert or abort_alert builds, caught on its way to the runner.
prompt_window g_caught;
int catch_prompt(const prompt_window& w) {
  g_caught = w;
  return 3;
}

prompt_window select_prompt(int is_delete) {
  installer_prompt_runner = catch_prompt;
  select_alert("Installed/Resources/a.txt", is_delete);
  installer_prompt_runner = prompt_headless_runner;
  return g_caught;
}

prompt_window abort_prompt() {
  installer_prompt_runner = catch_prompt;
  abort_alert("Stop the install?", "Continue", "goes on", "Stop", "stops it");
  installer_prompt_runner = prompt_headless_runner;
  return g_caught;
}

}  // namespace

TEST(PromptWindow, EachSelectButtonGivesItsAnswer) {
  for (int del = 0; del < 2; ++del) {
    const prompt_window w = select_prompt(del);
    ASSERT_EQ(w.window, 996);
    for (int answer : {1, 2, 4, 5, 3}) {
      int frames = 0;
      EXPECT_EQ(fly_test::answer_in_window(w, answer, &frames), answer) << "delete " << del;
      EXPECT_EQ(frames, 2);
      EXPECT_EQ(mnw.window_type, 0);
    }
  }
}

TEST(PromptWindow, AbortButtonsAndClosing) {
  const prompt_window w = abort_prompt();
  ASSERT_EQ(w.window, 997);
  EXPECT_EQ(fly_test::answer_in_window(w, 1), 1);
  EXPECT_EQ(fly_test::answer_in_window(w, 0), 0);
  EXPECT_EQ(fly_test::answer_in_window(w, 3), 3);  // no button: the window is closed
  EXPECT_EQ(fly_test::answer_in_window(select_prompt(0), 7), 3);
}

TEST(PromptWindow, OneFrameDrawsTextsAndButtonsAtTheirPlaces) {
  fly_test::widget_frames f;
  mnw.window_type = 996;
  const prompt_window w = select_prompt(1);
  EXPECT_EQ(prompt_window_frame(w), -1);
  const ui_item* del = UI_item_find("DELETE THE OLD FILE");
  ASSERT_NE(del, nullptr);
  EXPECT_FLOAT_EQ((del->x1 + del->x2) / 2, 108);
  EXPECT_FLOAT_EQ(del->x2 - del->x1, 185);
  EXPECT_FLOAT_EQ((del->y1 + del->y2) / 2, 53);
  ASSERT_NE(UI_item_find("CANCEL THE WHOLE INSTALLATION!"), nullptr);
  f.click(621 + 112, 28 - 10);  // the cancel button's lower right corner
  f.frame();
  EXPECT_EQ(prompt_window_frame(w), 3);
}

TEST(PromptWindow, WithoutTheShellItAnswersAsHeadless) {
  BTN_modal = {nullptr, nullptr};
  installer_prompt_runner = prompt_window_runner;
  EXPECT_EQ(select_alert("x", 0), 3);
  EXPECT_EQ(abort_alert("m", "a", "", "b", ""), 3);
  installer_prompt_runner = prompt_headless_runner;
  EXPECT_THAT(fly_test::log_text(), HasSubstr("no window for prompt 996"));
}

TEST(PromptWindow, QuittingEndsThePrompt) {
  fly_test::widget_frames f;
  f.script.push_back([](fly_test::widget_frames&) { app_done = 1; });
  EXPECT_EQ(prompt_window_runner(abort_prompt()), 3);
  app_done = 0;
}
