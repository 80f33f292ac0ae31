#include <filesystem>
#include <functional>

#include "engine_util.h"

using namespace engine_test;
namespace fs = std::filesystem;

// A master with every folder a release needs, built into out/ as "R1".
class Builder : public ::testing::Test {
 protected:
  void SetUp() override { fresh(1); }
  void fresh(int type) {
    fs::remove_all(master), fs::remove_all(out);
    make_release_folders(master);
    build_type = type, src_fold = master, dst_fold_base = out, old_dir_path = root + "old.txt";
    sim_name = "R1", dvd_split_kb = 7670000.0, build_progress = build_progress_headless;
    build_threads = 3;
  }
  std::string md5(const std::string& rel) { return md5sum_of(master + rel); }
  std::string listing() {
    return sh("unzip -p " + q(out + (build_type ? "disk_0/" : "") + "R1/directory.txt.zip") +
              " directory.txt");
  }
  const std::string root = fly_test::sandbox() + "work/", master = root + "master/",
                    out = root + "out/";
};

TEST_F(Builder, WebReleaseHistoryGoneRowsAndExclusions) {
  fresh(0);
  // moved.txt was in All/Resources/; the last five are left out of a web release.
  for (const char* f : {"All/Aircraft/a.acf", "All/Resources/new.txt", "All/Resources/same.txt",
                        "Macintosh/Resources/moved.txt", "All/Resources/x.bak",
                        "All/Resources/._a.7z", "All/Custom Scenery/Flyvane World Edition 1/w.dsf",
                        "All/Global Scenery/-global terrain-/+40-130/+47-122.dsf",
                        "All/Resources/default scenery/900 red terrain/t.dsf"})
    write_file(master + f, f);
  const std::string row = "FILE 0 0 900 1 1 ", now = "FILE 0 0 92102 0 0 ";
  write_file(old_dir_path, header() + "DIR All/Resources/\nFILE 0 0 900 1 2 " +
                               md5("All/Resources/same.txt") + " same.txt\nFILE 0 0 910 3 4 " +
                               sig('a') + " same.txt\n" + row + sig('b') + " moved.txt\n" + row +
                               sig('c') + " removed.txt\n" + row + sig('d') +
                               " gone.txt\nFILE 0 0 910 0 0 GONE gone.txt\n" +
                               "DIR All/Resources/default scenery/900 red terrain/\n" + row +
                               sig('e') + " old.dsf\n");
  build_install();
  // The 900 version of same.txt has the MD5 of the new one and is left out;
  // moved.txt changed platform and gets no GONE row.
  EXPECT_EQ(listing(), header() + "\nDIR All/Aircraft/\n" + now + md5("All/Aircraft/a.acf") +
                           " a.acf\n\nDIR All/Resources/\n" + now + md5("All/Resources/new.txt") +
                           " new.txt\nFILE 0 0 910 3 4 " + sig('a') + " same.txt\n" + now +
                           md5("All/Resources/same.txt") +
                           " same.txt\n\nDIR Macintosh/Resources/\nFILE 0 1 92102 0 0 " +
                           md5("Macintosh/Resources/moved.txt") +
                           " moved.txt\n\nDIR All/Resources/\n" + row + sig('c') +
                           " removed.txt\n" + now + "GONE removed.txt\n" + row + sig('d') +
                           " gone.txt\nFILE 0 0 910 0 0 GONE gone.txt");
  EXPECT_EQ(sh("unzip -Z1 " + q(out + "R1/directory.txt.zip")), "directory.txt");
  EXPECT_EQ(read_file(out + "dvd_version.txt"), "I\n900 version\nDVD\n\nVERSION R1\n");
  EXPECT_EQ(sh("cd " + q(out) + " && find . -type f | sort"),
            "./R1/All/Aircraft/a.acf.zip\n./R1/All/Resources/new.txt.zip\n"
            "./R1/All/Resources/same.txt.zip\n./R1/Macintosh/Resources/moved.txt.zip\n"
            "./R1/directory.txt.zip\n./dvd_version.txt");
  EXPECT_EQ(alerts_saying("OK compression is done. Checklist if doing net:"), 1);
}

// The make_release tool splits a disc release with 64-bit sizes, hard-links a
// pre-packed 7z; the file list agrees with md5sum and the master's sizes.
TEST_F(Builder, DiscSplitAndRoundTrip) {
  write_file(master + "All/Aircraft/a.acf", pattern(3000, 1));
  write_file(master + "All/Resources/r.txt", pattern(3000, 2));
  write_file(master + "All/Resources/empty.txt", "");
  write_file(master + "All/Aircraft/kit.obj/part.txt", "a folder with a file type's suffix");
  fs::create_symlink("r.txt", master + "All/Resources/link");
  const std::string tile = "All/Global Scenery/-global terrain-/+40-130/+47-122.dsf";
  write_file(master + tile, pattern(4000, 3));
  write_file(master + tile + ".7z", "");
  fs::resize_file(master + tile + ".7z", 5ull << 30);  // 5368709 KB, past any 32-bit size
  write_file(master + "Windows/Flyvane.exe", small_pe());
  // A terminal tool opens no window and never reaches for a display: with the
  // alert box allowed and a zenity on PATH that would show it, and no display
  // at all, the checklist alone goes to standard error.
  write_file(root + "bin/zenity", "#!/bin/sh\ntouch " + q(root + "box_shown") + "\n");
  chmod((root + "bin/zenity").c_str(), 0755);
  std::string err;
  ASSERT_EQ(fly_test::run("env -u FLY_NO_ALERT_BOX -u DISPLAY -u WAYLAND_DISPLAY "
                          "-u XDG_RUNTIME_DIR PATH=" + q(root + "bin") + ":\"$PATH\" " +
                              FLY_BUILD_DIR "/tools/make_release --type=disc --master=master "
                              "--out=out --name=R1 --split-kb=2 2>&1 >/dev/null",
                          &err),
            0);
  EXPECT_EQ(err,
            "OK compression is done. Checklist if doing net:\n"
            "Copy the version string and version number into the server list in the internet "
            "folder, and send it to the web host.\n"
            "Upload the -NET uploads- folder stuff.\n"
            "Extract directory.txt.zip to the next previous directory file for use next time.\n");
  EXPECT_FALSE(file_exists(root + "box_shown"));
  EXPECT_NE(read_file(master + "Windows/Flyvane.exe")[0x56] & 0x20, 0);
  EXPECT_TRUE(fs::equivalent(master + tile + ".7z", out + "disk_2/R1/" + tile + ".7z"));
  for (int d = 0; d < 4; ++d)
    EXPECT_EQ(read_file(out + "disk_" + std::to_string(d) + "/dvd_version.txt"),
              "I\n900 version\nDVD\n\nVERSION R1\n");
  EXPECT_FALSE(file_exists(out + "disk_4"));
  const std::string list = listing();
  for (const std::string& part :
       {std::string(" a.acf\nDISK 1\n\nDIR All/Aircraft/kit.obj/\n"),
        "FILE 0 0 92102 5368709 4 " + md5(tile) + " +47-122.dsf\nDISK 3\n"})
    EXPECT_NE(list.find(part), std::string::npos) << list;

  sh("unzip -o -q " + q(out + "disk_0/R1/directory.txt.zip") + " -d " + q(root));
  ASSERT_EQ(read_directory(root + "directory.txt", "scanning"), 3);
  ASSERT_EQ(sim_info.size(), 7u);
  for (const file_history_struct& row : sim_info) {
    const file_version_struct& v = row.back();
    struct stat st;
    ASSERT_EQ(lstat((master + v.path).c_str(), &st), 0);
    EXPECT_EQ(row.size(), 1u);
    EXPECT_EQ(static_cast<long long>(v.size_kb), st.st_size / 1000) << v.path;
    EXPECT_EQ(v.sig_want, md5(v.path)) << v.path;
    EXPECT_TRUE(file_exists(out + "disk_" + std::to_string(v.disk) + "/R1/" + v.path +
                            (v.path == tile ? ".7z" : ".zip")))
        << v.path;
  }
}

TEST(BuilderRules, ChopPlatformAndKeepRules) {
  auto chop = [](std::string p, int platform) { return chop_platform(p, platform), p; };
  EXPECT_EQ(chop("Macintosh/Resources/a", 1), "APL_os/Resources/a");
  EXPECT_EQ(chop("All/Resources/plugins/ZKLM.so", 6), "/Resources/plugins/ZKLM.so");
  std::string no_dir = "nodir";
  EXPECT_FATAL_ALERT(chop_platform(no_dir, 0), "Could not find the dir char!");

  src_fold = "/v/work.build._x/";  // words in the master's own path exclude nothing
  const struct { const char *rel, *keep; } cases[] = {  // kept by web, disc, add-on 1 and 2
      {"All/Resources/a.txt", "1100"},
      {"All/Global Scenery/-global terrain-/+40-130/+47-122.dsf", "0100"},
      {"All/Global Scenery/-global overlays-/+40-130/+47-122.dsf", "0100"},
      {"All/Global Scenery/+40-130/+47-122.dsf", "1100"},
      {"All/Resources/default scenery/900 red terrain/a.dsf", "0100"},
      {"All/Resources/bitmaps/Earth Orbit Textures/a.png", "0100"},
      {"All/Custom Scenery/Flyvane World Edition 1/a.dsf", "0010"},
      {"All/Custom Scenery/Flyvane World Edition 2/a.dsf", "0001"},
      {"All/Resources/work.x/a.txt", "0000"}, {"All/Resources/a.bak", "0000"},
      {"All/Resources/._a.txt", "0000"}, {"All/Resources/a.dsf.7z", "0000"},
      {"All/Output/preferences/a.txt", "0000"}, {"All/install_pfc Aircraft/a.acf", "0000"},
  };
  for (const auto& c : cases) {
    std::string kept;
    for (build_type = 0; build_type < 4; ++build_type)
      kept += std::to_string(is_good_file(src_fold + c.rel, 0, 0));
    EXPECT_EQ(kept, c.keep) << c.rel;
  }
  build_type = 7;
  EXPECT_FATAL_ALERT(is_good_file(src_fold + "All/a", 0, 0), "what type of install");
}

// Each bad master stops the build with its own alert.
TEST_F(Builder, RefusesBadMasters) {
  const auto file = [this](const std::string& rel, const std::string& data = "x") {
    return [=, this] { write_file(master + rel, data); };
  };
  const build_progress_fn quit = [](const std::string&, float) { return 1; };
  const std::string old_row = "FILE 0 0 900 1 1 " + sig('a');  // names differing in case only
  const struct { std::function<void()> setup; const char* alert; } cases[] = {
      {file("All/Resources/ lead.txt"), "begins with a blank"},  // read back trimmed
      {file("All/Resources/\ttab.txt"), "begins with a blank"},
      {file("All/Resources/trail.txt "), "ends in a blank"},
      {file("All/Resources/a:b.txt"), "illegal character in a path: ':'"},
      {file("All/Resources/a\\b.txt"), "illegal character in a path: '\\'"},
      {file("All/Resources/two\nlines"), "a line feed"},
      {file("All/Resources/two\rlines"), "a carriage return"},
      {file("All/readme.txt"), "I FOUND A FILE INSIDE THE 'ALL' FOLDER!"},
      {file("All/Extra/x.txt"), "unknown folder"},
      {[this] { fs::remove(master + "Linux"); }, "!found_X86_fold"},
      {[this] { fs::remove_all(master + "All/Resources/default scenery"); }, "!found_redt"},
      {file("Windows/Flyvane.exe", "MZ"), "large-address-aware"},
      {[&] { file("All/Resources/a.txt")(), build_progress = quit; }, "Q key"},
      // (Two wanted rows of one file the list reader refuses: here the second is gone.)
      {[&] { fresh(0), write_file(old_dir_path, header() + "DIR All/\n" + old_row + " x\n" +
                                                    old_row + " y\nFILE 0 0 900 1 1 GONE x\n"); },
       "TWICE"},
      // One installed file, two master files: by letter case, by platform tree, as a folder.
      {[&] { file("All/Resources/README.txt")(), file("All/Resources/readme.txt")(); },
       "would install to the same file"},
      {[&] { file("All/Resources/same.txt")(), file("Linux/Resources/same.txt")(); },
       "would install to the same file"},
      {[&] { file("All/Resources/a/x.txt")(), file("Linux/Resources/A/X.txt")(); },
       "would install to the same file"},
      {[&] { file("All/Resources/plugins/ZKLM.so")(), file("Linux/Resources/plugins/zklm.so")(); },
       "would install to the same file"},
      {[&] { file("All/Resources/foo")(), file("Macintosh/Resources/Foo/x.txt")(); },
       "where another one needs a folder"},
      // The disc road reads the global scenery from 7z archives only.
      {file("All/Global Scenery/+40-130/+47-122.dsf"), "no pre-packed 7z archive"},
  };
  for (const auto& c : cases) {
    fresh(1);
    SCOPED_TRACE(c.alert);
    c.setup();
    EXPECT_FATAL_ALERT(build_install(), c.alert);
    EXPECT_FALSE(fs::exists(out + ".packing"));
  }
  // Names equal but for case are one file only for one target platform.
  fresh(1);
  file("Macintosh/Resources/x.txt")(), file("Linux/Resources/X.txt")();
  build_install();
  EXPECT_TRUE(file_exists(out + "disk_0/R1/Linux/Resources/X.txt.zip"));
}

// A rename in letter case alone keeps the file's history in one row of the new
// spelling, and no GONE row for the old one.
TEST_F(Builder, CaseOnlyRenameKeepsOneRow) {
  fresh(0);
  write_file(master + "All/Resources/foo.txt", "new bytes");
  write_file(old_dir_path, header() + "DIR All/Resources/\nFILE 0 0 900 1 1 " + sig('a') +
                               " Foo.txt\nFILE 0 0 910 1 1 " + sig('b') + " Foo.txt\n");
  build_install();
  EXPECT_EQ(listing(), header() + "\nDIR All/Resources/\nFILE 0 0 900 1 1 " + sig('a') +
                           " foo.txt\nFILE 0 0 910 1 1 " + sig('b') + " foo.txt\nFILE 0 0 92102 0 0 " +
                           md5("All/Resources/foo.txt") + " foo.txt");
}

// Packing on workers gives the tree a one-thread build gives, byte for byte,
// and the Q key stops the build at the same file.
TEST_F(Builder, PooledBuildEqualsOneThreadBuild) {
  std::vector<std::string> order;
  for (int i = 0; i < 60; ++i) {
    const std::string rel = "All/Resources/f" + std::to_string(i % 7) + "/n" + std::to_string(i);
    write_file(master + rel, pattern(size_t(i % 5) * 40000 + i, i));
  }
  fs::create_symlink("n3", master + "All/Resources/f3/link");
  const std::string tile = "All/Global Scenery/-global terrain-/+40-130/+47-122.dsf";
  write_file(master + tile, pattern(5000, 99));
  write_file(master + tile + ".7z", pattern(3000, 98));
  write_file(master + "All/Resources/pre.txt", "zipped whatever lies beside it");
  write_file(master + "All/Resources/pre.txt.7z", "never used");
  write_file(master + "Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "mac");
  write_file(master + "Windows/Flyvane.exe", small_pe());
  write_file(master + "Linux/Flyvane-i686", "elf");
  dvd_split_kb = 1500;  // a few discs
  const std::string one = root + "one/";
  build_threads = 1;
  build_install();
  fs::rename(out, one);
  EXPECT_EQ(found_apl_app * 100 + found_ibm_app * 10 + found_lin_app, 111);
  build_threads = 4;
  build_install();
  EXPECT_FALSE(fs::exists(out + ".packing"));
  EXPECT_GE(std::stoi(sh("ls -d " + q(out) + "disk_* | wc -l")), 3);
  EXPECT_EQ(sh("unzip -p " + q(one + "disk_0/R1/directory.txt.zip")), listing());
  EXPECT_EQ(sh("cd " + q(one) + " && find . | sort"), sh("cd " + q(out) + " && find . | sort"));
  EXPECT_EQ(sh("diff -r --no-dereference -x directory.txt.zip " + q(one) + " " + q(out) +
               " && echo same"), "same");
  EXPECT_NE(sh("find " + q(out) + " -samefile " + q(master + tile + ".7z")), "");
  EXPECT_EQ(sh("unzip -Z1 $(find " + q(out) + " -name pre.txt.zip)"), "pre.txt");
  EXPECT_EQ(sh("find " + q(out) + " -name pre.txt.7z"), "");

  // Q after the fifth file: those five are in place, nothing after them.
  for (const int threads : {1, 4}) {
    fs::remove_all(out);
    build_threads = threads;
    static int commits;
    commits = 0;
    build_progress = [](const std::string& line, float) {
      return int(line.find("now doing: ") != std::string::npos && ++commits == 5);
    };
    EXPECT_FATAL_ALERT(build_install(), "Q key");
    EXPECT_FALSE(fs::exists(out + ".packing"));
    EXPECT_EQ(sh("find " + q(out) + " -name '*.zip' | wc -l"), "5") << threads;
  }
}

TEST(ReleaseTool, RefusesBadNumbers) {
  const std::string tool = std::string(FLY_BUILD_DIR) + "/tools/make_release --type=web --master=m --out=o ";
  for (const char* bad : {"--release=0", "--release=92x", "--release=-5", "--threads=0", "--threads=x"})
    EXPECT_EQ(fly_test::run(tool + bad + " 2>/dev/null"), 2) << bad;
  EXPECT_FALSE(file_exists("o"));
}
