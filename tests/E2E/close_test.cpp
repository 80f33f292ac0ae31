// Ending the real installer in the middle of a disc install: the window
// manager's close, SIGTERM and SIGHUP (the terminal that started it closing)
// stop it as the Quit button does, at once, leaving the installed part whole
// and nothing in the temporary folder.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_result;

namespace {
const std::string kName = "Flyvane 9 Demo";

// Disc one of a one-disc release of the demo master with 600 more files,
// made by the release builder once per process.
const std::string& many_files_disc() {
  static std::string disc;
  if (disc.empty()) disc = fly_test::e2e_padded_disc("many", 600);
  return disc;
}

// From the start screen to the install, no scenery tile chosen.
const std::string kToInstall = std::string(fly_test::e2e_script_to_map) + "click Continue\n";
// Go Back where the install waits for the second disc: the question whether
// to cancel it. An install that runs is over too soon on a fast machine for
// a click to be sure of finding it still running.
const std::string kToQuestion = kToInstall + "wait dvd_switch_disk_install 120\nclick Go Back\n";

// The MD5 of every file below folder, by its path there.
std::map<std::string, std::string> md5_of_tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  std::istringstream in(
      fly_test::sh("cd '" + folder + "' && find . -type f -print0 | xargs -0 -r md5sum"));
  for (std::string line; std::getline(in, line);)
    if (line.size() > 36) out[line.substr(36)] = line.substr(0, 32);  // "<sum>  ./<path>"
  return out;
}

double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

enum class ending { window_close, sigterm, sighup };
struct close_case {
  ending how;
  double after_s;     // into the install
  bool at_question;  // with "cancel the installation?" up
};

// The log's last line that is not empty.
std::string last_log_line(std::string log) {
  while (!log.empty() && log.back() == '\n') log.pop_back();
  return log.substr(log.rfind('\n') + 1);  // npos + 1 is 0
}
}  // namespace

// Each case, also one while the question whether to cancel the install is
// up (asked where it waits for its second disc), ends the program within 2 s
// with status 0 and leaves what the Quit button leaves: the copy with every
// file in it whole, and nothing in the temporary folder, no archive copy and
// no file list. What a crashed run left there is gone once the program has
// started.
TEST(CloseMidInstall, WindowCloseSigtermAndSighupEndLikeQuit) {
  FLY_E2E_OR_SKIP();
  const std::string many = many_files_disc(), two_discs = fly_test::e2e_demo_discs()[0];
  ASSERT_FALSE(many.empty());
  const auto many_listed = fly_test::e2e_disc_file_list(many);
  ASSERT_GT(many_listed.size(), 600u);
  const auto two_listed = fly_test::e2e_disc_file_list(two_discs);
  const close_case cases[] = {{ending::window_close, 0, false}, {ending::window_close, 0.2, false},
                              {ending::window_close, 0.5, false}, {ending::sigterm, 0.2, false},
                              {ending::sighup, 0.2, false},      {ending::window_close, 0, true},
                              {ending::sigterm, 0, true}};
  for (const close_case& c : cases) {
    SCOPED_TRACE("ending " + std::to_string(static_cast<int>(c.how)) + " after " +
                 std::to_string(c.after_s) + " s" + (c.at_question ? " at the question" : ""));
    const std::string& disc = c.at_question ? two_discs : many;
    const auto& listed = c.at_question ? two_listed : many_listed;
    e2e_env env;
    env.insert(disc, "FLYVANE9_1");
    const std::string stale = env.tmp + "flyvane-" + std::to_string(getuid()) + "/0a1b_7.zip";
    fly_test::write_file(stale, "a copy left by a run that crashed");
    fly_test::e2e_process p = fly_test::e2e_start(env, c.at_question ? kToQuestion : kToInstall);
    ASSERT_FALSE(fly_test::e2e_window(p).empty());  // looked up now, so the close goes at once
    ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_run_install ", 120));
    EXPECT_FALSE(fs::exists(stale)) << "the start-up leaves a crashed run's copy";
    if (c.at_question) {
      ASSERT_TRUE(fly_test::e2e_wait_line(p, "window 997 ", 60));
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(c.after_s));
    if (c.how == ending::window_close) {
      ASSERT_TRUE(fly_test::e2e_wm_close(p));
    } else if (c.how == ending::sigterm) {
      ASSERT_EQ(kill(p.pid, SIGTERM), 0);
    } else {
      ASSERT_EQ(kill(-p.pid, SIGHUP), 0);  // as a closing terminal sends it
    }
    p.deadline = now_s() + 2;
    const e2e_result r = fly_test::e2e_finish(env, p);
    ASSERT_FALSE(r.timed_out) << "still running 2 s after it was told to end";
    EXPECT_EQ(r.exit_code, 0) << r.stderr_text;

    const std::string dest = env.desktop + kName + "/";
    EXPECT_TRUE(fs::is_directory(dest));
    const std::map<std::string, std::string> sums = md5_of_tree(dest);
    int installed = 0;
    for (const fly_test::e2e_listed& f : listed)
      if (fs::exists(dest + f.path)) {
        ++installed;
        EXPECT_EQ(sums.count(f.path) ? sums.at(f.path) : "", f.md5) << f.path;
      }
    if (c.at_question) {
      EXPECT_GT(installed, 0) << "the close at the question lost the copy";
    }
    if (c.after_s == 0 && !c.at_question) {
      EXPECT_LT(installed, static_cast<int>(listed.size()))
          << "the install was over before the close";
    }
    for (const auto& e : fs::recursive_directory_iterator(env.tmp))
      EXPECT_TRUE(e.is_directory()) << e.path() << " left in the temporary folder";
    EXPECT_EQ(last_log_line(r.log), "Clean exit from threads.") << "the close-down did not run";
  }
}

// The display going mid-install (the X server ends the program's connection,
// as xkill does): the program ends within 5 s as a close does, as far as it
// can without a display: the install stops, the temporary folder is emptied
// and removed, and the log ends with the close-down's line. Its exit status
// may say that it failed.
TEST(CloseMidInstall, TheDisplayGoingEndsItAsACloseDoes) {
  FLY_E2E_OR_SKIP();
  const std::string disc = many_files_disc();
  ASSERT_FALSE(disc.empty());
  e2e_env env;
  env.insert(disc, "FLYVANE9_1");
  fly_test::e2e_process p = fly_test::e2e_start(env, kToInstall);
  const std::string win = fly_test::e2e_window(p);
  ASSERT_FALSE(win.empty());
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_run_install ", 120));
  // XKillClient on the window, as xkill does.
  ASSERT_EQ(fly_test::run("DISPLAY=" + p.display + " timeout 20 xdotool windowkill " + win), 0);
  p.deadline = now_s() + 5;
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << "still running 5 s after its display went";
  for (const auto& e : fs::recursive_directory_iterator(env.tmp))
    EXPECT_TRUE(e.is_directory()) << e.path() << " left in the temporary folder";
  EXPECT_FALSE(fs::exists(env.tmp + "flyvane-" + std::to_string(getuid())));
  EXPECT_EQ(last_log_line(r.log), "Clean exit from threads.") << "the close-down did not run";
}
