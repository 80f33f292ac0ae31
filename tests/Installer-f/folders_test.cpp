#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "engine_util.h"

using engine_test::sig;
using engine_test::version;
using fly_test::write_file;

namespace {
const std::string A = sig('a');

bool exists(const std::string& p) { return fly_test::file_exists(p); }

bool is_dir(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_info.clear();
    set_install_filter(1, 1);
    stg.target_platform = 1;
    dest = fly_test::sandbox() + "work/x/y/dest/";
    dest_dir_path = dest;
  }
  void add(const std::string& path, int to_install, int to_delete = 0, int platform = 0) {
    file_version_struct v = version(path, A, to_delete ? A : "NONE", platform);
    v.to_install = to_install;
    v.to_delete = to_delete;
    sim_info.push_back({v});
  }
  std::string dest;
};
}  // namespace

TEST(TrimDestFolder, Cases) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {{"All/a/b", "a/b"}, {"Macintosh/x", "x"}, {"bare", "bare"}, {"/abs", "abs"},
               {"", ""},           {"All/", ""}};
  for (const auto& c : cases) {
    std::string p = c.in;
    trim_dest_folder(p);
    EXPECT_EQ(p, c.out) << c.in;
  }
}

TEST_F(Folders, MakeDirsMakesWhatTheInstallNeeds) {
  add("All/a/b/c/file", 1);
  add("All/a/b/other", 1);
  add("All/q/r", 0);            // not installed
  add("Windows/w/z", 1, 0, 2);  // another platform
  add("All/top", 1);
  for (int pass = 0; pass < 2; ++pass) {  // the second finds everything made
    EXPECT_EQ(make_dirs(), 0);
    EXPECT_TRUE(fly_test::alerts().empty());
    for (const char* f : {"", "a", "a/b", "a/b/c", "Output", "Output/FMS plans", "Output/logbooks",
                          "Output/movies", "Output/situations", "Resources", "Output/preferences"})
      EXPECT_TRUE(is_dir(dest + f)) << f;
    EXPECT_FALSE(exists(dest + "q"));
    EXPECT_FALSE(exists(dest + "w"));
  }
}

TEST_F(Folders, MakeDirsReportsWhatIsInTheWay) {
  add("All/a/b/file", 1);
  mkdir("x", 0755);
  mkdir("x/y", 0755);
  mkdir(dest.c_str(), 0755);
  write_file(dest + "a", "a file where a folder belongs");
  EXPECT_EQ(make_dirs(), ENOTDIR);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  const auto& a = fly_test::alerts()[0];
  EXPECT_EQ(a.type, 1);
  EXPECT_NE(a.s1.find("An error occurred while creating new folders."), std::string::npos);
  EXPECT_EQ(a.s2, "Error: " + error_str(ENOTDIR));
  EXPECT_EQ(a.s3, "Install Location: " + dest);
  EXPECT_EQ(a.s4, "Install Path:" + dest + "a");

  // An ancestor of the install folder that is a file stops at once.
  fly_test::clear_alerts();
  dest_dir_path = dest + "a/sub/";
  EXPECT_EQ(make_dirs(), ENOTDIR);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s4, "Install Path:" + dest + "a");
}

TEST_F(Folders, PluginFrameworks) {
  const std::string lm = dest + "Resources/plugins/ZKLM.framework/";
  const std::string wd = dest + "Resources/plugins/ZKWidgets.framework/";
  ASSERT_EQ(fly_test::run("mkdir -p '" + lm + "Versions/Current' '" + lm + "Resources' '" + wd +
                          "Versions/A' && ln -s A '" + wd + "Versions/Current' && ln -s " +
                          "Versions/Current/Resources '" + wd + "Resources'"),
            0);
  EXPECT_EQ(make_dirs(), 0);
  EXPECT_TRUE(is_dir(lm + "Versions/_Current"));
  EXPECT_FALSE(exists(lm + "Versions/Current"));
  EXPECT_TRUE(is_dir(lm + "_Resources"));
  EXPECT_FALSE(exists(lm + "Resources"));
  EXPECT_EQ(is_sim_link(wd + "Versions/Current", nullptr), 1);
  EXPECT_EQ(is_sim_link(wd + "Resources", nullptr), 1);
}

TEST_F(Folders, DeleteFiles) {
  stg.log_actions = 1;
  ASSERT_EQ(fly_test::run("mkdir -p '" + dest + "a/b' '" + dest + "c' '" + dest + "d' '" + dest +
                          "busy/sub'"),
            0);
  write_file(dest + "a/b/only", "1");
  write_file(dest + "c/file", "2");
  write_file(dest + "c/.hidden", "3");
  write_file(dest + "d/keep", "4");
  write_file(dest + "d/del", "5");
  write_file(dest + "busy/sub/x", "6");
  write_file(dest + "top", "7");
  add("All/a/b/only", 0, 1);
  add("All/c/file", 0, 1);
  add("All/d/del", 0, 1);
  add("All/d/keep", 0, 0);
  sim_info.back().back().sig_have = A;
  sim_info.back().back().current = 1;
  add("All/busy/sub", 0, 1);  // a folder that holds a file: cannot go
  add("All/missing", 0, 1);   // already gone
  add("All/top", 0, 1);
  delete_files();
  EXPECT_FALSE(exists(dest + "a"));  // emptied, and its parent with it
  EXPECT_TRUE(is_dir(dest));         // never the install folder itself
  EXPECT_FALSE(exists(dest + "c/file"));
  EXPECT_TRUE(exists(dest + "c/.hidden"));  // a hidden file keeps its folder
  EXPECT_TRUE(exists(dest + "d/keep"));
  EXPECT_FALSE(exists(dest + "d/del"));
  EXPECT_TRUE(exists(dest + "busy/sub/x"));
  EXPECT_FALSE(exists(dest + "top"));
  const int absent[] = {1, 1, 1, 0, 0, 1, 1};
  for (size_t r = 0; r < sim_info.size(); ++r) {
    EXPECT_EQ(sim_info[r].back().sig_have == "NONE", absent[r] == 1) << r;
    EXPECT_EQ(sim_info[r].back().current, absent[r] ? 0 : 1) << r;
  }
  EXPECT_EQ(stg.current_action, 0);
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("DELETING  file " + dest + "a/b/only, with result=0.\n"), std::string::npos);
  EXPECT_NE(log.find("DELETING  file " + dest + "missing, with result=2.\n"), std::string::npos);
  EXPECT_NE(log.find("cleanup: DELETING  file " + dest + "a/b/, with result=0.\n"),
            std::string::npos);
  EXPECT_NE(log.find("cleanup: DELETING  file " + dest + "a/, with result=0.\n"),
            std::string::npos);
  EXPECT_EQ(log.find("cleanup: DELETING  file " + dest + ", "), std::string::npos);
}
