// The web flows through their screens, moved as the wizard frame moves
// them: a screen that returns 1 goes on at once, Continue is pressed as soon
// as a screen enables it. Releases made by the release tool, served by nginx.
#include <chrono>
#include <map>
#include <thread>

#include "Files/paths.h"
#include "GenH/ui_items.h"
#include "Installer-f/folders.h"
#include "Installer-f/registry.h"
#include "Installer-f/screens.h"
#include "Installer-f/web_screens.h"
#include "UTL/xtim.h"
#include "engine_util.h"
#include "support/widget_frame.h"

using namespace engine_test;

int wizard_quit(int first_frame, wizard_screen& screen);

namespace {
using tree = std::map<std::string, std::string>;
const std::string kNew = "Flyvane 9.21rc2";

void build(const std::string& master, const tree& files, const std::string& args) {
  make_release_folders(master);
  for (const auto& [rel, data] : files) write_file(master + rel, data);
  sh(std::string(FLY_BUILD_DIR) + "/tools/make_release --type=web --master=" + q(master) + " " +
     args + " > /dev/null");
}

const char* kServerList = "I\n820 version\nSERVERS\n\nBETA 9.3\nFINAL ";
const char* kServerTail = "\nSERVER files.tessalinelabs.com\n/net/\nMain\n";

struct road {
  std::vector<wizard_screen_fn> shown;  // every screen entered, in order
  wizard_screen last;                   // the record of the last frame
};

// Runs frames from start until stop is entered (its first frame drawn), or
// max_seconds pass. before() runs ahead of every frame's callback.
bool drive(fly_test::widget_frames& f, wizard_screen_fn start, wizard_screen_fn stop, road& r,
           const std::function<void(wizard_screen_fn)>& before = nullptr, int max_seconds = 90) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(max_seconds);
  wizard_screen_fn cur = start;
  int first = 1;
  r.shown.push_back(cur);
  while (std::chrono::steady_clock::now() < end) {
    f.frame();
    xtim.xtim_update();
    if (before) before(cur);
    r.last = {};
    const int moved = cur(first, r.last);
    first = 0;
    if (cur == stop) return true;
    if (r.last.next_screen && r.last.next_screen != wizard_quit) {
      (void)moved;  // returned 1, or Continue pressed: the same move
      cur = r.last.next_screen;
      first = 1;
      r.shown.push_back(cur);
      continue;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return false;
}

}  // namespace

TEST(WebScreensRoad, UpdateFromTheWelcomeToTheFinishThenUpToDate) {
  fly_test::widget_frames f;
  xtim_set_clock(nullptr);  // the downloads run on real time
  const std::string root = fly_test::sandbox() + "upd/";
  tree v1 = {{"All/Resources/same.txt", "unchanged"},
             {"All/Resources/big.bin", std::string(200000, 'x')},
             {"All/Resources/old/deeper/gone.txt", "going"},
             {"Linux/Flyvane-x86", "elf one"}};
  tree v2 = v1;
  v2.erase("All/Resources/old/deeper/gone.txt");
  v2["All/Resources/big.bin"] = std::string(200000, 'y'), v2["Linux/Flyvane-x86"] = "elf two";
  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > directory.txt");
  build(root + "m2/", v2,
        "--out=" + q(root + "site/net/") + " --old=" + q(root + "directory.txt") +
            " --name=" + q(kNew) + " --release=92102");
  write_file(root + "site/serverlist9.txt", kServerList + kNew + kServerTail);

  LIN_make_dirs(temp_path = root + "tmp/");
  stg.target_platform = 3;
  cmd_line_path.clear();
  // The one registered copy: the picker takes it.
  dest_dir_path = root + "copy/";
  for (const auto& [rel, data] : v1) write_file(installed_path(rel), data);
  write_file(dest_dir_path + "Output/my flight.txt", "the user's own");
  register_new_flyvane();
  dest_dir_path.clear();
  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(fly_test::proxy_to(nginx));

  web_flow_enter();
  road r;
  ASSERT_TRUE(drive(f, net_start, net_done, r));
  EXPECT_EQ(r.shown, (std::vector<wizard_screen_fn>{net_start, net_pick_dest, net_get_updates,
                                                    net_check_disk, net_run_patch, net_done}));
  EXPECT_EQ(r.last.title, "Finshed Web Update");
  EXPECT_EQ(r.last.text, "I have finished updating " + root + "copy/.");
  EXPECT_EQ(r.last.next_screen, wizard_quit);
  dest_dir_path = root + "copy/";
  for (const auto& [rel, data] : v2) {
    EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
    EXPECT_EQ(md5sum_of(installed_path(rel)), md5sum_of(root + "m2/" + rel)) << rel;
  }
  EXPECT_FALSE(file_exists(dest_dir_path + "Resources/old"));
  EXPECT_EQ(read_file(dest_dir_path + "Output/my flight.txt"), "the user's own");
  // Only the server list, the file list and the two changed archives.
  std::vector<std::string> got = fly_test::nginx_gets(root + "nginx/access.log");
  std::sort(got.begin(), got.end());
  ASSERT_EQ(got.size(), 4u);
  EXPECT_THAT(got[0], HasSubstr("/net/Flyvane%209.21rc2/"));
  EXPECT_THAT(got[1], HasSubstr("/net/Flyvane%209.21rc2/"));
  EXPECT_THAT(got[2], HasSubstr("directory.txt.zip"));
  EXPECT_THAT(got[3], HasSubstr("serverlist9.txt"));
  EXPECT_THAT(got[0] + got[1], HasSubstr("big.bin"));
  EXPECT_THAT(got[0] + got[1], HasSubstr("Flyvane-x86"));

  // A second run: up to date, no archive fetched.
  web_flow_enter();
  road again;
  ASSERT_TRUE(drive(f, net_start, net_done, again));
  EXPECT_EQ(again.shown, (std::vector<wizard_screen_fn>{net_start, net_pick_dest, net_get_updates,
                                                        net_check_disk, net_done}));
  EXPECT_EQ(again.last.text, "This copy of Flyvane (" + root + "copy/) is already up to date.");
  ASSERT_EQ(again.last.choice_funcs.size(), 1u);
  EXPECT_EQ(again.last.choice_funcs[0], dvd_do_run_sim);
  got = fly_test::nginx_gets(root + "nginx/access.log");
  EXPECT_EQ(got.size(), 6u);  // the two lists again
  for (size_t i = 4; i < got.size(); ++i)
    EXPECT_THAT(got[i], ::testing::AnyOf(HasSubstr("serverlist9.txt"),
                                         HasSubstr("directory.txt.zip")));
}

TEST(WebScreensRoad, DemoFromTheWelcomeToTheFinishAndGoBackCancelsOnlyItsFolder) {
  fly_test::widget_frames f;
  xtim_set_clock(nullptr);
  const std::string root = fly_test::sandbox() + "demo/", site = root + "site/";
  tree v = {{"All/Resources/same.txt", "unchanged"},
            {"All/Resources/big.bin", std::string(200000, 'x')},
            {"Linux/Flyvane-x86", "elf one"}};
  build(root + "m/", v, "--out=" + q(site + "net/") + " --name=" + q(kNew) + " --release=92102");
  write_file(site + "serverlist9.txt", kServerList + kNew + kServerTail);
  std::string desk;
  get_OS_abs_path(os_dir_desktop, desk);
  write_file(desk + "Keep/mine.txt", "the user's own");
  LIN_make_dirs(temp_path = root + "tmp/");
  stg.target_platform = 3;
  fly_test::nginx_server nginx(site, root + "nginx/");
  ASSERT_TRUE(fly_test::proxy_to(nginx));

  web_flow_enter();
  road r;
  // The user ticks the licence box.
  const auto tick = [](wizard_screen_fn cur) {
    if (cur == demo_see_eula) accept_eula = 1;
  };
  ASSERT_TRUE(drive(f, demo_start, demo_done, r, tick));
  EXPECT_EQ(r.shown, (std::vector<wizard_screen_fn>{demo_start, demo_see_eula, demo_get_updates,
                                                    demo_pick_dest, demo_run_patch, demo_done}));
  const std::string demo = desk + "Flyvane 9 Demo/";
  EXPECT_EQ(r.last.text, "I have finished installing the Flyvane 9 web demo at: " + demo + ".");
  dest_dir_path = demo;
  for (const auto& [rel, data] : v)
    EXPECT_EQ(md5sum_of(installed_path(rel)), md5sum_of(root + "m/" + rel)) << rel;
  EXPECT_EQ(read_file(registry_path()), demo + "\n");

  // A second demo: Go Back from its running install, then Cancel.
  demo_dest.install_folder = "Second Demo";
  const std::string second = desk + "Second Demo/";
  wizard_screen s;
  f.frame();
  ASSERT_EQ(demo_pick_dest(1, s), 0);
  ASSERT_EQ(s.next_screen, demo_run_patch);
  ASSERT_EQ(dest_dir_path, second);
  nginx.stop();  // the install cannot end by itself now
  s = {};
  xtim.xtim_update();
  ASSERT_EQ(demo_run_patch(1, s), 0);
  ASSERT_EQ(demo_install_is_running, 1);
  EXPECT_EQ(s.back_screen, demo_pick_dest);
  EXPECT_EQ(s.show_servers, 1);
  ASSERT_TRUE(file_exists(second + "Resources"));
  {
    scripted_prompts answers({0});  // Continue: back to the running install
    s = {};
    EXPECT_EQ(demo_pick_dest(1, s), 1);
    EXPECT_EQ(s.next_screen, demo_run_patch);
  }
  {
    scripted_prompts answers({1});  // Cancel
    s = {};
    EXPECT_EQ(demo_pick_dest(1, s), 0);
  }
  EXPECT_EQ(demo_install_is_running, 0);
  EXPECT_FALSE(file_exists(second));
  dest_dir_path = demo;  // the first demo is untouched
  for (const auto& [rel, data] : v) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  EXPECT_EQ(read_file(desk + "Keep/mine.txt"), "the user's own");
}
