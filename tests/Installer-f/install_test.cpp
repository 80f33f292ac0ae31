#include "engine_util.h"
#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Installer-f/screens.h"
#include "support/nomode.h"

using namespace engine_test;

const std::string kName = "Flyvane Test 9";

// $PPID: this process, the shell's parent.
static int threads_now() { return std::stoi(sh("ls /proc/$PPID/task | wc -l")); }

// A master, two discs made from it by hand, and the wizard's install steps.
class DiscInstall : public ::testing::Test {
 protected:
  struct release_file { std::string path, data; int disk, platform; };  // a link's data: its target
  void SetUp() override {
    LIN_make_dirs(temp_path = root + "temp/");
    dest_dir_path = root + "Installed Flyvane/", stg.target_platform = 1;
    for (const release_file& f : files)
      if (f.path.find("link") == std::string::npos) write_file(master + f.path, f.data);
    symlink(files[3].data.c_str(), (master + files[3].path).c_str());
    make_discs();
    chmod((master + files[5].path).c_str(), 0755);  // packed without it: the install sets it
  }
  void TearDown() override { install_files_kill(), checksum_directory_kill(); }

  void make_discs() {
    std::string list = header(), prev_dir;
    int disk = 0;
    for (const release_file& f : files) {
      const std::string dir = f.path.substr(0, f.path.rfind('/') + 1),
                        name = f.path.substr(dir.size()),
                        row = "FILE 0 " + std::to_string(f.platform);
      const bool is_7z = f.path.find("Global Scenery") != std::string::npos;
      const std::string zip = disc[f.disk] + kName + "/" + f.path + (is_7z ? ".7z" : ".zip");
      const std::string kb =
          sh("mkdir -p " + q(zip.substr(0, zip.rfind('/'))) + " && cd " + q(master + dir) + " && " +
             (is_7z ? "7zz a -t7z -bso0 -bsp0 " : "zip -X -y -q ") + q(zip) + " " + q(name) +
             " && echo $(($(stat -c %s " + q(zip) + ") / 1000)) $(($(stat -c %s " + q(name) +
             ") / 1000))");
      if (f.disk != disk) list += "DISK " + std::to_string(disk = f.disk) + "\n";
      if (dir != prev_dir) list += "\nDIR " + (prev_dir = dir) + "\n";
      if (name == "old.txt") list += row + " 900 1 1 cb782940c0cbf869249abb6faec2f4ed old.txt\n";
      list += row + " 92102 " + kb + " " + md5sum_of(master + f.path) + " " + name + "\n";
    }
    write_file(root + "directory.txt", list);
    sh("cd " + q(root) + " && zip -X -q -m " + q(disc[0] + kName + "/directory.txt.zip") +
       " directory.txt");
    for (const std::string& d : disc)
      write_file(d + "dvd_version.txt", "I\n900 version\nDVD\n\nVERSION " + kName + "\n");
  }

  void scan_disc() {
    dvd_path = disc[0], install_name = kName, current_disk = 0;
    ASSERT_EQ(zip_to_file(dvd_path + kName + "/directory.txt.zip", temp_path, nullptr, 0), 0);
    ASSERT_EQ(read_directory(temp_path + "directory.txt", "scanning"), 3);
    ASSERT_EQ(sim_info.size(), std::size(files));
  }

  // The run screen: the number of disc swaps, or -1 on an error.
  int install(bool fresh) {
    if (!choose_files() || make_dirs()) return -1;
    if (fresh) register_new_flyvane();
    delete_files();
    dvd_path = disc[0], current_disk = 0;  // the first disc is asked for first
    int f = 0, swaps = 0, status = 0;
    const bool ended = frames_until(
        [&] {  // on 2: eject, and ask for the disc by number
          if ((status = install_files(f, current_disk)) == 2)
            dvd_path = disc[current_disk = sim_info[f].back().disk], ++swaps;
        },
        [&] { return status == 1 || status == 3; });
    return ended && status == 1 ? swaps : -1;
  }

  // The installed tree is the master as a Macintosh gets it (Output/ is the install's own).
  void same_as_master() {
    sh("rm -rf " + q(root + "e") + " && mkdir " + q(root + "e") + " && cp -a " +
       q(master + "All/.") + " " + q(master + "Macintosh/.") + " " + q(root + "e") +
       " && diff -r --no-dereference -x Output " + q(root + "e") + " " + q(dest_dir_path));
  }
  // Wanted rows the model does not call current.
  int stale() {
    int n = 0;
    for (size_t r = 0; r < sim_info.size(); ++r)
      n += want_this_f(r, sim_info[r].size() - 1) && !sim_info[r].back().current;
    return n;
  }

  const std::string root = fly_test::sandbox() + "work/", master = root + "master/";
  std::string disc[2] = {root + "disc1/", root + "disc2/"};
  const release_file files[9] = {
      {"All/Airfoils/naca.afl", "airfoil data\n", 0, 0},
      {"All/Resources/big.bin", pattern(65536, 1), 0, 0},
      {"All/Resources/empty.txt", "", 0, 0},
      {"All/Resources/readme link", "text/readme.txt", 0, 0},
      {"All/Resources/text/old.txt", "New text.\n", 0, 0},  // "Old text.\n" was released before
      {"Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "#!/bin/sh\necho fly\n", 0, 1},
      {"Windows/Flyvane.exe", small_pe(), 0, 2},
      {"All/Global Scenery/+40-130/+47-122.dsf", std::string(30000, 's') + "tile", 1, 0},
      {"All/Resources/text/readme.txt", "Read me.\n", 1, 0},
  };
  int current_disk = 0;
};

// An install cancelled at once leaves no threads and a model that agrees with the disc; going on
// installs from both discs; repair restores exactly what was damaged, deleted or changed.
TEST_F(DiscInstall, CancelFreshInstallAndRepair) {
  scan_disc();
  scenery_take_all();
  ASSERT_TRUE(check_all());   // the scenery screen's check: nothing installed yet
  std::thread([] {}).join();  // a sanitizer's helper thread is up before the count
  const int threads = threads_now();
  ASSERT_TRUE(choose_files() && make_dirs() == 0);
  int f = 0;
  EXPECT_EQ(install_files(f, 0), 0);
  install_files_kill();
  EXPECT_TRUE(f > 0 && copy_pool == nullptr && unzip_pool == nullptr);
  EXPECT_EQ(threads_now(), threads);
  std::string said, found;
  for (const auto& row : sim_info) said += std::to_string(row.back().current);
  ASSERT_TRUE(check_all());
  for (const auto& row : sim_info) found += std::to_string(row.back().current);
  EXPECT_EQ(said, found);

  ASSERT_EQ(install(true), 1);  // one swap to the second disc
  for (auto& row : sim_info) row.back().current = 0;
  ASSERT_TRUE(check_all());
  EXPECT_EQ(stale(), 0);
  same_as_master();
  const std::string d = dest_dir_path, exe = q(d + "Flyvane.app/Contents/MacOS/Flyvane");
  EXPECT_EQ(sh("stat -c %a " + exe), "755");
  EXPECT_EQ(sh("ls -A " + q(temp_path)), "directory.txt");
  EXPECT_EQ(read_file(registry_path()), dest_dir_path + "\n");

  // Damage, delete and modify; an older release's text counts as known.
  sh("printf X | dd of=" + q(d + "Resources/big.bin") + " bs=1 seek=1000 conv=notrunc 2>/dev/null");
  sh("rm " + q(d + "Airfoils/naca.afl") + " " + q(d + "Resources/text/readme.txt"));
  write_file(d + "Resources/text/old.txt", "Old text.\n");
  write_file(d + "Resources/empty.txt", "not empty now");
  // Unpacking sets the archive's time, so the inode and change time show a rewrite.
  const std::string untouched = "stat -c '%n %i %y %z' " + exe + " " +
                                q(d + "Resources/readme link") + " " +
                                q(d + "Global Scenery/+40-130/+47-122.dsf"),
                    before = sh(untouched);
  set_install_filter(1, 0);  // the repair flow: the simulator's files only
  ASSERT_TRUE(check_all());
  EXPECT_EQ(stale(), 5);
  scripted_prompts p({1, 1});  // overwrite the two files changed beyond recognition
  ASSERT_EQ(install(false), 1);
  EXPECT_EQ(p.files(),
            (std::vector<std::string>{d + "Resources/big.bin", d + "Resources/empty.txt"}));
  std::string repaired;  // exactly the five, in the order of files[]
  for (const auto& row : sim_info) repaired += std::to_string(row.back().to_install);
  EXPECT_EQ(repaired, "111010001");
  same_as_master();
  EXPECT_EQ(sh(untouched), before);
}

// The same master released by the release builder as a two-disc set.
TEST_F(DiscInstall, FreshInstallFromBuiltDiscs) {
  make_release_folders(master);  // empty: they leave again below
  const std::string tile_dir = master + "All/Global Scenery/+40-130/";
  sh("cd " + q(tile_dir) + " && 7zz a -t7z -bso0 -bsp0 +47-122.dsf.7z +47-122.dsf");
  build_type = 1, src_fold = master, dst_fold_base = root + "built/", sim_name = kName;
  dvd_split_kb = 10;  // only big.bin goes past it
  build_install();
  disc[0] = dst_fold_base + "disk_0/", disc[1] = dst_fold_base + "disk_1/";
  EXPECT_FALSE(fly_test::file_exists(dst_fold_base + "disk_2"));
  unlink((tile_dir + "+47-122.dsf.7z").c_str());  // the disc keeps its hard link
  sh("cd " + q(master) + " && find . -depth -type d -empty -delete");
  scan_disc();
  scenery_take_all();
  ASSERT_EQ(install(true), 1);
  same_as_master();

  // Repair takes a file from each disc: one damaged (its overwrite is asked), one deleted.
  const std::string d = dest_dir_path;
  sh("printf X | dd of=" + q(d + "Resources/big.bin") + " bs=1 seek=1000 conv=notrunc 2>/dev/null");
  sh("rm " + q(d + "Resources/text/readme.txt"));
  set_install_filter(1, 0);
  ASSERT_TRUE(check_all());
  EXPECT_EQ(stale(), 2);
  scripted_prompts p({1}, true);  // answered in the prompt window
  ASSERT_EQ(install(false), 1);  // one swap: the deleted file is on the second disc
  EXPECT_EQ(p.files(), std::vector<std::string>{d + "Resources/big.bin"});
  same_as_master();
}

// A destination that keeps no modes or times (FAT, exFAT): every file is installed whole and
// the log says so once; the link cannot be made and is the run's one error; the simulator, left
// without its execute bit, is a start that fails with its reason; a repair finds only the link.
TEST_F(DiscInstall, ADestinationWithoutModesGetsEveryFile) {
  if (fly_test::ran_in_nomode_child()) return;
  scan_disc();
  scenery_take_all();
  LIN_make_dirs(dest_dir_path);
  fly_test::refuse_modes_below(dest_dir_path, EPERM, true);
  ASSERT_TRUE(choose_files() && make_dirs() == 0);
  reset_refusal_notes();  // as the run screen starts a run
  dvd_path = disc[0], current_disk = 0;
  int f = 0, status = 0, swaps = 0;
  std::vector<std::string> errors;  // each answered with "Continue"
  ASSERT_TRUE(frames_until(
      [&] {
        if ((status = install_files(f, current_disk)) == 2)
          dvd_path = disc[current_disk = sim_info[f].back().disk], ++swaps;
        std::string msg;
        if (status == 3) install_files_get_error(msg), errors.push_back(msg);
      },
      [&] { return status == 1; }));
  EXPECT_EQ(swaps, 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_THAT(errors[0], HasSubstr("readme link.zip)"));
  EXPECT_TRUE(fly_test::alerts().empty());
  for (const release_file& r : files) {
    if (r.platform == 2 || r.path.find("link") != std::string::npos) continue;
    const std::string at = dest_dir_path + r.path.substr(r.path.find('/') + 1);
    EXPECT_EQ(read_file(at), r.data) << at;
  }
  const std::string log = fly_test::log_text();
  for (const char* line : {"WARNING: the destination keeps no file modes",
                           "WARNING: the destination keeps no file times"}) {
    const size_t at = log.find(line);
    EXPECT_TRUE(at != std::string::npos && log.find(line, at + 1) == std::string::npos) << log;
  }

  const std::string exe = dest_dir_path + "Flyvane.app/Contents/MacOS/Flyvane";
  ASSERT_NE(access(exe.c_str(), X_OK), 0);  // else the next call would start it and exit
  wizard_screen s;
  dvd_do_run_sim(1, s);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "Flyvane 9 could not be started.");
  EXPECT_THAT(fly_test::alerts()[0].s3, HasSubstr(error_str(EACCES)));

  for (auto& row : sim_info) row.back().current = 0;
  set_install_filter(1, 0);
  ASSERT_TRUE(check_all());
  EXPECT_EQ(stale(), 1);  // the link; the program's missing bit is no damage
}

// An archive that unpacks cleanly but holds some other name has not installed
// the row's file: the step fails and the model keeps it absent.
// The copy left by an earlier failed run (here a link) is replaced, never written through.
TEST(DiscUnpack, AnArchiveWithoutItsFileFailsAndLeftoverCopiesAreReplaced) {
  const std::string root = fly_test::sandbox() + "work/";
  dvd_path = root + "disc/";
  install_name = "R";
  temp_path = root + "temp/";
  dest_dir_path = root + "inst/";
  LIN_make_dirs(temp_path);
  LIN_make_dirs(dest_dir_path + "Resources");
  sim_info = {{version("All/Resources/a.txt", sig('a'), "NONE")}};
  sim_info[0].back().to_install = 1;
  put_zip(dvd_path + "R/All/Resources/a.txt.zip", "b.txt", "other");
  fly_test::write_file(root + "victim", "keep");
  ASSERT_EQ(symlink("../victim", (temp_path + sig('a') + "_0.zip").c_str()), 0);
  int f = 0, status = 0;
  ASSERT_TRUE(frames_until([&] { status = install_files(f, 0); }, [&] { return status != 0; }));
  std::string msg;
  // An archive holding another name is refused before it writes anything.
  EXPECT_EQ(status * 100000 + install_files_get_error(msg), 300000 + err_unsafe_path);
  EXPECT_TRUE(msg.starts_with("I was unable to unzip the file ")) << msg;
  EXPECT_FALSE(fly_test::file_exists(dest_dir_path + "Resources/b.txt"));
  install_files_kill();
  EXPECT_EQ(sim_info[0].back().current, 0);
  EXPECT_FALSE(fly_test::file_exists(temp_path + sig('a') + "_0.zip"));  // no copy left behind
  EXPECT_EQ(fly_test::read_file(root + "victim"), "keep");
}
