#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "Files/file_ops.h"
#include "Files/zip.h"
#include "Installer-f/install_step.h"
#include "Installer-f/make_installer.h"
#include "engine_util.h"

using engine_test::scripted_prompts;
using fly_test::read_file;
using fly_test::run;
using fly_test::write_file;

namespace {
const std::string kName = "Flyvane Test 9";

// Threads of this process (a thread made and joined first, so that a
// sanitizer's helper thread is already there when the count is taken).
int threads_now() {
  static const bool warmed = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmed;
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

std::string q(const std::string& s) { return "'" + s + "'"; }

std::string sh(const std::string& cmd) {
  std::string out;
  EXPECT_EQ(run(cmd, &out), 0) << cmd << "\n" << out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<std::string> list(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
        names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

// One file of the release: its path in the master (platform folder first),
// the disc that carries it and the sums of older releases.
struct release_file {
  std::string path;
  int disk;
  std::vector<std::string> older;
};

// The master tree, a two-disc set made from it by hand (zip -X -y, 7zz,
// md5sum) and a poller that installs from the set as the wizard does.
class DiscInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fly_test::sandbox() + "work/";
    master = root + "master/";
    disc[0] = root + "disc1/";
    disc[1] = root + "disc2/";
    temp_path = root + "temp/";
    mkdir(temp_path.c_str(), 0700);
    stg.target_platform = 1;
    set_install_filter(1, 1);
    make_master();
    make_discs();
  }
  void TearDown() override {
    install_files_kill();
    checksum_directory_kill();
  }

  void make_master() {
    sh("mkdir -p " + q(master + "All/Resources/text") + " " + q(master + "All/Airfoils") + " " +
       q(master + "All/Global Scenery/+40-130") + " " +
       q(master + "Macintosh/Flyvane.app/Contents/MacOS") + " " + q(master + "Windows"));
    write_file(master + "All/Resources/empty.txt", "");
    std::string big(65536, 0);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
    write_file(master + "All/Resources/big.bin", big);
    write_file(master + "All/Resources/text/readme.txt", "Read me.\n");
    write_file(master + "All/Resources/text/old.txt", "New text.\n");
    write_file(master + "All/Airfoils/naca.afl", "airfoil data\n");
    symlink("text/readme.txt", (master + "All/Resources/readme link").c_str());
    write_file(master + "All/Global Scenery/+40-130/+47-122.dsf", std::string(30000, 's') + "tile");
    write_file(master + "Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "#!/bin/sh\necho fly\n");
    chmod((master + "Macintosh/Flyvane.app/Contents/MacOS/Flyvane").c_str(), 0755);
    write_file(master + "Windows/Flyvane.exe", "MZ");
    files = {
        {"All/Airfoils/naca.afl", 0, {}},
        {"All/Resources/big.bin", 0, {}},
        {"All/Resources/empty.txt", 0, {}},
        {"All/Resources/readme link", 0, {}},
        {"All/Resources/text/old.txt", 0, {sh("printf 'Old text.\\n' | md5sum | cut -c1-32")}},
        {"Macintosh/Flyvane.app/Contents/MacOS/Flyvane", 0, {}},
        {"Windows/Flyvane.exe", 0, {}},
        {"All/Global Scenery/+40-130/+47-122.dsf", 1, {}},
        {"All/Resources/text/readme.txt", 1, {}},
    };
  }

  virtual void make_discs() {
    std::string list_text = "I\n900 version\nINSTALLER\n\n";
    std::string prev_dir = "---";
    int prev_disk = 0;
    for (const release_file& f : files) {
      const size_t slash = f.path.find_last_of('/');
      const std::string dir = f.path.substr(0, slash + 1), name = f.path.substr(slash + 1);
      const std::string src = master + f.path;
      const bool is_7z = f.path.find("Global Scenery") != std::string::npos;
      const std::string archive = disc[f.disk] + kName + "/" + f.path + (is_7z ? ".7z" : ".zip");
      sh("mkdir -p " + q(disc[f.disk] + kName + "/" + dir));
      std::string from = master + dir;
      if (f.path.find("Contents/MacOS/") != std::string::npos) {
        // Packed without its x bits: the install must set them.
        from = root + "plain/";
        sh("mkdir -p " + q(from) + " && cp " + q(src) + " " + q(from) + " && chmod 644 " +
           q(from + name));
      }
      if (is_7z)
        sh("cd " + q(from) + " && 7zz a -t7z -bso0 -bsp0 " + q(archive) + " " + q(name));
      else
        sh("cd " + q(from) + " && zip -X -y -q " + q(archive) + " " + q(name));
      struct stat st;
      const bool link = lstat(src.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
      const std::string md5 =
          link ? sh("printf %s \"$(readlink " + q(src) + ")\" | md5sum | cut -c1-32")
               : sh("md5sum < " + q(src) + " | cut -c1-32");
      sums[f.path] = md5;
      const std::string zip_kb = sh("echo $(( $(stat -c %s " + q(archive) + ") / 1000 ))");
      const std::string size_kb = sh("echo $(( $(stat -c %s " + q(src) + ") / 1000 ))");
      const int platform = f.path.rfind("All/", 0) == 0         ? 0
                           : f.path.rfind("Macintosh/", 0) == 0 ? 1
                                                                : 2;
      if (f.disk != prev_disk) list_text += "DISK " + std::to_string(prev_disk = f.disk) + "\n";
      if (dir != prev_dir) list_text += "\nDIR " + (prev_dir = dir) + "\n";
      for (const std::string& o : f.older)
        list_text += "FILE 0 " + std::to_string(platform) + " 900 1 1 " + o + " " + name + "\n";
      list_text += "FILE 0 " + std::to_string(platform) + " 92102 " + zip_kb + " " + size_kb + " " +
                   md5 + " " + name + "\n";
    }
    write_file(root + "directory.txt", list_text);
    sh("cd " + q(root) + " && zip -X -q " + q(disc[0] + kName + "/directory.txt.zip") +
       " directory.txt && rm directory.txt");
    for (const std::string& d : disc)
      write_file(d + "dvd_version.txt", "I\n900 version\nDVD\n\nVERSION " + kName + "\n");
  }

  // What the start screen does once it knows the disc.
  void scan_disc() {
    dvd_path = disc[0];
    install_name = kName;
    ASSERT_EQ(zip_to_file(dvd_path + install_name + "/directory.txt.zip", temp_path, nullptr, 0),
              0);
    ASSERT_EQ(read_directory(temp_path + "directory.txt", "scanning"), 3);
    current_disk = 0;
  }

  void check(int quick) {
    int row = 0;
    float progress = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!checksum_directory(row, quick, progress)) {
      ASSERT_LT(std::chrono::steady_clock::now(), limit);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // The run screen's first frame and its polling, with the disc swaps; the
  // number of swaps, or -1 on an error.
  int install(bool fresh) {
    if (!choose_files()) return -1;
    if (make_dirs()) return -1;
    if (fresh) register_new_flyvane();
    delete_files();
    int f = 0, swaps = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      const int status = install_files(f, current_disk);
      if (status == 1) return swaps;
      if (status == 3) {
        std::string msg;
        ADD_FAILURE() << "install error " << install_files_get_error(msg) << ": " << msg;
        return -1;
      }
      if (status == 2) {
        // Eject, ask for the disc by number, and check it holds the file.
        const int want = sim_info[static_cast<size_t>(f)].back().disk;
        dvd_path.clear();
        dvd_path = disc[want];
        EXPECT_TRUE(file_exists(dvd_path + install_name + "/" +
                                sim_info[static_cast<size_t>(f)].back().path + suffix_for_file(f)));
        current_disk = want;
        ++swaps;
      }
      if (std::chrono::steady_clock::now() > limit) {
        ADD_FAILURE() << "install never ended";
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // The installed tree the master gives for a Macintosh, with the folders
  // the install makes.
  std::string expected_tree() {
    const std::string e = root + "expected/";
    sh("rm -rf " + q(e) + " && mkdir -p " + q(e) + " && cp -a " + q(master + "All/.") + " " + q(e) +
       " && cp -a " + q(master + "Macintosh/.") + " " + q(e) + " && cd " + q(e) +
       " && mkdir -p 'Output/FMS plans' Output/logbooks Output/movies Output/situations "
       "Output/preferences Resources");
    return e;
  }

  int rows_current() {
    int n = 0;
    for (size_t r = 0; r < sim_info.size(); ++r)
      n += want_this_f(static_cast<int>(r), static_cast<int>(sim_info[r].size()) - 1) &&
           sim_info[r].back().current;
    return n;
  }
  int rows_wanted() {
    int n = 0;
    for (size_t r = 0; r < sim_info.size(); ++r)
      n += want_this_f(static_cast<int>(r), static_cast<int>(sim_info[r].size()) - 1);
    return n;
  }

  std::string root, master, disc[2];
  std::vector<release_file> files;
  std::map<std::string, std::string> sums;
  int current_disk = 0;
};
}  // namespace

TEST_F(DiscInstall, FreshInstallFromTwoDiscsThenRepair) {
  scan_disc();
  ASSERT_EQ(sim_info.size(), files.size());
  EXPECT_EQ(stg.disc_has_scenery, 1);
  dest_dir_path = root + "Installed Flyvane/";
  scenery_take_all();
  check(0);  // the scenery screen's check: nothing installed yet
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install, 8);  // all but the Windows file

  stg.log_actions = 1;
  const int threads = threads_now();
  ASSERT_EQ(install(true), 1);  // one swap to the second disc
  EXPECT_EQ(copy_pool, nullptr);
  EXPECT_EQ(unzip_pool, nullptr);
  EXPECT_EQ(threads_now(), threads);
  EXPECT_EQ(rows_current(), 8);

  // The check agrees with the model, and the tree with the master.
  for (auto& row : sim_info) row.back().current = 0;
  check(0);
  EXPECT_EQ(rows_current(), rows_wanted());
  const std::string expected = expected_tree();
  EXPECT_EQ(
      sh("diff -r --no-dereference " + q(expected) + " " + q(dest_dir_path) + " && echo same"),
      "same");
  struct stat st;
  ASSERT_EQ(stat((dest_dir_path + "Flyvane.app/Contents/MacOS/Flyvane").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_EQ(list(temp_path), std::vector<std::string>{"directory.txt"});
  EXPECT_EQ(read_file(registry_path()), dest_dir_path + "\n");
  EXPECT_NE(fly_test::log_text().find("EXPANDING file " + dest_dir_path +
                                      "Global Scenery/+40-130/+47-122.dsf, with result=0."),
            std::string::npos);

  // Damage, delete and modify; an older release's text counts as known.
  const std::string d = dest_dir_path;
  sh("printf X | dd of=" + q(d + "Resources/big.bin") + " bs=1 seek=1000 conv=notrunc 2>/dev/null");
  sh("rm " + q(d + "Airfoils/naca.afl") + " " + q(d + "Resources/text/readme.txt"));
  write_file(d + "Resources/text/old.txt", "Old text.\n");
  write_file(d + "Resources/empty.txt", "not empty now");
  const std::string untouched = sh("stat -c %Y.%y " + q(d + "Flyvane.app/Contents/MacOS/Flyvane"));

  // The repair flow: the simulator's files only.
  set_install_filter(1, 0);
  check(0);
  EXPECT_EQ(rows_current(), rows_wanted() - 5);
  scripted_prompts p;
  p.answers = {1, 1};  // overwrite the two files changed beyond recognition
  dvd_path = disc[0];
  current_disk = 0;
  ASSERT_EQ(install(false), 1);
  EXPECT_EQ(p.files(),
            (std::vector<std::string>{d + "Resources/big.bin", d + "Resources/empty.txt"}));
  std::vector<std::string> repaired;
  for (const auto& row : sim_info)
    if (row.back().to_install) repaired.push_back(row.back().path);
  EXPECT_EQ(repaired,
            (std::vector<std::string>{"All/Airfoils/naca.afl", "All/Resources/big.bin",
                                      "All/Resources/empty.txt", "All/Resources/text/old.txt",
                                      "All/Resources/text/readme.txt"}));
  EXPECT_EQ(sh("diff -r --no-dereference " + q(expected) + " " + q(d) + " && echo same"), "same");
  EXPECT_EQ(sh("stat -c %Y.%y " + q(d + "Flyvane.app/Contents/MacOS/Flyvane")), untouched);
  for (auto& row : sim_info) row.back().current = 0;
  check(0);
  EXPECT_EQ(rows_current(), rows_wanted());
  EXPECT_EQ(list(temp_path), std::vector<std::string>{"directory.txt"});
  EXPECT_EQ(read_file(registry_path()), dest_dir_path + "\n");
}

TEST_F(DiscInstall, CancelLeavesNoThreadsAndAConsistentModel) {
  scan_disc();
  dest_dir_path = root + "dest/";
  scenery_take_none();
  const int threads = threads_now();
  ASSERT_EQ(choose_files(), 1);
  ASSERT_EQ(make_dirs(), 0);
  int f = 0;
  EXPECT_EQ(install_files(f, 0), 0);
  EXPECT_GT(f, 0);
  install_files_kill();
  EXPECT_EQ(copy_pool, nullptr);
  EXPECT_EQ(unzip_pool, nullptr);
  EXPECT_EQ(threads_now(), threads);
  // Every row the model calls installed is installed, and nothing more.
  std::vector<int> said;
  for (const auto& row : sim_info) said.push_back(row.back().current);
  check(0);
  for (size_t r = 0; r < sim_info.size(); ++r)
    if (sim_info[r].back().to_install) {
      EXPECT_EQ(sim_info[r].back().current, said[r]) << r;
    }
  EXPECT_EQ(list(temp_path), std::vector<std::string>{"directory.txt"});
  install_files_kill();  // nothing running: nothing to do

  // Going on from the cursor after the kill finishes the install.
  ASSERT_GE(install(true), 0);
  check(0);
  EXPECT_EQ(rows_current(), rows_wanted() - 1);  // the tile is not selected
}

namespace {
// Small hand-made rows over one disc folder, for the step's own rules.
class InstallStep : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string root = fly_test::sandbox() + "work/";
    dvd_path = root + "dvd/";
    install_name = "R";
    temp_path = root + "temp/";
    dest_dir_path = root + "dest/";
    sh("mkdir -p " + q(temp_path) + " " + q(dest_dir_path) + " " + q(dvd_path + "R/All"));
    sim_info.clear();
    stg.target_platform = 1;
    set_install_filter(1, 1);
  }
  void TearDown() override { install_files_kill(); }
  // A row whose archive is on the disc folder (when good) or damaged.
  void add(const std::string& name, int disk, int to_install, bool good = true) {
    const std::string src = fly_test::sandbox() + "work/" + name;
    write_file(src, "data of " + name);
    if (good)
      sh("cd " + q(fly_test::sandbox() + "work") + " && zip -X -q " +
         q(dvd_path + "R/All/" + name + ".zip") + " " + q(name));
    else
      write_file(dvd_path + "R/All/" + name + ".zip", "not a zip");
    file_version_struct v = engine_test::version("All/" + name, engine_test::sig('a'), "NONE");
    v.disk = disk;
    v.to_install = to_install;
    sim_info.push_back({v});
  }
  // Polls until the step says something other than busy.
  int poll(int& f, int disk) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      const int s = install_files(f, disk);
      if (s != 0 || std::chrono::steady_clock::now() > limit) return s;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};
}  // namespace

TEST_F(InstallStep, NothingToInstallIsDoneAtOnce) {
  add("a", 0, 0);
  add("b", 1, 0);
  int f = 0;
  EXPECT_EQ(install_files(f, 0), 1);
  EXPECT_EQ(f, 2);
  EXPECT_EQ(copy_pool, nullptr);
  sim_info.clear();
  f = 0;
  EXPECT_EQ(install_files(f, 0), 1);
}

TEST_F(InstallStep, DiscOrder) {
  add("a", 0, 1);
  add("b", 1, 0);  // on the other disc but not needed: no swap for it
  add("c", 0, 1);
  add("d", 1, 1);
  add("e", 1, 1);
  int f = 0;
  EXPECT_EQ(poll(f, 0), 2);
  EXPECT_EQ(f, 3);  // b was passed over on the way
  EXPECT_EQ(sim_info[0].back().current, 1);
  EXPECT_EQ(sim_info[2].back().current, 1);
  EXPECT_EQ(sim_info[3].back().current, 0);
  EXPECT_EQ(copy_pool->count_total_tasks() + unzip_pool->count_total_tasks(), 0);
  EXPECT_EQ(poll(f, 0), 2);  // still the wrong disc
  EXPECT_EQ(poll(f, 1), 1);
  for (const char* n : {"a", "c", "d", "e"})
    EXPECT_EQ(read_file(dest_dir_path + n), std::string("data of ") + n);
  EXPECT_FALSE(fly_test::file_exists(dest_dir_path + "b"));
  EXPECT_TRUE(list(temp_path).empty());
}

TEST_F(InstallStep, FailuresAreReportedOnceEach) {
  add("a", 0, 1);
  add("bad", 0, 1, false);  // cannot be unpacked
  add("c", 0, 1);
  add("lost", 0, 1);
  unlink((dvd_path + "R/All/lost.zip").c_str());  // cannot be copied
  stg.log_actions = 1;
  int f = 0, errors = 0;
  std::vector<int> codes;
  std::vector<std::string> texts;
  for (int s; (s = poll(f, 0)) != 1;) {
    ASSERT_EQ(s, 3);
    ++errors;
    std::string msg;
    codes.push_back(install_files_get_error(msg));
    texts.push_back(msg);
    std::string again = "x";
    EXPECT_EQ(install_files_get_error(again), 0);  // cleared
    EXPECT_EQ(again, "");
  }
  ASSERT_EQ(errors, 2);
  // The two fail on different pools: either may come back first.
  if (codes[0] == ENOENT) {
    std::swap(codes[0], codes[1]);
    std::swap(texts[0], texts[1]);
  }
  const std::string tmp_bad = temp_path + engine_test::sig('a') + "_1.zip";
  EXPECT_EQ(texts[0], "I was unable to unzip the file " + tmp_bad + " to the folder " +
                          dest_dir_path + ".  (Original file was: " + dvd_path + "R/All/bad.zip)");
  EXPECT_EQ(codes[0], 20001);
  EXPECT_EQ(codes[1], ENOENT);
  EXPECT_EQ(texts[1], "I was unable to copy the file " + dvd_path +
                          "R/All/lost.zip from the DVD to the hard drive.");
  EXPECT_EQ(list(temp_path), std::vector<std::string>{tmp_bad.substr(temp_path.size())});
  EXPECT_EQ(sim_info[1].back().current, 0);
  EXPECT_EQ(sim_info[2].back().current, 1);
  EXPECT_NE(fly_test::log_text().find("EXPANDING file " + dest_dir_path +
                                      "lost, with result=2. I was unable to copy the file "),
            std::string::npos);
}

namespace {
// The same master released by the release builder as a two-disc set.
class BuiltDiscInstall : public DiscInstall {
 protected:
  void make_discs() override {
    // A release needs these folders; they stay empty and leave again below,
    // so that the master is the one the installed tree is compared with.
    sh("cd " + q(master) + " && mkdir -p All/Instructions All/Weapons All/Aircraft All/Output " +
       "'All/Custom Scenery' All/Resources/plugins 'All/Resources/default scenery/900 red " +
       "terrain' 'All/Resources/bitmaps/Earth Orbit Textures' Linux");
    const std::string tile_dir = master + "All/Global Scenery/+40-130/";
    sh("cd " + q(tile_dir) + " && 7zz a -t7z -bso0 -bsp0 +47-122.dsf.7z +47-122.dsf");
    std::string big(65536, 0), pe(0x60, 0);
    uint32_t x = 1;
    for (char& c : big) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5) >> 24);
    write_file(master + "All/Resources/big.bin", big);  // the one archive past the split
    pe[0] = 'M', pe[1] = 'Z', pe[0x3c] = 0x40, pe.replace(0x40, 4, std::string("PE\0\0", 4));
    write_file(master + "Windows/Flyvane.exe", pe);

    build_type = 1;
    src_fold = master;
    dst_fold_base = root + "built/";
    sim_name = kName;
    dvd_split_kb = 10;
    build_install();
    disc[0] = dst_fold_base + "disk_0/";
    disc[1] = dst_fold_base + "disk_1/";

    unlink((tile_dir + "+47-122.dsf.7z").c_str());  // the disc keeps its hard link
    sh("cd " + q(master) + " && find . -depth -type d -empty -delete");
  }
};
}  // namespace

TEST_F(BuiltDiscInstall, FreshInstallAndRepairFromTwoBuiltDiscs) {
  EXPECT_FALSE(fly_test::file_exists(dst_fold_base + "disk_2"));
  scan_disc();
  ASSERT_EQ(sim_info.size(), files.size());
  dest_dir_path = root + "Installed Flyvane/";
  scenery_take_all();
  check(0);
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install, 8);  // all but the Windows file
  ASSERT_EQ(install(true), 1);         // one swap to the second disc
  const std::string expected = expected_tree();
  EXPECT_EQ(
      sh("diff -r --no-dereference " + q(expected) + " " + q(dest_dir_path) + " && echo same"),
      "same");

  // Missing files come back from both discs.
  sh("rm " + q(dest_dir_path + "Resources/big.bin") + " " +
     q(dest_dir_path + "Resources/text/readme.txt"));
  set_install_filter(1, 0);
  check(0);
  EXPECT_EQ(rows_current(), rows_wanted() - 2);
  dvd_path = disc[0];
  current_disk = 0;
  ASSERT_EQ(install(false), 1);
  EXPECT_EQ(
      sh("diff -r --no-dereference " + q(expected) + " " + q(dest_dir_path) + " && echo same"),
      "same");
}
