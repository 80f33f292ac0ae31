// The install flow of the real installer on its own X server: a fresh
// install clicked with real X input across both discs, a cancelled install,
// and the disc swap refusing a wrong disc and surviving a disc pulled out.
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_result;

namespace {
const std::string kDest = "Flyvane 9 Demo/";

// The world map is drawn: its area (x 248..752, y 150..402 up from the
// bottom) holds many colours, land and sea.
void expect_map_drawn(const std::string& png) {
  const fly_test::e2e_image img = fly_test::e2e_read_png(png);
  ASSERT_TRUE(img.ok()) << png;
  std::set<int> seen;
  for (int x = 255; x < 750; x += 7)
    for (int y = 600 - 400; y < 600 - 152; y += 7) {
      int r, g, b;
      img.at(x, y, &r, &g, &b);
      seen.insert(r << 16 | g << 8 | b);
    }
  EXPECT_GT(seen.size(), 20u) << png;
}

using listed = fly_test::e2e_listed;
const auto file_list = fly_test::e2e_disc_file_list;

std::string md5_of(const std::string& path) { return fly_test::md5sum_of(path); }

// The first traced map tile, as the latest block shows it.
std::string first_tile(const std::vector<std::string>& trace) {
  for (auto it = trace.rbegin(); it != trace.rend(); ++it) {
    const size_t at = it->find("item key=\"tile ");
    if (at != std::string::npos) {
      const size_t start = at + 10;
      return it->substr(start, it->find('"', start) - start);
    }
  }
  return "";
}
}  // namespace

// Drives the program with real X clicks at the rectangles the trace gives.
struct x_user {
  fly_test::e2e_process& p;
  int x = 0, y = 0, w = 0, h = 0;
  size_t mark() const { return fly_test::e2e_trace(p).size(); }
  void click(const std::string& key) {
    ASSERT_TRUE(fly_test::e2e_wait_item(p, key, 60, &x, &y, &w, &h)) << key;
    ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2)) << key;
  }
  bool wait(const std::string& text, int seconds, size_t from = 0) {
    return fly_test::e2e_wait_line(p, text, seconds, from);
  }
  // Button `index` (0 the first) of the two-button question, window 997:
  // its buttons are centred 96 units from the left, 56 and 31 up.
  void click_question(int index) {
    ASSERT_TRUE(fly_test::e2e_click_question(p, 997, 96, index == 0 ? 56 : 31))
        << "the question did not take the click";
  }
  // From the start screen to the scenery map, the licence accepted.
  void to_scenery() {
    ASSERT_TRUE(wait("Welcome to the Flyvane 9 Installer.", 60));
    click("Continue");
    ASSERT_TRUE(wait("I will create the folder", 30));
    size_t m = mark();
    click("Continue");
    ASSERT_TRUE(wait("screen see_eula ", 30, m));
    click("-I agree!");
    m = mark();
    click("Continue");
    ASSERT_TRUE(wait("screen dvd_scenery_install ", 30, m));
  }
};

// Welcome, destination (default name), licence (Continue off until ticked),
// scenery (one tile), run, swap (eject, disc 2, Continue), finish, and the
// installed Linux program started from there.
TEST(FreshInstall, ClickedThroughWithRealXInput) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  const auto& discs = fly_test::e2e_demo_discs();
  env.insert(discs[0], "FLYVANE9_1");
  const std::string marker = env.root + "sim_ran.txt";
  env.extra_env = {{"FLY_SIM_MARKER", marker}};
  fly_test::e2e_process p = fly_test::e2e_start(env,
                                                "wait see_eula 120\n"
                                                "screenshot licence.png\n"
                                                "wait dvd_scenery_install 120\n"
                                                "screenshot map.png\n"
                                                "wait Installation was successful. 300\n"
                                                "screenshot done.png\n");
  int x, y, w, h;
  auto click = [&](const std::string& key) {
    ASSERT_TRUE(fly_test::e2e_wait_item(p, key, 60, &x, &y, &w, &h)) << key;
    ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2)) << key;
  };
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "Welcome to the Flyvane 9 Installer.", 60));
  size_t mark = fly_test::e2e_trace(p).size();
  click("Continue");
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_pick_install ", 30, mark));
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "I will create the folder", 30, mark));
  mark = fly_test::e2e_trace(p).size();
  click("Continue");
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen see_eula ", 30, mark));
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "key=\"Continue\"", 30, mark));
  bool continue_off = false;
  for (const std::string& l : fly_test::e2e_trace(p))
    if (l.find("key=\"Continue\"") != std::string::npos)
      continue_off = l.find("enabled=0") != std::string::npos;
  EXPECT_TRUE(continue_off) << "Continue before the licence is accepted";
  click("-I agree!");
  mark = fly_test::e2e_trace(p).size();
  click("Continue");
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_scenery_install ", 30, mark));
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "item key=\"tile ", 30, mark));
  const std::string tile = first_tile(fly_test::e2e_trace(p));
  ASSERT_FALSE(tile.empty());
  click(tile);
  // The click shows as the tile's item ticked.
  bool ticked = false;
  for (int i = 0; i < 200 && !ticked; ++i) {
    const std::vector<std::string> t = fly_test::e2e_trace(p);
    for (auto it = t.rbegin(); it != t.rend(); ++it)
      if (it->find("key=\"" + tile + "\"") != std::string::npos) {
        ticked = it->find("checked=1") != std::string::npos;
        break;
      }
    if (!ticked) usleep(50000);
  }
  if (!ticked)
    for (const std::string& l : fly_test::e2e_trace(p))
      if (l.find("tile") == std::string::npos) std::cerr << l << "\n";
  ASSERT_TRUE(ticked) << tile << " not ticked by the click at " << x + w / 2 << "," << y + h / 2;
  mark = fly_test::e2e_trace(p).size();
  click("Continue");
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_switch_disk_install ", 120, mark));
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "Please insert DVD number 2 and click continue.", 30));
  EXPECT_FALSE(fs::exists(env.volumes + "FLYVANE9_1")) << "disc 1 ejected";
  env.insert(discs[1], "FLYVANE9_2");
  mark = fly_test::e2e_trace(p).size();
  click("Continue");
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "Installation was successful.", 120, mark));
  click("Run Flyvane Now");
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 1) << r.stderr_text;  // the installer ends once the program runs
  EXPECT_NE(r.log.find("Ejected the simulated disc"), std::string::npos) << "the eject is logged";

  const std::string dest = env.desktop + kDest;
  const std::string lat_lon = tile.substr(5);  // "+40-130"
  int checked = 0;
  for (const listed& f : file_list(discs[0])) {
    const bool wanted = !f.global || f.path.find("/" + lat_lon + "/") != std::string::npos;
    EXPECT_EQ(fs::exists(dest + f.path), wanted) << f.path;
    if (!wanted) continue;
    EXPECT_EQ(md5_of(dest + f.path), f.md5) << f.path;
    ++checked;
  }
  EXPECT_GT(checked, 5);
  // The Linux tree, not the Macintosh one; its program ran from the copy.
  EXPECT_FALSE(fs::exists(dest + "Flyvane.app"));
  struct stat st;
  ASSERT_EQ(stat((dest + "Flyvane-i686").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_NE(r.log.find(kDest + "Flyvane-i686 with"), std::string::npos) << r.log;
  for (int i = 0; i < 100 && !fly_test::file_exists(marker); ++i) usleep(50000);
  EXPECT_EQ(fly_test::read_file(marker), "Flyvane 9 demo simulator for Linux ran with 0 argument(s)\n");
  ASSERT_EQ(r.screenshots.size(), 3u);
  for (const std::string& shot : r.screenshots) fly_test::e2e_expect_wizard_shot(shot);
  expect_map_drawn(r.screenshots[1]);
  const std::string registered = fly_test::read_file(env.home + ".config/flyvane_install.txt");
  ASSERT_FALSE(registered.empty());
  EXPECT_EQ(fs::path(registered.substr(0, registered.size() - 1)).lexically_normal(),
            fs::path(dest).lexically_normal());
  EXPECT_TRUE(fs::exists(env.home + ".config/Flyvane Installer.prf"));
  for (const auto& e : fs::recursive_directory_iterator(env.tmp))
    EXPECT_TRUE(e.is_directory()) << e.path() << " left in the temporary folder";
}


// Go Back while installing: the stop question; Cancel there removes the new
// folder and nothing else.
TEST(FreshInstall, CancelRemovesTheFolderAndNothingElse) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  fly_test::write_file(env.desktop + "keep.txt", "mine");
  fly_test::e2e_process p = fly_test::e2e_start(env,
                                                "wait dvd_switch_disk_install 120\n"
                                                "screenshot swap.png\n");
  x_user u{p};
  u.to_scenery();
  size_t m = u.mark();
  u.click("Continue");
  ASSERT_TRUE(u.wait("screen dvd_switch_disk_install ", 120, m));
  const std::string dest = env.desktop + kDest;
  EXPECT_TRUE(fs::exists(dest));
  u.click("Go Back");
  u.click_question(0);  // "Cancel": the installation, and delete it
  m = u.mark();
  ASSERT_TRUE(u.wait("screen dvd_scenery_install ", 30));
  u.click("Quit");
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_FALSE(fs::exists(dest));
  EXPECT_EQ(fly_test::read_file(env.desktop + "keep.txt"), "mine");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(env.desktop)) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Flyvane Installer Log.txt", "keep.txt"}));
  ASSERT_EQ(r.screenshots.size(), 1u);
  fly_test::e2e_expect_wizard_shot(r.screenshots[0]);
}

// At the swap a wrong disc is ejected and asked for again; an archive that
// is gone from disc 2 while copying gives the error report, and Continue goes
// on once the disc is whole again.
TEST(FreshInstall, WrongDiscAndArchiveGoneWhileCopying) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  const auto& discs = fly_test::e2e_demo_discs();
  // Disc 2 as a copy, so that an archive can go missing from it.
  const std::string disc2 = env.root + "disc2/";
  fs::copy(discs[1], disc2, fs::copy_options::recursive);
  std::vector<listed> on_two;
  for (const listed& f : file_list(discs[0]))
    if (f.disk == 1) on_two.push_back(f);
  ASSERT_GE(on_two.size(), 2u);
  std::string release;
  for (const auto& e : fs::directory_iterator(disc2))
    if (e.is_directory()) release = e.path().string() + "/";
  const std::string gone = release + on_two[1].archive, stash = env.root + "stash";
  ASSERT_TRUE(fs::exists(gone)) << gone;
  fs::rename(gone, stash);

  env.insert(discs[0], "FLYVANE9_1");
  fly_test::e2e_process p = fly_test::e2e_start(env,
                                                "wait dvd_scenery_install 120\n"
                                                "wait Select All 30\n"
                                                "screenshot map.png\n"
                                                "wait There were errors during the install; 300\n"
                                                "screenshot errors.png\n");
  x_user u{p};
  u.to_scenery();
  // Every tile ticked, disc 2's included: a click a loaded machine dropped
  // would leave the missing archive out of the install.
  bool all = false;
  for (int tries = 0; tries < 5 && !all; ++tries) {
    const size_t before = u.mark();
    u.click("Select All");
    all = u.wait("checked=1", 5, before);
  }
  ASSERT_TRUE(all) << "Select All ticked no tile";
  size_t m = u.mark();
  u.click("Continue");
  ASSERT_TRUE(u.wait("Please insert DVD number 2 and click continue.", 120, m));
  // Disc 1 again: not taken.
  env.insert(discs[0], "FLYVANE9_1");
  m = u.mark();
  u.click("Continue");
  ASSERT_TRUE(u.wait("screen dvd_verify_disk_install ", 30, m));
  ASSERT_TRUE(u.wait("screen dvd_switch_disk_install ", 30, m));
  for (int i = 0; i < 100 && fs::exists(env.volumes + "FLYVANE9_1"); ++i) usleep(50000);
  EXPECT_FALSE(fs::exists(env.volumes + "FLYVANE9_1")) << "the wrong disc is ejected again";
  EXPECT_FALSE(fs::exists(env.desktop + kDest + on_two[0].path));

  env.insert(disc2, "FLYVANE9_2");
  u.click("Continue");
  u.click_question(1);  // the error report: "Continue"
  fs::rename(stash, gone);
  m = u.mark();
  ASSERT_TRUE(u.wait("Finished Installing Flyvane", 120));
  ASSERT_TRUE(u.wait("There were errors during the install;", 30));
  u.click("Quit");
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  // Everything but the missing archive's file is installed.
  const std::string dest = env.desktop + kDest;
  for (const listed& f : on_two)
    EXPECT_EQ(fs::exists(dest + f.path), f.path != on_two[1].path) << f.path;
  ASSERT_EQ(r.screenshots.size(), 2u);
  for (const std::string& shot : r.screenshots) fly_test::e2e_expect_wizard_shot(shot);
  expect_map_drawn(r.screenshots[0]);
}

// The disc taken out in the middle of the copy: the swap screen asks for the
// same disc, with no alert. Put back, the install ends whole; Quit there
// keeps what was installed, every file of it whole, as at any swap.
TEST(FreshInstall, DiscTakenOutWhileCopyingIsAskedForAgain) {
  FLY_E2E_OR_SKIP();
  const std::string disc = fly_test::e2e_padded_disc("pulled", 450);
  ASSERT_FALSE(disc.empty());
  const std::vector<listed> files = file_list(disc);
  ASSERT_GT(files.size(), 450u);
  for (const bool put_back : {true, false}) {
    SCOPED_TRACE(put_back ? "put back" : "quit at the swap screen");
    e2e_env env;
    env.insert(disc, "FLYVANE9_1");
    const std::string ask = "Please insert DVD number 1 and click continue.";
    const e2e_result r = fly_test::e2e_run(
        env, std::string(fly_test::e2e_script_to_map) + "click Continue\n" +
                 "wait dvd_run_install 120\n"
                 "eject\n"
                 "wait " + ask + " 120\n"
                 "screenshot swap.png\n" +
                 (put_back ? "insert " + disc + "\nclick Continue\n" +
                                 "wait Installation was successful. 300\n"
                           : std::string()) +
                 "quit\n");
    ASSERT_FALSE(r.timed_out) << r.stderr_text;
    EXPECT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
    EXPECT_TRUE(r.saw_screen("dvd_switch_disk_install"));
    EXPECT_TRUE(r.saw_line(ask));
    EXPECT_FALSE(r.saw_line("window 997 ") || r.saw_line("window 994 ")) << "an alert came up";
    EXPECT_EQ(r.log.find("I was unable to copy the file"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("Asking for the disc again: "), std::string::npos) << r.log;
    ASSERT_EQ(r.screenshots.size(), 1u);
    fly_test::e2e_expect_wizard_shot(r.screenshots[0]);

    const std::string dest = env.desktop + kDest;
    int installed = 0, wanted = 0;
    for (const listed& f : files) {
      if (f.global) continue;  // no tile was chosen
      ++wanted;
      const bool there = fs::exists(dest + f.path);
      installed += there;
      if (put_back) EXPECT_TRUE(there) << f.path;
      if (there) EXPECT_EQ(md5_of(dest + f.path), f.md5) << f.path;
    }
    if (put_back) {
      EXPECT_TRUE(r.saw_line("Installation was successful."));
    } else {
      EXPECT_GT(installed, 0);
      EXPECT_LT(installed, wanted) << "the install was over before the disc was taken out";
    }
    for (const auto& e : fs::recursive_directory_iterator(env.tmp))
      EXPECT_TRUE(e.is_directory()) << e.path() << " left in the temporary folder";
  }
}
