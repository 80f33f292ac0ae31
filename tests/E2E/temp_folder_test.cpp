// Installers of one user side by side, each on its own X server, with one
// TMPDIR: each works in a temporary folder of its own, and what they put
// there is gone once they have ended.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_result;

namespace {
const std::string kName = "Flyvane 9 Demo";

// A one-disc release of the demo master with 300 more files, and the
// installer on the disc as a user gets it, made once per process; *listed
// is its file list.
const std::string& disc_with_installer(std::vector<fly_test::e2e_listed>* listed) {
  static std::string disc;
  static std::vector<fly_test::e2e_listed> files;
  *listed = files;
  if (!disc.empty()) return disc;
  const std::string d = fly_test::e2e_padded_disc("busy", 300);
  if (d.empty()) return disc;
  *listed = files = fly_test::e2e_disc_file_list(d);  // read while the release is its only folder
  fs::copy_file(e2e_env().program, d + "flyvane_installer");
  fs::copy(std::string(FLY_APP_DIR) + "/Resources", d + "Resources", fs::copy_options::recursive);
  return disc = d;
}

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
  return out;
}
}  // namespace

// The first installer holds the fixed folder. The second, started from the
// disc, copies itself into a folder of its own and installs from there; the
// first quits in the middle of that install, and a third one starts and quits
// while the second still runs. The second's install is whole, and nothing is
// left in TMPDIR. All three write the one log on the user's Desktop: each
// run's header and close-down line stand there whole, the later two after a
// line that says another installer is writing.
TEST(TwoInstallers, TheSecondFinishesItsInstallAfterTheFirstQuits) {
  FLY_E2E_OR_SKIP();
  std::vector<fly_test::e2e_listed> listed;
  const std::string disc = disc_with_installer(&listed);
  ASSERT_FALSE(disc.empty());
  const std::string fixed = "flyvane-" + std::to_string(getuid());

  e2e_env first;
  first.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  fly_test::e2e_process a = fly_test::e2e_start(first);
  // Its file list is in the folder now.
  ASSERT_TRUE(fly_test::e2e_wait_line(a, "Welcome to the Flyvane 9 Installer", 60));
  EXPECT_EQ(entries(first.tmp), std::vector<std::string>{fixed});

  e2e_env second;
  second.home = first.home;
  second.desktop = first.desktop;
  second.tmp = first.tmp;
  second.timeout_s = 240;
  second.insert(disc, "FLYVANE9_1");
  second.program = disc + "flyvane_installer";
  fly_test::e2e_process b = fly_test::e2e_start(
      second, std::string(fly_test::e2e_script_to_map) +
                  "click Continue\nwait Installation was successful. 300\n");
  ASSERT_TRUE(fly_test::e2e_wait_line(b, "screen dvd_run_install ", 120));
  int x, y, w, h;
  ASSERT_TRUE(fly_test::e2e_wait_item(a, "Quit", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(a, x + w / 2, y + h / 2));
  const e2e_result ra = fly_test::e2e_finish(first, a);
  ASSERT_FALSE(ra.timed_out) << ra.stderr_text;
  EXPECT_EQ(ra.exit_code, 0) << ra.stderr_text;

  ASSERT_TRUE(fly_test::e2e_wait_line(b, "Installation was successful.", 120))
      << fly_test::read_file(b.stderr_path);
  const std::vector<std::string> left = entries(first.tmp);
  ASSERT_EQ(left.size(), 1u);
  const std::string own = first.tmp + left[0] + "/";
  EXPECT_EQ(left[0].rfind(fixed + "-", 0), 0u) << left[0];

  // The third's start-up sweep leaves the folder of the running second alone.
  e2e_env third;
  third.home = first.home;
  third.desktop = first.desktop;
  third.tmp = first.tmp;
  const e2e_result rc = fly_test::e2e_run(third, "wait dvd_start 30\nquit\n");
  ASSERT_FALSE(rc.timed_out) << rc.stderr_text;
  EXPECT_EQ(rc.exit_code, 0) << rc.stderr_text;
  EXPECT_TRUE(fs::exists(own + "flyvane_installer"));
  EXPECT_TRUE(fs::exists(own + "Resources"));

  ASSERT_EQ(kill(-b.pid, SIGTERM), 0);  // the copy, in the disc run's group
  const e2e_result rb = fly_test::e2e_finish(second, b);
  ASSERT_FALSE(rb.timed_out) << rb.stderr_text;
  EXPECT_NE(rb.log.find("The temporary folder " + first.tmp + fixed +
                        " is held by another installer: this run works in " + own + "\n"),
            std::string::npos)
      << rb.log;
  EXPECT_FALSE(rb.saw_line("There were errors"));
  const std::string dest = second.desktop + kName + "/";
  int installed = 0;
  for (const fly_test::e2e_listed& f : listed)
    if (!f.global) {
      EXPECT_EQ(fly_test::md5sum_of(dest + f.path), f.md5) << f.path;
      ++installed;
    }
  EXPECT_GT(installed, 300);
  EXPECT_TRUE(entries(first.tmp).empty());

  int headers = 0, ends = 0, notes = 0;
  std::istringstream lines(rb.log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Installer log.txt for ") != std::string::npos) {
      EXPECT_EQ(line.rfind("Installer log.txt for ", 0), 0u) << line;
      ++headers;
    }
    if (line.find("Clean exit from threads.") != std::string::npos) {
      EXPECT_EQ(line, "Clean exit from threads.");
      ++ends;
    }
    if (line.find("Another Flyvane Installer is writing to this log") != std::string::npos) ++notes;
  }
  EXPECT_EQ(headers, 3) << rb.log;
  EXPECT_EQ(ends, 3) << rb.log;
  EXPECT_EQ(notes, 2) << rb.log;
  EXPECT_EQ(rb.log.rfind("Installer log.txt for ", 0), 0u);  // the first's, kept
}
