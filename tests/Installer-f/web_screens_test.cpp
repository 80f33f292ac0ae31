// The web flows' screens as the wizard frame calls them: targets mapped to
// screen functions, the step lists, the widgets each screen draws (copy
// picker, beta box, licence box, destination button and name field, the
// disk-space panel) and the preferences window, driven by synthetic frames.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "Installer-f/registry.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/web_screens.h"
#include "Installer-f/wizard_globals.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/pref.h"
#include "Files/paths.h"
#include "support/test_util.h"
#include "support/widget_frame.h"

using ::testing::HasSubstr;

int wizard_quit(int first_frame, wizard_screen& screen);

namespace {
// This frame's item whose key or shown text holds text.
const ui_item* item_with(const std::string& text) {
  for (const ui_item& i : UI_items())
    if (i.key.find(text) != std::string::npos || i.shown.find(text) != std::string::npos)
      return &i;
  return nullptr;
}

// Clicks the item holding text (drawn by the last call) and runs one frame.
void click_item(fly_test::widget_frames& f, const std::string& text) {
  const ui_item* i = item_with(text);
  ASSERT_NE(i, nullptr) << text;
  f.advance(1);  // never a double click
  f.click((i->x1 + i->x2) / 2, (i->y1 + i->y2) / 2);
  f.frame();
  f.release();
}

// A folder that counts as an installed copy.
std::string make_copy(const std::string& dir) {
  for (const char* sub : {"Airfoils", "Instructions", "Output", "Resources/plugins"})
    LIN_make_dirs(dir + sub);
  return dir;
}

std::vector<std::string> names_of(const std::vector<std::string>& v) { return v; }
}  // namespace

TEST(WebScreenTargets, EveryTargetHasItsScreenAndPagesMapWhole) {
  const struct {
    web_target t;
    wizard_screen_fn fn;
  } table[] = {
      {web_target::none, nullptr},
      {web_target::net_start, net_start},
      {web_target::net_pick_dest, net_pick_dest},
      {web_target::net_get_updates, net_get_updates},
      {web_target::net_check_disk, net_check_disk},
      {web_target::net_run_patch, net_run_patch},
      {web_target::net_done, net_done},
      {web_target::demo_start, demo_start},
      {web_target::see_eula, demo_see_eula},
      {web_target::demo_get_updates, demo_get_updates},
      {web_target::demo_pick_dest, demo_pick_dest},
      {web_target::demo_run_patch, demo_run_patch},
      {web_target::demo_done, demo_done},
      {web_target::wizard_quit, wizard_quit},
      {web_target::run_sim, dvd_do_run_sim},
  };
  for (const auto& row : table) EXPECT_EQ(web_screen_for(row.t), row.fn) << int(row.t);

  web_page p;
  p.title = "T", p.text = "x", p.progress_text = "y", p.progress = 0.5f, p.show_servers = 1;
  p.back = web_target::net_check_disk, p.next = web_target::none;
  p.choices = {"Fly Flyvane Now"}, p.choice_targets = {web_target::run_sim};
  wizard_screen s;
  s.next_screen = net_done;  // a stale value from the last frame is overwritten
  s.choice_funcs = {net_start, net_start};
  web_page_to_screen(p, s);
  EXPECT_EQ(s.back_screen, net_check_disk);
  EXPECT_EQ(s.next_screen, nullptr);
  EXPECT_EQ(s.progress, 0.5f);
  EXPECT_EQ(s.show_servers, 1);
  ASSERT_EQ(s.choice_funcs.size(), 1u);
  EXPECT_EQ(s.choice_funcs[0], dvd_do_run_sim);
}

TEST(WebUpdateScreens, WelcomeInstallsTheStepsAndTheBetaBox) {
  fly_test::widget_frames f;
  cmd_line_path = "/opt/copy";
  wizard_screen s;
  EXPECT_EQ(net_start(1, s), 0);
  EXPECT_EQ(s.next_screen, net_get_updates);
  EXPECT_EQ(s.back_screen, nullptr);
  EXPECT_EQ(names_of(step_names),
            (std::vector<std::string>{"Welcome", "Search for Updates", "Check Disk Space",
                                      "Install Updates", "Finish"}));
  EXPECT_EQ(step_funcs, (std::vector<wizard_screen_fn>{net_start, net_get_updates, net_check_disk,
                                                       net_run_patch, net_done}));
  cmd_line_path.clear();
  s = {};
  net_start(1, s);
  EXPECT_EQ(s.next_screen, net_pick_dest);
  ASSERT_EQ(step_funcs.size(), 6u);
  EXPECT_EQ(step_funcs[1], net_pick_dest);

  stg.get_beta = 0;
  click_item(f, "Check for new betas");
  s = {};
  net_start(0, s);
  EXPECT_EQ(stg.get_beta, 1);
  const ui_item* box = item_with("Check for new betas");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->checked, 1);
}

TEST(WebUpdateScreens, PickerChoosesACopyAndFindItRegistersTheCopyAbove) {
  fly_test::widget_frames f;
  const std::string a = make_copy(fly_test::sandbox() + "A/");
  const std::string b = make_copy(fly_test::sandbox() + "B/");
  dest_dir_path = a;
  register_new_flyvane();
  dest_dir_path = b;
  register_new_flyvane();
  locate_all_flyvanes();
  ASSERT_EQ(all_skysuites.size(), 2u);
  dest_dir_path.clear();

  wizard_screen s;
  net_pick_dest(1, s);
  EXPECT_EQ(s.next_screen, nullptr);  // two copies, none chosen
  EXPECT_EQ(s.back_screen, net_start);
  EXPECT_THAT(s.text, HasSubstr("You have more than one copy"));
  click_item(f, b);
  s = {};
  net_pick_dest(0, s);
  EXPECT_EQ(dest_dir_path, b);
  EXPECT_EQ(s.next_screen, net_get_updates);
  EXPECT_EQ(item_with(b)->checked, 1);
  EXPECT_EQ(item_with(a)->checked, 0);

  // A folder inside a third copy: the copy itself joins the registry.
  const std::string c = make_copy(fly_test::sandbox() + "C/");
  setenv("FLY_DIALOG_ANSWER", (c + "Resources/plugins").c_str(), 1);
  click_item(f, "Find It");
  s = {};
  net_pick_dest(0, s);
  EXPECT_EQ(dest_dir_path, c);
  ASSERT_EQ(all_skysuites.size(), 3u);
  EXPECT_EQ(all_skysuites[2], c);

  // A folder with no copy above it: the alert, and the choice stays.
  const std::string none = fly_test::sandbox() + "plain/";
  LIN_make_dirs(none);
  f.frame();
  net_pick_dest(0, s);  // the list has grown: "Find It" moved down
  setenv("FLY_DIALOG_ANSWER", none.c_str(), 1);
  click_item(f, "Find It");
  s = {};
  net_pick_dest(0, s);
  unsetenv("FLY_DIALOG_ANSWER");
  EXPECT_EQ(dest_dir_path, c);
  EXPECT_EQ(all_skysuites.size(), 3u);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "You selected the folder path:");
  EXPECT_EQ(fly_test::alerts()[0].s2, none);
}

TEST(WebUpdateScreens, DiskCheckAndFinishLeadWhereTheirPagesSay) {
  fly_test::widget_frames f;
  wizard_screen s;
  stg.total_size_kb = 0;
  EXPECT_EQ(net_check_disk(1, s), 1);
  EXPECT_EQ(s.next_screen, net_done);
  EXPECT_EQ(s.show_servers, 1);
  dest_dir_path = fly_test::sandbox();
  stg.total_size_kb = 10, stg.total_zip_kb = 5;
  s = {};
  EXPECT_EQ(net_check_disk(0, s), 0);
  EXPECT_EQ(s.next_screen, net_run_patch);
  EXPECT_EQ(s.back_screen, net_get_updates);
  // More than the volume holds: the panel's verdict disables Continue.
  stg.total_size_kb = 1e15f;
  s = {};
  net_check_disk(0, s);
  EXPECT_EQ(s.next_screen, nullptr);
  EXPECT_THAT(s.text, HasSubstr("Please free some space"));

  stg.total_size_kb = 0;
  s = {};
  net_done(1, s);
  EXPECT_EQ(s.title, "Finshed Web Update");
  EXPECT_EQ(s.next_screen, wizard_quit);
  EXPECT_EQ(s.back_screen, nullptr);
  ASSERT_EQ(s.choice_funcs.size(), 1u);
  EXPECT_EQ(s.choice_funcs[0], dvd_do_run_sim);
  EXPECT_THAT(s.text, HasSubstr("is already up to date."));
}

TEST(WebDemoScreens, WelcomeLicenceAndTheirTargets) {
  fly_test::widget_frames f;
  accept_eula = 1;
  wizard_screen s;
  demo_start(1, s);
  EXPECT_EQ(accept_eula, 0);
  EXPECT_EQ(s.next_screen, demo_see_eula);
  EXPECT_EQ(step_funcs, (std::vector<wizard_screen_fn>{demo_start, demo_see_eula, demo_get_updates,
                                                       demo_pick_dest, demo_run_patch, demo_done}));
  ASSERT_NE(item_with("Get the new beta"), nullptr);

  s = {};
  demo_see_eula(1, s);
  EXPECT_EQ(s.title, "End User License Agreement");
  EXPECT_THAT(s.text, HasSubstr("Tessaline Labs grants you"));
  EXPECT_EQ(s.back_screen, demo_start);
  EXPECT_EQ(s.next_screen, nullptr);
  click_item(f, "I agree!");
  s = {};
  demo_see_eula(0, s);
  EXPECT_EQ(accept_eula, 1);
  EXPECT_EQ(s.next_screen, demo_get_updates);

  stg.extract_failed = 0;
  dest_dir_path = "/d/";
  s = {};
  demo_done(1, s);
  EXPECT_EQ(s.next_screen, wizard_quit);
  ASSERT_EQ(s.choice_funcs.size(), 1u);
  EXPECT_EQ(s.choice_funcs[0], dvd_do_run_sim);
}

TEST(WebDemoScreens, DestinationButtonAndNameFieldSetTheFolder) {
  fly_test::widget_frames f;
  std::string desk;
  get_OS_abs_path(os_dir_desktop, desk);
  LIN_make_dirs(desk);
  sim_info.clear();
  wizard_screen s;
  EXPECT_EQ(demo_pick_dest(1, s), 0);
  EXPECT_EQ(dest_dir_path, desk + "Flyvane 9 Demo/");
  EXPECT_EQ(s.next_screen, demo_run_patch);
  EXPECT_EQ(s.back_screen, demo_see_eula);
  EXPECT_THAT(s.text, HasSubstr("will appear on your desktop"));

  // The name field: emptied, Continue goes; a new name, it comes back.
  const ui_item* field = item_with("Install Name:");
  ASSERT_NE(field, nullptr);
  f.click((field->x1 + field->x2) / 2, (field->y1 + field->y2) / 2);
  f.frame();
  s = {};
  demo_pick_dest(0, s);
  for (int i = 0; i < 20; ++i) f.key(8, 8);
  f.frame();
  s = {};
  demo_pick_dest(0, s);
  EXPECT_EQ(demo_dest.install_folder, "");
  EXPECT_EQ(s.next_screen, nullptr);
  EXPECT_EQ(s.text, "Please pick a name for your Flyvane 9 installation...");
  f.type("Trial");
  f.frame();
  s = {};
  demo_pick_dest(0, s);
  EXPECT_EQ(dest_dir_path, desk + "Trial/");
  EXPECT_EQ(s.next_screen, demo_run_patch);

  // Change Destination: the picked folder gets its slash, "/" stays "/".
  const std::string other = fly_test::sandbox() + "elsewhere";
  LIN_make_dirs(other);
  setenv("FLY_DIALOG_ANSWER", other.c_str(), 1);
  click_item(f, "Change Destination");
  s = {};
  demo_pick_dest(0, s);
  unsetenv("FLY_DIALOG_ANSWER");
  EXPECT_EQ(demo_dest.parent_dir, other + "/");
  EXPECT_EQ(dest_dir_path, other + "/Trial/");
  EXPECT_THAT(s.text, ::testing::Not(HasSubstr("desktop")));
}

// The window runs its frames until closed; what was set there reaches the
// preferences file.
TEST(PrefsWindow, ScriptedInputSetsEveryPreferenceAndTheFileKeepsThem) {
  fly_test::widget_frames f;
  stg.target_platform = 1, stg.log_actions = 0, stg.stream_count = 0;
  http.proxy_host.clear(), http.proxy_port_text.clear(), http.proxy_port = 0;
  auto click = [](const std::string& text) {
    return [text](fly_test::widget_frames& w) {
      const ui_item* i = item_with(text);
      ASSERT_NE(i, nullptr) << text;
      w.click((i->x1 + i->x2) / 2, (i->y1 + i->y2) / 2);
    };
  };
  int window_seen = -1;
  f.script.push_back([&](fly_test::widget_frames&) { window_seen = mnw.window_type; });
  f.script.push_back(click("Log installer actions"));
  f.script.push_back([](fly_test::widget_frames& w) { w.release(); });
  f.script.push_back(click("Manually set the number"));
  f.script.push_back([](fly_test::widget_frames& w) { w.release(); });
  f.script.push_back(click("proxy host"));
  f.script.push_back([](fly_test::widget_frames& w) { w.release(), w.type("proxy.test"); });
  f.script.push_back(click("proxy port"));
  f.script.push_back([](fly_test::widget_frames& w) { w.release(), w.type("80x"); });
  f.script.push_back([](fly_test::widget_frames&) { EXPECT_EQ(http.proxy_port, 0); });
  f.script.push_back([](fly_test::widget_frames& w) { w.key(8, 8); });
  handle_prefs();
  EXPECT_EQ(window_seen, 2);
  EXPECT_EQ(mnw.window_type, 0);
  EXPECT_EQ(stg.log_actions, 1);
  EXPECT_EQ(stg.stream_count, 1);  // ticked with no count
  EXPECT_EQ(http.proxy_host, "proxy.test");
  EXPECT_EQ(http.proxy_port_text, "80");
  EXPECT_EQ(http.proxy_port, 80);

  pref.IO_set(pref_installer, 1);
  stg.stream_count = stg.log_actions = http.proxy_port = 0;
  http.proxy_host.clear(), http.proxy_port_text.clear();
  pref.IO_set(pref_installer, 0);
  EXPECT_EQ(stg.stream_count, 1);
  EXPECT_EQ(stg.log_actions, 1);
  EXPECT_EQ(http.proxy_host, "proxy.test");
  EXPECT_EQ(http.proxy_port, 80);
}

TEST(PrefsWindow, UntickingTheStreamBoxMakesTheCountAutomatic) {
  fly_test::widget_frames f;
  stg.stream_count = 3;
  mnw.window_type = 2;
  prefs_window_frame();
  ASSERT_EQ(item_with("Manually set the number")->checked, 1);
  click_item(f, "Manually set the number");
  prefs_window_frame();
  EXPECT_EQ(stg.stream_count, 0);
  EXPECT_EQ(prefs_streams_ticked(), 0);
  mnw.window_type = 0;
}
