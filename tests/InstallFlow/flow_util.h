// A small disc set in the simulated drive and a wizard driver that runs
// screens the way the wizard frame does, for the install flow's tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include "Installer-f/checksum_step.h"
#include "Installer-f/engine_util.h"
#include "Installer-f/install_step.h"
#include "Installer-f/run_screens.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "Linux/lin_discs.h"
#include "support/widget_frame.h"

// The wizard frame's quit screen.
int wizard_quit(int first_frame, wizard_screen& s);

namespace flow_test {
using namespace engine_test;

const std::string kName = "Flyvane Flow 9";

struct disc_file {
  std::string path, data;
  int disk;
};

// Two discs of a release in folders, a drive with nothing inserted, the
// temporary folder and a destination that does not exist yet.
class DiscSet : public ::testing::Test {
 protected:
  fly_test::widget_frames frames;  // the screens draw into a recording GL table
  const std::string root = fly_test::sandbox() + "work/", drive = root + "drive/",
                    master = root + "master/";
  std::string disc[2] = {root + "disc1/", root + "disc2/"};
  std::vector<disc_file> files = {
      {"All/Resources/a.txt", "alpha\n", 0},
      {"Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "#!/bin/sh\n", 0},
      {"All/Resources/b.txt", "bravo\n", 1},
  };

  void SetUp() override {
    fly_test::fail_after(120, "the install flow test");
    LIN_make_dirs(drive);
    LIN_make_dirs(temp_path = root + "temp/");
    setenv(LIN_volumes_env, drive.c_str(), 1);
    stg.target_platform = 1, stg.dir_state = 0, current_disk = 0, want_file_disk = 0;
    install_name = kName;
    dest_dir_path = root + "Installed/";
    make_discs();
  }
  void TearDown() override { install_files_kill(), checksum_directory_kill(); }

  void make_discs() {
    std::string list = header(), prev_dir;
    int disk = 0;
    for (const disc_file& f : files) {
      write_file(master + f.path, f.data);
      const std::string dir = f.path.substr(0, f.path.rfind('/') + 1),
                        name = f.path.substr(dir.size());
      const std::string zip = disc[f.disk] + kName + "/" + f.path + ".zip";
      sh("mkdir -p " + q(zip.substr(0, zip.rfind('/'))) + " && cd " + q(master + dir) +
         " && zip -X -q " + q(zip) + " " + q(name));
      if (f.disk != disk) list += "DISK " + std::to_string(disk = f.disk) + "\n";
      if (dir != prev_dir) list += "\nDIR " + (prev_dir = dir) + "\n";
      list += "FILE 0 0 92102 1 1 " + md5sum_of(master + f.path) + " " + name + "\n";
    }
    write_file(root + "directory.txt", list);
    sh("cd " + q(root) + " && zip -X -q -m " + q(disc[0] + kName + "/directory.txt.zip") +
       " directory.txt");
    for (const std::string& d : disc)
      write_file(d + "dvd_version.txt", "I\n900 version\nDVD\n\nVERSION " + kName + "\n");
  }
  // Reads the file list as the start screen does, with disc 1 in the drive.
  void scan() {
    ASSERT_EQ(zip_to_file(disc[0] + kName + "/directory.txt.zip", temp_path, nullptr, 0), 0);
    ASSERT_EQ(read_directory(temp_path + "directory.txt", ""), 3);
    stg.dir_state = 3;
  }
  void insert(int d) {
    ASSERT_EQ(symlink(disc[d].c_str(), (drive + "disc" + std::to_string(d)).c_str()), 0);
  }
  // The mount folder of disc d in the drive.
  std::string mount(int d) { return drive + "disc" + std::to_string(d) + "/"; }
  bool inserted(int d) {
    struct stat st;
    return lstat((drive + "disc" + std::to_string(d)).c_str(), &st) == 0;
  }
};

// Runs screens as the wizard frame does: a screen's first call has
// first_frame 1, an advance goes to next_screen, and the test clicks.
struct wizard_driver {
  wizard_screen_fn now;
  wizard_screen_fn last = nullptr;
  wizard_screen s;
  int result = 0;
  explicit wizard_driver(wizard_screen_fn first) : now(first) {}
  // One frame.
  void frame() {
    if (fly_test::widget_frames::current) fly_test::widget_frames::current->frame();
    s = wizard_screen();
    result = now(now != last, s);
    last = now;
    if (result && s.next_screen) now = s.next_screen;
  }
  void click_continue() {
    if (s.next_screen) now = s.next_screen;
  }
  void click_back() {
    if (s.back_screen) now = s.back_screen;
  }
  void choose(size_t i) { now = s.choice_funcs.at(i); }
  // Frames until the screen is want (or a minute passes).
  bool frames_until_screen(wizard_screen_fn want) {
    return frames_until([&] { frame(); }, [&] { return now == want && last == want; });
  }
};
}  // namespace flow_test
