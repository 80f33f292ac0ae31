// The wizard frame on a real context (transitions, buttons, their geometry
// per language, the progress bar) and the start screen's decisions.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_frame.h"
#include "Installer-f/wizard_globals.h"
#include "support/widget_frame.h"
#include "Installer-f/wizard_rules.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

// Screens of the other flows, linked when they are there.

namespace {
// A screen as a pointer value: a weak screen that is not linked is null, and
// gtest's comparisons would bind a reference to it.
wizard_screen_fn ptr(wizard_screen_fn f) { return f; }

struct calls {
  int a = 0, b = 0, b_first = 0, cancels = 0;
  int a_returns = 0;
  wizard_screen_fn a_next = nullptr, a_back = nullptr;
  std::vector<std::string> choices;
  std::vector<wizard_screen_fn> funcs;
};
calls g;

int screen_b(int first, wizard_screen& s) {
  ++g.b;
  g.b_first += first;
  s.title = "B";
  return 0;
}
void count_cancel() { ++g.cancels; }
int screen_a(int, wizard_screen& s) {
  ++g.a;
  s.title = "A";
  s.next_screen = g.a_next;
  s.back_screen = g.a_back;
  s.choices = g.choices;
  s.choice_funcs = g.funcs;
  s.on_cancel = count_cancel;
  return g.a_returns;
}

class WizardFrame : public fly_test::GlTest {
 protected:
  void SetUp() override {
    fly_test::GlTest::SetUp();
    g = calls();
    app_done = 0;
    mnw.language = 0;
    step_names.clear();
    step_funcs.clear();
    wizard_reset_frame();
    g_wizard = screen_a;
    fly_test::set_frame(APP_update);
  }
  void TearDown() override {
    app_done = 0;
    fly_test::GlTest::TearDown();
  }
  // Clicks the item at its centre; the click acts in the next frame.
  void click(const std::string& key) {
    const ui_item* it = UI_item_find(key);
    ASSERT_NE(it, nullptr) << key;
    fly_test::script_click(static_cast<int>((it->x1 + it->x2) / 2),
                           static_cast<int>(mnw.window_dy - (it->y1 + it->y2) / 2));
    fly_test::run_frames(1);
  }
  int count(const std::string& key) {
    int n = 0;
    for (const ui_item& it : UI_items()) n += it.key == key;
    return n;
  }
};
}  // namespace

TEST_F(WizardFrame, AnAdvanceOnTheFirstFrameLeavesAfterOneFrame) {
  g.a_next = screen_b;
  g.a_returns = 1;
  fly_test::run_frames(1);
  EXPECT_EQ(g.a, 1);
  EXPECT_EQ(g_wizard, screen_b);
  EXPECT_EQ(MACIBM_skip_event_wait, 1);  // the new screen comes without the tick's wait
  fly_test::run_frames(2);
  EXPECT_EQ(g.b, 2);
  EXPECT_EQ(g.b_first, 1);  // only its first call
  EXPECT_EQ(MACIBM_skip_event_wait, 0);
  // An advance without a target stays.
  g = calls();
  g.a_returns = 1;
  g_wizard = screen_a;
  fly_test::run_frames(2);
  EXPECT_EQ(g_wizard, screen_a);
}

TEST_F(WizardFrame, TheButtonsMoveToTheirTargetsOnlyWhenSet) {
  fly_test::run_frames(1);
  EXPECT_EQ(count("Quit"), 1);
  EXPECT_EQ(UI_item_find("Continue")->enabled, 0);
  EXPECT_EQ(UI_item_find("Go Back")->enabled, 0);
  click("Continue");  // disabled: nothing changes
  click("Go Back");
  EXPECT_EQ(g_wizard, screen_a);
  g.a_back = screen_b;
  fly_test::run_frames(1);
  click("Go Back");
  EXPECT_EQ(g_wizard, screen_b);
  g_wizard = screen_a;
  g.a_next = screen_b;
  fly_test::run_frames(1);
  click("Continue");
  EXPECT_EQ(g_wizard, screen_b);
  EXPECT_EQ(app_done, 0);
  EXPECT_EQ(g.cancels, 0);
}

TEST_F(WizardFrame, ChoicesLeadToTheirScreensAndAnAdvanceWinsOverThem) {
  g.choices = {"One", "Two"};
  g.funcs = {screen_a, screen_b};
  fly_test::run_frames(1);
  const ui_item* two = UI_item_find("Two");
  ASSERT_NE(two, nullptr);
  EXPECT_GT(UI_item_find("One")->y1, two->y1);  // top to bottom
  click("Two");
  EXPECT_EQ(g_wizard, screen_b);
  // The same click while the screen asks to advance: the advance is later.
  g_wizard = screen_a;
  g.a_next = wizard_quit;
  fly_test::run_frames(1);
  g.a_returns = 1;
  g.a_next = screen_a;
  click("Two");
  EXPECT_EQ(g_wizard, screen_a);
}

TEST_F(WizardFrame, QuitRunsOnCancelAndAQuitTargetDoesNot) {
  fly_test::run_frames(1);
  click("Quit");
  EXPECT_EQ(app_done, 1);
  EXPECT_EQ(g.cancels, 1);

  app_done = 0;
  g = calls();
  g.a_next = wizard_quit;
  fly_test::run_frames(1);
  ASSERT_EQ(count("Quit"), 1);  // the right-hand one only
  const ui_item* q = UI_item_find("Quit");
  EXPECT_EQ(q->x2, 770);
  EXPECT_EQ(count("Continue"), 0);
  click("Quit");
  EXPECT_EQ(app_done, 0);  // ends on the next frame, through wizard_quit
  fly_test::run_frames(1);
  EXPECT_EQ(app_done, 1);
  EXPECT_EQ(g.cancels, 0);
}

TEST_F(WizardFrame, ANullScreenEndsTheProgram) {
  g_wizard = nullptr;
  fly_test::run_frames(1);
  EXPECT_EQ(app_done, 1);
}

TEST_F(WizardFrame, GoBackStandsTenUnitsLeftOfContinueInEveryLanguage) {
  g.a_next = screen_b;
  g.a_back = screen_b;
  for (int lang = 0; lang < 6; ++lang) {
    mnw.language = lang;
    fly_test::run_frames(1);
    const ui_item* next = UI_item_find("Continue");
    const ui_item* back = UI_item_find("Go Back");
    ASSERT_TRUE(next && back) << lang;
    const float next_w = btn_cuts[3][lang] - btn_cuts[2][lang];
    const float back_w = btn_cuts[2][lang] - btn_cuts[1][lang];
    EXPECT_FLOAT_EQ(next->x2 - next->x1, next_w) << lang;
    EXPECT_FLOAT_EQ(next->x2, 770) << lang;
    EXPECT_FLOAT_EQ(back->x2, 760 - static_cast<int>(next_w + 20)) << lang;
    EXPECT_FLOAT_EQ(back->x2 - back->x1, back_w) << lang;
    EXPECT_FLOAT_EQ(back->y1, 12);
    EXPECT_FLOAT_EQ(back->y2, 34);
  }
  // English: the continue image is 101 wide, French 112.
  EXPECT_FLOAT_EQ(btn_cuts[3][0] - btn_cuts[2][0], 101);
  EXPECT_FLOAT_EQ(btn_cuts[3][1] - btn_cuts[2][1], 112);
}

TEST(WizardProgress, TheBarStartsAtFourPercentAndStaysInTheTrough) {
  const struct {
    float progress, width;
  } cases[] = {{0, 20.8f}, {1, 520}, {2, 520}, {0.5f, 270.4f}, {NAN, 20.8f}, {1e30f, 520}};
  for (const auto& c : cases) {
    float w = -1;
    wizard_progress_bar(c.progress, w);
    EXPECT_NEAR(w, c.width, 0.01) << c.progress;
  }
}

TEST(WizardScreenNames, NameTheScreensOfTheTrace) {
  EXPECT_EQ(wizard_screen_name(dvd_start), "dvd_start");
  EXPECT_EQ(wizard_screen_name(dvd_do_run_sim), "dvd_do_run_sim");
  EXPECT_EQ(wizard_screen_name(wizard_quit), "wizard_quit");
  EXPECT_EQ(wizard_screen_name(nullptr), "");
  EXPECT_EQ(wizard_screen_name(screen_a), "");
}

// ---- The start screen

namespace {
struct start_state {
  const char* name;
  bool disc;         // a folder with a version file at dvd_path
  bool named;        // install_name is the release, not "Not Yet Scanned"
  int dir_state;
  int copies;
  int has_sim, has_scenery;
  const char* text_start;
  std::vector<std::string> choices;
  bool forward;
};

void set_up_start(const start_state& c) {
  const std::string vols = fly_test::sandbox() + "no_drive/";
  mkdir(vols.c_str(), 0755);
  setenv("FLY_MOUNTED_VOLUMES", vols.c_str(), 1);
  const std::string disc = fly_test::sandbox() + "disc/";
  fly_test::write_file(disc + "dvd_version.txt", "I\n840 version\nOTHER\n");
  dvd_path = c.disc ? disc : "";
  install_name = c.named ? "Flyvane 9 Demo" : no_install_name;
  stg.dir_state = c.dir_state;
  stg.disc_has_sim = c.has_sim;
  stg.disc_has_scenery = c.has_scenery;
  all_skysuites.assign(c.copies, fly_test::sandbox());
}
}  // namespace

TEST(StartScreen, TextAndChoicesFollowTheDiscAndTheCopies) {
  const start_state cases[] = {
      {"no disc", false, false, 0, 0, 1, 1, "Please insert Flyvane 9 DVD number one", {}, false},
      {"foreign disc", true, false, 0, 0, 1, 1, "This DVD does not appear", {}, false},
      {"no file list", true, true, 2, 0, 1, 1, "This DVD does not appear", {}, false},
      {"fresh", true, true, 3, 0, 1, 1,
       "Welcome to the Flyvane 9 Installer.  I will guide you through the process of "
       "installing Flyvane 9 Demo.",
       {}, true},
      {"scenery disc, no sim", true, true, 3, 0, 0, 1,
       "This DVD (Flyvane 9 Demo) contains global scenery.", {}, false},
      {"installed", true, true, 3, 1, 1, 1, "You already have Flyvane 9 installed",
       {"Run Flyvane Now", "Add Or Remove Scenery", "Repair Flyvane",
        "Install A Second Copy of Flyvane"},
       false},
      {"installed, scenery disc", true, true, 3, 2, 0, 1, "You already have",
       {"Run Flyvane Now", "Add Or Remove Scenery"}, false},
      {"installed, sim only", true, true, 3, 1, 1, 0, "You already have",
       {"Run Flyvane Now", "Repair Flyvane", "Install A Second Copy of Flyvane"}, false},
  };
  for (const start_state& c : cases) {
    set_up_start(c);
    wizard_screen s;
    EXPECT_EQ(dvd_start(0, s), 0) << c.name;
    EXPECT_EQ(s.title, "Flyvane 9 Installer");
    EXPECT_EQ(s.text.rfind(c.text_start, 0), 0u) << c.name << ": " << s.text;
    EXPECT_EQ(s.choices, c.choices) << c.name;
    ASSERT_EQ(s.choice_funcs.size(), c.choices.size());
    if (!c.choices.empty()) {
      EXPECT_EQ(s.choice_funcs[0], dvd_pick_run_sim);
    }
    if (c.choices.size() == 4) {
      EXPECT_EQ(s.choice_funcs[1], ptr(dvd_pick_scenery));
      EXPECT_EQ(s.choice_funcs[2], ptr(dvd_pick_repair));
      EXPECT_EQ(s.choice_funcs[3], ptr(dvd_pick_install));
    }
    EXPECT_EQ(s.back_screen, nullptr);
    if (c.forward) {
      EXPECT_EQ(s.next_screen, ptr(dvd_pick_install)) << c.name;
    } else {
      EXPECT_EQ(s.next_screen, nullptr) << c.name;
    }
  }
}

TEST(StartScreen, TheFirstFrameSetsTheInstallSteps) {
  step_names = {"old"};
  wizard_screen s;
  dvd_start(1, s);
  ASSERT_EQ(step_names.size(), 6u);
  ASSERT_EQ(step_funcs.size(), 6u);
  EXPECT_EQ(step_names[0], "Welcome");
  EXPECT_EQ(step_names[5], "Finish");
  EXPECT_EQ(step_funcs[0], dvd_start);
  EXPECT_EQ(step_funcs[1], ptr(dvd_pick_install));
  EXPECT_TRUE(all_skysuites.empty());  // the sandbox has no registry
}

TEST(RunSimScreen, OneCopyPassesThroughAndNoneWaits) {
  fly_test::widget_frames frames;  // the copy picker draws
  frames.frame();
  all_skysuites = {"/somewhere/Copy/"};
  dest_dir_path.clear();
  wizard_screen s;
  EXPECT_EQ(dvd_pick_run_sim(1, s), 1);
  EXPECT_EQ(dest_dir_path, "/somewhere/Copy/");
  EXPECT_EQ(s.next_screen, dvd_do_run_sim);
  EXPECT_EQ(s.back_screen, dvd_start);

  all_skysuites.clear();
  dest_dir_path.clear();
  wizard_screen none;
  EXPECT_EQ(dvd_pick_run_sim(1, none), 0);
  EXPECT_EQ(none.next_screen, nullptr);
  EXPECT_EQ(none.text, "Please pick which copy of Flyvane 9 you would like to run.");
}

TEST(RunSimScreen, AFolderLeftByTheInstallFlowIsNoPick) {
  fly_test::widget_frames frames;
  frames.frame();
  all_skysuites = {"/somewhere/A/", "/somewhere/B/"};
  dest_dir_path = "/home/user/Desktop/";  // the new copy's parent, from Go Back
  wizard_screen s;
  EXPECT_EQ(dvd_pick_run_sim(1, s), 0);
  EXPECT_EQ(dest_dir_path, "");
  EXPECT_EQ(s.next_screen, nullptr);  // Continue waits for a ticked copy
  all_skysuites.clear();
}

TEST(RunSimScreen, ASimulatorThatCannotStartIsReportedAndTheInstallerStays) {
  // A copy whose simulator is there but not executable, and one without it.
  const std::string copy = fly_test::sandbox() + "Copy/";
  const std::string exe = copy + "Flyvane-i686";  // the Linux program
  fly_test::write_file(exe, "#!/bin/sh\nexit 0\n");
  chmod(exe.c_str(), 0644);
  stg.target_platform = 3;
  for (const std::string& dir : {copy, fly_test::sandbox() + "Empty/"}) {
    dest_dir_path = dir;
    fly_test::clear_alerts();
    wizard_screen s;
    EXPECT_EQ(dvd_do_run_sim(1, s), 0);
    ASSERT_EQ(fly_test::alerts().size(), 1u) << dir;
    EXPECT_EQ(fly_test::alerts()[0].type, t_alert);
    EXPECT_EQ(fly_test::alerts()[0].s1, "Flyvane 9 could not be started.");
    EXPECT_NE(fly_test::alerts()[0].s2.find(exe.substr(copy.size())), std::string::npos);
    EXPECT_EQ(s.back_screen, dvd_start);
    EXPECT_EQ(s.next_screen, nullptr);
    // Later frames show the failure without asking again.
    wizard_screen again;
    dvd_do_run_sim(0, again);
    EXPECT_EQ(fly_test::alerts().size(), 1u);
    EXPECT_EQ(again.text.rfind("Flyvane 9 could not be started.", 0), 0u);
  }
}
