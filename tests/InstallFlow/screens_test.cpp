// The destination, licence, copy-picker and finish screens as a user meets
// them: their texts and targets, the folder-name refusals, the licence box.
#include <cstdlib>

#include "Files/paths.h"
#include "GenH/ui_items.h"
#include "Installer-f/licence.h"
#include "Installer-f/registry.h"
#include "Installer-f/web_screens.h"
#include "OGL/ogl_draw.h"
#include "flow_util.h"

using namespace flow_test;
using fly_test::widget_frames;

namespace {
std::string desktop() {
  std::string d;
  get_OS_abs_path(os_dir_desktop, d);
  return d;
}

// The screen's record after one frame; clicks and keys are queued before.
struct screen_frames {
  widget_frames f;
  wizard_driver w;
  explicit screen_frames(wizard_screen_fn first) : w(first) { unsetenv("FLY_DIALOG_ANSWER"); }
  void frame() { w.frame(); }
  // Clicks the item with this key or text (it must be on the last frame).
  void click(const std::string& key) {
    const ui_item* it = UI_item_find(key);
    ASSERT_NE(it, nullptr) << key;
    f.click((it->x1 + it->x2) / 2, (it->y1 + it->y2) / 2);
    frame();
    f.release();
  }
  // Replaces the install name in the field (it reaches to x 760; a click
  // at its end puts the caret there).
  void type_name(const std::string& name) {
    f.click(757, 204);
    frame();
    f.release();
    for (int i = 0; i < 40; ++i) f.key(8, 8);
    f.type(name);
    frame();
    frame();
  }
};

const char* const kPickName = "Please pick a name for your Flyvane 9 installation...";
}  // namespace

TEST(DestinationScreen, FirstVisitTakesTheDiscNameOnTheDesktop) {
  install_name = "Flyvane 9 Beta";
  accept_eula = 1;
  screen_frames sf(dvd_pick_install);
  sf.frame();
  const wizard_screen& s = sf.w.s;
  EXPECT_EQ(accept_eula, 0);
  EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Pick Destination", "License",
                                                  "Select Scenery", "Install", "Finish"}));
  EXPECT_EQ(step_funcs[4], dvd_run_install);
  EXPECT_EQ(s.title, "Pick Install Destination for Flyvane 9 Beta.");
  EXPECT_EQ(s.back_screen, dvd_start);
  EXPECT_EQ(s.next_screen, see_eula);
  EXPECT_EQ(dest_dir_path, desktop() + "Flyvane 9 Beta/");
  EXPECT_EQ(s.text, "I will create the folder 'Flyvane 9 Beta' inside the folder '" + desktop() +
                        "'.\n\n(The folder Flyvane 9 Beta will appear on your desktop.)");
  EXPECT_NE(UI_item_find("Change Destination"), nullptr);
}

// Only one folder name is taken: anything else would put the copy (and what
// a cancelled install deletes) somewhere above the parent.
TEST(DestinationScreen, RefusesNamesThatAreNotOneFolder) {
  install_name = "Flyvane 9";
  screen_frames sf(dvd_pick_install);
  sf.frame();
  const std::string parent = desktop();
  for (const char* name : {"", ".", "..", "x/..", "a/b", "../Desktop", "/"}) {
    sf.type_name(name);
    EXPECT_EQ(sf.w.s.next_screen, nullptr) << name;
    EXPECT_EQ(sf.w.s.text, kPickName) << name;
    EXPECT_EQ(dest_dir_path, parent) << name;
  }
  sf.type_name("Mine");
  EXPECT_EQ(sf.w.s.next_screen, see_eula);
  EXPECT_EQ(dest_dir_path, parent + "Mine/");

  LIN_make_dirs(parent + "Taken");
  sf.type_name("Taken");
  EXPECT_EQ(sf.w.s.next_screen, nullptr);
  EXPECT_EQ(sf.w.s.text, "The folder 'Taken' already exists inside the folder '" + parent +
                             "'.\n\nPlease change the install name or destination.");
}

TEST(DestinationScreen, DefaultNameFromTheDiscIsCheckedToo) {
  install_name = "x/..";
  screen_frames sf(dvd_pick_install);
  sf.frame();
  EXPECT_EQ(sf.w.s.next_screen, nullptr);
  EXPECT_EQ(sf.w.s.text, kPickName);
  EXPECT_EQ(dest_dir_path, desktop());
}

TEST(DestinationScreen, ChangeDestinationToTheRoot) {
  install_name = "Flyvane 9";
  screen_frames sf(dvd_pick_install);
  sf.frame();
  setenv("FLY_DIALOG_ANSWER", "/", 1);
  sf.click("Change Destination");
  sf.frame();
  EXPECT_EQ(dest_dir_path, "/Flyvane 9/");
  EXPECT_EQ(sf.w.s.text, "I will create the folder 'Flyvane 9' inside the folder '/'.");
  setenv("FLY_DIALOG_ANSWER", "-", 1);  // cancelled: nothing changes
  sf.click("Change Destination");
  sf.frame();
  EXPECT_EQ(dest_dir_path, "/Flyvane 9/");
}

// Continue only while the box is ticked; the destination screen clears it.
TEST(LicenceScreen, ContinueFollowsTheBox) {
  screen_frames sf(see_eula);
  sf.frame();
  std::string want;
  for (int i = 0; i < kLicenceParagraphCount; ++i)
    want += std::string(i ? "\n\n" : "") + kLicenceParagraphs[i];
  EXPECT_EQ(sf.w.s.title, "End User License Agreement");
  EXPECT_EQ(sf.w.s.text, want);
  EXPECT_EQ(sf.w.s.back_screen, dvd_pick_install);
  EXPECT_EQ(sf.w.s.next_screen, nullptr);
  const ui_item* box = UI_item_find("-I agree!");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->checked, 0);

  sf.click("-I agree!");
  EXPECT_EQ(accept_eula, 1);
  EXPECT_EQ(sf.w.s.next_screen, dvd_scenery_install) << "enabled in the frame of the tick";
  sf.frame();
  EXPECT_EQ(UI_item_find("-I agree!")->checked, 1);
  sf.click("-I agree!");
  EXPECT_EQ(sf.w.s.next_screen, nullptr);

  accept_eula = 1;
  sf.w.click_back();
  sf.frame();
  EXPECT_EQ(accept_eula, 0);
}

TEST(SceneryScreen, ShortOfSpaceDisablesContinue) {
  install_name = "R";
  dest_dir_path = fly_test::sandbox() + "work/New/";
  file_version_struct v = version("All/Resources/huge.dat", sig('a'), "NONE");
  v.size_kb = 1e15f;
  sim_info = {{v}};
  set_install_filter(1, 1);
  screen_frames sf(dvd_scenery_install);
  sf.frame();
  EXPECT_EQ(sf.w.s.title, "Select Scenery");
  EXPECT_EQ(sf.w.s.back_screen, see_eula);
  EXPECT_EQ(sf.w.s.next_screen, nullptr);
  sim_info[0][0].size_kb = 1;
  sf.w.last = nullptr;  // a new visit measures again
  sf.frame();
  EXPECT_EQ(sf.w.s.next_screen, dvd_run_install);
}

// The copy picker: one copy is taken at once, a radio picks among several,
// and Find It registers the copy above a folder picked inside it.
TEST(CopyPicker, PicksRegistersAndRefuses) {
  const std::string work = fly_test::sandbox() + "work/";
  const std::string a = work + "A/", b = work + "B/";
  for (const std::string& c : {a, b})
    for (const char* d : {"Airfoils", "Instructions", "Output", "Resources/plugins"})
      LIN_make_dirs(c + d);
  widget_frames f;
  all_skysuites = {a};
  dest_dir_path.clear();
  f.frame();
  UTIL_pick_install();
  EXPECT_EQ(dest_dir_path, a);

  all_skysuites = {a, b};
  f.frame();
  UTIL_pick_install();
  const ui_item* second = UI_item_find("-" + b);
  ASSERT_NE(second, nullptr);
  f.click((second->x1 + second->x2) / 2, (second->y1 + second->y2) / 2);
  f.frame();
  UTIL_pick_install();
  f.release();
  EXPECT_EQ(dest_dir_path, b);

  // Find It on a folder inside copy A registers A.
  const ui_item* find = UI_item_find("Find It");
  ASSERT_NE(find, nullptr);
  setenv("FLY_DIALOG_ANSWER", (a + "Resources/plugins").c_str(), 1);
  f.click((find->x1 + find->x2) / 2, (find->y1 + find->y2) / 2);
  f.frame();
  UTIL_pick_install();
  f.release();
  EXPECT_EQ(dest_dir_path, a);
  EXPECT_EQ(read_file(registry_path()), a + "\n");

  // A folder that is no copy: the alert, and the choice before it stays.
  dest_dir_path = b;
  fly_test::clear_alerts();
  f.frame();
  UTIL_pick_install();
  EXPECT_EQ(all_skysuites, std::vector<std::string>{a});  // B was never registered
  find = UI_item_find("Find It");
  ASSERT_NE(find, nullptr);
  setenv("FLY_DIALOG_ANSWER", work.c_str(), 1);
  f.click((find->x1 + find->x2) / 2, (find->y1 + find->y2) / 2);
  f.frame();
  UTIL_pick_install();
  f.release();
  EXPECT_EQ(dest_dir_path, b);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  const auto& al = fly_test::alerts()[0];
  EXPECT_EQ(al.s1, "You selected the folder path:");
  EXPECT_EQ(al.s2, work);
  EXPECT_EQ(al.s3, "But it does not appear to be an installed copy of Flyvane 9.");
  EXPECT_EQ(al.type, 1);
  unsetenv("FLY_DIALOG_ANSWER");
}

TEST(FinishScreens, TextsByErrorsAndCounts) {
  dest_dir_path = "/x/Copy/";
  const std::string later =
      "You can click Go Back and use the repair and add-remove scenery functions to try to "
      "reinstall any missing or damaged files.";
  struct {
    wizard_screen_fn screen;
    int errors, to_install, to_delete;
    const char *title, *text;
  } cases[] = {
      {dvd_done_install, 0, 0, 0, "Finished Installing Flyvane", "Installation was successful."},
      {dvd_done_install, 1, 0, 0, "Finished Installing Flyvane",
       "There were errors during the install; your copy of Flyvane may not be usable.\n\n"},
      {dvd_done_repair, 0, 0, 0, "Finished Repairing Flyvane.",
       "I have finished repairing /x/Copy/ - click Go Back to return to the main menu."},
      {dvd_done_repair, 2, 0, 0, "Finished Repairing Flyvane.",
       "There were errors during the repair; your copy of Flyvane may not be usable.\n\n"},
      {dvd_done_scenery, 0, 3, 2, "Finished With Add/Remove Scenery",
       "I have successfully added and removed scenery to match your choices on the map."},
      {dvd_done_scenery, 0, 3, 0, "Finished With Add/Remove Scenery",
       "I have successfully installed more scenery to match your choices on the map."},
      {dvd_done_scenery, 0, 0, 2, "Finished With Add/Remove Scenery",
       "I have successfully removed scenery to match your choices on the map."},
      {dvd_done_scenery, 0, 0, 0, "Finished With Add/Remove Scenery",
       "I have successfully updated scenery to match your choices on the map."},
      {dvd_done_scenery, 1, 3, 2, "Finished With Add/Remove Scenery",
       "There were errors while adding and removing your scenery.  Your copy of Flyvane may not "
       "be usable.\n\n"},
      {dvd_done_scenery, 1, 3, 0, "Finished With Add/Remove Scenery",
       "There were errors while installing your scenery.  Your copy of Flyvane may not be "
       "usable.\n\n"},
      {dvd_done_scenery, 1, 0, 2, "Finished With Add/Remove Scenery",
       "There were errors while removing your scenery.  Your copy of Flyvane may not be "
       "usable.\n\n"},
      {dvd_done_scenery, 1, 0, 0, "Finished With Add/Remove Scenery",
       "There were errors while updating your scenery.  Your copy of Flyvane may not be "
       "usable.\n\n"},
  };
  for (const auto& c : cases) {
    num_install_errors = c.errors;
    stg.files_to_install = c.to_install, stg.files_to_delete = c.to_delete;
    wizard_screen s;
    EXPECT_EQ(c.screen(1, s), 0);
    const std::string want = c.errors ? c.text + later : c.text;
    EXPECT_EQ(s.title, c.title);
    EXPECT_EQ(s.text, want) << c.title;
    EXPECT_EQ(s.back_screen, dvd_start);
    EXPECT_EQ(s.next_screen, wizard_quit);
    EXPECT_EQ(s.choices.size(), c.errors ? 0u : 1u);
    if (!c.errors) {
      EXPECT_EQ(s.choice_funcs.at(0), dvd_do_run_sim);
    }
  }
}

// Shown in the web demo flow, the licence leads back and on in that flow.
TEST(LicenceScreen, TargetsOfTheDemoFlow) {
  accept_eula = 1;
  screen_frames sf(demo_see_eula);
  sf.frame();
  EXPECT_EQ(sf.w.s.back_screen, demo_start);
  EXPECT_EQ(sf.w.s.next_screen, demo_get_updates);
  accept_eula = 0;
  sf.frame();
  EXPECT_EQ(sf.w.s.next_screen, nullptr);
}
