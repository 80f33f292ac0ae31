// The real installer on its own X server: the start screen in every
// language, running an installed copy, relocation off the disc, and a flow
// clicked with real X input.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <filesystem>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_result;

namespace {
// The start screen drawn: the frame's probes. Background dark, panels light,
// the Quit button's face neither.
void expect_wizard_drawn(const std::string& png) {
  const fly_test::e2e_image img = fly_test::e2e_read_png(png);
  ASSERT_TRUE(img.ok()) << png;
  EXPECT_EQ(img.width, 800);
  EXPECT_EQ(img.height, 600);
  EXPECT_GT(img.colours(), 16) << "a nearly uniform screenshot";
  int r, g, b;
  img.at(4, 4, &r, &g, &b);  // the background tile
  const int back = r + g + b;
  img.at(500, 400, &r, &g, &b);  // inside the content panel, below the text
  const int panel = r + g + b;
  EXPECT_GT(panel, back + 150) << "the content panel is not drawn over the background";
  img.at(105, 400, &r, &g, &b);  // inside the step panel
  EXPECT_GT(r + g + b, back + 150);
}

// An installed copy of the demo simulator, registered as the only one.
std::string install_demo_copy(e2e_env& env) {
  fly_test::e2e_demo_discs();
  const std::string copy = env.desktop + "Flyvane 9 Demo/";
  fs::create_directories(copy);
  fs::copy(fly_test::e2e_demo_master() + "Linux", copy, fs::copy_options::recursive);
  fly_test::write_file(env.home + ".config/flyvane_install.txt", copy + "\n");
  return copy;
}

struct language_case {
  const char* code;
  const char* title;  // "Flyvane 9 Installer" in the language
};
}  // namespace

class StartScreenLanguage : public ::testing::TestWithParam<language_case> {};

TEST_P(StartScreenLanguage, DrawsEveryTextTranslated) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  env.args = {std::string("--lang=") + GetParam().code, "--missing_strings"};
  const e2e_result r = fly_test::e2e_run(env,
                                         "wait dvd_start 30\n"
                                         "wait Flyvane 9 Demo 30\n"
                                         "screenshot start.png\n"
                                         "quit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_line(std::string("screen dvd_start title=\"") + GetParam().title + "\""));
  // The welcome text names the release, and Quit is there to click.
  int x, y, w, h, enabled;
  ASSERT_TRUE(r.item("Quit", &x, &y, &w, &h, &enabled));
  EXPECT_EQ(enabled, 1);
  EXPECT_EQ(y + h, 600 - 12);  // 12 units above the bottom edge
  ASSERT_TRUE(r.item("Continue", &x, &y, &w, &h, &enabled));
  // No text of the frame went untranslated.
  EXPECT_EQ(r.log.find("\nSTRING "), std::string::npos) << r.log;
  EXPECT_NE(r.log.find("os_dir_prefs\t\t\t="), std::string::npos);
  ASSERT_EQ(r.screenshots.size(), 1u);
  expect_wizard_drawn(r.screenshots[0]);
}

INSTANTIATE_TEST_SUITE_P(
    AllSix, StartScreenLanguage,
    ::testing::Values(language_case{"en", "Flyvane 9 Installer"},
                      language_case{"fr", "Installeur de Flyvane 9"},
                      language_case{"de", "Flyvane 9 Installationsprogramm"},
                      language_case{"ru", "Программа установки Flyvane 9"},
                      language_case{"it", "Installazione di Flyvane 9"},
                      language_case{"es", "Instalador de Flyvane 9"}),
    [](const auto& info) { return std::string(info.param.code); });

TEST(RunFlyvaneNow, StartsTheInstalledCopyAndEnds) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  const std::string copy = install_demo_copy(env);
  const std::string marker = env.root + "sim_ran.txt";
  env.extra_env = {{"FLY_SIM_MARKER", marker}};
  const e2e_result r = fly_test::e2e_run(env,
                                         "wait You already have Flyvane 9 installed 30\n"
                                         "screenshot choices.png\n"
                                         "click Run Flyvane Now\n"
                                         "wait dvd_do_run_sim 30\n"
                                         "sleep 20\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.saw_screen("dvd_pick_run_sim"));
  EXPECT_TRUE(fly_test::file_exists(marker));
  EXPECT_EQ(fly_test::read_file(marker),
            "Flyvane 9 demo simulator for Linux ran with 0 argument(s)\n");
  EXPECT_NE(r.log.find("Launching: " + copy + "Flyvane-i686"), std::string::npos) << r.log;
  // The close-down ran before the start: the preferences are written.
  EXPECT_TRUE(fly_test::file_exists(env.home + ".config/Flyvane Installer.prf"));
  ASSERT_EQ(r.screenshots.size(), 1u);
  expect_wizard_drawn(r.screenshots[0]);
}

TEST(RunFlyvaneNow, ASimulatorThatCannotRunLeavesTheInstallerUp) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  const std::string copy = install_demo_copy(env);
  chmod((copy + "Flyvane-i686").c_str(), 0644);
  const e2e_result r = fly_test::e2e_run(env,
                                         "wait You already have Flyvane 9 installed 30\n"
                                         "click Run Flyvane Now\n"
                                         "click Understood\n"  // the alert's own window
                                         "wait Flyvane 9 could not be started. 30\n"
                                         "click Go Back\n"
                                         "wait You already have Flyvane 9 installed 30\n"
                                         "quit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_EQ(r.log.find("Launching:"), std::string::npos);
  EXPECT_NE(r.log.find("Flyvane 9 could not be started."), std::string::npos);
}

TEST(Relocation, StartedFromTheDiscItRunsFromTheTemporaryFolder) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  // Disc one with the program on it, the way a user starts it.
  const std::string disc = env.root + "disc1/";
  fs::copy(fly_test::e2e_demo_discs()[0], disc, fs::copy_options::recursive);
  fs::copy_file(env.program, disc + "flyvane_installer");
  fs::copy(std::string(FLY_APP_DIR) + "/Resources", disc + "Resources",
           fs::copy_options::recursive);
  env.insert(disc, "FLYVANE9_1");
  env.program = disc + "flyvane_installer";
  fly_test::e2e_process p =
      fly_test::e2e_start(env, "wait dvd_start 30\nscreenshot relocated.png\nquit\n");
  EXPECT_TRUE(fly_test::e2e_wait_line(p, "script quit", 60));
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 1);  // the disc copy ends once its copy runs
  // The log comes from the copy: it runs from the temporary folder.
  const size_t at = r.log.find("os_dir_this_app\t\t=");
  ASSERT_NE(at, std::string::npos) << r.log;
  const std::string line = r.log.substr(at, r.log.find('\n', at) - at);
  EXPECT_NE(line.find(env.tmp), std::string::npos) << line;
  EXPECT_EQ(line.find(disc), std::string::npos) << line;
  ASSERT_EQ(r.screenshots.size(), 1u);
  expect_wizard_drawn(r.screenshots[0]);
}

TEST(RealXClicks, TheStartScreenChoiceLeadsToTheRunScreen) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  install_demo_copy(env);
  // Two copies: the run screen waits for a pick instead of starting one.
  const std::string second = env.desktop + "Second/";
  fs::create_directories(second);
  fs::copy(fly_test::e2e_demo_master() + "Linux", second, fs::copy_options::recursive);
  fly_test::write_file(env.home + ".config/flyvane_install.txt",
                       env.desktop + "Flyvane 9 Demo/\n" + second + "\n");
  fly_test::e2e_process p = fly_test::e2e_start(env);
  int x, y, w, h;
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Run Flyvane Now", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  EXPECT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_pick_run_sim ", 30));
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Go Back", 30, &x, &y, &w, &h));
  const size_t mark = fly_test::e2e_trace(p).size();
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  EXPECT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_start ", 30, mark));
  // Back on the start screen, Quit ends the program normally.
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Quit", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  const e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0);
}

TEST(ScriptedDrive, ADiscInsertedLaterIsReadWithoutAClick) {
  FLY_E2E_OR_SKIP();
  e2e_env env;  // an empty drive
  const e2e_result r = fly_test::e2e_run(
      env, "wait Please insert Flyvane 9 DVD number one to begin. 30\n"
           "insert " + fly_test::e2e_demo_discs()[0] + "\n"
           "wait Welcome to the Flyvane 9 Installer 30\n"
           "eject\n"
           "sleep 0.5\n"
           "quit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_NE(r.log.find("SCRIPT: insert "), std::string::npos);
  EXPECT_NE(r.log.find("SCRIPT: eject"), std::string::npos);
  // Once the file list is read, taking the disc out leaves the welcome.
  std::string last_text;
  for (const std::string& l : r.trace)
    if (l.rfind("text ", 0) == 0) last_text = l;
  EXPECT_NE(last_text.find("Welcome to the Flyvane 9 Installer"), std::string::npos) << last_text;
  EXPECT_TRUE(fs::is_empty(env.volumes));
}

TEST(ScriptedDrive, AFailedWaitEndsWithStatusThree) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  const e2e_result r = fly_test::e2e_run(env, "wait no such screen 1\nquit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.log.find("SCRIPT FAILED: wait for \"no such screen\" timed out"), std::string::npos)
      << r.log;
  EXPECT_TRUE(r.saw_line("SCRIPT FAILED"));
}

// Another program holds a lock on the log on the Desktop, and holds on: the
// window still comes, after a bounded wait, and the log is added to after a
// line that names no installer.
TEST(Start, ALogAnotherProgramKeepsLockedDelaysTheWindowOnlyBriefly) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  const std::string log = env.desktop + "Flyvane Installer Log.txt";
  fly_test::write_file(log, "the program's line\n");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    dup2(ready[1], 1);
    execl("/usr/bin/python3", "python3", "-c",
          "import fcntl, sys, time\n"
          "f = open(sys.argv[1], 'a')\n"
          "fcntl.lockf(f, fcntl.LOCK_EX)\n"
          "print('locked', flush=True)\n"
          "time.sleep(600)\n",
          log.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  ASSERT_GT(holder, 0);
  struct ender {
    pid_t pid;
    ~ender() {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } end_holder{holder};
  char got[7] = {};
  const bool locked = read(ready[0], got, 6) == 6;
  close(ready[0]);
  ASSERT_TRUE(locked) << "python3 did not lock the log";

  env.timeout_s = 60;
  const auto t = std::chrono::steady_clock::now();
  const e2e_result r = fly_test::e2e_run(env, "wait dvd_start 30\nquit\n");
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_screen("dvd_start"));
  EXPECT_LT(took, 30.0);
  EXPECT_EQ(r.log.rfind("the program's line\n\n---- This log was locked by a process the "
                        "installer cannot name: process ", 0),
            0u)
      << r.log;
  EXPECT_NE(r.log.find("written without the lock. ----\n\n"), std::string::npos) << r.log;
  EXPECT_EQ(r.log.find("Another Flyvane Installer"), std::string::npos) << r.log;
  EXPECT_NE(r.log.find("Clean exit from threads."), std::string::npos) << r.log;
}
