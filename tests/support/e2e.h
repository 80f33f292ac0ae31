// End-to-end runs of the real installer: the built program on its own X
// server (Xvfb, Mesa's llvmpipe), in a sandboxed HOME with a Desktop and the
// XDG folders, a simulated drive (FLY_MOUNTED_VOLUMES) holding discs that
// the release builder made, bounded in time.
//
// What a run gives back: the exit code, the trace lines (FLY_TRACE, see
// GenH/script.h for the line forms), the log on the sandbox Desktop and the
// screenshots the script took. Drive the program either with a script
// (FLY_SCRIPT: click, type, key, wait, screenshot, insert, eject, quit) or,
// for real X input, start it with e2e_start and click with xdotool at the
// rectangles the trace gives (e2e_wait_item, e2e_xclick).
//
// Check screenshots by size, non-uniformity and probe pixels: never against
// golden images.
//
// Typical use:
//   fly_test::e2e_env env;                      // sandbox, drive, HOME
//   env.insert(fly_test::e2e_demo_discs()[0]);  // disc one in the drive
//   auto r = fly_test::e2e_run(env, "wait dvd_start\nscreenshot start.png\nquit\n");
//   EXPECT_EQ(r.exit_code, 0);
//   EXPECT_TRUE(r.saw_screen("dvd_start"));
//
// These runs take seconds each: the E2E folder runs only in the normal build.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace fly_test {

// True when the end-to-end tests can run here: Xvfb and the program exist
// and the build is not a sanitizer build.
bool e2e_available(std::string* why);
#define FLY_E2E_OR_SKIP()                                  \
  do {                                                     \
    std::string why_;                                      \
    if (!fly_test::e2e_available(&why_)) GTEST_SKIP() << why_; \
  } while (0)

// The demo disc set (two discs) made afresh by the release builder
// (tools/make_demo_discs.py) into the test's sandbox, once per process: the
// disc folders, ending in "/", disc one first.
const std::vector<std::string>& e2e_demo_discs();
// The master the demo discs were made from (a folder ending in "/").
std::string e2e_demo_master();
// Disc one (ending in "/") of a one-disc release named "Flyvane 9 Demo" of the
// demo master with `extra` more files of 64 KiB, made by the release builder
// in the sandbox folder `folder`; "" (and a failure) when it could not be made.
std::string e2e_padded_disc(const std::string& folder, int extra);

// One sandbox for the program: HOME with Desktop, XDG folders, TMPDIR and the
// simulated drive, all inside the test's own sandbox.
struct e2e_env {
  e2e_env();
  std::string root;     // ends in "/"
  std::string home;     // ends in "/"
  std::string desktop;  // home + "Desktop/"
  std::string volumes;  // the simulated drive (FLY_MOUNTED_VOLUMES)
  std::string tmp;      // TMPDIR
  std::vector<std::string> args;                                 // after the program
  std::vector<std::pair<std::string, std::string>> extra_env;   // set for the program
  std::string program;  // default: the built installer
  int timeout_s = 120;

  void insert(const std::string& disc, const std::string& name = "");  // a link in the drive
  void eject_all();
  std::string log() const;  // "Flyvane Installer Log.txt" on the Desktop, "" when none
};

struct e2e_result {
  int exit_code = -1;  // -1: killed at the timeout
  bool timed_out = false;
  std::vector<std::string> trace;
  std::string log;
  std::string stderr_text;
  std::vector<std::string> screenshots;  // full paths, in the order taken

  bool saw_screen(const std::string& name) const;      // a "screen <name> ..." line
  bool saw_line(const std::string& text) const;        // any trace line holding text
  // The first traced item (key or shown text), with its rectangle.
  bool item(const std::string& key, int* x, int* y, int* w, int* h, int* enabled = nullptr) const;
};

// A script from the start screen to the scenery map of a fresh install, the
// default destination taken and the licence accepted.
extern const char* const e2e_script_to_map;

// Runs the program to its end with script as FLY_SCRIPT ("" for none).
// Screenshot paths in the script that are relative land in env.root.
e2e_result e2e_run(e2e_env& env, const std::string& script, const std::string& trace_name = "");

// A running program on its own X server, for real X input. A test that
// stops before e2e_finish (a failed assertion) still ends the program, all
// it started (zenity, the simulator) and the X server when this goes; should
// the test process itself be killed, they end with it.
struct e2e_process {
  e2e_process() = default;
  e2e_process(e2e_process&& o) noexcept;
  e2e_process(const e2e_process&) = delete;
  e2e_process& operator=(const e2e_process&) = delete;
  ~e2e_process();
  pid_t pid = -1;
  pid_t xvfb = -1;
  bool reaped = false;  // the program was waited for
  std::string display;  // ":N"
  std::string trace_path;
  std::string stderr_path;
  double deadline = 0;
  mutable std::string window;  // its X window, once looked up
};
e2e_process e2e_start(e2e_env& env, const std::string& script = "");
// The trace so far.
std::vector<std::string> e2e_trace(const e2e_process& p);
// Waits (up to seconds) until the trace holds an enabled item with this key
// or shown text in its latest screen block; its rectangle in window pixels
// from the top-left. False on a timeout or when the program ended.
bool e2e_wait_item(const e2e_process& p, const std::string& key, int seconds, int* x, int* y,
                   int* w, int* h);
// Waits until the trace holds a line with text, at line from or later.
bool e2e_wait_line(const e2e_process& p, const std::string& text, int seconds, size_t from = 0);
// The program's X window (found by its process with xdotool, once); "" when
// it shows none.
std::string e2e_window(const e2e_process& p);
// A real X click with xdotool at (x, y) of the program's window.
bool e2e_xclick(const e2e_process& p, int x, int y);
// Closes the program's window as a window manager does for its close button
// (the WM_DELETE_WINDOW message, tests/support/wm_close.py).
bool e2e_wm_close(const e2e_process& p);
// Waits for the end (killing it at its deadline) and stops the X server.
e2e_result e2e_finish(e2e_env& env, e2e_process& p);

// A PNG screenshot read back: RGBA, rows top first.
struct e2e_image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  bool ok() const { return width > 0 && height > 0; }
  // x, y from the top-left.
  void at(int x, int y, int* r, int* g, int* b) const;
  // Distinct colours (capped at limit): a uniform image has 1.
  int colours(int limit = 64) const;
};
e2e_image e2e_read_png(const std::string& path);
// What the screen shows where the program's window is, read from its X
// server (tests/support/x_snap.py): what covers the window shows too.
e2e_image e2e_snap_window(const e2e_process& p);
// A screenshot of the wizard: the window's size, not uniform, and the step
// panel drawn lighter than the background.
void e2e_expect_wizard_shot(const std::string& png);
void e2e_expect_wizard_picture(const e2e_image& img, const std::string& what);
// Clicks a question window (the latest "window <window> " trace line) with
// real X input at (dx, dy) from its lower-left corner, until the application
// window is back (a click on a loaded machine can come before the question
// takes input); false when it never went away.
bool e2e_click_question(const e2e_process& p, int window, int dx, int dy);

// A disc set's file list (from disc one's "directory.txt.zip"): the files a
// Linux copy gets, with their MD5, disc and archive.
struct e2e_listed {
  std::string path, md5;
  bool global;
  int disk;
  std::string archive;  // on the disc, below the release folder
};
std::vector<e2e_listed> e2e_disc_file_list(const std::string& disc1);

}  // namespace fly_test
