// "Change Destination" with the system's own zenity on the program's X
// server: a folder typed into the dialog becomes the destination, also one
// named beyond ASCII where the environment names a locale the system lacks;
// a click on the installer while the dialog is up never reaches the wizard;
// an answer naming no folder leaves the destination as it was.
#include <locale.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_process;

namespace {
const char* const kPrompt = "Pick a folder to install Flyvane 9 into.";

double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// xdotool on the program's display; its output less the line end.
bool xdo(const e2e_process& p, const std::string& args, std::string* out = nullptr) {
  std::string o;
  const bool ok =
      fly_test::run("DISPLAY=" + p.display + " timeout 60 xdotool " + args + " 2>/dev/null", &o) ==
      0;
  if (out) *out = trimmed(o);
  return ok;
}

// The destination screen, then "Change Destination" clicked with real X
// input; the dialog's window once it is up ("" when it never came).
std::string open_dialog(const e2e_process& p) {
  int x, y, w, h;
  if (!fly_test::e2e_wait_line(p, "screen dvd_pick_install ", 120) ||
      !fly_test::e2e_wait_item(p, "Change Destination", 30, &x, &y, &w, &h) ||
      !fly_test::e2e_xclick(p, x + w / 2, y + h / 2))
    return "";
  // Only once it is mapped does it take the focus: the toolkit names its
  // window before it shows it.
  std::string win;
  xdo(p, "search --sync --onlyvisible --name '" + std::string(kPrompt) + "'", &win);
  return win.substr(0, win.find('\n'));
}

// Keys into the dialog: focused first, as there is no window manager. A
// loaded machine may still be drawing it: the focus is tried again.
bool dialog_keys(const e2e_process& p, const std::string& win, const std::string& keys) {
  for (int tries = 0; tries < 5; ++tries) {
    if (xdo(p, "windowfocus --sync " + win)) return xdo(p, "sleep 0.3 " + keys);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return false;
}

bool dialog_gone(const e2e_process& p) {
  for (int i = 0; i < 100; ++i) {
    std::string found;
    xdo(p, "search --name '" + std::string(kPrompt) + "'", &found);
    if (found.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

e2e_env env_with_disc() {
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  return env;
}

// Back on the destination screen: Quit with a real click, and the run ends well.
void quit_from_destination(e2e_env& env, e2e_process& p, fly_test::e2e_result* r) {
  int x, y, w, h;
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Quit", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  *r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r->timed_out) << r->stderr_text;
  EXPECT_EQ(r->exit_code, 0) << r->stderr_text;
}

const char* const kToDestination =
    "wait dvd_start 30\nwait Flyvane 9 Demo 30\nclick Continue\nwait dvd_pick_install 30\n";

#define ZENITY_OR_SKIP()                                            \
  FLY_E2E_OR_SKIP();                                                \
  if (fly_test::run("command -v zenity >/dev/null") != 0) GTEST_SKIP() << "zenity is missing"
}  // namespace

TEST(FolderDialog, TheRealZenityChoosesTheDestination) {
  ZENITY_OR_SKIP();
  e2e_env env = env_with_disc();
  const std::string chosen = env.root + "chosen place";
  fs::create_directories(chosen);
  e2e_process p = fly_test::e2e_start(env, kToDestination);
  const std::string win = open_dialog(p);
  ASSERT_FALSE(win.empty()) << "no folder dialog came up";
  // The location field takes a typed path; Return chooses that folder.
  ASSERT_TRUE(dialog_keys(p, win, "key ctrl+l sleep 0.3 type --delay 10 '" + chosen + "/'"));
  ASSERT_TRUE(dialog_keys(p, win, "key Return"));
  EXPECT_TRUE(fly_test::e2e_wait_line(p, "inside the folder '" + chosen + "/'", 60));
  fly_test::e2e_result r;
  ASSERT_NO_FATAL_FAILURE(quit_from_destination(env, p, &r));
  EXPECT_EQ(r.log.find("could not show the file dialog"), std::string::npos) << r.log;
}

// The user's locale is one the system has not generated: zenity, were it
// left in it, would print the name with "?" for "ü" and the installer would
// make that folder.
TEST(FolderDialog, ANameBeyondAsciiComesBackWholeInALocaleTheSystemLacks) {
  ZENITY_OR_SKIP();
  std::string lacking = "de_DE.UTF-8";
  if (const locale_t l = newlocale(LC_ALL_MASK, lacking.c_str(), static_cast<locale_t>(0))) {
    freelocale(l);
    lacking = "xx_YY.UTF-8";  // German is there: a locale no system has
  }
  e2e_env env = env_with_disc();
  env.extra_env.push_back({"LC_ALL", ""});
  env.extra_env.push_back({"LANG", lacking});
  const std::string chosen = env.root + "Fl\xC3\xBCgel \xC3\xBC";
  fs::create_directories(chosen);
  e2e_process p = fly_test::e2e_start(env, kToDestination);
  const std::string win = open_dialog(p);
  ASSERT_FALSE(win.empty()) << "no folder dialog came up";
  // xdotool types a letter beyond ASCII by remapping a spare key, which a loaded
  // server can drop; the field is typed again while the dialog is still up.
  bool chosen_shown = false;
  for (int tries = 0; tries < 3 && !chosen_shown; ++tries) {
    if (!dialog_keys(p, win, "key ctrl+l sleep 0.3 type --delay 40 '" + chosen + "/'") ||
        !dialog_keys(p, win, "key Return"))
      break;
    chosen_shown = fly_test::e2e_wait_line(p, "inside the folder '" + chosen + "/'", 25);
  }
  EXPECT_TRUE(chosen_shown);
  fly_test::e2e_result r;
  ASSERT_NO_FATAL_FAILURE(quit_from_destination(env, p, &r));
  EXPECT_FALSE(r.saw_line("Fl?gel")) << r.log;
  EXPECT_EQ(r.log.find("could not be read back"), std::string::npos) << r.log;
  for (const auto& e : fs::directory_iterator(env.root))
    EXPECT_EQ(e.path().filename().string().find('?'), std::string::npos) << e.path();
}

// What the dialog hands back, through the test hook here, names no folder:
// the alert, and the destination stays the one shown before.
TEST(FolderDialog, AnAnswerNamingNoFolderKeepsTheDestination) {
  FLY_E2E_OR_SKIP();
  e2e_env env = env_with_disc();
  const std::string mangled = env.root + "Fl?gel ?";
  env.extra_env.push_back({"FLY_DIALOG_ANSWER", mangled});
  const fly_test::e2e_result r = fly_test::e2e_run(
      env, std::string(kToDestination) +
               "wait I will create the folder 30\nclick Change Destination\n"
               "click Understood\nwait I will create the folder 30\nsleep 1\nquit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_NE(r.log.find("The folder you picked could not be read back from the file dialog; "
                       "nothing was changed."),
            std::string::npos)
      << r.log;
  std::vector<std::string> shown;
  for (const std::string& line : r.trace)
    if (line.rfind("text \"I will create the folder", 0) == 0) shown.push_back(line);
  ASSERT_GE(shown.size(), 2u);  // before and after the dialog
  for (const std::string& line : shown) EXPECT_EQ(line, shown[0]);
  EXPECT_EQ(shown[0].find("Fl?gel"), std::string::npos) << shown[0];
  EXPECT_FALSE(fs::exists(mangled));
}

TEST(FolderDialog, AClickOnTheInstallerWhileItIsUpReachesNothing) {
  ZENITY_OR_SKIP();
  e2e_env env = env_with_disc();
  e2e_process p = fly_test::e2e_start(env, kToDestination);
  int x, y, w, h;
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_pick_install ", 120));
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Go Back", 30, &x, &y, &w, &h));
  const int back_x = x + w / 2, back_y = y + h / 2;
  const std::string win = open_dialog(p);
  ASSERT_FALSE(win.empty()) << "no folder dialog came up";
  // The dialog out of the way (it covers the screen), Go Back clicked on the
  // installer's window.
  ASSERT_TRUE(xdo(p, "windowmove --sync " + win + " 810 0"));
  const size_t mark = fly_test::e2e_trace(p).size();
  ASSERT_TRUE(fly_test::e2e_xclick(p, back_x, back_y));
  std::string installer, under;
  xdo(p, "search --onlyvisible --pid " + std::to_string(p.pid), &installer);
  xdo(p, "getmouselocation --shell", &under);
  ASSERT_NE((under + "\n").find("WINDOW=" + installer.substr(0, installer.find('\n')) + "\n"),
            std::string::npos)
      << under;
  ASSERT_TRUE(dialog_keys(p, win, "key Escape"));
  ASSERT_TRUE(dialog_gone(p));
  // Frames run on: the click, had it been kept, would have gone back by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(fly_test::e2e_wait_line(p, "screen dvd_start ", 1, mark));
  // The wizard still takes clicks, and this one goes back.
  ASSERT_TRUE(fly_test::e2e_xclick(p, back_x, back_y));
  EXPECT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_start ", 30, mark));
  ASSERT_TRUE(fly_test::e2e_wait_item(p, "Quit", 30, &x, &y, &w, &h));
  ASSERT_TRUE(fly_test::e2e_xclick(p, x + w / 2, y + h / 2));
  const fly_test::e2e_result r = fly_test::e2e_finish(env, p);
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
}

// The dialog moved off the installer: the window shows again the page as it
// stood before the click, whole (not the frame the click broke off, with only
// the background, the steps and the pressed button), and not the dialog's
// ghost. Then a window close, or SIGTERM, ends the dialog and the program
// within 2 s, as Quit does.
TEST(FolderDialog, TheWindowRedrawsAndClosesWhileItIsUp) {
  ZENITY_OR_SKIP();
  for (const bool by_signal : {false, true}) {
    SCOPED_TRACE(by_signal ? "SIGTERM" : "window close");
    e2e_env env = env_with_disc();
    e2e_process p = fly_test::e2e_start(env, kToDestination);
    int x, y, w, h;
    ASSERT_TRUE(fly_test::e2e_wait_line(p, "screen dvd_pick_install ", 120));
    ASSERT_TRUE(fly_test::e2e_wait_item(p, "Change Destination", 30, &x, &y, &w, &h));
    // The pointer where the click will be: the page shows its hover as it will then.
    ASSERT_TRUE(xdo(p, "mousemove --window " + fly_test::e2e_window(p) + " " +
                           std::to_string(x + w / 2) + " " + std::to_string(y + h / 2)));
    fly_test::e2e_image before;
    for (int tries = 0; tries < 10; ++tries) {  // until two reads agree: the page is drawn
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      fly_test::e2e_image now = fly_test::e2e_snap_window(p);
      if (now.ok() && now.rgba == before.rgba) break;
      before = std::move(now);
    }
    fly_test::e2e_expect_wizard_picture(before, "the page before the click");
    const std::string win = open_dialog(p);
    ASSERT_FALSE(win.empty()) << "no folder dialog came up";
    ASSERT_TRUE(xdo(p, "windowmove --sync " + win + " 810 0"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const fly_test::e2e_image shown = fly_test::e2e_snap_window(p);
    fly_test::e2e_expect_wizard_picture(shown, "the window after the dialog moved");
    ASSERT_EQ(shown.rgba.size(), before.rgba.size());
    // llvmpipe may round a few pixels otherwise; nothing else may differ.
    int differ = 0;
    for (size_t i = 0; i + 3 < shown.rgba.size(); i += 4)
      for (size_t c = 0; c < 3; ++c)
        if (std::abs(shown.rgba[i + c] - before.rgba[i + c]) > 16) {
          ++differ;
          break;
        }
    EXPECT_LT(differ, 200) << "window pixels unlike the page before the click";

    if (by_signal) {
      ASSERT_EQ(kill(p.pid, SIGTERM), 0);
    } else {
      ASSERT_TRUE(fly_test::e2e_wm_close(p));
    }
    p.deadline = now_s() + 2;
    // The wait covers the program's group, zenity in it.
    const fly_test::e2e_result r = fly_test::e2e_finish(env, p);
    ASSERT_FALSE(r.timed_out) << "the program or zenity still ran 2 s after the close";
    EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
    EXPECT_EQ(r.log.find("could not show the file dialog"), std::string::npos) << r.log;
  }
}
