// The run, swap and finish screens over a real two-disc set in the
// simulated drive: the whole road, the swap, a wrong disc, an error, cancel.
#include "Installer-f/discs.h"
#include "Installer-f/registry.h"
#include "UTL/localize.h"
#include "flow_util.h"

using namespace flow_test;

namespace {
class RunFlow : public DiscSet {
 protected:
  void SetUp() override {
    DiscSet::SetUp();
    dvd_install_is_running = 0;
    insert(0);
    dvd_path = mount(0);
    scan();
  }
  // From the scenery screen (nothing running) to the run screen.
  wizard_driver start_run() {
    wizard_driver w(dvd_scenery_install);
    w.frame();
    EXPECT_EQ(w.s.next_screen, dvd_run_install);
    w.click_continue();
    return w;
  }
};
}  // namespace

TEST_F(RunFlow, FreshInstallAcrossTwoDiscs) {
  scripted_prompts prompts;
  wizard_driver w = start_run();
  ASSERT_TRUE(w.frames_until_screen(dvd_switch_disk_install));
  EXPECT_EQ(dvd_install_is_running, 1);
  EXPECT_FALSE(inserted(0)) << "the swap screen ejects the disc";
  EXPECT_EQ(dvd_path, "");
  EXPECT_EQ(w.s.title, "Installing Flyvane - Please Change DVDs");
  EXPECT_EQ(w.s.text, "Please insert DVD number 2 and click continue.");
  EXPECT_EQ(w.s.back_screen, dvd_scenery_install);
  EXPECT_EQ(w.s.next_screen, dvd_verify_disk_install);

  // Continue without a disc: asked again.
  w.click_continue();
  w.frame();  // verify: nothing there
  EXPECT_EQ(w.now, dvd_switch_disk_install);
  w.frame();
  EXPECT_EQ(w.s.text, "Please insert DVD number 2 and click continue.");
  // The wrong disc is not taken: it is ejected and asked for again.
  insert(0);
  w.click_continue();
  w.frame();
  EXPECT_EQ(w.now, dvd_switch_disk_install);
  w.frame();
  EXPECT_FALSE(inserted(0)) << "a wrong disc is ejected again";
  EXPECT_FALSE(file_exists(dest_dir_path + "Resources/b.txt"));

  insert(1);
  w.click_continue();
  ASSERT_TRUE(w.frames_until_screen(dvd_done_install));
  EXPECT_EQ(current_disk, 1);
  EXPECT_EQ(dvd_install_is_running, 0);
  EXPECT_EQ(num_install_errors, 0);
  EXPECT_EQ(w.s.title, "Finished Installing Flyvane");
  EXPECT_EQ(w.s.text, "Installation was successful.");
  ASSERT_EQ(w.s.choices.size(), 1u);
  EXPECT_EQ(w.s.choices[0], "Run Flyvane Now");
  EXPECT_EQ(w.s.back_screen, dvd_start);

  for (const disc_file& f : files) {
    const std::string installed = dest_dir_path + f.path.substr(f.path.find('/') + 1);
    EXPECT_EQ(read_file(installed), f.data) << installed;
  }
  struct stat st;
  ASSERT_EQ(stat((dest_dir_path + "Flyvane.app/Contents/MacOS/Flyvane").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(read_file(registry_path()), dest_dir_path + "\n");
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(sh("ls -A " + q(temp_path) + " | grep -v '^directory.txt$' | wc -l"), "0");
}

// The start screen takes any disc of the set: with disc 2 in the drive the
// run goes to the verify screen before it installs anything.
TEST_F(RunFlow, FirstArchiveIsCheckedBeforeTheFirstInstall) {
  sh("rm " + q(drive + "disc0"));
  insert(1);
  dvd_path = mount(1);
  wizard_driver w = start_run();
  w.frame();  // starts, finds the first archive missing
  EXPECT_EQ(dvd_install_is_running, 1);
  EXPECT_EQ(want_file_disk, 0);
  EXPECT_EQ(w.now, dvd_verify_disk_install);
  EXPECT_FALSE(file_exists(dest_dir_path + "Resources/a.txt"));
  w.frame();
  EXPECT_EQ(w.now, dvd_switch_disk_install);
  w.frame();
  EXPECT_EQ(w.s.text, "Please insert DVD number 1 and click continue.");
  EXPECT_FALSE(inserted(1));
  insert(0);
  w.click_continue();
  ASSERT_TRUE(w.frames_until_screen(dvd_switch_disk_install));  // then disc 2 again
  insert(1);
  w.click_continue();
  ASSERT_TRUE(w.frames_until_screen(dvd_done_install));
  EXPECT_EQ(read_file(dest_dir_path + "Resources/a.txt"), "alpha\n");
}

// Go Back on the running install asks: Continue carries the run on where it
// was; Cancel (or closing the question) deletes the new folder, nothing else.
TEST_F(RunFlow, GoBackAsksAndCancelDeletesOnlyTheNewCopy) {
  write_file(root + "keep.txt", "mine");
  {
    scripted_prompts prompts({0});
    wizard_driver w = start_run();
    ASSERT_TRUE(w.frames_until_screen(dvd_switch_disk_install));
    w.click_back();
    w.frame();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].lines[0].text,
              "Are you sure you want to cancel the installation?  This will delete the "
              "partially installed copy of Flyvane 9.");
    EXPECT_EQ(prompts.asked[0].buttons[0].label, "Cancel");
    EXPECT_EQ(prompts.asked[0].buttons[1].label, "Continue");
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(w.now, dvd_run_install);
    EXPECT_EQ(dvd_install_is_running, 1);
    EXPECT_TRUE(file_exists(dest_dir_path + "Resources/a.txt"));
  }
  for (int answer : {1, 3}) {
    scripted_prompts prompts({answer});
    wizard_driver w(dvd_scenery_install);
    w.frame();
    EXPECT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(dvd_install_is_running, 0);
    EXPECT_FALSE(file_exists(dest_dir_path)) << answer;
    EXPECT_EQ(read_file(root + "keep.txt"), "mine");
    EXPECT_TRUE(file_exists(disc[0] + kName + "/All/Resources/a.txt.zip"));
    EXPECT_EQ(w.now, dvd_scenery_install);
    EXPECT_EQ(w.s.next_screen, dvd_run_install);
    // The next Continue starts afresh.
    if (answer == 1) {
      insert(0);  // ejected by the swap screen earlier
      dvd_path = mount(0);
      w.click_continue();
      ASSERT_TRUE(w.frames_until_screen(dvd_switch_disk_install));
      EXPECT_TRUE(file_exists(dest_dir_path + "Resources/a.txt"));
    }
  }
}

// A broken archive: the error question with the engine's message; Continue
// goes on and the finish screen reports the errors without the run choice.
TEST_F(RunFlow, ErrorsAnsweredContinueEndOnTheErrorText) {
  write_file(disc[0] + kName + "/All/Resources/a.txt.zip", "not a zip");
  write_file(disc[0] + kName + "/Macintosh/Flyvane.app/Contents/MacOS/Flyvane.zip", "nor this");
  insert(1);
  scripted_prompts prompts({0, 0});
  wizard_driver w = start_run();
  ASSERT_TRUE(w.frames_until_screen(dvd_done_install));
  ASSERT_EQ(prompts.asked.size(), 2u);
  const std::string msg = prompts.asked[0].lines[0].text;
  EXPECT_EQ(msg.rfind("An error occurred during installation:\n\n", 0), 0u) << msg;
  EXPECT_THAT(msg, HasSubstr(")\n\nYou can continue with the installation and attempt to "
                             "repair the damaged files later, or you can cancel the "
                             "installation."));
  EXPECT_EQ(prompts.asked[0].buttons[0].label, "Cancel");
  EXPECT_EQ(prompts.asked[0].lines[1].text, "the install.");
  EXPECT_EQ(num_install_errors, 2);
  EXPECT_THAT(w.s.text, HasSubstr("There were errors during the install;"));
  EXPECT_TRUE(w.s.choices.empty());
  EXPECT_EQ(read_file(dest_dir_path + "Resources/b.txt"), "bravo\n");
}

// The error question's Cancel leads to the scenery screen, which asks again.
TEST_F(RunFlow, ErrorAnsweredCancelGoesToTheSceneryQuestion) {
  write_file(disc[0] + kName + "/All/Resources/a.txt.zip", "not a zip");
  scripted_prompts prompts({1, 1});
  wizard_driver w = start_run();
  ASSERT_TRUE(w.frames_until_screen(dvd_scenery_install));
  EXPECT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(dvd_install_is_running, 0);
  EXPECT_FALSE(file_exists(dest_dir_path));
}

// The verify screens move on by themselves, to the run screen when the
// wanted archive is mounted, else to their switch screen.
TEST_F(RunFlow, SwapScreensOfTheThreeFlows) {
  struct {
    wizard_screen_fn verify, run, ask, back;
    const char *verify_title, *ask_title;
  } flows[] = {
      {dvd_verify_disk_install, dvd_run_install, dvd_switch_disk_install, dvd_scenery_install,
       "Installing Flyvane - Checking DVD...", "Installing Flyvane - Please Change DVDs"},
      {dvd_verify_disk_repair, dvd_install_repair, dvd_switch_disk_repair, dvd_confirm_repair,
       "Repairing Flyvane - Checking DVD", "Repairing Flyvane - Please Change DVDs"},
      {dvd_verify_disk_scenery, dvd_install_scenery, dvd_switch_disk_scenery, dvd_edit_scenery,
       "Installing Scenery - Verifying DVD", "Installing Scenery - Please change DVDs"},
  };
  for (const auto& f : flows) {
    for (int row : {0, 2}) {
      want_file_disk = row;
      wizard_screen s;
      EXPECT_EQ(f.verify(1, s), 1);
      EXPECT_EQ(s.title, f.verify_title);
      EXPECT_EQ(s.back_screen, nullptr);
      EXPECT_EQ(s.next_screen, row == 0 ? f.run : f.ask) << f.verify_title << row;
    }
    want_file_disk = 2;
    dvd_path = mount(0);
    wizard_screen s;
    EXPECT_EQ(f.ask(0, s), 0);
    EXPECT_TRUE(inserted(0)) << "only the first frame ejects";
    EXPECT_EQ(s.title, f.ask_title);
    EXPECT_EQ(s.text, "Please insert DVD number 2 and click continue.");
    EXPECT_EQ(s.back_screen, f.back);
    EXPECT_EQ(s.next_screen, f.verify);
    EXPECT_EQ(f.ask(1, s), 0);
    EXPECT_FALSE(inserted(0));
    insert(0);
    dvd_path = mount(0);
  }
}

// The repair form: its texts, no registry line, and Stop in the error
// question ends the run there and shows the repair's finish screen.
TEST_F(RunFlow, RepairFormStopsOnTheFirstButton) {
  write_file(disc[0] + kName + "/All/Resources/a.txt.zip", "not a zip");
  scripted_prompts prompts({1});
  wizard_driver w(dvd_install_repair);
  w.frame();
  EXPECT_EQ(w.s.title, "Repairing Flyvane");
  EXPECT_EQ(w.s.on_cancel, install_files_kill);
  // On a loaded machine the pools may meet the bad archive within the first
  // frame's pass already: the question is then asked in it.
  if (prompts.asked.empty()) {
    EXPECT_EQ(repair_is_running, 1);
    EXPECT_EQ(w.s.back_screen, dvd_confirm_repair);
    EXPECT_EQ(w.s.text, "I am repairing " + dest_dir_path + ".");
  }
  ASSERT_TRUE(w.frames_until_screen(dvd_done_repair));
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].lines[0].text.rfind("An error occurred during the repair:\n\n", 0),
            0u);
  EXPECT_EQ(prompts.asked[0].buttons[0].label, "Stop");
  EXPECT_EQ(prompts.asked[0].lines[1].text, "the repair.");
  EXPECT_EQ(repair_is_running, 0);
  EXPECT_EQ(num_install_errors, 1);
  EXPECT_FALSE(file_exists(registry_path()));
  EXPECT_THAT(w.s.text, HasSubstr("There were errors during the repair;"));
}

// A destination that appeared before the run began (made by the user after
// the destination screen) is not deleted by Cancel: only what the run made.
TEST_F(RunFlow, CancelKeepsAFolderThatWasThereBefore) {
  write_file(dest_dir_path + "notes.txt", "the user's");
  scripted_prompts prompts({1});
  wizard_driver w = start_run();
  ASSERT_TRUE(w.frames_until_screen(dvd_switch_disk_install));
  w.click_back();
  w.frame();
  EXPECT_EQ(dvd_install_is_running, 0);
  EXPECT_EQ(read_file(dest_dir_path + "notes.txt"), "the user's");
}
