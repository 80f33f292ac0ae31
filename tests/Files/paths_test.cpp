#include "Files/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Files/tiles.h"
#include "GenH/shell.h"
#include "support/test_util.h"

using fly_test::sandbox;

static std::string full_of(std::string p) {
  set_path_to_full(p);
  return p;
}

TEST(SetPathToFull, CaseRepairOnlyWhereAComponentIsMissing) {
  fly_test::run("mkdir -p Data/Sub foo Foo && touch Data/Sub/File.txt");
  EXPECT_EQ(full_of("data/file.txt"), "data/file.txt");  // no repair on a case-blind volume
  app_path = "prefix/";
  EXPECT_EQ(full_of("a/b"), "prefix/a/b");
  app_path.clear();
  g_case_sensitive = 1;
  const std::pair<const char*, const char*> cases[] = {
      {"data/sub/file.TXT", "Data/Sub/File.txt"},
      {"data/sub/new.txt", "Data/Sub/new.txt"},  // the missing leaf stays as asked
      {"Data/Sub/FILE.TXT", "Data/Sub/File.txt"},  // only the leaf differs
      {"Data/Sub/new.txt", "Data/Sub/new.txt"}, {"Data/sub/", "Data/Sub/"},
      {"nothing/data/x", "nothing/data/x"}, {"", ""},
      {"foo/x", "foo/x"},  // names that differ only in case: an existing spelling wins
      {"Foo/x", "Foo/x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(full_of(in), out) << in;
  EXPECT_EQ(full_of(sandbox() + "work/DATA/SUB/"), sandbox() + "work/Data/Sub/");
}

TEST(SetPathToFull, CaseRepairNeverLandsOnALink) {
  fly_test::run("mkdir -p real/Sub outside && ln -s ../outside real/contents && ln -s outside Away");
  g_case_sensitive = 1;
  // Spelt otherwise, a link is not the entry the path names: the path stays.
  EXPECT_EQ(full_of("real/Contents/x"), "real/Contents/x");
  EXPECT_EQ(full_of("away/x"), "away/x");
  EXPECT_EQ(full_of("real/sub/x"), "real/Sub/x");  // folders are still repaired
  EXPECT_EQ(full_of("real/contents/x"), "real/contents/x");  // spelt exactly, it is followed
  fly_test::run("mkdir real/CONTENTS");
  EXPECT_EQ(full_of("real/Contents/x"), "real/CONTENTS/x");  // a real folder behind the link
}

TEST(RightDirchars, SeparatorsAndMacRoman) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\\b:c/d", "a/b/c/d"},
      {"caf\xC3\xA9/\xF0\x9F\x98\x80", "caf\xC3\xA9/\xF0\x9F\x98\x80"},  // valid UTF-8 untouched
      {"x\xA5\x8Ay", "x\xE2\x80\xA2\xC3\xA4y"},
      {"\xE0\x80", "\xE2\x80\xA1\xC3\x84"},  // cut-off sequence: Mac Roman
  };
  for (auto [in, out] : cases) {
    set_path_to_right_dirchars(in);
    EXPECT_EQ(in, out);
  }
}

TEST(OsAbsPath, TempFolderIsPrivateAndNeverALink) {
  std::string t, again;
  get_OS_abs_path(os_dir_temp, t);
  EXPECT_EQ(t, sandbox() + "tmp/flyvane-" + std::to_string(getuid()) + "/");
  chmod(t.c_str(), 0777);  // opened up by someone: narrowed again
  get_OS_abs_path(os_dir_temp, again);
  struct stat st;
  EXPECT_TRUE(stat(t.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700);
  const std::string base = sandbox() + "tmp2",
                    fixed = base + "/flyvane-" + std::to_string(getuid());
  fly_test::run("mkdir -p " + base + "/elsewhere && ln -s " + base + "/elsewhere " + fixed);
  setenv("TMPDIR", base.c_str(), 1);
  get_OS_abs_path(os_dir_temp, t);
  EXPECT_EQ(t.compare(0, fixed.size() + 1, fixed + "-"), 0) << t;
  EXPECT_TRUE(lstat(t.substr(0, t.size() - 1).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
              (st.st_mode & 0777) == 0700);
  get_OS_abs_path(os_dir_temp, again);
  EXPECT_EQ(again, t);  // the same folder for the whole run
}

TEST(TileNames, Corners) {
  const std::pair<std::pair<int, int>, const char*> cases[] = {
      {{47, -122}, "+40-130/+47-122.dsf"},
      {{-1, -1}, "-10-010/-01-001.dsf"},
      {{-90, -180}, "-90-180/-90-180.dsf"},
      {{100, 5}, "+00+000/+00+005.dsf"},  // too wide: 0
  };
  for (const auto& [ll, path] : cases) {
    std::string s;
    return_latlon_str_dsf(ll.first, ll.second, &s);
    EXPECT_EQ(s, path) << ll.first << "," << ll.second;
  }
}
