// The installation discs through the simulated drive: version files, the
// start screen's scan, asking for and checking discs, and the relocation
// of the program off the disc.
#include "Installer-f/discs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "Files/launch.h"
#include "Installer-f/relocate.h"
#include "Installer-f/wizard_rules.h"
#include "Linux/lin_discs.h"
#include "engine_util.h"

using namespace engine_test;

namespace {
const std::string kVersionHead = "I\n900 version\nDVD\n\n";

class Drive : public ::testing::Test {
 protected:
  void SetUp() override {
    LIN_make_dirs(drive);
    LIN_make_dirs(temp_path = root + "temp/");
    setenv(LIN_volumes_env, drive.c_str(), 1);
    install_name = no_install_name, dvd_path.clear(), sim_info.clear();
    stg.dir_state = 0, stg.server_count = -1, current_disk = 0, want_file_disk = 0;
  }
  void insert(const std::string& entry, const std::string& disc) {
    ASSERT_EQ(symlink(disc.c_str(), (drive + entry).c_str()), 0) << entry;
  }
  void take_out(const std::string& entry) { ASSERT_EQ(unlink((drive + entry).c_str()), 0); }
  const std::string root = fly_test::sandbox() + "work/", drive = root + "drive/";
};

// A disc folder with a version file and, when list is given, the file list.
std::string disc(const std::string& root, const std::string& name, const std::string& version,
                 const std::string& list = "") {
  const std::string d = root + name + "/";
  write_file(d + "dvd_version.txt", version);
  if (!list.empty()) {
    LIN_make_dirs(root + "list");
    write_file(root + "list/directory.txt", list);
    LIN_make_dirs(d + "R");
    const int err = file_to_zip(root + "list/directory.txt", d + "R/directory.txt.zip");
    EXPECT_EQ(err, 0);
  }
  return d;
}
}  // namespace

TEST(DiscVersionFile, HeaderAndVersionLines) {
  struct {
    std::string text;
    int accepted;
    const char* name;
  } cases[] = {{kVersionHead + "VERSION Flyvane 9\n", 1, "Flyvane 9"},
               {"\xEF\xBB\xBF"
                "A\n900\nDVD\nVERSION R\n",
                1, "R"},
               {"I\n840 version\nDVD\n\nVERSION R\n", 0, "-"},
               {"I\n900 version\nCD\n\nVERSION R\n", 0, "-"},
               {"X\n900 version\nDVD\n\nVERSION R\n", 0, "-"},
               {kVersionHead + "VERSIONS R\n", 1, "-"},
               {kVersionHead + "  VERSION\tRelease 9\r\n", 1, "Release 9"},
               {kVersionHead + "VERSION\n", 1, ""},
               {kVersionHead + "\t VERSION", 1, ""},
               {kVersionHead + "VERSION A\nVERSION B\n", 1, "B"},
               {kVersionHead + std::string("VERSION A\0junk", 14), 1, "A"},
               {kVersionHead + "# VERSION x\nVERSION  C  two \n", 1, "C  two "},
               {"", 0, "-"}};
  const std::string f = fly_test::sandbox() + "work/dvd_version.txt";
  for (const auto& c : cases) {
    write_file(f, c.text);
    std::string name = "-";
    EXPECT_EQ(read_dvd_version(f, &name), c.accepted) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
  }
  std::string name = "-";
  EXPECT_EQ(read_dvd_version(fly_test::sandbox() + "work/none.txt", &name), 0);
  EXPECT_EQ(name, "-");
}

// Until the file list is read the scan follows the drive; a later disc of
// the set is not taken for the first; the list is read once.
TEST_F(Drive, StartScreenScanFollowsTheDriveUntilTheListIsRead) {
  const std::string list = header() + "DIR All/Resources/\nFILE 0 0 92102 1 1 " + sig('a') +
                           " a.txt\nDISK 1\nFILE 0 0 92102 1 1 " + sig('b') + " b.txt\n";
  const std::string foreign = disc(root, "foreign", "I\n840 version\nDVD\n\nVERSION R\n"),
                    second = disc(root, "second", kVersionHead + "VERSION R\n"),
                    first = disc(root, "first", kVersionHead + "VERSION R\n", list);
  UTIL_scan_dvd();
  EXPECT_EQ(dvd_path, "");
  insert("FOREIGN", foreign);
  UTIL_scan_dvd();
  EXPECT_EQ(dvd_path, drive + "FOREIGN/");  // "does not appear to be" ours
  EXPECT_EQ(install_name, no_install_name);
  EXPECT_EQ(stg.server_count, -1);

  take_out("FOREIGN");
  insert("SECOND", second);
  UTIL_scan_dvd();
  EXPECT_EQ(install_name, "R");
  EXPECT_EQ(stg.server_count, 0);
  EXPECT_EQ(dvd_path, "");  // the start screen asks for disc one
  EXPECT_EQ(stg.dir_state, 0);

  take_out("SECOND");
  insert("FIRST", first);
  UTIL_scan_dvd();
  EXPECT_EQ(dvd_path, drive + "FIRST/");
  EXPECT_EQ(stg.dir_state, 3);
  ASSERT_EQ(sim_info.size(), 2u);
  EXPECT_EQ(sim_info[1].back().disk, 1);

  // Read once: a disc change now reads nothing again.
  ASSERT_EQ(unlink((temp_path + "directory.txt").c_str()), 0);
  take_out("FIRST");
  insert("SECOND", second);
  UTIL_scan_dvd();
  EXPECT_FALSE(file_exists(temp_path + "directory.txt"));
  EXPECT_EQ(dvd_path, drive + "FIRST/");
  EXPECT_EQ(sim_info.size(), 2u);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST_F(Drive, ForeignListEmptyNameAndBrokenList) {
  // A file list with another header: not a directory file.
  insert("D", disc(root, "d1", kVersionHead + "VERSION R\n", "I\n900 version\nSERVERS\n\n"));
  UTIL_scan_dvd();
  EXPECT_EQ(stg.dir_state, 2);
  take_out("D");

  // An empty VERSION names the release "": the list is looked for at "/directory.txt.zip".
  SetUp();
  const std::string d2 = disc(root, "d2", kVersionHead + "VERSION\n");
  insert("E", d2);
  UTIL_scan_dvd();
  EXPECT_EQ(install_name, "");
  EXPECT_EQ(dvd_path, "");
  write_file(d2 + "/directory.txt.zip", "no zip at all");
  EXPECT_FATAL_ALERT(UTIL_scan_dvd(), "DVD scan: The installer cannot extract a file.");
  const fly_test::alert_record& a = fly_test::alerts().back();
  EXPECT_EQ(a.s3, "Compressed File: " + drive + "E//directory.txt.zip.");
  EXPECT_EQ(a.s4, "Destination Path: " + temp_path + ".");
}

// A two-disc set from the release builder: disc one is found among two,
// a wrong disc is refused and ejected, a removed disc is noticed, and the
// run starts only with the first archive in the drive.
TEST_F(Drive, BuiltSetSwapWrongDiscAndRemovedDisc) {
  const std::string master = root + "master/";
  make_release_folders(master);
  write_file(master + "All/Airfoils/naca.afl", "airfoil\n");
  write_file(master + "All/Resources/big.bin", pattern(40000, 3));
  write_file(master + "All/Resources/text/readme.txt", "Read me.\n");
  build_type = 1, src_fold = master, dst_fold_base = root + "built/", sim_name = "Flyvane Demo 9";
  dvd_split_kb = 10;  // disc two begins after big.bin
  build_install();
  fly_test::clear_alerts();
  const std::string one = dst_fold_base + "disk_0/", two = dst_fold_base + "disk_1/";
  ASSERT_TRUE(file_exists(two + "dvd_version.txt"));

  insert("A disc 2", two);  // sorts first
  insert("B disc 1", one);
  UTIL_scan_dvd();
  EXPECT_EQ(dvd_path, drive + "B disc 1/");
  ASSERT_EQ(stg.dir_state, 3);
  ASSERT_EQ(install_name, "Flyvane Demo 9");
  int on_two = -1;
  for (size_t r = 0; r < sim_info.size(); ++r) {
    sim_info[r].back().to_install = 1;
    if (sim_info[r].back().disk == 1 && on_two < 0) on_two = static_cast<int>(r);
  }
  ASSERT_GE(on_two, 1);
  take_out("A disc 2");
  EXPECT_EQ(UTIL_run_disk_ready(), 1);
  EXPECT_EQ(current_disk, 0);

  want_file_disk = on_two;  // the install step wants disc two
  EXPECT_EQ(UTIL_switch_disk(0), 1);
  EXPECT_EQ(dvd_path, drive + "B disc 1/");  // nothing ejected
  EXPECT_EQ(UTIL_verify_disk(), 0);
  EXPECT_EQ(dvd_path, drive + "B disc 1/");  // the wrong disc, for the swap screen to eject
  EXPECT_EQ(UTIL_switch_disk(1), 1);
  EXPECT_EQ(dvd_path, "");
  EXPECT_FALSE(file_exists(drive + "B disc 1"));
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("Ejected the simulated disc " + drive + "B disc 1\n"));
  EXPECT_EQ(UTIL_switch_disk(1), 1);  // nothing left to eject

  // No disc: the archive's name is never tried in the working folder.
  write_file(root + disc_archive_name(on_two), "not on a disc");
  EXPECT_EQ(UTIL_verify_disk(), 0);
  EXPECT_EQ(dvd_path, "");
  insert("C", one);  // the wrong disc again
  EXPECT_EQ(UTIL_verify_disk(), 0);
  insert("D", two);
  current_disk = 0;
  EXPECT_EQ(UTIL_verify_disk(), 1);
  EXPECT_EQ(dvd_path, drive + "D/");
  EXPECT_EQ(current_disk, 1);

  // Disc two taken out (say while copying), then put back.
  take_out("D");
  EXPECT_EQ(UTIL_verify_disk(), 0);
  EXPECT_EQ(dvd_path, drive + "C/");
  take_out("C");
  EXPECT_EQ(UTIL_verify_disk(), 0);
  EXPECT_EQ(dvd_path, "");
  insert("D", two);
  EXPECT_EQ(UTIL_verify_disk(), 1);

  // A run started with disc two in the drive waits for disc one first.
  current_disk = 1;
  EXPECT_EQ(UTIL_run_disk_ready(), 0);
  EXPECT_EQ(want_file_disk, 0);
  EXPECT_EQ(current_disk, 1);
  dvd_path.clear();
  EXPECT_EQ(UTIL_run_disk_ready(), 0);
  for (size_t r = 0; r < static_cast<size_t>(on_two); ++r) sim_info[r].back().to_install = 0;
  dvd_path = drive + "D/";
  EXPECT_EQ(UTIL_run_disk_ready(), 1);  // only disc two's files are left
  EXPECT_EQ(want_file_disk, on_two);
  for (auto& row : sim_info) row.back().to_install = 0;
  want_file_disk = 99;
  EXPECT_EQ(UTIL_run_disk_ready(), 1);  // nothing to install
  EXPECT_EQ(want_file_disk, 99);
  EXPECT_EQ(UTIL_switch_disk(0), 0);  // a row outside the model
  EXPECT_EQ(UTIL_verify_disk(), 0);
}

namespace {
struct launch_call {
  std::string app, arg;
  int finish_first;
};
std::vector<launch_call> g_launches;
int g_launch_result = 0;
int fake_launch(const std::string& app, const std::string& arg, int finish_first) {
  g_launches.push_back({app, arg, finish_first});
  return g_launch_result;
}

class Relocate : public Drive {
 protected:
  void SetUp() override {
    Drive::SetUp();
    g_launches.clear(), g_launch_result = 0;
    relocate_launcher = fake_launch;
    write_file(disc1 + "dvd_version.txt", kVersionHead + "VERSION R\n");
    write_file(app, "#!/bin/sh\necho installer\n");
    chmod(app.c_str(), 0755);
    write_file(disc1 + "Flyvane Installer/Resources/interface.png", "art");
    write_file(disc1 + "Flyvane Installer/Resources/fonts/a.ttf", "font");
    write_file(temp + "flyvane_installer", "an earlier, stale copy");
    write_file(temp + "Resources/stale.txt", "stale");
  }
  void TearDown() override { relocate_launcher = launch_app; }
  const std::string disc1 = root + "discs/one/", temp = root + "tmp/",
                    app = disc1 + "Flyvane Installer/flyvane_installer";
};
}  // namespace

// From the disc (reached through the drive's link) the stale copy goes, the
// program and its resources are copied and the copy is started.
TEST_F(Relocate, FromTheDiscCopiesAndStartsTheCopy) {
  insert("FLY9_1", disc1);
  EXPECT_EQ(relocate_from(app, temp), 1);
  EXPECT_EQ(dvd_path, drive + "FLY9_1/");
  ASSERT_EQ(g_launches.size(), 1u);
  EXPECT_EQ(g_launches[0].app, temp + "flyvane_installer");
  EXPECT_EQ(g_launches[0].arg, "");
  EXPECT_EQ(g_launches[0].finish_first, 0);
  EXPECT_EQ(read_file(temp + "flyvane_installer"), read_file(app));
  EXPECT_EQ(sh("stat -c %a " + q(temp + "flyvane_installer")), "755");
  EXPECT_EQ(sh("cd " + q(temp) + " && find Resources | sort | tr '\\n' ' '"),
            "Resources Resources/fonts Resources/fonts/a.ttf Resources/interface.png ");
  EXPECT_EQ(relocate_warning, "");

  // A start that fails leaves no copy behind and the program runs on.
  g_launch_result = EAGAIN;
  EXPECT_EQ(relocate_from(app, temp), 0);
  EXPECT_EQ(g_launches.size(), 2u);
  EXPECT_FALSE(file_exists(temp + "flyvane_installer") || file_exists(temp + "Resources"));
  EXPECT_THAT(relocate_warning, HasSubstr("could not start the installer's copy"));
}

TEST_F(Relocate, NotFromTheDiscOrNoDiscCopiesNothing) {
  insert("FLY9_1", disc1);
  const std::string elsewhere = root + "elsewhere/flyvane_installer";
  write_file(elsewhere, "#!/bin/sh\n");
  EXPECT_EQ(relocate_from(elsewhere, temp), 0);
  EXPECT_EQ(dvd_path, drive + "FLY9_1/");
  EXPECT_EQ(relocate_off_disc(), 0);  // this test program is on no disc
  take_out("FLY9_1");
  EXPECT_EQ(relocate_from(app, temp), 0);
  EXPECT_EQ(dvd_path, "");
  EXPECT_TRUE(g_launches.empty());
  EXPECT_EQ(read_file(temp + "flyvane_installer"), "an earlier, stale copy");
}

// A copy cut short (here a resource path too long for the temporary folder)
// is never started: it is removed, a warning kept, and the program runs on.
TEST_F(Relocate, FailedCopyWarnsAndRunsFromTheDisc) {
  insert("FLY9_1", disc1);
  const std::string deep_temp =
      root + "t/" + std::string(250, 't') + "/" + std::string(250, 'u') + "/";
  LIN_make_dirs(deep_temp);
  std::string deep = disc1 + "Flyvane Installer/Resources/";
  while (deep.size() < 3900) deep += std::string(200, 'd') + "/";
  ASSERT_EQ(LIN_make_dirs(deep), 0);
  write_file(deep + "x.txt", "deep");
  EXPECT_EQ(relocate_from(app, deep_temp), 0);
  EXPECT_TRUE(g_launches.empty());
  EXPECT_FALSE(file_exists(deep_temp + "flyvane_installer") ||
               file_exists(deep_temp + "Resources"));
  EXPECT_THAT(relocate_warning, HasSubstr("WARNING: could not copy the installer to " + deep_temp));
  EXPECT_THAT(fly_test::log_text(), HasSubstr(relocate_warning));
}

// The generated demo set of `make run`, installed headless the way the run
// and swap screens drive the engine: disc one from the simulated drive, a
// swap to disc two, then the installed simulator runs and leaves its marker.
TEST_F(Drive, DemoDiscSetInstallsAndItsSimulatorRuns) {
  const std::string demo = root + "demo/";
  sh(std::string("python3 ") + FLY_SOURCE_DIR + "/tools/make_demo_discs.py --make-release=" +
     FLY_BUILD_DIR + "/tools/make_release --out=" + q(demo) + " >/dev/null");
  setenv(LIN_volumes_env, (demo + "volumes").c_str(), 1);
  const std::string volumes = demo + "volumes/";
  UTIL_scan_dvd();
  ASSERT_EQ(stg.dir_state, 3);
  EXPECT_EQ(install_name, "Flyvane 9 Demo");
  ASSERT_TRUE(install_dest_from_choice(root, install_name, dest_dir_path));
  stg.target_platform = 1;
  ASSERT_TRUE(check_all());
  set_install_filter(1, 1);
  scenery_take_all();
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install, 21);
  ASSERT_TRUE(choose_files() && make_dirs() == 0);
  register_new_flyvane();
  delete_files();
  ASSERT_EQ(UTIL_run_disk_ready(), 1);

  int f = 0, status = 0, swaps = 0;
  ASSERT_TRUE(frames_until(
      [&] {
        if ((status = install_files(f, current_disk)) != 2) return;
        want_file_disk = f, ++swaps;
        if (UTIL_verify_disk()) return;
        EXPECT_EQ(UTIL_switch_disk(1), 1);  // eject disc one, ask for disc two
        symlink("../discs/disk_1", (volumes + "FLYVANE9_2").c_str());
        EXPECT_EQ(UTIL_verify_disk(), 1);
      },
      [&] { return status == 1 || status == 3; }));
  ASSERT_EQ(status, 1);
  EXPECT_EQ(swaps, 1);
  EXPECT_EQ(sh("ls " + q(volumes)), "FLYVANE9_2");
  for (auto& row : sim_info) row.back().current = 0;
  ASSERT_TRUE(check_all());
  for (size_t r = 0; r < sim_info.size(); ++r)  // the Linux program is not a Macintosh's
    EXPECT_EQ(sim_info[r].back().current,
              want_this_f(static_cast<int>(r), static_cast<int>(sim_info[r].size()) - 1))
        << sim_info[r].back().path;
  EXPECT_TRUE(path_is_to_a_sim());
  EXPECT_TRUE(file_exists(dest_dir_path + "Global Scenery/-40+170/-37+174.dsf"));

  const std::string sim = APL_bundle_executable(dest_dir_path + "Flyvane.app");
  EXPECT_EQ(sim, dest_dir_path + "Flyvane.app/Contents/MacOS/Flyvane");
  EXPECT_EQ(sh("stat -c %a " + q(sim)), "755");
  EXPECT_THAT(sh("FLY_SIM_MARKER=" + q(root + "marker") + " " + q(sim)), HasSubstr("is running"));
  EXPECT_EQ(read_file(root + "marker"),
            "Flyvane 9 demo simulator for Macintosh ran with 0 argument(s)\n");
  // A bundle whose master had no property list still has its program found.
  ASSERT_EQ(unlink((dest_dir_path + "Flyvane.app/Contents/Info.plist").c_str()), 0);
  EXPECT_EQ(APL_bundle_executable(dest_dir_path + "Flyvane.app"), sim);
}

// The disc taken out while its archives are copied: no error, the step asks
// for the same disc (2, the cursor on the first file it could not copy), and
// once it is back copies again exactly what failed and goes on from where it
// was. A copy that fails with the disc in the drive is still an error, once.
TEST_F(Drive, ADiscTakenOutMidCopyIsAskedForAgainAndItsFilesCopiedOnce) {
  const int n = 200;
  const std::string d1 = disc(root, "d1", kVersionHead + "VERSION R\n");
  install_name = "R", dest_dir_path = root + "dest/", stg.log_actions = 1;
  sim_info.clear();
  for (int i = 0; i < n; ++i) {
    const std::string path = "All/Resources/f" + std::to_string(i) + ".txt";
    put_zip(d1 + "R/" + path + ".zip", "f" + std::to_string(i) + ".txt", "data " + std::to_string(i));
    sim_info.push_back({version(path, sig('a'), "NONE")});
    sim_info.back().back().to_install = 1;
  }
  insert("DISC1", d1);
  dvd_path = drive + "DISC1/";
  auto done = [] {
    int c = 0;
    for (const auto& row : sim_info) c += row.back().current;
    return c;
  };

  int f = 0, status = 0;
  ASSERT_TRUE(frames_until([&] { status = install_files(f, 0); },
                           [&] { return status != 0 || done() > 0; }));
  ASSERT_EQ(status, 0);
  ASSERT_LT(f, n) << "all queued before the first file was in";
  take_out("DISC1");
  ASSERT_TRUE(frames_until([&] { status = install_files(f, 0); }, [&] { return status != 0; }));
  ASSERT_EQ(status, 2) << "a disc taken out is asked for, not reported";
  int first_missing = 0;
  while (sim_info[first_missing].back().current) ++first_missing;
  EXPECT_EQ(f, first_missing);

  // The swap screens: the same disc is asked for, and checked when it is back.
  want_file_disk = f;
  EXPECT_EQ(UTIL_verify_disk(), 0);
  EXPECT_EQ(UTIL_switch_disk(1), 0);  // "DVD number 1"
  insert("DISC1", d1);
  ASSERT_EQ(UTIL_verify_disk(), 1);
  // The first file to copy again is gone from the disc in the drive: an error.
  const int gone = f;
  const std::string gone_zip = "R/" + sim_info[gone].back().path + ".zip";
  ASSERT_EQ(unlink((d1 + gone_zip).c_str()), 0);

  std::vector<int> cursor;
  std::string msg;
  int errors = 0;
  status = 0;
  ASSERT_TRUE(frames_until(
      [&] {
        status = install_files(f, current_disk);
        cursor.push_back(f);
        if (status == 3) {
          ++errors;
          EXPECT_NE(install_files_get_error(msg), 0);
          EXPECT_THAT(msg, HasSubstr("I was unable to copy the file " + dvd_path + gone_zip));
        }
      },
      [&] { return status == 1 || status == 2; }));
  EXPECT_EQ(status, 1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(done(), n - 1);
  EXPECT_TRUE(std::is_sorted(cursor.begin(), cursor.end())) << "the progress went back";
  const std::string log = fly_test::log_text();
  for (int i = 0; i < n; ++i) {
    const std::string file = dest_dir_path + "Resources/f" + std::to_string(i) + ".txt";
    EXPECT_EQ(read_file(file), i == gone ? "" : "data " + std::to_string(i)) << file;
    if (i == gone) continue;
    const std::string line = "EXPANDING file " + file + ", with result=0.";
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << file << " installed more than once";
  }
  EXPECT_THAT(log, HasSubstr("WARNING: the disc " + drive + "DISC1/ left while "));
}
