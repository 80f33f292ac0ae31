// The real installer ended while its temporary folder's name leads elsewhere:
// swapped, while the folder dialog or a question is up, for a link to a
// folder of the user's files or for another folder. The close-down leaves
// what the name leads to whole and says so in the log.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_process;
using fly_test::e2e_result;

namespace {
const char* const kPrompt = "Pick a folder to install Flyvane 9 into.";
const std::string kWarning =
    " was removed or replaced from outside: the close-down emptied only the folder this run holds";

double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void user_files(const std::string& u) {
  fly_test::write_file(u + "/letter.txt", "the user's letter");
  fly_test::write_file(u + "/photos/one.jpg", "the user's photo");
}

void expect_user_files(const std::string& u) {
  EXPECT_EQ(fly_test::read_file(u + "/letter.txt"), "the user's letter");
  EXPECT_EQ(fly_test::read_file(u + "/photos/one.jpg"), "the user's photo");
}

// The ended run's log holds the close-down's warning for folder and its
// last line.
void expect_warned(const e2e_result& r, const std::string& folder) {
  EXPECT_NE(r.log.find("WARNING: The temporary folder " + folder + kWarning), std::string::npos)
      << r.log;
  EXPECT_NE(r.log.find("Clean exit from threads."), std::string::npos) << "no close-down";
}
}  // namespace

// SIGTERM while the folder dialog (Debian's zenity) is up, the folder renamed
// away and a link to the user's files in its place.
TEST(TempFolderSwapped, SigtermWithTheFolderDialogUpSparesTheLinksTarget) {
  FLY_E2E_OR_SKIP();
  if (fly_test::run("command -v zenity >/dev/null") != 0) GTEST_SKIP() << "zenity is missing";
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  const std::string folder = env.tmp + "flyvane-" + std::to_string(getuid()),
                    user = env.root + "Documents";
  user_files(user);
  e2e_process p = fly_test::e2e_start(
      env, "wait dvd_start 30\nwait Flyvane 9 Demo 30\nclick Continue\nwait dvd_pick_install 30\n");
  int x, y, w, h;
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_pick_install ", 120));
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Change Destination", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  std::string win;
  fly_test::run("DISPLAY=" + p.display + " timeout 60 xdotool search --sync --onlyvisible --name '" +
                    kPrompt + "' 2>/dev/null",
                &win);
  ASSERT_FALSE(win.empty()) << "no folder dialog came up";
  ASSERT_TRUE(fs::exists(folder + "/directory.txt"));

  fs::rename(folder, folder + ".away");
  fs::create_directory_symlink(user, folder);
  ASSERT_EQ(kill(p.pid, SIGTERM), 0);
  p.deadline = now_s() + 5;
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  expect_user_files(user);
  EXPECT_TRUE(fs::is_symlink(folder));
  EXPECT_TRUE(fs::is_empty(folder + ".away")) << "the run's files stayed in the folder it held";
  expect_warned(r, folder);
}

// The window closed while the question whether to cancel the install is up,
// the folder renamed away and another folder, the user's, made in its place.
TEST(TempFolderSwapped, AWindowCloseAtTheQuestionSparesAFolderPutInItsPlace) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  const std::string folder = env.tmp + "flyvane-" + std::to_string(getuid());
  e2e_process p = fly_test::e2e_start(env, std::string(fly_test::e2e_script_to_map) +
                                               "click Continue\nwait dvd_switch_disk_install 120\n"
                                               "click Go Back\n");
  ASSERT_FALSE(fly_test::e2e_window(p).empty());
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "window 997 ", 180));
  ASSERT_TRUE(fs::exists(folder + "/directory.txt"));

  fs::rename(folder, folder + ".away");
  user_files(folder);
  ASSERT_TRUE(fly_test::e2e_wm_close(p));
  p.deadline = now_s() + 5;
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  expect_user_files(folder);
  EXPECT_TRUE(fs::is_empty(folder + ".away")) << "the run's files stayed in the folder it held";
  expect_warned(r, folder);
  EXPECT_TRUE(fs::is_directory(env.desktop + "Flyvane 9 Demo"));  // the install's part kept
}

// The copy started from the disc runs from the fixed folder and ends: what
// it put there goes, the copy itself stays where it ran, and nothing is
// warned about.
TEST(TempFolderSwapped, TheCopyFromTheDiscStaysAndTheRestGoes) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  const std::string disc = env.root + "disc1/";
  fs::copy(fly_test::e2e_demo_discs()[0], disc, fs::copy_options::recursive);
  fs::copy_file(env.program, disc + "flyvane_installer");
  fs::copy(std::string(FLY_APP_DIR) + "/Resources", disc + "Resources",
           fs::copy_options::recursive);
  env.insert(disc, "FLYVANE9_1");
  env.program = disc + "flyvane_installer";
  const std::string folder = env.tmp + "flyvane-" + std::to_string(getuid());
  const e2e_result r =
      fly_test::e2e_run(env, "wait dvd_start 30\nwait Flyvane 9 Demo 30\nquit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  ASSERT_NE(r.log.find("os_dir_this_app\t\t=" + folder + "/"), std::string::npos) << r.log;
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Resources", "flyvane_installer"}));
  EXPECT_EQ(r.log.find(kWarning), std::string::npos) << r.log;
  EXPECT_NE(r.log.find("Clean exit from threads."), std::string::npos) << "no close-down";
}
