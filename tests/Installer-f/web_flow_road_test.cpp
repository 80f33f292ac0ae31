// The web flows frame by frame from their first screens: releases N-1 and N
// made by the release tool, N served by nginx, a copy of N-1 updated; a demo
// copy installed and cancelled; Back during the scan.
#include <chrono>
#include <map>
#include <thread>

#include "Files/paths.h"
#include "Linux/lin_time.h"
#include "Installer-f/registry.h"
#include "Installer-f/web_flow.h"
#include "UTL/xtim.h"
#include "engine_util.h"

using namespace engine_test;

namespace {
using tree = std::map<std::string, std::string>;
const std::string kNew = "Flyvane 9.21rc2";

void build(const std::string& master, const tree& files, const std::string& args) {
  make_release_folders(master);
  for (const auto& [rel, data] : files) {
    write_file(master + rel, data);
    if (rel.find("Global Scenery/") != std::string::npos)  // the disc road's archive
      write_file(master + rel + ".7z", "no archive at all");
  }
  sh(std::string(FLY_BUILD_DIR) + "/tools/make_release --type=web --master=" + q(master) + " " +
     args + " > /dev/null");
}

// Release 9.20 of v1 in root/out1, 9.21rc2 of v2 (after 9.20) in root/site.
void releases(const std::string& root, const tree& v1, const tree& v2) {
  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > directory.txt");
  build(root + "m2/", v2,
        "--out=" + q(root + "site/net/") + " --old=" + q(root + "directory.txt") +
            " --name=" + q(kNew) + " --release=92102");
  write_file(root + "site/serverlist9.txt", "I\n820 version\nSERVERS\n\nBETA 9.3\nFINAL " + kNew +
                                                "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");
}

// Runs a screen frame by frame from its first frame until it returns 1.
template <class Page>
bool run_screen(Page page, web_page& p, int max_seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(max_seconds);
  for (int first = 1;; first = 0) {
    xtim.xtim_update();
    p = {};
    if (page(first, p)) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
}

// GETs in nginx's log of archives of the release (not its file list).
int archive_gets(const std::string& root) {
  return std::stoi(sh("grep -F 'GET http://files.tessalinelabs.com/net/Flyvane%209.21rc2/' " +
                      q(root + "nginx/access.log") + " | grep -vc directory.txt.zip || true"));
}

tree v1_files() {
  return {{"All/Resources/same.txt", "unchanged"},
          {"All/Resources/big.bin", std::string(300000, 'x')},
          {"All/Resources/old/deeper/gone.txt", "going"},
          {"Linux/Flyvane-x86", "elf one"},
          {"All/Global Scenery/+40-130/+47-122.dsf", "tile one"},
          {"All/Global Scenery/+40-130/+41-125.dsf", "tile kept"}};
}
}  // namespace

// The copy has two tiles; the new release changes one and adds a third that
// the copy never had. The update replaces the changed tile, keeps the other
// and does not add the new one; a second run finds the copy up to date.
TEST(WebFlowRoad, UpdateKeepsTheInstalledTilesAndASecondRunIsUpToDate) {
  const std::string root = fly_test::sandbox() + "e2e/";
  tree v1 = v1_files(), v2 = v1;
  v2.erase("All/Resources/old/deeper/gone.txt");
  v2["All/Resources/big.bin"] = std::string(300000, 'y'), v2["Linux/Flyvane-x86"] = "elf two";
  v2["All/Global Scenery/+40-130/+47-122.dsf"] = "tile two";
  v2["All/Global Scenery/+30-120/+35-115.dsf"] = "tile never installed";
  releases(root, v1, v2);

  LIN_make_dirs(temp_path = root + "tmp/");
  stg.target_platform = 3;
  cmd_line_path = root + "copy";  // as "-path" gives it: no "/"
  dest_dir_path = root + "copy/";
  for (const auto& [rel, data] : v1) write_file(installed_path(rel), data);
  write_file(dest_dir_path + "Output/my flight.txt", "the user's own");
  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(fly_test::proxy_to(nginx));
  stg.extract_failed = 1;  // left by an earlier attempt: must not end this one

  web_flow_enter();
  web_page p;
  net_start_page(1, p);
  ASSERT_EQ(p.next, web_target::net_get_updates);
  ASSERT_TRUE(run_screen(net_get_updates_page, p));
  EXPECT_EQ(p.next, web_target::net_check_disk);
  EXPECT_EQ(stg.files_to_install, 3);  // big.bin, the program, the changed tile
  p = {};
  ASSERT_EQ(net_check_disk_page(1, p, [](const std::string&, const std::string&) { return 1; }), 0);
  ASSERT_EQ(p.next, web_target::net_run_patch);
  scripted_prompts prompts;  // nothing was changed by hand: no question
  bool saw_time_line = false;
  ASSERT_TRUE(run_screen(
      [&](int first, web_page& q) {
        const int r = net_run_patch_page(first, q);
        saw_time_line |= q.text.starts_with("About ");
        return r;
      },
      p));
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(p.next, web_target::net_done);
  EXPECT_EQ(stg.extract_failed, 0);
  p = {};
  net_done_page(1, p);
  EXPECT_EQ(p.text, "I have finished updating " + root + "copy/.");
  (void)saw_time_line;  // depends on the machine's speed

  v2.erase("All/Global Scenery/+30-120/+35-115.dsf");
  for (const auto& [rel, data] : v2) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  EXPECT_FALSE(file_exists(installed_path("All/Global Scenery/+30-120/+35-115.dsf")));
  EXPECT_FALSE(file_exists(dest_dir_path + "Resources/old"));
  EXPECT_TRUE(file_exists(dest_dir_path + "Output/my flight.txt"));
  EXPECT_EQ(archive_gets(root), 3);

  // Again from the start (the road fetches both lists again, and the scan
  // starts over): nothing to fetch.
  web_flow_enter();
  p = {};
  net_start_page(1, p);
  ASSERT_TRUE(run_screen(net_get_updates_page, p));
  p = {};
  EXPECT_EQ(net_check_disk_page(1, p, [](const std::string&, const std::string&) { return 1; }), 1);
  EXPECT_EQ(p.next, web_target::net_done);
  p = {};
  net_done_page(1, p);
  EXPECT_EQ(p.text, "This copy of Flyvane (" + root + "copy/) is already up to date.");
  EXPECT_EQ(p.choices, std::vector<std::string>{"Fly Flyvane Now"});
  EXPECT_EQ(archive_gets(root), 3);
  for (const auto& [rel, data] : v2) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  cmd_line_path.clear();
}

// Back from a running scan to the picker and Continue again: the scan's
// tasks are ended before the file list is read again; the second scan finds
// what is on disk.
TEST(WebFlowRoad, BackDuringTheScanAndContinueAgain) {
  const std::string root = fly_test::sandbox() + "race/";
  tree v1;
  for (int i = 0; i < 120; ++i)
    v1["All/Resources/f" + std::to_string(i) + ".txt"] = "file " + std::to_string(i);
  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  LIN_make_dirs(temp_path = root + "tmp/");
  const std::string list = root + "directory.txt";
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > " + q(list));
  stg.target_platform = 3;
  dest_dir_path = root + "copy/";
  for (const auto& [rel, data] : v1) write_file(installed_path(rel), data);
  write_file(installed_path("All/Resources/f7.txt"), "changed by hand");
  checksum_test_hook = [](int) { std::this_thread::sleep_for(std::chrono::microseconds(200)); };

  // The road has the list unpacked and waiting (no server needed for this).
  stg.server_count = 1, stg.dir_state = 1;
  for (int round = 0; round < 3; ++round) {
    sh("cp " + q(list) + " " + q(temp_path + "directory.txt"));
    web_page p;
    for (int f = 0; f < 4; ++f) {
      xtim.xtim_update();
      p = {};
      ASSERT_EQ(net_get_updates_page(f == 0, p), 0);
    }
    EXPECT_EQ(p.on_cancel, checksum_directory_kill);
    EXPECT_THAT(p.progress_text, HasSubstr("of 120 files."));
    ASSERT_NE(checksum_workers, nullptr);  // the scan is running
    p = {};
    net_pick_dest_page(1, p);  // Back
    EXPECT_EQ(checksum_workers, nullptr);
    EXPECT_EQ(p.next, web_target::net_get_updates);
  }
  sh("cp " + q(list) + " " + q(temp_path + "directory.txt"));
  web_page p;
  ASSERT_TRUE(run_screen(net_get_updates_page, p));
  checksum_test_hook = nullptr;
  ASSERT_EQ(sim_info.size(), 120u);
  for (const file_history_struct& h : sim_info)
    EXPECT_EQ(h.back().current, h.back().path != "All/Resources/f7.txt") << h.back().path;
  EXPECT_EQ(stg.files_to_install, 1);
}

// A demo copy into a new folder on the Desktop, then a second one cancelled
// while its server drops every request: Continue keeps it, Cancel deletes
// that folder and nothing else.
TEST(WebFlowRoad, DemoInstallsIntoANewDesktopFolderAndCancelRemovesOnlyIt) {
  const std::string root = fly_test::sandbox() + "demo/", site = root + "site/";
  tree v = v1_files();
  v["Macintosh/Flyvane.app/Contents/MacOS/Flyvane"] = "mac";
  build(root + "m/", v,
        "--out=" + q(site + "files.tessalinelabs.com/net/") + " --name=" + q(kNew) +
            " --release=92102");
  write_file(site + "update.tessalinelabs.com/serverlist9.txt",
             "I\n820 version\nSERVERS\n\nBETA 9.3\nFINAL " + kNew +
                 "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");
  std::string desk;
  get_OS_abs_path(os_dir_desktop, desk);
  write_file(desk + "Keep/mine.txt", "the user's own");
  LIN_make_dirs(temp_path = root + "tmp/");
  stg.target_platform = 3;
  fly_test::script_server server(60, site);
  ASSERT_TRUE(fly_test::proxy_to(server));

  web_flow_enter();
  web_page p;
  accept_eula = 1;
  demo_start_page(1, p);
  EXPECT_EQ(accept_eula, 0);
  EXPECT_EQ(p.next, web_target::see_eula);
  EXPECT_EQ(demo_step_list().size(), 6u);
  ASSERT_TRUE(run_screen(demo_get_updates_page, p));
  EXPECT_EQ(p.next, web_target::demo_pick_dest);
  int changed = 0;
  ASSERT_EQ(demo_pick_dest_begin(1, changed), 0);
  p = {};
  demo_pick_dest_page(changed, p, [](const std::string&, const std::string&) { return 1; });
  ASSERT_EQ(p.next, web_target::demo_run_patch);
  const std::string demo = desk + "Flyvane 9 Demo/";
  ASSERT_EQ(dest_dir_path, demo);
  ASSERT_TRUE(run_screen(demo_run_patch_page, p));
  EXPECT_EQ(p.next, web_target::demo_done);
  EXPECT_EQ(demo_install_is_running, 0);
  p = {};
  demo_done_page(1, p);
  EXPECT_EQ(p.text, "I have finished installing the Flyvane 9 web demo at: " + demo + ".");
  // Every simulator file, no global scenery tile.
  v.erase("Macintosh/Flyvane.app/Contents/MacOS/Flyvane");
  for (const char* tile : {"+47-122.dsf", "+41-125.dsf"}) {
    const std::string rel = std::string("All/Global Scenery/+40-130/") + tile;
    EXPECT_FALSE(file_exists(installed_path(rel))) << rel;
    v.erase(rel);
  }
  for (const auto& [rel, data] : v) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  EXPECT_EQ(read_file(registry_path()), demo + "\n");

  // The second copy: its server now drops every request.
  demo_dest.install_folder = "Second Demo";
  ASSERT_EQ(demo_pick_dest_begin(1, changed), 0);
  p = {};
  demo_pick_dest_page(changed, p, [](const std::string&, const std::string&) { return 1; });
  const std::string second = desk + "Second Demo/";
  ASSERT_EQ(dest_dir_path, second);
  write_file(site + "files.tessalinelabs.com/.drop", "");
  bool failed_text = false;
  for (int f = 0; f < 20 && !failed_text; ++f) {
    xtim.xtim_update();
    p = {};
    ASSERT_EQ(demo_run_patch_page(f == 0, p), 0);
    failed_text = p.text.starts_with("I can not download the file '");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(failed_text);
  EXPECT_EQ(demo_install_is_running, 1);
  EXPECT_TRUE(file_exists(second + "Resources"));
  {
    scripted_prompts answers({0});  // Continue: back to the running install
    EXPECT_EQ(demo_pick_dest_begin(1, changed), 1);
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_THAT(answers.asked[0].lines[0].text, HasSubstr("partially installed copy of the "
                                                          "Flyvane 9 demo"));
  }
  EXPECT_EQ(demo_install_is_running, 1);
  EXPECT_TRUE(file_exists(second + "Resources"));
  {
    scripted_prompts answers({1});  // Cancel
    EXPECT_EQ(demo_pick_dest_begin(1, changed), 0);
  }
  EXPECT_EQ(demo_install_is_running, 0);
  EXPECT_FALSE(file_exists(second));
  EXPECT_EQ(read_file(desk + "Keep/mine.txt"), "the user's own");
  EXPECT_EQ(read_file(installed_path("All/Resources/same.txt")), "");  // second's: gone
  dest_dir_path = demo;
  for (const auto& [rel, data] : v) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
}

// The demo takes the update's road: a file that comes with other content
// than the file list's is not installed, and the finish says so.
TEST(WebFlowRoad, DemoWithAWrongFileFinishesWithProblems) {
  xtim_set_clock([] { return LIN_microseconds() * 20; });  // the pauses between tries
  const std::string root = fly_test::sandbox() + "demo/", site = root + "site/";
  const std::string files = site + "files.tessalinelabs.com/net/" + kNew + "/";
  const tree v = v1_files();
  build(root + "m/", v,
        "--out=" + q(site + "files.tessalinelabs.com/net/") + " --name=" + q(kNew) +
            " --release=92102");
  put_zip(files + "All/Resources/same.txt.zip", "same.txt", "changed on the server");
  write_file(site + "update.tessalinelabs.com/serverlist9.txt",
             "I\n820 version\nSERVERS\n\nFINAL " + kNew +
                 "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");
  LIN_make_dirs(temp_path = root + "tmp/");
  stg.target_platform = 3;
  fly_test::script_server server(60, site);
  ASSERT_TRUE(fly_test::proxy_to(server));

  web_flow_enter();
  web_page p;
  demo_start_page(1, p);
  ASSERT_TRUE(run_screen(demo_get_updates_page, p));
  int changed = 0;
  ASSERT_EQ(demo_pick_dest_begin(1, changed), 0);
  p = {};
  demo_pick_dest_page(changed, p, [](const std::string&, const std::string&) { return 1; });
  ASSERT_EQ(p.next, web_target::demo_run_patch);
  ASSERT_TRUE(run_screen(demo_run_patch_page, p));
  p = {};
  demo_done_page(1, p);
  EXPECT_EQ(p.text, "There were problem installing the Flyvane 9 web demo - it may not be usable.");
  EXPECT_FALSE(file_exists(installed_path("All/Resources/same.txt")));
  EXPECT_EQ(read_file(installed_path("All/Resources/big.bin")), v.at("All/Resources/big.bin"));
  EXPECT_EQ(alerts_saying("The installer cannot download a file."), 1);
}
