#include "Installer-f/make_installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "engine_util.h"

using engine_test::header;
using engine_test::sig;
using fly_test::read_file;
using fly_test::run;
using fly_test::write_file;

namespace fs = std::filesystem;

namespace {
std::string q(const std::string& s) { return "'" + s + "'"; }
std::string sh(const std::string& cmd) {
  std::string out;
  EXPECT_EQ(run(cmd, &out), 0) << cmd << "\n" << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A master with every folder a release needs, built into out/ as "R1".
class Builder : public ::testing::Test {
 public:
  void SetUp() override {
    root = fly_test::sandbox() + "work/";
    master = root + "master/";
    out = root + "out/";
    fresh(1);
  }
  void fresh(int type) {
    fs::remove_all(master);
    fs::remove_all(out);
    sums.clear();
    for (const char* d :
         {"All/Instructions", "All/Weapons", "All/Airfoils", "All/Aircraft", "All/Output",
          "All/Custom Scenery", "All/Global Scenery", "All/Resources/plugins",
          "All/Resources/default scenery/900 red terrain",
          "All/Resources/bitmaps/Earth Orbit Textures", "Macintosh", "Windows", "Linux"})
      fs::create_directories(master + d);
    build_type = type;
    src_fold = master;
    dst_fold_base = out;
    old_dir_path = root + "old.txt";
    sim_name = "R1";
    dvd_split_kb = 7670000.0;
  }
  void put(const std::string& rel, const std::string& data) {
    fs::create_directories(fs::path(master + rel).parent_path());
    write_file(master + rel, data);
    sums.clear();
  }
  // md5sum of a master file (one run for the whole master).
  std::string md5(const std::string& rel) {
    if (sums.empty()) {
      std::string text = sh("cd " + q(master) +
                            " && find . -type f ! -name '*.7z' -printf '%P\\0' | xargs -0 md5sum");
      for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        sums[line.substr(34)] = line.substr(0, 32);
        at = end == std::string::npos ? text.size() : end + 1;
      }
    }
    return sums[rel];
  }
  std::string list_zip() { return out + (build_type ? "disk_0/" : "") + "R1/directory.txt.zip"; }
  std::string listing() { return sh("unzip -p " + q(list_zip()) + " directory.txt"); }

  std::string root, master, out;
  std::map<std::string, std::string> sums;
};

std::string random_bytes(size_t n, unsigned seed) {
  std::string s(n, 0);
  for (char& c : s) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
  return s;
}
}  // namespace

TEST(BuilderRules, ChopPlatformAndKeepRules) {
  std::string p = "Macintosh/Resources/a";
  chop_platform(p, 1);
  EXPECT_EQ(p, "APL_os/Resources/a");
  p = "All/Resources/plugins/ZKLM.so";
  chop_platform(p, 6);
  EXPECT_EQ(p, "/Resources/plugins/ZKLM.so");
  EXPECT_FATAL_ALERT(chop_platform(p = "nodir", 0), "Could not find the dir char!");

  src_fold = "/v/work.build._x/";  // the master's own location decides nothing
  const struct {
    const char* rel;
    int keep[4];  // web, disc, first and second add-on
  } cases[] = {
      {"All/Resources/a.txt", {1, 1, 0, 0}},
      {"All/Global Scenery/-global terrain-/+40-130/+47-122.dsf", {0, 1, 0, 0}},
      {"All/Global Scenery/+40-130/+47-122.dsf", {1, 1, 0, 0}},
      {"All/Resources/default scenery/900 red terrain/a.dsf", {0, 1, 0, 0}},
      {"All/Resources/bitmaps/Earth Orbit Textures/a.png", {0, 1, 0, 0}},
      {"All/Custom Scenery/Flyvane World Edition 1/a.dsf", {0, 0, 1, 0}},
      {"All/Custom Scenery/Flyvane World Edition 2/a.dsf", {0, 0, 0, 1}},
      {"All/Resources/a.bak", {0, 0, 0, 0}},
      {"All/Resources/._a", {0, 0, 0, 0}},
      {"All/Resources/a.dsf.7z", {0, 0, 0, 0}},
      {"All/Output/preferences/a.txt", {0, 0, 0, 0}},
      {"All/install_pfc Aircraft/a.acf", {0, 0, 0, 0}},
  };
  for (const auto& c : cases)
    for (int t = 0; t < 4; ++t) {
      build_type = t;
      EXPECT_EQ(is_good_file(src_fold + c.rel, 0, 0), c.keep[t]) << c.rel << " type " << t;
    }
  build_type = 7;
  EXPECT_FATAL_ALERT(is_good_file(src_fold + "All/a", 0, 0), "what type of install");
}

TEST_F(Builder, WebReleaseHistoryGoneRowsAndExclusions) {
  fresh(0);
  put("All/Aircraft/a.acf", "acf\n");
  put("All/Resources/new.txt", "new\n");
  put("All/Resources/same.txt", "same\n");
  put("Macintosh/Resources/moved.txt", "moved\n");  // was All/Resources/moved.txt
  for (const char* left_out : {"All/Resources/x.bak", "All/Resources/Thumbs.db",
                               "All/Resources/default scenery/900 red terrain/t.dsf",
                               "All/Global Scenery/-global terrain-/+40-130/+47-122.dsf",
                               "All/Custom Scenery/Flyvane World Edition 1/w.dsf"})
    put(left_out, "x");
  write_file(old_dir_path, header() +
                               "DIR All/Resources/\n"
                               "FILE 0 0 900 1 2 " +
                               md5("All/Resources/same.txt") + " same.txt\nFILE 0 0 910 3 4 " +
                               sig('a') +
                               " same.txt\n"
                               "FILE 0 0 900 1 1 " +
                               sig('b') +
                               " moved.txt\n"
                               "FILE 0 0 900 1 1 " +
                               sig('c') +
                               " removed.txt\n"
                               "FILE 0 0 900 1 1 " +
                               sig('d') +
                               " gone.txt\n"
                               "FILE 0 0 910 0 0 GONE gone.txt\n"
                               "DIR All/Resources/default scenery/900 red terrain/\n"
                               "FILE 0 0 900 1 1 " +
                               sig('e') + " old.dsf\n");
  fly_test::clear_alerts();
  build_install();

  EXPECT_EQ(listing(),
            "I\n900 version\nINSTALLER\n\n"
            "\nDIR All/Aircraft/\nFILE 0 0 92102 0 0 " +
                md5("All/Aircraft/a.acf") +
                " a.acf\n"
                "\nDIR All/Resources/\nFILE 0 0 92102 0 0 " +
                md5("All/Resources/new.txt") +
                " new.txt\n"
                "FILE 0 0 910 3 4 " +
                sig('a') +
                " same.txt\n"
                "FILE 0 0 92102 0 0 " +
                md5("All/Resources/same.txt") +
                " same.txt\n"
                "\nDIR Macintosh/Resources/\nFILE 0 1 92102 0 0 " +
                md5("Macintosh/Resources/moved.txt") +
                " moved.txt\n"
                "\nDIR All/Resources/\nFILE 0 0 900 1 1 " +
                sig('c') +
                " removed.txt\n"
                "FILE 0 0 92102 0 0 GONE removed.txt\n"
                "FILE 0 0 900 1 1 " +
                sig('d') + " gone.txt\nFILE 0 0 910 0 0 GONE gone.txt");
  EXPECT_EQ(sh("unzip -Z1 " + q(list_zip())), "directory.txt");
  EXPECT_EQ(read_file(out + "dvd_version.txt"), "I\n900 version\nDVD\n\nVERSION R1\n");
  EXPECT_EQ(sh("cd " + q(out) + " && find . -type f | sort"),
            "./R1/All/Aircraft/a.acf.zip\n./R1/All/Resources/new.txt.zip\n"
            "./R1/All/Resources/same.txt.zip\n./R1/Macintosh/Resources/moved.txt.zip\n"
            "./R1/directory.txt.zip\n./dvd_version.txt");
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "OK compression is done. Checklist if doing net:");
  EXPECT_EQ(fly_test::alerts()[0].type, 1);
}

// Disc split with 64-bit sizes, a pre-packed 7z, the large-address flag, and
// the round trip of the file list against md5sum and the master's sizes.
TEST_F(Builder, DiscSplitAndRoundTrip) {
  put("All/Aircraft/a.acf", random_bytes(3000, 1));
  put("All/Resources/r.txt", random_bytes(3000, 2));
  put("All/Resources/empty.txt", "");
  put("All/Aircraft/kit.obj/part.txt", "a folder with a file type's suffix");
  fs::create_symlink("r.txt", master + "All/Resources/link");
  const std::string tile = "All/Global Scenery/-global terrain-/+40-130/+47-122.dsf";
  put(tile, random_bytes(4000, 3));
  write_file(master + tile + ".7z", "");
  fs::resize_file(master + tile + ".7z", 5ull << 30);  // 5368709 KB, past any 32-bit size
  std::string pe(0x60, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3c] = 0x40, pe.replace(0x40, 4, std::string("PE\0\0", 4));
  put("Windows/Flyvane.exe", pe);
  dvd_split_kb = 2;
  build_install();

  EXPECT_NE(read_file(master + "Windows/Flyvane.exe")[0x56] & 0x20, 0);
  struct stat a, b;
  ASSERT_EQ(stat((master + tile + ".7z").c_str(), &a), 0);
  ASSERT_EQ(stat((out + "disk_2/R1/" + tile + ".7z").c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  for (int d = 0; d < 4; ++d)
    EXPECT_EQ(read_file(out + "disk_" + std::to_string(d) + "/dvd_version.txt"),
              "I\n900 version\nDVD\n\nVERSION R1\n")
        << d;
  EXPECT_FALSE(fly_test::file_exists(out + "disk_4"));
  const std::string text = listing();
  EXPECT_NE(text.find(" a.acf\nDISK 1\n\nDIR All/Aircraft/kit.obj/\n"), std::string::npos) << text;
  EXPECT_NE(text.find("FILE 0 0 92102 5368709 4 " + md5(tile) + " +47-122.dsf\nDISK 3\n"),
            std::string::npos)
      << text;

  sh("unzip -o -q " + q(list_zip()) + " -d " + q(root));
  ASSERT_EQ(read_directory(root + "directory.txt", "scanning"), 3);
  ASSERT_EQ(sim_info.size(), 7u);
  for (const file_history_struct& row : sim_info) {
    ASSERT_EQ(row.size(), 1u);
    const file_version_struct& v = row.back();
    const std::string src = master + v.path, suffix = v.path == tile ? ".7z" : ".zip";
    EXPECT_EQ(v.sig_want, v.path.find("link") != std::string::npos
                              ? "c001c3a494773d19754d7a8707f6f586"  // md5sum of the text "r.txt"
                              : md5(v.path));
    struct stat st;
    ASSERT_EQ(lstat(src.c_str(), &st), 0);
    EXPECT_EQ(static_cast<long long>(v.size_kb), st.st_size / 1000) << v.path;
    EXPECT_TRUE(
        fly_test::file_exists(out + "disk_" + std::to_string(v.disk) + "/R1/" + v.path + suffix))
        << v.path << " on disc " << v.disk;
  }
}

TEST_F(Builder, RefusesBadMasters) {
  const struct {
    std::function<void(Builder&)> setup;
    const char* alert;
  } cases[] = {
      {[](Builder& t) { t.put("All/Resources/ lead.txt", "x"); }, "begins with a blank"},
      {[](Builder& t) { t.put("All/Resources/trail.txt ", "x"); }, "ends in a blank"},
      {[](Builder& t) { t.put("All/Resources/a:b.txt", "x"); }, "illegal character in a path: ':'"},
      {[](Builder& t) { t.put("All/Resources/two\nlines", "x"); }, "a line feed"},
      {[](Builder& t) { t.put("All/readme.txt", "x"); }, "I FOUND A FILE INSIDE THE 'ALL' FOLDER!"},
      {[](Builder& t) { t.put("All/Extra/x.txt", "x"); }, "unknown folder"},
      {[](Builder& t) { t.put("All/Resources/x.cpp", "x"); }, "found a .cpp file!"},
      {[](Builder& t) { t.put("All/Resources/customer data/customer.dat", "x"); },
       "found_com_file"},
      {[](Builder& t) { fs::remove(t.master + "Linux"); }, "!found_X86_fold"},
      {[](Builder& t) { fs::remove_all(t.master + "All/Resources/default scenery"); },
       "!found_redt"},
      {[](Builder& t) { t.put("Windows/Flyvane.exe", "MZ"); }, "large-address-aware"},
      {[](Builder& t) {
         t.put("All/Resources/a.txt", "x");
         build_progress = [](const std::string&, float) { return 1; };
       },
       "Q key"},
      {[](Builder& t) {
         t.fresh(0);
         write_file(old_dir_path, header() + "DIR All/\nFILE 0 0 92102 1 1 " + sig('a') + " x\n");
       },
       "already used"},
      {[](Builder& t) {
         t.fresh(0);
         write_file(old_dir_path, header() + "DIR All/\nFILE 0 0 900 1 1 " + sig('a') +
                                      " x\nFILE 0 0 900 1 1 " + sig('a') + " y\nFILE 0 0 900 1 1 " +
                                      sig('a') + " X\n");
       },
       "TWICE"},
      {[](Builder& t) {
         t.fresh(0);
         fs::create_directories(t.out);
         write_file(old_dir_path, header());
       },
       "Could not make the dst_folder!"},
  };
  for (const auto& c : cases) {
    fresh(1);
    build_progress = build_progress_headless;
    c.setup(*this);
    EXPECT_FATAL_ALERT(build_install(), c.alert);
  }
}

TEST_F(Builder, ToolBuildsADiscSet) {
  put("All/Aircraft/a.acf", random_bytes(3000, 1));
  put("All/Resources/r.txt", "r");
  std::string text;
  ASSERT_EQ(run(std::string(FLY_BUILD_DIR) + "/tools/make_release --type=disc --master=master "
                                             "--out=out --name='Test Set' --split-kb=2 2>&1",
                &text),
            0)
      << text;
  EXPECT_NE(text.find("Going to next disk - last file on disk 0 was All/Aircraft/a.acf\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(fly_test::file_exists(out + "disk_1/Test Set/All/Resources/r.txt.zip"));
  EXPECT_EQ(read_file(out + "disk_1/dvd_version.txt"), "I\n900 version\nDVD\n\nVERSION Test Set\n");
}
