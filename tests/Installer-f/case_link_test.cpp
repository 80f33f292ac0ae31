// Letter case and links, end to end on a case-sensitive volume: releases made by the builder,
// installed by the disc road and updated by the web road (nginx).

#include <sys/stat.h>

#include <map>

#include "GenH/shell.h"
#include "UTL/xtim.h"
#include "engine_util.h"

using namespace engine_test;

namespace {
using tree = std::map<std::string, std::string>;  // master path -> bytes, or "->" + link text

class CaseAndLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    g_case_sensitive = 1;
    LIN_make_dirs(temp_path = root + "tmp/");
    dest_dir_path = root + "copy/", stg.target_platform = 3;
    write_file(root + "empty.txt", header());
  }
  void TearDown() override { install_files_kill(), checksum_directory_kill(); }

  void build(const std::string& master, const tree& files, int type, const std::string& out,
             const std::string& old, const std::string& name) {
    make_release_folders(master);
    for (const auto& [rel, data] : files) {
      if (data.starts_with("->")) {
        LIN_make_dirs(master + rel.substr(0, rel.rfind('/')));
        ASSERT_EQ(symlink(data.substr(2).c_str(), (master + rel).c_str()), 0) << rel;
      } else {
        write_file(master + rel, data);
      }
    }
    build_type = type, src_fold = master, dst_fold_base = out, old_dir_path = old;
    sim_name = name, build_progress = build_progress_headless;
    build_install();
  }
  // Release N-1 as a disc and a web release (its rows renumbered: the builder numbers every
  // release alike), and N as a disc and, from N-1's list, a web release served by nginx.
  void releases(const tree& v1, const tree& v2) {
    build(root + "m1/", v1, 1, root + "disc1/", root + "empty.txt", kOld);
    build(root + "m1w/", v1, 0, root + "web1/", root + "empty.txt", kOld);
    sh("cd " + q(root) + " && unzip -p " + q("web1/" + kOld + "/directory.txt.zip") +
       " directory.txt | sed 's/ 92102 / 92101 /' > old_list.txt");
    build(root + "m2/", v2, 1, root + "disc2/", root + "empty.txt", kNew);
    build(root + "m2w/", v2, 0, root + "site/net/", root + "old_list.txt", kNew);
    write_file(root + "site/serverlist9.txt", "I\n820 version\nSERVERS\n\nBETA 9.3\nFINAL " + kNew +
                                                  "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");
  }

  // The wizard's disc install (or repair) of the copy from one disc: false on any error.
  bool disc_install(const std::string& disc, const std::string& name) {
    dvd_path = disc, install_name = name;
    EXPECT_EQ(zip_to_file(disc + name + "/directory.txt.zip", temp_path, nullptr, 0), 0);
    if (read_directory(temp_path + "directory.txt", "scanning") != 3) return false;
    set_install_filter(1, 1), scenery_take_all();
    EXPECT_TRUE(check_all());
    if (!choose_files()) return false;
    EXPECT_EQ(make_dirs(), 0);
    register_new_flyvane();
    delete_files();
    int f = 0, status = 0;
    const bool ended = frames_until([&] { status = install_files(f, 0); },
                                    [&] { return status == 1 || status == 3; });
    std::string msg;
    if (status == 3) ADD_FAILURE() << install_files_get_error(msg) << " " << msg;
    return ended && status == 1;
  }
  // The web update of the copy from nginx: false on any error.
  bool web_update() {
    fly_test::nginx_server nginx(root + "site", root + "nginx/");
    EXPECT_TRUE(fly_test::proxy_to(nginx));
    stg.server_count = -1, stg.dir_state = 0;
    EXPECT_TRUE(frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
    if (stg.dir_state != 3) return false;
    set_install_filter(1, 1), scenery_take_all();
    EXPECT_TRUE(check_all());
    if (!choose_files()) return false;
    EXPECT_EQ(make_dirs(), 0);
    web_download_reset();
    int r = 0;
    EXPECT_TRUE(frames_until([&] { xtim.xtim_update(), r = grab_files(); }, [&] { return r; }));
    EXPECT_EQ(stg.extract_failed, 0);
    return stg.extract_failed == 0;
  }
  // Everything below a folder: names, kinds, modes, sizes, link texts and contents.
  std::string snapshot(const std::string& dir) {
    return sh("cd " + q(dir) + " && find . -printf '%p %y %m %s %l\\n' | sort && " +
              "find . -type f -exec md5sum {} + | sort");
  }
  int stale() {
    int n = 0;
    for (size_t r = 0; r < sim_info.size(); ++r)
      n += want_this_f(r, sim_info[r].size() - 1) && sim_info[r].back().sig_want != "GONE" &&
           !sim_info[r].back().current;
    return n;
  }

  const std::string root = fly_test::sandbox() + "work/", kOld = "Flyvane 9.20",
                    kNew = "Flyvane 9.21rc2";
};

// N-1 installed "Resources/contents", a link out of the install folder; N has a folder
// "Resources/Contents" (a program under its MacOS/ among its files). The user moved Aircraft
// to another disk and linked it back.
const tree kLinkV1 = {{"All/Resources/contents", "->../../outside"},
                      {"All/Resources/same.txt", "same"},
                      {"All/Aircraft/c1/a.txt", "one"}};
const tree kLinkV2 = {{"All/Resources/Contents/x.txt", "inside"},
                      {"All/Resources/Contents/MacOS/prog", "#!/bin/sh\n"},
                      {"All/Resources/same.txt", "same"},
                      {"All/Aircraft/c1/a.txt", "one"},
                      {"All/Aircraft/c1/new.txt", "added"}};
}  // namespace

TEST_F(CaseAndLinks, ALinkSpeltOtherwiseIsNeverWrittenThrough) {
  releases(kLinkV1, kLinkV2);
  write_file(root + "outside/x.txt", "decoy");
  write_file(root + "outside/MacOS/prog", "decoy");
  chmod((root + "outside/MacOS/prog").c_str(), 0644);
  for (const bool by_web : {false, true}) {
    SCOPED_TRACE(by_web ? "web road" : "disc road");
    sh("rm -rf " + q(dest_dir_path) + " " + q(root + "userdisk"));
    ASSERT_TRUE(disc_install(root + "disc1/disk_0/", kOld));
    ASSERT_EQ(read_file(dest_dir_path + "Resources/contents/x.txt"), "decoy");  // the link is in
    LIN_make_dirs(root + "userdisk");
    sh("mv " + q(dest_dir_path + "Aircraft") + " " + q(root + "userdisk/") + " && ln -s " +
       q(root + "userdisk/Aircraft") + " " + q(dest_dir_path + "Aircraft"));
    const std::string before = snapshot(root + "outside");

    ASSERT_TRUE(by_web ? web_update() : disc_install(root + "disc2/disk_0/", kNew));
    EXPECT_EQ(snapshot(root + "outside"), before);
    EXPECT_EQ(read_file(dest_dir_path + "Resources/Contents/x.txt"), "inside");
    struct stat st;
    ASSERT_EQ(lstat((dest_dir_path + "Resources/Contents/MacOS/prog").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & 0777) == 0755);
    // The web list names the link as gone; the disc list does not know it.
    EXPECT_EQ(lstat((dest_dir_path + "Resources/contents").c_str(), &st) == 0, !by_web);
    // The user's link is followed.
    EXPECT_EQ(read_file(root + "userdisk/Aircraft/c1/new.txt"), "added");
    EXPECT_EQ(lstat((dest_dir_path + "Aircraft").c_str(), &st) == 0 && S_ISLNK(st.st_mode), 1);
    ASSERT_TRUE(check_all());
    EXPECT_EQ(stale(), 0);
  }
}

// A release renames files in letter case only, one with the same bytes, one changed: the
// update keeps or replaces them under the new spelling, asks nothing about the one it knows, and
// all is current.
TEST_F(CaseAndLinks, ARenameInLetterCaseOnlyKeepsTheFile) {
  const tree v1 = {{"All/Resources/Foo.txt", "same bytes"}, {"All/Resources/Bar.txt", "old"},
                   {"All/Resources/keep.txt", "keep"}};
  const tree v2 = {{"All/Resources/foo.txt", "same bytes"}, {"All/Resources/bar.txt", "new"},
                   {"All/Resources/keep.txt", "keep"}};
  releases(v1, v2);
  for (const bool by_web : {false, true}) {
    SCOPED_TRACE(by_web ? "web road" : "disc road");
    sh("rm -rf " + q(dest_dir_path));
    ASSERT_TRUE(disc_install(root + "disc1/disk_0/", kOld));
    // A disc list has no history: the old bytes of bar.txt are the user's for all it knows.
    scripted_prompts prompts(by_web ? std::deque<int>{} : std::deque<int>{1});
    EXPECT_TRUE(by_web ? web_update() : disc_install(root + "disc2/disk_0/", kNew));
    EXPECT_EQ(prompts.files(), by_web ? std::vector<std::string>{}
                                      : std::vector<std::string>{dest_dir_path + "Resources/bar.txt"});
    EXPECT_EQ(sh("cd " + q(dest_dir_path + "Resources") + " && ls"), "bar.txt\nfoo.txt\nkeep.txt");
    EXPECT_EQ(read_file(dest_dir_path + "Resources/foo.txt"), "same bytes");
    EXPECT_EQ(read_file(dest_dir_path + "Resources/bar.txt"), "new");
    ASSERT_TRUE(check_all());
    EXPECT_EQ(stale(), 0);
    recalc_disk_sizes();
    EXPECT_EQ(stg.files_to_install + stg.files_to_delete, 0);
  }
}

// Spelt exactly, N-1's link is named by a row of N's web list (as gone): the update removes it
// before it unpacks N's folder of that name, and writes nothing through it.
TEST_F(CaseAndLinks, AGoneLinkOfTheSameNameIsReplacedByTheFolder) {
  const tree v1 = {{"All/Resources/lnk", "->../../outside"}, {"All/Resources/same.txt", "same"}};
  const tree v2 = {{"All/Resources/lnk/x.txt", "inside"},
                   {"All/Resources/lnk/MacOS/prog", "#!/bin/sh\n"},
                   {"All/Resources/same.txt", "same"}};
  releases(v1, v2);
  write_file(root + "outside/x.txt", "decoy");
  ASSERT_TRUE(disc_install(root + "disc1/disk_0/", kOld));
  ASSERT_EQ(read_file(dest_dir_path + "Resources/lnk/x.txt"), "decoy");
  const std::string before = snapshot(root + "outside");
  ASSERT_TRUE(web_update());
  EXPECT_EQ(snapshot(root + "outside"), before);
  struct stat st;
  ASSERT_EQ(lstat((dest_dir_path + "Resources/lnk").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(read_file(dest_dir_path + "Resources/lnk/x.txt"), "inside");
  // The list gives the gone rows last: the link went before the first file behind it came.
  EXPECT_THAT(fly_test::log_text(), HasSubstr("Resources/lnk first, a link its row removes"));
  ASSERT_TRUE(check_all());
  EXPECT_EQ(stale(), 0);
}
